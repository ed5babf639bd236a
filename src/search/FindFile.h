// SPDX-License-Identifier: MIT
// TFindFile, the search engine: one set of criteria, one run on a worker thread. The run walks a
// folder tree depth first (a folder's own entries before its subfolders) or tests a given list of
// files, and hands every file that passes to the caller's thread through its TSyncQueue.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/SyncQueue.h"
#include "search/Masks.h"
#include "search/WalkAhead.h"

namespace trovex
{

class TStringSearch;
class TZipFile;
struct TSearcherPair;
struct TContentSettings;

enum TFindStatus : std::uint8_t
{
    fsMatch = 0,
    fsNoMatch = 1,
    fsPaused = 2,
    fsReadError = 3,
    fsStarted = 4,
};

/// The found-file record handed out with OnFound; valid only during the call.
struct TFindFileInfo
{
    std::uint32_t Time = 0; ///< packed local DOS date-time of the last write
    std::int32_t Size = 0;  ///< low 32 bits of the size; FindData.Size has all of it
    std::uint32_t Attr = 0;
    std::string Name;
    TFindData FindData;
    std::string FileName;  ///< full path
    std::string FoundText; ///< UTF-8 text around the content hit
    /// The page (from 1) of a PDF document where the text was first found; 0 for other files and
    /// for text outside the pages (document information, bookmarks, form fields).
    std::int32_t FoundPage = 0;
    /// Which form matched: "name" (the name held the text, or no text was sought), or for a file
    /// searched as bytes the code page ("ANSI 1251", "OEM 866", "KOI8-R", "UTF-8", "UTF-16LE");
    /// empty for the text of a PDF or office document, whose place says where.
    std::string FoundForm;
    /// Where in the file: "page 3", "sheet Budget", "slide 12", "header", "member docs/a.txt".
    std::string FoundPlace;
    /// False when only the listing was read (a walk by name with NeedRecords off): the attributes
    /// say file or folder, hidden or not, and FindData has no size and no times.
    bool Recorded = true;
};

class TFindFile : private TWalkWork
{
public:
    using TFoundEvent = std::function<void(TFindFile& sender, const TFindFileInfo& info)>;
    using TNotifyEvent = std::function<void(TFindFile& sender)>;
    using TErrorEvent = std::function<void(TFindFile& sender, const std::string& className, const std::string& message)>;
    using TIncompleteEvent = std::function<void(TFindFile& sender, const std::string& path, const std::string& reason)>;

    TFindFile();
    /// A running or paused worker is told to terminate, woken and joined; pending events are dropped.
    ~TFindFile() override;
    TFindFile(const TFindFile&) = delete;
    TFindFile& operator=(const TFindFile&) = delete;

    // Criteria: set on the caller's thread before Start.

    /// Splits the text into MaskList (see SplitMasks). Never fails; masks are checked when first used.
    void SetMask(std::string_view text);
    const std::vector<std::string>& MaskList() const { return FMaskList; }
    /// An empty text gives the default folder; a PathDelim is appended when missing.
    void SetFolder(std::string_view text);
    const std::string& Folder() const { return FFolder; }
    void SetSubFolders(bool value) { FSubFolders = value; }
    bool SubFolders() const { return FSubFolders; }
    void SetDateFrom(const TDateTime& local) { FDateFrom = LocalToFileTime(local); }
    void SetDateTo(const TDateTime& local) { FDateTo = LocalToFileTime(local); }
    void SetDateFromFileTime(TFileTime utc) { FDateFrom = utc; }
    void SetDateToFileTime(TFileTime utc) { FDateTo = utc; }
    TFileTime DateFrom() const { return FDateFrom; }
    TFileTime DateTo() const { return FDateTo; }
    /// Both bounds inclusive.
    bool DateInRange(TFileTime t) const { return FDateFrom <= t && t <= FDateTo; }

