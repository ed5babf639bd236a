// SPDX-License-Identifier: MIT
// Calendar arithmetic shared by each system's file-system code (not part of the layer's interface).
#pragma once

#include <cstdint>

namespace trovex::filetime
{

/// Seconds from 1601-01-01 to 1970-01-01.
inline constexpr std::int64_t EpochDifference = 11644473600LL;
inline constexpr std::int64_t TicksPerSecond = 10000000LL;

/// Days from 1970-01-01 to the given proleptic Gregorian date.
constexpr std::int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

} // namespace trovex::filetime
