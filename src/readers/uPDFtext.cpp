// SPDX-License-Identifier: MIT
// One pass over the document's lines: streams are found and inflated as the lines go by, and each
// collected line or inflated stream has its strings extracted at once, so no line list is kept.
#include "readers/uPDFtext.h"

#include "platform/Stream.h"
#include "readers/ZLibEx.h"

#include <algorithm>
#include <memory>
#include <cstdint>
#include <cstring>

namespace trovex
{

std::size_t PdfInflateBudget(std::size_t fileSize)
{
    std::size_t scaled =
        fileSize > PdfMaxInflateBudget / PdfInflateRatio ? PdfMaxInflateBudget : fileSize * PdfInflateRatio;
    return std::clamp(scaled, PdfMinInflateBudget, PdfMaxInflateBudget);
}

namespace
{

constexpr std::string_view FlateName = "/FlateDecode";
constexpr std::size_t ReadChunk = std::size_t{1} << 20;

bool IsLineEnd(char c)
{
    return c == '\0' || c == '\n' || c == '\r';
}

bool IsNewline(char c)
{
    return c == '\n' || c == '\r';
}

// The first line end (LF, CR or NUL) at or after `from`, or the end of the data. Eight bytes at a
// time: documents are mostly long binary streams, where a byte loop was most of the reading time.
std::size_t FindLineEnd(std::string_view data, std::size_t from)
{
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t Highs = 0x8080808080808080ULL;
    auto hasZero = [](std::uint64_t v) { return (v - Ones) & ~v & Highs; };
    const std::size_t n = data.size();
    std::size_t p = from;
    while (p + 8 <= n) {
        std::uint64_t word;
        std::memcpy(&word, data.data() + p, 8);
        if (hasZero(word) | hasZero(word ^ (Ones * '\n')) | hasZero(word ^ (Ones * '\r')))
            break; // the byte loop below finds which one
        p += 8;
    }
    while (p < n && !IsLineEnd(data[p]))
        ++p;
    return p;
}

class TExtractor
{
public:
    TExtractor(std::string& text, std::size_t budget) : FText(text), FBudget(budget) {}

    void Run(std::string_view data);

private:
    void Collect(std::string_view entry);
    void TrackDictionary(std::string_view entry);
    void ExtractStrings(std::string_view entry);
    void InflateStream(std::string_view data);

