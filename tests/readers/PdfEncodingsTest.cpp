// SPDX-License-Identifier: MIT
// The simple-font character tables: the base encodings against the system's own code-page
// converters (ICU here, the Windows tables there), the font-specific ones against the Unicode
// blocks they were laid out from, and glyph names against the Adobe Glyph List and its rules.
#include "readers/PdfEncodings.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "support/Portable.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unicode/ucnv.h>
#endif

namespace trovex::pdf
{
namespace
{

using TPage = std::array<char32_t, 256>;

struct TSystemPage
{
    const char* IcuName;
    unsigned WindowsNumber;
};

constexpr TSystemPage Cp1252{"windows-1252", 1252};
constexpr TSystemPage MacRoman{"macintosh", 10000};
constexpr TSystemPage Latin1{"ISO-8859-1", 28591};
constexpr TSystemPage Latin2{"ISO-8859-2", 28592};
constexpr TSystemPage Greek{"ISO-8859-7", 28597};

// Every byte of a single-byte page as the system converts it; 0 where the page leaves the byte
// undefined or gives a control character, which no font draws.
TPage SystemChars(const TSystemPage& page)
{
    TPage chars{};
#ifndef _WIN32
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(page.IcuName, &status);
    if (U_FAILURE(status) || !conv) {
        ADD_FAILURE() << "no converter " << page.IcuName;
        return chars;
    }
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
#endif
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        char32_t cp = 0;
#ifdef _WIN32
        wchar_t out[2] = {};
        if (MultiByteToWideChar(page.WindowsNumber, MB_ERR_INVALID_CHARS, &in, 1, out, 2) == 1)
            cp = out[0];
#else
        UChar out[2] = {};
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        if (ucnv_toUChars(conv, out, 2, &in, 1, &status) == 1 && U_SUCCESS(status))
            cp = out[0];
#endif
        const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        chars[b] = control || cp == 0xFFFD ? 0 : cp;
    }
#ifndef _WIN32
    ucnv_close(conv);
#endif
    return chars;
}

const TPage& Page(const TSystemPage& page)
{
    static std::map<unsigned, TPage> pages;
    auto it = pages.find(page.WindowsNumber);
    if (it == pages.end())
        it = pages.emplace(page.WindowsNumber, SystemChars(page)).first;
    return it->second;
}

std::u32string Decode(const std::string& utf8)
{
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();)
        out += Utf8Next(utf8, i);
    return out;
}

std::string Hex(char32_t cp)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

constexpr std::array AllEncodings{TBaseEncoding::Standard, TBaseEncoding::WinAnsi,   TBaseEncoding::MacRoman,
                                  TBaseEncoding::PDFDoc,   TBaseEncoding::MacExpert, TBaseEncoding::Symbol,
                                  TBaseEncoding::ZapfDingbats};

// WinAnsi is code page 1252 and MacRoman is Apple's page, byte for byte, apart from the listed
// codes; PDFDoc is Latin-1 over the codes it does not redefine.
TEST(PdfEncodings, CodePageEncodingsMatchTheSystemConverters)
{
    struct TCase
    {
        const char* Name;
        TBaseEncoding Encoding;
        TSystemPage Page;
        std::vector<int> Codes; // empty: every code
        std::map<int, char32_t> Differences;
    };
    std::vector<int> pdfDocLatin1;
    for (int c = 0x20; c <= 0xFF; ++c)
        if ((c < 0x7F || c > 0xA0) && c != 0xAD)
            pdfDocLatin1.push_back(c);
    std::vector<int> standardAscii; // its quotes at 0x27 and 0x60 are checked below
    for (int c = 0; c < 0x80; ++c)
        if (c != 0x27 && c != 0x60)
            standardAscii.push_back(c);
    std::vector<int> macCodes; // every code, but where the system's page is not Apple's
    for (int c = 0; c < 256; ++c)
        if (!trovex::test::OnWindows || (c != 0xBD && c != 0xF0)) // wine's page 10000: Ohm sign, no Apple logo
            macCodes.push_back(c);
    const std::vector<TCase> cases = {
        {"Standard", TBaseEncoding::Standard, Cp1252, standardAscii, {}},
        {"WinAnsi", TBaseEncoding::WinAnsi, Cp1252, {}, {}},
        // The PDF encoding predates Apple's 1998 switch of 0xDB to the euro sign.
        {"MacRoman", TBaseEncoding::MacRoman, MacRoman, macCodes, {{0xDB, U'\u00A4'}}},
        {"PDFDoc", TBaseEncoding::PDFDoc, Latin1, pdfDocLatin1, {}},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Name);
        const TPage& page = Page(t.Page);
        std::vector<int> codes = t.Codes;
        if (codes.empty())
            for (int c = 0; c < 256; ++c)
                codes.push_back(c);
        for (int c : codes) {
            const auto diff = t.Differences.find(c);
            const char32_t expected = diff != t.Differences.end() ? diff->second : page[c];
            EXPECT_EQ(Hex(BaseEncodingChar(t.Encoding, static_cast<std::uint8_t>(c))), Hex(expected))
                << "code " << c;
        }
    }
}

