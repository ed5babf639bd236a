// SPDX-License-Identifier: MIT
// Renders the four pages of the main window on a real X server (Xvfb) to PNG files under the
// build folder, so a person can compare them with the design.
#include <QApplication>
#include <QDir>
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
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
