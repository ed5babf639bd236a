// SPDX-License-Identifier: MIT
// TResultList, the Windows window's result list: a virtual list view over TResultRows with its
// header's sort arrow, icons from the system image list, tips, the popup menu and its keys, and the
// commands on the selected rows' files (open, open folder, the two reports, copy, delete,
// properties, drag out). Every command acts on the exact file of its row, through the shell
// services, or refuses with a message naming the file. The window holding the list answers its
// questions through TResultListHost and forwards WM_NOTIFY to it. User-interface thread only; OLE
// must be initialised on it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/Report.h"
#include "shell/win32/DropSource.h"
#include "window/ResultRows.h"

namespace trovex::win32
{

/// What the list needs of the window that holds it.
class TResultListHost
{
public:
    virtual ~TResultListHost() = default;
    /// `text` in the current language (captions, titles, messages).
    virtual std::string Translate(const std::string& text) const = 0;
    /// Shows an error box (MB_ICONERROR) and returns when it is closed.
    virtual void ShowError(const std::string& message) = 0;
    /// Asks an OK/Cancel question (an information box); true for OK.
    virtual bool AskOkCancel(const std::string& message) = 0;
    /// The report options' fields.
    virtual TReportFields ReportFields() const = 0;
    /// False while reports are switched off: both report commands are then unavailable.
    virtual bool ReportsEnabled() const = 0;
    /// The folder a "Save report..." dialog starts in ("Look in:").
    virtual std::string SaveFolder() const = 0;
    /// The count the temporary report's name carries ("ff<count>.txt").
    virtual int FoundCount() const = 0;
    /// The file name a report is saved to, asked with a save dialog owned by `owner` starting in
    /// `folder` with `name` filled in; empty when the person cancelled. By default the system's
    /// dialog, text and CSV files offered.
    virtual std::string AskSaveFileName(HWND owner, const std::string& folder, const std::string& name);
    /// Hands a written report to the person: by default the shell opens it with its viewer.
    virtual void OpenReport(HWND owner, const std::string& fileName);
};

class TResultList
{
public:
    /// The popup menu's command ids: CommandBase + the item's index in ListMenu().
    static constexpr int CommandBase = 2000;
    /// A temporary report is removed this long after it was handed to the shell to open.
    static constexpr UINT TemporaryReportLifeMs = 5000;

    /// Creates the list view as child `controlId` of `parent`, visible, at an empty rectangle (the
    /// window places it), with the design's columns at the screen's DPI. `host` must outlive the
    /// list. Throws std::runtime_error when the control cannot be made.
    TResultList(HWND parent, int controlId, TResultListHost& host);
    /// Destroys the control and removes temporary reports not yet removed.
    ~TResultList();
    TResultList(const TResultList&) = delete;
    TResultList& operator=(const TResultList&) = delete;

    HWND Handle() const { return FHandle; }
    /// The rows. After appending, call RowsAppended; after any other change, Refresh. The list's type
    /// source is the rows' type source for AppendShellTyped rows; leave it in place.
    TResultRows& Rows() { return FRows; }
    const TResultRows& Rows() const { return FRows; }
    /// Shows rows appended since the last call, without scrolling or repainting rows already shown.
    void RowsAppended();
    /// Shows the rows again after a change other than an append.
    void Refresh();
    /// Removes every row and the sort arrow (new rows come in no column's order); stops a pending sort.
    void Clear();

    /// Sorts by `column` (TResultRows::TColumn), keeping the selected rows selected, and shows the
    /// arrow on that column's title only. A sort by Type first looks up the types not known yet in
    /// short slices between messages, so the window keeps answering; it sorts when they are done
    /// (SortPending() until then). A new sort or Clear replaces a pending one.
    void Sort(int column, bool ascending);
    bool SortPending() const { return FPendingSort.first >= 0; }
    /// Called when a column title is clicked, with the column; unset, the list sorts by that column
    /// itself, ascending first and then the other way at each click of the same column.
    std::function<void(int column)> OnColumnClick;

