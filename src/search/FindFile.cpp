// SPDX-License-Identifier: MIT
#include "search/FindFile.h"

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
    FPool.reset(); // after the worker: it may be waiting on a job of the pool
}

void TFindFile::SetMask(std::string_view text)
{
    FMaskList = SplitMasks(text);
    FCompiled.clear();
    FCompiled.resize(FMaskList.size());
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
            SearchFolder("");
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

bool TFindFile::FitsMask(std::size_t index, std::string_view name)
{
    std::optional<TMask>& compiled = FCompiled[index];
    if (!compiled)
        compiled.emplace(FMaskList[index]);
    return compiled->Fits(name);
}

void TFindFile::FillFound(const TFindData& data, const std::string& fileName)
{
    FFound.FindData = data;
    FFound.Name = data.Name;
    FFound.Attr = data.Attributes & 0xFFFF;
    FFound.Size = static_cast<std::int32_t>(static_cast<std::uint32_t>(data.Size & 0xFFFFFFFFu));
    FFound.Time = FileTimeToDosDateTime(data.LastWriteTime);
    FFound.FileName = fileName;
}

bool TFindFile::SearchFolder(const std::string& rel)
{
    std::vector<std::string> subFolders;
    FCurrentFolder = FFolder + rel;
    DoFolderChange();
    PrepareContentTest();

    TFolderListing listing;
    const bool haveText = !ContainingText.empty() || !ExcludedText.empty();
    if (listing.Open(FCurrentFolder)) {
        FListing = &listing;
        if (haveText)
            PlanContentTests(listing);
        const std::size_t masks = FMaskList.size();
        const std::vector<TDirEntry>& entries = listing.Entries();
        for (FEntryIndex = 0; FEntryIndex < entries.size(); ++FEntryIndex) {
            const TDirEntry& entry = entries[FEntryIndex];
            if (FTerminated.load())
                break;
            CheckPaused();
            ++FFilesChecked;
            if (entry.Name == "." || entry.Name == "..")
                continue;
            const std::string path = FCurrentFolder + entry.Name;
            bool haveData = false;
            bool gone = false;
            // The record is read only when something needs it: a walk by name stays a walk of names.
            auto ensureData = [&] {
                if (!haveData) {
                    TFindData data;
                    const std::uint8_t planned =
                        FEntryIndex < FPlannedState.size() ? FPlannedState[FEntryIndex] : std::uint8_t{0};
                    if (planned == 1) {
                        FillFound(FPlannedData[FEntryIndex], path);
                    } else if (planned == 0 && listing.ReadFindData(entry.Name, data)) {
                        FillFound(data, path);
                    } else {
                        data.Name = entry.Name;
                        FillFound(data, path);
                        gone = true;
                    }
                    haveData = true;
                }
            };
            FFound.FoundText = ContainingText;
            FStatus = fsNoMatch;
            const std::string lowerName = Utf8Lower(entry.Name);
            for (std::size_t m = 0; m < masks; ++m) {
                FCurrentMask = FMaskList[m];
                if (!FitsMask(m, lowerName))
                    continue;
                ensureData();
                if (gone)
                    break; // vanished between listing and reading: nothing to report
                FStatus = fsMatch;
                if (UseDate && !DateInRange(FFound.FindData.LastWriteTime))
                    FStatus = fsNoMatch;
                const bool nameHasText =
                    !ContainingText.empty() && lowerName.find(FLowerContaining) != std::string::npos;
                // Folders have no content: with a text given they are never reported, not even when
                // their name holds the text.
                if (haveText && FStatus == fsMatch && (FFound.Attr & faDirectory))
                    FStatus = fsNoMatch;
                else if (!nameHasText && haveText && FStatus == fsMatch)
                    TestContent(true);
                if (FStatus == fsMatch) {
                    DoFound();
                    break;
                }
            }
            // Links are never descended into, whatever they point at, so link loops cannot trap the walk.
            const bool descend = entry.Kind == TDirEntry::dkDirectory ||
                                 (entry.Kind == TDirEntry::dkUnknown && (ensureData(), FFound.Attr & faDirectory) &&
                                  !(FFound.FindData.Attributes & faReparsePoint));
            if (InZip && FStatus != fsMatch && FCurrentMask != "*.*" && entry.Kind != TDirEntry::dkDirectory &&
                FitsZipMask(lowerName)) {
                ensureData();
                if (!gone && !(FFound.Attr & faDirectory) && SearchZip(path))
                    DoFound();
            }
            if (FSubFolders && descend)
                subFolders.push_back(rel + entry.Name + PathDelim);
        }
    }
    EndContentTests();
    FListing = nullptr;
    listing.Close(); // at most one folder open at a time, however deep the walk goes
    ReleaseContentTest();

    for (const std::string& sub : subFolders) {
        if (FTerminated.load()) {
            // Still entered, so the caller sees each remaining folder announced, but not walked.
            FCurrentFolder = FFolder + sub;
            DoFolderChange();
            continue;
        }
        SearchFolder(sub);
    }
    if (FStatus == fsStarted)
        FStatus = fsNoMatch;
    return FStatus == fsMatch;
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
            if (FStatus == fsMatch && !(FFound.Attr & faDirectory) && haveText) {
                TestContent(false);
            }
            if (FStatus == fsMatch) {
                DoFound();
                break;
            }
        }
    }
    ReleaseContentTest();
}

} // namespace trovex
