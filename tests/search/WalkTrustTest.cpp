// SPDX-License-Identifier: MIT
// The walk stays inside the chosen folder and every file's test ends: a folder or file swapped for
// a link while the walk runs is not read in its place, and files whose size tells nothing (those
// of /proc) are read up to a bound.
#include "search/FindFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <thread>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/Stream.h"
#include "search/ContentPool.h"
#include "support/DocBuilder.h"
#include "support/PdfBuilder.h"
#include "support/TempTree.h"
#include "support/ZipBuilder.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

using TFound = std::map<std::string, std::string>; // path below the root -> text around the hit

struct TRun
{
    std::string Mask = "*";
    std::string Containing;
    bool InZip = false;
    /// Called on the walk's thread at each folder it enters, before the folder is opened.
    std::function<void(const std::string& folder)> OnFolder;
    /// Called on the walk's thread for each file found, before the next entry is examined.
    std::function<void(const std::string& path)> OnFile;
    /// The folder to search, when not the tree's root.
    std::string Folder;
    /// Where the files and folders not searched in full go (path below the tree -> reason).
    TFound* Incomplete = nullptr;
};

// One run on one thread, so the hooks fall between the listing and the opening of what follows.
TFound Walk(const TTempTree& tree, const TRun& run, std::string& error)
{
    TFindFile engine;
    engine.SetMask(run.Mask);
    engine.SetFolder(run.Folder.empty() ? tree.Root() : run.Folder);
    engine.ContainingText = run.Containing;
    engine.InZip = run.InZip;
    engine.Threads = 1;
    TFound found;
    engine.OnFolderChange = [&](TFindFile& sender) {
        if (run.OnFolder)
            run.OnFolder(sender.CurrentFolder());
    };
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
        found[info.FileName.substr(tree.Root().size())] = info.FoundText;
        if (run.OnFile)
            run.OnFile(info.FileName);
    };
    engine.OnIncomplete = [&](TFindFile&, const std::string& path, const std::string& reason) {
        if (run.Incomplete)
            (*run.Incomplete)[path.starts_with(tree.Root()) ? path.substr(tree.Root().size()) : path] = reason;
    };
    engine.RunHere();
    error = engine.ErrorMessage();
    return found;
}

// The paths with '/' for the system's separator, as the tables below write them.
TFound Slashed(const TFound& paths)
{
    TFound out;
    for (const auto& [path, text] : paths) {
        std::string slashed = path;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        out[slashed] = text;
    }
    return out;
}

// Puts a link to `target` where `path` was; what was there is kept under another name.
void SwapForLink(const std::string& path, const std::string& target)
{
    std::filesystem::rename(path, path + ".moved");
    std::filesystem::create_symlink(target, path);
}

} // namespace

// A folder listed inside the tree, then replaced by a link to a folder outside it (or with a folder
// above it replaced so), is not walked: nothing from outside is reported under the tree's name.
TEST(WalkTrustTest, FolderSwappedForALinkIsNotEntered)
{
    TROVEX_SKIP_ON_WINDOWS("symbolic links made by symlink()");
    TTempTree outside;
    outside.AddFile("secret.txt", "the needle outside");
    outside.AddFile("sub/secret.txt", "the needle outside, one down");
    outside.AddFile("sub/deeper/secret.txt", "the needle outside, two down");
    struct Case
    {
        const char* What;
        const char* Swapped;    // below the root
        const char* Target;     // below the outside tree
        const char* SwapWhenAt; // the folder whose entering triggers the swap
    };
    const Case cases[] = {
        {"the folder itself", "in/sub", "", "in/sub/"},
        {"a folder above it", "in", "", "in/sub/"},
        {"a folder two above it", "in", "", "in/sub/deeper/"},
    };
    for (const Case& c : cases) {
        for (const std::string& containing : {std::string(), std::string("needle")}) {
            SCOPED_TRACE(std::string(c.What) + (containing.empty() ? ", by name" : ", by text"));
            TTempTree tree;
            tree.AddFile("in/a.txt", "plain");
            tree.AddFile("in/sub/b.txt", "plain");
            tree.AddFile("in/sub/deeper/c.txt", "plain");
            tree.AddFile("in/sub/sub/d.txt", "plain");
            bool swapped = false;
            TRun run;
            run.Mask = "*.txt";
            run.Containing = containing;
            run.OnFolder = [&](const std::string& folder) {
                if (folder == tree.Path(c.SwapWhenAt) && !swapped) {
                    SwapForLink(tree.Path(c.Swapped), outside.Path(c.Target));
                    swapped = true;
                }
            };
            std::string error;
            const TFound found = Walk(tree, run, error);
            EXPECT_TRUE(swapped);
            EXPECT_EQ(error, "");
            for (const auto& [path, text] : found) {
                EXPECT_EQ(path.find("secret"), std::string::npos) << path << " read from outside the tree";
                EXPECT_EQ(text.find("outside"), std::string::npos) << path;
            }
            if (containing.empty()) {
                // What was listed before the swap is still reported by name.
                EXPECT_EQ(found.count("in/a.txt"), 1u);
            } else {
                EXPECT_TRUE(found.empty());
            }
        }
    }
}

