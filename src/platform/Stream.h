// SPDX-License-Identifier: MIT
// Readable, seekable byte streams handed to the content matcher: a regular file, or bytes in memory.
// The caller owns a stream; a searcher only reads and seeks it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/FileSystem.h"

namespace trovex
{

/// A failure to open or read a file. The engine turns it into a read error for that one file.
class EReadError : public std::runtime_error
{
public:
    /// What kind of failure, for the report of files not searched.
    enum TKind : std::uint8_t { ekRead, ekPermission, ekVanished, ekNotRegular };
    using std::runtime_error::runtime_error;
    EReadError(const std::string& message, TKind kind) : std::runtime_error(message), FKind(kind) {}
    TKind Kind() const { return FKind; }

private:
    TKind FKind = ekRead;
};

/// The run was told to end while a file was being read: that file gets no verdict at all.
class ETerminated : public std::runtime_error
{
public:
    ETerminated() : std::runtime_error("Terminated") {}
};

/// Throws ETerminated when `cancel` (may be null) is set: for the loops that read or unpack one
/// file, so a huge file does not hold up the end of a run.
inline void CheckCancel(const std::atomic<bool>* cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        throw ETerminated();
}

class TStream
{
public:
    virtual ~TStream() = default;
    /// Reads up to `count` bytes; returns fewer only at the end of the content. Throws EReadError.
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    /// Moves to an absolute offset from the start. Throws EReadError.
    virtual void Seek(std::uint64_t offset) = 0;
};

/// A regular file opened read-only. Devices, FIFOs, sockets and folders are refused (after
/// following links), so opening can never block. Throws EReadError when the file cannot be opened.
/// A file whose size tells nothing (recorded as 0, or made up by the kernel as those of /proc are)
/// is read up to UnknownSizeLimit only; Cut() tells when it held more.
class TFileStream final : public TStream
{
public:
    static constexpr std::uint64_t UnknownSizeLimit = std::uint64_t{1} << 20;

    explicit TFileStream(const std::string& path);
    /// The same for `name` inside an open folder, without walking the path again; `path` names the
    /// file in messages. A link is never followed (refused with EReadError), so a file swapped for
    /// a link since it was listed is not read in its place.
    TFileStream(const TFolderListing& folder, const std::string& name, const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Seek(std::uint64_t offset) override;
    /// The file's size when it was opened.
    std::uint64_t Size() const { return FRecord.Size; }
    /// The file's record, read when it was opened: what ReadFindData gives for its name.
    const TFindData& Record() const { return FRecord; }
    /// The open descriptor (POSIX systems); the stream still owns it.
    int Handle() const { return FHandle; }
    /// True once a read stopped at UnknownSizeLimit with more to come: the file was not read whole.
    bool Cut() const { return FCut.load(std::memory_order_relaxed); }
    /// Up to `count` bytes at `offset`, fewer where the file ends (or has been cut short since);
    /// leaves the position of Read alone and may run beside other ReadAt calls. Throws EReadError.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
    /// The start of the next stretch that is not a hole, at or after `offset`: `offset` itself where
    /// the system cannot tell, the size when only a hole follows.
    std::uint64_t NextData(std::uint64_t offset) const;

private:
    void CheckRegular(std::string_view name, bool pseudo, const TFindData* listed = nullptr);
    void OpenByPath(); // Windows: FPath as it is named
    /// How much of `count` bytes at `offset` lies within the limit; marks the stream cut when the
    /// limit stops a read of a file that goes on.
    std::size_t Allowed(std::uint64_t offset, std::size_t count) const;

    int FHandle = -1;
    std::uint64_t FLimit = UINT64_MAX;
    mutable std::atomic<bool> FCut{false};
#ifdef _WIN32
    void* FFile = nullptr; // the Windows handle; FHandle stays unused there
#endif
    std::uint64_t FPosition = 0;
    TFindData FRecord;
    std::string FPath;
};

/// Another stream, read through with a check of the terminate flag before each read.
class TCancellableStream final : public TStream
{
public:
    TCancellableStream(TStream& inner, const std::atomic<bool>* cancel) : FInner(inner), FCancel(cancel) {}

    std::size_t Read(void* buffer, std::size_t count) override
    {
        CheckCancel(FCancel);
        return FInner.Read(buffer, count);
    }
    void Seek(std::uint64_t offset) override
    {
        CheckCancel(FCancel);
        FInner.Seek(offset);
    }

private:
    TStream& FInner;
    const std::atomic<bool>* FCancel;
};

/// Owns a copy of its bytes (an unpacked ZIP member, the text of a PDF).
class TMemoryStream final : public TStream
{
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string data) : FData(std::move(data)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    void Seek(std::uint64_t offset) override { FPosition = offset; }

    const std::string& Data() const { return FData; }
    std::string& Data() { return FData; }

private:
    std::string FData;
    std::uint64_t FPosition = 0;
};

} // namespace trovex
