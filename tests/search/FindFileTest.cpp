// SPDX-License-Identifier: MIT
#include "search/FindFile.h"

#include <thread>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

struct TRun
{
    std::vector<std::string> Found;   // paths relative to the root
    std::vector<std::string> Folders; // folders announced, relative
    int Done = 0;
    std::string ErrorClass, ErrorMessage;
};

// Connects the events, runs the engine to its end on this thread, and collects what it said.
TRun RunEngine(TFindFile& engine, const std::string& root)
{
    TRun run;
    auto rel = [&](const std::string& path) { return trovex::test::Slashed(path.substr(root.size())); };
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { run.Found.push_back(rel(info.FileName)); };
    engine.OnFolderChange = [&](TFindFile& e) { run.Folders.push_back(rel(e.CurrentFolder())); };
    engine.OnSearchDone = [&](TFindFile&) { ++run.Done; };
    engine.OnError = [&](TFindFile&, const std::string& cls, const std::string& msg) {
        run.ErrorClass = cls;
        run.ErrorMessage = msg;
    };
    engine.Start();
    engine.WaitFor();
    return run;
}

using L = std::vector<std::string>;

} // namespace

//   root/
//   ├── b.txt
//   ├── A.txt
//   ├── README
//   ├── sub/          (a folder without a dot: "*.*" fits it too)
//   │   ├── inner.txt
//   │   └── deep/z.txt
//   └── zeta.dir/     (a folder whose name has a dot)
//       └── c.txt
TEST(FindFileTest, WalksEachFolderBeforeItsSubfoldersInNameOrder)
{
    TTempTree tree;
    tree.AddFile("b.txt", "x");
    tree.AddFile("A.txt", "x");
    tree.AddFile("README", "x");
    tree.AddFile("sub/inner.txt", "x");
    tree.AddFile("sub/deep/z.txt", "x");
    tree.AddFile("zeta.dir/c.txt", "x");

    struct Case { const char* mask; bool subFolders; L found; };
    const Case cases[] = {
        {"*.*", true, L{"A.txt", "b.txt", "README", "sub", "zeta.dir", "sub/deep", "sub/inner.txt", "sub/deep/z.txt",
                        "zeta.dir/c.txt"}},
        {"*.txt", true, L{"A.txt", "b.txt", "sub/inner.txt", "sub/deep/z.txt", "zeta.dir/c.txt"}},
        {"*", true, L{"A.txt", "b.txt", "README", "sub", "zeta.dir", "sub/deep", "sub/inner.txt", "sub/deep/z.txt",
                      "zeta.dir/c.txt"}},
        {"*.txt", false, L{"A.txt", "b.txt"}},
        {"readme", true, L{"README"}},
        {"*.TXT;b*", true, L{"A.txt", "b.txt", "sub/inner.txt", "sub/deep/z.txt", "zeta.dir/c.txt"}},
        {" ; , ", true, L{}}, // no masks: nothing reported, the folders still walked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        TFindFile engine;
        engine.SetMask(c.mask);
        engine.SetFolder(tree.Root());
        engine.SetSubFolders(c.subFolders);
        TRun run = RunEngine(engine, tree.Root());
        EXPECT_EQ(run.Found, c.found);
        EXPECT_EQ(run.Done, 1);
        if (c.subFolders)
            EXPECT_EQ(run.Folders, (L{"", "sub/", "sub/deep/", "zeta.dir/"}));
        else
            EXPECT_EQ(run.Folders, (L{""}));
    }
}

TEST(FindFileTest, CountsDotEntriesAndNeverReportsTheRoot)
{
    TTempTree tree;
    tree.AddFile("one.txt");
    tree.AddFile("two/three.txt");
    TFindFile engine;
    engine.SetMask("*");
    engine.SetFolder(tree.Root());
    TRun run = RunEngine(engine, tree.Root());
    EXPECT_EQ(run.Found, (L{"one.txt", "two", "two/three.txt"}));
    // root: . .. one.txt two = 4; two/: . .. three.txt = 3
    EXPECT_EQ(engine.FilesChecked(), 7);
    EXPECT_EQ(engine.Status(), fsMatch);
}