    std::string& FText;
    std::size_t FBudget;
    bool FInString = false;
    // A stream's dictionary is every entry from the last one holding "<<" up to its "stream"
    // line; whether that concatenation names the filter is kept up to date entry by entry, with the
    // tail of the concatenation for a name split across entries.
    bool FHaveDictionary = false;
    bool FDictionaryIsFlate = false;
    std::string FDictionaryTail;
    std::size_t FInflated = 0;
    std::size_t FFailed = 0;
};

void TExtractor::Collect(std::string_view entry)
{
    TrackDictionary(entry);
    ExtractStrings(entry);
}

void TExtractor::TrackDictionary(std::string_view entry)
{
    const std::size_t keep = FlateName.size() - 1;
    if (entry.find("<<") != std::string_view::npos) {
        FHaveDictionary = true;
        FDictionaryIsFlate = entry.find(FlateName) != std::string_view::npos;
        FDictionaryTail = entry.substr(entry.size() - std::min(keep, entry.size()));
        return;
    }
    if (!FHaveDictionary || FDictionaryIsFlate)
        return;
    std::string joint = FDictionaryTail;
    joint.append(entry.substr(0, keep));
    FDictionaryIsFlate =
        joint.find(FlateName) != std::string::npos || entry.find(FlateName) != std::string_view::npos;
    if (entry.size() >= keep) {
        FDictionaryTail = entry.substr(entry.size() - keep);
    } else {
        FDictionaryTail.append(entry);
        FDictionaryTail.erase(0, FDictionaryTail.size() - std::min(keep, FDictionaryTail.size()));
    }
}

void TExtractor::ExtractStrings(std::string_view entry)
{
    const std::size_t n = entry.size();
    // i runs as a signed position that starts before the first character.
    for (std::ptrdiff_t i = -1; i + 1 < static_cast<std::ptrdiff_t>(n);) {
        if (!FInString) {
            // Outside a string only a "(" does anything: go straight to the next one.
            const void* open = std::memchr(entry.data() + i + 1, '(', n - static_cast<std::size_t>(i + 1));
            if (!open)
                break;
            i = static_cast<const char*>(open) - entry.data() - 1;
        }
        ++i;
        if (entry[i] == '(') {
            FInString = true;
            ++i;
        }
        // A "(" or "\" that ends the entry would take the position past it: nothing is written.
        if (i >= static_cast<std::ptrdiff_t>(n))
            break;
        char ch = entry[i];
        if (ch == ')')
            FInString = false;
        if (!FInString)
            continue;
        if (ch != '\\') {
            FText.push_back(ch);
            continue;
        }
        ++i;
        if (i >= static_cast<std::ptrdiff_t>(n))
            break;
        char e = entry[i];
        if (e >= '0' && e <= '9') {
            // Up to three digits, read as octal even when they are 8 or 9.
            unsigned value = 0;
            int digits = 0;
            while (digits < 3 && i < static_cast<std::ptrdiff_t>(n) && entry[i] >= '0' && entry[i] <= '9') {
                value = value * 8 + static_cast<unsigned>(entry[i] - '0');
                ++i;
                ++digits;
            }
            --i;
            FText.push_back(static_cast<char>(value & 0xFF));
        } else if (e == 'f' || e == 'n' || e == 'r') {
            FText.append("\r\n");
        } else {
            FText.push_back(e);
        }
    }
}

void TExtractor::InflateStream(std::string_view data)
{
    if (FBudget == 0)
        return;
    std::string out;
    try {
        out = DecompressZlibBuffer(data, 0, FBudget);
    } catch (const EZDecompressionError&) {
        ++FFailed;
        return;
    }
    ++FInflated;
    FBudget -= out.size();
    std::size_t zero = out.find('\0');
    Collect(std::string_view(out).substr(0, zero));
}

void TExtractor::Run(std::string_view data)
{
    const std::size_t n = data.size();
    bool outside = true;
    bool flate = false;
    std::size_t dataStart = 0;
    std::size_t p = 0;
    while (p < n) {
        const std::size_t lineStart = p;
        p = FindLineEnd(data, p);
        const std::string_view line = data.substr(lineStart, p - lineStart);
        if (outside)
            Collect(line);
        if (line == "stream") {
            outside = false;
            if (!FHaveDictionary)
                throw EPdfError("PDF stream without a dictionary");
            flate = FDictionaryIsFlate;
            if (flate) {
                while (p < n && IsNewline(data[p]))
                    ++p;
                dataStart = p;
            }
        }
        if (!outside && line.find("endstream") != std::string_view::npos) {
            outside = true;
            if (flate) {
                // The data ends before the keyword: back to its "n", over the "e" before it, then
                // over the line ends that precede the keyword.
                std::ptrdiff_t q = static_cast<std::ptrdiff_t>(p) - 1;
                while (data[q] != 'n')
                    --q; // the line holds "endstream", so an "n" is found inside it
                q -= 2;
                while (q >= 0 && IsNewline(data[q]))
                    --q;
                const std::ptrdiff_t dataEnd = q + 1;
                if (dataEnd > static_cast<std::ptrdiff_t>(dataStart)) {
                    InflateStream(data.substr(dataStart, dataEnd - dataStart));
                    // Read the keyword again, now outside the stream, so it is collected as a line.
                    p = static_cast<std::size_t>(dataEnd);
                }
            }
        }
        if (p < n && data[p] == '\r')
            ++p;
        if (p < n && data[p] == '\n')
            ++p;
        if (p < n && data[p] == '\0')
            ++p;
    }
    if (FFailed > 0 && FInflated == 0)
        throw EPdfError("PDF streams cannot be inflated");
}

} // namespace

TPDF2Text::TPDF2Text(const std::string& path) : FFileName(path)
{
    TFileStream file(path);
    // Sized from the file, left uninitialised: zero-filling a buffer only to overwrite it cost more
    // than extracting the text of a small document. A file that grows meanwhile is read in chunks.
    std::size_t capacity = static_cast<std::size_t>(file.Size()) + 1;
    std::unique_ptr<char[]> data(new char[capacity]);
    std::size_t have = 0;
    for (;;) {
        if (have == capacity) {
            std::size_t bigger = capacity + std::max<std::size_t>(capacity / 2, ReadChunk);
            std::unique_ptr<char[]> grown(new char[bigger]);
            std::memcpy(grown.get(), data.get(), have);
            data = std::move(grown);
            capacity = bigger;
        }
        const std::size_t got = file.Read(data.get() + have, capacity - have);
        have += got;
        if (got == 0 || have < capacity)
            break;
    }
    Extract(std::string_view(data.get(), have));
}

TPDF2Text::TPDF2Text(TBytesTag, std::string_view bytes)
{
    Extract(bytes);
}

TPDF2Text TPDF2Text::FromBytes(std::string_view bytes)
{
    return TPDF2Text(TBytesTag{}, bytes);
}

void TPDF2Text::Extract(std::string_view data)
{
    TExtractor(FText, PdfInflateBudget(data.size())).Run(data);
}

} // namespace trovex
