// SPDX-License-Identifier: MIT
// The parts of the file-system and stream interfaces that are the same on every system.
#include "platform/FileSystem.h"
#include "platform/FileTimeMath.h"
#include "platform/Stream.h"

#include <algorithm>
#include <cstring>

namespace trovex
{

// The listing is sorted the same way on every system: one look-up serves both.
TDirEntry::TKind TFolderListing::KindOf(std::string_view name) const
{
    if (FEntries.size() <= 2)
        return TDirEntry::dkUnknown;
    auto it = std::lower_bound(FEntries.begin() + 2, FEntries.end(), name,
                               [](const TDirEntry& e, std::string_view n) { return FolderOrderLess(e.Name, n); });
    return it != FEntries.end() && it->Name == name ? it->Kind : TDirEntry::dkUnknown;
}


using namespace filetime;

TFileTime UnixToFileTime(std::int64_t seconds, std::uint32_t nanoseconds)
{
    std::int64_t s = seconds + EpochDifference;
    if (s < 0)
        return 0;
    return static_cast<TFileTime>(s) * TicksPerSecond + nanoseconds / 100;
}

bool operator==(const TDateTime& a, const TDateTime& b)
{
    return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.Hour == b.Hour && a.Minute == b.Minute &&
           a.Second == b.Second && a.Ticks == b.Ticks;
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
