// SPDX-License-Identifier: MIT
// Readable, seekable byte streams handed to the content matcher: a regular file, or bytes in memory.
// The caller owns a stream; a searcher only reads and seeks it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace trovex
{

class TFolderListing;

/// A failure to open or read a file. The engine turns it into a read error for that one file.
class EReadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

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
class TFileStream final : public TStream
{
public:
    explicit TFileStream(const std::string& path);
    /// The same for `name` inside an open folder, without walking the path again; `path` names the
    /// file in messages.
    TFileStream(const TFolderListing& folder, const std::string& name, const std::string& path);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Seek(std::uint64_t offset) override;
    /// The file's size when it was opened.
    std::uint64_t Size() const { return FSize; }

private:
    void CheckRegular();

    int FHandle = -1;
#ifdef _WIN32
    void* FFile = nullptr; // the Windows handle; FHandle stays unused there
#endif
    std::uint64_t FSize = 0;
    std::string FPath;
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