TEST(FindFileTest, SetFolderAppendsSlashAndDefaultsToHome)
{
    using trovex::test::Native;
    struct Case { std::string text; std::string folder; };
    const Case cases[] = {{"", DefaultFolder()},
                          {Native("/tmp/docs"), Native("/tmp/docs/")},
                          {Native("/tmp/docs/"), Native("/tmp/docs/")},
                          {"rel", Native("rel/")}};
    for (const Case& c : cases) {
        TFindFile engine;
        engine.SetFolder(c.text);
        EXPECT_EQ(engine.Folder(), c.folder) << c.text;
    }
    EXPECT_EQ(DefaultFolder(), trovex::test::OnWindows ? "C:\\" : HomeFolder());
}

TEST(FindFileTest, FolderTextIsOneFolderNeverAList)
{
    TTempTree tree;
    tree.AddFile("a/x.txt");
    tree.AddFile("b/y.txt");
    TFindFile engine;
    engine.SetFolder(tree.Path("a") + ";" + tree.Path("b"));
    TRun run = RunEngine(engine, tree.Root());
    EXPECT_TRUE(run.Found.empty());
    EXPECT_EQ(run.Done, 1);
    EXPECT_TRUE(run.ErrorMessage.empty());
}

// Both bounds of the date range are inclusive, to the 100-ns tick.
TEST(FindFileTest, DateRangeBoundsAreInclusive)
{
    TTempTree tree;
    const std::time_t base = trovex::test::LocalTime(2021, 6, 15, 12, 0, 0);
    tree.AddFile("before.txt");
    tree.SetTime("before.txt", base - 1, 999999900);
    tree.AddFile("at-from.txt");
    tree.SetTime("at-from.txt", base, 0);
    tree.AddFile("middle.txt");
    tree.SetTime("middle.txt", base + 3600, 0);
    tree.AddFile("at-to.txt");
    tree.SetTime("at-to.txt", base + 7200, 500);
    tree.AddFile("after.txt");
    tree.SetTime("after.txt", base + 7200, 600);

    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    engine.UseDate = true;
    engine.SetDateFromFileTime(UnixToFileTime(base, 0));
    engine.SetDateToFileTime(UnixToFileTime(base + 7200, 500));
    TRun run = RunEngine(engine, tree.Root());
    EXPECT_EQ(run.Found, (L{"at-from.txt", "at-to.txt", "middle.txt"}));
}

// An invalid mask ends the run at the first name tested against it; what came before stays found
// and the end event still follows.
TEST(FindFileTest, InvalidMaskEndsTheRunWithItsMessage)
{
    TTempTree tree;
    tree.AddFile("a.txt");
    tree.AddFile("b.doc");
    tree.AddFile("c.txt");
    TFindFile engine;
    engine.SetMask("*.txt;[");
    engine.SetFolder(tree.Root());
    TRun run = RunEngine(engine, tree.Root());
    EXPECT_EQ(run.Found, (L{"a.txt"}));
    EXPECT_EQ(run.Done, 1);
    EXPECT_EQ(run.ErrorClass, "EMaskException");
    EXPECT_EQ(run.ErrorMessage, "'[' is an invalid mask at (2)");
    EXPECT_EQ(engine.ErrorMessage(), run.ErrorMessage);
}

// Links are listed but never descended into, so a loop cannot trap the walk; a dangling link is an
// entry without size.
TEST(FindFileTest, LinksAreListedButNotFollowed)
{
    TROVEX_SKIP_ON_WINDOWS("symbolic links made by symlink()");
    TTempTree tree;
    tree.AddFile("real/file.txt", "12345");
    tree.AddLink("real/loop", tree.Root());
    tree.AddLink("dangling.txt", tree.Path("missing"));
    tree.AddLink("alias.txt", tree.Path("real/file.txt"));

    std::vector<TFindFileInfo> infos;
    TFindFile engine;
    engine.SetMask("*");
    engine.SetFolder(tree.Root());
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { infos.push_back(info); };
    engine.Start();
    engine.WaitFor();
    L names;
    for (const auto& i : infos)
        names.push_back(trovex::test::Slashed(i.FileName.substr(tree.Root().size())));
    EXPECT_EQ(names, (L{"alias.txt", "dangling.txt", "real", "real/file.txt", "real/loop"}));
    EXPECT_EQ(infos[0].Size, 5);
    EXPECT_EQ(infos[0].Attr & faArchive, faArchive);
    EXPECT_EQ(infos[0].FindData.Attributes & faReparsePoint, faReparsePoint);
    EXPECT_EQ(infos[1].FindData.Size, 0u);
    EXPECT_EQ(infos[4].Attr & faDirectory, faDirectory); // the link's target is a folder
}

