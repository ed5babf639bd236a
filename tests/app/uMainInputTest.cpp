// SPDX-License-Identifier: MIT
// The window driven as a person drives it: mouse clicks on buttons, tabs, check boxes, column
// titles and rows, keys in the boxes, the date pickers and the list, the popup menu opened by a
// right click or its key. Each case checks what the person then sees: row order, captions and
// states, status texts, the clipboard, files on disk.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "app/ResultModel.h"
#include "app/uMain.h"
#include "app/Widgets.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "search/FindFile.h"
#include "shell/Seams.h"
#include "shell/ShellUtl.h"
#include "WindowTestSetup.h"

using namespace trovex;

// Runs a checking helper and ends the test when it failed, as a QVERIFY in the test itself would.
#define CHECKED(call)                                                                                            \
    do {                                                                                                         \
        call;                                                                                                    \
        if (QTest::currentTestFailed())                                                                          \
            return;                                                                                              \
    } while (false)

namespace
{

constexpr int Timeout = 10000;

void WriteFile(const QString& path, const QByteArray& bytes, qint64 ageSeconds = -1)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.flush(); // before the time is set: a later write would move it
    if (ageSeconds >= 0)
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
}

} // namespace

class uMainInputTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> FHome;
    std::unique_ptr<QTemporaryDir> FTree;
    std::unique_ptr<TMultiLang> FLang;
    std::unique_ptr<TFindForm> FForm;

    QString Root() const { return FTree->path() + QLatin1Char('/'); }
    QString Panel(int index) const { return FForm->StatusBar->PanelText(index); }

    // The rows as the list shows them, top to bottom: File name cells, or full paths.
    QStringList Names() const
    {
        QStringList names;
        QAbstractItemModel* model = FForm->ListView->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names.append(model->index(row, 0).data().toString());
        return names;
    }
    QStringList Paths() const
    {
        QStringList paths;
        QAbstractItemModel* model = FForm->ListView->model();
        for (int row = 0; row < model->rowCount(); ++row)
            paths.append(model->index(row, 1).data().toString() + model->index(row, 0).data().toString());
        return paths;
    }

    bool WaitEnded() { return QTest::qWaitFor([this] { return !FForm->Running; }, Timeout); }

    void Press(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // A click on the page's tab.
    void ShowPage(QWidget* page)
    {
        QTabBar* bar = FForm->PageCtrl->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(FForm->PageCtrl->indexOf(page)).center());
        QCOMPARE(FForm->PageCtrl->currentWidget(), page);
    }

    // A click on a check box's or radio button's mark, where a person aims.
    void Tick(QAbstractButton* box)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        const QStyle::SubElement mark =
            qobject_cast<QRadioButton*>(box) ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
        QTest::mouseClick(box, Qt::LeftButton, {}, box->style()->subElementRect(mark, &option, box).center());
    }

    // A click on a column title, in the middle of its section.
    void ClickTitle(int column)
    {
        QHeaderView* header = FForm->ListView->header();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    QPoint RowPoint(int row) const
    {
        return FForm->ListView->visualRect(FForm->ListView->model()->index(row, 0)).center();
    }

    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseClick(FForm->ListView->viewport(), Qt::LeftButton, modifiers, RowPoint(row));
    }

    // A right click on a row, through the window as the windowing system delivers it, so the
    // toolkit turns it into a context-menu request.
    void RightClickRow(int row)
    {
        const QPoint at = FForm->ListView->viewport()->mapTo(FForm.get(), RowPoint(row));
        QTest::mouseClick(FForm->windowHandle(), Qt::RightButton, {}, at);
    }

    // The menu key as the windowing system hands it to the window: a keyboard context-menu request,
    // which the window gives to the control with the focus. (The offscreen platform has no keyboard
    // of its own to turn the key into one.)
    void PressMenuKey()
    {
        QWindow* window = FForm->windowHandle();
        QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(), window->mapToGlobal(QPoint()));
        QCoreApplication::sendEvent(window, &event);
    }

    // Replaces the text of an editable box the way a person does: click, select all, type.
    void TypeInto(QComboBox* box, const QString& text)
    {
        QLineEdit* edit = box->lineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }

    // The folder box holds the tree; Find is pressed with the mouse and the run waited for.
    void FindWithMask(const QString& mask)
    {
        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbMask, mask);
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
    }

    // What the window shows once no run goes on.
    void VerifyEnded(bool rows)
    {
        QVERIFY(!FForm->Running);
        QVERIFY(!FForm->btnStop->isEnabled());
        QCOMPARE(FForm->btnStop->text(), QStringLiteral("Stop"));
        QVERIFY(!FForm->FindAnimate->Active());
        QVERIFY(FForm->btnFind->isEnabled());
        QVERIFY(FForm->btnAddMore->isEnabled());
        QCOMPARE(FForm->btnFindInto->isEnabled(), rows);
        QCOMPARE(Panel(1), QString());
    }

    // The text of the tip on screen, empty when none is shown.
    static QString ShownTip()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("QTipLabel") && w->isVisible())
                return static_cast<QLabel*>(w)->text();
        return {};
    }

    QStringList ClipboardPaths() const
    {
        QStringList paths;
        if (const QMimeData* data = QGuiApplication::clipboard()->mimeData())
            for (const QUrl& url : data->urls())
                paths.append(url.toLocalFile());
        return paths;
    }

