// SPDX-License-Identifier: MIT
// Folder listings, entry records and file times in the form the engine was designed around:
// attribute bits, 64-bit file times (100 ns since 1601-01-01 UTC) and packed DOS date-times.
// Listings come sorted so that a walk is deterministic on every file system.
#pragma once

#include "platform/PathDelim.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

enum TFileAttribute : std::uint32_t
{
    faReadOnly = 1,
    faHidden = 2,
    faSysFile = 4,
    faVolumeID = 8,
    faDirectory = 16,
    faArchive = 32,
    faReparsePoint = 1024,
};

/// 100-ns intervals since 1601-01-01 UTC.
using TFileTime = std::uint64_t;

/// What a listing knows of one entry: the platform's full record.
struct TFindData
{
    std::uint32_t Attributes = 0;
    TFileTime CreationTime = 0;
    TFileTime LastAccessTime = 0;
    TFileTime LastWriteTime = 0;
    std::uint64_t Size = 0;
    std::string Name;
};

/// A name as the listing delivered it, before its record is read.
struct TDirEntry
{
    std::string Name;
    /// The kind reported with the name: dkDirectory only for a real folder (never a link).
    enum TKind : std::uint8_t { dkUnknown, dkFile, dkDirectory, dkLink, dkOther } Kind = dkUnknown;
};

/// Lists `folder` (ending in PathDelim): "." and ".." first, then the names ordered with ASCII letters
/// folded to upper case, ties byte-wise. Returns false when the folder cannot be opened.
/// The folder is closed before the call returns.
bool ReadFolder(const std::string& folder, std::vector<TDirEntry>& entries);

/// Why a folder was not listed, or not in full.
enum class TListFailure : std::uint8_t
{
    lfNone,
    lfPermission, ///< the system refused to open or read it
    lfGone,       ///< nothing of that name (any more)
    lfNotFolder,  ///< a file, or a link the walk does not follow, stands there now
    lfReadError,  ///< opened, but the listing failed part-way: the entries read so far stand
};

/// An open folder: its sorted listing, and records read relative to it (no path walk per entry).
class TFolderListing
{
public:
    TFolderListing() = default;
    ~TFolderListing() { Close(); }
    TFolderListing(const TFolderListing&) = delete;
    TFolderListing& operator=(const TFolderListing&) = delete;

    /// Opens and lists `folder` as ReadFolder does; false when it cannot be opened. Without `list`
    /// the folder is only opened, to open others below it (Entries stays empty).
    bool Open(const std::string& folder, bool list = true);
    /// Opens and lists the folder `rel` (a path below `root`, empty for `root` itself) without
    /// passing through a link or leaving `root` on the way: a folder that is a link by now, or
    /// that sits below one, is not opened. `root` must be open.
    bool OpenBelow(const TFolderListing& root, const std::string& rel);
    const std::vector<TDirEntry>& Entries() const { return FEntries; }
    /// The kind the listing gave `name` (links resolved to dkLink even where the file system gave
    /// no kind); dkUnknown when the name is not in the listing.
    TDirEntry::TKind KindOf(std::string_view name) const;
    /// True when the folder lies on a file system of made-up files (/proc, /sys and the like),
    /// whose sizes say nothing of how much a file gives when read.
    bool Pseudo() const { return FPseudo; }
    /// The open folder's descriptor, -1 when closed (POSIX only).
    int Handle() const { return FHandle; }
#ifdef _WIN32
    /// The folder's own handle (a HANDLE), null when it was opened by its path alone.
    void* DirHandle() const { return FDir; }
#endif
    /// The record of one entry, as ReadFindData; false when it has gone.
    bool ReadFindData(const std::string& name, TFindData& data) const;
    /// Why the last Open or OpenBelow gave no listing, or only part of one; lfNone after a whole one.
    TListFailure Failure() const { return FFailure; }
    void Close();

private:
#ifdef _WIN32
    void Adopt(std::vector<TDirEntry> entries, std::vector<TFindData> records, const std::string& folder);
#else
    bool Adopt(int handle);
#endif

    int FHandle = -1;
    bool FPseudo = false;
    TListFailure FFailure = TListFailure::lfNone;
    std::vector<TDirEntry> FEntries;
#ifdef _WIN32
    std::vector<TFindData> FRecords; // parallel to FEntries: the listing brings every record along
    std::string FFolder;             // the folder listed, ending in a delimiter
    void* FDir = nullptr;            // the folder's own handle, when opened below another
#endif
};
/// Reads the record of `path`: the link itself is never followed for the reparse bit, while size,
/// times and the directory bit come from its target. Returns false when the entry has gone.
bool ReadFindData(const std::string& path, TFindData& data);
/// The record of an open file under the entry name `name`, as ReadFindData gives it for a name that
/// is not a link; one call instead of a second look-up by name. False when it cannot be read.
bool ReadOpenFindData(int handle, std::string_view name, TFindData& data);
/// True when the open file or folder `handle` lies on a file system whose files the kernel makes
/// up (/proc, /sys and the like): their sizes are 0, a page, or the address space, whatever they
/// give when read (POSIX systems).
bool IsPseudoFileSystem(int handle);
#ifdef _WIN32
/// True for a reparse point that leads elsewhere (symbolic link, junction, mount point), given the
/// entry's attributes and reparse tag.
bool IsLinkReparse(std::uint32_t attributes, std::uint32_t tag);
#endif
/// Orders two names as ReadFolder does.
bool FolderOrderLess(std::string_view a, std::string_view b);

TFileTime UnixToFileTime(std::int64_t seconds, std::uint32_t nanoseconds);

/// A local calendar date-time with 100-ns resolution.
struct TDateTime
{
    int Year = 1601, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;
    int Ticks = 0; ///< 100-ns ticks within the second, 0..9,999,999
};
bool operator==(const TDateTime& a, const TDateTime& b);

/// Local date-time to UTC with the offset in force on that date (summer or winter time), the one
/// FileTimeToLocal shows a file's time with.
TFileTime LocalToFileTime(const TDateTime& local);
/// UTC file time to local calendar time (with the offset in force at that time).
TDateTime FileTimeToLocal(TFileTime utc);
/// Packed DOS date-time of the local time; clamped to 1980..2107.
std::uint32_t FileTimeToDosDateTime(TFileTime utc);
TDateTime NowLocal();
/// Days in a month of the Gregorian calendar.
int DaysInMonth(int year, int month);

/// The user's home folder with a trailing PathDelim.
std::string HomeFolder();
/// Where a search starts when no folder is given: the home folder, or C:\ on Windows.
std::string DefaultFolder();
/// True when `path` names an existing folder (following links).
bool FolderExists(const std::string& path);
/// True unless the system says there is no entry of that exact name: a link counts as itself, even
/// a dangling one, and an entry the system will not describe (no access) counts as there.
bool EntryExists(const std::string& path);
/// The folder for temporary files, with a trailing PathDelim: $TMPDIR or /tmp on POSIX systems,
/// GetTempPath's answer on Windows. It is not checked to exist.
std::string TempFolder();

} // namespace trovex
