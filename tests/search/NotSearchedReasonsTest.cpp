// SPDX-License-Identifier: MIT
// Why a file's text could not be searched, as the report of such files says it: each reason made
// by a real failure on real files, through the content test the walk runs.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "search/ContentPool.h"
#include "support/TempTree.h"

namespace trovex
{
namespace
{

std::string DataFile(const char* rel)
{
    std::ifstream in((std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / rel).string(),
                     std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The reason the content test of `name` in the listed folder gives: from the error it ended with,
// or from what it said was left unread; "searched" when it searched the file whole.
std::string ReasonFor(const test::TTempTree& tree, const std::string& name, void (*afterListing)(const std::string&))
{
    TFolderListing listing;
    if (!listing.Open(tree.Root()))
        return "folder not listed";
    const std::string path = tree.Path(name);
    if (afterListing)
        afterListing(path);
    TContentSettings settings;
    settings.Containing = "needle";
    settings.CodePages = cpWindows | cpUtf8;
    TSearcherPair searchers(settings);
    bool match = false;
    std::string foundText, incomplete;
    try {
        RunContentTest(searchers, settings, &listing, name, path, match, foundText, nullptr, nullptr, nullptr,
                       &incomplete);
    } catch (const std::exception& error) {
        return ReasonOf(error);
    }
    return incomplete.empty() ? "searched" : incomplete;
}

} // namespace

TEST(NotSearchedReasonsTest, EachFailureHasItsReason)
{
    struct Case
    {
        const char* what;
        const char* name;
        std::string bytes;
        void (*afterListing)(const std::string& path);
        const char* reason;
    };
    std::vector<Case> cases = {
        {"a plain file is searched whole", "plain.txt", "no such word", nullptr, "searched"},
        {"gone between the listing and the reading", "gone.txt", "needle",
         [](const std::string& path) { std::filesystem::remove(path); }, VanishedDuringRun},
        {"a PDF that needs a password", "locked.pdf", DataFile("pdfsecurity/user-password-rc4.pdf"), nullptr, DamagedPdf},
        {"a document that is no document", "broken.docx", "PK\x03\x04 not really a document", nullptr, DamagedDocument},
    };
#ifndef _WIN32
    cases.push_back({"a folder where a file was listed", "turned.txt", "needle",
                     [](const std::string& path) {
                         std::filesystem::remove(path);
                         std::filesystem::create_directory(path);
                     },
                     NotRegularFile});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TTempTree tree;
        tree.AddFile(c.name, c.bytes);
        EXPECT_EQ(ReasonFor(tree, c.name, c.afterListing), c.reason);
    }
}

#ifndef _WIN32
// Read permission taken away: only a user the system does not let through can see it.
TEST(NotSearchedReasonsTest, AClosedFileSaysPermission)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: a file without read permission is still read";
    test::TTempTree tree;
    const std::string path = tree.AddFile("closed.txt", "needle");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    EXPECT_EQ(ReasonFor(tree, "closed.txt", nullptr), CannotOpenPermission);
}
#endif

} // namespace trovex
