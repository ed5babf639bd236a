// SPDX-License-Identifier: MIT
#include "shell/DesktopEntries.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

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
        const std::string rel = fs::relative(it->path(), root).string();
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

// Uninstall from the group's entry removes the entries, the group, the settings and the folder
// commands, and empties the program's own folder, but nothing of anyone else:
//
//   data/applications/other.desktop          someone else's entry      stays
//   data/applications/Brenvik/Other/x.desktop another program's group   stays (so Brenvik stays)
//   data/applications/Brenvik/Trovex/notes   a file in our group        goes with the group
//   config/Brenvik/Trovex.reg (+ .bad)        our settings               go, then config/Brenvik
//   prog/.trovex-owned  prog/trovex  prog/lang/a.lng  prog/deep/er/f   files go, folders stay
//   prog/out -> outside/     prog/keep -> outside/keep.txt            links go, targets stay
TEST(DesktopEntriesTest, UninstallRemovesOnlyWhatIsTheProgramsOwn)
{
    TTempTree tree;
    TDesktopHome home(tree);
    const fs::path data(home.Data);
    const std::string exe = tree.AddFile("prog/trovex", "ELF");
    tree.AddFile("prog/.trovex-owned");
    tree.AddFile("prog/lang/a.lng", "x");
    tree.AddFile("prog/deep/er/f", "x");
    tree.AddFile("outside/keep.txt", "keep");
    tree.AddFile("outside/inner/file.txt", "keep");
    tree.AddLink("prog/out", tree.Path("outside"));
    tree.AddLink("prog/keep", tree.Path("outside/keep.txt"));
    tree.AddFile("data/applications/other.desktop", "[Desktop Entry]\n");
    tree.AddFile("data/applications/Brenvik/Other/x.desktop", "[Desktop Entry]\n");
    tree.AddFile("config/Brenvik/Trovex.reg", "Windows Registry Editor Version 5.00\n");
    tree.AddFile("config/Brenvik/Trovex.reg.bad", "damaged");

    InstallDesktopEntries(exe);
    tree.AddFile("data/applications/Brenvik/Trovex/notes", "x");
    EXPECT_TRUE(UninstallDesktopEntries(exe));

    EXPECT_EQ(Names(Snapshot(data)),
              (std::vector<std::string>{"applications/Brenvik/Other/x.desktop", "applications/other.desktop"}));
    EXPECT_FALSE(fs::exists(data / "applications/Brenvik/Trovex"));
    EXPECT_FALSE(fs::exists(fs::path(home.Config) / "Brenvik"));
    EXPECT_TRUE(Snapshot(tree.Path("prog")).empty());
    for (const char* folder : {"prog", "prog/lang", "prog/deep/er"})
        EXPECT_TRUE(fs::is_directory(tree.Path(folder))) << folder;
    EXPECT_EQ(ReadFile(tree.Path("outside/keep.txt")), "keep");
    EXPECT_EQ(ReadFile(tree.Path("outside/inner/file.txt")), "keep");

    // With the maker's folder holding nothing else, it goes too.
    fs::remove_all(data / "applications/Brenvik/Other");
    InstallDesktopEntries(exe);
    UninstallDesktopEntries(exe);
    EXPECT_FALSE(fs::exists(data / "applications/Brenvik"));
}

// The program's folder is emptied only when it is a real folder holding the marker file, and never
// when it is the home folder; a group folder that is a link is not walked into.
TEST(DesktopEntriesTest, OwnershipGuardTable)
{
    struct Case
    {
        const char* what;
        std::function<void(TTempTree&)> prepare;
        bool emptied;
    };
    const Case cases[] = {
        {"marker", [](TTempTree& t) { t.AddFile("prog/.trovex-owned"); }, true},
        {"no marker", [](TTempTree&) {}, false},
        {"marker is a link", [](TTempTree& t) { t.AddLink("prog/.trovex-owned", t.AddFile("elsewhere")); }, false},
        {"marker is a folder", [](TTempTree& t) { t.AddFolder("prog/.trovex-owned"); }, false},
        {"program folder is home",
         [](TTempTree& t) {
             t.AddFile("prog/.trovex-owned");
             ::setenv("HOME", t.Path("prog").c_str(), 1);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTempTree tree;
        TDesktopHome home(tree);
        const std::string exe = tree.AddFile("prog/trovex", "ELF");
        tree.AddFile("prog/data.txt", "x");
        c.prepare(tree);
        EXPECT_EQ(UninstallDesktopEntries(exe), c.emptied);
        EXPECT_EQ(fs::exists(tree.Path("prog/data.txt")), !c.emptied);
        EXPECT_EQ(fs::exists(exe), !c.emptied);
    }

    // The group folder replaced by a link to a folder of the user's: its files stay.
    TTempTree tree;
    TDesktopHome home(tree);
    tree.AddFile("mine/precious.txt", "keep");
    tree.AddLink("data/applications/Brenvik/Trovex", tree.Path("mine"));
    UninstallDesktopEntries(tree.AddFile("prog/trovex"));
    EXPECT_EQ(ReadFile(tree.Path("mine/precious.txt")), "keep");
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
