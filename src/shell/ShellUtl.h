// SPDX-License-Identifier: MIT
// What the program asks of the desktop: installing and uninstalling its menu entries and folder
// action, the folder browser, deleting to the trash, the properties window, MIME type names and
// icons, menu-entry shortcuts, emptying a folder tree, and opening documents, folders and addresses.
// Dialogs, launches and file-manager calls go through the seams of Seams.h. User-interface thread.
#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace trovex
{

/// The maker's home page and support mailbox, opened from the About page.
inline const QString HomePageAddress = QStringLiteral("https://brenvik.example/trovex/");
inline const QString SupportMailAddress = QStringLiteral("support@brenvik.example");

/// Passes the texts this module shows (questions, the properties window) through the program's
/// translation; without one they stay in the default language.
void SetShellTranslator(std::function<QString(const QString&)> translate);

/// Creates the menu entries, the program group and the folder action for the program at `exePath`,
/// overwriting existing ones. A menu entry that cannot be written is passed over; a folder action
/// that cannot be written is reported in an "Error" box, and the program goes on.
void Install(const std::string& exePath);
/// Asks "Uninstall Trovex? File Trovex" (Yes/No); on Yes removes what Install made, the settings
/// store and the files of the program's own folder when that folder belongs to the program. Any
/// other answer changes nothing. The caller ends the process after.
void Uninstall(const std::string& exePath);
/// "Add link to Main menu": with `add`, creates the start-menu entry unless one exists; otherwise
/// deletes it. The program group is not touched.
void UpdateMainMenuLink(bool add, const std::string& exePath);
/// "Add to Shell menu": with `add`, writes the folder action of the file managers; otherwise removes
/// it. A folder action that cannot be written raises EDesktopEntryError after the others are written.
void UpdateShellMenu(bool add, const std::string& exePath);

/// The folder chooser, modal to `owner`: the chosen folder (no trailing '/' except for the root),
/// or an empty text when cancelled.
QString BrowseForFolder(QWidget* owner, const QString& title = QStringLiteral("Select place for search in:"));

/// Asks once whether to move `paths` (the files' bytes, not necessarily UTF-8) to the trash; on
/// Yes moves each one (a folder with its contents), showing progress when there are many, then one
/// "Error" box listing every path that could not be moved and why. What could not be moved stays
/// where it was. Returns -1 for an empty list, otherwise the number of paths not moved (0: all
/// moved; all of them when the person declined or cancelled).
int DeleteFiles(QWidget* owner, const std::vector<std::string>& paths);

/// Opens the file manager's properties window of `path` (bytes), or, when no file manager offers
/// one, the program's own small window (name, folder, type, size, times, attributes), which is not
/// modal and deletes itself when closed. Returns false, showing nothing, when `path` names nothing.
bool ShowFileProperties(QWidget* owner, const std::string& path);

/// The MIME type's description of `path` (by its name's extension; "Folder" and the like for
/// other kinds of entry), in the locale's language; empty when `path` names nothing. The QString
/// form takes a path text as PathText makes it.
QString GetFileTypeName(const std::string& path);
QString GetFileTypeName(const QString& path);

/// The program's icon cache, the counterpart of the system image list: one slot per distinct
/// icon, filled on demand by GetFileIconIndex and kept for the life of the process.
class TSystemImageList
{
public:
    /// The icon of slot `index`; a null icon for -1 or any index not handed out.
    QIcon Icon(int index) const;
    int Count() const { return static_cast<int>(FIcons.size()); }
    /// The slot of the MIME type's icon (its icon name, else its generic icon name, looked up in
    /// the icon theme), added when new; -1 when the theme has neither.
    int IndexOf(const QString& mimeName, const QString& iconName, const QString& genericIconName);

private:
    QList<QIcon> FIcons;
    QHash<QString, int> FByMime; // MIME name -> slot or -1, so each type is looked up once
    QHash<QString, int> FByIcon; // icon name -> slot, so types showing the same icon share a slot
};

/// The process's icon cache. The first call picks the icon theme: the desktop's, else Adwaita.
TSystemImageList& GetSystemImageList();
/// GetSystemImageList().Icon(index).
QIcon SystemImageListIcon(int index);
/// The slot of the icon of `path`'s type in GetSystemImageList(); -1 when `path` names nothing or
/// the theme has no icon for its type.
int GetFileIconIndex(const std::string& path);
int GetFileIconIndex(const QString& path);

/// Writes the menu entry `shortcutFile` (a .desktop file, replaced when it exists) that starts
/// `target` with `arguments`, each passed as one argument, named `description` and showing `icon`
/// (a theme icon name or an image path; none when empty). An entry that cannot be written is
/// silently missing. The same writer as install's (DesktopEntries.h).
void CreateShortcut(const QString& target, const QString& shortcutFile, const QString& description,
                    const QString& icon, const QStringList& arguments = {});

/// Deletes every file in `folder` and in all folders below it, with or without a trailing '/'. The
/// folders stay; what cannot be deleted stays silently. A link is removed as an entry and never
/// followed, so nothing outside the tree is touched; a folder on another file system is not entered.
void DeleteFolderFiles(const QString& folder);

/// The file URI of `path` (bytes) as Qt carries it, with every byte kept (FileUri).
QUrl FileUrl(const std::string& path);
/// Opens `path` (bytes) with the desktop's default application for it.
void OpenDocument(const std::string& path);
/// Shows `folder` in the file manager with `selectPath` (a full path, or a name inside `folder`)
/// selected; without a file manager that can select, or without `selectPath`, opens the folder.
/// Both are bytes.
void OpenFolder(const std::string& folder, const std::string& selectPath = {});
/// Opens HomePageAddress in the browser.
void OpenHomePage();
/// Starts a mail to SupportMailAddress.
void OpenSupportMail();

} // namespace trovex
