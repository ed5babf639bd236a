// SPDX-License-Identifier: MIT
// Result rows without a view: the sort order of each column in both directions, the letter-case rule,
// tips, lazy records of files that changed or went, deferred types, and removal plans.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TempTree.h"
#include "window/ResultRows.h"

using namespace trovex;
using namespace trovex::test;

namespace
{

TFindFileInfo Found(const std::string& path, std::uint64_t size = 0, TFileTime written = 0, std::string foundText = {})
{
    TFindFileInfo info;
    info.FileName = path;
    info.Name = path.substr(path.find_last_of("/\\") + 1);
    info.FindData.Size = size;
    info.FindData.LastWriteTime = written;
    info.FindData.Name = info.Name;
    info.FoundText = std::move(foundText);
    info.Recorded = true;
    return info;
}

std::vector<std::string> Names(const TResultRows& rows)
{
    std::vector<std::string> names;
    for (int i = 0; i < rows.Count(); ++i)
        names.emplace_back(rows.Name(i));
    return names;
}

} // namespace

// Each column sorts by its own rule; descending is the exact reverse except among equal rows, which
// keep the order they were in.
TEST(ResultRowsTest, SortOrdersPerColumnAndDirection)
{
    struct Case
    {
        int Column;
        bool Ascending;
        std::vector<std::string> Names;
    };
    const Case cases[] = {
        {TResultRows::rcName, true, {"a.txt", "B.doc", "b.txt", "c", "Я.txt", "я.txt"}},
        {TResultRows::rcName, false, {"я.txt", "Я.txt", "c", "b.txt", "B.doc", "a.txt"}},
        {TResultRows::rcFolder, true, {"a.txt", "b.txt", "B.doc", "c", "я.txt", "Я.txt"}},
        {TResultRows::rcType, true, {"c", "B.doc", "b.txt", "a.txt", "я.txt", "Я.txt"}},
        {TResultRows::rcSize, true, {"c", "я.txt", "B.doc", "a.txt", "Я.txt", "b.txt"}},
        {TResultRows::rcSize, false, {"b.txt", "Я.txt", "a.txt", "B.doc", "я.txt", "c"}},
        {TResultRows::rcModified, true, {"Я.txt", "b.txt", "a.txt", "B.doc", "c", "я.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.Column) + (c.Ascending ? " up" : " down"));
        TResultRows rows;
        rows.Append(Found("/r/B/b.txt", 900, 300));
        rows.Append(Found("/r/a/a.txt", 20, 400));
        rows.Append(Found("/r/c/c", 0, 500));
        rows.Append(Found("/r/x/я.txt", 1, 600));
        rows.Append(Found("/r/b/B.doc", 10, 400));
        rows.Append(Found("/r/x2/Я.txt", 30, 100));
        rows.ApplyOrder(rows.SortOrder(c.Column, c.Ascending));
        EXPECT_EQ(Names(rows), c.Names);
    }
}

// A name that is a prefix of another comes first; only a-z fold, so "я" and "Я" stay apart.
TEST(ResultRowsTest, TextColumnsFoldOnlyAsciiLetters)
{
    struct Case
    {
        const char* A;
        const char* B;
        bool AFirst;
    };
    const Case cases[] = {
        {"abc", "ABCD", true}, {"ABCD", "abc", false}, {"b", "A", false}, {"Я", "я", true}, {"_", "a", false},
        {"verylongcommonprefix-a", "VERYLONGCOMMONPREFIX-B", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.A) + " ? " + c.B);
        TResultRows rows;
        rows.Append(Found(std::string("/f/") + c.B));
        rows.Append(Found(std::string("/f/") + c.A));
        rows.ApplyOrder(rows.SortOrder(TResultRows::rcName, true));
        EXPECT_EQ(rows.Name(0) == c.A, c.AFirst);
    }
}

// The cells and the tip of a row, with and without a type name and a found text.
TEST(ResultRowsTest, CellsAndTips)
{
    TFindFileInfo withMatch = Found("/d/report.final.doc", 1234, 0, "the needle");
    withMatch.FoundForm = "UTF-8";
    struct Case
    {
        TFindFileInfo Info;
        const char* TypeName;
        const char* Folder;
        const char* Type;
        const char* Size;
        const char* Tip;
    };
    const Case cases[] = {
        {withMatch, "", "/d/", "doc", "1234", "...the needle...\n(UTF-8)"},
        {Found("/d/README", 5, 0, "x"), "", "/d/", "", "5", "...x..."},
        {Found("/d/a.txt", 0), "Plain text document", "/d/", "Plain text document", "0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Info.FileName);
        TResultRows rows;
        rows.Append(c.Info, c.TypeName, 3);
        EXPECT_EQ(rows.Folder(0), c.Folder);
        EXPECT_EQ(rows.TypeCell(0), c.Type);
        EXPECT_EQ(rows.SizeCell(0), c.Size);
        EXPECT_EQ(rows.Tip(0), c.Tip);
        EXPECT_EQ(rows.Path(0), c.Info.FileName);
        EXPECT_EQ(rows.IconIndex(0), *c.TypeName ? 3 : -1);
        EXPECT_EQ(rows.Cells(0).FullPath(), c.Info.FileName);
    }
}

// A row found by name alone reads its record when first wanted: from the file as it is then, or none
// at all when the file has gone, which leaves its date and size empty.
TEST(ResultRowsTest, DeferredRecordsAreReadWhenWanted)
{
    TTempTree tree;
    const std::string kept = tree.AddFile("kept.txt", "12345");
    const std::string gone = tree.AddFile("gone.txt", "1");
    TResultRows rows;
    for (const std::string& path : {kept, gone}) {
        TFindFileInfo info = Found(path);
        info.Recorded = false;
        rows.Append(info);
    }
    std::filesystem::remove(tree.Path("gone.txt"));
    EXPECT_FALSE(rows.Gone(0));
    EXPECT_EQ(rows.SizeCell(0), "5");
    EXPECT_FALSE(rows.ModifiedCell(0).empty());
    EXPECT_TRUE(rows.Gone(1));
    EXPECT_EQ(rows.SizeCell(1), "");
    EXPECT_EQ(rows.ModifiedCell(1), "");
}

// Deferred types are asked once per row, in slices, and a sort by Type asks for the rest first.
TEST(ResultRowsTest, DeferredTypesAreAskedOncePerRow)
{
    TResultRows rows;
    int asked = 0;
    const TResultRows::TShellType text{"Text", 7};
    rows.SetTypeSource([&](std::string_view path, std::uint32_t) {
        ++asked;
        return path.ends_with(".txt") ? &text : nullptr;
    });
    for (int i = 0; i < 5; ++i)
        rows.AppendShellTyped(Found("/f/" + std::to_string(i) + (i % 2 ? ".txt" : ".bin")));
    EXPECT_EQ(asked, 0);
    EXPECT_FALSE(rows.LookUpTypes(std::chrono::steady_clock::now() + std::chrono::hours(1), 2));
    EXPECT_EQ(asked, 2);
    rows.ApplyOrder(rows.SortOrder(TResultRows::rcType, true));
    EXPECT_EQ(asked, 5);
    EXPECT_TRUE(rows.LookUpTypes(std::chrono::steady_clock::now(), 100));
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(rows.TypeCell(0), "bin");
    EXPECT_EQ(rows.IconIndex(0), -1);
    EXPECT_EQ(rows.TypeCell(4), "Text");
    EXPECT_EQ(rows.IconIndex(4), 7);
}

// Few runs of rows are removed run by run from the bottom; many scattered rows in one rearrangement
// that keeps the survivors in order. Either way exactly the asked rows go.
TEST(ResultRowsTest, RemovalPlansRemoveExactlyTheAskedRows)
{
    struct Case
    {
        std::vector<int> Remove;
        std::size_t Runs;
    };
    const Case cases[] = {
        {{}, 0},
        {{3, 1, 2, 3, 99, -1}, 1},
        {{0, 5, 6, 19}, 3},
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Remove.size());
        TResultRows rows;
        std::vector<std::string> expected;
        for (int i = 0; i < 20; ++i) {
            rows.Append(Found("/f/" + std::to_string(i)));
            if (std::find(c.Remove.begin(), c.Remove.end(), i) == c.Remove.end())
                expected.push_back(std::to_string(i));
        }
        const TResultRows::TRemoval plan = rows.PlanRemoval(c.Remove);
        EXPECT_EQ(plan.Runs.size(), c.Runs);
        for (const auto& [first, last] : plan.Runs)
            rows.EraseRange(first, last);
        if (!plan.Order.empty()) {
            rows.ApplyOrder(plan.Order);
            rows.EraseRange(plan.Keep, rows.Count() - 1);
        }
        EXPECT_EQ(Names(rows), expected);
    }
}
