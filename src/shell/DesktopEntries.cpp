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

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <optional>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

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
    text += "Exec=" + EscapeValue(ExecArgument(exe, true) + " -F %f") + "\n";
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
    text += "Exec=" + EscapeValue(ExecArgument(exe, true) + " -F %f") + "\n";
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
    text += "Exec=" + EscapeValue(ExecArgument(exe, true, false) + " -F %F") + "\n";
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

// Opens `folder` one component at a time from the root, never following a link: a link anywhere
// on the way (a group folder, or one of its parents, swapped for a link to the user's files) makes
// the open fail, so nothing below it is touched. -1 when it fails.
int OpenFolderNoFollow(const fs::path& folder)
{
    std::error_code ec;
    const fs::path path = fs::absolute(folder, ec).lexically_normal();
    if (ec || path.empty())
        return -1;
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const fs::path& part : path.relative_path()) {
        if (fd < 0)
            break;
        const std::string name = part.string();
        if (name.empty())
            continue; // the empty part after a trailing '/'
        if (name == "." || name == "..") {
            ::close(fd);
            return -1;
        }
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

class TFd
{
public:
    explicit TFd(int fd) : FFd(fd) {}
    ~TFd()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

// Up to `limit` bytes of the regular file `name` in the folder `dirFd` (not through a link, never
// blocking on a FIFO); nullopt when it is anything else or cannot be read.
std::optional<std::string> ReadSmallFileAt(int dirFd, const std::string& name, std::size_t limit)
{
    TFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st{};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::string text;
    char buffer[8192];
    while (text.size() < limit) {
        const ssize_t n = ::read(fd.Get(), buffer, std::min(sizeof buffer, limit - text.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// Removes the entry at `file` (a link itself, never its target; no link on the way is followed); a
// missing one is no error.
void RemoveEntry(const fs::path& file)
{
    TFd dir(OpenFolderNoFollow(file.parent_path()));
    const std::string name = file.filename().string();
    struct stat st{};
    if (dir.Get() >= 0 && ::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(st.st_mode))
        ::unlinkat(dir.Get(), name.c_str(), 0);
}

// Removes `file` only when it is an entry this program wrote (a regular file carrying the install's
// comment): a file of the user's that happens to have the same name stays.
void RemoveOwnEntry(const fs::path& file)
{
    TFd dir(OpenFolderNoFollow(file.parent_path()));
    const std::string name = file.filename().string();
    if (dir.Get() < 0)
        return;
    const std::optional<std::string> text = ReadSmallFileAt(dir.Get(), name, 64 * 1024);
    if (text && text->find(OwnerComment) != std::string::npos)
        ::unlinkat(dir.Get(), name.c_str(), 0);
}

bool EntryExists(const fs::path& file)
{
    struct stat st{};
    return ::lstat(file.c_str(), &st) == 0;
}

void RemoveFolderIfEmpty(const fs::path& folder)
{
    TFd dir(OpenFolderNoFollow(folder.parent_path()));
    struct stat st{};
    const std::string name = folder.filename().string();
    if (dir.Get() >= 0 && ::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        ::unlinkat(dir.Get(), name.c_str(), AT_REMOVEDIR); // fails, as wanted, while anything is left in it
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
    for (const fs::path& file : where.FolderActions()) {
        RemoveOwnEntry(file);
        // The folder of the entry and the file manager's folder above it, which install may have
        // made: an empty folder holds nothing of anyone's.
        RemoveFolderIfEmpty(file.parent_path());
        RemoveFolderIfEmpty(file.parent_path().parent_path());
    }
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

fs::path NormalFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::path p = fs::absolute(folder, ec).lexically_normal();
    if (p.has_relative_path() && p.filename().empty())
        p = p.parent_path(); // "/a/b/" -> "/a/b"
    return p;
}

// True when `folder` is `other` or one of its ancestors; both absolute and normal.
bool IsSameOrAncestor(const fs::path& folder, const fs::path& other)
{
    auto f = folder.begin(), o = other.begin();
    for (; f != folder.end(); ++f, ++o) {
        if (f->empty())
            continue;
        if (o == other.end() || *f != *o)
            return false;
    }
    return true;
}

// The folders that hold the user's own files: home and every XDG_* folder (lists split at ':'), as
// given and with their links resolved, plus the default XDG folders below home.
std::vector<fs::path> UserFolders()
{
    std::vector<std::string> given = {HomeFolder()};
    if (const char* home = std::getenv("HOME"); home && *home)
        given.emplace_back(home);
    for (const char* rel : {".config", ".local/share", ".local/state", ".cache"})
        given.push_back(HomeFolder() + rel);
    for (char** env = environ; env && *env; ++env) {
        const std::string_view entry = *env;
        const std::size_t eq = entry.find('=');
        if (!entry.starts_with("XDG_") || eq == std::string_view::npos)
            continue;
        std::string_view value = entry.substr(eq + 1);
        while (!value.empty()) {
            const std::size_t colon = value.find(':');
            const std::string_view one = value.substr(0, colon);
            if (!one.empty() && one[0] == '/')
                given.emplace_back(one);
            value = colon == std::string_view::npos ? std::string_view() : value.substr(colon + 1);
        }
    }
    std::vector<fs::path> folders;
    for (const std::string& g : given) {
        folders.push_back(NormalFolder(g));
        std::error_code ec;
        const fs::path resolved = fs::weakly_canonical(g, ec);
        if (!ec)
            folders.push_back(NormalFolder(resolved));
    }
    return folders;
}

// A name the program's own folder carries: "trovex", "Trovex", "trovex-0.1" and the like.
bool NamedForTheProgram(const fs::path& folder)
{
    std::string name = folder.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.starts_with("trovex");
}

// A relative path of the manifest: no absolute path, no "." or ".." part, no empty part.
std::optional<std::vector<std::string>> ManifestParts(std::string_view rel)
{
    if (rel.empty() || rel.front() == '/')
        return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = rel.find('/', start);
        const std::string part(rel.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
        if (part.empty() || part == "." || part == "..")
            return std::nullopt;
        parts.push_back(part);
        if (slash == std::string_view::npos)
            return parts;
        start = slash + 1;
    }
}

// Removes the regular file at the relative path `parts` below `folderFd`, every folder on the way
// opened without following a link. Returns true when it is gone.
bool RemoveListedFile(int folderFd, const std::vector<std::string>& parts)
{
    int fd = ::dup(folderFd);
    for (std::size_t i = 0; i + 1 < parts.size() && fd >= 0; ++i) {
        const int next = ::openat(fd, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    TFd dir(fd);
    struct stat st{};
    if (dir.Get() < 0 || ::fstatat(dir.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    return ::unlinkat(dir.Get(), parts.back().c_str(), 0) == 0;
}

// Removes the link `link` when it points at one of the removed files of the program's folder
// (identified by `folderStat`) and so dangles now.
void RemoveDanglingLink(const fs::path& link, const struct stat& folderStat, const std::set<std::string>& removed)
{
    if (!link.is_absolute())
        return;
    TFd dir(OpenFolderNoFollow(link.parent_path()));
    const std::string name = link.filename().string();
    struct stat st{};
    if (dir.Get() < 0 || ::fstatat(dir.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return;
    char target[4096];
    const ssize_t n = ::readlinkat(dir.Get(), name.c_str(), target, sizeof target - 1);
    if (n <= 0)
        return;
    fs::path to(std::string(target, static_cast<std::size_t>(n)));
    if (to.is_relative())
        to = link.parent_path() / to;
    to = to.lexically_normal();
    struct stat targetFolder{};
    struct stat targetFile{};
    if (removed.count(to.filename().string()) == 0 || ::stat(to.parent_path().c_str(), &targetFolder) != 0 ||
        targetFolder.st_dev != folderStat.st_dev || targetFolder.st_ino != folderStat.st_ino ||
        ::stat(to.c_str(), &targetFile) == 0)
        return;
    ::unlinkat(dir.Get(), name.c_str(), 0);
}

} // namespace

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
    // A leading blank would be dropped as the space after '='.
    if (!out.empty() && out[0] == ' ')
        out.replace(0, 1, "\\s");
    return out;
}

std::string ExecArgument(std::string_view argument, bool alwaysQuote, bool fieldCodes)
{
    static constexpr std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";
    bool quote = alwaysQuote || argument.empty();
    for (char c : argument)
        quote = quote || Reserved.find(c) != std::string_view::npos;
    std::string out;
    if (quote)
        out += '"';
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out += '\\';
        else if (c == '%' && fieldCodes)
            out += '%';
        out += c;
    }
    if (quote)
        out += '"';
    return out;
}

bool CreateShortcut(const std::string& target, const fs::path& shortcutFile, std::string_view description,
                    std::string_view icon, const std::vector<std::string>& arguments)
{
    std::string exec = ExecArgument(target, true);
    for (const std::string& argument : arguments)
        exec += ' ' + ExecArgument(argument);
    // A menu entry must have a name; the program's own name is the natural one.
    const std::string name = description.empty() ? fs::path(target).filename().string() : std::string(description);

    std::string text = "[Desktop Entry]\n";
    text += OwnerComment;
    text += "Type=Application\n";
    text += "Name=" + EscapeValue(name) + "\n";
    text += "Exec=" + EscapeValue(exec) + "\n";
    if (!icon.empty())
        text += "Icon=" + EscapeValue(icon) + "\n";
    text += "Terminal=false\n";
    text += "Categories=Utility;\n";
    return WriteFileAtomic(shortcutFile, text, EntryMode);
}

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
    CreateShortcut(exe, where.StartMenuEntry, MainMenuName, MainIcon);
    std::error_code ec;
    fs::create_directory(where.MakerGroup, ec);
    fs::create_directory(where.ProgramGroup, ec);
    // Only into a group folder reached without a link: never into a folder of the user's.
    if (TFd group(OpenFolderNoFollow(where.ProgramGroup)); group.Get() >= 0) {
        CreateShortcut(exe, where.GroupMainEntry, MainMenuName, MainIcon);
        CreateShortcut(exe, where.GroupUninstallEntry, UninstallName, UninstallIcon, {"-u"});
    }
    WriteFolderActions(where, exe);
}

bool UninstallDesktopEntries(const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    RemoveOwnEntry(where.StartMenuEntry);
    EmptyFolderTree(where.ProgramGroup);
    RemoveEntry(where.SettingsStore);
    // The damaged stores kept beside it are settings too.
    RemoveEntry(where.SettingsStore.string() + ".bad");
    for (int n = 1; n < 10000 && EntryExists(where.SettingsStore.string() + ".bad." + std::to_string(n)); ++n)
        RemoveEntry(where.SettingsStore.string() + ".bad." + std::to_string(n));
    RemoveFolderIfEmpty(where.SettingsStore.parent_path());
    RemoveFolderActions(where);
    RemoveFolderIfEmpty(where.ProgramGroup);
    RemoveFolderIfEmpty(where.MakerGroup);

    if (exePath.empty())
        return false;
    return RemoveInstalledFiles(ProgramFolderOf(exePath));
}

fs::path ProgramFolderOf(const std::string& exePath)
{
    return exePath.empty() ? fs::path() : fs::path(AbsoluteExe(exePath)).parent_path();
}

void UpdateMainMenuEntry(bool add, const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    if (!add)
        RemoveOwnEntry(where.StartMenuEntry);
    else if (!EntryExists(where.StartMenuEntry))
        CreateShortcut(AbsoluteExe(exePath), where.StartMenuEntry, MainMenuName, MainIcon);
}

void UpdateFolderActions(bool add, const std::string& exePath)
{
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    if (add)
        WriteFolderActions(where, AbsoluteExe(exePath));
    else
        RemoveFolderActions(where);
}

namespace
{

// True when a package installed the program into `folder` (the package puts this file there): its
// files are the package manager's then, whatever marker an earlier installation by hand left.
bool InstalledByPackage(int dir)
{
    struct stat st{};
    return ::fstatat(dir, std::string(PackagedFolderMarker).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

std::string ProgramFolderRefusal(const fs::path& folder)
{
    if (folder.empty())
        return "the program's folder is not known";
    const fs::path path = NormalFolder(folder);
    // A marker put by mistake (or on purpose) into the root, home, a folder above home or above any
    // XDG folder, or any folder not named for the program, must not cost the user a file.
    if (path == path.root_path())
        return "it is the root folder";
    if (!NamedForTheProgram(path))
        return "the folder is not named for the program";
    for (const fs::path& user : UserFolders())
        if (IsSameOrAncestor(path, user))
            return "it holds the user's own folders";
    TFd dir(OpenFolderNoFollow(path));
    if (dir.Get() < 0)
        return std::string("the folder cannot be opened (") + std::strerror(errno) + ")";
    if (InstalledByPackage(dir.Get()))
        return "a package installed them: the package manager removes them";
    struct stat st{};
    if (::fstatat(dir.Get(), std::string(OwnedFolderMarker).c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return "it has no " + std::string(OwnedFolderMarker) + " marker of an installation";
    return {};
}

bool IsOwnedProgramFolder(const fs::path& folder)
{
    return ProgramFolderRefusal(folder).empty();
}

TInstallManifest ParseInstallManifest(std::string_view text)
{
    TInstallManifest manifest;
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            first = false;
            if (line != OwnedFolderHeader)
                return {};
            continue;
        }
        if (line.starts_with("file ") && ManifestParts(line.substr(5)))
            manifest.Files.emplace_back(line.substr(5));
        else if (line.starts_with("link /"))
            manifest.Links.emplace_back(line.substr(5));
    }
    return manifest;
}

bool RemoveInstalledFiles(const fs::path& folder)
{
    if (!IsOwnedProgramFolder(folder))
        return false;
    TFd dir(OpenFolderNoFollow(NormalFolder(folder)));
    struct stat folderStat{};
    if (dir.Get() < 0 || ::fstat(dir.Get(), &folderStat) != 0)
        return false;
    const std::optional<std::string> marker = ReadSmallFileAt(dir.Get(), std::string(OwnedFolderMarker), 1024 * 1024);
    if (!marker)
        return false;
    const TInstallManifest manifest = ParseInstallManifest(*marker);
    std::set<std::string> removed;
    for (const std::string& rel : manifest.Files) {
        const auto parts = ManifestParts(rel);
        if (parts && RemoveListedFile(dir.Get(), *parts) && parts->size() == 1)
            removed.insert(parts->front());
    }
    for (const std::string& link : manifest.Links)
        RemoveDanglingLink(fs::path(link), folderStat, removed);
    // The marker last, so an uninstall cut short can run again.
    ::unlinkat(dir.Get(), std::string(OwnedFolderMarker).c_str(), 0);
    return true;
}

void EmptyFolderTree(const fs::path& folder)
{
    int fd = OpenFolderNoFollow(folder);
    if (fd < 0)
        return;
    struct stat st{};
    if (::fstat(fd, &st) == 0)
        EmptyFolderAt(fd, st.st_dev);
    ::close(fd);
}

} // namespace trovex
