// SPDX-License-Identifier: MIT
#include "window/SkippedFiles.h"

#include "search/Report.h"

namespace trovex
{

std::string SkippedClipboardText(const std::vector<TSkippedFile>& rows)
{
    std::string text;
    for (const TSkippedFile& file : rows)
        text += file.Reason + '\t' + file.Path + '\n';
    return text;
}

std::string SkippedReportBytes(const std::vector<TSkippedFile>& rows, const std::string& fileName)
{
    const char separator = ReportSeparator(fileName);
    std::string bytes;
    for (const TSkippedFile& file : rows)
        bytes += file.Path + separator + file.Reason + "\r\n";
    return bytes;
}

} // namespace trovex
