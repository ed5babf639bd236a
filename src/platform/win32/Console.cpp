// SPDX-License-Identifier: MIT
#include "platform/Console.h"

#include "platform/win32/Wide.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace trovex
{
namespace
{

HANDLE HandleOf(std::FILE* stream)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode);
}

} // namespace

std::vector<std::string> CommandLineArgs(int, char**)
{
    // The progress line rewrites itself with the terminal's escape sequences.
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (IsConsole(err) && ::GetConsoleMode(err, &mode))
        ::SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);

    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args.push_back(win32::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

bool IsTerminal(std::FILE* stream)
{
    return IsConsole(HandleOf(stream));
}

std::string WorkingFolder()
{
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0)
        return {};
    std::wstring folder(n, L'\0');
    n = ::GetCurrentDirectoryW(n, folder.data());
    folder.resize(n);
    return win32::Narrow(folder);
}

void SetBinaryOutput(std::FILE* stream)
{
    std::fflush(stream);
    ::_setmode(::_fileno(stream), _O_BINARY);
}

int WriteOutput(std::FILE* stream, std::string_view bytes)
{
    std::fflush(stream);
    HANDLE handle = HandleOf(stream);
    if (!IsConsole(handle)) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            if (!::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
                const DWORD error = ::GetLastError();
                // Each of these says the reading end has gone, depending on how the pipe was made.
                return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED
                           ? EPIPE
                           : EIO;
            }
            done += written;
        }
        return 0;
    }
    // A console shows UTF-16: the bytes would otherwise pass through its code page.
    std::wstring text = win32::Wide(bytes);
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 16384));
        if (!::WriteConsoleW(handle, text.data() + done, chunk, &written, nullptr) || written == 0)
            return EIO;
        done += written;
    }
    return 0;
}

// Windows gives no notice of a pipe's reader going away short of a write: the next record tells.
struct TOutputWatch::TState
{
};

TOutputWatch::TOutputWatch(std::function<void()>) {}

TOutputWatch::~TOutputWatch() = default;

void EndAsClosedPipe() {}

} // namespace trovex
