// SPDX-License-Identifier: MIT
// What a spreadsheet cell shows rather than what it stores: a date is stored as a serial day
// number and shown through its number format ("yyyy-mm-dd", "mmmm d, yyyy"); a print header or
// footer is stored with &-codes for its sections, fonts and fields, which nobody sees.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace trovex
{

/// The format code of a built-in number format that shows a date or time; empty for the others.
std::string_view BuiltInDateFormat(std::uint32_t id);

/// True when a format code shows a date or a time (y, m, d, h or s outside quoted text, escapes
/// and bracketed locale or colour codes); "General" and number formats are not.
bool IsDateFormat(std::string_view code);

/// The date and time `serial` stands for, written as `code` shows it (its first section), in
/// English month and day names. `date1904`: the workbook counts days from 1904-01-01, else from
/// 1900-01-00 with the 1900 leap day the old convention keeps. Empty for a serial out of range.
std::string FormatSerialDate(double serial, bool date1904, std::string_view code);

/// A print header or footer without its &-codes: the sections (&L &C &R) parted by a space,
/// fonts, sizes, styles and colours dropped, fields (&P page, &N pages, &D date, &T time, &F file,
/// &A sheet, &Z path, &G picture) dropped, "&&" kept as one "&".
std::string HeaderFooterText(std::string_view coded);

} // namespace trovex
