// SPDX-License-Identifier: MIT
#include "platform/Stream.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{
namespace
{

// An open that failed, by its cause: denied, or the file gone since it was listed.
EReadError::TKind OpenFailure(int error)
{
    if (error == EACCES || error == EPERM)
        return EReadError::ekPermission;
    if (error == ENOENT || error == ENOTDIR)
        return EReadError::ekVanished;
    return EReadError::ekRead;
}

} // namespace

TFileStream::TFileStream(const std::string& path) : FPath(path)
{
    // O_NONBLOCK keeps a FIFO that slipped past the type check from blocking the open.
    FHandle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (FHandle < 0)
        throw EReadError("Cannot open file \"" + path + "\". " + std::strerror(errno), OpenFailure(errno));
    const std::size_t slash = path.find_last_of('/');
    CheckRegular(slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1),
                 IsPseudoFileSystem(FHandle));
}

TFileStream::TFileStream(const TFolderListing& folder, const std::string& name, const std::string& path) : FPath(path)
{
    // Never through a link: a file swapped for one since it was listed could lead anywhere.
    FHandle = ::openat(folder.Handle(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (FHandle < 0 && errno == ELOOP)
        throw EReadError("Cannot open file \"" + path + "\". It is a link, and links are not followed");
    if (FHandle < 0)
        throw EReadError("Cannot open file \"" + path + "\". " + std::strerror(errno), OpenFailure(errno));
    CheckRegular(name, folder.Pseudo());
}

void TFileStream::CheckRegular(std::string_view name, bool pseudo, const TFindData*)
{
    // The one look at the open file gives both the check and the whole record.
    if (!ReadOpenFindData(FHandle, name, FRecord) || !(FRecord.Attributes & faArchive)) {
        ::close(FHandle);
        FHandle = -1;
        throw EReadError("Cannot open file \"" + FPath + "\". Not a regular file", EReadError::ekNotRegular);
    }
    if (pseudo || FRecord.Size == 0)
        FLimit = UnknownSizeLimit;
}

std::size_t TFileStream::Allowed(std::uint64_t offset, std::size_t count) const
{
    if (FLimit == UINT64_MAX || (offset <= FLimit && count <= FLimit - offset))
        return count;
    if (!FCut.load(std::memory_order_relaxed)) {
        // Some files give only whole records (pagemap: 8 bytes): a byte alone would read as an error.
        char probe[8];
        ssize_t got;
        do
            got = ::pread(FHandle, probe, sizeof probe, static_cast<off_t>(FLimit));
        while (got < 0 && errno == EINTR);
        if (got > 0)
            FCut.store(true, std::memory_order_relaxed);
    }
    return offset < FLimit ? static_cast<std::size_t>(FLimit - offset) : 0;
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
    count = Allowed(FPosition, count);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::read(FHandle, out + done, count - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError("Read error on \"" + FPath + "\". " + std::strerror(errno));
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
        FPosition += static_cast<std::uint64_t>(got);
        // A short read at or past the size the file had when opened is its end: asking again
        // only to be told so costs a system call per file. (A size of 0 proves nothing: files
        // such as those of /proc report none.)
        if (FRecord.Size > 0 && FPosition >= FRecord.Size && done < count)
            break;
    }
    return done;
}

void TFileStream::Seek(std::uint64_t offset)
{
    if (offset == FPosition)
        return; // a searcher rewinds a stream that nothing has read yet
    if (::lseek(FHandle, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw EReadError("Seek error on \"" + FPath + "\". " + std::strerror(errno));
    FPosition = offset;
}

} // namespace trovex

namespace trovex
{

std::size_t TFileStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const
{
    count = Allowed(offset, count);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(FHandle, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw EReadError("Read error on \"" + FPath + "\". " + std::strerror(errno));
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::uint64_t TFileStream::NextData(std::uint64_t offset) const
{
    const off_t at = ::lseek(FHandle, static_cast<off_t>(offset), SEEK_DATA);
    if (at >= 0)
        return std::max<std::uint64_t>(static_cast<std::uint64_t>(at), offset);
    if (errno == ENXIO) {
        // Only a hole up to the end: the end, as far as the file now reaches.
        struct stat st{};
        if (::fstat(FHandle, &st) == 0 && static_cast<std::uint64_t>(st.st_size) > offset)
            return static_cast<std::uint64_t>(st.st_size);
    }
    return offset; // no answer from the file system: read the zeros
}

} // namespace trovex
