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
/// A path the wide API accepts at any length: absolute drive and UNC paths longer than the old
/// limit get the "\\?\" prefix (with '/' turned into '\', which that form requires).
std::wstring WidePath(std::string_view utf8);

} // namespace trovex::win32
