// SPDX-License-Identifier: MIT
// Folder listings and file times on Windows: the listing itself brings every entry's attributes,
// times and size, so a walk reads no record of its own per file.
#include "platform/FileSystem.h"
#include "platform/FileTimeMath.h"

#include "platform/win32/Wide.h"

#include <algorithm>
#include <numeric>

#include <windows.h>
#include <winternl.h>

namespace trovex
{
using namespace filetime;

namespace
{

unsigned char FoldAscii(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

TFileTime FromFileTime(const FILETIME& t)
{
    return static_cast<TFileTime>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
}

FILETIME ToFileTime(TFileTime t)
{
    return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

std::string_view LastName(std::string_view path)
{
    while (path.size() > 1 && IsPathDelim(path.back()))
        path.remove_suffix(1);
    std::size_t delim = path.find_last_of(PathDelims);
    return delim == std::string_view::npos ? path : path.substr(delim + 1);
}

void FillFindData(DWORD attributes, const FILETIME& created, const FILETIME& accessed, const FILETIME& written,
                  DWORD sizeHigh, DWORD sizeLow, std::string_view name, TFindData& data)
{
    data.Attributes = attributes;
    data.CreationTime = FromFileTime(created);
    data.LastAccessTime = FromFileTime(accessed);
    data.LastWriteTime = FromFileTime(written);
    data.Size = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : static_cast<std::uint64_t>(sizeHigh) << 32 | sizeLow;
    data.Name.assign(name);
}

} // namespace

bool IsLinkReparse(std::uint32_t attributes, std::uint32_t tag)
{
    // Reparse points that name another place are links; the others (deduplicated or cloud files)
    // are files and folders in their own right.
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag);
}

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

bool ReadFolder(const std::string& folder, std::vector<TDirEntry>& entries)
{
    TFolderListing listing;
    if (!listing.Open(folder))
        return false;
    entries = listing.Entries();
    return true;
}

namespace
{

TListFailure FailureOfError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return TListFailure::lfPermission;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY: return TListFailure::lfGone;
    case ERROR_DIRECTORY:
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_CANT_RESOLVE_FILENAME: return TListFailure::lfNotFolder;
    default: return TListFailure::lfReadError;
    }
}

TListFailure FailureOfStatus(NTSTATUS status)
{
    switch (static_cast<std::uint32_t>(status)) {
    case 0xC0000022u: // STATUS_ACCESS_DENIED
    case 0xC0000043u: // STATUS_SHARING_VIOLATION
        return TListFailure::lfPermission;
    case 0xC0000034u: // STATUS_OBJECT_NAME_NOT_FOUND
    case 0xC000003Au: // STATUS_OBJECT_PATH_NOT_FOUND
    case 0xC0000056u: // STATUS_DELETE_PENDING
        return TListFailure::lfGone;
    case 0xC0000103u: // STATUS_NOT_A_DIRECTORY
        return TListFailure::lfNotFolder;
    default: return TListFailure::lfReadError;
    }
}

// Opens `name` inside the open folder `parent` (or the folder `path` when there is no parent) as a
// folder, never through a reparse point: a link, junction or mount point in its place is refused.
// Null when it cannot be opened as one, with the reason in `why`.
HANDLE OpenFolderHandle(HANDLE parent, const std::wstring& name, bool followRoot, TListFailure& why)
{
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!parent) {
        h = ::CreateFileW(name.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS | (followRoot ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            why = FailureOfError(::GetLastError());
            return nullptr;
        }
    } else {
        UNICODE_STRING text;
        text.Buffer = const_cast<PWSTR>(name.c_str());
        text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, nullptr);
        IO_STATUS_BLOCK io{};
        const NTSTATUS status =
            ::NtOpenFile(&h, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &attributes, &io,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT |
                             FILE_OPEN_FOR_BACKUP_INTENT);
        if (status < 0) {
            why = FailureOfStatus(status);
            return nullptr;
        }
    }
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info)) {
        why = FailureOfError(::GetLastError());
        ::CloseHandle(h);
        return nullptr;
    }
    if (!(info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (!followRoot && IsLinkReparse(info.FileAttributes, info.ReparseTag))) {
        why = TListFailure::lfNotFolder;
        ::CloseHandle(h);
        return nullptr;
    }
    return h;
}

