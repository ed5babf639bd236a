// SPDX-License-Identifier: MIT
// The walk's threads change when files are read, never what the caller is told: the same events, in
// the same order, with the same records, texts around hits and counts, whatever the thread count.
#include "search/FindFile.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/MixedTree.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

struct TCriteria
{
    const char* Name;
    const char* Mask;
    std::string Containing;
    std::string Excluding;
    bool InZip;
    bool SubFolders;
    TCodePages CodePages;
};

void Apply(TFindFile& engine, const TCriteria& c, const std::string& root, unsigned threads)
{
    engine.SetMask(c.Mask);
    engine.SetFolder(root);
    engine.ContainingText = c.Containing;
    engine.ExcludedText = c.Excluding;
    engine.InZip = c.InZip;
    engine.SetSubFolders(c.SubFolders);
    engine.CodePages = c.CodePages;
    engine.Threads = threads;
}

// Everything a caller can see of an event, one line each, in the order they came.
struct TTranscript
{
    std::vector<std::string> Lines;
    std::size_t Found = 0;
    int Done = 0;
    std::string Error;

    void Connect(TFindFile& engine)
    {
        engine.OnFound = [this](TFindFile& e, const TFindFileInfo& info) {
            ++Found;
            const TFindData& d = info.FindData;
            Lines.push_back("found " + info.FileName + " [" + info.FoundText + "] " + info.Name + " " +
                            std::to_string(info.Size) + " " + std::to_string(info.Time) + " " +
                            std::to_string(info.Attr) + " " + std::to_string(d.Size) + " " +
                            std::to_string(d.LastWriteTime) + " " + std::to_string(d.Attributes) + " mask " +
                            e.CurrentMask() + " status " + std::to_string(e.Status()) + " checked " +
                            std::to_string(e.FilesChecked()));
        };
        engine.OnFolderChange = [this](TFindFile& e) {
            Lines.push_back("folder " + e.CurrentFolder() + " checked " + std::to_string(e.FilesChecked()));
        };
        engine.OnSearchDone = [this](TFindFile&) { ++Done; };
        engine.OnError = [this](TFindFile&, const std::string& cls, const std::string& msg) {
            Error = cls + ": " + msg;
        };
    }
    void Finish(const TFindFile& engine)
    {
        Lines.push_back("end checked " + std::to_string(engine.FilesChecked()) + " mask " + engine.CurrentMask() +
                        " error " + Error);
    }
};

TTranscript RunOnWorker(const TCriteria& c, const std::string& root, unsigned threads)
{
    TTranscript t;
    TFindFile engine;
    Apply(engine, c, root, threads);
    t.Connect(engine);
    engine.Start();
    engine.WaitFor();
    t.Finish(engine);
    return t;
}

TTranscript RunOnCaller(const TCriteria& c, const std::string& root, unsigned threads)
{
    TTranscript t;
    TFindFile engine;
    Apply(engine, c, root, threads);
    t.Connect(engine);
    engine.RunHere();
    t.Finish(engine);
    return t;
}

const TCriteria Criteria[] = {
    {"names", "*.*", "", "", true, true, cpWindows},
    {"names, no dot", "*", "", "", false, true, cpWindows},
    {"text", "*.txt;*.pdf;*.dat", "quixel", "", false, true, cpWindows | cpUnicode},
    {"text in zips", "*.txt;*.zip;*.log", "Quixel", "", true, true, cpWindows},
    {"text and exclusion", "*", "quixel", "zorbl", true, true, cpWindows | cpUnicode | cpUtf8},
    {"exclusion only", "*.txt", "", "zorbl", false, true, cpWindows},
    {"one folder", "*.txt", "quixel", "", false, false, cpWindows},
    {"invalid second mask", "*.pdf;[z", "quixel", "", false, true, cpWindows},
};

} // namespace

TEST(WalkOrderTest, EveryThreadCountTellsTheSameAsOneThread)
{
    TTempTree tree;
    trovex::test::BuildMixedTree(tree, 1, 150);
    for (const TCriteria& c : Criteria) {
        SCOPED_TRACE(c.Name);
        const TTranscript one = RunOnWorker(c, tree.Root(), 1);
        EXPECT_EQ(one.Done, 1);
        if (std::string(c.Mask).find('[') == std::string::npos) {
            EXPECT_GT(one.Found, 5u) << "the tree should give every criterion some hits";
            EXPECT_TRUE(one.Error.empty()) << one.Error;
        } else {
            EXPECT_NE(one.Error.find("EMaskException"), std::string::npos);
        }
        for (unsigned threads : {2u, 4u, 7u}) {
            SCOPED_TRACE(threads);
            const TTranscript many = RunOnWorker(c, tree.Root(), threads);
            EXPECT_EQ(many.Lines, one.Lines);
            EXPECT_EQ(many.Done, 1);
        }
        EXPECT_EQ(RunOnCaller(c, tree.Root(), 4).Lines, one.Lines);
    }
}

