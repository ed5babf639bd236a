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

TFileStream::TFileStream(const std::string& path) : FPath(path)
{
    // O_NONBLOCK keeps a FIFO that slipped past the type check from blocking the open.
    FHandle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (FHandle < 0)
        throw EReadError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    CheckRegular();
}

TFileStream::TFileStream(const TFolderListing& folder, const std::string& name, const std::string& path) : FPath(path)
{
    FHandle = ::openat(folder.Handle(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (FHandle < 0)
        throw EReadError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    CheckRegular();
}

void TFileStream::CheckRegular()
{
    const std::string& path = FPath;
    struct stat st{};
    if (::fstat(FHandle, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        throw EReadError("Cannot open file \"" + path + "\". Not a regular file");
    }
    FSize = static_cast<std::uint64_t>(st.st_size);
}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count)
{
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
    }
    return done;
}

void TFileStream::Seek(std::uint64_t offset)
{
    if (::lseek(FHandle, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw EReadError("Seek error on \"" + FPath + "\". " + std::strerror(errno));
}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count)
{
    if (FPosition >= FData.size())
        return 0;
    std::size_t n = std::min<std::uint64_t>(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, n);
    FPosition += n;
    return n;
}

} // namespace trovex
