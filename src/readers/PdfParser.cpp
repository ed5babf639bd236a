// SPDX-License-Identifier: MIT
#include "readers/PdfParser.h"

#include "platform/CodePage.h"
#include "platform/Stream.h"
#include "readers/PdfEncodings.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>

#include <zlib.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#if TROVEX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace trovex::pdf
{
namespace
{

const TObject NullObject;
constexpr int MaxDepth = 64;
constexpr std::size_t ParseWindow = 64 * 1024;
constexpr std::size_t MaxObjectBytes = std::size_t{16} << 20;
// Parsed objects kept at hand; a page dictionary costs kilobytes parsed, so the cache stays well
// below a large document's object count.
constexpr std::size_t MaxCachedObjects = 10000;
// Object streams kept inflated: writers spread a page's objects over many of them, and one that is
// let go is inflated again for the next object asked of it. The least recently used goes first.
constexpr std::size_t MaxObjectStreams = 256;
constexpr std::size_t MaxObjectStreamBytes = std::size_t{64} << 20;
constexpr std::uint64_t MaxRawStream = std::uint64_t{128} << 20;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool IsPdfSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsPdfDelimiter(char c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

const TObject& TObject::Get(std::string_view key) const
{
    if (!D)
        return NullObject;
    for (const auto& [k, v] : *D)
        if (k == key)
            return v;
    return NullObject;
}

const TObject& TObject::At(std::size_t i) const
{
    return Kind == Array && A && i < A->size() ? (*A)[i] : NullObject;
}

// ---------------------------------------------------------------------------------------------
// Lexer

void TLexer::SkipSpace()
{
    while (FPos < FData.size()) {
        const char c = FData[FPos];
        if (IsPdfSpace(c)) {
            ++FPos;
        } else if (c == '%') {
            while (FPos < FData.size() && FData[FPos] != '\n' && FData[FPos] != '\r')
                ++FPos;
        } else {
            break;
        }
    }
}

TObject TLexer::ParseNumber()
{
    TObject o;
    const std::size_t start = FPos;
    bool real = false;
    bool negative = false;
    if (FData[FPos] == '+' || FData[FPos] == '-') {
        negative = FData[FPos] == '-';
        ++FPos;
    }
    // Writers put stray signs inside numbers ("--5", "1-2"): take what reads as one.
    while (FPos < FData.size() && (FData[FPos] == '-' || FData[FPos] == '+'))
        ++FPos;
    std::int64_t whole = 0;
    double value = 0, scale = 0.1;
    bool any = false;
    while (FPos < FData.size()) {
        const char c = FData[FPos];
        if (IsDigit(c)) {
            any = true;
            if (!real) {
                if (whole < std::int64_t{100000000000000000}) // stays far inside int64 as a double too
                    whole = whole * 10 + (c - '0');
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && !real) {
            real = true;
        } else {
            break;
        }
        ++FPos;
    }
    if (!any && FPos == start + 1 && !real) {
        o.Kind = TObject::Keyword;
        o.S.assign(1, FData[start]);
        return o;
    }
    if (real) {
        o.Kind = TObject::Real;
        // Bounded, so the number converts to any integer type without overflow.
        o.R = std::clamp(negative ? -value : value, -1e18, 1e18);
    } else {
        o.Kind = TObject::Int;
        o.I = negative ? -whole : whole;
    }
    return o;
}

namespace
{

// The bytes that end a run of plain bytes inside a literal string.
constexpr std::array<bool, 256> StringSpecials = [] {
    std::array<bool, 256> t{};
    for (const char c : {'\\', '(', ')', '\r'})
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

// The first byte in [p, end) that ends a run of plain bytes in a literal string, 16 at a time.
const char* FindStringSpecial(const char* p, const char* end)
{
#if defined(__x86_64__)
    const __m128i backslash = _mm_set1_epi8('\\'), open = _mm_set1_epi8('('), close = _mm_set1_epi8(')'),
                  cr = _mm_set1_epi8('\r');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, open)),
                                         _mm_or_si128(_mm_cmpeq_epi8(bytes, close), _mm_cmpeq_epi8(bytes, cr)));
        if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)))
            return p + __builtin_ctz(mask);
    }
#endif
    while (p != end && !StringSpecials[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

} // namespace

void TLexer::ReadLiteral(std::string_view data, std::size_t& pos, std::string& out)
{
    out.clear();
    ++pos; // the "("
    int nesting = 1;
    const std::size_t size = data.size();
    while (pos < size) {
        // Most of a string is plain bytes: taken as one run.
        const std::size_t run = static_cast<std::size_t>(FindStringSpecial(data.data() + pos, data.data() + size) - data.data());
        out.append(data.data() + pos, run - pos);
        pos = run;
        if (pos >= size)
            break;
        const char c = data[pos++];
        if (c == '\\') {
            if (pos >= size)
                break;
            const char e = data[pos++];
            switch (e) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case '\r':
                if (pos < size && data[pos] == '\n')
                    ++pos;
                break;
            case '\n': break;
            default:
                if (e >= '0' && e <= '7') {
                    int v = e - '0';
                    for (int k = 0; k < 2 && pos < size && data[pos] >= '0' && data[pos] <= '7'; ++k)
                        v = v * 8 + (data[pos++] - '0');
                    out.push_back(static_cast<char>(v & 0xFF));
                } else {
                    out.push_back(e);
                }
            }
        } else if (c == '(') {
            ++nesting;
            out.push_back(c);
        } else if (c == ')') {
            if (--nesting == 0)
                break;
            out.push_back(c);
        } else { // '\r': an end of line inside a string reads as a line feed, whatever its form
            if (pos < size && data[pos] == '\n')
                ++pos;
            out.push_back('\n');
        }
    }
}

