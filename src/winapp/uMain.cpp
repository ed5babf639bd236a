// SPDX-License-Identifier: MIT
#include "winapp/uMain.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/win32/Wide.h"
#include "search/SearchCriteria.h"
#include "shell/win32/Install.h"
#include "shell/win32/ShellUtl.h"
#include "window/History.h"
#include "window/Options.h"
#include "winapp/SkippedList.h"
#include "window/PlacementMath.h"
#include "window/Settings.h"

namespace trovex::win32
{

namespace
{

constexpr const wchar_t* Caption = L"File Trovex - file search utility -";
constexpr const wchar_t* PanelClass = L"TrovexPanel";
constexpr const wchar_t* AnimateClass = L"TrovexAnimate";
constexpr int DesignDpi = 96;
constexpr int FontHeight = 13;
constexpr int AnimateFrames = 12;
// The status bar's third panel: "N not searched", a click away from the list of those files.
constexpr int NotSearchedPanelWidth = 130;
constexpr int DropDownHeight = 200;
constexpr std::string_view PlacementKey = "Software\\Brenvik\\Trovex\\Placement";
constexpr std::string_view HomePage = "https://brenvik.example/trovex/";
constexpr std::string_view SupportMail = "support@brenvik.example";
constexpr std::string_view HomePageHost = "brenvik.example";
constexpr int FormVersion = 0;

std::wstring W(std::string_view text)
{
    return Wide(text);
}

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

HINSTANCE Instance(HWND hwnd)
{
    return reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
}

// Panels and pages hold controls; what the controls tell their parent goes on to the main window.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
        return ::SendMessageW(::GetAncestor(hwnd, GA_ROOT), message, wParam, lParam);
    default:
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// The search animation: a magnifying glass circling over a sheet while a run goes on, at rest
// otherwise. Its frame is the window's user data; -1 at rest.
LRESULT CALLBACK AnimateProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd, &ps);
    RECT r;
    ::GetClientRect(hwnd, &r);
    ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    const int w = r.right, h = r.bottom;
    const int unit = std::max(1, std::min(w, h) / 10);
    // The sheet.
    HPEN pen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ oldPen = ::SelectObject(dc, pen);
    HGDIOBJ oldBrush = ::SelectObject(dc, ::GetSysColorBrush(COLOR_WINDOW));
    ::Rectangle(dc, w / 2 - 3 * unit, h / 2 - 4 * unit, w / 2 + 3 * unit, h / 2 + 4 * unit);
    for (int line = -2; line <= 2; ++line) {
        ::MoveToEx(dc, w / 2 - 2 * unit, h / 2 + line * unit * 3 / 2, nullptr);
        ::LineTo(dc, w / 2 + 2 * unit, h / 2 + line * unit * 3 / 2);
    }
    ::SelectObject(dc, oldPen);
    ::DeleteObject(pen);
    // The glass, on a circle around the sheet's middle.
    static constexpr int OffsetX[AnimateFrames] = {0, 2, 3, 4, 3, 2, 0, -2, -3, -4, -3, -2};
    static constexpr int OffsetY[AnimateFrames] = {-4, -3, -2, 0, 2, 3, 4, 3, 2, 0, -2, -3};
    const LONG_PTR frame = ::GetWindowLongPtrW(hwnd, GWLP_USERDATA);
    const int cx = w / 2 + (frame >= 0 ? OffsetX[frame % AnimateFrames] * unit / 2 : 0);
    const int cy = h / 2 + (frame >= 0 ? OffsetY[frame % AnimateFrames] * unit / 2 : 0);
    HPEN glass = ::CreatePen(PS_SOLID, std::max(2, unit / 2), RGB(40, 40, 40));
    ::SelectObject(dc, glass);
    ::SelectObject(dc, ::GetStockObject(NULL_BRUSH));
    ::Ellipse(dc, cx - 2 * unit, cy - 2 * unit, cx + 2 * unit, cy + 2 * unit);
    ::MoveToEx(dc, cx + unit * 3 / 2, cy + unit * 3 / 2, nullptr);
    ::LineTo(dc, cx + 3 * unit, cy + 3 * unit);
    ::SelectObject(dc, oldPen);
    ::SelectObject(dc, oldBrush);
    ::DeleteObject(glass);
    ::EndPaint(hwnd, &ps);
    return 0;
}

bool RegisterClasses(HINSTANCE instance, WNDPROC formProc)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.lpfnWndProc = formProc;
    wc.lpszClassName = MainWindowClass;
    if (!::RegisterClassExW(&wc))
        return false;
    wc.hIcon = nullptr;
    wc.lpfnWndProc = PanelProc;
    wc.lpszClassName = PanelClass;
    if (!::RegisterClassExW(&wc))
        return false;
    wc.lpfnWndProc = AnimateProc;
    wc.lpszClassName = AnimateClass;
    return ::RegisterClassExW(&wc) != 0;
}

std::string ProgramFolder()
{
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash));
}

// Work areas of the monitors there are now, in screen coordinates.
std::vector<TScreenRect> WorkAreas()
{
    std::vector<TScreenRect> areas;
    ::EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM data) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (::GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<TScreenRect>*>(data)->push_back(
                    {info.rcWork.left, info.rcWork.top, info.rcWork.right - info.rcWork.left,
                     info.rcWork.bottom - info.rcWork.top});
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    return areas;
}

