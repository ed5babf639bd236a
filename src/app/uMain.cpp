// SPDX-License-Identifier: MIT
// The main window: controls at their design pixels, option handlers, creation, showing and closing.
// Geometry is absolute and kept on resize by TAnchors rather than by layouts, so every control
// sits where the design puts it at the designed window size.
#include "app/uMain.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QTimer>
#include <QTabWidget>
#include <QTreeView>

#include "app/ResultModel.h"
#include "app/ShellTypes.h"
#include "app/Widgets.h"
#include "lang/MultiLang.h"
#include "placement/Placemnt.h"
#include "platform/FileSystem.h"
#include "search/FindFile.h"
#include "search/SearchCriteria.h"
#include "shell/DropSource.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"

namespace trovex
{

namespace
{

const QRect DesignBounds(213, 113, 519, 405); // outer position, client size
constexpr int TopHeight = 227;
constexpr int StatusHeight = 19;
constexpr int PanelInset = 3; // the panel's border and its bevel
// The smallest client a restore gives: the command column beside the tabs of the pages, the top
// panel whole, a row of the list and the status bar. Smaller, the window is no use to anyone.
constexpr QSize DesignMinimum(320, TopHeight + 40 + StatusHeight);

// The locale's long date without the weekday, which would not fit the pickers' design width.
QString LongDateFormat()
{
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*|,?\\s*d{4}"));
    QString format = QLocale().dateFormat(QLocale::LongFormat);
    format.remove(weekday);
    return format.trimmed();
}

QFont WindowFont()
{
    QFont font;
    // The design's face first; the others come close to its width where it is not installed.
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(13);
    return font;
}

template <class T>
T* Make(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption, const QRect& geometry, bool checked)
{
    auto* box = Make<QCheckBox>(parent, name, geometry);
    box->setText(QString::fromUtf8(caption));
    box->setChecked(checked);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const QRect& geometry)
{
    auto* button = Make<QPushButton>(parent, name, geometry);
    button->setText(QString::fromUtf8(caption));
    button->setAutoDefault(true); // Enter presses the focused button, as on the design's platform
    return button;
}

QAction* MakeItem(QMenu* menu, const char* name, const char* caption, const QList<QKeySequence>& keys)
{
    QAction* item = menu->addAction(QString::fromUtf8(caption));
    item->setObjectName(QLatin1String(name));
    item->setShortcuts(keys);
    item->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return item;
}

QAction* MakeSeparator(QMenu* menu, const char* name)
{
    QAction* item = menu->addSeparator();
    item->setObjectName(QLatin1String(name));
    return item;
}

TComboBox* MakeHistoryBox(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* box = Make<TComboBox>(parent, name, geometry);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert); // the history is kept by the window, not by Enter
    box->setMaxVisibleItems(10);
    // Matches of the history are offered in a list to pick from. Inline completion would put a
    // longer entry into the field, and Enter would search that instead of what was typed.
    if (QCompleter* completer = box->completer())
        completer->setCompletionMode(QCompleter::PopupCompletion);
    return box;
}

} // namespace

TFindForm::TFindForm(TMultiLang& lang, QWidget* parent)
    : QWidget(parent), TSearchSession(*this, lang.Texts()), FLang(lang), FAnchors(new TAnchors(this))
{
    setObjectName(QStringLiteral("FindForm"));
    setWindowTitle(QStringLiteral("File Trovex - file search utility -"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("system-search")));
    setFont(WindowFont());
    move(DesignBounds.topLeft());
    resize(DesignBounds.size());
    FormPlacement1 = std::make_unique<TFormPlacement>(this, FStore, QString::fromLatin1(ProgramKey),
                                                      QStringLiteral("Placement"));
    FormPlacement1->SetDesignMinimum(DesignMinimum);
    CreateControls();
    ConnectHandlers();
    FormCreate();
}

TFindForm::~TFindForm()
{
    Engine.reset(); // ends a run that is still going; the worker never outlives its engine
    RemoveTemporaryReports();
    if (FormPlacement1->Restored() && !FormPlacement1->Saved()) {
        FormPlacement1->SaveFormPlacement(true);
        WriteStore();
    }
}

