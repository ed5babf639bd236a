// SPDX-License-Identifier: MIT
#include "search/ContentPool.h"

#include "platform/Stream.h"
#include "readers/PdfTextLayer.h"
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
                        const std::atomic<bool>* cancel, TFindData* record, TFoundWhere* where,
                        std::string* incomplete)
{
    bool recorded = false;
    if (where)
        *where = TFoundWhere{};
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
    TPdfTextStream* pdfText = nullptr;
    if (IsPdfName(name)) {
        auto text = std::make_unique<TPdfTextStream>(open(), path, cancel);
        pdfText = text.get();
        file = std::move(text);
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
    const bool utf8Text = documentText != nullptr || pdfText != nullptr;
    match = true;
    if (!settings.Containing.empty()) {
        TLend lend(*searchers.Contain, stream.get(), utf8Text);
        match = searchers.Contain->Search();
        foundText = searchers.Contain->FoundText();
        if (match && where) {
            const std::uint64_t at = searchers.Contain->FoundOffset();
            if (pdfText) {
                where->Page = pdfText->PageAt(at);
                where->Place = where->Page > 0 ? "page " + std::to_string(where->Page) : "outside the pages";
            } else if (documentText) {
                where->Place = documentText->PlaceAt(at);
            } else {
                where->Form = searchers.Contain->FoundForm();
            }
        }
    }
    if (match && !settings.Excluding.empty()) {
        TLend lend(*searchers.Exclude, stream.get(), utf8Text);
        if (searchers.Exclude->Search())
            match = false;
    }
    // A damaged, encrypted or truncated document is a file without text, and is not reported.
    if (documentText && documentText->Damaged())
        match = false;
    // Text past a bound was not searched: a file not found is then not known to lack the text.
    if (incomplete && ((documentText && documentText->Cut()) || (pdfText && pdfText->Cut())))
        *incomplete = CutAtSizeBound;
    if (incomplete && documentText && documentText->Damaged())
        *incomplete = DamagedDocument;
    // A PDF document whose text cannot be had at all is a file that cannot be read.
    if (pdfText && pdfText->Damaged())
        throw EPdfError(pdfText->Locked() ? "PDF document \"" + path + "\" needs a password"
                                          : "PDF document \"" + path + "\" cannot be read");
    return recorded;
}

} // namespace

const char* const CutAtSizeBound = "cut at the size bound";
const char* const CannotOpenPermission = "cannot open (permission)";
const char* const ReadFailed = "read error";
const char* const VanishedDuringRun = "vanished during the run";
const char* const NotRegularFile = "not a regular file";
const char* const DamagedPdf = "damaged or encrypted PDF";
const char* const DamagedDocument = "damaged or encrypted document";
const char* const DamagedArchive = "damaged archive";
const char* const MemberNotSearched = "member not searched";
const char* const NoSuchFolder = "no such folder";

const char* ReasonOf(const std::exception& error)
{
    if (dynamic_cast<const EPdfError*>(&error))
        return DamagedPdf;
    if (const auto* read = dynamic_cast<const EReadError*>(&error)) {
        switch (read->Kind()) {
        case EReadError::ekPermission: return CannotOpenPermission;
        case EReadError::ekVanished: return VanishedDuringRun;
        case EReadError::ekNotRegular: return NotRegularFile;
        default: return ReadFailed;
        }
    }
    return ReadFailed;
}

bool RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    const std::atomic<bool>* cancel, TFindData* record, TFoundWhere* where,
                    std::string* incomplete)
{
    try {
        return RunContentTestOnce(searchers, settings, listing, name, path, match, foundText, cancel, record,
                                  where, incomplete);
    } catch (const std::bad_alloc&) {
        // One file too big for the memory left fails alone; the run goes on with the next.
        throw EReadError("Out of memory reading \"" + path + "\"");
    }
}

} // namespace trovex
