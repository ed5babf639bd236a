// SPDX-License-Identifier: MIT
// TFindForm, the program's one window as Qt draws it: four pages of criteria and options, the command
// column, the result list, the status bar and the list's popup menu, with the option handlers and the
// window's creation, showing and closing. The search flow, the run state and the list's sort state are
// the window core's (TSearchSession), which this window serves as its face; the rows, histories,
// settings and texts follow the core's rules too.
#pragma once

#include <QList>
#include <QPair>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/SkippedList.h"
#include "app/Widgets.h"
#include "platform/Registry.h"
#include "window/SearchSession.h"
#include "window/Settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QStandardItemModel;
class QTabWidget;
class QTimer;
class QTreeView;

namespace trovex
{

class TDropFileSource;
class TFindFile;
class TFormPlacement;
class TMultiLang;
class TResultModel;
struct TFindFileInfo;

/// The main window. Controls are public members whose objectName equals the member name. Made and
/// used on the user-interface thread only; `lang` must outlive the window. The constructor restores
/// the stored settings from TRegistry::DefaultPath(); closing the window writes them back. The run
/// state (Engine, Running, UserPaused, FoundCount, the totals, SkippedFiles, the sort state) is the
/// session's, inherited so that handlers and tests read it where it lives.
class TFindForm : public QWidget, private TSessionFace, public TSearchSession
{
    Q_OBJECT

public:
    /// The program key of the store; its subkey "Placement" belongs to FormPlacement1.
    static constexpr const char* ProgramKey = ProgramKeyName.data();
    static constexpr int HistorySize = trovex::HistorySize;
    static constexpr int ColumnCount = ListColumnCount;

    explicit TFindForm(TMultiLang& lang, QWidget* parent = nullptr);
    ~TFindForm() override;

    /// The folder given on the command line: no history entry selected, the text as it stands. A
    /// path text (PathText), so a folder whose name is not UTF-8 is searched by its own bytes.
    void SetStartFolder(const QString& folder);
    /// Whether the result list currently shows small icons and match tips.
    bool ListShowsIcons() const { return FListIcons; }
    bool ListShowsHints() const { return FListHints; }
    TRegistry& Store() { return FStore; }
    TMultiLang& Lang() { return FLang; }

    // Layout.
    TPanel* TopPanel;
    TPanel* MainPanel;
    TStatusBar* StatusBar;
    QTabWidget* PageCtrl;
    QWidget* TabFind;
    QWidget* TabMore;
    QWidget* TabConfig;
    QWidget* PageAbout;

    // Command column.
    QPushButton* btnFind;
    QPushButton* btnStop;
    QPushButton* btnAddMore;
    QPushButton* btnFindInto;
    QPushButton* btnBack;
    TAnimate* FindAnimate;

    // Page "Name && Location".
    QLabel* lMask;
    TComboBox* cbMask;
    QLabel* lTypes;
    QComboBox* cbTypes;
    QLabel* lText;
    TComboBox* cbString;
    QLabel* lNoText;
    TComboBox* cbNoString;
    QLabel* lPath;
    TComboBox* cbFolder;
    QPushButton* bFolder;
    QCheckBox* checkSubFolders;

    // Page "Advanced".
    QCheckBox* CheckCase;
    QCheckBox* CheckAllCP;
    QCheckBox* CheckAnsi;
    QCheckBox* CheckOEM;
    QCheckBox* CheckUnicode;
    QCheckBox* CheckKOI8;
    QCheckBox* CheckUtf8;
    QCheckBox* CheckInZip;
    QCheckBox* CheckDate;
    QGroupBox* DatesGBox;
    QRadioButton* RadioBFromTo;
    QRadioButton* RadioBMonth;
    QRadioButton* RadioBDays;
    QLabel* lTo;
    QLabel* lMonth;
    QLabel* lDays;
    QDateTimeEdit* eDateFrom;
    QDateTimeEdit* eDateTo;
    QComboBox* cbLastMonth;
    QComboBox* cbLastDays;

    // Page "Options".
    QCheckBox* CheckMainMenu;
    QCheckBox* CheckShellMenu;
    QCheckBox* CheckFlashW;
    QCheckBox* CheckRecycle;
    QCheckBox* CheckComboStyle;
    QCheckBox* CheckReport;
    QCheckBox* CheckRFileName;
    QCheckBox* CheckRPath;
    QCheckBox* CheckRFileExt;
    QCheckBox* CheckRDate;
    QCheckBox* CheckRSize;
    QCheckBox* CheckRAll;
    TBevel* Bevel1;
    QLabel* lLang;
    QComboBox* cbLanguage;
    QCheckBox* CheckIcons;
    QCheckBox* CheckHints;

