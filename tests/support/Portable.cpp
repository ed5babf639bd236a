// SPDX-License-Identifier: MIT
#include "support/Portable.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include "platform/win32/Wide.h"
#include "support/PipedProcess.h"
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace trovex::test
{

std::string Native(std::string_view path)
{
    std::string out(path);
    for (char& c : out)
        if (c == '/')
            c = PathDelim;
    return out;
}

std::string Slashed(std::string_view path)
{
    std::string out(path);
    for (char& c : out)
        if (c == PathDelim)
            c = '/';
    return out;
}

std::string MakeTempFolder(std::string_view prefix)
{
    static std::atomic<int> counter{0};
    std::string base = ::testing::TempDir();
    if (base.empty() || !IsPathDelim(base.back()))
        base.push_back(PathDelim);
    for (;;) {
        std::string path = base + std::string(prefix) + std::to_string(ProcessId()) + "-" + std::to_string(counter++);
        std::error_code ec;
        if (std::filesystem::create_directory(path, ec))
            return path;
        if (ec)
            throw std::runtime_error("cannot make a folder under " + base);
    }
}

#ifdef _WIN32

void SetEnv(const char* name, const char* value, bool overwrite)
{
    if (overwrite || !std::getenv(name))
        ::_putenv_s(name, value);
}

void UnsetEnv(const char* name)
{
    ::_putenv_s(name, "");
}

long ProcessId()
{
    return static_cast<long>(::GetCurrentProcessId());
}

std::size_t PageSize()
{
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwPageSize;
}

char* PageAlloc(std::size_t size)
{
    return static_cast<char*>(::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

void PageFree(char* pages, std::size_t)
{
    ::VirtualFree(pages, 0, MEM_RELEASE);
}

bool PageProtect(char* pages, std::size_t size, bool readable)
{
    DWORD old = 0;
    return ::VirtualProtect(pages, size, readable ? PAGE_READWRITE : PAGE_NOACCESS, &old) != 0;
}

bool MakeFifo(const std::string&)
{
    return false;
}

bool SetFileTimes(const std::string& path, long long unixSeconds, long nanoseconds)
{
    HANDLE file = ::CreateFileW(win32::Wide(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const unsigned long long ticks = (static_cast<unsigned long long>(unixSeconds + 11644473600LL)) * 10000000ULL +
                                     static_cast<unsigned long long>(nanoseconds / 100);
    FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const bool ok = ::SetFileTime(file, nullptr, &t, &t) != 0;
    ::CloseHandle(file);
    return ok;
}

bool SetHidden(const std::string& path)
{
    const std::wstring wide = win32::Wide(path);
    DWORD attr = ::GetFileAttributesW(wide.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && ::SetFileAttributesW(wide.c_str(), attr | FILE_ATTRIBUTE_HIDDEN);
}

void* MakeUnreadable(const std::string& path)
{
    // No sharing at all: every other open of the file fails while this handle lives.
    HANDLE file = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot lock " + path);
    DWORD written = 0;
    ::WriteFile(file, "needle", 6, &written, nullptr);
    return file;
}

void ReleaseUnreadable(void* handle)
{
    if (handle)
        ::CloseHandle(handle);
}

namespace
{

HANDLE CreateOutput(const std::string& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(win32::Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
               const std::string& outPath, const std::string& errPath)
{
    std::wstring line = CommandLine(program, args);
    HANDLE out = CreateOutput(outPath), err = CreateOutput(errPath);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const std::wstring folder = win32::Wide(cwd);
    BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                    cwd.empty() ? nullptr : folder.c_str(), &si, &pi);
    for (HANDLE h : {in, out, err})
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    if (!started)
        return -1;
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(pi.hProcess, &status);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return static_cast<int>(status);
}

#else

void SetEnv(const char* name, const char* value, bool overwrite)
{
    ::setenv(name, value, overwrite ? 1 : 0);
}

void UnsetEnv(const char* name)
{
    ::unsetenv(name);
}

long ProcessId()
{
    return static_cast<long>(::getpid());
}

std::size_t PageSize()
{
    return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

char* PageAlloc(std::size_t size)
{
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char*>(p);
}

void PageFree(char* pages, std::size_t size)
{
    ::munmap(pages, size);
}

bool PageProtect(char* pages, std::size_t size, bool readable)
{
    return ::mprotect(pages, size, readable ? PROT_READ | PROT_WRITE : PROT_NONE) == 0;
}

bool MakeFifo(const std::string& path)
{
    return ::mkfifo(path.c_str(), 0600) == 0;
}

bool SetFileTimes(const std::string& path, long long unixSeconds, long nanoseconds)
{
    struct timespec times[2] = {{static_cast<time_t>(unixSeconds), nanoseconds},
                                {static_cast<time_t>(unixSeconds), nanoseconds}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool SetHidden(const std::string&)
{
    return true;
}

void* MakeUnreadable(const std::string& path)
{
    if (::symlink((path + ".nowhere").c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot link " + path);
    return nullptr;
}

void ReleaseUnreadable(void*) {}

int RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
               const std::string& outPath, const std::string& errPath)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
            ::_exit(99);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(98);
    }
    if (pid < 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

} // namespace trovex::test
