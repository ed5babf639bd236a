// SPDX-License-Identifier: MIT
// The window and trovex-cli list the same files in the same order. Over one generated tree (many
// folders, mixed sizes, PDFs and ZIPs some of them damaged, links, a link loop, dangling links, FIFOs,
// names that are not UTF-8, old and new files) each set of criteria is set in the window with clicks
// and keys and Find is clicked; the rows as the list shows them, their tips and the count in the
// status bar are then compared with what trovex-cli prints for the same criteria with one thread and
// with four. The window uses the engine's default, one thread per core.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "app/ResultModel.h"
#include "app/uMain.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"
#include "shell/Seams.h"
#include "support/MixedTree.h"
#include "WindowTestSetup.h"

using namespace trovex;

namespace
{

constexpr int Timeout = 20000;

// One record of trovex-cli -0 -C: the path's bytes and the text around the hit, unescaped.
struct TRecord
{
    QByteArray Path;
    QByteArray Context;
    QByteArray Match;
};

QByteArray Unescape(const QByteArray& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.append(text[i]);
            continue;
        }
        const char c = text[++i];
        out.append(c == 't' ? '\t' : c == 'r' ? '\r' : c == 'n' ? '\n' : c);
    }
    return out;
}

} // namespace

class uMainRowsTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::TTempTree> FTree;
    std::unique_ptr<QTemporaryDir> FHome;
    std::unique_ptr<TMultiLang> FLang;
    std::unique_ptr<TFindForm> FForm;

    QString Root() const { return QString::fromStdString(FTree->Root()); }
    QString Panel(int index) const { return FForm->StatusBar->PanelText(index); }

    void ShowPage(QWidget* page)
    {
        QTabBar* bar = FForm->PageCtrl->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(FForm->PageCtrl->indexOf(page)).center());
        QCOMPARE(FForm->PageCtrl->currentWidget(), page);
    }

    // A click on the mark of a check box or radio button.
    void Tick(QAbstractButton* box, bool checked)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        const QStyle::SubElement mark =
            qobject_cast<QRadioButton*>(box) ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
        QTest::mouseClick(box, Qt::LeftButton, {}, box->style()->subElementRect(mark, &option, box).center());
        QCOMPARE(box->isChecked(), checked);
    }

    // Click, select all, type; a completion the box offers from its history is not taken.
    void TypeInto(QComboBox* box, const QString& text)
    {
        QLineEdit* edit = box->lineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        if (edit->hasSelectedText())
            QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(box->currentText(), text);
    }

    // One option of the table as a person sets it.
    void Apply(const QString& option)
    {
        const QString name = option.section(u':', 0, 0), value = option.section(u':', 1);
        if (name == QLatin1String("nosub")) {
            Tick(FForm->checkSubFolders, false);
            return;
        }
        if (name == QLatin1String("type")) {
            // From "Named:" the Tab key reaches "Of type:", where the arrow keys walk the list.
            QTest::mouseClick(FForm->cbMask->lineEdit(), Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), FForm->cbTypes);
            for (int i = 0; i < value.toInt(); ++i)
                QTest::keyClick(FForm->cbTypes, Qt::Key_Down);
            QCOMPARE(FForm->cbTypes->currentIndex(), value.toInt());
            return;
        }
        ShowPage(FForm->TabMore);
        if (name == QLatin1String("case")) {
            Tick(FForm->CheckCase, true);
        } else if (name == QLatin1String("nozip")) {
            Tick(FForm->CheckInZip, false);
        } else if (name == QLatin1String("allcp")) {
            Tick(FForm->CheckAllCP, true);
        } else if (name == QLatin1String("windowscp")) {
            Tick(FForm->CheckUnicode, false);
            Tick(FForm->CheckUtf8, false);
        } else if (name == QLatin1String("days")) {
            Tick(FForm->CheckDate, true);
            Tick(FForm->RadioBDays, true);
            TypeInto(FForm->cbLastDays, value);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown option ") + option));
        }
        ShowPage(FForm->TabFind);
    }

    // trovex-cli's records and its standard error.
    QList<TRecord> Cli(QStringList args, QByteArray& err)
    {
        args << QStringList{"-q", "-0", "--show-match", "-C", "--stats"} << Root();
        QProcess cli;
        cli.start(QStringLiteral(TROVEX_CLI_PATH), args);
        if (!cli.waitForFinished(Timeout))
            return {};
        err = cli.readAllStandardError();
        QList<TRecord> records;
        for (const QByteArray& record : cli.readAllStandardOutput().split('\0')) {
            const qsizetype tab = record.lastIndexOf('\t'); // the context's own tabs are escaped
            const qsizetype matchTab = tab > 0 ? record.lastIndexOf('\t', tab - 1) : -1;
            if (matchTab >= 0)
                records.append({record.left(matchTab), Unescape(record.mid(tab + 1)),
                                Unescape(record.mid(matchTab + 1, tab - matchTab - 1))});
        }
        return records;
    }

