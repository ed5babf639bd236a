// SPDX-License-Identifier: MIT
// Names that are not UTF-8 in the window, driven as a person does: the row clicked, the operation
// chosen by key or from the popup menu, the question answered by clicking its button. Every
// operation must reach exactly the selected file; the folder beside it holds a name that shows the
// same (bad\xff.txt and bad\xef\xbf\xbd.txt both show as "bad\uFFFD.txt").
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/stat.h>

#include "app/ResultModel.h"
#include "app/uMain.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "window/CommandLine.h"
#include "WindowTestSetup.h"

using namespace trovex;

namespace
{

constexpr int Timeout = 10000;

// The two names, with contents of their lengths, so a file's size tells which one was reached.
const std::string BadByte = "bad\xff.txt";
const std::string Replacement = "bad\xef\xbf\xbd.txt";

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

QDialog* PropertiesDialog()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FileProperties") && w->isVisible())
            return qobject_cast<QDialog*>(w);
    return nullptr;
}

} // namespace

class uMainPathsTest : public QObject
{
    Q_OBJECT

private:
    QString FTempBase; // the temporary folder the run started with; each test's TMPDIR lies inside its home
    std::unique_ptr<QTemporaryDir> FHome;
    std::unique_ptr<QTemporaryDir> FTree;
    std::unique_ptr<TMultiLang> FLang;
    std::unique_ptr<TFindForm> FForm;
    QList<QTimer*> FAnswerers;

    std::string Root() const { return FTree->path().toStdString() + "/"; }
    std::string Trash() const { return qEnvironmentVariable("XDG_DATA_HOME").toStdString() + "/Trash"; }

    // A folder holding both names; returns it with its trailing '/'.
    std::string BothNames(const std::string& folder)
    {
        const std::string at = Root() + folder + "/";
        ::mkdir(at.c_str(), 0755);
        WriteBytes(at + BadByte, std::string(BadByte.size() + at.size(), 'f'));
        WriteBytes(at + Replacement, std::string(Replacement.size() + at.size(), 'r'));
        return at;
    }

    void Search(const QString& folderText, const QString& mask)
    {
        FForm->SetStartFolder(folderText);
        FForm->cbMask->setEditText(mask);
        QTest::mouseClick(FForm->btnFind, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([this] { return !FForm->Running; }, Timeout));
        FForm->ListModel->Flush();
    }

    std::vector<std::string> RowPaths() const
    {
        std::vector<std::string> paths;
        for (int row = 0; row < FForm->ListModel->rowCount(); ++row)
            paths.push_back(FForm->ListModel->Path(row));
        return paths;
    }

    int RowOf(const std::string& path) const
    {
        for (int row = 0; row < FForm->ListModel->rowCount(); ++row)
            if (FForm->ListModel->Path(row) == path)
                return row;
        return -1;
    }

    QPoint RowCenter(int row) const
    {
        const QModelIndex index = FForm->ListModel->index(row, 0);
        FForm->ListView->scrollTo(index);
        return FForm->ListView->visualRect(index).center();
    }

    // A left click on the row's name, as a person selects one row.
    void ClickRow(const std::string& path)
    {
        const int row = RowOf(path);
        QVERIFY2(row >= 0, PercentEncodePath(path).c_str());
        QTest::mouseClick(FForm->ListView->viewport(), Qt::LeftButton, {}, RowCenter(row));
        QCOMPARE(FForm->ListView->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(FForm->ListView->selectionModel()->selectedRows().first().row(), row);
    }

    // The popup menu over the row, then a click on one of its items.
    void ChooseFromPopup(const std::string& path, QAction* item)
    {
        const QPoint at = RowCenter(RowOf(path));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, FForm->ListView->viewport()->mapToGlobal(at));
        QApplication::sendEvent(FForm->ListView->viewport(), &menuEvent);
        QVERIFY(QTest::qWaitFor([this] { return FForm->ListPopup->isVisible(); }, Timeout));
        QTest::mouseClick(FForm->ListPopup, Qt::LeftButton, {}, FForm->ListPopup->actionGeometry(item).center());
    }

