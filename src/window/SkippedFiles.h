// SPDX-License-Identifier: MIT
// The list of files a run could not search in full, as its window hands it on: the text it copies
// and the report it writes. Every face shows the same list the same way.
#pragma once

#include <string>
#include <vector>

#include "window/SearchSession.h"

namespace trovex
{

/// What Copy puts on the clipboard: the reason, a tab and the path, one file a line.
std::string SkippedClipboardText(const std::vector<TSkippedFile>& rows);

/// The report of the list written to `fileName`: the path's own bytes, the separator its name asks
/// for (a comma for ".csv", else a tab) and the reason, CR LF after each file.
std::string SkippedReportBytes(const std::vector<TSkippedFile>& rows, const std::string& fileName);

} // namespace trovex
