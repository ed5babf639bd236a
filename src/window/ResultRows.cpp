// SPDX-License-Identifier: MIT
// Result rows: storage, cells, lazy records and types, sort orders and removal plans.
#include "window/ResultRows.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/PathDelim.h"

namespace trovex
{

namespace
{

// Large enough that a million typical paths need about a hundred blocks, small enough that a short list
// does not hold much unused memory.
constexpr std::size_t StoreBlockSize = 1 << 20;
// Up to this many separate runs of rows are removed one run at a time; more are first moved to the end
// in one rearrangement, because each removal makes a view lay out every row again.
constexpr std::size_t MaxRemovalRuns = 8;

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

} // namespace

TResultRows::TResultRows() : FTypeNames(1)
{
    SetDateFormat({});
}

TResultRows::~TResultRows() = default;

void TResultRows::SetDateFormat(TDateFormat format)
{
    FDateFormat = format ? std::move(format) : [](TFileTime t) { return FormatDateTime(FileTimeToLocal(t)); };
}

const char* TResultRows::Store(std::string_view a, std::string_view b, std::string_view c, std::string_view d)
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

void TResultRows::Append(const TFindFileInfo& info, std::string_view typeName, int iconIndex)
{
    AddRow(info, typeName, iconIndex, false);
}

void TResultRows::AppendShellTyped(const TFindFileInfo& info)
{
    AddRow(info, {}, -1, true);
}

std::uint32_t TResultRows::TypeIndexOf(std::string_view typeName)
{
    auto found = FTypeIndex.find(typeName);
    if (found == FTypeIndex.end()) {
        found = FTypeIndex.emplace(std::string(typeName), static_cast<std::uint32_t>(FTypeNames.size())).first;
        FTypeNames.emplace_back(typeName);
    }
    return found->second;
}

void TResultRows::AddRow(const TFindFileInfo& info, std::string_view typeName, int iconIndex, bool pending)
{
    const std::string_view fileName = info.FileName;
    const std::size_t delim = fileName.find_last_of(PathDelims);
    const std::string_view folder = fileName.substr(0, delim == std::string_view::npos ? 0 : delim + 1);
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
    } else if (!typeName.empty()) {
        row.TypeIndex = TypeIndexOf(typeName);
        row.IconIndex = iconIndex;
    }
    FRows.push_back(row);
}

