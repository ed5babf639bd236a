// SPDX-License-Identifier: MIT
#include "cli/CliArgs.h"

#include <charconv>
#include <map>

namespace trovex
{

const char* const CliHelp = R"HELP(Usage: trovex-cli [OPTION]... [FOLDER]
Search FOLDER (default: the current folder) for files by name, date and content.

  FOLDER                    the folder to search ("Look in:"); default: the current folder
  -n, --named TEXT          the "Named:" text: masks or a bare word (default: empty)
                            ("*.*" finds every file, with an extension or without one)
  -t, --type N              file-type preset 0-7 of the "Of type:" list (default 0, "All files: (*.*)")
      --no-subfolders       do not descend ("Include subfolders" off)
  -c, --containing TEXT     text a file must contain
  -x, --excluding TEXT      text a file must not contain ("but has no:")
  -s, --case-sensitive
  -e, --codepages LIST      comma-separated: windows,dos,koi8r,unicode,utf8, or all
                            (default: windows,unicode,utf8 - the window's defaults)
      --no-zip              do not look inside ZIP archives (default: look inside)
      --no-documents        search office documents by their bytes, not by their text. By default
                            the text of Word, Excel, PowerPoint and OpenDocument files (.docx .docm
                            .dotx .dotm .xlsx .xlsm .xltx .xltm .pptx .pptm .ppsx .ppsm .potx .potm
                            .sldx .odt .ott .ods .ots .odp .otp .odg .otg) is searched as UTF-8
                            whatever --codepages says, as is the text of PDF files (always)
      --from DATE --to DATE modified in this range, local time, inclusive; DATE is YYYY-MM-DD or
                            YYYY-MM-DDTHH:MM[:SS]; a bare date means 00:00:00 for --from and the
                            day's last 100-ns tick for --to; --from alone runs up to now, --to alone
                            from the earliest time
      --last-months N       modified during the previous N months (as the window computes it)
      --last-days N         modified during the previous N days
      --in-list FILE        test only the files whose full paths FILE lists, one a line, with the
                            criteria above ("In results"); a FILE holding NUL bytes is read as
                            NUL-separated paths, as -0 writes them
      --list-only FILE      print the listed paths that still exist, no criteria ("Go back")
  -l, --long                print the row cells instead of the path, tab-separated: name, folder,
                            type (the extension), modified (YYYY-MM-DD HH:MM:SS), size (full size)
  -C, --context             after the path (or the cells), a tab and the text around the hit, with
                            backslash, tab, CR and LF written as \\ \t \r \n (the tab is printed
                            even when that text is empty)
      --show-match          after the path (or the cells), a tab and where and how the file
                            matched: the place in a container (page 3, sheet Budget, slide 12,
                            header, comment, member docs/a.txt), then the form: name, or the
                            code page the bytes matched in (ANSI 1251, OEM 866, KOI8-R, UTF-8,
                            UTF-16LE), joined by ", "; before the --context field
  -0, --null                end each record with a NUL byte instead of a newline
      --line-buffered       write each record out as soon as it is found, even when standard
                            output is not a terminal (by default output to a file or pipe is
                            buffered; on a terminal each record is written at once)
      --report FILE         also write the report of the window's "Report..." from the same cells
                            that --long prints (comma-separated when FILE ends in .csv, else tab)
      --fields LIST         report fields: name,ext,path,date,size, or all (default: path); match
                            adds the --show-match text as the last field
      --stats               at the end, print to standard error the two lines
                            "Files found: N" and "Entries examined: M" (M = FilesChecked), and
                            "Not fully searched: N" with a count per reason when there were any
      --skipped FILE        write to FILE one record (reason, tab, path; -0 applies) for each
                            file not found whose text could not be searched in full: cannot open
                            (permission), read error, vanished during the run, damaged archive,
                            member not searched (encrypted, unknown method, damaged), damaged or
                            encrypted PDF, damaged or encrypted document, cut at the size bound,
                            not a regular file (--in-list); and for each folder that could not be
                            listed, or only in part (its path ends in the separator)
      --ansi-codepage N, --oem-codepage N   override the code pages for this run
      --threads N           threads that walk and test (default: one per core when a text is
                            given, else one; at most 4 per core); the output is the same
                            whatever the number
  -q, --quiet               no progress line
  -h, --help, --version

Exit status: 0 when at least one file was found, 1 when none, 2 on an error.
)HELP";

namespace
{

bool ParseNumber(const std::string& text, long long& value)
{
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

int ParseCount(const std::string& option, const std::string& text, int low, int high)
{
    long long value = 0;
    if (!ParseNumber(text, value) || value < low || value > high)
        throw EUsageError("invalid number for " + option + ": '" + text + "' (expected " + std::to_string(low) +
                          "-" + std::to_string(high) + ")");
    return static_cast<int>(value);
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> items;
    std::string item;
    for (char c : list) {
        if (c == ',') {
            items.push_back(item);
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    items.push_back(item);
    return items;
}

} // namespace

TCodePages ParseCodePages(const std::string& list)
{
    static const std::map<std::string, TCodePages> names = {
        {"windows", cpWindows}, {"dos", cpDos}, {"koi8r", cpKoi8r}, {"unicode", cpUnicode}, {"utf8", cpUtf8},
        {"all", cpAll}};
    TCodePages set = 0;
    for (const std::string& item : SplitList(list)) {
        auto it = names.find(item);
        if (it == names.end())
            throw EUsageError("unknown code page '" + item + "' (use windows,dos,koi8r,unicode,utf8 or all)");
        set |= it->second;
    }
    return set;
}

TReportFields ParseFields(const std::string& list)
{
    TReportFields fields;
    fields.Path = false;
    for (const std::string& item : SplitList(list)) {
        if (item == "name")
            fields.FileName = true;
        else if (item == "ext")
            fields.FileExt = true;
        else if (item == "path")
            fields.Path = true;
        else if (item == "date")
            fields.Date = true;
        else if (item == "size")
            fields.Size = true;
        else if (item == "all")
            fields.All = true;
        else if (item == "match")
            fields.Match = true;
        else
            throw EUsageError("unknown report field '" + item + "' (use name,ext,path,date,size,match or all)");
    }
    return fields;
}

TDateTime ParseDate(const std::string& text, bool endOfDay)
{
    auto bad = [&] { return EUsageError("invalid date '" + text + "' (expected YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS])"); };
    auto digits = [&](std::size_t at, std::size_t count) {
        if (at + count > text.size())
            throw bad();
        int value = 0;
        for (std::size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                throw bad();
            value = value * 10 + (text[i] - '0');
        }
        return value;
    };
    if (text.size() != 10 && text.size() != 16 && text.size() != 19)
        throw bad();
    TDateTime d;
    d.Year = digits(0, 4);
    if (text[4] != '-' || text[7] != '-')
        throw bad();
    d.Month = digits(5, 2);
    d.Day = digits(8, 2);
    if (d.Year < 1601 || d.Month < 1 || d.Month > 12 || d.Day < 1 || d.Day > DaysInMonth(d.Year, d.Month))
        throw bad();
    if (text.size() == 10) {
        if (endOfDay) {
            d.Hour = 23;
            d.Minute = 59;
            d.Second = 59;
            d.Ticks = 9999999;
        }
        return d;
    }
    if (text[10] != 'T' || text[13] != ':')
        throw bad();
    d.Hour = digits(11, 2);
    d.Minute = digits(14, 2);
    if (text.size() == 19) {
        if (text[16] != ':')
            throw bad();
        d.Second = digits(17, 2);
    }
    if (d.Hour > 23 || d.Minute > 59 || d.Second > 59)
        throw bad();
    return d;
}

TCliOptions ParseCliArgs(const std::vector<std::string>& args)
{
    TCliOptions o;
    bool haveFolder = false;
    static const std::map<std::string, std::string> shortNames = {
        {"n", "named"},          {"t", "type"}, {"c", "containing"}, {"x", "excluding"}, {"s", "case-sensitive"},
        {"e", "codepages"},      {"l", "long"}, {"C", "context"},    {"0", "null"},      {"q", "quiet"},
        {"h", "help"}};
    static const std::map<std::string, bool> takesValue = {
        {"named", true},        {"type", true},          {"no-subfolders", false}, {"containing", true},
        {"excluding", true},    {"case-sensitive", false}, {"codepages", true},    {"no-zip", false},
        {"no-documents", false},
        {"from", true},         {"to", true},            {"last-months", true},    {"last-days", true},
        {"in-list", true},      {"list-only", true},     {"long", false},          {"context", false},
        {"null", false},        {"report", true},        {"fields", true},         {"stats", false},
        {"skipped", true},      {"show-match", false},
        {"ansi-codepage", true}, {"oem-codepage", true}, {"quiet", false},         {"help", false},
        {"version", false},     {"line-buffered", false}, {"threads", true}};

    // Expand "-lq" and "-nTEXT" into long options first, so one loop handles every spelling.
    std::vector<std::pair<std::string, std::optional<std::string>>> items; // (option or "" for operand, value)
    bool operandsOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (operandsOnly || a == "-" || a.size() < 2 || a[0] != '-') {
            items.emplace_back("", a);
            continue;
        }
        if (a == "--") {
            operandsOnly = true;
            continue;
        }
        std::vector<std::pair<std::string, std::optional<std::string>>> found;
        if (a[1] == '-') {
            std::string name = a.substr(2);
            std::optional<std::string> value;
            if (std::size_t eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
            }
            if (!takesValue.count(name))
                throw EUsageError("unknown option '--" + name + "'");
            found.emplace_back(name, value);
        } else {
            for (std::size_t k = 1; k < a.size(); ++k) {
                auto it = shortNames.find(std::string(1, a[k]));
                if (it == shortNames.end())
                    throw EUsageError(std::string("unknown option '-") + a[k] + "'");
                if (takesValue.at(it->second) && k + 1 < a.size()) {
                    found.emplace_back(it->second, a.substr(k + 1));
                    break;
                }
                found.emplace_back(it->second, std::nullopt);
            }
        }
        for (auto& [name, value] : found) {
            if (takesValue.at(name) && !value) {
                if (i + 1 >= args.size())
                    throw EUsageError("option '--" + name + "' needs a value");
                value = args[++i];
            } else if (!takesValue.at(name) && value) {
                throw EUsageError("option '--" + name + "' takes no value");
            }
            items.emplace_back(name, value);
        }
    }

    for (const auto& [name, valueOpt] : items) {
        const std::string value = valueOpt.value_or("");
        if (name.empty()) {
            if (haveFolder)
                throw EUsageError("only one FOLDER may be given ('" + value + "' is extra)");
            o.Folder = value;
            haveFolder = true;
        } else if (name == "named") {
            o.Named = value;
        } else if (name == "type") {
            o.Type = ParseCount("--type", value, 0, 7);
        } else if (name == "no-subfolders") {
            o.SubFolders = false;
        } else if (name == "containing") {
            o.Containing = value;
        } else if (name == "excluding") {
            o.Excluding = value;
        } else if (name == "case-sensitive") {
            o.CaseSensitive = true;
        } else if (name == "codepages") {
            o.CodePages = ParseCodePages(value);
        } else if (name == "no-zip") {
            o.InZip = false;
        } else if (name == "no-documents") {
            o.Documents = false;
        } else if (name == "from") {
            o.From = ParseDate(value, false);
        } else if (name == "to") {
            o.To = ParseDate(value, true);
        } else if (name == "last-months") {
            o.LastMonths = ParseCount("--last-months", value, 0, 12 * 400);
        } else if (name == "last-days") {
            o.LastDays = ParseCount("--last-days", value, 0, 366 * 400);
        } else if (name == "in-list") {
            o.InList = value;
        } else if (name == "list-only") {
            o.ListOnly = value;
        } else if (name == "long") {
            o.Long = true;
        } else if (name == "context") {
            o.Context = true;
        } else if (name == "show-match") {
            o.ShowMatch = true;
        } else if (name == "null") {
            o.Null = true;
        } else if (name == "report") {
            o.Report = value;
        } else if (name == "fields") {
            o.Fields = ParseFields(value);
        } else if (name == "stats") {
            o.Stats = true;
        } else if (name == "skipped") {
            o.Skipped = value;
        } else if (name == "ansi-codepage") {
            o.AnsiCodePage = ParseCount("--ansi-codepage", value, 1, 65535);
        } else if (name == "oem-codepage") {
            o.OemCodePage = ParseCount("--oem-codepage", value, 1, 65535);
        } else if (name == "threads") {
            o.Threads = ParseCount("--threads", value, 1, 1024);
        } else if (name == "quiet") {
            o.Quiet = true;
        } else if (name == "line-buffered") {
            o.LineBuffered = true;
        } else if (name == "help") {
            o.Help = true;
        } else if (name == "version") {
            o.Version = true;
        }
    }
    int dateModes = (o.From || o.To ? 1 : 0) + (o.LastMonths ? 1 : 0) + (o.LastDays ? 1 : 0);
    if (dateModes > 1)
        throw EUsageError("use only one of --from/--to, --last-months and --last-days");
    if (!o.InList.empty() && !o.ListOnly.empty())
        throw EUsageError("use only one of --in-list and --list-only");
    if (o.InList.empty() && o.ListOnly.empty() && haveFolder && o.Folder.empty())
        throw EUsageError("FOLDER is empty");
    return o;
}

} // namespace trovex
