// SPDX-License-Identifier: MIT
// Rows whose Type cell and icon come from the desktop: the lookup waits until a row is painted,
// sorted by Type or written to a report, happens once per row, and the rows added meanwhile cost none.
// The same for the size and date of a row found by name alone.
#include <QAbstractItemModelTester>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QPixmap>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>

#include "app/ResultModel.h"
#include "app/ShellTypes.h"
#include "platform/FileSystem.h"

using namespace trovex;

namespace
{

TFindFileInfo Found(const std::string& path, std::uint32_t attributes = faArchive)
{
    TFindFileInfo info;
    info.FileName = path;
    info.Name = path.substr(path.rfind('/') + 1);
    info.FindData.Name = info.Name;
    info.FindData.Attributes = attributes;
    info.Attr = attributes;
    return info;
}

} // namespace

class ResultModelTypesTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TResultModel> FModel;
    std::map<std::string, int> FAsked; // path -> lookups

    // A desktop that knows .txt and .png and folders, and nothing else.
    TResultModel::TShellType Lookup(std::string_view path, std::uint32_t attributes)
    {
        ++FAsked[std::string(path)];
        if (attributes & faDirectory)
            return {QStringLiteral("Folder"), 0};
        if (path.ends_with(".txt"))
            return {QStringLiteral("Plain text"), 1};
        if (path.ends_with(".png"))
            return {QStringLiteral("PNG image"), 2};
        return {};
    }

    QString Cell(int row, int column) const { return FModel->index(row, column).data().toString(); }

