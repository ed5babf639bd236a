// SPDX-License-Identifier: MIT
#include "platform/Console.h"

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

bool WriteOutput(std::FILE* stream, std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

} // namespace trovex