void TLexer::ReadHex(std::string_view data, std::size_t& pos, std::string& out)
{
    out.clear();
    ++pos; // the "<"
    int high = -1;
    while (pos < data.size()) {
        const char c = data[pos++];
        if (c == '>')
            break;
        const int v = HexValue(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0)
        out.push_back(static_cast<char>(high << 4));
}

void TLexer::ReadName(std::string_view data, std::size_t& pos, std::string& out)
{
    out.clear();
    ++pos; // the "/"
    while (pos < data.size()) {
        const char c = data[pos];
        if (IsPdfSpace(c) || IsPdfDelimiter(c))
            break;
        if (c == '#' && pos + 2 < data.size() && HexValue(data[pos + 1]) >= 0 && HexValue(data[pos + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(data[pos + 1]) << 4 | HexValue(data[pos + 2])));
            pos += 3;
            continue;
        }
        out.push_back(c);
        ++pos;
    }
}

std::string TLexer::ParseLiteral()
{
    std::string out;
    ReadLiteral(FData, FPos, out);
    return out;
}

std::string TLexer::ParseHex()
{
    std::string out;
    ReadHex(FData, FPos, out);
    return out;
}

std::string TLexer::ParseNameText()
{
    std::string out;
    ReadName(FData, FPos, out);
    return out;
}

void TLexer::SkipNested()
{
    std::size_t open = 0;
    while (FPos < FData.size()) {
        const char c = FData[FPos];
        const bool twice = FPos + 1 < FData.size() && FData[FPos + 1] == c;
        if (c == '(') {
            ParseLiteral();
            continue;
        }
        if (c == '%') {
            SkipSpace();
            continue;
        }
        if (c == '<' && !twice) {
            ParseHex();
            continue;
        }
        if (c == '[' || (c == '<' && twice)) {
            ++open;
        } else if (c == ']' || (c == '>' && twice)) {
            if (open > 0 && --open == 0) {
                FPos += c == ']' ? 1 : 2;
                return;
            }
        }
        FPos += (c == '<' || c == '>') && twice ? 2 : 1;
    }
}

TObject TLexer::Next(int depth)
{
    SkipSpace();
    TObject o;
    if (FPos >= FData.size())
        return o;
    const char c = FData[FPos];
    if (c == '(') {
        o.Kind = TObject::String;
        o.S = ParseLiteral();
        return o;
    }
    const bool container = c == '[' || (c == '<' && FPos + 1 < FData.size() && FData[FPos + 1] == '<');
    if (container && depth > MaxDepth) {
        SkipNested(); // nested past any writer's need: read past, not kept, so the stack stays small
        return o;
    }
    if (c == '<') {
        if (FPos + 1 < FData.size() && FData[FPos + 1] == '<') {
            FPos += 2;
            o.Kind = TObject::Dict;
            o.D = std::make_shared<TDict>();
            for (;;) {
                SkipSpace();
                if (FPos >= FData.size())
                    break;
                if (FData[FPos] == '>') {
                    FPos += FPos + 1 < FData.size() && FData[FPos + 1] == '>' ? 2 : 1;
                    break;
                }
                TObject key = Next(depth + 1);
                if (key.Kind == TObject::Null && Ended())
                    break;
                if (key.Kind != TObject::Name) {
                    if (key.Kind == TObject::Keyword && (key.S == "endobj" || key.S == "stream")) {
                        FPos -= key.S.size(); // a dictionary left open: it ends here
                        break;
                    }
                    continue; // garbage where a key belongs: skipped
                }
                if (depth >= MaxDepth)
                    continue;
                TObject value = Next(depth + 1);
                if (value.Kind == TObject::Keyword && (value.S == ">>" || value.S == "endobj")) {
                    if (value.S == "endobj")
                        FPos -= 6;
                    break;
                }
                o.D->emplace_back(std::move(key.S), std::move(value));
            }
            return o;
        }
        o.Kind = TObject::String;
        o.S = ParseHex();
        return o;
    }
    if (c == '[') {
        ++FPos;
        o.Kind = TObject::Array;
        o.A = std::make_shared<TArray>();
        for (;;) {
            SkipSpace();
            if (FPos >= FData.size())
                break;
            if (FData[FPos] == ']') {
                ++FPos;
                break;
            }
            TObject item = Next(depth + 1);
            if (item.Kind == TObject::Keyword && (item.S == "endobj" || item.S == ">>")) {
                FPos -= item.S.size();
                break;
            }
            if (depth < MaxDepth)
                o.A->push_back(std::move(item));
        }
        return o;
    }
    if (c == '/') {
        o.Kind = TObject::Name;
        o.S = ParseNameText();
        return o;
    }
    if (IsDigit(c) || c == '-' || c == '+' || c == '.') {
        o = ParseNumber();
        if (o.Kind == TObject::Int && o.I >= 0) {
            // "N G R" makes a reference.
            const std::size_t save = FPos;
            SkipSpace();
            if (FPos < FData.size() && IsDigit(FData[FPos])) {
                TObject gen = ParseNumber();
                SkipSpace();
                if (gen.Kind == TObject::Int && FPos < FData.size() && FData[FPos] == 'R' &&
                    (FPos + 1 >= FData.size() || IsPdfSpace(FData[FPos + 1]) || IsPdfDelimiter(FData[FPos + 1]))) {
                    ++FPos;
                    TObject ref;
                    ref.Kind = TObject::Ref;
                    ref.Reference = TRef{static_cast<std::uint32_t>(std::min<std::int64_t>(o.I, UINT32_MAX)),
                                         static_cast<std::uint16_t>(std::clamp<std::int64_t>(gen.I, 0, 65535))};
                    return ref;
                }
            }
            FPos = save;
        }
        return o;
    }
    // A keyword, or a stray delimiter taken as one so the reader moves on.
    const std::size_t start = FPos;
    if (c == ')' || c == '>' || c == ']' || c == '{' || c == '}') {
        ++FPos;
        if (c == '>' && FPos < FData.size() && FData[FPos] == '>')
            ++FPos;
    } else {
        while (FPos < FData.size() && !IsPdfSpace(FData[FPos]) && !IsPdfDelimiter(FData[FPos]))
            ++FPos;
    }
    o.S.assign(FData.substr(start, FPos - start));
    if (o.S == "true" || o.S == "false") {
        o.Kind = TObject::Bool;
        o.B = o.S == "true";
        o.S.clear();
    } else if (o.S == "null") {
        o.S.clear();
    } else {
        o.Kind = TObject::Keyword;
    }
    return o;
}

// ---------------------------------------------------------------------------------------------
// Filters

namespace
{

// Inflates what it can: a damaged or cut stream gives the text before the damage, as readers show.
std::string InflateWithZlib(std::string_view in, std::size_t limit, bool& cut)
{
    std::string out;
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
    char buffer[64 * 1024];
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = sizeof buffer - z.avail_out;
        if (out.size() + got > limit) {
            out.append(buffer, limit - out.size());
            cut = true;
            break;
        }
        out.append(buffer, got);
        if (rc == Z_STREAM_END || rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR)
            break;
        if (rc == Z_BUF_ERROR || (got == 0 && z.avail_in == 0))
            break;
    }
    inflateEnd(&z);
    return out;
}

#if TROVEX_HAVE_LIBDEFLATE
// Whole streams at once, about twice as fast as zlib's inflate on the streams pages are drawn
// with. It gives all or nothing, so a stream it refuses (damaged, cut, longer than the limit) is
// inflated again by zlib, which keeps what comes before the damage: the text is the same either way.
std::string InflateWhole(std::string_view in, std::size_t limit, bool& cut)
{
    struct TFree
    {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    thread_local std::unique_ptr<libdeflate_decompressor, TFree> decompressor(libdeflate_alloc_decompressor());
    // Inflated into a buffer kept for the thread, not cleared first, then copied out at its size.
    thread_local std::unique_ptr<char[]> buffer;
    thread_local std::size_t bufferSize = 0;
    // Streams that inflate to more than this are left to zlib, which holds them once, not twice.
    constexpr std::size_t Whole = std::size_t{16} << 20;
    constexpr std::size_t Kept = std::size_t{4} << 20; // a buffer larger than this is not kept
    if (decompressor && !in.empty()) {
        const std::size_t most = std::min(limit, Whole);
        std::size_t room = std::min(most, std::max<std::size_t>(in.size() * 4, 64 * 1024));
        for (;;) {
            if (bufferSize < room) {
                buffer.reset(); // freed before the larger one is taken
                buffer.reset(new char[room]);
                bufferSize = room;
            }
            std::size_t got = 0;
            const libdeflate_result rc =
                libdeflate_zlib_decompress(decompressor.get(), in.data(), in.size(), buffer.get(), room, &got);
            if (rc == LIBDEFLATE_SUCCESS) {
                std::string out(buffer.get(), got);
                if (bufferSize > Kept) {
                    buffer.reset();
                    bufferSize = 0;
                }
                return out;
            }
            if (rc != LIBDEFLATE_INSUFFICIENT_SPACE || room >= most)
                break;
            room = std::min(most, room * 8);
        }
        if (bufferSize > Kept) {
            buffer.reset();
            bufferSize = 0;
        }
    }
    return InflateWithZlib(in, limit, cut);
}
#endif

} // namespace

std::string Inflate(std::string_view in, std::size_t limit, bool& cut, bool zlibOnly)
{
#if TROVEX_HAVE_LIBDEFLATE
    if (!zlibOnly)
        return InflateWhole(in, limit, cut);
#endif
    (void)zlibOnly;
    return InflateWithZlib(in, limit, cut);
}

namespace
{

std::string LzwDecode(std::string_view in, int earlyChange, std::size_t limit, bool& cut)
{
    std::string out;
    std::vector<std::string> table;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < 256; ++i)
            table.emplace_back(1, static_cast<char>(i));
        table.emplace_back(); // 256 clear
        table.emplace_back(); // 257 end
    };
    reset();
    int bits = 9;
    std::uint32_t buffer = 0;
    int have = 0;
    std::size_t pos = 0;
    int previous = -1;
    while (true) {
        while (have < bits && pos < in.size()) {
            buffer = (buffer << 8) | static_cast<unsigned char>(in[pos++]);
            have += 8;
        }
        if (have < bits)
            break;
        const int code = static_cast<int>((buffer >> (have - bits)) & ((1u << bits) - 1));
        have -= bits;
        if (code == 256) {
            reset();
            bits = 9;
            previous = -1;
            continue;
        }
        if (code == 257)
            break;
        std::string entry;
        if (code < static_cast<int>(table.size()) && code != 256 && code != 257) {
            entry = table[static_cast<std::size_t>(code)];
            if (previous >= 0 && table.size() < 4096)
                table.push_back(table[static_cast<std::size_t>(previous)] + entry[0]);
        } else if (code == static_cast<int>(table.size()) && previous >= 0) {
            const std::string& p = table[static_cast<std::size_t>(previous)];
            entry = p + p[0];
            if (table.size() < 4096)
                table.push_back(entry);
        } else {
            break; // damaged
        }
        if (out.size() + entry.size() > limit) {
            cut = true;
            break;
        }
        out += entry;
        previous = code;
        const std::size_t next = table.size() + static_cast<std::size_t>(earlyChange);
        if (next >= 4096)
            bits = 12;
        else if (next >= 2048)
            bits = std::max(bits, 12);
        else if (next >= 1024)
            bits = std::max(bits, 11);
        else if (next >= 512)
            bits = std::max(bits, 10);
    }
    return out;
}

