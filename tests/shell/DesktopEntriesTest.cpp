// SPDX-License-Identifier: MIT
#include "shell/DesktopEntries.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;
using test::TTempTree;

// Points the data, config and home folders at the temporary tree for one test, so nothing is written
// into a real home; the old values come back afterwards.
class TDesktopHome
{
public:
    explicit TDesktopHome(TTempTree& tree)
        : Data(tree.AddFolder("data")), Config(tree.AddFolder("config")), Home(tree.AddFolder("home"))
    {
        for (const auto& [name, value] : {std::pair{"XDG_DATA_HOME", Data}, {"XDG_CONFIG_HOME", Config}, {"HOME", Home}}) {
            const char* old = std::getenv(name);
            FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::setenv(name, value.c_str(), 1);
        }
    }
    ~TDesktopHome()
    {
        for (const auto& [name, old] : FSaved) {
            if (old)
                ::setenv(name.c_str(), old->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    const std::string Data;
    const std::string Config;
    const std::string Home;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

const std::vector<std::string> AllEntries = {
    "applications/Brenvik/Trovex/Marlix.desktop",
    "applications/Brenvik/Trovex/Uninstall.desktop",
    "applications/Marlix.desktop",
    "file-manager/actions/trovex.desktop",
    "kio/servicemenus/trovex.desktop",
    "nautilus/scripts/File Trovex...",
    "nemo/actions/trovex.nemo_action",
};
const std::vector<std::string> FolderActionEntries = {
    "file-manager/actions/trovex.desktop",
    "kio/servicemenus/trovex.desktop",
    "nautilus/scripts/File Trovex...",
    "nemo/actions/trovex.nemo_action",
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every file below `root` (links not followed) with its bytes and permission bits.
std::map<std::string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            files[rel] = "-> " + fs::read_symlink(it->path()).string();
        else if (it->is_regular_file())
            files[rel] = std::to_string(static_cast<int>(it->status().permissions()) & 0777) + " " + ReadFile(it->path());
    }
    return files;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& files)
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
        names.push_back(name);
    return names;
}

// The raw (still escaped) value of a key in a group of a key file.
std::string RawValue(const std::string& text, const std::string& group, const std::string& key)
{
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[')
            inGroup = line == "[" + group + "]";
        else if (inGroup && line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    }
    return "<missing " + group + "/" + key + ">";
}

struct TRun
{
    int Status = -1;
    std::string Output;
};

// Runs a program found on PATH in `cwd`, collecting stdout and stderr; Status is the exit code.
TRun RunProgram(const std::vector<std::string>& argv, const std::string& cwd = {})
{
    int pipeFd[2];
    if (::pipe(pipeFd) != 0)
        return {};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFd[1], 1);
        ::dup2(pipeFd[1], 2);
        ::close(pipeFd[0]);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    TRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFd[0], buffer, sizeof buffer)) > 0;)
        run.Output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool OnPath(const std::string& program)
{
    return RunProgram({"sh", "-c", "command -v \"$0\" >/dev/null", program}).Status == 0;
}

// A stand-in for the program that records the arguments it was started with, NUL-separated.
struct TFakeProgram
{
    std::string Exe;
    std::string ArgsFile;

    explicit TFakeProgram(TTempTree& tree)
    {
        ArgsFile = tree.Path("args");
        // Quotes, a dollar, a backslash and spaces: each launcher must pass it untouched. (No '%':
        // GLib refuses to load an entry whose program path holds one, however it is escaped.)
        Exe = tree.AddFile("My Apps/it's \"tro$\\vex\"",
                           "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + ArgsFile + ".tmp' && mv '" + ArgsFile + ".tmp' '" +
                               ArgsFile + "'\n");
        fs::permissions(Exe, fs::perms::owner_all);
    }