// The placement record's normal rectangle is in workspace coordinates: screen coordinates less the
// primary monitor's work area origin.
POINT WorkspaceOrigin()
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
    return {info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top};
}

} // namespace

int ControlId(std::string_view name)
{
    const std::span<const TControlLayout> controls = MainWindowLayout();
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].Name == name)
            return ControlIdBase + static_cast<int>(i);
    return -1;
}

// ---- Creation ---------------------------------------------------------------------------------

TFindForm::TFindForm(HWND handle)
    : FHandle(handle), FTexts(ProgramFolder()), FStore(TRegistry::DefaultPath())
{
}

TFindForm::~TFindForm()
{
    FSession.reset(); // ends a run still going; its worker never outlives the rows it fills
    if (FFont)
        ::DeleteObject(FFont);
    if (FTitleFont)
        ::DeleteObject(FTitleFont);
}

TFindForm* TFindForm::Create(HINSTANCE instance, const TStartOptions& options)
{
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES |
                                             ICC_DATE_CLASSES | ICC_LINK_CLASS | ICC_USEREX_CLASSES};
    ::InitCommonControlsEx(&icc);
    if (!RegisterClasses(instance, WindowProc))
        return nullptr;
    HWND hwnd = ::CreateWindowExW(0, MainWindowClass, Caption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, DesignBounds.X,
                                  DesignBounds.Y, 100, 100, nullptr, nullptr, instance, nullptr);
    if (!hwnd)
        return nullptr;
    auto* form = reinterpret_cast<TFindForm*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    form->FOptions = options;
    form->FormCreate();
    return form;
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
    LRESULT result = 0;
    try {
        result = form->Handle(message, wParam, lParam);
    } catch (const std::exception& e) {
        // A handler's failure is shown as the application's error handler would, and the window goes on.
        form->ShowError(e.what());
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete form;
    }
    return result;
}

int TFindForm::Scale(int pixels) const
{
    return ::MulDiv(pixels, static_cast<int>(FDpi), DesignDpi);
}

