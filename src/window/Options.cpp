// SPDX-License-Identifier: MIT
// The rules of Options.h as one table.
#include "window/Options.h"

#include <algorithm>
#include <iterator>

namespace trovex
{
namespace
{

constexpr std::string_view CodePages[] = {"CheckAnsi", "CheckOEM", "CheckUnicode", "CheckKOI8", "CheckUtf8"};
constexpr std::string_view DateControls[] = {"DatesGBox", "RadioBFromTo", "RadioBMonth", "RadioBDays",
                                             "eDateFrom", "eDateTo", "lTo", "lMonth", "lDays",
                                             "cbLastMonth", "cbLastDays"};
constexpr std::string_view ReportControls[] = {"CheckRFileName", "CheckRFileExt", "CheckRPath", "CheckRDate",
                                               "CheckRSize", "CheckRAll", "mReport", "mReportOpen"};

struct TOptionRule
{
    std::string_view Option;
    bool EnabledWhenChecked; // false: the dependents give way while the box is on
    std::span<const std::string_view> Dependents;
};

// The code-page boxes keep their marks while disabled, so turning "All" off restores the choice.
constexpr TOptionRule Rules[] = {
    {"CheckAllCP", false, CodePages},
    {"CheckDate", true, DateControls},
    {"CheckReport", true, ReportControls},
};

constexpr std::string_view Governing[] = {Rules[0].Option, Rules[1].Option, Rules[2].Option};
static_assert(std::size(Governing) == std::size(Rules));

} // namespace

std::vector<TControlState> OptionDependents(std::string_view option, bool checked)
{
    std::vector<TControlState> states;
    const auto rule = std::find_if(std::begin(Rules), std::end(Rules), [option](const TOptionRule& r) { return r.Option == option; });
    if (rule == std::end(Rules))
        return states;
    for (std::string_view name : rule->Dependents)
        states.push_back({name, checked == rule->EnabledWhenChecked});
    return states;
}

std::span<const std::string_view> GoverningOptions()
{
    return Governing;
}

} // namespace trovex
