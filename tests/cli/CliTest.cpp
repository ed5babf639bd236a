// SPDX-License-Identifier: MIT
// trovex-cli run as a separate process over real folder trees.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#else
#include <windows.h>
#endif

#include "support/PipedProcess.h"
#include "support/TempTree.h"

using trovex::test::LocalTime;
using trovex::test::Native;
using trovex::test::TPipedProcess;
using trovex::test::TTempTree;

namespace
{

struct TResult
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a program to its end. `stdoutPath` replaces the captured standard output (for example by
// "/dev/full").
TResult RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = {},
                   const std::string& stdoutPath = {})
{
    TTempTree io;
    const std::string outPath = io.Path("out"), errPath = io.Path("err");
    TResult r;
    r.Status = trovex::test::RunProcess(program, args, cwd, stdoutPath.empty() ? outPath : stdoutPath, errPath);
    r.Out = ReadAll(outPath);
    r.Err = ReadAll(errPath);
    return r;
}

std::string CliPath()
{
    const char* cli = std::getenv("TROVEX_CLI"); // lets the same tests run against an installed binary
    return cli ? cli : TROVEX_CLI_PATH;
}

TResult RunCli(const std::vector<std::string>& args, const std::string& cwd = {}, const std::string& stdoutPath = {})
{
    return RunProgram(CliPath(), args, cwd, stdoutPath);
}

std::vector<std::string> SortedLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

class CliTest : public ::testing::Test
{
protected:
    //   root/
    //   ├── Notes.TXT         "alpha needle beta"
    //   ├── report-2024.doc   "x"
    //   ├── plain.txt         "nothing"
    //   └── sub/deep.txt      "needle\tin\r\nlines"
    void SetUp() override
    {
        tree.AddFile("Notes.TXT", "alpha needle beta");
        tree.AddFile("report-2024.doc", "x");
        tree.AddFile("plain.txt", "nothing");
        tree.AddFile("sub/deep.txt", "\x01needle\\in\r\nlines");
        R = tree.Root();
    }
    TTempTree tree;
    std::string R;
};

TEST_F(CliTest, NamesTypesAndFoldersDecideTheList)
{
    struct Case { std::vector<std::string> args; std::string out; int status; };
    const Case cases[] = {
        {{"-q", "-n", "*.txt", R}, R + "Notes.TXT\n" + R + "plain.txt\n" + R + "sub/deep.txt\n", 0},
        {{"-q", "--no-subfolders", "-n", "*.txt", R}, R + "Notes.TXT\n" + R + "plain.txt\n", 0},
        {{"-q", "-n", "report", "-t", "1", R}, R + "report-2024.doc\n", 0},
        {{"-q", "-t", "5", "--no-subfolders", R}, R + "Notes.TXT\n" + R + "plain.txt\n", 0},
        {{"-q", "-n", "*.pdf", R}, "", 1},
        {{"-q", "-0", "-n", "plain*", R}, R + "plain.txt" + std::string(1, '\0'), 0},
        {{"-q", "-n", "sub", R}, R + "sub\n", 0}, // a bare word gives *sub*.*, which fits "sub" without a dot
        {{"-q", "-n", "sub*", R}, R + "sub\n", 0},
    };
    for (const Case& c : cases) {
        TResult r = RunCli(c.args);
        SCOPED_TRACE(::testing::PrintToString(c.args));
        EXPECT_EQ(r.Out, Native(c.out));
        EXPECT_EQ(r.Status, c.status);
        EXPECT_EQ(r.Err, "");
    }
}

// "All files" must mean all files on a tree where many names have no extension: the content search
// with no name given lists exactly what grep lists.
TEST(CliAllFilesTest, WithoutNamesFindsWhatGrepFinds)
{
    TROVEX_SKIP_ON_WINDOWS("compares with grep, a POSIX program");
    TTempTree tree;
    const char* withWord[] = {"Makefile", "README", "copyright", "notes.txt", ".profile", "bin/tool", "src/array",
                              "src/atomic.h", "doc.d/changelog", "doc.d/deep/LICENSE", "archive.tar.gz", "x."};
    const char* withoutWord[] = {"Other", "plain.txt", "bin/empty", "doc.d/NEWS"};
    for (const char* name : withWord)
        tree.AddFile(name, std::string("first line\nthe Quokkafern is here\n") + name);
    for (const char* name : withoutWord)
        tree.AddFile(name, "nothing to see");
    const std::string R = tree.Root();

    TResult grep = RunProgram("/bin/grep", {"-rlF", "Quokkafern", R});
    ASSERT_EQ(grep.Status, 0) << grep.Err;
    TResult cli = RunCli({"-q", "-s", "-c", "Quokkafern", R});
    EXPECT_EQ(cli.Status, 0) << cli.Err;
    EXPECT_EQ(SortedLines(cli.Out), SortedLines(grep.Out));
    EXPECT_EQ(SortedLines(cli.Out).size(), std::size(withWord));

    struct Case { const char* named; std::vector<std::string> found; };
    const Case cases[] = {
        {"Makefile", {R + "Makefile"}},                    // a bare word gives *makefile*.*
        {"*.*", SortedLines(grep.Out)},                    // with the content test: the same set
        {"readme.*", {R + "README"}},
        {"*.h", {R + "src/atomic.h"}},                     // other masks still need their extension
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        TResult r = RunCli({"-q", "-s", "-n", c.named, "-c", "Quokkafern", R});
        EXPECT_EQ(SortedLines(r.Out), c.found);
    }
}

TEST_F(CliTest, ErrorsExitWithStatusTwoAndOneLine)
{
    // Usage errors (an unknown option, a missing or bad value) add the hint to --help; errors met
    // while running print their one line only.
    const std::string hint = "Try 'trovex-cli --help' for more information.\n";
    struct Case { std::vector<std::string> args; std::string errStart; bool usage; };
    const Case cases[] = {
        {{"--bogus"}, "trovex-cli: unknown option '--bogus'", true},
        {{"-n"}, "trovex-cli: option '--named' needs a value", true},
        {{"--from", "2024-13-01", R}, "trovex-cli: invalid date '2024-13-01'", true},
        {{"--from", "2024-02-30", R}, "trovex-cli: invalid date '2024-02-30'", true},
        {{"--to", "2024-01-01T25:00", R}, "trovex-cli: invalid date", true},
        {{"--last-days", "x", R}, "trovex-cli: invalid number for --last-days", true},
        {{"-t", "8", R}, "trovex-cli: invalid number for --type", true},
        {{"-e", "windows,ebcdic", R}, "trovex-cli: unknown code page 'ebcdic'", true},
        {{R + "missing"}, "trovex-cli: no such folder", false},
        {{R + "plain.txt"}, "trovex-cli: no such folder", false},
        {{"--in-list", R + "no-list.txt"}, "trovex-cli: cannot open list file", false},
        // Windows does not open a folder as a file; POSIX systems do, and its read fails.
        {{"--list-only", R},
         trovex::test::OnWindows ? "trovex-cli: cannot open list file" : "trovex-cli: cannot read list file",
         false},
        {{"--report", R + "no/such/dir/r.csv", R}, "trovex-cli: ", false},
        {{"--last-days", "3", "--last-months", "1", R}, "trovex-cli: use only one of", true},
        {{"--ansi-codepage", "99999", R}, "trovex-cli: invalid number for --ansi-codepage", true},
        {{"--ansi-codepage", "65001", R}, "trovex-cli: Code page 65001 is not a single-byte page",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        TResult r = RunCli(c.args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Err.rfind(c.errStart, 0), 0u) << r.Err;
        const std::size_t firstEnd = r.Err.find('\n');
        ASSERT_NE(firstEnd, std::string::npos);
        EXPECT_EQ(r.Err.substr(firstEnd + 1), c.usage ? hint : "") << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

// The invalid mask is raised when first tried: files found before it stay printed.
TEST_F(CliTest, InvalidMaskKeepsEarlierFindings)
{
    TResult r = RunCli({"-q", "--no-subfolders", "-n", "*.txt;[x", R});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Out, R + "Notes.TXT\n" + R + "plain.txt\n");
    EXPECT_EQ(r.Err, "trovex-cli: '[x' is an invalid mask at (3)\n");
}

TEST_F(CliTest, LongCellsStatsAndDateBounds)
{
    tree.SetTime("Notes.TXT", LocalTime(2024, 3, 10, 23, 59, 59), 999999900);
    tree.SetTime("plain.txt", LocalTime(2024, 3, 11, 0, 0, 0));
    tree.SetTime("sub/deep.txt", LocalTime(2024, 3, 9, 0, 0, 0));
    tree.SetTime("report-2024.doc", LocalTime(2024, 3, 8, 23, 59, 59));

    TResult r = RunCli({"-q", "-l", "--stats", "--from", "2024-03-09", "--to", "2024-03-10", "-n", "*.txt", R});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, Native("Notes.TXT\t" + R + "\tTXT\t2024-03-10 23:59:59\t17\n" + "deep.txt\t" + R +
                            "sub/\ttxt\t2024-03-09 00:00:00\t17\n"));
    // root: . .. Notes.TXT plain.txt report-2024.doc sub = 6; sub: . .. deep.txt = 3
    EXPECT_EQ(r.Err, "Files found: 2\nEntries examined: 9\n");

    r = RunCli({"-q", "--from", "2024-03-10T23:59:59", "-n", "*.txt;*.doc", R});
    EXPECT_EQ(r.Out, R + "Notes.TXT\n" + R + "plain.txt\n");
    r = RunCli({"-q", "--to", "2024-03-08T23:59:59", R});
    EXPECT_EQ(r.Out, R + "report-2024.doc\n");
}

TEST_F(CliTest, ContentContextAndReport)
{
    TResult r = RunCli({"-q", "-C", "-c", "NEEDLE", "-x", "beta", R});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, Native(R + "sub/deep.txt") + "\tneedle\\\\in\\r\\nlines\n");

    r = RunCli({"-q", "-C", "-x", "needle", "-n", "*.txt", R});
    EXPECT_EQ(r.Out, R + "plain.txt\t\n"); // only the exclude text: the context is the empty contain text

    const std::string report = tree.Path("r.csv");
    r = RunCli({"-q", "-n", "*.txt", "--no-subfolders", "--report", report, "--fields", "name,size", R});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(ReadAll(report), "Notes,17\r\nplain,7\r\n");
}

TEST_F(CliTest, ListModes)
{
    const std::string list = tree.AddFile(
        "list.txt", Native(R + "sub/deep.txt\r\n" + R + "gone.txt\n" + R + "Notes.TXT\n" + R + "report-2024.doc\n" + R + "sub\n"));
    TResult r = RunCli({"-q", "--list-only", list});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, Native(R + "sub/deep.txt\n" + R + "Notes.TXT\n" + R + "report-2024.doc\n" + R + "sub\n"));