void TFindForm::SetFonts()
{
    if (FFont)
        ::DeleteObject(FFont);
    if (FTitleFont)
        ::DeleteObject(FTitleFont);
    FFont = ::CreateFontW(-Scale(FontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                          CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    FTitleFont = ::CreateFontW(-Scale(24), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    const std::span<const TControlLayout> layout = MainWindowLayout();
    for (std::size_t i = 0; i < FControls.size(); ++i)
        if (FControls[i])
            ::SendMessageW(FControls[i], WM_SETFONT,
                           reinterpret_cast<WPARAM>(layout[i].Name == "lTrovex" ? FTitleFont : FFont), FALSE);
}

HWND TFindForm::Control(std::string_view name) const
{
    const int id = ControlId(name);
    return id < 0 || static_cast<std::size_t>(id - ControlIdBase) >= FControls.size()
               ? nullptr
               : FControls[static_cast<std::size_t>(id - ControlIdBase)];
}

void TFindForm::FormCreate()
{
    FDpi = WindowDpi(FHandle);
    // The design's client size, with the frame this system draws around it.
    RECT frame{0, 0, Scale(DesignBounds.Width), Scale(DesignBounds.Height)};
    ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
    ::SetWindowPos(FHandle, nullptr, Scale(DesignBounds.X), Scale(DesignBounds.Y), frame.right - frame.left,
                   frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    SetFonts();
    FSession = std::make_unique<TSearchSession>(static_cast<TSessionFace&>(*this), FTexts);

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    ::SendMessageW(Control("eDateTo"), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&now));
    SYSTEMTIME midnight = now;
    midnight.wHour = midnight.wMinute = midnight.wSecond = midnight.wMilliseconds = 0;
    ::SendMessageW(Control("eDateFrom"), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&midnight));

    LoadSettings();
    ::SendMessageW(Control("cbTypes"), CB_SETCURSEL, 0, 0);
    ::SendMessageW(Control("cbLastMonth"), CB_SETCURSEL, 0, 0);
    ::SendMessageW(Control("cbLastDays"), CB_SETCURSEL, 0, 0);
    if (!ComboItems("cbFolder").empty())
        ::SendMessageW(Control("cbFolder"), CB_SETCURSEL, 0, 0);
    if (Text("cbFolder").empty())
        SetText("cbFolder", HomeFolder());
    if (FOptions.Folder) {
        ::SendMessageW(Control("cbFolder"), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetText("cbFolder", *FOptions.Folder);
    }
    ApplyLanguage();
    ShowStatus(1, FSession->TotalsText());
    LayoutControls();
}

HWND TFindForm::CreateControl(const TControlLayout& c, int index)
{
    using K = TControlKind;
    HWND parent = FHandle;
    if (!c.Parent.empty()) {
        const TControlLayout& p = LayoutOf(c.Parent);
        // Pages are siblings of the page control, laid over its display area; the date group's
        // controls sit on its page (a group box passes nothing on).
        if (p.Kind == K::Pages)
            parent = Control(p.Parent);
        else if (p.Kind == K::Group)
            parent = Control(p.Parent);
        else
            parent = Control(c.Parent);
    }
    const std::wstring caption = W(c.Caption);
    const wchar_t* cls = WC_STATICW;
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (c.Kind) {
    case K::Panel:
    case K::Page:
        cls = PanelClass;
        // A page paints its background under its frames too: a group box draws only its lines and
        // caption, and what was on the screen before would show through it.
        if (c.Kind == K::Panel)
            style |= WS_CLIPCHILDREN;
        exStyle = WS_EX_CONTROLPARENT;
        if (c.Kind == K::Page && index != ControlId("TabFind") - ControlIdBase)
            style &= ~WS_VISIBLE;
        break;
    case K::StatusBar:
        cls = STATUSCLASSNAMEW;
        style |= SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;
        break;
    case K::Pages:
        cls = WC_TABCONTROLW;
        style |= WS_TABSTOP;
        break;
    case K::Button:
        cls = WC_BUTTONW;
        style |= WS_TABSTOP | (c.Name == "btnFind" ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        break;
    case K::Label:
        style |= c.Align == TAlign::Right ? SS_RIGHT : SS_LEFT;
        break;
    case K::Link:
        cls = WC_LINK;
        style |= WS_TABSTOP;
        break;
    case K::Check:
        cls = WC_BUTTONW;
        style |= WS_TABSTOP | BS_AUTOCHECKBOX;
        break;
    case K::Radio:
        cls = WC_BUTTONW;
        style |= BS_AUTORADIOBUTTON | (c.Name == "RadioBFromTo" ? WS_GROUP | WS_TABSTOP : 0);
        break;
    case K::HistoryBox:
    case K::Combo:
        cls = WC_COMBOBOXW;
        style |= WS_TABSTOP | WS_VSCROLL | CBS_AUTOHSCROLL |
                 (c.Name == "cbTypes" || c.Name == "cbLanguage" ? CBS_DROPDOWNLIST
                  : SimpleCombo(c.Name)                         ? CBS_SIMPLE
                                                                : CBS_DROPDOWN);
        break;
    case K::Group:
        cls = WC_BUTTONW;
        style |= BS_GROUPBOX;
        break;
    case K::Bevel:
        style |= SS_ETCHEDFRAME;
        break;
    case K::DatePicker:
        cls = DATETIMEPICK_CLASSW;
        // The long date with its weekday does not fit the design's width.
        style |= WS_TABSTOP | DTS_SHORTDATECENTURYFORMAT;
        break;
    case K::Animation:
        cls = AnimateClass;
        break;
    case K::List:
        return nullptr; // the result list makes its own control
    }
    if (c.Kind != K::Radio && c.Kind != K::Group)
        style |= WS_GROUP;
    if (!c.Enabled)
        style |= WS_DISABLED;
    std::wstring text = caption;
    if (c.Kind == K::Link)
        text = L"<a>" + W(c.Name == "lWebPage" ? HomePageHost : SupportMail) + L"</a>";
    else if (c.Name == "lTrovex")
        text = L"Marlix v." + W(TROVEX_VERSION);
    HWND hwnd = ::CreateWindowExW(exStyle, cls, text.c_str(), style, 0, 0, 0, 0, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdBase + index)),
                                  Instance(FHandle), nullptr);
    if (hwnd && (c.Kind == K::Check || c.Kind == K::Radio) && c.Checked)
        ::SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    if (hwnd && c.Kind == K::Animation)
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, -1);
    return hwnd;
}

void TFindForm::CreateControls()
{
    const std::span<const TControlLayout> layout = MainWindowLayout();
    FControls.assign(layout.size(), nullptr);
    for (std::size_t i = 0; i < layout.size(); ++i)
        FControls[i] = CreateControl(layout[i], static_cast<int>(i));

    // The pages' tabs, in design order.
    HWND pages = Control("PageCtrl");
    int tab = 0;
    for (const TControlLayout& c : layout)
        if (c.Kind == TControlKind::Page) {
            std::wstring caption = W(c.Caption);
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = caption.data();
            ::SendMessageW(pages, TCM_INSERTITEMW, static_cast<WPARAM>(tab++), reinterpret_cast<LPARAM>(&item));
        }
    // The pages lie over the page control; tab order follows creation, so they come after it.
    for (const TControlLayout& c : layout)
        if (c.Kind == TControlKind::Page)
            ::SetWindowPos(Control(c.Name), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // Frames lie below the controls they hold: a sibling made earlier lies above those made later,
    // and each clips away the siblings above it, so a frame on top hides what it holds.
    for (std::size_t i = 0; i < layout.size(); ++i)
        if (layout[i].Kind == TControlKind::Group || layout[i].Kind == TControlKind::Bevel)
            ::SetWindowPos(FControls[i], HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    for (std::string_view item : TypePresets)
        ::SendMessageW(Control("cbTypes"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item).c_str()));
    for (const char* n : {"1", "2", "3", "4", "5", "6", "9", "12"})
        ::SendMessageW(Control("cbLastMonth"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(n).c_str()));
    for (const char* n : {"1", "2", "3", "4", "5", "6", "7", "10", "20", "30"})
        ::SendMessageW(Control("cbLastDays"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(n).c_str()));
    for (const char* box : {"cbMask", "cbFolder", "cbString"})
        ::SendMessageW(Control(box), CB_SETMINVISIBLE, 10, 0);

    const int list = ControlId("ListView");
    FList = std::make_unique<TResultList>(Control(LayoutOf("ListView").Parent), list,
                                          static_cast<TResultListHost&>(*this));
    FControls[static_cast<std::size_t>(list - ControlIdBase)] = FList->Handle();
    FList->OnColumnClick = [this](int column) {
        if (FSession->ColumnClick(column))
            FList->Sort(column, FSession->SortAscending[static_cast<std::size_t>(column)]);
    };
}

void TFindForm::LayoutControls()
{
    if (FControls.empty())
        return;
    using K = TControlKind;
    const std::span<const TControlLayout> layout = MainWindowLayout();
    // Each control's rectangle at the design size (scaled) and now, in its design parent's client.
    struct TPlaced
    {
        RECT Design{};
        RECT Now{};
    };
    std::vector<TPlaced> placed(layout.size());
    RECT client{};
    ::GetClientRect(FHandle, &client);
    auto indexOf = [&](std::string_view name) { return static_cast<std::size_t>(ControlId(name) - ControlIdBase); };
    auto size = [](const RECT& r) { return SIZE{r.right - r.left, r.bottom - r.top}; };

    HDWP batch = ::BeginDeferWindowPos(static_cast<int>(layout.size()));
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const TControlLayout& c = layout[i];
        HWND hwnd = FControls[i];
        SIZE parentDesign{Scale(DesignBounds.Width), Scale(DesignBounds.Height)};
        SIZE parentNow{client.right, client.bottom};
        POINT offset{0, 0}; // from the design parent's client to the window parent's
        if (!c.Parent.empty()) {
            const std::size_t p = indexOf(c.Parent);
            parentDesign = size(placed[p].Design);
            parentNow = size(placed[p].Now);
            const K parentKind = layout[p].Kind;
            if (parentKind == K::Page || parentKind == K::Group) {
                // The group's controls lie on the page; a page lies beside the page control.
                offset = {placed[p].Now.left, placed[p].Now.top};
                if (parentKind == K::Page)
                    offset = {0, 0};
            }
        }
        RECT r{};
        if (c.Kind == K::Page) {
            // The page control's display area, at the design size and now.
            const std::size_t p = indexOf(c.Parent);
            RECT design{0, 0, parentDesign.cx, parentDesign.cy};
            ::SendMessageW(Control(c.Parent), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&design));
            RECT now = placed[p].Now;
            ::SendMessageW(Control(c.Parent), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&now));
            placed[i] = {design, {0, 0, now.right - now.left, now.bottom - now.top}};
            r = now;
        } else {
            const RECT design{Scale(c.Rect.X), Scale(c.Rect.Y), Scale(c.Rect.X + c.Rect.Width),
                              Scale(c.Rect.Y + c.Rect.Height)};
            const int dx = parentNow.cx - parentDesign.cx;
            const int dy = parentNow.cy - parentDesign.cy;
            RECT now = design;
            if (c.Anchors & akRight) {
                now.right += dx;
                if (!(c.Anchors & akLeft))
                    now.left += dx;
            }
            if (c.Anchors & akBottom) {
                now.bottom += dy;
                if (!(c.Anchors & akTop))
                    now.top += dy;
            }
            // A label whose text outgrew its design width widens, keeping its aligned edge.
            if ((c.Kind == K::Label || c.Kind == K::Link) && i < FFitWidths.size() &&
                FFitWidths[i] > now.right - now.left) {
                if (c.Align == TAlign::Right)
                    now.left = now.right - FFitWidths[i];
                else
                    now.right = now.left + FFitWidths[i];
            }
            // A control never shrinks below nothing when the window is made very small.
            now.right = std::max(now.right, now.left);
            now.bottom = std::max(now.bottom, now.top);
            placed[i] = {design, now};
            r = now;
            ::OffsetRect(&r, offset.x, offset.y);
        }
        int height = r.bottom - r.top;
        if ((c.Kind == K::HistoryBox || c.Kind == K::Combo) && !SimpleCombo(c.Name))
            height += Scale(DropDownHeight); // a combo box's height includes its drop-down list
        if (hwnd)
            batch = ::DeferWindowPos(batch, hwnd, nullptr, r.left, r.top, r.right - r.left, height,
                                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::EndDeferWindowPos(batch);
    ClipOverlaps();
    LayoutStatusParts();
}

void TFindForm::ClipOverlaps()
{
    // Where two controls of the design overlap (a radio button's width runs under the date picker
    // on its row), the one made later lies above, as it was drawn. Here siblings made earlier lie
    // above, and they must keep the tab order they give, so the earlier one gives up that place.
    using K = TControlKind;
    const std::span<const TControlLayout> layout = MainWindowLayout();
    const auto clipped = [&](std::size_t i) {
        const K kind = layout[i].Kind;
        return FControls[i] && kind != K::Page && kind != K::Pages && kind != K::Group && kind != K::Bevel &&
               kind != K::Panel;
    };
    // Asked once per control: the pairs below are many, and each call may cross to the window server.
    std::vector<RECT> rects(layout.size());
    std::vector<HWND> parents(layout.size());
    for (std::size_t i = 0; i < layout.size(); ++i)
        if (clipped(i)) {
            ::GetWindowRect(FControls[i], &rects[i]);
            parents[i] = ::GetParent(FControls[i]);
        }
    FClipped.resize(layout.size(), false);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!clipped(i))
            continue;
        HRGN region = nullptr;
        for (std::size_t j = i + 1; j < layout.size(); ++j) {
            RECT common{};
            if (!clipped(j) || parents[j] != parents[i] ||
                !::IntersectRect(&common, &rects[i], &rects[j]))
                continue;
            const RECT& own = rects[i];
            if (!region)
                region = ::CreateRectRgn(0, 0, own.right - own.left, own.bottom - own.top);
            HRGN cut = ::CreateRectRgn(common.left - own.left, common.top - own.top, common.right - own.left,
                                       common.bottom - own.top);
            ::CombineRgn(region, region, cut, RGN_DIFF);
            ::DeleteObject(cut);
        }
        if (region || FClipped[i])
            ::SetWindowRgn(FControls[i], region, TRUE); // the window owns the region from here
        FClipped[i] = region != nullptr;
    }
}

