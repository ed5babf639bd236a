// SPDX-License-Identifier: MIT
// The search flow; see SearchSession.h.
#include "window/SearchSession.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "search/StringSearch.h"
#include "window/LanguageTexts.h"
#include "window/Settings.h"

namespace trovex
{

namespace
{

// A drain serves deliveries back to back for at most this long before the event loop gets a turn.
constexpr auto DrainSlice = std::chrono::milliseconds(20);

} // namespace

std::string BackListBytes(const std::vector<std::string>& paths)
{
    std::string bytes;
    for (const std::string& path : paths) {
        bytes += path;
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::string> ParseBackList(const std::string& bytes)
{
    const char separator = bytes.find('\0') != std::string::npos ? '\0' : '\n';
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find(separator, start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start)
            paths.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

std::string RunErrorText(const std::string& className, const std::string& message)
{
    const bool dot = !message.empty() && message.back() == '.';
    return "Exception " + className + " in module trovex at 00000000.\n" + message + (dot ? "" : ".");
}

TSearchSession::TSearchSession(TSessionFace& face, const TLanguageTexts& texts) : FFace(face), FTexts(texts)
{
}

TSearchSession::~TSearchSession()
{
    Engine.reset(); // the worker never outlives its engine, nor the session its events reach
}

std::string TSearchSession::FoundText() const
{
    return FTexts.Translate("Files found: ") + std::to_string(FoundCount);
}

std::string TSearchSession::TotalsText() const
{
    return FormatMessage(FTexts.Translate("Total files processed: %d  and found: %d"), {TotalFiles, TotalFound});
}

void TSearchSession::SetControls(const TControlStates& states)
{
    FControls = states;
    FFace.ShowControls(FControls);
}

void TSearchSession::RequestDrain()
{
    if (!FDrainPosted.exchange(true))
        FFace.PostDrain();
}

void TSearchSession::LoadEngine()
{
    // The count panel goes first: a bad month or day count below must not leave the last run's
    // count standing over the emptied list.
    FFace.ShowStatus(0, std::string());
    FoundCount = 0;
    const TCriteria criteria = FFace.Criteria();
    const std::optional<TDateRange> dates = DateRangeOf(criteria, NowLocal());

    Engine.reset();
    Engine = std::make_unique<TFindFile>();
    FillEngine(*Engine, criteria, dates);

    Engine->OnFound = [this](TFindFile&, const TFindFileInfo& info) { AddRow(info); };
    // A row touches only the rows' storage and counters, which the worker may do while this thread
    // is lent to it; icons and type names are looked up here later, when a row is first painted.
    Engine->LendableEvents = true;
    // Shown by the flush timer: a folder per event would spend the run repainting the status bar.
    Engine->OnFolderChange = [this](TFindFile& engine) { FShownFolder = engine.CurrentFolder(); };
    Engine->OnSearchDone = [this](TFindFile&) { SearchDone(); };
    Engine->OnIncomplete = [this](TFindFile&, const std::string& path, const std::string& reason) {
        SkippedFiles.push_back({path, reason});
    };
    FFace.ShowNotSearched(std::string()); // said again when this run ends
    Engine->OnError = [this](TFindFile&, const std::string& cls, const std::string& message) {
        FFace.ShowRunError(RunErrorText(cls, message));
    };
    // The worker wakes the event loop; the drain itself runs on the user-interface thread.
    Engine->Queue().OnWake = [this] { RequestDrain(); };

    Running = true;
    UserPaused = false;
    TControlStates states = FControls;
    states.Animating = true;
    states.StopEnabled = true;
    states.StopCaption = FTexts.Translate("Stop");
    SetControls(states);
    FFace.RunTicks(true, TickIntervalMs);
}

bool TSearchSession::TryLoadEngine()
{
    try {
        LoadEngine();
        return true;
    } catch (const std::exception& e) {
        // A start that failed leaves no run showing, nor the folder of one ended for it.
        ShowEnded();
        FShownFolder.clear();
        FFace.ShowStatus(1, std::string());
        FFace.ShowError(e.what());
        return false;
    }
}

void TSearchSession::StopRun()
{
    if (!Engine)
        return;
    Engine->OnSearchDone = nullptr; // the abandoned run adds nothing to the totals
    Engine->Terminate();
    Engine->Resume();
    Engine->WaitFor(); // rows of the entry in hand may still arrive meanwhile
    Engine.reset();
    Running = false;
    UserPaused = false;
}

void TSearchSession::ShowEnded()
{
    FFace.FlushRows();
    FFace.RunTicks(false, TickIntervalMs);
    TControlStates states = FControls;
    states.Animating = false;
    states.AddEnabled = true;
    states.FindIntoEnabled = FFace.RowCount() > 0;
    states.StopCaption = FTexts.Translate("Stop");
    states.StopEnabled = false;
    SetControls(states);
    Running = false;
    UserPaused = false;
}

void TSearchSession::Find()
{
    if (Running) {
        if (!FFace.Confirm(FTexts.Translate("Start new search?"), "Confirm"))
            return;
        StopRun();
    }
    FFace.ClearRows();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    Engine->Start();
}

void TSearchSession::StopOrContinue()
{
    if (!Engine)
        return;
    TControlStates states = FControls;
    if (UserPaused) {
        Engine->Continue();
        UserPaused = false;
        // A lent drain is not queued while paused; the worker's next event may need one.
        RequestDrain();
        states.StopCaption = FTexts.Translate("Stop");
        states.Animating = true;
    } else {
        Engine->Pause();
        UserPaused = true;
        states.StopCaption = FTexts.Translate("Continue");
        states.Animating = false;
    }
    SetControls(states);
}

void TSearchSession::Add()
{
    if (Running)
        StopRun();
    if (!TryLoadEngine())
        return;
    Engine->Start();
}

void TSearchSession::FindInResults()
{
    if (Running) {
        StopRun(); // a run still going is ended first, as "Add" does
        // Ended it shows, whether a new run follows or the list is empty and nothing does.
        ShowEnded();
        FFace.ShowStatus(1, std::string());
    }
    FFace.FlushRows();
    const int count = FFace.RowCount();
    if (count == 0)
        return;
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row)
        paths.push_back(FFace.RowPath(row));
    const std::string backList = BackListBytes(paths);
    FFace.ClearRows();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    Engine->StartInList(std::move(paths));
    FFace.SaveBackList(backList);
    TControlStates states = FControls;
    states.BackEnabled = true;
    SetControls(states);
}

void TSearchSession::GoBack()
{
    const std::optional<std::string> list = FFace.LoadBackList();
    if (!list) {
        FFace.ShowError("Cannot open file " + FFace.BackListName());
        return;
    }
    const std::vector<std::string> paths = ParseBackList(*list);
    if (Running)
        StopRun();
    FFace.ClearRows();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    // Existence checks only, on this thread: every path still there gets its row again.
    Engine->SearchList(paths, true);
    SearchDone();
    TControlStates states = FControls;
    states.BackEnabled = false;
    SetControls(states);
}

void TSearchSession::EndForClose()
{
    if (!Engine)
        return;
    // No end-of-run handling (buttons, flashing, totals) for a run ended by closing.
    Engine->OnSearchDone = nullptr;
    Engine->Terminate();
    // Continue rather than a bare wake: it also withdraws a pause request the worker has not
    // reached yet, which would otherwise suspend it after the wake-up and hang the wait.
    Engine->Continue();
    Engine->WaitFor();
    Engine.reset();
    Running = false;
    UserPaused = false;
}

void TSearchSession::Drain()
{
    FDrainPosted.store(false); // a delivery queued from now on posts a new drain
    if (!Engine)
        return;
    TFindFile* engine = Engine.get();
    if (engine->LendableEvents && !engine->Finished()) {
        // The cheapest hand-over: this thread parks and the worker runs the row and folder events
        // itself meanwhile, in our stead. The slice keeps the window responsive.
        engine->Queue().Lend(DrainSlice);
        if (Engine.get() == engine && !engine->Finished() && !UserPaused && !FDrainPosted.exchange(true))
            FFace.PostDrain();
        return;
    }
    // Serve deliveries back to back while they keep coming: one trip through the event loop per
    // event would cost more than the event. The slice keeps the window responsive.
    const auto until = std::chrono::steady_clock::now() + DrainSlice;
    while (Engine.get() == engine && std::chrono::steady_clock::now() < until) {
        if (!engine->Queue().WaitAndDrain(std::chrono::microseconds(0)))
            break;
    }
}

void TSearchSession::Tick()
{
    FFace.FlushRows();
    if (Running || Engine) {
        FFace.ShowStatus(0, FoundText());
        if (Running)
            FFace.ShowStatus(1, FShownFolder);
    }
}

void TSearchSession::AddRow(const TFindFileInfo& info)
{
    ++FoundCount;
    FFace.AddRow(info);
}

void TSearchSession::SearchDone()
{
    FFace.FlushRows();
    FFace.ShowStatus(0, FoundText());
    FFace.RepaintRows();
    if (Engine)
        AddToTotal(TotalFiles, Engine->FilesChecked());
    AddToTotal(TotalFound, FoundCount);
    ShowEnded();
    // An 8-bit pass that no page could run in is said where the run's end is shown.
    std::string notes;
    if (Engine) {
        std::vector<std::string> all = SkippedPassNotes(Engine->ContainingText, Engine->CodePages);
        for (const std::string& note : SkippedPassNotes(Engine->ExcludedText, Engine->CodePages))
            if (std::find(all.begin(), all.end(), note) == all.end())
                all.push_back(note);
        for (const std::string& note : all)
            notes += (notes.empty() ? std::string() : std::string("; ")) + note;
    }
    FFace.ShowStatus(1, notes);
    FFace.ShowNotSearched(SkippedFiles.empty() ? std::string()
                                               : std::to_string(SkippedFiles.size()) + FTexts.Translate(" not searched"));
    if (FFace.FlashOnEnd())
        FFace.Flash(); // the desktop flashes the entry; nothing blocks meanwhile
}

bool TSearchSession::ColumnClick(int column)
{
    if (column < 0 || column >= static_cast<int>(SortAscending.size()))
        return false;
    SortAscending[static_cast<std::size_t>(column)] = !SortAscending[static_cast<std::size_t>(column)];
    SortColumn = column;
    return true;
}

} // namespace trovex