void TFindForm::CreateControls()
{
    TopPanel = Make<TPanel>(this, "TopPanel", QRect(0, 0, width(), TopHeight));
    FAnchors->Anchor(TopPanel, akLeft | akTop | akRight);
    MainPanel = Make<TPanel>(this, "MainPanel", QRect(0, TopHeight, width(), height() - TopHeight - StatusHeight));
    FAnchors->Anchor(MainPanel, akLeft | akTop | akRight | akBottom);
    StatusBar = new TStatusBar(this, 160);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setGeometry(0, height() - StatusHeight, width(), StatusHeight);
    FAnchors->Anchor(StatusBar, akLeft | akRight | akBottom);
    connect(StatusBar, &TStatusBar::NotSearchedClick, this, &TFindForm::lNotSearchedClick);

    PageCtrl = Make<QTabWidget>(TopPanel, "PageCtrl", QRect(4, 3, 408, 221));
    FAnchors->Anchor(PageCtrl, akLeft | akTop | akRight);

    btnFind = MakeButton(TopPanel, "btnFind", "Find", QRect(421, 11, 90, 25));
    btnFind->setDefault(true);
    btnStop = MakeButton(TopPanel, "btnStop", "Stop", QRect(421, 43, 90, 25));
    btnStop->setEnabled(false);
    btnAddMore = MakeButton(TopPanel, "btnAddMore", "Add", QRect(421, 75, 90, 25));
    btnAddMore->setEnabled(false);
    btnFindInto = MakeButton(TopPanel, "btnFindInto", "In results", QRect(421, 107, 90, 25));
    btnFindInto->setEnabled(false);
    btnBack = MakeButton(TopPanel, "btnBack", "Go back", QRect(421, 139, 90, 25));
    btnBack->setEnabled(false);
    FindAnimate = Make<TAnimate>(TopPanel, "FindAnimate", QRect(442, 171, 48, 50));
    for (QWidget* w : {static_cast<QWidget*>(btnFind), static_cast<QWidget*>(btnStop),
                       static_cast<QWidget*>(btnAddMore), static_cast<QWidget*>(btnFindInto),
                       static_cast<QWidget*>(btnBack), static_cast<QWidget*>(FindAnimate)})
        FAnchors->Anchor(w, akTop | akRight);

    CreateFindPage();
    CreateMorePage();
    CreateConfigPage();
    CreateAboutPage();
    PageCtrl->setCurrentIndex(0);
    CreateResultList();
}

QLabel* TFindForm::MakeLabel(QWidget* page, const char* name, const char* caption, const QRect& geometry,
                             Qt::Alignment alignment, unsigned anchors)
{
    auto* label = Make<QLabel>(page, name, geometry);
    label->setText(QString::fromUtf8(caption));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(alignment | Qt::AlignAbsolute | Qt::AlignTop);
    FAnchors->Anchor(label, anchors, PageCtrl);
    FLabels.append({label, geometry});
    return label;
}

