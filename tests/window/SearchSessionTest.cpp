// SPDX-License-Identifier: MIT
// The search flow without a display: a face that records what it is told drives Find, Stop/Continue,
// Add, In results and Go back over generated trees, and the states of the command column, the rows,
// the status texts and the totals are checked after each step.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/TempTree.h"
#include "window/LanguageTexts.h"
#include "window/SearchSession.h"

using namespace trovex;
using namespace trovex::test;

namespace
{

// Records what the session shows; answers questions as told; keeps rows and the back list in memory.
class TRecordingFace : public TSessionFace
{
public:
    TCriteria Search;
    bool Flashes = true;
    bool Answer = true;
    std::vector<std::string> Questions;
    std::vector<std::string> Errors;
    std::vector<std::string> Rows;
    TControlStates Shown;
    std::string Status[2];
    std::string NotSearched;
    int FlashCount = 0;
    bool Ticking = false;
    std::optional<std::string> BackList;

    TCriteria Criteria() const override { return Search; }
    bool FlashOnEnd() const override { return Flashes; }
    bool Confirm(const std::string& question, const std::string&) override
    {
        Questions.push_back(question);
        return Answer;
    }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    void ShowRunError(const std::string& text) override { Errors.push_back(text); }
    void ClearRows() override { Rows.clear(); }
    void AddRow(const TFindFileInfo& info) override { Rows.push_back(info.FileName); }
    void FlushRows() override {}
    int RowCount() const override { return static_cast<int>(Rows.size()); }
    std::string RowPath(int row) const override { return Rows.at(static_cast<std::size_t>(row)); }
    void RepaintRows() override {}
    void ShowControls(const TControlStates& states) override { Shown = states; }
    void ShowStatus(int panel, const std::string& text) override { Status[panel] = text; }
    void ShowNotSearched(const std::string& text) override { NotSearched = text; }
    void Flash() override { ++FlashCount; }
    void RunTicks(bool on, int) override { Ticking = on; }
    void PostDrain() override {}
    void SaveBackList(const std::string& bytes) override { BackList = bytes; }
    std::optional<std::string> LoadBackList() override { return BackList; }
    std::string BackListName() const override { return "back.lst"; }
};

//   root/
//   ├── a.txt  "needle"
//   ├── b.log
//   ├── c.doc
//   └── sub/
//       └── d.txt "needle"
struct TSessionFixture : ::testing::Test
{
    TTempTree Tree;
    TRecordingFace Face;
    TLanguageTexts Texts{Tree.Path("no-languages")};
    TSearchSession Session{Face, Texts};

    void SetUp() override
    {
        InitCodePages();
        Tree.AddFile("a.txt", "needle");
        Tree.AddFile("b.log", "hay");
        Tree.AddFile("c.doc", "hay");
        Tree.AddFile("sub/d.txt", "a needle here");
        Face.Search.Folder = Tree.Root();
        Face.Search.TypeItem = "All files: (*.*)";
        Face.Search.Named = "*.txt";
    }

    // Serves deliveries as the window's event loop would, until the run has ended.
    bool WaitEnded()
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Session.Running && std::chrono::steady_clock::now() < until)
            Session.Drain();
        return !Session.Running;
    }

    static TControlStates Ended(bool rows)
    {
        TControlStates s;
        s.AddEnabled = true;
        s.FindIntoEnabled = rows;
        return s;
    }
};

} // namespace

// The command column in each state of a run: running, paused, resumed, ended with and without rows.
TEST_F(TSessionFixture, ControlsFollowTheRunThroughItsStates)
{
    struct Step
    {
        const char* What;
        void (TSearchSession::*Action)();
        bool WaitForEnd;
        bool StopEnabled;
        const char* Caption;
        bool Animating;
        bool Running;
        bool Paused;
    };
    const Step steps[] = {
        {"Find", &TSearchSession::Find, false, true, "Stop", true, true, false},
        {"Stop pauses", &TSearchSession::StopOrContinue, false, true, "Continue", false, true, true},
        {"Continue resumes", &TSearchSession::StopOrContinue, false, true, "Stop", true, true, false},
        {"Stop again", &TSearchSession::StopOrContinue, false, true, "Continue", false, true, true},
        {"Continue to the end", &TSearchSession::StopOrContinue, true, false, "Stop", false, false, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.What);
        (Session.*s.Action)();
        if (s.WaitForEnd) {
            ASSERT_TRUE(WaitEnded());
        }
        EXPECT_EQ(Face.Shown.StopEnabled, s.StopEnabled);
        EXPECT_EQ(Face.Shown.StopCaption, s.Caption);
        EXPECT_EQ(Face.Shown.Animating, s.Animating);
        EXPECT_EQ(Session.Running, s.Running);
        EXPECT_EQ(Session.UserPaused, s.Paused);
        EXPECT_EQ(Face.Ticking, s.Running);
    }
    EXPECT_EQ(Face.Shown, Ended(true));
    EXPECT_EQ(Face.Rows.size(), 2u);
    EXPECT_EQ(Face.Status[0], "Files found: 2");
    EXPECT_EQ(Face.FlashCount, 1);
}

