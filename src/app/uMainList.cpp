// SPDX-License-Identifier: MIT
// The result list's commands: sorting, opening, copying, deleting, properties, dragging out, and
// the two reports.
#include "app/uMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

#include "app/ResultModel.h"
#include "lang/MultiLang.h"
#include "platform/FileSystem.h"
#include "search/Report.h"
#include "shell/DropSource.h"
#include "shell/DropSourceQt.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"
#include "window/ListCommands.h"

namespace trovex
{
namespace
{

// A temporary report is removed this long after it was handed to the desktop to open.
constexpr int TemporaryReportLifeMs = 5000;
// The pointer must travel this far from where a button went down before a drag starts.
constexpr int DragThreshold = 10;

} // namespace

QList<int> TFindForm::SelectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : ListView->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> TFindForm::SelectedPaths() const
{
    std::vector<std::string> paths;
    for (int row : SelectedRows())
        paths.push_back(ListModel->Path(row));
    return paths;
}

void TFindForm::ListViewColumnClick(int column)
{
    if (!ColumnClick(column))
        return;
    const bool ascending = SortAscending[static_cast<std::size_t>(column)];
    ListView->header()->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    SortList();
}

void TFindForm::SortList()
{
    // A slice short enough that a click meanwhile is answered at once; rows whose type the file
    // system must tell can each take long, so their number per slice is bounded too.
    constexpr auto SliceTime = std::chrono::milliseconds(30);
    constexpr std::size_t SliceRows = 8192;
    if (SortColumn == TResultModel::rcType &&
        !ListModel->LookUpTypes(std::chrono::steady_clock::now() + SliceTime, SliceRows)) {
        if (!FTypeTimer) {
            FTypeTimer = new QTimer(this);
            FTypeTimer->setObjectName(QStringLiteral("TypeTimer"));
            FTypeTimer->setInterval(0);
            connect(FTypeTimer, &QTimer::timeout, this, &TFindForm::SortList);
        }
        FTypeTimer->start();
        return;
    }
    if (FTypeTimer)
        FTypeTimer->stop();
    ListModel->SortBy(SortColumn, SortAscending[static_cast<std::size_t>(SortColumn)]);
}

void TFindForm::ListViewDblClick()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    const std::string path = ListModel->Path(rows.first());
    if (!EntryExists(path)) {
        ShowError(QStringLiteral("Cannot open file %1").arg(MessagePath(path)));
        return;
    }
    OpenDocument(path);
}

void TFindForm::mFolderClick()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    const std::string path = ListModel->Path(rows.first());
    OpenFolder(path.substr(0, path.rfind('/') + 1), path);
}

void TFindForm::mCopyClick()
{
    std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    DropFileSource->SetFiles(std::move(paths));
    ClipboardCopy(*DropFileSource);
    DropFileSource->SetFiles({});
}

void TFindForm::mDeleteClick()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    std::vector<std::string> paths;
    for (int row : rows)
        paths.push_back(ListModel->Path(row));
    DeleteFiles(this, paths);
    // Only rows whose file or folder is really gone leave the list.
    ListModel->RemoveRowsDescending(GoneRows(ListModel->Rows(), std::vector<int>(rows.begin(), rows.end())));
}

void TFindForm::mPropClick()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    // A file gone since it was found has no properties; saying so beats a click that does nothing.
    const std::string path = ListModel->Path(rows.first());
    if (!ShowFileProperties(this, path))
        ShowError(QStringLiteral("Cannot open file %1").arg(MessagePath(path)));
}

void TFindForm::WriteReportTo(const QString& fileName)
{
    const TReportFields fields = ReportFieldsOf([this](std::string_view control) {
        const auto* box = findChild<QCheckBox*>(QLatin1String(control.data(), static_cast<qsizetype>(control.size())));
        return box && box->isChecked();
    });
    ListModel->Flush();
    WriteReport(PathBytes(fileName), ListModel->Rows(), fields);
}

void TFindForm::mReportClick()
{
    const QString fileName = PathText(TemporaryReportName(FoundCount));
    try {
        WriteReportTo(fileName);
    } catch (const std::exception& e) {
        ShowError(MessagePath(e.what()));
        return;
    }
    TLauncher::OpenUrl(FileUrl(PathBytes(fileName)));
    // The viewer has had its time to read the file; the window stays responsive meanwhile.
    FTemporaryReports.append(fileName);
    QTimer::singleShot(TemporaryReportLifeMs, this, [this, fileName] {
        QFile::remove(fileName);
        FTemporaryReports.removeAll(fileName);
    });
}

void TFindForm::mReportOpenClick()
{
    const QString replace = FLang.Translate(QStringLiteral("File exists! Replace?"));
    const QString filter = QStringLiteral("Text files (*.txt);;CSV files (*.csv)");
    const QString offered = QString::fromUtf8(DefaultReportName.data(), static_cast<qsizetype>(DefaultReportName.size()));
    QString fileName;
    for (;;) {
        fileName = AskSaveFileName(cbFolder->currentText(), offered, filter);
        if (fileName.isEmpty())
            return;
        fileName = PathText(SavedReportName(PathBytes(fileName)));
        if (!QFileInfo::exists(fileName))
            break;
        const auto answer = TMessageBox::Show(this, replace, QStringLiteral("Info"), QMessageBox::Information,
                                              QMessageBox::Ok | QMessageBox::Cancel);
        if (answer == QMessageBox::Ok)
            break;
    }
    try {
        WriteReportTo(fileName);
    } catch (const std::exception& e) {
        ShowError(MessagePath(e.what()));
        return;
    }
    TLauncher::OpenUrl(FileUrl(PathBytes(fileName)));
}

void TFindForm::StartDrag()
{
    std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    DropFileSource->SetFiles(std::move(paths));
    RunDrag(*DropFileSource, ListView->viewport());
    DropFileSource->SetFiles({});
}

bool TFindForm::ListViewMouseEvent(QEvent* event)
{
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseButtonPress) {
        DragOrigin = mouse->position().toPoint(); // ListViewMouseDown, for any button
        return false;
    }
    // ListViewMouseMove: exactly the left or exactly the right button, no modifier, far enough.
    const Qt::MouseButtons buttons = mouse->buttons();
    if (DragOrigin.x() == -1 || (buttons != Qt::LeftButton && buttons != Qt::RightButton) ||
        mouse->modifiers() != Qt::NoModifier)
        return false;
    const QPoint delta = mouse->position().toPoint() - DragOrigin;
    if (std::abs(delta.x()) < DragThreshold && std::abs(delta.y()) < DragThreshold)
        return false;
    if (SelectedRows().isEmpty())
        return false;
    StartDrag();
    return true; // the view must not turn the move into a rubber-band selection
}

QString TFindForm::DefaultSaveFileName(const QString& folder, const QString& name, const QString& filter)
{
    QFileDialog dialog(this, QString(), folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // the window asks itself, with its own text
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void TFindForm::RemoveTemporaryReports()
{
    for (const QString& fileName : FTemporaryReports)
        QFile::remove(fileName);
    FTemporaryReports.clear();
}

} // namespace trovex