void TFindForm::LayoutStatusParts()
{
    // The count, the folder and totals, and "N not searched", which takes room only while it says
    // something: the totals need the whole bar.
    HWND status = Control("StatusBar");
    RECT sr{};
    ::GetClientRect(status, &sr);
    const int last = FNotSearched.empty() ? 0 : Scale(NotSearchedPanelWidth);
    const int parts[3] = {Scale(StatusCountWidth), std::max<int>(Scale(StatusCountWidth), sr.right - last), -1};
    ::SendMessageW(status, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

void TFindForm::ShowPage(int page)
{
    FPage = page;
    int tab = 0;
    for (const TControlLayout& c : MainWindowLayout())
        if (c.Kind == TControlKind::Page)
            ::ShowWindow(Control(c.Name), tab++ == page ? SW_SHOW : SW_HIDE);
    ::SendMessageW(Control("PageCtrl"), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
}

void TFindForm::ApplyLanguage()
{
    const std::span<const TControlLayout> layout = MainWindowLayout();
    int tab = 0;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const TControlLayout& c = layout[i];
        if (c.Caption.empty() || !FControls[i])
            continue;
        const std::wstring text = W(FTexts.Translate(c.Caption));
        if (c.Kind == TControlKind::Page) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            std::wstring caption = text;
            item.pszText = caption.data();
            ::SendMessageW(Control("PageCtrl"), TCM_SETITEMW, static_cast<WPARAM>(tab++), reinterpret_cast<LPARAM>(&item));
        } else if (c.Name != "btnStop" || !FSession || !FSession->Controls().StopEnabled) {
            ::SetWindowTextW(FControls[i], text.c_str());
        }
    }
    FitLabels();
    FList->Retranslate();
}

int TFindForm::TextWidth(HWND control, const std::wstring& text) const
{
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return size.cx;
}

void TFindForm::FitLabels()
{
    const std::span<const TControlLayout> layout = MainWindowLayout();
    FFitWidths.assign(layout.size(), 0);
    for (std::size_t i = 0; i < layout.size(); ++i)
        if ((layout[i].Kind == TControlKind::Label || layout[i].Kind == TControlKind::Link) && FControls[i]) {
            std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(FControls[i])) + 1, L'\0');
            text.resize(static_cast<std::size_t>(::GetWindowTextW(FControls[i], text.data(), static_cast<int>(text.size()))));
            // "&&" shows one "&"; a link shows the text between its tags.
            for (std::size_t at = text.find(L"&&"); at != std::wstring::npos; at = text.find(L"&&", at + 1))
                text.erase(at, 1);
            for (const wchar_t* tag : {L"<a>", L"</a>"})
                if (const std::size_t at = text.find(tag); at != std::wstring::npos)
                    text.erase(at, wcslen(tag));
            FFitWidths[i] = TextWidth(FControls[i], text) + Scale(layout[i].Kind == TControlKind::Link ? 4 : 2);
        }
    LayoutControls();
}

