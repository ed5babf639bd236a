// SPDX-License-Identifier: MIT
// The content test of one file, shared by the walk's threads and the list mode: each thread keeps
// its own searcher pair, made once with the run's settings.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace trovex
{

class TStringSearch;
class TStream;
enum TFindStatus : std::uint8_t;

struct TContentSettings
{
    std::string Containing;
    std::string Excluding;
    bool CaseSensitive = false;
    TCodePages CodePages = 0;
    /// Office documents (.docx, .xlsx, .odt, ...) are searched through their text, not their bytes.
    bool Documents = true;
};

/// The searcher pair of one thread.
struct TSearcherPair
{
    TSearcherPair(const TContentSettings& settings);
    ~TSearcherPair();
    std::unique_ptr<TStringSearch> Contain;
    std::unique_ptr<TStringSearch> Exclude;
};

/// A searcher made for `pattern` with the settings' case rule and code pages, over `stream` (may be null).
std::unique_ptr<TStringSearch> MakeSearcher(const TContentSettings& settings, const std::string& pattern,
                                            TStream* stream = nullptr);
/// True for a name whose extension, lower-cased, is ".pdf": such files are searched through their text.
bool IsPdfName(std::string_view name);

/// Where the text sought was found in a file, and in which form.
struct TFoundWhere
{
    /// The page (from 1) of a PDF document's hit; 0 for other files and text outside the pages.
    std::int32_t Page = 0;
    /// The form the bytes matched in ("ANSI 1251", "UTF-16LE", ...), for a file searched as bytes;
    /// empty for the text of a PDF or office document.
    std::string Form;
    /// Where in a PDF or office document: "page 3", "sheet Budget", "slide 12", "header", ...
    std::string Place;
};

/// Tests one file: `match` false when the contain text is missing or the exclude text present.
/// Errors opening or reading the file (or decoding a PDF) pass to the caller as EReadError or
/// EPdfError; running out of memory over this one file is an EReadError too. When `cancel` is
/// set meanwhile the test throws ETerminated. With `record`, the file's record is read through the
/// open file, when the test opens it itself (`true` returned). With `where`, where and in which
/// form the contain text was found lands there (left empty when there is none). With `incomplete`, the reason the file's text could not be searched in full lands there (a
/// document or PDF cut at its size bound); it stays empty for a file searched whole.
bool RunContentTest(TSearcherPair& searchers, const TContentSettings& settings, const TFolderListing* listing,
                    const std::string& name, const std::string& path, bool& match, std::string& foundText,
                    const std::atomic<bool>* cancel = nullptr, TFindData* record = nullptr,
                    TFoundWhere* where = nullptr, std::string* incomplete = nullptr);

/// The reasons a file was not searched in full, as the report of such files gives them.
extern const char* const CutAtSizeBound;
extern const char* const CannotOpenPermission;
extern const char* const ReadFailed;
extern const char* const VanishedDuringRun;
extern const char* const NotRegularFile;
extern const char* const DamagedPdf;
extern const char* const DamagedDocument;
extern const char* const DamagedArchive;
extern const char* const MemberNotSearched; ///< followed by " (encrypted)", " (unknown method)" or " (damaged)"
extern const char* const NoSuchFolder;      ///< the folder to search is not there

/// The reason for an error a content test ended with.
const char* ReasonOf(const std::exception& error);

} // namespace trovex
