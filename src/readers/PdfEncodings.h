// SPDX-License-Identifier: MIT
// Character tables for the simple (one byte a code) fonts of PDF documents: the base encodings a
// font's /Encoding names or starts from, and the glyph names of its /Differences.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trovex::pdf
{

/// Symbol and ZapfDingbats are the built-in encodings of those two fonts; they have no
/// /Encoding name.
enum class TBaseEncoding : std::uint8_t
{
    Standard,
    WinAnsi,
    MacRoman,
    PDFDoc,
    MacExpert,
    Symbol,
    ZapfDingbats
};

/// The Unicode code point a base encoding gives `code`, 0 where the encoding leaves it undefined.
/// Control codes are undefined everywhere except tab, line feed and carriage return in PDFDoc
/// (text strings use them). WinAnsi is code page 1252, with its no-break space and soft hyphen;
/// MacRoman is Apple's table but keeps the currency sign at 0xDB. Glyphs Adobe gave private-use
/// codes come out as the character they are a variant of where there is one (Symbol's serif and
/// sans registered sign is U+00AE, MacExpert's small capitals are lower-case letters).
char32_t BaseEncodingChar(TBaseEncoding encoding, std::uint8_t code);

/// The base encoding named by a PDF /Encoding or /BaseEncoding name ("WinAnsiEncoding",
/// "MacRomanEncoding", "StandardEncoding", "PDFDocEncoding", "MacExpertEncoding"); nullopt for
/// others.
std::optional<TBaseEncoding> BaseEncodingByName(std::string_view name);

/// The text a glyph name stands for, as UTF-8; empty when the name means nothing known.
/// Whatever follows the first period is dropped ("a.sc" is "a"); underscores join components,
/// each read on its own and the results concatenated ("f_f_i" is "ffi" as three letters). A
/// component is an Adobe Glyph List name (the ligature "ffi" is U+FB03), one of the names TeX fonts
/// use that the list lacks ("dotlessj", "Germandbls", "visiblespace" ...), "uni" and one or more
/// groups of four hex digits (no surrogates), or "u" and four to six upper-case hex digits; any
/// other component stands for nothing.
std::string GlyphNameToUtf8(std::string_view name);

} // namespace trovex::pdf
