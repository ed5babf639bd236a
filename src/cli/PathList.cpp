// SPDX-License-Identifier: MIT
#include "cli/PathList.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw std::runtime_error("cannot open list file '" + fileName + "'");
    std::string bytes;
    constexpr std::size_t Piece = 1024 * 1024;
    for (;;) {
        if (bytes.size() > MaxPathListBytes) {
            ::close(fd);
            throw std::runtime_error("list file '" + fileName + "' is larger than 256 MiB");
        }
        const std::size_t have = bytes.size();
        bytes.resize(have + Piece);
        const ssize_t got = ::read(fd, bytes.data() + have, Piece);
        if (got < 0 && errno == EINTR) {
            bytes.resize(have);
            continue;
        }
        if (got < 0) {
            ::close(fd);
            throw std::runtime_error("cannot read list file '" + fileName + "'");
        }
        bytes.resize(have + static_cast<std::size_t>(got));
        if (got == 0)
            break;
    }
    ::close(fd);
    return ParsePathList(bytes);
}

} // namespace trovex
