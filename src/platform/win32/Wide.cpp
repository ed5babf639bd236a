// SPDX-License-Identifier: MIT
#include "platform/win32/Wide.h"

#include "platform/CodePage.h"

#include <vector>

#include <windows.h>

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

namespace
{

// The absolute form of what the current folder (".", "X:" for a drive's own, "\\" for the
// drive's root) stands for, with no separator at its end.
std::wstring FullPathOf(const wchar_t* what)
{
    wchar_t buffer[1024];
    DWORD n = ::GetFullPathNameW(what, 1024, buffer, nullptr);
    std::wstring out;
    if (n >= 1024) {
        out.resize(n);
        n = ::GetFullPathNameW(what, n, out.data(), nullptr);
        out.resize(n);
    } else {
        out.assign(buffer, n);
    }
    while (out.size() > 3 && out.back() == L'\\')
        out.pop_back();
    if (out.size() == 3 && out[1] == L':')
        out.pop_back(); // "C:\" -> "C:"
    return out;
}

// The extended form of an absolute drive or UNC path.
std::wstring Extended(const std::wstring& absolute)
{
    return absolute.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + absolute.substr(2) : L"\\\\?\\" + absolute;
}

} // namespace

std::wstring WidePath(std::string_view utf8)
{
    std::wstring path = Wide(utf8);
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\") || path.empty())
        return path;
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    // Made absolute once, from the current folder for a relative path.
    std::wstring root, rest;
    if (path.starts_with(L"\\\\")) {
        // \\server\share\rest: the server and share are the root
        std::size_t share = path.find(L'\\', 2);
        std::size_t end = share == std::wstring::npos ? std::wstring::npos : path.find(L'\\', share + 1);
        root = L"\\\\?\\UNC\\" + path.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
        rest = end == std::wstring::npos ? std::wstring() : path.substr(end + 1);
    } else if (path.size() >= 2 && path[1] == L':') {
        const bool absolute = path.size() >= 3 && path[2] == L'\\';
        const std::wstring drive = path.substr(0, 2);
        root = absolute ? L"\\\\?\\" + drive : Extended(FullPathOf(drive.c_str()));
        rest = path.substr(absolute ? 3 : 2);
    } else if (path[0] == L'\\') {
        root = Extended(FullPathOf(L"\\"));
        rest = path.substr(1);
    } else {
        root = Extended(FullPathOf(L"."));
        rest = path;
    }
    // "." and ".." are resolved here, by the names alone: the extended form takes every other name
    // as it is, so a listed "aux.txt" or "trail." is that file, never a device or another name.
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find(L'\\', start);
        if (end == std::wstring::npos)
            end = rest.size();
        std::wstring part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == L".")
            continue;
        if (part == L"..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::wstring out = root;
    for (const std::wstring& part : parts)
        out += L'\\' + part;
    if (parts.empty() || (!rest.empty() && rest.back() == L'\\'))
        out += L'\\';
    return out;
}

} // namespace trovex::win32
