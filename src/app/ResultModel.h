// SPDX-License-Identifier: MIT
// TResultModel, the result list's rows as Qt's views see them: the rows themselves, their cells, sort
// orders and removal plans are TResultRows's; this model announces appended rows to views in batches,
// keeps the selection with its rows through sorts and removals, and gives cells, tips, icons and drag
// data in Qt's terms. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/FindFile.h"
#include "search/Report.h"
#include "window/ResultRows.h"

namespace trovex
{

/// The Modified cell: the system locale's short date, a blank and its long time without a time zone,
/// the time left out when the local time of `lastWriteUtc` is 00:00:00 to the second.
QString FormatModified(TFileTime lastWriteUtc);

class TResultModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = TResultRows::ColumnCount;
    enum TColumn : int {
        rcName = TResultRows::rcName,
        rcFolder = TResultRows::rcFolder,
        rcType = TResultRows::rcType,
        rcModified = TResultRows::rcModified,
        rcSize = TResultRows::rcSize
    };
    /// data() with this role gives what a column sorts by: the Name, Folder and Type cells as text, the last
    /// write as a UTC QDateTime (millisecond precision) and the size as qulonglong.
    static constexpr int SortKeyRole = Qt::UserRole;

    explicit TResultModel(QObject* parent = nullptr);
    ~TResultModel() override;

    /// Appends a row for `info` at the end whatever the current order. A non-empty `typeName` becomes the
    /// Type cell and `iconIndex` the row's icon slot; an empty one makes the Type cell the extension of the
    /// name (no icon). The row is stored at once; views learn of it at the next Flush.
    void Append(const TFindFileInfo& info, const QString& typeName = {}, int iconIndex = -1);
    /// The shell's view of a row's file: its type name and icon slot. An empty name keeps the extension as
    /// the Type cell, with no icon.
    struct TShellType
    {
        QString Name;
        int IconIndex = -1;
    };
    using TTypeSource = std::function<TShellType(std::string_view path, std::uint32_t attributes)>;
    /// Appends a row like Append whose Type cell and icon come from the type source, asked once for the row
    /// when they are first needed (painting, a sort by Type, a report), so adding rows costs no lookup.
    void AppendShellTyped(const TFindFileInfo& info);
    /// Where AppendShellTyped rows learn their type; without one they show the extension.
    void SetTypeSource(TTypeSource source);
    /// Tells views about the rows appended since the last flush, in one insertion. Every other change
    /// (sort, removal, option) flushes first, so row numbers always mean the same rows to the model and
    /// its views.
    void Flush();
    /// Removes every row in one model reset and releases their storage.
    void Clear();
    /// Rows stored, flushed or not (rowCount() counts flushed rows only).
    int Count() const { return FRows.Count(); }
    /// The rows themselves.
    const TResultRows& Rows() const { return FRows; }

    /// The row's file as the system named it: folder and name bytes, not necessarily UTF-8. Every
    /// operation on the file uses these. `row` < Count() for these accessors.
    std::string Path(int row) const;
    /// The row's Folder cell followed by its File name cell, for showing only: bytes that are not
    /// UTF-8 are shown as U+FFFD, so two files may show the same text.
    QString FullPath(int row) const;
    /// The five cells as shown, in UTF-8 (what reports write).
    TResultRow Cells(int row) const;
    /// A copy of the row's found-file record rebuilt from what the row keeps: Name, FileName (= full
    /// path), FoundText, the attributes, last write time and 64-bit size, and Attr, Size and Time derived
    /// from them as the engine derives them. The creation and last access times are not kept (zero).
    TFindFileInfo Info(int row) const;
    /// Removes the given rows (any order; duplicates and rows out of range are ignored). Persistent
    /// indexes of the remaining rows follow them.
    void RemoveRowsDescending(std::vector<int> rows);

    /// Sorts all rows by `column` (rcName..rcSize). Text columns compare byte by byte with only a-z taken
    /// as A-Z; Modified compares the last write times, Size the sizes. `ascending` false reverses the order.
    /// Rows that compare equal keep their relative order. Persistent indexes (the selection) follow their rows.
    void SortBy(int column, bool ascending);

    /// Looks up the deferred types of AppendShellTyped rows, in row order, until `deadline` has passed
    /// or `maxRows` were looked up, so a large list can be done in slices between events. True when no
    /// row's type is left to look up (a sort by Type then asks nothing more).
    bool LookUpTypes(std::chrono::steady_clock::time_point deadline, std::size_t maxRows);

    /// Tips ("..." + the text around the hit + "...") are given only while this is on; initially on.
    void SetShowHints(bool on);
    bool ShowHints() const { return FShowHints; }
    /// The icon of an icon slot, asked for each decorated cell of the File name column.
    void SetIconSource(std::function<QIcon(int)> iconOfIndex);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    /// Column titles can be replaced (a new language); DisplayRole or EditRole of a horizontal section.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    /// The files of the rows of `indexes` (each row once, in the order given) as MakeFileMimeData
    /// offers them: URI list, copied-files list and plain paths, from the rows' bytes.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    void ApplyOrder(const std::vector<std::uint32_t>& order);
    void RemoveRange(int first, int last);
    QString Cell(int row, int column) const;

    TResultRows FRows;
    int FFlushed = 0;
    bool FShowHints = true;
    std::function<QIcon(int)> FIconSource;
    QString FTitles[ColumnCount];
};

} // namespace trovex
