// SPDX-License-Identifier: MIT
// Files are opened with every sharing right, so a search never stands in the way of another
// program writing, renaming or deleting them; only disk files are read.
#include "platform/Stream.h"

#include "platform/FileSystem.h"
#include "platform/win32/Wide.h"

#include <cstring>

#include <windows.h>
#include <winternl.h>

namespace trovex
{
namespace
{

std::string SystemMessage(DWORD error)
{
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n && text ? win32::Narrow(std::wstring_view(text, n)) : "Error " + std::to_string(error);
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    return message;
}

} // namespace

TFileStream::TFileStream(const std::string& path) : FPath(path)
{
    OpenByPath();
}

void TFileStream::OpenByPath()
{
    const std::string& path = FPath;
    // The device namespace names no file: a path there (\\.\NUL, \\.\PhysicalDrive0) is never read.
    if (path.size() >= 4 && IsPathDelim(path[0]) && IsPathDelim(path[1]) && path[2] == '.' && IsPathDelim(path[3]))
        throw EReadError("Cannot open file \"" + path + "\". Not a regular file", EReadError::ekNotRegular);
    HANDLE file = ::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        throw EReadError("Cannot open file \"" + path + "\". " + SystemMessage(error),
                         error == ERROR_ACCESS_DENIED ? EReadError::ekPermission
                         : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EReadError::ekVanished
                                                                                           : EReadError::ekRead);
    }
    FFile = file;
    std::string_view name = path;
    while (name.size() > 1 && IsPathDelim(name.back()))
        name.remove_suffix(1);
    const std::size_t delim = name.find_last_of(PathDelims);
    CheckRegular(delim == std::string_view::npos ? name : name.substr(delim + 1), false);
}