    bool CaseSensitive = false;
    TCodePages CodePages = 0;
    std::string ContainingText;
    std::string ExcludedText;
    bool UseDate = false;
    bool InZip = false;
    /// Office documents are searched through the text they carry; false searches their bytes.
    bool InDocuments = true;
    std::uint32_t Attributes = 63;
    /// Threads that walk and test ahead of the delivery; 1: the walk's own only; 0: one per core
    /// when contents are searched, else 1 (a name and a record are cheaper than handing them over).
    /// The events, their order and counts are the same whatever the number.
    unsigned Threads = 0;
    /// The most threads a run uses, 4 per core: a larger Threads is taken as this.
    static unsigned MaxThreads();
    /// False for a caller that uses only the names and paths of what is found: a walk by name then
    /// reads no record the criteria do not need, and OnFound's record carries the name, the path and
    /// the kind the listing told (folder or file), with no times or size.
    bool NeedRecords = true;

    TFoundEvent OnFound;
    TNotifyEvent OnFolderChange;
    TNotifyEvent OnSearchDone;
    /// A failure that ended the run: the error's class name and message.
    TErrorEvent OnError;
    /// A file not found whose text could not be searched in full (a document or PDF cut at its size
    /// bound): its path and the reason. In walk order, on the caller's thread, as OnFound is.
    TIncompleteEvent OnIncomplete;

    // Running.

    /// Resets the counters and starts the worker on a folder walk. Returns Status.
    TFindStatus Start();
    /// Starts the worker on the given full paths instead of a walk.
    void StartInList(std::vector<std::string> list);
    /// Asks the worker to suspend itself at its next directory entry.
    void Pause();
    /// Clears the pause request and wakes a suspended worker.
    void Continue();
    /// Wakes a suspended worker without clearing the pause request (the terminate path uses it).
    void Resume();
    /// Sets the terminate flag; a suspended worker sees it only once resumed.
    void Terminate();
    /// Blocks until the worker has ended, serving its event deliveries meanwhile.
    void WaitFor();
    bool Finished() const { return FFinished.load(); }
    /// True while the worker is suspended at a directory entry.
    bool Suspended();
    /// The queue through which the worker delivers events; the caller drains it.
    TSyncQueue& Queue() { return FQueue; }
    /// When set, OnFound and OnFolderChange may run on the worker while the caller's thread is lent
    /// to it (TSyncQueue::Lend); their handlers must then touch nothing bound to the caller's
    /// thread. OnSearchDone and OnError always run on the caller's thread.
    std::atomic<bool> LendableEvents{false};

    /// Runs the whole walk (or, with a list, the list test) on the calling thread, with the events as
    /// plain calls: for callers that have nothing else to do meanwhile, such as a command line.
    /// Pause requests are ignored; Terminate from an event handler ends the walk.
    void RunHere();
    void RunHereInList(std::vector<std::string> list);
    /// Tests `list` on the calling thread; with listOnly every existing path is reported untested.
    /// Events are plain calls when made this way. Errors pass to the caller.
    void SearchList(const std::vector<std::string>& list, bool listOnly);

