// SPDX-License-Identifier: MIT
// Window placement against a store file in a temporary folder: the saved values and their
// formats, the restore rules, and round trips of the normal, maximized and minimized states.
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <memory>

#include "placement/Placemnt.h"
#include "platform/Registry.h"

using namespace trovex;

namespace
{

const std::string Section = "Software\\Brenvik\\Trovex\\Placement";

QString ScreenSuffix()
{
    const QSize s = QGuiApplication::primaryScreen()->geometry().size();
    return QStringLiteral("(%1x%2)").arg(s.width()).arg(s.height());
}

int Dpi()
{
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
}

} // namespace

class PlacemntTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FDir;
    std::unique_ptr<TRegistry> FStore;
    std::unique_ptr<QWidget> FForm;
    std::unique_ptr<TFormPlacement> FPlacement;

    void NewForm()
    {
        FPlacement.reset();
        FForm = std::make_unique<QWidget>();
        FForm->setGeometry(200, 150, 500, 400);
        FPlacement = std::make_unique<TFormPlacement>(FForm.get(), *FStore);
        FPlacement->SetDesignMinimum(QSize(150, 100));
    }

    void Set(const QString& name, const QString& value)
    {
        FStore->WriteString(Section, name.toStdString(), value.toStdString());
    }

    QString Get(const char* name) const
    {
        return QString::fromStdString(FStore->ReadString(Section, name).value_or("<missing>"));
    }

    // The frame's widths around the shown window (what the platform draws, if anything).
    QMargins Frame() const
    {
        const QRect f = FForm->frameGeometry();
        const QRect c = FForm->geometry();
        return {c.left() - f.left(), c.top() - f.top(), f.right() - c.right(), f.bottom() - c.bottom()};
    }

    // Restores and shows the window as the main window does.
    void Open()
    {
        FPlacement->RestoreFormPlacement();
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    }

