// SPDX-License-Identifier: MIT
// The result list's model: row storage, cells, batched announcements, sorting and removal.
#include "app/ResultModel.h"

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "search/Report.h"
#include "shell/DropSourceQt.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QTime>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace trovex
{

namespace
{

// Large enough that a million typical paths need about a hundred blocks, small enough that a short list
// does not hold much unused memory.
constexpr std::size_t StoreBlockSize = 1 << 20;
// Up to this many separate runs of rows are removed one run at a time; more are first moved to the end
// in one layout change, because each removal makes a tree view lay out every row again.
constexpr std::size_t MaxRemovalRuns = 8;
// 100-ns ticks from 1601-01-01 to 1970-01-01, in milliseconds.
constexpr std::int64_t FileTimeEpochMs = 11644473600000;

const char* const DefaultTitles[TResultModel::ColumnCount] = {"File name", "Folder", "Type", "Modified", "Size"};

// Only a-z fold: letters outside ASCII keep their case, so "я" and "Я" stay different.
inline unsigned char FoldAscii(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - ('a' - 'A')) : c;
}

int FoldedCompare(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    // Bytes that are the same are the same folded too: skip them at memcmp speed (folders share long heads).
    std::size_t i = static_cast<std::size_t>(std::mismatch(a.data(), a.data() + common, b.data()).first - a.data());
    for (; i < common; ++i) {
        const unsigned char x = FoldAscii(static_cast<unsigned char>(a[i]));
        const unsigned char y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// The first eight folded bytes, big-endian, padded with zeros: ordering these agrees with FoldedCompare
// whenever they differ, so most comparisons of a sort never touch the strings.
std::uint64_t FoldedPrefix(std::string_view s)
{
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < 8; ++i)
        key = (key << 8) | (i < s.size() ? FoldAscii(static_cast<unsigned char>(s[i])) : 0u);
    return key;
}

std::string_view ExtensionOfName(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

QString Utf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Qt's long time formats carry the time zone ("HH:mm:ss t", "H:mm:ss (t)"); the cell shows the clock only.
QString LongTimeFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            out += c;
    }
    out.remove(QLatin1String("()"));
    out.remove(QLatin1String("[]"));
    return out.simplified();
}

std::int64_t FileTimeToUnixMs(TFileTime t)
{
    return static_cast<std::int64_t>(t / 10000) - FileTimeEpochMs;
}

} // namespace

QString FormatModified(TFileTime lastWriteUtc)
{
    const TDateTime local = FileTimeToLocal(lastWriteUtc);
    const QLocale locale = QLocale::system();
    QString text = locale.toString(QDate(local.Year, local.Month, local.Day), QLocale::ShortFormat);
    // Sub-second ticks do not count: the cell shows whole seconds, and 00:00:00 reads as midnight.
    if (local.Hour != 0 || local.Minute != 0 || local.Second != 0) {
        text += u' ';
        text += locale.toString(QTime(local.Hour, local.Minute, local.Second), LongTimeFormat(locale));
    }
    return text;
}

TResultModel::TResultModel(QObject* parent)
    : QAbstractTableModel(parent)
    , FTypeNames(1)
    , FTypeTexts(1)
{
    for (int c = 0; c < ColumnCount; ++c)
        FTitles[c] = QString::fromLatin1(DefaultTitles[c]);
}

TResultModel::~TResultModel() = default;

const char* TResultModel::Store(std::string_view a, std::string_view b, std::string_view c, std::string_view d)
{
    const std::size_t total = a.size() + b.size() + c.size() + d.size();
    if (total == 0)
        return nullptr;
    if (FBlocks.empty() || FBlockSize - FBlockUsed < total) {
        FBlockSize = std::max(StoreBlockSize, total);
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FBlockSize));
        FBlockUsed = 0;
    }
    char* at = FBlocks.back().get() + FBlockUsed;
    std::copy(a.begin(), a.end(), at);
    std::copy(b.begin(), b.end(), at + a.size());
    std::copy(c.begin(), c.end(), at + a.size() + b.size());
    std::copy(d.begin(), d.end(), at + a.size() + b.size() + c.size());
    FBlockUsed += total;
    return at;
}

