// SPDX-License-Identifier: MIT
#include "platform/FileSystem.h"
#include "platform/FileTimeMath.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#ifdef SYS_openat2
#include <linux/openat2.h>
#endif

namespace trovex
{
using namespace filetime;

namespace
{

unsigned char FoldAscii(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

TFileTime FileTimeOf(const struct statx_timestamp& ts)
{
    return UnixToFileTime(ts.tv_sec, ts.tv_nsec);
}

} // namespace

bool FolderOrderLess(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
        unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

namespace
{

// A file system that gives no kinds with its names: the kind is read now, without following a
// link, so that what the listing says of an entry is known for every entry.
TDirEntry::TKind KindAt(int handle, const char* name)
{
    struct stat st{};
    if (::fstatat(handle, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return TDirEntry::dkUnknown; // gone already
    return S_ISDIR(st.st_mode) ? TDirEntry::dkDirectory
           : S_ISREG(st.st_mode) ? TDirEntry::dkFile
           : S_ISLNK(st.st_mode) ? TDirEntry::dkLink
                                 : TDirEntry::dkOther;
}

} // namespace

bool IsPseudoFileSystem(int handle)
{
    struct statfs fs{};
    if (::fstatfs(handle, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case 0x62656570: // configfs
    case EFIVARFS_MAGIC:
    case BPF_FS_MAGIC:
    case PSTOREFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case BINFMTFS_MAGIC:
        return true;
    default:
        return false;
    }
}

namespace
{

// Opens `rel` below `root` one name at a time, none of them a link: for kernels without openat2.
int OpenBelowByNames(int root, const std::string& rel)
{
    int current = ::openat(root, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t start = 0;
    while (current >= 0 && start < rel.size()) {
        std::size_t end = rel.find('/', start);
        if (end == std::string::npos)
            end = rel.size();
        const std::string name = rel.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        int next = -1;
        if (name == "..")
            errno = EXDEV; // never above the root
        else
            next = ::openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        ::close(current);
        errno = saved;
        current = next;
    }
    return current;
}

int OpenBelowHandle(int root, const std::string& rel)
{
#ifdef SYS_openat2
    // One call: the kernel refuses every link on the way and any step out of the root.
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    static std::atomic<bool> unsupported{false};
    if (!unsupported.load(std::memory_order_relaxed)) {
        const int fd = static_cast<int>(::syscall(SYS_openat2, root, rel.empty() ? "." : rel.c_str(), &how, sizeof how));
        if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EAGAIN))
            return fd;
        if (errno != EAGAIN)
            unsupported.store(true, std::memory_order_relaxed);
    }
#endif
    return OpenBelowByNames(root, rel);
}

// False when reading failed part-way; the entries read until then are kept.
bool ListFolder(int handle, std::vector<TDirEntry>& entries)
{
    entries.clear();
    bool whole = true;
    // The open folder is read directly: a directory stream would cost a descriptor of its own and
    // two more system calls per folder, as many as the listing itself on a small folder.
    alignas(dirent64) char buffer[32768];
    for (;;) {
        const ssize_t got = ::getdents64(handle, buffer, sizeof buffer);
        // 0 is the end, also of a folder removed meanwhile; an error leaves names unread.
        if (got < 0 && errno == EINTR)
            continue;
        whole = got == 0;
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* d = reinterpret_cast<const dirent64*>(buffer + at);
            at += d->d_reclen;
            std::string_view name = d->d_name;
            if (name == "." || name == "..")
                continue;
            TDirEntry e;
            e.Name.assign(name);
            switch (d->d_type) {
            case DT_DIR: e.Kind = TDirEntry::dkDirectory; break;
            case DT_REG: e.Kind = TDirEntry::dkFile; break;
            case DT_LNK: e.Kind = TDirEntry::dkLink; break;
            case DT_UNKNOWN: e.Kind = KindAt(handle, d->d_name); break;
            default: e.Kind = TDirEntry::dkOther; break;
            }
            entries.push_back(std::move(e));
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const TDirEntry& a, const TDirEntry& b) { return FolderOrderLess(a.Name, b.Name); });
    entries.insert(entries.begin(), {TDirEntry{".", TDirEntry::dkDirectory}, TDirEntry{"..", TDirEntry::dkDirectory}});
    return whole;
}

TListFailure FailureOf(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return TListFailure::lfPermission;
    case ENOENT: return TListFailure::lfGone;
    case ENOTDIR:
    case ELOOP:
    case EXDEV: return TListFailure::lfNotFolder;
    default: return TListFailure::lfReadError;
    }
}

constexpr unsigned RecordMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME;

void FillFindData(const struct statx& target, bool isLink, bool dangling, std::string_view name, TFindData& data)
{
    data.Name.assign(name);
    std::uint32_t attr = 0;
    const mode_t mode = target.stx_mode;
    if (!dangling && S_ISDIR(mode))
        attr |= faDirectory;
    else if (!dangling && S_ISREG(mode))
        attr |= faArchive;
    else if (!dangling)
        attr |= faSysFile;
    if (!data.Name.empty() && data.Name[0] == '.')
        attr |= faHidden;
    if (!(mode & S_IWUSR))
        attr |= faReadOnly;
    if (isLink)
        attr |= faReparsePoint;
    data.Attributes = attr;
    data.Size = (dangling || S_ISDIR(mode)) ? 0 : target.stx_size;
    data.LastWriteTime = FileTimeOf(target.stx_mtime);
    data.LastAccessTime = FileTimeOf(target.stx_atime);
    data.CreationTime = (target.stx_mask & STATX_BTIME) ? FileTimeOf(target.stx_btime) : FileTimeOf(target.stx_ctime);
}

bool FindDataAt(int dirHandle, const char* path, std::string_view name, TFindData& data)
{
    struct statx own{};
    if (::statx(dirHandle, path, AT_SYMLINK_NOFOLLOW, RecordMask, &own) != 0)
        return false;
    struct statx target = own;
    bool isLink = S_ISLNK(own.stx_mode);
    bool dangling = false;
    if (isLink && ::statx(dirHandle, path, 0, RecordMask, &target) != 0) {
        dangling = true;
        target = own;
    }
    FillFindData(target, isLink, dangling, name, data);
    return true;
}

} // namespace

bool ReadFolder(const std::string& folder, std::vector<TDirEntry>& entries)
{
    TFolderListing listing;
    if (!listing.Open(folder))
        return false;
    entries = listing.Entries();
    return true;
}

bool TFolderListing::Open(const std::string& folder, bool list)
{
    Close();
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (list || handle < 0)
        return Adopt(handle);
    FHandle = handle;
    return true;
}

bool TFolderListing::OpenBelow(const TFolderListing& root, const std::string& rel)
{
    Close();
    if (root.FHandle < 0) {
        FFailure = root.FFailure; // nothing below a root that did not open
        return false;
    }
    return Adopt(OpenBelowHandle(root.FHandle, rel));
}

bool TFolderListing::Adopt(int handle)
{
    FHandle = handle;
    if (FHandle < 0) {
        FFailure = FailureOf(errno);
        return false;
    }
    FPseudo = IsPseudoFileSystem(FHandle);
    if (!ListFolder(FHandle, FEntries))
        FFailure = TListFailure::lfReadError;
    return true;
}

bool TFolderListing::ReadFindData(const std::string& name, TFindData& data) const
{
    return FHandle >= 0 && FindDataAt(FHandle, name.c_str(), name, data);
}

void TFolderListing::Close()
{
    if (FHandle >= 0)
        ::close(FHandle);
    FHandle = -1;
    FPseudo = false;
    FFailure = TListFailure::lfNone;
    FEntries.clear();
    FEntries.shrink_to_fit();
}

bool ReadOpenFindData(int handle, std::string_view name, TFindData& data)
{
    struct statx st{};
    if (::statx(handle, "", AT_EMPTY_PATH, RecordMask, &st) != 0)
        return false;
    FillFindData(st, false, false, name, data);
    return true;
}

bool ReadFindData(const std::string& path, TFindData& data)
{
    std::size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    return FindDataAt(AT_FDCWD, path.c_str(), name, data);
}

TFileTime LocalToFileTime(const TDateTime& local)
{
    // The offset in force on that date, as FileTimeToLocal shows a file's time: a date picked in
    // the local calendar selects exactly the files shown with that date, summer or winter.
    struct tm tmLocal{};
    tmLocal.tm_year = local.Year - 1900;
    tmLocal.tm_mon = local.Month - 1;
    tmLocal.tm_mday = local.Day;
    tmLocal.tm_hour = local.Hour;
    tmLocal.tm_min = local.Minute;
    tmLocal.tm_sec = local.Second;
    tmLocal.tm_isdst = -1; // the zone's rules decide
    errno = 0;
    std::int64_t seconds = ::mktime(&tmLocal);
    if (seconds == -1 && errno != 0) {
        // Out of the system's range: the offset of now, the best left.
        std::int64_t days = DaysFromCivil(local.Year, local.Month, local.Day) + EpochDifference / 86400;
        std::time_t now = std::time(nullptr);
        struct tm tmNow{};
        ::localtime_r(&now, &tmNow);
        seconds = days * 86400 + local.Hour * 3600 + local.Minute * 60 + local.Second - tmNow.tm_gmtoff;
    } else {
        seconds += EpochDifference;
    }
    if (seconds < 0)
        return 0;
    return static_cast<TFileTime>(seconds) * TicksPerSecond + static_cast<TFileTime>(local.Ticks);
}

TDateTime FileTimeToLocal(TFileTime utc)
{
    std::time_t t = static_cast<std::time_t>(static_cast<std::int64_t>(utc / TicksPerSecond) - EpochDifference);
    struct tm tmLocal{};
    ::localtime_r(&t, &tmLocal);
    TDateTime d;
    d.Year = tmLocal.tm_year + 1900;
    d.Month = tmLocal.tm_mon + 1;
    d.Day = tmLocal.tm_mday;
    d.Hour = tmLocal.tm_hour;
    d.Minute = tmLocal.tm_min;
    d.Second = tmLocal.tm_sec;
    d.Ticks = static_cast<int>(utc % TicksPerSecond);
    return d;
}

std::uint32_t FileTimeToDosDateTime(TFileTime utc)
{
    TDateTime d = FileTimeToLocal(utc);
    if (d.Year < 1980)
        d = TDateTime{1980, 1, 1, 0, 0, 0, 0};
    else if (d.Year > 2107)
        d = TDateTime{2107, 12, 31, 23, 59, 58, 0};
    std::uint32_t date = static_cast<std::uint32_t>(((d.Year - 1980) << 9) | (d.Month << 5) | d.Day);
    std::uint32_t time = static_cast<std::uint32_t>((d.Hour << 11) | (d.Minute << 5) | (d.Second / 2));
    return (date << 16) | time;
}

TDateTime NowLocal()
{
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    return FileTimeToLocal(UnixToFileTime(ns / 1000000000, static_cast<std::uint32_t>(ns % 1000000000)));
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = ::getpwuid(::getuid());
        home = pw && pw->pw_dir && *pw->pw_dir ? pw->pw_dir : "/";
    }
    std::string folder(home);
    if (folder.back() != '/')
        folder.push_back('/');
    return folder;
}

bool FolderExists(const std::string& path)
{
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EntryExists(const std::string& path)
{
    struct stat st{};
    if (path.empty())
        return false;
    if (::lstat(path.c_str(), &st) == 0)
        return true;
    // Only "no such entry" means gone; a folder on the way that was replaced by a file means the same.
    return errno != ENOENT && errno != ENOTDIR;
}

std::string TempFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && *tmp ? tmp : "/tmp";
    if (folder.back() != PathDelim)
        folder.push_back(PathDelim);
    return folder;
}

} // namespace trovex

namespace trovex
{

std::string DefaultFolder()
{
    return HomeFolder();
}

} // namespace trovex
