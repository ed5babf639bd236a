// SPDX-License-Identifier: MIT
// Search control of the main window: the criteria on the pages turned into an engine, the buttons
// Find, Stop/Continue, Add, In results and Go back, the engine's events, the histories of the
// criteria boxes and the folder browser.
#include "app/uMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "app/ResultModel.h"
#include "lang/MultiLang.h"
#include "search/FindFile.h"
#include "search/StringSearch.h"
#include "search/SearchCriteria.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"

namespace trovex
{
namespace
{

// How often the list and the status bar learn of new rows while a run goes on: often enough to
// look live, rarely enough that a million rows do not spend their time in relayouts.
constexpr int FlushIntervalMs = 150;
// A drain serves deliveries back to back for at most this long before the event loop gets a turn.
constexpr auto DrainSlice = std::chrono::milliseconds(20);

TDateTime ToDateTime(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    return TDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec() * 10000};
}

int ParseCount(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw std::runtime_error(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    return value;
}

// A running total grown by one run's count; it stops at the largest dword.
void AddToTotal(std::uint32_t& total, std::int64_t count)
{
    if (count > 0)
        total = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{total} + static_cast<std::uint64_t>(count), UINT32_MAX));
}

} // namespace

QString TFindForm::BackListPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/trovex/trovex-back.txt");
}

void TFindForm::ShowError(const QString& message)
{
    TMessageBox::Show(this, message, QStringLiteral("Trovex"), QMessageBox::Critical, QMessageBox::Ok);
}

void TFindForm::LoadEngine()
{
    // The count panel goes first: a bad month or day count below must not leave the last run's
    // count standing over the emptied list.
    StatusBar->SetPanelText(0, QString());
    FoundCount = 0;
    int months = 0, days = 0;
    if (CheckDate->isChecked() && RadioBMonth->isChecked())
        months = ParseCount(cbLastMonth->currentText());
    if (CheckDate->isChecked() && RadioBDays->isChecked())
        days = ParseCount(cbLastDays->currentText());

    TCodePages codePages = 0;
    if (CheckAllCP->isChecked()) {
        codePages = cpAll;
    } else {
        if (CheckAnsi->isChecked())
            codePages |= cpWindows;
        if (CheckOEM->isChecked())
            codePages |= cpDos;
        if (CheckKOI8->isChecked())
            codePages |= cpKoi8r;
        if (CheckUnicode->isChecked())
            codePages |= cpUnicode;
        if (CheckUtf8->isChecked())
            codePages |= cpUtf8;
        if (codePages == 0)
            codePages = cpWindows;
    }

    Engine.reset();
    Engine = std::make_unique<TFindFile>();
    const std::string typesMask = TypesMaskOf(cbTypes->currentText().toStdString());
    // As bytes: an entry of the history may hold bytes that are not UTF-8, as names may.
    Engine->SetMask(ComposeMask(PathBytes(cbMask->currentText()), typesMask));
    Engine->ContainingText = PathBytes(cbString->currentText());
    Engine->ExcludedText = PathBytes(cbNoString->currentText());
    // The folder text may carry bytes that are not UTF-8 (from -F or the history): searched as they are.
    Engine->SetFolder(PathBytes(cbFolder->currentText()));
    Engine->SetSubFolders(checkSubFolders->isChecked());
    Engine->CaseSensitive = CheckCase->isChecked();
    Engine->CodePages = codePages;
    Engine->UseDate = CheckDate->isChecked();
    Engine->InZip = CheckInZip->isChecked();
    // A row's size and date are read when first shown or sorted by: a search by name then reads
    // no more than the folders' listings.
    Engine->NeedRecords = false;
    if (Engine->UseDate) {
        const TDateTime now = NowLocal();
        if (RadioBMonth->isChecked()) {
            const TDateRange range = LastMonthsRange(now, months);
            Engine->SetDateTo(range.To);
            Engine->SetDateFrom(range.From);
        } else if (RadioBDays->isChecked()) {
            const TDateRange range = LastDaysRange(now, days);
            Engine->SetDateTo(range.To);
            Engine->SetDateFrom(range.From);
        } else {
            // A "to" date of today means up to the moment the search starts.
            if (eDateTo->date() == QDate::currentDate())
                Engine->SetDateTo(now);
            else
                Engine->SetDateTo(ToDateTime(eDateTo->dateTime()));
            Engine->SetDateFrom(ToDateTime(eDateFrom->dateTime()));
        }
    }

    Engine->OnFound = [this](TFindFile&, const TFindFileInfo& info) { AddRow(info); };
    // A row touches only the model's storage and counters, which the worker may do while this thread
    // is lent to it; icons and type names are looked up here later, when a row is first painted.
    Engine->LendableEvents = true;
    Engine->OnFolderChange = [this](TFindFile&) { ShowFolder(); };
    Engine->OnSearchDone = [this](TFindFile&) { SearchDone(); };
    Engine->OnIncomplete = [this](TFindFile&, const std::string& path, const std::string& reason) {
        SkippedFiles.push_back({path, reason});
    };
    StatusBar->SetNotSearched(QString()); // said again when this run ends
    Engine->OnError = [this](TFindFile&, const std::string& cls, const std::string& message) {
        ShowRunError(QString::fromStdString(cls), MessagePath(message));
    };
    // The worker wakes the event loop; the drain itself runs here, on the user-interface thread.
    Engine->Queue().OnWake = [this] {
        if (!FDrainPosted.exchange(true))
            QMetaObject::invokeMethod(this, &TFindForm::DrainEngine, Qt::QueuedConnection);
    };

    Running = true;
    UserPaused = false;
    FindAnimate->SetActive(true);
    btnStop->setEnabled(true);
    btnStop->setText(FLang.Translate(QStringLiteral("Stop")));
    FFlushTimer->start(FlushIntervalMs);
}