// ---- Events -----------------------------------------------------------------------------------

LRESULT TFindForm::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        LayoutControls();
        return 0;
    case WM_GETFONT: // the window's own font, which the windows it opens use too
        return reinterpret_cast<LRESULT>(FFont);
    case WM_GETMINMAXINFO: {
        RECT frame{0, 0, Scale(DesignMinimumWidth), Scale(DesignMinimumHeight)};
        ::AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    case WM_DPICHANGED: {
        FDpi = HIWORD(wParam);
        SetFonts();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(FHandle, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        LayoutControls();
        return 0;
    }
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return Notify(reinterpret_cast<NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == TickTimer && FSession) {
            FSession->Tick();
        } else if (wParam == AnimateTimer) {
            HWND animate = Control("FindAnimate");
            ::SetWindowLongPtrW(animate, GWLP_USERDATA, (FAnimationFrame = (FAnimationFrame + 1) % AnimateFrames));
            ::InvalidateRect(animate, nullptr, FALSE);
        }
        return 0;
    case WM_DRAIN:
        DispatchWaiting();
        if (FSession)
            FSession->Drain();
        return 0;
    case WM_HELP:
        OpenHelp();
        return TRUE;
    case WM_CLOSE:
        Close();
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(FHandle, message, wParam, lParam);
    }
}

