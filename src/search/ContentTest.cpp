// SPDX-License-Identifier: MIT
// The content test of one file and the search inside ZIP archives: where a file's text comes from
// (its bytes, the text of a PDF document, an unpacked archive member) and the verdict on it.
#include "search/FindFile.h"

#include <thread>

#include "platform/Stream.h"
#include "readers/UnZipLib.h"
#include "search/ContentPool.h"
#include "search/StringSearch.h"

namespace trovex
{
namespace
{

// Planning ahead pays only where another core can do the reading.
const bool HaveSpareCore = std::thread::hardware_concurrency() > 1;
// Sizes from which a file's content test is worth a trip to the other core.
constexpr std::uint64_t HeavyFile = 512 * 1024;
constexpr std::uint64_t HeavyDocument = 32 * 1024;

} // namespace

TContentSettings TFindFile::ContentSettings() const
{
    return TContentSettings{ContainingText, ExcludedText, CaseSensitive, CodePages, InDocuments};
}

void TFindFile::PrepareContentTest()
{
    FSearchers = std::make_unique<TSearcherPair>(ContentSettings());
}

void TFindFile::ReleaseContentTest()
{
    FSearchers.reset();
}

void TFindFile::PlanContentTests(const TFolderListing& listing)
{
    FPlannedData.clear();
    FPlannedState.clear();
    if (!HaveSpareCore || FListMode)
        return;
    const std::vector<TDirEntry>& entries = listing.Entries();
    std::vector<std::unique_ptr<TContentJob>> jobs(entries.size());
    FPlannedData.resize(entries.size());
    FPlannedState.assign(entries.size(), 0);
    std::size_t count = 0;
    std::size_t light = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TDirEntry& entry = entries[i];
        if (entry.Name == "." || entry.Name == ".." || entry.Kind == TDirEntry::dkDirectory)
            continue;
        const std::string lowerName = Utf8Lower(entry.Name);
        bool fits = false;
        try {
            for (std::size_t m = 0; m < FMaskList.size() && !fits; ++m)
                fits = FitsMask(m, lowerName);
        } catch (const EMaskException&) {
            break; // the walk raises it at this entry; nothing after it is tested
        }
        if (!fits)
            continue;
        // The same verdicts as the walk: a name holding the text, a folder, a date out of range and
        // a vanished entry get no content test.
        if (!ContainingText.empty() && lowerName.find(FLowerContaining) != std::string::npos)
            continue;
        if (!listing.ReadFindData(entry.Name, FPlannedData[i])) {
            FPlannedState[i] = 2;
            continue;
        }
        FPlannedState[i] = 1;
        const TFindData& data = FPlannedData[i];
        if ((data.Attributes & faDirectory) || (UseDate && !DateInRange(data.LastWriteTime)))
            continue;
        // Handing a small file to the other core costs more than searching it here: only large
        // files and documents go over, and only when the walk has other work meanwhile.
        if (data.Size < (IsPdfName(lowerName) ? HeavyDocument : HeavyFile)) {
            ++light;
            continue;
        }
        jobs[i] = std::make_unique<TContentJob>();
        jobs[i]->Name = entry.Name;
        jobs[i]->Path = FCurrentFolder + entry.Name;
        ++count;
    }
    if (count == 0 || (count < 2 && light < 8))
        return; // nothing to overlap
    if (!FPool)
        FPool = std::make_unique<TContentPool>([this] { return !FPaused.load() && !FTerminated.load(); },
                                               &FTerminated);
    FPool->Begin(ContentSettings(), &listing, std::move(jobs));
}

void TFindFile::EndContentTests()
{
    if (FPool)
        FPool->End();
    FPlannedData.clear();
    FPlannedState.clear();
}

void TFindFile::TestContent(bool swallowReadErrors)
{
    TContentJob* job = FPool && FListing ? FPool->Job(FEntryIndex) : nullptr;
    if (job) {
        FPool->Complete(*job, *FSearchers);
        if (job->ReadError) {
            FStatus = fsReadError;
            return;
        }
        FStatus = job->Match ? fsMatch : fsNoMatch;
        if (!ContainingText.empty())
            FFound.FoundText = job->FoundText;
        return;
    }
    try {
        bool match = false;
        std::string foundText;
        RunContentTest(*FSearchers, ContentSettings(),
                       FListing, FFound.Name, FFound.FileName, match, foundText, &FTerminated);
        FStatus = match ? fsMatch : fsNoMatch;
        if (!ContainingText.empty())
            FFound.FoundText = foundText;
    } catch (const ETerminated&) {
        FStatus = fsNoMatch; // the run ends here; the file half read is simply not reported
    } catch (const std::runtime_error&) {
        if (!swallowReadErrors)
            throw;
        FStatus = fsReadError;
    }
}

bool TFindFile::SearchZip(const std::string& archivePath)
{
    TZipFile zip;
    try {
        zip.Open(archivePath);
    } catch (const std::runtime_error&) {
        return false; // an archive that cannot be opened is passed over without a message
    }
    for (const std::string& entry : zip.Entries()) {
        std::size_t slash = entry.rfind('/');
        std::string_view member = slash == std::string::npos ? std::string_view(entry)
                                                             : std::string_view(entry).substr(slash + 1);
        for (std::size_t m = 0; m < FMaskList.size(); ++m) {
            FCurrentMask = FMaskList[m];
            if (!FitsMask(m, member))
                continue;
            if (ContainingText.empty())
                return true;
            try {
                // The member is unpacked as the searcher reads it, so its size costs no memory.
                std::unique_ptr<TZipMemberStream> member = zip.OpenMember(entry);
                TCancellableStream content(*member, &FTerminated);
                auto searcher = MakeSearcher(ContentSettings(), ContainingText, &content);
                bool hit = searcher->Search();
                if (hit) {
                    // Data damaged after the hit makes the whole member empty, as unpacking it
                    // whole would: read on to its end before trusting the hit.
                    std::vector<char> rest(TStringSearch::ChunkSize);
                    while (content.Read(rest.data(), rest.size()) == rest.size()) {
                    }
                    hit = !member->Failed();
                }
                FFound.FoundText = hit ? searcher->FoundText() : std::string();
                if (hit)
                    return true;
            } catch (const ETerminated&) {
                return false;
            } catch (const std::bad_alloc&) {
                FFound.FoundText.clear(); // this member cannot be searched; the others still can
            }
        }
    }
    return false;
}

} // namespace trovex
