// SPDX-License-Identifier: MIT
#include "search/Report.h"

#include "platform/PathDelim.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace trovex
{

std::string FolderOf(std::string_view path)
{
    std::size_t slash = path.find_last_of(PathDelims);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtensionOf(std::string_view path)
{
    std::size_t slash = path.find_last_of(PathDelims);
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return std::string(path.substr(dot + 1));
}

std::string FormatDateTime(const TDateTime& d)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", d.Year, d.Month, d.Day, d.Hour, d.Minute,
                  d.Second);
    return text;
}

std::string MatchText(const TFindFileInfo& info)
{
    if (info.FoundPlace.empty() || info.FoundForm.empty())
        return info.FoundPlace + info.FoundForm;
    return info.FoundPlace + ", " + info.FoundForm;
}

TResultRow MakeResultRow(const TFindFileInfo& info)
{
    TResultRow row;
    row.Name = info.Name;
    row.Folder = FolderOf(info.FileName);
    row.Type = ExtensionOf(info.FileName);
    row.Modified = FormatDateTime(FileTimeToLocal(info.FindData.LastWriteTime));
    row.Size = std::to_string(info.FindData.Size);
    row.Match = MatchText(info);
    return row;
}

char ReportSeparator(std::string_view fileName)
{
    std::size_t slash = fileName.find_last_of(PathDelims);
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return '\t';
    std::string ext(fileName.substr(dot));
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return ext == ".csv" ? ',' : '\t';
}

std::string ReportLine(const TResultRow& row, const TReportFields& fields, char separator)
{
    std::string line;
    auto add = [&](const std::string& field) {
        line += field;
        line.push_back(separator);
    };
    if (fields.All) {
        add(row.Name);
        add(row.FullPath());
        add(row.Modified);
        add(row.Size);
    } else {
        if (fields.FileName) {
            if (fields.FileExt) {
                add(row.Name);
            } else {
                std::size_t dot = row.Name.rfind('.');
                add(dot == std::string::npos ? row.Name : row.Name.substr(0, dot));
            }
        } else if (fields.FileExt) {
            add(row.Type);
        }
        if (fields.Path)
            add(row.FullPath());
        if (fields.Date)
            add(row.Modified);
        if (fields.Size)
            add(row.Size);
    }
    if (fields.Match)
        add(row.Match);
    if (!line.empty())
        line.pop_back(); // the final separator
    return line;
}

TReportWriter::TReportWriter(const std::string& fileName, const TReportFields& fields)
    : FFileName(fileName), FFields(fields), FSeparator(ReportSeparator(fileName))
{
    FFile = std::fopen(fileName.c_str(), "wb");
    if (!FFile)
        throw std::runtime_error("Cannot create file " + fileName);
}

TReportWriter::~TReportWriter()
{
    if (FFile)
        std::fclose(FFile);
}

void TReportWriter::Add(const TResultRow& row)
{
    std::string line = ReportLine(row, FFields, FSeparator);
    line += "\r\n";
    std::fwrite(line.data(), 1, line.size(), FFile);
}

void TReportWriter::Close()
{
    if (!FFile)
        return;
    bool failed = std::ferror(FFile) != 0;
    failed |= std::fclose(FFile) != 0;
    FFile = nullptr;
    if (failed)
        throw std::runtime_error("Cannot write file " + FFileName);
}

void WriteReport(const std::string& fileName, const std::vector<TResultRow>& rows, const TReportFields& fields)
{
    TReportWriter writer(fileName, fields);
    for (const TResultRow& row : rows)
        writer.Add(row);
    writer.Close();
}

} // namespace trovex