    /// Icons of the rows' types from the system image list; off, no icon and no room for one.
    void SetShowIcons(bool on);
    bool ShowIcons() const { return FShowIcons; }
    /// Tips with the text around the hit when the pointer rests on a row.
    void SetShowHints(bool on);
    bool ShowHints() const { return FShowHints; }
    /// Column titles and menu captions in the host's current language.
    void Retranslate();

    /// Widths of the five columns in pixels, for the window's settings; SetColumnWidths ignores
    /// entries past the fifth and widths below zero.
    std::vector<int> ColumnWidths() const;
    void SetColumnWidths(const std::vector<int>& widths);

    /// The selected rows, ascending.
    std::vector<int> SelectedRows() const;
    /// The popup menu as it would open now (items enabled by ReportsEnabled); owned by the list.
    HMENU Menu();

    /// The parent forwards every WM_NOTIFY here; true when it was the list's, `result` then being
    /// the answer to return.
    bool HandleNotify(const NMHDR* header, LRESULT& result);
    /// Runs the menu command `id` (CommandBase + index); false for an id not the list's.
    bool HandleCommand(WORD id);

    // The commands, on the selected rows.
    /// Opens the first selected row's file with its program.
    void Open();
    /// Opens the folder of the first selected row's file, the file selected.
    void OpenFolder();
    /// Writes a report of all rows to "ff<FoundCount>.txt" in the temporary folder and opens it;
    /// the file is removed TemporaryReportLifeMs later.
    void Report();
    /// Asks a file name ("FileList"; ".txt" added to a name without an extension; a question before
    /// replacing a file), writes a report of all rows there and opens it.
    void SaveReport();
    /// Puts the selected files on the clipboard for a paste elsewhere.
    void Copy();
    /// Moves the selected files to the Recycle Bin (the shell asks first) and removes exactly the
    /// rows whose file is gone afterwards; rows of files that stayed remain selected.
    void Delete();
    /// Shows the first selected row's file's Properties sheet.
    void Properties();

private:
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    LRESULT HandleListMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void GetDisplayInfo(NMLVDISPINFOW& info);
    void GetInfoTip(NMLVGETINFOTIPW& tip);
    bool KeyDown(WORD key);
    void ShowMenu(POINT at, bool fromKeyboard);
    void BuildMenu();
    void UpdateMenu();
    void ShowSortArrow(int column, bool ascending);
    void ContinueSort();
    void ApplySort(int column, bool ascending);
    void Drag();
    /// The selected rows' paths, in list order.
    std::vector<std::string> SelectedPaths() const;
    /// The first selected row's path, or empty when none is selected.
    std::string FirstSelectedPath() const;
    /// False, after a message naming the file, when `path` is gone or the shell would misread it.
    bool CheckShellPath(const std::string& path);
    void RemoveTemporaryReports(bool all);
    /// Selects exactly `rows` (ascending), the focus on `focus` when it is one of them or -1.
    void SelectRows(const std::vector<int>& rows, int focus);
    const TResultRows::TShellType* TypeOf(std::string_view path, std::uint32_t attributes);

    HWND FHandle = nullptr;
    int FControlId;
    TResultListHost& FHost;
    TResultRows FRows;
    // The type source's types, one per type name and icon, alive as long as the rows may point at them.
    std::map<std::pair<std::string, int>, std::unique_ptr<TResultRows::TShellType>> FTypes;
    TDropFileSource FDropSource;
    HMENU FMenu = nullptr;
    bool FShowIcons = false;
    bool FShowHints = true;
    std::pair<int, bool> FPendingSort{-1, true};
    int FArrowColumn = -1;
    std::array<bool, TResultRows::ColumnCount> FClickAscending{}; // the next click's direction
    std::wstring FCellText; // the text of the last LVN_GETDISPINFOW, valid until the next
    struct TTemporaryReport
    {
        std::wstring Path;
        ULONGLONG Due;
    };
    std::vector<TTemporaryReport> FTemporaryReports;
};

} // namespace trovex::win32
