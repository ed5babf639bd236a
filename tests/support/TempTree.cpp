// SPDX-License-Identifier: MIT
#include "support/TempTree.h"

#include <fstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "support/Portable.h"

namespace trovex::test
{
namespace
{

// Paths are UTF-8 on every system: Windows must not read them in its ANSI code page.
std::filesystem::path FsPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

} // namespace

TTempTree::TTempTree() : FRoot(FsPath(MakeTempFolder("trovex-"))) {}

std::string TTempTree::Root() const
{
    return Utf8(FRoot) + PathDelim;
}

std::string TTempTree::Path(std::string_view rel) const
{
    return Root() + Native(rel);
}

TTempTree::~TTempTree()
{
    for (void* handle : FLocked)
        ReleaseUnreadable(handle);
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
    const std::string path = Path(rel);
    std::filesystem::path p = FsPath(path);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::string TTempTree::AddFolder(std::string_view rel)
{
    const std::string path = Path(rel);
    std::filesystem::create_directories(FsPath(path));
    return path;
}

std::string TTempTree::AddLink(std::string_view rel, const std::string& target)
{
    const std::string path = Path(rel);
    std::filesystem::path p = FsPath(path);
    std::filesystem::create_directories(p.parent_path());
    std::filesystem::create_symlink(FsPath(target), p);
    return path;
}

void TTempTree::SetTime(std::string_view rel, std::time_t seconds, long nanoseconds)
{
    std::string p = Path(rel);
    if (!SetFileTimes(p, seconds, nanoseconds))
        throw std::runtime_error("cannot set the time of " + p);
}

std::string TTempTree::AddUnreadable(std::string_view rel)
{
    const std::string path = Path(rel);
    std::filesystem::create_directories(FsPath(path).parent_path());
    FLocked.push_back(MakeUnreadable(path));
    return path;
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
