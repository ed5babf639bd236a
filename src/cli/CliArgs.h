// SPDX-License-Identifier: MIT
// trovex-cli's command line: parsed into plain options, checked, with a one-line error for
// anything wrong. No engine work happens here.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "search/Report.h"

namespace trovex
{

/// A usage error (unknown option, missing or bad value): the message is printed on one line,
/// followed by the hint to --help, and the exit status is 2. Other errors print only their line.
class EUsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct TCliOptions
{
    std::string Folder; ///< empty: the current folder
    std::string Named;
    int Type = 0;
    bool SubFolders = true;
    std::string Containing;
    std::string Excluding;
    bool CaseSensitive = false;
    TCodePages CodePages = cpWindows | cpUnicode | cpUtf8;
    bool InZip = true;
    bool Documents = true;
    std::optional<TDateTime> From;
    std::optional<TDateTime> To;
    std::optional<int> LastMonths;
    std::optional<int> LastDays;
    std::string InList;
    std::string ListOnly;
    bool Long = false;
    bool Context = false;
    bool ShowMatch = false;
    bool Null = false;
    std::string Report;
    TReportFields Fields;
    bool Stats = false;
    std::string Skipped; ///< where the files not searched in full are written, empty: nowhere
    bool Quiet = false;
    int Threads = 0; ///< 0: one per core
    bool LineBuffered = false;
    int AnsiCodePage = 0;
    int OemCodePage = 0;
    bool Help = false;
    bool Version = false;
};

/// Parses argv[1..]; throws EUsageError.
TCliOptions ParseCliArgs(const std::vector<std::string>& args);
/// "windows,dos,koi8r,unicode,utf8" or "all"; throws EUsageError for an unknown name.
TCodePages ParseCodePages(const std::string& list);
/// "name,ext,path,date,size" or "all"; throws EUsageError.
TReportFields ParseFields(const std::string& list);
/// YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]; a bare date is the day's start, or with endOfDay its last
/// 100-ns tick. Throws EUsageError.
TDateTime ParseDate(const std::string& text, bool endOfDay);

extern const char* const CliHelp;

} // namespace trovex
