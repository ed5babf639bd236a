// SPDX-License-Identifier: MIT
// One pass over the document's lines: streams are found and inflated as the lines go by, and each
// collected line or inflated stream has its strings extracted at once, so no line list is kept.
// The document is read through a window of a fixed size and a line or stream longer than it is
// handled piece by piece, with the state the pieces share carried between them: the text is what
// extracting the whole document at once gives, and memory does not follow the file's size.
#include "readers/uPDFtext.h"

#include "platform/Stream.h"
#include "readers/ZLibEx.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include <zlib.h>

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
constexpr std::string_view EndStream = "endstream";
constexpr std::string_view StreamWord = "stream";
constexpr std::size_t Window = std::size_t{1} << 20;
constexpr std::size_t InflateInput = std::size_t{256} << 10;
constexpr std::size_t InflateOutput = std::size_t{64} << 10;

bool IsLineEnd(char c)
{
    return c == '\0' || c == '\n' || c == '\r';
}

// The characters that end a run of plain text inside a string.
bool IsStringMark(char c)
{
    return c == '(' || c == ')' || c == '\\';
}

bool IsNewline(int c)
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

// The document's bytes: a file read at given offsets, or bytes held by the caller.
class TSource
{
public:
    explicit TSource(std::string_view bytes) : FBytes(bytes) {}
    explicit TSource(const TFileStream& file) : FFile(&file) {}

    // Up to `count` bytes at `offset`; fewer where the document ends. Throws EReadError.
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t count) const
    {
        if (!FFile) {
            if (offset >= FBytes.size())
                return 0;
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FBytes.size() - offset));
            std::memcpy(buffer, FBytes.data() + offset, n);
            return n;
        }
        return FFile->ReadAt(offset, buffer, count);
    }

    // The start of the next stretch of the file that is not a hole, at or after `offset`.
    std::uint64_t NextData(std::uint64_t offset) const
    {
        return FFile ? FFile->NextData(offset) : offset;
    }

private:
    std::string_view FBytes;
    const TFileStream* FFile = nullptr;
};

// The current window of the document and single bytes around it.
class TWindow
{
public:
    explicit TWindow(const TSource& source)
        : FSource(source), FBuffer(new char[Window])
    {
    }

    // Places the window at `offset`; false when nothing is there.
    bool Load(std::uint64_t offset)
    {
        FStart = offset;
        FLength = FSource.ReadAt(offset, FBuffer.get(), Window);
        return FLength > 0;
    }
    bool Holds(std::uint64_t offset) const { return offset >= FStart && offset - FStart < FLength; }
    std::uint64_t Start() const { return FStart; }
    std::uint64_t End() const { return FStart + FLength; }
    std::string_view View() const { return std::string_view(FBuffer.get(), FLength); }

    // The byte at `offset`, or -1 past the end. A byte ahead of the window moves the window there.
    int At(std::uint64_t offset)
    {
        if (!Holds(offset)) {
            if (offset < FStart) {
                char c;
                return FSource.ReadAt(offset, &c, 1) == 1 ? static_cast<unsigned char>(c) : -1;
            }
            if (!Load(offset))
                return -1;
        }
        return static_cast<unsigned char>(FBuffer[offset - FStart]);
    }

private:
    const TSource& FSource;
    std::unique_ptr<char[]> FBuffer;
    std::uint64_t FStart = 0;
    std::size_t FLength = 0;
};

// The first offset at or after `p` that holds no NUL (or the end of the document).
std::uint64_t SkipZeros(const TSource& source, TWindow& window, std::uint64_t p)
{
    for (;;) {
        if (!window.Holds(p)) {
            // A hole in a sparse file reads as NULs: jump over it without reading it.
            p = source.NextData(p);
            if (!window.Load(p))
                return p;
        }
        const std::string_view view = window.View();
        std::size_t i = static_cast<std::size_t>(p - window.Start());
        while (i + 8 <= view.size()) {
            std::uint64_t word;
            std::memcpy(&word, view.data() + i, 8);
            if (word != 0)
                break;
            i += 8;
        }
        while (i < view.size() && view[i] == '\0')
            ++i;
        p = window.Start() + i;
        if (i < view.size())
            return p;
    }
}