TEST(FindFileTest, RecordCarriesPackedTimeSizeAndAttributes)
{
    TTempTree tree;
    tree.AddFile(".hidden.txt", std::string(70000, 'x'));
    ASSERT_TRUE(trovex::test::SetHidden(tree.Path(".hidden.txt"))); // Windows hides by attribute, not by a dot
    tree.SetTime(".hidden.txt", trovex::test::LocalTime(2020, 2, 29, 13, 45, 58));
    tree.AddFile("old.txt", "a");
    tree.SetTime("old.txt", trovex::test::LocalTime(1975, 5, 1, 10, 0, 0));
    std::vector<TFindFileInfo> infos;
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { infos.push_back(info); };
    engine.Start();
    engine.WaitFor();
    ASSERT_EQ(infos.size(), 2u);
    const TFindFileInfo& h = infos[0];
    EXPECT_EQ(h.Name, ".hidden.txt");
    EXPECT_EQ(h.Size, 70000);
    EXPECT_EQ(h.Attr, static_cast<std::uint32_t>(faHidden | faArchive));
    const std::uint32_t date = ((2020 - 1980) << 9) | (2 << 5) | 29;
    const std::uint32_t time = (13 << 11) | (45 << 5) | (58 / 2);
    EXPECT_EQ(h.Time, (date << 16) | time);
    EXPECT_EQ(infos[1].Time, static_cast<std::uint32_t>(((0 << 9) | (1 << 5) | 1) << 16)); // clamped to 1980
}

// A pause asked for inside an event takes effect at the next entry; Continue goes on from there,
// so nothing is lost or repeated.
TEST(FindFileTest, PauseAndContinueLoseAndRepeatNothing)
{
    TTempTree tree;
    L expected;
    for (int i = 0; i < 40; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%02d.txt", i);
        tree.AddFile(name);
        expected.push_back(name);
    }
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    L found;
    engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
        found.push_back(info.Name);
        if (found.size() % 10 == 0)
            e.Pause();
    };
    engine.Start();
    int pauses = 0;
    while (!engine.Finished()) {
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(20));
        if (engine.Paused()) {
            const std::size_t before = found.size();
            // Nothing arrives while paused.
            for (int i = 0; i < 5; ++i)
                engine.Queue().WaitAndDrain(std::chrono::milliseconds(10));
            EXPECT_EQ(found.size(), before);
            ++pauses;
            engine.Continue();
        }
    }
    engine.WaitFor();
    EXPECT_EQ(found, expected);
    EXPECT_EQ(pauses, 4);
}

// A terminate request while paused does nothing until the worker is resumed; then it finishes the
// entry in hand and stops, and the end event still comes.
TEST(FindFileTest, TerminateWhilePausedWaitsForTheResume)
{
    TTempTree tree;
    for (int i = 0; i < 20; ++i)
        tree.AddFile("f" + std::to_string(100 + i) + ".txt");
    tree.AddFile("a-sub/never.txt"); // sorts before the files, so it is collected before the pause
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    L found;
    L folders;
    int done = 0;
    engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
        found.push_back(info.Name);
        if (found.size() == 3)
            e.Pause();
    };
    engine.OnFolderChange = [&](TFindFile& e) { folders.push_back(e.CurrentFolder()); };
    engine.OnSearchDone = [&](TFindFile&) { ++done; };
    engine.Start();
    // The worker also starts out suspended for a moment; wait for the pause asked for above.
    while (found.size() < 3 || !engine.Suspended())
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(10));
    engine.Terminate();
    for (int i = 0; i < 10; ++i)
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(10));
    EXPECT_FALSE(engine.Finished());
    engine.Resume();
    engine.WaitFor();
    EXPECT_TRUE(engine.Finished());
    EXPECT_EQ(found, (L{"f100.txt", "f101.txt", "f102.txt", "f103.txt"}));
    EXPECT_EQ(done, 1);
    // The remaining subfolder is still announced, but not walked.
    EXPECT_EQ(folders, (L{tree.Root(), tree.Path("a-sub/")}));
}

