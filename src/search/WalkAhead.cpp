// SPDX-License-Identifier: MIT
#include "search/WalkAhead.h"

#include <algorithm>
#include <chrono>

#include "search/ContentPool.h"
#include "search/FindFile.h"

namespace trovex
{
namespace
{

// How far the helpers may run ahead of the walk: folders listed but not yet walked (each keeps its
// folder open), and the entries they hold. One folder larger than this is still listed whole, as
// the walk itself needs it.
constexpr std::size_t MaxFoldersAhead = 64;
constexpr std::size_t MaxEntriesAhead = 32768;
// How often the walk yields to the helpers before it sleeps waiting for an entry.
constexpr int WaitTurns = 32;

} // namespace

TWalkWorker::~TWalkWorker() = default;

bool TWalkAhead::TItemLess::operator()(const TItem& a, const TItem& b) const
{
    if (a.Folder == b.Folder)
        return a.Batch < b.Batch;
    // A folder's key is a prefix of its subfolders' keys, so a folder and its batches come before
    // everything below it: the walk's own order.
    return std::lexicographical_compare(a.Folder->Key.begin(), a.Folder->Key.end(), b.Folder->Key.begin(),
                                        b.Folder->Key.end());
}

TWalkAhead::TWalkAhead(const TWalkWork& work, unsigned helpers, std::size_t batchSize, bool quick)
    : FWork(work), FBatchSize(std::max<std::size_t>(batchSize, 1)), FQuick(quick), FRoot(std::make_unique<TWalkFolder>()),
      FWalker(work.MakeWorker())
{
    // The walk's state is made first, on the walk's thread, so whatever it sets up once is in place
    // before any helper starts.
    FHelpers.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i)
        FHelpers.emplace_back([this] { Loop(); });
}

TWalkAhead::~TWalkAhead()
{
    Stop();
}

void TWalkAhead::Stop()
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FStop = true;
    }
    FWorkChanged.notify_all();
    for (std::thread& helper : FHelpers)
        helper.join();
    FHelpers.clear();
}

void TWalkAhead::Poke()
{
    FWorkChanged.notify_all();
}

TWalkAhead::TItemSet::iterator TWalkAhead::Pick()
{
    auto it = FReady.begin();
    if (it != FReady.end() && it->Batch < 0 && (FFoldersAhead >= MaxFoldersAhead || FEntriesAhead >= MaxEntriesAhead))
        return FReady.end();
    return it;
}

void TWalkAhead::Run(std::unique_lock<std::mutex>& lock, TItem item, TWalkWorker& worker, bool helper)
{
    TWalkFolder& folder = *item.Folder;
    ++folder.InFlight;
    if (item.Batch >= 0) {
        lock.unlock();
        RunBatch(folder, static_cast<std::size_t>(item.Batch), worker);
        lock.lock();
        --folder.InFlight;
        FItemDone.notify_all();
        return;
    }
    folder.ListState = 1;
    lock.unlock();
    // Listing never throws; the folder is set up before anyone else may look at it.
    FWork.List(folder);
    const std::size_t count = folder.Opened ? folder.Listing.Entries().size() : 0;
    folder.Batches = (count + FBatchSize - 1) / FBatchSize;
    folder.Next = std::make_unique<std::atomic<std::size_t>[]>(folder.Batches);
    for (std::size_t b = 0; b < folder.Batches; ++b)
        folder.Next[b].store(b * FBatchSize, std::memory_order_relaxed);
    folder.Settled = std::make_unique<std::atomic<std::uint8_t>[]>(count);
    // Where entries are quick, a helper examines the first batch before it tells of the listing, which
    // costs one hand-over less; otherwise the walk may take each entry as soon as it is listed.
    const bool early = FQuick && helper && folder.Batches > 0;
    if (early)
        RunBatch(folder, 0, worker);
    lock.lock();
    folder.ListState = 2;
    folder.Listed.store(true, std::memory_order_release);
    folder.Counted = true;
    ++FFoldersAhead;
    FEntriesAhead += count;
    // A helper goes on with the folder's first batch itself; the walk examines only what it needs.
    const std::size_t own = helper && folder.Batches > 0 ? 1 : 0;
    const bool later = own && !early;
    if (!FHelpers.empty()) {
        for (std::size_t b = own; b < folder.Batches; ++b)
            FReady.insert(TItem{&folder, static_cast<std::int64_t>(b)});
        for (auto& child : folder.Children)
            FReady.insert(TItem{child.get(), -1});
    }
    const bool added = !FHelpers.empty() && (folder.Batches > own || !folder.Children.empty());
    if (later) {
        // The walk may already wait for the listing.
        FItemDone.notify_all();
        if (added)
            FWorkChanged.notify_all();
        lock.unlock();
        RunBatch(folder, 0, worker);
        lock.lock();
    }
    --folder.InFlight;
    FItemDone.notify_all();
    if (added && !later)
        FWorkChanged.notify_all();
}

