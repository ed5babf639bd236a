// SPDX-License-Identifier: MIT
// The list mode with entries that have no content to read: devices, FIFOs and sockets in the list.
#include "search/FindFile.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

// A bound Unix socket stays in the folder as a socket entry until it is removed.
class TSocketFile
{
public:
    explicit TSocketFile(const std::string& path)
    {
        FHandle = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (FHandle >= 0 && path.size() < sizeof address.sun_path) {
            std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
            Bound = ::bind(FHandle, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        }
    }
    ~TSocketFile()
    {
        if (FHandle >= 0)
            ::close(FHandle);
    }
    bool Bound = false;

private:
    int FHandle = -1;
};

} // namespace

// With a text to look for, a FIFO, a socket or a device among the listed files does not match, and
// every file after it is still tested: none of them ends the run with an error.
TEST(FindFileListModeTest, EntriesWithoutContentDoNotMatchAndTheListGoesOn)
{
    TTempTree tree;
    const std::string before = tree.AddFile("a.txt", "the needle");
    const std::string fifo = tree.Path("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socket = tree.Path("sock.txt");
    TSocketFile bound(socket);
    ASSERT_TRUE(bound.Bound);
    const std::string plain = tree.AddFile("b.txt", "no such thing");
    const std::string after = tree.AddFile("c.txt", "needle again");

    struct Case
    {
        const char* what;
        std::string containing, excluded;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"containing", "needle", "", {before, after}},
        {"not containing", "", "needle", {plain}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TFindFile engine;
        engine.SetMask("*.txt; *null");
        engine.ContainingText = c.containing;
        engine.ExcludedText = c.excluded;
        std::vector<std::string> found;
        std::string error;
        int done = 0;
        engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
        engine.OnError = [&](TFindFile&, const std::string&, const std::string& message) { error = message; };
        engine.OnSearchDone = [&](TFindFile&) { ++done; };
        engine.StartInList({before, fifo, "/dev/null", socket, plain, after});
        engine.WaitFor();
        EXPECT_EQ(error, "");
        EXPECT_EQ(done, 1);
        EXPECT_EQ(found, c.expected);
    }

    // Without a text there is nothing to read: the names and dates alone decide, as for any entry.
    TFindFile engine;
    engine.SetMask("*.txt");
    std::vector<std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
    engine.StartInList({fifo, socket, after});
    engine.WaitFor();
    EXPECT_EQ(found, (std::vector<std::string>{fifo, socket, after}));
}
