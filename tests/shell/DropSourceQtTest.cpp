// SPDX-License-Identifier: MIT
#include "shell/DropSourceQt.h"

#include "shell/FileList.h"

#include "support/TempTree.h"

#include <QApplication>
#include <QClipboard>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace trovex
{
namespace
{

// One QApplication for the whole program, made before the first test: offscreen (which has an
// in-process clipboard) unless the caller chose a platform, such as xcb under Xvfb for the drag.
// Home and the XDG folders point into a temporary tree first, so neither Qt nor the font cache
// writes into a real home.
class TQtEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        FHome = std::make_unique<test::TTempTree>();
        const std::pair<const char*, const char*> folders[] = {
            {"HOME", "home"}, {"XDG_RUNTIME_DIR", "runtime"}, {"XDG_CACHE_HOME", "cache"},
            {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
        };
        for (const auto& [variable, folder] : folders)
            ::setenv(variable, FHome->AddFolder(folder).c_str(), 1);
        std::filesystem::permissions(FHome->Path("runtime"), std::filesystem::perms::owner_all);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "shell_tests";
        static char* argv[] = {name, nullptr};
        FApp = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override
    {
        FApp.reset();
        FHome.reset();
    }

private:
    std::unique_ptr<test::TTempTree> FHome;
    std::unique_ptr<QApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const QtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

std::vector<std::string> SampleFiles(test::TTempTree& tree)
{
    // Names a URI must escape: a space, '#', '%' and a non-ASCII letter.
    return {tree.AddFile("two words.txt", "a"), tree.AddFile("sub/#50%.txt", "b"), tree.AddFile("\xD0\xB6.pdf", "c")};
}

QStringList Paths(const std::vector<std::string>& files)
{
    QStringList paths;
    for (const std::string& f : files)
        paths.append(QString::fromStdString(f));
    return paths;
}

// A copy on the clipboard reads back as the same files, in every form a file manager pastes from.
TEST(DropSourceQtTest, ClipboardCopyPastesAsFiles)
{
    test::TTempTree tree;
    const std::vector<std::string> files = SampleFiles(tree);
    TDropFileSource source;
    source.SetFiles(files);
    ASSERT_TRUE(ClipboardCopy(source));
    EXPECT_EQ(source.CurrentEffect(), static_cast<std::uint32_t>(deCopy));

    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    QStringList pasted;
    for (const QUrl& url : data->urls()) {
        EXPECT_TRUE(url.isLocalFile()) << url.toString().toStdString();
        pasted.append(url.toLocalFile());
        EXPECT_TRUE(QFileInfo::exists(url.toLocalFile()));
    }
    EXPECT_EQ(pasted, Paths(files));

    const QList<QByteArray> lines = data->data("x-special/gnome-copied-files").split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "copy");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(QUrl::fromEncoded(lines[i + 1]).toLocalFile(), Paths(files)[i]);
    EXPECT_EQ(data->text(), Paths(files).join('\n'));
    EXPECT_FALSE(data->hasFormat("application/x-kde-cutselection"));
}

// A cut is marked as a move for both GNOME-style and KDE file managers.
TEST(DropSourceQtTest, ClipboardCutMarksMove)
{
    test::TTempTree tree;
    TDropFileSource source;
    source.SetFiles(SampleFiles(tree));
    ASSERT_TRUE(ClipboardCut(source));
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->data("x-special/gnome-copied-files").startsWith("cut\nfile:///"));
    EXPECT_EQ(data->data("application/x-kde-cutselection"), "1");
    EXPECT_EQ(data->urls().size(), 3);
    EXPECT_EQ(source.CurrentEffect(), static_cast<std::uint32_t>(deMove));
}

// Without files nothing is put, so what the user had on the clipboard stays; no drag starts either.
TEST(DropSourceQtTest, NothingSelectedLeavesClipboardAlone)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
    TDropFileSource source;
    EXPECT_FALSE(ClipboardCopy(source));
    EXPECT_FALSE(ClipboardCut(source));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keep me"));
    QWidget from;
    EXPECT_EQ(RunDrag(source, &from), doCancelled);
    source.SetFiles({"/tmp/x"});
    EXPECT_EQ(RunDrag(source, nullptr), doCancelled);
}

// A drop target of the test's own that wants one action and records what it received.
class TDropTarget : public QWidget
{
public:
    explicit TDropTarget(Qt::DropAction wanted) : FWanted(wanted) { setAcceptDrops(true); }

    QByteArray UriList;
    int Drops = 0;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override { Consider(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { Consider(e); }
    void dropEvent(QDropEvent* e) override
    {
        if (!(e->possibleActions() & FWanted)) {
            e->ignore();
            return;
        }
        ++Drops;
        UriList = e->mimeData()->data("text/uri-list");
        e->setDropAction(FWanted);
        e->accept();
    }

private:
    void Consider(QDropEvent* e)
    {
        if (e->possibleActions() & FWanted) {
            e->setDropAction(FWanted);
            e->accept();
        } else {
            e->ignore();
        }
    }

    Qt::DropAction FWanted;
};

// Under a real X server (xvfb-run with QT_QPA_PLATFORM=xcb) the drag delivers text/uri-list to a copy
// target; a target that only takes moves refuses the copy-only drag, which then ends cancelled.
TEST(DropSourceQtTest, DragDeliversUriListToCopyTargetOnly)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server: run under xvfb-run with QT_QPA_PLATFORM=xcb";
    test::TTempTree tree;
    std::vector<std::string> files = SampleFiles(tree);
    files.push_back(tree.AddFile("bad\xff.txt", "d")); // reaches the target as bad%FF.txt, not as U+FFFD

    struct Case
    {
        const char* what;
        Qt::DropAction wanted;
        TDragOutcome outcome;
        int drops;
    };
    const Case cases[] = {
        {"copy target", Qt::CopyAction, doCopied, 1},
        {"move-only target", Qt::MoveAction, doCancelled, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QWidget from;
        from.setGeometry(20, 20, 100, 100);
        from.show();
        TDropTarget target(c.wanted);
        target.setGeometry(200, 20, 100, 100);
        target.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&from));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));

        TDropFileSource source;
        source.SetFiles(files);
        // The drag loop runs inside RunDrag; the pointer is moved over the target and released there
        // from a timer that fires inside that loop.
        QTimer::singleShot(100, &target, [&target] {
            QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
            QTimer::singleShot(100, &target, [&target] {
                QTest::mouseMove(target.windowHandle(), QPoint(52, 52));
                QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(52, 52));
            });
        });
        QTest::mousePress(from.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_EQ(RunDrag(source, &from), c.outcome);
        EXPECT_EQ(target.Drops, c.drops);
        if (c.drops) {
            QList<QUrl> urls;
            for (const QByteArray& line : target.UriList.split('\n'))
                if (!line.trimmed().isEmpty())
                    urls.append(QUrl::fromEncoded(line.trimmed()));
            ASSERT_EQ(urls.size(), 4);
            EXPECT_EQ(urls[1].toLocalFile(), QString::fromStdString(files[1]));
            EXPECT_EQ(target.UriList.toStdString(), EncodeFileList(files, flUriList));
        }
    }
}

} // namespace
} // namespace trovex