    /// The arguments of the next start, waiting for the (possibly detached) start to happen.
    std::optional<std::vector<std::string>> TakeArgs() const
    {
        for (int i = 0; i < 200 && !fs::exists(ArgsFile); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        if (!fs::exists(ArgsFile))
            return std::nullopt;
        std::vector<std::string> args;
        std::string all = ReadFile(ArgsFile), arg;
        for (char c : all) {
            if (c == '\0') {
                args.push_back(arg);
                arg.clear();
            } else {
                arg += c;
            }
        }
        fs::remove(ArgsFile);
        return args;
    }
};

using TArgs = std::vector<std::string>;

// Install writes exactly the entries of the mapping with their names and captions, and a second
// install leaves the same single set.
TEST(DesktopEntriesTest, InstallTwiceLeavesOneSet)
{
    TTempTree tree;
    TDesktopHome home(tree);
    TFakeProgram program(tree);
    InstallDesktopEntries(program.Exe);
    const auto first = Snapshot(home.Data);
    EXPECT_EQ(Names(first), AllEntries);
    InstallDesktopEntries(program.Exe);
    EXPECT_EQ(Snapshot(home.Data), first);

    struct Case
    {
        const char* file;
        const char* group;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"applications/Marlix.desktop", "Desktop Entry", "Name", "File Trovex"},
        {"applications/Brenvik/Trovex/Marlix.desktop", "Desktop Entry", "Name", "File Trovex"},
        {"applications/Brenvik/Trovex/Uninstall.desktop", "Desktop Entry", "Name", "Uninstall File Trovex"},
        {"kio/servicemenus/trovex.desktop", "Desktop Action TrovexFolder", "Name", "File Trovex..."},
        {"kio/servicemenus/trovex.desktop", "Desktop Entry", "MimeType", "inode/directory;"},
        {"file-manager/actions/trovex.desktop", "Desktop Entry", "Name", "File Trovex..."},
        {"file-manager/actions/trovex.desktop", "X-Action-Profile TrovexFolder", "MimeTypes", "inode/directory;"},
        {"nemo/actions/trovex.nemo_action", "Nemo Action", "Name", "File Trovex..."},
        {"nemo/actions/trovex.nemo_action", "Nemo Action", "Extensions", "dir;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.key);
        EXPECT_EQ(RawValue(ReadFile(fs::path(home.Data) / c.file), c.group, c.key), c.value);
    }
    // File managers only run an executable script or service menu.
    for (const char* file : {"nautilus/scripts/File Trovex...", "kio/servicemenus/trovex.desktop"})
        EXPECT_NE(fs::status(fs::path(home.Data) / file).permissions() & fs::perms::owner_exec, fs::perms::none);
}

// Every desktop entry passes desktop-file-validate. The KDE service menu and the FileManager-Actions
// entry use types of their own ("Service", "Action") with their own keys; only the complaints about
// those extensions are accepted for them.
TEST(DesktopEntriesTest, EveryDesktopFileValidates)
{
    ASSERT_TRUE(OnPath("desktop-file-validate"))
        << "desktop-file-validate is missing: install the desktop-file-utils package";
    TTempTree tree;
    TDesktopHome home(tree);
    TFakeProgram program(tree);
    InstallDesktopEntries(program.Exe);
    const std::vector<std::string> extensionErrors = {
        "is not a registered type value",
        "keys extending the format should start with \"X-\"",
        "while this key is only valid for type \"Application\"",
    };
    int validated = 0;
    for (const std::string& rel : AllEntries) {
        if (fs::path(rel).extension() != ".desktop")
            continue;
        SCOPED_TRACE(rel);
        ++validated;
        const TRun run = RunProgram({"desktop-file-validate", (fs::path(home.Data) / rel).string()});
        const bool extended = rel.rfind("applications/", 0) != 0;
        if (!extended) {
            EXPECT_EQ(run.Status, 0);
            EXPECT_EQ(run.Output, "");
            continue;
        }
        std::istringstream lines(run.Output);
        for (std::string line; std::getline(lines, line);) {
            bool accepted = line.find("error:") == std::string::npos;
            for (const std::string& known : extensionErrors)
                accepted = accepted || line.find(known) != std::string::npos;
            EXPECT_TRUE(accepted) << line;
        }
    }
    EXPECT_EQ(validated, 5);
}

// The launchers start the program as the entries say: the menu entry with no argument, the group's
// uninstall entry with "-u", and every folder command with "-F" and the folder as one argument,
// however many spaces and quotes its path holds.
TEST(DesktopEntriesTest, LaunchersPassTheFolderAsOneArgument)
{
    TTempTree tree;
    TDesktopHome home(tree);
    TFakeProgram program(tree);
    InstallDesktopEntries(program.Exe);
    const std::string folder = tree.AddFolder("Folder with  two spaces & 'quotes' $HOME %f");
    const std::string file = tree.AddFile("Folder with  two spaces & 'quotes' $HOME %f/inside.txt", "x");
    const fs::path data(home.Data);

    // Nautilus runs a script in the open folder with the selected names, relative, as arguments.
    const std::string script = (data / "nautilus/scripts/File Trovex...").string();
    struct ScriptCase
    {
        const char* what;
        std::vector<std::string> argv;
        std::string cwd;
        TArgs expected;
    };
    const ScriptCase scriptCases[] = {
        {"folder selected", {script, fs::path(folder).filename().string()}, tree.Root(), {"-F", folder}},
        {"nothing selected", {script}, folder, {"-F", folder}},
        {"file selected", {script, "inside.txt"}, folder, {"-F", folder}},
    };
    for (const ScriptCase& c : scriptCases) {
        SCOPED_TRACE(c.what);
        const TRun run = RunProgram(c.argv, c.cwd);
        EXPECT_EQ(run.Status, 0) << run.Output;
        EXPECT_EQ(program.TakeArgs(), c.expected);
    }
    (void)file;

    if (!OnPath("gio"))
        GTEST_SKIP() << "gio is missing: the desktop-entry launches were not run";
    // GLib's launcher reads Exec lines by the desktop-entry rules, as KDE and FileManager-Actions do.
    // The folder commands sit in groups of their own formats, so their Exec line is launched from a
    // probe entry that carries it unchanged.
    auto probe = [&](const std::string& rel, const std::string& group) {
        const std::string exec = RawValue(ReadFile(data / rel), group, "Exec");
        return tree.AddFile("probe/" + fs::path(rel).parent_path().parent_path().string() + ".desktop",
                            "[Desktop Entry]\nType=Application\nName=Probe\nExec=" + exec + "\n");
    };
    struct LaunchCase
    {
        const char* what;
        std::string entry;
        std::vector<std::string> files;
        TArgs expected;
    };
    const LaunchCase launchCases[] = {
        {"start menu", (data / "applications/Marlix.desktop").string(), {}, {}},
        {"group entry", (data / "applications/Brenvik/Trovex/Marlix.desktop").string(), {}, {}},
        {"group uninstall entry", (data / "applications/Brenvik/Trovex/Uninstall.desktop").string(), {}, {"-u"}},
        {"KDE service menu", probe("kio/servicemenus/trovex.desktop", "Desktop Action TrovexFolder"), {folder}, {"-F", folder}},
        {"file-manager action", probe("file-manager/actions/trovex.desktop", "X-Action-Profile TrovexFolder"), {folder},
         {"-F", folder}},
    };
    for (const LaunchCase& c : launchCases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv = {"gio", "launch", c.entry};
        argv.insert(argv.end(), c.files.begin(), c.files.end());
        const TRun run = RunProgram(argv);
        EXPECT_EQ(run.Status, 0) << run.Output;
        EXPECT_EQ(program.TakeArgs(), c.expected);
    }
}

// A marker of the program's own folder listing `files` (relative) and `links` (absolute).
std::string Manifest(const std::vector<std::string>& files, const std::vector<std::string>& links = {})
{
    std::string text = std::string(OwnedFolderHeader) + "\n";
    for (const std::string& f : files)
        text += "file " + f + "\n";
    for (const std::string& l : links)
        text += "link " + l + "\n";
    return text;
}

// Uninstall from the group's entry removes the entries, the group, the settings and the folder
// commands with the folders install made for them, and what the installation listed in the
// program's own folder, but nothing of anyone else:
//
//   data/applications/other.desktop           someone else's entry        stays
//   data/applications/Brenvik/Other/x.desktop another program's group     stays (so Brenvik stays)
//   data/applications/Brenvik/Trovex/notes    a file in our group         goes with the group
//   data/kio/servicemenus/theirs.desktop      another service menu        stays (so its folder does)
//   config/Brenvik/Trovex.reg (+ .bad, .bad.1) our settings               go, then config/Brenvik
//   trovex/trovex trovex/lang/a.lng trovex/deep/er/f   listed files       go, folders stay
//   trovex/notes.txt  trovex/lang/mine.lng    the user's, not listed      stay
//   trovex/out -> outside/  (listed as out/keep.txt)  a link on the way   not followed
//   bin/trovex -> ../trovex/trovex            listed link, dangling now   goes
//   bin/mine -> ../trovex/notes.txt, bin/tool listed but not dangling / not a link: stay
TEST(DesktopEntriesTest, UninstallRemovesOnlyWhatIsTheProgramsOwn)
{
    TTempTree tree;
    TDesktopHome home(tree);
    const fs::path data(home.Data);
    const std::string exe = tree.AddFile("trovex/trovex", "ELF");
    tree.AddFile("trovex/lang/a.lng", "x");
    tree.AddFile("trovex/deep/er/f", "x");
    tree.AddFile("trovex/notes.txt", "mine");
    tree.AddFile("trovex/lang/mine.lng", "mine");
    tree.AddFile("outside/keep.txt", "keep");
    tree.AddLink("trovex/out", tree.Path("outside"));
    tree.AddLink("bin/trovex", "../trovex/trovex");
    tree.AddLink("bin/mine", tree.Path("trovex/notes.txt"));
    tree.AddFile("bin/tool", "mine");
    tree.AddFile("trovex/.trovex-owned",
                 Manifest({"trovex", "lang/a.lng", "deep/er/f", "out/keep.txt", "gone.lng"},
                          {tree.Path("bin/trovex"), tree.Path("bin/mine"), tree.Path("bin/tool")}));
    tree.AddFile("data/applications/other.desktop", "[Desktop Entry]\n");
    tree.AddFile("data/applications/Brenvik/Other/x.desktop", "[Desktop Entry]\n");
    tree.AddFile("data/kio/servicemenus/theirs.desktop", "[Desktop Entry]\n");
    tree.AddFile("config/Brenvik/Trovex.reg", "Windows Registry Editor Version 5.00\n");
    tree.AddFile("config/Brenvik/Trovex.reg.bad", "damaged");
    tree.AddFile("config/Brenvik/Trovex.reg.bad.1", "damaged again");

    InstallDesktopEntries(exe);
    tree.AddFile("data/applications/Brenvik/Trovex/notes", "x");
    EXPECT_TRUE(UninstallDesktopEntries(exe));

    EXPECT_EQ(Names(Snapshot(data)), (std::vector<std::string>{"applications/Brenvik/Other/x.desktop", "applications/other.desktop",
                                                               "kio/servicemenus/theirs.desktop"}));
    EXPECT_FALSE(fs::exists(data / "applications/Brenvik/Trovex"));
    for (const char* folder : {"nemo", "nautilus", "file-manager"})
        EXPECT_FALSE(fs::exists(data / folder)) << folder;
    EXPECT_FALSE(fs::exists(fs::path(home.Config) / "Brenvik"));
    EXPECT_EQ(Names(Snapshot(tree.Path("trovex"))), (std::vector<std::string>{"lang/mine.lng", "notes.txt", "out"}));
    for (const char* folder : {"trovex", "trovex/lang", "trovex/deep/er"})
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(tree.Path(folder)))) << folder;
    EXPECT_EQ(ReadFile(tree.Path("outside/keep.txt")), "keep");
    EXPECT_EQ(Names(Snapshot(tree.Path("bin"))), (std::vector<std::string>{"mine", "tool"}));

    // With the maker's folder holding nothing else, it goes too.
    fs::remove_all(data / "applications/Brenvik/Other");
    InstallDesktopEntries(exe);
    UninstallDesktopEntries(exe);
    EXPECT_FALSE(fs::exists(data / "applications/Brenvik"));
}

