// SPDX-License-Identifier: MIT
// The main window of trovex.exe: for now its frame at the designed bounds, scaled for the
// monitor's DPI, and the page control with its four pages. The controls of the pages and their
// behaviour come with the window core.
#pragma once

#include <windows.h>

namespace trovex::win32
{

/// The window's class name, by which tests and other programs find it.
constexpr const wchar_t* MainWindowClass = L"TFindForm";
/// The page control's control id.
constexpr int PageCtrlId = 100;

class TFindForm
{
public:
    /// Registers the class and creates the window, hidden; nullptr on failure.
    static TFindForm* Create(HINSTANCE instance);

    HWND Handle() const { return FHandle; }
    HWND PageCtrl() const { return FPageCtrl; }

private:
    explicit TFindForm(HWND handle) : FHandle(handle) {}
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    void FormCreate();
    /// Places the controls at their designed bounds for the window's current DPI and width.
    void Layout();
    int Scale(int pixels) const;

    HWND FHandle;
    HWND FPageCtrl = nullptr;
    HFONT FFont = nullptr;
    UINT FDpi = 96;
};

} // namespace trovex::win32
