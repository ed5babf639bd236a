// SPDX-License-Identifier: MIT
// Code pages and case mappings from the Windows API: the same tables the system converts with.
#include "platform/CodePageSystem.h"

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <windows.h>

namespace trovex::system
{
namespace
{

bool SingleByte(int number)
{
    CPINFO info;
    return number > 0 && ::IsValidCodePage(static_cast<UINT>(number)) &&
           ::GetCPInfo(static_cast<UINT>(number), &info) && info.MaxCharSize == 1;
}

// The simple case mappings of the Basic Multilingual Plane, made once by the locale-independent
// mapping (so a Turkish user's i still folds to I, as on Linux).
struct TCaseTables
{
    char16_t Upper[0x10000];
    char16_t Lower[0x10000];
};

void MapRange(DWORD flags, char16_t* table, unsigned from, unsigned to)
{
    std::wstring in;
    for (unsigned c = from; c < to; ++c)
        in.push_back(static_cast<wchar_t>(c));
    std::wstring out(in.size(), L'\0');
    int n = ::LCMapStringEx(LOCALE_NAME_INVARIANT, flags, in.data(), static_cast<int>(in.size()), out.data(),
                            static_cast<int>(out.size()), nullptr, nullptr, 0);
    for (unsigned c = from; c < to; ++c)
        table[c] = n == static_cast<int>(in.size()) ? static_cast<char16_t>(out[c - from]) : static_cast<char16_t>(c);
}

const TCaseTables& CaseTables()
{
    static std::unique_ptr<TCaseTables> tables;
    static std::once_flag once;
    std::call_once(once, [] {
        tables = std::make_unique<TCaseTables>();
        for (DWORD flags : {DWORD(LCMAP_UPPERCASE), DWORD(LCMAP_LOWERCASE)}) {
            char16_t* table = flags == LCMAP_UPPERCASE ? tables->Upper : tables->Lower;
            table[0] = 0;
            MapRange(flags, table, 1, 0xD800); // surrogates are no characters of their own
            for (unsigned c = 0xD800; c < 0xE000; ++c)
                table[c] = static_cast<char16_t>(c);
            MapRange(flags, table, 0xE000, 0x10000);
        }
        // Simple mappings of Unicode that not every implementation of the call has (wine lacks
        // them): the lower case of U+0130 is a plain i.
        tables->Lower[0x0130] = u'i';
        // Unicode's simple upper case of MICRO SIGN and final sigma, which ICU has.
        tables->Upper[0x00B5] = 0x039C;
        tables->Upper[0x03C2] = 0x03A3;
    });
    return *tables;
}

char32_t MapSupplementary(DWORD flags, char32_t c)
{
    const char32_t v = c - 0x10000;
    wchar_t in[2] = {static_cast<wchar_t>(0xD800 + (v >> 10)), static_cast<wchar_t>(0xDC00 + (v & 0x3FF))};
    wchar_t out[2];
    if (::LCMapStringEx(LOCALE_NAME_INVARIANT, flags, in, 2, out, 2, nullptr, nullptr, 0) != 2 || out[0] < 0xD800 ||
        out[0] > 0xDBFF || out[1] < 0xDC00 || out[1] > 0xDFFF)
        return c;
    return 0x10000 + ((static_cast<char32_t>(out[0]) - 0xD800) << 10) + (static_cast<char32_t>(out[1]) - 0xDC00);
}

} // namespace

void LoadCodePage(int number, char16_t (&toUnicode)[256])
{
    if (number <= 0 || !::IsValidCodePage(static_cast<UINT>(number)))
        throw std::invalid_argument("Unknown code page " + std::to_string(number));
    if (!SingleByte(number))
        throw std::invalid_argument("Code page " + std::to_string(number) + " is not a single-byte page");
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        wchar_t out[2] = {};
        int n = ::MultiByteToWideChar(static_cast<UINT>(number), MB_ERR_INVALID_CHARS, &in, 1, out, 2);
        toUnicode[b] = n == 1 ? static_cast<char16_t>(out[0]) : u'\xFFFD';
    }
}

char32_t SimpleUpper(char32_t c)
{
    if (c < 0x10000)
        return CaseTables().Upper[c];
    return c <= 0x10FFFF ? MapSupplementary(LCMAP_UPPERCASE, c) : c;
}

char32_t SimpleLower(char32_t c)
{
    if (c < 0x10000)
        return CaseTables().Lower[c];
    return c <= 0x10FFFF ? MapSupplementary(LCMAP_LOWERCASE, c) : c;
}

bool SystemCodePages(int& ansi, int& oem)
{
    DWORD a = 0, o = 0;
    if (!::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&a), sizeof a / sizeof(wchar_t)) ||
        !::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&o), sizeof o / sizeof(wchar_t)))
        return false;
    // A locale without a single-byte ANSI page (Unicode-only, or double-byte) falls back to the
    // rules used where the system names none.
    if (!SingleByte(static_cast<int>(a)) || !SingleByte(static_cast<int>(o)))
        return false;
    ansi = static_cast<int>(a);
    oem = static_cast<int>(o);
    return true;
}

} // namespace trovex::system

#include "platform/CodePage.h"

namespace trovex
{

std::string Utf8ComposeNfc(std::string_view s)
{
    const std::u16string wide = Utf8ToUtf16(s);
    if (wide.empty())
        return std::string(s);
    const auto* in = reinterpret_cast<LPCWSTR>(wide.c_str());
    const int n = ::NormalizeString(NormalizationC, in, static_cast<int>(wide.size()), nullptr, 0);
    if (n <= 0)
        return std::string(s);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    const int m = ::NormalizeString(NormalizationC, in, static_cast<int>(wide.size()), reinterpret_cast<LPWSTR>(out.data()), n);
    if (m <= 0)
        return std::string(s);
    out.resize(static_cast<std::size_t>(m));
    return Utf16ToUtf8(out);
}

} // namespace trovex
