// SPDX-License-Identifier: MIT
// The result list's model: batched announcements, the selection kept through sorts and removals, and
// the rows' cells in Qt's terms.
#include "app/ResultModel.h"

#include "platform/FileSystem.h"
#include "search/Report.h"
#include "shell/DropSourceQt.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QMimeData>
#include <QTime>

#include <unordered_map>
#include <utility>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace trovex
{

namespace
{

// Type texts whose bytes are remembered by their shared buffer; a source has far fewer.
constexpr std::size_t MaxSharedTypeTexts = 4096;
// 100-ns ticks from 1601-01-01 to 1970-01-01, in milliseconds.
constexpr std::int64_t FileTimeEpochMs = 11644473600000;

const char* const DefaultTitles[TResultModel::ColumnCount] = {"File name", "Folder", "Type", "Modified", "Size"};

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
{
    FRows.SetDateFormat([](TFileTime t) { return FormatModified(t).toStdString(); });
    for (int c = 0; c < ColumnCount; ++c)
        FTitles[c] = QString::fromLatin1(DefaultTitles[c]);
}

TResultModel::~TResultModel() = default;

void TResultModel::Append(const TFindFileInfo& info, const QString& typeName, int iconIndex)
{
    FRows.Append(info, typeName.toStdString(), iconIndex);
}

void TResultModel::AppendShellTyped(const TFindFileInfo& info)
{
    FRows.AppendShellTyped(info);
}

void TResultModel::SetTypeSource(TTypeSource source)
{
    if (!source) {
        FRows.SetTypeSource({});
        return;
    }
    // The rows' core tells types apart by the objects it is handed, kept here for the source's life:
    // one per text and icon. A source hands out copies of a few shared texts, whose buffers (kept
    // alive by the copies held here) find their object without converting or hashing the text.
    struct TTypes
    {
        std::unordered_map<std::string, TResultRows::TShellType> ByText; // text + icon -> the core's type
        std::unordered_map<const QChar*, std::pair<QString, const TResultRows::TShellType*>> ByBuffer;
    };
    auto types = std::make_shared<TTypes>();
    FRows.SetTypeSource([source = std::move(source), types](std::string_view path, std::uint32_t attributes) -> const TResultRows::TShellType* {
        const TShellType type = source(path, attributes);
        if (type.Name.isEmpty())
            return nullptr;
        if (const auto found = types->ByBuffer.find(type.Name.constData());
            found != types->ByBuffer.end() && found->second.second->IconIndex == type.IconIndex)
            return found->second.second;
        std::string name = type.Name.toStdString();
        std::string key = name + '\0' + std::to_string(type.IconIndex);
        auto made = types->ByText.find(key);
        if (made == types->ByText.end())
            made = types->ByText.emplace(std::move(key), TResultRows::TShellType{std::move(name), type.IconIndex}).first;
        // A source that makes a new text for every row gains nothing from buffers: hold no more of them.
        if (types->ByBuffer.size() < MaxSharedTypeTexts)
            types->ByBuffer.emplace(type.Name.constData(), std::pair(type.Name, &made->second));
        return &made->second;
    });
}

bool TResultModel::LookUpTypes(std::chrono::steady_clock::time_point deadline, std::size_t maxRows)
{
    return FRows.LookUpTypes(deadline, maxRows);
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
    FRows.Clear();
    FFlushed = 0;
    endResetModel();
}

QString TResultModel::Cell(int row, int column) const
{
    switch (column) {
    case rcName:
        return Utf8(FRows.Name(row));
    case rcFolder:
        return Utf8(FRows.Folder(row));
    case rcType:
        return Utf8(FRows.TypeCell(row));
    case rcModified:
        return FRows.Gone(row) ? QString() : FormatModified(FRows.LastWrite(row));
    case rcSize:
        return FRows.Gone(row) ? QString() : QString::number(static_cast<qulonglong>(FRows.Size(row)));
    }
    return {};
}

QString TResultModel::FullPath(int row) const
{
    return Utf8(FRows.Path(row));
}

std::string TResultModel::Path(int row) const
{
    return FRows.Path(row);
}

TResultRow TResultModel::Cells(int row) const
{
    return FRows.Cells(row);
}

TFindFileInfo TResultModel::Info(int row) const
{
    return FRows.Info(row);
}

void TResultModel::ApplyOrder(const std::vector<std::uint32_t>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    FRows.ApplyOrder(order);
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
    if (Count() < 2)
        return;
    ApplyOrder(FRows.SortOrder(column, ascending));
}

void TResultModel::RemoveRange(int first, int last)
{
    beginRemoveRows({}, first, last);
    FRows.EraseRange(first, last);
    FFlushed = Count();
    endRemoveRows();
}

void TResultModel::RemoveRowsDescending(std::vector<int> rows)
{
    Flush();
    const TResultRows::TRemoval plan = FRows.PlanRemoval(std::move(rows));
    for (const auto& [first, last] : plan.Runs)
        RemoveRange(first, last);
    if (!plan.Order.empty()) {
        ApplyOrder(plan.Order);
        RemoveRange(plan.Keep, Count() - 1);
    }
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
    const int row = index.row();
    if (role == SortKeyRole)
        FRows.TypeCell(row); // a key of any column looks the row's type up, as the Type cell would
    switch (role) {
    case Qt::DisplayRole:
        return Cell(row, index.column());
    case Qt::ToolTipRole:
        // The text around the hit, and under it where and how the file matched.
        if (FShowHints) {
            const std::string tip = FRows.Tip(row);
            if (!tip.empty())
                return Utf8(tip);
        }
        return {};
    case Qt::DecorationRole:
        if (index.column() == rcName) {
            const int icon = FRows.IconIndex(row);
            if (icon >= 0 && FIconSource)
                return FIconSource(icon);
        }
        return {};
    case SortKeyRole:
        if (index.column() == rcModified)
            return QDateTime::fromMSecsSinceEpoch(FileTimeToUnixMs(FRows.LastWrite(row)), Qt::UTC);
        if (index.column() == rcSize)
            return QVariant::fromValue(static_cast<qulonglong>(FRows.Size(row)));
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
