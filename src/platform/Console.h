// SPDX-License-Identifier: MIT
// What a command-line program needs from its system: its arguments, the current folder, and output
// that reaches a terminal or console as the text it is (UTF-8 everywhere, wide writes on a Windows
// console) and a pipe or file as the bytes they are.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// The arguments after the program's name, in UTF-8 (Windows: taken from the wide command line,
/// so no character is squeezed through a code page). Also prepares the console for the progress line.
std::vector<std::string> CommandLineArgs(int argc, char** argv);

/// True when `stream` (stdout or stderr) is a terminal or console.
bool IsTerminal(std::FILE* stream);

/// The current folder, without a trailing separator; empty when it cannot be told.
std::string WorkingFolder();

/// Binary output: records pass byte for byte, NUL-ended ones too, and a line ends with LF alone
/// (Windows would otherwise write CR LF and could stop at a byte 0x1A).
void SetBinaryOutput(std::FILE* stream);

/// Writes UTF-8 bytes to stdout or stderr at once, past the stream's buffer (flushed first): through
/// the wide console API on a Windows console, as they are everywhere else. Returns 0, or the errno of
/// the failure (EPIPE when the reader has gone).
int WriteOutput(std::FILE* stream, std::string_view bytes);

/// Watches standard output while it lives: when it is a pipe or socket whose reader has gone,
/// `onGone` runs (once, on a thread of the watch's own), so a run that writes nothing for a while
/// still ends soon after its reader. Elsewhere (a terminal, a file, Windows) it does nothing.
class TOutputWatch
{
public:
    explicit TOutputWatch(std::function<void()> onGone);
    ~TOutputWatch();
    TOutputWatch(const TOutputWatch&) = delete;
    TOutputWatch& operator=(const TOutputWatch&) = delete;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

/// Ends the program as a write to a pipe whose reader has gone would (POSIX: by SIGPIPE, unless the
/// signal is ignored); returns when it does not.
void EndAsClosedPipe();

} // namespace trovex