std::string AsciiHexDecode(std::string_view in)
{
    std::string out;
    int high = -1;
    for (char c : in) {
        if (c == '>')
            break;
        const int v = HexValue(c);
        if (v < 0)
            continue;
        if (high < 0)
            high = v;
        else {
            out.push_back(static_cast<char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0)
        out.push_back(static_cast<char>(high << 4));
    return out;
}

std::string Ascii85Decode(std::string_view in)
{
    std::string out;
    std::uint32_t tuple = 0;
    int count = 0;
    std::size_t i = 0;
    if (in.substr(0, 2) == "<~")
        i = 2;
    for (; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '~')
            break;
        if (IsPdfSpace(c))
            continue;
        if (c == 'z' && count == 0) {
            out.append(4, '\0');
            continue;
        }
        if (c < '!' || c > 'u')
            continue;
        tuple = tuple * 85 + static_cast<std::uint32_t>(c - '!');
        if (++count == 5) {
            for (int k = 3; k >= 0; --k)
                out.push_back(static_cast<char>((tuple >> (k * 8)) & 0xFF));
            tuple = 0;
            count = 0;
        }
    }
    if (count > 1) {
        for (int k = count; k < 5; ++k)
            tuple = tuple * 85 + 84;
        for (int k = 0; k < count - 1; ++k)
            out.push_back(static_cast<char>((tuple >> ((3 - k) * 8)) & 0xFF));
    }
    return out;
}

std::string RunLengthDecode(std::string_view in, std::size_t limit, bool& cut)
{
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const int n = static_cast<unsigned char>(in[i++]);
        if (n == 128)
            break;
        std::size_t add = n < 128 ? static_cast<std::size_t>(n) + 1 : static_cast<std::size_t>(257 - n);
        if (out.size() + add > limit) {
            cut = true;
            break;
        }
        if (n < 128) {
            out.append(in.substr(i, add));
            i += add;
        } else if (i < in.size()) {
            out.append(add, in[i++]);
        }
    }
    return out;
}

std::string Unpredict(std::string data, const TObject& parms)
{
    const int predictor = ToInt(parms.Get("Predictor").Number());
    if (predictor < 2)
        return data;
    const int colors = std::max(1, ToInt(parms.Get("Colors").IsNull() ? 1 : parms.Get("Colors").Number()));
    const int bpc = std::max(1, ToInt(parms.Get("BitsPerComponent").IsNull() ? 8 : parms.Get("BitsPerComponent").Number()));
    const int columns = std::max(1, ToInt(parms.Get("Columns").IsNull() ? 1 : parms.Get("Columns").Number()));
    if (colors > 64 || bpc > 16 || columns > (1 << 24))
        return {};
    const std::size_t bpp = std::max<std::size_t>(1, static_cast<std::size_t>(colors * bpc + 7) / 8);
    const std::size_t rowBytes = (static_cast<std::size_t>(colors) * bpc * columns + 7) / 8;
    if (predictor == 2) {
        if (bpc != 8)
            return data;
        for (std::size_t row = 0; row + rowBytes <= data.size(); row += rowBytes)
            for (std::size_t i = bpp; i < rowBytes; ++i)
                data[row + i] = static_cast<char>(data[row + i] + data[row + i - bpp]);
        return data;
    }
    std::string out;
    out.reserve(data.size());
    std::vector<unsigned char> previous(rowBytes, 0), current(rowBytes);
    for (std::size_t pos = 0; pos < data.size();) {
        const int type = static_cast<unsigned char>(data[pos++]);
        const std::size_t n = std::min(rowBytes, data.size() - pos);
        std::fill(current.begin(), current.end(), 0);
        std::memcpy(current.data(), data.data() + pos, n);
        pos += n;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= bpp ? current[i - bpp] : 0;
            const int up = previous[i];
            const int upLeft = i >= bpp ? previous[i - bpp] : 0;
            int add = 0;
            switch (type) {
            case 1: add = left; break;
            case 2: add = up; break;
            case 3: add = (left + up) / 2; break;
            case 4: {
                const int p = left + up - upLeft;
                const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upLeft);
                add = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
                break;
            }
            default: break;
            }
            current[i] = static_cast<unsigned char>(current[i] + add);
        }
        out.append(reinterpret_cast<const char*>(current.data()), n);
        previous = current;
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Text strings

