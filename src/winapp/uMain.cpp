// SPDX-License-Identifier: MIT
#include "winapp/uMain.h"

#include <commctrl.h>

#include <array>

namespace trovex::win32
{

namespace
{

constexpr const wchar_t* Caption = L"File Trovex - file search utility -";
// Designed bounds at 96 dots per inch: the window's outer rectangle, and the page control's,
// which keeps its distance from the window's right edge as the window widens.
constexpr RECT DesignBounds{213, 113, 213 + 527, 113 + 432};
constexpr int DesignClientWidth = 519;
constexpr RECT PageCtrlBounds{4, 3, 4 + 408, 3 + 221};
constexpr int DesignDpi = 96;
constexpr int FontHeight = 13;
// Stored captions: "&&" shows one "&".
constexpr std::array<const wchar_t*, 4> PageCaptions{L"Name && Location", L"Advanced", L"Options", L"About"};

// GetDpiForWindow exists from Windows 10 1607 on; older systems have one DPI for all monitors.
UINT WindowDpi(HWND hwnd)
{
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi)
        if (UINT dpi = getDpi(hwnd))
            return dpi;
    HDC dc = ::GetDC(hwnd);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : DesignDpi;
}

} // namespace

TFindForm* TFindForm::Create(HINSTANCE instance)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = MainWindowClass;
    if (!::RegisterClassExW(&wc))
        return nullptr;
    HWND hwnd = ::CreateWindowExW(0, MainWindowClass, Caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, DesignBounds.left,
                                  DesignBounds.top, DesignBounds.right - DesignBounds.left,
                                  DesignBounds.bottom - DesignBounds.top, nullptr, nullptr, instance, nullptr);
    return hwnd ? reinterpret_cast<TFindForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)) : nullptr;
}

LRESULT CALLBACK TFindForm::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* form = reinterpret_cast<TFindForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        form = new TFindForm(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    if (!form)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    const LRESULT result = form->Handle(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete form;
    }
    return result;
}

LRESULT TFindForm::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        FormCreate();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DPICHANGED: {
        FDpi = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(FHandle, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        Layout();
        return 0;
    }
    case WM_DESTROY:
        if (FFont)
            ::DeleteObject(FFont);
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(FHandle, message, wParam, lParam);
    }
}

int TFindForm::Scale(int pixels) const
{
    return ::MulDiv(pixels, static_cast<int>(FDpi), DesignDpi);
}

void TFindForm::FormCreate()
{
    FDpi = WindowDpi(FHandle);
    if (FDpi != DesignDpi)
        ::SetWindowPos(FHandle, nullptr, Scale(DesignBounds.left), Scale(DesignBounds.top),
                       Scale(DesignBounds.right - DesignBounds.left), Scale(DesignBounds.bottom - DesignBounds.top),
                       SWP_NOZORDER | SWP_NOACTIVATE);
    FFont = ::CreateFontW(-Scale(FontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    FPageCtrl = ::CreateWindowExW(0, WC_TABCONTROLW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP, 0, 0, 0, 0,
                                  FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(PageCtrlId)),
                                  reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(FHandle, GWLP_HINSTANCE)), nullptr);
    ::SendMessageW(FPageCtrl, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    for (std::size_t i = 0; i < PageCaptions.size(); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(PageCaptions[i]);
        ::SendMessageW(FPageCtrl, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(FPageCtrl, TCM_SETCURSEL, 0, 0);
    Layout();
}

void TFindForm::Layout()
{
    if (!FPageCtrl)
        return;
    RECT client{};
    ::GetClientRect(FHandle, &client);
    // Anchored left, top and right: the page control widens with the window.
    const int rightMargin = Scale(DesignClientWidth - PageCtrlBounds.right);
    const int left = Scale(PageCtrlBounds.left);
    const int width = std::max<int>(Scale(PageCtrlBounds.right - PageCtrlBounds.left), client.right - rightMargin - left);
    ::MoveWindow(FPageCtrl, left, Scale(PageCtrlBounds.top), width, Scale(PageCtrlBounds.bottom - PageCtrlBounds.top), TRUE);
}

} // namespace trovex::win32
