// SPDX-License-Identifier: MIT
// The files a run could not search in full, with the reason for each: the window that the status
// bar's "N not searched" opens, modal to the main window. Sortable by either column; Copy puts the
// selected rows (or all) on the clipboard, "Save report..." writes them all to a file.
#pragma once

#include <windows.h>

#include <vector>

#include "window/LanguageTexts.h"
#include "window/SearchSession.h"

namespace trovex::win32
{

/// The window's class name, by which tests find it.
constexpr const wchar_t* SkippedWindowClass = L"TSkippedForm";
/// Its controls' ids.
constexpr int SkippedListId = 101;
constexpr int SkippedCopyId = 102;
constexpr int SkippedReportId = 103;
constexpr int SkippedCloseId = IDCANCEL;

/// Shows the list and returns when it is closed.
void ShowSkippedList(HWND owner, const TLanguageTexts& texts, const std::vector<TSkippedFile>& files);

} // namespace trovex::win32