void TResultModel::Append(const TFindFileInfo& info, const QString& typeName, int iconIndex)
{
    AddRow(info, typeName, iconIndex, false);
}

void TResultModel::AppendShellTyped(const TFindFileInfo& info)
{
    AddRow(info, {}, -1, true);
}

std::uint32_t TResultModel::TypeIndexOf(const QString& typeName)
{
    // A type source hands out copies of a few shared texts: their buffers, which FTypeTexts keeps
    // alive, find them without hashing the text for every row.
    if (const auto same = FTypeByBuffer.find(typeName.constData()); same != FTypeByBuffer.end())
        return same->second;
    auto found = FTypeIndex.constFind(typeName);
    if (found == FTypeIndex.cend()) {
        found = FTypeIndex.insert(typeName, static_cast<std::uint32_t>(FTypeNames.size()));
        FTypeNames.push_back(typeName.toStdString());
        FTypeTexts.push_back(typeName);
        FTypeByBuffer.emplace(FTypeTexts.back().constData(), *found);
    }
    return *found;
}

void TResultModel::AddRow(const TFindFileInfo& info, const QString& typeName, int iconIndex, bool pending)
{
    const std::string_view fileName = info.FileName;
    const std::size_t slash = fileName.rfind('/');
    const std::string_view folder = fileName.substr(0, slash == std::string_view::npos ? 0 : slash + 1);
    constexpr std::size_t limit = std::numeric_limits<std::uint32_t>::max();
    if (folder.size() + info.Name.size() > limit || info.FoundText.size() > limit)
        throw std::length_error("result path too long");

    TRow row;
    std::string match = MatchText(info);
    if (match.size() > std::numeric_limits<std::uint16_t>::max())
        match = Utf8TrimPartial(std::string_view(match).substr(0, std::numeric_limits<std::uint16_t>::max()));
    row.MatchLength = static_cast<std::uint16_t>(match.size());
    row.Text = Store(folder, info.Name, info.FoundText, match);
    row.PathLength = static_cast<std::uint32_t>(folder.size() + info.Name.size());
    row.NameOffset = static_cast<std::uint32_t>(folder.size());
    row.FoundLength = static_cast<std::uint32_t>(info.FoundText.size());
    row.LastWrite = info.FindData.LastWriteTime;
    row.Size = info.FindData.Size;
    row.Attributes = info.FindData.Attributes;
    row.Record = info.Recorded ? rsKnown : rsPending;
    if (pending) {
        row.TypeIndex = PendingType;
    } else if (!typeName.isEmpty()) {
        row.TypeIndex = TypeIndexOf(typeName);
        row.IconIndex = iconIndex;
    }
    FRows.push_back(row);
}

const TResultModel::TRow& TResultModel::Recorded(std::size_t index) const
{
    const TRow& row = FRows.at(index);
    if (row.Record != rsPending)
        return row;
    // As with the type: no one has seen these cells yet.
    TRow& pending = const_cast<TResultModel*>(this)->FRows[index];
    TFindData data;
    if (ReadFindData(std::string(pending.Path()), data)) {
        pending.LastWrite = data.LastWriteTime;
        pending.Size = data.Size;
        pending.Attributes = data.Attributes;
        pending.Record = rsKnown;
    } else {
        pending.Record = rsGone;
    }
    return pending;
}

const TResultModel::TRow& TResultModel::Typed(std::size_t index) const
{
    const TRow& row = FRows.at(index);
    if (row.TypeIndex != PendingType)
        return row;
    // Looking the type up changes no cell that anyone has seen yet, so it may happen behind a const view.
    auto* self = const_cast<TResultModel*>(this);
    TRow& pending = self->FRows[index];
    const TShellType type = FTypeSource ? FTypeSource(pending.Path(), pending.Attributes) : TShellType();
    pending.TypeIndex = type.Name.isEmpty() ? 0 : self->TypeIndexOf(type.Name);
    pending.IconIndex = type.Name.isEmpty() ? -1 : type.IconIndex;
    return pending;
}

