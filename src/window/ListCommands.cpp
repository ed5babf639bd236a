// SPDX-License-Identifier: MIT
// The result list's commands without drawing; see ListCommands.h.
#include "window/ListCommands.h"

#include <algorithm>
#include <functional>

#include "platform/FileSystem.h"
#include "platform/PathDelim.h"

namespace trovex
{

TReportFields ReportFieldsOf(const std::function<bool(std::string_view control)>& checked)
{
    TReportFields fields;
    fields.FileName = checked("CheckRFileName");
    fields.FileExt = checked("CheckRFileExt");
    fields.Path = checked("CheckRPath");
    fields.Date = checked("CheckRDate");
    fields.Size = checked("CheckRSize");
    fields.All = checked("CheckRAll");
    return fields;
}

void WriteReport(const std::string& fileName, const TResultRows& rows, const TReportFields& fields)
{
    TReportWriter writer(fileName, fields);
    for (int row = 0; row < rows.Count(); ++row)
        writer.Add(rows.Cells(row));
    writer.Close();
}

std::string TemporaryReportName(int foundCount)
{
    return TempFolder() + "ff" + std::to_string(foundCount) + ".txt";
}

std::string SavedReportName(std::string_view chosen)
{
    const std::size_t delim = chosen.find_last_of(PathDelims);
    const std::string_view name = delim == std::string_view::npos ? chosen : chosen.substr(delim + 1);
    const std::size_t dot = name.rfind('.');
    std::string fileName(chosen);
    if (dot == std::string_view::npos || dot + 1 == name.size())
        fileName += ".txt";
    return fileName;
}

std::vector<int> GoneRows(const TResultRows& rows, const std::vector<int>& candidates)
{
    std::vector<int> gone;
    for (int row : candidates)
        if (row >= 0 && row < rows.Count() && !EntryExists(rows.Path(row)))
            gone.push_back(row);
    std::sort(gone.begin(), gone.end(), std::greater<int>());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    return gone;
}

} // namespace trovex
