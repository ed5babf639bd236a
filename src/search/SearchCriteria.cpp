// SPDX-License-Identifier: MIT
#include "search/SearchCriteria.h"

#include <algorithm>

namespace trovex
{

std::string TypesMaskOf(std::string_view typeItem)
{
    std::size_t open = typeItem.find('(');
    if (open == std::string_view::npos)
        return {};
    std::size_t close = typeItem.find(')', open + 1);
    if (close == std::string_view::npos)
        return {};
    return std::string(typeItem.substr(open + 1, close - open - 1));
}

std::string ComposeMask(std::string_view named, std::string_view typesMask)
{
    if (named.empty())
        return typesMask.empty() ? std::string("*.*") : std::string(typesMask);
    if (named.find_first_of("*?.") != std::string_view::npos)
        return std::string(named);
    std::string out;
    for (char c : typesMask) {
        if (c == '.') {
            out.append(named);
            out.push_back('*');
        }
        out.push_back(c);
    }
    return out;
}

namespace
{
TDateTime StartOfDay(TDateTime d)
{
    d.Hour = d.Minute = d.Second = d.Ticks = 0;
    return d;
}
} // namespace

TDateTime AddDays(const TDateTime& date, int days)
{
    TDateTime d = date;
    int n = days;
    while (n > 0) {
        if (++d.Day > DaysInMonth(d.Year, d.Month)) {
            d.Day = 1;
            if (++d.Month > 12) {
                d.Month = 1;
                ++d.Year;
            }
        }
        --n;
    }
    while (n < 0) {
        if (--d.Day < 1) {
            if (--d.Month < 1) {
                d.Month = 12;
                --d.Year;
            }
            d.Day = DaysInMonth(d.Year, d.Month);
        }
        ++n;
    }
    return d;
}

TDateRange LastMonthsRange(const TDateTime& now, int months)
{
    TDateTime from = StartOfDay(now);
    int total = from.Year * 12 + (from.Month - 1) - months;
    from.Year = total / 12;
    from.Month = total % 12 + 1;
    from.Day = std::min(from.Day, DaysInMonth(from.Year, from.Month));
    return {from, now};
}

TDateRange LastDaysRange(const TDateTime& now, int days)
{
    return {AddDays(StartOfDay(now), -days), now};
}

} // namespace trovex
