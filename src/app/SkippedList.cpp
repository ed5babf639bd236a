// SPDX-License-Identifier: MIT
#include "app/SkippedList.h"

#include "window/SkippedFiles.h"

#include "lang/MultiLang.h"
#include "search/Report.h"
#include "shell/FileList.h"
#include "shell/Seams.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace trovex
{
namespace
{

constexpr int PathRole = Qt::UserRole + 1; // the exact bytes of the path, for copying and reports

} // namespace

TSkippedForm::TSkippedForm(QWidget* parent, const TMultiLang& lang, const std::vector<TSkippedFile>& files)
    : QDialog(parent), FLang(lang)
{
    setObjectName(QStringLiteral("SkippedForm"));
    setWindowTitle(FLang.Translate(QStringLiteral("Not searched")));
    resize(640, 320);

    FModel = new QStandardItemModel(0, 2, this);
    FModel->setHorizontalHeaderLabels({FLang.Translate(QStringLiteral("File")), FLang.Translate(QStringLiteral("Reason"))});
    for (const TSkippedFile& file : files) {
        auto* path = new QStandardItem(PathText(file.Path));
        path->setData(QByteArray::fromStdString(file.Path), PathRole);
        path->setEditable(false);
        auto* reason = new QStandardItem(QString::fromStdString(file.Reason));
        reason->setEditable(false);
        FModel->appendRow({path, reason});
    }

    SkippedView = new QTreeView(this);
    SkippedView->setObjectName(QStringLiteral("SkippedView"));
    SkippedView->setModel(FModel);
    SkippedView->setRootIsDecorated(false);
    SkippedView->setUniformRowHeights(true);
    SkippedView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    SkippedView->setSelectionBehavior(QAbstractItemView::SelectRows);
    SkippedView->setSortingEnabled(true);
    SkippedView->sortByColumn(-1, Qt::AscendingOrder); // in the order the run met them until a click
    SkippedView->header()->setSortIndicatorShown(true);
    SkippedView->header()->setSectionsClickable(true);
    SkippedView->setColumnWidth(0, 440);

    btnSkippedCopy = new QPushButton(FLang.Translate(QStringLiteral("Copy")), this);
    btnSkippedCopy->setObjectName(QStringLiteral("btnSkippedCopy"));
    btnSkippedReport = new QPushButton(FLang.Translate(QStringLiteral("Save report...")), this);
    btnSkippedReport->setObjectName(QStringLiteral("btnSkippedReport"));
    btnSkippedClose = new QPushButton(FLang.Translate(QStringLiteral("Close")), this);
    btnSkippedClose->setObjectName(QStringLiteral("btnSkippedClose"));
    connect(btnSkippedCopy, &QPushButton::clicked, this, [this] { btnSkippedCopyClick(); });
    connect(btnSkippedReport, &QPushButton::clicked, this, [this] { btnSkippedReportClick(); });
    connect(btnSkippedClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnSkippedCopy);
    buttons->addWidget(btnSkippedReport);
    buttons->addStretch(1);
    buttons->addWidget(btnSkippedClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SkippedView, 1);
    layout->addLayout(buttons);
}

std::vector<TSkippedFile> TSkippedForm::Rows(bool selectedOnly) const
{
    std::vector<TSkippedFile> rows;
    const QItemSelectionModel* selection = SkippedView->selectionModel();
    const bool any = selectedOnly && selection && selection->hasSelection();
    for (int row = 0; row < FModel->rowCount(); ++row) {
        if (any && !selection->isRowSelected(row, {}))
            continue;
        rows.push_back({FModel->item(row, 0)->data(PathRole).toByteArray().toStdString(),
                        FModel->item(row, 1)->text().toStdString()});
    }
    return rows;
}

void TSkippedForm::btnSkippedCopyClick()
{
    // The paths as text, each byte that is not UTF-8 escaped as the window shows it.
    std::vector<TSkippedFile> rows = Rows(true);
    for (TSkippedFile& file : rows)
        file.Path = PathText(file.Path).toStdString();
    const QString text = QString::fromStdString(SkippedClipboardText(rows));
    QGuiApplication::clipboard()->setText(text);
}

void TSkippedForm::btnSkippedReportClick()
{
    const QString name = TDialogs::GetSaveFileName(this, FLang.Translate(QStringLiteral("Save report...")),
                                                   QStringLiteral("NotSearched"),
                                                   QStringLiteral("Text files (*.txt);;CSV files (*.csv)"));
    if (name.isEmpty())
        return;
    const QByteArray bytes = QByteArray::fromStdString(SkippedReportBytes(Rows(false), name.toStdString()));
    QFile out(name);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() || !out.flush()) {
        TMessageBox::Show(this, QStringLiteral("Cannot create file ") + name, QStringLiteral("Error"),
                          QMessageBox::Critical, QMessageBox::Ok);
    }
}

void TSkippedForm::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        btnSkippedCopyClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace trovex