void TFindForm::CreateFindPage()
{
    TabFind = new QWidget;
    TabFind->setObjectName(QStringLiteral("TabFind"));
    PageCtrl->addTab(TabFind, QStringLiteral("Name && Location"));

    lMask = MakeLabel(TabFind, "lMask", "Named:", QRect(50, 8, 45, 16), Qt::AlignRight);
    cbMask = MakeHistoryBox(TabFind, "cbMask", QRect(96, 8, 294, 24));
    lTypes = MakeLabel(TabFind, "lTypes", "Of type:", QRect(49, 40, 46, 16), Qt::AlignRight);
    cbTypes = Make<QComboBox>(TabFind, "cbTypes", QRect(96, 40, 294, 24));
    for (std::string_view item : TypePresets)
        cbTypes->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    lText = MakeLabel(TabFind, "lText", "Containing text:", QRect(9, 71, 90, 16));
    cbString = MakeHistoryBox(TabFind, "cbString", QRect(8, 88, 193, 24));
    lNoText = MakeLabel(TabFind, "lNoText", "but has no:", QRect(208, 71, 65, 16), Qt::AlignLeft, akTop | akRight);
    cbNoString = Make<TComboBox>(TabFind, "cbNoString", QRect(208, 88, 182, 24));
    cbNoString->setEditable(true);
    cbNoString->setInsertPolicy(QComboBox::NoInsert);
    cbNoString->SetSimple(true);
    lPath = MakeLabel(TabFind, "lPath", "Look in:", QRect(9, 112, 45, 16));
    cbFolder = MakeHistoryBox(TabFind, "cbFolder", QRect(8, 128, 289, 24));
    cbFolder->setEditText(PathText(HomeFolder()));
    bFolder = MakeButton(TabFind, "bFolder", "&Browse...", QRect(306, 128, 84, 25));
    checkSubFolders = MakeCheck(TabFind, "checkSubFolders", "Include subfolders", QRect(8, 160, 281, 17), true);

    for (QWidget* w : {static_cast<QWidget*>(cbMask), static_cast<QWidget*>(cbTypes),
                       static_cast<QWidget*>(cbString), static_cast<QWidget*>(cbFolder)})
        FAnchors->Anchor(w, akLeft | akTop | akRight, PageCtrl);
    FAnchors->Anchor(cbNoString, akTop | akRight, PageCtrl);
    FAnchors->Anchor(bFolder, akTop | akRight, PageCtrl);

    setTabOrder(cbMask, cbTypes);
    setTabOrder(cbTypes, cbString);
    setTabOrder(cbString, cbFolder);
    setTabOrder(cbFolder, bFolder);
    setTabOrder(bFolder, checkSubFolders);
    setTabOrder(checkSubFolders, cbNoString);
}

void TFindForm::CreateMorePage()
{
    TabMore = new QWidget;
    TabMore->setObjectName(QStringLiteral("TabMore"));
    PageCtrl->addTab(TabMore, QStringLiteral("Advanced"));

    CheckCase = MakeCheck(TabMore, "CheckCase", "Case sensitive", QRect(8, 3, 185, 17), false);
    CheckAllCP = MakeCheck(TabMore, "CheckAllCP", "Use all code pages", QRect(200, 3, 193, 17), false);
    CheckAnsi = MakeCheck(TabMore, "CheckAnsi", "Windows", QRect(200, 24, 97, 17), true);
    CheckOEM = MakeCheck(TabMore, "CheckOEM", "DOS", QRect(304, 24, 97, 17), false);
    CheckUnicode = MakeCheck(TabMore, "CheckUnicode", "Unicode", QRect(200, 45, 97, 17), true);
    CheckKOI8 = MakeCheck(TabMore, "CheckKOI8", "KOI8-R", QRect(304, 45, 97, 17), false);
    // The UTF-8 pass joins the four code pages in the free cell just left of them.
    CheckUtf8 = MakeCheck(TabMore, "CheckUtf8", "UTF-8", QRect(104, 24, 90, 17), true);
    CheckInZip = MakeCheck(TabMore, "CheckInZip", "Search in Zip archives", QRect(8, 45, 193, 17), true);

    DatesGBox = Make<QGroupBox>(TabMore, "DatesGBox", QRect(4, 72, 391, 113));
    DatesGBox->setEnabled(false);
    // Drawn over the group's top edge, hiding the line behind it like a caption.
    CheckDate = MakeCheck(TabMore, "CheckDate", "Date Modified", QRect(13, 72, 185, 17), false);
    CheckDate->setAutoFillBackground(true);
    RadioBFromTo = Make<QRadioButton>(DatesGBox, "RadioBFromTo", QRect(8, 24, 113, 17));
    RadioBFromTo->setText(QStringLiteral("from"));
    RadioBFromTo->setChecked(true);
    RadioBMonth = Make<QRadioButton>(DatesGBox, "RadioBMonth", QRect(8, 56, 161, 17));
    RadioBMonth->setText(QStringLiteral("during the previous"));
    RadioBDays = Make<QRadioButton>(DatesGBox, "RadioBDays", QRect(8, 88, 161, 17));
    RadioBDays->setText(QStringLiteral("during the previous"));
    lTo = MakeLabel(DatesGBox, "lTo", "to", QRect(216, 24, 11, 16));
    lMonth = MakeLabel(DatesGBox, "lMonth", "month(s)", QRect(216, 56, 52, 16));
    lDays = MakeLabel(DatesGBox, "lDays", "days(s)", QRect(216, 88, 42, 16));

    const QString longDate = LongDateFormat();
    for (QDateTimeEdit** edit : {&eDateFrom, &eDateTo}) {
        const bool from = edit == &eDateFrom;
        *edit = Make<QDateTimeEdit>(TabMore, from ? "eDateFrom" : "eDateTo",
                                    from ? QRect(71, 93, 145, 24) : QRect(239, 93, 145, 24));
        (*edit)->setDisplayFormat(longDate);
        (*edit)->setCalendarPopup(true);
        (*edit)->setEnabled(false);
    }
    cbLastMonth = Make<QComboBox>(TabMore, "cbLastMonth", QRect(168, 123, 48, 24));
    cbLastMonth->setEditable(true);
    cbLastMonth->addItems({"1", "2", "3", "4", "5", "6", "9", "12"});
    cbLastMonth->setEnabled(false);
    cbLastDays = Make<QComboBox>(TabMore, "cbLastDays", QRect(168, 154, 48, 24));
    cbLastDays->setEditable(true);
    cbLastDays->addItems({"1", "2", "3", "4", "5", "6", "7", "10", "20", "30"});
    cbLastDays->setEnabled(false);
    for (QWidget* w : {static_cast<QWidget*>(RadioBFromTo), static_cast<QWidget*>(RadioBMonth),
                       static_cast<QWidget*>(RadioBDays), static_cast<QWidget*>(lTo), static_cast<QWidget*>(lMonth),
                       static_cast<QWidget*>(lDays)})
        w->setEnabled(false);
}

