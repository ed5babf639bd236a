// SPDX-License-Identifier: MIT
// Lookups over the generated tables (PdfEncodingTables.inc, written by gen-pdf-encodings.py): a
// binary search of the sorted glyph names, and the rules that read names the list lacks.
#include "readers/PdfEncodings.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>
#include <vector>

namespace trovex::pdf
{
namespace
{

#include "readers/PdfEncodingTables.inc"

static_assert(std::count(NamePool.begin(), NamePool.end(), ' ') == NameCount, "every name ends in a space");

constexpr std::uint32_t SequenceFlag = 0x80000000u;

// Where each name starts in NamePool, plus one entry past the last: the pool only marks where
// names end, which keeps the generated source small.
const std::vector<std::uint16_t>& NameStarts()
{
    static const std::vector<std::uint16_t> starts = [] {
        std::vector<std::uint16_t> s;
        s.reserve(NameCount + 1);
        s.push_back(0);
        for (std::size_t i = 0; i < NamePool.size(); ++i)
            if (NamePool[i] == ' ')
                s.push_back(static_cast<std::uint16_t>(i + 1));
        return s;
    }();
    return starts;
}

bool AppendListed(std::string& out, std::string_view name)
{
    const std::vector<std::uint16_t>& starts = NameStarts();
    std::size_t lo = 0;
    std::size_t hi = NameCount;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::string_view candidate = NamePool.substr(starts[mid], starts[mid + 1] - 1 - starts[mid]);
        const int order = candidate.compare(name);
        if (order < 0) {
            lo = mid + 1;
        } else if (order > 0) {
            hi = mid;
        } else {
            const std::uint32_t value = NameValues[mid];
            if (value & SequenceFlag) {
                const std::size_t first = (value & ~SequenceFlag) >> 8;
                for (std::size_t i = first; i < first + (value & 0xFF); ++i)
                    Utf8Append(out, NameSequences[i]);
            } else {
                Utf8Append(out, value);
            }
            return true;
        }
    }
    return false;
}

int HexValue(char c, bool lowerCase)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (lowerCase && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The scalar value spelt by `hex`, or -1 when a digit is not one or the value is a surrogate or
// beyond Unicode.
long ScalarFromHex(std::string_view hex, bool lowerCase)
{
    long value = 0;
    for (char c : hex) {
        const int digit = HexValue(c, lowerCase);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    if ((value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
        return -1;
    return value;
}

// "uni" names: one or more groups of four digits, all valid or the component means nothing.
// Font tools write lower-case digits here often enough to accept them.
bool AppendUni(std::string& out, std::string_view component)
{
    if (component.size() < 7 || component.substr(0, 3) != "uni" || (component.size() - 3) % 4 != 0)
        return false;
    std::string text;
    for (std::size_t i = 3; i < component.size(); i += 4) {
        const long cp = ScalarFromHex(component.substr(i, 4), true);
        if (cp < 0)
            return false;
        Utf8Append(text, static_cast<char32_t>(cp));
    }
    out += text;
    return true;
}

// "u" names: four to six upper-case digits. Lower case is refused: short words such as "uface"
// would otherwise turn into characters.
bool AppendU(std::string& out, std::string_view component)
{
    if (component.size() < 5 || component.size() > 7 || component[0] != 'u')
        return false;
    const long cp = ScalarFromHex(component.substr(1), false);
    if (cp < 0)
        return false;
    Utf8Append(out, static_cast<char32_t>(cp));
    return true;
}

void AppendComponent(std::string& out, std::string_view component)
{
    if (component.empty())
        return;
    if (!AppendListed(out, component) && !AppendUni(out, component))
        AppendU(out, component);
}

} // namespace

char32_t BaseEncodingChar(TBaseEncoding encoding, std::uint8_t code)
{
    const auto row = static_cast<std::size_t>(encoding);
    return row < std::size(BaseEncodings) ? BaseEncodings[row][code] : 0;
}

std::optional<TBaseEncoding> BaseEncodingByName(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, TBaseEncoding>, 5> Names{{
        {"StandardEncoding", TBaseEncoding::Standard},
        {"WinAnsiEncoding", TBaseEncoding::WinAnsi},
        {"MacRomanEncoding", TBaseEncoding::MacRoman},
        {"PDFDocEncoding", TBaseEncoding::PDFDoc},
        {"MacExpertEncoding", TBaseEncoding::MacExpert},
    }};
    for (const auto& [text, encoding] : Names)
        if (text == name)
            return encoding;
    return std::nullopt;
}

std::string GlyphNameToUtf8(std::string_view name)
{
    // "a.sc", "one.oldstyle": the suffix names a variant of the glyph before it.
    name = name.substr(0, name.find('.'));
    std::string out;
    for (;;) {
        const std::size_t joint = name.find('_');
        AppendComponent(out, name.substr(0, joint));
        if (joint == std::string_view::npos)
            break;
        name.remove_prefix(joint + 1);
    }
    return out;
}

} // namespace trovex::pdf
