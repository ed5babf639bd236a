// SPDX-License-Identifier: MIT
// History rules; see History.h.
#include "window/History.h"

namespace trovex
{

THistoryBox LeaveHistoryBox(const std::vector<std::string>& items, int selected, const std::string& text)
{
    std::string value = text;
    if (selected >= 0 && selected < static_cast<int>(items.size()) && !items[static_cast<std::size_t>(selected)].empty() &&
        items[static_cast<std::size_t>(selected)] == text)
        value = items[static_cast<std::size_t>(selected)];
    THistoryBox box;
    box.Items.push_back(value);
    for (const std::string& item : items)
        if (item != value && !item.empty())
            box.Items.push_back(item);
    box.Current = 0;
    return box;
}

TBrowsedFolder CheckBrowsedFolder(const std::string& chosen, bool exists, const std::string& fallback)
{
    if (chosen.empty() || !exists)
        return {fallback, true};
    return {chosen, false};
}

} // namespace trovex