TFileStream::TFileStream(const TFolderListing& folder, const std::string& name, const std::string& path) : FPath(path)
{
    if (!folder.DirHandle()) {
        OpenByPath();
        return;
    }
    // Relative to the folder's own handle, and never through a link: a file swapped for one since
    // it was listed is not read in its place.
    const std::wstring wide = win32::Wide(name);
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(wide.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(wide.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, static_cast<HANDLE>(folder.DirHandle()),
                               nullptr);
    auto open = [&](bool asReparsePoint) {
        IO_STATUS_BLOCK io{};
        HANDLE file = nullptr;
        const NTSTATUS status =
            ::NtOpenFile(&file, GENERIC_READ | SYNCHRONIZE, &attributes, &io,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_SEQUENTIAL_ONLY |
                             (asReparsePoint ? FILE_OPEN_REPARSE_POINT : 0));
        if (status < 0) {
            const ULONG error = ::RtlNtStatusToDosError(status);
            throw EReadError("Cannot open file \"" + path + "\". " + SystemMessage(error),
                             error == ERROR_ACCESS_DENIED ? EReadError::ekPermission
                             : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EReadError::ekVanished
                                                                                               : EReadError::ekRead);
        }
        return file;
    };
    FFile = open(true);
    // The basic attributes tell whether it is a reparse point at all, and cost little; its tag is
    // asked only then (under wine that query costs as much as opening the file).
    FILE_BASIC_INFO basic{};
    const bool haveBasic = ::GetFileInformationByHandleEx(FFile, FileBasicInfo, &basic, sizeof basic);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    BY_HANDLE_FILE_INFORMATION first{};
    if ((!haveBasic || (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) &&
        ::GetFileInformationByHandleEx(FFile, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const bool link = IsLinkReparse(tag.FileAttributes, tag.ReparseTag);
        const bool known = !link && ::GetFileInformationByHandle(FFile, &first);
        ::CloseHandle(FFile);
        FFile = nullptr;
        if (!known)
            throw EReadError("Cannot open file \"" + path + "\". It is a link, and links are not followed");
        // A file of its own kept by a filter (deduplicated, in the cloud): its data is read through
        // the filter, and it must still be the same file.
        FFile = open(false);
        BY_HANDLE_FILE_INFORMATION again{};
        if (!::GetFileInformationByHandle(FFile, &again) || again.nFileIndexHigh != first.nFileIndexHigh ||
            again.nFileIndexLow != first.nFileIndexLow || again.dwVolumeSerialNumber != first.dwVolumeSerialNumber) {
            ::CloseHandle(FFile);
            FFile = nullptr;
            throw EReadError("Cannot open file \"" + path + "\". It was replaced during the search");
        }
    }
    TFindData listed;
    CheckRegular(name, false, folder.ReadFindData(name, listed) ? &listed : nullptr);
}

void TFileStream::CheckRegular(std::string_view name, bool pseudo, const TFindData* listed)
{
    // Consoles, pipes and devices are never read: they could block the walk or never end. The
    // record comes from the open handle, two small queries that cost far less than the one that
    // gives the volume and file index too, which a content test has no use for.
    FILE_STANDARD_INFO standard{};
    if (::GetFileType(FFile) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandleEx(FFile, FileStandardInfo, &standard, sizeof standard) || standard.Directory) {
        ::CloseHandle(FFile);
        FFile = nullptr;
        throw EReadError("Cannot open file \"" + FPath + "\". Not a regular file", EReadError::ekNotRegular);
    }
    // The attributes as the listing tells them (a handle may tell fewer: no hidden dot-files under
    // wine), the times and size of the file opened.
    FILE_BASIC_INFO basic{};
    if (listed) {
        FRecord = *listed;
        if (::GetFileInformationByHandleEx(FFile, FileBasicInfo, &basic, sizeof basic)) {
            FRecord.CreationTime = static_cast<TFileTime>(basic.CreationTime.QuadPart);
            FRecord.LastAccessTime = static_cast<TFileTime>(basic.LastAccessTime.QuadPart);
            FRecord.LastWriteTime = static_cast<TFileTime>(basic.LastWriteTime.QuadPart);
        }
    } else if (!ReadFindData(FPath, FRecord) && ::GetFileInformationByHandleEx(FFile, FileBasicInfo, &basic, sizeof basic)) {
        FRecord.Attributes = basic.FileAttributes;
        FRecord.CreationTime = static_cast<TFileTime>(basic.CreationTime.QuadPart);
        FRecord.LastAccessTime = static_cast<TFileTime>(basic.LastAccessTime.QuadPart);
        FRecord.LastWriteTime = static_cast<TFileTime>(basic.LastWriteTime.QuadPart);
    }
    FRecord.Size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    FRecord.Name.assign(name);
    if (pseudo || FRecord.Size == 0)
        FLimit = UnknownSizeLimit;
}

std::size_t TFileStream::Allowed(std::uint64_t offset, std::size_t count) const
{
    if (FLimit == UINT64_MAX || (offset <= FLimit && count <= FLimit - offset))
        return count;
    if (!FCut.load(std::memory_order_relaxed)) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(FLimit);
        at.OffsetHigh = static_cast<DWORD>(FLimit >> 32);
        // Some files give only whole records (pagemap: 8 bytes): a byte alone would read as an error.
        char probe[8];
        DWORD got = 0;
        if (::ReadFile(FFile, probe, sizeof probe, &got, &at) && got > 0)
            FCut.store(true, std::memory_order_relaxed);
        LARGE_INTEGER back{};
        back.QuadPart = static_cast<LONGLONG>(FPosition);
        ::SetFilePointerEx(FFile, back, nullptr, FILE_BEGIN);
    }
    return offset < FLimit ? static_cast<std::size_t>(FLimit - offset) : 0;
}

TFileStream::~TFileStream()
{
    if (FFile)
        ::CloseHandle(FFile);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    count = Allowed(FPosition, count);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(FFile, out + done, chunk, &got, nullptr))
            throw EReadError("Read error on \"" + FPath + "\". " + SystemMessage(::GetLastError()));
        if (got == 0)
            break;
        done += got;
        FPosition += got;
    }
    return done;
}

void TFileStream::Seek(std::uint64_t offset)
{
    if (offset == FPosition)
        return;
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(FFile, to, nullptr, FILE_BEGIN))
        throw EReadError("Seek error on \"" + FPath + "\". " + SystemMessage(::GetLastError()));
    FPosition = offset;
}

std::size_t TFileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const
{
    count = Allowed(offset, count);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        // The offset goes with each read; the position Read uses is put back afterwards.
        OVERLAPPED at{};
        const std::uint64_t from = offset + done;
        at.Offset = static_cast<DWORD>(from);
        at.OffsetHigh = static_cast<DWORD>(from >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(FFile, out + done, chunk, &got, &at)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            throw EReadError("Read error on \"" + FPath + "\". " + SystemMessage(error));
        }
        if (got == 0)
            break;
        done += got;
    }
    LARGE_INTEGER back{};
    back.QuadPart = static_cast<LONGLONG>(FPosition);
    ::SetFilePointerEx(FFile, back, nullptr, FILE_BEGIN);
    return done;
}

std::uint64_t TFileStream::NextData(std::uint64_t offset) const
{
    return offset; // sparse files are rare there: their zeros are read
}

} // namespace trovex