private slots:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        FStore = std::make_unique<TRegistry>(std::filesystem::path(FDir->filePath("Trovex.reg").toStdString()));
    }

    void cleanup()
    {
        FPlacement.reset();
        FForm.reset();
    }

    // A first start keeps the designed bounds; the close writes the whole section in its formats.
    void FirstStartWritesWholeSection()
    {
        NewForm();
        FPlacement->SaveFormPlacement();
        QVERIFY(!FStore->KeyExists(Section)); // no restore ran yet: nothing is written
        Open();
        QCOMPARE(FForm->geometry(), QRect(200, 150, 500, 400));
        QVERIFY(FPlacement->Restored());
        FPlacement->SaveFormPlacement();
        QVERIFY(FPlacement->Saved());
        QCOMPARE(Get("FormVersion"), QStringLiteral("0"));
        QCOMPARE(Get("Flags"), QStringLiteral("0"));
        QCOMPARE(Get("ShowCmd"), QStringLiteral("1"));
        QCOMPARE(Get("PixelsPerInch"), QString::number(Dpi()));
        // The outer frame, title bar included, around the designed bounds.
        const QMargins m = Frame();
        const QString outer = QStringLiteral("%1,%2,%3,%4").arg(200 - m.left()).arg(150 - m.top()).arg(700 + m.right()).arg(550 + m.bottom());
        QCOMPARE(Get("NormPos"), outer);
        QCOMPARE(Get(qPrintable("NormPos" + ScreenSuffix())), outer);
        // The maximized position carries minus the left and top frame widths, the minimized one minus
        // the right and bottom ones: the whole frame, for the next start.
        QCOMPARE(Get("MinMaxPos"), QStringLiteral("%1,%2,%3,%4").arg(-m.right()).arg(-m.bottom()).arg(-m.left()).arg(-m.top()));
        QVERIFY(Get("MinMaxPos").count(u',') == 3);
        QCOMPARE(Get(qPrintable("MinMaxPos" + ScreenSuffix())), Get("MinMaxPos"));
        QCOMPARE(Get("Visible"), QStringLiteral("0"));
        FPlacement->SaveFormPlacement(true);
        QCOMPARE(Get("Visible"), QStringLiteral("1"));
        for (const std::string& name : FStore->ValueNames(Section))
            QVERIFY(FStore->FindValue(Section, name)->Type == rtString);
    }

    // The rules for the saved normal rectangle.
    void RestorePositionRules()
    {
        struct Case { const char* what; QList<QPair<QString, QString>> values; QRect expected; };
        const QString screen = ScreenSuffix();
        const QString dpi = QString::number(Dpi());
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QList<Case> cases = {
            {"commas", {{"NormPos", "10,20,410,320"}}, {10, 20, 400, 300}},
            {"blanks", {{"NormPos", "10 20 410 320"}}, {10, 20, 400, 300}},
            {"mixed", {{"NormPos", " 10, 20 ,410,,320"}}, {10, 20, 400, 300}},
            {"screen name first", {{"NormPos" + screen, "30,40,430,340"}, {"NormPos", "10,20,410,320"}}, {30, 40, 400, 300}},
            {"other screen ignored", {{"NormPos(1x1)", "30,40,430,340"}, {"NormPos", "10,20,410,320"}}, {10, 20, 400, 300}},
            {"same dpi", {{"NormPos", "10,20,410,320"}, {"PixelsPerInch", dpi}}, {10, 20, 400, 300}},
            {"other dpi", {{"NormPos", "10,20,410,320"}, {"PixelsPerInch", "1"}}, {200, 150, 500, 400}},
            {"short text", {{"NormPos", "10,20"}}, {10, 20, 690, 530}}, // right and bottom stay
            {"not numbers", {{"NormPos", "a,b,c,d"}}, {200, 150, 500, 400}},
            {"right before left", {{"NormPos", "410,20,10,320"}}, {200, 150, 500, 400}},
            {"newer version", {{"NormPos", "10,20,410,320"}, {"FormVersion", "-1"}}, {200, 150, 500, 400}},
            {"off every screen", {{"NormPos", "-9000,-9000,-8600,-8700"}}, {area.topLeft(), QSize(400, 300)}},
            {"larger than the screen", {{"NormPos", "0,0,100000,100000"}}, area},
            {"extreme values", {{"NormPos", "-2147483648,-2147483648,2147483647,2147483647"}}, area},
            {"beyond 32 bits", {{"NormPos", "-99999999999,10,99999999999,310"}}, {200, 150, 500, 400}},
            {"64-bit ends", {{"NormPos", "-9223372036854775808,-9223372036854775808,9223372036854775807,9223372036854775807"}}, {200, 150, 500, 400}},
            {"64-bit frame", {{"NormPos", "10,20,410,320"}, {"MinMaxPos", "0,0,-9223372036854775808,-9223372036854775808"}}, {200, 150, 500, 400}},
            {"tiny", {{"NormPos", "10,20,12,22"}}, {10, 20, 150, 100}},
            {"title bar above the screen", {{"NormPos", "10,-100,410,200"}}, {area.left() + 10, area.top(), 400, 300}},
            {"hanging off the bottom right",
             {{"NormPos", QStringLiteral("%1,%2,%3,%4").arg(area.right() - 50).arg(area.bottom() - 20).arg(area.right() + 350).arg(area.bottom() + 280)}},
             {area.right() + 1 - 400, area.bottom() + 1 - 300, 400, 300}},
        };
        for (const Case& c : cases) {
            init();
            for (const auto& [name, value] : c.values)
                Set(name, value);
            NewForm();
            FPlacement->RestoreFormPlacement();
            QVERIFY2(FForm->geometry() == c.expected, c.what);
            QVERIFY2(FPlacement->Restored(), c.what);
            // What was brought onto the screen is what the close saves, not the damaged value.
            FPlacement->SaveFormPlacement();
            const QRect e = c.expected;
            QCOMPARE(Get("NormPos"), QStringLiteral("%1,%2,%3,%4").arg(e.left()).arg(e.top()).arg(e.left() + e.width()).arg(e.top() + e.height()));
        }
    }

    // "ShowCmd" values and the states they give.
    void RestoreStateRules()
    {
        struct Case { const char* showCmd; const char* flags; Qt::WindowStates now; Qt::WindowStates later; };
        const Case cases[] = {
            {"1", "0", Qt::WindowNoState, Qt::WindowNoState},
            {"3", "0", Qt::WindowMaximized, Qt::WindowMaximized},
            {"9", "0", Qt::WindowNoState, Qt::WindowNoState},
            {"42", "0", Qt::WindowNoState, Qt::WindowNoState},
            {"2", "0", Qt::WindowNoState, Qt::WindowMinimized},
            {"6", "0", Qt::WindowNoState, Qt::WindowMinimized},
            {"2", "2", Qt::WindowMaximized, Qt::WindowMaximized | Qt::WindowMinimized},
        };
        for (const Case& c : cases) {
            init();
            Set(QStringLiteral("ShowCmd"), QString::fromLatin1(c.showCmd));
            Set(QStringLiteral("Flags"), QString::fromLatin1(c.flags));
            Set(QStringLiteral("PixelsPerInch"), QStringLiteral("1")); // the state applies whatever the dpi
            NewForm();
            FPlacement->RestoreFormPlacement();
            QVERIFY2(FForm->windowState() == c.now, c.showCmd);
            FForm->show();
            QTRY_VERIFY2(FForm->windowState() == c.later, c.showCmd);
        }
    }

    // Closed maximized, reopened maximized with the normal rectangle kept; minimized likewise.
    void StatesRoundTrip()
    {
        NewForm();
        Open();
        FForm->setGeometry(60, 70, 300, 200);
        FForm->showMaximized();
        QTRY_VERIFY(FForm->isMaximized());
        FPlacement->SaveFormPlacement();
        QCOMPARE(Get("ShowCmd"), QStringLiteral("3"));
        const QMargins m = Frame();
        QCOMPARE(Get("NormPos"), QStringLiteral("%1,%2,%3,%4").arg(60 - m.left()).arg(70 - m.top()).arg(360 + m.right()).arg(270 + m.bottom()));

        NewForm();
        Open();
        QTRY_VERIFY(FForm->isMaximized());
        QCOMPARE(FForm->normalGeometry(), QRect(60, 70, 300, 200));
        FForm->showNormal();
        QTRY_COMPARE(FForm->geometry(), QRect(60, 70, 300, 200));

        FForm->showMinimized();
        QTRY_VERIFY(FForm->isMinimized());
        FPlacement->SaveFormPlacement();
        QCOMPARE(Get("ShowCmd"), QStringLiteral("2"));
        NewForm();
        Open();
        QTRY_VERIFY(FForm->isMinimized());
    }

    // Single values used for the column widths and the language name.
    void SingleValues()
    {
        NewForm();
        FPlacement->WriteInteger(QStringLiteral("ListCol1"), -2);
        FPlacement->WriteString(QStringLiteral("LangName"), QStringLiteral("Russian"));
        Set(QStringLiteral("ListCol2"), QStringLiteral("wide"));
        FStore->WriteInteger(Section, "ListCol3", 80);
        FStore->WriteExpandString(Section, "ListCol4", " 90");
        FStore->WriteInteger(Section, "Number", 5);
        QCOMPARE(Get("ListCol1"), QStringLiteral("-2"));
        QCOMPARE(FPlacement->ReadInteger(QStringLiteral("ListCol1"), 7), -2);
        QCOMPARE(FPlacement->ReadInteger(QStringLiteral("ListCol2"), 7), 7);
        QCOMPARE(FPlacement->ReadInteger(QStringLiteral("ListCol3"), 7), 80);
        QCOMPARE(FPlacement->ReadInteger(QStringLiteral("ListCol4"), 7), 90);
        QCOMPARE(FPlacement->ReadInteger(QStringLiteral("ListCol5"), 7), 7);
        QCOMPARE(FPlacement->ReadString(QStringLiteral("langname"), QString()), QStringLiteral("Russian"));
        QCOMPARE(FPlacement->ReadString(QStringLiteral("Number"), QStringLiteral("def")), QStringLiteral("def"));
        QCOMPARE(FPlacement->ReadString(QStringLiteral("Missing"), QStringLiteral("def")), QStringLiteral("def"));
    }
};

QTEST_MAIN(PlacemntTest)
#include "PlacemntTest.moc"
