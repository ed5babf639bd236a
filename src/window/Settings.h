// SPDX-License-Identifier: MIT
// The window's stored settings over the per-user store: the program key with the three histories,
// the check boxes in their fixed order, the two totals, and in its "Placement" section the column
// widths and the language name. What each value is called, its type, its default, and what a
// missing or damaged value does to the rest: decided here once for every face.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Store.h"

namespace trovex
{

class TPlacementSection;

/// The program key; its subkey "Placement" holds the window's placement, column widths and language.
constexpr std::string_view ProgramKeyName = "Software\\Brenvik\\Trovex";
constexpr std::string_view PlacementSectionName = "Placement";
/// Entries of each history the store keeps.
constexpr int HistorySize = 10;
/// Columns of the result list.
constexpr int ListColumnCount = 5;
/// A column width that fits the column to its title.
constexpr int FitTitleWidth = -2;

/// The stored check boxes, in the order they are read and written.
enum TStoredCheck : std::uint8_t
{
    scMainMenu,
    scShellMenu,
    scRecycle,
    scFlashOnFind,
    scSubFolders,
    scAnsi,
    scOem,
    scKoi8,
    scUnicode,
    scComboStyle,
    scIcons,
    scInZip,
    scHints,
    scReport,
    scReportAll,
    scReportFileName,
    scReportExt,
    scReportPath,
    scReportDate,
    scReportSize,
    scUtf8,
    scCount
};

struct TCheckSetting
{
    const char* Name;    ///< the value's name in the program key
    const char* Control; ///< the check box's control name
    bool Default;        ///< its state in the window as designed
};

/// In TStoredCheck order.
extern const std::array<TCheckSetting, scCount> CheckSettings;

/// The histories, newest first, each entry the exact bytes typed or found.
struct THistories
{
    std::vector<std::string> Masks;
    std::vector<std::string> Folders;
    std::vector<std::string> Texts;
};

/// What the program key gave at start.
struct TRestoredSettings
{
    std::uint32_t TotalFiles = 0;
    std::uint32_t TotalFound = 0;
    THistories Histories;
    /// The check boxes restored, in TStoredCheck order: the first missing or damaged value ends the
    /// list, and every box from it on keeps its design state.
    std::vector<bool> Checks;
};

/// Reads the program key, creating it when missing. Totals missing or of another type read as 0;
/// empty history entries are skipped; a history value of another type ends the histories there and
/// appends "*.txt", "*.doc", "*.rtf" to the masks and `defaultFolder` to the folders.
TRestoredSettings ReadSettings(TKeyStore& store, std::string_view defaultFolder);

/// What the window has at close.
struct TSavedSettings
{
    std::uint32_t TotalFiles = 0;
    std::uint32_t TotalFound = 0;
    THistories Histories;
    std::array<bool, scCount> Checks{};
};

/// Writes the program key: ten entries per history (empty beyond a list's end; the folders as
/// expandable strings), every check box as 1 or 0, and the totals.
void WriteSettings(TKeyStore& store, const TSavedSettings& settings);

/// The column widths of "ListCol1".."ListCol5"; FitTitleWidth for each missing or not a number.
std::array<int, ListColumnCount> ReadColumnWidths(const TPlacementSection& section);
void WriteColumnWidths(TPlacementSection& section, const std::array<int, ListColumnCount>& widths);
/// "LangName"; empty when missing.
std::string ReadLanguageName(const TPlacementSection& section);
void WriteLanguageName(TPlacementSection& section, std::string_view name);

/// A running total grown by one run's count; it stops at the largest DWORD instead of wrapping.
void AddToTotal(std::uint32_t& total, std::int64_t count);

} // namespace trovex
