// SPDX-License-Identifier: MIT
// The walk's look-ahead: other cores list folders and examine their entries ahead of the walk, in
// the order the walk will need them, while the walk itself still takes every verdict in its own
// order and delivers every event. A folder's entries are handed out in batches, so one big folder
// still keeps every core busy, but within a batch each entry is claimed and settled on its own: the
// walk takes a verdict the moment it is ready, and claims an entry nobody has started itself, so a
// hit is never held back behind a slow neighbour. What is prepared ahead is bounded, so memory does
// not grow with the tree.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"

namespace trovex
{

struct TFindFileInfo;
struct TSearcherPair;
enum TFindStatus : std::uint8_t;

/// What examining one entry decided: everything the walk needs to replay it as if it examined it.
struct TEntryVerdict
{
    bool Done = false;    ///< examined; false when the work was abandoned (pause, terminate)
    bool Found = false;   ///< the walk delivers OnFound for it
    std::uint8_t Status = 1; ///< the run's status after the entry (fsNoMatch)
    std::int32_t Mask = -1;  ///< the mask tried last, -1 when none was
    std::int32_t Child = -1; ///< the subfolder this entry leads to, -1 when none
    std::unique_ptr<TFindFileInfo> Info; ///< the record OnFound hands out
    std::string Incomplete;              ///< why the file's text was not searched in full (OnIncomplete)
    std::exception_ptr Error;            ///< the run ends at this entry
};

/// One folder of the walk and what has been prepared of it.
struct TWalkFolder
{
    std::string Rel;                 ///< path below the root, empty or ending with '/'
    std::vector<std::uint32_t> Key;  ///< place in the walk order: the child indices from the root
    TFolderListing Listing;
    bool Opened = false;
    std::vector<TEntryVerdict> Verdicts; ///< one per entry of Listing
    std::vector<std::unique_ptr<TWalkFolder>> Children; ///< in the order the walk enters them
    // Scheduling, under the look-ahead's lock.
    std::uint8_t ListState = 0; ///< 0 waiting, 1 taken, 2 done
    std::atomic<bool> Listed{false}; ///< ListState is 2: the walk need not take the lock to know
    // Set up with the listing, read without the lock after that.
    std::size_t Batches = 0;
    std::unique_ptr<std::atomic<std::size_t>[]> Next;      ///< per batch: its first entry not yet claimed
    std::unique_ptr<std::atomic<std::uint8_t>[]> Settled; ///< per entry: its verdict may be read
    int InFlight = 0;           ///< items of this folder running on some thread
    bool Counted = false;       ///< its entries count against the look-ahead's bound
};

/// The state one thread keeps for its content tests.
struct TWalkWorker
{
    std::unique_ptr<TSearcherPair> Searchers;
    ~TWalkWorker();
};

/// Lists one folder (filling Listing, Opened, Verdicts' Child and Children), and examines a range
/// of its entries. `ahead` is true when the work runs ahead of the walk and may be abandoned.
class TWalkWork
{
public:
    virtual ~TWalkWork() = default;
    virtual void List(TWalkFolder& folder) const = 0;
    virtual void Examine(TWalkFolder& folder, std::size_t first, std::size_t last, TWalkWorker& worker,
                         bool ahead) const = 0;
    /// False while the run is paused or ending: no new work is started ahead.
    virtual bool MayWork() const = 0;
    virtual std::unique_ptr<TWalkWorker> MakeWorker() const = 0;
};

class TWalkAhead
{
public:
    /// `helpers` extra threads (0: everything runs on the walk's thread when it asks for it). The
    /// walk's own thread examines only entries it needs that nobody has started; otherwise it waits
    /// for verdicts and tells them. `quick`: no entry takes long to examine (nothing is read but
    /// names and records), so the walk claims the rest of a batch with the entry it needs, a batch
    /// is handed over as a whole, and a waiting walk lends a hand with the items ahead.
    TWalkAhead(const TWalkWork& work, unsigned helpers, std::size_t batchSize, bool quick);
    /// Stops and joins the helpers.
    ~TWalkAhead();
    TWalkAhead(const TWalkAhead&) = delete;
    TWalkAhead& operator=(const TWalkAhead&) = delete;

    TWalkFolder& Root() { return *FRoot; }
    /// The walk's own thread state.
    TWalkWorker& Worker() { return *FWalker; }
    /// Makes sure the folder is listed; runs the listing here when no thread has taken it.
    void NeedListing(TWalkFolder& folder);
    /// Makes sure the entry's verdict is ready or the entry is left to the walk (Done is false then:
    /// the walk examines it itself). Returns the first entry after the ones now known to be ready.
    std::size_t NeedEntry(TWalkFolder& folder, std::size_t entry);
    /// The walk is through with the folder's entries: its listing and verdicts are freed.
    void Release(TWalkFolder& folder);
    /// Frees a subtree whose walk is complete (nothing of it is waiting or running).
    void Free(TWalkFolder& parent, std::size_t child);
    /// Wakes helpers that wait for a pause to end.
    void Poke();

private:
    struct TItem
    {
        TWalkFolder* Folder;
        std::int64_t Batch; // -1: the listing
    };
    struct TItemLess
    {
        bool operator()(const TItem& a, const TItem& b) const;
    };
    using TItemSet = std::set<TItem, TItemLess>;

    void Loop();
    /// The earliest item a thread may take now, or end(); `lock` held.
    TItemSet::iterator Pick();
    /// Runs an item taken from the set; `lock` held on entry and exit, released meanwhile. A helper
    /// goes on with the first batch of a folder it listed.
    void Run(std::unique_lock<std::mutex>& lock, TItem item, TWalkWorker& worker, bool helper);
    /// Claims and examines the batch's entries one by one; no lock held.
    void RunBatch(TWalkFolder& folder, std::size_t batch, TWalkWorker& worker);
    /// In a quick run the walk lends a hand with the next item while it waits; `lock` held.
    bool Lend(std::unique_lock<std::mutex>& lock);
    /// Wakes the walk if it waits for a verdict; no lock held.
    void WakeWalk();
    /// The walk claims the entry when no thread has started it (and in a quick run the rest of its
    /// batch with it); returns the end of what it claimed, 0 when it claimed nothing.
    std::size_t Claim(TWalkFolder& folder, std::size_t entry);
    void Stop();

    const TWalkWork& FWork;
    const std::size_t FBatchSize;
    const bool FQuick;
    std::unique_ptr<TWalkFolder> FRoot;
    std::unique_ptr<TWalkWorker> FWalker;
    std::mutex FLock;
    std::condition_variable FWorkChanged; // new items, freed room, stop
    std::condition_variable FItemDone;  // items done, and entries settled while the walk waits
    std::atomic<bool> FWalkWaiting{false}; // set under the lock: settling an entry wakes the walk
    TItemSet FReady;
    std::size_t FFoldersAhead = 0;
    std::size_t FEntriesAhead = 0;
    bool FStop = false;
    std::vector<std::thread> FHelpers;
};

} // namespace trovex
