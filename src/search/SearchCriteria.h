// SPDX-License-Identifier: MIT
// Turning what a person typed into engine criteria, shared by the window and trovex-cli: the
// file-type presets, the mask composed from "Named:" and "Of type:", and the date ranges of the
// "during the previous N months / days" options.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace trovex
{

/// The "Of type:" items, in order; the masks are the text between the first "(" and ")".
constexpr std::array<std::string_view, 8> TypePresets = {
    "All files: (*.*)",
    "MS Word: (*.doc; *.rtf)",
    "Office files: (*.doc; *.xls; *.ppt; *.obd; *.mdb)",
    "Adobe PDF: (*.pdf)",
    "Internet files: (*.htm; *.html)",
    "Text files: (*.txt)",
    "Templates: (*.dot; *.xlt; *.oft; *.pot; *.obt)",
    "Pictures: (*.jpg; *.jpeg; *.gif; *.bmp)",
};

/// The text between the first "(" and the first ")" after it; empty when there is none.
std::string TypesMaskOf(std::string_view typeItem);
/// An empty name gives the type's masks ("*.*" when those are empty too); a name with "*", "?" or
/// "." is used as it stands; a bare word W is put as "*W" before every "." of the type's masks.
std::string ComposeMask(std::string_view named, std::string_view typesMask);

struct TDateRange
{
    TDateTime From;
    TDateTime To;
};
/// The start of today moved back `months` calendar months (to the month's last day when shorter), to now.
TDateRange LastMonthsRange(const TDateTime& now, int months);
/// The start of today minus `days` days, to now.
TDateRange LastDaysRange(const TDateTime& now, int days);
/// `date` moved by whole days (negative goes back), time of day kept.
TDateTime AddDays(const TDateTime& date, int days);

} // namespace trovex
