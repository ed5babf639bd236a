// SPDX-License-Identifier: MIT
// The window as the face of the search session: the criteria read from the controls, the rows into
// the list view, the command column, the status bar, the flush timer and the drain message, and the
// list "Go back" restores. The session decides; this only draws.
#include "winapp/uMain.h"

#include <commctrl.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>

#include "platform/win32/Wide.h"
#include "window/ListCommands.h"

namespace trovex::win32
{

namespace
{

TDateTime PickerValue(HWND picker)
{
    SYSTEMTIME t{};
    ::SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t));
    TDateTime d;
    d.Year = t.wYear;
    d.Month = t.wMonth;
    d.Day = t.wDay;
    d.Hour = t.wHour;
    d.Minute = t.wMinute;
    d.Second = t.wSecond;
    d.Ticks = t.wMilliseconds * 10000;
    return d;
}

} // namespace

TCriteria TFindForm::Criteria() const
{
    TCriteria c;
    c.Named = Text("cbMask");
    c.TypeItem = Text("cbTypes");
    c.Text = Text("cbString");
    c.NoText = Text("cbNoString");
    c.Folder = Text("cbFolder");
    c.SubFolders = Checked("checkSubFolders");
    c.CaseSensitive = Checked("CheckCase");
    c.AllCodePages = Checked("CheckAllCP");
    c.Ansi = Checked("CheckAnsi");
    c.Oem = Checked("CheckOEM");
    c.Unicode = Checked("CheckUnicode");
    c.Koi8 = Checked("CheckKOI8");
    c.Utf8 = Checked("CheckUtf8");
    c.InZip = Checked("CheckInZip");
    c.UseDate = Checked("CheckDate");
    c.DateOption = Checked("RadioBMonth") ? doMonths : Checked("RadioBDays") ? doDays : doFromTo;
    c.DateFrom = PickerValue(Control("eDateFrom"));
    c.DateTo = PickerValue(Control("eDateTo"));
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    c.DateToIsToday = c.DateTo.Year == today.wYear && c.DateTo.Month == today.wMonth && c.DateTo.Day == today.wDay;
    c.LastMonths = Text("cbLastMonth");
    c.LastDays = Text("cbLastDays");
    return c;
}

bool TFindForm::FlashOnEnd() const
{
    return Checked("CheckFlashW");
}

bool TFindForm::Confirm(const std::string& question, const std::string& caption)
{
    return ::MessageBoxW(FHandle, Wide(question).c_str(), Wide(caption).c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TFindForm::ShowError(const std::string& message)
{
    ::MessageBoxW(FHandle, Wide(message).c_str(), L"Trovex", MB_OK | MB_ICONERROR);
}

void TFindForm::ShowRunError(const std::string& text)
{
    ::MessageBoxW(FHandle, Wide(text).c_str(), L"Application Error", MB_OK | MB_ICONERROR);
}

void TFindForm::ClearRows()
{
    FList->Clear();
}

void TFindForm::AddRow(const TFindFileInfo& info)
{
    if (FListIcons)
        FList->Rows().AppendShellTyped(info);
    else
        FList->Rows().Append(info);
}

void TFindForm::FlushRows()
{
    FList->RowsAppended();
}

int TFindForm::RowCount() const
{
    return FList->Rows().Count();
}

std::string TFindForm::RowPath(int row) const
{
    return FList->Rows().Path(row);
}

void TFindForm::RepaintRows()
{
    FList->Refresh();
}

void TFindForm::ShowControls(const TControlStates& states)
{
    ::EnableWindow(Control("btnStop"), states.StopEnabled);
    ::SetWindowTextW(Control("btnStop"), Wide(states.StopCaption).c_str());
    ::EnableWindow(Control("btnAddMore"), states.AddEnabled);
    ::EnableWindow(Control("btnFindInto"), states.FindIntoEnabled);
    ::EnableWindow(Control("btnBack"), states.BackEnabled);
    if (states.Animating != FAnimating) {
        FAnimating = states.Animating;
        HWND animate = Control("FindAnimate");
        if (FAnimating) {
            ::SetTimer(FHandle, AnimateTimer, AnimateIntervalMs, nullptr);
        } else {
            ::KillTimer(FHandle, AnimateTimer);
            ::SetWindowLongPtrW(animate, GWLP_USERDATA, -1);
        }
        ::InvalidateRect(animate, nullptr, FALSE);
    }
}

void TFindForm::ShowStatus(int panel, const std::string& text)
{
    ::SendMessageW(Control("StatusBar"), SB_SETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void TFindForm::ShowNotSearched(const std::string& text)
{
    const bool resized = FNotSearched.empty() != text.empty();
    FNotSearched = text;
    if (resized)
        LayoutStatusParts();
    ShowStatus(2, text);
}

void TFindForm::Flash()
{
    FLASHWINFO info{sizeof info, FHandle, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
    ::FlashWindowEx(&info);
}

void TFindForm::RunTicks(bool on, int intervalMs)
{
    if (on)
        ::SetTimer(FHandle, TickTimer, static_cast<UINT>(intervalMs), nullptr);
    else
        ::KillTimer(FHandle, TickTimer);
}

void TFindForm::PostDrain()
{
    ::PostMessageW(FHandle, WM_DRAIN, 0, 0);
}

std::string TFindForm::BackListPath() const
{
    PWSTR folder = nullptr;
    std::string path;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &folder)))
        path = Narrow(folder) + "\\Trovex\\trovex-back.txt";
    ::CoTaskMemFree(folder);
    return path;
}

void TFindForm::SaveBackList(const std::string& bytes)
{
    const std::string path = BackListPath();
    if (path.empty())
        return;
    ::CreateDirectoryW(WidePath(path.substr(0, path.rfind('\\'))).c_str(), nullptr);
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    const bool whole = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                       written == bytes.size();
    ::CloseHandle(file);
    if (!whole) // half a list would bring back half the rows: none is better
        ::DeleteFileW(WidePath(path).c_str());
}

std::optional<std::string> TFindForm::LoadBackList()
{
    const std::string path = BackListPath();
    HANDLE file = ::CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD n = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) && n > 0)
        bytes.append(buffer, n);
    ::CloseHandle(file);
    if (!ok)
        return std::nullopt;
    return bytes;
}

std::string TFindForm::BackListName() const
{
    return BackListPath();
}

// ---- The result list's host ------------------------------------------------------------------

std::string TFindForm::Translate(const std::string& text) const
{
    return FTexts.Translate(text);
}

bool TFindForm::AskOkCancel(const std::string& message)
{
    return ::MessageBoxW(FHandle, Wide(message).c_str(), L"Info", MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

TReportFields TFindForm::ReportFields() const
{
    return ReportFieldsOf([this](std::string_view control) { return Checked(control); });
}

bool TFindForm::ReportsEnabled() const
{
    return Checked("CheckReport");
}

std::string TFindForm::SaveFolder() const
{
    return Text("cbFolder");
}

int TFindForm::FoundCount() const
{
    return FSession->FoundCount;
}

} // namespace trovex::win32
