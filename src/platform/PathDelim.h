// SPDX-License-Identifier: MIT
// The separator between the folders of a path. A folder's path ends with PathDelim; every character
// of PathDelims separates folders when a path is taken apart (Windows also accepts '/').
#pragma once

#include <string_view>

namespace trovex
{

#ifdef _WIN32
inline constexpr char PathDelim = '\\';
inline constexpr std::string_view PathDelims = "\\/";
#else
inline constexpr char PathDelim = '/';
inline constexpr std::string_view PathDelims = "/";
#endif

/// True for a character that separates folders.
constexpr bool IsPathDelim(char c)
{
    return PathDelims.find(c) != std::string_view::npos;
}

} // namespace trovex
