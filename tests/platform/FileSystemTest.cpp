// SPDX-License-Identifier: MIT
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

TEST(FileSystemTest, ListingPutsDotsFirstThenFoldedNameOrder)
{
    TTempTree tree;
    // Windows keeps one of two names that differ only in case: there the order is shown without twins.
    const std::vector<const char*> made = trovex::test::OnWindows
                                              ? std::vector<const char*>{"b", "a_x", "A", "_z", "Ё", "ab", "10", "9", "Cc"}
                                              : std::vector<const char*>{"b", "B", "a_x", "A", "_z", "Ё", "a", "ab", "10", "9"};
    for (const char* name : made)
        tree.AddFile(name);
    std::vector<TDirEntry> entries;
    ASSERT_TRUE(ReadFolder(tree.Root(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.Name);
    // Letters fold to upper case, so "_" (0x5F) sorts after them; ties go byte-wise ("A" < "a").
    const std::vector<std::string> expected =
        trovex::test::OnWindows
            ? std::vector<std::string>{".", "..", "10", "9", "A", "ab", "a_x", "b", "Cc", "_z", "Ё"}
            : std::vector<std::string>{".", "..", "10", "9", "A", "a", "ab", "a_x", "B", "b", "_z", "Ё"};
    EXPECT_EQ(names, expected);
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

// A file's local time, and a date picked to select it, use the offset in force on that file's
// date: in Berlin a June file written at 08:00 is shown at 08:00 and selected by 08:00 whatever
// the season the search runs in.
TEST(FileSystemTest, LocalTimeFollowsSummerTimeOfTheDate)
{
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
#ifdef _WIN32
    // The zone is the process's own from its start: the test list runs this again under TZ.
    if (before != "Europe/Berlin")
        GTEST_SKIP() << "runs under TZ=Europe/Berlin";
#else
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
#endif
    struct Case
    {
        TDateTime local;
        std::int64_t unix; // the same moment in UTC
    };
    const Case cases[] = {
        {{2019, 6, 15, 8, 0, 0, 0}, 1560578400},   // summer: UTC+2
        {{2019, 12, 15, 8, 0, 0, 0}, 1576393200},  // winter: UTC+1
        {{2024, 3, 31, 23, 59, 59, 0}, 1711922399}, // the day summer time began
        {{2024, 4, 1, 0, 0, 0, 0}, 1711922400},
        {{2024, 10, 27, 12, 0, 0, 0}, 1730026800},  // the day it ended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unix);
        EXPECT_EQ(LocalToFileTime(c.local), UnixToFileTime(c.unix, 0));
        EXPECT_EQ(FileTimeToLocal(UnixToFileTime(c.unix, 0)), c.local);
    }
#ifndef _WIN32
    if (saved)
        ::setenv("TZ", before.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
#endif
}