// What one line tells the stream logic, gathered piece by piece.
struct TLineFacts
{
    std::uint64_t Length = 0;
    char Head[7] = {};                // the first bytes, enough to tell the line "stream"
    bool HasEndStream = false;
    std::uint64_t LastN = UINT64_MAX; // offset of the line's last "n"
    char Carry[EndStream.size()] = {}; // the end of the line so far, for a keyword split between pieces
    std::size_t CarryLength = 0;

    void Add(std::string_view piece, std::uint64_t offset, bool insideStream)
    {
        for (std::size_t i = 0; i < piece.size() && Length + i < sizeof Head; ++i)
            Head[Length + i] = piece[i];
        Length += piece.size();
        if (!insideStream || piece.empty())
            return;
        if (const std::size_t n = piece.rfind('n'); n != std::string_view::npos)
            LastN = offset + n;
        if (HasEndStream)
            return;
        const std::size_t keep = EndStream.size() - 1;
        if (CarryLength > 0) {
            std::string joint(Carry, CarryLength);
            joint.append(piece.substr(0, keep));
            HasEndStream = joint.find(EndStream) != std::string::npos;
        }
        HasEndStream = HasEndStream || piece.find(EndStream) != std::string_view::npos;
        std::string tail(Carry, CarryLength);
        tail.append(piece.substr(piece.size() - std::min(piece.size(), keep)));
        tail.erase(0, tail.size() - std::min(tail.size(), keep));
        CarryLength = tail.size();
        std::memcpy(Carry, tail.data(), CarryLength);
    }
    bool IsStream() const { return Length == 6 && std::string_view(Head, 6) == "stream"; }
};

class TExtractor
{
public:
    TExtractor(std::string& text, std::size_t fileSize, const std::atomic<bool>* cancel)
        : FText(text), FBudget(PdfInflateBudget(fileSize)), FTextLimit(PdfTextBudget(fileSize)), FCancel(cancel)
    {
    }

    void Run(const TSource& source);

private:
    // An entry (a line outside streams, or an inflated stream up to its first NUL) is given in
    // pieces: Feed each piece, then EndEntry.
    void Feed(std::string_view piece);
    void EndEntry();
    void FeedStrings(std::string_view piece);
    void TakeChar(char ch);
    void Put(char ch)
    {
        if (FText.size() >= FTextLimit)
            return;
        if (FText.size() == FText.capacity()) {
            // Grown by hand so the last step stops at the bound: doubling past it (which reserve
            // itself would do) takes nearly twice the bound for a moment.
            std::string grown;
            grown.reserve(std::min(std::max<std::size_t>(FText.capacity() * 2, 256), FTextLimit));
            grown.append(FText);
            FText.swap(grown);
        }
        FText.push_back(ch);
    }
    // The same as Put for each of `count` characters, in one step.
    void PutRun(const char* chars, std::size_t count)
    {
        if (FText.size() >= FTextLimit)
            return;
        count = std::min(count, FTextLimit - FText.size());
        if (FText.capacity() - FText.size() < count) {
            std::string grown;
            grown.reserve(std::min(std::max({FText.capacity() * 2, FText.size() + count, std::size_t{256}}), FTextLimit));
            grown.append(FText);
            FText.swap(grown);
        }
        FText.append(chars, count);
    }
    void InflateStream(const TSource& source, const TWindow& window, std::uint64_t start, std::uint64_t end);

    std::string& FText;
    std::size_t FBudget;
    std::size_t FTextLimit;
    const std::atomic<bool>* FCancel;

    // Strings: where the scan stands, carried from piece to piece and, for the in-string flag,
    // from entry to entry.
    enum TStep : std::uint8_t
    {
        stStep,   // at a step: outside a string only a "(" matters
        stChar,   // the next character is taken as it is (it follows an opening "(")
        stEscape, // the next character follows a "\"
        stOctal,  // inside an octal escape
    };
    bool FInString = false;
    TStep FStep = stStep;
    unsigned FOctal = 0;
    int FDigits = 0;

