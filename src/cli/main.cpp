// SPDX-License-Identifier: MIT
// trovex-cli: fills the engine from the command line, runs it, prints each file as it is found.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "cli/CliArgs.h"
#include "platform/Console.h"
#include "search/FindFile.h"
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

std::vector<std::string> ReadList(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw EUsageError("cannot open list file '" + fileName + "'");
    std::vector<std::string> list;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            list.push_back(line);
    }
    if (in.bad())
        throw EUsageError("cannot read list file '" + fileName + "'");
    return list;
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
        throw EUsageError("no such folder: '" + folder + "'");
    engine.SetFolder(folder);
    engine.SetSubFolders(o.SubFolders);
    engine.ContainingText = o.Containing;
    engine.ExcludedText = o.Excluding;
    engine.CaseSensitive = o.CaseSensitive;
    engine.CodePages = o.CodePages;
    engine.InZip = o.InZip;
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
            throw EUsageError(e.what());
        }
    }

    TProgress progress(!o.Quiet && IsTerminal(stderr));
    const bool stdoutIsTerminal = IsTerminal(stdout);
    long found = 0;
    const char end = o.Null ? '\0' : '\n';
    std::string record;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
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
        if (o.Context) {
            record.push_back('\t');
            record += EscapeContext(info.FoundText);
        }
        record.push_back(end);
        if (stdoutIsTerminal)
            progress.Clear();
        WriteOutput(stdout, record);
    };
    engine.OnFolderChange = [&](TFindFile& sender) { progress.Update(found, sender.CurrentFolder()); };

    if (!o.ListOnly.empty()) {
        engine.SearchList(ReadList(o.ListOnly), true);
    } else if (!o.InList.empty()) {
        engine.RunHereInList(ReadList(o.InList));
    } else {
        // A terminal tool has nothing to do while the walk runs, so the walk runs on this thread:
        // handing every event to another thread and back cost more than the walk itself.
        engine.RunHere();
    }
    progress.Clear();
    if (report)
        report->Close();
    if (o.Stats) {
        std::fprintf(stderr, "Files found: %ld\nEntries examined: %d\n", found, engine.FilesChecked());
    }
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
        if (options.Help) {
            WriteOutput(stdout, CliHelp);
            return 0;
        }
        if (options.Version) {
            std::printf("trovex-cli %s\n", TROVEX_VERSION);
            return 0;
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

