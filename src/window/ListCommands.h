// SPDX-License-Identifier: MIT
// The result list's commands apart from drawing and asking: writing a report of every row, the names
// the two reports get, and which rows a delete really removed. The file dialogs, the question before
// replacing a file, opening the report and the removal from the view stay with the face.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/Report.h"
#include "window/ResultRows.h"

namespace trovex
{

/// The report fields as the report check boxes are set; `checked` tells the state of a check box by
/// its control name (CheckRFileName … CheckRAll).
TReportFields ReportFieldsOf(const std::function<bool(std::string_view control)>& checked);

/// Writes one line per row, in the rows' current order, as TReportWriter does; throws its
/// std::runtime_error when the file cannot be created or written.
void WriteReport(const std::string& fileName, const TResultRows& rows, const TReportFields& fields);

/// Where "Report..." writes the report it hands to the viewer: ff<foundCount>.txt in the folder for
/// temporary files (TempFolder).
std::string TemporaryReportName(int foundCount);

/// The name "Save report..." offers first.
constexpr std::string_view DefaultReportName = "FileList";
/// The file a chosen name stands for: ".txt" is added when its last part has no extension, that is
/// no dot or nothing after its last dot (".profile" has the extension "profile").
std::string SavedReportName(std::string_view chosen);

/// Of `rows` (row numbers, any order), those whose file or folder is no longer there, looked up by
/// the rows' own path bytes (EntryExists), so a file of a similar name cannot stand in for a vanished
/// one. In descending order, ready for the removal. Rows out of range are left out.
std::vector<int> GoneRows(const TResultRows& rows, const std::vector<int>& candidates);

} // namespace trovex
