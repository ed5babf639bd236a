// SPDX-License-Identifier: MIT
// The list file of --in-list and --list-only: full paths, one a line, or NUL-separated as -0
// writes them (the only form that keeps a name holding a line feed).
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// A list file larger than this is refused: a list is read whole before the run, and a file that
/// never ends (a device, /dev/urandom) must end with an error, not with all memory.
constexpr std::size_t MaxPathListBytes = std::size_t{256} << 20;

/// Splits list bytes into paths. Bytes holding a NUL are NUL-separated and each path is taken as
/// it stands; otherwise each line is a path (LF or CR LF ends it). Empty entries are skipped.
std::vector<std::string> ParsePathList(std::string_view bytes);

/// Reads and splits the list file. Throws std::runtime_error: "cannot open list file 'F'",
/// "cannot read list file 'F'", or "list file 'F' is larger than 256 MiB".
std::vector<std::string> ReadPathList(const std::string& fileName);

} // namespace trovex
