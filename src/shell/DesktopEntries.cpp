// SPDX-License-Identifier: MIT
// Menu entries, folder commands and uninstall removal on a Linux desktop.
//
// Exec lines of every entry quote the program path the way the desktop-entry format wants it ("..."
// with " ` $ \ escaped), which is also what g_shell_parse_argv reads, the parser behind Nemo and
// FileManager-Actions. The folder reaches the program through each launcher's own field code
// (%f, %F) or the script's "$folder", so a path with spaces stays one argument.
#include "shell/DesktopEntries.h"

#include "platform/FileSystem.h"
#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{

namespace fs = std::filesystem;

namespace
{

constexpr std::string_view MainMenuName = "File Trovex";
constexpr std::string_view UninstallName = "Uninstall File Trovex";
constexpr std::string_view FolderCommandCaption = "File Trovex...";
// Theme icon names stand in for the program's first and second icons.
constexpr std::string_view MainIcon = "system-search";
constexpr std::string_view UninstallIcon = "edit-delete";
constexpr std::string_view OwnerComment = "# Written by the Trovex install; its uninstall removes this file.\n";

constexpr mode_t EntryMode = 0644;
// Newer KDE versions only run service menus outside system folders when they are executable, and
// Nautilus only lists executable scripts.
constexpr mode_t ExecutableMode = 0755;

fs::path DataHome()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return fs::path(data);
    return fs::path(HomeFolder()) / ".local" / "share";
}

// One argument of an Exec line in double quotes. `escapePercent` doubles '%' for the launchers that
// read field codes by the desktop-entry rules; Nemo knows no "%%" and takes the path as it is.
std::string QuoteExecArg(std::string_view arg, bool escapePercent)
{
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        else if (c == '%' && escapePercent)
            out += '%';
        out += c;
    }
    out += '"';
    return out;
}

