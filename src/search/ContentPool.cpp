// SPDX-License-Identifier: MIT
#include "search/ContentPool.h"

#include "platform/Stream.h"
#include "readers/uDocText.h"
#include "readers/uPDFtext.h"
#include "search/StringSearch.h"

#include <cstring>
#include <new>

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

namespace
{
bool RunContentTestOnce(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                        const std::string& name, const std::string& path, bool& match, std::string& foundText,
                        const std::atomic<bool>* cancel, TFindData* record)
{
    bool recorded = false;
    auto open = [&] {
        auto raw = listing ? std::make_unique<TFileStream>(*listing, name, path) : std::make_unique<TFileStream>(path);
        if (record) {
            *record = raw->Record();
            recorded = true;
        }
        return raw;
    };
    std::unique_ptr<TStream> file;
    const TDocKind document = settings.Documents ? DocumentKind(name) : dkNone;
    TDocTextStream* documentText = nullptr;
    if (IsPdfName(name)) {
        file = std::make_unique<TMemoryStream>(TPDF2Text(*open(), path, cancel).TakeText());
    } else if (document != dkNone) {
        auto raw = open();
        // A file that only bears a document's name (a text saved as .docx) is searched as any other.
        char signature[4] = {};
        if (raw->ReadAt(0, signature, sizeof signature) == sizeof signature &&
            std::memcmp(signature, "PK\x03\x04", sizeof signature) == 0) {
            const std::uint64_t size = raw->Size();
            auto text = std::make_unique<TDocTextStream>(std::move(raw), size, document);
            documentText = text.get();
            file = std::move(text);
        } else {
            file = std::move(raw);
        }
    } else {
        file = open();
    }
    auto stream = std::make_unique<TCancellableStream>(*file, cancel);
    // The searchers only borrow the stream; take it back on every path out.
    // A document's text is UTF-8 whatever code pages were chosen: the other forms cannot occur in it.
    struct TLend
    {
        TStringSearch& Searcher;
        TCodePages Pages;
        TLend(TStringSearch& s, TStream* stream, bool utf8Text) : Searcher(s), Pages(s.CodePages())
        {
            Searcher.SetStream(stream);
            if (utf8Text)
                Searcher.SetCodePages(cpUtf8);
        }
        ~TLend()
        {
            Searcher.SetStream(nullptr);
            Searcher.SetCodePages(Pages);
        }
    };
    match = true;
    if (!settings.Containing.empty()) {
        TLend lend(*searchers.Contain, stream.get(), documentText != nullptr);
        match = searchers.Contain->Search();
        foundText = searchers.Contain->FoundText();
    }
    if (match && !settings.Excluding.empty()) {
        TLend lend(*searchers.Exclude, stream.get(), documentText != nullptr);
        if (searchers.Exclude->Search())
            match = false;
    }
    // A damaged, encrypted or truncated document is a file without text, and is not reported.
    if (documentText && documentText->Damaged())
        match = false;
    return recorded;
}

} // namespace

bool RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    const std::atomic<bool>* cancel, TFindData* record)
{
    try {
        return RunContentTestOnce(searchers, settings, listing, name, path, match, foundText, cancel, record);
    } catch (const std::bad_alloc&) {
        // One file too big for the memory left fails alone; the run goes on with the next.
        throw EReadError("Out of memory reading \"" + path + "\"");
    }
}

} // namespace trovex
