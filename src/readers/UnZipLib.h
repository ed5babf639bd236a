// SPDX-License-Identifier: MIT
// ZIP archive reader: lists members by walking the local file headers from byte 0 (the central
// directory is never read) and unpacks stored and deflated members. The archive is read at given
// offsets, never mapped: another program may shrink the file while it is read, and an archive that
// ends early is only damaged (what was listed stays listed, the data that is gone reads as absent).
#pragma once

#include "platform/Stream.h"
#include "readers/ZLibEx.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

class TZipFile;

/// The content of one member, unpacked as it is read, so a member costs the same small memory
/// whatever its size. It reads exactly what UnzipFileToBuffer returns: a member whose deflated data
/// turns out damaged counts as empty, so Read gives nothing more once that is seen and Failed()
/// tells the caller to drop what it read before. The archive must stay open while it is used.
class TZipMemberStream final : public TStream
{
public:
    ~TZipMemberStream() override;
    TZipMemberStream(const TZipMemberStream&) = delete;
    TZipMemberStream& operator=(const TZipMemberStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    /// Seeking back starts the unpacking again from the member's first byte.
    void Seek(std::uint64_t offset) override;
    /// True once the deflated data was found damaged: the whole member is then empty.
    bool Failed() const { return FFailed; }

private:
    friend class TZipFile;
    struct TPlan
    {
        std::uint64_t DataStart = 0;
        std::uint64_t Compressed = 0;
        std::uint16_t Method = 0;
        std::uint64_t Limit = 0;      // output never exceeds it
        bool EndWhenInputUsed = false; // a recorded size: a stream cut short gives what it has
    };
    TZipMemberStream(const TZipFile& zip, const TPlan& plan);
    void Restart();
    std::size_t Inflate(char* out, std::size_t count);

    const TZipFile& FZip;
    TPlan FPlan;
    struct TState;
    std::unique_ptr<TState> FState;
    std::uint64_t FPosition = 0;
    bool FFailed = false;
};

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
    /// The same for an archive already opened as `file`, named `path` in messages. With `enough`,
    /// listing stops after the first member whose (lower-cased) name it accepts: Entries() then
    /// holds the members up to that one, which the whole listing would also hold.
    void Open(std::unique_ptr<TFileStream> file, const std::string& path,
              const std::function<bool(std::string_view)>& enough = {});

    /// Lists the members of archive bytes held by the caller, which must outlive the open archive.
    /// Empty bytes throw EErrorInZip "CreateFileMapping failed", as an empty file does.
    void OpenBytes(std::string_view bytes);

    /// Releases the archive; Entries() becomes empty.
    void Close();

    const std::string& FileName() const { return FFileName; }

    /// Member paths in UTF-8 with '/' between folders, every letter lower-cased (as the walk lowers
    /// file names, so masks fit them in any case), sorted; of several names equal but for case
    /// only the first member is kept.
    /// A name whose UTF-8 flag (general-purpose bit 11) is clear is read in the OEM code page.
    const std::vector<std::string>& Entries() const { return FEntries; }

    /// False when the listing stopped at something that is neither a member nor the archive's
    /// directory: members after that point, if any, are not listed.
    bool Complete() const { return FComplete; }
    /// Why a listed member's content cannot be had: "encrypted", "unknown method" (neither stored
    /// nor deflated) or "damaged" (a stored member whose size is kept after its data); null when it
    /// can. Damaged deflated data is found only while unpacking (TZipMemberStream::Failed).
    const char* MemberProblem(const std::string& entry) const;

    /// The content of a listed member (found without regard to case): stored members as they are,
    /// deflated ones inflated to at most their recorded uncompressed size (and maxBytes), empty for
    /// other methods or data that does not inflate. Throws EErrorInZip
    /// "File not found (in UnzipFileToBuffer)" for a name that is not listed.
    std::string UnzipFileToBuffer(const std::string& entry, std::size_t maxBytes = NoOutputLimit) const;

    /// The same content as a stream read piece by piece (see TZipMemberStream); the same error for
    /// a name that is not listed.
    std::unique_ptr<TZipMemberStream> OpenMember(const std::string& entry,
                                                 std::size_t maxBytes = NoOutputLimit) const;

private:
    friend class TZipMemberStream;
    struct TMember
    {
        std::string Key;        // case-folded name, the sort and lookup key
        std::uint64_t DataStart = 0; // the member's data, as its local header placed it
        std::uint32_t Compressed = 0;
        std::uint32_t Uncompressed = 0;
        std::uint16_t Method = 0;
        const char* Problem = nullptr;
    };

    /// The length of the raw deflate stream starting at `offset`, found by inflating it; 0 when it
    /// does not end inside the archive.
    std::uint64_t DeflatedLength(std::uint64_t offset) const;
    void Scan(const std::function<bool(std::string_view)>& enough = {});
    /// Up to `count` bytes at `offset`, fewer where the archive ends (or has been cut short since).
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
    /// A view of up to `count` bytes at `offset`, valid until the next call; short where the archive ends.
    std::string_view Fetch(std::uint64_t offset, std::size_t count);

    std::string FFileName;
    std::unique_ptr<TFileStream> FFile; // the archive on disk; none for OpenBytes
    std::uint64_t FSize = 0;        // the size when opened: the listing never looks past it
    std::string_view FData;         // archive bytes held by the caller (OpenBytes)
    std::unique_ptr<char[]> FBlock; // listing reads the file in blocks, so near headers share a read
    std::size_t FBlockCapacity = 0;
    std::size_t FBlockLength = 0;
    std::uint64_t FBlockStart = 0;
    std::vector<std::string> FEntries;
    std::vector<TMember> FMembers; // parallel to FEntries
    bool FComplete = false;
};

} // namespace trovex
