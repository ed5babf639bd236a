// SPDX-License-Identifier: MIT
// The result list's commands without a view: a report of every row in the rows' order, the names
// of the two reports, the report fields read from their boxes, and the rows a delete really removed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "support/TempTree.h"
#include "window/ListCommands.h"

using namespace trovex;
using namespace trovex::test;

namespace
{

// Paths are UTF-8 on every system: Windows must not read them in its ANSI code page.
std::filesystem::path FsPath(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

TFindFileInfo Found(const std::string& path)
{
    TFindFileInfo info;
    info.FileName = path;
    info.Name = path.substr(path.find_last_of("/\\") + 1);
    info.FindData.Name = info.Name;
    info.Recorded = true;
    return info;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(FsPath(path), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::array<bool, 6> Flags(const TReportFields& f)
{
    return {f.FileName, f.FileExt, f.Path, f.Date, f.Size, f.All};
}

// Sets TMPDIR for the life of the object (unset for nullopt) and puts back what was there.
class TTmpDir
{
public:
    explicit TTmpDir(const std::optional<std::string>& value)
    {
        if (const char* old = std::getenv("TMPDIR"))
            FOld = old;
        if (value)
            SetEnv("TMPDIR", value->c_str());
        else
            UnsetEnv("TMPDIR");
    }
    ~TTmpDir()
    {
        if (FOld)
            SetEnv("TMPDIR", FOld->c_str());
        else
            UnsetEnv("TMPDIR");
    }

private:
    std::optional<std::string> FOld;
};

} // namespace

// A report follows the list as sorted, not the order the files were found in.
TEST(ListCommandsTest, ReportWritesEveryRowInTheListOrder)
{
    TTempTree tree;
    const std::vector<std::string> found = {"/d/b.txt", "/d/c.txt", "/d/a.txt"};
    TResultRows rows;
    for (const std::string& path : found)
        rows.Append(Found(path));
    rows.ApplyOrder(rows.SortOrder(TResultRows::rcName, false));
    std::vector<std::string> expected = found;
    std::sort(expected.rbegin(), expected.rend());

    const std::string report = tree.Path("report.txt");
    TReportFields pathOnly; // the full path alone
    WriteReport(report, rows, pathOnly);
    std::string lines;
    for (const std::string& path : expected)
        lines += path + "\r\n";
    EXPECT_EQ(ReadAll(report), lines);
}

// An older file of the same name is replaced, not appended to; a report that cannot be made says so.
TEST(ListCommandsTest, ReportReplacesAnOlderFileAndFailsLoudly)
{
    TTempTree tree;
    const std::string report = tree.AddFile("old.txt", "an older report\r\n");
    TResultRows empty;
    WriteReport(report, empty, TReportFields{});
    EXPECT_EQ(ReadAll(report), "");
    EXPECT_THROW(WriteReport(tree.Path("no such folder/r.txt"), empty, TReportFields{}), std::runtime_error);
}

// ".txt" is added only to a name without an extension; a dot in a folder's name does not count.
TEST(ListCommandsTest, SavedReportGetsTxtOnlyWithoutExtension)
{
    struct TCase
    {
        std::string Chosen;
        std::string Saved;
    };
    const std::string d(1, PathDelim);
    const TCase cases[] = {
        {std::string(DefaultReportName), std::string(DefaultReportName) + ".txt"},
        {d + "home" + d + "FileList", d + "home" + d + "FileList.txt"},
        {d + "home" + d + "list.csv", d + "home" + d + "list.csv"},
        {d + "home" + d + "list.TXT", d + "home" + d + "list.TXT"},
        {d + "a.b" + d + "list", d + "a.b" + d + "list.txt"},
        {d + "a" + d + "list.", d + "a" + d + "list..txt"},
        {d + "a" + d + ".profile", d + "a" + d + ".profile"},
        {d + "a" + d + "archive.tar.gz", d + "a" + d + "archive.tar.gz"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SavedReportName(c.Chosen), c.Saved) << c.Chosen;
}

// The temporary report lies in the folder the environment names, and /tmp without one.
TEST(ListCommandsTest, TemporaryReportLiesInTheTemporaryFolder)
{
    TROVEX_SKIP_ON_WINDOWS("the temporary folder comes from GetTempPath");
    struct TCase
    {
        std::optional<std::string> TmpDir;
        int Count;
        std::string Name;
    };
    const TCase cases[] = {
        {"/var/tmp", 7, "/var/tmp/ff7.txt"},
        {"/var/tmp/", 0, "/var/tmp/ff0.txt"},
        {"", 12, "/tmp/ff12.txt"},
        {std::nullopt, 123456, "/tmp/ff123456.txt"},
    };
    for (const TCase& c : cases) {
        TTmpDir tmp(c.TmpDir);
        EXPECT_EQ(TemporaryReportName(c.Count), c.Name) << c.TmpDir.value_or("(unset)");
    }
}

// Wherever the system keeps temporary files, a report can be written under the temporary name.
TEST(ListCommandsTest, TemporaryReportCanBeWritten)
{
    const int count = static_cast<int>(ProcessId() % 1000000) + 1000000;
    const std::string name = TemporaryReportName(count);
    ASSERT_EQ(name.rfind(TempFolder(), 0), 0u) << name;
    TResultRows rows;
    rows.Append(Found("/d/a.txt"));
    WriteReport(name, rows, TReportFields{});
    EXPECT_TRUE(EntryExists(name)) << name;
    EXPECT_FALSE(ReadAll(name).empty());
    std::filesystem::remove(FsPath(name));
}

// Each report box sets a field of its own: two boxes on one field would lose a column.
TEST(ListCommandsTest, EachReportBoxSetsOneFieldOfItsOwn)
{
    std::vector<std::string> boxes;
    const auto none = Flags(ReportFieldsOf([&](std::string_view control) {
        boxes.emplace_back(control);
        return false;
    }));
    ASSERT_EQ(boxes.size(), none.size());
    std::set<std::size_t> fieldsSet;
    for (const std::string& box : boxes) {
        const auto one = Flags(ReportFieldsOf([&](std::string_view control) { return control == box; }));
        std::size_t changed = 0;
        for (std::size_t i = 0; i < one.size(); ++i)
            if (one[i] != none[i]) {
                ++changed;
                fieldsSet.insert(i);
            }
        EXPECT_EQ(changed, 1u) << box;
    }
    EXPECT_EQ(fieldsSet.size(), boxes.size());
}

// After a delete only rows whose entry is really gone leave the list, highest row first:
//
//   root/
//   ├── kept.txt                 stays
//   ├── gone.txt                 deleted
//   ├── gone folder/             deleted with what is in it
//   │   └── inner.txt
//   ├── dangling -> nowhere      stays: the link itself is the entry (POSIX)
//   ├── name<FF>                 deleted, while its look-alike stays (POSIX)
//   └── name<EF BF BD>           stays
TEST(ListCommandsTest, GoneRowsAreThoseReallyGone)
{
    struct TEntry
    {
        std::string Rel;
        enum { File, Folder, Link } Kind;
        bool Delete;
    };
    std::vector<TEntry> entries = {
        {"kept.txt", TEntry::File, false},
        {"gone.txt", TEntry::File, true},
        {"gone folder", TEntry::Folder, true},
    };
    if (!OnWindows) {
        entries.push_back({"dangling", TEntry::Link, false});
        entries.push_back({"name\xff", TEntry::File, true});
        entries.push_back({"name\xef\xbf\xbd", TEntry::File, false});
    }
    TTempTree tree;
    TResultRows rows;
    for (const TEntry& e : entries) {
        std::string path;
        switch (e.Kind) {
        case TEntry::File:
            path = tree.AddFile(e.Rel, "x");
            break;
        case TEntry::Folder:
            tree.AddFile(e.Rel + "/inner.txt", "x");
            path = tree.Path(e.Rel);
            break;
        case TEntry::Link:
            path = tree.AddLink(e.Rel, tree.Path("nowhere"));
            break;
        }
        rows.Append(Found(path));
    }
    std::vector<int> expected;
    for (int row = rows.Count() - 1; row >= 0; --row)
        if (entries[static_cast<std::size_t>(row)].Delete) {
            std::filesystem::remove_all(FsPath(rows.Path(row)));
            expected.push_back(row);
        }

    // Every row asked about, scrambled, one twice, and two that are not rows at all.
    std::vector<int> candidates = {-1, rows.Count()};
    for (int row = 0; row < rows.Count(); ++row)
        candidates.insert(candidates.begin() + (row % 2 ? 0 : static_cast<std::ptrdiff_t>(candidates.size())), row);
    candidates.push_back(1);
    EXPECT_EQ(GoneRows(rows, candidates), expected);

    // Rows not asked about are never reported, gone or not.
    EXPECT_TRUE(GoneRows(rows, {0}).empty());
    EXPECT_EQ(GoneRows(rows, {}), std::vector<int>{});
}