    r = RunCli({"-q", "--in-list", list, "-n", "*.txt", "-c", "needle"});
    EXPECT_EQ(r.Out, Native(R + "sub/deep.txt\n" + R + "Notes.TXT\n"));
    r = RunCli({"-q", "--in-list", list, "-n", "notes.txt"}); // masks see the whole path
    EXPECT_EQ(r.Status, 1);
    r = RunCli({"-q", "--in-list", list, "-n", "*sub*", "-c", "needle"}); // a folder passes text criteria
    EXPECT_EQ(r.Out, Native(R + "sub/deep.txt\n" + R + "sub\n"));
}

// A list that holds NUL bytes is NUL-separated, as -0 writes it: the only form that carries a name
// holding a line feed (Windows names hold no control characters: there the list of plain names
// still goes round whole).
TEST_F(CliTest, NulSeparatedLists)
{
    if (!trovex::test::OnWindows) {
        tree.AddFile("line\nfeed.txt", "a needle here");
        tree.AddFile("sub/tab\there.txt", "needle too");
    }
    TResult first = RunCli({"-q", "-0", "-c", "needle", R});
    ASSERT_EQ(first.Status, 0);
    ASSERT_NE(first.Out.find(Native(R + "sub/deep.txt") + std::string(1, '\0')), std::string::npos);
    if (!trovex::test::OnWindows) {
        ASSERT_NE(first.Out.find(R + "line\nfeed.txt" + std::string(1, '\0')), std::string::npos);
    }
    const std::string list = tree.AddFile("hits.lst", first.Out);
    TResult again = RunCli({"-q", "-0", "--in-list", list, "-c", "needle"});
    EXPECT_EQ(again.Status, 0);
    EXPECT_EQ(again.Out, first.Out);
    TResult only = RunCli({"-q", "-0", "--list-only", list});
    EXPECT_EQ(only.Out, first.Out);
}

