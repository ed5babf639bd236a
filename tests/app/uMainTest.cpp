// SPDX-License-Identifier: MIT
// The main window under the offscreen platform: controls and their initial states, enabling
// rules, switching by program, the settings against real store files in a temporary
// XDG_CONFIG_HOME, languages, closing during a run, keys and anchors.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <atomic>
#include <chrono>
#include <memory>

#include "shell/Seams.h"
#include "app/ResultModel.h"
#include "app/uMain.h"
#include "app/Widgets.h"
#include "lang/MultiLang.h"
#include "placement/Placemnt.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "search/FindFile.h"
#include "search/SearchCriteria.h"
#include "WindowTestSetup.h"

using namespace trovex;

namespace
{

const char* const Key = TFindForm::ProgramKey;
const std::string PlacementKey = std::string(TFindForm::ProgramKey) + "\\Placement";

// The check boxes of the store in their order, with their design state.
struct TStoredBox
{
    const char* Value;
    const char* Box;
    bool Default;
};
const TStoredBox StoredBoxes[] = {
    {"MainMenu", "CheckMainMenu", true},     {"ShellMenu", "CheckShellMenu", true},
    {"Recycle", "CheckRecycle", true},       {"FlashOnFind", "CheckFlashW", true},
    {"SubFolders", "checkSubFolders", true}, {"Ansi", "CheckAnsi", true},
    {"OEM", "CheckOEM", false},              {"KOI8", "CheckKOI8", false},
    {"Unicode", "CheckUnicode", true},       {"ComboStyle", "CheckComboStyle", true},
    {"Icons", "CheckIcons", false},          {"InZip", "CheckInZip", true},
    {"Hints", "CheckHints", true},           {"Report", "CheckReport", true},
    {"ReportAll", "CheckRAll", false},       {"ReportFileName", "CheckRFileName", false},
    {"ReportExt", "CheckRFileExt", false},   {"ReportPath", "CheckRPath", true},
    {"ReportDate", "CheckRDate", false},     {"ReportSize", "CheckRSize", false},
    {"UTF8", "CheckUtf8", true},
};

QString Home()
{
    return QString::fromStdString(HomeFolder());
}

QStringList Items(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items.append(box->itemText(i));
    return items;
}

} // namespace

class uMainTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FConfig;
    std::unique_ptr<QTemporaryDir> FLangDir;
    std::unique_ptr<TMultiLang> FLang;
    std::unique_ptr<TFindForm> FForm;

    std::string StoreFile() const { return TRegistry::DefaultPath().string(); }

    // A store holding every value of a saved session with non-default check boxes.
    TRegistry FullStore() const
    {
        TRegistry reg(TRegistry::DefaultPath());
        for (const TStoredBox& b : StoredBoxes)
            reg.WriteInteger(Key, b.Value, b.Default ? 0 : 1);
        reg.WriteInteger(Key, "TotalFiles", 200);
        reg.WriteInteger(Key, "TotalFound", 5);
        reg.WriteString(Key, "Mask0", "*.cpp");
        reg.WriteExpandString(Key, "Path0", "/srv/");
        reg.WriteString(Key, "SubStr0", "needle");
        return reg;
    }

    TFindForm& NewForm()
    {
        FForm.reset();
        FLang = std::make_unique<TMultiLang>(FLangDir->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        return *FForm;
    }

    // Closes the window as the person would, so settings and placement are written.
    void CloseForm()
    {
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        QVERIFY(FForm->close());
    }

    TRegistry SavedStore() const
    {
        TRegistry reg(TRegistry::DefaultPath());
        reg.Load();
        return reg;
    }

    void CopyRussian()
    {
        QVERIFY(QFile::copy(QStringLiteral(TROVEX_SOURCE_DIR "/share/lang/russian.lng"),
                            FLangDir->filePath(QStringLiteral("russian.lng"))));
    }

    template <class T>
    T* Find(const char* name)
    {
        T* w = FForm->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }

private slots:
    void initTestCase()
    {
        test::PrepareWindowTests();
    }

    void init()
    {
        FConfig = std::make_unique<QTemporaryDir>();
        FLangDir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", FConfig->path().toUtf8());
    }

    void cleanup()
    {
        FForm.reset();
        FLang.reset();
    }

    // Positions and captions at the design size; labels may only grow, keeping their aligned edge.
    void ControlsSitAtDesignPixels()
    {
        struct Case { const char* name; QRect rect; const char* caption; };
        const Case cases[] = {
            {"TopPanel", {0, 0, 519, 227}, nullptr},       {"PageCtrl", {4, 3, 408, 221}, nullptr},
            {"btnFind", {421, 11, 90, 25}, "Find"},        {"btnStop", {421, 43, 90, 25}, "Stop"},
            {"btnAddMore", {421, 75, 90, 25}, "Add"},      {"btnFindInto", {421, 107, 90, 25}, "In results"},
            {"btnBack", {421, 139, 90, 25}, "Go back"},    {"FindAnimate", {442, 171, 48, 50}, nullptr},
            {"lMask", {50, 8, 45, 16}, "Named:"},          {"cbMask", {96, 8, 294, 24}, nullptr},
            {"lTypes", {49, 40, 46, 16}, "Of type:"},      {"cbTypes", {96, 40, 294, 24}, nullptr},
            {"lText", {9, 71, 90, 16}, "Containing text:"}, {"cbString", {8, 88, 193, 24}, nullptr},
            {"lNoText", {208, 71, 65, 16}, "but has no:"}, {"cbNoString", {208, 88, 182, 24}, nullptr},
            {"lPath", {9, 112, 45, 16}, "Look in:"},       {"cbFolder", {8, 128, 289, 24}, nullptr},
            {"bFolder", {306, 128, 84, 25}, "&Browse..."}, {"checkSubFolders", {8, 160, 281, 17}, "Include subfolders"},
            {"CheckCase", {8, 3, 185, 17}, "Case sensitive"}, {"CheckAllCP", {200, 3, 193, 17}, "Use all code pages"},
            {"CheckAnsi", {200, 24, 97, 17}, "Windows"},   {"CheckOEM", {304, 24, 97, 17}, "DOS"},
            {"CheckUnicode", {200, 45, 97, 17}, "Unicode"}, {"CheckKOI8", {304, 45, 97, 17}, "KOI8-R"},
            {"CheckInZip", {8, 45, 193, 17}, "Search in Zip archives"}, {"CheckDate", {13, 72, 185, 17}, "Date Modified"},
            {"DatesGBox", {4, 72, 391, 113}, nullptr},     {"RadioBFromTo", {8, 24, 113, 17}, "from"},
            {"RadioBMonth", {8, 56, 161, 17}, "during the previous"}, {"RadioBDays", {8, 88, 161, 17}, "during the previous"},
            {"lTo", {216, 24, 11, 16}, "to"},              {"lMonth", {216, 56, 52, 16}, "month(s)"},
            {"lDays", {216, 88, 42, 16}, "days(s)"},       {"eDateFrom", {71, 93, 145, 24}, nullptr},
            {"eDateTo", {239, 93, 145, 24}, nullptr},      {"cbLastMonth", {168, 123, 48, 24}, nullptr},
            {"cbLastDays", {168, 154, 48, 24}, nullptr},
            {"CheckMainMenu", {8, 3, 225, 17}, "Add link to Main menu"}, {"CheckShellMenu", {8, 26, 225, 17}, "Add to Shell menu"},
            {"CheckFlashW", {8, 49, 225, 17}, "Flash on stop execution"}, {"CheckRecycle", {8, 72, 225, 17}, "Delete to Recycle"},
            {"CheckComboStyle", {8, 95, 161, 17}, "Combo boxes"}, {"CheckReport", {8, 119, 129, 17}, "Report options"},
            {"CheckRFileName", {10, 140, 121, 17}, "File name"}, {"CheckRPath", {10, 164, 121, 17}, "Full path"},
            {"CheckRFileExt", {138, 140, 121, 17}, "Extention"}, {"CheckRDate", {138, 164, 119, 17}, "Date && time"},
            {"CheckRSize", {266, 140, 121, 17}, "File size"}, {"CheckRAll", {266, 164, 121, 17}, "All"},
            {"Bevel1", {3, 126, 393, 61}, nullptr},        {"lLang", {235, 3, 96, 16}, "Select language:"},
            {"cbLanguage", {235, 20, 161, 24}, nullptr},   {"CheckIcons", {235, 72, 161, 17}, "Show icons"},
            {"CheckHints", {235, 95, 161, 17}, "Show Hints"},
            {"lTrovex", {8, 3, 232, 35}, "Marlix v." TROVEX_VERSION},  {"lCRight", {9, 36, 141, 16}, nullptr},
            {"Bevel2", {2, 139, 392, 49}, nullptr},        {"lWWW", {47, 146, 66, 16}, "Homepage:"},
            {"lWebPage", {117, 146, 106, 16}, nullptr},    {"lSupport", {70, 166, 43, 16}, "Mail to:"},
            {"lEmail", {117, 166, 105, 16}, nullptr},
        };
        NewForm();
        QCOMPARE(FForm->size(), QSize(519, 405));
        QCOMPARE(FForm->pos(), QPoint(213, 113));
        QCOMPARE(FForm->windowTitle(), QStringLiteral("File Trovex - file search utility -"));
        for (const Case& c : cases) {
            QWidget* w = Find<QWidget>(c.name);
            const QRect r = w->geometry();
            if (auto* label = qobject_cast<QLabel*>(w)) {
                const bool right = label->alignment() & Qt::AlignRight;
                QVERIFY2(r.width() >= c.rect.width() && r.y() == c.rect.y() && r.height() == c.rect.height() &&
                             (right ? r.right() == c.rect.right() : r.x() == c.rect.x()),
                         c.name);
                if (c.caption)
                    QCOMPARE(label->text(), QString::fromUtf8(c.caption));
                continue;
            }
            QVERIFY2(r == c.rect, c.name);
            if (auto* button = qobject_cast<QAbstractButton*>(w); button && c.caption)
                QCOMPARE(button->text(), QString::fromUtf8(c.caption));
        }
        QCOMPARE(Find<QWidget>("MainPanel")->geometry(), QRect(0, 227, 519, 159));
        QCOMPARE(Find<QWidget>("StatusBar")->geometry(), QRect(0, 386, 519, 19));
        const QStringList tabs = {"Name && Location", "Advanced", "Options", "About"};
        const QStringList pages = {"TabFind", "TabMore", "TabConfig", "PageAbout"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(FForm->PageCtrl->tabText(i), tabs[i]);
            QCOMPARE(FForm->PageCtrl->widget(i)->objectName(), pages[i]);
        }
    }

    // The state of every control when the program starts for the first time.
    void InitialStatesAtFirstStart()
    {
        NewForm();
        struct Case { const char* name; bool enabled; int checked; }; // checked: -1 not a check box
        const Case cases[] = {
            {"btnFind", true, -1},      {"btnStop", false, -1},      {"btnAddMore", false, -1},
            {"btnFindInto", false, -1}, {"btnBack", false, -1},      {"CheckCase", true, 0},
            {"CheckAllCP", true, 0},    {"CheckDate", true, 0},      {"DatesGBox", false, -1},
            {"RadioBFromTo", false, 1}, {"RadioBMonth", false, 0},   {"RadioBDays", false, 0},
            {"eDateFrom", false, -1},   {"eDateTo", false, -1},      {"cbLastMonth", false, -1},
            {"cbLastDays", false, -1},  {"lTo", false, -1},          {"CheckRecycle", false, 1},
            {"CheckRFileName", true, 0}, {"mReport", true, -1},      {"CheckUtf8", true, 1},
        };
        for (const Case& c : cases) {
            QObject* o = FForm->findChild<QObject*>(QLatin1String(c.name));
            QVERIFY2(o, c.name);
            if (auto* w = qobject_cast<QWidget*>(o))
                QVERIFY2(w->isEnabled() == c.enabled, c.name);
            else
                QVERIFY2(qobject_cast<QAction*>(o)->isEnabled() == c.enabled, c.name);
            if (c.checked >= 0)
                QVERIFY2(qobject_cast<QAbstractButton*>(o)->isChecked() == (c.checked == 1), c.name);
        }
        for (const TStoredBox& b : StoredBoxes)
            QVERIFY2(Find<QCheckBox>(b.Box)->isChecked() == b.Default, b.Box);
        QVERIFY(FForm->btnFind->isDefault());

        QCOMPARE(FForm->cbMask->currentText(), QString());
        QCOMPARE(FForm->cbMask->count(), 0);
        QCOMPARE(FForm->cbFolder->currentText(), Home());
        QCOMPARE(FForm->cbTypes->currentIndex(), 0);
        QCOMPARE(FForm->cbTypes->count(), int(TypePresets.size()));
        QCOMPARE(FForm->cbTypes->itemText(2), QStringLiteral("Office files: (*.doc; *.xls; *.ppt; *.obd; *.mdb)"));
        QVERIFY(!FForm->cbTypes->isEditable());
        QCOMPARE(Items(FForm->cbLastMonth), QStringList({"1", "2", "3", "4", "5", "6", "9", "12"}));
        QCOMPARE(Items(FForm->cbLastDays), QStringList({"1", "2", "3", "4", "5", "6", "7", "10", "20", "30"}));
        QCOMPARE(FForm->cbLastDays->currentText(), QStringLiteral("1"));
        QVERIFY(FForm->cbNoString->Simple());
        QVERIFY(!FForm->cbString->Simple());
        QCOMPARE(FForm->cbMask->maxVisibleItems(), 10);
        QCOMPARE(FForm->eDateFrom->dateTime(), QDateTime(QDate::currentDate(), QTime(0, 0)));
        QVERIFY(qAbs(FForm->eDateTo->dateTime().secsTo(QDateTime::currentDateTime())) < 60);
        QVERIFY(!FForm->FindAnimate->Active());
        QCOMPARE(FForm->FindAnimate->Frame(), TAnimate::StopFrame);
        QCOMPARE(FForm->StatusBar->PanelText(0), QString());
        QCOMPARE(FForm->StatusBar->PanelText(1), QStringLiteral("Total files processed: 0  and found: 0"));
        QCOMPARE(FForm->DragOrigin, QPoint(-1, -1));
        QCOMPARE(Items(FForm->cbLanguage), QStringList({"< Default >"}));
        QCOMPARE(FForm->cbLanguage->currentIndex(), -1);

        const QStringList titles = {"File name", "Folder", "Type", "Modified", "Size"};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(FForm->ListModel->headerData(i, Qt::Horizontal).toString(), titles[i]);
            QCOMPARE(FForm->ListView->header()->sectionSize(i), FForm->ListView->header()->sectionSizeHint(i));
        }
        // The key exists from the start; the file comes at close.
        QVERIFY(FForm->Store().KeyExists(Key));
    }

    // The popup menu's items, order, default item and shortcuts.
    void PopupMenuItems()
    {
        NewForm();
        struct Case { const char* name; const char* caption; QKeySequence key; };
        const Case cases[] = {
            {"mOpen", "Open", QKeySequence(Qt::Key_Return)}, {"mFolder", "Open folder", QKeySequence("Ctrl+F")},
            {"m1", "", {}},  {"mReport", "Report...", QKeySequence("Ctrl+R")}, {"mReportOpen", "Save report...", {}},
            {"m2", "", {}},  {"mCopy", "Copy", QKeySequence("Ctrl+C")},        {"mDelete", "Delete", QKeySequence(Qt::Key_Delete)},
            {"m3", "", {}},  {"mProp", "Property", QKeySequence("Ctrl+P")},
        };
        const QList<QAction*> items = FForm->ListPopup->actions();
        QCOMPARE(items.size(), int(std::size(cases)));
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->objectName(), QLatin1String(cases[i].name));
            QCOMPARE(items[i]->isSeparator(), *cases[i].caption == 0);
            QCOMPARE(items[i]->text(), QString::fromLatin1(cases[i].caption));
            QCOMPARE(items[i]->shortcut(), cases[i].key);
        }
        QCOMPARE(FForm->ListPopup->defaultAction(), FForm->mOpen);
    }

    // Tab order of the first page as designed.
    void FirstPageTabOrder()
    {
        NewForm();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        const QList<QWidget*> expected = {FForm->cbMask, FForm->cbTypes, FForm->cbString, FForm->cbFolder,
                                          FForm->bFolder, FForm->checkSubFolders, FForm->cbNoString};
        QTRY_VERIFY(FForm->cbMask->hasFocus() || FForm->cbMask->lineEdit()->hasFocus());
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY2(focus == expected[i] || focus->parentWidget() == expected[i],
                     qPrintable(expected[i]->objectName()));
        }
    }

    // Each option handler runs on every change of its box, by hand or by program, with its rule.
    void EnablingRules()
    {
        NewForm();
        // "Use all code pages" greys the five boxes with their marks unchanged.
        const QList<QCheckBox*> pages = {FForm->CheckAnsi, FForm->CheckOEM, FForm->CheckUnicode, FForm->CheckKOI8,
                                         FForm->CheckUtf8};
        FForm->CheckOEM->setChecked(true);
        FForm->CheckUnicode->setChecked(false);
        const QList<bool> marks = {true, true, false, false, true};
        FForm->CheckAllCP->click();
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY(!pages[i]->isEnabled());
            QCOMPARE(pages[i]->isChecked(), marks[i]);
        }
        FForm->CheckAllCP->setChecked(false);
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY(pages[i]->isEnabled());
            QCOMPARE(pages[i]->isChecked(), marks[i]);
        }

        // "Date Modified" switches the eleven date controls; the radio choice stays.
        const QList<QWidget*> dates = {FForm->DatesGBox, FForm->RadioBFromTo, FForm->RadioBMonth, FForm->RadioBDays,
                                       FForm->eDateFrom, FForm->eDateTo,      FForm->lTo,         FForm->lMonth,
                                       FForm->lDays,     FForm->cbLastMonth,  FForm->cbLastDays};
        FForm->CheckDate->setChecked(true);
        for (QWidget* w : dates)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        FForm->RadioBDays->setChecked(true);
        FForm->CheckDate->setChecked(false);
        for (QWidget* w : dates)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(FForm->RadioBDays->isChecked());

        // "Report options" switches six boxes and two menu items, shortcut included.
        FForm->show();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        FForm->ListView->setFocus();
        QTRY_VERIFY(FForm->ListView->hasFocus());
        QSignalSpy report(FForm->mReport, &QAction::triggered);
        FForm->CheckReport->setChecked(false);
        for (QCheckBox* b : {FForm->CheckRFileName, FForm->CheckRFileExt, FForm->CheckRPath, FForm->CheckRDate,
                             FForm->CheckRSize, FForm->CheckRAll})
            QVERIFY(!b->isEnabled());
        QVERIFY(!FForm->mReport->isEnabled() && !FForm->mReportOpen->isEnabled());
        QTest::keyClick(FForm->ListView, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(report.count(), 0);
        FForm->CheckReport->setChecked(true);
        QVERIFY(FForm->mReport->isEnabled() && FForm->CheckRAll->isEnabled());
        QTest::keyClick(FForm->ListView, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(report.count(), 1);

        // Hints and icons of the result list.
        FForm->CheckHints->setChecked(false);
        QVERIFY(!FForm->ListShowsHints());
        FForm->CheckIcons->setChecked(true);
        QVERIFY(FForm->ListShowsIcons());
        QCOMPARE(FForm->ListView->iconSize(), QSize(16, 16));
    }

    // Unchecking "Combo boxes" makes plain edit fields; checking it again brings the same history.
    void ComboStyleSwitchKeepsTextAndHistory()
    {
        NewForm();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        FForm->cbString->addItems({"alpha", "beta"});
        FForm->cbString->setEditText(QStringLiteral("typed"));
        FForm->cbFolder->addItem(QStringLiteral("/tmp/"));
        const QString folder = FForm->cbFolder->currentText();
        const int dropDownEditWidth = FForm->cbString->lineEdit()->width();

        FForm->CheckComboStyle->setChecked(false);
        for (TComboBox* box : {FForm->cbString, FForm->cbFolder}) {
            QVERIFY(box->Simple());
            box->showPopup();
            QVERIFY(!box->view()->isVisible());
        }
        QTRY_VERIFY(FForm->cbString->lineEdit()->width() > dropDownEditWidth);
        QCOMPARE(FForm->cbString->currentText(), QStringLiteral("typed"));
        QCOMPARE(FForm->cbFolder->currentText(), folder);

        FForm->CheckComboStyle->setChecked(true);
        QVERIFY(!FForm->cbString->Simple() && !FForm->cbFolder->Simple());
        QCOMPARE(Items(FForm->cbString), QStringList({"alpha", "beta"}));
        QCOMPARE(FForm->cbString->currentText(), QStringLiteral("typed"));
        QTRY_COMPARE(FForm->cbString->lineEdit()->width(), dropDownEditWidth);
    }

    // A placement larger than any screen, with values at the ends of 32 bits, or far above the
    // screen opens on the screen's free area with the title bar on it, and the close saves that.
    void PlacementIsBroughtOntoTheScreen()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        for (const char* norm : {"0,0,100000,100000", "-2147483648,-2147483648,2147483647,2147483647", "100,-5000,700,-4500"}) {
            TRegistry reg(TRegistry::DefaultPath());
            reg.WriteString(PlacementKey, "NormPos", norm);
            reg.Save();
            NewForm();
            FForm->show();
            QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
            const QRect frame = FForm->frameGeometry();
            QVERIFY2(area.contains(frame), norm);
            QVERIFY(FForm->close());
            QCOMPARE(QString::fromStdString(SavedStore().ReadString(PlacementKey, "NormPos").value_or("")),
                     QStringLiteral("%1,%2,%3,%4").arg(frame.left()).arg(frame.top()).arg(frame.left() + frame.width()).arg(frame.top() + frame.height()));
        }
    }

    // Issue 24: a hand-edited or older store holding raw bytes that are not UTF-8 in a string came
    // back as U+FFFD, and the close wrote U+FFFD back. The bytes survive a start and a close, saved
    // with the escapes the store writes for them.
    void RawBytesInStoreStringsRoundTrip()
    {
        const QByteArray text = "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex]\n"
                                "\"Mask0\"=\"*bad\xFF*\"\n"
                                "\"SubStr0\"=\"n\xE9" "edle\"\n";
        QDir().mkpath(QFileInfo(QString::fromStdString(StoreFile())).absolutePath());
        QFile file(QString::fromStdString(StoreFile()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        NewForm();
        QVERIFY(!FForm->cbMask->itemText(0).contains(QChar(QChar::ReplacementCharacter)));
        CloseForm();
        TRegistry saved = SavedStore();
        QCOMPARE(saved.ReadString(Key, "Mask0"), std::optional<std::string>("*bad\xFF*"));
        QCOMPARE(saved.ReadString(Key, "SubStr0"), std::optional<std::string>("n\xE9" "edle"));
        QFile written(QString::fromStdString(StoreFile()));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("\"Mask0\"=hex(1):2a,00,62,00,61,00,64,00,ff,dc,2a,00,00,00"));
    }

    // First start: no store file; closing writes the whole key and the placement section.
    void FirstStartThenCloseWritesEverything()
    {
        QVERIFY(!QFile::exists(QString::fromStdString(StoreFile())));
        NewForm();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        // The window opens at its design place (the frame's corner) and size (the client area).
        QCOMPARE(FForm->frameGeometry().topLeft(), QPoint(213, 113));
        const QRect client = FForm->geometry();
        QCOMPARE(client.size(), QSize(519, 405));
        const QRect frame = FForm->frameGeometry(); // the outer frame is what is stored
        CloseForm();
        TRegistry saved = SavedStore();
        QCOMPARE(saved.LoadResult(), lrLoaded);
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(saved.ReadString(Key, "Mask" + std::to_string(i)), std::optional<std::string>(""));
            QCOMPARE(saved.FindValue(Key, "Path" + std::to_string(i))->Type, rtExpandString);
        }
        for (const TStoredBox& b : StoredBoxes)
            QCOMPARE(saved.ReadInteger(Key, b.Value), std::optional<std::int32_t>(b.Default ? 1 : 0));
        QCOMPARE(saved.ReadInteger(Key, "TotalFiles"), std::optional<std::int32_t>(0));
        for (const char* name : {"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos", "NormPos", "Visible",
                                 "ListCol1", "ListCol5", "LangName"})
            QVERIFY2(saved.FindValue(PlacementKey, name), name);
        QCOMPARE(QString::fromStdString(saved.ReadString(PlacementKey, "NormPos").value_or("")), QStringLiteral("%1,%2,%3,%4").arg(frame.left()).arg(frame.top()).arg(frame.left() + frame.width()).arg(frame.top() + frame.height()));
        QCOMPARE(saved.ReadString(PlacementKey, "ShowCmd"), std::optional<std::string>("1"));
        QCOMPARE(saved.ReadString(PlacementKey, "Visible"), std::optional<std::string>("0"));
    }

    // Everything the window keeps comes back after a close and a new start.
    void SettingsRoundTrip()
    {
        NewForm();
        FForm->cbMask->addItems({"*.a", "*.b", "*.c"});
        FForm->cbFolder->clear();
        FForm->cbFolder->addItems({"%TEMP%/x/", "/srv/data/"});
        FForm->cbString->addItems({"needle", "haystack"});
        for (const TStoredBox& b : StoredBoxes)
            Find<QCheckBox>(b.Box)->setChecked(!b.Default);
        FForm->TotalFiles = 1234;
        FForm->TotalFound = 4000000000u;
        FForm->ListView->header()->resizeSection(1, 222);
        CloseForm();
        QVERIFY(SavedStore().FindValue(Key, "Path0")->Type == rtExpandString);

        NewForm();
        QCOMPARE(Items(FForm->cbMask), QStringList({"*.a", "*.b", "*.c"}));
        QCOMPARE(Items(FForm->cbFolder), QStringList({"%TEMP%/x/", "/srv/data/"}));
        QCOMPARE(FForm->cbFolder->currentText(), QStringLiteral("%TEMP%/x/"));
        QCOMPARE(Items(FForm->cbString), QStringList({"needle", "haystack"}));
        QCOMPARE(FForm->cbMask->currentText(), QString());
        QCOMPARE(FForm->cbString->currentText(), QString());
        for (const TStoredBox& b : StoredBoxes)
            QVERIFY2(Find<QCheckBox>(b.Box)->isChecked() == !b.Default, b.Box);
        QCOMPARE(FForm->TotalFiles, 1234u);
        QCOMPARE(FForm->TotalFound, 4000000000u);
        QCOMPARE(FForm->StatusBar->PanelText(1), QStringLiteral("Total files processed: 1234  and found: 4000000000"));
        QCOMPARE(FForm->ListView->header()->sectionSize(1), 222);
        // Stored unchecked states applied their handlers while the window was made.
        QVERIFY(FForm->cbString->Simple() && FForm->cbFolder->Simple());
        QVERIFY(!FForm->ListShowsHints());
        QVERIFY(!FForm->mReport->isEnabled());
        QVERIFY(FForm->ListShowsIcons());
    }

    // One unreadable value in the store costs that value alone: the histories, the totals, the
    // boxes before it and the placement are restored; the close keeps the damaged file beside.
    void OneBadValueIsDroppedAlone()
    {
        FullStore().Save();
        QFile file(QString::fromStdString(StoreFile()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        const QByteArray koi8 = "\"KOI8\"=dword:0000000";
        const qsizetype at = text.indexOf(koi8);
        QVERIFY(at >= 0);
        text.replace(at, koi8.size() + 1, "\"KOI8\"=dword:zz");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();

        NewForm();
        QCOMPARE(Items(FForm->cbMask), QStringList({"*.cpp"}));
        QCOMPARE(Items(FForm->cbString), QStringList({"needle"}));
        QCOMPARE(FForm->TotalFiles, 200u);
        bool before = true;
        for (const TStoredBox& b : StoredBoxes) {
            if (qstrcmp(b.Value, "KOI8") == 0)
                before = false; // the first missing value ends the restore of the boxes
            QVERIFY2(Find<QCheckBox>(b.Box)->isChecked() == (before ? !b.Default : b.Default), b.Box);
        }
        CloseForm();
        QFile bad(QString::fromStdString(StoreFile() + ".bad"));
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), text);
        TRegistry saved = SavedStore();
        QCOMPARE(saved.LoadResult(), lrLoaded);
        QCOMPARE(saved.ReadString(Key, "Mask0"), std::optional<std::string>("*.cpp"));
    }

    // The first check-box value missing or of another type ends the restore there.
    void CheckBoxRestoreStopsEarly()
    {
        struct Case { const char* value; bool wrongType; };
        const Case cases[] = {{"MainMenu", false}, {"Icons", true}, {"ReportSize", false}, {"UTF8", false}};
        for (const Case& c : cases) {
            TRegistry reg = FullStore();
            if (c.wrongType)
                reg.WriteString(Key, c.value, "1");
            else
                reg.DeleteValue(Key, c.value);
            reg.Save();
            NewForm();
            bool before = true;
            for (const TStoredBox& b : StoredBoxes) {
                if (qstrcmp(b.Value, c.value) == 0)
                    before = false;
                const bool expected = before ? !b.Default : b.Default;
                QVERIFY2(Find<QCheckBox>(b.Box)->isChecked() == expected,
                         qPrintable(QStringLiteral("%1 with %2 broken").arg(b.Box, c.value)));
            }
            // Histories and totals are restored all the same.
            QCOMPARE(Items(FForm->cbMask), QStringList({"*.cpp"}));
            QCOMPARE(FForm->TotalFiles, 200u);
            QCOMPARE(FForm->TotalFound, 5u);
        }
    }

    // An integer "Mask2" stops the history restore and appends the default entries.
    void WronglyTypedHistoryAppendsDefaults()
    {
        TRegistry reg(TRegistry::DefaultPath());
        for (int i = 0; i < 3; ++i) {
            const std::string n = std::to_string(i);
            reg.WriteString(Key, "Mask" + n, "m" + n);
            reg.WriteExpandString(Key, "Path" + n, "/p" + n + "/");
            reg.WriteString(Key, "SubStr" + n, "s" + n);
        }
        reg.WriteInteger(Key, "Mask2", 3);
        reg.WriteString(Key, "TotalFiles", "12"); // a total of another type reads as 0
        reg.Save();
        NewForm();
        QCOMPARE(Items(FForm->cbMask), QStringList({"m0", "m1", "*.txt", "*.doc", "*.rtf"}));
        QCOMPARE(Items(FForm->cbFolder), QStringList({"/p0/", "/p1/", Home()}));
        QCOMPARE(Items(FForm->cbString), QStringList({"s0", "s1"}));
        QCOMPARE(FForm->TotalFiles, 0u);
    }

    // Three mask entries save indexes 3 to 9 empty, and the next start shows exactly three.
    void ShortHistoriesSaveEmptyEntries()
    {
        NewForm();
        FForm->cbMask->addItems({"*.x", "*.y", "*.z"});
        for (int i = 0; i < 12; ++i)
            FForm->cbString->addItem(QStringLiteral("text%1").arg(i));
        CloseForm();
        TRegistry saved = SavedStore();
        for (int i = 3; i < 10; ++i)
            QCOMPARE(saved.ReadString(Key, "Mask" + std::to_string(i)), std::optional<std::string>(""));
        QCOMPARE(saved.ReadString(Key, "SubStr9"), std::optional<std::string>("text9"));
        QVERIFY(!saved.FindValue(Key, "SubStr10"));
        NewForm();
        QCOMPARE(FForm->cbMask->count(), 3);
        QCOMPARE(FForm->cbString->count(), 10);
    }

    // A damaged store does not stop the window; it is kept as ".bad" when the new one is written.
    void DamagedStoreIsKeptAside()
    {
        const QString file = QString::fromStdString(StoreFile());
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex]\n\"Mask0\"=\"lost?\"\n");
        f.close();
        NewForm();
        QCOMPARE(FForm->cbMask->count(), 0);
        CloseForm();
        QVERIFY(QFile::exists(file + ".bad"));
        QCOMPARE(SavedStore().LoadResult(), lrLoaded);
    }

    // Column widths: a number is used, anything else fits the title.
    void ColumnWidthsFromPlacementSection()
    {
        TRegistry reg(TRegistry::DefaultPath());
        reg.WriteString(PlacementKey, "ListCol1", "77");
        reg.WriteString(PlacementKey, "ListCol2", "wide");
        reg.WriteString(PlacementKey, "ListCol3", "-1");
        reg.Save();
        NewForm();
        QHeaderView* header = FForm->ListView->header();
        QCOMPARE(header->sectionSize(0), 77);
        QCOMPARE(header->sectionSize(1), header->sectionSizeHint(1));
        QCOMPARE(header->sectionSize(2), header->sectionSizeHint(2));
    }

    // The folder from the command line wins over the history and is shown as given.
    void StartFolderWinsOverHistory()
    {
        TRegistry reg(TRegistry::DefaultPath());
        reg.WriteExpandString(Key, "Path0", "/srv/");
        reg.Save();
        NewForm();
        QCOMPARE(FForm->cbFolder->currentText(), QStringLiteral("/srv/"));
        FForm->SetStartFolder(QStringLiteral("/no such/folder"));
        QCOMPARE(FForm->cbFolder->currentText(), QStringLiteral("/no such/folder"));
        QCOMPARE(FForm->cbFolder->currentIndex(), -1);
        QCOMPARE(FForm->cbFolder->count(), 1);
    }

    // The stored language is applied at start and offered in the selector; "< Default >" undoes it.
    void LanguagesAtStartAndSwitch()
    {
        CopyRussian();
        TRegistry reg(TRegistry::DefaultPath());
        reg.WriteString(PlacementKey, "LangName", "russian");
        reg.WriteInteger(Key, "TotalFiles", 3);
        reg.Save();
        NewForm();
        QCOMPARE(Items(FForm->cbLanguage), QStringList({"< Default >", "Russian"}));
        QCOMPARE(FForm->cbLanguage->currentText(), QStringLiteral("Russian"));
        QCOMPARE(FForm->lMask->text(), QStringLiteral("Имя:"));
        QCOMPARE(FForm->PageCtrl->tabText(0), QStringLiteral("Имя и папка"));
        QCOMPARE(FForm->mDelete->text(), QStringLiteral("Удалить"));
        QCOMPARE(FForm->ListModel->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Папка"));
        QCOMPARE(FForm->StatusBar->PanelText(1), QStringLiteral("Всего просмотрено файлов: 3  найдено: 0"));
        // Combo box items and the window caption stay in the default language.
        QCOMPARE(FForm->cbTypes->itemText(0), QStringLiteral("All files: (*.*)"));

        FForm->cbLanguage->setCurrentIndex(0);
        emit FForm->cbLanguage->activated(0);
        const QStringList defaults = FLang->DefaultTexts();
        for (const QString& entry : defaults) {
            const QString key = entry.section(u'=', 0, 0);
            if (!key.startsWith(QLatin1String("FindForm")))
                continue;
            const QString name = key.mid(8);
            if (auto* label = FForm->findChild<QLabel*>(name))
                QCOMPARE(label->text(), entry.section(u'=', 1));
            else if (auto* button = FForm->findChild<QAbstractButton*>(name))
                QCOMPARE(button->text(), entry.section(u'=', 1));
        }
        QCOMPARE(FForm->PageCtrl->tabText(0), QStringLiteral("Name && Location"));
        QCOMPARE(FForm->mDelete->text(), QStringLiteral("Delete"));
        // The status bar is no caption: switching languages leaves its text alone.
        QCOMPARE(FForm->StatusBar->PanelText(1), QStringLiteral("Всего просмотрено файлов: 3  найдено: 0"));
        CloseForm();
        QCOMPARE(SavedStore().ReadString(PlacementKey, "LangName"), std::optional<std::string>("< Default >"));
    }

    // A stored language without its file: nothing selected, default texts.
    void StoredLanguageWithoutFile()
    {
        TRegistry reg(TRegistry::DefaultPath());
        reg.WriteString(PlacementKey, "LangName", "Klingon");
        reg.Save();
        NewForm();
        QCOMPARE(FForm->cbLanguage->currentIndex(), -1);
        QCOMPARE(FForm->lMask->text(), QStringLiteral("Named:"));
        CloseForm();
        QCOMPARE(SavedStore().ReadString(PlacementKey, "LangName"), std::optional<std::string>(""));
    }

    // The shipped Russian file translates every caption of the window and every message.
    void ShippedRussianIsComplete()
    {
        CopyRussian();
        NewForm();
        FLang->SelectLanguage(QStringLiteral("Russian"));
        const QStringList untranslated = {"Marlix v." TROVEX_VERSION, "Windows", "DOS", "Unicode", "KOI8-R", "UTF-8", "-", "",
                                          FForm->lCRight->text(), FForm->lWebPage->text(), FForm->lEmail->text()};
        for (const QString& entry : FLang->DefaultTexts()) {
            const QString text = entry.section(u'=', 1);
            if (untranslated.contains(text))
                continue;
            QVERIFY2(FLang->Translate(text) != text, qPrintable(entry));
        }
        for (const char* message : {"Total files processed: %d  and found: %d", "Files found: ", "Stop", "Continue",
                                    "Start new search?", "File exists! Replace?"}) {
            const QString translated = FLang->Translate(QString::fromLatin1(message));
            QVERIFY2(translated != QLatin1String(message), message);
            QCOMPARE(translated.count(QLatin1String("%d")), QString::fromLatin1(message).count(QLatin1String("%d")));
        }
    }

    // Closing during a run ends it without a question or end-of-run handling, also when paused.
    void CloseEndsRunWithoutHanging()
    {
        QTemporaryDir tree;
        for (int d = 0; d < 20; ++d) {
            QDir().mkpath(tree.filePath(QStringLiteral("d%1").arg(d)));
            for (int f = 0; f < 20; ++f) {
                QFile file(tree.filePath(QStringLiteral("d%1/f%2.txt").arg(d).arg(f)));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("x");
            }
        }
        for (bool paused : {false, true}) {
            NewForm();
            std::atomic<int> found{0};
            bool done = false;
            FForm->Engine = std::make_unique<TFindFile>();
            FForm->Engine->SetFolder(tree.path().toStdString());
            FForm->Engine->SetMask("*.txt");
            FForm->Engine->OnFound = [&](TFindFile&, const TFindFileInfo&) { ++found; };
            FForm->Engine->OnSearchDone = [&](TFindFile&) { done = true; };
            FForm->Running = true;
            FForm->Engine->Start();
            if (paused) {
                FForm->Engine->Pause();
                FForm->UserPaused = true;
            }
            const auto start = std::chrono::steady_clock::now();
            CloseForm();
            QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(10));
            QVERIFY(!FForm->Engine);
            QVERIFY(!done);
            QVERIFY(found < 400);
            QCOMPARE(SavedStore().ReadInteger(Key, "TotalFiles"), std::optional<std::int32_t>(0));
            QVERIFY(TMessageBox::Shown().isEmpty());
        }
    }

    // Enter presses Find unless the focused control takes it; in the list it opens the file.
    void EnterPressesFindF1OpensHelp()
    {
        NewForm();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        QSignalSpy find(FForm->btnFind, &QPushButton::clicked);
        QSignalSpy open(FForm->mOpen, &QAction::triggered);
        // Find really searches now: an empty folder keeps each run short.
        QTemporaryDir empty;
        FForm->cbFolder->setEditText(empty.path());
        QTRY_VERIFY(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(find.count(), 1);
        QTRY_VERIFY(!FForm->Running);
        FForm->CheckCase->setFocus();
        QTest::keyClick(FForm->CheckCase, Qt::Key_Enter);
        QCOMPARE(find.count(), 2);
        QTRY_VERIFY(!FForm->Running);
        FForm->ListView->setFocus();
        QTest::keyClick(FForm->ListView, Qt::Key_Return);
        QCOMPARE(find.count(), 2);
        QCOMPARE(open.count(), 1);

        TLauncher::Opened().clear();
        QTest::keyClick(FForm->ListView, Qt::Key_F1);
        QTest::mouseClick(FForm->lEmail, Qt::LeftButton);
        QCOMPARE(TLauncher::Opened().size(), 2);
        QVERIFY(TLauncher::Opened()[0].toLocalFile().endsWith(QLatin1String("/trovex.html")));
        QCOMPARE(TLauncher::Opened()[1].scheme(), QStringLiteral("mailto"));
    }

    // Widening the window stretches left-and-right anchored controls and moves right-anchored ones.
    void AnchorsFollowResize()
    {
        NewForm();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        struct Case { const char* name; QRect rect; };
        const Case cases[] = {
            {"TopPanel", {0, 0, 619, 227}},        {"PageCtrl", {4, 3, 508, 221}},
            {"btnFind", {521, 11, 90, 25}},        {"FindAnimate", {542, 171, 48, 50}},
            {"cbMask", {96, 8, 394, 24}},          {"cbString", {8, 88, 293, 24}},
            {"cbNoString", {308, 88, 182, 24}},    {"bFolder", {406, 128, 84, 25}},
            {"checkSubFolders", {8, 160, 281, 17}}, {"cbLanguage", {335, 20, 161, 24}},
            {"Bevel1", {3, 126, 493, 61}},         {"Bevel2", {2, 139, 492, 49}},
            {"MainPanel", {0, 227, 619, 209}},     {"ListView", {3, 3, 613, 203}},
            {"StatusBar", {0, 436, 619, 19}},      {"DatesGBox", {4, 72, 391, 113}},
        };
        FForm->resize(619, 455);
        for (const Case& c : cases)
            QTRY_VERIFY2(Find<QWidget>(c.name)->geometry() == c.rect, c.name);
        QCOMPARE(FForm->lNoText->x(), 308);
    }

    // The searching animation moves while active and rests on its stop frame.
    void AnimationPlaysAndStops()
    {
        NewForm();
        FForm->FindAnimate->SetActive(true);
        QTRY_VERIFY(FForm->FindAnimate->Frame() != TAnimate::StopFrame);
        FForm->FindAnimate->SetActive(false);
        QVERIFY(!FForm->FindAnimate->Active());
        QCOMPARE(FForm->FindAnimate->Frame(), TAnimate::StopFrame);
    }

    // Right-to-left languages turn the reading order of the whole program.
    void RightToLeftLocale()
    {
        QLocale::setDefault(QLocale(QLocale::Hebrew, QLocale::Israel));
        NewForm();
        QCOMPARE(QGuiApplication::layoutDirection(), Qt::RightToLeft);
        QCOMPARE(FForm->cbMask->geometry().topLeft(), QPoint(96, 8)); // positions stay
        QLocale::setDefault(QLocale::c());
        QGuiApplication::setLayoutDirection(Qt::LeftToRight);
    }
};

QTEST_MAIN(uMainTest)
#include "uMainTest.moc"
