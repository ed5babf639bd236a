// SPDX-License-Identifier: MIT
// ZIP archive reader: lists members by walking the local file headers from byte 0 (the central
// directory is never read) and unpacks stored and deflated members. The archive is mapped
// read-only; listing touches only the headers, and every read stays inside the file.
#pragma once

#include "platform/FileMapping.h"
#include "readers/ZLibEx.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

class EErrorInZip : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

constexpr std::size_t ZipLocalHeaderSize = 30;
/// Longer member names are listed by their first bytes only (UTF-8 names never inside a character).
constexpr std::size_t ZipMaxNameBytes = 126;
constexpr std::uint16_t ZipUtf8NameFlag = 0x0800;

/// One archive, open or closed. Not thread-safe; use one object per archive on one thread.
class TZipFile
{
public:
    TZipFile() = default;
    ~TZipFile();
    TZipFile(const TZipFile&) = delete;
    TZipFile& operator=(const TZipFile&) = delete;

    /// Maps the file at `path` read-only and lists its members, releasing any archive open before.
    /// A file that is no ZIP archive, or whose headers are damaged, simply lists fewer (or no)
    /// members. Throws EErrorInZip: "Couldn't open: " + path when the file cannot be opened or is
    /// not a regular file, "CreateFileMapping failed" for an empty file, "MapViewOfFile failed"
    /// when mapping fails. After a throw the object is closed.
    void Open(const std::string& path);

    /// Lists the members of archive bytes held by the caller, which must outlive the open archive.
    /// Empty bytes throw EErrorInZip "CreateFileMapping failed", as an empty file does.
    void OpenBytes(std::string_view bytes);

    /// Releases the archive; Entries() becomes empty.
    void Close();

    const std::string& FileName() const { return FFileName; }

    /// Member paths in UTF-8 with '/' between folders, letters A-Z lower-cased, sorted without
    /// regard to case; of several names equal but for case only the first member is kept.
    /// A name whose UTF-8 flag (general-purpose bit 11) is clear is read in the OEM code page.
    const std::vector<std::string>& Entries() const { return FEntries; }

    /// The content of a listed member (found without regard to case): stored members as they are,
    /// deflated ones inflated to at most their recorded uncompressed size (and maxBytes), empty for
    /// other methods or data that does not inflate. Throws EErrorInZip
    /// "File not found (in UnzipFileToBuffer)" for a name that is not listed.
    std::string UnzipFileToBuffer(const std::string& entry, std::size_t maxBytes = NoOutputLimit) const;

private:
    struct TMember
    {
        std::string Key;        // case-folded name, the sort and lookup key
        std::size_t Header = 0; // offset of the local header in FData
    };

    void Scan();

    std::string FFileName;
    TFileMapping FMapping;
    std::string_view FData;
    std::vector<std::string> FEntries;
    std::vector<TMember> FMembers; // parallel to FEntries
};

} // namespace trovex