bool TResultModel::LookUpTypes(std::chrono::steady_clock::time_point deadline, std::size_t maxRows)
{
    constexpr std::size_t ClockEvery = 16; // rows between looks at the clock
    std::size_t done = 0;
    // The second pass finds rows that a sort or a removal moved before the cursor.
    for (int pass = 0; pass < 2; ++pass) {
        for (; FTypeCursor < FRows.size(); ++FTypeCursor) {
            if (FRows[FTypeCursor].TypeIndex != PendingType)
                continue;
            if (done >= maxRows || (done % ClockEvery == 0 && done > 0 && std::chrono::steady_clock::now() >= deadline))
                return false;
            Typed(FTypeCursor);
            ++done;
        }
        FTypeCursor = 0;
    }
    return true;
}

void TResultModel::Flush()
{
    if (FFlushed >= Count())
        return;
    beginInsertRows({}, FFlushed, Count() - 1);
    FFlushed = Count();
    endInsertRows();
}

void TResultModel::Clear()
{
    beginResetModel();
    std::vector<TRow>().swap(FRows);
    FFlushed = 0;
    FBlocks.clear();
    FBlockUsed = FBlockSize = 0;
    FTypeCursor = 0;
    FTypeNames.resize(1);
    FTypeTexts.resize(1);
    FTypeIndex.clear();
    FTypeByBuffer.clear();
    endResetModel();
}

std::string_view TResultModel::TypeCell(const TRow& row) const
{
    return row.TypeIndex != 0 ? std::string_view(FTypeNames[row.TypeIndex]) : ExtensionOfName(row.Name());
}

QString TResultModel::Cell(const TRow& row, int column) const
{
    switch (column) {
    case rcName:
        return Utf8(row.Name());
    case rcFolder:
        return Utf8(row.Folder());
    case rcType:
        return row.TypeIndex != 0 ? FTypeTexts[row.TypeIndex] : Utf8(ExtensionOfName(row.Name()));
    case rcModified:
        return row.Record == rsGone ? QString() : FormatModified(row.LastWrite);
    case rcSize:
        return row.Record == rsGone ? QString() : QString::number(static_cast<qulonglong>(row.Size));
    }
    return {};
}

QString TResultModel::FullPath(int row) const
{
    return Utf8(FRows.at(static_cast<std::size_t>(row)).Path());
}

std::string TResultModel::Path(int row) const
{
    return std::string(FRows.at(static_cast<std::size_t>(row)).Path());
}

TResultRow TResultModel::Cells(int row) const
{
    Recorded(static_cast<std::size_t>(row));
    const TRow& r = Typed(static_cast<std::size_t>(row));
    TResultRow cells;
    cells.Name = r.Name();
    cells.Folder = r.Folder();
    cells.Type = TypeCell(r);
    if (r.Record != rsGone) {
        cells.Modified = FormatModified(r.LastWrite).toStdString();
        cells.Size = std::to_string(r.Size);
    }
    return cells;
}

TFindFileInfo TResultModel::Info(int row) const
{
    const TRow& r = Recorded(static_cast<std::size_t>(row));
    TFindFileInfo info;
    info.Name = r.Name();
    info.FileName = r.Path();
    info.FoundText = r.FoundText();
    info.FoundForm = r.Match(); // as one text: MatchText gives it back as it was
    info.FindData.Attributes = r.Attributes;
    info.FindData.LastWriteTime = r.LastWrite;
    info.FindData.Size = r.Size;
    info.FindData.Name = info.Name;
    info.Attr = r.Attributes & 0xFFFF;
    info.Size = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.Size & 0xFFFFFFFFu));
    info.Time = FileTimeToDosDateTime(r.LastWrite);
    return info;
}