private slots:
    void init()
    {
        FAsked.clear();
        FModel = std::make_unique<TResultModel>();
        new QAbstractItemModelTester(FModel.get(), QAbstractItemModelTester::FailureReportingMode::QtTest, FModel.get());
        FModel->SetTypeSource([this](std::string_view path, std::uint32_t attributes) { return Lookup(path, attributes); });
        FModel->SetIconSource([](int slot) {
            QPixmap pixmap(16, 16);
            pixmap.fill(slot == 0 ? Qt::yellow : Qt::blue);
            return QIcon(pixmap);
        });
    }

    void cleanup() { FModel.reset(); }

    // What each kind of row shows once it is looked at, and how often the desktop was asked.
    void CellsOnceLookedAt()
    {
        struct Case { const char* path; std::uint32_t attributes; bool shellTyped; const char* type; bool icon; };
        const Case cases[] = {
            {"/d/a.txt", faArchive, true, "Plain text", true},
            {"/d/b.png", faArchive, true, "PNG image", true},
            {"/d/c.weird", faArchive, true, "weird", false},        // unknown: the extension, no icon
            {"/d/sub", faDirectory, true, "Folder", true},
            {"/d/e.txt", faArchive, false, "txt", false},          // added while icons were off
        };
        for (const Case& c : cases) {
            if (c.shellTyped)
                FModel->AppendShellTyped(Found(c.path, c.attributes));
            else
                FModel->Append(Found(c.path, c.attributes));
        }
        FModel->Flush();
        QVERIFY(FAsked.empty()); // adding and announcing rows asks nothing
        for (int round = 0; round < 2; ++round) {
            for (int row = 0; row < int(std::size(cases)); ++row) {
                const Case& c = cases[row];
                QCOMPARE(Cell(row, TResultModel::rcType), QString::fromUtf8(c.type));
                QCOMPARE(FModel->index(row, 0).data(Qt::DecorationRole).isValid(), c.icon);
                QCOMPARE(FAsked[c.path], c.shellTyped ? 1 : 0);
            }
        }
        QCOMPARE(FModel->Cells(1).Type, std::string("PNG image"));
    }

    // A report row or a sort by Type looks up what no paint has asked for yet; other sorts do not.
    void SortAndReportLookUpTheRest()
    {
        for (const char* path : {"/s/z.txt", "/s/y.png", "/s/x.weird", "/s/w.txt"})
            FModel->AppendShellTyped(Found(path));
        FModel->Flush();
        FModel->SortBy(TResultModel::rcName, true);
        FModel->SortBy(TResultModel::rcSize, true);
        QVERIFY(FAsked.empty());
        QCOMPARE(FModel->Cells(1).Type, std::string("weird")); // w.txt, x.weird, ... by name; equal sizes stay
        QCOMPARE(FAsked.size(), std::size_t(1));
        FModel->SortBy(TResultModel::rcType, true);
        QCOMPARE(FAsked.size(), std::size_t(4));
        QStringList types, names;
        for (int row = 0; row < FModel->rowCount(); ++row) {
            types.append(Cell(row, TResultModel::rcType));
            names.append(Cell(row, TResultModel::rcName));
        }
        QCOMPARE(types, (QStringList{"Plain text", "Plain text", "PNG image", "weird"}));
        QCOMPARE(names, (QStringList{"w.txt", "z.txt", "y.png", "x.weird"}));
        for (const auto& [path, count] : FAsked)
            QCOMPARE(count, 1);
    }

    // A row found by name alone reads its size and date when they are first needed, from the file as
    // it is then; a row that came with its record keeps it; a file gone meanwhile shows neither.
    void RecordsReadWhenFirstNeeded()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const std::string root = dir.path().toStdString() + "/";
        auto write = [&](const std::string& name, std::size_t size, std::int64_t mtime) {
            std::ofstream(root + name, std::ios::binary) << std::string(size, 'x');
            const timespec times[2] = {{mtime, 0}, {mtime, 0}};
            QCOMPARE(utimensat(AT_FDCWD, (root + name).c_str(), times, 0), 0);
        };
        struct Case { const char* name; std::size_t sizeThen; std::size_t sizeLater; bool recorded; bool removed; };
        const Case cases[] = {
            {"grows.txt", 10, 2000, false, false},  // shown as it is when first asked
            {"same.txt", 300, 300, false, false},
            {"gone.txt", 40, 0, false, true},       // removed before anyone asked
            {"known.txt", 5, 900, true, false},      // came with its record: not read again
        };
        const std::int64_t mtime = 1600000000;
        for (const Case& c : cases) {
            write(c.name, c.sizeThen, mtime);
            TFindFileInfo info = Found(root + c.name);
            info.Recorded = c.recorded;
            if (c.recorded) {
                info.FindData.Size = c.sizeThen;
                info.FindData.LastWriteTime = UnixToFileTime(mtime, 0);
            }
            FModel->Append(info);
        }
        FModel->Flush();
        for (const Case& c : cases) {
            if (c.removed)
                QVERIFY(std::remove((root + c.name).c_str()) == 0);
            else
                write(c.name, c.sizeLater, mtime + 60);
        }
        for (int row = 0; row < int(std::size(cases)); ++row) {
            const Case& c = cases[row];
            const TFindFileInfo info = FModel->Info(row);
            const QString size = Cell(row, TResultModel::rcSize);
            if (c.removed) {
                QVERIFY(size.isEmpty());
                QVERIFY(Cell(row, TResultModel::rcModified).isEmpty());
                QVERIFY(FModel->Cells(row).Size.empty());
            } else {
                const std::size_t expected = c.recorded ? c.sizeThen : c.sizeLater;
                QCOMPARE(size, QString::number(expected));
                QCOMPARE(FModel->Cells(row).Size, std::to_string(expected));
                QCOMPARE(info.FindData.LastWriteTime, UnixToFileTime(c.recorded ? mtime : mtime + 60, 0));
                QVERIFY(!Cell(row, TResultModel::rcModified).isEmpty());
            }
        }
        // A sort by size reads what no one has asked for yet, the same way.
        FModel->Clear();
        for (const Case& c : cases) {
            if (!c.removed)
                write(c.name, c.sizeThen, mtime);
            TFindFileInfo info = Found(root + c.name);
            info.Recorded = false;
            FModel->Append(info);
        }
        FModel->Flush();
        write("grows.txt", 2000, mtime);
        FModel->SortBy(TResultModel::rcSize, true);
        QStringList names;
        for (int row = 0; row < FModel->rowCount(); ++row)
            names.append(Cell(row, TResultModel::rcName));
        QCOMPARE(names, (QStringList{"gone.txt", "known.txt", "same.txt", "grows.txt"}));
    }

    // A view of many rows asks only for the rows it paints.
    void PaintingAsksForVisibleRowsOnly()
    {
        for (int i = 0; i < 5000; ++i)
            FModel->AppendShellTyped(Found("/many/f" + std::to_string(i) + ".txt"));
        FModel->Flush();
        QTreeView view;
        view.setUniformRowHeights(true);
        view.setModel(FModel.get());
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY(!FAsked.empty());
        QVERIFY2(FAsked.size() < 100, qPrintable(QString::number(FAsked.size())));
        QVERIFY(FAsked.count("/many/f0.txt"));
    }

    // The type a name gives is shared by the names with the same tail, except where a whole-name
    // pattern decides: a wrong share would type "CMakeLists.txt" as plain text after "notes.txt",
    // "x.tar.gz" as gzip after "y.gz", or "x.C" (C++) as C after "x.c". Each name must get what the
    // MIME database itself says of it, whatever came before.
    void NameDecidedTypesMatchTheDatabase()
    {
        const char* const names[] = {
            "notes.txt", "CMakeLists.txt", "y.gz", "x.tar.gz", "z.TAR.GZ", "x.c", "x.C", "a.cpp", "b.cpp~",
            "Makefile", "makefile", "Makefile.am", "other.am", "README", "README.md", "plain.md", "core",
            "Core", "libz.so.1", "libz.so", "page.1", "page.x", "123.vdr", "1234.vdr", "noext", "another",
            ".hidden", ".bashrc", "trailing.", "a.b.c.txt", "meson.build", "x.build",
            // Keys from the last dot, or from an earlier one where a pattern of several dots fits.
            "libfoo.so.6.0.1", "libbar.so.2", "x.so.1.tar.gz", "a.b.tar.gz", "notes.v2.tar", "v1.2.gz",
            "man.v2.1", "doc.ps.gz", "doc.v1.ps.gz", "pic.SVG.GZ", "pic.svg.gz", "pic.v2.svg", "x.7z.001",
            "y.001", "anim.anim5", "tarball.tar.zst", "old.tar.Z", "old.Z",
            // Names that a wildcard whole-name pattern fits, sharing a key only where they end alike.
            "README.gz", "README.tar.gz", "readme.1.gz", "README.C", "readme.c", "Makefile.in.in", "makefile.am",
            "README.Debian", "readme.debian", "README.md.gz", "README.1", "readme.so.1", "libx.so.1.gz", "x.so.1.bak",
            "README~", "#README#", "123.vdr.gz",
        };
        const QMimeDatabase db;
        for (const char* name : names) {
            const QMimeType expected = db.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
            const TResultModel::TShellType got = ShellTypeOfRow(std::string("/some/folder/") + name, faArchive);
            QVERIFY2(got.Name == (expected.isValid() ? expected.comment() : QString()),
                     qPrintable(QStringLiteral("%1: %2, the database says %3").arg(QLatin1String(name), got.Name, expected.comment())));
        }
        QCOMPARE(ShellTypeOfRow("/some/folder/sub", faDirectory).Name, db.mimeTypeForName(QStringLiteral("inode/directory")).comment());
    }

    // Most types are answered from the database's pattern list without asking it: every pattern
    // there, in either case, after another dot and made concrete where it has wildcards, must give
    // the type the database gives the same name, whatever names came before.
    void EveryPatternOfTheDatabaseGivesItsType()
    {
        const QString globs = QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("mime/globs2"));
        if (globs.isEmpty())
            QSKIP("no MIME database");
        QFile file(globs);
        QVERIFY(file.open(QIODevice::ReadOnly));
        std::vector<std::string> names{"noext", "a.zzqx", "a.ZZQX", "v1.2", "x.", ".x"};
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().trimmed().split(':');
            if (fields.size() < 3 || fields[0].startsWith('#'))
                continue;
            // Wildcards made concrete: "*" as "x", "?" as "q", a set as its first member.
            std::string pattern;
            for (qsizetype i = 0; i < fields[2].size(); ++i) {
                const char c = fields[2][i];
                if (c == '[') {
                    const qsizetype close = fields[2].indexOf(']', i + 1);
                    pattern += fields[2][i + 1] == '!' ? 'x' : fields[2][i + 1];
                    i = close < 0 ? fields[2].size() : close;
                } else {
                    pattern += c == '*' ? 'x' : c == '?' ? 'q' : c;
                }
            }
            const QByteArray upper = QByteArray::fromStdString(pattern).toUpper();
            for (const std::string& name : {pattern, upper.toStdString(), "v1." + pattern, pattern + ".bak"})
                names.push_back(name);
        }
        const QMimeDatabase db;
        for (const std::string& name : names) {
            const QMimeType expected = db.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
            const QString got = ShellTypeOfRow("/p/" + name, faArchive).Name;
            QVERIFY2(got == (expected.isValid() ? expected.comment() : QString()),
                     qPrintable(QStringLiteral("%1: %2, the database says %3 (%4)")
                                    .arg(QString::fromStdString(name), got, expected.comment(), expected.name())));
        }
    }

    // The description read from the type's own file is the database's, in the languages of the
    // user's locale, of a country and without one, and in none.
    void DescriptionsAreTheDatabasesInEachLanguage()
    {
        const QMimeDatabase db;
        const QList<QMimeType> types = db.allMimeTypes();
        QVERIFY(types.size() > 100);
        const QLocale before;
        for (const char* locale : {"C", "de_DE", "pt_BR", "zh_TW", "en_GB", "fr_CA", "sr_RS"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            for (const QMimeType& type : types)
                QVERIFY2(MimeComment(type) == type.comment(),
                         qPrintable(QStringLiteral("%1 in %2: %3, the database says %4")
                                        .arg(type.name(), QLatin1String(locale), MimeComment(type), type.comment())));
        }
        QLocale::setDefault(before);
    }
};

QTEST_MAIN(ResultModelTypesTest)
#include "ResultModelTypesTest.moc"
