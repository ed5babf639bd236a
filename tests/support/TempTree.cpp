// SPDX-License-Identifier: MIT
#include "support/TempTree.h"

#include <atomic>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace trovex::test
{

TTempTree::TTempTree()
{
    static std::atomic<int> counter{0};
    std::string base = ::testing::TempDir();
    if (base.empty() || base.back() != '/')
        base.push_back('/');
    for (;;) {
        FRoot = base + "trovex-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        if (std::filesystem::create_directory(FRoot))
            break;
    }
}

TTempTree::~TTempTree()
{
    std::error_code ec;
    // Make every folder writable again first, in case a test locked one.
    for (auto it = std::filesystem::recursive_directory_iterator(FRoot, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(FRoot, ec);
}

std::string TTempTree::AddFile(std::string_view rel, std::string_view bytes)
{
    std::filesystem::path p = FRoot / std::filesystem::path(std::string(rel));
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
    return p.string();
}

std::string TTempTree::AddFolder(std::string_view rel)
{
    std::filesystem::path p = FRoot / std::filesystem::path(std::string(rel));
    std::filesystem::create_directories(p);
    return p.string();
}

std::string TTempTree::AddLink(std::string_view rel, const std::string& target)
{
    std::filesystem::path p = FRoot / std::filesystem::path(std::string(rel));
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::create_symlink(target, p);
    return p.string();
}

void TTempTree::SetTime(std::string_view rel, std::time_t seconds, long nanoseconds)
{
    std::string p = Path(rel);
    struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    if (::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("cannot set the time of " + p);
}

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

} // namespace trovex::test
