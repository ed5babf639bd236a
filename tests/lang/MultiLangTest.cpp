// SPDX-License-Identifier: MIT
// The language manager over real language files in a temporary folder and a real window made of
// the widget kinds it translates and those it must leave alone.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>
#include <unistd.h>

#include "app/Widgets.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"

using namespace trovex;

namespace
{

// A window with one control of each kind:
//   TestForm: lName (label), cbKind (combo), gbBox (group box), bGo (button with a tip),
//             Panel (TPanel), Tabs{ PageOne }, List (2 columns), Popup{ mItem, mSep }
struct TTestForm
{
    QWidget Form;
    QLabel* lName;
    QLabel* lEmpty;
    QComboBox* cbKind;
    QGroupBox* gbBox;
    QPushButton* bGo;
    QCheckBox* CheckOne;
    TPanel* Panel;
    QTabWidget* Tabs;
    QWidget* PageOne;
    QTreeView* List;
    QStandardItemModel* Model;
    QMenu* Popup;
    QAction* mItem;
    QAction* mSep;

    TTestForm()
    {
        Form.setObjectName(QStringLiteral("TestForm"));
        auto named = [](QObject* o, const char* name) { o->setObjectName(QLatin1String(name)); };
        lName = new QLabel(QStringLiteral("Named:"), &Form);
        named(lName, "lName");
        lEmpty = new QLabel(&Form);
        named(lEmpty, "lEmpty");
        cbKind = new QComboBox(&Form);
        named(cbKind, "cbKind");
        cbKind->addItem(QStringLiteral("Stop"));
        gbBox = new QGroupBox(QStringLiteral("Stop"), &Form);
        named(gbBox, "gbBox");
        bGo = new QPushButton(QStringLiteral("Stop"), &Form);
        named(bGo, "bGo");
        bGo->setToolTip(QStringLiteral("Stops the run"));
        CheckOne = new QCheckBox(QStringLiteral("Date && time"), &Form);
        named(CheckOne, "CheckOne");
        Panel = new TPanel(&Form);
        named(Panel, "Panel");
        Tabs = new QTabWidget(&Form);
        named(Tabs, "Tabs");
        PageOne = new QWidget;
        named(PageOne, "PageOne");
        Tabs->addTab(PageOne, QStringLiteral("Name && Location"));
        Model = new QStandardItemModel(0, 2, &Form);
        Model->setHorizontalHeaderLabels({QStringLiteral("File name"), QStringLiteral("Size")});
        List = new QTreeView(&Form);
        named(List, "List");
        List->setModel(Model);
        Popup = new QMenu(&Form);
        named(Popup, "Popup");
        mItem = Popup->addAction(QStringLiteral("Open"));
        named(mItem, "mItem");
        mSep = Popup->addSeparator();
        named(mSep, "mSep");
    }
};

} // namespace

class MultiLangTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;

    void Write(const QString& name, const QByteArray& bytes)
    {
        QFile f(FDir->filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void initTestCase() { InitCodePages(1251, 866); }
    void init() { FDir = std::make_unique<QTemporaryDir>(); }

    // Names come from file names up to ".lng", first letter upper-cased, sorted after "< Default >".
    void LanguageListFromFileNames()
    {
        for (const char* name : {"russian.lng", "Deutsch.LNG", "x.lng.lng", "\xC3\xA9speranto.lng", ".lng",
                                 "notes.txt", "old.lng.bak"})
            Write(QString::fromUtf8(name), "");
        TMultiLang lang(FDir->path());
        // Where a non-ASCII name sorts is the locale's business; the upper-casing is ours.
        QStringList names = lang.Languages();
        QVERIFY(names.removeOne(QString::fromUtf8("\xC3\x89speranto")));
        QCOMPARE(names, QStringList({"< Default >", "Deutsch", "Russian", "X"}));
        QCOMPARE(lang.LanguageFiles().size(), 4);
        QVERIFY(lang.LanguageFiles().contains(QStringLiteral("X=") + FDir->filePath(QStringLiteral("x.lng.lng"))));

        TMultiLang none(FDir->filePath(QStringLiteral("missing")));
        QCOMPARE(none.Languages(), QStringList({"< Default >"}));
    }

    // Line rules: first "=", nothing trimmed, case-insensitive keys, first line wins, NUL ends.
    void TranslateRules()
    {
        // The literal's own size, so the NUL inside is kept and nothing past its end is read.
        static const char text[] = "\xEF\xBB\xBFNamed: =spaced\r\n"
                                   "NAMED:=first\n"
                                   "named:=second\r"
                                   "no equals sign here\n"
                                   "a=b=c\n"
                                   "Stop=\n"
                                   "=for empty\n"
                                   "Date && time=Datum && Zeit\n"
                                   "\xD0\x9F=cyrillic\n"
                                   "tail=before nul\0hidden=after nul\n";
        Write(QStringLiteral("t.lng"), QByteArray(text, sizeof text - 1));
        TMultiLang lang(FDir->path());
        lang.LoadLanguageFile(FDir->filePath(QStringLiteral("t.lng")));
        struct Case { const char* text; const char* expected; };
        const Case cases[] = {
            {"Named:", "first"},   {"named: ", "spaced"},        {"a", "b=c"},
            {"Stop", ""},          {"", "for empty"},            {"Date && time", "Datum && Zeit"},
            {"\xD0\xBF", "cyrillic"}, {"tail", "before nul"},    {"hidden", "hidden"},
            {"Unknown", "Unknown"}, {"no equals sign here", "no equals sign here"},
        };
        for (const Case& c : cases)
            QCOMPARE(lang.Translate(QString::fromUtf8(c.text)), QString::fromUtf8(c.expected));
    }

    // Bytes that are not UTF-8 are read in the ANSI code page.
    void AnsiLanguageFile()
    {
        Write(QStringLiteral("r.lng"), QByteArray("Named:=\xC8\xEC\xFF:\n"));
        TMultiLang lang(FDir->path());
        lang.LoadLanguageFile(FDir->filePath(QStringLiteral("r.lng")));
        QCOMPARE(lang.Translate(QStringLiteral("Named:")), QString::fromUtf8("\xD0\x98\xD0\xBC\xD1\x8F:"));
    }

    // Keys are form + component (+ "Hint" | + column); only the translatable kinds are recorded.
    void CollectDefaultsKeyScheme()
    {
        TTestForm f;
        TMultiLang lang(FDir->path());
        lang.CollectDefaults();
        const QStringList expected = {"TestFormbGo=Stop",      "TestFormbGoHint=Stops the run",
                                      "TestFormCheckOne=Date && time", "TestFormList0=File name",
                                      "TestFormList1=Size",     "TestFormlEmpty=",
                                      "TestFormlName=Named:",   "TestFormmItem=Open",
                                      "TestFormmSep=-",         "TestFormPageOne=Name && Location",
                                      "TestFormPanel="};
        QStringList actual = lang.DefaultTexts();
        actual.sort(Qt::CaseInsensitive);
        QStringList sorted = expected;
        sorted.sort(Qt::CaseInsensitive);
        QCOMPARE(actual, sorted);
        QCOMPARE(lang.DefaultText(QStringLiteral("testformlname")), QStringLiteral("Named:"));
    }

    // Applying a language sets captions, tips, tab texts, menu items and columns, nothing else.
    void ApplyLanguageTranslatesOnlyItsKinds()
    {
        TTestForm f;
        Write(QStringLiteral("german.lng"), "Named:=Name:\nStop=Halt\nStops the run=Haelt an\nOpen=Oeffnen\n"
                                            "File name=Dateiname\nName && Location=Name && Ort\n"
                                            "Date && time=Datum\n=leer\n-=trenner\n");
        TMultiLang lang(FDir->path());
        lang.CollectDefaults();
        lang.SelectLanguage(QStringLiteral("GERMAN"));
        QCOMPARE(lang.LanguageName(), QStringLiteral("GERMAN"));
        QCOMPARE(f.lName->text(), QStringLiteral("Named:")); // selecting alone changes nothing
        lang.ApplyLanguage();
        QCOMPARE(f.lName->text(), QStringLiteral("Name:"));
        QCOMPARE(f.bGo->text(), QStringLiteral("Halt"));
        QCOMPARE(f.bGo->toolTip(), QStringLiteral("Haelt an"));
        QCOMPARE(f.CheckOne->text(), QStringLiteral("Datum"));
        QCOMPARE(f.Tabs->tabText(0), QStringLiteral("Name && Ort"));
        QCOMPARE(f.mItem->text(), QStringLiteral("Oeffnen"));
        QCOMPARE(f.Model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Dateiname"));
        QCOMPARE(f.Model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
        // Kinds outside the scheme stay in the default language; empty captions stay empty.
        QCOMPARE(f.cbKind->itemText(0), QStringLiteral("Stop"));
        QCOMPARE(f.gbBox->title(), QStringLiteral("Stop"));
        QCOMPARE(f.lEmpty->text(), QString());
        QCOMPARE(f.Panel->Caption(), QString());
        QVERIFY(f.mSep->isSeparator());

        lang.SelectLanguage(TMultiLang::DefaultLanguage);
        QCOMPARE(f.lName->text(), QStringLiteral("Named:"));
        QCOMPARE(f.bGo->toolTip(), QStringLiteral("Stops the run"));
        QCOMPARE(f.Tabs->tabText(0), QStringLiteral("Name && Location"));
        QCOMPARE(f.Model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("File name"));
    }

    // A blanked control stays blank; a blanked menu item or column comes back with the next language.
    void BlankingRules()
    {
        TTestForm f;
        Write(QStringLiteral("blank.lng"), "Named:=\nOpen=\nSize=\n");
        Write(QStringLiteral("other.lng"), "Stop=Halt\n");
        TMultiLang lang(FDir->path());
        lang.CollectDefaults();
        lang.SelectLanguage(QStringLiteral("Blank"));
        lang.ApplyLanguage();
        QCOMPARE(f.lName->text(), QString());
        QCOMPARE(f.mItem->text(), QString());
        QCOMPARE(f.Model->headerData(1, Qt::Horizontal).toString(), QString());
        lang.SelectLanguage(QStringLiteral("Other"));
        lang.ApplyLanguage();
        QCOMPARE(f.lName->text(), QString());
        QCOMPARE(f.mItem->text(), QStringLiteral("Open"));
        QCOMPARE(f.Model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Size"));
        QCOMPARE(f.bGo->text(), QStringLiteral("Halt"));
    }

    // Unknown and empty names change nothing; a file gone since the scan falls back to the defaults.
    void SelectLanguageFallbacks()
    {
        TTestForm f;
        Write(QStringLiteral("german.lng"), "Named:=Name:\n");
        Write(QStringLiteral("gone.lng"), "Named:=Weg:\n");
        TMultiLang lang(FDir->path());
        lang.CollectDefaults();
        lang.SelectLanguage(QStringLiteral("German"));
        lang.ApplyLanguage();
        lang.SelectLanguage(QString());
        lang.SelectLanguage(QStringLiteral("Klingon"));
        QCOMPARE(lang.LanguageName(), QStringLiteral("German"));
        QCOMPARE(lang.Translate(QStringLiteral("Named:")), QStringLiteral("Name:"));

        QVERIFY(QFile::remove(FDir->filePath(QStringLiteral("gone.lng"))));
        lang.SelectLanguage(QStringLiteral("Gone"));
        QCOMPARE(lang.Translate(QStringLiteral("Named:")), QStringLiteral("Named:"));
        QCOMPARE(f.lName->text(), QStringLiteral("Named:"));
    }

    // A file that exists but cannot be opened is an error, and the translations in force stay.
    void UnreadableFileKeepsTranslations()
    {
        if (geteuid() == 0)
            QSKIP("root reads every file");
        Write(QStringLiteral("german.lng"), "Named:=Name:\n");
        Write(QStringLiteral("locked.lng"), "Named:=Zu:\n");
        QFile(FDir->filePath(QStringLiteral("locked.lng"))).setPermissions(QFileDevice::Permissions());
        TMultiLang lang(FDir->path());
        lang.SelectLanguage(QStringLiteral("German"));
        QVERIFY_THROWS_EXCEPTION(EFOpenError, lang.SelectLanguage(QStringLiteral("Locked")));
        QCOMPARE(lang.Translate(QStringLiteral("Named:")), QStringLiteral("Name:"));
    }

    // Placeholders of a translated message are filled in order; anything odd stays visible.
    void FormatMessagePlaceholders()
    {
        struct Case { const char* format; const char* expected; };
        const Case cases[] = {
            {"Total files processed: %d  and found: %d", "Total files processed: 12  and found: -3"},
            {"%d%%", "12%"},
            {"%s and %d", "%s and 12"},
            {"%d %d %d", "12 -3 %d"},
            {"50%", "50%"},
        };
        for (const Case& c : cases)
            QCOMPARE(FormatMessage(QString::fromLatin1(c.format), {12, -3}), QString::fromLatin1(c.expected));
    }
};

QTEST_MAIN(MultiLangTest)
#include "MultiLangTest.moc"
