// SPDX-License-Identifier: MIT
// trovex-cli: fills the engine from the command line, runs it, prints each file as it is found.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/CliArgs.h"
#include "cli/PathList.h"
#include "platform/Console.h"
#include "search/ContentPool.h"
#include "search/FindFile.h"
#include "search/StringSearch.h"
#include "search/Report.h"
#include "search/SearchCriteria.h"

using namespace trovex;

namespace
{

constexpr int ExitFound = 0;
constexpr int ExitNone = 1;
constexpr int ExitError = 2;

void Fail(const std::string& message)
{
    WriteOutput(stderr, "trovex-cli: " + message + "\n");
}

std::string EscapeContext(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

// Standard output written unbuffered by the system: records gather in a buffer unless each must show at once (a
// terminal, --line-buffered). A failed write is remembered and ends the run.
class TOutput
{
public:
    explicit TOutput(bool perRecord) : FPerRecord(perRecord) {}

    /// False once writing has failed.
    bool Add(const std::string& record)
    {
        if (FError != 0)
            return false;
        FBuffer += record;
        if (FPerRecord || FBuffer.size() >= Capacity)
            Flush();
        return FError == 0;
    }
    bool Flush()
    {
        if (FError == 0 && !FBuffer.empty())
            FError = WriteOutput(stdout, FBuffer);
        FBuffer.clear();
        return FError == 0;
    }
    /// The errno of the failed write, 0 when none failed.
    int Error() const { return FError; }

private:
    static constexpr std::size_t Capacity = 64 * 1024;
    bool FPerRecord;
    std::string FBuffer;
    int FError = 0;
};

// The end of a run whose output could not be written: a reader that went away (a closed pipe) ends
// it quietly, as grep does; any other failure is said on one line.
int OutputFailed(int error)
{
    if (error != EPIPE)
        Fail(std::string("write error on standard output: ") + std::strerror(error));
    return ExitError;
}

std::string CurrentFolder()
{
    std::string folder = WorkingFolder();
    return folder.empty() ? std::string(".") + PathDelim : folder;
}

// The one progress line on a terminal: rewritten at most ten times a second, cleared at the end.
class TProgress
{
public:
    explicit TProgress(bool enabled) : FEnabled(enabled) {}
    void Update(long found, const std::string& folder, bool force = false)
    {
        if (!FEnabled)
            return;
        auto now = std::chrono::steady_clock::now();
        if (!force && now - FLast < std::chrono::milliseconds(100))
            return;
        FLast = now;
        std::string text = "Files found: " + std::to_string(found) + "  " + folder;
        if (text.size() > 200)
            text = text.substr(0, 100) + "..." + text.substr(text.size() - 96);
        WriteOutput(stderr, "\r\033[K" + text);
        FShown = true;
    }
    void Clear()
    {
        if (FShown) {
            WriteOutput(stderr, "\r\033[K");
            FShown = false;
        }
    }
    bool Shown() const { return FShown; }

private:
    bool FEnabled;
    bool FShown = false;
    std::chrono::steady_clock::time_point FLast{};
};

int Run(const TCliOptions& o)
{
    InitCodePages(o.AnsiCodePage, o.OemCodePage);

    TFindFile engine;
    engine.SetMask(ComposeMask(o.Named, TypesMaskOf(TypePresets[static_cast<std::size_t>(o.Type)])));
    std::string folder = o.Folder.empty() ? CurrentFolder() : o.Folder;
    if (o.InList.empty() && o.ListOnly.empty() && !FolderExists(folder))
        throw std::runtime_error("no such folder: '" + folder + "'");
    engine.SetFolder(folder);
    engine.SetSubFolders(o.SubFolders);
    engine.ContainingText = o.Containing;
    engine.ExcludedText = o.Excluding;
    engine.CaseSensitive = o.CaseSensitive;
    engine.CodePages = o.CodePages;
    // An 8-bit pass that no page can run in is said, not skipped in silence.
    std::vector<std::string> notes = SkippedPassNotes(o.Containing, o.CodePages);
    for (const std::string& note : SkippedPassNotes(o.Excluding, o.CodePages))
        if (std::find(notes.begin(), notes.end(), note) == notes.end())
            notes.push_back(note);
    for (const std::string& note : notes)
        Fail(note);
    engine.InZip = o.InZip;
    engine.Threads = static_cast<unsigned>(o.Threads);
    if (engine.Threads > TFindFile::MaxThreads()) {
        // More threads than this only queue for the same cores and disk.
        Fail("--threads " + std::to_string(o.Threads) + " is more than " + std::to_string(TFindFile::MaxThreads()) +
             " (4 per core); using " + std::to_string(TFindFile::MaxThreads()));
        engine.Threads = TFindFile::MaxThreads();
    }
    engine.NeedRecords = o.Long || !o.Report.empty(); // only these print more than paths
    engine.InDocuments = o.Documents;
    if (o.From || o.To || o.LastMonths || o.LastDays) {
        engine.UseDate = true;
        TDateTime now = NowLocal();
        if (o.LastMonths) {
            TDateRange range = LastMonthsRange(now, *o.LastMonths);
            engine.SetDateFrom(range.From);
            engine.SetDateTo(range.To);
        } else if (o.LastDays) {
            TDateRange range = LastDaysRange(now, *o.LastDays);
            engine.SetDateFrom(range.From);
            engine.SetDateTo(range.To);
        } else {
            engine.SetDateFromFileTime(o.From ? LocalToFileTime(*o.From) : 0);
            engine.SetDateToFileTime(o.To ? LocalToFileTime(*o.To) : LocalToFileTime(now));
        }
    }

    std::unique_ptr<TReportWriter> report;
    if (!o.Report.empty()) {
        try {
            report = std::make_unique<TReportWriter>(o.Report, o.Fields);
        } catch (const std::runtime_error& e) {
            throw std::runtime_error(e.what()); // not a usage error: printed without the --help hint
        }
    }

    TProgress progress(!o.Quiet && IsTerminal(stderr));
    const bool stdoutIsTerminal = IsTerminal(stdout);
    TOutput output(stdoutIsTerminal || o.LineBuffered);
    long found = 0;
    const char end = o.Null ? '\0' : '\n';
    std::string record;
    engine.OnFound = [&](TFindFile& sender, const TFindFileInfo& info) {
        ++found;
        record.clear();
        if (o.Long || report) {
            TResultRow row = MakeResultRow(info);
            if (report)
                report->Add(row);
            if (o.Long)
                record = row.Name + '\t' + row.Folder + '\t' + row.Type + '\t' + row.Modified + '\t' + row.Size;
        }
        if (!o.Long)
            record = info.FileName;
        if (o.ShowMatch) {
            record.push_back('\t');
            record += EscapeContext(MatchText(info));
        }
        if (o.Context) {
            record.push_back('\t');
            record += EscapeContext(info.FoundText);
        }
        record.push_back(end);
        if (stdoutIsTerminal)
            progress.Clear();
        if (!output.Add(record))
            sender.Terminate(); // nobody reads what is found: the run has no purpose left
    };
    engine.OnFolderChange = [&](TFindFile& sender) { progress.Update(found, sender.CurrentFolder()); };
    // A file that was not found but whose text was not searched in full: "not found" does not mean
    // "not there" for it. A cut is said at once; every reason is counted, and written with --skipped.
    std::FILE* skipped = nullptr;
    if (!o.Skipped.empty()) {
        skipped = std::fopen(o.Skipped.c_str(), "wb");
        if (!skipped)
            throw std::runtime_error("cannot write '" + o.Skipped + "': " + std::strerror(errno));
    }
    struct TCloser
    {
        std::FILE*& File;
        ~TCloser()
        {
            if (File)
                std::fclose(File);
        }
    } closeSkipped{skipped};
    std::vector<std::pair<std::string, long>> reasons; // in the order first met
    long incomplete = 0;
    engine.OnIncomplete = [&](TFindFile&, const std::string& path, const std::string& reason) {
        ++incomplete;
        auto it = std::find_if(reasons.begin(), reasons.end(), [&](const auto& r) { return r.first == reason; });
        if (it == reasons.end())
            reasons.emplace_back(reason, 1);
        else
            ++it->second;
        if (skipped) {
            const std::string line = reason + '\t' + path + end;
            std::fwrite(line.data(), 1, line.size(), skipped);
        }
        if (reason == CutAtSizeBound) {
            if (stdoutIsTerminal)
                progress.Clear();
            output.Flush();
            Fail(path + ": not fully searched: " + reason);
        }
    };

    // A reader that quits (| head -1) ends the run at once, not at the next record, which a long
    // search may take long to find.
    std::atomic<bool> readerGone{false};
    auto watch = std::make_unique<TOutputWatch>([&] {
        readerGone.store(true);
        engine.Terminate();
    });
    try {
        if (!o.ListOnly.empty()) {
            engine.SearchList(ReadPathList(o.ListOnly), true);
        } else if (!o.InList.empty()) {
            engine.RunHereInList(ReadPathList(o.InList));
        } else {
            // A terminal tool has nothing to do while the walk runs, so the walk runs on this thread:
            // handing every event to another thread and back cost more than the walk itself.
            engine.RunHere();
        }
    } catch (...) {
        watch.reset();
        output.Flush(); // what was found before the error stays printed
        throw;
    }
    watch.reset();
    if (readerGone.load()) {
        EndAsClosedPipe();
        return OutputFailed(EPIPE);
    }
    progress.Clear();
    const bool written = output.Flush();
    if (report)
        report->Close();
    if (!written)
        return OutputFailed(output.Error());
    if (o.Stats) {
        std::fprintf(stderr, "Files found: %ld\nEntries examined: %d\n", found, engine.FilesChecked());
        if (incomplete > 0) {
            std::fprintf(stderr, "Not fully searched: %ld\n", incomplete);
            for (const auto& [reason, count] : reasons)
                std::fprintf(stderr, "  %s: %ld\n", reason.c_str(), count);
        }
    }
    if (skipped && (std::fflush(skipped) != 0 || std::ferror(skipped)))
        throw std::runtime_error("cannot write '" + o.Skipped + "'");
    if (!engine.ErrorMessage().empty()) {
        Fail(engine.ErrorMessage());
        return ExitError;
    }
    return found > 0 ? ExitFound : ExitNone;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args = CommandLineArgs(argc, argv);
    // The same bytes on every system: NUL-ended records, lines ending in LF alone.
    SetBinaryOutput(stdout);
    SetBinaryOutput(stderr);
    try {
        TCliOptions options = ParseCliArgs(args);
        if (options.Help || options.Version) {
            TOutput output(false);
            output.Add(options.Help ? std::string(CliHelp) : std::string("trovex-cli ") + TROVEX_VERSION + "\n");
            return output.Flush() ? 0 : OutputFailed(output.Error());
        }
        return Run(options);
    } catch (const EUsageError& e) {
        Fail(e.what());
        std::fputs("Try 'trovex-cli --help' for more information.\n", stderr);
        return ExitError;
    } catch (const std::exception& e) {
        Fail(e.what());
        return ExitError;
    }
}