    // Page "About".
    QLabel* lTrovex;
    QLabel* lCRight;
    TBevel* Bevel2;
    QLabel* lWWW;
    TLinkLabel* lWebPage;
    QLabel* lSupport;
    TLinkLabel* lEmail;

    // Result list and its popup menu.
    QTreeView* ListView;
    TResultModel* ListModel;
    QMenu* ListPopup;
    QAction* mOpen;
    QAction* mFolder;
    QAction* m1;
    QAction* mReport;
    QAction* mReportOpen;
    QAction* m2;
    QAction* mCopy;
    QAction* mDelete;
    QAction* m3;
    QAction* mProp;

    std::unique_ptr<TFormPlacement> FormPlacement1;

    QPoint DragOrigin{-1, -1};
    std::unique_ptr<TDropFileSource> DropFileSource;

    /// Where "In results" keeps the list that "Go back" restores.
    static QString BackListPath();
    /// Asks for the name of a report to save: (folder, default name, filter) -> name, empty when
    /// cancelled. Tests replace it; by default the save dialog is shown.
    std::function<QString(const QString&, const QString&, const QString&)> AskSaveFileName;

public slots:
    // Search control.
    void btnFindClick();
    void btnStopClick();
    void btnAddMoreClick();
    void btnFindIntoClick();
    /// Opens the list of the files not searched in full (the status bar's "N not searched").
    void lNotSearchedClick();
    void btnBackClick();
    void bFolderClick();
    void ComboBoxExit(QComboBox* box);
    // The result list.
    void ListViewColumnClick(int column);
    void ListViewDblClick();
    void mFolderClick();
    void mCopyClick();
    void mDeleteClick();
    void mPropClick();
    void mReportClick();
    void mReportOpenClick();

    void CheckAllCPClick();
    void CheckDateClick();
    void CheckMainMenuClick();
    void CheckShellMenuClick();
    void CheckComboStyleClick();
    void cbLanguageChange();
    void CheckReportClick();
    void CheckHintsClick();
    void CheckIconsClick();
    void lWebPageClick();
    void lEmailClick();
    void FormHelp();

protected:
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool& canClose);
    void FormClose();

    void setVisible(bool visible) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateFindPage();
    void CreateMorePage();
    void CreateConfigPage();
    void CreateAboutPage();
    void CreateResultList();
    void ConnectHandlers();
    /// A tab page of the design, added to the page control.
    QWidget* MakePage(const char* name);
    /// A label of the pages as the design has it, anchored to the page control and fitted by FitLabels.
    QLabel* MakeLabel(QWidget* page, const char* name);
    void AnchorToPages(std::initializer_list<QWidget*> controls);
    /// Widens labels whose text outgrew their design width, keeping their aligned edge.
    void FitLabels();

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
    /// Serves the engine's event deliveries; woken through the event loop by the worker.
    void DrainEngine();
    /// Sorts the list by SortColumn. A sort by Type first looks up the types of rows not shown yet,
    /// in slices between events, so the window keeps answering; the sort follows the last slice.
    void SortList();
    /// Shows a failure of a handler as the application's error handler would.
    void ShowError(const QString& message);
    QList<int> SelectedRows() const;
    std::vector<std::string> SelectedPaths() const;
    /// Enables and disables the controls that follow `option`, found by their object names.
    void FollowOption(const QCheckBox* option);
    void WriteReportTo(const QString& fileName);
    void StartDrag();
    /// ListViewMouseDown and ListViewMouseMove; true when the event started a drag.
    bool ListViewMouseEvent(QEvent* event);
    QString DefaultSaveFileName(const QString& folder, const QString& name, const QString& filter);
    void RemoveTemporaryReports();

    /// Settings of the program key (restore at creation, save at close).
    void LoadSettings();
    void RestoreColumnsAndLanguage();
    void SaveSettings();
    void WriteStore();
    /// The check boxes of the store, in the order of CheckSettings.
    std::array<QCheckBox*, scCount> StoredChecks() const;

    TMultiLang& FLang;
    TRegistry FStore;
    TAnchors* FAnchors;
    QList<QPair<QLabel*, QRect>> FLabels; // with their design geometry
    bool FListIcons = false;
    bool FListHints = true;
    bool FIconListReady = false;
    bool FShown = false;
    QTimer* FFlushTimer = nullptr;
    QTimer* FTypeTimer = nullptr; // the slices of type lookups before a sort by Type
    QStringList FTemporaryReports; // removed a few seconds after opening, or at the latest at exit
};

} // namespace trovex
