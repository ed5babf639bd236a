// SPDX-License-Identifier: MIT
// The criteria as the window's pages hold them, turned into a freshly made engine: the mask composed
// from "Named:" and "Of type:", the code pages from the option boxes, and the date range from the
// chosen "Date Modified" option. Texts are the exact bytes of the fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "search/SearchCriteria.h"

namespace trovex
{

class TFindFile;

/// Which "Date Modified" option is chosen.
enum TDateOption : std::uint8_t
{
    doFromTo, ///< "from" ... "to"
    doMonths, ///< "during the previous" N "month(s)"
    doDays,   ///< "during the previous" N "days(s)"
};

/// What the pages "Name && Location" and "Advanced" hold.
struct TCriteria
{
    std::string Named;    ///< "Named:"
    std::string TypeItem; ///< the "Of type:" item, e.g. "MS Word: (*.doc; *.rtf)"
    std::string Text;     ///< "Containing text:"
    std::string NoText;   ///< "but has no:"
    std::string Folder;   ///< "Look in:"
    bool SubFolders = true;
    bool CaseSensitive = false;
    bool AllCodePages = false;
    bool Ansi = true;
    bool Oem = false;
    bool Unicode = true;
    bool Koi8 = false;
    bool Utf8 = true;
    bool InZip = true;
    bool UseDate = false;
    TDateOption DateOption = doFromTo;
    TDateTime DateFrom;      ///< the "from" picker's full value
    TDateTime DateTo;        ///< the "to" picker's full value
    bool DateToIsToday = false; ///< the "to" picker shows today's date: the range ends at the moment of the search
    std::string LastMonths;  ///< the months box's text
    std::string LastDays;    ///< the days box's text
};

/// The code pages of the options: every page with "Use all code pages", else the checked ones,
/// cpWindows when none is.
TCodePages CodePagesOf(const TCriteria& criteria);

/// The count of a "during the previous" box. Throws std::runtime_error
/// "'<text>' is not a valid integer value" for text that is not a whole number.
int ParseCount(const std::string& text);

/// The date range the criteria ask for at `now` (local time), nullopt without "Date Modified".
/// Throws as ParseCount does for the chosen option's count; the other box is not looked at.
std::optional<TDateRange> DateRangeOf(const TCriteria& criteria, const TDateTime& now);

/// Fills a new engine: mask, texts, folder, subfolders, case, code pages, ZIP option and `dates`.
void FillEngine(TFindFile& engine, const TCriteria& criteria, const std::optional<TDateRange>& dates);

} // namespace trovex
