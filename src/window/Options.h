// SPDX-License-Identifier: MIT
// Which controls an option check box turns on and off: the code pages follow "All code pages"
// (off while it is on, their marks kept), the date group and everything in it follow the date
// check box, the report fields and the list menu's two report items follow the report check box.
// Names are those of MainWindowLayout() and ListMenu(); a face looks its controls up by them.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace trovex
{

/// A control and whether it is to be enabled.
struct TControlState
{
    std::string_view Name;
    bool Enabled;
    bool operator==(const TControlState&) const = default;
};

/// The controls whose enabled state follows the check box `option`, with the state each gets when
/// the box is `checked` or not. Empty for a control that governs no other.
std::vector<TControlState> OptionDependents(std::string_view option, bool checked);

/// The check boxes that govern other controls, so a face can bring every dependent in line with
/// the boxes at once (after settings were read, say).
std::span<const std::string_view> GoverningOptions();

} // namespace trovex
