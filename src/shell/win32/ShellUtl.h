// SPDX-License-Identifier: MIT
// What the Windows window asks of the shell: deleting to the Recycle Bin, opening documents,
// folders and addresses, the Properties sheet, "Open folder" with the file selected, type names and
// icon indexes of the system image list, and shortcut files. Paths are the program's UTF-8 (a
// Windows name's unpaired surrogate in its three-byte form). The shell takes paths in their plain
// form, which Windows may read as another file ("trail." as "trail", "aux.txt" as a device, a
// path past MAX_PATH not at all): every operation first makes sure the plain form names the exact
// file, and refuses otherwise. No toolkit; COM must be initialised on the calling thread (the
// program's start does it), and every call belongs to the user-interface thread.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace trovex::win32
{

/// A shell object that cannot be made (the shell-link object of CreateShortcut).
class EShellError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Why the shell cannot be handed `path`, in words for a message: it names nothing, or its plain
/// form reaches another file or none. Empty when the shell may have it.
std::string ShellPathRefusal(const std::string& path);
/// The form the shell reads: backslashes, without the extended-length prefix.
std::wstring PlainPath(const std::string& path);

/// What DeleteFiles did.
struct TDeleteResult
{
    /// -1 for an empty list; otherwise how many of the paths still exist afterwards (0: all moved;
    /// all of them when the person declined the shell's question).
    int NotMoved = -1;
    /// The paths never handed to the shell, each with its ShellPathRefusal.
    std::vector<std::pair<std::string, std::string>> Refused;
};

/// Moves `paths` to the Recycle Bin, undoably, through IFileOperation with FOFX_RECYCLEONDELETE,
/// or SHFileOperationW with FOF_ALLOWUNDO where IFileOperation is not implemented (wine). With
/// `confirm` the shell asks its own question and shows its progress and errors, modal to `owner`;
/// without, nothing is shown at all. Refused paths are left out and listed; the rest go in one
/// operation.
TDeleteResult DeleteFiles(HWND owner, const std::vector<std::string>& paths, bool confirm = true);

/// Opens `path` with its default action (ShellExecuteExW, SW_SHOWNORMAL). False when refused or
/// when the shell could not start anything (no program is associated, say).
bool OpenDocument(HWND owner, const std::string& path);
/// Shows the folder of `path` in Explorer with `path` selected (SHOpenFolderAndSelectItems); when
/// that fails, opens the folder. False when refused or nothing could be opened.
bool OpenFolder(HWND owner, const std::string& path);
/// Opens an address ("https://...", "mailto:...") with the system's handler, SW_SHOWNOACTIVATE.
bool OpenAddress(HWND owner, const std::string& address);
/// The shell's Properties sheet of `path` (SHObjectProperties, else the "properties" verb); not
/// modal. False when refused or the shell did not accept the request.
bool ShowFileProperties(HWND owner, const std::string& path);

/// The shell's type name of `path` ("Text Document"), decided by its name (SHGFI_USEFILEATTRIBUTES:
/// the file is not opened), cached per extension; `isFolder` asks for a folder's. Empty when the
/// shell has none.
std::string GetFileTypeName(const std::string& path, bool isFolder = false);
/// The system image list, small or large icons; owned by the system, never destroyed by the caller.
HIMAGELIST GetSystemImageList(bool small = true);
/// The index of `path`'s small icon in the system image list; -1 when the shell has none. Decided
/// by the name and cached per extension, except for the files that carry their own icon (programs,
/// shortcuts, icon files), which are asked one by one.
int GetFileIconIndex(const std::string& path, bool isFolder = false);

/// Writes the shortcut file `shortcutFile` (replacing one that exists) to `target` with
/// `arguments`, `description` and the icon `iconIndex` of `target` itself. False when it could not
/// be saved; EShellError when the shell-link object cannot be made.
bool CreateShortcut(const std::string& target, const std::string& shortcutFile, const std::string& description,
                    int iconIndex, const std::string& arguments = {});
/// The target path of a shortcut file; empty when it is none or cannot be read.
std::string ShortcutTarget(const std::string& shortcutFile);

} // namespace trovex::win32
