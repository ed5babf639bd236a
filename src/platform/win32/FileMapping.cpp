// SPDX-License-Identifier: MIT
// Windows refuses to shorten a file while a view of it is mapped, so a mapped archive cannot end
// under its reader.
#include "platform/FileMapping.h"

#include "platform/win32/Wide.h"

#include <windows.h>

namespace trovex
{

TFileMapping::TResult TFileMapping::Open(const std::string& path)
{
    Close();
    HANDLE file = ::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return fmCannotOpen;
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        ::CloseHandle(file);
        return fmCannotOpen;
    }
    if (size.QuadPart <= 0) {
        ::CloseHandle(file);
        return fmEmpty;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        ::CloseHandle(file);
        return fmMapFailed;
    }
    // The size asked for explicitly: a file that shrank since it was measured fails here, read-only
    // mappings never grow a file, and once mapped it cannot shrink.
    HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, static_cast<DWORD>(size.QuadPart >> 32),
                                          static_cast<DWORD>(size.QuadPart), nullptr);
    ::CloseHandle(file); // the mapping keeps the file
    if (!mapping)
        return fmMapFailed;
    void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size.QuadPart));
    if (!view) {
        ::CloseHandle(mapping);
        return fmMapFailed;
    }
    FMapping = mapping;
    FView = view;
    FSize = static_cast<std::size_t>(size.QuadPart);
    return fmOk;
}

void TFileMapping::WillRead(std::size_t, std::size_t) const {}

void TFileMapping::Close()
{
    if (FView)
        ::UnmapViewOfFile(FView);
    if (FMapping)
        ::CloseHandle(FMapping);
    FView = nullptr;
    FMapping = nullptr;
    FSize = 0;
}

} // namespace trovex