// A value of a key file (desktop entry, GKeyFile, KConfig): these escapes are undone on reading.
std::string EscapeValue(std::string_view value)
{
    std::string out;
    for (char c : value) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

// A POSIX shell word in single quotes.
std::string ShellQuote(std::string_view word)
{
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    out += '\'';
    return out;
}

std::string ApplicationEntry(std::string_view name, std::string_view exec, std::string_view icon)
{
    std::string text = "[Desktop Entry]\n";
    text += OwnerComment;
    text += "Type=Application\n";
    text += "Name=" + std::string(name) + "\n";
    text += "Exec=" + EscapeValue(exec) + "\n";
    text += "Icon=" + std::string(icon) + "\n";
    text += "Terminal=false\n";
    text += "Categories=Utility;\n";
    return text;
}

std::string MainMenuEntry(const std::string& exe)
{
    return ApplicationEntry(MainMenuName, QuoteExecArg(exe, true), MainIcon);
}

std::string UninstallEntry(const std::string& exe)
{
    return ApplicationEntry(UninstallName, QuoteExecArg(exe, true) + " -u", UninstallIcon);
}

std::string KdeServiceMenu(const std::string& exe)
{
    std::string text = "[Desktop Entry]\n";
    text += OwnerComment;
    text += "Type=Service\n";
    text += "Name=" + std::string(MainMenuName) + "\n";
    text += "MimeType=inode/directory;\n";
    text += "Actions=TrovexFolder;\n";
    text += "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n";
    text += "\n[Desktop Action TrovexFolder]\n";
    text += "Name=" + std::string(FolderCommandCaption) + "\n";
    text += "Icon=" + std::string(MainIcon) + "\n";
    text += "Exec=" + EscapeValue(QuoteExecArg(exe, true) + " -F %f") + "\n";
    return text;
}

std::string FileManagerAction(const std::string& exe)
{
    std::string text = "[Desktop Entry]\n";
    text += OwnerComment;
    text += "Type=Action\n";
    text += "Name=" + std::string(FolderCommandCaption) + "\n";
    text += "Icon=" + std::string(MainIcon) + "\n";
    text += "Profiles=TrovexFolder;\n";
    text += "\n[X-Action-Profile TrovexFolder]\n";
    text += "Name=" + std::string(FolderCommandCaption) + "\n";
    text += "MimeTypes=inode/directory;\n";
    text += "SelectionCount==1\n";
    text += "Exec=" + EscapeValue(QuoteExecArg(exe, true) + " -F %f") + "\n";
    return text;
}

std::string NemoAction(const std::string& exe)
{
    // Nemo pastes each path between the quotes named by Quote (escaping a '"' inside it) and then
    // splits the line as a shell would. It has no escape for '%', so a program path holding one of
    // its tokens (%F, %U, %P, ...) would be rewritten: such a path is not expected for a program.
    std::string text = "[Nemo Action]\n";
    text += OwnerComment;
    text += "Name=" + std::string(FolderCommandCaption) + "\n";
    text += "Comment=" + std::string(MainMenuName) + "\n";
    text += "Icon-Name=" + std::string(MainIcon) + "\n";
    text += "Exec=" + EscapeValue(QuoteExecArg(exe, false) + " -F %F") + "\n";
    text += "Selection=s\n";
    text += "Extensions=dir;\n";
    text += "Quote=double\n";
    return text;
}

std::string NautilusScript(const std::string& exe)
{
    // Nautilus runs a script in the open folder with the selected names as arguments (relative for
    // local files) and none when nothing is selected.
    std::string text = "#!/bin/sh\n";
    text += OwnerComment;
    text += "# File Trovex...: search in the selected folder, or in the open one.\n";
    text += "folder=$PWD\n";
    text += "if [ $# -gt 0 ]; then\n";
    text += "    case $1 in\n";
    text += "        /*) folder=$1 ;;\n";
    text += "        *) folder=$PWD/$1 ;;\n";
    text += "    esac\n";
    text += "fi\n";
    text += "[ -d \"$folder\" ] || folder=${folder%/*}\n";
    text += "exec " + ShellQuote(exe) + " -F \"$folder\"\n";
    return text;
}

// Writes the whole file beside its final name and renames it over that name, so a reader never sees
// half an entry and a link at the name is replaced, not followed. The temporary name is hidden so no
// menu or script folder lists it meanwhile.
bool WriteFileAtomic(const fs::path& file, const std::string& text, mode_t mode)
{
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string tmp = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), file.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

// Removes the entry at `file` (a link itself, never its target); a missing one is no error.
void RemoveEntry(const fs::path& file)
{
    struct stat st{};
    if (::lstat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        ::unlink(file.c_str());
}

bool EntryExists(const fs::path& file)
{
    struct stat st{};
    return ::lstat(file.c_str(), &st) == 0;
}

bool IsRealFolder(const fs::path& folder)
{
    struct stat st{};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void RemoveFolderIfEmpty(const fs::path& folder)
{
    if (IsRealFolder(folder))
        ::rmdir(folder.c_str()); // fails, as wanted, while anything is left in it
}

void WriteFolderActions(const TDesktopLocations& where, const std::string& exe)
{
    const std::pair<fs::path, std::string> entries[] = {
        {where.KdeServiceMenu, KdeServiceMenu(exe)},
        {where.NemoAction, NemoAction(exe)},
        {where.FileManagerAction, FileManagerAction(exe)},
        {where.NautilusScript, NautilusScript(exe)},
    };
    // Each file manager reads only its own entry, so one that cannot be written does not keep the
    // others from being written; the first failure is reported afterwards.
    std::string failed;
    for (const auto& [file, text] : entries) {
        const mode_t mode = file == where.NemoAction || file == where.FileManagerAction ? EntryMode : ExecutableMode;
        if (!WriteFileAtomic(file, text, mode) && failed.empty())
            failed = file.string();
    }
    if (!failed.empty())
        throw EDesktopEntryError("Failed to set data for '" + failed + "'");
}

void RemoveFolderActions(const TDesktopLocations& where)
{
    for (const fs::path& file : where.FolderActions())
        RemoveEntry(file);
}

std::string AbsoluteExe(const std::string& exePath)
{
    std::error_code ec;
    fs::path p = fs::absolute(exePath, ec);
    return ec ? exePath : p.lexically_normal().string();
}

void EmptyFolderAt(int dirFd, dev_t device)
{
    // The names are read first: unlinking while readdir walks the same folder may skip entries.
    int listFd = ::dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) {
        std::string_view name = e->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);

    for (const std::string& name : names) {
        struct stat st{};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            ::unlinkat(dirFd, name.c_str(), 0);
            continue;
        }
        if (st.st_dev != device)
            continue; // another file system mounted here is not the program's
        // O_NOFOLLOW: a folder swapped for a link after the stat is not entered.
        int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
            EmptyFolderAt(sub, device);
            ::close(sub);
        }
    }
}

