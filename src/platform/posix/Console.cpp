// SPDX-License-Identifier: MIT
#include "platform/Console.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>

namespace trovex
{

std::vector<std::string> CommandLineArgs(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

bool IsTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) != 0;
}

std::string WorkingFolder()
{
    std::string folder;
    if (char* cwd = ::getcwd(nullptr, 0)) {
        folder = cwd;
        std::free(cwd);
    }
    return folder;
}

void SetBinaryOutput(std::FILE*) {}

int WriteOutput(std::FILE* stream, std::string_view bytes)
{
    std::fflush(stream);
    const int fd = ::fileno(stream);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

} // namespace trovex
