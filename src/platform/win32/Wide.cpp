// SPDX-License-Identifier: MIT
#include "platform/win32/Wide.h"

#include "platform/CodePage.h"

namespace trovex::win32
{

std::wstring Wide(std::string_view s)
{
    std::wstring out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        // The three-byte form of a surrogate: what Narrow made of an unpaired one.
        if (b == 0xED && i + 2 < s.size() && (static_cast<unsigned char>(s[i + 1]) & 0xE0) == 0xA0 &&
            (static_cast<unsigned char>(s[i + 2]) & 0xC0) == 0x80) {
            out.push_back(static_cast<wchar_t>(0xD000 | (static_cast<unsigned char>(s[i + 1]) & 0x3F) << 6 |
                                               (static_cast<unsigned char>(s[i + 2]) & 0x3F)));
            i += 3;
            continue;
        }
        char32_t cp = Utf8Next(s, i);
        if (cp >= 0xDC00 && cp <= 0xDCFF)
            cp = 0xFFFD; // a byte that is no UTF-8 has no Windows name
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(cp));
        }
    }
    return out;
}

std::string Narrow(std::wstring_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = static_cast<char16_t>(s[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(s[i + 1]) - 0xDC00);
            ++i;
        }
        Utf8Append(out, cp); // an unpaired surrogate gets its own three-byte form
    }
    return out;
}

std::wstring WidePath(std::string_view utf8)
{
    std::wstring path = Wide(utf8);
    constexpr std::size_t OldLimit = 240; // MAX_PATH less room for a file name inside a folder
    if (path.size() < OldLimit || path.starts_with(L"\\\\?\\"))
        return path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    if (path.size() > 2 && path[1] == L':' && path[2] == L'\\')
        return L"\\\\?\\" + path;
    if (path.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + path.substr(2);
    return path;
}

} // namespace trovex::win32
