// SPDX-License-Identifier: MIT
// Files are opened with every sharing right, so a search never stands in the way of another
// program writing, renaming or deleting them; only disk files are read.
#include "platform/Stream.h"

#include "platform/FileSystem.h"
#include "platform/win32/Wide.h"

#include <cstring>

#include <windows.h>

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
    HANDLE file = ::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw EReadError("Cannot open file \"" + path + "\". " + SystemMessage(::GetLastError()));
    FFile = file;
    CheckRegular();
}

TFileStream::TFileStream(const TFolderListing&, const std::string&, const std::string& path) : TFileStream(path) {}

void TFileStream::CheckRegular()
{
    LARGE_INTEGER size{};
    // Consoles, pipes and devices are never read: they could block the walk or never end.
    if (::GetFileType(FFile) != FILE_TYPE_DISK || !::GetFileSizeEx(FFile, &size)) {
        ::CloseHandle(FFile);
        FFile = nullptr;
        throw EReadError("Cannot open file \"" + FPath + "\". Not a regular file");
    }
    FSize = static_cast<std::uint64_t>(size.QuadPart);
}

TFileStream::~TFileStream()
{
    if (FFile)
        ::CloseHandle(FFile);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
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
    }
    return done;
}

void TFileStream::Seek(std::uint64_t offset)
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(FFile, to, nullptr, FILE_BEGIN))
        throw EReadError("Seek error on \"" + FPath + "\". " + SystemMessage(::GetLastError()));
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (FPosition >= FData.size())
        return 0;
    std::size_t n = std::min<std::uint64_t>(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

} // namespace trovex
