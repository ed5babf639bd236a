// SPDX-License-Identifier: MIT
// TResultModel, the rows of the result list: one compact record per found file, cells made on demand,
// rows stored at once but announced to views in batches, sorting by column through keys built once per
// sort. Made for a million rows: no per-row heap blocks, no re-sort on append. User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "search/FindFile.h"
#include "search/Report.h"

namespace trovex
{

/// The Modified cell: the system locale's short date, a blank and its long time without a time zone,
/// the time left out when the local time of `lastWriteUtc` is 00:00:00 to the second.
QString FormatModified(TFileTime lastWriteUtc);

class TResultModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int ColumnCount = 5;
    enum TColumn : int { rcName = 0, rcFolder = 1, rcType = 2, rcModified = 3, rcSize = 4 };
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
    void SetTypeSource(TTypeSource source) { FTypeSource = std::move(source); }
    /// Tells views about the rows appended since the last flush, in one insertion. Every other change
    /// (sort, removal, option) flushes first, so row numbers always mean the same rows to the model and
    /// its views.
    void Flush();
    /// Removes every row in one model reset and releases their storage.
    void Clear();
    /// Rows stored, flushed or not (rowCount() counts flushed rows only).
    int Count() const { return static_cast<int>(FRows.size()); }

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
    // One found file. The bytes (folder + name, then FoundText) live in FStore, so a row is 56 bytes
    // whatever the length of its path.
    // A row found by name alone comes without its size and date; they are read when first needed.
    enum TRecordState : std::uint8_t
    {
        rsKnown,
        rsPending,
        rsGone, // the file was not there any more when its record was wanted: no size, no date
    };
    struct TRow
    {
        const char* Text = nullptr;   // folder, name, found text, where and how it matched, back to back
        TFileTime LastWrite = 0;
        std::uint64_t Size = 0;
        std::uint32_t PathLength = 0; // folder + name
        std::uint32_t NameOffset = 0; // = length of the folder
        std::uint32_t FoundLength = 0;
        std::uint32_t Attributes = 0;
        std::int32_t IconIndex = -1;
        std::uint32_t TypeIndex = 0;  // 0: the Type cell is the extension; PendingType: not asked yet;
                                      // else FTypeNames[TypeIndex]
        TRecordState Record = rsKnown;
        std::uint16_t MatchLength = 0;
        std::string_view Path() const { return {Text, PathLength}; }
        std::string_view Name() const { return Path().substr(NameOffset); }
        std::string_view Folder() const { return {Text, NameOffset}; }
        std::string_view FoundText() const { return {Text + PathLength, FoundLength}; }
        std::string_view Match() const { return {Text + PathLength + FoundLength, MatchLength}; }
    };

    static constexpr std::uint32_t PendingType = 0xFFFFFFFFu;

    const char* Store(std::string_view a, std::string_view b, std::string_view c, std::string_view d = {});
    void AddRow(const TFindFileInfo& info, const QString& typeName, int iconIndex, bool pending);
    std::uint32_t TypeIndexOf(const QString& typeName);
    /// The row with its deferred record read, if it had one.
    const TRow& Recorded(std::size_t row) const;
    /// The row with its deferred type looked up, if it had one (from the attributes the listing
    /// gave: the record is not needed for it).
    const TRow& Typed(std::size_t row) const;
    std::string_view TypeCell(const TRow& row) const;
    QString Cell(const TRow& row, int column) const;
    void ApplyOrder(const std::vector<std::uint32_t>& order);
    void RemoveRange(int first, int last);

    std::vector<TRow> FRows;
    int FFlushed = 0;
    // Append-only byte blocks that never move, so rows can point into them; freed by Clear.
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::size_t FBlockUsed = 0;
    std::size_t FBlockSize = 0;
    // Shell type names seen so far; a row keeps only its index. Slot 0 is unused.
    std::vector<std::string> FTypeNames;
    std::vector<QString> FTypeTexts;
    QHash<QString, std::uint32_t> FTypeIndex;
    std::unordered_map<const QChar*, std::uint32_t> FTypeByBuffer; // FTypeTexts' buffers -> index
    std::size_t FTypeCursor = 0; // LookUpTypes goes on from here
    bool FShowHints = true;
    std::function<QIcon(int)> FIconSource;
    TTypeSource FTypeSource;
    QString FTitles[ColumnCount];
};

} // namespace trovex