// A run that finds nothing leaves "In results" disabled; flashing follows its option.
TEST_F(TSessionFixture, EndedRunWithoutRowsDisablesInResults)
{
    Face.Search.Named = "*.none";
    Face.Flashes = false;
    Session.Find();
    ASSERT_TRUE(WaitEnded());
    EXPECT_EQ(Face.Shown, Ended(false));
    EXPECT_EQ(Face.Status[0], "Files found: 0");
    EXPECT_EQ(Face.FlashCount, 0);
}

// "Find" during a run asks first: No changes nothing, Yes ends the run without counting it and starts over.
TEST_F(TSessionFixture, FindWhileRunningAsksAndRestartsOnlyOnYes)
{
    struct Case
    {
        bool Answer;
        bool NewEngine;
    };
    for (const Case c : {Case{false, false}, Case{true, true}}) {
        SCOPED_TRACE(c.Answer ? "Yes" : "No");
        Face.Questions.clear();
        Session.Find();
        Session.StopOrContinue(); // paused: the run cannot end by itself meanwhile
        const std::uint32_t totalBefore = Session.TotalFound;
        Face.Answer = c.Answer;
        Session.Find();
        ASSERT_EQ(Face.Questions, std::vector<std::string>{"Start new search?"});
        // Yes ends the paused run and starts one that is not paused; No leaves the paused one.
        EXPECT_EQ(Session.UserPaused, !c.NewEngine);
        EXPECT_TRUE(Session.Running);
        if (Session.UserPaused) {
            Session.StopOrContinue();
        }
        ASSERT_TRUE(WaitEnded());
        EXPECT_EQ(Session.TotalFound, totalBefore + 2); // only the run that ended counts
        EXPECT_EQ(Face.Rows.size(), 2u);
    }
}

// "Add" appends a new run's rows without asking; "In results" narrows them; "Go back" restores them once.
TEST_F(TSessionFixture, AddInResultsAndGoBackKeepTheirRows)
{
    Session.Find();
    ASSERT_TRUE(WaitEnded());
    Face.Search.Named = "*.doc";
    Session.Add();
    ASSERT_TRUE(WaitEnded());
    EXPECT_TRUE(Face.Questions.empty());
    ASSERT_EQ(Face.Rows.size(), 3u);
    const std::vector<std::string> all = Face.Rows;

    Face.Search.Named = "";
    Face.Search.Text = "needle";
    Session.FindInResults();
    ASSERT_TRUE(WaitEnded());
    EXPECT_EQ(Face.Rows.size(), 2u);
    EXPECT_TRUE(Face.Shown.BackEnabled);
    EXPECT_EQ(ParseBackList(*Face.BackList), all);

    Session.GoBack();
    EXPECT_FALSE(Session.Running);
    EXPECT_EQ(Face.Rows, all);
    EXPECT_FALSE(Face.Shown.BackEnabled);
    EXPECT_EQ(Face.Shown, Ended(true));
}

// "In results" over an empty list starts nothing and keeps "Go back" as it was.
TEST_F(TSessionFixture, InResultsWithoutRowsDoesNothing)
{
    Session.FindInResults();
    EXPECT_FALSE(Session.Engine);
    EXPECT_FALSE(Face.BackList);
    EXPECT_EQ(Face.Shown, TControlStates());
}

