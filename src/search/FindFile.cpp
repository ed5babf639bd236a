// SPDX-License-Identifier: MIT
#include "search/FindFile.h"

#include <algorithm>
#include <cxxabi.h>
#include <typeinfo>

#include "search/ContentPool.h"
#include "search/StringSearch.h"

namespace trovex
{

std::string ExceptionClassName(const std::exception& error)
{
    const char* mangled = typeid(error).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    std::size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

TFindFile::TFindFile() : FFolder(DefaultFolder())
{
    TDateTime today = NowLocal();
    FDateTo = LocalToFileTime(today);
    today.Hour = today.Minute = today.Second = today.Ticks = 0;
    FDateFrom = LocalToFileTime(today);
}

TFindFile::~TFindFile()
{
    if (FThread.joinable()) {
        FQueue.Close();
        Terminate();
        Resume();
        FThread.join();
    }
}

unsigned TFindFile::MaxThreads()
{
    return 4 * std::max(1u, std::thread::hardware_concurrency());
}

void TFindFile::SetMask(std::string_view text)
{
    FMaskList = SplitMasks(text);
    FCompiled.clear();
    FMaskErrors.clear();
    // Compiled now, so that every thread of a run only reads them; an invalid mask still fails
    // only when first tried, as the walk would have found it.
    for (const std::string& mask : FMaskList) {
        try {
            FCompiled.emplace_back(std::in_place, mask);
            FMaskErrors.emplace_back();
        } catch (const EMaskException& e) {
            FCompiled.emplace_back();
            FMaskErrors.emplace_back(e.what());
        }
    }
}

void TFindFile::SetFolder(std::string_view text)
{
    FFolder = text.empty() ? DefaultFolder() : std::string(text);
    if (!IsPathDelim(FFolder.back()))
        FFolder.push_back(PathDelim);
}

TFindStatus TFindFile::Start()
{
    FFilesChecked = 0;
    FStatus = fsStarted;
    FListMode = false;
    if (FThread.joinable())
        throw std::logic_error("An engine runs once");
    FThread = std::thread([this] { Execute(); });
    Continue();
    return fsStarted; // the worker owns FStatus from here on
}

void TFindFile::StartInList(std::vector<std::string> list)
{
    FListFiles = std::move(list);
    FFilesChecked = 0;
    FStatus = fsStarted;
    FListMode = true;
    if (FThread.joinable())
        throw std::logic_error("An engine runs once");
    FThread = std::thread([this] { Execute(); });
    Continue();
}

void TFindFile::RunHere()
{
    if (FThread.joinable())
        throw std::logic_error("An engine runs once");
    FFilesChecked = 0;
    FStatus = fsStarted;
    FListMode = false;
    FPaused.store(false);
    Execute();
}

void TFindFile::RunHereInList(std::vector<std::string> list)
{
    if (FThread.joinable())
        throw std::logic_error("An engine runs once");
    FListFiles = std::move(list);
    FFilesChecked = 0;
    FStatus = fsStarted;
    FListMode = true;
    FPaused.store(false);
    Execute();
}

void TFindFile::Pause()
{
    FStatus = fsPaused;
    FPaused.store(true);
}

void TFindFile::Continue()
{
    std::lock_guard<std::mutex> guard(FSuspendLock);
    FPaused.store(false);
    if (FSuspended) {
        FResumeRequested = true;
        FResumed.notify_all();
    }
}

void TFindFile::Resume()
{
    // Unlike Continue, a resume that comes before the worker has suspended itself is kept for it:
    // the terminate path pauses, terminates and resumes, and the worker may reach its suspension
    // point only after all three. Without this it would then sleep forever.
    std::lock_guard<std::mutex> guard(FSuspendLock);
    FResumeRequested = true;
    FResumed.notify_all();
}

bool TFindFile::Suspended()
{
    std::lock_guard<std::mutex> guard(FSuspendLock);
    return FSuspended;
}

void TFindFile::Terminate()
{
    FTerminated.store(true);
}

void TFindFile::WaitFor()
{
    if (!FThread.joinable())
        return;
    while (!FFinished.load())
        FQueue.WaitAndDrain(std::chrono::milliseconds(50));
    FThread.join();
}

void TFindFile::CheckPaused()
{
    if (!FPaused.load())
        return;
    std::unique_lock<std::mutex> lock(FSuspendLock);
    if (!FPaused.load())
        return;
    FSuspended = true;
    FResumed.wait(lock, [this] { return FResumeRequested; });
    FResumeRequested = false;
    FSuspended = false;
}

void TFindFile::Deliver(const std::function<void()>& call, bool lendable)
{
    // Start makes the thread before resuming it, so the worker never sees FThread half-assigned.
    if (FThread.joinable() && std::this_thread::get_id() == FThread.get_id()) {
        if (lendable && LendableEvents)
            FQueue.InvokeLendable(call);
        else
            FQueue.Invoke(call);
    } else {
        call();
    }
}

void TFindFile::DoFound()
{
    if (OnFound)
        Deliver([this] { OnFound(*this, FFound); }, true);
}

void TFindFile::DoIncomplete(const std::string& path, const std::string& reason)
{
    if (OnIncomplete)
        Deliver([this, path, reason] { OnIncomplete(*this, path, reason); }, true);
}

void TFindFile::DoFolderChange()
{
    if (OnFolderChange)
        Deliver([this] { OnFolderChange(*this); }, true);
}

void TFindFile::DoSearchDone()
{
    // Read on the caller's thread: a caller abandoning the run clears it there while the worker runs.
    Deliver([this] {
        if (OnSearchDone)
            OnSearchDone(*this);
    });
}

void TFindFile::Execute()
{
    CheckPaused(); // created suspended: Start resumes it
    FErrorClass.clear();
    FErrorMessage.clear();
    try {
        if (FListMode)
            SearchList(FListFiles, false);
        else {
            FLowerContaining = Utf8Lower(ContainingText);
            FWalkEnded.store(false);
            const bool haveText = !ContainingText.empty() || !ExcludedText.empty();
            // Without a text to look for, an entry's work (its name, at most its record) is too little
            // to gain from handing it over: measured slower on two threads than on one.
            const unsigned threads = std::min(
                MaxThreads(), Threads ? Threads : haveText ? std::max(1u, std::thread::hardware_concurrency()) : 1u);
            // Batches small enough that a folder of a few large files still spreads over the cores,
            // large enough that handing them over costs little next to examining them.
            // When contents are read, an entry may take long to examine, and the walk's thread takes
            // on no work ahead, as that would hold up the verdicts it is about to tell: it mostly
            // waits for verdicts and tells them at once, so the helpers are as many as the threads
            // asked for. Reading the directory of an archive is quick enough.
            const bool quick = !haveText;
            const unsigned helpers = quick || threads == 1 ? threads - 1 : threads;
            // The chosen folder is taken as it is named (a link to a folder will do); everything below
            // it is opened from it without passing through a link, so the walk cannot leave it.
            FRootFolder.Open(FFolder, false);
            FAhead = std::make_unique<TWalkAhead>(static_cast<const TWalkWork&>(*this), helpers,
                                                  haveText || InZip ? 8 : 256, quick);
            SearchFolder(FAhead->Root());
        }
    } catch (const std::exception& e) {
        FErrorClass = ExceptionClassName(e);
        FErrorMessage = e.what();
        try {
            if (OnError)
                Deliver([this] { OnError(*this, FErrorClass, FErrorMessage); });
        } catch (...) {
            // A failing error handler must not keep the end notification from coming.
        }
    } catch (...) {
        FErrorClass = "Exception";
        FErrorMessage = "Unknown error";
    }
    FWalkEnded.store(true);
    FAhead.reset(); // joins the helpers: nothing of the run goes on after its end is told
    FRootFolder.Close();
    try {
        DoSearchDone();
    } catch (...) {
    }
    FFinished.store(true);
    FQueue.Interrupt();
}

bool TFindFile::FitsZipMask(std::string_view lowerName)
{
    static const TMask zipMask("*.zip");
    return zipMask.Fits(lowerName);
}

bool TFindFile::FitsMask(std::size_t index, std::string_view name) const
{
    if (!FMaskErrors[index].empty())
        throw EMaskException(FMaskErrors[index]);
    return FCompiled[index]->Fits(name);
}

void TFindFile::FillRecord(TFindFileInfo& found, const TFindData& data, const std::string& fileName)
{
    found.FindData = data;
    found.Name = data.Name;
    found.Attr = data.Attributes & 0xFFFF;
    found.Size = static_cast<std::int32_t>(static_cast<std::uint32_t>(data.Size & 0xFFFFFFFFu));
    found.Time = FileTimeToDosDateTime(data.LastWriteTime);
    found.FileName = fileName;
    found.Recorded = true;
}

void TFindFile::FillFound(const TFindData& data, const std::string& fileName)
{
    FillRecord(FFound, data, fileName);
}

bool TFindFile::MayWork() const
{
    return !FPaused.load() && !FTerminated.load() && !FWalkEnded.load();
}

std::unique_ptr<TWalkWorker> TFindFile::MakeWorker() const
{
    auto worker = std::make_unique<TWalkWorker>();
    if (!ContainingText.empty() || !ExcludedText.empty())
        worker->Searchers = std::make_unique<TSearcherPair>(ContentSettings());
    return worker;
}

void TFindFile::List(TWalkFolder& folder) const
{
    folder.Opened = folder.Listing.OpenBelow(FRootFolder, folder.Rel);
    if (!folder.Opened)
        return;
    const std::vector<TDirEntry>& entries = folder.Listing.Entries();
    folder.Verdicts.resize(entries.size());
    if (!FSubFolders)
        return;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TDirEntry& entry = entries[i];
        if (entry.Name == "." || entry.Name == "..")
            continue;
        // Links are never descended into, whatever they point at, so link loops cannot trap the walk.
        bool descend = entry.Kind == TDirEntry::dkDirectory;
        if (entry.Kind == TDirEntry::dkUnknown) {
            TFindData data;
            descend = folder.Listing.ReadFindData(entry.Name, data) && (data.Attributes & faDirectory) &&
                      !(data.Attributes & faReparsePoint);
        }
        if (!descend)
            continue;
        auto child = std::make_unique<TWalkFolder>();
        child->Rel = folder.Rel + entry.Name + PathDelim;
        child->Key = folder.Key;
        child->Key.push_back(static_cast<std::uint32_t>(folder.Children.size()));
        folder.Verdicts[i].Child = static_cast<std::int32_t>(folder.Children.size());
        folder.Children.push_back(std::move(child));
    }
}

void TFindFile::Examine(TWalkFolder& folder, std::size_t first, std::size_t last, TWalkWorker& worker,
                        bool ahead) const
{
    const std::vector<TDirEntry>& entries = folder.Listing.Entries();
    for (std::size_t i = first; i < last; ++i) {
        if (ahead && !MayWork())
            return; // the walk examines what is left itself, if it still wants it
        TEntryVerdict& verdict = folder.Verdicts[i];
        const TDirEntry& entry = entries[i];
        if (entry.Name != "." && entry.Name != "..") {
            try {
                ExamineEntry(folder, entry, verdict, worker);
            } catch (...) {
                verdict.Error = std::current_exception();
                verdict.Done = true;
                return; // the run ends at this entry: nothing after it is wanted
            }
        }
        verdict.Done = true;
    }
}

void TFindFile::ExamineEntry(const TWalkFolder& folder, const TDirEntry& entry, TEntryVerdict& verdict,
                             TWalkWorker& worker) const
{
    std::string path; // made only for an entry whose name fits
    auto fullPath = [&]() -> const std::string& {
        if (path.empty())
            path = FFolder + folder.Rel + entry.Name;
        return path;
    };
    std::unique_ptr<TFindFileInfo> found;
    bool gone = false;
    // The record is read only when something needs it: a walk by name stays a walk of names.
    auto ensureData = [&] {
        if (found)
            return;
        found = std::make_unique<TFindFileInfo>();
        TFindData data;
        if (!folder.Listing.ReadFindData(entry.Name, data)) {
            data.Name = entry.Name;
            gone = true;
        }
        FillRecord(*found, data, fullPath());
        found->FoundText = ContainingText;
    };
    const bool haveText = !ContainingText.empty() || !ExcludedText.empty();
    TFindStatus status = fsNoMatch;
    bool hit = false;
    const std::string lowerName = Utf8Lower(entry.Name);
    for (std::size_t m = 0; m < FMaskList.size(); ++m) {
        verdict.Mask = static_cast<std::int32_t>(m);
        if (!FitsMask(m, lowerName))
            continue;
        if (!found && !NeedRecords && !haveText && !UseDate &&
            (entry.Kind == TDirEntry::dkFile || entry.Kind == TDirEntry::dkDirectory)) {
            // The name fitting is the whole verdict, and the caller wants no more than the listing told.
            found = std::make_unique<TFindFileInfo>();
            TFindData data;
            data.Name = entry.Name;
            data.Attributes = entry.Kind == TDirEntry::dkDirectory ? faDirectory : faArchive;
            if (entry.Name[0] == '.')
                data.Attributes |= faHidden;
            FillRecord(*found, data, fullPath());
            found->Recorded = false;
            status = fsMatch;
            hit = true;
            break;
        }
        const bool nameHasText = !ContainingText.empty() && lowerName.find(FLowerContaining) != std::string::npos;
        if (!found && haveText && !UseDate && !nameHasText && entry.Kind == TDirEntry::dkFile &&
            !IsPdfName(entry.Name)) {
            // Nothing needs the record before the content test, which opens the file anyway: the
            // record comes with the open file instead of from a look-up by name of its own.
            found = std::make_unique<TFindFileInfo>();
            found->Name = entry.Name;
            found->FileName = fullPath();
            found->FoundText = ContainingText;
            TFindData record;
            status = TestFileContent(*worker.Searchers, folder.Listing, *found, &record, &verdict.Incomplete);
            if (!record.Name.empty()) {
                FillRecord(*found, record, fullPath());
            } else {
                // Not opened: decide as a look-up by name first would have.
                if (!folder.Listing.ReadFindData(entry.Name, record)) {
                    status = fsNoMatch;
                    record.Name = entry.Name;
                    FillRecord(*found, record, fullPath());
                    gone = true;
                    break;
                }
                FillRecord(*found, record, fullPath());
                if (found->Attr & faDirectory)
                    status = fsNoMatch;
            }
            if (status == fsMatch) {
                hit = true;
                break;
            }
            continue;
        }
        ensureData();
        if (gone)
            break; // vanished between listing and reading: nothing to report
        status = fsMatch;
        if (UseDate && !DateInRange(found->FindData.LastWriteTime))
            status = fsNoMatch;
        // Folders have no content: with a text given they are never reported, not even when their
        // name holds the text.
        if (haveText && status == fsMatch && (found->Attr & faDirectory))
            status = fsNoMatch;
        else if (!nameHasText && haveText && status == fsMatch) {
            // Devices, FIFOs and sockets are never opened, as opening one may block or act on the
            // device; nor is a link read: what it leads to may lie outside the folder.
            if ((found->Attr & faSysFile) || entry.Kind == TDirEntry::dkLink)
                status = fsNoMatch;
            else
                status = TestFileContent(*worker.Searchers, folder.Listing, *found, nullptr, &verdict.Incomplete);
        }
        if (status == fsMatch) {
            hit = true;
            break;
        }
    }
    verdict.Status = status;
    if (!hit && InZip && verdict.Mask >= 0 && FMaskList[static_cast<std::size_t>(verdict.Mask)] != "*.*" &&
        entry.Kind != TDirEntry::dkDirectory && FitsZipMask(lowerName)) {
        if (!found && !UseDate && entry.Kind == TDirEntry::dkFile) {
            // Nothing needs the record before the archive is opened: it comes with the open file.
            found = std::make_unique<TFindFileInfo>();
            found->FoundText = ContainingText;
            TFindData record;
            if (SearchZip(folder.Listing, entry.Name, fullPath(), verdict.Mask, *found, record, verdict.Incomplete)) {
                FillRecord(*found, record, fullPath());
                hit = true;
            }
        } else {
            ensureData();
            TFindData record;
            if (!gone && !(found->Attr & (faDirectory | faSysFile)) && entry.Kind != TDirEntry::dkLink &&
                SearchZip(folder.Listing, entry.Name, fullPath(), verdict.Mask, *found, record, verdict.Incomplete))
                hit = true;
        }
    }
    if (hit) {
        if (found->FoundForm.empty() && found->FoundPlace.empty())
            found->FoundForm = "name"; // no text sought, or the name held it
        verdict.Found = true;
        verdict.Info = std::move(found);
    }
}

namespace
{

// The reason a folder's files went unsearched, or null when they all were (or when the walk never
// goes there, as into a link).
const char* ListFailureReason(TListFailure failure, bool root)
{
    switch (failure) {
    case TListFailure::lfPermission: return CannotOpenPermission;
    case TListFailure::lfGone: return root ? NoSuchFolder : VanishedDuringRun;
    case TListFailure::lfNotFolder: return root ? NoSuchFolder : nullptr;
    case TListFailure::lfReadError: return ReadFailed;
    case TListFailure::lfNone: break;
    }
    return nullptr;
}

} // namespace

bool TFindFile::SearchFolder(TWalkFolder& folder)
{
    std::vector<std::size_t> subFolders;
    FCurrentFolder = FFolder + folder.Rel;
    DoFolderChange();
    FAhead->NeedListing(folder);
    // A folder that could not be listed, or only in part, holds files that were never looked at.
    if (const char* reason = ListFailureReason(folder.Listing.Failure(), folder.Rel.empty()))
        DoIncomplete(FCurrentFolder, reason);
    bool complete = true;
    if (folder.Opened) {
        const std::vector<TDirEntry>& entries = folder.Listing.Entries();
        std::size_t ready = 0; // entries before this one have their verdicts
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (FTerminated.load()) {
                complete = false;
                break;
            }
            CheckPaused();
            ++FFilesChecked;
            if (entries[i].Name == "." || entries[i].Name == "..")
                continue;
            if (i >= ready)
                ready = FAhead->NeedEntry(folder, i);
            TEntryVerdict& verdict = folder.Verdicts[i];
            if (!verdict.Done)
                Examine(folder, i, i + 1, FAhead->Worker(), false);
            if (verdict.Mask >= 0)
                FCurrentMask = FMaskList[static_cast<std::size_t>(verdict.Mask)];
            FStatus = static_cast<TFindStatus>(verdict.Status);
            if (verdict.Error)
                std::rethrow_exception(verdict.Error);
            if (verdict.Found) {
                FFound = std::move(*verdict.Info);
                verdict.Info.reset();
                DoFound();
            } else if (!verdict.Incomplete.empty()) {
                DoIncomplete(FFolder + folder.Rel + entries[i].Name, verdict.Incomplete);
            }
            if (verdict.Child >= 0)
                subFolders.push_back(static_cast<std::size_t>(verdict.Child));
        }
    }
    // At most the folders ahead stay open, however deep the walk goes.
    FAhead->Release(folder);