const TResultRows::TRow& TResultRows::Recorded(std::size_t index) const
{
    const TRow& row = FRows.at(index);
    if (row.Record != rsPending)
        return row;
    TRow& pending = const_cast<TResultRows*>(this)->FRows[index];
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

const TResultRows::TRow& TResultRows::Typed(std::size_t index) const
{
    const TRow& row = FRows.at(index);
    if (row.TypeIndex != PendingType)
        return row;
    auto* self = const_cast<TResultRows*>(this);
    TRow& pending = self->FRows[index];
    const TShellType* type = FTypeSource ? FTypeSource(pending.Path(), pending.Attributes) : nullptr;
    if (!type || type->Name.empty()) {
        pending.TypeIndex = 0;
        pending.IconIndex = -1;
        return pending;
    }
    auto known = self->FTypeByObject.find(type);
    if (known == self->FTypeByObject.end())
        known = self->FTypeByObject.emplace(type, self->TypeIndexOf(type->Name)).first;
    pending.TypeIndex = known->second;
    pending.IconIndex = type->IconIndex;
    return pending;
}

bool TResultRows::LookUpTypes(std::chrono::steady_clock::time_point deadline, std::size_t maxRows)
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

void TResultRows::Clear()
{
    std::vector<TRow>().swap(FRows);
    FBlocks.clear();
    FBlockUsed = FBlockSize = 0;
    FTypeCursor = 0;
    FTypeNames.resize(1);
    FTypeIndex.clear();
    FTypeByObject.clear();
}

std::string_view TResultRows::TypeOf(const TRow& row) const
{
    return row.TypeIndex != 0 ? std::string_view(FTypeNames[row.TypeIndex]) : ExtensionOfName(row.Name());
}

std::string_view TResultRows::TypeCell(int row) const
{
    return TypeOf(Typed(static_cast<std::size_t>(row)));
}

int TResultRows::IconIndex(int row) const
{
    return Typed(static_cast<std::size_t>(row)).IconIndex;
}

bool TResultRows::Gone(int row) const
{
    return Recorded(static_cast<std::size_t>(row)).Record == rsGone;
}

TFileTime TResultRows::LastWrite(int row) const
{
    return Recorded(static_cast<std::size_t>(row)).LastWrite;
}

std::uint64_t TResultRows::Size(int row) const
{
    return Recorded(static_cast<std::size_t>(row)).Size;
}

std::string TResultRows::ModifiedCell(int row) const
{
    const TRow& r = Recorded(static_cast<std::size_t>(row));
    return r.Record == rsGone ? std::string() : FDateFormat(r.LastWrite);
}

std::string TResultRows::SizeCell(int row) const
{
    const TRow& r = Recorded(static_cast<std::size_t>(row));
    return r.Record == rsGone ? std::string() : std::to_string(r.Size);
}

std::string TResultRows::Tip(int row) const
{
    const TRow& r = At(row);
    if (r.FoundLength == 0)
        return {};
    std::string tip = "...";
    tip += r.FoundText();
    tip += "...";
    if (r.MatchLength != 0) {
        tip += "\n(";
        tip += r.Match();
        tip += ')';
    }
    return tip;
}

TResultRow TResultRows::Cells(int row) const
{
    Recorded(static_cast<std::size_t>(row));
    const TRow& r = Typed(static_cast<std::size_t>(row));
    TResultRow cells;
    cells.Name = r.Name();
    cells.Folder = r.Folder();
    cells.Type = TypeOf(r);
    if (r.Record != rsGone) {
        cells.Modified = FDateFormat(r.LastWrite);
        cells.Size = std::to_string(r.Size);
    }
    return cells;
}

TFindFileInfo TResultRows::Info(int row) const
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

void TResultRows::ApplyOrder(const std::vector<std::uint32_t>& order)
{
    std::vector<TRow> rows;
    rows.reserve(FRows.size());
    for (std::uint32_t old : order)
        rows.push_back(FRows[old]);
    FRows.swap(rows);
}

std::vector<std::uint32_t> TResultRows::SortOrder(int column, bool ascending) const
{
    if (column < 0 || column >= ColumnCount)
        return {};
    std::vector<std::uint32_t> order(FRows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::uint32_t>(i);
    if (FRows.size() < 2)
        return order;

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
        return column == rcName ? r.Name() : column == rcFolder ? r.Folder() : TypeOf(r);
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
        int cmp = a.Value < b.Value ? -1 : (a.Value > b.Value ? 1 : 0);
        // Rows of one type share their cell's bytes: the same text needs no comparing.
        if (cmp == 0 && text && (a.Text != b.Text || a.Length != b.Length))
            cmp = FoldedCompare({a.Text, a.Length}, {b.Text, b.Length});
        if (cmp != 0)
            return ascending ? cmp < 0 : cmp > 0;
        return a.Row < b.Row;
    };
    std::sort(keys.begin(), keys.end(), less);
    for (std::size_t i = 0; i < keys.size(); ++i)
        order[i] = keys[i].Row;
    return order;
}

TResultRows::TRemoval TResultRows::PlanRemoval(std::vector<int> rows) const
{
    TRemoval plan;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= Count(); }), rows.end());
    if (rows.empty())
        return plan;

    // Runs of neighbouring rows, highest first: removing from the bottom keeps the lower numbers valid.
    std::vector<std::pair<int, int>> runs;
    for (int r : rows) {
        if (!runs.empty() && runs.back().first == r + 1)
            runs.back().first = r;
        else
            runs.emplace_back(r, r);
    }
    if (runs.size() <= MaxRemovalRuns) {
        plan.Runs = std::move(runs);
        return plan;
    }

    // Many scattered rows: keep the survivors in order, move the doomed rows behind them, cut them off.
    std::vector<char> doomed(FRows.size(), 0);
    for (int r : rows)
        doomed[static_cast<std::size_t>(r)] = 1;
    plan.Order.reserve(FRows.size());
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (!doomed[i])
            plan.Order.push_back(static_cast<std::uint32_t>(i));
    plan.Keep = static_cast<int>(plan.Order.size());
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (doomed[i])
            plan.Order.push_back(static_cast<std::uint32_t>(i));
    return plan;
}

void TResultRows::EraseRange(int first, int last)
{
    FRows.erase(FRows.begin() + first, FRows.begin() + last + 1);
}

} // namespace trovex