void TWalkAhead::RunBatch(TWalkFolder& folder, std::size_t batch, TWalkWorker& worker)
{
    const std::size_t end = std::min(folder.Listing.Entries().size(), (batch + 1) * FBatchSize);
    for (;;) {
        const std::size_t i = folder.Next[batch].fetch_add(1);
        if (i >= end)
            break;
        FWork.Examine(folder, i, i + 1, worker, true);
        // Abandoned (pause, terminate) or the run ends here: the rest is left to the walk.
        const bool stop = !folder.Verdicts[i].Done || folder.Verdicts[i].Error;
        const bool hit = folder.Verdicts[i].Found; // read before the walk may take the verdict
        folder.Settled[i].store(1);
        if (stop)
            return;
        // The walk is woken for a hit, which it tells at once, and otherwise when the batch is done
        // (Run tells it too): it has nothing to tell of the entries between, and a wake-up for each
        // of them costs more than examining it. In a quick run it is woken when the whole item is done.
        if (!FQuick && (hit || i + 1 >= end))
            WakeWalk();
    }
}

void TWalkAhead::WakeWalk()
{
    // The walk says it waits before it looks at the flags, and this looks after setting them, so
    // one of the two sees the other: a wake-up is never lost, and no lock is taken while nobody waits.
    if (FWalkWaiting.load()) {
        { std::lock_guard<std::mutex> guard(FLock); }
        FItemDone.notify_all();
    }
}

std::size_t TWalkAhead::Claim(TWalkFolder& folder, std::size_t entry)
{
    // Entries before it that nobody claimed are ones the walk skips ('.', '..').
    const std::size_t batch = entry / FBatchSize;
    const std::size_t last = FQuick ? std::min(folder.Listing.Entries().size(), (batch + 1) * FBatchSize) : entry + 1;
    std::atomic<std::size_t>& next = folder.Next[batch];
    std::size_t n = next.load();
    while (n <= entry)
        if (next.compare_exchange_weak(n, last))
            return last;
    return 0;
}

void TWalkAhead::Loop()
{
    std::unique_ptr<TWalkWorker> worker = FWork.MakeWorker();
    std::unique_lock<std::mutex> lock(FLock);
    while (!FStop) {
        if (!FWork.MayWork()) {
            // Paused: Continue does not know the helpers, so look again now and then.
            FWorkChanged.wait_for(lock, std::chrono::milliseconds(20));
            continue;
        }
        auto it = Pick();
        if (it == FReady.end()) {
            FWorkChanged.wait(lock);
            continue;
        }
        TItem item = *it;
        FReady.erase(it);
        Run(lock, item, *worker, true);
    }
}

bool TWalkAhead::Lend(std::unique_lock<std::mutex>& lock)
{
    // Only where no entry takes long: otherwise whatever the walk examined ahead would hold up the
    // verdicts it is about to tell.
    if (!FQuick || !FWork.MayWork())
        return false;
    auto it = Pick();
    if (it == FReady.end())
        return false;
    const TItem item = *it;
    FReady.erase(it);
    FWalkWaiting.store(false); // busy, not asleep: it looks at the flags again before it sleeps
    Run(lock, item, *FWalker, true);
    return true;
}

void TWalkAhead::NeedListing(TWalkFolder& folder)
{
    if (folder.Listed.load(std::memory_order_acquire))
        return;
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        if (folder.ListState == 2)
            return;
        if (folder.ListState == 0) {
            FReady.erase(TItem{&folder, -1});
            Run(lock, TItem{&folder, -1}, *FWalker, false);
            return;
        }
        // Another thread is listing it.
        if (!Lend(lock))
            FItemDone.wait(lock);
    }
}

std::size_t TWalkAhead::NeedEntry(TWalkFolder& folder, std::size_t entry)
{
    const std::size_t count = folder.Listing.Entries().size();
    if (FHelpers.empty())
        return count; // nobody else examines: the walk does each entry when it comes to it
    if (!folder.Settled[entry].load(std::memory_order_acquire)) {
        if (const std::size_t claimed = Claim(folder, entry))
            return claimed;
        // Most entries take a few microseconds: give the helpers the processor a few times before
        // sleeping, as a sleep and a wake-up cost more than that.
        for (int turn = 0; turn < WaitTurns && !folder.Settled[entry].load(std::memory_order_acquire); ++turn)
            std::this_thread::yield();
        std::unique_lock<std::mutex> lock(FLock);
        for (;;) {
            FWalkWaiting.store(true);
            if (folder.Settled[entry].load())
                break;
            if (!Lend(lock))
                FItemDone.wait(lock);
        }
        FWalkWaiting.store(false);
    }
    std::size_t ready = entry + 1;
    while (ready < count && folder.Settled[ready].load(std::memory_order_acquire))
        ++ready;
    return ready;
}

void TWalkAhead::Release(TWalkFolder& folder)
{
    std::unique_lock<std::mutex> lock(FLock);
    // After a pause or a terminate the walk may leave a folder while a helper still examines an
    // entry of it; that helper gives up at its next entry.
    FItemDone.wait(lock, [&] { return folder.InFlight == 0; });
    for (std::size_t b = 0; b < folder.Batches; ++b)
        FReady.erase(TItem{&folder, static_cast<std::int64_t>(b)});
    if (folder.Counted) {
        --FFoldersAhead;
        FEntriesAhead -= folder.Listing.Entries().size();
        folder.Counted = false;
    }
    folder.Batches = 0;
    folder.Next.reset();
    folder.Settled.reset();
    std::vector<TEntryVerdict>().swap(folder.Verdicts);
    folder.Listing.Close();
    lock.unlock();
    FWorkChanged.notify_all();
}

void TWalkAhead::Free(TWalkFolder& parent, std::size_t child)
{
    parent.Children[child].reset();
}

} // namespace trovex
