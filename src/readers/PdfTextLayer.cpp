// SPDX-License-Identifier: MIT
#include "readers/PdfTextLayer.h"

#include "platform/CodePage.h"
#include "readers/PdfEncodings.h"
#include "readers/PdfParser.h"
#include "readers/uPDFtext.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace trovex
{
namespace pdf
{
namespace
{

constexpr std::size_t StreamLimit = std::size_t{128} << 20; // one content stream, decoded
constexpr int MaxFormDepth = 12;
constexpr int MaxFormsPerPage = 5000;
constexpr std::size_t MaxPages = 1000000;
constexpr std::size_t MaxOutlineItems = 100000;

using TMatrix = std::array<double, 6>;
constexpr TMatrix Identity{1, 0, 0, 1, 0, 0};

TMatrix Multiply(const TMatrix& m, const TMatrix& n)
{
    return {m[0] * n[0] + m[1] * n[2],        m[0] * n[1] + m[1] * n[3],
            m[2] * n[0] + m[3] * n[2],        m[2] * n[1] + m[3] * n[3],
            m[4] * n[0] + m[5] * n[2] + n[4], m[4] * n[1] + m[5] * n[3] + n[5]};
}

TMatrix MatrixOf(const TObject& array)
{
    if (array.Size() < 6)
        return Identity;
    TMatrix m;
    for (std::size_t i = 0; i < 6; ++i)
        m[i] = array.At(i).Number();
    return m;
}


std::uint32_t CodeOf(std::string_view bytes)
{
    std::uint32_t v = 0;
    for (char c : bytes)
        v = v << 8 | static_cast<unsigned char>(c);
    return v;
}

// A character map: code space ranges, and codes to Unicode (bfchar, bfrange) or to CIDs.
struct TCMap
{
    struct TSpace
    {
        std::size_t Length;
        std::string Low, High;
    };
    struct TRange
    {
        std::size_t Length;
        std::uint32_t Low, High;
        std::string Base;              // UTF-16BE of the first code
        std::vector<std::string> List; // or one destination per code
    };
    std::vector<TSpace> Spaces;
    std::unordered_map<std::uint64_t, std::string> Chars; // (length << 32 | code) -> UTF-16BE
    std::vector<TRange> Ranges;
    bool Any = false;

    static std::uint64_t Key(std::size_t length, std::uint32_t code) { return std::uint64_t{length} << 32 | code; }

    void Parse(std::string_view data)
    {
        TLexer lexer(data);
        std::vector<TObject> operands;
        int guard = 0;
        while (!lexer.Ended() && ++guard < 4000000) {
            TObject o = lexer.Next();
            if (o.Kind != TObject::Keyword) {
                if (o.IsNull() && lexer.Ended())
                    break;
                operands.push_back(std::move(o));
                if (operands.size() > 300000)
                    operands.clear();
                continue;
            }
            if (o.S == "endcodespacerange") {
                for (std::size_t i = 0; i + 1 < operands.size(); i += 2)
                    if (operands[i].Kind == TObject::String && operands[i + 1].Kind == TObject::String &&
                        !operands[i].S.empty() && operands[i].S.size() <= 4)
                        Spaces.push_back({operands[i].S.size(), operands[i].S, operands[i + 1].S});
            } else if (o.S == "endbfchar") {
                for (std::size_t i = 0; i + 1 < operands.size(); i += 2) {
                    const TObject& src = operands[i];
                    const TObject& dst = operands[i + 1];
                    if (src.Kind != TObject::String || src.S.empty() || src.S.size() > 4)
                        continue;
                    std::string target = dst.Kind == TObject::String ? dst.S
                                         : dst.Kind == TObject::Name ? Utf16OfName(dst.S)
                                                                     : std::string();
                    Chars[Key(src.S.size(), CodeOf(src.S))] = std::move(target);
                    Any = true;
                }
            } else if (o.S == "endbfrange") {
                for (std::size_t i = 0; i + 2 < operands.size(); i += 3) {
                    const TObject& lo = operands[i];
                    const TObject& hi = operands[i + 1];
                    const TObject& dst = operands[i + 2];
                    if (lo.Kind != TObject::String || hi.Kind != TObject::String || lo.S.empty() || lo.S.size() > 4)
                        continue;
                    TRange r;
                    r.Length = lo.S.size();
                    r.Low = CodeOf(lo.S);
                    r.High = CodeOf(hi.S);
                    if (r.High < r.Low)
                        continue;
                    if (dst.Kind == TObject::String) {
                        r.Base = dst.S;
                    } else if (dst.Kind == TObject::Array) {
                        for (std::size_t k = 0; k < dst.Size(); ++k)
                            r.List.push_back(dst.At(k).S);
                    } else {
                        continue;
                    }
                    Ranges.push_back(std::move(r));
                    Any = true;
                }
            }
            operands.clear();
        }
    }

    static std::string Utf16OfName(const std::string& name)
    {
        const std::string utf8 = GlyphNameToUtf8(name);
        std::string out;
        for (char16_t u : Utf8ToUtf16(utf8)) {
            out.push_back(static_cast<char>(u >> 8));
            out.push_back(static_cast<char>(u & 0xFF));
        }
        return out;
    }

    // The length of the code that starts `bytes`, by the code space ranges; 0 when none fits.
    std::size_t CodeLength(std::string_view bytes) const
    {
        for (std::size_t n = 1; n <= 4 && n <= bytes.size(); ++n) {
            for (const TSpace& s : Spaces) {
                if (s.Length != n)
                    continue;
                bool inside = true;
                for (std::size_t k = 0; k < n && inside; ++k) {
                    const auto b = static_cast<unsigned char>(bytes[k]);
                    inside = b >= static_cast<unsigned char>(s.Low[k]) && b <= static_cast<unsigned char>(s.High[k]);
                }
                if (inside)
                    return n;
            }
        }
        return 0;
    }

    // UTF-16BE for a code, or nullptr when the map has none.
    bool Lookup(std::size_t length, std::uint32_t code, std::string& utf16) const
    {
        if (auto it = Chars.find(Key(length, code)); it != Chars.end()) {
            utf16 = it->second;
            return true;
        }
        for (const TRange& r : Ranges) {
            if (r.Length != length || code < r.Low || code > r.High)
                continue;
            const std::uint32_t offset = code - r.Low;
            if (!r.List.empty()) {
                if (offset >= r.List.size())
                    continue;
                utf16 = r.List[offset];
                return true;
            }
            utf16 = r.Base;
            if (utf16.size() >= 2) {
                // The last code unit counts up through the range.
                std::uint32_t last = static_cast<unsigned char>(utf16[utf16.size() - 2]) << 8 |
                                     static_cast<unsigned char>(utf16.back());
                last += offset;
                utf16[utf16.size() - 2] = static_cast<char>((last >> 8) & 0xFF);
                utf16.back() = static_cast<char>(last & 0xFF);
            } else if (utf16.size() == 1) {
                utf16 = std::string(1, '\0') + static_cast<char>(static_cast<unsigned char>(utf16[0]) + offset);
            }
            return true;
        }
        return false;
    }
};

// What the text layer needs of one font: how its strings split into codes, what each code stands
// for, and how far each advances.
struct TFont
{
    enum TCodes : std::uint8_t { OneByte, TwoBytes, CodeSpace, Utf16, Utf8, Mixed };
    TCodes Codes = OneByte;
    TCMap ToUnicode;
    TCMap Encoding; // a Type0 font's own CMap, for its code space
    std::array<std::string, 256> Simple; // simple fonts: code -> UTF-8 by the encoding
    std::array<double, 256> Widths{};    // simple fonts, in text space per unit of font size
    bool HaveWidths = false;
    std::unordered_map<std::uint32_t, double> CidWidths;
    double DefaultWidth = 0.6;
    bool Vertical = false;
    bool IdentityCids = false; // the code is the CID
    // One-byte fonts: each code's text, ready to append, and what kind of glyph it is.
    enum TClass : std::uint8_t { NoText, Plain, SpaceGlyph, Special };
    std::array<std::string, 256> Text1;
    std::array<std::uint8_t, 256> Class1{};
    std::array<char, 256> Byte1{}; // a plain glyph whose text is one printable ASCII byte: that byte
    // For runs of such glyphs: whether a code goes on a run (a letter of Byte1, a space glyph) and the byte it writes.
    enum TRunKind : std::uint8_t { RunStop, RunLetter, RunSpace };
    std::array<std::uint8_t, 256> Kind1{};
    std::array<char, 256> Out1{};
    // The widths in thousandths, when every one is a whole number of them (most fonts): glyphs are
    // then counted on in integers, one cycle a glyph rather than a floating-point add's four.
    std::array<std::int32_t, 256> Milli{};
    bool MilliExact = false;
};

bool IsSymbolicFontName(std::string_view base)
{
    return base.find("Symbol") != std::string_view::npos;
}

std::string AppendUtf8(char32_t cp)
{
    std::string s;
    Utf8Append(s, cp);
    return s;
}

void AppendNormalized(std::string& out, std::string_view utf8);
char32_t CombiningMark(std::string_view utf8);

// Every code's text worked out once per font, not once per glyph drawn.
void ResolveOneByte(TFont& font)
{
    std::string utf16;
    for (int c = 0; c < 256; ++c) {
        std::string text;
        const auto code = static_cast<std::uint32_t>(c);
        if (font.ToUnicode.Any && font.ToUnicode.Lookup(1, code, utf16))
            text = Utf16BeToUtf8(utf16);
        else if (!font.Simple[code].empty())
            text = font.Simple[code];
        else if (c >= 0x20)
            text = AnsiToUtf8(std::string(1, static_cast<char>(c))); // no usable map: the code as 8-bit text
        auto& cls = font.Class1[code];
        if (text.empty()) {
            cls = TFont::NoText;
        } else if (text == " ") {
            cls = TFont::SpaceGlyph;
        } else if (CombiningMark(text)) {
            cls = TFont::Special;
        } else {
            std::string normalized;
            AppendNormalized(normalized, text);
            text = std::move(normalized);
            cls = text.empty() ? TFont::NoText : text == " " ? TFont::SpaceGlyph : TFont::Plain;
            if (cls == TFont::Plain && text.size() == 1 && text[0] > 0x20 && text[0] < 0x7F)
                font.Byte1[code] = text[0];
        }
        font.Kind1[code] = font.Byte1[code] ? TFont::RunLetter : cls == TFont::SpaceGlyph ? TFont::RunSpace : TFont::RunStop;
        font.Out1[code] = font.Byte1[code] ? font.Byte1[code] : ' ';
        font.Text1[code] = std::move(text);
    }
}

TFont MakeFont(TPdfFile& file, const TObject& dict)
{
    TFont font;
    const std::string subtype = dict.Get("Subtype").S;
    const TObject toUnicode = file.Resolve(dict.Get("ToUnicode"));
    if (toUnicode.Kind == TObject::Stream)
        font.ToUnicode.Parse(file.StreamData(toUnicode, std::size_t{16} << 20));
    if (subtype == "Type0") {
        const TObject encoding = file.Resolve(dict.Get("Encoding"));
        const TObject descendants = file.Resolve(dict.Get("DescendantFonts"));
        const TObject cidFont = file.Resolve(descendants.At(0));
        if (encoding.Kind == TObject::Name) {
            const std::string& name = encoding.S;
            font.Vertical = name.size() >= 2 && name.substr(name.size() - 2) == "-V";
            if (name == "Identity-H" || name == "Identity-V") {
                font.Codes = TFont::TwoBytes;
                font.IdentityCids = true;
            } else if (name.find("UCS2") != std::string::npos) {
                font.Codes = TFont::TwoBytes;
                if (!font.ToUnicode.Any) {
                    // The codes are Unicode themselves.
                    font.ToUnicode.Spaces.push_back({2, std::string("\0\0", 2), "\xFF\xFF"});
                    font.ToUnicode.Ranges.push_back({2, 0, 0xFFFF, std::string("\0\0", 2), {}});
                    font.ToUnicode.Any = true;
                }
            } else if (name.find("UTF16") != std::string::npos) {
                font.Codes = TFont::Utf16;
            } else if (name.find("UTF8") != std::string::npos) {
                font.Codes = TFont::Utf8;
            } else if (!font.ToUnicode.Spaces.empty()) {
                font.Codes = TFont::CodeSpace;
            } else {
                font.Codes = TFont::Mixed;
            }
        } else if (encoding.Kind == TObject::Stream) {
            font.Encoding.Parse(file.StreamData(encoding, std::size_t{16} << 20));
            font.Codes = font.Encoding.Spaces.empty() ? TFont::TwoBytes : TFont::CodeSpace;
            font.Vertical = encoding.Get("WMode").Number() == 1;
        } else {
            font.Codes = TFont::TwoBytes;
        }
        if (font.Codes == TFont::CodeSpace && font.Encoding.Spaces.empty())
            font.Encoding.Spaces = font.ToUnicode.Spaces;
        const TObject dw = cidFont.Get("DW");
        font.DefaultWidth = dw.IsNumber() ? dw.Number() / 1000 : 1.0;
        const TObject w = file.Resolve(cidFont.Get("W"));
        for (std::size_t i = 0; i < w.Size() && font.CidWidths.size() < 200000;) {
            const TObject first = file.Resolve(w.At(i));
            const TObject next = file.Resolve(w.At(i + 1));
            if (!first.IsNumber())
                break;
            const auto c = static_cast<std::int64_t>(first.Number());
            if (next.Kind == TObject::Array) {
                for (std::size_t k = 0; k < next.Size() && c >= 0; ++k)
                    font.CidWidths[static_cast<std::uint32_t>(c + static_cast<std::int64_t>(k))] = next.At(k).Number() / 1000;
                i += 2;
            } else {
                const TObject width = file.Resolve(w.At(i + 2));
                const auto last = static_cast<std::int64_t>(next.Number());
                for (std::int64_t k = c; k <= last && k - c < 65536 && k >= 0; ++k)
                    font.CidWidths[static_cast<std::uint32_t>(k)] = width.Number() / 1000;
                i += 3;
            }
        }
        return font;
    }

    // A simple font: TrueType, Type1, Type3, MMType1.
    const std::string base = dict.Get("BaseFont").S;
    TBaseEncoding baseEncoding = subtype == "TrueType" ? TBaseEncoding::WinAnsi : TBaseEncoding::Standard;
    if (IsSymbolicFontName(base))
        baseEncoding = TBaseEncoding::Symbol;
    else if (base.find("Dingbats") != std::string::npos)
        baseEncoding = TBaseEncoding::ZapfDingbats;
    const TObject encoding = file.Resolve(dict.Get("Encoding"));
    TObject differences;
    if (encoding.Kind == TObject::Name) {
        if (auto e = BaseEncodingByName(encoding.S))
            baseEncoding = *e;
    } else if (encoding.Kind == TObject::Dict) {
        if (auto e = BaseEncodingByName(encoding.Get("BaseEncoding").S))
            baseEncoding = *e;
        differences = file.Resolve(encoding.Get("Differences"));
    }
    for (int c = 0; c < 256; ++c)
        if (const char32_t cp = BaseEncodingChar(baseEncoding, static_cast<std::uint8_t>(c)))
            font.Simple[static_cast<std::size_t>(c)] = AppendUtf8(cp);
    int code = 0;
    for (std::size_t i = 0; i < differences.Size(); ++i) {
        const TObject item = file.Resolve(differences.At(i));
        if (item.IsNumber()) {
            code = ToInt(item.Number());
        } else if (item.Kind == TObject::Name) {
            if (code >= 0 && code < 256) {
                std::string text = GlyphNameToUtf8(item.S);
                // A name that says nothing ("g12", "cid34"): the code stands for itself, as before.
                font.Simple[static_cast<std::size_t>(code)] = text.empty() ? std::string() : std::move(text);
            }
            code += code < 256 ? 1 : 0; // past 255 names map nothing: no need to count on
        }
    }
    double scale = 0.001;
    if (subtype == "Type3") {
        const TObject matrix = file.Resolve(dict.Get("FontMatrix"));
        if (matrix.Size() >= 1 && matrix.At(0).IsNumber())
            scale = std::abs(matrix.At(0).Number());
    }
    const TObject widths = file.Resolve(dict.Get("Widths"));
    const int firstChar = ToInt(dict.Get("FirstChar").Number());
    const TObject descriptor = file.Resolve(dict.Get("FontDescriptor"));
    const double missing = descriptor.Get("MissingWidth").IsNumber() ? descriptor.Get("MissingWidth").Number() * scale : 0;
    if (widths.Size() > 0) {
        font.HaveWidths = true;
        font.Widths.fill(missing > 0 ? missing : 0.6);
        for (std::size_t i = 0; i < widths.Size(); ++i) {
            const std::int64_t c = std::int64_t{firstChar} + static_cast<std::int64_t>(i);
            if (c >= 0 && c < 256)
                font.Widths[static_cast<std::size_t>(c)] = file.Resolve(widths.At(i)).Number() * scale;
        }
    } else {
        // The standard fonts come without widths: an average that rather overestimates, so a gap
        // inside a word is not taken for a space.
        font.Widths.fill(0.6);
    }
    font.MilliExact = true;
    for (std::size_t c = 0; c < 256; ++c) {
        const double milli = font.Widths[c] * 1000;
        const double whole = std::round(milli);
        if (!(std::abs(milli - whole) < 1e-6 && std::abs(whole) < 1e6)) {
            font.MilliExact = false;
            break;
        }
        font.Milli[c] = static_cast<std::int32_t>(whole);
    }
    ResolveOneByte(font);
    return font;
}

// Letters a reader sees in place of presentation forms, and spaces for the marks that are not letters.
void AppendNormalized(std::string& out, std::string_view utf8)
{
    // Most glyphs are one printable ASCII letter.
    if (utf8.size() == 1 && static_cast<unsigned char>(utf8[0]) >= 0x20 && static_cast<unsigned char>(utf8[0]) < 0x80) {
        out.push_back(utf8[0]);
        return;
    }
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = Utf8Next(utf8, i);
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD; // Utf8Next's stand-in for a byte that is no UTF-8 (raw UTF-8 codes, text strings)
        switch (cp) {
        case 0xFB00: out += "ff"; break;
        case 0xFB01: out += "fi"; break;
        case 0xFB02: out += "fl"; break;
        case 0xFB03: out += "ffi"; break;
        case 0xFB04: out += "ffl"; break;
        case 0xFB05:
        case 0xFB06: out += "st"; break;
        case 0x00AD: break; // soft hyphen
        case 0x00A0:
        case 0x2002:
        case 0x2003:
        case 0x2009:
        case 0x202F: out.push_back(' '); break;
        case 0: break;
        default:
            if (cp < 0x20 && cp != '\n' && cp != '\t')
                break;
            Utf8Append(out, cp);
        }
    }
}

// The combining mark a spacing accent glyph stands for, 0 for other text.
char32_t CombiningMark(std::string_view utf8)
{
    std::size_t i = 0;
    if (utf8.empty())
        return 0;
    const char32_t cp = Utf8Next(utf8, i);
    if (i != utf8.size())
        return 0;
    switch (cp) {
    case 0x00B4: case 0x02CA: return 0x0301;
    case 0x0060: case 0x02CB: return 0x0300;
    case 0x005E: case 0x02C6: return 0x0302;
    case 0x007E: case 0x02DC: return 0x0303;
    case 0x00A8: return 0x0308;
    case 0x02DA: return 0x030A;
    case 0x00B8: return 0x0327;
    case 0x02C7: return 0x030C;
    case 0x02D8: return 0x0306;
    case 0x02D9: return 0x0307;
    case 0x02DD: return 0x030B;
    case 0x02DB: return 0x0328;
    case 0x00AF: case 0x02C9: return 0x0304;
    default: return 0;
    }
}

// One operand of a content-stream operator. The slots and their buffers are kept from one
// operator to the next, so reading a page allocates next to nothing.
struct TOperand
{
    enum TKind : std::uint8_t { Number, String, Name, Array, Other };
    struct TItem
    {
        bool IsString = false;
        double Num = 0;
        std::string Text;
    };
    TKind Kind = Other;
    // A number is read when an operator asks for it: most numbers draw paths and are never needed.
    std::string_view Digits;
    std::string Text;          // a string's bytes, a name
    std::vector<TItem> Items;  // an array of strings and numbers (TJ): the first ItemCount
    std::size_t ItemCount = 0;
    TObject Obj;               // anything else (dictionaries, nested arrays, booleans), fully read

    double Value() const;
};

// An operator of up to three bytes as a number to switch on; 0 for a longer one.
constexpr std::uint32_t OpCode(std::string_view op)
{
    if (op.size() > 3)
        return 0;
    std::uint32_t v = static_cast<std::uint32_t>(op.size()) << 24;
    for (std::size_t i = 0; i < op.size(); ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(op[i])) << (8 * i);
    return v;
}

// Character classes for the content lexer: 1 white space, 2 delimiter.
constexpr std::array<std::uint8_t, 256> CharClasses = [] {
    std::array<std::uint8_t, 256> t{};
    for (const char c : {' ', '\n', '\r', '\t', '\f', '\0'})
        t[static_cast<unsigned char>(c)] = 1;
    for (const char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'})
        t[static_cast<unsigned char>(c)] = 2;
    return t;
}();

// The bytes that can start what the text layer acts on: strings, names, arrays, dictionaries,
// comments, and the first letter of each operator it follows (the text operators, BT ET BDC BMC
// EMC BI, q Q Do, and "m" for cm). No operator that only draws starts with one of these letters or
// has one after its first (B and B* fill, DP, EX and EI are read and passed by), so a pass over
// everything else stops at the start of every token that matters.
constexpr std::array<bool, 256> ActsOn = [] {
    std::array<bool, 256> t{};
    for (const char c : {'(', '<', '[', '/', '%', '\'', '"', 'T', 'B', 'E', 'q', 'Q', 'D', 'm', ')', '>', ']', '{', '}'})
        t[static_cast<unsigned char>(c)] = true;
    return t;
}();

// The first byte in [p, end) that ActsOn holds, 16 bytes at a time where the processor can: each
// byte's high nibble picks a bit (one per row of the table, 0x20 to 0x70) and its low nibble the
// rows in which it is a member, so one shuffle each and an AND tell all 16 at once.
#if defined(__x86_64__)
__attribute__((target("ssse3"))) const char* FindActsOnSsse3(const char* p, const char* end)
{
    const __m128i lowRows = _mm_setr_epi8(0, 8 | 32, 1 | 4, 0, 4 | 8, 1 | 4, 0, 1, 1, 1, 0, 8 | 32, 2, 8 | 16 | 32, 2, 1);
    const __m128i highBit = _mm_setr_epi8(0, 0, 1, 2, 4, 8, 16, 32, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i low = _mm_shuffle_epi8(lowRows, _mm_and_si128(bytes, nibble));
        const __m128i high = _mm_shuffle_epi8(highBit, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
        const __m128i hit = _mm_cmpeq_epi8(_mm_and_si128(low, high), _mm_setzero_si128());
        const unsigned mask = ~static_cast<unsigned>(_mm_movemask_epi8(hit)) & 0xFFFF;
        if (mask)
            return p + __builtin_ctz(mask);
    }
    while (p != end && !ActsOn[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}
#endif

const char* FindActsOn(const char* p, const char* end)
{
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3") != 0;
    if (ssse3)
        return FindActsOnSsse3(p, end);
#endif
    while (p != end && !ActsOn[static_cast<unsigned char>(*p)])
        ++p;
    return p;
}

// Reads content streams the way TLexer reads them, operands straight into reusable slots.
class TContentLexer
{
public:
    enum TToken { End, Operand, Keyword };
    explicit TContentLexer(std::string_view data) : FData(data) {}

    /// Reads an operand into `o`, or an operator into `keyword`. Numbers and operators, most of
    /// what pages are drawn with, are read here at full speed; the rest out of line.
    TToken Next(TOperand& o, std::string_view& keyword)
    {
        const char* const data = FData.data();
        const char* const end = data + FData.size();
        const char* p = data + FPos;
        for (;;) {
            while (p != end && CharClasses[static_cast<unsigned char>(*p)] == 1)
                ++p;
            if (p == end || *p != '%')
                break;
            while (p != end && *p != '\n' && *p != '\r')
                ++p;
        }
        if (p == end) {
            FPos = FData.size();
            return End;
        }
        const char c = *p;
        if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
            // A number as NumberOf reads it: signs, then digits with at most one point.
            const char* const start = p;
            if (c == '+' || c == '-') {
                ++p;
                while (p != end && (*p == '-' || *p == '+'))
                    ++p;
            }
            bool any = false, real = false;
            for (; p != end; ++p) {
                if (*p >= '0' && *p <= '9')
                    any = true;
                else if (*p == '.' && !real)
                    real = true;
                else
                    break;
            }
            FPos = static_cast<std::size_t>(p - data);
            if (!any && !real && p == start + 1) {
                keyword = std::string_view(start, 1); // a sign standing alone
                return Keyword;
            }
            o.Kind = TOperand::Number;
            o.Digits = std::string_view(start, static_cast<std::size_t>(p - start));
            return Operand;
        }
        if (CharClasses[static_cast<unsigned char>(c)] == 0) {
            const char* const start = p;
            while (p != end && CharClasses[static_cast<unsigned char>(*p)] == 0)
                ++p;
            FPos = static_cast<std::size_t>(p - data);
            const std::size_t length = static_cast<std::size_t>(p - start);
            // Told from the bytes, not read back from `keyword`: checking through memory just
            // written stalls on every operator.
            keyword = std::string_view(start, length);
            if ((length == 4 || length == 5) && (c == 't' || c == 'f' || c == 'n') && Constant(o, keyword))
                return Operand;
            return Keyword;
        }
        FPos = static_cast<std::size_t>(p - data);
        return NextDelimited(o, keyword);
    }

private:
    // true, false and null are operands.
    static bool Constant(TOperand& o, std::string_view word)
    {
        const bool isTrue = word == "true";
        if (!isTrue && word != "false" && word != "null")
            return false;
        o.Kind = TOperand::Other;
        o.Obj = TObject();
        if (word[0] != 'n') {
            o.Obj.Kind = TObject::Bool;
            o.Obj.B = isTrue;
        }
        return true;
    }

    // What starts with a delimiter: strings, names, arrays, dictionaries, and stray delimiters.
    [[gnu::noinline]] TToken NextDelimited(TOperand& o, std::string_view& keyword)
    {
        const char c = FData[FPos];
        if (c == '(') {
            o.Kind = TOperand::String;
            Literal(o.Text);
            return Operand;
        }
        if (c == '/') {
            o.Kind = TOperand::Name;
            Name(o.Text);
            return Operand;
        }
        if (c == '<' && !(FPos + 1 < FData.size() && FData[FPos + 1] == '<')) {
            o.Kind = TOperand::String;
            Hex(o.Text);
            return Operand;
        }
        if (c == '[') {
            if (!ArrayOf(o))
                Full(o);
            return Operand;
        }
        if (c == '<') {
            Full(o);
            return Operand;
        }
        // A stray delimiter taken as a keyword, so the reader moves on.
        const std::size_t start = FPos++;
        if (c == '>' && FPos < FData.size() && FData[FPos] == '>')
            ++FPos;
        keyword = FData.substr(start, FPos - start);
        return Keyword;
    }

public:
    /// Moves to the next byte that can start what the text layer acts on (see ActsOn), and
    /// returns where that is; the size of the data at its end.
    std::size_t SkipDrawing()
    {
        const char* const data = FData.data();
        const char* const end = data + FData.size();
        FPos = static_cast<std::size_t>(FindActsOn(data + FPos, end) - data);
        return FPos;
    }

    bool Ended() const { return FPos >= FData.size(); }
    std::size_t Pos() const { return FPos; }
    void Seek(std::size_t pos) { FPos = std::min(pos, FData.size()); }
    std::string_view Data() const { return FData; }

private:
    void SkipSpace()
    {
        while (FPos < FData.size()) {
            const std::uint8_t cls = CharClasses[static_cast<unsigned char>(FData[FPos])];
            if (cls == 1) {
                ++FPos;
            } else if (FData[FPos] == '%') {
                while (FPos < FData.size() && FData[FPos] != '\n' && FData[FPos] != '\r')
                    ++FPos;
            } else {
                break;
            }
        }
    }

    // Passes over a number as NumberOf reads it; false for a sign standing alone (a keyword then).
    bool SkipNumber()
    {
        const std::size_t start = FPos;
        if (FData[FPos] == '+' || FData[FPos] == '-')
            ++FPos;
        while (FPos < FData.size() && (FData[FPos] == '-' || FData[FPos] == '+'))
            ++FPos;
        bool any = false, real = false;
        while (FPos < FData.size()) {
            const char c = FData[FPos];
            if (c >= '0' && c <= '9')
                any = true;
            else if (c == '.' && !real)
                real = true;
            else
                break;
            ++FPos;
        }
        return any || real || FPos != start + 1;
    }

public:
    // A number as TLexer reads it; false for a sign standing alone (a keyword then).
    bool NumberOf(double& out)
    {
        const std::size_t start = FPos;
        bool negative = false;
        if (FData[FPos] == '+' || FData[FPos] == '-') {
            negative = FData[FPos] == '-';
            ++FPos;
        }
        while (FPos < FData.size() && (FData[FPos] == '-' || FData[FPos] == '+'))
            ++FPos;
        std::int64_t whole = 0;
        double value = 0, scale = 0.1;
        bool any = false, real = false;
        while (FPos < FData.size()) {
            const char c = FData[FPos];
            if (c >= '0' && c <= '9') {
                any = true;
                if (!real) {
                    if (whole < std::int64_t{100000000000000000})
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
        if (!any && FPos == start + 1 && !real)
            return false;
        if (real)
            out = std::clamp(negative ? -value : value, -1e18, 1e18);
        else
            out = static_cast<double>(negative ? -whole : whole);
        return true;
    }

private:
    void Literal(std::string& out) { TLexer::ReadLiteral(FData, FPos, out); }
    void Hex(std::string& out) { TLexer::ReadHex(FData, FPos, out); }
    void Name(std::string& out) { TLexer::ReadName(FData, FPos, out); }

    // An array of strings and numbers, as TJ takes it; false (nothing read) for any other array.
    bool ArrayOf(TOperand& o)
    {
        const std::size_t start = FPos++;
        o.ItemCount = 0;
        for (;;) {
            SkipSpace();
            if (FPos >= FData.size())
                break;
            const char c = FData[FPos];
            if (c == ']') {
                ++FPos;
                break;
            }
            if (o.ItemCount == o.Items.size())
                o.Items.emplace_back();
            TOperand::TItem& item = o.Items[o.ItemCount];
            if (c == '(') {
                item.IsString = true;
                Literal(item.Text);
            } else if (c == '<' && !(FPos + 1 < FData.size() && FData[FPos + 1] == '<')) {
                item.IsString = true;
                Hex(item.Text);
            } else if (((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') && NumberOf(item.Num)) {
                item.IsString = false;
            } else {
                FPos = start;
                return false;
            }
            ++o.ItemCount;
        }
        o.Kind = TOperand::Array;
        return true;
    }

    // Anything else through the full lexer.
    void Full(TOperand& o)
    {
        TLexer lexer(FData, FPos);
        o.Kind = TOperand::Other;
        o.Obj = lexer.Next();
        FPos = std::max(lexer.Pos(), FPos + 1);
    }

    std::string_view FData;
    std::size_t FPos = 0;
};

double TOperand::Value() const
{
    if (Kind == Other)
        return Obj.Number();
    if (Kind != Number)
        return 0.0;
    TContentLexer lexer(Digits);
    double v = 0;
    return lexer.NumberOf(v) ? v : 0.0;
}

} // namespace

// A run of one-byte letters and the usual space (code 32, parting words where `wide`), written to
// `out`: where it stopped, the text's end, widths in thousandths, spaces, and whether the text ends
// blank. For fonts in which code 32 is no letter.
struct TLetterRun
{
    const unsigned char* Stop;
    char* Out;
    std::int64_t Milli;
    std::size_t Words;
    bool Blank;
};

[[gnu::noinline]] TLetterRun LetterRun(const unsigned char* p, const unsigned char* const end, char* out,
                                       const TFont& font, const bool wide, bool blank)
{
    const std::uint8_t* const kinds = font.Kind1.data();
    const char* const bytes = font.Out1.data();
    const std::int32_t* const widths = font.Milli.data();
    std::int64_t milli = 0;
    std::size_t words = 0;
    for (; p != end; ++p) {
        const unsigned char c = *p;
        const std::uint8_t kind = kinds[c];
        if (kind == TFont::RunLetter) {
            *out++ = bytes[c];
            milli += widths[c];
            blank = false;
            continue;
        }
        if (c != 32 || kind != TFont::RunSpace)
            break;
        milli += widths[32];
        ++words;
        if (wide && !blank) {
            *out++ = ' ';
            blank = true;
        }
    }
    return {p, out, milli, words, blank};
}

// Reads the pages one by one, then the text outside them.
class TPageReader
{
public:
    TPageReader(TPdfFile& file, const std::atomic<bool>* cancel) : FFile(file), FCancel(cancel)
    {
        const TObject root = FFile.Resolve(FFile.Trailer().Get("Root"));
        CollectPages(root.Get("Pages"));
    }

    /// The next piece of text and its page (0 outside the pages); false at the end.
    bool Next(std::string& text, int& page, bool& cut)
    {
        text.clear();
        cut = false;
        if (FNextPage < FPages.size()) {
            page = static_cast<int>(FNextPage + 1);
            ReadPage(FPages[FNextPage++], text);
            cut = FCut;
            FCut = false;
            return true;
        }
        if (FOutsideDone)
            return false;
        FOutsideDone = true;
        page = 0;
        ReadOutside(text);
        return true;
    }

    /// True once a page had a content stream that could be read: the structure works, even when
    /// the pages show no text (scans, drawings).
    bool AnyContent() const { return FAnyContent; }

private:
    // A page as its reference (the dictionary is read again when its turn comes), so a document
    // of many pages does not hold every page's dictionary at once.
    struct TPage
    {
        TObject Node;
        TObject Inherited; // the resources of the nodes above it
    };
    struct TState
    {
        TMatrix Ctm = Identity;
        const TFont* Font = nullptr;
        double Size = 0, CharSpace = 0, WordSpace = 0, Scale = 1, Leading = 0, Rise = 0;
    };

    void CollectPages(const TObject& node)
    {
        std::set<std::uint32_t> seen;
        struct TItem
        {
            TObject Node;
            TObject Resources;
            int Depth;
        };
        std::vector<TItem> stack{{node, TObject(), 0}};
        while (!stack.empty() && FPages.size() < MaxPages) {
            TItem item = std::move(stack.back());
            stack.pop_back();
            if (item.Node.Kind == TObject::Ref && !seen.insert(item.Node.Reference.Num).second)
                continue; // a loop in the tree
            const TObject dict = FFile.Resolve(item.Node);
            if (dict.Kind != TObject::Dict || item.Depth > 64)
                continue;
            const TObject kids = FFile.Resolve(dict.Get("Kids"));
            if (kids.Kind == TObject::Array && !dict.Get("Type").IsName("Page")) {
                const TObject resources = dict.Get("Resources").IsNull() ? item.Resources : dict.Get("Resources");
                for (std::size_t i = kids.Size(); i-- > 0;)
                    stack.push_back({kids.At(i), resources, item.Depth + 1});
            } else {
                FPages.push_back({item.Node, item.Resources});
            }
        }
    }

    // A standard font named by its dictionary alone (no widths, maps or differences of its own) is
    // the same font in every document: made once for the thread, not once per document.
    std::shared_ptr<const TFont> SharedFont(const TObject& dict)
    {
        const TObject& subtype = dict.Get("Subtype");
        const TObject& base = dict.Get("BaseFont");
        const TObject& encoding = dict.Get("Encoding");
        const bool standard = (subtype.IsName("Type1") || subtype.IsName("TrueType")) && base.Kind == TObject::Name &&
                              (encoding.IsNull() || encoding.Kind == TObject::Name) && dict.Get("Widths").IsNull() &&
                              dict.Get("ToUnicode").IsNull() && dict.Get("FontDescriptor").IsNull();
        if (!standard)
            return std::make_shared<const TFont>(MakeFont(FFile, dict));
        // Shared by the threads (a font never changes once made), not one map per thread: under
        // MinGW's emulated thread-local storage, a thread-local object's destructor may run after
        // its storage is gone, and a worker then crashes as it ends.
        static std::mutex lock;
        static std::map<std::string, std::shared_ptr<const TFont>> fonts;
        std::string key = subtype.S + "/" + base.S + "/" + encoding.S;
        {
            const std::lock_guard<std::mutex> hold(lock);
            if (auto it = fonts.find(key); it != fonts.end())
                return it->second;
        }
        auto font = std::make_shared<const TFont>(MakeFont(FFile, dict));
        const std::lock_guard<std::mutex> hold(lock);
        if (fonts.size() >= 256)
            fonts.clear();
        fonts.emplace(std::move(key), font);
        return font;
    }

    const TFont* FontOf(const TObject& resources, const std::string& name)
    {
        const TObject fonts = FFile.Resolve(FFile.Resolve(resources).Get("Font"));
        const TObject& entry = fonts.Get(name);
        const TObject dict = FFile.Resolve(entry);
        if (dict.Kind != TObject::Dict)
            return nullptr;
        const std::uintptr_t key = entry.Kind == TObject::Ref ? entry.Reference.Num
                                                               : reinterpret_cast<std::uintptr_t>(dict.D.get()) | (std::uintptr_t{1} << 63);
        auto it = FFonts.find(key);
        if (it == FFonts.end()) {
            if (FFonts.size() > 4096) {
                // Let go of them at the next page: this page's state may still point at them.
                for (auto& [k, font] : FFonts)
                    FRetiredFonts.push_back(std::move(font));
                FFonts.clear();
            }
            it = FFonts.emplace(key, SharedFont(dict)).first;
        }
        return it->second.get();
    }

    void ReadPage(const TPage& page, std::string& text)
    {
        FOut = &text;
        FRetiredFonts.clear();
        FHaveLast = false;
        FForms = 0;
        FActual.clear();
        FActualDepth = 0;
        FPendingMark = 0;
        FPendingHyphen = false;
        FLastCharAt = std::string::npos;
        const TObject dict = FFile.Resolve(page.Node);
        const TObject resources = dict.Get("Resources").IsNull() ? page.Inherited : dict.Get("Resources");
        const TObject contents = FFile.Resolve(dict.Get("Contents"));
        std::string data;
        auto add = [&](const TObject& stream) {
            const TObject s = FFile.Resolve(stream);
            bool cut = false;
            const std::size_t had = data.size();
            if (data.empty())
                data = FFile.StreamData(s, StreamLimit, &cut); // most pages have one stream: not copied
            else
                data += FFile.StreamData(s, StreamLimit, &cut);
            FAnyContent = FAnyContent || data.size() > had;
            data.push_back('\n'); // the streams of an array are one, parted where they join
            FCut = FCut || cut;
        };
        if (contents.Kind == TObject::Array) {
            for (std::size_t i = 0; i < contents.Size() && data.size() < StreamLimit; ++i)
                add(contents.At(i));
        } else {
            add(contents);
        }
        TState state;
        std::set<std::uint32_t> active;
        Run(data, resources, state, 0, active);
        data.clear();
        data.shrink_to_fit();
        if (FPendingMark)
            AppendNormalized(text, FPendingMarkText);
        if (FPendingHyphen)
            text += "-";
        FPendingMark = 0;
        FPendingHyphen = false;
        // What the page's annotations say.
        const TObject annots = FFile.Resolve(dict.Get("Annots"));
        for (std::size_t i = 0; i < annots.Size() && i < 10000; ++i) {
            if (!FFile.MayHold(annots.At(i), {"/Contents", "/V"}))
                continue; // links and the like, passed over without being parsed
            const TObject annot = FFile.Resolve(annots.At(i));
            if (annot.Get("Subtype").IsName("Link") || annot.Get("Subtype").IsName("Popup"))
                continue;
            for (const char* key : {"Contents", "V"}) {
                const TObject value = FFile.Resolve(annot.Get(key));
                if (value.Kind == TObject::String && !value.S.empty()) {
                    NewLine();
                    AppendNormalized(text, TextStringToUtf8(value.S));
                }
            }
        }
        if (!text.empty() && text.back() != '\n')
            text.push_back('\n');
        FOut = nullptr;
    }

    void ReadOutside(std::string& text)
    {
        FOut = &text;
        const TObject info = FFile.Resolve(FFile.Trailer().Get("Info"));
        for (const char* key : {"Title", "Subject", "Author", "Keywords"}) {
            const TObject value = FFile.Resolve(info.Get(key));
            if (value.Kind == TObject::String && !value.S.empty()) {
                AppendNormalized(text, TextStringToUtf8(value.S));
                text.push_back('\n');
            }
        }
        const TObject root = FFile.Resolve(FFile.Trailer().Get("Root"));
        // Bookmarks, depth first.
        std::set<std::uint32_t> seen;
        std::vector<TObject> stack;
        const TObject outlines = FFile.Resolve(root.Get("Outlines"));
        if (!outlines.Get("First").IsNull())
            stack.push_back(outlines.Get("First"));
        std::size_t items = 0;
        while (!stack.empty() && items++ < MaxOutlineItems) {
            trovex::CheckCancel(FCancel);
            const TObject ref = stack.back();
            stack.pop_back();
            if (ref.Kind != TObject::Ref || !seen.insert(ref.Reference.Num).second)
                continue;
            const TObject item = FFile.Resolve(ref);
            const TObject title = FFile.Resolve(item.Get("Title"));
            if (title.Kind == TObject::String) {
                AppendNormalized(text, TextStringToUtf8(title.S));
                text.push_back('\n');
            }
            if (!item.Get("Next").IsNull())
                stack.push_back(item.Get("Next"));
            if (!item.Get("First").IsNull())
                stack.push_back(item.Get("First"));
        }
        // Form fields' values (those without a widget on a page included).
        const TObject form = FFile.Resolve(root.Get("AcroForm"));
        const TObject fields = FFile.Resolve(form.Get("Fields"));
        std::vector<TObject> pending;
        for (std::size_t i = 0; i < fields.Size(); ++i)
            pending.push_back(fields.At(i));
        items = 0;
        while (!pending.empty() && items++ < MaxOutlineItems) {
            const TObject ref = pending.back();
            pending.pop_back();
            if (ref.Kind == TObject::Ref && !seen.insert(ref.Reference.Num).second)
                continue;
            const TObject field = FFile.Resolve(ref);
            const TObject value = FFile.Resolve(field.Get("V"));
            if (value.Kind == TObject::String && !value.S.empty()) {
                AppendNormalized(text, TextStringToUtf8(value.S));
                text.push_back('\n');
            }
            const TObject kids = FFile.Resolve(field.Get("Kids"));
            for (std::size_t i = 0; i < kids.Size(); ++i)
                pending.push_back(kids.At(i));
        }
        FOut = nullptr;
    }

    void NewLine()
    {
        FHaveLast = false;
        if (!FOut || FOut->empty() || FOut->back() == '\n')
            return;
        // A word cut at the line's end ("zaży-" / "wa") is joined again when the next line goes on
        // with a small letter, as a reader reads it.
        if (FOut->back() == '-' && FOut->size() >= 2 && !FPendingHyphen) {
            std::size_t start = FOut->size() - 2;
            while (start > 0 && (static_cast<unsigned char>((*FOut)[start]) & 0xC0) == 0x80)
                --start;
            std::size_t k = start;
            const std::string before = FOut->substr(start, FOut->size() - 1 - start);
            const char32_t cp = Utf8Next(*FOut, k);
            if (cp != '-' && Utf8Upper(before) != Utf8Lower(before)) {
                FOut->pop_back();
                FPendingHyphen = true;
                return;
            }
        }
        FOut->push_back('\n');
    }

    void Space()
    {
        if (FOut && !FOut->empty() && FOut->back() != ' ' && FOut->back() != '\n')
            FOut->push_back(' ');
    }

    // Puts one glyph's text where the page shows it: a move across the line starts a new line, a
    // gap along it is a space. (x, y) is where the glyph starts, (endX, endY) where its drawing ends.
    void Place(std::string_view glyph, double x, double y, double size, double dirX, double dirY, double endX,
               double endY, bool vertical)
    {
        std::string_view utf8 = glyph;
        if (!FActual.empty() && FActualDepth > 0) {
            // Inside a span with a replacement text: it stands for the first glyph, the others give none.
            TActual& span = FActual[FActualDepth - 1];
            utf8 = span.Emitted ? std::string_view() : std::string_view(span.Text);
            span.Emitted = true;
        }
        double along = 0;
        if (FHaveLast && !vertical) {
            const double dx = x - FLastX, dy = y - FLastY;
            along = dx * FLastDirX + dy * FLastDirY;
            const double across = -dx * FLastDirY + dy * FLastDirX;
            const double em = std::max(FLastSize, 0.01);
            if (std::abs(across) > 0.5 * em)
                NewLine();
            else if (along > 0.15 * em || along < -em)
                Space();
        } else if (FHaveLast && vertical) {
            const double dx = x - FLastX;
            if (std::abs(dx) > 0.5 * std::max(FLastSize, 0.01))
                NewLine();
        }
        // Most glyphs are an ASCII letter, which is no accent: no need to decode it.
        const bool letter = utf8.size() == 1 && utf8[0] > 0x20 && utf8[0] < 0x7F && utf8[0] != '^' && utf8[0] != '`' &&
                            utf8[0] != '~';
        const char32_t mark = letter ? 0 : CombiningFor(utf8);
        const bool overlapsLast = FHaveLast && !vertical && along < -0.2 * std::max(FLastSize, 0.01);
        if (mark && overlapsLast && FLastCharAt != std::string::npos && FLastCharAt < FOut->size()) {
            // An accent drawn over the letter before it (TeX's \c{c}, some \v{}): one letter.
            std::string letter = FOut->substr(FLastCharAt);
            FOut->resize(FLastCharAt);
            Utf8Append(letter, mark);
            *FOut += Utf8ComposeNfc(letter);
            return; // the letter's own place stays the last one
        }
        if (mark) {
            // An accent drawn before the letter it sits on (TeX's \'e): kept until that letter comes.
            FPendingMark = mark;
            FPendingEnd = endX * (vertical ? 0 : 1);
            FPendingDirX = dirX;
            FPendingDirY = dirY;
            FPendingMarkText.assign(utf8);
            FHaveLast = true;
            FLastX = x; // the letter under it starts about here, so no gap is seen
            FLastY = y;
            FLastSize = size;
            FLastDirX = dirX;
            FLastDirY = dirY;
            return;
        }
        if (FPendingMark) {
            const double reach = (FPendingEnd - x) * FPendingDirX;
            std::string letter(utf8);
            const char32_t pending = FPendingMark;
            FPendingMark = 0;
            if (!utf8.empty() && reach > 0) {
                Utf8Append(letter, pending);
                FComposed = Utf8ComposeNfc(letter);
                utf8 = FComposed;
            } else {
                AppendNormalized(*FOut, FPendingMarkText);
            }
        }
        if (FPendingHyphen) {
            FPendingHyphen = false;
            std::size_t k = 0;
            const char32_t first = utf8.empty() ? 0 : Utf8Next(utf8, k);
            const std::string one(utf8.substr(0, k));
            const bool lower = first && Utf8Upper(one) != one && Utf8Lower(one) == one;
            if (!lower)
                *FOut += "-\n"; // not a word cut at the line's end: the hyphen and the line end stand
        }
        if (!utf8.empty()) {
            FLastCharAt = FOut->size();
            AppendNormalized(*FOut, utf8);
        }
        FHaveLast = true;
        FLastX = endX;
        FLastY = endY;
        FLastSize = size;
        FLastDirX = dirX;
        FLastDirY = dirY;
    }

    static char32_t CombiningFor(std::string_view utf8) { return CombiningMark(utf8); }

    // The codes of a string and their text.
    void Show(std::string_view bytes, TState& state)
    {
        const TFont* font = state.Font;
        if (!font) {
            // No font set: the bytes as they are, as before.
            AppendNormalized(*FOut, AnsiToUtf8(bytes));
            return;
        }
        std::string utf16;
        std::string text;
        // The string's place on the page: glyphs move along its baseline only, so the matrix is
        // made once per string, not once per glyph.
        const TMatrix m = Multiply(FTm, state.Ctm);
        const double rise = state.Rise;
        double dirX = m[0], dirY = m[1];
        const double length = std::sqrt(dirX * dirX + dirY * dirY); // not hypot: no overflow to fear, and far cheaper
        const double scale = length > 0 ? length : 1; // device units per text-space unit along the line
        if (length > 0) {
            dirX /= length;
            dirY /= length;
        } else {
            dirX = 1;
            dirY = 0;
        }
        const double size = std::abs(state.Size) * std::sqrt(m[2] * m[2] + m[3] * m[3]);
        double along = 0, down = 0;
        if (font->Codes == TFont::OneByte && !font->Vertical && FActualDepth == 0 && !FPendingMark && FOut) {
            ShowOneByte(bytes, *font, state, m, dirX, dirY, scale, size);
            return;
        }
        for (std::size_t i = 0; i < bytes.size();) {
            std::size_t n = 1;
            switch (font->Codes) {
            case TFont::OneByte: n = 1; break;
            case TFont::TwoBytes: n = 2; break;
            case TFont::CodeSpace: {
                const TCMap& map = font->Encoding.Spaces.empty() ? font->ToUnicode : font->Encoding;
                n = map.CodeLength(std::string_view(bytes).substr(i));
                if (n == 0)
                    n = 1;
                break;
            }
            case TFont::Utf16: {
                const auto hi = static_cast<unsigned char>(bytes[i]);
                n = hi >= 0xD8 && hi <= 0xDB ? 4 : 2;
                break;
            }
            case TFont::Utf8: n = std::max<std::size_t>(1, Utf8CharLen(bytes, i)); break;
            case TFont::Mixed: n = static_cast<unsigned char>(bytes[i]) < 0x80 ? 1 : 2; break;
            }
            n = std::min(n, bytes.size() - i);
            const std::string_view codeBytes = std::string_view(bytes).substr(i, n);
            const std::uint32_t code = CodeOf(codeBytes);
            i += n;
            std::string_view glyph;
            if (font->ToUnicode.Any && font->ToUnicode.Lookup(n, code, utf16)) {
                text = Utf16BeToUtf8(utf16);
                glyph = text;
            } else if (font->Codes == TFont::Utf16) {
                text = Utf16BeToUtf8(codeBytes);
                glyph = text;
            } else if (font->Codes == TFont::Utf8) {
                glyph = codeBytes;
            } else if (n == 1) {
                glyph = font->Simple[code & 0xFF];
                if (glyph.empty() && code >= 0x20) {
                    text = AnsiToUtf8(codeBytes); // no usable map: the code as 8-bit text, as before
                    glyph = text;
                }
            }
            double width;
            if (font->Codes == TFont::OneByte)
                width = font->Widths[code & 0xFF];
            else if (auto it = font->CidWidths.find(font->IdentityCids ? code : 0xFFFFFFFFu); it != font->CidWidths.end())
                width = it->second;
            else
                width = font->DefaultWidth;
            // Where the glyph sits on the page: `along` text-space units from where the string began.
            const double x = along * m[0] + rise * m[2] + m[4];
            const double y = along * m[1] + rise * m[3] + m[5];
            const double visible = width * state.Size * state.Scale;
            double advance = width * state.Size + state.CharSpace + (n == 1 && code == 32 ? state.WordSpace : 0);
            if (font->Vertical) {
                down += width * state.Size + state.CharSpace;
            } else {
                advance *= state.Scale;
                along += advance;
            }
            if (glyph == " ") {
                // A space glyph is a gap like any other: one that barely moves (justified text
                // squeezed by word spacing) parts nothing.
                if (advance * scale >= 0.1 * size && FActualDepth == 0)
                    Space();
                continue;
            }
            // Where the drawing of the glyph ends: character spacing is a gap after it.
            double endX, endY;
            if (font->Vertical) {
                endX = rise * m[2] - down * m[2] + m[4];
                endY = rise * m[3] - down * m[3] + m[5];
            } else {
                endX = x + dirX * visible * scale;
                endY = y + dirY * visible * scale;
            }
            Place(glyph, x, y, size, dirX, dirY, endX, endY, font->Vertical);
        }
        if (font->Vertical)
            FTm = Multiply({1, 0, 0, 1, 0, -down}, FTm);
        else
            FTm = Multiply({1, 0, 0, 1, along, 0}, FTm);
    }

    // The common case at full speed: a one-byte font, each code's text worked out beforehand. Inside
    // one string glyphs follow each other at their widths, so only character spacing wider than a
    // space's share, a space glyph, or an accent calls for the full placing of each glyph.
    void ShowOneByte(std::string_view bytes, const TFont& font, const TState& state, const TMatrix& m, double dirX,
                     double dirY, double scale, double size)
    {
        const double rise = state.Rise;
        const double th = state.Scale;
        const double charGap = state.CharSpace * th * scale;
        const bool tight = charGap <= 0.15 * size && charGap >= -size;
        double along = 0;
        double lastEnd = 0;     // where the last glyph written fast ends, along the string
        bool fastLast = false;  // the last glyph was written without Place
        bool placed = false;
        auto sync = [&] {
            if (!fastLast)
                return;
            FHaveLast = true;
            FLastX = lastEnd * m[0] + rise * m[2] + m[4];
            FLastY = lastEnd * m[1] + rise * m[3] + m[5];
            FLastSize = size;
            FLastDirX = dirX;
            FLastDirY = dirY;
            fastLast = false;
        };
        const double perWidth = state.Size * th, wordGap = state.WordSpace * th, charSpace = state.CharSpace * th;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto code = static_cast<unsigned char>(bytes[i]);
            if (placed && tight && FHaveLast && font.Byte1[code] && !FPendingMark) {
                // A run of letters that are one byte each, and the spaces between them, written
                // straight into the text.
                const std::size_t at = FOut->size();
                FOut->resize(at + bytes.size() - i);
                char* const first = FOut->data() + at;
                char* out = first;
                char* lastLetter = first;
                std::size_t j = i;
                if (font.MilliExact) {
                    // Counted in integers: thousandths of widths and spaces with word spacing. Where the
                    // last letter ends is worked out afterwards from the spaces that follow it.
                    std::int64_t milli = 0;
                    std::size_t words = 0;
                    bool blank = at == 0 || (*FOut)[at - 1] == ' ' || (*FOut)[at - 1] == '\n';
                    // As Space(): one space, none after a space or at a line's start, and only for a
                    // space glyph that moves far enough to part words (the usual one worked out once).
                    auto wide = [&](unsigned char c) {
                        return (font.Widths[c] * perWidth + charSpace + (c == 32 ? wordGap : 0)) * scale >= 0.1 * size;
                    };
                    const bool wide32 = wide(32);
                    if (font.Kind1[32] != TFont::RunLetter) {
                        // Letters and the usual space, in a loop of its own so it keeps all it needs in registers.
                        const TLetterRun run = LetterRun(reinterpret_cast<const unsigned char*>(bytes.data()) + j,
                                                         reinterpret_cast<const unsigned char*>(bytes.data()) + bytes.size(),
                                                         out, font, wide32, blank);
                        j = static_cast<std::size_t>(run.Stop - reinterpret_cast<const unsigned char*>(bytes.data()));
                        out = run.Out;
                        milli += run.Milli;
                        words += run.Words;
                        blank = run.Blank;
                    }
                    for (; j < bytes.size(); ++j) {
                        const auto c = static_cast<unsigned char>(bytes[j]);
                        const std::uint8_t kind = font.Kind1[c];
                        if (kind == TFont::RunLetter) {
                            *out++ = font.Out1[c];
                            blank = false;
                        } else if (kind == TFont::RunSpace) {
                            if (!blank && (c == 32 ? wide32 : wide(c))) {
                                *out++ = ' ';
                                blank = true;
                            }
                        } else {
                            break;
                        }
                        milli += font.Milli[c];
                        words += c == 32 ? 1 : 0;
                    }
                    std::size_t last = j - 1; // the last letter: the run starts with one
                    std::int64_t milliAfter = 0;
                    std::size_t wordsAfter = 0;
                    while (font.Kind1[static_cast<unsigned char>(bytes[last])] != TFont::RunLetter) {
                        milliAfter += font.Milli[static_cast<unsigned char>(bytes[last])];
                        wordsAfter += bytes[last] == ' ' ? 1 : 0;
                        --last;
                    }
                    lastLetter = out - 1;
                    while (*lastLetter == ' ')
                        --lastLetter; // the run's first byte is a letter, so this stops inside it
                    const double unit = perWidth / 1000;
                    lastEnd = along + static_cast<double>(milli - milliAfter) * unit +
                              static_cast<double>(last - i) * charSpace + static_cast<double>(words - wordsAfter) * wordGap;
                    along += static_cast<double>(milli) * unit + static_cast<double>(j - i) * charSpace +
                             static_cast<double>(words) * wordGap;
                } else {
                    for (; j < bytes.size(); ++j) {
                        const auto c = static_cast<unsigned char>(bytes[j]);
                        const double advance = font.Widths[c] * perWidth + charSpace + (c == 32 ? wordGap : 0);
                        if (const char b = font.Byte1[c]) {
                            lastLetter = out;
                            *out++ = b;
                            lastEnd = along + font.Widths[c] * perWidth;
                        } else if (font.Class1[c] == TFont::SpaceGlyph) {
                            // As Space(): one space, none after a space or at a line's start.
                            if (advance * scale >= 0.1 * size) {
                                const char before = out > first ? out[-1] : at > 0 ? (*FOut)[at - 1] : '\n';
                                if (before != ' ' && before != '\n')
                                    *out++ = ' ';
                            }
                        } else {
                            break;
                        }
                        along += advance;
                    }
                }
                FLastCharAt = at + static_cast<std::size_t>(lastLetter - first);
                FOut->resize(static_cast<std::size_t>(out - FOut->data()));
                fastLast = true;
                i = j - 1;
                continue;
            }
            const double width = font.Widths[code];
            const double visible = width * state.Size * th;
            const double advance = (width * state.Size + state.CharSpace + (code == 32 ? state.WordSpace : 0)) * th;
            const std::uint8_t cls = font.Class1[code];
            if (cls == TFont::SpaceGlyph) {
                if (advance * scale >= 0.1 * size)
                    Space();
                along += advance;
                continue;
            }
            if (cls == TFont::Plain && placed && tight && FHaveLast) {
                FLastCharAt = FOut->size();
                *FOut += font.Text1[code];
                lastEnd = along + visible;
                fastLast = true;
                along += advance;
                continue;
            }
            sync();
            const double x = along * m[0] + rise * m[2] + m[4];
            const double y = along * m[1] + rise * m[3] + m[5];
            Place(font.Text1[code], x, y, size, dirX, dirY, x + dirX * visible * scale, y + dirY * visible * scale, false);
            placed = true;
            along += advance;
        }
        sync();
        Advance(along);
    }

    // Moves the text matrix along its line by `along` text-space units: a translation, written out.
    void Advance(double along)
    {
        FTm[4] += along * FTm[0];
        FTm[5] += along * FTm[1];
    }

    void Run(std::string_view data, const TObject& resources, TState& state, int depth, std::set<std::uint32_t>& active)
    {
        TContentLexer lexer(data);
        // One set of operand slots per form depth: a form drawn from inside a page has its own.
        if (FOperands.size() <= static_cast<std::size_t>(depth))
            FOperands.resize(static_cast<std::size_t>(depth) + 1);
        std::vector<TOperand>& operands = FOperands[static_cast<std::size_t>(depth)];
        constexpr std::size_t MaxOperands = 64;
        if (operands.size() < MaxOperands + 1)
            operands.resize(MaxOperands + 1); // the last slot takes what a run of too many operands leaves over
        std::size_t count = 0;
        std::vector<TState> saved;
        std::vector<std::pair<std::string, const TFont*>> fonts; // by resource name, for this stream
        const std::size_t spans = FActual.size(); // marked content left open ends with the stream
        std::size_t steps = 0;
        std::string_view op;
        // Most of a drawing's bytes are numbers and the operators that draw with them, none of
        // which the text needs: they are passed over at full speed, up to a byte that can start
        // something the text layer acts on, and the numbers an operator takes are read back from
        // just before it. `passed` is where the stretch passed over began.
        std::size_t passed = 0;
        for (;;) {
            if (++steps % 4096 == 0)
                trovex::CheckCancel(FCancel);
            const std::size_t at = lexer.SkipDrawing();
            if (at >= data.size())
                break;
            if (data[at] == 'm') {
                // "cm", or a drawing operator ending in m (moveto) that takes the numbers before it.
                std::size_t start = at, end = at + 1;
                while (start > passed && CharClasses[static_cast<unsigned char>(data[start - 1])] == 0)
                    --start;
                while (end < data.size() && CharClasses[static_cast<unsigned char>(data[end])] == 0)
                    ++end;
                lexer.Seek(end);
                if (data.substr(start, end - start) != "cm") {
                    count = 0;
                    passed = end;
                    continue;
                }
                TakeNumbers(data, passed, start, operands, count);
                op = "cm";
            } else {
                TakeNumbers(data, passed, at, operands, count);
                const auto token = lexer.Next(operands[count], op);
                passed = lexer.Pos();
                if (token == TContentLexer::End)
                    break;
                if (token == TContentLexer::Operand) {
                    if (count < MaxOperands)
                        ++count;
                    continue;
                }
            }
            auto num = [&](std::size_t i) { return i < count ? operands[count - 1 - i].Value() : 0.0; };
            const TOperand* last = count > 0 ? &operands[count - 1] : nullptr;
            switch (OpCode(op)) {
            case OpCode("Tj"):
            case OpCode("'"):
            case OpCode("\""):
                if (op != "Tj") {
                    if (op == "\"" && count >= 3) {
                        state.WordSpace = operands[count - 3].Value();
                        state.CharSpace = operands[count - 2].Value();
                    }
                    NextLine(state);
                }
                if (last && last->Kind == TOperand::String)
                    Show(last->Text, state);
                break;
            case OpCode("TJ"):
                if (last && last->Kind == TOperand::Array) {
                    for (std::size_t i = 0; i < last->ItemCount; ++i) {
                        const TOperand::TItem& item = last->Items[i];
                        if (item.IsString)
                            Show(item.Text, state);
                        else
                            Shift(item.Num, state);
                    }
                } else if (last && last->Kind == TOperand::Other && last->Obj.Kind == TObject::Array) {
                    const TObject& array = last->Obj;
                    for (std::size_t i = 0; i < array.Size(); ++i) {
                        const TObject& item = array.At(i);
                        if (item.Kind == TObject::String)
                            Show(item.S, state);
                        else if (item.IsNumber())
                            Shift(item.Number(), state);
                    }
                }
                break;
            case OpCode("Td"):
            case OpCode("TD"):
                if (op == "TD")
                    state.Leading = -num(0);
                FTlm = Multiply({1, 0, 0, 1, num(1), num(0)}, FTlm);
                FTm = FTlm;
                break;
            case OpCode("Tm"):
                FTlm = {num(5), num(4), num(3), num(2), num(1), num(0)};
                FTm = FTlm;
                break;
            case OpCode("T*"):
                NextLine(state);
                break;
            case OpCode("BT"):
                FTm = FTlm = Identity;
                break;
            case OpCode("Tf"):
                state.Size = num(0);
                state.Font = nullptr;
                if (count >= 2 && operands[count - 2].Kind == TOperand::Name) {
                    // The same few fonts are set over and over: looked up in the resources once per stream.
                    const std::string& name = operands[count - 2].Text;
                    auto known = std::find_if(fonts.begin(), fonts.end(), [&](const auto& f) { return f.first == name; });
                    if (known == fonts.end()) {
                        if (fonts.size() >= 64)
                            fonts.clear();
                        fonts.emplace_back(name, FontOf(resources, name));
                        known = fonts.end() - 1;
                    }
                    state.Font = known->second;
                }
                break;
            case OpCode("Tc"):
                state.CharSpace = num(0);
                break;
            case OpCode("Tw"):
                state.WordSpace = num(0);
                break;
            case OpCode("Tz"):
                state.Scale = num(0) / 100;
                break;
            case OpCode("TL"):
                state.Leading = num(0);
                break;
            case OpCode("Ts"):
                state.Rise = num(0);
                break;
            case OpCode("q"):
                if (saved.size() < 256)
                    saved.push_back(state);
                break;
            case OpCode("Q"):
                if (!saved.empty()) {
                    state = saved.back();
                    saved.pop_back();
                }
                break;
            case OpCode("cm"):
                state.Ctm = Multiply({num(5), num(4), num(3), num(2), num(1), num(0)}, state.Ctm);
                break;
            case OpCode("Do"):
                if (last && last->Kind == TOperand::Name) {
                    const std::string name = last->Text; // the slots are the form's own again
                    DrawForm(resources, name, state, depth, active);
                }
                break;
            case OpCode("BDC"):
            case OpCode("BMC"): {
                TActual span;
                if (op == "BDC" && last) {
                    TObject properties;
                    if (last->Kind == TOperand::Name) {
                        const TObject all = FFile.Resolve(FFile.Resolve(resources).Get("Properties"));
                        properties = FFile.Resolve(all.Get(last->Text));
                    } else if (last->Kind == TOperand::Other) {
                        properties = last->Obj;
                    }
                    const TObject text = FFile.Resolve(properties.Get("ActualText"));
                    if (text.Kind == TObject::String && FActualDepth == 0) {
                        // The replacement stands for the glyphs inside: it takes the first one's place.
                        span.Has = true;
                        span.Text = TextStringToUtf8(text.S);
                    }
                }
                if (FActual.size() < 256) {
                    FActual.push_back(std::move(span));
                    if (FActual.back().Has)
                        FActualDepth = FActual.size();
                }
                break;
            }
            case OpCode("EMC"):
                EndSpan();
                break;
            case OpCode("BI"):
                SkipInlineImage(lexer, operands[MaxOperands]);
                break;
            default:
                break;
            }
            count = 0;
            passed = lexer.Pos();
        }
        while (FActual.size() > spans)
            EndSpan();
    }

    // The numbers at the end of data[from, to), a stretch passed over, as the operands they are:
    // read backwards up to the operator before them (which took what came earlier, so the operands
    // held so far are dropped), or up to the stretch's start.
    static void TakeNumbers(std::string_view data, std::size_t from, std::size_t to, std::vector<TOperand>& operands,
                            std::size_t& count)
    {
        constexpr std::size_t Most = 64;
        std::size_t n = 0;
        bool after = false; // an operator stands before them
        std::size_t p = to, first = to;
        for (;;) {
            while (p > from && CharClasses[static_cast<unsigned char>(data[p - 1])] == 1)
                --p;
            if (p == from)
                break;
            std::size_t start = p;
            while (start > from && CharClasses[static_cast<unsigned char>(data[start - 1])] == 0)
                --start;
            if (start == p || n == Most || !OneNumber(data.substr(start, p - start))) {
                after = true; // a stray delimiter, an operator, or more numbers than any operator takes
                break;
            }
            ++n;
            first = p = start;
        }
        if (after)
            count = 0;
        // Then forwards, in their order.
        for (std::size_t q = first; n > 0; --n) {
            while (CharClasses[static_cast<unsigned char>(data[q])] == 1)
                ++q;
            const std::size_t start = q;
            while (q < to && CharClasses[static_cast<unsigned char>(data[q])] == 0)
                ++q;
            if (count < Most) {
                operands[count].Kind = TOperand::Number;
                operands[count].Digits = data.substr(start, q - start);
                ++count;
            }
        }
    }

    // True when `token` reads as exactly one number: signs, then digits with at most one point.
    static bool OneNumber(std::string_view token)
    {
        std::size_t i = 0;
        while (i < token.size() && (token[i] == '+' || token[i] == '-'))
            ++i;
        bool any = false, point = false;
        for (; i < token.size(); ++i) {
            if (token[i] >= '0' && token[i] <= '9')
                any = true;
            else if (token[i] == '.' && !point)
                point = true;
            else
                return false;
        }
        return any || point || token.size() > 1; // a sign alone is an operator
    }

    // A number in a TJ array: a move back (or on) along the line, in thousandths of the font size.
    void Shift(double number, const TState& state)
    {
        const double shift = -number / 1000 * state.Size;
        if (state.Font && state.Font->Vertical)
            FTm = Multiply({1, 0, 0, 1, 0, -shift}, FTm);
        else
            FTm = Multiply({1, 0, 0, 1, shift * state.Scale, 0}, FTm);
    }

    void EndSpan()
    {
        if (FActual.empty())
            return;
        TActual span = std::move(FActual.back());
        FActual.pop_back();
        if (FActual.size() < FActualDepth)
            FActualDepth = 0;
        if (span.Has && !span.Emitted && FOut)
            AppendNormalized(*FOut, span.Text); // a replacement with no glyph under it
    }

    void NextLine(TState& state)
    {
        FTlm = Multiply({1, 0, 0, 1, 0, -state.Leading}, FTlm);
        FTm = FTlm;
    }

    static void SkipInlineImage(TContentLexer& lexer, TOperand& scratch)
    {
        // The dictionary up to "ID", then binary data up to an "EI" standing alone.
        std::string_view keyword;
        for (int guard = 0; guard < 10000; ++guard) {
            const auto token = lexer.Next(scratch, keyword);
            if (token == TContentLexer::End || (token == TContentLexer::Keyword && keyword == "ID"))
                break;
        }
        const std::string_view data = lexer.Data();
        std::size_t p = lexer.Pos() + 1;
        while (p + 1 < data.size()) {
            p = data.find("EI", p);
            if (p == std::string_view::npos) {
                p = data.size();
                break;
            }
            const bool before = p == 0 || IsPdfSpace(data[p - 1]);
            const bool after = p + 2 >= data.size() || IsPdfSpace(data[p + 2]) || IsPdfDelimiter(data[p + 2]);
            if (before && after) {
                p += 2;
                break;
            }
            p += 2;
        }
        lexer.Seek(std::min(p, data.size()));
    }

    void DrawForm(const TObject& resources, const std::string& name, TState& state, int depth,
                  std::set<std::uint32_t>& active)
    {
        if (depth >= MaxFormDepth || ++FForms > MaxFormsPerPage)
            return;
        const TObject all = FFile.Resolve(FFile.Resolve(resources).Get("XObject"));
        const TObject& entry = all.Get(name);
        if (entry.Kind == TObject::Ref && active.count(entry.Reference.Num))
            return; // a form that draws itself
        const TObject form = FFile.Resolve(entry);
        if (form.Kind != TObject::Stream || !form.Get("Subtype").IsName("Form"))
            return;
        bool cut = false;
        const std::string data = FFile.StreamData(form, StreamLimit, &cut);
        FCut = FCut || cut;
        TState inner = state;
        inner.Ctm = Multiply(MatrixOf(FFile.Resolve(form.Get("Matrix"))), state.Ctm);
        const TMatrix tm = FTm, tlm = FTlm;
        const TObject formResources = form.Get("Resources").IsNull() ? resources : form.Get("Resources");
        if (entry.Kind == TObject::Ref)
            active.insert(entry.Reference.Num);
        Run(data, formResources, inner, depth + 1, active);
        if (entry.Kind == TObject::Ref)
            active.erase(entry.Reference.Num);
        FTm = tm;
        FTlm = tlm;
    }

    TPdfFile& FFile;
    const std::atomic<bool>* FCancel;
    std::vector<TPage> FPages;
    std::size_t FNextPage = 0;
    bool FOutsideDone = false;
    bool FCut = false;
    std::unordered_map<std::uintptr_t, std::shared_ptr<const TFont>> FFonts;
    std::vector<std::shared_ptr<const TFont>> FRetiredFonts;
    std::string* FOut = nullptr;
    TMatrix FTm = Identity, FTlm = Identity;
    bool FHaveLast = false;
    double FLastX = 0, FLastY = 0, FLastSize = 0, FLastDirX = 1, FLastDirY = 0;
    struct TActual
    {
        bool Has = false;
        bool Emitted = false;
        std::string Text;
    };
    std::vector<TActual> FActual; // the marked-content spans open now
    std::size_t FActualDepth = 0; // 1 + the index of the span whose replacement text applies, 0: none
    char32_t FPendingMark = 0;
    std::string FPendingMarkText;
    double FPendingEnd = 0, FPendingDirX = 1, FPendingDirY = 0;
    bool FPendingHyphen = false;
    std::size_t FLastCharAt = std::string::npos;
    std::string FComposed; // a letter and the accent drawn over it, as one
    int FForms = 0;
    bool FAnyContent = false;
    std::deque<std::vector<TOperand>> FOperands; // by form depth; a deque, so growing it leaves the slots in use in place
};

// The document's bytes through the caller's file or memory.
class TFileSource final : public TPdfSource
{
public:
    explicit TFileSource(const TFileStream& file) : FFile(&file) {}
    explicit TFileSource(std::string_view bytes) : FBytes(bytes) {}
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t count) const override
    {
        if (FFile && !FWholeTried) {
            // A document of a few megabytes is read in one go: its objects are then parsed from
            // memory, not each with a read of its own.
            FWholeTried = true;
            if (FFile->Size() > 0 && FFile->Size() <= WholeFileBytes) { // size 0 says nothing: read as before
                FWhole.resize(static_cast<std::size_t>(FFile->Size()));
                FWhole.resize(FFile->ReadAt(0, FWhole.data(), FWhole.size()));
                if (FWhole.size() == FFile->Size()) {
                    FBytes = FWhole;
                    FFile = nullptr;
                } else {
                    FWhole.clear(); // it changed meanwhile: read at offsets as it is now
                    FWhole.shrink_to_fit();
                }
            }
        }
        if (FFile)
            return FFile->ReadAt(offset, buffer, count);
        if (offset >= FBytes.size())
            return 0;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, FBytes.size() - offset));
        std::memcpy(buffer, FBytes.data() + offset, n);
        return n;
    }
    std::uint64_t Size() const override { return FFile ? FFile->Size() : FBytes.size(); }
    std::uint64_t NextData(std::uint64_t offset) const override { return FFile ? FFile->NextData(offset) : offset; }
    std::string_view Peek(std::uint64_t offset, std::size_t count) const override
    {
        if (FFile || offset >= FBytes.size())
            return {};
        return FBytes.substr(static_cast<std::size_t>(offset), count);
    }

private:
    static constexpr std::uint64_t WholeFileBytes = std::uint64_t{8} << 20;
    mutable const TFileStream* FFile = nullptr;
    mutable std::string_view FBytes;
    mutable std::string FWhole;
    mutable bool FWholeTried = false;
};

} // namespace pdf

TPdfTextStream::TPdfTextStream(std::unique_ptr<TFileStream> file, const std::string& path,
                               const std::atomic<bool>* cancel)
    : FFile(std::move(file)), FPath(path), FCancel(cancel)
{
    FSource = std::make_unique<pdf::TFileSource>(*FFile);
    Start();
}

TPdfTextStream::TPdfTextStream(std::string_view bytes, const std::atomic<bool>* cancel)
    : FBytes(bytes), FCancel(cancel)
{
    FSource = std::make_unique<pdf::TFileSource>(bytes);
    Start();
}

TPdfTextStream::~TPdfTextStream() = default;

void TPdfTextStream::Start()
{
    FPages.reset();
    FDocument.reset();
    FPiece.clear();
    FPieceAt = 0;
    FPosition = 0;
    FRaw.clear();
    FRawAt = 0;
    FMarks.clear();
    FEnded = false;
    FDamaged = false;
    FLocked = false;
    FFallback = false;
    try {
        FDocument = std::make_unique<pdf::TPdfFile>(*FSource, FCancel);
        if (FDocument->Locked()) {
            FDamaged = FLocked = true; // asks for a password: a document without text
            FEnded = true;
            return;
        }
        FPages = std::make_unique<pdf::TPageReader>(*FDocument, FCancel);
    } catch (const EPdfError&) {
        // No structure to read: the literal strings of the whole file, as they were always read.
        FDocument.reset();
        if (!FallbackScan())
            FDamaged = true;
        FEnded = true;
    }
}

bool TPdfTextStream::FallbackScan()
{
    FFallback = true;
    try {
        FRaw = FFile ? TPDF2Text(*FFile, FPath, FCancel).TakeText() : TPDF2Text::FromBytes(FBytes).TakeText();
        FRawAt = 0;
        FMarks.push_back({FPosition, 0});
        return true;
    } catch (const EPdfError&) {
        return false;
    }
}

bool TPdfTextStream::NextRawPiece()
{
    // The strings' bytes are in the ANSI code page: made UTF-8 a slice at a time, so the text is
    // never held twice.
    if (FRawAt >= FRaw.size())
        return false;
    const std::size_t n = std::min<std::size_t>(FRaw.size() - FRawAt, 64 * 1024);
    FPiece = AnsiToUtf8(std::string_view(FRaw).substr(FRawAt, n));
    FPieceAt = 0;
    FRawAt += n;
    return true;
}

bool TPdfTextStream::NextPiece()
{
    if (FFallback)
        return NextRawPiece();
    if (FEnded || !FPages)
        return false;
    std::string text;
    int page = 0;
    bool cut = false;
    try {
        if (!FPages->Next(text, page, cut)) {
            FEnded = true;
            // A structure that leads to no text at all (no pages, a page tree lost to damage): the
            // literal strings of the whole file, so nothing found before is lost. Pages that were
            // read and show only images are not that: image data holds no text.
            return FPosition == 0 && !FPages->AnyContent() && FallbackScan() && NextRawPiece();
        }
    } catch (const EPdfError&) {
        FEnded = true; // what was read stands
        return false;
    }
    FCut = FCut || cut;
    if (FPosition + text.size() > TextLimit) {
        text.resize(static_cast<std::size_t>(TextLimit - std::min(FPosition, TextLimit)));
        FCut = true;
        FEnded = true;
    }
    FMarks.push_back({FPosition, page});
    FPiece = std::move(text);
    FPieceAt = 0;
    return true;
}

std::size_t TPdfTextStream::Read(void* buffer, std::size_t count)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (FPieceAt >= FPiece.size()) {
            FPiece.clear();
            FPieceAt = 0;
            if (!NextPiece())
                break;
            continue;
        }
        const std::size_t n = std::min(count - done, FPiece.size() - FPieceAt);
        std::memcpy(out + done, FPiece.data() + FPieceAt, n);
        FPieceAt += n;
        done += n;
        FPosition += n;
    }
    return done;
}

void TPdfTextStream::Seek(std::uint64_t offset)
{
    if (offset == FPosition)
        return;
    if (FFallback && offset == 0) {
        // The strings are at hand: start them again.
        FRawAt = 0;
        FPiece.clear();
        FPieceAt = 0;
        FPosition = 0;
        return;
    }
    // Made again from the first page: the text is never kept whole.
    Start();
    char skip[4096];
    while (FPosition < offset && Read(skip, static_cast<std::size_t>(std::min<std::uint64_t>(sizeof skip, offset - FPosition))) > 0) {
    }
}

int TPdfTextStream::PageAt(std::uint64_t offset) const
{
    int page = 0;
    for (const TMark& m : FMarks) {
        if (m.Offset > offset)
            break;
        page = m.Page;
    }
    return page;
}

std::string TPdfTextStream::ReadAll()
{
    Seek(0);
    std::string all;
    char buffer[65536];
    while (const std::size_t n = Read(buffer, sizeof buffer))
        all.append(buffer, n);
    return all;
}

} // namespace trovex
