// SPDX-License-Identifier: MIT
#include "shell/Trash.h"

#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;
using test::TTempTree;

std::string ReadFile(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& p)
{
    struct stat st{};
    return ::lstat(p.c_str(), &st) == 0;
}

// Each test has a home trash of its own: $XDG_DATA_HOME points into its temporary tree.
class TrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            FOldDataHome = old;
        ::setenv("XDG_DATA_HOME", FTree.Path("data").c_str(), 1);
        TMessageBox::Shown().clear();
    }
    void TearDown() override
    {
        if (FOldDataHome)
            ::setenv("XDG_DATA_HOME", FOldDataHome->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
    }

    std::string Trash() const { return FTree.Path("data/Trash"); }
    // The Path= value of a trashed file's record, undone of its percent-encoding.
    std::string RecordedPath(const std::string& trashName) const
    {
        const std::string record = ReadFile(Trash() + "/info/" + trashName + ".trashinfo");
        const std::size_t at = record.find("\nPath=");
        if (at == std::string::npos)
            return "(no Path= in '" + record + "')";
        const std::size_t end = record.find('\n', at + 1);
        return PercentDecode(record.substr(at + 6, end - at - 6));
    }

    TTempTree FTree;
    std::optional<std::string> FOldDataHome;
};

// Of two names that differ only in bytes that are not UTF-8, exactly the one named goes, and its
// record gives back its own bytes: the fault was trashing the other file.
TEST_F(TrashTest, MovesExactlyTheNamedFile)
{
    const std::string ff = FTree.AddFile("d/bad\xff.txt", std::string(20, 'f'));
    const std::string fffd = FTree.AddFile("d/bad\xef\xbf\xbd.txt", std::string(22, 'r'));

    const TTrashResult result = MoveToTrash(ff);
    ASSERT_TRUE(result.Moved) << result.Error;
    EXPECT_FALSE(Exists(ff));
    EXPECT_EQ(ReadFile(fffd), std::string(22, 'r'));
    EXPECT_EQ(result.PathInTrash, Trash() + "/files/bad\xff.txt");
    EXPECT_EQ(ReadFile(result.PathInTrash), std::string(20, 'f'));
    EXPECT_EQ(RecordedPath("bad\xff.txt"), ff);

    const std::string record = ReadFile(Trash() + "/info/bad\xff.txt.trashinfo");
    EXPECT_TRUE(std::regex_match(record, std::regex("\\[Trash Info\\]\nPath=/[^\n]*/d/bad%FF\\.txt\n"
                                                    "DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
        << record;
}

// Path= is percent-encoded, so "%20" in a name is not restored as a blank; names already in the
// trash get a free name of their own; folders go with their contents; a link goes, not its target.
TEST_F(TrashTest, RecordsAreEscapedAndNamesStayApart)
{
    struct Case { std::string rel; std::string trashName; std::string encodedTail; };
    const Case cases[] = {
        {"a/pct%20x.txt", "pct%20x.txt", "/a/pct%2520x.txt"},
        {"b/pct%20x.txt", "pct%20x.txt.2", "/b/pct%2520x.txt"},
        {"c/pct%20x.txt", "pct%20x.txt.3", "/c/pct%2520x.txt"},
        {"two words/#1 caf\xc3\xa9.txt", "#1 caf\xc3\xa9.txt", "/two%20words/%231%20caf%C3%A9.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rel);
        const std::string path = FTree.AddFile(c.rel, c.rel);
        const TTrashResult result = MoveToTrash(path);
        ASSERT_TRUE(result.Moved) << result.Error;
        EXPECT_EQ(result.PathInTrash, Trash() + "/files/" + c.trashName);
        EXPECT_EQ(ReadFile(result.PathInTrash), c.rel);
        EXPECT_EQ(RecordedPath(c.trashName), path);
        const std::string record = ReadFile(Trash() + "/info/" + c.trashName + ".trashinfo");
        EXPECT_NE(record.find(c.encodedTail + "\n"), std::string::npos) << record;
    }

    FTree.AddFile("folder/inner/deep.txt", "deep");
    const std::string target = FTree.AddFile("target.txt", "target");
    const std::string link = FTree.AddLink("link.txt", target);
    ASSERT_TRUE(MoveToTrash(FTree.Path("folder/")).Moved);
    ASSERT_TRUE(MoveToTrash(link).Moved);
    EXPECT_EQ(ReadFile(Trash() + "/files/folder/inner/deep.txt"), "deep");
    EXPECT_EQ(RecordedPath("folder"), FTree.Path("folder"));
    EXPECT_TRUE(fs::is_symlink(Trash() + "/files/link.txt"));
    EXPECT_EQ(ReadFile(target), "target");

    // A name as long as the system allows still leaves room for the record's suffix.
    const std::string longName(255, 'n');
    const std::string longPath = FTree.AddFile(longName, "long");
    const TTrashResult result = MoveToTrash(longPath);
    ASSERT_TRUE(result.Moved) << result.Error;
    EXPECT_FALSE(Exists(longPath));
    EXPECT_EQ(ReadFile(result.PathInTrash), "long");
}

// Every way a move can fail leaves the file where it was, reports why, and leaves no record behind.
TEST_F(TrashTest, FailuresKeepTheFileAndLeaveNoRecord)
{
    const std::string keep = FTree.AddFile("keep.txt", "keep");
    struct Case { const char* name; std::string path; std::function<void()> prepare; };
    const Case cases[] = {
        {"gone", FTree.Path("gone.txt"), [] {}},
        {"relative", "keep.txt", [] {}},
        {"root", "/", [] {}},
        {"in the trash", "", [] {}},
        {"Trash is a file", keep, [this] {
             fs::remove_all(Trash());
             FTree.AddFile("data/Trash", "not a folder");
         }},
    };
    ASSERT_TRUE(MoveToTrash(FTree.AddFile("first.txt")).Moved);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        const std::string path = c.path.empty() ? Trash() + "/files/first.txt" : c.path;
        const TTrashResult result = MoveToTrash(path);
        EXPECT_FALSE(result.Moved);
        EXPECT_FALSE(result.Error.empty());
        EXPECT_EQ(ReadFile(keep), "keep");
        if (fs::is_directory(Trash() + "/info")) {
            EXPECT_EQ(std::distance(fs::directory_iterator(Trash() + "/info"), fs::directory_iterator()), 1);
        }
    }
    EXPECT_TRUE(Exists(Trash())); // still the file the last case made
}

// A file on another file system goes to that mount's own trash in its top folder, recorded relative
// to it, so it never crosses devices. /dev/shm is such a mount on most systems.
TEST_F(TrashTest, OtherMountUsesItsTopFolderTrash)
{
    const std::string top = "/dev/shm";
    struct stat shm{}, home{};
    if (::stat(top.c_str(), &shm) != 0 || ::stat(FTree.Root().c_str(), &home) != 0 || shm.st_dev == home.st_dev ||
        ::access(top.c_str(), W_OK) != 0)
        GTEST_SKIP() << "no writable file system of its own at " << top;
    const std::string own = top + "/.Trash-" + std::to_string(::getuid());
    const bool hadTrash = fs::exists(own) || fs::exists(top + "/.Trash");
    char pattern[] = "/dev/shm/trovex-trash-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string file = folder + "/on shm\xff.txt";
    { std::ofstream(file) << "shm"; }

    const TTrashResult result = MoveToTrash(file);
    EXPECT_TRUE(result.Moved) << result.Error;
    EXPECT_FALSE(Exists(file));
    const std::string trash = result.PathInTrash.substr(0, result.PathInTrash.find("/files/"));
    EXPECT_EQ(result.PathInTrash.rfind(top + "/.Trash", 0), 0u) << result.PathInTrash;
    EXPECT_EQ(ReadFile(result.PathInTrash), "shm");
    const std::string record = ReadFile(trash + "/info/on shm\xff.txt.trashinfo");
    EXPECT_NE(record.find("\nPath=" + PercentEncodePath(file.substr(top.size() + 1)) + "\n"), std::string::npos) << record;
    EXPECT_FALSE(fs::exists(Trash() + "/files/on shm\xff.txt"));

    fs::remove(result.PathInTrash);
    fs::remove(trash + "/info/on shm\xff.txt.trashinfo");
    fs::remove_all(folder);
    if (!hadTrash)
        fs::remove_all(own);
}

// A folder the user may not change: the rename fails after the record was made, which is removed.
TEST_F(TrashTest, ReadOnlyFolderFailsCleanly)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    const std::string file = FTree.AddFile("locked/file.txt", "x");
    fs::permissions(FTree.Path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    const TTrashResult result = MoveToTrash(file);
    fs::permissions(FTree.Path("locked"), fs::perms::owner_all);
    EXPECT_FALSE(result.Moved);
    EXPECT_FALSE(result.Error.empty());
    EXPECT_TRUE(Exists(file));
    EXPECT_TRUE(fs::is_empty(Trash() + "/info"));
}

// A failed move is not silent: one box after the deletion names every path that stayed, by the
// text shown for it; the paths that could be moved are gone. Declining shows nothing more.
TEST_F(TrashTest, DeleteFilesNamesWhatStayedInOneBox)
{
    const std::vector<std::string> paths = {FTree.AddFile("ok\xff.txt", "x"), FTree.Path("missing one.txt"),
                                            FTree.AddFile("ok2.txt", "y"), FTree.Path("missing\xfe two.txt")};
    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    TMessageBox::SetNextAnswer(QMessageBox::Ok);
    EXPECT_EQ(DeleteFiles(nullptr, paths), 2);
    ASSERT_EQ(TMessageBox::Shown().size(), 2);
    EXPECT_EQ(TMessageBox::Shown()[0], QStringLiteral("Are you sure you want to move these 4 items to the trash?"));
    const QString failures = TMessageBox::Shown()[1];
    EXPECT_TRUE(failures.contains(MessagePath(paths[1]))) << failures.toStdString();
    EXPECT_TRUE(failures.contains(QStringLiteral("missing\\xFE two.txt"))) << failures.toStdString();
    EXPECT_FALSE(failures.contains(QStringLiteral("ok2.txt"))) << failures.toStdString();
    EXPECT_FALSE(Exists(paths[0]));
    EXPECT_FALSE(Exists(paths[2]));
    EXPECT_TRUE(Exists(Trash() + "/files/ok\xff.txt"));

    // One file: the question names it, a byte that is not UTF-8 written escaped (issue 24).
    TMessageBox::Shown().clear();
    const std::string one = FTree.AddFile("one\xff.txt");
    TMessageBox::SetNextAnswer(QMessageBox::No);
    EXPECT_EQ(DeleteFiles(nullptr, {one}), 1);
    EXPECT_EQ(TMessageBox::Shown(), QStringList{QStringLiteral("Are you sure you want to move 'one\\xFF.txt' to the trash?")});
    EXPECT_TRUE(Exists(one));
}

} // namespace
} // namespace trovex