// Lists the open folder through its handle, so what is listed is the folder that was checked.
bool ListFolderHandle(HANDLE dir, std::vector<TDirEntry>& entries, std::vector<TFindData>& records)
{
    alignas(8) static thread_local char buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!::GetFileInformationByHandleEx(dir, kind, buffer, sizeof buffer))
            return ::GetLastError() == ERROR_NO_MORE_FILES;
        kind = FileIdBothDirectoryInfo;
        for (const char* at = buffer;;) {
            const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            std::string name =
                win32::Narrow(std::wstring_view(info->FileName, info->FileNameLength / sizeof(wchar_t)));
            if (name != "." && name != "..") {
                const DWORD attr = info->FileAttributes;
                TDirEntry e;
                e.Name = name;
                e.Kind = IsLinkReparse(attr, info->EaSize) ? TDirEntry::dkLink
                         : (attr & FILE_ATTRIBUTE_DIRECTORY)   ? TDirEntry::dkDirectory
                                                               : TDirEntry::dkFile;
                auto time = [](const LARGE_INTEGER& t) { return static_cast<TFileTime>(t.QuadPart); };
                TFindData data;
                data.Attributes = attr;
                data.CreationTime = time(info->CreationTime);
                data.LastAccessTime = time(info->LastAccessTime);
                data.LastWriteTime = time(info->LastWriteTime);
                data.Size = (attr & FILE_ATTRIBUTE_DIRECTORY) ? 0 : static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
                data.Name = name;
                entries.push_back(std::move(e));
                records.push_back(std::move(data));
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
    }
}

} // namespace

bool TFolderListing::OpenBelow(const TFolderListing& root, const std::string& rel)
{
    Close();
    if (root.FHandle < 0) {
        FFailure = root.FFailure; // nothing below a root that did not open
        return false;
    }
    // One name at a time from the root's handle, each opened relative to the one before and none
    // of them a reparse point, so no link put in the way since the listing leads out of the root.
    HANDLE dir = OpenFolderHandle(static_cast<HANDLE>(root.FDir), root.FDir ? L"" : win32::WidePath(root.FFolder),
                                  root.FDir == nullptr, FFailure);
    std::size_t start = 0;
    while (dir && start < rel.size()) {
        std::size_t end = rel.find_first_of(PathDelims, start);
        if (end == std::string::npos)
            end = rel.size();
        const std::string name = rel.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        if (name == "..")
            FFailure = TListFailure::lfNotFolder; // never above the root
        HANDLE next = name == ".." ? nullptr : OpenFolderHandle(dir, win32::Wide(name), false, FFailure);
        ::CloseHandle(dir);
        dir = next;
    }
    if (!dir)
        return false;
    std::vector<TDirEntry> entries;
    std::vector<TFindData> records;
    // A listing that fails part-way keeps what it read, and says so.
    const bool whole = ListFolderHandle(dir, entries, records);
    FDir = dir;
    Adopt(std::move(entries), std::move(records), root.FFolder + rel);
    if (!whole)
        FFailure = TListFailure::lfReadError;
    return true;
}