void TFindForm::DispatchWaiting()
{
    // Posted messages are taken before input, painting and timers, and a run posts its drains one
    // after another: without this, every click would wait for the run's end and the list would
    // show no row until then. What waits is handled first; a bound keeps a window that never
    // stops asking to be painted from holding the run.
    MSG msg{};
    for (int handled = 0; handled < 64; ++handled) {
        if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT | PM_QS_PAINT) &&
            !::PeekMessageW(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            break;
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!PreTranslate(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

bool TFindForm::PreTranslate(MSG& msg)
{
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
        OpenHelp();
        return true;
    }
    return ::IsDialogMessageW(FHandle, &msg) != 0;
}

void TFindForm::Command(int id, int code, HWND control)
{
    if (id == IDOK) { // Enter that no control took presses the default button
        if (::IsWindowEnabled(Control("btnFind")))
            FSession->Find();
        return;
    }
    if (id == IDCANCEL)
        return;
    const std::size_t index = static_cast<std::size_t>(id - ControlIdBase);
    const std::span<const TControlLayout> layout = MainWindowLayout();
    if (id < ControlIdBase || index >= layout.size() || control != FControls[index])
        return;
    const TControlLayout& c = layout[index];
    if (c.Kind == TControlKind::HistoryBox && code == CBN_KILLFOCUS) {
        ComboBoxExit(c.Name);
        return;
    }
    if (c.Name == "cbLanguage" && code == CBN_SELCHANGE) {
        const std::string name = Text("cbLanguage");
        try {
            FTexts.SelectLanguage(name);
        } catch (const std::exception& e) {
            // The translations in force stay; the person learns why the choice did not take.
            ::MessageBoxW(FHandle, W(e.what()).c_str(), L"Error", MB_OK | MB_ICONERROR);
        }
        ApplyLanguage();
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (c.Name == "btnFind")
        FSession->Find();
    else if (c.Name == "btnStop")
        FSession->StopOrContinue();
    else if (c.Name == "btnAddMore")
        FSession->Add();
    else if (c.Name == "btnFindInto")
        FSession->FindInResults();
    else if (c.Name == "btnBack")
        FSession->GoBack();
    else if (c.Name == "bFolder")
        BrowseFolder();
    else if (c.Kind == TControlKind::Check || c.Kind == TControlKind::Radio)
        OptionClick(c.Name);
}

LRESULT TFindForm::Notify(NMHDR* header)
{
    if (header->hwndFrom == Control("PageCtrl") && header->code == TCN_SELCHANGE) {
        ShowPage(static_cast<int>(::SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    if (header->hwndFrom == Control("StatusBar") && header->code == NM_CLICK) {
        if (reinterpret_cast<NMMOUSE*>(header)->dwItemSpec == 2 && !FNotSearched.empty())
            ShowNotSearchedList();
        return 0;
    }
    if ((header->hwndFrom == Control("lWebPage") || header->hwndFrom == Control("lEmail")) &&
        (header->code == NM_CLICK || header->code == NM_RETURN)) {
        OpenAddress(FHandle, header->hwndFrom == Control("lWebPage") ? std::string(HomePage)
                                                                      : "mailto:" + std::string(SupportMail));
        return 0;
    }
    if (LRESULT result = 0; FList && FList->HandleNotify(header, result))
        return result;
    return 0;
}

void TFindForm::OptionClick(std::string_view name)
{
    for (const TControlState& follower : OptionDependents(name, Checked(name)))
        if (HWND control = Control(follower.Name))
            ::EnableWindow(control, follower.Enabled);
    if (name == "CheckComboStyle") {
        FSimpleCombos = !Checked("CheckComboStyle");
        for (const char* box : {"cbString", "cbFolder"})
            RecreateCombo(box);
    } else if (name == "CheckMainMenu") {
        UpdateMainMenuLink(Checked("CheckMainMenu"), FOptions.ProgramPath);
    } else if (name == "CheckShellMenu") {
        try {
            UpdateShellMenu(Checked("CheckShellMenu"), FOptions.ProgramPath);
        } catch (const EInstallError& e) {
            ShowError(e.what());
        }
    } else if (name == "CheckIcons") {
        FListIcons = Checked("CheckIcons");
        FList->SetShowIcons(FListIcons);
    } else if (name == "CheckHints") {
        FList->SetShowHints(Checked("CheckHints"));
    }
}

bool TFindForm::SimpleCombo(std::string_view name) const
{
    // "but has no:" is always a plain field; the text and folder boxes follow "Combo boxes".
    return name == "cbNoString" || (FSimpleCombos && (name == "cbString" || name == "cbFolder"));
}

void TFindForm::RecreateCombo(std::string_view name)
{
    // A combo box's kind is fixed when it is made: it is made again, with what it held, at its
    // place in the tab order.
    const std::size_t index = static_cast<std::size_t>(ControlId(name) - ControlIdBase);
    HWND old = FControls[index];
    const std::vector<std::string> items = ComboItems(name);
    const std::string text = Text(name);
    const int selected = static_cast<int>(::SendMessageW(old, CB_GETCURSEL, 0, 0));
    HWND before = ::GetWindow(old, GW_HWNDPREV);
    const bool focused = ::GetFocus() == old || ::IsChild(old, ::GetFocus());
    FControls[index] = nullptr;
    ::DestroyWindow(old);
    HWND box = CreateControl(MainWindowLayout()[index], static_cast<int>(index));
    FControls[index] = box;
    ::SetWindowPos(box, before ? before : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    SetComboItems(name, items);
    if (selected >= 0)
        ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    else
        SetText(name, text);
    LayoutControls();
    if (focused)
        ::SetFocus(box);
}

void TFindForm::ComboBoxExit(std::string_view name)
{
    HWND box = Control(name);
    const std::vector<std::string> items = ComboItems(name);
    const int selected = static_cast<int>(::SendMessageW(box, CB_GETCURSEL, 0, 0));
    const THistoryBox after = LeaveHistoryBox(items, selected, Text(name));
    // Entries that stay keep their place in the box's own list: only what the rules drop goes.
    for (int i = static_cast<int>(items.size()) - 1; i >= 0; --i)
        if (std::find(after.Items.begin() + 1, after.Items.end(), items[static_cast<std::size_t>(i)]) == after.Items.end())
            ::SendMessageW(box, CB_DELETESTRING, static_cast<WPARAM>(i), 0);
    ::SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(W(after.Items.front()).c_str()));
    ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(after.Current), 0);
}

void TFindForm::BrowseFolder()
{
    const std::wstring title = W(FTexts.Translate("Select place for search in:"));
    BROWSEINFOW bi{};
    bi.hwndOwner = FHandle;
    bi.lpszTitle = title.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    std::string chosen;
    if (PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&bi)) {
        wchar_t path[MAX_PATH]{};
        if (::SHGetPathFromIDListW(pidl, path))
            chosen = Narrow(path);
        ::CoTaskMemFree(pidl);
    }
    const DWORD attributes = chosen.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(WidePath(chosen).c_str());
    const TBrowsedFolder folder = CheckBrowsedFolder(
        chosen, attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY), HomeFolder());
    if (folder.Refused)
        ::MessageBoxW(FHandle, L"No such folder", L"Error", MB_OK | MB_ICONWARNING);
    HWND box = Control("cbFolder");
    ::SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(W(folder.Folder).c_str()));
    ::SendMessageW(box, CB_SETCURSEL, 0, 0);
}

void TFindForm::ShowNotSearchedList()
{
    ShowSkippedList(FHandle, FTexts, FSession->SkippedFiles);
}

void TFindForm::OpenHelp()
{
    const std::string help = ProgramFolder() + "\\trovex.html";
    if (!OpenDocument(FHandle, help))
        ShowError("Cannot open file " + help);
}

void TFindForm::Close()
{
    FSession->EndForClose();
    SavePlacement();
    SaveSettings();
    try {
        FStore.Save();
    } catch (const ERegistryError& e) {
        // Closing must not fail.
        std::fprintf(stderr, "trovex: settings not saved: %s\n", e.what());
    }
    ::DestroyWindow(FHandle);
}

// ---- Settings and placement -------------------------------------------------------------------

namespace
{

// The check boxes of the store, in its order.
const char* StoredCheckName(std::size_t i)
{
    return CheckSettings[i].Control;
}

} // namespace

void TFindForm::LoadSettings()
{
    // A key that cannot be read: nothing is read, and nothing will be written over it.
    if (FStore.Load() == lrUnreadable)
        return;
    const TRestoredSettings settings = ReadSettings(FStore, HomeFolder());
    FSession->TotalFiles = settings.TotalFiles;
    FSession->TotalFound = settings.TotalFound;
    SetComboItems("cbMask", settings.Histories.Masks);
    SetComboItems("cbFolder", settings.Histories.Folders);
    SetComboItems("cbString", settings.Histories.Texts);
    // A box whose state changes runs its handler, as a click would.
    for (std::size_t i = 0; i < settings.Checks.size(); ++i)
        if (Checked(StoredCheckName(i)) != settings.Checks[i]) {
            SetChecked(StoredCheckName(i), settings.Checks[i]);
            OptionClick(StoredCheckName(i));
        }

    const TPlacementSection section(FStore, std::string(PlacementKey));
    const std::array<int, ListColumnCount> widths = ReadColumnWidths(section);
    HWND header = ListView_GetHeader(FList->Handle());
    std::vector<int> fitted;
    for (int i = 0; i < ListColumnCount; ++i) {
        int width = widths[static_cast<std::size_t>(i)];
        // A width not stored fits the column's title, with room for the sort arrow.
        if (width < 0)
            width = TextWidth(header, W(FTexts.Translate(ListColumns()[static_cast<std::size_t>(i)].Title))) + Scale(24);
        fitted.push_back(std::min(width, 32767));
    }
    FList->SetColumnWidths(fitted);

    const std::string language = ReadLanguageName(section);
    HWND box = Control("cbLanguage");
    for (const std::string& name : FTexts.Languages())
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(name).c_str()));
    const std::vector<std::string>& names = FTexts.Languages();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (SameTextIgnoringCase(names[i], language))
            ::SendMessageW(box, CB_SETCURSEL, i, 0);
    try {
        FTexts.SelectLanguage(language);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trovex: %s\n", e.what()); // the window opens in the default language
    }
}

