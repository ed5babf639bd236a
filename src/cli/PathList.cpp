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
    // Read in pieces of their own, so an endless source (/dev/zero) costs no more than the bound
    // before it is refused, where a growing string would have doubled past it.
    constexpr std::size_t Piece = 1024 * 1024;
    std::vector<std::string> pieces;
    std::size_t total = 0;
    for (;;) {
        std::string piece(Piece, '\0');
        const std::size_t got = std::fread(piece.data(), 1, Piece, file.get());
        piece.resize(got);
        total += got;
        if (total > MaxPathListBytes)
            throw std::runtime_error("list file '" + fileName + "' is larger than 256 MiB");
        if (got > 0)
            pieces.push_back(std::move(piece));
        if (got < Piece) {
            if (std::ferror(file.get()))
                throw std::runtime_error("cannot read list file '" + fileName + "'");
            break;
        }
    }
    std::string bytes;
    bytes.reserve(total);
    for (std::string& piece : pieces) {
        bytes += piece;
        std::string().swap(piece);
    }
    return ParsePathList(bytes);
}

} // namespace trovex
