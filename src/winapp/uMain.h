// SPDX-License-Identifier: MIT
// The main window of trovex.exe as the Windows API draws it: the controls of the window's design at
// their places, scaled for the monitor's DPI and kept at their anchors as the window is resized; the
// result list; the status bar; the animation while a run goes on. What a click means, the run state,
// the settings' names and the texts are the window core's; this window is its face.
#pragma once

#include <windows.h>
// windows.h names the system's message formatter so; the window core's is meant in this window.
#undef FormatMessage

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "window/LanguageTexts.h"
#include "window/Layout.h"
#include "window/ResultRows.h"
#include "winapp/ResultList.h"
#include "window/SearchSession.h"

namespace trovex::win32
{


/// The window's class name, by which tests and other programs find it.
constexpr const wchar_t* MainWindowClass = L"TFindForm";
/// The control of the design at `index` in MainWindowLayout() has the id ControlIdBase + index,
/// clear of the ids the common controls give their own parts (a combo box's edit is 1001).
constexpr int ControlIdBase = 3000;
/// The control id of the control named `name`; -1 for a name the design does not have.
int ControlId(std::string_view name);
/// Messages the window posts itself.
constexpr UINT WM_DRAIN = WM_APP + 1;
/// The window's timers: the session's flush, and the animation's frames.
constexpr UINT_PTR TickTimer = 1;
constexpr UINT_PTR AnimateTimer = 2;
constexpr int AnimateIntervalMs = 90;

/// What the command line asks of the window.
struct TStartOptions
{
    std::optional<std::string> Folder; ///< "-F <folder>": searched in as typed, no history entry chosen
    std::string ProgramPath;           ///< trovex.exe's own path, for the shell entries
};

class TFindForm : private TSessionFace, private TResultListHost
{
public:
    /// Registers the classes and creates the window with its settings restored, hidden; nullptr on failure.
    static TFindForm* Create(HINSTANCE instance, const TStartOptions& options);
    ~TFindForm() override;

    HWND Handle() const { return FHandle; }
    /// The control named `name` in the design; nullptr for none.
    HWND Control(std::string_view name) const;
    /// Shows the window as the stored placement says (`show` when there is none).
    void Show(int show);
    /// Routes keys the window handles itself (F1, Enter on the criteria); true when taken.
    bool PreTranslate(MSG& msg);
    /// Handles the input, painting and timers waiting behind the posted messages.
    void DispatchWaiting();

private:
    explicit TFindForm(HWND handle);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    // Creation and layout.
    void FormCreate();
    void CreateControls();
    HWND CreateControl(const TControlLayout& control, int index);
    /// Places every control for the window's current size and DPI, keeping the design's anchors.
    void LayoutControls();
    void LayoutStatusParts();
    void ClipOverlaps();
    void ShowPage(int page);
    int Scale(int pixels) const;
    void SetFonts();
    /// Captions, column titles and menu items in the current language.
    void ApplyLanguage();
    /// Widens labels whose text outgrew their design width.
    void FitLabels();
    int TextWidth(HWND control, const std::wstring& text) const;

    // Events.
    void Command(int id, int code, HWND control);
    LRESULT Notify(NMHDR* header);
    void OptionClick(std::string_view name);
    void ComboBoxExit(std::string_view name);
    /// Whether the box named `name` is a plain field without a drop-down list.
    bool SimpleCombo(std::string_view name) const;
    void RecreateCombo(std::string_view name);
    void BrowseFolder();
    void ShowNotSearchedList();
    void OpenHelp();
    void Close();

    // Settings and placement.
    void LoadSettings();
    void SaveSettings();
    void RestorePlacement(int show);
    void SavePlacement();

    // Control state.
    bool Checked(std::string_view name) const;
    void SetChecked(std::string_view name, bool on);
    void Enable(std::string_view name, bool on);
    std::string Text(std::string_view name) const;
    void SetText(std::string_view name, const std::string& text);
    std::vector<std::string> ComboItems(std::string_view name) const;
    void SetComboItems(std::string_view name, const std::vector<std::string>& items);

    // The face the session draws through (see TSessionFace).
    TCriteria Criteria() const override;
    bool FlashOnEnd() const override;
    bool Confirm(const std::string& question, const std::string& caption) override;
    void ShowError(const std::string& message) override;
    void ShowRunError(const std::string& text) override;
    void ClearRows() override;
    void AddRow(const TFindFileInfo& info) override;
    void FlushRows() override;
    int RowCount() const override;
    std::string RowPath(int row) const override;
    void RepaintRows() override;
    void ShowControls(const TControlStates& states) override;
    void ShowStatus(int panel, const std::string& text) override;
    void ShowNotSearched(const std::string& text) override;
    void Flash() override;
    void RunTicks(bool on, int intervalMs) override;
    void PostDrain() override;
    void SaveBackList(const std::string& bytes) override;
    std::optional<std::string> LoadBackList() override;
    std::string BackListName() const override;
    std::string BackListPath() const;

    // What the result list asks of its window (see TResultListHost).
    std::string Translate(const std::string& text) const override;
    bool AskOkCancel(const std::string& message) override;
    TReportFields ReportFields() const override;
    bool ReportsEnabled() const override;
    std::string SaveFolder() const override;
    int FoundCount() const override;

    HWND FHandle;
    TStartOptions FOptions;
    UINT FDpi = 96;
    HFONT FFont = nullptr;
    HFONT FTitleFont = nullptr;
    std::vector<HWND> FControls; // by index in MainWindowLayout()
    std::vector<bool> FClipped;  // by the same index: the control gives up a place to a later one
    std::vector<int> FFitWidths; // the width each label's text needs, 0 for the others
    int FPage = 0;
    TLanguageTexts FTexts;
    TRegistry FStore;
    std::unique_ptr<TResultList> FList;
    std::unique_ptr<TSearchSession> FSession;
    std::string FNotSearched;
    bool FListIcons = false;
    bool FSimpleCombos = false;
    bool FAnimating = false;
    int FAnimationFrame = 0;
    bool FPlacementRestored = false;
};

} // namespace trovex::win32
