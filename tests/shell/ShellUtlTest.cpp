// SPDX-License-Identifier: MIT
#include "shell/ShellUtl.h"

#include "shell/DesktopEntries.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "support/TempTree.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;
using test::TTempTree;

// Sets an environment variable for one test and puts the old value back afterwards.
class TScopedEnv
{
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name)
    {
        if (const char* old = std::getenv(name))
            FOld = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv()
    {
        if (FOld)
            ::setenv(FName.c_str(), FOld->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }

private:
    std::string FName;
    std::optional<std::string> FOld;
};

// Runs the test in `folder`, where a trash that went astray would leave its "files" folder.
class TScopedCwd
{
public:
    explicit TScopedCwd(const std::string& folder) : FOld(fs::current_path()) { fs::current_path(folder); }
    ~TScopedCwd() { fs::current_path(FOld); }

private:
    fs::path FOld;
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QDialog* PropertiesDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FileProperties") && w->isVisible())
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

class ShellUtlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TLauncher::SetRecording(true);
        TLauncher::SetFileManagerPresent(false);
        TLauncher::Opened().clear();
        TLauncher::ShownItems().clear();
        TLauncher::ShownProperties().clear();
        TMessageBox::Shown().clear();
        TDialogs::Asked().clear();
    }
    void TearDown() override
    {
        while (QDialog* dialog = PropertiesDialog()) {
            dialog->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
};

// Confirmed paths, a folder with its contents among them, land in the freedesktop trash under a
// data folder that did not exist yet, after exactly one question; a path that is gone already is
// counted as not moved. Twelve paths also take the progress window's way.
TEST_F(ShellUtlTest, DeleteFilesMovesToTrashAfterOneQuestion)
{
    TTempTree tree;
    const fs::path trash = fs::path(tree.Path("new/data")) / "Trash";
    TScopedEnv dataHome("XDG_DATA_HOME", tree.Path("new/data"));
    TScopedCwd cwd(tree.AddFolder("cwd"));
    std::vector<std::string> paths = {tree.AddFile("two words #1.txt", "beta"), tree.AddFolder("sub"), tree.Path("gone.txt")};
    tree.AddFile("sub/inner.txt", "gamma");
    for (int i = 0; i < 9; ++i)
        paths.push_back(tree.AddFile("f" + std::to_string(i) + ".txt", "x"));

    TMessageBox::SetNextAnswer(QMessageBox::Yes);
    TMessageBox::SetNextAnswer(QMessageBox::Ok);
    EXPECT_EQ(DeleteFiles(nullptr, paths), 1);

    // The question, then one box naming the path that was already gone.
    ASSERT_EQ(TMessageBox::Shown().size(), 2);
    EXPECT_TRUE(TMessageBox::Shown()[1].contains(Q(tree.Path("gone.txt")))) << TMessageBox::Shown()[1].toStdString();
    for (const std::string& p : paths)
        EXPECT_FALSE(fs::exists(fs::symlink_status(p))) << p;
    EXPECT_EQ(ReadFile(trash / "files" / "two words #1.txt"), "beta");
    EXPECT_EQ(ReadFile(trash / "files" / "sub" / "inner.txt"), "gamma");
    EXPECT_TRUE(fs::exists(trash / "files" / "f8.txt"));
    EXPECT_TRUE(fs::exists(trash / "info" / "f8.txt.trashinfo"));
    EXPECT_FALSE(fs::exists(tree.Path("cwd/files")));
}

// Any answer but Yes keeps every file where it was; an empty list asks nothing at all.
TEST_F(ShellUtlTest, DeleteFilesDeclinedOrEmptyKeepsEverything)
{
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::NoButton}) {
        SCOPED_TRACE(static_cast<int>(answer));
        TTempTree tree;
        TScopedEnv dataHome("XDG_DATA_HOME", tree.AddFolder("data"));
        const std::vector<std::string> paths = {tree.AddFile("a.txt", "a"), tree.AddFile("b.txt", "b")};
        TMessageBox::SetNextAnswer(answer);
        EXPECT_EQ(DeleteFiles(nullptr, paths), 2);
        EXPECT_TRUE(fs::exists(paths[0]) && fs::exists(paths[1]));
    }
    TMessageBox::Shown().clear();
    EXPECT_EQ(DeleteFiles(nullptr, {}), -1);
    EXPECT_TRUE(TMessageBox::Shown().isEmpty());
}