void TResultModel::ApplyOrder(const std::vector<std::uint32_t>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<TRow> rows;
    rows.reserve(FRows.size());
    for (std::uint32_t old : order)
        rows.push_back(FRows[old]);
    FRows.swap(rows);
    const QModelIndexList from = persistentIndexList();
    if (!from.isEmpty()) {
        std::vector<int> newRowOf(order.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            newRowOf[order[i]] = static_cast<int>(i);
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& index : from)
            to.append(index.isValid() ? createIndex(newRowOf[static_cast<std::size_t>(index.row())], index.column())
                                      : QModelIndex());
        changePersistentIndexList(from, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TResultModel::SortBy(int column, bool ascending)
{
    if (column < 0 || column >= ColumnCount)
        return;
    Flush();
    if (FRows.size() < 2)
        return;

    // One key per row, built once: a number, or a folded prefix plus the cell's bytes for the rare tie.
    struct TKey
    {
        std::uint64_t Value;
        const char* Text;
        std::uint32_t Length;
        std::uint32_t Row;
    };
    if (column == rcType)
        for (std::size_t i = 0; i < FRows.size(); ++i)
            Typed(i);
    if (column == rcModified || column == rcSize)
        for (std::size_t i = 0; i < FRows.size(); ++i)
            Recorded(i);
    std::vector<TKey> keys(FRows.size());
    const bool text = column <= rcType;
    auto cellOf = [this, column](const TRow& r) {
        return column == rcName ? r.Name() : column == rcFolder ? r.Folder() : TypeCell(r);
    };
    // The folded head that all cells share (the search folder, for the Folder column) decides nothing:
    // the prefix keys start behind it, and so do the comparisons of tied prefixes.
    std::size_t common = 0;
    if (text) {
        const std::string_view first = cellOf(FRows[0]);
        common = first.size();
        for (std::size_t i = 1; i < FRows.size() && common > 0; ++i) {
            const std::string_view cell = cellOf(FRows[i]);
            std::size_t n = 0;
            const std::size_t limit = std::min(common, cell.size());
            while (n < limit && FoldAscii(static_cast<unsigned char>(first[n])) ==
                                    FoldAscii(static_cast<unsigned char>(cell[n])))
                ++n;
            common = n;
        }
    }
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        const TRow& r = FRows[i];
        TKey& k = keys[i];
        k.Row = static_cast<std::uint32_t>(i);
        if (text) {
            const std::string_view cell = cellOf(r).substr(common);
            k.Value = FoldedPrefix(cell);
            k.Text = cell.data();
            k.Length = static_cast<std::uint32_t>(cell.size());
        } else {
            k.Value = column == rcModified ? r.LastWrite : r.Size;
            k.Text = nullptr;
            k.Length = 0;
        }
    }
    // Equal rows keep their present order, so the result does not depend on the sort algorithm.
    auto less = [text, ascending](const TKey& a, const TKey& b) {
        int order = a.Value < b.Value ? -1 : (a.Value > b.Value ? 1 : 0);
        // Rows of one type share their cell's bytes: the same text needs no comparing.
        if (order == 0 && text && (a.Text != b.Text || a.Length != b.Length))
            order = FoldedCompare({a.Text, a.Length}, {b.Text, b.Length});
        if (order != 0)
            return ascending ? order < 0 : order > 0;
        return a.Row < b.Row;
    };
    std::sort(keys.begin(), keys.end(), less);

    std::vector<std::uint32_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].Row;
    std::vector<TKey>().swap(keys);
    ApplyOrder(order);
}

void TResultModel::RemoveRange(int first, int last)
{
    beginRemoveRows({}, first, last);
    FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
    FFlushed = Count();
    endRemoveRows();
}

void TResultModel::RemoveRowsDescending(std::vector<int> rows)
{
    Flush();
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= Count(); }), rows.end());
    if (rows.empty())
        return;

    // Runs of neighbouring rows, highest first: removing from the bottom keeps the lower numbers valid.
    std::vector<std::pair<int, int>> runs;
    for (int r : rows) {
        if (!runs.empty() && runs.back().first == r + 1)
            runs.back().first = r;
        else
            runs.emplace_back(r, r);
    }
    if (runs.size() <= MaxRemovalRuns) {
        for (const auto& [first, last] : runs)
            RemoveRange(first, last);
        return;
    }

    // Many scattered rows: keep the survivors in order, move the doomed rows behind them, cut them off.
    std::vector<char> doomed(FRows.size(), 0);
    for (int r : rows)
        doomed[static_cast<std::size_t>(r)] = 1;
    std::vector<std::uint32_t> order;
    order.reserve(FRows.size());
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (!doomed[i])
            order.push_back(static_cast<std::uint32_t>(i));
    const int keep = static_cast<int>(order.size());
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (doomed[i])
            order.push_back(static_cast<std::uint32_t>(i));
    ApplyOrder(order);
    RemoveRange(keep, Count() - 1);
}

