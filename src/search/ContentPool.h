// SPDX-License-Identifier: MIT
// Content tests run ahead of the walk on a helper thread. The walk still takes every verdict in
// its own order and delivers every event itself; the helper only reads and searches files earlier,
// so a folder of large files costs the time of the slower of two cores instead of their sum.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace trovex
{

class TStringSearch;
class TStream;
enum TFindStatus : std::uint8_t;

struct TContentSettings
{
    std::string Containing;
    std::string Excluding;
    bool CaseSensitive = false;
    TCodePages CodePages = 0;
    /// Office documents (.docx, .xlsx, .odt, ...) are searched through their text, not their bytes.
    bool Documents = true;
};

/// One file's content test and, once done, its verdict.
struct TContentJob
{
    std::string Name;
    std::string Path;
    std::atomic<int> State{0}; ///< 0 waiting, 1 taken by a thread, 2 done
    bool Match = false;
    bool ReadError = false;
    std::string FoundText;
};

/// The searcher pair of one thread.
struct TSearcherPair
{
    TSearcherPair(const TContentSettings& settings);
    ~TSearcherPair();
    std::unique_ptr<TStringSearch> Contain;
    std::unique_ptr<TStringSearch> Exclude;
};

/// A searcher made for `pattern` with the settings' case rule and code pages, over `stream` (may be null).
std::unique_ptr<TStringSearch> MakeSearcher(const TContentSettings& settings, const std::string& pattern,
                                            TStream* stream = nullptr);
/// True for a name whose extension, lower-cased, is ".pdf": such files are searched through their text.
bool IsPdfName(std::string_view name);

/// Tests one file: `match` false when the contain text is missing or the exclude text present.
/// Errors opening or reading the file (or decoding a PDF) pass to the caller as EReadError or
/// EPdfError; running out of memory over this one file is an EReadError too. When `cancel` is
/// set meanwhile the test throws ETerminated.
void RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    const std::atomic<bool>* cancel = nullptr);

class TContentPool
{
public:
    /// `mayWork` is asked before each job: false while the run is paused or ending. `cancel` (may
    /// be null) ends the job under way as well.
    explicit TContentPool(std::function<bool()> mayWork, const std::atomic<bool>* cancel = nullptr);
    ~TContentPool();
    TContentPool(const TContentPool&) = delete;
    TContentPool& operator=(const TContentPool&) = delete;

    /// Hands over a folder's jobs (indexed by entry; null where no test is needed).
    void Begin(const TContentSettings& settings, const TFolderListing* listing,
               std::vector<std::unique_ptr<TContentJob>> jobs);
    /// The job of an entry, or null.
    TContentJob* Job(std::size_t entry) const;
    /// Runs the job on the caller's thread when the helper has not taken it, else waits for it.
    void Complete(TContentJob& job, TSearcherPair& searchers);
    /// Stops work on the folder's jobs and waits until the helper no longer touches them.
    void End();

private:
    void Loop();
    void Run(TContentJob& job, TSearcherPair& searchers, const TContentSettings& settings,
             const TFolderListing* listing);

    std::function<bool()> FMayWork;
    const std::atomic<bool>* FCancel;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::unique_ptr<TContentJob>> FJobs;
    TContentSettings FSettings;
    const TFolderListing* FListing = nullptr;
    bool FActive = false; // the helper is (or is about to be) working on FJobs
    std::atomic<bool> FStopBatch{false};
    bool FQuit = false;
    std::thread FThread;
};

} // namespace trovex