// When no trash can be made under the data folder, Qt 6.4 would "trash" into ./files of the working
// folder and report success: the file must stay where it was and count as not moved.
TEST_F(ShellUtlTest, DeleteFilesNeverTrashesIntoWorkingFolder)
{
    struct Case { const char* name; std::function<std::string(TTempTree&)> makeDataHome; };
    const Case cases[] = {
        {"Trash is a file", [](TTempTree& t) { t.AddFile("data/Trash", "not a folder"); return t.Path("data"); }},
        {"data home under a file", [](TTempTree& t) { t.AddFile("plain", "x"); return t.Path("plain/data"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTempTree tree;
        TScopedEnv dataHome("XDG_DATA_HOME", c.makeDataHome(tree));
        TScopedCwd cwd(tree.AddFolder("cwd"));
        const std::string file = tree.AddFile("keep.txt", "keep");
        TMessageBox::Shown().clear();
        TMessageBox::SetNextAnswer(QMessageBox::Yes);
        TMessageBox::SetNextAnswer(QMessageBox::Ok);
        EXPECT_EQ(DeleteFiles(nullptr, {file}), 1);
        EXPECT_EQ(TMessageBox::Shown().size(), 2); // the failure is told, not silent
        EXPECT_EQ(ReadFile(file), "keep");
        EXPECT_FALSE(fs::exists(tree.Path("cwd/files")));
        EXPECT_FALSE(fs::exists(tree.Path("cwd/info")));
    }
}

// Types come from the name's extension (contents are never read, so a FIFO cannot block and a
// binary .txt is still text), and from the kind of entry for everything that is no regular file.
TEST_F(ShellUtlTest, TypeNameAndIconByKindOfEntry)
{
    if (!QFileInfo::exists(QStringLiteral("/usr/share/icons/Adwaita/index.theme")))
        GTEST_SKIP() << "the Adwaita icon theme is not installed";
    TTempTree tree;
    tree.AddFile("readme.txt", "text");
    tree.AddFile("BINARY.TXT", std::string("\x00\x01\x02\xff", 4));
    tree.AddFile("data.qqzx", "unknown extension");
    tree.AddFile("noext", "plain words");
    tree.AddFolder("folder");
    tree.AddLink("folder-link", tree.Path("folder"));
    tree.AddLink("dangling", tree.Path("nowhere"));
    ASSERT_EQ(::mkfifo(tree.Path("pipe.txt").c_str(), 0600), 0);

    struct Case { const char* name; const char* mime; bool icon; };
    const Case cases[] = {
        {"readme.txt", "text/plain", true},
        {"BINARY.TXT", "text/plain", true},
        {"data.qqzx", "application/octet-stream", true},
        {"noext", "application/octet-stream", true},
        {"folder", "inode/directory", true},
        {"folder/", "inode/directory", true},
        {"folder-link", "inode/directory", true},
        {"pipe.txt", "inode/fifo", false}, // Adwaita draws no FIFO
        {"missing.txt", nullptr, false},
        {"dangling", nullptr, false},
    };
    QMimeDatabase db;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Q(tree.Path(c.name));
        const int slot = GetFileIconIndex(path);
        if (!c.mime) {
            EXPECT_EQ(GetFileTypeName(path), QString());
            EXPECT_EQ(slot, -1);
            continue;
        }
        EXPECT_EQ(GetFileTypeName(path), db.mimeTypeForName(QLatin1String(c.mime)).comment());
        EXPECT_FALSE(GetFileTypeName(path).isEmpty());
        // Adwaita has no "text-plain" or "application-octet-stream": these find their generic icons.
        EXPECT_EQ(slot >= 0, c.icon);
        EXPECT_EQ(SystemImageListIcon(slot).isNull(), !c.icon);
    }
    // One slot per icon, whatever the path: the list grows with the kinds of file, not the files.
    const int text = GetFileIconIndex(Q(tree.Path("readme.txt")));
    EXPECT_EQ(GetFileIconIndex(Q(tree.Path("BINARY.TXT"))), text);
    EXPECT_NE(GetFileIconIndex(Q(tree.Path("folder"))), text);
    EXPECT_NE(GetFileIconIndex(Q(tree.Path("data.qqzx"))), text);
    const int count = GetSystemImageList().Count();
    EXPECT_EQ(GetFileIconIndex(Q(tree.AddFile("other.txt"))), text);
    EXPECT_EQ(GetSystemImageList().Count(), count);
    EXPECT_TRUE(SystemImageListIcon(-1).isNull());
    EXPECT_TRUE(SystemImageListIcon(count).isNull());
    EXPECT_EQ(GetSystemImageList().IndexOf(QStringLiteral("x-test/none"), QStringLiteral("no-such-icon-a"),
                                           QStringLiteral("no-such-icon-b")),
              -1);
}

// Emptying a tree deletes its files at every depth and the links themselves, keeps the folders, and
// never reaches what a link points at, with or without a trailing slash.
//   root/ a.txt  sub/b.txt  sub/deeper/c.txt  to-outside -> outside/  to-keep -> outside/keep.txt
//   outside/ keep.txt  inner/k.txt
TEST_F(ShellUtlTest, DeleteFolderFilesStaysInsideTree)
{
    for (const char* suffix : {"", "/"}) {
        SCOPED_TRACE(std::string("suffix '") + suffix + "'");
        TTempTree tree;
        tree.AddFile("root/a.txt");
        tree.AddFile("root/sub/b.txt");
        tree.AddFile("root/sub/deeper/c.txt");
        tree.AddFile("outside/keep.txt", "keep");
        tree.AddFile("outside/inner/k.txt", "keep");
        tree.AddLink("root/to-outside", tree.Path("outside"));
        tree.AddLink("root/to-keep", tree.Path("outside/keep.txt"));

        DeleteFolderFiles(Q(tree.Path("root") + suffix));

        for (const char* gone : {"root/a.txt", "root/sub/b.txt", "root/sub/deeper/c.txt"})
            EXPECT_FALSE(fs::exists(tree.Path(gone))) << gone;
        EXPECT_FALSE(fs::is_symlink(tree.Path("root/to-outside")));
        EXPECT_FALSE(fs::is_symlink(tree.Path("root/to-keep")));
        EXPECT_TRUE(fs::is_directory(tree.Path("root/sub/deeper")));
        EXPECT_EQ(ReadFile(tree.Path("outside/keep.txt")), "keep");
        EXPECT_EQ(ReadFile(tree.Path("outside/inner/k.txt")), "keep");

        // A folder named through a link is not emptied, trailing slash or not.
        tree.AddLink("via-link", tree.Path("outside"));
        DeleteFolderFiles(Q(tree.Path("via-link") + suffix));
        EXPECT_TRUE(fs::exists(tree.Path("outside/keep.txt")));
    }
}

// Properties go to the file manager when it offers them; otherwise the program's own window shows
// the file's facts. A path that names nothing shows nothing.
TEST_F(ShellUtlTest, PropertiesThroughFileManagerOrOwnWindow)
{
    TTempTree tree;
    const std::string file = tree.AddFile("report 1.txt", std::string(1234, 'x'));
    ::chmod(file.c_str(), 0444);

    TLauncher::SetFileManagerPresent(true);
    EXPECT_TRUE(ShowFileProperties(nullptr, file));
    EXPECT_EQ(TLauncher::ShownProperties(), QList<QUrl>{QUrl::fromLocalFile(Q(file))});
    EXPECT_EQ(PropertiesDialog(), nullptr);

    TLauncher::SetFileManagerPresent(false);
    EXPECT_TRUE(ShowFileProperties(nullptr, file));
    QDialog* dialog = PropertiesDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel*>("lName")->text(), QStringLiteral("report 1.txt"));
    EXPECT_EQ(dialog->findChild<QLabel*>("lFolder")->text(), Q(tree.Root()).chopped(1));
    EXPECT_EQ(dialog->findChild<QLabel*>("lType")->text(), GetFileTypeName(file));
    EXPECT_TRUE(dialog->findChild<QLabel*>("lSize")->text().contains(QLocale().toString(1234)));
    EXPECT_TRUE(dialog->findChild<QCheckBox*>("CheckReadOnly")->isChecked());
    EXPECT_FALSE(dialog->findChild<QCheckBox*>("CheckHidden")->isChecked());
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(ShowFileProperties(nullptr, tree.AddFolder(".hidden")));
    dialog = PropertiesDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->findChild<QLabel*>("lSize"), nullptr);
    EXPECT_TRUE(dialog->findChild<QCheckBox*>("CheckHidden")->isChecked());
    dialog->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    TLauncher::ShownProperties().clear();
    EXPECT_FALSE(ShowFileProperties(nullptr, tree.Path("missing")));
    EXPECT_TRUE(TLauncher::ShownProperties().isEmpty());
    EXPECT_EQ(PropertiesDialog(), nullptr);
}

