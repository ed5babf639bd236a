// SPDX-License-Identifier: MIT
// TTempTree: a unique folder under the test temp dir, filled by the test and removed afterwards.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/Portable.h"

namespace trovex::test
{

class TTempTree
{
public:
    TTempTree();
    ~TTempTree();
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    /// The root folder, with a trailing separator.
    std::string Root() const;
    /// A path inside the tree; `rel` is written with '/', which becomes the system's separator.
    std::string Path(std::string_view rel) const;

    /// Writes a file (parent folders made as needed); returns its full path.
    std::string AddFile(std::string_view rel, std::string_view bytes = {});
    std::string AddFolder(std::string_view rel);
    std::string AddLink(std::string_view rel, const std::string& target);
    /// An entry that is listed but cannot be opened: a dangling link, or on Windows a file another
    /// handle holds without sharing until the tree is removed.
    std::string AddUnreadable(std::string_view rel);
    /// Sets the modification time (seconds since the Unix epoch, plus nanoseconds); a link's own.
    void SetTime(std::string_view rel, std::time_t seconds, long nanoseconds = 0);

private:
    std::filesystem::path FRoot;
    std::vector<void*> FLocked;
};

/// The Unix time of a local date-time.
std::time_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

} // namespace trovex::test
