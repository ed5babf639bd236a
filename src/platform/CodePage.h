// SPDX-License-Identifier: MIT
// Single-byte code pages (the "ANSI" and "OEM" pages of the options, KOI8-R) and the conversions
// between them, UTF-16 and UTF-8. Tables are built once from the system's converters (ICU on Linux)
// and corrected where they differ from the Windows tables; every 8-bit conversion keeps the length
// of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// Members of a code-page set; other bits are ignored. An empty set means {cpWindows}.
enum TCodePage : std::uint32_t
{
    cpUnicode = 1,
    cpWindows = 2,
    cpDos = 4,
    cpKoi8r = 8,
    cpUtf8 = 16,
};
using TCodePages = std::uint32_t;
constexpr TCodePages cpAll = cpUnicode | cpWindows | cpDos | cpKoi8r | cpUtf8;

/// One single-byte code page as 256-entry tables. Immutable once built.
class TCodePageTable
{
public:
    explicit TCodePageTable(int number);

    int Number() const { return FNumber; }
    /// Unicode of a byte; U+FFFD where the page leaves the byte undefined.
    char16_t ToUnicode(unsigned char b) const { return FToUnicode[b]; }
    /// The byte of a code point, or -1 when the page lacks it.
    int FromUnicode(char32_t cp) const;
    unsigned char Upper(unsigned char b) const { return FUpper[b]; }
    unsigned char Lower(unsigned char b) const { return FLower[b]; }

private:
    int FNumber;
    char16_t FToUnicode[256];
    unsigned char FUpper[256];
    unsigned char FLower[256];
    std::vector<std::int16_t> FFromUnicode; // Basic Multilingual Plane -> byte, -1 when missing
};

/// Chooses the ANSI and OEM pages: the arguments when not 0, else TROVEX_ANSI_CODEPAGE /
/// TROVEX_OEM_CODEPAGE, else the system's own choice (Windows) or the locale's language. Call before any search starts (not
/// thread-safe against conversions running on another thread). Throws std::invalid_argument for a
/// page the system does not know or that is not single-byte.
void InitCodePages(int ansi = 0, int oem = 0);
/// The code page Windows would choose as ANSI / OEM for a locale name such as "ru_RU.UTF-8".
int AnsiCodePageForLocale(std::string_view locale);
int OemCodePageForAnsi(int ansi, std::string_view locale);

const TCodePageTable& AnsiTable();
const TCodePageTable& OemTable();
const TCodePageTable& Koi8Table();
/// A table for any single-byte page, built on first use and kept.
const TCodePageTable& CodePageTable(int number);

constexpr char DefaultChar = '?';

std::string AnsiToOemStr(std::string_view s);
std::string OemToAnsiStr(std::string_view s);
/// Fixed Windows-1251 <-> KOI8-R tables of the 66 Russian letters; other bytes pass unchanged.
std::string AnsiToKoi8Str(std::string_view s);
std::string Koi8ToAnsiStr(std::string_view s);
std::string AnsiUpperStr(std::string_view s);
std::string AnsiLowerStr(std::string_view s);
/// One UTF-16 unit per byte (MultiByteToWideChar with the ANSI page).
std::u16string AnsiToWide(std::string_view s);
/// One byte per unit; characters the ANSI page lacks become DefaultChar.
std::string WideToAnsi(std::u16string_view s);

/// Bytes of page `table` to UTF-8 (undefined bytes become U+FFFD).
std::string CodePageToUtf8(const TCodePageTable& table, std::string_view s);
inline std::string AnsiToUtf8(std::string_view s) { return CodePageToUtf8(AnsiTable(), s); }
inline std::string OemToUtf8(std::string_view s) { return CodePageToUtf8(OemTable(), s); }
/// UTF-8 text to one byte per character in `table`; a character the page lacks (or an invalid
/// byte) becomes DefaultChar and clears *lossless when given.
std::string Utf8ToCodePage(const TCodePageTable& table, std::string_view s, bool* lossless = nullptr);
inline std::string Utf8ToAnsi(std::string_view s, bool* lossless = nullptr)
{
    return Utf8ToCodePage(AnsiTable(), s, lossless);
}

/// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);
/// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);

// UTF-8 helpers for names and masks. Bytes that are not valid UTF-8 count as one character each
// and are kept as they are.

/// Length in bytes of the character starting at s[i] (1 for an invalid byte); 0 at the end.
std::size_t Utf8CharLen(std::string_view s, std::size_t i);
/// Decodes the character at s[i] and advances i; an invalid byte gives 0xDC00 + byte (never a
/// valid scalar, so it only equals itself).
char32_t Utf8Next(std::string_view s, std::size_t& i);
/// Appends the UTF-8 form of a code point.
void Utf8Append(std::string& out, char32_t cp);
/// Unicode simple lower-case mapping per character; ASCII has a fast path; invalid bytes stay.
std::string Utf8Lower(std::string_view s);
/// Same for upper case.
std::string Utf8Upper(std::string_view s);
/// Whole characters only: drops an incomplete sequence at either end (for hit contexts).
std::string Utf8TrimPartial(std::string_view s);
/// The text in composed form (NFC): a letter followed by combining marks becomes the one character
/// a keyboard types, where there is one.
std::string Utf8ComposeNfc(std::string_view s);

} // namespace trovex
