// SPDX-License-Identifier: MIT
#include "search/ContentPool.h"

#include "platform/Stream.h"
#include "readers/uPDFtext.h"
#include "search/StringSearch.h"

namespace trovex
{
std::unique_ptr<TStringSearch> MakeSearcher(const TContentSettings& settings, const std::string& pattern,
                                            TStream* stream)
{
    auto searcher = std::make_unique<TStringSearch>(stream);
    searcher->SetCaseSensitive(settings.CaseSensitive);
    searcher->SetCodePages(settings.CodePages);
    searcher->SetPattern(pattern);
    return searcher;
}

bool IsPdfName(std::string_view name)
{
    std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && Utf8Lower(name.substr(dot)) == ".pdf";
}

TSearcherPair::TSearcherPair(const TContentSettings& settings)
    : Contain(MakeSearcher(settings, settings.Containing)), Exclude(MakeSearcher(settings, settings.Excluding))
{
}

TSearcherPair::~TSearcherPair() = default;

bool RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    TFindData* record)
{
    std::unique_ptr<TStream> stream;
    bool recorded = false;
    if (IsPdfName(name)) {
        stream = std::make_unique<TMemoryStream>(TPDF2Text(path).Text());
    } else {
        auto file = listing ? std::make_unique<TFileStream>(*listing, name, path) : std::make_unique<TFileStream>(path);
        if (record) {
            *record = file->Record();
            recorded = true;
        }
        stream = std::move(file);
    }
    // The searchers only borrow the stream; take it back on every path out.
    struct TLend
    {
        TStringSearch& Searcher;
        TLend(TStringSearch& s, TStream* stream) : Searcher(s) { Searcher.SetStream(stream); }
        ~TLend() { Searcher.SetStream(nullptr); }
    };
    match = true;
    if (!settings.Containing.empty()) {
        TLend lend(*searchers.Contain, stream.get());
        match = searchers.Contain->Search();
        foundText = searchers.Contain->FoundText();
    }
    if (match && !settings.Excluding.empty()) {
        TLend lend(*searchers.Exclude, stream.get());
        if (searchers.Exclude->Search())
            match = false;
    }
    return recorded;
}

} // namespace trovex