private slots:
    void initTestCase()
    {
        test::PrepareWindowTests();
    }

    void init()
    {
        FHome = std::make_unique<QTemporaryDir>();
        FTree = std::make_unique<QTemporaryDir>();
        test::UseUserFoldersIn(FHome->path());
        TMessageBox::Shown().clear();
        TLauncher::Opened().clear();
        TLauncher::ShownItems().clear();
        TLauncher::ShownProperties().clear();
        TLauncher::SetFileManagerPresent(false);
        FLang = std::make_unique<TMultiLang>(FHome->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        FForm->show();
        FForm->activateWindow(); // a bare X server has no window manager to do it
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    }

    void cleanup()
    {
        FForm.reset();
        FLang.reset();
    }

    // Clicks on the column titles sort the list, each column with its own direction, and the title
    // shows which; Ctrl+A and Ctrl+C then copy the files in the order shown.
    void ColumnTitlesSort_data()
    {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("order"); // sort indicator: 0 ascending, 1 descending
        QTest::newRow("Size") << QList<int>{4} << QStringList{"delta.txt", "Alpha.md", "beta.txt", "gamma.c"} << 0;
        QTest::newRow("Size twice") << QList<int>{4, 4} << QStringList{"gamma.c", "beta.txt", "Alpha.md", "delta.txt"}
                                    << 1;
        QTest::newRow("Size twice, then File name")
            << QList<int>{4, 4, 0} << QStringList{"Alpha.md", "beta.txt", "delta.txt", "gamma.c"} << 0;
        QTest::newRow("File name twice") << QList<int>{0, 0} << QStringList{"gamma.c", "delta.txt", "beta.txt", "Alpha.md"}
                                         << 1;
        QTest::newRow("Folder") << QList<int>{1} << QStringList{"Alpha.md", "beta.txt", "gamma.c", "delta.txt"} << 0;
        QTest::newRow("Type") << QList<int>{2} << QStringList{"gamma.c", "Alpha.md", "beta.txt", "delta.txt"} << 0;
        QTest::newRow("Modified") << QList<int>{3} << QStringList{"delta.txt", "beta.txt", "gamma.c", "Alpha.md"} << 0;
        QTest::newRow("Modified, Size, Modified")
            << QList<int>{3, 4, 3} << QStringList{"Alpha.md", "gamma.c", "beta.txt", "delta.txt"} << 1;
    }

    void ColumnTitlesSort()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, names);
        QFETCH(int, order);
        WriteFile(Root() + "beta.txt", QByteArray(300, 'b'), 3 * 86400);
        WriteFile(Root() + "Alpha.md", QByteArray(20, 'a'), 1 * 86400);
        WriteFile(Root() + "gamma.c", QByteArray(1000, 'g'), 2 * 86400);
        WriteFile(Root() + "sub/delta.txt", QByteArray(5, 'd'), 4 * 86400);
        CHECKED(FindWithMask(QStringLiteral("*.md *.txt *.c"))); // files only: "All files" would list "sub" too
        QCOMPARE(Names(), (QStringList{"Alpha.md", "beta.txt", "gamma.c", "delta.txt"})); // as found
        QHeaderView* header = FForm->ListView->header();
        QCOMPARE(header->sortIndicatorSection(), -1); // no arrow before the first sort

        for (int column : clicks)
            ClickTitle(column);
        QCOMPARE(Names(), names);
        QCOMPARE(header->sortIndicatorSection(), clicks.last());
        QCOMPARE(header->sortIndicatorOrder(), order == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);

        // The click on the title leaves the keyboard with the list, where Ctrl+A and Ctrl+C act.
        QVERIFY(FForm->ListView->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(ClipboardPaths(), Paths());
        QCOMPARE(QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts), Paths());
    }

    // Find, Stop, Continue and Add pressed with the mouse: captions, states and the count as shown.
    void FindStopContinueAdd()
    {
        for (int i = 0; i < 400; ++i)
            WriteFile(Root() + QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbMask, QStringLiteral("*.txt"));
        Press(FForm->btnFind);
        QVERIFY(FForm->btnStop->isEnabled());
        Press(FForm->btnStop); // the worker waits on its first event, so the pause lands early
        QCOMPARE(FForm->btnStop->text(), QStringLiteral("Continue"));
        QVERIFY(!FForm->FindAnimate->Active());
        QVERIFY(FForm->Running);
        Press(FForm->btnStop);
        QCOMPARE(FForm->btnStop->text(), QStringLiteral("Stop"));
        QVERIFY(FForm->FindAnimate->Active() || !FForm->Running);
        QVERIFY(WaitEnded());
        CHECKED(VerifyEnded(true));
        QCOMPARE(Panel(0), QStringLiteral("Files found: 400"));
        QCOMPARE(Names().size(), 400);

        Press(FForm->btnAddMore);
        QVERIFY(WaitEnded());
        QCOMPARE(Names().size(), 800); // appended: each file twice
        QCOMPARE(Panel(0), QStringLiteral("Files found: 400"));
        CHECKED(VerifyEnded(true));
    }

    // "In results" keeps the listed files that meet the new criteria; "Go back" brings the list back.
    void InResultsAndGoBack()
    {
        WriteFile(Root() + "a.txt", "with needle");
        WriteFile(Root() + "b.txt", "without");
        WriteFile(Root() + "c.doc", "needle too");
        CHECKED(FindWithMask(QString()));
        QCOMPARE(Names(), (QStringList{"a.txt", "b.txt", "c.doc"}));
        QVERIFY(!FForm->btnBack->isEnabled());
        TypeInto(FForm->cbString, QStringLiteral("needle"));
        TypeInto(FForm->cbMask, QStringLiteral("*.txt"));
        Press(FForm->btnFindInto);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), QStringList{"a.txt"});
        QCOMPARE(Panel(0), QStringLiteral("Files found: 1"));
        CHECKED(VerifyEnded(true));
        QVERIFY(FForm->btnBack->isEnabled());
        Press(FForm->btnBack);
        QCOMPARE(Names(), (QStringList{"a.txt", "b.txt", "c.doc"}));
        QVERIFY(!FForm->btnBack->isEnabled());
        CHECKED(VerifyEnded(true));
    }

    // "In results" pressed while a run has found nothing yet ends that run and shows it ended.
    void InResultsBeforeAnyRowEndsTheRun()
    {
        for (int i = 0; i < 300; ++i)
            WriteFile(Root() + QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
        // A first run leaves rows, so "In results" is enabled during the next run.
        CHECKED(FindWithMask(QStringLiteral("f000.txt")));
        QCOMPARE(Names(), QStringList{"f000.txt"});
        TypeInto(FForm->cbMask, QStringLiteral("*.none"));
        Press(FForm->btnFind);
        Press(FForm->btnStop); // paused before the end: the run is still going, with no row
        QVERIFY(FForm->Running);
        QCOMPARE(FForm->btnStop->text(), QStringLiteral("Continue"));
        Press(FForm->btnFindInto);
        CHECKED(VerifyEnded(false));
        QVERIFY(Names().isEmpty());
        QVERIFY(!FForm->btnBack->isEnabled()); // nothing was saved to go back to
        QVERIFY(FForm->btnFindInto->isEnabled() == false);
        // A new Find starts at once: no run is left to ask about.
        TypeInto(FForm->cbMask, QStringLiteral("f00*.txt"));
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QVERIFY(TMessageBox::Shown().isEmpty());
        QCOMPARE(Names().size(), 10);
    }

    // A count that is not a number: its message, and no count of the last run left in the status bar.
    void BadCountClearsTheCountPanel_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<QString>("box");
        QTest::newRow("months") << "RadioBMonth" << "cbLastMonth";
        QTest::newRow("days") << "RadioBDays" << "cbLastDays";
    }

    void BadCountClearsTheCountPanel()
    {
        QFETCH(QString, radio);
        QFETCH(QString, box);
        WriteFile(Root() + "a.txt", "x");
        WriteFile(Root() + "b.txt", "x");
        CHECKED(FindWithMask(QStringLiteral("*.txt")));
        QCOMPARE(Panel(0), QStringLiteral("Files found: 2"));

        CHECKED(ShowPage(FForm->TabMore));
        Tick(FForm->CheckDate);
        Tick(FForm->findChild<QRadioButton*>(radio));
        TypeInto(FForm->findChild<QComboBox*>(box), QStringLiteral("x1"));
        TMessageBox::SetNextAnswer(QMessageBox::Ok);
        Press(FForm->btnFind);
        QCOMPARE(TMessageBox::Shown(), QStringList{"'x1' is not a valid integer value"});
        QCOMPARE(Panel(0), QString());
        QVERIFY(Names().isEmpty());
        CHECKED(VerifyEnded(false));

        // Mended, the count is read and the run goes on.
        TypeInto(FForm->findChild<QComboBox*>(box), QStringLiteral("2"));
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(Panel(0), QStringLiteral("Files found: 2"));
    }

    // A FIFO among the listed files does not match a text, and the files after it are still tested.
    void InResultsPassesOverAFifo()
    {
        WriteFile(Root() + "a.txt", "needle");
        QCOMPARE(::mkfifo(QFile::encodeName(Root() + "m-pipe.txt").constData(), 0600), 0);
        WriteFile(Root() + "n.txt", "nothing");
        WriteFile(Root() + "z.txt", "a needle");
        CHECKED(FindWithMask(QStringLiteral("*.txt")));
        QCOMPARE(Names(), (QStringList{"a.txt", "m-pipe.txt", "n.txt", "z.txt"}));
        TypeInto(FForm->cbString, QStringLiteral("needle"));
        Press(FForm->btnFindInto);
        QVERIFY(WaitEnded());
        QVERIFY(TMessageBox::Shown().isEmpty());
        QCOMPARE(Names(), (QStringList{"a.txt", "z.txt"}));
        CHECKED(VerifyEnded(true));
    }

    // "Show icons" switched on the Options page: rows get the desktop's type name and icon; a click
    // on "Type" sorts by those names. Switched off, the extension comes back for new rows.
    void ShowIconsGivesTypeNamesAndIcons()
    {
        WriteFile(Root() + "notes.txt", "x");
        WriteFile(Root() + "page.html", "x");
        WriteFile(Root() + "tool.sh", "x");
        QDir().mkpath(Root() + "zdir");
        CHECKED(ShowPage(FForm->TabConfig));
        Tick(FForm->CheckIcons);
        QVERIFY(FForm->CheckIcons->isChecked());
        CHECKED(ShowPage(FForm->TabFind));
        CHECKED(FindWithMask(QStringLiteral("*")));
        const QStringList paths = Paths();
        QCOMPARE(Names(), (QStringList{"notes.txt", "page.html", "tool.sh", "zdir"}));
        QTest::qWait(50); // a paint
        QAbstractItemModel* model = FForm->ListView->model();
        QStringList types;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString expected = GetFileTypeName(paths[row]);
            QVERIFY(!expected.isEmpty());
            QCOMPARE(model->index(row, 2).data().toString(), expected);
            QCOMPARE(model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull(),
                     GetFileIconIndex(paths[row]) < 0);
            types.append(expected);
        }
        QVERIFY(types[0] != QStringLiteral("txt"));

        ClickTitle(2);
        QStringList sorted;
        for (int row = 0; row < model->rowCount(); ++row)
            sorted.append(model->index(row, 2).data().toString());
        QStringList expected = types;
        std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
            return a.toUpper().toUtf8() < b.toUpper().toUtf8(); // the type names here are plain ASCII
        });
        QCOMPARE(sorted, expected);

        CHECKED(ShowPage(FForm->TabConfig));
        Tick(FForm->CheckIcons);
        CHECKED(ShowPage(FForm->TabFind));
        CHECKED(FindWithMask(QStringLiteral("*.txt")));
        QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("txt"));
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).isValid());
    }

    // Issue 24: the first sort by Type with "Show icons" looked up every row's type at once on the
    // window's thread; the window froze for seconds. Now the lookups run in slices between events:
    // an event queued by the click is served before the sort is done, and the sort then comes.
    void FirstTypeSortLetsTheWindowAnswer()
    {
        CHECKED(ShowPage(FForm->TabConfig));
        Tick(FForm->CheckIcons);
        QVERIFY(FForm->CheckIcons->isChecked());
        CHECKED(ShowPage(FForm->TabFind));
        const char* const extensions[] = {"txt", "html", "sh", "c", "tar.gz", "png", "md"};
        constexpr int rowCount = 30000;
        for (int i = 0; i < rowCount; ++i) {
            TFindFileInfo info;
            info.Name = QStringLiteral("f%1.%2").arg(rowCount - i, 5, 10, QLatin1Char('0')).arg(QLatin1String(extensions[i % 7])).toStdString();
            info.FileName = Root().toStdString() + info.Name;
            info.FindData.Attributes = faArchive;
            FForm->ListModel->AppendShellTyped(info);
        }
        FForm->ListModel->Flush();
        QAbstractItemModel* model = FForm->ListView->model();
        auto sortedByType = [model] {
            for (int row = 1; row < model->rowCount(); ++row)
                if (model->index(row - 1, 2).data().toString().toUpper().toUtf8() > model->index(row, 2).data().toString().toUpper().toUtf8())
                    return false;
            return true;
        };
        QVERIFY(!sortedByType());

        bool answeredBeforeTheSort = false;
        QTimer::singleShot(0, FForm.get(), [&] { answeredBeforeTheSort = !sortedByType(); });
        ClickTitle(2);
        QCOMPARE(FForm->ListView->header()->sortIndicatorSection(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(sortedByType(), Timeout);
        QVERIFY(answeredBeforeTheSort);
        QCOMPARE(model->rowCount(), rowCount);
        QVERIFY(model->index(0, 2).data().toString() != model->index(rowCount - 1, 2).data().toString());
    }

    // Issue 24: "Go back" dropped rows whose name holds a line feed (the list was one path a line).
    // The list is NUL-separated now; a list left in the older form is still read.
    void GoBackKeepsEveryName()
    {
        WriteFile(Root() + "a.txt", "needle");
        WriteFile(Root() + "line\nfeed.txt", "x");
        WriteFile(Root() + "z.txt", "x");
        CHECKED(FindWithMask(QStringLiteral("*.txt")));
        QCOMPARE(Names(), (QStringList{"a.txt", "line\nfeed.txt", "z.txt"}));
        TypeInto(FForm->cbString, QStringLiteral("needle"));
        Press(FForm->btnFindInto);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), QStringList{"a.txt"});
        Press(FForm->btnBack);
        QCOMPARE(Names(), (QStringList{"a.txt", "line\nfeed.txt", "z.txt"}));

        Press(FForm->btnFindInto);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), QStringList{"a.txt"});
        QFile old(TFindForm::BackListPath());
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write(QFile::encodeName(Root() + "z.txt\n" + Root() + "a.txt\n"));
        old.close();
        Press(FForm->btnBack);
        QCOMPARE(Names(), (QStringList{"z.txt", "a.txt"}));
    }

    // Issue 24: a start that failed after "Start new search?" -> Yes left the ended run's folder in
    // the second panel.
    void FailedStartAfterYesShowsEnded()
    {
        for (int i = 0; i < 400; ++i)
            WriteFile(Root() + QStringLiteral("sub/f%1.txt").arg(i, 3, 10, QLatin1Char('0')), "x");
        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbMask, QStringLiteral("*.txt"));
        Press(FForm->btnFind);
        Press(FForm->btnStop); // paused: the run goes on, its folder in the status bar
        QVERIFY(FForm->Running);
        QTRY_VERIFY_WITH_TIMEOUT(!Panel(1).isEmpty(), Timeout);
        CHECKED(ShowPage(FForm->TabMore));
        Tick(FForm->CheckDate);
        Tick(FForm->RadioBDays);
        TypeInto(FForm->cbLastDays, QStringLiteral("x1"));
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        TMessageBox::SetNextAnswer(QMessageBox::Ok);
        Press(FForm->btnFind);
        QCOMPARE(TMessageBox::Shown(), (QStringList{"Start new search?", "'x1' is not a valid integer value"}));
        CHECKED(VerifyEnded(false));
        QTest::qWait(250); // a flush of the status bar, were a timer left running
        QCOMPARE(Panel(1), QString());
    }

    // Issue 24: inline completion put a longer history entry into the Look-in box, and Enter or
    // Find searched that. What was typed is what is searched.
    void CompletionSearchesWhatWasTyped_data()
    {
        QTest::addColumn<bool>("enter");
        QTest::newRow("Enter") << true;
        QTest::newRow("Find clicked") << false;
    }

    void CompletionSearchesWhatWasTyped()
    {
        QFETCH(bool, enter);
        WriteFile(Root() + "top.txt", "x");
        WriteFile(Root() + "subdir/deep.txt", "x");
        TypeInto(FForm->cbFolder, Root() + "subdir/");
        TypeInto(FForm->cbMask, QStringLiteral("*.txt"));
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), QStringList{"deep.txt"});
        QCOMPARE(FForm->cbFolder->itemText(0), Root() + "subdir/"); // in the history now

        TypeInto(FForm->cbFolder, Root());
        QCOMPARE(FForm->cbFolder->currentText(), Root());
        if (enter)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (!enter || !FForm->Running)
            Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), (QStringList{"top.txt", "deep.txt"}));
    }

    // Issue 24: a name whose bytes are not UTF-8 read "bad\uFFFD.txt" in the question, the same as
    // a name holding U+FFFD itself. Its bytes are written escaped.
    void TrashQuestionTellsNamesApart()
    {
        const QByteArray bad = QFile::encodeName(Root()) + "bad\xFF.txt";
        QFile file(QString::fromLocal8Bit(bad));
        {
            const int fd = ::open(bad.constData(), O_WRONLY | O_CREAT, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        CHECKED(FindWithMask(QStringLiteral("bad*")));
        QCOMPARE(Names().size(), 1);
        ClickRow(0);
        TMessageBox::SetNextAnswer(QMessageBox::No);
        QTest::keySequence(FForm->ListView, FForm->mDelete->shortcut());
        QCOMPARE(TMessageBox::Shown(), QStringList{"Are you sure you want to move 'bad\\xFF.txt' to the trash?"});
        QVERIFY(::access(bad.constData(), F_OK) == 0);
    }

    // Issue 24: a file on a read-only mount could not go to the trash, and the box gave the error
    // of the move tried across mounts ("Invalid cross-device link") instead of the real cause.
    void TrashFailureSaysTheRealCause()
    {
        // A mount of our own, in a mount namespace of this thread's own, so nothing outside sees it.
        if (::geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            QSKIP("needs root and a mount namespace of its own to make a read-only mount");
        const QByteArray mountPoint = QFile::encodeName(Root() + "ro");
        QVERIFY(QDir().mkpath(Root() + "ro"));
        QVERIFY(::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, nullptr) == 0);
        WriteFile(Root() + "ro/kept.txt", "x");
        QVERIFY(::mount(nullptr, mountPoint.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        // The row as a run would add it: the run's worker thread is outside this namespace.
        TFindFileInfo info;
        info.Name = "kept.txt";
        info.FileName = QFile::encodeName(Root() + "ro/kept.txt").toStdString();
        info.FindData.Attributes = faArchive;
        FForm->ListModel->Append(info);
        FForm->ListModel->Flush();
        ClickRow(0);
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        TMessageBox::SetNextAnswer(QMessageBox::Ok);
        QTest::keySequence(FForm->ListView, FForm->mDelete->shortcut());
        ::umount2(mountPoint.constData(), MNT_DETACH);
        QCOMPARE(TMessageBox::Shown().size(), 2);
        QVERIFY2(TMessageBox::Shown()[1].endsWith(QStringLiteral("kept.txt: Read-only file system")), qPrintable(TMessageBox::Shown()[1]));
        QCOMPARE(Names(), QStringList{"kept.txt"});
    }

    // Issue 24: an uninstall that leaves the program's files (their folder is not the program's own)
    // said nothing. It says why.
    void UninstallRefusalSaysWhy()
    {
        const QString folder = FHome->path() + QStringLiteral("/trovex-build");
        QVERIFY(QDir().mkpath(folder));
        WriteFile(folder + "/trovex", "program");
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        TMessageBox::SetNextAnswer(QMessageBox::Ok);
        Uninstall(QFile::encodeName(folder + "/trovex").toStdString());
        QCOMPARE(TMessageBox::Shown().size(), 2);
        QVERIFY2(TMessageBox::Shown()[1].contains(folder) && TMessageBox::Shown()[1].contains(QStringLiteral("no .trovex-owned marker")),
                 qPrintable(TMessageBox::Shown()[1]));
        QVERIFY(QFile::exists(folder + "/trovex"));
    }

    // Enter in a criteria box presses Find with what was typed there; leaving the box by Tab puts
    // the value first in its history (not for the excluded text, which keeps none).
    void EnterInTheBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("history");
        QTest::newRow("Named") << "cbMask" << "*.doc" << QStringList{"b.doc"} << true;
        QTest::newRow("Containing text") << "cbString" << "needle" << QStringList{"a.txt"} << true;
        QTest::newRow("Not containing") << "cbNoString" << "needle" << QStringList{"b.doc", "c.txt"} << false;
        QTest::newRow("Folder") << "cbFolder" << "<root>sub" << QStringList{"c.txt"} << true;
    }

    void EnterInTheBoxes()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        QFETCH(bool, history);
        WriteFile(Root() + "a.txt", "a needle");
        WriteFile(Root() + "b.doc", "other");
        WriteFile(Root() + "sub/c.txt", "other");
        TypeInto(FForm->cbFolder, Root());
        text.replace(QStringLiteral("<root>"), Root());
        auto* combo = FForm->findChild<QComboBox*>(box);
        TypeInto(combo, text);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), names);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Tab);
        QVERIFY(!combo->hasFocus());
        QCOMPARE(combo->count() > 0 && combo->itemText(0) == text, history);
    }

    // Check boxes that switch others: clicked on, the others follow; clicked off, they return.
    void CheckBoxesSwitchOthers_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("enabledWhenChecked");
        QTest::addColumn<QStringList>("disabledWhenChecked");
        QTest::newRow("Use all code pages")
            << "CheckAllCP" << QStringList{}
            << QStringList{"CheckAnsi", "CheckOEM", "CheckUnicode", "CheckKOI8", "CheckUtf8"};
        QTest::newRow("Date Modified") << "CheckDate"
                                       << QStringList{"DatesGBox", "RadioBFromTo", "RadioBMonth", "RadioBDays",
                                                      "eDateFrom", "eDateTo", "lTo", "lMonth", "lDays",
                                                      "cbLastMonth", "cbLastDays"}
                                       << QStringList{};
        QTest::newRow("Report options") << "CheckReport"
                                        << QStringList{"CheckRFileName", "CheckRFileExt", "CheckRPath", "CheckRDate",
                                                       "CheckRSize", "CheckRAll", "mReport", "mReportOpen"}
                                        << QStringList{};
    }

    void CheckBoxesSwitchOthers()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, enabledWhenChecked);
        QFETCH(QStringList, disabledWhenChecked);
        auto* check = FForm->findChild<QCheckBox*>(box);
        QWidget* page = check->parentWidget();
        while (FForm->PageCtrl->indexOf(page) < 0)
            page = page->parentWidget();
        CHECKED(ShowPage(page));
        auto enabled = [this](const QString& name) {
            if (auto* action = FForm->findChild<QAction*>(name))
                return action->isEnabled();
            return FForm->findChild<QWidget*>(name)->isEnabled();
        };
        for (int round = 0; round < 2; ++round) {
            const bool was = check->isChecked();
            Tick(check);
            QCOMPARE(check->isChecked(), !was);
            for (const QString& name : enabledWhenChecked)
                QVERIFY2(enabled(name) == check->isChecked(), qPrintable(name));
            for (const QString& name : disabledWhenChecked)
                QVERIFY2(enabled(name) == !check->isChecked(), qPrintable(name));
        }
    }

    // "Combo boxes" unticked turns the text and folder boxes into plain fields; typed text stays.
    void ComboBoxesOption()
    {
        TypeInto(FForm->cbString, QStringLiteral("kept"));
        CHECKED(ShowPage(FForm->TabConfig));
        Tick(FForm->CheckComboStyle);
        QVERIFY(FForm->cbString->Simple() && FForm->cbFolder->Simple());
        QCOMPARE(FForm->cbString->currentText(), QStringLiteral("kept"));
        Tick(FForm->CheckComboStyle);
        QVERIFY(!FForm->cbString->Simple() && !FForm->cbFolder->Simple());
    }

    // The pages come up by a click on their tab and by Ctrl+Tab from inside them.
    void TabsSwitch()
    {
        const QList<QPair<QWidget*, QWidget*>> pages = {{FForm->TabMore, FForm->CheckCase},
                                                        {FForm->TabConfig, FForm->CheckIcons},
                                                        {FForm->PageAbout, FForm->lWebPage},
                                                        {FForm->TabFind, FForm->cbMask}};
        for (const auto& [page, control] : pages) {
            CHECKED(ShowPage(page));
            QVERIFY2(control->isVisible(), qPrintable(control->objectName()));
        }
        FForm->cbMask->setFocus();
        for (const auto& [page, control] : pages) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(FForm->PageCtrl->currentWidget(), page);
            QVERIFY(control->isVisible());
        }
    }

    // The date range as set with the pickers' keys and the count boxes decides what is found.
    void DateRange_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("today to now") << "" << 0 << QStringList{"today.txt"};
        QTest::newRow("from a year earlier") << "eDateFrom" << int(Qt::Key_Down) << QStringList{"old.txt", "today.txt"};
        QTest::newRow("from next year") << "eDateFrom" << int(Qt::Key_Up) << QStringList{};
        QTest::newRow("to a year ago") << "eDateTo" << int(Qt::Key_Down) << QStringList{};
        QTest::newRow("previous 50 days") << "cbLastDays:50" << 0 << QStringList{"old.txt", "today.txt"};
        QTest::newRow("previous 30 days") << "cbLastDays:30" << 0 << QStringList{"today.txt"};
        QTest::newRow("previous 2 months") << "cbLastMonth:2" << 0 << QStringList{"old.txt", "today.txt"};
    }

    void DateRange()
    {
        QFETCH(QString, control);
        QFETCH(int, key);
        QFETCH(QStringList, names);
        const qint64 sinceMidnight = QTime(0, 0).secsTo(QTime::currentTime());
        WriteFile(Root() + "today.txt", "x", std::min<qint64>(10, sinceMidnight));
        WriteFile(Root() + "old.txt", "x", 40 * 86400);
        TypeInto(FForm->cbFolder, Root());
        CHECKED(ShowPage(FForm->TabMore));
        Tick(FForm->CheckDate);
        if (control.startsWith(QLatin1String("cb"))) {
            const QStringList parts = control.split(u':');
            Tick(parts[0] == QLatin1String("cbLastDays") ? FForm->RadioBDays : FForm->RadioBMonth);
            TypeInto(FForm->findChild<QComboBox*>(parts[0]), parts[1]);
        } else if (!control.isEmpty()) {
            // The last section of the picker is the year: End goes there, the arrow steps it.
            auto* edit = FForm->findChild<QDateTimeEdit*>(control);
            const QDate before = edit->date();
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(10, edit->height() / 2));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            QCOMPARE(edit->date().year(), before.year() + (key == Qt::Key_Down ? -1 : 1));
        }
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), names);
    }

    // Every command of the list, by its shortcut, from the menu opened with a right click or with
    // the menu key, and Open by a double click: what it does to the desktop, the clipboard and the disk.
    void ListCommands_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("way"); // "key", "right click", "menu key", "double click"
        for (const char* item : {"mOpen", "mFolder", "mReport", "mCopy", "mDelete", "mProp"}) {
            QTest::addRow("%s by its key", item) << item << "key";
            QTest::addRow("%s by a right click", item) << item << "right click";
        }
        QTest::addRow("mReportOpen by the menu key") << "mReportOpen" << "menu key";
        QTest::addRow("mCopy by the menu key") << "mCopy" << "menu key";
        QTest::addRow("mOpen by a double click") << "mOpen" << "double click";
    }

    void ListCommands()
    {
        QFETCH(QString, item);
        QFETCH(QString, way);
        WriteFile(Root() + "a.txt", "aaaa");
        WriteFile(Root() + "b.txt", "bb");
        WriteFile(Root() + "c.txt", "c");
        CHECKED(FindWithMask(QStringLiteral("*.txt")));
        ClickTitle(4); // by size: c, b, a
        const QStringList paths = Paths();
        QCOMPARE(Names(), (QStringList{"c.txt", "b.txt", "a.txt"}));
        TLauncher::SetFileManagerPresent(true);
        ClickRow(0);
        ClickRow(2, Qt::ControlModifier); // rows c and a selected, c first
        QVERIFY(FForm->ListView->hasFocus());
        const QString saved = FHome->path() + QStringLiteral("/saved.csv");
        FForm->AskSaveFileName = [&](const QString&, const QString&, const QString&) { return saved; };
        if (item == QLatin1String("mDelete"))
            TMessageBox::SetNextAnswer(QMessageBox::Yes);

        auto* action = FForm->findChild<QAction*>(item);
        if (way == QLatin1String("key")) {
            QTest::keySequence(FForm->ListView, action->shortcut());
        } else if (way == QLatin1String("double click")) {
            QTest::mouseDClick(FForm->ListView->viewport(), Qt::LeftButton, {}, RowPoint(2));
        } else {
            if (way == QLatin1String("right click"))
                RightClickRow(2);
            else
                PressMenuKey();
            QTRY_VERIFY(FForm->ListPopup->isVisible());
            QTest::mouseClick(FForm->ListPopup, Qt::LeftButton, {}, FForm->ListPopup->actionGeometry(action).center());
            QTRY_VERIFY(!FForm->ListPopup->isVisible());
        }

        // Whatever the way, the command takes the selected rows in list order: c first, then a.
        const QStringList selected = {paths[0], paths[2]};
        const QByteArray report = (paths.join(QLatin1String("\r\n")) + QLatin1String("\r\n")).toUtf8();
        if (item == QLatin1String("mOpen")) {
            QCOMPARE(TLauncher::Opened(), QList<QUrl>{QUrl::fromLocalFile(selected[0])});
        } else if (item == QLatin1String("mFolder")) {
            QCOMPARE(TLauncher::ShownItems(), QList<QUrl>{QUrl::fromLocalFile(selected[0])});
        } else if (item == QLatin1String("mProp")) {
            QCOMPARE(TLauncher::ShownProperties(), QList<QUrl>{QUrl::fromLocalFile(selected[0])});
        } else if (item == QLatin1String("mReport")) {
            QCOMPARE(TLauncher::Opened().size(), 1);
            QFile file(TLauncher::Opened().first().toLocalFile());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), report); // every row in list order, whatever is selected
        } else if (item == QLatin1String("mReportOpen")) {
            QFile file(saved);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), report);
        } else if (item == QLatin1String("mCopy")) {
            QCOMPARE(ClipboardPaths(), selected);
        } else if (item == QLatin1String("mDelete")) {
            QCOMPARE(TMessageBox::Shown().size(), 1);
            QVERIFY(!QFile::exists(selected[0]) && !QFile::exists(selected[1]));
            QVERIFY(QFile::exists(paths[1]));
            QCOMPARE(Paths(), QStringList{paths[1]});
        }
    }

    // The criteria options, set with clicks and keys, as the rows of the next Find show them.
    void SearchOptions_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("as they start") << "" << QStringList{"a.txt", "c.doc", "b.txt"};
        QTest::newRow("Search subfolders off") << "checkSubFolders" << QStringList{"a.txt", "c.doc"};
        QTest::newRow("Case sensitive") << "CheckCase" << QStringList{"c.doc", "b.txt"};
        QTest::newRow("Of type MS Word") << "cbTypes" << QStringList{"c.doc"};
    }

    void SearchOptions()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, names);
        WriteFile(Root() + "a.txt", "A NEEDLE");
        WriteFile(Root() + "c.doc", "a needle");
        WriteFile(Root() + "sub/b.txt", "the needle");
        WriteFile(Root() + "d.txt", "nothing");
        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbString, QStringLiteral("needle"));
        if (option == QLatin1String("checkSubFolders")) {
            Tick(FForm->checkSubFolders);
        } else if (option == QLatin1String("CheckCase")) {
            CHECKED(ShowPage(FForm->TabMore));
            Tick(FForm->CheckCase);
            CHECKED(ShowPage(FForm->TabFind));
        } else if (option == QLatin1String("cbTypes")) {
            // From "Named:" the Tab key reaches "Of type:", where the arrow keys walk the list.
            QTest::mouseClick(FForm->cbMask->lineEdit(), Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), FForm->cbTypes);
            QTest::keyClick(FForm->cbTypes, Qt::Key_Down);
            QCOMPARE(FForm->cbTypes->currentText(), QStringLiteral("MS Word: (*.doc; *.rtf)"));
        }
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        QCOMPARE(Names(), names);
    }

    // The two shell options put their entries on disk when ticked and take them away when unticked.
    void ShellEntriesOnDisk_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("Add link to Main menu") << "CheckMainMenu";
        QTest::newRow("Add to folder menu") << "CheckShellMenu";
    }

    void ShellEntriesOnDisk()
    {
        QFETCH(QString, box);
        auto* check = FForm->findChild<QCheckBox*>(box);
        const QString data = qEnvironmentVariable("XDG_DATA_HOME");
        auto files = [&data] {
            QStringList found;
            QDirIterator it(data, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found.append(it.next());
            return found;
        };
        CHECKED(ShowPage(FForm->TabConfig));
        QVERIFY(check->isChecked()); // checked at a first start, with nothing written yet
        Tick(check);
        QVERIFY(!check->isChecked());
        const QStringList before = files();
        Tick(check);
        const QStringList added = files();
        QVERIFY2(added.size() > before.size(), qPrintable(added.join(u' ')));
        Tick(check);
        QCOMPARE(files(), before);
    }

    // "Show Hints" decides whether resting on a row shows the text around its hit.
    void ShowHintsDecidesTheTips()
    {
        WriteFile(Root() + "a.txt", "some needle here");
        TypeInto(FForm->cbFolder, Root());
        TypeInto(FForm->cbString, QStringLiteral("needle"));
        Press(FForm->btnFind);
        QVERIFY(WaitEnded());
        auto restOnRow = [this] {
            QToolTip::hideText();
            QTRY_VERIFY(!QToolTip::isVisible());
            QWidget* viewport = FForm->ListView->viewport();
            QHelpEvent help(QEvent::ToolTip, RowPoint(0), viewport->mapToGlobal(RowPoint(0)));
            QApplication::sendEvent(viewport, &help);
        };
        restOnRow();
        QTRY_COMPARE(ShownTip(), FForm->ListView->model()->index(0, 0).data(Qt::ToolTipRole).toString());
        QVERIFY(ShownTip().contains(QLatin1String("needle here...")));
        CHECKED(ShowPage(FForm->TabConfig));
        Tick(FForm->CheckHints);
        QVERIFY(!FForm->CheckHints->isChecked());
        restOnRow();
        QTest::qWait(50);
        QVERIFY(ShownTip().isEmpty());
    }

    // A language picked from the list with the mouse translates the window at once.
    void LanguageFromTheList()
    {
        FForm.reset();
        FLang.reset();
        QVERIFY(QFile::copy(QStringLiteral(TROVEX_SOURCE_DIR "/share/lang/russian.lng"), FHome->path() + "/russian.lng"));
        FLang = std::make_unique<TMultiLang>(FHome->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        FForm->show();
        FForm->activateWindow(); // a bare X server has no window manager to do it
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
        CHECKED(ShowPage(FForm->TabConfig));
        QComboBox* box = FForm->cbLanguage;
        const int russian = box->findText(QStringLiteral("Russian"));
        QVERIFY(russian > 0);
        QTest::mouseClick(box, Qt::LeftButton);
        QTRY_VERIFY(box->view()->isVisible());
        const QRect item = box->view()->visualRect(box->view()->model()->index(russian, 0));
        // A release right after the list opened counts as the end of the opening click: a person
        // takes longer, and moves to the item first.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        QTest::mouseMove(box->view()->viewport(), item.center());
        QTest::mouseClick(box->view()->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_COMPARE(FForm->btnFind->text(), FLang->Translate(QStringLiteral("Find")));
        QVERIFY(FForm->btnFind->text() != QStringLiteral("Find"));
        QCOMPARE(FForm->mDelete->text(), QStringLiteral("\u0423\u0434\u0430\u043b\u0438\u0442\u044c"));
    }

    // "Browse..." fills the folder box with the chosen folder; cancelled, it says so and falls back
    // to the home folder. The About page's links open the home page and a mail.
    void BrowseAndLinks()
    {
        struct Case { QString answer; QString folder; QStringList messages; };
        const Case cases[] = {
            {Root(), Root(), {}},
            {QString(), QString::fromStdString(HomeFolder()), {"No such folder"}},
        };
        for (const Case& c : cases) {
            TMessageBox::Shown().clear();
            TDialogs::SetNextFolder(c.answer);
            if (!c.messages.isEmpty())
                TMessageBox::SetNextAnswer(QMessageBox::Ok);
            Press(FForm->bFolder);
            QCOMPARE(QDir::cleanPath(FForm->cbFolder->currentText()), QDir::cleanPath(c.folder));
            QCOMPARE(TMessageBox::Shown(), c.messages);
        }

        CHECKED(ShowPage(FForm->PageAbout));
        QTest::mouseClick(FForm->lWebPage, Qt::LeftButton);
        QTest::mouseClick(FForm->lEmail, Qt::LeftButton);
        QCOMPARE(TLauncher::Opened().size(), 2);
        QCOMPARE(TLauncher::Opened()[0].scheme().left(4), QStringLiteral("http"));
        QCOMPARE(TLauncher::Opened()[1].scheme(), QStringLiteral("mailto"));
    }
};

QTEST_MAIN(uMainInputTest)
#include "uMainInputTest.moc"