    // Run state, readable from event handlers (the worker waits meanwhile).
    bool Paused() const { return FPaused.load(); }
    bool Terminated() const { return FTerminated.load(); }
    std::int32_t FilesChecked() const { return FFilesChecked; }
    const std::string& CurrentFolder() const { return FCurrentFolder; }
    const std::string& CurrentMask() const { return FCurrentMask; }
    TFindStatus Status() const { return FStatus; }
    bool ListMode() const { return FListMode; }
    const TFindFileInfo& Found() const { return FFound; }
    const std::vector<std::string>& ListFiles() const { return FListFiles; }
    /// The failure that ended the last run, empty when none.
    const std::string& ErrorClass() const { return FErrorClass; }
    const std::string& ErrorMessage() const { return FErrorMessage; }

private:
    void Execute();
    /// Walks one folder and those below it; false when the walk left it before its end.
    bool SearchFolder(TWalkFolder& folder);
    bool FitsMask(std::size_t index, std::string_view name) const;
    static bool FitsZipMask(std::string_view lowerName);
    void CheckPaused();
    TContentSettings ContentSettings() const;
    void PrepareContentTest();
    void ReleaseContentTest();
    /// Sets Status and Found.FoundText; with swallowReadErrors a file that cannot be read gives fsReadError.
    void TestContent(bool swallowReadErrors);
    /// The content test of one file of a folder being walked, on any thread: the verdict is
    /// fsMatch, fsNoMatch or fsReadError, and FoundText of `found` is set when the contain search ran.
    /// With `record`, the file's record read through the open file lands there (its Name stays empty
    /// when the file could not be opened).
    TFindStatus TestFileContent(TSearcherPair& searchers, const TFolderListing& listing, TFindFileInfo& found,
                                TFindData* record = nullptr, std::string* incomplete = nullptr) const;
    void DoIncomplete(const std::string& path, const std::string& reason);
    /// Searches the archive `name` in the open folder `listing`; on a hit, `foundText` holds the
    /// member's context; `mask` is the mask tried last. The archive's record, read through the
    /// open file, lands in `record` (whose Name stays empty when it could not be opened).
    /// With a reason in `incomplete` when the archive, or a member that fits, could not be read.
    bool SearchZip(const TFolderListing& listing, const std::string& name, const std::string& archivePath,
                   std::int32_t& mask, TFindFileInfo& found, TFindData& record, std::string& incomplete) const;
    bool SearchOpenZip(TZipFile& zip, std::int32_t& mask, TFindFileInfo& found, std::string& problem) const;
    // The walk's work, run on any of the run's threads (see TWalkAhead).
    void List(TWalkFolder& folder) const override;
    void Examine(TWalkFolder& folder, std::size_t first, std::size_t last, TWalkWorker& worker,
                 bool ahead) const override;
    bool MayWork() const override;
    std::unique_ptr<TWalkWorker> MakeWorker() const override;
    void ExamineEntry(const TWalkFolder& folder, const TDirEntry& entry, TEntryVerdict& verdict,
                      TWalkWorker& worker) const;
    static void FillRecord(TFindFileInfo& found, const TFindData& data, const std::string& fileName);
    void FillFound(const TFindData& data, const std::string& fileName);
    void DoFound();
    void DoFolderChange();
    void DoSearchDone();
    /// `lendable`: the call may run on the worker while the caller's thread is lent (Lend).
    void Deliver(const std::function<void()>& call, bool lendable = false);

    std::vector<std::string> FMaskList;
    std::vector<std::optional<TMask>> FCompiled; // compiled by SetMask; errors surface at first use
    std::vector<std::string> FMaskErrors; // the message of an invalid mask, empty when valid
    std::vector<std::string> FListFiles;
    std::string FFolder;
    std::string FCurrentFolder;
    std::string FCurrentMask = "*.*";
    std::string FLowerContaining;
    bool FSubFolders = true;
    TFileTime FDateFrom = 0;
    TFileTime FDateTo = 0;
    bool FListMode = false;
    std::int32_t FFilesChecked = 0;
    std::atomic<TFindStatus> FStatus{fsStarted}; // Pause writes it from the caller's thread
    TFindFileInfo FFound;
    std::string FErrorClass;
    std::string FErrorMessage;

    TFolderListing FRootFolder; // the chosen folder, open for the whole walk: every folder is opened below it
    std::unique_ptr<TWalkAhead> FAhead;
    std::atomic<bool> FWalkEnded{false}; // the walk has returned: work ahead stops
    std::unique_ptr<TSearcherPair> FSearchers; // the list's contain and exclude searchers

    std::atomic<bool> FPaused{true};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::mutex FSuspendLock;
    std::condition_variable FResumed;
    bool FSuspended = false;
    bool FResumeRequested = false;
    std::thread FThread;
    TSyncQueue FQueue;
};

/// The class name of an exception as the error box shows it ("EMaskException").
std::string ExceptionClassName(const std::exception& error);

} // namespace trovex
