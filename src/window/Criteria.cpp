// SPDX-License-Identifier: MIT
// Criteria to engine; see Criteria.h.
#include "window/Criteria.h"

#include <stdexcept>

#include "search/FindFile.h"
#include "window/PlacementMath.h"

namespace trovex
{

TCodePages CodePagesOf(const TCriteria& criteria)
{
    if (criteria.AllCodePages)
        return cpAll;
    TCodePages codePages = 0;
    if (criteria.Ansi)
        codePages |= cpWindows;
    if (criteria.Oem)
        codePages |= cpDos;
    if (criteria.Koi8)
        codePages |= cpKoi8r;
    if (criteria.Unicode)
        codePages |= cpUnicode;
    if (criteria.Utf8)
        codePages |= cpUtf8;
    return codePages == 0 ? cpWindows : codePages;
}

int ParseCount(const std::string& text)
{
    const std::optional<int> value = ParseInteger(text);
    if (!value)
        throw std::runtime_error("'" + text + "' is not a valid integer value");
    return *value;
}

std::optional<TDateRange> DateRangeOf(const TCriteria& criteria, const TDateTime& now)
{
    if (!criteria.UseDate)
        return std::nullopt;
    switch (criteria.DateOption) {
    case doMonths:
        return LastMonthsRange(now, ParseCount(criteria.LastMonths));
    case doDays:
        return LastDaysRange(now, ParseCount(criteria.LastDays));
    case doFromTo:
        break;
    }
    // A "to" date of today means up to the moment the search starts.
    return TDateRange{criteria.DateFrom, criteria.DateToIsToday ? now : criteria.DateTo};
}

void FillEngine(TFindFile& engine, const TCriteria& criteria, const std::optional<TDateRange>& dates)
{
    engine.SetMask(ComposeMask(criteria.Named, TypesMaskOf(criteria.TypeItem)));
    engine.ContainingText = criteria.Text;
    engine.ExcludedText = criteria.NoText;
    engine.SetFolder(criteria.Folder);
    engine.SetSubFolders(criteria.SubFolders);
    engine.CaseSensitive = criteria.CaseSensitive;
    engine.CodePages = CodePagesOf(criteria);
    engine.UseDate = dates.has_value();
    engine.InZip = criteria.InZip;
    // A row's size and date are read when first shown or sorted by: a search by name then reads
    // no more than the folders' listings.
    engine.NeedRecords = false;
    if (dates) {
        engine.SetDateTo(dates->To);
        engine.SetDateFrom(dates->From);
    }
}

} // namespace trovex
