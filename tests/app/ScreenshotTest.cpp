// SPDX-License-Identifier: MIT
// Renders the four pages of the main window on a real X server (Xvfb) to PNG files under the
// build folder, so a person can compare them with the design.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include "app/ResultModel.h"
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QComboBox>
#include <QPushButton>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTest>

#include "app/uMain.h"
#include "app/Widgets.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"

using namespace trovex;

namespace
{
// A window that takes copies of file lists and keeps what it was given.
class TDropTarget : public QWidget
{
public:
    TDropTarget() { setAcceptDrops(true); }
    int Drops = 0;
    QByteArray UriList;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
            event->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        UriList = event->mimeData()->data(QStringLiteral("text/uri-list"));
        ++Drops;
        event->acceptProposedAction();
    }
};
} // namespace

class ScreenshotTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        InitCodePages();
    }

    // Each page renders at the design size, and no two pages come out the same picture.
    void RendersFourPages()
    {
        const QString folder = qEnvironmentVariable("TROVEX_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
        QVERIFY(QDir().mkpath(folder));
        TMultiLang lang(QStringLiteral(TROVEX_SOURCE_DIR "/share/lang"));
        TFindForm form(lang);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(519, 405));

        const char* const names[] = {"1-name-location", "2-advanced", "3-options", "4-about"};
        QList<QImage> pages;
        for (int i = 0; i < 4; ++i) {
            form.PageCtrl->setCurrentIndex(i);
            QImage image = form.grab().toImage();
            QCOMPARE(image.size() / image.devicePixelRatio(), QSize(519, 405));
            const QString file = folder + QStringLiteral("/trovex-%1.png").arg(QLatin1String(names[i]));
            QVERIFY2(image.save(file), qPrintable(file));
            for (const QImage& earlier : pages)
                QVERIFY(image != earlier);
            pages.append(image);
        }

        // The same window in Russian and widened by 200 pixels: anchors and translations together.
        form.cbLanguage->setCurrentIndex(form.cbLanguage->findText(QStringLiteral("Russian")));
        QVERIFY(form.cbLanguage->currentIndex() > 0);
        emit form.cbLanguage->activated(form.cbLanguage->currentIndex());
        form.resize(719, 505);
        for (int i = 0; i < 4; ++i) {
            form.PageCtrl->setCurrentIndex(i);
            const QString file = folder + QStringLiteral("/trovex-ru-wide-%1.png").arg(QLatin1String(names[i]));
            QVERIFY2(form.grab().save(file), qPrintable(file));
        }
    }

    // A finished search: rows in the list, sorted by size, with the counts in the status bar.
    void RendersAFinishedSearch()
    {
        const QString folder = qEnvironmentVariable("TROVEX_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
        QVERIFY(QDir().mkpath(folder));
        QTemporaryDir tree;
        const QStringList names = {"report-2024.txt", "notes.txt", "Письмо.txt", "todo.md", "budget.csv",
                                   "docs/manual.txt", "docs/old/readme.txt"};
        int size = 10;
        for (const QString& name : names) {
            const QString path = tree.filePath(name);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(size, 'x') + " needle " + QByteArray(size, 'y'));
            size *= 3;
        }
        TMultiLang lang(QStringLiteral(TROVEX_SOURCE_DIR "/share/lang"));
        TFindForm form(lang);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.resize(719, 505);
        form.cbFolder->setEditText(tree.path());
        form.cbString->setEditText(QStringLiteral("needle"));
        form.btnFind->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form.Running, 10000);
        form.ListViewColumnClick(4);
        QCOMPARE(form.StatusBar->PanelText(0), QStringLiteral("Files found: 7"));
        QVERIFY2(form.grab().save(folder + QStringLiteral("/trovex-search-done.png")), qPrintable(folder));
    }

    // A drag of the selected rows out of the list reaches a drop target as text/uri-list.
    void DragFromTheListDeliversUriList()
    {
        QTemporaryDir tree;
        for (const char* name : {"a.txt", "b.txt"}) {
            QFile file(tree.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        TMultiLang lang(QStringLiteral(TROVEX_SOURCE_DIR "/share/lang"));
        TFindForm form(lang);
        form.move(0, 0);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.cbFolder->setEditText(tree.path());
        form.btnFind->click();
        QTRY_VERIFY_WITH_TIMEOUT(!form.Running, 10000);
        form.ListModel->Flush();
        QCOMPARE(form.ListModel->Count(), 2);
        form.ListView->selectAll();

        TDropTarget target;
        target.setGeometry(600, 100, 150, 150);
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));
        // The drag loop runs inside the mouse move that starts it; timers move the pointer over the
        // target and release it there.
        QTimer::singleShot(150, &target, [&target] {
            QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
            QTimer::singleShot(150, &target, [&target] {
                QTest::mouseMove(target.windowHandle(), QPoint(52, 52));
                QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(52, 52));
            });
        });
        QWidget* viewport = form.ListView->viewport();
        const QPoint start = form.ListView->visualRect(form.ListModel->index(0, 0)).center();
        QMouseEvent press(QEvent::MouseButtonPress, start, viewport->mapToGlobal(start), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &press);
        // Nine pixels start nothing; ten do.
        const QPoint near = start + QPoint(9, 9);
        QMouseEvent small(QEvent::MouseMove, near, viewport->mapToGlobal(near), Qt::NoButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &small);
        QCOMPARE(target.Drops, 0);
        const QPoint far = start + QPoint(10, 0);
        QMouseEvent move(QEvent::MouseMove, far, viewport->mapToGlobal(far), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTRY_COMPARE_WITH_TIMEOUT(target.Drops, 1, 5000);
        const QStringList uris = QString::fromUtf8(target.UriList).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(uris.size(), 2);
        QCOMPARE(QUrl(uris[0]).toLocalFile(), tree.filePath(QStringLiteral("a.txt")));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
