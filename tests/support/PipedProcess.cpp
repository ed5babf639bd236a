// SPDX-License-Identifier: MIT
#include "support/PipedProcess.h"

#ifdef _WIN32
#include <windows.h>
#include "platform/win32/Wide.h"
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace trovex::test
{

#ifdef _WIN32

namespace
{

// Quoted as CommandLineToArgvW and the C runtime take a command line apart.
std::wstring Quote(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    std::size_t slashes = 0; // backslashes just written: doubled when a quote follows them
    for (wchar_t c : arg) {
        if (c == L'"')
            out.append(slashes + 1, L'\\');
        slashes = c == L'\\' ? slashes + 1 : 0;
        out.push_back(c);
    }
    out.append(slashes, L'\\');
    out.push_back(L'"');
    return out;
}

} // namespace

std::wstring CommandLine(const std::string& program, const std::vector<std::string>& args)
{
    std::wstring line = Quote(win32::Wide(program));
    for (const std::string& a : args)
        line += L" " + Quote(win32::Wide(a));
    return line;
}

TPipedProcess::TPipedProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::string& errPath, bool readerGone)
{
    std::wstring line = CommandLine(program, args);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0))
        return;
    // Only the writing end goes to the child: a reading end it held would keep the pipe alive.
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    if (readerGone) {
        ::CloseHandle(read);
        read = nullptr;
    }
    HANDLE err = ::CreateFileW(win32::Wide(errPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE in = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = write;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi);
    for (HANDLE h : {in, write, err})
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    FRead = read;
    if (!started)
        return;
    ::CloseHandle(pi.hThread);
    FProcess = pi.hProcess;
}

TPipedProcess::~TPipedProcess()
{
    Kill();
    if (FRead)
        ::CloseHandle(FRead);
    if (FProcess)
        ::CloseHandle(FProcess);
}

bool TPipedProcess::Started() const
{
    return FProcess != nullptr;
}

void TPipedProcess::CloseReader()
{
    if (FRead)
        ::CloseHandle(FRead);
    FRead = nullptr;
}

bool TPipedProcess::ReadLine(std::string& line)
{
    line.clear();
    char c = 0;
    DWORD got = 0;
    while (FRead && ::ReadFile(FRead, &c, 1, &got, nullptr) && got == 1) {
        if (c == '\n')
            return true;
        line.push_back(c);
    }
    return !line.empty();
}

bool TPipedProcess::HasEnded()
{
    return FProcess && ::WaitForSingleObject(FProcess, 0) == WAIT_OBJECT_0;
}

int TPipedProcess::Wait()
{
    if (!FProcess)
        return -1;
    ::WaitForSingleObject(FProcess, INFINITE);
    DWORD status = 0;
    ::GetExitCodeProcess(FProcess, &status);
    return static_cast<int>(status);
}

void TPipedProcess::Kill()
{
    if (FProcess && !HasEnded()) {
        ::TerminateProcess(FProcess, 137);
        ::WaitForSingleObject(FProcess, INFINITE);
    }
}

#else

TPipedProcess::TPipedProcess(const std::string& program, const std::vector<std::string>& args,
                             const std::string& errPath, bool readerGone)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    if (readerGone) {
        ::close(fds[0]);
        fds[0] = -1;
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    FPid = ::fork();
    if (FPid == 0) {
        // A test runner that ignores SIGPIPE must not pass that on: the program meets the pipe as
        // it would from a shell.
        ::signal(SIGPIPE, SIG_DFL);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fds[1], 1);
        ::dup2(err, 2);
        if (fds[0] >= 0)
            ::close(fds[0]);
        ::execv(program.c_str(), argv.data());
        ::_exit(98);
    }
    ::close(fds[1]);
    FRead = fds[0];
}

TPipedProcess::~TPipedProcess()
{
    Kill();
    if (FRead >= 0)
        ::close(FRead);
}

bool TPipedProcess::Started() const
{
    return FPid > 0;
}

void TPipedProcess::CloseReader()
{
    if (FRead >= 0)
        ::close(FRead);
    FRead = -1;
}

bool TPipedProcess::ReadLine(std::string& line)
{
    line.clear();
    char c = 0;
    while (FRead >= 0 && ::read(FRead, &c, 1) == 1) {
        if (c == '\n')
            return true;
        line.push_back(c);
    }
    return !line.empty();
}

bool TPipedProcess::HasEnded()
{
    if (FPid <= 0 || FReaped)
        return FReaped;
    int status = 0;
    if (::waitpid(FPid, &status, WNOHANG) != FPid)
        return false;
    FReaped = true;
    FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

int TPipedProcess::Wait()
{
    if (FPid <= 0)
        return -1;
    if (!FReaped) {
        int status = 0;
        ::waitpid(FPid, &status, 0);
        FReaped = true;
        FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return FStatus;
}

void TPipedProcess::Kill()
{
    if (FPid > 0 && !HasEnded()) {
        ::kill(FPid, SIGKILL);
        Wait();
    }
}

#endif

} // namespace trovex::test
