// SPDX-License-Identifier: MIT
// Reading the first command-line argument; see CommandLine.h.
#include "window/CommandLine.h"

namespace trovex
{

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments)
{
    TCommandLine result;
    if (arguments.empty())
        return result;
    // The second character, not byte: a first character written in several UTF-8 bytes is passed whole.
    const std::string& first = arguments[0];
    std::size_t second = 1;
    while (second < first.size() && (static_cast<unsigned char>(first[second]) & 0xC0) == 0x80)
        ++second;
    if (second >= first.size())
        return result;
    char c = first[second];
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    switch (c) {
    case 'F':
        result.Action = saFolder;
        if (arguments.size() > 1)
            result.Folder = arguments[1];
        break;
    case 'I':
        result.Action = saInstall;
        break;
    case 'U':
        result.Action = saUninstall;
        break;
    default:
        break;
    }
    return result;
}

} // namespace trovex
