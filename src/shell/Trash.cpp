// SPDX-License-Identifier: MIT
// The freedesktop trash, written by the program itself: Qt's QFile::moveToTrash can name a file
// only through a QString (a name that is not UTF-8 would become another name) and writes Path=
// unescaped, so a name holding "%20" would be restored under another name.
#include "shell/Trash.h"

#include "shell/FileList.h"

#include <cerrno>
#include <sys/statvfs.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{

namespace
{

constexpr std::size_t NameMax = 255;
constexpr std::string_view InfoSuffix = ".trashinfo";
// Enough to find a free name among very many trashed files of the same name.
constexpr int MaxNameTries = 100000;

std::string SystemError(int error)
{
    return std::strerror(error);
}

std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Makes `folder` and the folders above it that are missing; the new ones only for the user.
bool MakeFolders(const std::string& folder, mode_t mode)
{
    struct stat st{};
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (folder.size() > 1 && !MakeFolders(ParentOf(folder), 0700))
        return false;
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
        return false;
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRealFolder(const std::string& path, struct stat& st)
{
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A trash folder: itself and its "files" and "info" made when missing.
bool PrepareTrash(const std::string& trash)
{
    return MakeFolders(trash, 0700) && MakeFolders(trash + "/files", 0700) && MakeFolders(trash + "/info", 0700);
}

// The top folder of the mount that holds `path`'s entry: the highest folder above it on the same device.
std::string TopFolderOf(const std::string& path, dev_t device)
{
    std::string top = ParentOf(path);
    while (top != "/") {
        struct stat st{};
        const std::string up = ParentOf(top);
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

// The trash of a mount other than the home folder's: the administrator's $top/.Trash (a real folder
// with the sticky bit) with a folder per user, else the user's own $top/.Trash-$uid. Empty when
// neither can be used.
std::string TopTrashOf(const std::string& top)
{
    const std::string uid = std::to_string(::getuid());
    const std::string base = top == "/" ? std::string() : top;
    struct stat st{};
    if (IsRealFolder(base + "/.Trash", st) && (st.st_mode & S_ISVTX)) {
        const std::string mine = base + "/.Trash/" + uid;
        ::mkdir(mine.c_str(), 0700);
        if (IsRealFolder(mine, st) && st.st_uid == ::getuid() && PrepareTrash(mine))
            return mine;
    }
    const std::string own = base + "/.Trash-" + uid;
    ::mkdir(own.c_str(), 0700);
    if (IsRealFolder(own, st) && st.st_uid == ::getuid() && PrepareTrash(own))
        return own;
    return {};
}

// True when `path` is `folder` or lies below it, compared by device and inode along its parents.
bool IsInside(const std::string& path, const struct stat& folder)
{
    std::string at = path;
    for (;;) {
        struct stat st{};
        if (::lstat(at.c_str(), &st) == 0 && st.st_dev == folder.st_dev && st.st_ino == folder.st_ino)
            return true;
        if (at == "/")
            return false;
        at = ParentOf(at);
    }
}

// Cuts `name` so that name + suffix fits a file name, at a character boundary where possible.
std::string FittingName(const std::string& name, std::size_t room)
{
    if (name.size() <= room)
        return name;
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return name.substr(0, cut == 0 ? room : cut);
}

std::string DeletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string HomeTrashFolder()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/')
        return std::string(dataHome) + "/Trash";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/Trash";
}

TTrashResult MoveToTrash(const std::string& givenPath)
{
    TTrashResult result;
    std::string path = givenPath;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty() || path[0] != '/' || path == "/") {
        result.Error = SystemError(EINVAL);
        return result;
    }
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name == "." || name == "..") {
        result.Error = SystemError(EINVAL);
        return result;
    }
    struct stat entry{};
    if (::lstat(path.c_str(), &entry) != 0) {
        result.Error = SystemError(errno);
        return result;
    }
    // Nothing leaves a folder on a read-only mount. Said first, as the real cause: the moves tried
    // below would fail for a reason of their own (a rename across mounts answers EXDEV).
    struct statvfs mount{};
    if (::statvfs(ParentOf(path).c_str(), &mount) == 0 && (mount.f_flag & ST_RDONLY)) {
        result.Error = SystemError(EROFS);
        return result;
    }

    // The home trash serves its own file system; elsewhere the mount's top folder has the trash.
    const std::string homeTrash = HomeTrashFolder();
    std::string trash;
    std::string recorded = path;
    struct stat trashStat{};
    if (!PrepareTrash(homeTrash)) {
        result.Error = "the trash folder " + homeTrash + " cannot be made";
        return result;
    }
    ::stat(homeTrash.c_str(), &trashStat);
    if (trashStat.st_dev == entry.st_dev) {
        trash = homeTrash;
    } else {
        const std::string top = TopFolderOf(path, entry.st_dev);
        trash = TopTrashOf(top);
        if (trash.empty()) {
            result.Error = "no trash folder on this file system";
            return result;
        }
        // Records of a top-folder trash name the file relative to that folder, so the mount may move.
        if (top != "/")
            recorded = path.substr(top.size() + 1);
        else
            recorded = path.substr(1);
        ::stat(trash.c_str(), &trashStat);
    }
    if (IsInside(path, trashStat)) {
        result.Error = "it is in the trash already";
        return result;
    }

    const std::string record = "[Trash Info]\nPath=" + PercentEncodePath(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
    for (int attempt = 1; attempt <= MaxNameTries; ++attempt) {
        const std::string suffix = attempt == 1 ? std::string() : "." + std::to_string(attempt);
        const std::string trashName = FittingName(name, NameMax - InfoSuffix.size() - suffix.size()) + suffix;
        const std::string info = trash + "/info/" + trashName + std::string(InfoSuffix);
        const std::string target = trash + "/files/" + trashName;
        // The record is made exclusively first: it reserves the name against other programs trashing now.
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            result.Error = SystemError(errno);
            return result;
        }
        struct stat taken{};
        if (::lstat(target.c_str(), &taken) == 0) { // a file without a record holds the name
            ::close(fd);
            ::unlink(info.c_str());
            continue;
        }
        const bool written = WriteAll(fd, record);
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            const int error = errno;
            ::unlink(info.c_str());
            result.Error = SystemError(error);
            return result;
        }
        if (::rename(path.c_str(), target.c_str()) != 0) {
            const int error = errno;
            ::unlink(info.c_str());
            result.Error = SystemError(error);
            return result;
        }
        result.Moved = true;
        result.PathInTrash = target;
        return result;
    }
    result.Error = SystemError(EEXIST);
    return result;
}

} // namespace trovex