private slots:
    void initTestCase()
    {
        test::PrepareWindowTests();
        FTree = std::make_unique<test::TTempTree>();
        test::BuildMixedTree(*FTree, 7, 90);
        // Every third file is 40 days old, for the date criterion.
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(FTree->Root()))
            if (entry.is_regular_file() && !entry.is_symlink())
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        for (std::size_t i = 0; i < files.size(); i += 3)
            QVERIFY(test::SetFileTimes(files[i].string(), now - 40 * 86400, 0));
        QVERIFY(files.size() > 900);
    }

    void init()
    {
        FHome = std::make_unique<QTemporaryDir>();
        test::UseUserFoldersIn(FHome->path());
        FLang = std::make_unique<TMultiLang>(FHome->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        FForm->show();
        FForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    }

    void cleanup()
    {
        FForm.reset();
        FLang.reset();
        FHome.reset();
    }

    void cleanupTestCase() { FTree.reset(); }

    void RowsEqualTheCommandLine_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("excluded");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("cliArgs");
        // Patterns that some row's shown path must fit, each, and one that no row's may: the criteria
        // really reach the kinds of entries they are about. "/f<n>.dat" files hold the needle only in UTF-16.
        QTest::addColumn<QStringList>("someRows");
        QTest::addColumn<QString>("noRow");
        using L = QStringList;
        const QString wide16 = QStringLiteral("/f\\d+\\.dat$"); // the needle only in UTF-16
        QTest::newRow("every file") << "*.*" << "" << "" << L{} << L{"-n", "*.*"}
                                    << L{"\\x{FFFD}\\x{FFFD}-Quixel\\.txt$", "/dangling\\.txt$", "/tofile\\.txt$",
                                         "/pipe\\.txt$", "/up$", "\\.zip$", "\\.pdf$"}
                                    << "";
        QTest::newRow("*.txt, ZIP members too") << "*.txt" << "" << "" << L{} << L{"-n", "*.txt"}
                                                << L{"\\.zip$", "\\.txt$"} << "\\.pdf$";
        QTest::newRow("*.txt, no ZIP") << "*.txt" << "" << "" << L{"nozip"} << L{"-n", "*.txt", "--no-zip"}
                                       << L{"\\.txt$"} << "\\.zip$";
        QTest::newRow("a bare word") << "Quixel" << "" << "" << L{} << L{"-n", "Quixel"}
                                     << L{"\\x{FFFD}\\x{FFFD}-Quixel", "/nameQuixel"} << "/f\\d+\\.";
        QTest::newRow("text, any case") << "*" << "quixel" << "" << L{} << L{"-n", "*", "-c", "quixel"}
                                        << L{"\\.pdf$", "\\.zip$", wide16} << "";
        QTest::newRow("text with case, excluding")
            << "*.txt;*.pdf;*.zip" << "Quixel" << "Zorbl" << L{"case"}
            << L{"-n", "*.txt;*.pdf;*.zip", "-c", "Quixel", "-x", "Zorbl", "-s"} << L{"\\.zip$", "\\.pdf$"} << "";
        QTest::newRow("wrong case") << "" << "QUIXEL" << "" << L{"case"} << L{"-c", "QUIXEL", "-s"}
                                    << L{"/nameQuixel\\d+\\.txt$"} << "/f\\d+\\.";
        QTest::newRow("only excluding") << "" << "" << "zorbl" << L{} << L{"-x", "zorbl"} << L{wide16} << "";
        QTest::newRow("all code pages") << "*" << "QUIXEL" << "" << L{"allcp"}
                                        << L{"-n", "*", "-c", "QUIXEL", "-e", "all"} << L{wide16} << "";
        QTest::newRow("windows code page only") << "*" << "quixel" << "" << L{"windowscp", "nozip"}
                                                << L{"-n", "*", "-c", "quixel", "-e", "windows", "--no-zip"}
                                                << L{"\\.txt$", "\\.pdf$"} << wide16;
        QTest::newRow("no subfolders") << "*" << "" << "" << L{"nosub"} << L{"-n", "*", "--no-subfolders"}
                                       << L{"/r11\\.txt$", "/wide$"} << "/wide/";
        QTest::newRow("type PDF, text") << "" << "quixel" << "" << L{"type:3"} << L{"-t", "3", "-c", "quixel"}
                                        << L{"\\.pdf$"} << "\\.txt$";
        QTest::newRow("previous 10 days") << "*.txt" << "" << "" << L{"days:10"}
                                          << L{"-n", "*.txt", "--last-days", "10"} << L{"\\.txt$"} << "";
    }

    void RowsEqualTheCommandLine()
    {
        QFETCH(QString, mask);
        QFETCH(QString, text);
        QFETCH(QString, excluded);
        QFETCH(QStringList, options);
        QFETCH(QStringList, cliArgs);
        QFETCH(QStringList, someRows);
        QFETCH(QString, noRow);

        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbMask, mask);
        TypeInto(FForm->cbString, text);
        TypeInto(FForm->cbNoString, excluded);
        for (const QString& option : options)
            Apply(option);
        if (QTest::currentTestFailed())
            return; // a box or check box did not take what was typed or clicked
        QTest::mouseClick(FForm->btnFind, Qt::LeftButton);
        // Ended as the person sees it: Stop greyed again and the count in the status bar.
        QVERIFY(QTest::qWaitFor([this] { return !FForm->btnStop->isEnabled() && !Panel(0).isEmpty(); }, Timeout));
        QVERIFY(FForm->btnFind->isEnabled());

        // The rows top to bottom as shown, never sorted: Folder cell then File name cell, and the tip.
        // Names that are not UTF-8 show U+FFFD; the shown text is compared with trovex-cli's bytes
        // decoded the same way, and the row's own bytes (what every operation on it uses) with
        // trovex-cli's bytes as they are.
        QAbstractItemModel* shown = FForm->ListView->model();
        QCOMPARE(shown->rowCount(), FForm->ListModel->Count());
        QStringList texts, tips;
        QList<QByteArray> bytes;
        for (int row = 0; row < shown->rowCount(); ++row) {
            texts.append(shown->index(row, TResultModel::rcFolder).data().toString() +
                         shown->index(row, TResultModel::rcName).data().toString());
            tips.append(shown->index(row, TResultModel::rcName).data(Qt::ToolTipRole).toString());
            bytes.append(QByteArray::fromStdString(FForm->ListModel->Path(row)));
        }

        for (const char* threads : {"1", "4"}) {
            QByteArray err;
            const QList<TRecord> records = Cli(QStringList{"--threads", threads} + cliArgs, err);
            const QString label = QStringLiteral("--threads ") + QLatin1String(threads);
            QVERIFY2(err.contains("Files found: "), qPrintable(label + QStringLiteral(": ") + QString::fromUtf8(err)));
            QStringList cliTexts, cliTips;
            QList<QByteArray> cliBytes;
            for (const TRecord& record : records) {
                cliTexts.append(QString::fromUtf8(record.Path));
                // The tip: the text around the hit, and under it where and how the file matched.
                cliTips.append(record.Context.isEmpty() ? QString()
                                                        : QStringLiteral("...") + QString::fromUtf8(record.Context) +
                                                              QStringLiteral("...\n(") + QString::fromUtf8(record.Match) +
                                                              QLatin1Char(')'));
                cliBytes.append(record.Path);
            }
            QCOMPARE(texts, cliTexts);
            QCOMPARE(bytes, cliBytes);
            QCOMPARE(tips, cliTips);
            QCOMPARE(Panel(0), QStringLiteral("Files found: %1").arg(records.size()));
            QVERIFY2(err.contains("Files found: " + QByteArray::number(records.size()) + '\n'), err.constData());
            // The engine's own count of entries, which the window adds to its running total.
            QVERIFY2(err.contains("Entries examined: " + QByteArray::number(FForm->Engine->FilesChecked()) + '\n'),
                     err.constData());
        }
        // The first row whose shown path fits, or none.
        const auto fitting = [&](const QString& pattern) -> QString {
            const QRegularExpression re(pattern);
            for (const QString& path : texts)
                if (re.match(path).hasMatch())
                    return path;
            return {};
        };
        for (const QString& pattern : someRows)
            QVERIFY2(!fitting(pattern).isEmpty(), qPrintable(pattern));
        QVERIFY2(noRow.isEmpty() || fitting(noRow).isEmpty(), qPrintable(noRow + QStringLiteral(": ") + fitting(noRow)));
        qInfo("%d rows", int(texts.size()));
    }
};

QTEST_MAIN(uMainRowsTest)
#include "uMainRowsTest.moc"