    // Clicks `button` of the next message box as soon as it shows; its text lands in `text`.
    void AnswerNextBox(QMessageBox::StandardButton button, QString* text = nullptr)
    {
        auto* timer = new QTimer(this);
        FAnswerers.append(timer);
        connect(timer, &QTimer::timeout, this, [timer, button, text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->button(button))
                return;
            timer->stop();
            if (text)
                *text = box->text();
            QTest::mouseClick(box->button(button), Qt::LeftButton);
        });
        timer->start(10);
    }

    // The original path in the trash's record of the file trashed as `trashName`.
    std::string RecordedPath(const std::string& trashName) const
    {
        const std::string record = ReadBytes(Trash() + "/info/" + trashName + ".trashinfo");
        const std::size_t at = record.find("\nPath=");
        if (at == std::string::npos)
            return {};
        return PercentDecode(record.substr(at + 6, record.find('\n', at + 1) - at - 6));
    }

private slots:
    void initTestCase()
    {
        test::PrepareWindowTests();
        FTempBase = QDir::tempPath();
    }

    void init()
    {
        const QString pattern = FTempBase + QStringLiteral("/path_window_tests-XXXXXX");
        FHome = std::make_unique<QTemporaryDir>(pattern);
        FTree = std::make_unique<QTemporaryDir>(pattern);
        test::UseUserFoldersIn(FHome->path());
        TMessageBox::Shown().clear();
        TLauncher::Opened().clear();
        TLauncher::ShownItems().clear();
        TLauncher::ShownProperties().clear();
        TLauncher::SetFileManagerPresent(false);
        FLang = std::make_unique<TMultiLang>(FHome->path());
        FForm = std::make_unique<TFindForm>(*FLang);
        FForm->show();
        QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
        // Shortcuts and focus act in the active window only (under Xvfb nothing activates it).
        FForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    }

    void cleanup()
    {
        for (QTimer* timer : FAnswerers)
            timer->stop();
        qDeleteAll(FAnswerers);
        FAnswerers.clear();
        while (QDialog* dialog = PropertiesDialog()) {
            dialog->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        FForm.reset();
        FLang.reset();
        // Qt removes folders through text names, which cannot name bad\xff.txt.
        for (const auto* dir : {FTree.get(), FHome.get()})
            std::filesystem::remove_all(dir->path().toStdString());
    }

    // Del on the selected row, Yes in the question: exactly that file goes to the trash, under its
    // own name and with its own bytes in the record; the look-alike beside it and its row stay.
    // The fault was trashing the other file (or, alone, reporting success and keeping the file).
    void DeleteKeyTrashesExactlyTheSelectedFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("other");
        QTest::addColumn<bool>("otherPresent");
        QTest::newRow("0xFF beside U+FFFD") << PathText(BadByte) << PathText(Replacement) << true;
        QTest::newRow("U+FFFD beside 0xFF") << PathText(Replacement) << PathText(BadByte) << true;
        QTest::newRow("0xFF alone") << PathText(BadByte) << PathText(Replacement) << false;
    }
    void DeleteKeyTrashesExactlyTheSelectedFile()
    {
        QFETCH(QString, target);
        QFETCH(QString, other);
        QFETCH(bool, otherPresent);
        const std::string folder = BothNames("d");
        const std::string targetPath = folder + PathBytes(target);
        const std::string otherPath = folder + PathBytes(other);
        const std::string targetBytes = ReadBytes(targetPath);
        const std::string otherBytes = ReadBytes(otherPath);
        if (!otherPresent)
            QVERIFY(::unlink(otherPath.c_str()) == 0);
        Search(PathText(folder), QStringLiteral("bad*"));
        QCOMPARE(FForm->ListModel->rowCount(), otherPresent ? 2 : 1);

        ClickRow(targetPath);
        QString question;
        AnswerNextBox(QMessageBox::Yes, &question);
        QTest::keyClick(FForm->ListView, Qt::Key_Delete);
        // The two names read differently: bytes that are not UTF-8 are written escaped (issue 24).
        QCOMPARE(question, QStringLiteral("Are you sure you want to move '%1' to the trash?").arg(MessagePath(PathBytes(target))));

        QVERIFY(!Exists(targetPath));
        QCOMPARE(ReadBytes(Trash() + "/files/" + PathBytes(target)), targetBytes);
        QCOMPARE(RecordedPath(PathBytes(target)), targetPath);
        QCOMPARE(RowPaths(), otherPresent ? std::vector<std::string>{otherPath} : std::vector<std::string>{});
        if (otherPresent)
            QCOMPARE(ReadBytes(otherPath), otherBytes);
        QVERIFY(TMessageBox::Shown().isEmpty()); // no failure box after a move that worked
    }

    // "Delete" chosen from the popup menu; a file that cannot be moved (the trash cannot be made)
    // keeps its row and is named in one message instead of vanishing silently from the list.
    void PopupDeleteThatFailsSaysSoAndKeepsTheRow()
    {
        const std::string folder = BothNames("d");
        Search(PathText(folder), QStringLiteral("bad*"));
        WriteBytes(Trash(), "a file where the trash folder belongs");

        ClickRow(folder + BadByte);
        AnswerNextBox(QMessageBox::Yes);
        QString failure;
        AnswerNextBox(QMessageBox::Ok, &failure);
        ChooseFromPopup(folder + BadByte, FForm->mDelete);
        QVERIFY(QTest::qWaitFor([&] { return !failure.isEmpty(); }, Timeout));
        QVERIFY2(failure.contains(MessagePath(folder + BadByte)), qPrintable(failure));
        QVERIFY(Exists(folder + BadByte));
        QCOMPARE(FForm->ListModel->rowCount(), 2);
        QVERIFY(RowOf(folder + BadByte) >= 0);
    }

    // Ctrl+C and the popup's "Copy" put the selected file's own bytes on the clipboard: bad%FF.txt,
    // not bad%EF%BF%BD.txt; the data of a drag from the list is the same.
    void CopyAndDragOfferTheSelectedBytes()
    {
        const std::string folder = BothNames("d");
        Search(PathText(folder), QStringLiteral("bad*"));
        const std::string encodedFolder = "file://" + PercentEncodePath(folder);

        ClickRow(folder + BadByte);
        QTest::keyClick(FForm->ListView, Qt::Key_C, Qt::ControlModifier);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(data->data("text/uri-list").toStdString(), encodedFolder + "bad%FF.txt\r\n");
        QCOMPARE(data->data("x-special/gnome-copied-files").toStdString(), "copy\n" + encodedFolder + "bad%FF.txt");
        QCOMPARE(data->data("text/plain").toStdString(), folder + BadByte);

        ClickRow(folder + Replacement);
        ChooseFromPopup(folder + Replacement, FForm->mCopy);
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->mimeData()->data("text/uri-list").toStdString(),
                                  encodedFolder + "bad%EF%BF%BD.txt\r\n", Timeout);

        const QModelIndexList rows = {FForm->ListModel->index(RowOf(folder + BadByte), 0)};
        std::unique_ptr<QMimeData> dragged(FForm->ListModel->mimeData(rows));
        QVERIFY(dragged);
        QCOMPARE(dragged->data("text/uri-list").toStdString(), encodedFolder + "bad%FF.txt\r\n");
        QCOMPARE(dragged->data("text/plain").toStdString(), folder + BadByte);
    }

    // Open (double click), Open folder (Ctrl+F) and Properties (Ctrl+P) reach the desktop with the
    // selected file's URI; the program's own properties window shows that file's facts.
    void OpenFolderAndPropertiesReachTheSelectedFile()
    {
        const std::string folder = BothNames("d");
        Search(PathText(folder), QStringLiteral("bad*"));
        const QByteArray uri = QByteArray::fromStdString("file://" + PercentEncodePath(folder) + "bad%FF.txt");

        ClickRow(folder + BadByte);
        QTest::mouseDClick(FForm->ListView->viewport(), Qt::LeftButton, {}, RowCenter(RowOf(folder + BadByte)));
        QCOMPARE(TLauncher::Opened().size(), 1);
        QCOMPARE(TLauncher::Opened().first().toEncoded(), uri);

        TLauncher::Opened().clear();
        QTest::keyClick(FForm->ListView, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(TLauncher::ShownItems().size(), 1);
        QCOMPARE(TLauncher::ShownItems().first().toEncoded(), uri);
        // Without a file manager the folder opens instead: the one that holds the file.
        QCOMPARE(TLauncher::Opened().size(), 1);
        QCOMPARE(TLauncher::Opened().first().toEncoded(), QByteArray::fromStdString("file://" + PercentEncodePath(folder)));

        QTest::keyClick(FForm->ListView, Qt::Key_P, Qt::ControlModifier);
        QDialog* dialog = PropertiesDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLabel*>("lName")->text(), QStringLiteral("bad\uFFFD.txt"));
        const QString size = dialog->findChild<QLabel*>("lSize")->text();
        const auto expected = static_cast<qulonglong>(ReadBytes(folder + BadByte).size());
        QVERIFY2(size.contains(QStringLiteral("(%1 bytes)").arg(expected)), qPrintable(size));
        dialog->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        TLauncher::SetFileManagerPresent(true);
        TLauncher::ShownProperties().clear();
        ClickRow(folder + Replacement);
        ChooseFromPopup(folder + Replacement, FForm->mProp);
        QTRY_COMPARE_WITH_TIMEOUT(TLauncher::ShownProperties().size(), 1, Timeout);
        QCOMPARE(TLauncher::ShownProperties().first().toEncoded(),
                 QByteArray::fromStdString("file://" + PercentEncodePath(folder) + "bad%EF%BF%BD.txt"));

        // The selected file is gone: Properties says so rather than showing its look-alike or nothing.
        QVERIFY(::unlink((folder + Replacement).c_str()) == 0);
        QString refusal;
        AnswerNextBox(QMessageBox::Ok, &refusal);
        QTest::keyClick(FForm->ListView, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(refusal, QStringLiteral("Cannot open file ") + DisplayPath(folder + Replacement));
        QCOMPARE(TLauncher::ShownProperties().size(), 1);
        // So does Open (a double click), instead of handing the desktop a file that is not there.
        refusal.clear();
        TLauncher::Opened().clear();
        AnswerNextBox(QMessageBox::Ok, &refusal);
        QTest::mouseDClick(FForm->ListView->viewport(), Qt::LeftButton, {}, RowCenter(RowOf(folder + Replacement)));
        QCOMPARE(refusal, QStringLiteral("Cannot open file ") + DisplayPath(folder + Replacement));
        QVERIFY(TLauncher::Opened().isEmpty());
    }

    // "trovex -F <folder>" with a folder named in bytes that are not UTF-8 searches that folder, not
    // its look-alike; the history the window hands to the store keeps the folder's bytes.
    void StartFolderAndHistoryKeepTheirBytes()
    {
        const std::string wanted = BothNames("dir\xff");
        const std::string lookAlike = BothNames("dir\xef\xbf\xbd");
        std::string folderArgument = wanted.substr(0, wanted.size() - 1);
        std::string program = "trovex", option = "-F";
        char* argv[] = {program.data(), option.data(), folderArgument.data(), nullptr};
        const TCommandLine commandLine = ParseCommandLine(CommandLineArgs(3, argv));
        QCOMPARE(commandLine.Action, saFolder);

        FForm->cbFolder->setFocus();
        Search(PathText(commandLine.Folder), QStringLiteral("*.txt"));
        std::vector<std::string> rows = RowPaths();
        std::sort(rows.begin(), rows.end());
        QCOMPARE(rows, (std::vector<std::string>{wanted + Replacement, wanted + BadByte}));
        QVERIFY(lookAlike != wanted);

        // Leaving the folder box (the click on Find did) put the folder first in its history.
        QCOMPARE(PathBytes(FForm->cbFolder->itemText(0)), folderArgument);
        QVERIFY(FForm->close());
        QCOMPARE(FForm->Store().ReadString(TFindForm::ProgramKey, "Path0").value_or(""), folderArgument);

        // The next start offers the same folder, byte for byte, through the store file.
        FForm = std::make_unique<TFindForm>(*FLang);
        QCOMPARE(PathBytes(FForm->cbFolder->itemText(0)), folderArgument);
        QCOMPARE(PathBytes(FForm->cbFolder->currentText()), folderArgument);
    }

    // In results searches the rows' own files, and Go back restores them from a list of their bytes.
    void InResultsAndGoBackKeepTheBytes()
    {
        const std::string folder = BothNames("d");
        Search(PathText(folder), QStringLiteral("bad*"));
        QCOMPARE(FForm->ListModel->rowCount(), 2);

        FForm->cbMask->setEditText(QStringLiteral("*.txt")); // in a list, masks fit whole paths
        QTest::mouseClick(FForm->btnFindInto, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([this] { return !FForm->Running; }, Timeout));
        FForm->ListModel->Flush();
        std::vector<std::string> rows = RowPaths();
        std::sort(rows.begin(), rows.end());
        QCOMPARE(rows, (std::vector<std::string>{folder + Replacement, folder + BadByte}));
        const std::string list = ReadBytes(TFindForm::BackListPath().toStdString());
        // NUL-separated (issue 24): a name may hold a line feed.
        QVERIFY(list.find(folder + BadByte + '\0') != std::string::npos);
        QVERIFY(list.find(folder + Replacement + '\0') != std::string::npos);

        QVERIFY(::unlink((folder + Replacement).c_str()) == 0);
        QTest::mouseClick(FForm->btnBack, Qt::LeftButton);
        FForm->ListModel->Flush();
        QCOMPARE(RowPaths(), std::vector<std::string>{folder + BadByte});
    }
};

QTEST_MAIN(uMainPathsTest)
#include "uMainPathsTest.moc"