// Openings reach the launcher as local-file addresses that survive spaces, '#' and "%20"; "Open
// folder" selects the file in the file manager and falls back to opening the folder.
TEST_F(ShellUtlTest, OpeningsGoThroughLauncher)
{
    const std::string folder = "/srv/two words/#tag/";
    const std::string file = folder + "a%20b.txt";
    const QUrl fileUrl = QUrl::fromLocalFile(Q(file));
    const QUrl folderUrl = QUrl::fromLocalFile(Q(folder));

    OpenDocument(file);
    EXPECT_EQ(TLauncher::Opened(), QList<QUrl>{fileUrl});
    EXPECT_EQ(TLauncher::Opened()[0].toLocalFile(), Q(file));

    struct Case { bool fileManager; std::string select; QList<QUrl> items; QList<QUrl> opened; };
    const Case cases[] = {
        {true, file, {fileUrl}, {}},
        {true, "a%20b.txt", {fileUrl}, {}},
        {false, file, {fileUrl}, {folderUrl}},
        {true, {}, {}, {folderUrl}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.select + (c.fileManager ? " with" : " without") + " file manager");
        TLauncher::Opened().clear();
        TLauncher::ShownItems().clear();
        TLauncher::SetFileManagerPresent(c.fileManager);
        OpenFolder(folder, c.select);
        EXPECT_EQ(TLauncher::ShownItems(), c.items);
        EXPECT_EQ(TLauncher::Opened(), c.opened);
    }

    TDialogs::SetNextFolder(QStringLiteral("/srv/chosen"));
    EXPECT_EQ(BrowseForFolder(nullptr, QStringLiteral("Pick")), QStringLiteral("/srv/chosen"));
    TDialogs::SetNextFolder(QString());
    EXPECT_EQ(BrowseForFolder(nullptr), QString());
    EXPECT_EQ(TDialogs::Asked(), (QStringList{QStringLiteral("Pick"), QStringLiteral("Select place for search in:")}));
}

