// SPDX-License-Identifier: MIT
// The main window's placement over repeated starts under a real window manager whose frame has
// sides of different widths (openbox under Xvfb, started by this test): the frame lies where it was
// saved, every start the same, whole on the screen's free area, and damaged values fall back.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "app/Widgets.h"
#include "app/uMain.h"
#include "lang/MultiLang.h"
#include "platform/Registry.h"
#include "WindowTestSetup.h"

using namespace trovex;

namespace
{

const std::string PlacementKey = std::string(TFindForm::ProgramKey) + "\\Placement";

// A theme whose frame is thin at the sides, with a title bar and a thicker bottom handle.
const char* const OpenboxConfig =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
    "  <theme><name>Clearlooks</name><titleLayout>NLIMC</titleLayout><keepBorder>yes</keepBorder></theme>\n"
    "  <placement><policy>Smart</policy></placement>\n"
    "  <desktops><number>1</number></desktops>\n"
    "</openbox_config>\n";

QString Rect(const QRect& r)
{
    return QStringLiteral("%1,%2,%3,%4").arg(r.left()).arg(r.top()).arg(r.left() + r.width()).arg(r.top() + r.height());
}

} // namespace

class uMainPlacementWmTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FHome;
    std::unique_ptr<QTemporaryDir> FLangDir;
    std::unique_ptr<TMultiLang> FLang;
    std::unique_ptr<TFindForm> FForm;
    QProcess FOpenbox;
    QMargins FFrame;

    // One start: the window shown and framed by the window manager, left still once its frame is placed.
    void Start()
    {
        FForm.reset();
        FLang = std::make_unique<TMultiLang>(FLangDir->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        QTRY_VERIFY_WITH_TIMEOUT(FForm->frameGeometry() != FForm->geometry(), 5000);
        // Settled: the same frame over a few round trips to the window manager.
        QRect last;
        for (int still = 0; still < 3;) {
            QTest::qWait(50);
            const QRect now = FForm->frameGeometry();
            still = now == last ? still + 1 : 0;
            last = now;
        }
    }

    // The close the person makes: settings and placement go to the store.
    QString CloseAndReadNormPos()
    {
        if (!FForm->close())
            return QStringLiteral("<not closed>");
        TRegistry saved(TRegistry::DefaultPath());
        saved.Load();
        return QString::fromStdString(saved.ReadString(PlacementKey, "NormPos").value_or("<missing>"));
    }

    void Store(const QList<QPair<const char*, QString>>& values)
    {
        QFile::remove(QString::fromStdString(TRegistry::DefaultPath().string()));
        TRegistry reg(TRegistry::DefaultPath());
        for (const auto& [name, value] : values)
            reg.WriteString(PlacementKey, name, value.toStdString());
        reg.Save();
    }

    // What the person must always see: the whole frame on the free area, and the command column
    // and the status bar inside the window.
    void VerifyUsableOnScreen(const char* what)
    {
        const QRect area = FForm->screen()->availableGeometry();
        const QRect frame = FForm->frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QStringLiteral("%1: frame %2 outside %3").arg(what, Rect(frame), Rect(area))));
        const QRect client = FForm->rect();
        const QRect find(FForm->btnFind->mapTo(FForm.get(), QPoint(0, 0)), FForm->btnFind->size());
        const QRect status(FForm->StatusBar->mapTo(FForm.get(), QPoint(0, 0)), FForm->StatusBar->size());
        QVERIFY2(client.contains(find) && client.contains(status) && status.top() >= find.bottom(), what);
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run under xvfb-run): a window manager draws the frames");
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            QSKIP("openbox is not installed, so the placement under a window manager is not tested "
                  "(scripts/setup.sh installs it)");
        test::PrepareWindowTests();
        FHome = std::make_unique<QTemporaryDir>();
        test::UseUserFoldersIn(FHome->path());
        FLangDir = std::make_unique<QTemporaryDir>();
        const QString config = FHome->filePath(QStringLiteral("rc.xml"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(OpenboxConfig);
        file.close();
        FOpenbox.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // openbox runs its start-up command once it manages the screen; a window mapped before
        // that would be framed late or not at all.
        const QString ready = FHome->filePath(QStringLiteral("openbox-ready"));
        FOpenbox.start(openbox, {QStringLiteral("--config-file"), config, QStringLiteral("--sm-disable"),
                                 QStringLiteral("--startup"), QStringLiteral("touch ") + ready});
        QVERIFY(FOpenbox.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(ready), 10000);

        // The frame the window manager draws: its sides must differ, or the test proves nothing.
        Start();
        const QRect f = FForm->frameGeometry();
        const QRect c = FForm->geometry();
        FFrame = {c.left() - f.left(), c.top() - f.top(), f.right() - c.right(), f.bottom() - c.bottom()};
        qInfo("frame widths left %d, top %d, right %d, bottom %d", FFrame.left(), FFrame.top(), FFrame.right(), FFrame.bottom());
        QVERIFY(FFrame.top() > FFrame.left() && FFrame.bottom() != FFrame.left());
        FForm.reset();
    }

    void cleanupTestCase()
    {
        FForm.reset();
        if (FOpenbox.state() != QProcess::NotRunning) {
            FOpenbox.terminate();
            FOpenbox.waitForFinished(3000);
        }
    }

    // Issue 24: the window grew by the difference of the bottom and side frames at every start.
    // Start, close, start again: the same frame and the same "NormPos" every time.
    void RepeatedStartsKeepTheSavedFrame()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QList<QPair<const char*, QString>> cases = {
            {"first start", QString()},
            {"saved here", Rect(QRect(area.left() + 100, area.top() + 80, 640, 520))},
            {"saved by another window manager", Rect(QRect(area.left() + 40, area.top() + 30, 600, 480))},
        };
        for (const auto& [what, norm] : cases) {
            if (norm.isEmpty())
                Store({});
            else
                Store({{"NormPos", norm}, {"MinMaxPos", QStringLiteral("-1,-1,-4,-4")}});
            QString saved = norm;
            for (int start = 0; start < 4; ++start) {
                Start();
                const QString shown = Rect(FForm->frameGeometry());
                if (!saved.isEmpty())
                    QVERIFY2(shown == saved, qPrintable(QStringLiteral("%1, start %2: %3 shown, %4 saved").arg(what).arg(start).arg(shown, saved)));
                const QString closed = CloseAndReadNormPos();
                QVERIFY2(closed == shown, qPrintable(QStringLiteral("%1, start %2: %3 saved, %4 shown").arg(what).arg(start).arg(closed, shown)));
                saved = closed;
            }
        }
    }

    // Issue 24: tiny, inverted, off-screen and out-of-range rectangles left the window invisible,
    // its title bar above the screen, or overflowed.
    void DamagedPlacementGivesAUsableWindow()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QString max = QStringLiteral("9223372036854775807");
        const QString min = QStringLiteral("-9223372036854775808");
        struct Case { const char* what; QString norm; QString minMax; bool designBounds; };
        const QList<Case> cases = {
            {"tiny", "10,10,12,12", {}, false},
            {"client inverted by the frame", "300,300,305,310", {}, false},
            {"inverted", "700,500,100,100", {}, true},
            {"above the screen", "100,-5000,700,-4500", {}, false},
            {"only a corner on the screen", QStringLiteral("%1,%2,%3,%4").arg(area.right() - 10).arg(area.bottom() - 10).arg(area.right() + 590).arg(area.bottom() + 490), {}, false},
            {"negative and too large", "-500,-500,100000,100000", {}, false},
            {"64-bit ends", QStringLiteral("%1,%1,%2,%2").arg(min, max), {}, true},
            {"64-bit right", QStringLiteral("0,0,%1,400").arg(max), {}, true},
            {"64-bit maximized position", "100,100,700,600", QStringLiteral("0,0,%1,%2").arg(min, min), true},
        };
        for (const Case& c : cases) {
            QList<QPair<const char*, QString>> values = {{"NormPos", c.norm}};
            if (!c.minMax.isEmpty())
                values.append({"MinMaxPos", c.minMax});
            Store(values);
            Start();
            VerifyUsableOnScreen(c.what);
            if (c.designBounds) {
                QVERIFY2(FForm->frameGeometry().topLeft() == QPoint(213, 113), c.what);
                QVERIFY2(FForm->geometry().size() == QSize(519, 405), c.what);
            }
            // What the person saw is what the next start shows.
            const QRect shown = FForm->frameGeometry();
            QVERIFY2(CloseAndReadNormPos() == Rect(shown), c.what);
            Start();
            QVERIFY2(FForm->frameGeometry() == shown, c.what);
            FForm.reset();
        }
    }
};

QTEST_MAIN(uMainPlacementWmTest)
#include "uMainPlacementWmTest.moc"
