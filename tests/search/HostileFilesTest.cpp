// SPDX-License-Identifier: MIT
// Files too large for memory and runs ended in the middle of one file: memory stays bounded, one
// file's failure stays that file's, and a terminate request is not held up by the file under test.
#include "search/FindFile.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/PdfBuilder.h"
#include "support/TempTree.h"
#include "support/ZipBuilder.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

// Runs `body` in a child process whose address space may grow by at most `extra` bytes beyond what
// it has, and returns the child's exit code. Under the address or thread sanitizer (which need their
// huge reservations) the child runs without the limit.
int RunWithMemoryLimit(std::size_t extra, const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!trovex::test::SanitizedBuild) {
            long pages = 0;
            if (FILE* f = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(f, "%ld", &pages) != 1)
                    pages = 0;
                std::fclose(f);
            }
            const rlim_t have = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
            const rlimit limit{have + extra, have + extra};
            if (pages == 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
                ::_exit(90);
        }
        int code = 91;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A file of `size` bytes that holds `tail` at its end and a hole before it.
void AddSparseFile(const TTempTree& tree, const std::string& rel, std::uint64_t size, const std::string& tail)
{
    const std::string path = tree.Path(rel);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())),
              static_cast<ssize_t>(tail.size()));
    ::close(fd);
}

struct TCriteria
{
    std::string Mask;
    std::string Containing;
    bool InZip = false;
};

// name -> FoundText of every file reported by a run on this thread; the error that ended it.
std::map<std::string, std::string> Search(const TTempTree& tree, const TCriteria& c, std::string& error)
{
    TFindFile engine;
    engine.SetMask(c.Mask);
    engine.SetFolder(tree.Root());
    engine.ContainingText = c.Containing;
    engine.InZip = c.InZip;
    std::map<std::string, std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
        found[info.FileName.substr(tree.Root().size())] = info.FoundText;
    };
    engine.RunHere();
    error = engine.ErrorMessage();
    return found;
}

// 0 when the run reported exactly `expected` and ended without an error; else says what it saw.
int Verdict(const std::map<std::string, std::string>& found, const std::map<std::string, std::string>& expected,
            const std::string& error)
{
    if (found == expected && error.empty())
        return 0;
    for (const auto& [name, text] : found)
        std::fprintf(stderr, "found %s: [%s]\n", name.c_str(), text.c_str());
    std::fprintf(stderr, "error: [%s]\n", error.c_str());
    return 1;
}

} // namespace

// One deflated member of a billion zeros with the text at its very end: unpacked as it is searched,
// in a process that could not hold a tenth of it, with the same verdicts and texts as unpacking it
// whole (a recorded size that stops before the text hides it).
TEST(HostileFilesTest, HugeZipMemberIsSearchedInBoundedMemory)
{
    constexpr std::uint64_t Zeros = 1000000000;
    const std::string tail = "\nthe needle at the end\n";
    const std::string data = RawDeflateZeros(Zeros, tail);
    const auto full = static_cast<std::uint32_t>(Zeros + tail.size());
    TTempTree tree;
    // The text around the hit reaches back to the line end after the zeros.
    struct Case { const char* zip; std::uint32_t recorded; bool found; };
    const Case cases[] = {
        {"whole.zip", full, true},
        {"unknown-size.zip", 0, true},                                    // 0: not recorded, inflated in full
        {"cut-before.zip", static_cast<std::uint32_t>(Zeros + 7), false}, // ends inside "needle"
        {"recorded-beyond.zip", full + 5000, true},
    };
    for (const Case& c : cases)
        TZipBuilder().Add(TZipMember("big.txt", "", 8).WithData(data).WithUncompressedSize(c.recorded))
            .WriteTo(tree.Path(c.zip));

    const int code = RunWithMemoryLimit(std::size_t{160} << 20, [&] {
        std::string error;
        const auto found = Search(tree, {"*.txt", "needle", true}, error);
        std::map<std::string, std::string> expected;
        for (const Case& c : cases)
            if (c.found)
                expected[c.zip] = tail;
        return Verdict(found, expected, error);
    });
    EXPECT_EQ(code, 0);
}

// A PDF far larger than memory is read a window at a time (its text at the end is found), a
// document whose text outgrows the memory left is a read error of its own, and the walk goes on.
TEST(HostileFilesTest, LargeDocumentsNeverEndTheRun)
{
    TTempTree tree;
    AddSparseFile(tree, "a-huge.pdf", std::uint64_t{8} << 30, "\n(needle in a huge document)\n");
    {
        std::string lines;
        const std::string line = "(" + std::string(1000, 'w') + ")\n";
        while (lines.size() < (std::size_t{96} << 20))
            lines += line;
        lines += "(needle after the words)\n";
        tree.AddFile("b-many-words.pdf", lines);
    }
    tree.AddFile("sub/c-small.pdf", TPdfBuilder().FlateStream(PageContent("needle in a page")).Bytes());

    const int code = RunWithMemoryLimit(std::size_t{64} << 20, [&] {
        std::string error;
        auto found = Search(tree, {"*.pdf", "needle"}, error);
        if (trovex::test::SanitizedBuild)
            found.erase("b-many-words.pdf"); // no limit there: the words fit, and may be found
        std::map<std::string, std::string> expected = {
            {"a-huge.pdf", "needle in a huge document"},
            {"sub/c-small.pdf", "needle in a page"},
        };
        return Verdict(found, expected, error);
    });
    EXPECT_EQ(code, 0);
}

// Terminate while one huge file is being tested (a plain file, two at once on two threads, a
// member of an archive): the run ends soon, and the file half tested is not reported.
TEST(HostileFilesTest, TerminateEndsTheTestOfAHugeFile)
{
    struct Case { const char* what; std::function<void(const TTempTree&)> make; TCriteria criteria; };
    const Case cases[] = {
        {"plain file",
         [](const TTempTree& t) { AddSparseFile(t, "huge.txt", std::uint64_t{64} << 30, "needle"); },
         {"*.txt", "needle"}},
        {"two files, one on each thread",
         [](const TTempTree& t) {
             AddSparseFile(t, "a.txt", std::uint64_t{64} << 30, "needle");
             AddSparseFile(t, "b.txt", std::uint64_t{64} << 30, "needle");
         },
         {"*.txt", "needle"}},
        {"archive member",
         [](const TTempTree& t) {
             TZipBuilder()
                 .Add(TZipMember("big.txt", "", 8).WithData(RawDeflateZeros(4000000000, "needle")))
                 .WriteTo(t.Path("huge.zip"));
         },
         {"*.txt", "needle", true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTempTree tree;
        c.make(tree);
        TFindFile engine;
        engine.SetMask(c.criteria.Mask);
        engine.SetFolder(tree.Root());
        engine.ContainingText = c.criteria.Containing;
        engine.InZip = c.criteria.InZip;
        std::vector<std::string> found;
        int done = 0;
        engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
        engine.OnSearchDone = [&](TFindFile&) { ++done; };
        const auto start = std::chrono::steady_clock::now();
        engine.Start();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        engine.Terminate();
        engine.WaitFor();
        // Only a hang fails this bound; reading the whole file would also be reported below.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
        EXPECT_TRUE(found.empty());
        EXPECT_EQ(done, 1);
        EXPECT_TRUE(engine.ErrorMessage().empty()) << engine.ErrorMessage();
    }
}
