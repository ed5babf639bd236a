// SPDX-License-Identifier: MIT
// trovex-cli --threads: the output, the contexts and the counts are byte for byte those of one thread.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/MixedTree.h"

using trovex::test::TTempTree;

namespace
{

struct TOutput
{
    int Status = -1;
    std::string Out;
    std::string Err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TOutput Cli(const std::vector<std::string>& args)
{
    const char* cli = std::getenv("TROVEX_CLI");
    TTempTree io;
    const std::string outPath = io.Path("out"), errPath = io.Path("err");
    const int status = trovex::test::RunProcess(cli ? cli : TROVEX_CLI_PATH, args, {}, outPath, errPath);
    return TOutput{status, Slurp(outPath), Slurp(errPath)};
}

} // namespace

TEST(CliThreadsTest, FourThreadsPrintExactlyWhatOnePrints)
{
    TTempTree tree;
    trovex::test::BuildMixedTree(tree, 3, 120);
    const std::vector<std::vector<std::string>> runs = {
        {"-n", "*.*"},
        {"-n", "*", "-c", "quixel", "-e", "all", "-C"},
        {"-n", "*.txt;*.pdf", "-c", "Quixel", "-x", "Zorbl", "-l", "-C", "--no-zip"},
        {"-n", "*.zip;*.log", "-c", "QUIXEL", "-C"},
        {"-t", "0", "-x", "zorbl", "-0"},
        {"-n", "*.txt", "-c", "quixel", "-e", "windows,unicode", "--no-subfolders", "-l"},
    };
    for (const std::vector<std::string>& run : runs) {
        std::vector<std::string> args = run;
        args.insert(args.end(), {"-q", "--stats", tree.Root()});
        SCOPED_TRACE(::testing::PrintToString(args));
        std::vector<std::string> one = args, four = args;
        one.insert(one.begin(), {"--threads", "1"});
        four.insert(four.begin(), {"--threads", "4"});
        const TOutput single = Cli(one);
        ASSERT_EQ(single.Status, 0) << single.Err;
        EXPECT_NE(single.Err.find("Entries examined: "), std::string::npos);
        const TOutput many = Cli(four);
        EXPECT_EQ(many.Status, single.Status);
        EXPECT_EQ(many.Out, single.Out);
        EXPECT_EQ(many.Err, single.Err);
        // The default is one thread per core: the same again.
        EXPECT_EQ(Cli(args).Out, single.Out);
    }
    EXPECT_EQ(Cli({"--threads", "0", tree.Root()}).Status, 2);
}