void TFindForm::CreateConfigPage()
{
    TabConfig = new QWidget;
    TabConfig->setObjectName(QStringLiteral("TabConfig"));
    PageCtrl->addTab(TabConfig, QStringLiteral("Options"));

    Bevel1 = new TBevel(TBevel::bsFrame, TabConfig);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(3, 126, 393, 61);
    FAnchors->Anchor(Bevel1, akLeft | akTop | akRight, PageCtrl);

    CheckMainMenu = MakeCheck(TabConfig, "CheckMainMenu", "Add link to Main menu", QRect(8, 3, 225, 17), true);
    CheckShellMenu = MakeCheck(TabConfig, "CheckShellMenu", "Add to Shell menu", QRect(8, 26, 225, 17), true);
    CheckFlashW = MakeCheck(TabConfig, "CheckFlashW", "Flash on stop execution", QRect(8, 49, 225, 17), true);
    CheckRecycle = MakeCheck(TabConfig, "CheckRecycle", "Delete to Recycle", QRect(8, 72, 225, 17), true);
    CheckRecycle->setEnabled(false);
    CheckComboStyle = MakeCheck(TabConfig, "CheckComboStyle", "Combo boxes", QRect(8, 95, 161, 17), true);
    // Sits on the frame's top edge and hides the line behind it.
    CheckReport = MakeCheck(TabConfig, "CheckReport", "Report options", QRect(8, 119, 129, 17), true);
    CheckReport->setAutoFillBackground(true);
    CheckRFileName = MakeCheck(TabConfig, "CheckRFileName", "File name", QRect(10, 140, 121, 17), false);
    CheckRPath = MakeCheck(TabConfig, "CheckRPath", "Full path", QRect(10, 164, 121, 17), true);
    CheckRFileExt = MakeCheck(TabConfig, "CheckRFileExt", "Extention", QRect(138, 140, 121, 17), false);
    CheckRDate = MakeCheck(TabConfig, "CheckRDate", "Date && time", QRect(138, 164, 119, 17), false);
    CheckRSize = MakeCheck(TabConfig, "CheckRSize", "File size", QRect(266, 140, 121, 17), false);
    CheckRAll = MakeCheck(TabConfig, "CheckRAll", "All", QRect(266, 164, 121, 17), false);

    lLang = MakeLabel(TabConfig, "lLang", "Select language:", QRect(235, 3, 96, 16), Qt::AlignLeft, akTop | akRight);
    cbLanguage = Make<QComboBox>(TabConfig, "cbLanguage", QRect(235, 20, 161, 24));
    cbLanguage->addItem(QStringLiteral("<Default>"));
    CheckIcons = MakeCheck(TabConfig, "CheckIcons", "Show icons", QRect(235, 72, 161, 17), false);
    CheckHints = MakeCheck(TabConfig, "CheckHints", "Show Hints", QRect(235, 95, 161, 17), true);
    for (QWidget* w : {static_cast<QWidget*>(cbLanguage), static_cast<QWidget*>(CheckIcons),
                       static_cast<QWidget*>(CheckHints)})
        FAnchors->Anchor(w, akTop | akRight, PageCtrl);
}

