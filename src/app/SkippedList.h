// SPDX-License-Identifier: MIT
// The files a run could not search in full, with the reason for each: the list that the status
// bar's "N not searched" opens. Sortable by either column, copyable, and written as a report.
#pragma once

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

#include "window/SearchSession.h"

class QStandardItemModel;
class QTreeView;
class QPushButton;

namespace trovex
{

class TMultiLang;

class TSkippedForm : public QDialog
{
    Q_OBJECT

public:
    TSkippedForm(QWidget* parent, const TMultiLang& lang, const std::vector<TSkippedFile>& files);

    QTreeView* SkippedView = nullptr;
    QPushButton* btnSkippedCopy = nullptr;
    QPushButton* btnSkippedReport = nullptr;
    QPushButton* btnSkippedClose = nullptr;

    /// The rows as shown (sorted as they are now): the selected ones, or all when none is selected.
    std::vector<TSkippedFile> Rows(bool selectedOnly) const;
    /// Puts the rows (reason, tab, path, one a line) on the clipboard.
    void btnSkippedCopyClick();
    /// Asks for a file and writes every row to it as a report: path and reason, tab-separated
    /// (comma-separated for a name ending in .csv), CR LF after each.
    void btnSkippedReportClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    const TMultiLang& FLang;
    QStandardItemModel* FModel = nullptr;
};

} // namespace trovex
