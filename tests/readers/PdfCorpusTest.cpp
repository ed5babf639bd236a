// SPDX-License-Identifier: MIT
// The PDF text layer on documents written by the programs people use (tests/data/pdf), against
// pdftotext as the reference for what a person sees: every word of five letters or more that it
// extracts is found, on a page where it has that word, and nothing the literal-string reader
// found is lost.
#include "readers/PdfTextLayer.h"

#include "platform/CodePage.h"
#include "readers/uPDFtext.h"
#include "support/Portable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#endif

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

fs::path CorpusFolder()
{
    return fs::path(__FILE__).parent_path().parent_path() / "data" / "pdf";
}

std::string ReadFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

[[maybe_unused]] std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(CorpusFolder()))
        if (entry.path().extension() == ".pdf")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

// Composed forms, lower case, and the letters a person types for a ligature.
std::string Normalized(const std::string& text)
{
    std::string expanded;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = Utf8Next(text, i);
        switch (cp) {
        case 0xFB00: expanded += "ff"; break;
        case 0xFB01: expanded += "fi"; break;
        case 0xFB02: expanded += "fl"; break;
        case 0xFB03: expanded += "ffi"; break;
        case 0xFB04: expanded += "ffl"; break;
        default: Utf8Append(expanded, cp);
        }
    }
#ifdef _WIN32
    const std::u16string wide = Utf8ToUtf16(expanded);
    const int n = ::NormalizeString(NormalizationC, reinterpret_cast<LPCWSTR>(wide.c_str()), static_cast<int>(wide.size()),
                                    nullptr, 0);
    std::u16string composed(static_cast<std::size_t>(std::max(n, 0)), u'\0');
    const int m = ::NormalizeString(NormalizationC, reinterpret_cast<LPCWSTR>(wide.c_str()), static_cast<int>(wide.size()),
                                    reinterpret_cast<LPWSTR>(composed.data()), n);
    composed.resize(static_cast<std::size_t>(std::max(m, 0)));
    return Utf8Lower(Utf16ToUtf8(composed));
#else
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(expanded);
    std::string out;
    if (U_SUCCESS(status))
        nfc->normalize(s, status).toUTF8String(out);
    return Utf8Lower(U_SUCCESS(status) ? out : expanded);
#endif
}

bool IsLetter(char32_t cp)
{
#ifdef _WIN32
    WORD type = 0;
    const std::u16string one = Utf8ToUtf16([&] { std::string s; Utf8Append(s, cp); return s; }());
    return ::GetStringTypeW(CT_CTYPE1, reinterpret_cast<LPCWSTR>(one.c_str()), static_cast<int>(one.size()), &type) &&
           (type & C1_ALPHA);
#else
    return u_isalpha(static_cast<UChar32>(cp)) || u_getCombiningClass(static_cast<UChar32>(cp)) != 0;
#endif
}

// Words of five letters or more, each with the pages (from 1) that hold it.
[[maybe_unused]] std::map<std::string, std::set<int>> WordsOf(const std::vector<std::string>& pages)
{
    std::map<std::string, std::set<int>> words;
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::string text = Normalized(pages[p]);
        std::string word;
        std::size_t letters = 0;
        auto flush = [&] {
            if (letters >= 5)
                words[word].insert(static_cast<int>(p + 1));
            word.clear();
            letters = 0;
        };
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t at = i;
            const char32_t cp = Utf8Next(text, i);
            if (IsLetter(cp)) {
                word.append(text, at, i - at);
                ++letters;
            } else {
                flush();
            }
        }
        flush();
    }
    return words;
}

#ifndef _WIN32
// pdftotext's text of each page.
std::vector<std::string> OraclePages(const fs::path& file)
{
    const std::string command = "pdftotext -q -enc UTF-8 '" + file.string() + "' - 2>/dev/null";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[65536];
        while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        ::pclose(pipe);
    }
    std::vector<std::string> pages;
    std::size_t start = 0;
    for (std::size_t ff = out.find('\f'); ff != std::string::npos; ff = out.find('\f', start)) {
        pages.push_back(out.substr(start, ff - start));
        start = ff + 1;
    }
    return pages;
}
#endif