void TFindForm::CreateAboutPage()
{
    PageAbout = new QWidget;
    PageAbout->setObjectName(QStringLiteral("PageAbout"));
    PageCtrl->addTab(PageAbout, QStringLiteral("About"));

    lTrovex = MakeLabel(PageAbout, "lTrovex", "Marlix v." TROVEX_VERSION, QRect(8, 3, 232, 35));
    QFont title;
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    title.setBold(true);
    title.setPixelSize(29);
    lTrovex->setFont(title);
    lCRight = MakeLabel(PageAbout, "lCRight", "\xC2\xA9 Brenvik", QRect(9, 36, 141, 16));

    Bevel2 = new TBevel(TBevel::bsBox, PageAbout);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(2, 139, 392, 49);
    FAnchors->Anchor(Bevel2, akLeft | akTop | akRight, PageCtrl);

    lWWW = MakeLabel(PageAbout, "lWWW", "Homepage:", QRect(47, 146, 66, 16), Qt::AlignRight);
    lWebPage = new TLinkLabel(PageAbout);
    lWebPage->setObjectName(QStringLiteral("lWebPage"));
    lWebPage->setGeometry(117, 146, 106, 16);
    lWebPage->setText(QUrl(HomePageAddress).host());
    lSupport = MakeLabel(PageAbout, "lSupport", "Mail to:", QRect(70, 166, 43, 16), Qt::AlignRight);
    lEmail = new TLinkLabel(PageAbout);
    lEmail->setObjectName(QStringLiteral("lEmail"));
    lEmail->setGeometry(117, 166, 105, 16);
    lEmail->setText(SupportMailAddress);
    for (QLabel* link : {static_cast<QLabel*>(lWebPage), static_cast<QLabel*>(lEmail)}) {
        link->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop);
        FAnchors->Anchor(link, akLeft | akTop, PageCtrl);
        FLabels.append({link, link->geometry()});
    }
}

