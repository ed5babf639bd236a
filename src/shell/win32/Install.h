// SPDX-License-Identifier: MIT
// Installing and uninstalling for the current user on Windows: the Start-menu shortcut, the
// program group with its two shortcuts, and the Explorer command of folders and drives that starts
// the program with "-F" and the folder. Install keeps a record of what it made under the program's
// key; uninstall removes what the record lists, each only while it is still ours (a shortcut to
// the program, a command that runs it, a folder that is empty), and never anything else. No
// questions are asked here: the caller confirms an uninstall first. COM must be initialised.
#pragma once

#include <stdexcept>
#include <string>

namespace trovex::win32
{

/// A folder command that could not be written: "Failed to set data for '<value>'" (empty for a
/// key's default value).
class EInstallError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// The menu caption of the folder command and the shortcuts' descriptions.
constexpr const char* FolderCommandCaption = "File Trovex...";
constexpr const char* ShortcutDescription = "File Trovex";
constexpr const char* UninstallDescription = "Uninstall File Trovex";
/// The folder commands, below HKEY_CURRENT_USER (Explorer sees them under HKEY_CLASSES_ROOT).
constexpr const char* DirectoryCommandKey = "Software\\Classes\\Directory\\shell\\trovex";
constexpr const char* DriveCommandKey = "Software\\Classes\\Drive\\shell\\trovex";
/// The program's key, removed by uninstall, and the record of the installation inside it.
constexpr const char* ProgramKey = "Software\\Brenvik\\Trovex";
constexpr const char* InstallRecordKey = "Software\\Brenvik\\Trovex\\Installed";

/// Where the shortcuts go, for the current user.
struct TShellEntryLocations
{
    std::string StartMenuLink;      ///< <Start Menu>\Marlix.lnk
    std::string MakerGroup;         ///< <Programs>\Brenvik
    std::string ProgramGroup;       ///< <Programs>\Brenvik\Trovex
    std::string GroupMainLink;      ///< ProgramGroup\Marlix.lnk
    std::string GroupUninstallLink; ///< ProgramGroup\Uninstall.lnk

    /// From the known folders Start Menu and Programs of the current user; empty texts when the
    /// system has none (every step on them is then skipped).
    static TShellEntryLocations ForCurrentUser();
    /// The same layout under `startMenu` and `programs` (tests put them in a folder of their own).
    static TShellEntryLocations Under(const std::string& startMenu, const std::string& programs);
};

/// The command Explorer runs for a folder: the program in quotes, -F, the folder in quotes.
std::string FolderCommand(const std::string& exePath);

/// Creates the Start-menu shortcut, the program group with the program's and the uninstall
/// shortcut, and the folder commands for the program at `exePath`, replacing what a previous
/// install wrote, and records each. A shortcut or folder that cannot be made is passed over;
/// a folder command that cannot be written raises EInstallError after the other steps.
void Install(const std::string& exePath, const TShellEntryLocations& where = TShellEntryLocations::ForCurrentUser());

/// Removes the recorded shortcuts that still lead to a program of the same file name, the folder
/// commands that still run one, the program group and maker folders when install made them and
/// they are empty, and the program's key with all its settings and the record. Never fails: what
/// cannot be removed stays.
void Uninstall(const std::string& exePath, const TShellEntryLocations& where = TShellEntryLocations::ForCurrentUser());

/// "Add link to Main menu": with `add`, creates the Start-menu shortcut unless a file is there
/// (an existing one is left as it is); otherwise deletes it when it leads to a program of the
/// same file name. The program group is never touched.
void UpdateMainMenuLink(bool add, const std::string& exePath,
                        const TShellEntryLocations& where = TShellEntryLocations::ForCurrentUser());

/// "Add to Shell menu": with `add`, writes the folder commands (EInstallError when one cannot be
/// written); otherwise removes each one that runs a program of the same file name.
void UpdateShellMenu(bool add, const std::string& exePath);

} // namespace trovex::win32