// A list that never ends is refused instead of filling the memory.
TEST_F(CliTest, EndlessListIsRefused)
{
    // Larger than any list the program accepts (a sparse file stands for a device that never ends).
    const std::string huge = tree.AddFile("huge.lst");
    std::filesystem::resize_file(huge, std::uintmax_t{300} << 20);
    TResult r = RunCli({"-q", "--in-list", huge, "-c", "needle"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, "trovex-cli: list file '" + huge + "' is larger than 256 MiB\n");
    EXPECT_EQ(r.Out, "");
}

// An endless source is refused at the bound without holding much more than the bound meanwhile.
TEST_F(CliTest, EndlessDeviceListIsRefusedInBoundedMemory)
{
    TROVEX_SKIP_ON_WINDOWS("/dev/zero and prlimit");
    if (trovex::test::SanitizedBuild || !std::filesystem::exists("/usr/bin/prlimit"))
        GTEST_SKIP() << "the sanitizers need their own address space; no prlimit";
    // 256 MiB of list, the program and its libraries: room for the bound once, not twice.
    TResult r = RunProgram("/usr/bin/prlimit",
                           {"--as=" + std::to_string(std::uint64_t{400} << 20), CliPath(), "-q", "--in-list", "/dev/zero",
                            "-c", "needle"});
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, "trovex-cli: list file '/dev/zero' is larger than 256 MiB\n");
}

// More threads than make sense are capped, said once, and change nothing of the result.
TEST_F(CliTest, ThreadsBeyondTheCapAreCapped)
{
    const TResult one = RunCli({"-q", "--threads", "1", "-C", "-c", "needle", R});
    const TResult many = RunCli({"-q", "--threads", "1024", "-C", "-c", "needle", R});
    EXPECT_EQ(many.Status, one.Status);
    EXPECT_EQ(many.Out, one.Out);
    EXPECT_EQ(many.Err.rfind("trovex-cli: --threads 1024 is more than ", 0), 0u) << many.Err;
    EXPECT_NE(many.Err.find("(4 per core); using "), std::string::npos) << many.Err;
    EXPECT_EQ(std::count(many.Err.begin(), many.Err.end(), '\n'), 1);
    EXPECT_EQ(RunCli({"-q", "--threads", "2", "-c", "needle", R}).Err, "");
}