// A file listed as a file and replaced by a link before it is opened is not read through the link,
// whatever reads it (plain bytes, a PDF's text, a document's text, an archive's members); nor is a
// link that was a link when listed: it could lead anywhere.
TEST(WalkTrustTest, FileSwappedForALinkIsNotRead)
{
    TROVEX_SKIP_ON_WINDOWS("symbolic links made by symlink()");
    struct Case
    {
        const char* Ext;
        std::string Plain;  // the file's kind of content, without the word
        std::string Secret; // the same with the word
        const char* Mask;
        bool InZip;
    };
    const std::vector<Case> cases = {
        {"txt", "plain words", "the needle outside", "*", false},
        {"pdf", TPdfBuilder().FlateStream(PageContent("plain words")).Bytes(),
         TPdfBuilder().FlateStream(PageContent("the needle outside")).Bytes(), "*", false},
        {"docx", DocumentBytes(WordParts(WordParagraph({"plain words"}))),
         DocumentBytes(WordParts(WordParagraph({"the needle outside"}))), "*", false},
        {"zip", TZipBuilder().Stored("m.txt", "plain words").Bytes(),
         TZipBuilder().Stored("m.txt", "the needle outside").Bytes(), "*.txt", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Ext);
        TTempTree outside;
        const std::string secret = outside.AddFile(std::string("secret.") + c.Ext, c.Secret);
        TTempTree tree;
        tree.AddFile("a.txt", "a needle inside");
        const std::string b = tree.AddFile(std::string("b.") + c.Ext, c.Plain);
        tree.AddLink(std::string("c.") + c.Ext, secret);
        TRun run;
        run.Mask = c.Mask;
        run.Containing = "needle";
        run.InZip = c.InZip;
        run.OnFile = [&](const std::string& path) {
            if (path == tree.Path("a.txt"))
                SwapForLink(b, secret);
        };
        std::string error;
        const TFound found = Walk(tree, run, error);
        EXPECT_EQ(error, "");
        EXPECT_EQ(found.count("a.txt"), 1u);
        EXPECT_EQ(found.count(std::string("b.") + c.Ext), 0u) << "read through the link put in its place";
        EXPECT_EQ(found.count(std::string("c.") + c.Ext), 0u) << "read through a link";
    }
}