    // A stream's dictionary is every entry from the last one holding "<<" up to its "stream"
    // line; whether that concatenation names the filter is kept up to date entry by entry, with the
    // tail of the concatenation for a name split across entries.
    bool FHaveDictionary = false;
    bool FDictionaryIsFlate = false;
    std::string FDictionaryTail;
    // The entry being fed, as far as the dictionary needs it.
    std::uint64_t FEntryLength = 0;
    std::string FEntryHead;     // its first bytes (FlateName's length less one)
    std::string FEntryTail;     // its last bytes, as many
    bool FEntryHasOpen = false; // holds "<<"
    bool FEntryHasFlate = false;
    char FEntryLast = 0;

    std::size_t FInflated = 0;
    std::size_t FFailed = 0;
    // Made on the first stream and kept for the others.
    std::unique_ptr<unsigned char[]> FInput;
    std::unique_ptr<char[]> FOutput;
};

void TExtractor::Feed(std::string_view piece)
{
    if (piece.empty())
        return;
    const std::size_t keep = FlateName.size() - 1;
    if (!FEntryHasOpen)
        FEntryHasOpen = (FEntryLength > 0 && FEntryLast == '<' && piece[0] == '<') ||
                        piece.find("<<") != std::string_view::npos;
    if (!FEntryHasFlate) {
        std::string joint = FEntryTail;
        joint.append(piece.substr(0, keep));
        FEntryHasFlate = joint.find(FlateName) != std::string::npos ||
                         piece.find(FlateName) != std::string_view::npos;
    }
    if (FEntryHead.size() < keep)
        FEntryHead.append(piece.substr(0, keep - FEntryHead.size()));
    FEntryTail.append(piece.substr(piece.size() - std::min(keep, piece.size())));
    FEntryTail.erase(0, FEntryTail.size() - std::min(keep, FEntryTail.size()));
    FEntryLength += piece.size();
    FEntryLast = piece.back();
    FeedStrings(piece);
}

void TExtractor::EndEntry()
{
    if (FEntryLength == 0) {
        FStep = stStep; // an empty entry changes nothing else (nor could a step be pending in it)
        return;
    }
    // Strings: an octal escape cut by the end of the entry is written; a "(" or "\" ending it
    // writes nothing.
    if (FStep == stOctal)
        Put(static_cast<char>(FOctal & 0xFF));
    FStep = stStep;

    const std::size_t keep = FlateName.size() - 1;
    if (FEntryHasOpen) {
        FHaveDictionary = true;
        FDictionaryIsFlate = FEntryHasFlate;
        FDictionaryTail = FEntryTail;
    } else if (FHaveDictionary && !FDictionaryIsFlate) {
        std::string joint = FDictionaryTail;
        joint.append(FEntryHead);
        FDictionaryIsFlate = joint.find(FlateName) != std::string::npos || FEntryHasFlate;
        if (FEntryLength >= keep) {
            FDictionaryTail = FEntryTail;
        } else {
            FDictionaryTail.append(FEntryHead); // the whole entry
            FDictionaryTail.erase(0, FDictionaryTail.size() - std::min(keep, FDictionaryTail.size()));
        }
    }
    FEntryLength = 0;
    FEntryHead.clear();
    FEntryTail.clear();
    FEntryHasOpen = false;
    FEntryHasFlate = false;
    FEntryLast = 0;
}

void TExtractor::TakeChar(char ch)
{
    if (ch == ')') {
        FInString = false;
        FStep = stStep;
    } else if (ch == '\\') {
        FStep = stEscape;
    } else {
        Put(ch);
        FStep = stStep;
    }
}

void TExtractor::FeedStrings(std::string_view piece)
{
    const char* p = piece.data();
    const char* const end = p + piece.size();
    while (p < end) {
        switch (FStep) {
        case stStep:
            if (!FInString) {
                // Outside a string only a "(" does anything: go straight to the next one.
                p = static_cast<const char*>(std::memchr(p, '(', static_cast<std::size_t>(end - p)));
                if (!p)
                    return;
            } else if (!IsStringMark(*p)) {
                // Inside a string every character up to the next mark is text: take the run at once.
                const char* q = p + 1;
                while (q < end && !IsStringMark(*q))
                    ++q;
                PutRun(p, static_cast<std::size_t>(q - p));
                p = q;
                break;
            }
            if (*p == '(') {
                // An opening "(", or one inside a string: skipped, and the character after it is
                // taken whatever it is.
                FInString = true;
                FStep = stChar;
                ++p;
                break;
            }
            TakeChar(*p++);
            break;
        case stChar:
            TakeChar(*p++);
            break;
        case stEscape: {
            const char e = *p++;
            if (e >= '0' && e <= '9') {
                // Up to three digits, read as octal even when they are 8 or 9.
                FOctal = static_cast<unsigned>(e - '0');
                FDigits = 1;
                FStep = stOctal;
            } else {
                if (e == 'f' || e == 'n' || e == 'r') {
                    Put('\r');
                    Put('\n');
                } else {
                    Put(e);
                }
                FStep = stStep;
            }
            break;
        }
        case stOctal:
            if (FDigits < 3 && *p >= '0' && *p <= '9') {
                FOctal = FOctal * 8 + static_cast<unsigned>(*p - '0');
                ++FDigits;
                ++p;
                if (FDigits < 3)
                    break;
            }
            Put(static_cast<char>(FOctal & 0xFF));
            FStep = stStep; // a character that ends the digits is read again as a step
            break;
        }
    }
}