// Destroying an engine mid-run ends its worker without waiting for anyone to drain events.
TEST(FindFileTest, DestroyingARunningEngineEndsTheWorker)
{
    TTempTree tree;
    for (int i = 0; i < 50; ++i)
        tree.AddFile("f" + std::to_string(i) + ".txt");
    int found = 0;
    {
        TFindFile engine;
        engine.SetMask("*.txt");
        engine.SetFolder(tree.Root());
        engine.OnFound = [&](TFindFile&, const TFindFileInfo&) { ++found; };
        engine.Start();
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(50));
    }
    EXPECT_LE(found, 1);
}

// With a text given, a name that already holds it is reported without reading the content, but a
// folder never is; an unreadable file is passed over.
TEST(FindFileTest, TextCriteriaNameShortcutFoldersAndUnreadableFiles)
{
    TTempTree tree;
    tree.AddFile("needle-notes.txt", "nothing here");
    tree.AddFolder("needle-folder.txt");
    tree.AddUnreadable("broken-needle.txt");
    tree.AddUnreadable("broken.txt");
    tree.AddFolder("plain.txt");
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    engine.SetSubFolders(false);
    engine.ContainingText = "NEEDLE";
    TRun run = RunEngine(engine, tree.Root());
    EXPECT_EQ(run.Found, (L{"broken-needle.txt", "needle-notes.txt"}));
    EXPECT_TRUE(run.ErrorMessage.empty());
}

TEST(FindFileTest, ListOnlyReportsExistingPathsInListOrder)
{
    TTempTree tree;
    const std::string b = tree.AddFile("b.txt");
    const std::string a = tree.AddFile("dir/a.txt");
    const std::string folder = tree.AddFolder("folder");
    TFindFile engine;
    L found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
    engine.SearchList({b, tree.Path("missing.txt"), a, folder, b}, true);
    EXPECT_EQ(found, (L{b, a, folder, b}));
}

// Ending a paused run must never hang, however the pause, the terminate request and the resume
// interleave with the worker reaching its next entry.
TEST(FindFileTest, PauseTerminateResumeNeverHangs)
{
    TTempTree tree;
    for (int i = 0; i < 30; ++i)
        tree.AddFile("f" + std::to_string(i) + ".txt");
    for (int round = 0; round < 200; ++round) {
        TFindFile engine;
        engine.SetMask("*.txt");
        engine.SetFolder(tree.Root());
        int done = 0;
        engine.OnFound = [&](TFindFile& e, const TFindFileInfo&) {
            if (round % 2 == 0)
                e.Pause();
        };
        engine.OnSearchDone = [&](TFindFile&) { ++done; };
        engine.Start();
        if (round % 3 == 0)
            engine.Queue().WaitAndDrain(std::chrono::microseconds(round * 10));
        engine.Pause();
        engine.OnSearchDone = nullptr; // an abandoned run tells nobody it ended
        engine.Terminate();
        engine.Resume();
        engine.WaitFor();
        ASSERT_TRUE(engine.Finished()) << round;
        ASSERT_EQ(done, 0) << round;
    }
}

// A caller that lends its thread gets the row and folder events run on the worker in its stead,
// in order and one at a time, while the end of the run still comes on its own thread.
TEST(FindFileTest, LentThreadRunsEventsOnTheWorker)
{
    TTempTree tree;
    L expected;
    for (int d = 0; d < 5; ++d)
        for (int f = 0; f < 40; ++f) {
            const std::string name = "d" + std::to_string(d) + "/f" + std::to_string(100 + f) + ".txt";
            tree.AddFile(name);
            expected.push_back(name);
        }
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    engine.LendableEvents = true;
    const std::thread::id caller = std::this_thread::get_id();
    L found;
    int onWorker = 0, folders = 0, done = 0;
    std::thread::id doneOn;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
        found.push_back(trovex::test::Slashed(info.FileName.substr(tree.Root().size())));
        onWorker += std::this_thread::get_id() != caller;
    };
    engine.OnFolderChange = [&](TFindFile&) { ++folders; };
    engine.OnSearchDone = [&](TFindFile&) {
        ++done;
        doneOn = std::this_thread::get_id();
    };
    engine.Start();
    while (!engine.Finished())
        engine.Queue().Lend(std::chrono::milliseconds(2));
    engine.WaitFor();
    EXPECT_EQ(found, expected);
    EXPECT_GT(onWorker, 0);
    EXPECT_EQ(folders, 6);
    EXPECT_EQ(done, 1);
    EXPECT_EQ(doneOn, caller);
}
