// SPDX-License-Identifier: MIT
// The window program's command line: which action the first argument asks for and which folder
// comes with it, whatever the face that starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/CommandLine.h"

using namespace trovex;

namespace
{

struct TCase
{
    std::vector<std::string> Args;
    TStartAction Action;
    std::string Folder;
};

} // namespace

// Only the first argument's second character counts, in either case; the folder keeps its bytes.
TEST(CommandLineTest, SecondCharacterOfTheFirstArgumentDecides)
{
    const TCase cases[] = {
        {{}, saNone, ""},
        {{"-F", "/home/a b/My Docs"}, saFolder, "/home/a b/My Docs"},
        {{"/f", "rel/dir"}, saFolder, "rel/dir"},
        {{"xF", "/x"}, saFolder, "/x"},
        {{"-F"}, saFolder, ""},
        {{"-Folder", "/y"}, saFolder, "/y"},
        {{"/u"}, saUninstall, ""},
        {{"-U", "/ignored"}, saUninstall, ""},
        {{"-i"}, saInstall, ""},
        {{"-i", "/ignored"}, saInstall, ""},
        {{"F", "/z"}, saNone, ""},
        {{"-Q", "/z"}, saNone, ""},
        {{"", "/z"}, saNone, ""},
        {{"-F", "/dir\xff/\xc3"}, saFolder, "/dir\xff/\xc3"},
        // A first character of several bytes is one character: its second byte is not the switch.
        {{"\xc3\xa9" "F", "/w"}, saFolder, "/w"},
        {{"\xe2\x80\x94u"}, saUninstall, ""},
    };
    for (const TCase& c : cases) {
        const TCommandLine parsed = ParseCommandLine(c.Args);
        const std::string args = c.Args.empty() ? std::string("(none)") : c.Args[0];
        EXPECT_EQ(parsed.Action, c.Action) << args;
        EXPECT_EQ(parsed.Folder, c.Folder) << args;
    }
}