// Inflates the stream data at [start, end) a piece at a time, its text collected as it comes. A
// stream that turns out damaged leaves no trace: the text and the scan state go back to where
// they were before it.
void TExtractor::InflateStream(const TSource& source, const TWindow& window, std::uint64_t start, std::uint64_t end)
{
    if (FBudget == 0)
        return;
    const std::size_t textBefore = FText.size();
    const bool inStringBefore = FInString;
    const bool haveDictionaryBefore = FHaveDictionary;
    const bool flateBefore = FDictionaryIsFlate;
    const std::string tailBefore = FDictionaryTail;

    struct TZStream
    {
        z_stream Stream{};
        bool Active = false;
        ~TZStream()
        {
            if (Active)
                inflateEnd(&Stream);
        }
    } z;
    z_stream& zs = z.Stream;
    bool failed = inflateInit2(&zs, MAX_WBITS) != Z_OK;
    z.Active = !failed;
    if (!FOutput)
        FOutput.reset(new char[InflateOutput]);
    char* const output = FOutput.get();
    std::uint64_t taken = start;
    if (window.Holds(start) && end <= window.End()) {
        // Usually the whole stream is in the window that found it: inflate it from there.
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(window.View().data() + (start - window.Start())));
        zs.avail_in = static_cast<uInt>(end - start);
        taken = end;
    } else if (!FInput) {
        FInput.reset(new unsigned char[InflateInput]);
    }
    std::size_t produced = 0;
    bool sawZero = false;
    while (!failed) {
        CheckCancel(FCancel);
        if (produced >= FBudget)
            break; // the bound: the stream keeps what it gave
        if (zs.avail_in == 0 && taken < end) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(InflateInput, end - taken));
            const std::size_t have = source.ReadAt(taken, reinterpret_cast<char*>(FInput.get()), want);
            taken = have < want ? end : taken + have; // a file cut short ends the stream's data there
            zs.next_in = FInput.get();
            zs.avail_in = static_cast<uInt>(have);
        }
        const uInt room = static_cast<uInt>(std::min(InflateOutput, FBudget - produced));
        const uInt inBefore = zs.avail_in;
        zs.next_out = reinterpret_cast<Bytef*>(output);
        zs.avail_out = room;
        int ret = inflate(&zs, Z_NO_FLUSH);
        const std::size_t got = room - zs.avail_out;
        produced += got;
        if (!sawZero && got > 0) {
            // Only the text before the first NUL is collected.
            std::string_view piece(output, got);
            const std::size_t zero = piece.find('\0');
            sawZero = zero != std::string_view::npos;
            Feed(piece.substr(0, zero));
        }
        const bool progress = zs.avail_out != room || zs.avail_in != inBefore;
        if (ret == Z_OK && !progress)
            ret = Z_BUF_ERROR; // never spin on a call that moves nothing
        if (ret == Z_STREAM_END)
            break;
        if (ret != Z_OK)
            failed = true; // includes Z_NEED_DICT: a preset dictionary is never available here
    }
    if (failed) {
        FText.resize(textBefore);
        FInString = inStringBefore;
        FHaveDictionary = haveDictionaryBefore;
        FDictionaryIsFlate = flateBefore;
        FDictionaryTail = tailBefore;
        FStep = stStep;
        FEntryLength = 0;
        FEntryHead.clear();
        FEntryTail.clear();
        FEntryHasOpen = FEntryHasFlate = false;
        ++FFailed;
        return;
    }
    ++FInflated;
    FBudget -= produced;
    EndEntry();
}