void TFindForm::CreateResultList()
{
    ListModel = new TResultModel(this);
    ListModel->setObjectName(QStringLiteral("ListModel"));
    ListModel->SetIconSource([](int index) { return SystemImageListIcon(index); });
    ListModel->SetTypeSource(ShellTypeOfRow);
    FFlushTimer = new QTimer(this);
    FFlushTimer->setObjectName(QStringLiteral("FlushTimer"));
    DropFileSource = std::make_unique<TDropFileSource>();
    AskSaveFileName = [this](const QString& folder, const QString& name, const QString& filter) {
        return DefaultSaveFileName(folder, name, filter);
    };
    const char* const titles[ColumnCount] = {"File name", "Folder", "Type", "Modified", "Size"};
    const int widths[ColumnCount] = {130, 130, 40, 100, 100};
    for (int i = 0; i < ColumnCount; ++i)
        ListModel->setHeaderData(i, Qt::Horizontal, QString::fromLatin1(titles[i]));

    ListView = Make<QTreeView>(MainPanel, "ListView",
                               MainPanel->rect().adjusted(PanelInset, PanelInset, -PanelInset, -PanelInset));
    ListView->setModel(ListModel);
    ListView->setFrameShape(QFrame::NoFrame);
    ListView->setRootIsDecorated(false);
    ListView->setItemsExpandable(false);
    ListView->setUniformRowHeights(true);
    ListView->setAllColumnsShowFocus(true);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView->header()->setSectionsMovable(false);
    // The titles sort; the arrow shows the column and direction of the last sort, none before it.
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSortIndicatorShown(true);
    ListView->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ListView->header()->setStretchLastSection(false);
    for (int i = 0; i < ColumnCount; ++i)
        ListView->header()->resizeSection(i, widths[i]);
    ListView->viewport()->installEventFilter(this);
    FAnchors->Anchor(ListView, akLeft | akTop | akRight | akBottom);

    ListPopup = new QMenu(this);
    ListPopup->setObjectName(QStringLiteral("ListPopup"));
    mOpen = MakeItem(ListPopup, "mOpen", "Open", {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    ListPopup->setDefaultAction(mOpen);
    mFolder = MakeItem(ListPopup, "mFolder", "Open folder", {QKeySequence(Qt::CTRL | Qt::Key_F)});
    m1 = MakeSeparator(ListPopup, "m1");
    mReport = MakeItem(ListPopup, "mReport", "Report...", {QKeySequence(Qt::CTRL | Qt::Key_R)});
    mReportOpen = MakeItem(ListPopup, "mReportOpen", "Save report...", {});
    m2 = MakeSeparator(ListPopup, "m2");
    mCopy = MakeItem(ListPopup, "mCopy", "Copy", {QKeySequence(Qt::CTRL | Qt::Key_C)});
    mDelete = MakeItem(ListPopup, "mDelete", "Delete", {QKeySequence(Qt::Key_Delete)});
    m3 = MakeSeparator(ListPopup, "m3");
    mProp = MakeItem(ListPopup, "mProp", "Property", {QKeySequence(Qt::CTRL | Qt::Key_P)});
    // The shortcuts act while the list has the focus, so the list carries the items too.
    ListView->addActions(ListPopup->actions());
}

void TFindForm::ConnectHandlers()
{
    connect(CheckAllCP, &QCheckBox::toggled, this, &TFindForm::CheckAllCPClick);
    connect(CheckDate, &QCheckBox::toggled, this, &TFindForm::CheckDateClick);
    connect(CheckMainMenu, &QCheckBox::toggled, this, &TFindForm::CheckMainMenuClick);
    connect(CheckShellMenu, &QCheckBox::toggled, this, &TFindForm::CheckShellMenuClick);
    connect(CheckComboStyle, &QCheckBox::toggled, this, &TFindForm::CheckComboStyleClick);
    connect(cbLanguage, &QComboBox::activated, this, &TFindForm::cbLanguageChange);
    connect(CheckReport, &QCheckBox::toggled, this, &TFindForm::CheckReportClick);
    connect(CheckHints, &QCheckBox::toggled, this, &TFindForm::CheckHintsClick);
    connect(CheckIcons, &QCheckBox::toggled, this, &TFindForm::CheckIconsClick);
    connect(lWebPage, &TLinkLabel::Click, this, &TFindForm::lWebPageClick);
    connect(lEmail, &TLinkLabel::Click, this, &TFindForm::lEmailClick);
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, &TFindForm::FormHelp);
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { ListPopup->popup(ListView->viewport()->mapToGlobal(pos)); });
    connect(&FLang, &TMultiLang::LanguageApplied, this, &TFindForm::FitLabels);

    connect(btnFind, &QPushButton::clicked, this, &TFindForm::btnFindClick);
    connect(btnStop, &QPushButton::clicked, this, &TFindForm::btnStopClick);
    connect(btnAddMore, &QPushButton::clicked, this, &TFindForm::btnAddMoreClick);
    connect(btnFindInto, &QPushButton::clicked, this, &TFindForm::btnFindIntoClick);
    connect(btnBack, &QPushButton::clicked, this, &TFindForm::btnBackClick);
    connect(bFolder, &QPushButton::clicked, this, &TFindForm::bFolderClick);
    connect(FFlushTimer, &QTimer::timeout, this, [this] { Tick(); });
    for (QComboBox* box : {static_cast<QComboBox*>(cbMask), static_cast<QComboBox*>(cbFolder),
                           static_cast<QComboBox*>(cbString)})
        box->installEventFilter(this);
    connect(ListView->header(), &QHeaderView::sectionClicked, this, &TFindForm::ListViewColumnClick);
    connect(ListView, &QTreeView::doubleClicked, this, &TFindForm::ListViewDblClick);
    connect(mOpen, &QAction::triggered, this, &TFindForm::ListViewDblClick);
    connect(mFolder, &QAction::triggered, this, &TFindForm::mFolderClick);
    connect(mReport, &QAction::triggered, this, &TFindForm::mReportClick);
    connect(mReportOpen, &QAction::triggered, this, &TFindForm::mReportOpenClick);
    connect(mCopy, &QAction::triggered, this, &TFindForm::mCopyClick);
    connect(mDelete, &QAction::triggered, this, &TFindForm::mDeleteClick);
    connect(mProp, &QAction::triggered, this, &TFindForm::mPropClick);
}

