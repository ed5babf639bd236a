// SPDX-License-Identifier: MIT
#include "platform/FileMapping.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{

TFileMapping::TResult TFileMapping::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK: a FIFO named like an archive must not block the walk before the type check.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fmCannotOpen;
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fmCannotOpen;
    }
    if (st.st_size <= 0) {
        ::close(fd);
        return fmEmpty;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd); // the mapping keeps the file
    if (view == MAP_FAILED)
        return fmMapFailed;
    // Listing jumps from header to header: read-ahead would pull in the member data between them.
    ::madvise(view, size, MADV_RANDOM);
    FView = view;
    FSize = size;
    return fmOk;
}

void TFileMapping::WillRead(std::size_t offset, std::size_t count) const
{
    if (!FView || offset >= FSize)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t from = offset / page * page;
    ::madvise(static_cast<char*>(FView) + from, std::min(count, FSize - offset) + (offset - from), MADV_WILLNEED);
}

void TFileMapping::Close()
{
    if (FView)
        ::munmap(FView, FSize);
    FView = nullptr;
    FSize = 0;
}

} // namespace trovex
