// SPDX-License-Identifier: MIT
// The result list of the Windows window: a list view in owner-data mode, so a million rows cost the
// control nothing; cells, tips and icons are asked for as rows come into sight.
#include "winapp/ResultList.h"

#include "platform/FileSystem.h"
#include "window/ListCommands.h"

#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "platform/win32/Wide.h"
#include "shell/win32/ShellUtl.h"
#include "window/Layout.h"

namespace trovex::win32
{
namespace
{

constexpr UINT_PTR SubclassId = 1;
constexpr UINT_PTR TypeTimerId = 1;
constexpr UINT_PTR ReportTimerId = 2;
// A slice short enough that a click meanwhile is answered at once; rows whose type the file system
// must tell can each take long, so their number per slice is bounded too.
constexpr auto TypeSliceTime = std::chrono::milliseconds(30);
constexpr std::size_t TypeSliceRows = 8192;
constexpr int DesignDpi = 96;

std::wstring WideText(std::string_view text)
{
    return Wide(text);
}

// The Windows name of a portable key name, as menus show it.
std::string KeyCaption(std::string_view keys)
{
    // "Return, Enter" names one key twice; Windows calls it Enter.
    std::string_view first = keys.substr(0, keys.find(", "));
    if (first == "Return")
        return "Enter";
    return std::string(first);
}

struct TKeyBinding
{
    WORD Key;
    bool Ctrl;
};

// The key of a portable key name: "Ctrl+F", "Del". Return and Enter come as NM_RETURN instead.
bool ParseKey(std::string_view name, TKeyBinding& binding)
{
    binding.Ctrl = name.rfind("Ctrl+", 0) == 0;
    if (binding.Ctrl)
        name.remove_prefix(5);
    if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') {
        binding.Key = static_cast<WORD>(name[0]);
        return true;
    }
    if (name == "Del" || name == "Delete") {
        binding.Key = VK_DELETE;
        return true;
    }
    return false;
}

int MenuIndex(std::string_view name)
{
    const auto menu = ListMenu();
    for (std::size_t i = 0; i < menu.size(); ++i)
        if (menu[i].Name == name)
            return static_cast<int>(i);
    throw std::out_of_range("no list menu item " + std::string(name));
}

int ScreenDpi()
{
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSX) : DesignDpi;
    if (dc)
        ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : DesignDpi;
}

} // namespace

void TResultListHost::OpenReport(HWND owner, const std::string& fileName)
{
    OpenDocument(owner, fileName);
}

std::string TResultListHost::AskSaveFileName(HWND owner, const std::string& folder, const std::string& name)
{
    std::wstring file = Wide(name);
    file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
    const std::wstring initial = Wide(folder);
    static constexpr wchar_t Filter[] = L"Text files (*.txt)\0*.txt\0CSV files (*.csv)\0*.csv\0";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = Filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    // No overwrite prompt: the list asks itself, in the window's language.
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!::GetSaveFileNameW(&ofn))
        return {};
    return Narrow(file.c_str());
}

TResultList::TResultList(HWND parent, int controlId, TResultListHost& host) : FControlId(controlId), FHost(host)
{
    FClickAscending.fill(true);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&icc);
    // The system image list is shared: the control must never destroy it.
    FHandle = ::CreateWindowExW(0, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                                    LVS_SHAREIMAGELISTS,
                                0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!FHandle)
        throw std::runtime_error("Cannot create the result list");
    ::SetWindowSubclass(FHandle, ListProc, SubclassId, reinterpret_cast<DWORD_PTR>(this));
    ::SendMessageW(FHandle, WM_SETFONT, static_cast<WPARAM>(::SendMessageW(parent, WM_GETFONT, 0, 0)), FALSE);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP | LVS_EX_INFOTIP;
    ::SendMessageW(FHandle, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);

    const int dpi = ScreenDpi();
    int index = 0;
    for (const TColumnLayout& column : ListColumns()) {
        std::wstring title = Wide(FHost.Translate(std::string(column.Title)));
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        lvc.fmt = index == TResultRows::rcSize ? LVCFMT_RIGHT : LVCFMT_LEFT;
        lvc.cx = ::MulDiv(column.Width, dpi, DesignDpi);
        lvc.pszText = title.data();
        lvc.iSubItem = index;
        ::SendMessageW(FHandle, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&lvc));
        ++index;
    }
    FRows.SetTypeSource([this](std::string_view path, std::uint32_t attributes) { return TypeOf(path, attributes); });
}

