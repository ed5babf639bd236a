// SPDX-License-Identifier: MIT
// The search control as the Qt window shows it: the buttons Find, Stop/Continue, Add, In results and
// Go back forwarded to the session, the criteria read off the pages, and the session's rows, captions,
// status texts and questions put on the screen; the histories of the criteria boxes and the folder
// browser.
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
#include <QTimer>
#include <QTreeView>

#include "app/ResultModel.h"
#include "lang/MultiLang.h"
#include "search/FindFile.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"
#include "window/History.h"

#include <algorithm>

namespace trovex
{
namespace
{

TDateTime ToDateTime(const QDateTime& value)
{
    const QDate d = value.date();
    const QTime t = value.time();
    return TDateTime{d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec() * 10000};
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

// ---- The face of the session ------------------------------------------------------------------

TCriteria TFindForm::Criteria() const
{
    TCriteria c;
    // As bytes: an entry of the history may hold bytes that are not UTF-8, as names may, and the
    // folder text may carry such bytes from -F or the history: searched as they are.
    c.Named = PathBytes(cbMask->currentText());
    c.TypeItem = cbTypes->currentText().toStdString();
    c.Text = PathBytes(cbString->currentText());
    c.NoText = PathBytes(cbNoString->currentText());
    c.Folder = PathBytes(cbFolder->currentText());
    c.SubFolders = checkSubFolders->isChecked();
    c.CaseSensitive = CheckCase->isChecked();
    c.AllCodePages = CheckAllCP->isChecked();
    c.Ansi = CheckAnsi->isChecked();
    c.Oem = CheckOEM->isChecked();
    c.Unicode = CheckUnicode->isChecked();
    c.Koi8 = CheckKOI8->isChecked();
    c.Utf8 = CheckUtf8->isChecked();
    c.InZip = CheckInZip->isChecked();
    c.UseDate = CheckDate->isChecked();
    c.DateOption = RadioBMonth->isChecked() ? doMonths : RadioBDays->isChecked() ? doDays : doFromTo;
    c.DateFrom = ToDateTime(eDateFrom->dateTime());
    c.DateTo = ToDateTime(eDateTo->dateTime());
    c.DateToIsToday = eDateTo->date() == QDate::currentDate();
    c.LastMonths = cbLastMonth->currentText().toStdString();
    c.LastDays = cbLastDays->currentText().toStdString();
    return c;
}

bool TFindForm::FlashOnEnd() const
{
    return CheckFlashW->isChecked();
}

bool TFindForm::Confirm(const std::string& question, const std::string& caption)
{
    return TMessageBox::Show(this, QString::fromStdString(question), QString::fromStdString(caption),
                             QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TFindForm::ShowError(const std::string& message)
{
    ShowError(MessagePath(message));
}

void TFindForm::ShowRunError(const std::string& text)
{
    TMessageBox::Show(this, MessagePath(text), QStringLiteral("Application Error"), QMessageBox::Critical,
                      QMessageBox::Ok);
}

void TFindForm::ClearRows()
{
    ListModel->Clear();
}

void TFindForm::AddRow(const TFindFileInfo& info)
{
    if (FListIcons)
        ListModel->AppendShellTyped(info);
    else
        ListModel->Append(info);
}

void TFindForm::FlushRows()
{
    ListModel->Flush();
}

int TFindForm::RowCount() const
{
    return ListModel->Count();
}

std::string TFindForm::RowPath(int row) const
{
    return ListModel->Path(row);
}

void TFindForm::RepaintRows()
{
    ListView->viewport()->update();
}

void TFindForm::ShowControls(const TControlStates& states)
{
    btnStop->setEnabled(states.StopEnabled);
    btnStop->setText(QString::fromStdString(states.StopCaption));
    btnAddMore->setEnabled(states.AddEnabled);
    btnFindInto->setEnabled(states.FindIntoEnabled);
    btnBack->setEnabled(states.BackEnabled);
    FindAnimate->SetActive(states.Animating);
}

void TFindForm::ShowStatus(int panel, const std::string& text)
{
    StatusBar->SetPanelText(panel, QString::fromStdString(text));
}

void TFindForm::ShowNotSearched(const std::string& text)
{
    StatusBar->SetNotSearched(QString::fromStdString(text));
}

void TFindForm::Flash()
{
    QApplication::alert(this); // the desktop flashes the entry; nothing blocks meanwhile
}

void TFindForm::RunTicks(bool on, int intervalMs)
{
    if (on)
        FFlushTimer->start(intervalMs);
    else
        FFlushTimer->stop();
}

void TFindForm::PostDrain()
{
    QMetaObject::invokeMethod(this, &TFindForm::DrainEngine, Qt::QueuedConnection);
}

void TFindForm::DrainEngine()
{
    Drain();
}

void TFindForm::SaveBackList(const std::string& bytes)
{
    const QString backList = BackListPath();
    QDir().mkpath(QFileInfo(backList).absolutePath());
    QSaveFile file(backList);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.commit();
    }
}

std::optional<std::string> TFindForm::LoadBackList()
{
    QFile file(BackListPath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll().toStdString();
}

std::string TFindForm::BackListName() const
{
    return PathBytes(BackListPath());
}

// ---- Handlers ---------------------------------------------------------------------------------

void TFindForm::btnFindClick()
{
    Find();
}

void TFindForm::btnStopClick()
{
    StopOrContinue();
}

void TFindForm::btnAddMoreClick()
{
    Add();
}

void TFindForm::btnFindIntoClick()
{
    FindInResults();
}

void TFindForm::btnBackClick()
{
    GoBack();
}

void TFindForm::lNotSearchedClick()
{
    TSkippedForm form(this, FLang, SkippedFiles);
    form.exec();
}

void TFindForm::ComboBoxExit(QComboBox* box)
{
    std::vector<std::string> items;
    for (int i = 0; i < box->count(); ++i)
        items.push_back(PathBytes(box->itemText(i)));
    const THistoryBox after = LeaveHistoryBox(items, box->currentIndex(), PathBytes(box->currentText()));
    // Entries that stay keep their place in the box's own list: only what the rules drop goes.
    for (int i = box->count() - 1; i >= 0; --i)
        if (std::find(after.Items.begin() + 1, after.Items.end(), items[static_cast<std::size_t>(i)]) == after.Items.end())
            box->removeItem(i);
    box->insertItem(0, PathText(after.Items.front()));
    box->setCurrentIndex(after.Current);
}

void TFindForm::bFolderClick()
{
    const QString chosen = BrowseForFolder(this, FLang.Translate(QStringLiteral("Select place for search in:")));
    cbFolder->setEditText(chosen);
    const TBrowsedFolder folder =
        CheckBrowsedFolder(PathBytes(chosen), !chosen.isEmpty() && QFileInfo(chosen).isDir(), HomeFolder());
    if (folder.Refused) {
        TMessageBox::Show(this, QStringLiteral("No such folder"), QStringLiteral("Error"), QMessageBox::Warning,
                          QMessageBox::Ok);
        cbFolder->setEditText(PathText(folder.Folder));
    }
    cbFolder->insertItem(0, PathText(folder.Folder));
    cbFolder->setCurrentIndex(0);
}

} // namespace trovex