void TFindForm::SaveSettings()
{
    TSavedSettings settings;
    settings.TotalFiles = FSession->TotalFiles;
    settings.TotalFound = FSession->TotalFound;
    settings.Histories = {ComboItems("cbMask"), ComboItems("cbFolder"), ComboItems("cbString")};
    for (std::size_t i = 0; i < settings.Checks.size(); ++i)
        settings.Checks[i] = Checked(StoredCheckName(i));
    WriteSettings(FStore, settings);

    std::array<int, ListColumnCount> widths{};
    const std::vector<int> shown = FList->ColumnWidths();
    std::copy_n(shown.begin(), std::min<std::size_t>(shown.size(), widths.size()), widths.begin());
    TPlacementSection section(FStore, std::string(PlacementKey));
    WriteColumnWidths(section, widths);
    WriteLanguageName(section, Text("cbLanguage"));
}

void TFindForm::Show(int show)
{
    RestorePlacement(show);
    ShowPage(0);
    ::SetFocus(Control("cbMask"));
}

void TFindForm::RestorePlacement(int show)
{
    TPlacementSection section(FStore, std::string(PlacementKey));
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN), screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    ::GetWindowPlacement(FHandle, &wp);
    const std::string norm = section.ReadPosition("NormPos", screenWidth, screenHeight);
    const bool sameDpi = section.ReadInteger("PixelsPerInch", static_cast<int>(FDpi)) == static_cast<int>(FDpi);
    int showCmd = show;
    if (section.ReadInteger("FormVersion", FormVersion) >= FormVersion && !norm.empty() && sameDpi) {
        const RECT& cur = wp.rcNormalPosition;
        const auto r = PositionWords(norm, {cur.left, cur.top, cur.right, cur.bottom});
        // A rectangle turned inside out, or with a value no screen has, is unusable: the window
        // keeps its design bounds.
        if (r && (*r)[2] > (*r)[0] && (*r)[3] > (*r)[1]) {
            const POINT origin = WorkspaceOrigin();
            RECT minimum{0, 0, Scale(DesignMinimumWidth), Scale(DesignMinimumHeight)};
            ::AdjustWindowRectEx(&minimum, WS_OVERLAPPEDWINDOW, FALSE, 0);
            // Lying on no screen, it comes onto the work area of the monitor nearest to it.
            MONITORINFO nearest{};
            nearest.cbSize = sizeof nearest;
            const RECT saved{static_cast<LONG>(std::clamp<std::int64_t>((*r)[0], INT_MIN / 2, INT_MAX / 2)),
                             static_cast<LONG>(std::clamp<std::int64_t>((*r)[1], INT_MIN / 2, INT_MAX / 2)),
                             static_cast<LONG>(std::clamp<std::int64_t>((*r)[2], INT_MIN / 2, INT_MAX / 2)),
                             static_cast<LONG>(std::clamp<std::int64_t>((*r)[3], INT_MIN / 2, INT_MAX / 2))};
            ::GetMonitorInfoW(::MonitorFromRect(&saved, MONITOR_DEFAULTTONEAREST), &nearest);
            const TScreenRect fallback{nearest.rcWork.left, nearest.rcWork.top, nearest.rcWork.right - nearest.rcWork.left,
                                       nearest.rcWork.bottom - nearest.rcWork.top};
            const TScreenRect fit = FitOnScreens((*r)[0] + origin.x, (*r)[1] + origin.y, (*r)[2] + origin.x,
                                                 (*r)[3] + origin.y, minimum.right - minimum.left,
                                                 minimum.bottom - minimum.top, WorkAreas(), fallback);
            wp.rcNormalPosition = {fit.Left - origin.x, fit.Top - origin.y, fit.Left - origin.x + fit.Width,
                                   fit.Top - origin.y + fit.Height};
        }
        switch (StateOfShowCmd(section.ReadInteger("ShowCmd", swHide))) {
        case psMinimized:
            showCmd = SW_SHOWMINNOACTIVE;
            wp.flags = (section.ReadInteger("Flags", 0) & wpfRestoreToMaximized) ? WPF_RESTORETOMAXIMIZED : 0;
            break;
        case psMaximized: showCmd = SW_SHOWMAXIMIZED; break;
        case psNormal: showCmd = show == SW_SHOWDEFAULT ? SW_SHOWNORMAL : show; break;
        }
    }
    wp.showCmd = static_cast<UINT>(showCmd);
    ::SetWindowPlacement(FHandle, &wp);
    FPlacementRestored = true;
}

