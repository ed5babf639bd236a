// SPDX-License-Identifier: MIT
// A child process whose standard output the test reads through a pipe while it runs, on POSIX
// systems and Windows alike.
#pragma once

#include <string>
#include <vector>

namespace trovex::test
{

#ifdef _WIN32
/// The command line that hands `program` and `args` over whole to a Windows program.
std::wstring CommandLine(const std::string& program, const std::vector<std::string>& args);
#endif

class TPipedProcess
{
public:
    /// Starts `program` with `args`, its standard output on a pipe and its errors written to
    /// `errPath`. With `readerGone` the reading end is closed before the program starts, so its
    /// first write to standard output meets a pipe nobody reads.
    TPipedProcess(const std::string& program, const std::vector<std::string>& args, const std::string& errPath,
                  bool readerGone = false);
    /// Kills the program if it still runs.
    ~TPipedProcess();
    TPipedProcess(const TPipedProcess&) = delete;
    TPipedProcess& operator=(const TPipedProcess&) = delete;

    bool Started() const;
    /// The next line of its output without the line feed; false at the end of the output.
    bool ReadLine(std::string& line);
    /// True once the program has ended; does not wait.
    bool HasEnded();
    /// Waits for the end; the exit status, 128 plus the signal's number for a POSIX program that
    /// a signal ended, -1 when it never started.
    int Wait();
    void Kill();
    /// Closes the reading end: the program's output now meets a pipe nobody reads.
    void CloseReader();

private:
#ifdef _WIN32
    void* FProcess = nullptr;
    void* FRead = nullptr;
#else
    int FPid = -1;
    int FRead = -1;
    int FStatus = -1;
    bool FReaped = false;
#endif
};

} // namespace trovex::test