// Failures that stop a start: each is said once, leaves no run and shows the Ended state.
TEST_F(TSessionFixture, FailedStartsSayWhyAndLeaveNoRun)
{
    struct Case
    {
        const char* What;
        TDateOption Option;
        const char* Months;
        const char* Days;
        void (TSearchSession::*Action)();
        const char* Message;
    };
    const Case cases[] = {
        {"months not a number", doMonths, "x", "1", &TSearchSession::Find, "'x' is not a valid integer value"},
        {"days not a number", doDays, "1", "1.5", &TSearchSession::Add, "'1.5' is not a valid integer value"},
        {"back list missing", doFromTo, "1", "1", &TSearchSession::GoBack, "Cannot open file back.lst"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Face.Errors.clear();
        Face.Search.UseDate = true;
        Face.Search.DateOption = c.Option;
        Face.Search.LastMonths = c.Months;
        Face.Search.LastDays = c.Days;
        (Session.*c.Action)();
        EXPECT_EQ(Face.Errors, std::vector<std::string>{c.Message});
        EXPECT_FALSE(Session.Running);
        EXPECT_FALSE(Face.Shown.StopEnabled);
    }
}

// Closing during a paused run neither hangs nor counts the run.
TEST_F(TSessionFixture, EndForCloseDuringPauseAddsNoTotals)
{
    Session.Find();
    Session.StopOrContinue();
    Session.EndForClose();
    EXPECT_FALSE(Session.Engine);
    EXPECT_FALSE(Session.Running);
    EXPECT_EQ(Session.TotalFound, 0u);
    EXPECT_EQ(Session.TotalFiles, 0u);
}

// Totals grow by each ended run's counts and stop at the largest dword instead of wrapping.
TEST_F(TSessionFixture, TotalsGrowAndSaturate)
{
    struct Case
    {
        std::uint32_t Before;
        std::uint32_t After;
    };
    const Case cases[] = {{0, 2}, {7, 9}, {UINT32_MAX - 1, UINT32_MAX}, {UINT32_MAX, UINT32_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Before);
        Session.TotalFound = c.Before;
        Session.TotalFiles = 0;
        Session.Find();
        ASSERT_TRUE(WaitEnded());
        EXPECT_EQ(Session.TotalFound, c.After);
        EXPECT_EQ(Session.TotalFiles, static_cast<std::uint32_t>(Session.Engine->FilesChecked()));
    }
    Session.TotalFiles = 200;
    Session.TotalFound = 5;
    EXPECT_EQ(Session.TotalsText(), "Total files processed: 200  and found: 5");
}

// Files not searched in full are counted where the run's end is shown.
TEST_F(TSessionFixture, NotSearchedLinkCountsSkippedFiles)
{
    Session.Find();
    ASSERT_TRUE(WaitEnded());
    EXPECT_EQ(Face.NotSearched, "");
    Session.SkippedFiles.push_back({"/x", "why"});
    Session.Engine->OnSearchDone(*Session.Engine);
    EXPECT_EQ(Face.NotSearched, "1 not searched");
}

// Each column keeps its own direction; a click flips only the clicked column.
TEST(SearchSessionTest, ColumnClicksFlipEachColumnsDirection)
{
    struct Click
    {
        int Column;
        bool Accepted;
        int SortColumn;
        bool Ascending;
    };
    const Click clicks[] = {
        {4, true, 4, true}, {4, true, 4, false}, {0, true, 0, true}, {4, true, 4, true}, {5, false, 4, true}, {-1, false, 4, true},
    };
    TRecordingFace face;
    TLanguageTexts texts("");
    TSearchSession session(face, texts);
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.Column);
        EXPECT_EQ(session.ColumnClick(c.Column), c.Accepted);
        EXPECT_EQ(session.SortColumn, c.SortColumn);
        EXPECT_EQ(session.SortAscending[static_cast<std::size_t>(session.SortColumn)], c.Ascending);
    }
}

// The list "Go back" keeps: NUL-separated bytes, read back as they were; the older form by lines.
TEST(SearchSessionTest, BackListRoundTrips)
{
    struct Case
    {
        std::vector<std::string> Paths;
    };
    const Case cases[] = {
        {{}},
        {{"/a/b.txt"}},
        {{"/a/line\nfeed.txt", "/a/bad\xff.txt", "/a/c"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseBackList(BackListBytes(c.Paths)), c.Paths);
    EXPECT_EQ(ParseBackList("/a\n/b\n\n"), (std::vector<std::string>{"/a", "/b"}));
}

// The run's failure reads as the standard error box says it, with one final full stop.
TEST(SearchSessionTest, RunErrorTextTable)
{
    struct Case
    {
        const char* Class;
        const char* Message;
        const char* Text;
    };
    const Case cases[] = {
        {"EMaskException", "Bad mask", "Exception EMaskException in module trovex at 00000000.\nBad mask."},
        {"EReadError", "Cannot read.", "Exception EReadError in module trovex at 00000000.\nCannot read."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunErrorText(c.Class, c.Message), c.Text);
}
