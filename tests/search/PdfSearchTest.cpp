// SPDX-License-Identifier: MIT
// PDF documents from real writers through the engine: a marker word is found in any case and
// whatever code pages are chosen, the hit knows its page, and a document that asks for a password
// is a file that cannot be read, not a file without the word.
#include "search/FindFile.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

namespace fs = std::filesystem;

fs::path DataFolder()
{
    return fs::path(__FILE__).parent_path().parent_path() / "data";
}

struct TMarker
{
    std::string File;
    std::string Word;
    int Page;
};

// The corpus README's "pages: marker words" column: "1 Quokkafern, Bellwick · 2 Brindlemoss".
std::vector<TMarker> Markers()
{
    std::vector<TMarker> markers;
    std::ifstream readme(DataFolder() / "pdf" / "README.md");
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("| ", 0) != 0 || line.find(".pdf |") == std::string::npos)
            continue;
        std::vector<std::string> cells;
        for (std::size_t start = 2, bar; (bar = line.find(" |", start)) != std::string::npos; start = bar + 3)
            cells.push_back(line.substr(start, bar - start));
        if (cells.size() < 3 || cells[2].rfind("as ", 0) == 0)
            continue;
        const std::string dot = " · ";
        for (std::size_t from = 0; from < cells[2].size();) {
            std::size_t end = cells[2].find(dot, from);
            if (end == std::string::npos)
                end = cells[2].size();
            const std::string piece = cells[2].substr(from, end - from);
            from = end + dot.size();
            const std::size_t space = piece.find(' ');
            if (space == std::string::npos)
                continue;
            std::stringstream words(piece.substr(space + 1));
            for (std::string word; std::getline(words, word, ',');) {
                while (!word.empty() && word.front() == ' ')
                    word.erase(0, 1);
                // One word each: the engine looks for the text as typed, spaces and all.
                if (!word.empty() && word.find(' ') == std::string::npos)
                    markers.push_back({cells[0], word, std::atoi(piece.substr(0, space).c_str())});
            }
        }
    }
    return markers;
}

struct THit
{
    bool Found = false;
    int Page = 0;
    std::string Text;
    std::string Error;
};

THit Search(const std::string& folder, const std::string& text, TCodePages pages)
{
    TFindFile engine;
    engine.SetMask("*.pdf");
    engine.SetFolder(folder);
    engine.ContainingText = text;
    engine.CodePages = pages;
    THit hit;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
        hit.Found = true;
        hit.Page = info.FoundPage;
        hit.Text = info.FoundText;
    };
    engine.RunHere();
    hit.Error = engine.ErrorMessage();
    return hit;
}

} // namespace

TEST(PdfSearchTest, MarkerWordsAreFoundWithTheirPages)
{
    const std::vector<TMarker> markers = Markers();
    ASSERT_GT(markers.size(), 50u);
    std::string current;
    std::unique_ptr<TTempTree> tree;
    for (const TMarker& m : markers) {
        SCOPED_TRACE(m.File + ": " + m.Word);
        if (m.File != current) {
            tree = std::make_unique<TTempTree>();
            std::ifstream in(DataFolder() / "pdf" / m.File, std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            tree->AddFile("doc.pdf", bytes.str());
            current = m.File;
        }
        // Upper case typed, one 8-bit code page chosen: the document's text is Unicode.
        const THit hit = Search(tree->Root(), Utf8Upper(m.Word), cpWindows);
        EXPECT_TRUE(hit.Found);
        EXPECT_EQ(hit.Page, m.Page);
        EXPECT_EQ(hit.Error, "");
    }
}

// A document that asks for a password has no text to search: never reported, not even when only
// a text it must not contain is given.
TEST(PdfSearchTest, DocumentNeedingAPasswordIsNotReported)
{
    TTempTree tree;
    std::size_t locked = 0;
    for (const auto& entry : fs::directory_iterator(DataFolder() / "pdfsecurity")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".pdf" || name.find("user") == std::string::npos)
            continue;
        fs::copy_file(entry.path(), tree.Path(name));
        ++locked;
    }
    ASSERT_GT(locked, 0u) << "no document with a user password in the test data";
    TFindFile engine;
    engine.SetMask("*.pdf");
    engine.SetFolder(tree.Root());
    engine.ExcludedText = "nothing of the sort";
    int found = 0;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo&) { ++found; };
    engine.RunHere();
    EXPECT_EQ(found, 0);
    EXPECT_EQ(engine.ErrorMessage(), "");
}
