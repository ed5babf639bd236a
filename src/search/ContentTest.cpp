// SPDX-License-Identifier: MIT
// The content test of one file and the search inside ZIP archives: where a file's text comes from
// (its bytes, the text of a PDF document, an unpacked archive member) and the verdict on it.
#include "search/FindFile.h"

#include "platform/Stream.h"
#include "readers/UnZipLib.h"
#include "search/ContentPool.h"
#include "search/StringSearch.h"

namespace trovex
{
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

void TFindFile::TestContent(bool swallowReadErrors)
{
    try {
        bool match = false;
        std::string foundText;
        TFoundWhere where;
        std::string incomplete;
        RunContentTest(*FSearchers, ContentSettings(), nullptr, FFound.Name, FFound.FileName, match, foundText,
                       &FTerminated, nullptr, &where, &incomplete);
        FStatus = match ? fsMatch : fsNoMatch;
        if (!match && !incomplete.empty())
            DoIncomplete(FFound.FileName, incomplete);
        if (!ContainingText.empty())
            FFound.FoundText = foundText;
        FFound.FoundPage = where.Page;
        FFound.FoundForm = std::move(where.Form);
        FFound.FoundPlace = std::move(where.Place);
    } catch (const ETerminated&) {
        FStatus = fsNoMatch; // the run ends here; the file half read is simply not reported
    } catch (const std::runtime_error& error) {
        if (!swallowReadErrors)
            throw;
        FStatus = fsReadError;
        DoIncomplete(FFound.FileName, ReasonOf(error));
    }
}

TFindStatus TFindFile::TestFileContent(TSearcherPair& searchers, const TFolderListing& listing,
                                       TFindFileInfo& found, TFindData* record, std::string* incomplete) const
{
    try {
        bool match = false;
        std::string foundText;
        TFoundWhere where;
        RunContentTest(searchers, ContentSettings(), &listing, found.Name, found.FileName, match, foundText,
                       &FTerminated, record, &where, incomplete);
        if (!ContainingText.empty())
            found.FoundText = foundText;
        found.FoundPage = where.Page;
        found.FoundForm = std::move(where.Form);
        found.FoundPlace = std::move(where.Place);
        return match ? fsMatch : fsNoMatch;
    } catch (const ETerminated&) {
        return fsNoMatch; // the run ends here; the file half read is simply not reported
    } catch (const std::runtime_error& error) {
        if (incomplete)
            *incomplete = ReasonOf(error);
        return fsReadError;
    }
}

bool TFindFile::SearchZip(const TFolderListing& listing, const std::string& name, const std::string& archivePath,
                          std::int32_t& mask, TFindFileInfo& found, TFindData& record, std::string& incomplete) const
{
    if (FTerminated.load())
        return false;
    TZipFile zip;
    // By name with one mask, the first member that fits decides: the rest need not be listed.
    std::function<bool(std::string_view)> enough;
    if (ContainingText.empty() && FMaskList.size() == 1)
        enough = [this](std::string_view entry) {
            const std::size_t slash = entry.rfind('/');
            return FitsMask(0, slash == std::string_view::npos ? entry : entry.substr(slash + 1));
        };
    try {
        auto file = std::make_unique<TFileStream>(listing, name, archivePath);
        record = file->Record();
        zip.Open(std::move(file), archivePath, enough);
    } catch (const EReadError& error) {
        incomplete = ReasonOf(error);
        return false;
    } catch (const std::runtime_error&) {
        incomplete = DamagedArchive;
        return false;
    }
    std::string memberProblem;
    if (SearchOpenZip(zip, mask, found, memberProblem))
        return true;
    // Members after damage are not even listed: that says more than one member left unread.
    if (!zip.Complete())
        incomplete = DamagedArchive;
    else if (!memberProblem.empty())
        incomplete = memberProblem;
    return false;
}

bool TFindFile::SearchOpenZip(TZipFile& zip, std::int32_t& mask, TFindFileInfo& found, std::string& problem) const
{
    std::string& foundText = found.FoundText;
    for (const std::string& entry : zip.Entries()) {
        std::size_t slash = entry.rfind('/');
        std::string_view member = slash == std::string::npos ? std::string_view(entry)
                                                             : std::string_view(entry).substr(slash + 1);
        for (std::size_t m = 0; m < FMaskList.size(); ++m) {
            mask = static_cast<std::int32_t>(m);
            if (!FitsMask(m, member))
                continue;
            if (ContainingText.empty()) {
                found.FoundForm = "name";
                found.FoundPlace = "member " + entry;
                return true;
            }
            if (const char* why = zip.MemberProblem(entry)) {
                if (problem.empty())
                    problem = std::string(MemberNotSearched) + " (" + why + ")";
                continue;
            }
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
                if (member->Failed() && problem.empty())
                    problem = std::string(MemberNotSearched) + " (damaged)";
                foundText = hit ? searcher->FoundText() : std::string();
                if (hit) {
                    found.FoundForm = searcher->FoundForm();
                    found.FoundPlace = "member " + entry;
                    return true;
                }
            } catch (const ETerminated&) {
                return false;
            } catch (const std::bad_alloc&) {
                foundText.clear(); // this member cannot be searched; the others still can
            }
        }
    }
    return false;
}

} // namespace trovex
