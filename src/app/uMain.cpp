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
#include "window/Layout.h"
#include "window/Options.h"

namespace trovex
{

namespace
{

QRect Geometry(const TLayoutRect& r)
{
    return {r.X, r.Y, r.Width, r.Height};
}

// The design's rectangle of the control `name`.
QRect Geometry(const char* name)
{
    return Geometry(LayoutOf(name).Rect);
}

QString Caption(const char* name)
{
    const std::string_view caption = LayoutOf(name).Caption;
    return QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
}

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

// A control of the design at its place, in its state at start.
template <class T>
T* Make(QWidget* parent, const char* name)
{
    T* w = Make<T>(parent, name, Geometry(name));
    w->setEnabled(LayoutOf(name).Enabled);
    return w;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name)
{
    auto* box = Make<QCheckBox>(parent, name);
    box->setText(Caption(name));
    box->setChecked(LayoutOf(name).Checked);
    return box;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name)
{
    auto* radio = Make<QRadioButton>(parent, name);
    radio->setText(Caption(name));
    radio->setChecked(LayoutOf(name).Checked);
    return radio;
}

QPushButton* MakeButton(QWidget* parent, const char* name)
{
    auto* button = Make<QPushButton>(parent, name);
    button->setText(Caption(name));
    button->setAutoDefault(true); // Enter presses the focused button, as on the design's platform
    return button;
}

TComboBox* MakeHistoryBox(QWidget* parent, const char* name)
{
    auto* box = Make<TComboBox>(parent, name);
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
    move(DesignBounds.X, DesignBounds.Y);
    resize(DesignBounds.Width, DesignBounds.Height);
    FormPlacement1 = std::make_unique<TFormPlacement>(this, FStore, QString::fromLatin1(ProgramKey),
                                                      QStringLiteral("Placement"));
    FormPlacement1->SetDesignMinimum(QSize(DesignMinimumWidth, DesignMinimumHeight));
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
    MainPanel = Make<TPanel>(this, "MainPanel", QRect(0, TopHeight, width(), height() - TopHeight - StatusHeight));
    StatusBar = new TStatusBar(this, StatusCountWidth);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setGeometry(0, height() - StatusHeight, width(), StatusHeight);
    connect(StatusBar, &TStatusBar::NotSearchedClick, this, &TFindForm::lNotSearchedClick);
    for (QWidget* w : {static_cast<QWidget*>(TopPanel), static_cast<QWidget*>(MainPanel), static_cast<QWidget*>(StatusBar)})
        FAnchors->Anchor(w, LayoutOf(w->objectName().toStdString()).Anchors);

    PageCtrl = Make<QTabWidget>(TopPanel, "PageCtrl");
    btnFind = MakeButton(TopPanel, "btnFind");
    btnFind->setDefault(true);
    btnStop = MakeButton(TopPanel, "btnStop");
    btnAddMore = MakeButton(TopPanel, "btnAddMore");
    btnFindInto = MakeButton(TopPanel, "btnFindInto");
    btnBack = MakeButton(TopPanel, "btnBack");
    FindAnimate = Make<TAnimate>(TopPanel, "FindAnimate");
    for (QWidget* w : {static_cast<QWidget*>(PageCtrl), static_cast<QWidget*>(btnFind), static_cast<QWidget*>(btnStop),
                       static_cast<QWidget*>(btnAddMore), static_cast<QWidget*>(btnFindInto),
                       static_cast<QWidget*>(btnBack), static_cast<QWidget*>(FindAnimate)})
        FAnchors->Anchor(w, LayoutOf(w->objectName().toStdString()).Anchors);

    CreateFindPage();
    CreateMorePage();
    CreateConfigPage();
    CreateAboutPage();
    PageCtrl->setCurrentIndex(0);
    CreateResultList();
}

QWidget* TFindForm::MakePage(const char* name)
{
    auto* page = new QWidget;
    page->setObjectName(QLatin1String(name));
    PageCtrl->addTab(page, Caption(name));
    return page;
}

QLabel* TFindForm::MakeLabel(QWidget* page, const char* name)
{
    const TControlLayout& layout = LayoutOf(name);
    auto* label = Make<QLabel>(page, name);
    label->setText(Caption(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment((layout.Align == TAlign::Right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute | Qt::AlignTop);
    FAnchors->Anchor(label, layout.Anchors, PageCtrl);
    FLabels.append({label, label->geometry()});
    return label;
}

// Controls on the pages keep their distances to the page control's sides.
void TFindForm::AnchorToPages(std::initializer_list<QWidget*> controls)
{
    for (QWidget* w : controls)
        FAnchors->Anchor(w, LayoutOf(w->objectName().toStdString()).Anchors, PageCtrl);
}

void TFindForm::CreateFindPage()
{
    TabFind = MakePage("TabFind");
    lMask = MakeLabel(TabFind, "lMask");
    cbMask = MakeHistoryBox(TabFind, "cbMask");
    lTypes = MakeLabel(TabFind, "lTypes");
    cbTypes = Make<QComboBox>(TabFind, "cbTypes");
    for (std::string_view item : TypePresets)
        cbTypes->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    lText = MakeLabel(TabFind, "lText");
    cbString = MakeHistoryBox(TabFind, "cbString");
    lNoText = MakeLabel(TabFind, "lNoText");
    cbNoString = Make<TComboBox>(TabFind, "cbNoString");
    cbNoString->setEditable(true);
    cbNoString->setInsertPolicy(QComboBox::NoInsert);
    cbNoString->SetSimple(true);
    lPath = MakeLabel(TabFind, "lPath");
    cbFolder = MakeHistoryBox(TabFind, "cbFolder");
    cbFolder->setEditText(PathText(HomeFolder()));
    bFolder = MakeButton(TabFind, "bFolder");
    checkSubFolders = MakeCheck(TabFind, "checkSubFolders");
    AnchorToPages({cbMask, cbTypes, cbString, cbFolder, cbNoString, bFolder});

    setTabOrder(cbMask, cbTypes);
    setTabOrder(cbTypes, cbString);
    setTabOrder(cbString, cbFolder);
    setTabOrder(cbFolder, bFolder);
    setTabOrder(bFolder, checkSubFolders);
    setTabOrder(checkSubFolders, cbNoString);
}

void TFindForm::CreateMorePage()
{
    TabMore = MakePage("TabMore");
    CheckCase = MakeCheck(TabMore, "CheckCase");
    CheckAllCP = MakeCheck(TabMore, "CheckAllCP");
    CheckAnsi = MakeCheck(TabMore, "CheckAnsi");
    CheckOEM = MakeCheck(TabMore, "CheckOEM");
    CheckUnicode = MakeCheck(TabMore, "CheckUnicode");
    CheckKOI8 = MakeCheck(TabMore, "CheckKOI8");
    CheckUtf8 = MakeCheck(TabMore, "CheckUtf8");
    CheckInZip = MakeCheck(TabMore, "CheckInZip");

    DatesGBox = Make<QGroupBox>(TabMore, "DatesGBox");
    CheckDate = MakeCheck(TabMore, "CheckDate");
    CheckDate->setAutoFillBackground(true); // hides the group's top edge behind it, like a caption
    RadioBFromTo = MakeRadio(DatesGBox, "RadioBFromTo");
    RadioBMonth = MakeRadio(DatesGBox, "RadioBMonth");
    RadioBDays = MakeRadio(DatesGBox, "RadioBDays");
    lTo = MakeLabel(DatesGBox, "lTo");
    lMonth = MakeLabel(DatesGBox, "lMonth");
    lDays = MakeLabel(DatesGBox, "lDays");

    const QString longDate = LongDateFormat();
    for (QDateTimeEdit** edit : {&eDateFrom, &eDateTo}) {
        *edit = Make<QDateTimeEdit>(TabMore, edit == &eDateFrom ? "eDateFrom" : "eDateTo");
        (*edit)->setDisplayFormat(longDate);
        (*edit)->setCalendarPopup(true);
    }
    cbLastMonth = Make<QComboBox>(TabMore, "cbLastMonth");
    cbLastMonth->setEditable(true);
    cbLastMonth->addItems({"1", "2", "3", "4", "5", "6", "9", "12"});
    cbLastDays = Make<QComboBox>(TabMore, "cbLastDays");
    cbLastDays->setEditable(true);
    cbLastDays->addItems({"1", "2", "3", "4", "5", "6", "7", "10", "20", "30"});
}

void TFindForm::CreateConfigPage()
{
    TabConfig = MakePage("TabConfig");
    Bevel1 = new TBevel(TBevel::bsFrame, TabConfig);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setGeometry(Geometry("Bevel1"));

    CheckMainMenu = MakeCheck(TabConfig, "CheckMainMenu");
    CheckShellMenu = MakeCheck(TabConfig, "CheckShellMenu");
    CheckFlashW = MakeCheck(TabConfig, "CheckFlashW");
    CheckRecycle = MakeCheck(TabConfig, "CheckRecycle");
    CheckComboStyle = MakeCheck(TabConfig, "CheckComboStyle");
    CheckReport = MakeCheck(TabConfig, "CheckReport");
    CheckReport->setAutoFillBackground(true); // sits on the frame's top edge and hides the line behind it
    CheckRFileName = MakeCheck(TabConfig, "CheckRFileName");
    CheckRPath = MakeCheck(TabConfig, "CheckRPath");
    CheckRFileExt = MakeCheck(TabConfig, "CheckRFileExt");
    CheckRDate = MakeCheck(TabConfig, "CheckRDate");
    CheckRSize = MakeCheck(TabConfig, "CheckRSize");
    CheckRAll = MakeCheck(TabConfig, "CheckRAll");

    lLang = MakeLabel(TabConfig, "lLang");
    cbLanguage = Make<QComboBox>(TabConfig, "cbLanguage");
    cbLanguage->addItem(QStringLiteral("<Default>"));
    CheckIcons = MakeCheck(TabConfig, "CheckIcons");
    CheckHints = MakeCheck(TabConfig, "CheckHints");
    AnchorToPages({Bevel1, cbLanguage, CheckIcons, CheckHints});
}

void TFindForm::CreateAboutPage()
{
    PageAbout = MakePage("PageAbout");
    lTrovex = MakeLabel(PageAbout, "lTrovex");
    lTrovex->setText(QStringLiteral("Marlix v." TROVEX_VERSION));
    QFont title;
    title.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});
    title.setBold(true);
    title.setPixelSize(29);
    lTrovex->setFont(title);
    lCRight = MakeLabel(PageAbout, "lCRight");

    Bevel2 = new TBevel(TBevel::bsBox, PageAbout);
    Bevel2->setObjectName(QStringLiteral("Bevel2"));
    Bevel2->setGeometry(Geometry("Bevel2"));

    lWWW = MakeLabel(PageAbout, "lWWW");
    lWebPage = Make<TLinkLabel>(PageAbout, "lWebPage");
    lWebPage->setText(QUrl(HomePageAddress).host());
    lSupport = MakeLabel(PageAbout, "lSupport");
    lEmail = Make<TLinkLabel>(PageAbout, "lEmail");
    lEmail->setText(SupportMailAddress);
    for (QLabel* link : {static_cast<QLabel*>(lWebPage), static_cast<QLabel*>(lEmail)}) {
        link->setAlignment(Qt::AlignLeft | Qt::AlignAbsolute | Qt::AlignTop);
        FLabels.append({link, link->geometry()});
    }
    AnchorToPages({Bevel2, lWebPage, lEmail});
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
    const std::span<const TColumnLayout> columns = ListColumns();
    for (int i = 0; i < ColumnCount; ++i)
        ListModel->setHeaderData(i, Qt::Horizontal,
                                 QString::fromUtf8(columns[i].Title.data(), static_cast<qsizetype>(columns[i].Title.size())));

    ListView = Make<QTreeView>(MainPanel, "ListView",
                               MainPanel->rect().adjusted(PanelInset, PanelInset, -PanelInset, -PanelInset));
    // The list fills the main panel as the window is now, whose size the design's rectangle assumed.
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
        ListView->header()->resizeSection(i, columns[i].Width);
    ListView->viewport()->installEventFilter(this);
    FAnchors->Anchor(ListView, LayoutOf("ListView").Anchors);

    ListPopup = new QMenu(this);
    ListPopup->setObjectName(QStringLiteral("ListPopup"));
    for (const TMenuItemLayout& item : ListMenu()) {
        const QString name = QString::fromUtf8(item.Name.data(), static_cast<qsizetype>(item.Name.size()));
        QAction* action = item.Caption.empty() ? ListPopup->addSeparator()
                                               : ListPopup->addAction(QString::fromUtf8(item.Caption.data(), static_cast<qsizetype>(item.Caption.size())));
        action->setObjectName(name);
        QList<QKeySequence> keys;
        for (const QString& key : QString::fromUtf8(item.Keys.data(), static_cast<qsizetype>(item.Keys.size())).split(QStringLiteral(", "), Qt::SkipEmptyParts))
            keys.append(QKeySequence::fromString(key, QKeySequence::PortableText));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    }
    auto item = [this](const char* name) { return ListPopup->findChild<QAction*>(QLatin1String(name)); };
    mOpen = item("mOpen");
    ListPopup->setDefaultAction(mOpen);
    mFolder = item("mFolder");
    m1 = item("m1");
    mReport = item("mReport");
    mReportOpen = item("mReportOpen");
    m2 = item("m2");
    mCopy = item("mCopy");
    mDelete = item("mDelete");
    m3 = item("m3");
    mProp = item("mProp");
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

void TFindForm::FollowOption(const QCheckBox* option)
{
    const std::string name = option->objectName().toStdString();
    for (const TControlState& state : OptionDependents(name, option->isChecked())) {
        const QString dependent = QString::fromUtf8(state.Name.data(), static_cast<qsizetype>(state.Name.size()));
        if (auto* widget = findChild<QWidget*>(dependent))
            widget->setEnabled(state.Enabled);
        else if (auto* action = findChild<QAction*>(dependent))
            action->setEnabled(state.Enabled);
    }
}

void TFindForm::CheckAllCPClick()
{
    FollowOption(CheckAllCP);
}

void TFindForm::CheckDateClick()
{
    FollowOption(CheckDate);
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
    FollowOption(CheckReport);
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
