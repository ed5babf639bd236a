// SPDX-License-Identifier: MIT
// The histories of the criteria boxes "Named:", "Look in:" and "Containing text:" while the program
// runs: what leaving a box does to its list, and what the folder browser leaves in "Look in:".
#pragma once

#include <string>
#include <vector>

namespace trovex
{

/// A box's list with the entry shown, as the rules leave it.
struct THistoryBox
{
    std::vector<std::string> Items;
    int Current = -1; ///< the selected entry, -1 for none
};

/// Leaving a box: the value is the selected entry when one is selected, is not empty and is what the
/// field shows, else the field's text. Every entry equal to it (exactly, case included) and every
/// empty entry goes, and the value becomes the first entry, selected. The list grows without a
/// limit; an empty value becomes an empty first entry.
THistoryBox LeaveHistoryBox(const std::vector<std::string>& items, int selected, const std::string& text);

/// What the folder browser gave (empty when cancelled), checked: a folder that is not there becomes
/// `fallback` and `refused` is set, so the face says "No such folder". Either way the folder is put
/// first in the list (duplicates go at the next leaving of the box).
struct TBrowsedFolder
{
    std::string Folder;
    bool Refused = false;
};
TBrowsedFolder CheckBrowsedFolder(const std::string& chosen, bool exists, const std::string& fallback);

} // namespace trovex