// A file of the user's that has the name of one of our entries is not ours: neither uninstall nor
// unchecking an option removes it.
TEST(DesktopEntriesTest, UsersFilesWithOurNamesStay)
{
    TTempTree tree;
    TDesktopHome home(tree);
    const fs::path data(home.Data);
    const std::string exe = tree.AddFile("prog/trovex");
    std::vector<std::string> own = FolderActionEntries;
    own.push_back("applications/Marlix.desktop");
    for (const auto& update : {std::function<void()>([&] { UninstallDesktopEntries(exe); }),
                               std::function<void()>([&] {
                                   UpdateFolderActions(false, exe);
                                   UpdateMainMenuEntry(false, exe);
                               })}) {
        for (const std::string& rel : own)
            tree.AddFile("data/" + rel, "#!/bin/sh\n# my own script, same name\n");
        const auto before = Snapshot(data);
        update();
        EXPECT_EQ(Snapshot(data), before);
    }
}

// The program's folder gives up the files its marker lists only when it is a folder of the
// program's own, reached without a link: never the root, home, a folder above home or above (or
// at) any XDG folder, nor a folder not named for the program. Listed paths that leave the folder
// or pass through a link are passed over.
TEST(DesktopEntriesTest, OwnershipGuardTable)
{
    struct Case
    {
        const char* what;
        std::string folder; // of the program, relative to the tree
        std::function<void(TTempTree&, const std::string& folder)> prepare;
        bool owned;
    };
    auto marker = [](TTempTree& t, const std::string& f) {
        t.AddFile(f + "/.trovex-owned", Manifest({"trovex", "data.txt", "../outside/keep.txt", "/" + t.Path("outside/keep.txt"),
                                                  "out/keep.txt", "./data.txt", "sub/../data.txt"}));
        t.AddLink(f + "/out", t.Path("outside"));
    };
    const Case cases[] = {
        {"marker", "trovex", marker, true},
        {"named Trovex-0.1", "opt/Trovex-0.1", marker, true},
        {"no marker", "trovex", [](TTempTree&, const std::string&) {}, false},
        {"marker is a link",
         "trovex",
         [](TTempTree& t, const std::string& f) { t.AddLink(f + "/.trovex-owned", t.AddFile("elsewhere", Manifest({"trovex", "data.txt"}))); },
         false},
        {"marker is a folder", "trovex", [](TTempTree& t, const std::string& f) { t.AddFolder(f + "/.trovex-owned"); }, false},
        {"marker without a manifest",
         "trovex",
         [](TTempTree& t, const std::string& f) { t.AddFile(f + "/.trovex-owned", "This folder belongs to Trovex; uninstalling empties it.\n"); },
         true},
        {"not named for the program", "prog", marker, false},
        {"program folder is home",
         "trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             ::setenv("HOME", t.Path(f).c_str(), 1);
         },
         false},
        {"folder above home",
         "trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             ::setenv("HOME", t.AddFolder(f + "/users/me").c_str(), 1);
         },
         false},
        {"folder above an XDG folder outside home",
         "trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             ::setenv("XDG_DATA_HOME", t.AddFolder(f + "/share").c_str(), 1);
         },
         false},
        {"an XDG folder itself",
         "trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             ::setenv("XDG_CONFIG_HOME", t.Path(f).c_str(), 1);
         },
         false},
        {"folder above one of XDG_DATA_DIRS",
         "trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             ::setenv("XDG_DATA_DIRS", ("/usr/share:" + t.AddFolder(f + "/sys/share")).c_str(), 1);
         },
         false},
        {"a package's folder with a marker left by an earlier installation",
         "usr/lib/trovex",
         [&](TTempTree& t, const std::string& f) {
             marker(t, f);
             t.AddFile(f + "/installed-by-package", "");
         },
         false},
        {"a link on the way",
         "via/trovex",
         [&](TTempTree& t, const std::string&) {
             marker(t, "real/trovex");
             t.AddFile("real/trovex/trovex", "ELF");
             t.AddFile("real/trovex/data.txt", "x");
             fs::remove_all(t.Path("via"));
             t.AddLink("via", t.Path("real"));
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTempTree tree;
        TDesktopHome home(tree);
        const char* dirs = std::getenv("XDG_DATA_DIRS");
        const std::string savedDirs = dirs ? dirs : "";
        const std::string exe = tree.AddFile(c.folder + "/trovex", "ELF");
        tree.AddFile(c.folder + "/data.txt", "x");
        tree.AddFile("outside/keep.txt", "keep");
        c.prepare(tree, c.folder);
        const bool hadMarker = fs::exists(fs::symlink_status(tree.Path(c.folder + "/.trovex-owned")));
        EXPECT_EQ(UninstallDesktopEntries(exe), c.owned);
        const bool removed = c.owned && std::string(c.what) != "marker without a manifest";
        EXPECT_EQ(fs::exists(tree.Path(c.folder + "/data.txt")), !removed);
        EXPECT_EQ(fs::exists(exe), !removed);
        EXPECT_EQ(fs::exists(fs::symlink_status(tree.Path(c.folder + "/.trovex-owned"))), hadMarker && !c.owned);
        EXPECT_EQ(ReadFile(tree.Path("outside/keep.txt")), "keep");
        if (dirs)
            ::setenv("XDG_DATA_DIRS", savedDirs.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_DIRS");
    }

    // The group folder, or the maker's folder above it, replaced by a link to a folder of the
    // user's: nothing below the link is touched.
    for (const char* linked : {"data/applications/Brenvik/Trovex", "data/applications/Brenvik"}) {
        SCOPED_TRACE(linked);
        TTempTree tree;
        TDesktopHome home(tree);
        tree.AddFile("mine/precious.txt", "keep");
        tree.AddFile("mine/Trovex/precious.txt", "keep");
        tree.AddLink(linked, tree.Path("mine"));
        UninstallDesktopEntries(tree.AddFile("prog/trovex"));
        EXPECT_EQ(ReadFile(tree.Path("mine/precious.txt")), "keep");
        EXPECT_EQ(ReadFile(tree.Path("mine/Trovex/precious.txt")), "keep");
    }
}

// The installation step itself: `cmake --install` into a real prefix writes the marker with the
// manifest of exactly what it installed and links the commands from the prefix's bin folder; the
// uninstall of that installation removes those and leaves the user's files beside them.
TEST(DesktopEntriesTest, InstallStepListsWhatUninstallRemoves)
{
    TTempTree tree;
    TDesktopHome home(tree);
    const std::string prefix = tree.AddFolder("prefix");
    const TRun install = RunProgram({TROVEX_CMAKE, "--install", TROVEX_BUILD_DIR, "--prefix", prefix});
    ASSERT_EQ(install.Status, 0) << install.Output;

    const fs::path folder = fs::path(prefix) / "lib" / "trovex";
    const TInstallManifest manifest = ParseInstallManifest(ReadFile(folder / ".trovex-owned"));
    std::vector<std::string> files = manifest.Files;
    std::sort(files.begin(), files.end());
    auto installed = Names(Snapshot(folder));
    installed.erase(std::find(installed.begin(), installed.end(), ".trovex-owned"));
    EXPECT_EQ(files, installed);
    EXPECT_NE(std::find(files.begin(), files.end(), "trovex"), files.end());
    EXPECT_EQ(manifest.Links, (std::vector<std::string>{prefix + "/bin/trovex", prefix + "/bin/trovex-cli"}));
    EXPECT_EQ(fs::read_symlink(prefix + "/bin/trovex"), folder / "trovex");

    tree.AddFile("prefix/lib/trovex/notes.txt", "mine");
    tree.AddFile("prefix/bin/mytool", "mine");
    EXPECT_TRUE(UninstallDesktopEntries((folder / "trovex").string()));
    EXPECT_EQ(Names(Snapshot(folder)), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(Names(Snapshot(prefix + "/bin")), std::vector<std::string>{"mytool"});
}

// The program's folder must be a folder of its own: a shared one such as bin is refused when the
// build is configured.
TEST(DesktopEntriesTest, InstallDirMustBeTheProgramsOwn)
{
    const std::pair<const char*, bool> cases[] = {
        {"lib/trovex", true}, {"/opt/trovex", true}, {"opt/Trovex-0.1", true}, {"bin", false}, {"lib", false},
        {"/usr/local/bin", false}, {".", false}, {"", false}, {"trovex/..", false}, {"trovex/bin", false},
    };
    for (const auto& [dir, accepted] : cases) {
        SCOPED_TRACE(dir);
        const TRun run = RunProgram({TROVEX_CMAKE, std::string("-DTROVEX_INSTALL_DIR=") + dir, "-P",
                                     std::string(TROVEX_SOURCE_DIR) + "/cmake/TrovexInstallDir.cmake"});
        EXPECT_EQ(run.Status == 0, accepted) << run.Output;
    }
}

// Each option box removes and writes back its own entries and nothing else; the folder commands go
// even when another copy of the program wrote them meanwhile.
TEST(DesktopEntriesTest, OptionsTouchOnlyTheirOwnEntries)
{
    struct Case
    {
        const char* what;
        std::function<void(bool, const std::string&)> update;
        std::vector<std::string> own;
    };
    const Case cases[] = {
        {"Add link to Main menu", UpdateMainMenuEntry, {"applications/Marlix.desktop"}},
        {"Add to Shell menu", UpdateFolderActions, FolderActionEntries},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTempTree tree;
        TDesktopHome home(tree);
        TFakeProgram program(tree);
        InstallDesktopEntries(program.Exe);
        const auto installed = Snapshot(home.Data);
        c.update(false, program.Exe);
        auto expected = installed;
        for (const std::string& rel : c.own)
            expected.erase(rel);
        EXPECT_EQ(Snapshot(home.Data), expected);
        c.update(true, program.Exe);
        EXPECT_EQ(Snapshot(home.Data), installed);
    }
}

// Checking "Add link to Main menu" leaves an existing entry as it is and never recreates the group's.
TEST(DesktopEntriesTest, MainMenuOptionKeepsExistingEntry)
{
    TTempTree tree;
    TDesktopHome home(tree);
    const fs::path data(home.Data);
    const std::string exe = tree.AddFile("prog/trovex");
    InstallDesktopEntries(exe);
    tree.AddFile("data/applications/Marlix.desktop", "[Desktop Entry]\nName=Edited by the user\n");
    tree.SetTime("data/applications/Marlix.desktop", test::LocalTime(2020, 1, 2));
    const auto before = fs::last_write_time(data / "applications/Marlix.desktop");
    fs::remove(data / "applications/Brenvik/Trovex/Marlix.desktop");
    UpdateMainMenuEntry(true, exe);
    EXPECT_EQ(ReadFile(data / "applications/Marlix.desktop"), "[Desktop Entry]\nName=Edited by the user\n");
    EXPECT_EQ(fs::last_write_time(data / "applications/Marlix.desktop"), before);
    EXPECT_FALSE(fs::exists(data / "applications/Brenvik/Trovex/Marlix.desktop"));
}

// A file manager's folder that cannot take the entry is reported by name, after the other file
// managers got theirs.
TEST(DesktopEntriesTest, UnwritableFolderCommandIsReported)
{
    TTempTree tree;
    TDesktopHome home(tree);
    TFakeProgram program(tree);
    tree.AddFile("data/nemo/actions", "a file where the folder belongs");
    const std::string nemo = (fs::path(home.Data) / "nemo/actions/trovex.nemo_action").string();
    try {
        UpdateFolderActions(true, program.Exe);
        ADD_FAILURE() << "no error raised";
    } catch (const EDesktopEntryError& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to set data for '" + nemo + "'");
    }
    for (const std::string& rel : FolderActionEntries)
        EXPECT_EQ(fs::exists(fs::path(home.Data) / rel), rel.rfind("nemo/", 0) != 0) << rel;
    EXPECT_THROW(InstallDesktopEntries(program.Exe), EDesktopEntryError);
    EXPECT_TRUE(fs::exists(fs::path(home.Data) / "applications/Brenvik/Trovex/Uninstall.desktop"));
}

} // namespace
} // namespace trovex
