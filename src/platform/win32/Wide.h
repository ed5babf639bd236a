// SPDX-License-Identifier: MIT
// Windows names are UTF-16 and may hold unpaired surrogates; inside the program every name is UTF-8.
// An unpaired surrogate is carried as its own three-byte form (as WTF-8 does), so every name the
// system lists can be opened again.
#pragma once

#include <string>
#include <string_view>

namespace trovex::win32
{

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
/// The form of a path in which the wide API takes every name as it is, at any length: made
/// absolute (from the current folder when relative), "." and ".." resolved by name, each slash
/// turned into a backslash, and the extended-length prefix put first (its UNC form for a share).
/// A name such as "aux.txt", "CON" or "trail." then opens that file, never a device or a name with
/// its dots and spaces cut.
std::wstring WidePath(std::string_view utf8);

} // namespace trovex::win32