// A write error on standard output is an error of the run, said once.
TEST_F(CliTest, OutputWriteErrors)
{
    TROVEX_SKIP_ON_WINDOWS("needs /dev/full, a device that fails every write");
    for (int i = 0; i < 1500; ++i) // more output than the buffer holds
        tree.AddFile("many/file-with-a-long-name-" + std::to_string(i) + ".txt", "needle");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-q", "-c", "needle", R}, {"-q", "-n", "plain.txt", R}, {"--help"}}) {
        SCOPED_TRACE(::testing::PrintToString(args));
        TResult r = RunCli(args, {}, "/dev/full");
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Err, "trovex-cli: write error on standard output: No space left on device\n");
    }
}

// A reader that went away ends the run quietly.
TEST_F(CliTest, ReaderGoneEndsTheRunQuietly)
{
    TTempTree io;
    TPipedProcess cli(CliPath(), {"-q", "-c", "needle", R}, io.Path("err"), /*readerGone=*/true);
    ASSERT_TRUE(cli.Started());
    EXPECT_NE(cli.Wait(), 0);
    EXPECT_EQ(ReadAll(io.Path("err")), "");
}

// A reader that goes away while a long file is read ends the run then, not after the file.
TEST_F(CliTest, ReaderGoneDuringALongFileEndsTheRun)
{
    TROVEX_SKIP_ON_WINDOWS("Windows tells of a closed pipe only at the next write");
    tree.AddFile("long/a.txt", "needle");
    // Zeros that take many minutes to read, in a subfolder of their own (see below).
    std::filesystem::resize_file(tree.AddFile("long/later/b.txt"), std::uintmax_t{1} << 40);
    TTempTree io;
    TPipedProcess cli(CliPath(), {"-q", "--line-buffered", "-c", "needle", tree.Path("long")}, io.Path("err"));
    ASSERT_TRUE(cli.Started());
    std::string got;
    ASSERT_TRUE(cli.ReadLine(got));
    EXPECT_EQ(got, tree.Path("long/a.txt"));
    cli.CloseReader();
    // Only a run that goes on reading fails this bound.
    const auto start = std::chrono::steady_clock::now();
    while (!cli.HasEnded() && std::chrono::steady_clock::now() - start < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(cli.HasEnded()) << "the run went on after its reader had gone";
#ifndef _WIN32
    EXPECT_EQ(cli.Wait(), 128 + SIGPIPE); // as a write to the closed pipe would have ended it
#endif
    EXPECT_EQ(ReadAll(io.Path("err")), "");
}

// With --line-buffered each record reaches a pipe while the run still goes on.
TEST_F(CliTest, LineBufferedRecordsArriveDuringTheRun)
{
    const std::string first = tree.AddFile("huge/a.txt", "needle");
    // A file that takes long to read, tested after a.txt. It lies in a subfolder: the walk's
    // look-ahead settles a small folder's entries together, and this test is about the output.
    // (MinGW's resize_file stops below 2 GiB.)
    std::filesystem::resize_file(tree.AddFile("huge/later/b.txt"),
                                 trovex::test::OnWindows ? (std::uintmax_t{2} << 30) - 1 : std::uintmax_t{64} << 30);
    TTempTree io;
    TPipedProcess cli(CliPath(), {"-q", "--line-buffered", "-c", "needle", tree.Path("huge")}, io.Path("err"));
    ASSERT_TRUE(cli.Started());
    std::string got;
    cli.ReadLine(got);
    const bool ended = cli.HasEnded();
    cli.Kill();
    EXPECT_EQ(got, first);
    EXPECT_FALSE(ended) << "the record came only when the run had ended";
}

TEST_F(CliTest, DefaultFolderIsTheCurrentOne)
{
    TResult r = RunCli({"-q", "-n", "plain.txt"}, R);
    EXPECT_EQ(r.Status, 0);
    ASSERT_GT(r.Out.size(), std::string("/plain.txt\n").size());
    EXPECT_EQ(r.Out.substr(r.Out.size() - std::string("/plain.txt\n").size()), Native("/plain.txt\n"));
    if (trovex::test::OnWindows)
        EXPECT_EQ(r.Out.substr(1, 2), ":\\"); // a drive's absolute path
    else
        EXPECT_EQ(r.Out.front(), '/');
}

TEST(CliHelpTest, HelpAndVersion)
{
    TResult r = RunCli({"--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_NE(r.Out.find("--last-months N"), std::string::npos);
    r = RunCli({"--version"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("trovex-cli ", 0), 0u);
}

// Arguments and names beyond the ANSI page pass whole both ways: a mask of CJK and emoji typed on
// the command line finds the file, printed in UTF-8 with the system's separator.
TEST(CliNamesTest, Utf8ArgumentsAndNamesBeyondTheAnsiPage)
{
    TTempTree tree;
    tree.AddFile("x/Ж中😀.txt", "Ωmega");
    tree.AddFile("x/plain.txt", "Ωmega");
    const std::string R = tree.Root();
    TResult r = RunCli({"-q", "-n", "*中😀*", "-c", "ωMEGA", "-e", "utf8", R});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, tree.Path("x/Ж中😀.txt") + "\n");
    r = RunCli({"-q", "-0", "-n", "*.txt", tree.Path("x")});
    EXPECT_EQ(r.Out, tree.Path("x/plain.txt") + std::string(1, '\0') + tree.Path("x/Ж中😀.txt") + std::string(1, '\0'));
}

// "ошибка" written in cp1251, cp866, KOI8-R, UTF-8 and UTF-16LE, one file each.
void AddFiveEncodings(TTempTree& tree)
{
    tree.AddFile("cp1251.txt", "error: \xEE\xF8\xE8\xE1\xEA\xE0");
    tree.AddFile("cp866.txt", "error: \xAE\xE8\xA8\xA1\xAA\xA0");
    tree.AddFile("koi8.txt", "error: \xCF\xDB\xC9\xC2\xCB\xC1");
    tree.AddFile("utf8.txt", "error: ошибка");
    tree.AddFile("utf16.txt", std::string("\x3E\x04\x48\x04\x38\x04\x31\x04\x3A\x04\x30\x04", 12));
}

// "ошибка" in the five encodings, each file its own: found in all of them however the desktop's
// pages are set (an English desktop's 1252 and 850 cannot write it: each pass takes the page of the
// text's script), and a pass that no page can run in is said on standard error.
TEST(CliCodePagesTest, EveryEncodingOnEveryDesktop)
{
    TTempTree tree;
    AddFiveEncodings(tree);
    const std::vector<std::string> all = {tree.Root() + "cp1251.txt", tree.Root() + "cp866.txt",
                                          tree.Root() + "koi8.txt", tree.Root() + "utf16.txt", tree.Root() + "utf8.txt"};
    std::vector<std::string> native;
    for (const std::string& path : all)
        native.push_back(trovex::test::Native(path));
    std::sort(native.begin(), native.end());
    for (const auto& [ansi, oem] : {std::pair{"1252", "850"}, std::pair{"1251", "866"}, std::pair{"1250", "852"}}) {
        SCOPED_TRACE(std::string(ansi) + "/" + oem);
        const TResult r = RunCli({"-q", "--ansi-codepage", ansi, "--oem-codepage", oem, "-e", "all", "-c", "ошибка", tree.Root()});
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(SortedLines(r.Out), native);
        EXPECT_EQ(r.Err, "");
    }
    // Two scripts at once: no 8-bit page writes them both.
    const TResult mixed = RunCli({"-q", "--ansi-codepage", "1252", "--oem-codepage", "850", "-e", "all", "-c",
                                  "ошибка ωμεγα", tree.Root()});
    EXPECT_EQ(mixed.Status, 1);
    EXPECT_EQ(mixed.Err, "trovex-cli: code page 1252 cannot write the text: the Windows pass was skipped\n"
                         "trovex-cli: code page 850 cannot write the text: the DOS pass was skipped\n"
                         "trovex-cli: code page 20866 cannot write the text: the KOI8-R pass was skipped\n");
#ifndef _WIN32
    // The same through the locale alone, as a desktop in the C locale runs it.
    const char* const names[] = {"TROVEX_ANSI_CODEPAGE", "TROVEX_OEM_CODEPAGE", "LC_ALL"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : names)
        if (const char* v = std::getenv(name))
            saved.emplace_back(name, v);
    ::unsetenv("TROVEX_ANSI_CODEPAGE");
    ::unsetenv("TROVEX_OEM_CODEPAGE");
    ::setenv("LC_ALL", "C.UTF-8", 1);
    const TResult c = RunCli({"-q", "-e", "all", "-c", "ошибка", tree.Root()});
    ::unsetenv("LC_ALL");
    for (const auto& [name, value] : saved)
        ::setenv(name.c_str(), value.c_str(), 1);
    EXPECT_EQ(c.Status, 0);
    EXPECT_EQ(SortedLines(c.Out), native);
#endif
}

// The files that were not found and whose text could not be searched in full are written with
// --skipped (reason, tab, path; -0 applies) and counted by --stats, in the same order whatever
// the threads; a file found anyway is not among them, and the rest of the output is unchanged.
TEST(CliSkippedTest, FilesNotSearchedInFullAreListedWithTheirReasons)
{
    TTempTree tree;
    const std::string data = (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "pdfsecurity").string();
    std::ifstream locked(data + "/user-password-rc4.pdf", std::ios::binary);
    std::stringstream lockedBytes;
    lockedBytes << locked.rdbuf();
    ASSERT_FALSE(lockedBytes.str().empty());
    tree.AddFile("a-locked.pdf", lockedBytes.str());
    tree.AddFile("b-damaged.docx", "PK\x03\x04 not really a document");
    tree.AddFile("c-plain.txt", "nothing here");
    tree.AddFile("d-found.txt", "the needle");
    const std::string root = tree.Root();
    const std::string expected = std::string("damaged or encrypted PDF\t") + trovex::test::Native(root + "a-locked.pdf") +
                                 "\ndamaged or encrypted document\t" + trovex::test::Native(root + "b-damaged.docx") + "\n";
    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        TTempTree io;
        const TResult r = RunCli({"-q", "--threads", threads, "--stats", "--skipped", io.Path("skipped"), "-c", "needle", root});
        EXPECT_EQ(r.Status, 0);
        EXPECT_EQ(r.Out, trovex::test::Native(root + "d-found.txt") + "\n");
        EXPECT_EQ(ReadAll(io.Path("skipped")), expected);
        EXPECT_EQ(r.Err, "Files found: 1\nEntries examined: 6\nNot fully searched: 2\n"
                         "  damaged or encrypted PDF: 1\n  damaged or encrypted document: 1\n");
    }
    // NUL-ended records; nothing to say when every file was searched whole.
    TTempTree io;
    const TResult nul = RunCli({"-q", "-0", "--skipped", io.Path("skipped"), "-n", "*.pdf", "-c", "needle", root});
    EXPECT_EQ(nul.Status, 1);
    EXPECT_EQ(ReadAll(io.Path("skipped")), "damaged or encrypted PDF\t" + trovex::test::Native(root + "a-locked.pdf") +
                                               std::string(1, '\0'));
    const TResult none = RunCli({"-q", "--stats", "--skipped", io.Path("none"), "-n", "*.txt", "-c", "needle", root});
    EXPECT_EQ(ReadAll(io.Path("none")), "");
    EXPECT_EQ(none.Err, "Files found: 1\nEntries examined: 6\n");
#ifndef _WIN32
    // A FIFO given in a list has no text to search: said, and the list goes on.
    const std::string fifo = tree.Path("e-fifo.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    tree.AddFile("list.txt", fifo + "\n" + root + "d-found.txt\n");
    const TResult listed = RunCli({"-q", "--skipped", io.Path("fifo"), "-c", "needle", "--in-list", tree.Path("list.txt")});
    EXPECT_EQ(listed.Status, 0);
    EXPECT_EQ(listed.Out, root + "d-found.txt\n");
    EXPECT_EQ(ReadAll(io.Path("fifo")), "not a regular file\t" + fifo + "\n");
#endif
}

namespace
{

std::string DataDir(const char* name)
{
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / name).string() + "/";
}

// The records of a run with --show-match: path (or cells), tab, the match text.
std::map<std::string, std::string> Matches(const TResult& r)
{
    std::map<std::string, std::string> out;
    std::istringstream in(r.Out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.rfind('\t');
        if (tab != std::string::npos)
            out[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return out;
}

} // namespace

// Archives as zip writes them: a member whose sizes follow its data is read, with those after it;
// an encrypted member, one packed by a method not read, and an archive cut short are said, and a
// hit in a member says which.
TEST(CliSkippedTest, ArchivesSayWhatTheyHeldBack)
{
    const std::string zips = DataDir("zip");
    struct Case
    {
        const char* archive;
        const char* match;  // the --show-match field when found
        const char* reason; // the --skipped reason when not
    };
    const Case cases[] = {
        {"streamed.zip", "member s.txt, ANSI 1252", nullptr},
        {"full.zip", "member z.txt, ANSI 1252", nullptr},
        {"encrypted.zip", nullptr, "member not searched (encrypted)"},
        {"bzip2.zip", nullptr, "member not searched (unknown method)"},
        {"truncated.zip", nullptr, "damaged archive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        TTempTree tree;
        tree.AddFile(c.archive, ReadAll(zips + c.archive));
        const std::string path = Native(tree.Root() + c.archive);
        const TResult r = RunCli({"-q", "--ansi-codepage", "1252", "--show-match", "--skipped", tree.Path("skipped"),
                                  "-n", "*.txt", "-c", "needle", tree.Root()});
        if (c.match) {
            EXPECT_EQ(r.Status, 0);
            EXPECT_EQ(r.Out, path + "\t" + c.match + "\n");
            EXPECT_EQ(ReadAll(tree.Path("skipped")), "");
        } else {
            EXPECT_EQ(r.Status, 1);
            EXPECT_EQ(r.Out, "");
            EXPECT_EQ(ReadAll(tree.Path("skipped")), std::string(c.reason) + "\t" + path + "\n");
        }
    }
}

// --show-match says which form of the text matched: the code page of the bytes (the page of the
// text's own script when the system's cannot write it), the name, and where in a PDF or office
// document it was; --fields match reports the same.
TEST(CliMatchTest, EachHitSaysHowAndWhere)
{
    TTempTree tree;
    AddFiveEncodings(tree);
    tree.AddFile("ошибка.log", "nothing inside");
    const std::string r = tree.Root();
    const TResult forms = RunCli({"-q", "--ansi-codepage", "1252", "--oem-codepage", "850", "-e", "all", "--show-match",
                                  "-n", "*.txt;*.log", "-c", "ошибка", r});
    EXPECT_EQ(forms.Status, 0);
    const std::map<std::string, std::string> expected = {
        {Native(r + "cp1251.txt"), "ANSI 1251"}, {Native(r + "cp866.txt"), "OEM 866"}, {Native(r + "koi8.txt"), "KOI8-R"},
        {Native(r + "utf8.txt"), "UTF-8"},       {Native(r + "utf16.txt"), "UTF-16LE"}, {Native(r + "ошибка.log"), "name"}};
    EXPECT_EQ(Matches(forms), expected);
    // The same as the last field of a report, after the cells asked for.
    const TResult report = RunCli({"-q", "--ansi-codepage", "1251", "--report", tree.Path("report.txt"), "--fields",
                                   "name,match", "-n", "cp1251.txt", "-c", "ошибка", r});
    EXPECT_EQ(report.Status, 0);
    EXPECT_EQ(ReadAll(tree.Path("report.txt")), "cp1251\tANSI 1251\r\n");

    struct Case
    {
        const char* file; // in tests/data
        const char* word;
        const char* match;
    };
    const Case places[] = {
        {"office/writer.docx", "Vesperwhig", "body"},
        {"office/writer.docx", "Tarragonwick", "footnote"},
        {"office/writer.docx", "Skellimore", "endnote"},
        {"office/writer.docx", "Drovenhallow", "comment"},
        {"office/writer.docx", "Hobbleswain", "header"},
        {"office/writer.odt", "Tarragonwick", "footnote"},
        {"office/writer.odt", "Skellimore", "endnote"},
        {"office/writer.odt", "Drovenhallow", "comment"},
        {"office/writer.odt", "Fenwickbray", "footer"},
        {"office/calc.xlsx", "Thimblecrag", "sheet Wickerfold"},  // a shared string, shown on sheet 2
        {"office/calc.xlsx", "Wickerfold", "sheet Wickerfold"},   // the sheet's own name
        {"office/calc.xlsx", "Brackenhusk", "sheet Plumbergast, header"},
        {"office/calc.xlsx", "Marrowdusk", "comment"},
        {"office/calc.ods", "Yarrowspit", "sheet Wickerfold"},
        {"office/calc.ods", "Marrowdusk", "sheet Plumbergast, comment"},
        {"office/openpyxl.xlsx", "Rumbleclove", "sheet Kettlebrisk"}, // an inline string
        {"office/impress.pptx", "Nimbletusk", "slide 3"},
        {"office/impress.pptx", "Gloamerwick", "slide master"},
        {"office/impress.pptx", "Whistlegorse", "notes"},
        {"office/impress.odp", "Halvorquin", "slide 2"},
        {"office/impress.odp", "Whistlegorse", "slide 2, notes"},
        {"office/impress.odp", "Gloamerwick", "slide master"},
        {"pdf/libreoffice/writer.pdf", "Tarnwhistle", "page 3"},
    };
    for (const Case& c : places) {
        SCOPED_TRACE(std::string(c.file) + " " + c.word);
        TTempTree one;
        const std::string name = std::filesystem::path(c.file).filename().string();
        one.AddFile(name, ReadAll(DataDir("") + c.file));
        const TResult hit = RunCli({"-q", "--show-match", "-c", c.word, one.Root()});
        EXPECT_EQ(hit.Out, Native(one.Root() + name) + "\t" + c.match + "\n");
    }
}

namespace
{

// The time zone a program started from here runs in (wine takes it from TZ too); null: none set.
void SetZone(const char* zone)
{
#ifdef _WIN32
    ::_putenv_s("TZ", zone ? zone : "");
#else
    if (zone)
        ::setenv("TZ", zone, 1);
    else
        ::unsetenv("TZ");
#endif
}

} // namespace

// Shown and selected alike: a file's local time uses the offset in force on its date, and so do
// --from and --to, whatever the season the search runs in.
TEST(CliDateTest, SummerTimeShownAndSelectedAlike)
{
    TTempTree tree;
    const std::string june = tree.AddFile("june.txt", "x");
    const std::string april = tree.AddFile("april.txt", "x");
    ASSERT_TRUE(trovex::test::SetFileTimes(june, 1560578400, 0));  // 2019-06-15 06:00 UTC
    ASSERT_TRUE(trovex::test::SetFileTimes(april, 1711924200, 0)); // 2024-03-31 22:30 UTC
    const char* saved = std::getenv("TZ");
    const std::string before = saved ? saved : "";
#ifdef _WIN32
    // Under wine a program keeps the zone its process started with: the test list runs this again
    // under TZ.
    if (before != "Europe/Berlin")
        GTEST_SKIP() << "runs under TZ=Europe/Berlin";
#endif
    SetZone("Europe/Berlin");
    const TResult shown = RunCli({"-q", "-l", "-n", "*.txt", tree.Root()});
    const TResult march = RunCli({"-q", "--to", "2024-03-31", "--from", "2024-01-01", "-n", "*.txt", tree.Root()});
    const TResult aprilFirst = RunCli({"-q", "--from", "2024-04-01", "--to", "2024-04-01", "-n", "*.txt", tree.Root()});
    SetZone(saved ? before.c_str() : nullptr);
    EXPECT_NE(shown.Out.find("june.txt\t" + tree.Root() + "\ttxt\t2019-06-15 08:00:00\t1"), std::string::npos) << shown.Out;
    EXPECT_NE(shown.Out.find("april.txt\t" + tree.Root() + "\ttxt\t2024-04-01 00:30:00\t1"), std::string::npos) << shown.Out;
    EXPECT_EQ(march.Status, 1);
    EXPECT_EQ(march.Out, "");
    EXPECT_EQ(aprilFirst.Out, april + "\n");
}

namespace
{

#ifdef _WIN32
// The extended form of an absolute path, which the wide API takes name by name as it is.
std::wstring Extended(const std::string& path)
{
    const std::string extended = "\\\\?\\" + path;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, extended.data(), static_cast<int>(extended.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, extended.data(), static_cast<int>(extended.size()), wide.data(), n);
    return wide;
}
#endif

// Writes a file by a name the system's own path rules would change (a device name, a trailing dot
// or space): on Windows through the extended form, which takes the name as it is.
void AddRawFile(const std::string& folder, const std::string& name, const std::string& bytes)
{
#ifdef _WIN32
    HANDLE file = ::CreateFileW(Extended(folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
#else
    std::ofstream(folder + name, std::ios::binary) << bytes;
#endif
}

void RemoveRaw(const std::string& path, bool folder)
{
#ifdef _WIN32
    const std::wstring wide = Extended(path);
    folder ? ::RemoveDirectoryW(wide.c_str()) : ::DeleteFileW(wide.c_str());
#else
    (void)folder;
    std::filesystem::remove(path);
#endif
}

} // namespace

// Names that Windows' path rules would take for devices or cut short (they come to NTFS from
// other systems, unpackers and git) are searched like any other, and so is a folder so named.
TEST(CliNamesTest, ReservedAndTrailingNamesAreSearched)
{
    TTempTree tree;
    const std::string root = tree.Root();
    const std::vector<std::string> names = {"aux.txt", "CON", "nul", "COM1.log", "prn", "trail.", "trailsp "};
    for (const std::string& name : names)
        AddRawFile(root, name, "the needle");
    const std::string folder = tree.AddFolder("sub") + std::string(1, trovex::PathDelim) + "dirtrail.";
#ifdef _WIN32
    ASSERT_TRUE(::CreateDirectoryW(Extended(folder).c_str(), nullptr));
#else
    std::filesystem::create_directory(folder);
#endif
    AddRawFile(folder + std::string(1, trovex::PathDelim), "inside.txt", "the needle");
    std::vector<std::string> expected;
    for (const std::string& name : names)
        expected.push_back(root + name);
    expected.push_back(folder + std::string(1, trovex::PathDelim) + "inside.txt");
    std::sort(expected.begin(), expected.end());
    for (const char* relative : {"", "."}) {
        SCOPED_TRACE(*relative ? "a relative folder" : "an absolute folder");
        const TResult r = *relative ? RunCli({"-q", "-c", "needle", "."}, root) : RunCli({"-q", "-c", "needle", root});
        EXPECT_EQ(r.Status, 0);
        std::vector<std::string> found = SortedLines(r.Out);
        if (*relative)
            for (std::string& path : found)
                path = root + path.substr(2); // ".\\aux.txt" -> the full path
        EXPECT_EQ(found, expected);
        EXPECT_EQ(r.Err, "");
    }
    for (const std::string& name : names)
        RemoveRaw(root + name, false);
    RemoveRaw(folder + std::string(1, trovex::PathDelim) + "inside.txt", false);
    RemoveRaw(folder, true);
}

// A page of more than one byte a character, or none at all, is refused in the same words by both
// builds.
TEST(CliCodePagesTest, PagesThatAreNoSingleBytePageAreRefusedAlike)
{
    TTempTree tree;
    const std::pair<const char*, const char*> cases[] = {
        {"65001", "trovex-cli: Code page 65001 is not a single-byte page\n"},
        {"932", "trovex-cli: Code page 932 is not a single-byte page\n"},
        {"950", "trovex-cli: Code page 950 is not a single-byte page\n"},
        {"1200", "trovex-cli: Unknown code page 1200\n"},
        {"4242", "trovex-cli: Unknown code page 4242\n"},
    };
    for (const auto& [page, message] : cases) {
        SCOPED_TRACE(page);
        const TResult r = RunCli({"-q", "--ansi-codepage", page, "-c", "x", tree.Root()});
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Err, message);
    }
}

// Devices named in a list are never read, whatever name they go by: the list goes on to the file
// that holds the word.
TEST(CliNamesTest, DevicesNamedInAListAreNeverRead)
{
    TTempTree tree;
    const std::string real = tree.AddFile("real.txt", "the needle");
    const std::vector<std::string> devices = trovex::test::OnWindows
                                                 ? std::vector<std::string>{"\\\\.\\NUL", "//./CON", "NUL", "CON", "COM1", "aux"}
                                                 : std::vector<std::string>{"/dev/null", "/dev/zero", "/dev/tty"};
    std::string list;
    for (const std::string& device : devices)
        list += device + "\n";
    tree.AddFile("list.txt", list + real + "\n");
    const TResult r = RunCli({"-q", "--skipped", tree.Path("skipped"), "-c", "needle", "--in-list", tree.Path("list.txt")},
                             tree.Root());
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out, real + "\n");
    std::istringstream skipped(ReadAll(tree.Path("skipped")));
    for (std::string line; std::getline(skipped, line);)
        EXPECT_EQ(line.substr(0, line.find('\t')), "not a regular file") << line;
}
