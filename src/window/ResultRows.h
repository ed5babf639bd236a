// SPDX-License-Identifier: MIT
// TResultRows, the rows of the result list without a toolkit: one compact record per found file with
// its exact path bytes, cells made on demand, the record (size, date) and the shell type read lazily,
// the sort rule of each column, the tip, and removal plans. Made for a million rows: no per-row heap
// blocks, no re-sort on append. User-interface thread only, except that Append and AppendShellTyped
// may run on a worker while the user-interface thread is parked (a lent delivery).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "search/FindFile.h"
#include "search/Report.h"

namespace trovex
{

class TResultRows
{
public:
    static constexpr int ColumnCount = 5;
    enum TColumn : int { rcName = 0, rcFolder = 1, rcType = 2, rcModified = 3, rcSize = 4 };

    /// The shell's view of a row's file: its type name (UTF-8) and icon slot. An empty name keeps the
    /// extension as the Type cell, with no icon.
    struct TShellType
    {
        std::string Name;
        int IconIndex = -1;
    };
    /// The type of the row's file, or null for none. The source keeps each type it hands out alive and
    /// unchanged while it is the rows' source, and hands out the same object for the same type: a large
    /// sort then tells types apart by their address, without comparing or hashing names per row.
    using TTypeSource = std::function<const TShellType*(std::string_view path, std::uint32_t attributes)>;
    /// The Modified cell of a last write time (UTC); by default "YYYY-MM-DD HH:MM:SS" local time.
    using TDateFormat = std::function<std::string(TFileTime lastWriteUtc)>;

    TResultRows();
    ~TResultRows();

    /// Appends a row for `info` at the end whatever the current order. A non-empty `typeName` becomes the
    /// Type cell and `iconIndex` the row's icon slot; an empty one makes the Type cell the extension of the
    /// name (no icon). Throws std::length_error for a path or found text beyond 4 GiB.
    void Append(const TFindFileInfo& info, std::string_view typeName = {}, int iconIndex = -1);
    /// Appends a row like Append whose Type cell and icon come from the type source, asked once for the row
    /// when they are first needed (painting, a sort by Type, a report), so adding rows costs no lookup.
    void AppendShellTyped(const TFindFileInfo& info);
    /// Where AppendShellTyped rows learn their type; without one they show the extension.
    void SetTypeSource(TTypeSource source)
    {
        FTypeSource = std::move(source);
        FTypeByObject.clear(); // the old source's objects may go
    }
    void SetDateFormat(TDateFormat format);
    /// Removes every row and releases their storage.
    void Clear();
    int Count() const { return static_cast<int>(FRows.size()); }

    // Row accessors; `row` < Count(), else std::out_of_range.
    /// The row's file as the system named it: folder and name bytes, not necessarily UTF-8. Every
    /// operation on the file uses these.
    std::string Path(int row) const { return std::string(At(row).Path()); }
    std::string_view Name(int row) const { return At(row).Name(); }
    std::string_view Folder(int row) const { return At(row).Folder(); }
    /// The Type cell: the shell's type name (looked up now if it is still pending), else the extension.
    std::string_view TypeCell(int row) const;
    /// The icon slot, -1 for none (looks the type up when pending).
    int IconIndex(int row) const;
    /// True when the file was gone when its record was wanted: no size, no date.
    bool Gone(int row) const;
    /// The last write time and size (the record is read now if it was deferred).
    TFileTime LastWrite(int row) const;
    std::uint64_t Size(int row) const;
    /// The Modified and Size cells; empty for a row whose file is gone.
    std::string ModifiedCell(int row) const;
    std::string SizeCell(int row) const;
    /// The text around the hit as "..." + text + "...", with where and how the file matched on a line
    /// of its own in parentheses; empty when the row has no found text.
    std::string Tip(int row) const;
    /// The five cells as shown, in UTF-8 (what reports write).
    TResultRow Cells(int row) const;
    /// A copy of the row's found-file record rebuilt from what the row keeps: Name, FileName (= full
    /// path), FoundText, the attributes, last write time and 64-bit size, and Attr, Size and Time derived
    /// from them as the engine derives them. The creation and last access times are not kept (zero).
    TFindFileInfo Info(int row) const;

    /// The order that sorts all rows by `column`: entry i is the row that goes to position i. Name,
    /// Folder and Type compare byte by byte with only a-z taken as A-Z (a prefix first); Modified
    /// compares the last write times, Size the sizes. `ascending` false reverses the order. Rows that
    /// compare equal keep their relative order. An empty order for a column out of range.
    std::vector<std::uint32_t> SortOrder(int column, bool ascending) const;
    /// Rearranges the rows: entry i of `order` is the row that goes to position i.
    void ApplyOrder(const std::vector<std::uint32_t>& order);

    /// How to remove a set of rows: either `Runs` of neighbouring rows (first, last), highest first,
    /// removed one after the other; or, when they are scattered, `Order` puts the survivors first in
    /// their order and the doomed ones after them, and everything from `Keep` on is cut off.
    struct TRemoval
    {
        std::vector<std::pair<int, int>> Runs;
        std::vector<std::uint32_t> Order;
        int Keep = 0;
        bool Empty() const { return Runs.empty() && Order.empty(); }
    };
    /// The plan for `rows` (any order; duplicates and rows out of range are ignored).
    TRemoval PlanRemoval(std::vector<int> rows) const;
    /// Removes rows first..last.
    void EraseRange(int first, int last);

    /// Looks up the deferred types of AppendShellTyped rows, in row order, until `deadline` has passed
    /// or `maxRows` were looked up, so a large list can be done in slices between events. True when no
    /// row's type is left to look up (a sort by Type then asks nothing more).
    bool LookUpTypes(std::chrono::steady_clock::time_point deadline, std::size_t maxRows);

private:
    // A row found by name alone comes without its size and date; they are read when first needed.
    enum TRecordState : std::uint8_t
    {
        rsKnown,
        rsPending,
        rsGone, // the file was not there any more when its record was wanted: no size, no date
    };
    // One found file. The bytes (folder + name, then FoundText) live in FBlocks, so a row is 56 bytes
    // whatever the length of its path.
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

    const TRow& At(int row) const { return FRows.at(static_cast<std::size_t>(row)); }
    const char* Store(std::string_view a, std::string_view b, std::string_view c, std::string_view d = {});
    void AddRow(const TFindFileInfo& info, std::string_view typeName, int iconIndex, bool pending);
    std::uint32_t TypeIndexOf(std::string_view typeName);
    /// The row with its deferred record read, if it had one. Reading it changes no cell anyone has
    /// seen yet, so it may happen behind a const view; likewise the type.
    const TRow& Recorded(std::size_t row) const;
    const TRow& Typed(std::size_t row) const;
    std::string_view TypeOf(const TRow& row) const;

    std::vector<TRow> FRows;
    // Append-only byte blocks that never move, so rows can point into them; freed by Clear.
    std::vector<std::unique_ptr<char[]>> FBlocks;
    std::size_t FBlockUsed = 0;
    std::size_t FBlockSize = 0;
    // Shell type names seen so far; a row keeps only its index. Slot 0 is unused.
    std::vector<std::string> FTypeNames;
    struct TNameHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::unordered_map<std::string, std::uint32_t, TNameHash, std::equal_to<>> FTypeIndex;
    std::unordered_map<const TShellType*, std::uint32_t> FTypeByObject; // the source's types -> index
    std::size_t FTypeCursor = 0; // LookUpTypes goes on from here
    TTypeSource FTypeSource;
    TDateFormat FDateFormat;
};

} // namespace trovex
