// SPDX-License-Identifier: MIT
#include "winapp/SkippedList.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <string>

#include "platform/win32/Wide.h"
#include "window/SkippedFiles.h"

namespace trovex::win32
{

namespace
{

class TSkippedForm
{
public:
    TSkippedForm(const TLanguageTexts& texts, std::vector<TSkippedFile> files) : FTexts(texts), FFiles(std::move(files)) {}

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* form = reinterpret_cast<TSkippedForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_NCCREATE) {
            form = static_cast<TSkippedForm*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            form->FHandle = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
        }
        return form ? form->Handle(message, wParam, lParam) : ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    bool Done() const { return FDone; }
    HWND FHandle = nullptr;

private:
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_CREATE:
            Create();
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == SkippedCopyId)
                Copy();
            else if (LOWORD(wParam) == SkippedReportId)
                SaveReport();
            else if (LOWORD(wParam) == SkippedCloseId)
                ::PostMessageW(FHandle, WM_CLOSE, 0, 0);
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom != SkippedListId)
                return 0;
            if (header->code == LVN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
                const TSkippedFile& file = FFiles.at(static_cast<std::size_t>(info->item.iItem));
                FCell = Wide(info->item.iSubItem == 0 ? file.Path : file.Reason);
                info->item.pszText = FCell.data();
            } else if (header->code == LVN_COLUMNCLICK) {
                Sort(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            } else if (header->code == LVN_KEYDOWN && reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == 'C' &&
                       (::GetKeyState(VK_CONTROL) & 0x8000)) {
                Copy();
            }
            return 0;
        }
        case WM_CLOSE:
            FDone = true;
            ::DestroyWindow(FHandle);
            return 0;
        default:
            return ::DefWindowProcW(FHandle, message, wParam, lParam);
        }
    }

    HWND Make(const wchar_t* cls, const std::string& text, DWORD style, int id, DWORD exStyle = 0)
    {
        HWND hwnd = ::CreateWindowExW(exStyle, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0,
                                      FHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        ::SendMessageW(hwnd, WM_SETFONT, ::SendMessageW(::GetWindow(FHandle, GW_OWNER), WM_GETFONT, 0, 0), FALSE);
        return hwnd;
    }

    void Create()
    {
        FList = Make(WC_LISTVIEWW, "", LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, SkippedListId, WS_EX_CLIENTEDGE);
        ListView_SetExtendedListViewStyle(FList, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        int column = 0;
        for (const char* title : {"File", "Reason"}) {
            std::wstring text = Wide(FTexts.Translate(title));
            LVCOLUMNW lvc{};
            lvc.mask = LVCF_TEXT | LVCF_WIDTH;
            lvc.cx = column == 0 ? 420 : 220;
            lvc.pszText = text.data();
            ::SendMessageW(FList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column++), reinterpret_cast<LPARAM>(&lvc));
        }
        ListView_SetItemCountEx(FList, static_cast<int>(FFiles.size()), 0);
        Make(WC_BUTTONW, FTexts.Translate("Copy"), BS_PUSHBUTTON, SkippedCopyId);
        Make(WC_BUTTONW, FTexts.Translate("Save report..."), BS_PUSHBUTTON, SkippedReportId);
        Make(WC_BUTTONW, FTexts.Translate("Close"), BS_DEFPUSHBUTTON, SkippedCloseId);
    }

    void Layout()
    {
        RECT r{};
        ::GetClientRect(FHandle, &r);
        constexpr int Margin = 8, ButtonWidth = 100, ButtonHeight = 25;
        const int buttonsTop = r.bottom - Margin - ButtonHeight;
        ::MoveWindow(FList, Margin, Margin, r.right - 2 * Margin, buttonsTop - 2 * Margin, TRUE);
        ::MoveWindow(::GetDlgItem(FHandle, SkippedCopyId), Margin, buttonsTop, ButtonWidth, ButtonHeight, TRUE);
        ::MoveWindow(::GetDlgItem(FHandle, SkippedReportId), 2 * Margin + ButtonWidth, buttonsTop, ButtonWidth, ButtonHeight, TRUE);
        ::MoveWindow(::GetDlgItem(FHandle, SkippedCloseId), r.right - Margin - ButtonWidth, buttonsTop, ButtonWidth, ButtonHeight, TRUE);
    }

    void Sort(int column)
    {
        FAscending = column == FSortColumn ? !FAscending : true;
        FSortColumn = column;
        auto key = [column](const TSkippedFile& f) -> const std::string& { return column == 0 ? f.Path : f.Reason; };
        std::stable_sort(FFiles.begin(), FFiles.end(), [&](const TSkippedFile& a, const TSkippedFile& b) {
            return FAscending ? key(a) < key(b) : key(b) < key(a);
        });
        HWND header = ListView_GetHeader(FList);
        for (int i = 0; i < 2; ++i) {
            HDITEMW item{};
            item.mask = HDI_FORMAT;
            ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
            if (i == column)
                item.fmt |= FAscending ? HDF_SORTUP : HDF_SORTDOWN;
            ::SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        }
        ::InvalidateRect(FList, nullptr, FALSE);
    }

    // The selected rows as shown, or every row when none is selected.
    std::vector<TSkippedFile> Rows() const
    {
        std::vector<TSkippedFile> rows;
        for (int i = ListView_GetNextItem(FList, -1, LVNI_SELECTED); i >= 0; i = ListView_GetNextItem(FList, i, LVNI_SELECTED))
            rows.push_back(FFiles.at(static_cast<std::size_t>(i)));
        return rows.empty() ? FFiles : rows;
    }

    void Copy()
    {
        const std::wstring text = Wide(SkippedClipboardText(Rows()));
        if (!::OpenClipboard(FHandle))
            return;
        ::EmptyClipboard();
        if (HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t))) {
            std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(::GlobalLock(block)));
            ::GlobalUnlock(block);
            if (!::SetClipboardData(CF_UNICODETEXT, block))
                ::GlobalFree(block);
        }
        ::CloseClipboard();
    }

    void SaveReport()
    {
        wchar_t name[32768] = L"NotSearched";
        const std::wstring title = Wide(FTexts.Translate("Save report..."));
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = FHandle;
        ofn.lpstrFilter = L"Text files (*.txt)\0*.txt\0CSV files (*.csv)\0*.csv\0";
        ofn.lpstrFile = name;
        ofn.nMaxFile = static_cast<DWORD>(std::size(name));
        ofn.lpstrTitle = title.c_str();
        ofn.lpstrDefExt = L"txt";
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (!::GetSaveFileNameW(&ofn))
            return;
        const std::string bytes = SkippedReportBytes(FFiles, Narrow(name));
        HANDLE file = ::CreateFileW(WidePath(Narrow(name)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const bool ok = file != INVALID_HANDLE_VALUE &&
                        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size();
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        if (!ok)
            ::MessageBoxW(FHandle, (L"Cannot create file " + std::wstring(name)).c_str(), L"Error", MB_OK | MB_ICONERROR);
    }

    const TLanguageTexts& FTexts;
    std::vector<TSkippedFile> FFiles;
    HWND FList = nullptr;
    std::wstring FCell;
    int FSortColumn = -1;
    bool FAscending = true;
    bool FDone = false;
};

} // namespace

void ShowSkippedList(HWND owner, const TLanguageTexts& texts, const std::vector<TSkippedFile>& files)
{
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = TSkippedForm::WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = SkippedWindowClass;
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (!registered)
        return;
    TSkippedForm form(texts, files);
    RECT ownerRect{};
    ::GetWindowRect(owner, &ownerRect);
    HWND hwnd = ::CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, SkippedWindowClass,
                                  Wide(texts.Translate("Not searched")).c_str(), WS_OVERLAPPEDWINDOW, ownerRect.left + 30,
                                  ownerRect.top + 30, 680, 400, owner, nullptr, ::GetModuleHandleW(nullptr), &form);
    if (!hwnd)
        return;
    // Modal: the main window takes no input until the list is closed.
    ::EnableWindow(owner, FALSE);
    ::ShowWindow(hwnd, SW_SHOW);
    MSG msg{};
    while (!form.Done() && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(hwnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    ::EnableWindow(owner, TRUE);
    ::SetActiveWindow(owner);
    if (msg.message == WM_QUIT)
        ::PostQuitMessage(static_cast<int>(msg.wParam));
}

} // namespace trovex::win32