bool TFolderListing::Open(const std::string& folder, bool list)
{
    Close();
    if (!list) {
        // The chosen folder itself may be reached through a link: it is the user's choice.
        HANDLE dir = OpenFolderHandle(nullptr, win32::WidePath(folder), true, FFailure);
        if (!dir)
            return false;
        FDir = dir;
        FHandle = 0;
        FFolder = folder;
        if (!FFolder.empty() && !IsPathDelim(FFolder.back()))
            FFolder.push_back(PathDelim);
        return true;
    }
    std::string pattern = folder;
    if (!pattern.empty() && !IsPathDelim(pattern.back()))
        pattern.push_back(PathDelim);
    pattern.push_back('*');
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileExW(win32::WidePath(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        // A folder always lists "." at least, so nothing found means no folder.
        const DWORD error = ::GetLastError();
        FFailure = error == ERROR_FILE_NOT_FOUND ? TListFailure::lfGone : FailureOfError(error);
        return false;
    }
    std::vector<TDirEntry> entries;
    std::vector<TFindData> records;
    do {
        std::string name = win32::Narrow(found.cFileName);
        if (name == "." || name == "..")
            continue;
        const DWORD attr = found.dwFileAttributes;
        TDirEntry e;
        e.Name = name;
        // A symbolic link, junction or mount point counts as a link: never descended, never read.
        e.Kind = IsLinkReparse(attr, found.dwReserved0) ? TDirEntry::dkLink
                 : (attr & FILE_ATTRIBUTE_DIRECTORY)   ? TDirEntry::dkDirectory
                                                       : TDirEntry::dkFile;
        TFindData data;
        FillFindData(attr, found.ftCreationTime, found.ftLastAccessTime, found.ftLastWriteTime, found.nFileSizeHigh,
                     found.nFileSizeLow, name, data);
        entries.push_back(std::move(e));
        records.push_back(std::move(data));
    } while (::FindNextFileW(find, &found));
    const bool whole = ::GetLastError() == ERROR_NO_MORE_FILES;
    ::FindClose(find);
    Adopt(std::move(entries), std::move(records), folder);
    if (!whole)
        FFailure = TListFailure::lfReadError;
    return true;
}

void TFolderListing::Adopt(std::vector<TDirEntry> entries, std::vector<TFindData> records, const std::string& folder)
{
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return FolderOrderLess(entries[a].Name, entries[b].Name); });
    FEntries = {TDirEntry{".", TDirEntry::dkDirectory}, TDirEntry{"..", TDirEntry::dkDirectory}};
    FRecords.resize(2);
    FEntries.reserve(entries.size() + 2);
    FRecords.reserve(entries.size() + 2);
    for (std::size_t i : order) {
        FEntries.push_back(std::move(entries[i]));
        FRecords.push_back(std::move(records[i]));
    }
    FHandle = 0; // open: the records are all in memory
    FFolder = folder;
    if (!FFolder.empty() && !IsPathDelim(FFolder.back()))
        FFolder.push_back(PathDelim);
}

bool TFolderListing::ReadFindData(const std::string& name, TFindData& data) const
{
    if (FHandle < 0)
        return false;
    auto it = std::lower_bound(FEntries.begin() + 2, FEntries.end(), name,
                               [](const TDirEntry& e, const std::string& n) { return FolderOrderLess(e.Name, n); });
    if (it == FEntries.end() || it->Name != name)
        return false;
    data = FRecords[static_cast<std::size_t>(it - FEntries.begin())];
    return true;
}

void TFolderListing::Close()
{
    FHandle = -1;
    FFailure = TListFailure::lfNone;
    FEntries.clear();
    FEntries.shrink_to_fit();
    FRecords.clear();
    FRecords.shrink_to_fit();
    FFolder.clear();
    if (FDir)
        ::CloseHandle(static_cast<HANDLE>(FDir));
    FDir = nullptr;
}

bool ReadFindData(const std::string& path, TFindData& data)
{
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (path.empty() || !::GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &a))
        return false;
    FillFindData(a.dwFileAttributes, a.ftCreationTime, a.ftLastAccessTime, a.ftLastWriteTime, a.nFileSizeHigh,
                 a.nFileSizeLow, LastName(path), data);
    return true;
}

