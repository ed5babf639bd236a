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

TWalkAhead::TWalkAhead(const TWalkWork& work, unsigned helpers, std::size_t batchSize)
    : FWork(work), FBatchSize(std::max<std::size_t>(batchSize, 1)), FRoot(std::make_unique<TWalkFolder>()),
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

void TWalkAhead::Run(std::unique_lock<std::mutex>& lock, TItem item, TWalkWorker& worker, bool ahead)
{
    TWalkFolder& folder = *item.Folder;
    if (item.Batch < 0)
        folder.ListState = 1;
    else
        folder.BatchState[static_cast<std::size_t>(item.Batch)] = 1;
    ++folder.InFlight;
    lock.unlock();
    bool added = false;
    if (item.Batch < 0) {
        // A failure here would leave the walk waiting; listing never throws, but keep the state sane.
        FWork.List(folder);
        const std::size_t count = folder.Opened ? folder.Listing.Entries().size() : 0;
        const bool split = count > FBatchSize;
        if (!split && count > 0)
            FWork.Examine(folder, 0, count, worker, ahead);
        lock.lock();
        folder.ListState = 2;
        folder.Counted = true;
        ++FFoldersAhead;
        FEntriesAhead += count;
        if (split) {
            const std::size_t batches = (count + FBatchSize - 1) / FBatchSize;
            folder.BatchState.assign(batches, 0);
            if (!FHelpers.empty())
                for (std::size_t b = 0; b < batches; ++b)
                    FReady.insert(TItem{&folder, static_cast<std::int64_t>(b)});
        }
        if (!FHelpers.empty())
            for (auto& child : folder.Children)
                FReady.insert(TItem{child.get(), -1});
        added = !FHelpers.empty() && (split || !folder.Children.empty());
    } else {
        const std::size_t count = folder.Listing.Entries().size();
        const std::size_t first = static_cast<std::size_t>(item.Batch) * FBatchSize;
        FWork.Examine(folder, first, std::min(count, first + FBatchSize), worker, ahead);
        lock.lock();
        folder.BatchState[static_cast<std::size_t>(item.Batch)] = 2;
    }
    --folder.InFlight;
    FItemDone.notify_all();
    if (added)
        FWorkChanged.notify_all();
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

void TWalkAhead::NeedListing(TWalkFolder& folder)
{
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        if (folder.ListState == 2)
            return;
        if (folder.ListState == 0) {
            FReady.erase(TItem{&folder, -1});
            Run(lock, TItem{&folder, -1}, *FWalker, false);
            return;
        }
        // Another thread is listing it: lend a hand with what comes next meanwhile.
        auto it = FWork.MayWork() ? Pick() : FReady.end();
        if (it != FReady.end()) {
            TItem item = *it;
            FReady.erase(it);
            Run(lock, item, *FWalker, true);
            continue;
        }
        FItemDone.wait(lock);
    }
}

std::size_t TWalkAhead::NeedEntry(TWalkFolder& folder, std::size_t entry)
{
    const std::size_t count = folder.Listing.Entries().size();
    std::unique_lock<std::mutex> lock(FLock);
    if (folder.BatchState.empty())
        return count; // examined with the listing
    const std::size_t batch = entry / FBatchSize;
    for (;;) {
        const std::uint8_t state = folder.BatchState[batch];
        if (state == 2)
            return std::min(count, (batch + 1) * FBatchSize);
        if (state == 0) {
            FReady.erase(TItem{&folder, static_cast<std::int64_t>(batch)});
            Run(lock, TItem{&folder, static_cast<std::int64_t>(batch)}, *FWalker, false);
            continue;
        }
        auto it = FWork.MayWork() ? Pick() : FReady.end();
        if (it != FReady.end()) {
            TItem item = *it;
            FReady.erase(it);
            Run(lock, item, *FWalker, true);
            continue;
        }
        FItemDone.wait(lock);
    }
}

void TWalkAhead::Release(TWalkFolder& folder)
{
    std::unique_lock<std::mutex> lock(FLock);
    // After a pause or a terminate the walk may leave a folder while a helper still examines a
    // batch of it; that helper gives up at its next entry.
    FItemDone.wait(lock, [&] { return folder.InFlight == 0; });
    for (std::size_t b = 0; b < folder.BatchState.size(); ++b)
        if (folder.BatchState[b] == 0)
            FReady.erase(TItem{&folder, static_cast<std::int64_t>(b)});
    if (folder.Counted) {
        --FFoldersAhead;
        FEntriesAhead -= folder.Listing.Entries().size();
        folder.Counted = false;
    }
    folder.BatchState.clear();
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