std::string Utf16BeToUtf8(std::string_view bytes)
{
    // Decoded here rather than by the system's converter: a lone surrogate is U+FFFD on every
    // system (Windows' own form would carry it through as bytes no search can type).
    std::string out;
    auto unit = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]));
    };
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
            Utf8Append(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00));
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            Utf8Append(out, 0xFFFD);
        } else {
            Utf8Append(out, u);
        }
    }
    if (i < bytes.size())
        Utf8Append(out, static_cast<unsigned char>(bytes[i])); // an odd byte at the end: as it is
    return out;
}

std::string TextStringToUtf8(std::string_view s)
{
    std::string out;
    if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xFE && static_cast<unsigned char>(s[1]) == 0xFF)
        return Utf16BeToUtf8(s.substr(2));
    if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF")
        return std::string(s.substr(3));
    for (char c : s) {
        const char32_t cp = BaseEncodingChar(TBaseEncoding::PDFDoc, static_cast<std::uint8_t>(c));
        if (cp)
            Utf8Append(out, cp);
        else if (static_cast<unsigned char>(c) >= 0x20)
            Utf8Append(out, static_cast<unsigned char>(c));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The file

TPdfFile::TPdfFile(const TPdfSource& source, const std::atomic<bool>* cancel) : FSource(source), FCancel(cancel)
{
    const std::uint64_t size = FSource.Size();
    // "startxref" sits in the last kilobyte or so; a little more for writers that append junk.
    const std::uint64_t tailSize = std::min<std::uint64_t>(size, 4096);
    std::string tail(static_cast<std::size_t>(tailSize), '\0');
    tail.resize(FSource.ReadAt(size - tailSize, tail.data(), tail.size()));
    bool ok = false;
    const std::size_t at = tail.rfind("startxref");
    if (at != std::string::npos) {
        TLexer lexer(tail, at + 9);
        TObject offset = lexer.Next();
        if (offset.Kind == TObject::Int && offset.I >= 0 && static_cast<std::uint64_t>(offset.I) < size)
            ok = ReadXrefChain(static_cast<std::uint64_t>(offset.I));
    }
    if (!ok || FTrailer.Get("Root").IsNull())
        Repair();
    if (FTrailer.Get("Root").IsNull())
        throw EPdfError("No document catalog");
    SetUpEncryption();
    TObject root = Resolve(FTrailer.Get("Root"));
    if (root.Kind != TObject::Dict && !FRepaired) {
        Repair();
        SetUpEncryption();
        root = Resolve(FTrailer.Get("Root"));
    }
    if (root.Kind != TObject::Dict)
        throw EPdfError("No document catalog");
}

void TPdfFile::CheckCancel() const
{
    trovex::CheckCancel(FCancel);
}

bool TPdfFile::ReadXrefChain(std::uint64_t start)
{
    std::set<std::uint64_t> seen;
    std::vector<std::uint64_t> pending{start};
    bool any = false;
    while (!pending.empty()) {
        const std::uint64_t offset = pending.front();
        pending.erase(pending.begin());
        if (!seen.insert(offset).second || seen.size() > 1000)
            continue;
        std::vector<std::uint64_t> more;
        if (!ReadXrefSection(offset, more))
            return any && !FTrailer.Get("Root").IsNull() ? true : false;
        any = true;
        pending.insert(pending.begin(), more.begin(), more.end());
    }
    return any;
}

bool TPdfFile::ReadXrefSection(std::uint64_t offset, std::vector<std::uint64_t>& more)
{
    CheckCancel();
    std::string head(32, '\0');
    head.resize(FSource.ReadAt(offset, head.data(), head.size()));
    std::size_t skip = 0;
    while (skip < head.size() && IsPdfSpace(head[skip]))
        ++skip;
    TObject trailer;
    if (head.compare(skip, 4, "xref") == 0) {
        // A table: subsections of fixed 20-byte lines, then "trailer" and its dictionary. Read in
        // pieces so a table of millions of objects needs no window of its size.
        std::uint64_t pos = offset + skip + 4;
        std::string buffer;
        std::uint64_t bufferStart = pos;
        const std::uint64_t fileSize = FSource.Size();
        auto ensure = [&](std::size_t need) {
            const std::uint64_t end = bufferStart + buffer.size();
            if (pos >= bufferStart && (pos + need <= end || (end >= fileSize && pos <= end)))
                return; // held already, or all there is up to the end of the file
            bufferStart = pos;
            const std::uint64_t want = std::min<std::uint64_t>(std::max<std::size_t>(need, 64 * 1024), fileSize - std::min(pos, fileSize));
            buffer.resize(static_cast<std::size_t>(want));
            buffer.resize(FSource.ReadAt(pos, buffer.data(), buffer.size()));
        };
        for (;;) {
            ensure(256);
            TLexer lexer(std::string_view(buffer).substr(static_cast<std::size_t>(pos - bufferStart)));
            TObject first = lexer.Next();
            if (first.Kind == TObject::Keyword && first.S == "trailer") {
                pos += lexer.Pos();
                ensure(ParseWindow);
                TLexer t(std::string_view(buffer).substr(static_cast<std::size_t>(pos - bufferStart)));
                trailer = t.Next();
                break;
            }
            TObject count = lexer.Next();
            if (first.Kind != TObject::Int || count.Kind != TObject::Int || first.I < 0 || count.I < 0)
                return false;
            pos += lexer.Pos();
            for (std::int64_t i = 0; i < count.I; ++i) {
                CheckCancel();
                ensure(64);
                TLexer line(std::string_view(buffer).substr(static_cast<std::size_t>(pos - bufferStart), 64));
                TObject off = line.Next(), gen = line.Next(), kind = line.Next();
                if (off.Kind != TObject::Int || gen.Kind != TObject::Int || kind.Kind != TObject::Keyword)
                    return false;
                pos += line.Pos();
                const auto num = static_cast<std::uint32_t>(first.I + i);
                if (FXref.count(num))
                    continue; // a newer section defined it
                TEntry e;
                e.Type = kind.S == "n" ? 1 : 0;
                e.Offset = static_cast<std::uint64_t>(std::max<std::int64_t>(off.I, 0));
                e.Gen = static_cast<std::uint16_t>(std::clamp<std::int64_t>(gen.I, 0, 65535));
                if (e.Type == 1 && e.Offset == 0)
                    e.Type = 0;
                FXref.emplace(num, e);
            }
        }
        if (trailer.Kind != TObject::Dict)
            return false;
        // A hybrid file: its stream section holds what only newer readers were meant to see.
        const TObject& stm = trailer.Get("XRefStm");
        if (stm.Kind == TObject::Int && stm.I > 0)
            more.push_back(static_cast<std::uint64_t>(stm.I));
    } else {
        TRef ref;
        TObject stream = ParseAt(offset + skip, &ref);
        if (stream.Kind != TObject::Stream || !stream.Get("Type").IsName("XRef"))
            return false;
        bool cut = false;
        const std::string data = StreamData(stream, std::size_t{256} << 20, &cut);
        const TObject& w = stream.Get("W");
        if (w.Size() < 3)
            return false;
        int widths[3];
        for (int k = 0; k < 3; ++k) {
            widths[k] = ToInt(w.At(static_cast<std::size_t>(k)).Number());
            if (widths[k] < 0 || widths[k] > 8)
                return false;
        }
        const std::size_t entrySize = static_cast<std::size_t>(widths[0] + widths[1] + widths[2]);
        if (entrySize == 0)
            return false;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
        const TObject& index = stream.Get("Index");
        if (index.Size() >= 2) {
            for (std::size_t k = 0; k + 1 < index.Size(); k += 2)
                ranges.emplace_back(static_cast<std::int64_t>(index.At(k).Number()),
                                    static_cast<std::int64_t>(index.At(k + 1).Number()));
        } else {
            ranges.emplace_back(0, static_cast<std::int64_t>(stream.Get("Size").Number()));
        }
        std::size_t at = 0;
        auto field = [&](int width, std::uint64_t fallback) {
            if (width == 0)
                return fallback;
            std::uint64_t v = 0;
            for (int k = 0; k < width; ++k)
                v = v << 8 | static_cast<unsigned char>(data[at++]);
            return v;
        };
        for (const auto& [first, count] : ranges) {
            if (first < 0 || count < 0)
                continue;
            for (std::int64_t i = 0; i < count && at + entrySize <= data.size(); ++i) {
                TEntry e;
                e.Type = static_cast<std::uint8_t>(std::min<std::uint64_t>(field(widths[0], 1), 255));
                const std::uint64_t f2 = field(widths[1], 0);
                const std::uint64_t f3 = field(widths[2], 0);
                const auto num = static_cast<std::uint32_t>(std::min<std::int64_t>(first + i, UINT32_MAX));
                if (FXref.count(num))
                    continue;
                if (e.Type == 1) {
                    e.Offset = f2;
                    e.Gen = static_cast<std::uint16_t>(std::min<std::uint64_t>(f3, 65535));
                } else if (e.Type == 2) {
                    e.Offset = f2;
                    e.Index = static_cast<std::uint32_t>(std::min<std::uint64_t>(f3, UINT32_MAX));
                } else {
                    e.Type = 0;
                }
                FXref.emplace(num, e);
            }
        }
        trailer = stream;
        trailer.Kind = TObject::Dict;
    }
    if (FTrailer.Kind != TObject::Dict) {
        FTrailer = trailer;
    } else {
        // Keys the newest trailer left out come from older ones.
        for (const char* key : {"Root", "Info", "Encrypt", "ID"})
            if (FTrailer.Get(key).IsNull() && !trailer.Get(key).IsNull())
                FTrailer.D->emplace_back(key, trailer.Get(key));
    }
    const TObject& prev = trailer.Get("Prev");
    if (prev.IsNumber() && prev.Number() >= 0)
        more.push_back(static_cast<std::uint64_t>(prev.Number()));
    return true;
}

void TPdfFile::Repair()
{
    // Every "N G obj" in the file, the last one of each number winning (incremental updates come
    // later in the file), and the last trailer that names a catalog.
    FRepaired = true;
    FXref.clear();
    FCache.clear();
    FObjStms.clear();
    FObjStmBytes = 0;
    TObject trailer;
    std::vector<std::uint32_t> streamObjects;
    const std::uint64_t size = FSource.Size();
    constexpr std::size_t Chunk = std::size_t{1} << 20;
    constexpr std::size_t Overlap = 512;
    std::string buffer;
    for (std::uint64_t start = 0; start < size; start += Chunk) {
        CheckCancel();
        // Holes of a sparse file hold no object: skipped, not read as zeros.
        const std::uint64_t data = FSource.NextData(start);
        if (data >= size)
            break;
        if (data >= start + Chunk)
            start = data - data % 4096;
        buffer.assign(Chunk + Overlap, '\0');
        buffer.resize(FSource.ReadAt(start, buffer.data(), buffer.size()));
        const std::size_t own = std::min<std::size_t>(buffer.size(), Chunk);
        for (std::size_t p = buffer.find("obj"); p != std::string::npos && p < own; p = buffer.find("obj", p + 3)) {
            if (p + 3 < buffer.size() && !IsPdfSpace(buffer[p + 3]) && !IsPdfDelimiter(buffer[p + 3]))
                continue;
            // Back over " G " and "N".
            std::size_t q = p;
            while (q > 0 && IsPdfSpace(buffer[q - 1]))
                --q;
            const std::size_t genEnd = q;
            while (q > 0 && IsDigit(buffer[q - 1]))
                --q;
            if (q == genEnd || q == 0)
                continue;
            const std::size_t genStart = q;
            while (q > 0 && IsPdfSpace(buffer[q - 1]))
                --q;
            if (q == genStart)
                continue;
            const std::size_t numEnd = q;
            while (q > 0 && IsDigit(buffer[q - 1]))
                --q;
            if (q == numEnd || numEnd - q > 10 || genEnd - genStart > 10)
                continue;
            if (q > 0 && !IsPdfSpace(buffer[q - 1]) && !IsPdfDelimiter(buffer[q - 1]))
                continue;
            const std::uint64_t num = std::stoull(buffer.substr(q, numEnd - q));
            if (num > UINT32_MAX)
                continue;
            TEntry e;
            e.Type = 1;
            e.Offset = start + q;
            e.Gen = static_cast<std::uint16_t>(std::min<std::uint64_t>(std::stoull(buffer.substr(genStart, genEnd - genStart)), 65535));
            FXref[static_cast<std::uint32_t>(num)] = e;
            const std::string_view after = std::string_view(buffer).substr(p, 256);
            if (after.find("/ObjStm") != std::string_view::npos || after.find("/XRef") != std::string_view::npos ||
                after.find("/Catalog") != std::string_view::npos)
                streamObjects.push_back(static_cast<std::uint32_t>(num));
        }
        for (std::size_t p = buffer.find("trailer"); p != std::string::npos && p < own; p = buffer.find("trailer", p + 7)) {
            std::string window(ParseWindow, '\0');
            window.resize(FSource.ReadAt(start + p + 7, window.data(), window.size()));
            TLexer lexer(window);
            TObject t = lexer.Next();
            if (t.Kind == TObject::Dict && !t.Get("Root").IsNull())
                trailer = t;
        }
    }
    // Objects inside object streams, unless defined directly; a cross-reference stream or a
    // catalog stands in for a missing trailer.
    TObject catalog;
    for (std::uint32_t num : streamObjects) {
        TObject o = Object(TRef{num, FXref[num].Gen});
        if (o.Get("Type").IsName("ObjStm")) {
            const auto count = static_cast<std::int64_t>(o.Get("N").Number());
            bool cut = false;
            const std::string data = StreamData(o, std::size_t{64} << 20, &cut);
            TLexer lexer(data);
            for (std::int64_t i = 0; i < count && i < 1000000; ++i) {
                TObject n = lexer.Next(), off = lexer.Next();
                if (n.Kind != TObject::Int || off.Kind != TObject::Int)
                    break;
                if (n.I < 0 || n.I > UINT32_MAX || FXref.count(static_cast<std::uint32_t>(n.I)))
                    continue;
                TEntry e;
                e.Type = 2;
                e.Offset = num;
                e.Index = static_cast<std::uint32_t>(i);
                FXref[static_cast<std::uint32_t>(n.I)] = e;
            }
        } else if (o.Get("Type").IsName("XRef") && !o.Get("Root").IsNull() && trailer.IsNull()) {
            trailer = o;
            trailer.Kind = TObject::Dict;
        } else if (o.Get("Type").IsName("Catalog")) {
            catalog.Kind = TObject::Ref;
            catalog.Reference = TRef{num, FXref[num].Gen};
        }
    }
    if (trailer.IsNull() || Resolve(trailer.Get("Root")).Kind != TObject::Dict) {
        if (catalog.IsNull()) {
            // Any object that says it is a catalog.
            for (const auto& [num, e] : FXref) {
                if (e.Type != 1)
                    continue;
                std::string window(512, '\0');
                window.resize(FSource.ReadAt(e.Offset, window.data(), window.size()));
                if (window.find("/Catalog") != std::string::npos) {
                    catalog.Kind = TObject::Ref;
                    catalog.Reference = TRef{num, e.Gen};
                    break;
                }
            }
        }
        if (trailer.Kind != TObject::Dict) {
            trailer = TObject();
            trailer.Kind = TObject::Dict;
            trailer.D = std::make_shared<TDict>();
        } else {
            trailer.D = std::make_shared<TDict>(*trailer.D);
        }
        if (!catalog.IsNull()) {
            std::erase_if(*trailer.D, [](const auto& kv) { return kv.first == "Root"; });
            trailer.D->emplace_back("Root", catalog);
        }
    }
    FTrailer = trailer;
    FCache.clear();
}

void TPdfFile::SetUpEncryption()
{
    FDecryptor.reset();
    FLocked = false;
    const TObject& encryptEntry = FTrailer.Get("Encrypt");
    if (encryptEntry.IsNull())
        return;
    if (encryptEntry.Kind == TObject::Ref)
        FEncryptRef = encryptEntry.Reference;
    const TObject dict = Resolve(encryptEntry);
    TPdfEncryption e;
    e.Filter = dict.Get("Filter").S;
    e.V = ToInt(dict.Get("V").Number());
    e.R = ToInt(dict.Get("R").Number());
    if (dict.Get("Length").IsNumber())
        e.Length = ToInt(dict.Get("Length").Number());
    e.O = dict.Get("O").S;
    e.U = dict.Get("U").S;
    e.OE = dict.Get("OE").S;
    e.UE = dict.Get("UE").S;
    e.Perms = dict.Get("Perms").S;
    e.P = static_cast<std::int32_t>(static_cast<std::int64_t>(dict.Get("P").Number()));
    if (dict.Get("EncryptMetadata").Kind == TObject::Bool)
        e.EncryptMetadata = dict.Get("EncryptMetadata").B;
    const TObject cf = Resolve(dict.Get("CF"));
    auto method = [&](const char* key) -> std::string {
        const TObject& name = dict.Get(key);
        if (name.Kind != TObject::Name)
            return cf.IsNull() ? "" : "Identity";
        if (name.S == "Identity")
            return "Identity";
        const TObject filter = Resolve(cf.Get(name.S));
        return filter.Get("CFM").Kind == TObject::Name ? filter.Get("CFM").S : "None";
    };
    if (e.V >= 4) {
        e.StmMethod = method("StmF");
        e.StrMethod = method("StrF");
        e.EffMethod = method("EFF");
    }
    const TObject& id = FTrailer.Get("ID");
    const std::string firstId = Resolve(id.At(0)).S;
    try {
        FDecryptor = TPdfDecryptor::Open(e, firstId);
    } catch (const std::exception&) {
        FDecryptor.reset();
    }
    FLocked = !FDecryptor.has_value();
    FCache.clear();
}

TObject TPdfFile::ParseAt(std::uint64_t offset, TRef* ref)
{
    // Most objects are a few hundred bytes: a small window first, a larger one only when needed.
    for (std::size_t window = 4096;; window *= 4) {
        std::string_view buffer = FSource.Peek(offset, window);
        if (buffer.empty()) {
            if (FParseBuffer.size() < window)
                FParseBuffer.resize(window); // kept between calls: no buffer is cleared per object
            buffer = std::string_view(FParseBuffer.data(), FSource.ReadAt(offset, FParseBuffer.data(), window));
        }
        TLexer lexer(buffer);
        TObject num = lexer.Next(), gen = lexer.Next(), obj = lexer.Next();
        if (num.Kind != TObject::Int || gen.Kind != TObject::Int || obj.Kind != TObject::Keyword || obj.S != "obj")
            return TObject();
        if (ref)
            *ref = TRef{static_cast<std::uint32_t>(std::clamp<std::int64_t>(num.I, 0, UINT32_MAX)),
                        static_cast<std::uint16_t>(std::clamp<std::int64_t>(gen.I, 0, 65535))};
        TObject value = lexer.Next();
        lexer.SkipSpace();
        // The object, or the "stream" after it, may go on past the window: read more of it.
        const bool ranOut = buffer.size() == window && buffer.size() - lexer.Pos() < 32;
        if (ranOut && window < MaxObjectBytes)
            continue;
        const std::size_t keywordAt = lexer.Pos();
        TObject after = lexer.Next();
        if (value.Kind == TObject::Dict && after.Kind == TObject::Keyword && after.S == "stream") {
            std::size_t p = keywordAt + 6;
            if (p < buffer.size() && buffer[p] == '\r')
                ++p;
            if (p < buffer.size() && buffer[p] == '\n')
                ++p;
            value.Kind = TObject::Stream;
            value.DataOffset = offset + p;
            if (ref)
                value.Reference = *ref;
        }
        return value;
    }
}

void TPdfFile::DecryptStrings(TObject& o, TRef owner) const
{
    switch (o.Kind) {
    case TObject::String: o.S = FDecryptor->DecryptString(o.S, owner.Num, owner.Gen); break;
    case TObject::Array:
        if (o.A) {
            o.A = std::make_shared<TArray>(*o.A);
            for (TObject& item : *o.A)
                DecryptStrings(item, owner);
        }
        break;
    case TObject::Dict:
    case TObject::Stream:
        if (o.D) {
            o.D = std::make_shared<TDict>(*o.D);
            for (auto& kv : *o.D)
                DecryptStrings(kv.second, owner);
        }
        break;
    default: break;
    }
}

std::string TPdfFile::DecryptString(const std::string& s, TRef owner) const
{
    return FDecryptor ? FDecryptor->DecryptString(s, owner.Num, owner.Gen) : s;
}

std::shared_ptr<TPdfFile::TObjStm> TPdfFile::ObjectStream(std::uint32_t streamNum)
{
    std::shared_ptr<TObjStm> stm;
    if (auto it = FObjStms.find(streamNum); it != FObjStms.end()) {
        stm = it->second;
    } else {
        const auto entry = FXref.find(streamNum);
        if (entry == FXref.end() || entry->second.Type != 1)
            return nullptr;
        TObject stream = Object(TRef{streamNum, entry->second.Gen});
        if (stream.Kind != TObject::Stream)
            return nullptr;
        stm = std::make_shared<TObjStm>();
        bool cut = false;
        stm->Data = StreamData(stream, std::size_t{64} << 20, &cut);
        stm->First = static_cast<std::uint64_t>(std::max(0.0, stream.Get("First").Number()));
        const auto count = static_cast<std::int64_t>(stream.Get("N").Number());
        TLexer lexer(stm->Data);
        for (std::int64_t i = 0; i < count && i < 1000000; ++i) {
            TObject n = lexer.Next(), off = lexer.Next();
            if (n.Kind != TObject::Int || off.Kind != TObject::Int || n.I < 0 || off.I < 0)
                break;
            stm->Offsets.emplace_back(static_cast<std::uint32_t>(std::min<std::int64_t>(n.I, UINT32_MAX)),
                                      static_cast<std::uint64_t>(off.I));
        }
        while (!FObjStms.empty() &&
               (FObjStms.size() >= MaxObjectStreams || FObjStmBytes + stm->Data.size() > MaxObjectStreamBytes)) {
            auto oldest = std::min_element(FObjStms.begin(), FObjStms.end(),
                                           [](const auto& a, const auto& b) { return a.second->Used < b.second->Used; });
            FObjStmBytes -= oldest->second->Data.size();
            FObjStms.erase(oldest);
        }
        FObjStms[streamNum] = stm;
        FObjStmBytes += stm->Data.size();
    }
    stm->Used = ++FObjStmClock;
    return stm;
}

TObject TPdfFile::FromObjectStream(std::uint32_t streamNum, std::uint32_t index, std::uint32_t num)
{
    const std::shared_ptr<TObjStm> stm = ObjectStream(streamNum);
    if (!stm)
        return TObject();
    std::uint64_t at = 0;
    if (index < stm->Offsets.size() && stm->Offsets[index].first == num) {
        at = stm->Offsets[index].second;
    } else {
        auto it = std::find_if(stm->Offsets.begin(), stm->Offsets.end(), [&](const auto& p) { return p.first == num; });
        if (it == stm->Offsets.end())
            return TObject();
        at = it->second;
    }
    if (stm->First + at >= stm->Data.size())
        return TObject();
    TLexer lexer(stm->Data, static_cast<std::size_t>(stm->First + at));
    return lexer.Next();
}

TObject TPdfFile::Object(TRef ref)
{
    if (auto it = FCache.find(ref.Num); it != FCache.end())
        return it->second;
    const auto entry = FXref.find(ref.Num);
    if (entry == FXref.end() || entry->second.Type == 0)
        return TObject();
    CheckCancel();
    TObject o;
    if (entry->second.Type == 1) {
        TRef found;
        o = ParseAt(entry->second.Offset, &found);
        if (found.Num != ref.Num) {
            // The table points elsewhere: a damaged or hand-edited file. Look for every object.
            if (!FRepaired) {
                const TObject keep = FTrailer;
                Repair();
                if (FTrailer.Get("Root").IsNull())
                    FTrailer = keep;
                SetUpEncryption();
                return Object(ref);
            }
            o = TObject();
        }
        if (FDecryptor && !(ref == FEncryptRef) && !o.IsNull())
            DecryptStrings(o, ref);
        if (o.Kind == TObject::Stream)
            o.Reference = ref;
    } else {
        o = FromObjectStream(static_cast<std::uint32_t>(entry->second.Offset), entry->second.Index, ref.Num);
    }
    if (FCache.size() >= MaxCachedObjects)
        FCache.clear();
    FCache.emplace(ref.Num, o);
    return o;
}

bool TPdfFile::MayHold(const TObject& o, std::initializer_list<std::string_view> names)
{
    if (o.Kind != TObject::Ref || FCache.count(o.Reference.Num))
        return true;
    const auto entry = FXref.find(o.Reference.Num);
    if (entry == FXref.end() || entry->second.Type == 0)
        return false; // a missing object is null: nothing to hold
    std::string window;
    std::string_view bytes;
    std::shared_ptr<TObjStm> stm; // held while its bytes are looked at
    if (entry->second.Type == 1) {
        // The object up to its "endobj", when that comes soon; a longer one is parsed as it is.
        constexpr std::size_t Window = 4096;
        bytes = FSource.Peek(entry->second.Offset, Window);
        if (bytes.empty()) {
            window.resize(Window);
            window.resize(FSource.ReadAt(entry->second.Offset, window.data(), window.size()));
            bytes = window;
        }
        const std::size_t end = bytes.find("endobj");
        if (end == std::string_view::npos)
            return true;
        bytes = bytes.substr(0, end);
    } else {
        // In an object stream: from its offset to the next object's.
        stm = ObjectStream(static_cast<std::uint32_t>(entry->second.Offset));
        if (!stm)
            return true;
        const auto& offsets = stm->Offsets;
        const std::uint32_t index = entry->second.Index;
        if (index >= offsets.size() || offsets[index].first != o.Reference.Num)
            return true;
        const std::uint64_t from = stm->First + offsets[index].second;
        const std::uint64_t to = index + 1 < offsets.size() ? stm->First + offsets[index + 1].second : stm->Data.size();
        if (from >= to || to > stm->Data.size())
            return true;
        bytes = std::string_view(stm->Data).substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    }
    for (const std::string_view name : names)
        for (std::size_t at = bytes.find(name); at != std::string_view::npos; at = bytes.find(name, at + 1)) {
            const std::size_t after = at + name.size();
            if (after >= bytes.size() || IsPdfSpace(bytes[after]) || IsPdfDelimiter(bytes[after]))
                return true;
        }
    return bytes.find('#') != std::string_view::npos; // a name spelt with #xx escapes could be one of them
}

TObject TPdfFile::Resolve(const TObject& o)
{
    if (o.Kind != TObject::Ref)
        return o;
    if (FResolving > 8)
        return TObject();
    ++FResolving;
    TObject r;
    try {
        r = Object(o.Reference);
        if (r.Kind == TObject::Ref)
            r = Resolve(r);
    } catch (...) {
        --FResolving;
        throw;
    }
    --FResolving;
    return r;
}

std::string_view TPdfFile::RawStream(const TObject& stream, std::string& storage)
{
    if (stream.Inline)
        return *stream.Inline;
    const std::uint64_t size = FSource.Size();
    if (stream.DataOffset >= size)
        return {};
    std::uint64_t length = 0;
    const TObject len = Resolve(stream.Get("Length"));
    bool trusted = false;
    if (len.IsNumber() && len.Number() >= 0 && stream.DataOffset + static_cast<std::uint64_t>(len.Number()) <= size) {
        length = static_cast<std::uint64_t>(len.Number());
        // The length is right when "endstream" follows it.
        char after[32] = {};
        const std::size_t got = FSource.ReadAt(stream.DataOffset + length, after, sizeof after);
        const std::string_view tail(after, got);
        const std::size_t k = tail.find_first_not_of(" \r\n\t\f");
        trusted = k != std::string_view::npos && tail.substr(k, 9) == "endstream";
    }
    if (!trusted) {
        // Find "endstream" instead, reading on in pieces.
        constexpr std::size_t Piece = std::size_t{1} << 20;
        std::string buffer;
        std::uint64_t found = size;
        for (std::uint64_t at = stream.DataOffset; at < size; at += Piece) {
            CheckCancel();
            buffer.assign(Piece + 16, '\0');
            buffer.resize(FSource.ReadAt(at, buffer.data(), buffer.size()));
            const std::size_t p = buffer.find("endstream");
            if (p != std::string::npos && p < Piece + 8) {
                found = at + p;
                break;
            }
            if (at - stream.DataOffset > (std::uint64_t{1} << 30))
                break;
        }
        length = found - stream.DataOffset;
        // The line end before the keyword belongs to it.
        if (length > 0) {
            char last[2] = {};
            FSource.ReadAt(stream.DataOffset + length - std::min<std::uint64_t>(length, 2), last, 2);
            if (length >= 1 && last[1] == '\n')
                --length;
            if (length >= 1 && (last[1] == '\r' || (last[1] == '\n' && last[0] == '\r')))
                --length;
        }
    }
    // Raw data beyond this bound is not read, so memory stays bounded whatever a stream claims.
    if (length > MaxRawStream) {
        length = MaxRawStream;
        FRawCut = true;
    }
    if (const std::string_view held = FSource.Peek(stream.DataOffset, static_cast<std::size_t>(length)); !held.empty())
        return held;
    storage.resize(static_cast<std::size_t>(length));
    storage.resize(FSource.ReadAt(stream.DataOffset, storage.data(), storage.size()));
    return storage;
}

std::string TPdfFile::StreamData(const TObject& stream, std::size_t limit, bool* cut)
{
    if (stream.Kind != TObject::Stream)
        return {};
    CheckCancel();
    FRawCut = false;
    const TObject filters = Resolve(stream.Get("Filter"));
    const TObject parmsAll = Resolve(stream.Get("DecodeParms"));
    std::vector<std::pair<std::string, TObject>> chain;
    if (filters.Kind == TObject::Name) {
        chain.emplace_back(filters.S, parmsAll);
    } else if (filters.Kind == TObject::Array) {
        for (std::size_t i = 0; i < filters.Size(); ++i)
            chain.emplace_back(Resolve(filters.At(i)).S,
                               parmsAll.Kind == TObject::Array ? Resolve(parmsAll.At(i)) : TObject());
    }
    static constexpr std::string_view Known[] = {"FlateDecode", "Fl", "LZWDecode", "LZW", "ASCIIHexDecode", "AHx",
                                                 "ASCII85Decode", "A85", "RunLengthDecode", "RL", "Crypt"};
    for (const auto& link : chain)
        if (std::find(std::begin(Known), std::end(Known), link.first) == std::end(Known))
            return {}; // images (DCT, JPX, JBIG2, CCITT) and unknown filters hold no text: not even read
    std::string storage;
    const std::string_view raw = RawStream(stream, storage);
    std::string data;
    bool decoded = false; // data holds the bytes so far; until then they are raw
    auto current = [&]() -> std::string_view { return decoded ? std::string_view(data) : raw; };
    const bool xref = stream.Get("Type").IsName("XRef");
    const bool clearMetadata = stream.Get("Type").IsName("Metadata") && FDecryptor && !FDecryptor->EncryptsMetadata();
    const bool identityCrypt = !chain.empty() && chain.front().first == "Crypt";
    if (FDecryptor && !xref && !clearMetadata && !identityCrypt && !stream.Inline) {
        data = FDecryptor->DecryptStream(raw, stream.Reference.Num, stream.Reference.Gen);
        decoded = true;
    }
    bool wasCut = false;
    for (const auto& [name, parms] : chain) {
        CheckCancel();
        if (name == "FlateDecode" || name == "Fl") {
            data = Unpredict(Inflate(current(), limit, wasCut), parms);
        } else if (name == "LZWDecode" || name == "LZW") {
            const TObject& early = parms.Get("EarlyChange");
            data = Unpredict(LzwDecode(current(), early.IsNumber() ? ToInt(early.Number()) : 1, limit, wasCut), parms);
        } else if (name == "ASCIIHexDecode" || name == "AHx") {
            data = AsciiHexDecode(current());
        } else if (name == "ASCII85Decode" || name == "A85") {
            data = Ascii85Decode(current());
        } else if (name == "RunLengthDecode" || name == "RL") {
            data = RunLengthDecode(current(), limit, wasCut);
        } else {
            continue; // Crypt
        }
        decoded = true;
    }
    if (!decoded)
        data.assign(raw);
    if (data.size() > limit) {
        data.resize(limit);
        wasCut = true;
    }
    wasCut = wasCut || FRawCut;
    if (cut)
        *cut = wasCut;
    return data;
}

} // namespace trovex::pdf