// A file's local time uses the offset in force on that file's date (as Explorer shows it), not
// the one of today: FileTimeToLocalFileTime would show a June file an hour off in December.
static bool ToLocalFileTime(const FILETIME& utc, FILETIME& local)
{
    SYSTEMTIME u, l;
    return ::FileTimeToSystemTime(&utc, &u) && ::SystemTimeToTzSpecificLocalTime(nullptr, &u, &l) &&
           ::SystemTimeToFileTime(&l, &local);
}

TFileTime LocalToFileTime(const TDateTime& local)
{
    std::int64_t days = DaysFromCivil(local.Year, local.Month, local.Day) + EpochDifference / 86400;
    std::int64_t seconds = days * 86400 + local.Hour * 3600 + local.Minute * 60 + local.Second;
    if (seconds < 0)
        return 0;
    const TFileTime ticks = static_cast<TFileTime>(seconds) * TicksPerSecond + local.Ticks;
    FILETIME localTime = ToFileTime(ticks);
    SYSTEMTIME l, u;
    FILETIME utc;
    if (::FileTimeToSystemTime(&localTime, &l) && ::TzSpecificLocalTimeToSystemTime(nullptr, &l, &u) &&
        ::SystemTimeToFileTime(&u, &utc))
        return FromFileTime(utc) + static_cast<TFileTime>(local.Ticks) % 10000; // SYSTEMTIME keeps milliseconds
    if (!::LocalFileTimeToFileTime(&localTime, &utc))
        return 0;
    return FromFileTime(utc);
}

TDateTime FileTimeToLocal(TFileTime utc)
{
    FILETIME in = ToFileTime(utc), local;
    SYSTEMTIME st;
    TDateTime d;
    if (!ToLocalFileTime(in, local) || !::FileTimeToSystemTime(&local, &st))
        return d;
    d.Year = st.wYear;
    d.Month = st.wMonth;
    d.Day = st.wDay;
    d.Hour = st.wHour;
    d.Minute = st.wMinute;
    d.Second = st.wSecond;
    d.Ticks = static_cast<int>(utc % TicksPerSecond);
    return d;
}

std::uint32_t FileTimeToDosDateTime(TFileTime utc)
{
    FILETIME in = ToFileTime(utc), local;
    WORD date = 0, time = 0;
    if (ToLocalFileTime(in, local) && ::FileTimeToDosDateTime(&local, &date, &time))
        return static_cast<std::uint32_t>(date) << 16 | time;
    // Outside 1980..2107: the nearest value the packed form holds.
    const TDateTime d = FileTimeToLocal(utc);
    return d.Year < 1980 ? (0u << 25 | 1u << 21 | 1u << 16) : (127u << 25 | 12u << 21 | 31u << 16 | 23u << 11 | 59u << 5 | 29u);
}

TDateTime NowLocal()
{
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return FileTimeToLocal(FromFileTime(now));
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string HomeFolder()
{
    wchar_t buffer[MAX_PATH * 4];
    DWORD n = ::GetEnvironmentVariableW(L"USERPROFILE", buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer))
        return DefaultFolder();
    std::string folder = win32::Narrow(std::wstring_view(buffer, n));
    if (!IsPathDelim(folder.back()))
        folder.push_back(PathDelim);
    return folder;
}

std::string DefaultFolder()
{
    return "C:\\";
}

bool FolderExists(const std::string& path)
{
    if (path.empty())
        return false;
    DWORD attr = ::GetFileAttributesW(win32::WidePath(path).c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool EntryExists(const std::string& path)
{
    if (path.empty())
        return false;
    // GetFileAttributes describes a reparse point itself, not its target.
    if (::GetFileAttributesW(win32::WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = ::GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

std::string TempFolder()
{
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
    std::string folder = n == 0 || n > std::size(buffer) ? DefaultFolder() : win32::Narrow(std::wstring_view(buffer, n));
    if (!IsPathDelim(folder.back()))
        folder.push_back(PathDelim);
    return folder;
}

} // namespace trovex
