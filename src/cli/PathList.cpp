// SPDX-License-Identifier: MIT
#include "cli/PathList.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace trovex
{

std::vector<std::string> ParsePathList(std::string_view bytes)
{
    std::vector<std::string> list;
    const bool nulSeparated = bytes.find('\0') != std::string_view::npos;
    const char separator = nulSeparated ? '\0' : '\n';
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find(separator, start);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view entry = bytes.substr(start, end - start);
        if (!nulSeparated && !entry.empty() && entry.back() == '\r')
            entry.remove_suffix(1);
        if (!entry.empty())
            list.emplace_back(entry);
        start = end + 1;
    }
    return list;
}

std::vector<std::string> ReadPathList(const std::string& fileName)
{
    // Any readable file, a pipe too (a list made by another program on the fly).
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file)
        throw std::runtime_error("cannot open list file '" + fileName + "'");
    std::string bytes;
    constexpr std::size_t Piece = 1024 * 1024;
    for (;;) {
        if (bytes.size() > MaxPathListBytes)
            throw std::runtime_error("list file '" + fileName + "' is larger than 256 MiB");
        const std::size_t have = bytes.size();
        bytes.resize(have + Piece);
        const std::size_t got = std::fread(bytes.data() + have, 1, Piece, file.get());
        bytes.resize(have + got);
        if (got < Piece) {
            if (std::ferror(file.get()))
                throw std::runtime_error("cannot read list file '" + fileName + "'");
            break;
        }
    }
    return ParsePathList(bytes);
}

} // namespace trovex
