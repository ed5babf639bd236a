// SPDX-License-Identifier: MIT
// The window's search flow without a toolkit: Find, Stop/Continue, Add, In results and Go back, the
// states and captions of the command column in each, the engine's events turned into rows and status
// texts, the running totals, the files not searched in full, and the list's sort state. A face (the
// window of one toolkit) implements TSessionFace and forwards its clicks here; this decides, the face
// draws.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "search/FindFile.h"
#include "window/Criteria.h"

namespace trovex
{

class TLanguageTexts;

/// One file not searched in full: its exact path bytes and the reason.
struct TSkippedFile
{
    std::string Path;
    std::string Reason;
};

/// The command column as a run leaves it. Captions are translated.
struct TControlStates
{
    bool StopEnabled = false;
    std::string StopCaption = "Stop";
    bool AddEnabled = false;
    bool FindIntoEnabled = false;
    bool BackEnabled = false;
    bool Animating = false;
    bool operator==(const TControlStates&) const = default;
};

/// What the session asks of a face. Every call comes on the user-interface thread, except AddRow
/// (also on the worker while the user-interface thread is parked in a lent delivery) and PostDrain
/// (from any thread).
class TSessionFace
{
public:
    virtual ~TSessionFace() = default;

    /// The criteria as the pages hold them now.
    virtual TCriteria Criteria() const = 0;
    /// "Flash on stop execution".
    virtual bool FlashOnEnd() const = 0;
    /// A question with Yes and No; true for Yes.
    virtual bool Confirm(const std::string& question, const std::string& caption) = 0;
    /// A failure of a handler, as the application's error handler shows it.
    virtual void ShowError(const std::string& message) = 0;
    /// A failure that ended a run, in the standard error box ("Application Error").
    virtual void ShowRunError(const std::string& text) = 0;

    /// Empties the list in one batch.
    virtual void ClearRows() = 0;
    /// Appends a row for a file found; views may learn of it at the next FlushRows.
    virtual void AddRow(const TFindFileInfo& info) = 0;
    /// Tells the list's views of the rows appended since the last flush.
    virtual void FlushRows() = 0;
    /// Rows stored, flushed or not.
    virtual int RowCount() const = 0;
    /// A row's path bytes, in the list's current order.
    virtual std::string RowPath(int row) const = 0;
    /// Repaints the list once a run has ended.
    virtual void RepaintRows() = 0;

    virtual void ShowControls(const TControlStates& states) = 0;
    /// Status bar panel 0 (the count) or 1 (the folder, the totals, the run's notes).
    virtual void ShowStatus(int panel, const std::string& text) = 0;
    /// The "N not searched" link; hidden when empty.
    virtual void ShowNotSearched(const std::string& text) = 0;
    /// Flashes the window's taskbar entry without blocking.
    virtual void Flash() = 0;

    /// Starts or stops the timer that calls TSearchSession::Tick while a run goes on.
    virtual void RunTicks(bool on, int intervalMs) = 0;
    /// Queues a call of TSearchSession::Drain on the user-interface thread. Any thread.
    virtual void PostDrain() = 0;

    /// Keeps the list that "Go back" restores, replacing an earlier one; failures are not reported.
    virtual void SaveBackList(const std::string& bytes) = 0;
    /// The kept list, nullopt when it cannot be read.
    virtual std::optional<std::string> LoadBackList() = 0;
    /// The kept list's name, for the message when it cannot be read.
    virtual std::string BackListName() const = 0;
};

/// The run state of the window and the handlers of its command column. User-interface thread only.
/// The face and the texts must outlive the session.
class TSearchSession
{
public:
    /// The flush timer's interval: often enough to look live, rarely enough that a million rows do
    /// not spend their time in relayouts.
    static constexpr int TickIntervalMs = 150;

    TSearchSession(TSessionFace& face, const TLanguageTexts& texts);
    virtual ~TSearchSession();
    TSearchSession(const TSearchSession&) = delete;
    TSearchSession& operator=(const TSearchSession&) = delete;

    // The handlers of the command column.
    /// "Find": while a run goes on, asks "Start new search?" and goes on only on Yes, ending that run
    /// without its end-of-run handling; then empties the list and starts a new run.
    void Find();
    /// "Stop" pauses the run and becomes "Continue"; "Continue" resumes it.
    void StopOrContinue();
    /// "Add": ends a run that goes on without asking, then starts a new run whose rows are appended.
    void Add();
    /// "In results": ends a run that goes on, then tests only the listed files against the criteria
    /// now on the pages, keeping the list for "Go back". Nothing happens with an empty list.
    void FindInResults();
    /// "Go back": the list as it stood before the last "In results", minus files gone since.
    void GoBack();
    /// Closing the window: a run still going ends without its end-of-run handling and without a question.
    void EndForClose();

    /// Serves the engine's deliveries for a slice of time (PostDrain asked for it).
    void Drain();
    /// The flush timer: new rows to the views, the count and the folder to the status bar.
    void Tick();

    /// The status text of the totals at start, translated.
    std::string TotalsText() const;
    const TControlStates& Controls() const { return FControls; }

    /// A click on a column title: that column's direction flips and it becomes the sort column.
    /// False for a column out of range (nothing changes).
    bool ColumnClick(int column);

    // Run state, totals and sort state: read by the face, set by the stored settings.
    std::unique_ptr<TFindFile> Engine; ///< the engine of the current or last run
    bool Running = false;              ///< a run was started and has not ended
    bool UserPaused = false;           ///< "Stop" was pressed and "Continue" not yet
    std::int32_t FoundCount = 0;       ///< files found by the current run
    // Stored as dwords: counted unsigned, stopping at 4,294,967,295 instead of wrapping.
    std::uint32_t TotalFiles = 0;
    std::uint32_t TotalFound = 0;
    /// The files the runs now listed could not search in full, in the order met.
    std::vector<TSkippedFile> SkippedFiles;
    int SortColumn = 0;
    std::array<bool, 5> SortAscending{};

private:
    /// Fills a new engine from the criteria. Throws std::runtime_error with the message to show.
    void LoadEngine();
    /// LoadEngine, showing its failure and returning the controls to the Ended state; false then.
    bool TryLoadEngine();
    /// Ends the current run without its end-of-run handling.
    void StopRun();
    /// The buttons and the animation as a run leaves them, without adding totals.
    void ShowEnded();
    void SetControls(const TControlStates& states);
    void AddRow(const TFindFileInfo& info);
    void SearchDone();
    std::string FoundText() const;
    void RequestDrain();

    TSessionFace& FFace;
    const TLanguageTexts& FTexts;
    TControlStates FControls;
    std::string FShownFolder;
    std::atomic<bool> FDrainPosted{false};
};

/// The bytes of the list "Go back" restores: each path followed by a NUL, which no path holds (a
/// line feed may be in a name), as trovex-cli -0 writes and --in-list reads.
std::string BackListBytes(const std::vector<std::string>& paths);
/// The paths of such a list; a list without any NUL is of the older form, one path a line.
std::vector<std::string> ParseBackList(const std::string& bytes);
/// The message of a failure that ended a run.
std::string RunErrorText(const std::string& className, const std::string& message);

} // namespace trovex
