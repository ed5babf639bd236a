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

/// Marker file that makes the program's folder its own. The installation step puts it into a folder
/// made for the program, holding the manifest of what it installed: OwnedFolderHeader as its first
/// line, then "file <path relative to the folder>" per installed file and "link <absolute path>"
/// per link it made to one of them (in the shared bin folder). Uninstall removes only those.
constexpr std::string_view OwnedFolderMarker = ".trovex-owned";
/// The file a package puts into the program's folder: the folder is the package manager's.
constexpr std::string_view PackagedFolderMarker = "installed-by-package";
constexpr std::string_view OwnedFolderHeader = "This folder belongs to Trovex; uninstalling removes the files listed below.";

/// What a marker lists; empty when its first line is not OwnedFolderHeader. Paths that are
/// absolute or hold "." or ".." parts are left out of Files, relative ones out of Links.
struct TInstallManifest
{
    std::vector<std::string> Files;
    std::vector<std::string> Links;
};
TInstallManifest ParseInstallManifest(std::string_view text);

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

/// A value of a key file (desktop entry, GKeyFile, KConfig) with the escapes undone on reading.
std::string EscapeValue(std::string_view value);

/// One argument of a desktop entry's Exec line: in double quotes when `alwaysQuote` or when it holds
/// a character the format reserves, with '"', '`', '$' and '\' escaped inside them; with
/// `fieldCodes`, '%' doubled, as launchers read field codes first (Nemo knows no "%%": false there).
/// The line as a whole still goes through EscapeValue. The only encoder of Exec lines.
std::string ExecArgument(std::string_view argument, bool alwaysQuote = false, bool fieldCodes = true);

/// Writes the menu entry `shortcutFile` (a .desktop file, replaced when it exists, a link at its
/// name replaced rather than followed) that starts `target` with `arguments`, each passed as one
/// argument, named `description` (the target's name when empty) and showing `icon` (none when
/// empty). The entry carries the install's comment, so uninstall knows it for the program's own.
/// Returns false when it could not be written.
bool CreateShortcut(const std::string& target, const std::filesystem::path& shortcutFile, std::string_view description,
                    std::string_view icon, const std::vector<std::string>& arguments = {});

/// Writes the Start-menu entry, the program group with its two entries and the folder command of
/// every listed file manager for the program at `exePath`, replacing what a previous install wrote.
/// A menu entry that cannot be written is silently missing. Every folder-command entry is attempted;
/// afterwards the first that failed raises EDesktopEntryError. User-interface thread.
void InstallDesktopEntries(const std::string& exePath);

/// Removes, in this order: the Start-menu entry, every file of the program group's folder tree, the
/// settings store (with the damaged copies kept beside it), the folder-command entries with their
/// folders when empty, the program group and maker folders when empty, and what the installation
/// listed in the program's own folder (the folder of `exePath`, RemoveInstalledFiles). The Start-menu
/// entry and the folder commands go only when they carry the install's comment. No link on the way
/// to anything removed is followed. Never fails: what cannot be removed stays. Returns true when the
/// program's own folder was recognised and its listed files removed.
bool UninstallDesktopEntries(const std::string& exePath);

/// "Add link to Main menu": with `add`, writes the Start-menu entry unless a file is already there
/// (an existing one is left untouched); otherwise deletes it. The program group is never touched.
void UpdateMainMenuEntry(bool add, const std::string& exePath);

/// "Add to Shell menu": with `add`, writes the folder-command entries (EDesktopEntryError as for
/// install); otherwise removes them.
void UpdateFolderActions(bool add, const std::string& exePath);

/// True when `folder` is a folder named for the program ("trovex", "Trovex-0.1", ...), reached
/// without a link on its path, holding the regular file OwnedFolderMarker, and is none of the
/// root, the home folder, a folder above home, or any XDG_* folder or a folder above one.
bool IsOwnedProgramFolder(const std::filesystem::path& folder);
/// Why `folder` is not the program's own folder, in words for a message; empty when it is.
std::string ProgramFolderRefusal(const std::filesystem::path& folder);
/// The program's own folder as Uninstall means it: the folder of `exePath`, made absolute.
std::filesystem::path ProgramFolderOf(const std::string& exePath);

/// When `folder` is owned (IsOwnedProgramFolder), removes the regular files its marker lists (each
/// folder on the way opened without following a link), the links it lists that pointed at one of
/// them and dangle now, and then the marker. Everything else, folders included, stays. Returns
/// false, removing nothing, when the folder is not owned.
bool RemoveInstalledFiles(const std::filesystem::path& folder);

/// Deletes every file in `folder` and in all folders below it; folders stay, and what cannot be
/// deleted stays silently. A link is deleted as an entry, never followed, and a folder on another
/// file system (a mount point) is not entered. Nothing happens when `folder` or any folder on its
/// path is a link.
void EmptyFolderTree(const std::filesystem::path& folder);

} // namespace trovex