// A terminate request from a handler ends the walk at the same entry whatever the thread count,
// and a pause at any event loses and repeats nothing.
TEST(WalkOrderTest, PauseAndTerminateKeepTheirMeaningAcrossThreads)
{
    TTempTree tree;
    trovex::test::BuildMixedTree(tree, 2, 80);
    const TCriteria& c = Criteria[4];
    const TTranscript full = RunOnWorker(c, tree.Root(), 1);
    ASSERT_GT(full.Found, 10u);

    for (std::size_t stopAt : {std::size_t{1}, full.Found / 2, full.Found - 1}) {
        SCOPED_TRACE(stopAt);
        std::vector<std::string> byThreads[2];
        for (unsigned threads : {1u, 4u}) {
            TTranscript t;
            TFindFile engine;
            Apply(engine, c, tree.Root(), threads);
            t.Connect(engine);
            auto onFound = engine.OnFound;
            engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
                onFound(e, info);
                if (t.Found == stopAt)
                    e.Terminate();
            };
            engine.Start();
            engine.WaitFor();
            t.Finish(engine);
            EXPECT_EQ(t.Done, 1);
            EXPECT_EQ(t.Found, stopAt);
            byThreads[threads == 1 ? 0 : 1] = t.Lines;
        }
        EXPECT_EQ(byThreads[0], byThreads[1]);
    }

    TTranscript paused;
    TFindFile engine;
    Apply(engine, c, tree.Root(), 4);
    paused.Connect(engine);
    auto onFound = engine.OnFound;
    engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
        onFound(e, info);
        if (paused.Found % 3 == 0)
            e.Pause();
    };
    engine.Start();
    int pauses = 0;
    while (!engine.Finished()) {
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(5));
        if (engine.Paused() && engine.Suspended()) {
            const std::size_t before = paused.Lines.size();
            engine.Queue().WaitAndDrain(std::chrono::milliseconds(5));
            EXPECT_EQ(paused.Lines.size(), before) << "nothing arrives while paused";
            ++pauses;
            engine.Continue();
        }
    }
    engine.WaitFor();
    paused.Finish(engine);
    EXPECT_GT(pauses, 2);
    EXPECT_EQ(paused.Lines, full.Lines);
}

// Files that appear and vanish while the walk runs: every entry is reported at most once, the files
// that stay put are all found, and the run ends normally.
TEST(WalkOrderTest, FilesComingAndGoingDuringTheRun)
{
    TTempTree tree;
    std::set<std::string> stable;
    for (int d = 0; d < 30; ++d)
        for (int f = 0; f < 20; ++f)
            stable.insert(tree.AddFile("d" + std::to_string(d) + "/s" + std::to_string(f) + ".txt", "keep Quixel"));
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        for (int round = 0; !stop.load(); ++round) {
            const std::string rel = "d" + std::to_string(round % 30) + "/t" + std::to_string(round % 17) + ".txt";
            std::error_code ec;
            if (round % 2)
                std::filesystem::remove(tree.Path(rel), ec);
            else
                tree.AddFile(rel, "churn Quixel");
            if (round % 50 == 0)
                std::filesystem::remove_all(tree.Path("d" + std::to_string(round % 30) + "/gone"), ec);
            else if (round % 50 == 25)
                tree.AddFile("d" + std::to_string(round % 30) + "/gone/x.txt", "Quixel");
        }
    });
    // By text, and by name with and without records (the window reads none).
    const std::pair<const TCriteria*, bool> kinds[] = {{&Criteria[2], true}, {&Criteria[1], true}, {&Criteria[1], false}};
    for (const auto& [criteria, records] : kinds) {
        for (unsigned threads : {1u, 4u}) {
            for (int run = 0; run < 3; ++run) {
                SCOPED_TRACE(std::string(criteria->Name) + (records ? "" : ", no records") + ", threads " +
                             std::to_string(threads));
                TFindFile engine;
                Apply(engine, *criteria, tree.Root(), threads);
                engine.NeedRecords = records;
                std::vector<std::string> found;
                int done = 0;
                std::string error;
                engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
                engine.OnSearchDone = [&](TFindFile&) { ++done; };
                engine.OnError = [&](TFindFile&, const std::string&, const std::string& msg) { error = msg; };
                engine.Start();
                engine.WaitFor();
                EXPECT_EQ(done, 1);
                EXPECT_TRUE(error.empty()) << error;
                const std::set<std::string> unique(found.begin(), found.end());
                EXPECT_EQ(unique.size(), found.size()) << "an entry was reported twice";
                for (const std::string& path : stable)
                    EXPECT_TRUE(unique.count(path)) << path;
            }
        }
    }
    stop.store(true);
    churn.join();
}