bool TFindForm::TryLoadEngine()
{
    try {
        LoadEngine();
        return true;
    } catch (const std::exception& e) {
        // A start that failed leaves no run showing, nor the folder of one ended for it.
        ShowEnded();
        FShownFolder.clear();
        StatusBar->SetPanelText(1, QString());
        ShowError(MessagePath(e.what()));
        return false;
    }
}

void TFindForm::DrainEngine()
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
            QMetaObject::invokeMethod(this, &TFindForm::DrainEngine, Qt::QueuedConnection);
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

void TFindForm::StopRun()
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

void TFindForm::ShowEnded()
{
    ListModel->Flush();
    FFlushTimer->stop();
    FindAnimate->SetActive(false);
    btnAddMore->setEnabled(true);
    btnFindInto->setEnabled(ListModel->Count() > 0);
    btnStop->setText(FLang.Translate(QStringLiteral("Stop")));
    btnStop->setEnabled(false);
    Running = false;
    UserPaused = false;
}

void TFindForm::btnFindClick()
{
    if (Running) {
        const auto answer = TMessageBox::Show(this, FLang.Translate(QStringLiteral("Start new search?")),
                                              QStringLiteral("Confirm"), QMessageBox::Question,
                                              QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
        StopRun();
    }
    ListModel->Clear();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    Engine->Start();
}

void TFindForm::lNotSearchedClick()
{
    TSkippedForm form(this, FLang, SkippedFiles);
    form.exec();
}

void TFindForm::btnStopClick()
{
    if (!Engine)
        return;
    if (UserPaused) {
        Engine->Continue();
        UserPaused = false;
        // A lent drain is not queued while paused; the worker's next event may need one.
        if (!FDrainPosted.exchange(true))
            QMetaObject::invokeMethod(this, &TFindForm::DrainEngine, Qt::QueuedConnection);
        btnStop->setText(FLang.Translate(QStringLiteral("Stop")));
        FindAnimate->SetActive(true);
    } else {
        Engine->Pause();
        UserPaused = true;
        btnStop->setText(FLang.Translate(QStringLiteral("Continue")));
        FindAnimate->SetActive(false);
    }
}

void TFindForm::btnAddMoreClick()
{
    if (Running)
        StopRun();
    if (!TryLoadEngine())
        return;
    Engine->Start();
}

void TFindForm::btnFindIntoClick()
{
    if (Running) {
        StopRun(); // a run still going is ended first, as "Add" does
        // Ended it shows, whether a new run follows or the list is empty and nothing does.
        ShowEnded();
        StatusBar->SetPanelText(1, QString());
    }
    ListModel->Flush();
    if (ListModel->Count() == 0)
        return;
    std::vector<std::string> paths;
    std::string lines;
    paths.reserve(static_cast<std::size_t>(ListModel->Count()));
    for (int row = 0; row < ListModel->Count(); ++row) {
        paths.push_back(ListModel->Path(row));
        // Each path as bytes ended by a NUL, which no path holds (a line feed may be in a name), as
        // trovex-cli -0 writes and --in-list reads.
        lines += paths.back();
        lines += '\0';
    }
    ListModel->Clear();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    Engine->StartInList(std::move(paths));

    const QString backList = BackListPath();
    QDir().mkpath(QFileInfo(backList).absolutePath());
    QSaveFile file(backList);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(lines.data(), static_cast<qint64>(lines.size()));
        file.commit();
    }
    btnBack->setEnabled(true);
}

