// SPDX-License-Identifier: MIT
// The content test of one file and the search inside ZIP archives: where a file's text comes from
// (its bytes, the text of a PDF document, an unpacked archive member) and the verdict on it.
#include "search/FindFile.h"

#include "platform/Stream.h"
#include "readers/UnZipLib.h"
#include "readers/uPDFtext.h"
#include "search/StringSearch.h"

namespace trovex
{
namespace
{

std::unique_ptr<TStringSearch> MakeSearcher(bool caseSensitive, TCodePages codePages, const std::string& pattern,
                                            TStream* stream = nullptr)
{
    auto searcher = std::make_unique<TStringSearch>(stream);
    searcher->SetCaseSensitive(caseSensitive);
    searcher->SetCodePages(codePages);
    searcher->SetPattern(pattern);
    return searcher;
}

bool IsPdfName(std::string_view name)
{
    std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && Utf8Lower(name.substr(dot)) == ".pdf";
}

} // namespace

void TFindFile::PrepareContentTest()
{
    FContainSearch = MakeSearcher(CaseSensitive, CodePages, ContainingText);
    FExcludeSearch = MakeSearcher(CaseSensitive, CodePages, ExcludedText);
}

void TFindFile::ReleaseContentTest()
{
    FContainSearch.reset();
    FExcludeSearch.reset();
}

void TFindFile::TestContent(bool swallowReadErrors)
{
    try {
        std::unique_ptr<TStream> stream;
        if (IsPdfName(FFound.Name))
            stream = std::make_unique<TMemoryStream>(TPDF2Text(FFound.FileName).Text());
        else if (FListing)
            stream = std::make_unique<TFileStream>(*FListing, FFound.Name, FFound.FileName);
        else
            stream = std::make_unique<TFileStream>(FFound.FileName);
        if (!ContainingText.empty()) {
            FContainSearch->SetStream(stream.get());
            bool found = FContainSearch->Search();
            FContainSearch->SetStream(nullptr);
            FStatus = found ? fsMatch : fsNoMatch;
            FFound.FoundText = FContainSearch->FoundText();
        }
        if (FStatus == fsMatch && !ExcludedText.empty()) {
            FExcludeSearch->SetStream(stream.get());
            bool found = FExcludeSearch->Search();
            FExcludeSearch->SetStream(nullptr);
            if (found)
                FStatus = fsNoMatch;
        }
    } catch (const std::runtime_error&) {
        if (FContainSearch)
            FContainSearch->SetStream(nullptr);
        if (FExcludeSearch)
            FExcludeSearch->SetStream(nullptr);
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
            TMemoryStream content(zip.UnzipFileToBuffer(entry));
            auto searcher = MakeSearcher(CaseSensitive, CodePages, ContainingText, &content);
            bool hit = searcher->Search();
            FFound.FoundText = searcher->FoundText();
            if (hit)
                return true;
        }
    }
    return false;
}

} // namespace trovex
