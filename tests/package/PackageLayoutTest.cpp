// SPDX-License-Identifier: MIT
// The Debian package as dpkg unpacks it (TROVEX_PACKAGE_ROOT): the installed window's -i and -u
// still add and remove the entries of the current user, and -u never touches the package's own
// files, which belong to dpkg.
#include "shell/DesktopEntries.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;
using test::TTempTree;

fs::path PackageRoot()
{
    const char* root = std::getenv("TROVEX_PACKAGE_ROOT");
    return root ? fs::path(root) : fs::path();
}

// Every entry below `root` with what identifies it: kind, size, link target.
std::map<std::string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path rel = entry.path().lexically_relative(root); // never through a link
        if (entry.is_symlink())
            entries[rel.string()] = "link " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            entries[rel.string()] = "file " + std::to_string(entry.file_size());
        else
            entries[rel.string()] = "folder";
    }
    return entries;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A marker leaking into the package, or an uninstall that empties a folder it does not own, would
// delete the packaged program with the user's menu entries.
TEST(PackageLayoutTest, UninstallRemovesTheUsersEntriesAndNoPackageFile)
{
    const fs::path root = PackageRoot();
    ASSERT_FALSE(root.empty()) << "TROVEX_PACKAGE_ROOT must name the unpacked package";
    ASSERT_TRUE(fs::is_directory(root / "usr/lib/trovex")) << root;
    // The window knows itself by its real path: the link in /usr/bin resolved.
    const fs::path exe = fs::canonical(root / "usr/bin/trovex");
    ASSERT_EQ(exe, fs::canonical(root / "usr/lib/trovex/trovex"));
    const auto before = Snapshot(root);

    TTempTree home;
    ::setenv("XDG_DATA_HOME", home.AddFolder("data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", home.AddFolder("config").c_str(), 1);
    ::setenv("HOME", home.AddFolder("home").c_str(), 1);
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();

    InstallDesktopEntries(exe.string());
    ASSERT_TRUE(fs::exists(where.StartMenuEntry));
    EXPECT_NE(ReadFile(where.StartMenuEntry).find(exe.string()), std::string::npos) << ReadFile(where.StartMenuEntry);
    EXPECT_TRUE(fs::exists(where.GroupUninstallEntry));
    for (const fs::path& action : where.FolderActions())
        EXPECT_TRUE(fs::exists(action)) << action;
    std::ofstream(where.SettingsStore) << "Windows Registry Editor Version 5.00\n";

    EXPECT_FALSE(UninstallDesktopEntries(exe.string())) << "the package's folder was taken for the program's own";
    EXPECT_FALSE(fs::exists(where.StartMenuEntry));
    EXPECT_FALSE(fs::exists(where.GroupMainEntry));
    EXPECT_FALSE(fs::exists(where.GroupUninstallEntry));
    for (const fs::path& action : where.FolderActions())
        EXPECT_FALSE(fs::exists(action)) << action;
    EXPECT_FALSE(fs::exists(where.SettingsStore));
    EXPECT_EQ(Snapshot(root), before);
}

} // namespace
} // namespace trovex
