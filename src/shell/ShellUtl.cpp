// SPDX-License-Identifier: MIT
// Placeholder bodies: the entries themselves are written by the desktop-integration work.
#include "shell/ShellUtl.h"

namespace trovex
{

void Install(const std::string&) {}

void Uninstall(const std::string&) {}

void UpdateMainMenuLink(bool, const std::string&) {}

void UpdateShellMenu(bool, const std::string&) {}

} // namespace trovex
