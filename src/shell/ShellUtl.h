// SPDX-License-Identifier: MIT
// Desktop integration: installing and uninstalling the program's menu entries and the folder
// action of the file managers, and the two entries the Options page switches on their own.
// The bodies arrive with the desktop-integration work; until then each call does nothing.
#pragma once

#include <string>

namespace trovex
{

/// Creates the menu entries, the program group and the folder action for the program at `exePath`,
/// overwriting existing ones. Failures to write an entry are passed over.
void Install(const std::string& exePath);
/// Asks for confirmation, then removes what Install made, the settings store and the files of the
/// program's own folder when that folder belongs to the program. The caller ends the process after.
void Uninstall(const std::string& exePath);
/// "Add link to Main menu": with `add`, creates the start-menu entry unless one exists; otherwise
/// deletes it. The program group is not touched.
void UpdateMainMenuLink(bool add, const std::string& exePath);
/// "Add to Shell menu": with `add`, writes the folder action of the file managers; otherwise removes it.
void UpdateShellMenu(bool add, const std::string& exePath);

} // namespace trovex