// A content test reads a file's record through the file it opens; the records handed out are
// those a look-up by name gives, for plain files, links, hidden and read-only files alike.
TEST(WalkOrderTest, RecordsOfAContentRunAreThoseReadByName)
{
    TTempTree tree;
    trovex::test::BuildMixedTree(tree, 4, 40);
    tree.AddFile(".hidden.txt", "Quixel");
    const std::string readOnly = tree.AddFile("locked.txt", "Quixel");
    ::chmod(readOnly.c_str(), 0444);
    if (!trovex::test::OnWindows) // no symlink() there
        tree.AddLink("link.txt", "locked.txt");
    for (const char* excluding : {"", "zorbl"}) {
        SCOPED_TRACE(excluding);
        TFindFile engine;
        TCriteria c = Criteria[2];
        c.Excluding = excluding;
        Apply(engine, c, tree.Root(), 2);
        int checked = 0;
        engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
            TFindData byName;
            ASSERT_TRUE(ReadFindData(info.FileName, byName)) << info.FileName;
            EXPECT_EQ(info.Name, byName.Name);
            EXPECT_EQ(info.FindData.Attributes, byName.Attributes) << info.FileName;
            EXPECT_EQ(info.FindData.Size, byName.Size) << info.FileName;
            EXPECT_EQ(info.FindData.LastWriteTime, byName.LastWriteTime) << info.FileName;
            EXPECT_EQ(info.FindData.CreationTime, byName.CreationTime) << info.FileName;
            EXPECT_EQ(info.Attr, byName.Attributes & 0xFFFF);
            EXPECT_EQ(info.Time, FileTimeToDosDateTime(byName.LastWriteTime));
            ++checked;
        };
        engine.RunHere();
        EXPECT_GT(checked, 10);
    }
}

// A caller that wants only names and paths gets the same files in the same order, with the kind the
// listing told, for every criterion that needs no record of its own.
TEST(WalkOrderTest, WithoutRecordsTheSameFilesAreFound)
{
    TTempTree tree;
    trovex::test::BuildMixedTree(tree, 5, 60);
    for (const TCriteria& c : {Criteria[0], Criteria[1], Criteria[3], TCriteria{"txt", "*.txt", "", "", true, true, 0}}) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> paths[2];
        for (bool records : {true, false}) {
            TFindFile engine;
            Apply(engine, c, tree.Root(), 3);
            engine.NeedRecords = records;
            engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
                paths[records].push_back(info.FileName + ((info.Attr & faDirectory) ? "/" : ""));
            };
            engine.RunHere();
        }
        EXPECT_GT(paths[1].size(), 10u);
        EXPECT_EQ(paths[0], paths[1]);
    }
}

namespace
{

// Bytes this process has read so far, by any thread.
std::uint64_t BytesRead()
{
    std::uint64_t bytes = 0;
    if (FILE* f = std::fopen("/proc/self/io", "r")) {
        if (std::fscanf(f, "rchar: %" SCNu64, &bytes) != 1)
            bytes = 0;
        std::fclose(f);
    }
    return bytes;
}

} // namespace

// A hit followed in its folder by a huge file is told before the huge file has been read, whatever
// the thread count, as a walk on one thread tells it: the caller may end the run at the hit.
TEST(WalkOrderTest, AHitIsToldBeforeTheHugeFileAfterIt)
{
    constexpr std::uint64_t HugeSize = std::uint64_t{64} << 30;
    const struct
    {
        const char* What;
        std::size_t Fillers; // files before the hit without the text: the hit sits inside a batch
    } cases[] = {{"small folder", 0}, {"large folder", 21}};
    if (trovex::test::OnWindows) // neither a count of bytes read nor files past 2 GiB in the C library there
        GTEST_SKIP() << "needs the kernel's count of bytes read (/proc/self/io)";
    if (FILE* io = std::fopen("/proc/self/io", "r"))
        std::fclose(io);
    else
        GTEST_SKIP() << "needs the kernel's count of bytes read (/proc/self/io)";
    for (const auto& c : cases) {
        TTempTree tree;
        for (std::size_t i = 0; i < c.Fillers; ++i)
            tree.AddFile("a" + std::to_string(100 + i) + ".txt", "nothing here");
        tree.AddFile("b.txt", "a needle");
        std::filesystem::resize_file(tree.AddFile("c.txt"), HugeSize); // sparse: nothing is written
        for (unsigned threads : {1u, 2u, 4u}) {
            SCOPED_TRACE(std::string(c.What) + ", threads " + std::to_string(threads));
            TFindFile engine;
            engine.SetMask("*.txt");
            engine.SetFolder(tree.Root());
            engine.ContainingText = "needle";
            engine.Threads = threads;
            std::vector<std::string> found;
            const std::uint64_t before = BytesRead();
            std::uint64_t readAtHit = 0;
            engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
                found.push_back(info.Name);
                readAtHit = BytesRead() - before;
                e.Terminate();
            };
            engine.RunHere();
            EXPECT_EQ(found, std::vector<std::string>{"b.txt"});
            EXPECT_LT(readAtHit, HugeSize) << "the hit waited for the huge file";
            EXPECT_TRUE(engine.ErrorMessage().empty()) << engine.ErrorMessage();
        }
    }
}