void TResultModel::SetShowHints(bool on)
{
    Flush();
    if (FShowHints == on)
        return;
    FShowHints = on;
    if (FFlushed > 0)
        emit dataChanged(index(0, 0), index(FFlushed - 1, ColumnCount - 1), {Qt::ToolTipRole});
}

void TResultModel::SetIconSource(std::function<QIcon(int)> iconOfIndex)
{
    Flush();
    FIconSource = std::move(iconOfIndex);
    if (FFlushed > 0)
        emit dataChanged(index(0, rcName), index(FFlushed - 1, rcName), {Qt::DecorationRole});
}

int TResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FFlushed;
}

int TResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= FFlushed || index.column() >= ColumnCount)
        return {};
    const bool typed = (role == Qt::DisplayRole && index.column() == rcType) ||
                       (role == Qt::DecorationRole && index.column() == rcName) || role == SortKeyRole;
    const bool recorded = (role == Qt::DisplayRole || role == SortKeyRole) &&
                          (index.column() == rcModified || index.column() == rcSize);
    const std::size_t at = static_cast<std::size_t>(index.row());
    if (recorded)
        Recorded(at);
    const TRow& row = typed ? Typed(at) : FRows[at];
    switch (role) {
    case Qt::DisplayRole:
        return Cell(row, index.column());
    case Qt::ToolTipRole:
        // The text around the hit, and under it where and how the file matched.
        if (FShowHints && row.FoundLength != 0)
            return QString(QLatin1String("...") + Utf8(row.FoundText()) + QLatin1String("...") +
                           (row.MatchLength != 0 ? QLatin1String("\n(") + Utf8(row.Match()) + QLatin1Char(')') : QString()));
        return {};
    case Qt::DecorationRole:
        if (index.column() == rcName && row.IconIndex >= 0 && FIconSource)
            return FIconSource(row.IconIndex);
        return {};
    case SortKeyRole:
        if (index.column() == rcModified)
            return QDateTime::fromMSecsSinceEpoch(FileTimeToUnixMs(row.LastWrite), Qt::UTC);
        if (index.column() == rcSize)
            return QVariant::fromValue(static_cast<qulonglong>(row.Size));
        return Cell(row, index.column());
    }
    return {};
}

QVariant TResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return FTitles[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool TResultModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    FTitles[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList TResultModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list"), QStringLiteral("x-special/gnome-copied-files"), QStringLiteral("text/plain")};
}

QMimeData* TResultModel::mimeData(const QModelIndexList& indexes) const
{
    std::vector<std::string> paths;
    std::vector<char> taken(static_cast<std::size_t>(FFlushed), 0);
    for (const QModelIndex& index : indexes) {
        if (!index.isValid() || index.row() >= FFlushed || taken[static_cast<std::size_t>(index.row())])
            continue;
        taken[static_cast<std::size_t>(index.row())] = 1;
        paths.push_back(Path(index.row()));
    }
    if (paths.empty())
        return nullptr;
    return MakeFileMimeData(paths, deCopy);
}

} // namespace trovex
