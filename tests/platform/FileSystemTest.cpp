// SPDX-License-Identifier: MIT
#include "platform/FileSystem.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

TEST(FileSystemTest, ListingPutsDotsFirstThenFoldedNameOrder)
{
    TROVEX_SKIP_ON_WINDOWS("names that differ only in case are one name there");
    TTempTree tree;
    for (const char* name : {"b", "B", "a_x", "A", "_z", "Ё", "a", "ab", "10", "9"})
        tree.AddFile(name);
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(ReadFolder(tree.Root(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.Name);
    // Letters fold to upper case, so "_" (0x5F) sorts after them; ties go byte-wise ("A" < "a").
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "10", "9", "A", "a", "ab", "a_x", "B", "b", "_z", "Ё"}));
    EXPECT_FALSE(ReadFolder(tree.Path("missing/"), entries));
}

TEST(FileSystemTest, AttributesFollowTheEntryKind)
{
    TROVEX_SKIP_ON_WINDOWS("symbolic links made by symlink(), hidden by a leading dot, /dev/null");
    TTempTree tree;
    tree.AddFile("plain.txt", "abc");
    tree.AddFile(".hidden", "");
    tree.AddFolder("dir");
    tree.AddLink("to-dir", tree.Path("dir"));
    tree.AddLink("dangling", tree.Path("nothing"));
    struct Case { const char* name; std::uint32_t attributes; std::uint64_t size; };
    const Case cases[] = {
        {"plain.txt", faArchive, 3},
        {".hidden", faArchive | faHidden, 0},
        {"dir", faDirectory, 0},
        {"to-dir", faDirectory | faReparsePoint, 0},
        {"dangling", faReparsePoint, 0},
    };
    for (const Case& c : cases) {
        TFindData data;
        ASSERT_TRUE(ReadFindData(tree.Path(c.name), data)) << c.name;
        EXPECT_EQ(data.Attributes & ~faReadOnly, c.attributes) << c.name;
        EXPECT_EQ(data.Size, c.size) << c.name;
        EXPECT_EQ(data.Name, c.name);
    }
    TFindData data;
    EXPECT_FALSE(ReadFindData(tree.Path("vanished"), data));
    ASSERT_TRUE(ReadFindData("/dev/null", data));
    EXPECT_EQ(data.Attributes & faSysFile, faSysFile);
}

TEST(FileSystemTest, FileTimesRoundTripThroughLocalTime)
{
    EXPECT_EQ(UnixToFileTime(0, 0), 116444736000000000ULL);
    EXPECT_EQ(UnixToFileTime(1, 100), 116444736010000001ULL);
    TDateTime d{2024, 2, 29, 23, 59, 59, 9999999};
    EXPECT_EQ(FileTimeToLocal(LocalToFileTime(d)), d);
    TDateTime newYear{2000, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(FileTimeToLocal(LocalToFileTime(newYear)), newYear);
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
}