void TFindForm::btnBackClick()
{
    const QString backList = BackListPath();
    QFile file(backList);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowError(QStringLiteral("Cannot open file %1").arg(backList));
        return;
    }
    // NUL-separated; a list without any NUL is of the older form, one path a line.
    const QByteArray list = file.readAll();
    std::vector<std::string> paths;
    for (const QByteArray& line : list.split(list.contains('\0') ? '\0' : '\n'))
        if (!line.isEmpty())
            paths.emplace_back(line.constData(), static_cast<std::size_t>(line.size()));
    if (Running)
        StopRun();
    ListModel->Clear();
    SkippedFiles.clear();
    if (!TryLoadEngine())
        return;
    // Existence checks only, on this thread: every path still there gets its row again.
    Engine->SearchList(paths, true);
    SearchDone();
    btnBack->setEnabled(false);
}

void TFindForm::AddRow(const TFindFileInfo& info)
{
    ++FoundCount;
    if (FListIcons)
        ListModel->AppendShellTyped(info);
    else
        ListModel->Append(info);
}

void TFindForm::ShowFolder()
{
    // Shown by the flush timer: a folder per event would spend the run repainting the status bar.
    FShownFolder = QString::fromStdString(Engine->CurrentFolder());
}

void TFindForm::FlushRows()
{
    ListModel->Flush();
    if (Running || Engine) {
        StatusBar->SetPanelText(0, FLang.Translate(QStringLiteral("Files found: ")) + QString::number(FoundCount));
        if (Running)
            StatusBar->SetPanelText(1, FShownFolder);
    }
}

void TFindForm::SearchDone()
{
    ListModel->Flush();
    StatusBar->SetPanelText(0, FLang.Translate(QStringLiteral("Files found: ")) + QString::number(FoundCount));
    ListView->viewport()->update();
    if (Engine)
        AddToTotal(TotalFiles, Engine->FilesChecked());
    AddToTotal(TotalFound, FoundCount);
    ShowEnded();
    // An 8-bit pass that no page could run in is said where the run's end is shown.
    QString notes;
    if (Engine) {
        std::vector<std::string> all = SkippedPassNotes(Engine->ContainingText, Engine->CodePages);
        for (const std::string& note : SkippedPassNotes(Engine->ExcludedText, Engine->CodePages))
            if (std::find(all.begin(), all.end(), note) == all.end())
                all.push_back(note);
        for (const std::string& note : all)
            notes += (notes.isEmpty() ? QString() : QStringLiteral("; ")) + QString::fromStdString(note);
    }
    StatusBar->SetPanelText(1, notes);
    StatusBar->SetNotSearched(SkippedFiles.empty() ? QString()
                                                   : QString::number(SkippedFiles.size()) +
                                                         FLang.Translate(QStringLiteral(" not searched")));
    if (CheckFlashW->isChecked())
        QApplication::alert(this); // the desktop flashes the entry; nothing blocks meanwhile
}

void TFindForm::ShowRunError(const QString& className, const QString& message)
{
    const QString text = QStringLiteral("Exception %1 in module %2 at %3.\n%4%5")
                             .arg(className, QStringLiteral("trovex"), QStringLiteral("00000000"), message,
                                  message.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."));
    TMessageBox::Show(this, text, QStringLiteral("Application Error"), QMessageBox::Critical, QMessageBox::Ok);
}

void TFindForm::ComboBoxExit(QComboBox* box)
{
    const int selected = box->currentIndex();
    QString value = box->currentText();
    if (selected >= 0 && !box->itemText(selected).isEmpty() && box->itemText(selected) == value)
        value = box->itemText(selected);
    for (int i = box->count() - 1; i >= 0; --i)
        if (box->itemText(i) == value || box->itemText(i).isEmpty())
            box->removeItem(i);
    box->insertItem(0, value);
    box->setCurrentIndex(0);
}

void TFindForm::bFolderClick()
{
    QString folder = BrowseForFolder(this, FLang.Translate(QStringLiteral("Select place for search in:")));
    cbFolder->setEditText(folder);
    QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        TMessageBox::Show(this, QStringLiteral("No such folder"), QStringLiteral("Error"), QMessageBox::Warning,
                          QMessageBox::Ok);
        folder = PathText(HomeFolder());
        cbFolder->setEditText(folder);
    }
    cbFolder->insertItem(0, folder);
    cbFolder->setCurrentIndex(0);
}

} // namespace trovex
