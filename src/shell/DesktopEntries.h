// SPDX-License-Identifier: MIT
// The file work of installing and uninstalling on a Linux desktop: the menu entries of the Start
// menu and of the program group (desktop entries under $XDG_DATA_HOME/applications), the folder
// command of the common file managers, the settings store, and the program's own folder. No
// questions are asked here and no Qt is used; the caller confirms an uninstall first.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// A folder-command entry that could not be written. The message is "Failed to set data for '<file>'".
class EDesktopEntryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Marker file that makes the program's folder its own: only a folder holding it is emptied by
/// uninstall. The installation step puts it into a folder made for the program.
constexpr std::string_view OwnedFolderMarker = ".trovex-owned";

/// Where the entries live, read from the environment at each call: $XDG_DATA_HOME (when absolute,
/// else ~/.local/share) and the settings store of TRegistry::DefaultPath().
struct TDesktopLocations
{
    std::filesystem::path Applications;      ///< the Start menu and the Programs folder
    std::filesystem::path MakerGroup;        ///< Applications/Brenvik
    std::filesystem::path ProgramGroup;      ///< Applications/Brenvik/Trovex
    std::filesystem::path StartMenuEntry;    ///< Applications/Marlix.desktop
    std::filesystem::path GroupMainEntry;    ///< ProgramGroup/Marlix.desktop
    std::filesystem::path GroupUninstallEntry; ///< ProgramGroup/Uninstall.desktop
    std::filesystem::path KdeServiceMenu;    ///< kio/servicemenus/trovex.desktop
    std::filesystem::path NemoAction;        ///< nemo/actions/trovex.nemo_action
    std::filesystem::path FileManagerAction; ///< file-manager/actions/trovex.desktop (Caja, PCManFM-Qt, FMA)
    std::filesystem::path NautilusScript;    ///< nautilus/scripts/File Trovex...
    std::filesystem::path SettingsStore;     ///< $XDG_CONFIG_HOME/Brenvik/Trovex.reg

    static TDesktopLocations FromEnvironment();
    /// The four folder-command entries, in the order they are written and removed.
    std::vector<std::filesystem::path> FolderActions() const;
};

/// Writes the Start-menu entry, the program group with its two entries and the folder command of
/// every listed file manager for the program at `exePath`, replacing what a previous install wrote.
/// A menu entry that cannot be written is silently missing. Every folder-command entry is attempted;
/// afterwards the first that failed raises EDesktopEntryError. User-interface thread.
void InstallDesktopEntries(const std::string& exePath);

/// Removes, in this order: the Start-menu entry, every file of the program group's folder tree, the
/// settings store, the folder-command entries, the program group and maker folders when empty, and
/// every file of the program's own folder tree (the folder of `exePath`) when that folder is owned
/// (IsOwnedProgramFolder); its folders stay. Never fails: what cannot be removed stays. Returns true
/// when the program's own folder was emptied.
bool UninstallDesktopEntries(const std::string& exePath);

/// "Add link to Main menu": with `add`, writes the Start-menu entry unless a file is already there
/// (an existing one is left untouched); otherwise deletes it. The program group is never touched.
void UpdateMainMenuEntry(bool add, const std::string& exePath);

/// "Add to Shell menu": with `add`, writes the folder-command entries (EDesktopEntryError as for
/// install); otherwise removes them.
void UpdateFolderActions(bool add, const std::string& exePath);

/// True when `folder` is a real folder (not a link) holding the regular file OwnedFolderMarker, and
/// is neither the root nor the user's home folder.
bool IsOwnedProgramFolder(const std::filesystem::path& folder);

/// Deletes every file in `folder` and in all folders below it; folders stay, and what cannot be
/// deleted stays silently. A link is deleted as an entry, never followed, and a folder on another
/// file system (a mount point) is not entered. Nothing happens when `folder` is itself a link.
void EmptyFolderTree(const std::filesystem::path& folder);

} // namespace trovex