// Install writes the entries and shows a folder action it cannot write in an "Error" box and goes
// on; uninstall removes everything only when the answer is Yes.
TEST_F(ShellUtlTest, InstallAndUninstallWiring)
{
    struct Case { QMessageBox::StandardButton answer; bool removed; };
    const Case cases[] = {{QMessageBox::Yes, true}, {QMessageBox::No, false}, {QMessageBox::Cancel, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        TTempTree tree;
        TScopedEnv data("XDG_DATA_HOME", tree.AddFolder("data"));
        TScopedEnv config("XDG_CONFIG_HOME", tree.AddFolder("config"));
        const std::string exe = tree.AddFile("prog/trovex", "#!/bin/sh\n");
        const TDesktopLocations where = TDesktopLocations::FromEnvironment();
        const std::string store = tree.AddFile("config/Brenvik/Trovex.reg", "Windows Registry Editor Version 5.00\n");

        Install(exe);
        EXPECT_TRUE(TMessageBox::Shown().isEmpty());
        for (const fs::path& entry : {where.StartMenuEntry, where.GroupMainEntry, where.GroupUninstallEntry, where.NemoAction})
            EXPECT_TRUE(fs::exists(entry)) << entry;

        TMessageBox::SetNextAnswer(c.answer);
        if (c.removed)
            TMessageBox::SetNextAnswer(QMessageBox::Ok);
        Uninstall(exe);
        // The program's own files stay (their folder is not the program's), and the box says why.
        ASSERT_EQ(TMessageBox::Shown().size(), c.removed ? 2 : 1);
        EXPECT_EQ(TMessageBox::Shown()[0], QStringLiteral("Uninstall Trovex? File Trovex"));
        if (c.removed) {
            EXPECT_TRUE(TMessageBox::Shown()[1].endsWith(QStringLiteral("left in place: the folder is not named for the program.")))
                << TMessageBox::Shown()[1].toStdString();
        }
        TMessageBox::Shown().clear();
        for (const fs::path& entry : {where.StartMenuEntry, where.GroupMainEntry, where.NemoAction, fs::path(store)})
            EXPECT_EQ(fs::exists(entry), !c.removed) << entry;
        EXPECT_TRUE(fs::exists(exe));
    }

    TTempTree tree;
    TScopedEnv data("XDG_DATA_HOME", tree.AddFolder("data"));
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    tree.AddFile(fs::relative(where.NemoAction / "blocker", tree.Root()).string()); // a folder in the way
    TMessageBox::SetNextAnswer(QMessageBox::Ok);
    Install(tree.AddFile("prog/trovex"));
    EXPECT_EQ(TMessageBox::Shown(), QStringList{Q("Failed to set data for '" + where.NemoAction.string() + "'")});
    EXPECT_TRUE(fs::exists(where.StartMenuEntry));
    EXPECT_TRUE(fs::exists(where.KdeServiceMenu));

    // The option box's handler lets the failure reach the application's error handler.
    EXPECT_THROW(UpdateShellMenu(true, "/opt/trovex/trovex"), EDesktopEntryError);
    UpdateMainMenuLink(false, "/opt/trovex/trovex");
    EXPECT_FALSE(fs::exists(where.StartMenuEntry));
}

// A shortcut is a valid desktop entry whose Exec line hands the target and every argument over
// unchanged, spaces, quotes, '%', '$' and backslashes included: GLib's launcher runs a script of the
// test's own that writes down what it received.
TEST_F(ShellUtlTest, CreateShortcutQuotesExecLine)
{
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (validate.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    TTempTree tree;
    const QString out = Q(tree.Path("args.txt"));
    const QString script = Q(tree.AddFile("prog dir/it's $x.sh",
                                          "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\n"
                                          "mv \"$0.tmp\" '" + out.toStdString() + "'\n"));
    ::chmod(script.toLocal8Bit().constData(), 0755);
    const QStringList arguments = {QStringLiteral("-F"), QStringLiteral("/a folder/50% \"q\" `b` \\ $HOME"),
                                   QStringLiteral("it's"), QString(), QStringLiteral("plain")};
    const QString entry = Q(tree.Path("applications/Brenvik/Test.desktop"));

    CreateShortcut(script, entry, QStringLiteral(" File Trovex\\"), QStringLiteral("system-search"), arguments);
    // Written twice: the second replaces the first.
    CreateShortcut(script, entry, QStringLiteral("File Trovex"), QStringLiteral("system-search"), arguments);

    QProcess check;
    check.start(validate, {entry});
    ASSERT_TRUE(check.waitForFinished(30000));
    const QString report = QString::fromUtf8(check.readAllStandardOutput() + check.readAllStandardError());
    EXPECT_EQ(check.exitCode(), 0) << report.toStdString();
    EXPECT_FALSE(report.contains(QLatin1String("error"))) << report.toStdString();
    const std::string text = ReadFile(entry.toStdString());
    EXPECT_NE(text.find("\nName=File Trovex\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nIcon=system-search\n"), std::string::npos) << text;
    EXPECT_EQ(QFileInfo(entry).permissions() & QFileDevice::ReadOther, QFileDevice::ReadOther);

    // GLib looks for the program without undoing "%%", so the script's own name holds no '%'.
    if (gio.isEmpty())
        GTEST_SKIP() << "gio is not installed: the Exec line is not run";
    QProcess launch;
    launch.start(gio, {QStringLiteral("launch"), entry});
    ASSERT_TRUE(launch.waitForFinished(30000));
    ASSERT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
    for (int i = 0; i < 300 && !QFileInfo::exists(out); ++i)
        QTest::qSleep(50); // the launched script runs on its own; nothing in this process to wait on
    ASSERT_TRUE(QFileInfo::exists(out));
    EXPECT_EQ(QString::fromStdString(ReadFile(out.toStdString())), arguments.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// Install writes its menu entries through CreateShortcut: each is byte for byte what CreateShortcut
// writes for the same target, description, icon and arguments, and carries the install's comment
// that uninstall looks for.
TEST_F(ShellUtlTest, InstallWritesMenuEntriesWithCreateShortcut)
{
    TTempTree tree;
    TScopedEnv data("XDG_DATA_HOME", tree.AddFolder("data"));
    TScopedEnv config("XDG_CONFIG_HOME", tree.AddFolder("config"));
    const TDesktopLocations where = TDesktopLocations::FromEnvironment();
    const std::string exe = tree.AddFile("My Apps/50% \"tro$vex\"/trovex", "ELF");
    Install(exe);
    struct Case { fs::path installed; QString description; QString icon; QStringList arguments; };
    const Case cases[] = {
        {where.StartMenuEntry, QStringLiteral("File Trovex"), QStringLiteral("system-search"), {}},
        {where.GroupMainEntry, QStringLiteral("File Trovex"), QStringLiteral("system-search"), {}},
        {where.GroupUninstallEntry, QStringLiteral("Uninstall File Trovex"), QStringLiteral("edit-delete"), {QStringLiteral("-u")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed.string());
        const std::string shortcut = tree.Path("shortcut.desktop");
        CreateShortcut(Q(exe), Q(shortcut), c.description, c.icon, c.arguments);
        const std::string text = ReadFile(shortcut);
        EXPECT_EQ(ReadFile(c.installed.string()), text);
        EXPECT_NE(text.find("\n# Written by the Trovex install"), std::string::npos) << text;
        EXPECT_NE(text.find("\nExec=\"" + tree.Path("My Apps/50%% \\\\\"tro\\\\$vex\\\\\"/trovex") + "\""), std::string::npos) << text;
    }
}

// A file manager that can show items but has no properties window.
class TFakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> ShownItems;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        ShownItems.append(uris);
    }
};

// Takes the addresses QDesktopServices would hand to xdg-open.
class TUrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> Urls;

public slots:
    void Open(const QUrl& url) { Urls.append(url); }
};

// A session bus of the test's own, with nothing activatable, so no real file manager can start.
class TPrivateBus
{
public:
    explicit TPrivateBus(TTempTree& tree)
    {
        const std::string config = tree.AddFile("bus.conf",
            "<busconfig><type>session</type><listen>unix:dir=" + tree.AddFolder("bus") + "</listen>"
            "<auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        QProcess daemon;
        daemon.start(QStringLiteral("dbus-daemon"), {Q("--config-file=" + config), QStringLiteral("--print-address=1"),
                                                     QStringLiteral("--print-pid=1"), QStringLiteral("--fork")});
        if (!daemon.waitForFinished(10000) || daemon.exitCode() != 0)
            return;
        const QStringList lines = QString::fromUtf8(daemon.readAllStandardOutput()).split(QLatin1Char('\n'));
        if (lines.size() >= 2) {
            Address = lines[0].trimmed();
            FPid = lines[1].trimmed().toInt();
        }
    }
    ~TPrivateBus()
    {
        if (FPid > 0)
            ::kill(FPid, SIGTERM);
    }

    QString Address;

private:
    pid_t FPid = 0;
};

// The real launcher: "Open folder" reaches the file manager's ShowItems with the file's URI; a file
// manager without ShowItemProperties answers with an error and the program's own window opens; with
// no file manager on the bus the folder goes to the desktop opener.
TEST_F(ShellUtlTest, FileManagerOverSessionBus)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    TTempTree tree;
    TPrivateBus bus(tree);
    ASSERT_FALSE(bus.Address.isEmpty());
    TScopedEnv busAddress("DBUS_SESSION_BUS_ADDRESS", bus.Address.toStdString());

    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    TFakeFileManager fake;
    {
        QDBusConnection fm = QDBusConnection::connectToBus(bus.Address, QStringLiteral("trovex-fake-fm"));
        ASSERT_TRUE(fm.isConnected());
        ASSERT_TRUE(fm.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fake, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(fm.registerService(service));
    }
    QDBusConnectionInterface* daemon = QDBusConnection::sessionBus().interface();
    if (!daemon || !daemon->isServiceRegistered(service).value())
        GTEST_SKIP() << "this process was already connected to another session bus";

    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    TLauncher::SetRecording(false);

    // A name that is not UTF-8 reaches the file manager with its own byte, not U+FFFD's.
    const std::string file = tree.AddFile("two words/#1\xff.txt", "x");
    const std::string folder = file.substr(0, file.rfind('/') + 1);
    OpenFolder(folder, file);
    EXPECT_TRUE(ShowFileProperties(nullptr, file));
    // Replies come in order: once the refused properties call has opened the own window, the
    // ShowItems reply has been handled too, and it must not have opened the folder a second way.
    EXPECT_TRUE(QTest::qWaitFor([] { return PropertiesDialog() != nullptr; }, 10000));
    ASSERT_EQ(fake.ShownItems.size(), 1);
    EXPECT_EQ(fake.ShownItems[0], QStringList{Q(FileUri(file))});
    EXPECT_TRUE(fake.ShownItems[0].value(0).endsWith(QStringLiteral("/two%20words/%231%FF.txt")));
    EXPECT_TRUE(catcher.Urls.isEmpty());

    QDBusConnection(QStringLiteral("trovex-fake-fm")).unregisterService(service);
    OpenFolder(folder, file);
    EXPECT_EQ(catcher.Urls, QList<QUrl>{QUrl::fromLocalFile(Q(folder))});
    EXPECT_EQ(fake.ShownItems.size(), 1);

    TLauncher::SetRecording(true);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDBusConnection::disconnectFromBus(QStringLiteral("trovex-fake-fm"));
}

} // namespace
} // namespace trovex

#include "ShellUtlTest.moc"
