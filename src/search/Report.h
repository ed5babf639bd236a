// SPDX-License-Identifier: MIT
// Result rows as the list and the reports show them, and the report writer: one line per row,
// fields chosen by the report options, tab-separated unless the file name ends in ".csv", CR LF after
// every line, no header and no quoting.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "search/FindFile.h"

namespace trovex
{

/// The cells of one result row.
struct TResultRow
{
    std::string Name;     ///< "File name"
    std::string Folder;   ///< "Folder": the path up to and including its last '/'
    std::string Type;     ///< "Type": the extension without its dot, or a type name
    std::string Modified; ///< "Modified"
    std::string Size;     ///< "Size": decimal, no grouping
    std::string Match;    ///< where and in which form the hit was (see MatchText)
    std::string FullPath() const { return Folder + Name; }
};

/// The path part of a full path: everything up to and including the last '/'.
std::string FolderOf(std::string_view path);
/// The text after the last dot that follows the last '/'; empty when there is none.
std::string ExtensionOf(std::string_view path);
/// "YYYY-MM-DD HH:MM:SS" of a local date-time.
std::string FormatDateTime(const TDateTime& local);
/// Where and in which form a file matched, as one text: the place in the file ("page 3", "sheet
/// Budget", "slide 12", "member docs/a.txt"), then the form ("name", "ANSI 1251", "UTF-16LE"),
/// joined by ", " when there are both.
std::string MatchText(const TFindFileInfo& info);
/// The row trovex-cli prints and reports: the Type cell is the extension, Modified the full local
/// time of the last write, Size the whole 64-bit size.
TResultRow MakeResultRow(const TFindFileInfo& info);

/// The report options: "File name", "Extention", "Full path", "Date && time", "File size", "All".
struct TReportFields
{
    bool FileName = false;
    bool FileExt = false;
    bool Path = true;
    bool Date = false;
    bool Size = false;
    bool All = false;
    bool Match = false; ///< the MatchText of each row, last (not part of All)
};

/// ',' for a name whose extension, lower-cased, is ".csv"; a tab otherwise.
char ReportSeparator(std::string_view fileName);
/// One line without its line end.
std::string ReportLine(const TResultRow& row, const TReportFields& fields, char separator);

/// Writes a report line by line, as rows arrive.
class TReportWriter
{
public:
    /// Creates or replaces the file; throws std::runtime_error("Cannot create file <name>").
    TReportWriter(const std::string& fileName, const TReportFields& fields);
    ~TReportWriter();
    TReportWriter(const TReportWriter&) = delete;
    TReportWriter& operator=(const TReportWriter&) = delete;

    void Add(const TResultRow& row);
    /// Flushes and closes; throws std::runtime_error when the data could not be written.
    void Close();

private:
    std::FILE* FFile = nullptr;
    std::string FFileName;
    TReportFields FFields;
    char FSeparator;
};

/// Writes all rows at once (the window's "Report..." and "Save report...").
void WriteReport(const std::string& fileName, const std::vector<TResultRow>& rows, const TReportFields& fields);

} // namespace trovex
