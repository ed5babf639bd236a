// SPDX-License-Identifier: MIT
// The store's place on Linux: one file in the registry editor's export format, read whole and
// replaced atomically, a damaged file kept beside it before it is replaced.
#include "platform/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{

std::filesystem::path TRegistry::DefaultPath()
{
    std::filesystem::path base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/") / ".config";
    }
    return base / "Brenvik" / "Trovex.reg";
}


TRegLoadResult TRegistry::Load()
{
    FKeys.clear();
    FDropped = 0;
    FDeletedKeys.clear();
    FDeletedValues.clear();
    // O_NONBLOCK: opening a FIFO put where the store belongs must not wait for a writer.
    int fd = open(FFileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        FLoadResult = errno == ENOENT ? lrMissing : lrUnreadable;
        return FLoadResult;
    }
    // Only a regular file of a sane size is read: a FIFO, a device (a link to /dev/zero) or a huge
    // file is not a store of ours, and is neither read nor replaced.
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(MaxFileSize)) {
        close(fd);
        FLoadResult = lrUnreadable;
        return FLoadResult;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || content.size() + static_cast<std::size_t>(n) > MaxFileSize) {
            close(fd);
            FLoadResult = lrUnreadable;
            return FLoadResult;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    try {
        FromText(content);
        FLoadResult = FDropped > 0 ? lrRepaired : lrLoaded;
    } catch (const ERegistryParseError&) {
        FKeys.clear();
        FLoadResult = lrDamaged;
    }
    return FLoadResult;
}

namespace
{

// The file the store's name leads to: a store that is a link is written where the link points, so
// the link stays (a store kept in a dotfiles folder, say).
std::filesystem::path ResolveLinks(std::filesystem::path file)
{
    // By hand, not canonical(): the link may point at a file that does not exist yet.
    std::error_code ec;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(file, ec); ++hops) {
        std::filesystem::path target = std::filesystem::read_symlink(file, ec);
        if (ec)
            break;
        file = target.is_absolute() ? target : (file.parent_path() / target).lexically_normal();
    }
    return file;
}

// Moves `name` to the first free name of "<name>.bad", "<name>.bad.1", "<name>.bad.2", ...; a kept
// copy is never replaced. link() fails rather than replace, so two programs cannot pick one name.
void KeepAsBad(const std::string& name)
{
    for (unsigned n = 0;; ++n) {
        const std::string bad = name + ".bad" + (n == 0 ? std::string() : "." + std::to_string(n));
        if (link(name.c_str(), bad.c_str()) == 0) {
            unlink(name.c_str());
            return;
        }
        if (errno != EEXIST || n >= 9999)
            throw ERegistryError("Cannot keep the damaged store as " + bad + ": " + std::strerror(errno));
    }
}

} // namespace

void TRegistry::Save()
{
    if (FLoadResult == lrUnreadable)
        throw ERegistryError("The store " + FFileName.string() + " could not be read and is left as it is");
    const std::filesystem::path file = ResolveLinks(FFileName);
    const std::string name = file.string();
    std::error_code ec;
    std::filesystem::path folder = file.parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ec);
    if (ec)
        throw ERegistryError("Cannot create folder " + folder.string() + ": " + ec.message());
    struct stat st{};
    if ((FLoadResult == lrDamaged || FLoadResult == lrRepaired) && lstat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        KeepAsBad(name);

    std::string text = ToText();
    std::string tmp = name + ".XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0)
        throw ERegistryError("Cannot create file " + tmp + ": " + std::strerror(errno));
    auto fail = [&](const char* what) {
        int error = errno;
        if (fd >= 0)
            close(fd);
        unlink(tmp.c_str());
        throw ERegistryError(std::string(what) + " " + name + ": " + std::strerror(error));
    };
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail("Cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0)
        fail("Cannot flush");
    if (close(fd) != 0) {
        fd = -1;
        fail("Cannot close");
    }
    fd = -1;
    if (rename(tmp.c_str(), name.c_str()) != 0)
        fail("Cannot replace");
    // The rename itself must reach the disk too, or a crash could bring the old file back.
    int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    FDeletedKeys.clear();
    FDeletedValues.clear();
    FLoadResult = lrLoaded;
}


} // namespace trovex
