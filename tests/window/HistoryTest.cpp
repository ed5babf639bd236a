// SPDX-License-Identifier: MIT
// The history rules of the criteria boxes and the folder browser.
#include <gtest/gtest.h>

#include "window/History.h"

using namespace trovex;

using TStrings = std::vector<std::string>;

// Leaving a box puts its value first once, drops empty entries, and keeps the others in their order.
TEST(HistoryTest, LeavingABoxTable)
{
    struct Case
    {
        const char* What;
        TStrings Items;
        int Selected;
        const char* Text;
        TStrings After;
    };
    const Case cases[] = {
        {"new value on top", {"*.doc", "*.rtf"}, -1, "*.txt", {"*.txt", "*.doc", "*.rtf"}},
        {"typed twice stays once", {"*.txt", "*.doc"}, -1, "*.txt", {"*.txt", "*.doc"}},
        {"moved up from below", {"a", "b", "c"}, 2, "c", {"c", "a", "b"}},
        {"case counts", {"A.TXT"}, -1, "a.txt", {"a.txt", "A.TXT"}},
        {"empty entries go", {"", "a", ""}, -1, "b", {"b", "a"}},
        {"an empty value becomes an empty first entry", {"a"}, -1, "", {"", "a"}},
        {"every copy of the value goes", {"x", "a", "x"}, -1, "x", {"x", "a"}},
        {"bytes that are not UTF-8 compare as bytes", {"bad\xff"}, -1, "bad\xfe", {"bad\xfe", "bad\xff"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        const THistoryBox box = LeaveHistoryBox(c.Items, c.Selected, c.Text);
        EXPECT_EQ(box.Items, c.After);
        EXPECT_EQ(box.Current, 0);
    }
}

// A cancelled or vanished choice is refused and replaced by the fallback folder.
TEST(HistoryTest, BrowsedFolderTable)
{
    struct Case
    {
        const char* Chosen;
        bool Exists;
        const char* Folder;
        bool Refused;
    };
    const Case cases[] = {
        {"/srv/data", true, "/srv/data", false},
        {"", true, "/home/me/", true},
        {"/gone", false, "/home/me/", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Chosen);
        const TBrowsedFolder got = CheckBrowsedFolder(c.Chosen, c.Exists, "/home/me/");
        EXPECT_EQ(got.Folder, c.Folder);
        EXPECT_EQ(got.Refused, c.Refused);
    }
}