// Glyphs Latin-1 lacks, checked against a page that has the same glyph (found by glyph name in
// the encodings' published tables): each entry says "this code draws what that page's byte is".
TEST(PdfEncodings, GlyphsMatchTheSameGlyphInAnotherPage)
{
    struct TCase
    {
        TBaseEncoding Encoding;
        int Code;
        TSystemPage Page;
        int Byte;
        const char* Glyph;
    };
    const std::vector<TCase> cases = {
        // Standard: the quotes at the ASCII apostrophe and grave, then the whole upper half.
        {TBaseEncoding::Standard, 0x27, Cp1252, 0x92, "quoteright"},
        {TBaseEncoding::Standard, 0x60, Cp1252, 0x91, "quoteleft"},
        {TBaseEncoding::Standard, 0xA1, Cp1252, 0xA1, "exclamdown"},
        {TBaseEncoding::Standard, 0xA2, Cp1252, 0xA2, "cent"},
        {TBaseEncoding::Standard, 0xA3, Cp1252, 0xA3, "sterling"},
        {TBaseEncoding::Standard, 0xA4, MacRoman, 0xDA, "fraction"},
        {TBaseEncoding::Standard, 0xA5, Cp1252, 0xA5, "yen"},
        {TBaseEncoding::Standard, 0xA6, Cp1252, 0x83, "florin"},
        {TBaseEncoding::Standard, 0xA7, Cp1252, 0xA7, "section"},
        {TBaseEncoding::Standard, 0xA8, Cp1252, 0xA4, "currency"},
        {TBaseEncoding::Standard, 0xA9, Cp1252, 0x27, "quotesingle"},
        {TBaseEncoding::Standard, 0xAA, Cp1252, 0x93, "quotedblleft"},
        {TBaseEncoding::Standard, 0xAB, Cp1252, 0xAB, "guillemotleft"},
        {TBaseEncoding::Standard, 0xAC, Cp1252, 0x8B, "guilsinglleft"},
        {TBaseEncoding::Standard, 0xAD, Cp1252, 0x9B, "guilsinglright"},
        {TBaseEncoding::Standard, 0xAE, MacRoman, 0xDE, "fi"},
        {TBaseEncoding::Standard, 0xAF, MacRoman, 0xDF, "fl"},
        {TBaseEncoding::Standard, 0xB1, Cp1252, 0x96, "endash"},
        {TBaseEncoding::Standard, 0xB2, Cp1252, 0x86, "dagger"},
        {TBaseEncoding::Standard, 0xB3, Cp1252, 0x87, "daggerdbl"},
        {TBaseEncoding::Standard, 0xB4, Cp1252, 0xB7, "periodcentered"},
        {TBaseEncoding::Standard, 0xB6, Cp1252, 0xB6, "paragraph"},
        {TBaseEncoding::Standard, 0xB7, Cp1252, 0x95, "bullet"},
        {TBaseEncoding::Standard, 0xB8, Cp1252, 0x82, "quotesinglbase"},
        {TBaseEncoding::Standard, 0xB9, Cp1252, 0x84, "quotedblbase"},
        {TBaseEncoding::Standard, 0xBA, Cp1252, 0x94, "quotedblright"},
        {TBaseEncoding::Standard, 0xBB, Cp1252, 0xBB, "guillemotright"},
        {TBaseEncoding::Standard, 0xBC, Cp1252, 0x85, "ellipsis"},
        {TBaseEncoding::Standard, 0xBD, Cp1252, 0x89, "perthousand"},
        {TBaseEncoding::Standard, 0xBF, Cp1252, 0xBF, "questiondown"},
        {TBaseEncoding::Standard, 0xC1, Cp1252, 0x60, "grave"},
        {TBaseEncoding::Standard, 0xC2, Cp1252, 0xB4, "acute"},
        {TBaseEncoding::Standard, 0xC3, Cp1252, 0x88, "circumflex"},
        {TBaseEncoding::Standard, 0xC4, Cp1252, 0x98, "tilde"},
        {TBaseEncoding::Standard, 0xC5, Cp1252, 0xAF, "macron"},
        {TBaseEncoding::Standard, 0xC6, MacRoman, 0xF9, "breve"},
        {TBaseEncoding::Standard, 0xC7, MacRoman, 0xFA, "dotaccent"},
        {TBaseEncoding::Standard, 0xC8, Cp1252, 0xA8, "dieresis"},
        {TBaseEncoding::Standard, 0xCA, MacRoman, 0xFB, "ring"},
        {TBaseEncoding::Standard, 0xCB, Cp1252, 0xB8, "cedilla"},
        {TBaseEncoding::Standard, 0xCD, MacRoman, 0xFD, "hungarumlaut"},
        {TBaseEncoding::Standard, 0xCE, MacRoman, 0xFE, "ogonek"},
        {TBaseEncoding::Standard, 0xCF, MacRoman, 0xFF, "caron"},
        {TBaseEncoding::Standard, 0xD0, Cp1252, 0x97, "emdash"},
        {TBaseEncoding::Standard, 0xE1, Cp1252, 0xC6, "AE"},
        {TBaseEncoding::Standard, 0xE3, Cp1252, 0xAA, "ordfeminine"},
        {TBaseEncoding::Standard, 0xE8, Latin2, 0xA3, "Lslash"},
        {TBaseEncoding::Standard, 0xE9, Cp1252, 0xD8, "Oslash"},
        {TBaseEncoding::Standard, 0xEA, Cp1252, 0x8C, "OE"},
        {TBaseEncoding::Standard, 0xEB, Cp1252, 0xBA, "ordmasculine"},
        {TBaseEncoding::Standard, 0xF1, Cp1252, 0xE6, "ae"},
        {TBaseEncoding::Standard, 0xF5, MacRoman, 0xF5, "dotlessi"},
        {TBaseEncoding::Standard, 0xF8, Latin2, 0xB3, "lslash"},
        {TBaseEncoding::Standard, 0xF9, Cp1252, 0xF8, "oslash"},
        {TBaseEncoding::Standard, 0xFA, Cp1252, 0x9C, "oe"},
        {TBaseEncoding::Standard, 0xFB, Cp1252, 0xDF, "germandbls"},
        // PDFDoc's accents, punctuation and letters in place of Latin-1's controls, and the euro.
        {TBaseEncoding::PDFDoc, 0x18, MacRoman, 0xF9, "breve"},
        {TBaseEncoding::PDFDoc, 0x19, MacRoman, 0xFF, "caron"},
        {TBaseEncoding::PDFDoc, 0x1A, Cp1252, 0x88, "circumflex"},
        {TBaseEncoding::PDFDoc, 0x1B, MacRoman, 0xFA, "dotaccent"},
        {TBaseEncoding::PDFDoc, 0x1C, MacRoman, 0xFD, "hungarumlaut"},
        {TBaseEncoding::PDFDoc, 0x1D, MacRoman, 0xFE, "ogonek"},
        {TBaseEncoding::PDFDoc, 0x1E, MacRoman, 0xFB, "ring"},
        {TBaseEncoding::PDFDoc, 0x1F, Cp1252, 0x98, "tilde"},
        {TBaseEncoding::PDFDoc, 0x80, Cp1252, 0x95, "bullet"},
        {TBaseEncoding::PDFDoc, 0x81, Cp1252, 0x86, "dagger"},
        {TBaseEncoding::PDFDoc, 0x82, Cp1252, 0x87, "daggerdbl"},
        {TBaseEncoding::PDFDoc, 0x83, Cp1252, 0x85, "ellipsis"},
        {TBaseEncoding::PDFDoc, 0x84, Cp1252, 0x97, "emdash"},
        {TBaseEncoding::PDFDoc, 0x85, Cp1252, 0x96, "endash"},
        {TBaseEncoding::PDFDoc, 0x86, Cp1252, 0x83, "florin"},
        {TBaseEncoding::PDFDoc, 0x87, MacRoman, 0xDA, "fraction"},
        {TBaseEncoding::PDFDoc, 0x88, Cp1252, 0x8B, "guilsinglleft"},
        {TBaseEncoding::PDFDoc, 0x89, Cp1252, 0x9B, "guilsinglright"},
        {TBaseEncoding::PDFDoc, 0x8B, Cp1252, 0x89, "perthousand"},
        {TBaseEncoding::PDFDoc, 0x8C, Cp1252, 0x84, "quotedblbase"},
        {TBaseEncoding::PDFDoc, 0x8D, Cp1252, 0x93, "quotedblleft"},
        {TBaseEncoding::PDFDoc, 0x8E, Cp1252, 0x94, "quotedblright"},
        {TBaseEncoding::PDFDoc, 0x8F, Cp1252, 0x91, "quoteleft"},
        {TBaseEncoding::PDFDoc, 0x90, Cp1252, 0x92, "quoteright"},
        {TBaseEncoding::PDFDoc, 0x91, Cp1252, 0x82, "quotesinglbase"},
        {TBaseEncoding::PDFDoc, 0x92, Cp1252, 0x99, "trademark"},
        {TBaseEncoding::PDFDoc, 0x93, MacRoman, 0xDE, "fi"},
        {TBaseEncoding::PDFDoc, 0x94, MacRoman, 0xDF, "fl"},
        {TBaseEncoding::PDFDoc, 0x95, Latin2, 0xA3, "Lslash"},
        {TBaseEncoding::PDFDoc, 0x96, Cp1252, 0x8C, "OE"},
        {TBaseEncoding::PDFDoc, 0x97, Cp1252, 0x8A, "Scaron"},
        {TBaseEncoding::PDFDoc, 0x98, Cp1252, 0x9F, "Ydieresis"},
        {TBaseEncoding::PDFDoc, 0x99, Cp1252, 0x8E, "Zcaron"},
        {TBaseEncoding::PDFDoc, 0x9A, MacRoman, 0xF5, "dotlessi"},
        {TBaseEncoding::PDFDoc, 0x9B, Latin2, 0xB3, "lslash"},
        {TBaseEncoding::PDFDoc, 0x9C, Cp1252, 0x9C, "oe"},
        {TBaseEncoding::PDFDoc, 0x9D, Cp1252, 0x9A, "scaron"},
        {TBaseEncoding::PDFDoc, 0x9E, Cp1252, 0x9E, "zcaron"},
        {TBaseEncoding::PDFDoc, 0xA0, Cp1252, 0x80, "Euro"},
        // MacExpert's accented small capitals sit at the codes of the same lower-case letters in
        // MacRoman.
        {TBaseEncoding::MacExpert, 0x87, MacRoman, 0x87, "Aacutesmall"},
        {TBaseEncoding::MacExpert, 0x8D, MacRoman, 0x8D, "Ccedillasmall"},
        {TBaseEncoding::MacExpert, 0x96, MacRoman, 0x96, "Ntildesmall"},
        {TBaseEncoding::MacExpert, 0x9F, MacRoman, 0x9F, "Udieresissmall"},
    };
    std::set<int> standardUpper;
    for (const TCase& t : cases) {
        const char32_t expected = Page(t.Page)[t.Byte];
        ASSERT_NE(expected, 0u) << t.Glyph << ": the system page lacks the byte";
        EXPECT_EQ(Hex(BaseEncodingChar(t.Encoding, static_cast<std::uint8_t>(t.Code))), Hex(expected))
            << t.Glyph << " at " << t.Code;
        if (t.Encoding == TBaseEncoding::Standard && t.Code >= 0x80)
            standardUpper.insert(t.Code);
    }
    // The list above is Standard's whole upper half: every other code there is undefined.
    for (int c = 0x80; c < 256; ++c)
        if (!standardUpper.count(c)) {
            EXPECT_EQ(BaseEncodingChar(TBaseEncoding::Standard, static_cast<std::uint8_t>(c)), 0u) << "code " << c;
        }
}