// A file whose recorded size is 0, or that lies on a file system of made-up files, is read up to
// the bound and said to be cut when it holds more; a real file of any size is read whole.
TEST(WalkTrustTest, FilesOfUnknownSizeAreReadUpToABound)
{
    TTempTree tree;
    tree.AddFile("empty.txt");
    tree.AddFile("big.txt", std::string(3 << 20, 'x') + "end");
    struct Case
    {
        std::string Folder; // opened as a listing, the file read through it
        std::string Name;
        bool Pseudo;
        std::string Holds;       // found in what was read
        std::uint64_t MinRead;   // at least this much was read
        std::uint64_t MaxRead;
        bool Cut;
    };
    std::vector<Case> cases = {
        {tree.Root(), "empty.txt", false, "", 0, 0, false},
        {tree.Root(), "big.txt", false, "xend", (3 << 20) + 3, (3 << 20) + 3, false},
    };
    if (!trovex::test::OnWindows && std::filesystem::exists("/proc/self/status")) {
        cases.push_back({"/proc/self/", "status", true, "Name:", 1, TFileStream::UnknownSizeLimit, false});
        // About 256 GiB of page entries behind a size of 0.
        cases.push_back({"/proc/self/", "pagemap", true, "", TFileStream::UnknownSizeLimit,
                         TFileStream::UnknownSizeLimit, true});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Folder + c.Name);
        for (const bool viaListing : {true, false}) {
            TFolderListing listing;
            ASSERT_TRUE(listing.Open(c.Folder));
            EXPECT_EQ(listing.Pseudo(), c.Pseudo);
            std::unique_ptr<TFileStream> file =
                viaListing ? std::make_unique<TFileStream>(listing, c.Name, c.Folder + c.Name)
                           : std::make_unique<TFileStream>(c.Folder + c.Name);
            std::string text;
            std::string piece(64 * 1024, '\0');
            while (const std::size_t got = file->Read(piece.data(), piece.size()))
                text.append(piece, 0, got);
            EXPECT_GE(text.size(), c.MinRead);
            EXPECT_LE(text.size(), c.MaxRead);
            EXPECT_NE(text.find(c.Holds), std::string::npos);
            EXPECT_EQ(file->Cut(), c.Cut);
            // Reads at an offset keep to the same bound.
            char byte;
            EXPECT_EQ(file->ReadAt(c.MaxRead, &byte, 1), 0u);
        }
    }
}

// A search for a text over /proc ends, and still finds what its small files hold; so does the
// list mode naming such files.
TEST(WalkTrustTest, SearchOfProcEnds)
{
    if (trovex::test::OnWindows || !std::filesystem::exists("/proc/self/status"))
        GTEST_SKIP() << "no /proc here";
    for (const bool list : {false, true}) {
        SCOPED_TRACE(list ? "list mode" : "walk");
        TFindFile engine;
        engine.SetMask("*");
        engine.SetFolder("/proc/self");
        engine.SetSubFolders(false);
        engine.ContainingText = "SigBlk:";
        std::vector<std::string> found;
        engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
        const auto start = std::chrono::steady_clock::now();
        if (list)
            engine.StartInList({"/proc/self/pagemap", "/proc/self/status"});
        else
            engine.Start();
        while (!engine.Finished() && std::chrono::steady_clock::now() - start < std::chrono::seconds(120))
            engine.Queue().WaitAndDrain(std::chrono::milliseconds(50));
        const bool ended = engine.Finished();
        engine.Terminate();
        engine.WaitFor();
        // Only a hang fails this: reading pagemap whole takes hours.
        EXPECT_TRUE(ended) << "the search of /proc/self did not end";
        EXPECT_NE(std::find(found.begin(), found.end(), "/proc/self/status"), found.end());
    }
}