TResultList::~TResultList()
{
    RemoveTemporaryReports(true);
    if (FMenu)
        ::DestroyMenu(FMenu);
    if (FHandle) {
        ::RemoveWindowSubclass(FHandle, ListProc, SubclassId);
        ::DestroyWindow(FHandle);
    }
}

const TResultRows::TShellType* TResultList::TypeOf(std::string_view path, std::uint32_t attributes)
{
    const std::string file(path);
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string name = GetFileTypeName(file, isFolder);
    const int icon = GetFileIconIndex(file, isFolder);
    if (name.empty() && icon < 0)
        return nullptr;
    auto& type = FTypes[{name, icon}];
    if (!type)
        type = std::make_unique<TResultRows::TShellType>(TResultRows::TShellType{std::move(name), icon});
    return type.get();
}

void TResultList::RowsAppended()
{
    ::SendMessageW(FHandle, LVM_SETITEMCOUNT, static_cast<WPARAM>(FRows.Count()),
                   LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
}

void TResultList::Refresh()
{
    ::SendMessageW(FHandle, LVM_SETITEMCOUNT, static_cast<WPARAM>(FRows.Count()), LVSICF_NOSCROLL);
    ::InvalidateRect(FHandle, nullptr, FALSE);
}

void TResultList::Clear()
{
    ::KillTimer(FHandle, TypeTimerId);
    FPendingSort = {-1, true};
    SelectRows({}, -1);
    FRows.Clear();
    ::SendMessageW(FHandle, LVM_SETITEMCOUNT, 0, 0);
    ShowSortArrow(-1, true);
}

void TResultList::Sort(int column, bool ascending)
{
    if (column < 0 || column >= TResultRows::ColumnCount)
        return;
    ShowSortArrow(column, ascending);
    FPendingSort = {column, ascending};
    ContinueSort();
}

void TResultList::ContinueSort()
{
    const auto [column, ascending] = FPendingSort;
    if (column < 0)
        return;
    if (column == TResultRows::rcType &&
        !FRows.LookUpTypes(std::chrono::steady_clock::now() + TypeSliceTime, TypeSliceRows)) {
        ::SetTimer(FHandle, TypeTimerId, USER_TIMER_MINIMUM, nullptr);
        return;
    }
    ::KillTimer(FHandle, TypeTimerId);
    FPendingSort = {-1, true};
    ApplySort(column, ascending);
}

void TResultList::ApplySort(int column, bool ascending)
{
    const std::vector<int> selected = SelectedRows();
    const int focus = static_cast<int>(::SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const std::vector<std::uint32_t> order = FRows.SortOrder(column, ascending);
    FRows.ApplyOrder(order);
    // The selection and the focus follow their rows to their new places.
    std::vector<std::uint32_t> place(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        place[order[i]] = static_cast<std::uint32_t>(i);
    std::vector<int> moved;
    moved.reserve(selected.size());
    for (int row : selected)
        moved.push_back(static_cast<int>(place[static_cast<std::size_t>(row)]));
    std::sort(moved.begin(), moved.end());
    SelectRows(moved, focus >= 0 && focus < static_cast<int>(place.size()) ? static_cast<int>(place[static_cast<std::size_t>(focus)]) : -1);
    ::InvalidateRect(FHandle, nullptr, FALSE);
}

void TResultList::ShowSortArrow(int column, bool ascending)
{
    HWND header = reinterpret_cast<HWND>(::SendMessageW(FHandle, LVM_GETHEADER, 0, 0));
    for (int i = 0; i < TResultRows::ColumnCount; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == column)
            item.fmt |= ascending ? HDF_SORTUP : HDF_SORTDOWN;
        ::SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
    FArrowColumn = column;
}

void TResultList::SetShowIcons(bool on)
{
    FShowIcons = on;
    ::SendMessageW(FHandle, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(on ? GetSystemImageList(true) : nullptr));
    ::InvalidateRect(FHandle, nullptr, TRUE);
}

void TResultList::SetShowHints(bool on)
{
    FShowHints = on;
    ::SendMessageW(FHandle, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_INFOTIP, on ? LVS_EX_INFOTIP : 0);
}

void TResultList::Retranslate()
{
    int index = 0;
    for (const TColumnLayout& column : ListColumns()) {
        std::wstring title = Wide(FHost.Translate(std::string(column.Title)));
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT;
        lvc.pszText = title.data();
        ::SendMessageW(FHandle, LVM_SETCOLUMNW, index++, reinterpret_cast<LPARAM>(&lvc));
    }
    if (FMenu) {
        ::DestroyMenu(FMenu);
        FMenu = nullptr;
    }
}

std::vector<int> TResultList::ColumnWidths() const
{
    std::vector<int> widths;
    for (int i = 0; i < TResultRows::ColumnCount; ++i)
        widths.push_back(static_cast<int>(::SendMessageW(FHandle, LVM_GETCOLUMNWIDTH, i, 0)));
    return widths;
}

void TResultList::SetColumnWidths(const std::vector<int>& widths)
{
    for (std::size_t i = 0; i < widths.size() && i < TResultRows::ColumnCount; ++i)
        if (widths[i] >= 0)
            ::SendMessageW(FHandle, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(widths[i], 0));
}

std::vector<int> TResultList::SelectedRows() const
{
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(::SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >= 0)
        rows.push_back(row);
    return rows;
}

void TResultList::SelectRows(const std::vector<int>& rows, int focus)
{
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(FHandle, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    LVITEMW selected{};
    selected.stateMask = LVIS_SELECTED;
    selected.state = LVIS_SELECTED;
    for (int row : rows)
        ::SendMessageW(FHandle, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&selected));
    if (focus >= 0) {
        LVITEMW focused{};
        focused.stateMask = LVIS_FOCUSED;
        focused.state = LVIS_FOCUSED;
        ::SendMessageW(FHandle, LVM_SETITEMSTATE, static_cast<WPARAM>(focus), reinterpret_cast<LPARAM>(&focused));
        ::SendMessageW(FHandle, LVM_SETSELECTIONMARK, 0, focus);
    }
}

void TResultList::BuildMenu()
{
    FMenu = ::CreatePopupMenu();
    int index = 0;
    for (const TMenuItemLayout& item : ListMenu()) {
        if (item.Caption.empty()) {
            ::AppendMenuW(FMenu, MF_SEPARATOR, 0, nullptr);
        } else {
            std::string caption = FHost.Translate(std::string(item.Caption));
            if (!item.Keys.empty())
                caption += "\t" + KeyCaption(item.Keys);
            ::AppendMenuW(FMenu, MF_STRING, static_cast<UINT_PTR>(CommandBase + index), Wide(caption).c_str());
        }
        ++index;
    }
    ::SetMenuDefaultItem(FMenu, CommandBase, FALSE);
}

void TResultList::UpdateMenu()
{
    const UINT reports = FHost.ReportsEnabled() ? MF_ENABLED : MF_GRAYED;
    ::EnableMenuItem(FMenu, static_cast<UINT>(CommandBase + MenuIndex("mReport")), MF_BYCOMMAND | reports);
    ::EnableMenuItem(FMenu, static_cast<UINT>(CommandBase + MenuIndex("mReportOpen")), MF_BYCOMMAND | reports);
}

HMENU TResultList::Menu()
{
    if (!FMenu)
        BuildMenu();
    UpdateMenu();
    return FMenu;
}

void TResultList::ShowMenu(POINT at, bool fromKeyboard)
{
    if (fromKeyboard) {
        // The context-menu key opens the menu at the focused row, or at the list's corner.
        RECT rect{};
        const int focus = static_cast<int>(::SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        rect.left = LVIR_LABEL;
        if (focus < 0 || !::SendMessageW(FHandle, LVM_GETITEMRECT, focus, reinterpret_cast<LPARAM>(&rect)))
            rect = RECT{};
        at = POINT{rect.left, rect.bottom};
        ::ClientToScreen(FHandle, &at);
    }
    HMENU menu = Menu();
    // A menu of a window that is not in front does not close when the person clicks elsewhere.
    ::SetForegroundWindow(::GetAncestor(FHandle, GA_ROOT));
    const UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN;
    const int command = static_cast<int>(::TrackPopupMenuEx(menu, flags, at.x, at.y, FHandle, nullptr));
    ::PostMessageW(FHandle, WM_NULL, 0, 0);
    if (command != 0)
        HandleCommand(static_cast<WORD>(command));
}

bool TResultList::HandleCommand(WORD id)
{
    const int index = static_cast<int>(id) - CommandBase;
    const auto menu = ListMenu();
    if (index < 0 || index >= static_cast<int>(menu.size()))
        return false;
    const std::string_view name = menu[static_cast<std::size_t>(index)].Name;
    const bool reports = FHost.ReportsEnabled();
    if (name == "mOpen")
        Open();
    else if (name == "mFolder")
        OpenFolder();
    else if (name == "mReport" && reports)
        Report();
    else if (name == "mReportOpen" && reports)
        SaveReport();
    else if (name == "mCopy")
        Copy();
    else if (name == "mDelete")
        Delete();
    else if (name == "mProp")
        Properties();
    else
        return false;
    return true;
}

bool TResultList::KeyDown(WORD key)
{
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
    if (::GetKeyState(VK_MENU) < 0 || ::GetKeyState(VK_SHIFT) < 0)
        return false;
    int index = 0;
    for (const TMenuItemLayout& item : ListMenu()) {
        std::string_view keys = item.Keys;
        while (!keys.empty()) {
            const std::size_t comma = keys.find(", ");
            TKeyBinding binding{};
            if (ParseKey(keys.substr(0, comma), binding) && binding.Key == key && binding.Ctrl == ctrl)
                return HandleCommand(static_cast<WORD>(CommandBase + index));
            keys = comma == std::string_view::npos ? std::string_view{} : keys.substr(comma + 2);
        }
        ++index;
    }
    return false;
}

bool TResultList::HandleNotify(const NMHDR* header, LRESULT& result)
{
    if (header->hwndFrom != FHandle)
        return false;
    result = 0;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        GetDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_GETINFOTIPW:
        GetInfoTip(*reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(header)));
        return true;
    case LVN_COLUMNCLICK: {
        const int column = reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem;
        if (column < 0 || column >= TResultRows::ColumnCount)
            return true;
        if (OnColumnClick) {
            OnColumnClick(column);
        } else {
            bool& ascending = FClickAscending[static_cast<std::size_t>(column)];
            Sort(column, ascending);
            ascending = !ascending;
        }
        return true;
    }
    case NM_DBLCLK:
        if (reinterpret_cast<const NMITEMACTIVATE*>(header)->iItem >= 0)
            Open();
        return true;
    case NM_RETURN:
        Open();
        return true;
    case LVN_KEYDOWN:
        KeyDown(reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey);
        return true;
    case LVN_BEGINDRAG:
    case LVN_BEGINRDRAG:
        Drag();
        return true;
    default:
        return false;
    }
}

void TResultList::GetDisplayInfo(NMLVDISPINFOW& info)
{
    LVITEMW& item = info.item;
    if (item.iItem < 0 || item.iItem >= FRows.Count())
        return;
    if (item.mask & LVIF_TEXT) {
        const int row = item.iItem;
        switch (item.iSubItem) {
        case TResultRows::rcName: FCellText = WideText(FRows.Name(row)); break;
        case TResultRows::rcFolder: FCellText = WideText(FRows.Folder(row)); break;
        case TResultRows::rcType: FCellText = WideText(FRows.TypeCell(row)); break;
        case TResultRows::rcModified: FCellText = WideText(FRows.ModifiedCell(row)); break;
        case TResultRows::rcSize: FCellText = WideText(FRows.SizeCell(row)); break;
        default: FCellText.clear(); break;
        }
        item.pszText = FCellText.data();
    }
    if (item.mask & LVIF_IMAGE)
        item.iImage = FShowIcons && item.iSubItem == 0 ? FRows.IconIndex(item.iItem) : I_IMAGENONE;
}

void TResultList::GetInfoTip(NMLVGETINFOTIPW& tip)
{
    if (!FShowHints || tip.iItem < 0 || tip.iItem >= FRows.Count() || !tip.pszText || tip.cchTextMax <= 0)
        return;
    const std::wstring text = Wide(FRows.Tip(tip.iItem));
    if (text.empty())
        return; // the control's own tip, the whole cell of a cut-off one, stays
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(tip.cchTextMax - 1));
    std::copy_n(text.begin(), n, tip.pszText);
    tip.pszText[n] = L'\0';
}

std::vector<std::string> TResultList::SelectedPaths() const
{
    std::vector<std::string> paths;
    for (int row : SelectedRows())
        paths.push_back(FRows.Path(row));
    return paths;
}

std::string TResultList::FirstSelectedPath() const
{
    const int row = static_cast<int>(::SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return row >= 0 && row < FRows.Count() ? FRows.Path(row) : std::string();
}

bool TResultList::CheckShellPath(const std::string& path)
{
    if (!EntryExists(path)) {
        FHost.ShowError(FHost.Translate("Cannot open file") + " " + path);
        return false;
    }
    const std::string refusal = ShellPathRefusal(path);
    if (!refusal.empty()) {
        FHost.ShowError(path + ": " + refusal);
        return false;
    }
    return true;
}

void TResultList::Open()
{
    const std::string path = FirstSelectedPath();
    // The shell shows its own message when no program opens the file.
    if (!path.empty() && CheckShellPath(path))
        OpenDocument(FHandle, path);
}

void TResultList::OpenFolder()
{
    const std::string path = FirstSelectedPath();
    if (!path.empty() && CheckShellPath(path))
        win32::OpenFolder(FHandle, path);
}

void TResultList::Properties()
{
    const std::string path = FirstSelectedPath();
    if (path.empty() || !CheckShellPath(path))
        return;
    if (!ShowFileProperties(FHandle, path))
        FHost.ShowError(FHost.Translate("Cannot open file") + " " + path);
}

void TResultList::Copy()
{
    std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    FDropSource.SetFiles(std::move(paths));
    const bool copied = FDropSource.ClipboardCopy(FHandle);
    FDropSource.SetFiles({});
    if (!copied)
        FHost.ShowError(FDropSource.LastError());
}

void TResultList::Drag()
{
    std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    FDropSource.SetFiles(std::move(paths));
    FDropSource.RunDrag();
    FDropSource.SetFiles({});
    if (!FDropSource.LastError().empty())
        FHost.ShowError(FDropSource.LastError());
}

void TResultList::Delete()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    std::vector<std::string> paths;
    for (int row : rows)
        paths.push_back(FRows.Path(row));
    const TDeleteResult result = DeleteFiles(::GetAncestor(FHandle, GA_ROOT), paths, true);
    // Only rows whose own file is gone leave the list: a file that stayed (declined, refused, in use)
    // keeps its row, and its selection, so the person sees what is still there.
    std::vector<int> gone = GoneRows(FRows, rows), kept;
    std::sort(gone.begin(), gone.end());
    for (int row : rows)
        if (!std::binary_search(gone.begin(), gone.end(), row))
            kept.push_back(row);
    if (!gone.empty()) {
        const int focus = static_cast<int>(::SendMessageW(FHandle, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
        const TResultRows::TRemoval plan = FRows.PlanRemoval(gone);
        if (!plan.Runs.empty()) {
            for (const auto& [first, last] : plan.Runs)
                FRows.EraseRange(first, last);
        } else if (!plan.Order.empty()) {
            FRows.ApplyOrder(plan.Order);
            FRows.EraseRange(plan.Keep, FRows.Count() - 1);
        }
        // Survivors keep their order, so each moves up by the number of removed rows before it.
        auto newPlace = [&gone](int row) {
            return row - static_cast<int>(std::lower_bound(gone.begin(), gone.end(), row) - gone.begin());
        };
        std::vector<int> selection;
        for (int row : kept)
            selection.push_back(newPlace(row));
        int newFocus = -1;
        if (!selection.empty())
            newFocus = selection.front();
        else if (FRows.Count() > 0)
            newFocus = std::min(newPlace(std::max(focus, 0)), FRows.Count() - 1);
        ::SendMessageW(FHandle, LVM_SETITEMCOUNT, static_cast<WPARAM>(FRows.Count()), LVSICF_NOSCROLL);
        SelectRows(selection, newFocus);
        ::InvalidateRect(FHandle, nullptr, FALSE);
    }
    if (!result.Refused.empty()) {
        std::string message;
        for (const auto& [path, reason] : result.Refused)
            message += (message.empty() ? "" : "\n") + path + ": " + reason;
        FHost.ShowError(message);
    }
}

void TResultList::Report()
{
    const std::string fileName = TemporaryReportName(FHost.FoundCount());
    try {
        WriteReport(fileName, FRows, FHost.ReportFields());
    } catch (const std::exception& e) {
        FHost.ShowError(e.what());
        return;
    }
    FHost.OpenReport(::GetAncestor(FHandle, GA_ROOT), fileName);
    // The viewer has had its time to read the file by then; the window answers meanwhile.
    FTemporaryReports.push_back({WidePath(fileName), ::GetTickCount64() + TemporaryReportLifeMs});
    ::SetTimer(FHandle, ReportTimerId, TemporaryReportLifeMs, nullptr);
}

void TResultList::RemoveTemporaryReports(bool all)
{
    const ULONGLONG now = ::GetTickCount64();
    std::erase_if(FTemporaryReports, [&](const TTemporaryReport& report) {
        if (!all && report.Due > now)
            return false;
        ::DeleteFileW(report.Path.c_str());
        return true;
    });
    if (FTemporaryReports.empty())
        ::KillTimer(FHandle, ReportTimerId);
}

void TResultList::SaveReport()
{
    const std::string replace = FHost.Translate("File exists! Replace?");
    std::string fileName;
    for (;;) {
        const std::string chosen =
            FHost.AskSaveFileName(::GetAncestor(FHandle, GA_ROOT), FHost.SaveFolder(), std::string(DefaultReportName));
        if (chosen.empty())
            return;
        fileName = SavedReportName(chosen);
        if (!EntryExists(fileName) || FHost.AskOkCancel(replace))
            break;
    }
    try {
        WriteReport(fileName, FRows, FHost.ReportFields());
    } catch (const std::exception& e) {
        FHost.ShowError(e.what());
        return;
    }
    FHost.OpenReport(::GetAncestor(FHandle, GA_ROOT), fileName);
}

LRESULT CALLBACK TResultList::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* list = reinterpret_cast<TResultList*>(data);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, ListProc, SubclassId);
        list->FHandle = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return list->HandleListMessage(message, wParam, lParam);
}

LRESULT TResultList::HandleListMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CONTEXTMENU: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        // A right click on the header is not a click on the rows.
        if (reinterpret_cast<HWND>(wParam) != FHandle)
            break;
        ShowMenu(at, at.x == -1 && at.y == -1);
        return 0;
    }
    case WM_TIMER:
        if (wParam == TypeTimerId) {
            ContinueSort();
            return 0;
        }
        if (wParam == ReportTimerId) {
            RemoveTemporaryReports(false);
            return 0;
        }
        break;
    default:
        break;
    }
    return ::DefSubclassProc(FHandle, message, wParam, lParam);
}

} // namespace trovex::win32
