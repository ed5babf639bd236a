// SPDX-License-Identifier: MIT
// The window program's command line: only the second character of the first argument counts, so
// "-F", "/F", "xF" and "-f" are alike. F takes the folder from the second argument; I installs, then
// starts; U uninstalls and ends. Anything else starts normally.
#pragma once

#include <string>
#include <vector>

namespace trovex
{

enum TStartAction : char
{
    saNone = 0,
    saFolder = 'F',
    saInstall = 'I',
    saUninstall = 'U',
};

struct TCommandLine
{
    TStartAction Action = saNone;
    std::string Folder; ///< the second argument for saFolder, byte for byte; empty otherwise
};

/// `arguments` without the program's own name, as the system split them (CommandLineArgs gives
/// them so on every system).
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

} // namespace trovex