// A folder the walk could not list holds files nobody looked at: it is said, with its reason,
// whether the run looks at names only or reads the files; the rest of the tree is still searched.
TEST(WalkTrustTest, FoldersThatCannotBeListedAreSaid)
{
    struct Case
    {
        const char* What;
        const char* Folder;   // the run's folder below the tree, empty for the root
        const char* RemoveAt; // the folder whose entering removes it, before it is listed
        TFound Incomplete;    // path below the tree -> reason
        TFound Found;         // by name; by text only those holding the needle
    };
    const Case cases[] = {
        {"the chosen folder is not there", "missing/", "", {{"missing/", NoSuchFolder}}, {}},
        {"the chosen folder is a file", "in/a.txt/", "", {{"in/a.txt/", NoSuchFolder}}, {}},
        {"a folder gone just before it is listed", "", "in/sub/", {{"in/sub/", VanishedDuringRun}},
         {{"in/a.txt", ""}, {"in/z.txt", ""}}},
        {"every folder listed", "", "", {}, {{"in/a.txt", ""}, {"in/sub/b.txt", ""}, {"in/z.txt", ""}}},
    };
    for (const Case& c : cases) {
        for (const std::string& containing : {std::string(), std::string("needle")}) {
            SCOPED_TRACE(std::string(c.What) + (containing.empty() ? ", by name" : ", by text"));
            TTempTree tree;
            tree.AddFile("in/a.txt", "plain");
            tree.AddFile("in/sub/b.txt", "the needle");
            tree.AddFile("in/z.txt", "plain");
            TFound incomplete;
            TRun run;
            run.Mask = "*.txt";
            run.Containing = containing;
            run.Incomplete = &incomplete;
            if (*c.Folder)
                run.Folder = tree.Path(c.Folder);
            run.OnFolder = [&](const std::string& folder) {
                if (*c.RemoveAt && folder == tree.Path(c.RemoveAt))
                    std::filesystem::remove_all(tree.Path(c.RemoveAt));
            };
            std::string error;
            const TFound found = Walk(tree, run, error);
            EXPECT_EQ(error, "");
            EXPECT_EQ(Slashed(incomplete), c.Incomplete);
            TFound expectedFound;
            for (const auto& [path, text] : c.Found)
                if (containing.empty() || path == "in/sub/b.txt")
                    expectedFound[path] = containing.empty() ? "" : "the needle";
            EXPECT_EQ(Slashed(found), expectedFound);
        }
    }
}

#ifndef _WIN32
// A folder without read permission, walked by a user the system keeps out: as root the test walks
// in a child process that has become nobody.
TEST(WalkTrustTest, AFolderClosedToTheUserSaysPermission)
{
    TTempTree tree;
    tree.AddFile("open/a.txt", "the needle");
    tree.AddFile("shut/b.txt", "the needle");
    tree.AddFile("z.txt", "the needle");
    ASSERT_EQ(::chmod(tree.Root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("open").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(tree.Path("open/a.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(tree.Path("z.txt").c_str(), 0644), 0);
    ASSERT_EQ(::chmod(tree.Path("shut").c_str(), 0), 0);
    // Every folder above the tree must let the user through.
    for (std::filesystem::path up = std::filesystem::path(tree.Root()).parent_path().parent_path();
         up != up.root_path(); up = up.parent_path()) {
        struct stat st{};
        if (::stat(up.c_str(), &st) != 0 || (st.st_mode & 0001) == 0)
            GTEST_SKIP() << up << " does not let other users through";
    }

    // The run's verdicts, one line each: "found <path>" or "<reason> <path>".
    auto walk = [&] {
        std::string lines;
        for (const std::string& containing : {std::string(), std::string("needle")}) {
            TFound incomplete;
            TRun run;
            run.Mask = "*.txt";
            run.Containing = containing;
            run.Incomplete = &incomplete;
            std::string error;
            for (const auto& [path, text] : Walk(tree, run, error))
                lines += "found " + path + "\n";
            for (const auto& [path, reason] : incomplete)
                lines += reason + " " + path + "\n";
            lines += "error " + error + "\n";
        }
        return lines;
    };
    std::string got;
    if (::geteuid() != 0) {
        got = walk();
    } else {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const std::string lines = walk();
            const bool written = ::write(pipe[1], lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
            ::_exit(written ? 0 : 4);
        }
        ::close(pipe[1]);
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
            got.append(buffer, static_cast<std::size_t>(n));
        ::close(pipe[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    const std::string each = "found open/a.txt\nfound z.txt\n" + std::string(CannotOpenPermission) + " shut/\nerror \n";
    EXPECT_EQ(got, each + each);
}
#endif