void TFindForm::SavePlacement()
{
    if (!FPlacementRestored)
        return;
    TPlacementSection section(FStore, std::string(PlacementKey));
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!::GetWindowPlacement(FHandle, &wp))
        return;
    section.WriteInteger("FormVersion", FormVersion);
    section.WriteInteger("Flags", static_cast<int>(wp.flags & WPF_RESTORETOMAXIMIZED ? wpfRestoreToMaximized : 0));
    section.WriteInteger("ShowCmd", ShowCmdOf(::IsIconic(FHandle), ::IsZoomed(FHandle)));
    section.WriteInteger("PixelsPerInch", static_cast<int>(FDpi));
    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN), screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    const std::string minMax =
        PositionText(wp.ptMinPosition.x, wp.ptMinPosition.y, wp.ptMaxPosition.x, wp.ptMaxPosition.y);
    section.WriteString(ScreenValueName("MinMaxPos", screenWidth, screenHeight), minMax);
    section.WriteString("MinMaxPos", minMax);
    const RECT& n = wp.rcNormalPosition;
    const std::string norm = PositionText(n.left, n.top, n.right, n.bottom);
    section.WriteString(ScreenValueName("NormPos", screenWidth, screenHeight), norm);
    section.WriteString("NormPos", norm);
    section.WriteString("Visible", "1");
}

// ---- Control state ----------------------------------------------------------------------------

bool TFindForm::Checked(std::string_view name) const
{
    return ::SendMessageW(Control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TFindForm::SetChecked(std::string_view name, bool on)
{
    ::SendMessageW(Control(name), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TFindForm::Enable(std::string_view name, bool on)
{
    ::EnableWindow(Control(name), on);
}

std::string TFindForm::Text(std::string_view name) const
{
    HWND hwnd = Control(name);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

void TFindForm::SetText(std::string_view name, const std::string& text)
{
    ::SetWindowTextW(Control(name), W(text).c_str());
}

std::vector<std::string> TFindForm::ComboItems(std::string_view name) const
{
    HWND box = Control(name);
    std::vector<std::string> items;
    const int count = static_cast<int>(::SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(box, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(::SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        items.push_back(Narrow(item));
    }
    return items;
}

void TFindForm::SetComboItems(std::string_view name, const std::vector<std::string>& items)
{
    HWND box = Control(name);
    ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items)
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(item).c_str()));
}

} // namespace trovex::win32