void TExtractor::Run(const TSource& source)
{
    TWindow window(source);
    bool outside = true;
    bool flate = false;
    std::uint64_t dataStart = 0;
    std::uint64_t p = 0;
    for (;;) {
        CheckCancel(FCancel);
        if (!window.Holds(p) && !window.Load(p))
            break; // the end of the document
        if (window.At(p) == '\0') {
            // Each NUL at a line start is an empty line that changes nothing, inside a stream or
            // out: pass the whole run at once (a sparse file is mostly such runs).
            p = SkipZeros(source, window, p);
            continue;
        }
        if (!outside) {
            // Inside a stream a line matters only when it holds "stream" (the keyword "endstream",
            // or a line that is that word alone): go straight to the line that holds the next one,
            // or to the last line start in the window when none is left in it.
            const std::string_view view = window.View();
            const std::size_t from = static_cast<std::size_t>(p - window.Start());
            std::size_t to = view.find(StreamWord, from);
            if (to == std::string_view::npos)
                to = view.size();
            while (to > from && !IsLineEnd(view[to - 1]))
                --to;
            if (to > from) {
                p = window.Start() + to;
                continue;
            }
        }
        // One line, from p to the next line end (LF, CR or NUL) or the end of the document.
        const bool insideStream = !outside;
        TLineFacts line;
        for (;;) {
            const std::string_view view = window.View();
            const std::size_t from = static_cast<std::size_t>(p - window.Start());
            const std::size_t to = FindLineEnd(view, from);
            const std::string_view piece = view.substr(from, to - from);
            line.Add(piece, p, insideStream);
            if (outside)
                Feed(piece);
            p = window.Start() + to;
            if (to < view.size() || !window.Load(p))
                break;
            CheckCancel(FCancel);
        }
        if (outside)
            EndEntry();
        if (line.IsStream()) {
            outside = false;
            if (!FHaveDictionary)
                throw EPdfError("PDF stream without a dictionary");
            flate = FDictionaryIsFlate;
            if (flate) {
                for (int c = window.At(p); IsNewline(c); c = window.At(p))
                    ++p;
                dataStart = p;
            }
        }
        if (!outside && insideStream && line.HasEndStream) {
            outside = true;
            if (flate) {
                // The data ends before the keyword: back to the line's last "n", over the "e" before
                // it, then over the line ends that precede the keyword.
                std::int64_t q = static_cast<std::int64_t>(line.LastN) - 2;
                while (q >= 0) {
                    if (!IsNewline(window.At(static_cast<std::uint64_t>(q))))
                        break;
                    --q;
                }
                const std::int64_t dataEnd = q + 1;
                if (dataEnd > static_cast<std::int64_t>(dataStart)) {
                    InflateStream(source, window, dataStart, static_cast<std::uint64_t>(dataEnd));
                    // Read the keyword again, now outside the stream, so it is collected as a line.
                    p = static_cast<std::uint64_t>(dataEnd);
                }
            }
        }
        if (window.At(p) == '\r')
            ++p;
        if (window.At(p) == '\n')
            ++p;
        if (window.At(p) == '\0')
            ++p;
    }
    if (FFailed > 0 && FInflated == 0)
        throw EPdfError("PDF streams cannot be inflated");
}

} // namespace

TPDF2Text::TPDF2Text(const std::string& path, const std::atomic<bool>* cancel)
    : TPDF2Text(TFileStream(path), path, cancel) // opens and checks the file; read at given offsets from here
{
}

TPDF2Text::TPDF2Text(const TFileStream& file, const std::string& path, const std::atomic<bool>* cancel)
    : FFileName(path)
{
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), SIZE_MAX));
    TExtractor(FText, size, cancel).Run(TSource(file));
}

TPDF2Text::TPDF2Text(TBytesTag, std::string_view bytes)
{
    TExtractor(FText, bytes.size(), nullptr).Run(TSource(bytes));
}

TPDF2Text TPDF2Text::FromBytes(std::string_view bytes)
{
    return TPDF2Text(TBytesTag{}, bytes);
}

} // namespace trovex
