// SPDX-License-Identifier: MIT
#include "search/ContentPool.h"

#include "platform/Stream.h"
#include "readers/uDocText.h"
#include "readers/uPDFtext.h"
#include "search/StringSearch.h"

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
void RunContentTestOnce(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                        const std::string& name, const std::string& path, bool& match, std::string& foundText,
                        const std::atomic<bool>* cancel)
{
    std::unique_ptr<TStream> file;
    const TDocKind document = settings.Documents ? DocumentKind(name) : dkNone;
    TDocTextStream* documentText = nullptr;
    if (IsPdfName(name)) {
        file = std::make_unique<TMemoryStream>(TPDF2Text(path, cancel).TakeText());
    } else if (document != dkNone) {
        auto raw = listing ? std::make_unique<TFileStream>(*listing, name, path) : std::make_unique<TFileStream>(path);
        const std::uint64_t size = raw->Size();
        auto text = std::make_unique<TDocTextStream>(std::move(raw), size, document);
        documentText = text.get();
        file = std::move(text);
    } else if (listing)
        file = std::make_unique<TFileStream>(*listing, name, path);
    else
        file = std::make_unique<TFileStream>(path);
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
}

} // namespace

void RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    const std::atomic<bool>* cancel)
{
    try {
        RunContentTestOnce(searchers, settings, listing, name, path, match, foundText, cancel);
    } catch (const std::bad_alloc&) {
        // One file too big for the memory left fails alone; the run goes on with the next.
        throw EReadError("Out of memory reading \"" + path + "\"");
    }
}

TContentPool::TContentPool(std::function<bool()> mayWork, const std::atomic<bool>* cancel)
    : FMayWork(std::move(mayWork)), FCancel(cancel)
{
    FThread = std::thread([this] { Loop(); });
}

TContentPool::~TContentPool()
{
    End();
    {
        std::lock_guard<std::mutex> guard(FLock);
        FQuit = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TContentPool::Begin(const TContentSettings& settings, const TFolderListing* listing,
                         std::vector<std::unique_ptr<TContentJob>> jobs)
{
    {
        std::lock_guard<std::mutex> guard(FLock);
        FSettings = settings;
        FListing = listing;
        FJobs = std::move(jobs);
        FStopBatch.store(false);
        FActive = true;
    }
    FChanged.notify_all();
}

TContentJob* TContentPool::Job(std::size_t entry) const
{
    return entry < FJobs.size() ? FJobs[entry].get() : nullptr;
}

void TContentPool::Run(TContentJob& job, TSearcherPair& searchers, const TContentSettings& settings,
                       const TFolderListing* listing)
{
    try {
        RunContentTest(searchers, settings, listing, job.Name, job.Path, job.Match, job.FoundText, FCancel);
    } catch (const std::exception&) {
        job.ReadError = true; // a read error, or the run ending: either way the file is not reported
    }
}

void TContentPool::Complete(TContentJob& job, TSearcherPair& searchers)
{
    int waiting = 0;
    if (job.State.compare_exchange_strong(waiting, 1)) {
        Run(job, searchers, FSettings, FListing);
        job.State.store(2);
        return;
    }
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [&] { return job.State.load() == 2; });
}

void TContentPool::End()
{
    std::unique_lock<std::mutex> lock(FLock);
    FStopBatch.store(true);
    FChanged.wait(lock, [this] { return !FActive; });
    FJobs.clear();
    FListing = nullptr;
}

void TContentPool::Loop()
{
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        FChanged.wait(lock, [this] { return FActive || FQuit; });
        if (FQuit)
            return;
        const TContentSettings settings = FSettings;
        const TFolderListing* listing = FListing;
        lock.unlock();
        {
            TSearcherPair searchers(settings);
            // From the far end: the walk takes jobs from the front, so the two rarely want the same
            // one, and they meet somewhere in the folder with both cores busy until then.
            for (std::size_t i = FJobs.size(); i-- > 0;) {
                if (FStopBatch.load() || !FMayWork())
                    break;
                TContentJob* job = FJobs[i].get();
                int waiting = 0;
                if (!job || !job->State.compare_exchange_strong(waiting, 1))
                    continue;
                Run(*job, searchers, settings, listing);
                {
                    std::lock_guard<std::mutex> guard(FLock);
                    job->State.store(2);
                }
                FChanged.notify_all();
            }
        }
        lock.lock();
        FActive = false;
        FChanged.notify_all();
    }
}

} // namespace trovex
