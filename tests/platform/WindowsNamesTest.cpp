// SPDX-License-Identifier: MIT
// Names as Windows has them: UTF-16 beyond any ANSI page, one name whatever its case, and
// characters no Windows name may hold.
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "search/FindFile.h"

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<TDirEntry> entries;
    EXPECT_TRUE(ReadFolder(folder, entries)) << folder;
    std::vector<std::string> names;
    for (const TDirEntry& e : entries)
        names.push_back(e.Name);
    return names;
}

} // namespace

// The ANSI page of the tests is 1251: none of these names fits it, yet each is listed, read and
// searched under its own UTF-8 name, never squeezed into '?'.
TEST(WindowsNamesTest, NamesOutsideTheAnsiPageKeepEveryCharacter)
{
    TROVEX_ONLY_ON_WINDOWS();
    TTempTree tree;
    const std::string names[] = {"中文.txt", "emoji-😀.txt", "Ελληνικά.txt", "ß-İ-ǅ.txt"};
    for (const std::string& name : names)
        tree.AddFile("sub/" + name, "needle in " + name);
    EXPECT_EQ(Names(tree.Path("sub/")), (std::vector<std::string>{".", "..", "emoji-😀.txt", "ß-İ-ǅ.txt",
                                                                  "Ελληνικά.txt", "中文.txt"}));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TFindData data;
        ASSERT_TRUE(ReadFindData(tree.Path("sub/" + name), data));
        EXPECT_EQ(data.Name, name);
        EXPECT_EQ(data.Size, 10 + name.size());
        TFileStream file(tree.Path("sub/" + name));
        std::string content(64, '\0');
        content.resize(file.Read(content.data(), content.size()));
        EXPECT_EQ(content, "needle in " + name);
    }

    TFindFile engine;
    engine.SetMask("*😀*;*中*");
    engine.SetFolder(tree.Root());
    engine.ContainingText = "NEEDLE";
    std::vector<std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
    engine.RunHere();
    EXPECT_EQ(found, (std::vector<std::string>{tree.Path("sub/emoji-😀.txt"), tree.Path("sub/中文.txt")}));
    EXPECT_EQ(engine.ErrorMessage(), "");
}

// Names that differ only in case are one name: a second write reaches the first file, the listing
// has it once under the case it was made with, and any spelling finds its record.
TEST(WindowsNamesTest, CaseInsensitiveNamesCollide)
{
    TROVEX_ONLY_ON_WINDOWS();
    TTempTree tree;
    tree.AddFile("Readme.TXT", "first");
    tree.AddFile("README.txt", "second, longer");
    tree.AddFile("Ёлка.txt", "x");
    tree.AddFile("ЁЛКА.TXT", "yy");
    EXPECT_EQ(Names(tree.Root()), (std::vector<std::string>{".", "..", "Readme.TXT", "Ёлка.txt"}));
    struct Case { const char* spelling; std::uint64_t size; };
    const Case cases[] = {{"readme.txt", 14}, {"README.TXT", 14}, {"ёлка.txt", 2}, {"ЁЛКА.txt", 2}};
    for (const Case& c : cases) {
        TFindData data;
        ASSERT_TRUE(ReadFindData(tree.Path(c.spelling), data)) << c.spelling;
        EXPECT_EQ(data.Size, c.size) << c.spelling;
    }
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    std::vector<std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.Name); };
    engine.RunHere();
    EXPECT_EQ(found, (std::vector<std::string>{"Readme.TXT", "Ёлка.txt"}));
}

// A path with a character Windows forbids in names is refused as absent or unreadable: no crash,
// no other file, and a run over it ends normally.
TEST(WindowsNamesTest, ForbiddenCharactersAreRefusedCleanly)
{
    TROVEX_ONLY_ON_WINDOWS();
    TTempTree tree;
    tree.AddFile("a.txt", "needle");
    for (const char* bad : {"a<b.txt", "a>b", "a|b", "a\"b", "a?b", "a*.txt", "a:b:c", "a\x01" "b"}) {
        SCOPED_TRACE(bad);
        const std::string path = tree.Path(bad);
        TFindData data;
        EXPECT_FALSE(ReadFindData(path, data));
        EXPECT_FALSE(FolderExists(path));
        EXPECT_THROW(TFileStream{path}, EReadError);
        std::vector<TDirEntry> entries;
        EXPECT_FALSE(ReadFolder(path + "\\", entries));

        TFindFile engine;
        engine.SetFolder(path);
        engine.ContainingText = "needle";
        int found = 0;
        engine.OnFound = [&](TFindFile&, const TFindFileInfo&) { ++found; };
        engine.RunHere();
        EXPECT_EQ(found, 0);
    }
    // In a list, such a path is only absent: the files around it are still reported.
    TFindFile engine;
    std::vector<std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
    engine.SearchList({tree.Path("a|b.txt"), tree.Path("a.txt")}, true);
    EXPECT_EQ(found, (std::vector<std::string>{tree.Path("a.txt")}));
}