[[maybe_unused]] bool LetterBefore(const std::string& text, std::size_t at)
{
    if (at == 0)
        return false;
    std::size_t start = at - 1;
    while (start > 0 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
        --start;
    std::size_t k = start;
    return IsLetter(Utf8Next(text, k));
}

[[maybe_unused]] bool LetterAt(const std::string& text, std::size_t at)
{
    if (at >= text.size())
        return false;
    return IsLetter(Utf8Next(text, at));
}

[[maybe_unused]] std::size_t FindWord(const std::string& text, const std::string& word)
{
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        if (!LetterBefore(text, at) && !LetterAt(text, at + word.size()))
            return at;
    return std::string::npos;
}

struct TExtracted
{
    std::string Text;      // normalized
    std::vector<int> Page; // per byte of Text: the page it came from (approximate after normalizing)
};

TExtracted Extract(const std::string& bytes)
{
    TPdfTextStream stream(bytes);
    const std::string raw = stream.ReadAll();
    EXPECT_FALSE(stream.Damaged());
    TExtracted e;
    // Normalize page by page so each piece keeps its page.
    std::uint64_t start = 0;
    int page = stream.PageAt(0);
    for (std::uint64_t i = 1; i <= raw.size(); ++i) {
        const int p = i < raw.size() ? stream.PageAt(i) : -1;
        if (p != page) {
            const std::string piece = Normalized(raw.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
            e.Text += piece;
            e.Page.insert(e.Page.end(), piece.size(), page);
            start = i;
            page = p;
        }
    }
    return e;
}

} // namespace

// Every word of five letters or more that pdftotext gives is found, for at least 98% of the words
// of each writer; a word's first hit is on a page where pdftotext has it; and every such word the
// literal-string reader found is still found.
TEST(PdfCorpusTest, WordsOfEveryWriterAreFoundOnTheirPages)
{
#ifdef _WIN32
    GTEST_SKIP() << "pdftotext is the reference on Linux; the marker words are checked on every system";
#else
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    struct TTally
    {
        std::size_t Words = 0, Found = 0, WrongPage = 0, OldFound = 0, OldLost = 0;
    };
    std::map<std::string, TTally> byWriter;
    for (const fs::path& file : CorpusFiles()) {
        SCOPED_TRACE(file.string());
        const std::string writer = file.parent_path().filename().string();
        const std::string bytes = ReadFileBytes(file);
        const auto words = WordsOf(OraclePages(file));
        ASSERT_FALSE(words.empty()) << "pdftotext gave no words";
        const TExtracted ours = Extract(bytes);
        std::string old;
        try {
            old = Normalized(AnsiToUtf8(TPDF2Text::FromBytes(bytes).Text()));
        } catch (const EPdfError&) {
        }
        TTally& t = byWriter[writer];
        std::vector<std::string> missing;
        for (const auto& [word, pages] : words) {
            ++t.Words;
            const std::size_t at = ours.Text.find(word);
            const bool oldFound = old.find(word) != std::string::npos;
            t.OldFound += oldFound;
            if (at == std::string::npos) {
                missing.push_back(word);
                t.OldLost += oldFound;
                continue;
            }
            ++t.Found;
            // The page of the first place it stands as a word of its own ("after", not "afternoon").
            const std::size_t whole = FindWord(ours.Text, word);
            if (whole == std::string::npos)
                continue;
            const int page = ours.Page[whole];
            if (!pages.count(page)) {
                ++t.WrongPage;
                ADD_FAILURE() << "\"" << word << "\" first found on page " << page << ", which pdftotext does not give it";
            }
        }
        if (!missing.empty()) {
            std::string list;
            for (const std::string& w : missing)
                list += " " + w;
            std::printf("%s: %zu of %zu words missed:%s\n", file.filename().string().c_str(), missing.size(),
                        words.size(), list.c_str());
        }
    }
    for (const auto& [writer, t] : byWriter) {
        std::printf("%-12s %zu of %zu words (%.1f%%); the literal-string reader found %zu\n", writer.c_str(), t.Found,
                    t.Words, 100.0 * static_cast<double>(t.Found) / static_cast<double>(t.Words), t.OldFound);
        EXPECT_GE(static_cast<double>(t.Found), 0.98 * static_cast<double>(t.Words)) << writer;
        EXPECT_EQ(t.OldLost, 0u) << writer << ": words the literal-string reader found are lost";
        EXPECT_EQ(t.WrongPage, 0u) << writer;
    }
#endif
}

// The marker words that made the corpus (checked with pdftotext when it was made, one page each)
// are found on their pages on every system, the Windows build under wine included.
TEST(PdfCorpusTest, MarkerWordsAreFoundOnTheirPages)
{
    // README: "| file | writer | 1 Word, Word · 2 Word | ... |"
    std::ifstream readme(CorpusFolder() / "README.md");
    std::string line;
    std::size_t checked = 0;
    while (std::getline(readme, line)) {
        if (line.rfind("| ", 0) != 0 || line.find(".pdf |") == std::string::npos)
            continue;
        std::vector<std::string> cells;
        for (std::size_t start = 2, bar; (bar = line.find(" |", start)) != std::string::npos; start = bar + 3)
            cells.push_back(line.substr(start, bar - start));
        if (cells.size() < 3 || cells[2].rfind("as ", 0) == 0)
            continue;
        SCOPED_TRACE(cells[0]);
        const std::string bytes = ReadFileBytes(CorpusFolder() / cells[0]);
        ASSERT_FALSE(bytes.empty());
        const TExtracted ours = Extract(bytes);
        // "1 A, B · 2 C"
        std::stringstream pages(cells[2]);
        std::string part;
        std::string all = cells[2];
        std::size_t from = 0;
        while (from < all.size()) {
            std::size_t dot = all.find(" · ", from);
            if (dot == std::string::npos)
                dot = all.size();
            const std::string piece = all.substr(from, dot - from);
            from = dot + std::string(" · ").size();
            const std::size_t space = piece.find(' ');
            if (space == std::string::npos)
                continue;
            const int page = std::atoi(piece.substr(0, space).c_str());
            std::stringstream words(piece.substr(space + 1));
            for (std::string word; std::getline(words, word, ',');) {
                while (!word.empty() && word.front() == ' ')
                    word.erase(0, 1);
                const std::string wanted = Normalized(word);
                const std::size_t at = ours.Text.find(wanted);
                ++checked;
                if (at == std::string::npos) {
                    ADD_FAILURE() << "\"" << word << "\" not found";
                    continue;
                }
                EXPECT_EQ(ours.Page[at], page) << word;
            }
        }
    }
    EXPECT_GT(checked, 50u);
}

} // namespace trovex