// ---- Option handlers --------------------------------------------------------------------------

void TFindForm::CheckAllCPClick()
{
    // The marks stay: unchecking brings back exactly the pages chosen before.
    const bool own = !CheckAllCP->isChecked();
    for (QCheckBox* box : {CheckAnsi, CheckOEM, CheckUnicode, CheckKOI8, CheckUtf8})
        box->setEnabled(own);
}

void TFindForm::CheckDateClick()
{
    const bool on = CheckDate->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(DatesGBox), static_cast<QWidget*>(RadioBFromTo),
                       static_cast<QWidget*>(RadioBMonth), static_cast<QWidget*>(RadioBDays),
                       static_cast<QWidget*>(eDateFrom), static_cast<QWidget*>(eDateTo), static_cast<QWidget*>(lTo),
                       static_cast<QWidget*>(lMonth), static_cast<QWidget*>(lDays),
                       static_cast<QWidget*>(cbLastMonth), static_cast<QWidget*>(cbLastDays)})
        w->setEnabled(on);
}

void TFindForm::CheckMainMenuClick()
{
    UpdateMainMenuLink(CheckMainMenu->isChecked(), QCoreApplication::applicationFilePath().toStdString());
}

void TFindForm::CheckShellMenuClick()
{
    UpdateShellMenu(CheckShellMenu->isChecked(), QCoreApplication::applicationFilePath().toStdString());
}

void TFindForm::CheckComboStyleClick()
{
    const bool simple = !CheckComboStyle->isChecked();
    cbString->SetSimple(simple);
    cbFolder->SetSimple(simple);
}

void TFindForm::cbLanguageChange()
{
    try {
        FLang.SelectLanguage(cbLanguage->currentText());
        FLang.ApplyLanguage();
    } catch (const std::exception& e) {
        // The translations in force stay; the person learns why the choice did not take.
        TMessageBox::Show(this, QString::fromStdString(e.what()), QStringLiteral("Error"), QMessageBox::Critical,
                          QMessageBox::Ok);
    }
}

void TFindForm::CheckReportClick()
{
    const bool on = CheckReport->isChecked();
    for (QCheckBox* box : {CheckRFileName, CheckRFileExt, CheckRPath, CheckRDate, CheckRSize, CheckRAll})
        box->setEnabled(on);
    mReport->setEnabled(on);
    mReportOpen->setEnabled(on);
}

void TFindForm::CheckHintsClick()
{
    FListHints = CheckHints->isChecked();
    ListModel->SetShowHints(FListHints);
}

void TFindForm::CheckIconsClick()
{
    // Before creation has made the icon list there is nothing to show yet.
    FListIcons = CheckIcons->isChecked() && FIconListReady;
    ListView->setIconSize(FListIcons ? QSize(16, 16) : QSize(0, 0));
}