bool SameFolder(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

} // namespace

TDesktopLocations TDesktopLocations::FromEnvironment()
{
    TDesktopLocations where;
    const fs::path data = DataHome();
    where.Applications = data / "applications";
    where.MakerGroup = where.Applications / "Brenvik";
    where.ProgramGroup = where.MakerGroup / "Trovex";
    where.StartMenuEntry = where.Applications / "Marlix.desktop";
    where.GroupMainEntry = where.ProgramGroup / "Marlix.desktop";
    where.GroupUninstallEntry = where.ProgramGroup / "Uninstall.desktop";
    where.KdeServiceMenu = data / "kio" / "servicemenus" / "trovex.desktop";
    where.NemoAction = data / "nemo" / "actions" / "trovex.nemo_action";
    where.FileManagerAction = data / "file-manager" / "actions" / "trovex.desktop";
    where.NautilusScript = data / "nautilus" / "scripts" / std::string(FolderCommandCaption);
    where.SettingsStore = TRegistry::DefaultPath();
    return where;
}

std::vector<fs::path> TDesktopLocations::FolderActions() const
{
    return {KdeServiceMenu, NemoAction, FileManagerAction, NautilusScript};
}

void InstallDesktopEntries(const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    const std::string exe = AbsoluteExe(exePath);
    WriteFileAtomic(where.StartMenuEntry, MainMenuEntry(exe), EntryMode);
    std::error_code ec;
    fs::create_directory(where.MakerGroup, ec);
    fs::create_directory(where.ProgramGroup, ec);
    if (IsRealFolder(where.ProgramGroup)) {
        WriteFileAtomic(where.GroupMainEntry, MainMenuEntry(exe), EntryMode);
        WriteFileAtomic(where.GroupUninstallEntry, UninstallEntry(exe), EntryMode);
    }
    WriteFolderActions(where, exe);
}

bool UninstallDesktopEntries(const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    RemoveEntry(where.StartMenuEntry);
    EmptyFolderTree(where.ProgramGroup);
    RemoveEntry(where.SettingsStore);
    RemoveEntry(where.SettingsStore.string() + ".bad");
    RemoveFolderIfEmpty(where.SettingsStore.parent_path());
    RemoveFolderActions(where);
    RemoveFolderIfEmpty(where.ProgramGroup);
    RemoveFolderIfEmpty(where.MakerGroup);

    const fs::path programFolder = fs::path(AbsoluteExe(exePath)).parent_path();
    if (exePath.empty() || !IsOwnedProgramFolder(programFolder))
        return false;
    EmptyFolderTree(programFolder);
    return true;
}

void UpdateMainMenuEntry(bool add, const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    if (!add)
        RemoveEntry(where.StartMenuEntry);
    else if (!EntryExists(where.StartMenuEntry))
        WriteFileAtomic(where.StartMenuEntry, MainMenuEntry(AbsoluteExe(exePath)), EntryMode);
}

void UpdateFolderActions(bool add, const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    if (add)
        WriteFolderActions(where, AbsoluteExe(exePath));
    else
        RemoveFolderActions(where);
}

bool IsOwnedProgramFolder(const fs::path& folder)
{
    if (folder.empty() || !IsRealFolder(folder))
        return false;
    // A marker put into the root or the home folder by mistake must not empty either of them.
    if (SameFolder(folder, "/") || SameFolder(folder, HomeFolder()))
        return false;
    struct stat st{};
    return ::lstat((folder / OwnedFolderMarker).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void EmptyFolderTree(const fs::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st{};
    if (::fstat(fd, &st) == 0)
        EmptyFolderAt(fd, st.st_dev);
    ::close(fd);
}

} // namespace trovex