// What the encodings leave undefined stays 0: PDFDoc's three holes and its controls but tab, LF
// and CR, every other encoding's controls. No table holds a value that is not a scalar.
TEST(PdfEncodings, UndefinedCodesAreZero)
{
    for (int c : {0x7F, 0x9F, 0xAD, 0x00, 0x08, 0x0B, 0x17})
        EXPECT_EQ(BaseEncodingChar(TBaseEncoding::PDFDoc, static_cast<std::uint8_t>(c)), 0u) << c;
    for (int c : {0x09, 0x0A, 0x0D})
        EXPECT_EQ(BaseEncodingChar(TBaseEncoding::PDFDoc, static_cast<std::uint8_t>(c)), static_cast<char32_t>(c));
    for (TBaseEncoding e : AllEncodings) {
        for (int c = 0; c < 256; ++c) {
            const char32_t cp = BaseEncodingChar(e, static_cast<std::uint8_t>(c));
            if (e != TBaseEncoding::PDFDoc && (c < 0x20 || c == 0x7F)) {
                EXPECT_EQ(cp, 0u) << static_cast<int>(e) << " control " << c;
            }
            EXPECT_FALSE((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) << static_cast<int>(e) << " " << c;
        }
    }
}

// Symbol sets the Greek alphabet on the Latin letters by sound; ISO 8859-7 gives the letters.
TEST(PdfEncodings, SymbolGreekLettersMatchTheGreekPage)
{
    // Latin letter -> ISO 8859-7 capital. J and V are the variant theta and final sigma.
    const std::vector<std::pair<char, int>> letters = {
        {'A', 0xC1}, {'B', 0xC2}, {'C', 0xD7}, {'D', 0xC4}, {'E', 0xC5}, {'F', 0xD6}, {'G', 0xC3},
        {'H', 0xC7}, {'I', 0xC9}, {'K', 0xCA}, {'L', 0xCB}, {'M', 0xCC}, {'N', 0xCD}, {'O', 0xCF},
        {'P', 0xD0}, {'Q', 0xC8}, {'R', 0xD1}, {'S', 0xD3}, {'T', 0xD4}, {'U', 0xD5}, {'W', 0xD9},
        {'X', 0xCE}, {'Y', 0xD8}, {'Z', 0xC6},
    };
    const TPage& greek = Page(Greek);
    for (const auto& [latin, capital] : letters) {
        EXPECT_EQ(Hex(BaseEncodingChar(TBaseEncoding::Symbol, static_cast<std::uint8_t>(latin))), Hex(greek[capital]))
            << latin;
        // Lower case: 0x20 on in both pages, but Adobe reads the font's mu as the micro sign.
        const char lower = static_cast<char>(latin + 0x20);
        if (lower != 'm') {
            EXPECT_EQ(Hex(BaseEncodingChar(TBaseEncoding::Symbol, static_cast<std::uint8_t>(lower))),
                      Hex(greek[capital + 0x20]))
                << lower;
        }
    }
    EXPECT_EQ(Hex(BaseEncodingChar(TBaseEncoding::Symbol, 'V')), Hex(greek[0xF2])); // final sigma
}

// Private-use codes Adobe gave some glyphs come out as the character itself where there is one.
TEST(PdfEncodings, FontSpecificGlyphsAreRealCharacters)
{
    struct TCase
    {
        TBaseEncoding Encoding;
        int Code;
        char32_t Expected;
        const char* Why;
    };
    const std::vector<TCase> cases = {
        {TBaseEncoding::Symbol, 0xD2, U'\u00AE', "registerserif"},
        {TBaseEncoding::Symbol, 0xE2, U'\u00AE', "registersans"},
        {TBaseEncoding::Symbol, 0xD3, U'\u00A9', "copyrightserif"},
        {TBaseEncoding::Symbol, 0xE3, U'\u00A9', "copyrightsans"},
        {TBaseEncoding::Symbol, 0xD4, U'\u2122', "trademarkserif"},
        {TBaseEncoding::Symbol, 0xE4, U'\u2122', "trademarksans"},
        {TBaseEncoding::Symbol, 0xA0, U'\u20AC', "Euro, added to the font later"},
        {TBaseEncoding::Symbol, 0xF0, 0, "no glyph (the Apple logo is a Macintosh addition)"},
        {TBaseEncoding::MacExpert, 0x30, U'0', "zerooldstyle"},
        {TBaseEncoding::MacExpert, 0x39, U'9', "nineoldstyle"},
        {TBaseEncoding::MacExpert, 0x24, U'$', "dollaroldstyle"},
        {TBaseEncoding::MacExpert, 0x61, U'a', "Asmall: a small capital stands for a lower-case letter"},
        {TBaseEncoding::MacExpert, 0x7A, U'z', "Zsmall"},
        {TBaseEncoding::MacExpert, 0x56, U'\uFB00', "ff"},
        {TBaseEncoding::MacExpert, 0x5A, U'\uFB04', "ffl"},
        {TBaseEncoding::MacExpert, 0xF1, U'l', "lsuperior"},
    };
    for (const TCase& t : cases)
        EXPECT_EQ(Hex(BaseEncodingChar(t.Encoding, static_cast<std::uint8_t>(t.Code))), Hex(t.Expected)) << t.Why;
}

// Unicode laid its Dingbats block out in the font's order (U+2700 + code - 0x20 for the first
// half, U+2700 + code - 0x40 for the second), reusing older characters for glyphs it already had;
// those codes left holes in the block (filled by emoji much later).
TEST(PdfEncodings, ZapfDingbatsFollowTheDingbatsBlock)
{
    std::map<int, char32_t> reused = {
        {0x25, U'\u260E'}, {0x2A, U'\u261B'}, {0x2B, U'\u261E'}, {0x48, U'\u2605'}, {0x6C, U'\u25CF'},
        {0x6E, U'\u25A0'}, {0x73, U'\u25B2'}, {0x74, U'\u25BC'}, {0x75, U'\u25C6'}, {0x77, U'\u25D7'},
        {0xA8, U'\u2663'}, {0xA9, U'\u2666'}, {0xAA, U'\u2665'}, {0xAB, U'\u2660'}, {0xD5, U'\u2192'},
        {0xD6, U'\u2194'}, {0xD7, U'\u2195'}, {0xF0, 0},
    };
    for (int i = 0; i < 10; ++i)
        reused[0xAC + i] = U'\u2460' + i; // circled digits one to ten
    for (int i = 0; i < 14; ++i)
        reused[0x80 + i] = U'\u2768' + i; // bracket ornaments, added to Unicode later
    for (int c = 0x21; c <= 0xFE; ++c) {
        char32_t expected = 0;
        if (const auto it = reused.find(c); it != reused.end())
            expected = it->second;
        else if (c <= 0x7E)
            expected = U'\u2700' + (c - 0x20);
        else if (c >= 0xA1)
            expected = U'\u2700' + (c - 0x40);
        EXPECT_EQ(Hex(BaseEncodingChar(TBaseEncoding::ZapfDingbats, static_cast<std::uint8_t>(c))), Hex(expected))
            << "code " << c;
    }
    EXPECT_EQ(BaseEncodingChar(TBaseEncoding::ZapfDingbats, ' '), U' ');
}

TEST(PdfEncodings, BaseEncodingByName)
{
    const std::vector<std::pair<const char*, std::optional<TBaseEncoding>>> cases = {
        {"StandardEncoding", TBaseEncoding::Standard},
        {"WinAnsiEncoding", TBaseEncoding::WinAnsi},
        {"MacRomanEncoding", TBaseEncoding::MacRoman},
        {"PDFDocEncoding", TBaseEncoding::PDFDoc},
        {"MacExpertEncoding", TBaseEncoding::MacExpert},
        {"SymbolEncoding", std::nullopt}, // built into its font; no PDF name
        {"winansiencoding", std::nullopt}, // names are case-sensitive
        {"/WinAnsiEncoding", std::nullopt},
        {"WinAnsiEncodingX", std::nullopt},
        {"WinAnsi", std::nullopt},
        {"Identity-H", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(BaseEncodingByName(name), expected) << name;
}

TEST(PdfEncodings, GlyphNames)
{
    struct TCase
    {
        const char* Name;
        std::u32string Expected;
    };
    const std::vector<TCase> cases = {
        // Adobe Glyph List entries, values as the list gives them.
        {"A", U"A"},
        {"a", U"a"},
        {"Eacute", U"\u00C9"},
        {"eacute", U"\u00E9"},
        {"afii10017", U"\u0410"}, // Cyrillic capital A
        {"afii10097", U"\u044F"}, // Cyrillic small ya
        {"afii57636", U"\u20AA"}, // new sheqel sign
        {"fi", U"\uFB01"},        // ligatures stay ligature characters
        {"ff", U"\uFB00"},
        {"ffi", U"\uFB03"},
        {"ffl", U"\uFB04"},
        {"Omega", U"\u2126"},                 // the list's choice: the ohm sign
        {"dalethatafpatah", U"\u05D3\u05B2"}, // an entry of two characters
        {"zukatakana", U"\u30BA"},            // the last name in byte order
        // Private-use entries that are variants of a real character.
        {"Asmall", U"a"},
        {"Eacutesmall", U"\u00E9"},
        {"zerooldstyle", U"0"},
        {"registerserif", U"\u00AE"},
        {"copyrightsans", U"\u00A9"},
        {"Acute", U"\u00B4"}, // the capital-height accent is still the accent
        // TeX names the list lacks.
        {"dotlessj", U"\u0237"},
        {"Germandbls", U"SS"},
        {"visiblespace", U"\u2423"},
        {"cwm", U""}, // a zero-width ligature breaker: no text
        {"compwordmark", U""},
        // uniXXXX: groups of four hex digits, any case; a surrogate spoils the whole component.
        {"uni0041", U"A"},
        {"uni00410042", U"AB"},
        {"uni00e9", U"\u00E9"},
        {"uniD800", U""},
        {"uni0041D800", U""},
        {"uni004", U""},
        {"uni00411", U""},
        {"uni004G", U""},
        {"uni", U""},
        // uXXXX to uXXXXXX: upper-case digits, a scalar value.
        {"u0041", U"A"},
        {"u1F600", U"\U0001F600"},
        {"u10FFFF", U"\U0010FFFF"},
        {"u110000", U""},
        {"uD800", U""},
        {"u041", U""},
        {"u1234567", U""},
        {"u1f600", U""},
        // A period ends the name proper.
        {"a.sc", U"a"},
        {"one.oldstyle", U"1"},
        {"uni0041.alt", U"A"},
        {".notdef", U""},
        {".", U""},
        // Underscores join components, each read alone.
        {"f_f_i", U"ffi"},
        {"f_f_i.liga", U"ffi"},
        {"T_h", U"Th"},
        {"f_uni0069", U"fi"},
        {"f_xyzzy_i", U"fi"},
        {"a__b", U"ab"},
        {"_", U""},
        // Names meaning nothing known.
        {"xyzzy", U""},
        {"", U""},
        {"g123", U""},
        {"zzzz", U""},   // past the last name
        {"A AE", U""},   // the table's separator is not part of any name
        {"A ", U""},
        {"EACUTE", U""}, // names are case-sensitive
    };
    for (const TCase& t : cases) {
        const std::u32string got = Decode(GlyphNameToUtf8(t.Name));
        EXPECT_EQ(got, t.Expected) << '"' << t.Name << '"';
    }
}

} // namespace
} // namespace trovex::pdf