void TFindForm::lWebPageClick()
{
    OpenHomePage();
}

void TFindForm::lEmailClick()
{
    OpenSupportMail();
}

void TFindForm::FormHelp()
{
    TLauncher::OpenUrl(FileUrl(PathBytes(QCoreApplication::applicationDirPath()) + "/trovex.html"));
}

void TFindForm::FitLabels()
{
    for (const auto& [label, design] : FLabels) {
        const int needed = label->sizeHint().width();
        QRect r = design;
        if (needed > design.width()) {
            r.setWidth(needed);
            if (label->alignment() & Qt::AlignRight)
                r.moveRight(design.right());
        }
        FAnchors->SetDesignGeometry(label, r);
    }
}

// ---- Window events ----------------------------------------------------------------------------

void TFindForm::FormCreate()
{
    DragOrigin = QPoint(-1, -1);
    // Scripts written right to left get the whole interface mirrored in reading order; the
    // positions and alignments of the design stay.
    if (QLocale().textDirection() == Qt::RightToLeft)
        QGuiApplication::setLayoutDirection(Qt::RightToLeft);

    FoundCount = 0;
    const QDateTime now = QDateTime::currentDateTime();
    eDateTo->setDateTime(now);
    eDateFrom->setDateTime(QDateTime(now.date(), QTime(0, 0)));
    Running = false;
    UserPaused = false;

    LoadSettings();

    cbTypes->setCurrentIndex(0);
    if (cbFolder->count() > 0)
        cbFolder->setCurrentIndex(0);
    if (cbFolder->currentText().isEmpty())
        cbFolder->setEditText(PathText(HomeFolder()));
    cbLastMonth->setCurrentIndex(0);
    cbLastDays->setCurrentIndex(0);
    cbMask->setCurrentIndex(-1);
    cbString->setCurrentIndex(-1);

    RestoreColumnsAndLanguage();

    StatusBar->SetPanelText(1, QString::fromStdString(TotalsText()));

    FIconListReady = true;
    if (CheckIcons->isChecked())
        CheckIconsClick();
}

void TFindForm::FormShow()
{
    PageCtrl->setCurrentIndex(0);
    cbMask->setFocus();
    if (QLineEdit* edit = cbFolder->lineEdit()) {
        edit->deselect();
        edit->setCursorPosition(0);
    }
}

void TFindForm::FormCloseQuery(bool& canClose)
{
    canClose = true;
    EndForClose();
}

void TFindForm::FormClose()
{
    SaveSettings();
    WriteStore();
}

void TFindForm::setVisible(bool visible)
{
    if (visible && !FormPlacement1->Restored())
        FormPlacement1->RestoreFormPlacement();
    QWidget::setVisible(visible);
}

void TFindForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFindForm::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) {
        event->ignore();
        return;
    }
    FormPlacement1->SaveFormPlacement();
    FormClose();
    event->accept();
}

void TFindForm::keyPressEvent(QKeyEvent* event)
{
    // Enter that no control took presses the default button.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        if (btnFind->isEnabled())
            btnFind->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TFindForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView->viewport() && event->type() == QEvent::ToolTip && !FListHints)
        return true;
    if (watched == ListView->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return ListViewMouseEvent(event);
    if (event->type() == QEvent::FocusOut &&
        (watched == cbMask || watched == cbFolder || watched == cbString)) {
        auto* box = static_cast<QComboBox*>(watched);
        // Focus moving inside the box (to its editor or list) is not leaving it.
        QWidget* now = QApplication::focusWidget();
        if (!now || (now != box && !box->isAncestorOf(now) && !(box->view() && box->view()->isAncestorOf(now))))
            ComboBoxExit(box);
    }
    return QWidget::eventFilter(watched, event);
}

void TFindForm::SetStartFolder(const QString& folder)
{
    cbFolder->setCurrentIndex(-1);
    cbFolder->setEditText(folder);
}

} // namespace trovex