    for (std::size_t child : subFolders) {
        TWalkFolder& sub = *folder.Children[child];
        if (FTerminated.load()) {
            // Still entered, so the caller sees each remaining folder announced, but not walked.
            FCurrentFolder = FFolder + sub.Rel;
            DoFolderChange();
            complete = false;
            continue;
        }
        if (SearchFolder(sub))
            FAhead->Free(folder, child);
        else
            complete = false;
    }
    if (FStatus == fsStarted)
        FStatus = fsNoMatch;
    return complete;
}

void TFindFile::SearchList(const std::vector<std::string>& list, bool listOnly)
{
    FLowerContaining = Utf8Lower(ContainingText);
    PrepareContentTest();
    const bool haveText = !ContainingText.empty() || !ExcludedText.empty();
    for (const std::string& path : list) {
        TFindData data;
        if (path.empty() || !ReadFindData(path, data))
            continue; // the file has gone
        FillFound(data, path);
        FFound.FoundText.clear();
        FFound.FoundPage = 0;
        FFound.FoundForm.clear();
        FFound.FoundPlace.clear();
        if (listOnly) {
            DoFound();
            continue;
        }
        const std::string lowerPath = Utf8Lower(path);
        for (std::size_t m = 0; m < FMaskList.size(); ++m) {
            FCurrentMask = FMaskList[m];
            if (!FitsMask(m, lowerPath))
                continue;
            FStatus = fsMatch;
            if (UseDate && !DateInRange(data.LastWriteTime))
                FStatus = fsNoMatch;
            // A device, FIFO or socket has no content to test: it simply does not match, and the list
            // goes on (only a file that cannot be read ends a list run).
            if (FStatus == fsMatch && !(FFound.Attr & faDirectory) && haveText && (data.Attributes & faSysFile)) {
                FStatus = fsNoMatch;
                DoIncomplete(path, NotRegularFile);
            }
            if (FStatus == fsMatch && !(FFound.Attr & faDirectory) && haveText) {
                // A link whose target has gone, or that loops, has nothing to read: like a vanished
                // file it does not match, and the list goes on.
                const bool link = (data.Attributes & faReparsePoint) != 0;
                TestContent(link);
                if (FStatus == fsReadError)
                    FStatus = fsNoMatch;
            }
            if (FStatus == fsMatch) {
                if (FFound.FoundForm.empty() && FFound.FoundPlace.empty())
                    FFound.FoundForm = "name";
                DoFound();
                break;
            }
        }
    }
    ReleaseContentTest();
}

} // namespace trovex
