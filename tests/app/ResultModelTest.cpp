// SPDX-License-Identifier: MIT
// The result list's model under QAbstractItemModelTester: cells, batched announcements, sorting by
// text, time and size, persistent indexes through sorts and removals, tips and icons. The last case
// fills a tree view; with TROVEX_BENCH_ROWS=1000000 it prints the timings and memory of a big list.
#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMimeData>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <set>

#include "app/ResultModel.h"
#include "platform/FileSystem.h"

using namespace trovex;

namespace
{

constexpr std::int64_t EpochMs = 11644473600000; // 1601-01-01 to 1970-01-01

TFileTime FileTimeOf(const QDateTime& local)
{
    return static_cast<TFileTime>(local.toMSecsSinceEpoch() + EpochMs) * 10000;
}

TFileTime At(int y, int mo, int d, int h, int mi, int s)
{
    return FileTimeOf(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

// The record the engine hands out for one file.
TFindFileInfo Found(const std::string& path, std::uint64_t size = 0, TFileTime written = At(2024, 5, 6, 10, 0, 0),
                    const std::string& foundText = {})
{
    TFindFileInfo info;
    info.FileName = path;
    info.Name = path.substr(path.rfind('/') + 1);
    info.FindData.Name = info.Name;
    info.FindData.Size = size;
    info.FindData.LastWriteTime = written;
    info.FindData.Attributes = faArchive;
    info.Attr = faArchive;
    info.Size = static_cast<std::int32_t>(size & 0xFFFFFFFFu);
    info.Time = FileTimeToDosDateTime(written);
    info.FoundText = foundText;
    return info;
}

QStringList Column(const QAbstractItemModel& model, int column, int role = Qt::DisplayRole)
{
    QStringList cells;
    for (int r = 0; r < model.rowCount(); ++r)
        cells.append(model.data(model.index(r, column), role).toString());
    return cells;
}

qint64 RssKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace

class ResultModelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TResultModel> FModel;
    std::unique_ptr<QAbstractItemModelTester> FTester;

    TResultModel& Model() { return *FModel; }

    void AppendAll(const std::vector<TFindFileInfo>& infos)
    {
        for (const TFindFileInfo& info : infos)
            FModel->Append(info);
        FModel->Flush();
    }

    QStringList Names() { return Column(*FModel, TResultModel::rcName); }

private slots:
    void init()
    {
        FModel = std::make_unique<TResultModel>();
        FTester = std::make_unique<QAbstractItemModelTester>(FModel.get(),
                                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
    }

    void cleanup()
    {
        FTester.reset();
        FModel.reset();
    }

    // Views must not see rows before Flush, see them all in one insertion, and lose them in one reset.
    void FlushAnnouncesRowsInBatches()
    {
        QSignalSpy inserted(&Model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&Model(), &QAbstractItemModel::modelReset);
        for (const char* p : {"/d/a.txt", "/d/b.txt", "/d/c.txt"})
            Model().Append(Found(p));
        QCOMPARE(Model().Count(), 3);
        QCOMPARE(Model().rowCount(), 0);
        QVERIFY(!Model().index(0, 0).isValid());
        Model().Flush();
        Model().Flush();
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), 0);
        QCOMPARE(inserted.at(0).at(2).toInt(), 2);
        Model().Append(Found("/d/d.txt"));
        QCOMPARE(Model().rowCount(), 3);
        Model().Flush();
        QCOMPARE(inserted.count(), 2);
        QCOMPARE(inserted.at(1).at(1).toInt(), 3);
        QCOMPARE(Names(), (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));

        Model().Append(Found("/d/e.txt")); // not yet announced when the list is cleared
        Model().Clear();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(Model().Count(), 0);
        QCOMPARE(Model().rowCount(), 0);
        Model().Append(Found("/d/f.txt"));
        Model().Flush();
        QCOMPARE(Names(), QStringList{"f.txt"});
    }

    // Folder up to the last '/', Type from a shell name or the text after the name's last dot.
    void CellsOfARow()
    {
        struct Case { const char* path; const char* typeName; const char* folder; const char* type; };
        const Case cases[] = {
            {"/home/u/readme.txt", "", "/home/u/", "txt"},
            {"/home/u/README", "", "/home/u/", ""},
            {"/home/u/backup.tar.gz", "", "/home/u/", "gz"},
            {"/home/u/.bashrc", "", "/home/u/", "bashrc"},
            {"/home/u/name.", "", "/home/u/", ""},
            {"/home/u.d/Makefile", "", "/home/u.d/", ""},
            {"/home/u/readme.txt", "Plain text document", "/home/u/", "Plain text document"},
            {"/srv/Отчёт.ДОК", "", "/srv/", "ДОК"},
            {"noslash.txt", "", "", "txt"},
        };
        for (const Case& c : cases)
            Model().Append(Found(c.path), QString::fromUtf8(c.typeName));
        Model().Flush();
        for (int r = 0; r < static_cast<int>(std::size(cases)); ++r) {
            const Case& c = cases[r];
            const std::string path = c.path;
            const TResultRow cells = Model().Cells(r);
            QCOMPARE(cells.Name, path.substr(path.rfind('/') + 1));
            QCOMPARE(cells.Folder, std::string(c.folder));
            QCOMPARE(cells.Type, std::string(c.type));
            QCOMPARE(cells.FullPath(), path);
            QCOMPARE(Model().FullPath(r), QString::fromStdString(path));
            for (int col = 0; col < TResultModel::ColumnCount; ++col) {
                const std::string shown = Model().data(Model().index(r, col)).toString().toStdString();
                const std::string expected[] = {cells.Name, cells.Folder, cells.Type, cells.Modified, cells.Size};
                QCOMPARE(shown, expected[col]);
            }
        }
    }

    // The row keeps all of the record that the list and its commands read, including the full 64-bit size.
    void InfoKeepsTheRecord()
    {
        const std::uint64_t big = (std::uint64_t(1) << 32) + 5;
        const TFindFileInfo in = Found("/data/Видео/film.mkv", big, At(2023, 12, 31, 23, 59, 58), "context «hit»");
        Model().Append(Found("/data/empty"));
        Model().Append(in);
        Model().Flush();
        const TFindFileInfo out = Model().Info(1);
        QCOMPARE(out.Name, in.Name);
        QCOMPARE(out.FileName, in.FileName);
        QCOMPARE(out.FoundText, in.FoundText);
        QCOMPARE(out.FindData.Size, big);
        QCOMPARE(out.Size, 5);
        QCOMPARE(out.FindData.LastWriteTime, in.FindData.LastWriteTime);
        QCOMPARE(out.Time, in.Time);
        QCOMPARE(out.Attr, in.Attr);
        QCOMPARE(Model().Cells(1).Size, std::string("4294967301"));
        QVERIFY(Model().Info(0).FoundText.empty());
    }

    // The date in the locale's short form, the clock in its long form without a zone, no clock at midnight.
    void ModifiedCell()
    {
        const QLocale locale = QLocale::system();
        const QDate day(2024, 3, 9);
        const QString date = locale.toString(day, QLocale::ShortFormat);
        QCOMPARE(FormatModified(FileTimeOf(QDateTime(day, QTime(0, 0, 0)))), date);
        QCOMPARE(FormatModified(FileTimeOf(QDateTime(day, QTime(0, 0, 0))) + 4000000), date); // 0.4 s past
        const QString one = FormatModified(FileTimeOf(QDateTime(day, QTime(0, 0, 1))));
        const QString evening = FormatModified(FileTimeOf(QDateTime(day, QTime(21, 7, 45))));
        QVERIFY2(one.startsWith(date + u' ') && one.size() > date.size() + 1, qPrintable(one));
        QVERIFY2(evening.startsWith(date + u' ') && evening.contains(QLatin1String("07:45")), qPrintable(evening));
        // The clock reads back as the time it was made from: no zone name or other text behind it.
        const QString clock = evening.mid(date.size() + 1);
        QVERIFY2(clock.endsWith(QLatin1String("45")) || clock.endsWith(QLatin1String("PM")), qPrintable(clock));
    }

    // First Size ascending, then descending, then File name ascending; sizes compare as numbers.
    void SortSequenceBySizeThenName()
    {
        const std::uint64_t sizes[] = {300, 5, std::uint64_t(1) << 32, 40, 1000, 0};
        const char* names[] = {"c.bin", "B.bin", "f.bin", "a.bin", "e.bin", "D.bin"};
        for (std::size_t i = 0; i < std::size(sizes); ++i)
            Model().Append(Found(std::string("/s/") + names[i], sizes[i]));
        Model().Flush();

        auto sizesShown = [this] {
            std::vector<std::uint64_t> shown;
            for (const QString& cell : Column(Model(), TResultModel::rcSize)) {
                bool ok = false;
                shown.push_back(cell.toULongLong(&ok));
                if (!ok)
                    return std::vector<std::uint64_t>{};
            }
            return shown;
        };
        std::vector<std::uint64_t> expected(std::begin(sizes), std::end(sizes));
        std::sort(expected.begin(), expected.end());
        Model().SortBy(TResultModel::rcSize, true);
        QCOMPARE(sizesShown(), expected);
        Model().SortBy(TResultModel::rcSize, false);
        std::reverse(expected.begin(), expected.end());
        QCOMPARE(sizesShown(), expected);
        Model().SortBy(TResultModel::rcName, true);
        QCOMPARE(Names(), (QStringList{"a.bin", "B.bin", "c.bin", "D.bin", "e.bin", "f.bin"}));
        QCOMPARE(Model().Cells(0).Size, std::string("40"));
    }

    // The text columns fold a-z only and compare bytes; each pair is tried in the Name, Folder and Type
    // columns, both ways, with equal rows keeping their order. A third row "!" sorts before both, so the
    // pair's common head is not skipped and differences past the first eight bytes are compared too.
    void TextComparisonTable()
    {
        struct Case { const char* a; const char* b; int order; };
        const Case cases[] = {
            {"readme.txt", "README.TXT", 0},
            {"файл.txt", "ФАЙЛ.txt", 1},      // Cyrillic case counts: Ф (D0 A4) before ф (D1 84)
            {"Ёлка", "ёлка", -1},
            {"ab", "abc", -1},                 // a prefix comes first
            {"_x", "zz", 1},                   // '_' is above the folded letters
            {"Z", "a", 1},
            {"é.txt", "z.txt", 1},             // bytes above 0x7F after ASCII
            {"€.txt", "¢.txt", 1},             // E2 82 AC after C2 A2: no folding of high bytes
            {"longname_a1.txt", "LONGNAME_A2.txt", -1},
            {"longname_common.TXT", "LONGNAME_COMMON.txt", 0},
            {"longname_commoN_фото", "LONGNAME_COMMON_ФОТО", 1},
            {"a0", "A", 1},
        };
        for (int column : {TResultModel::rcName, TResultModel::rcFolder, TResultModel::rcType}) {
            for (const Case& c : cases) {
                const QString trace = QStringLiteral("column %1: %2 / %3").arg(column).arg(c.a, c.b);
                auto fill = [&] {
                    Model().Clear();
                    for (const char* text : {c.a, c.b, "!"}) {
                        const std::string s = text;
                        if (column == TResultModel::rcName)
                            Model().Append(Found("/f/" + s));
                        else if (column == TResultModel::rcFolder)
                            Model().Append(Found("/f/" + s + "/x"));
                        else
                            Model().Append(Found("/f/x"), QString::fromUtf8(text));
                    }
                    Model().Flush();
                    return Column(Model(), column);
                };
                const QStringList added = fill();
                const QString a = added[0], b = added[1], low = added[2];
                Model().SortBy(column, true);
                const QStringList up = c.order > 0 ? QStringList{low, b, a} : QStringList{low, a, b};
                QVERIFY2(Column(Model(), column) == up, qPrintable(trace));
                fill();
                Model().SortBy(column, false);
                const QStringList down = c.order < 0 ? QStringList{b, a, low} : QStringList{a, b, low};
                QVERIFY2(Column(Model(), column) == down, qPrintable(trace));
            }
        }
    }

    // Minutes apart on one day, midnight, and dates whose cells would sort wrongly as text.
    void SortByModifiedUsesTheTime()
    {
        const TFileTime times[] = {
            At(2024, 1, 10, 10, 15, 0), At(2024, 1, 10, 10, 5, 0), At(2024, 1, 10, 0, 0, 0),
            At(2024, 1, 9, 23, 59, 59), At(2024, 1, 10, 10, 10, 0), At(2023, 12, 1, 8, 0, 0),
            At(2024, 1, 10, 0, 0, 1),
        };
        for (std::size_t i = 0; i < std::size(times); ++i)
            Model().Append(Found("/t/f" + std::to_string(i), 0, times[i]));
        Model().Flush();

        std::vector<TFileTime> expected(std::begin(times), std::end(times));
        std::sort(expected.begin(), expected.end());
        for (bool ascending : {true, false}) {
            Model().SortBy(TResultModel::rcModified, ascending);
            std::vector<TFileTime> shown;
            for (int r = 0; r < Model().rowCount(); ++r) {
                shown.push_back(Model().Info(r).FindData.LastWriteTime);
                const QModelIndex cell = Model().index(r, TResultModel::rcModified);
                QCOMPARE(FileTimeOf(Model().data(cell, TResultModel::SortKeyRole).toDateTime()), shown.back());
                QCOMPARE(Model().data(cell).toString(), FormatModified(shown.back()));
            }
            QCOMPARE(shown, expected);
            std::reverse(expected.begin(), expected.end());
        }
        // Ascending again: the midnight row shows its date only, between the evening before and 00:00:01.
        Model().SortBy(TResultModel::rcModified, true);
        const int midnight = static_cast<int>(std::find(expected.begin(), expected.end(), At(2024, 1, 10, 0, 0, 0)) -
                                              expected.begin());
        QCOMPARE(Model().Info(midnight).FindData.LastWriteTime, At(2024, 1, 10, 0, 0, 0));
        QCOMPARE(Model().data(Model().index(midnight, TResultModel::rcModified)).toString(),
                 QLocale::system().toString(QDate(2024, 1, 10), QLocale::ShortFormat));
    }

    // Sorting never re-sorts later rows: they go to the bottom; the selection follows its rows.
    void AppendWhileSortedAndSelectionFollows()
    {
        AppendAll({Found("/a/m.txt", 3), Found("/a/b.txt", 1), Found("/a/x.txt", 2)});
        QItemSelectionModel selection(&Model());
        selection.select(Model().index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QPersistentModelIndex x = Model().index(2, 1);
        Model().SortBy(TResultModel::rcName, true);
        QCOMPARE(Names(), (QStringList{"b.txt", "m.txt", "x.txt"}));
        QCOMPARE(x.row(), 2);
        QCOMPARE(x.column(), 1);
        QCOMPARE(selection.selectedRows().size(), 1);
        QCOMPARE(selection.selectedRows().at(0).row(), 1);

        Model().Append(Found("/a/a.txt", 9));
        Model().Flush();
        QCOMPARE(Names(), (QStringList{"b.txt", "m.txt", "x.txt", "a.txt"}));
        // Rows not yet flushed are part of the next sort.
        Model().Append(Found("/a/0.txt", 0));
        Model().SortBy(TResultModel::rcSize, false);
        QCOMPARE(Names(), (QStringList{"a.txt", "m.txt", "x.txt", "b.txt", "0.txt"}));
        QCOMPARE(x.data().toString(), QStringLiteral("/a/"));
        QCOMPARE(Model().data(Model().index(x.row(), 0)).toString(), QStringLiteral("x.txt"));
    }

    // "..." around the hit text only while hints are on and the row has a text.
    void TipsFollowShowHints()
    {
        AppendAll({Found("/h/hit.txt", 1, At(2024, 1, 1, 1, 0, 0), "say needle here"), Found("/h/name-only.txt")});
        QSignalSpy changed(&Model(), &QAbstractItemModel::dataChanged);
        const QString tip = QStringLiteral("...say needle here...");
        QCOMPARE(Model().data(Model().index(0, 2), Qt::ToolTipRole).toString(), tip);
        QVERIFY(!Model().data(Model().index(1, 0), Qt::ToolTipRole).isValid());
        Model().SetShowHints(false);
        QCOMPARE(changed.count(), 1);
        QVERIFY(changed.at(0).at(2).value<QList<int>>().contains(Qt::ToolTipRole));
        QVERIFY(!Model().data(Model().index(0, 0), Qt::ToolTipRole).isValid());
        Model().SetShowHints(true);
        QCOMPARE(Model().data(Model().index(0, 0), Qt::ToolTipRole).toString(), tip);
    }

    // The icon slot is asked for only for rows added with a type name, and only in the first column.
    void IconsComeFromTheSource()
    {
        Model().Append(Found("/i/a.txt"), QStringLiteral("Text"), 7);
        Model().Append(Found("/i/b.txt"), QString(), 7);
        Model().Flush();
        QVERIFY(!Model().data(Model().index(0, 0), Qt::DecorationRole).isValid());
        std::vector<int> asked;
        Model().SetIconSource([&asked](int slot) {
            asked.push_back(slot);
            QPixmap pixmap(16, 16);
            pixmap.fill(Qt::red);
            return QIcon(pixmap);
        });
        QVERIFY(!Model().data(Model().index(0, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!Model().data(Model().index(0, 1), Qt::DecorationRole).isValid());
        QVERIFY(!Model().data(Model().index(1, 0), Qt::DecorationRole).isValid());
        QCOMPARE(asked, std::vector<int>{7});
    }

    // Remaining rows are exactly the ones not named, whether removed run by run or all at once.
    void RemoveRowsKeepsTheOthers()
    {
        struct Case { const char* what; int rows; std::vector<int> remove; };
        std::vector<int> everyOther;
        for (int r = 39; r >= 0; r -= 2)
            everyOther.push_back(r);
        const Case cases[] = {
            {"one row", 10, {4}},
            {"runs given ascending, duplicates, out of range", 10, {0, 1, 1, 5, 9, 42, -1}},
            {"every other row: many runs", 40, everyOther},
            {"all rows", 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
            {"nothing", 5, {}},
        };
        for (const Case& c : cases) {
            Model().Clear();
            for (int r = 0; r < c.rows; ++r)
                Model().Append(Found("/r/file" + std::to_string(r)));
            Model().Flush();
            Model().SortBy(TResultModel::rcName, false); // positions are no longer the order added
            const QStringList before = Names();
            const std::set<int> doomed(c.remove.begin(), c.remove.end());
            QStringList expected;
            std::vector<QPersistentModelIndex> kept, gone;
            for (int r = 0; r < c.rows; ++r) {
                (doomed.count(r) ? gone : kept).emplace_back(Model().index(r, 0));
                if (!doomed.count(r))
                    expected.append(before[r]);
            }
            Model().RemoveRowsDescending(c.remove);
            QVERIFY2(Names() == expected, c.what);
            QCOMPARE(Model().Count(), static_cast<int>(expected.size()));
            for (const QPersistentModelIndex& p : kept)
                QVERIFY2(p.isValid() && p.row() == static_cast<int>(expected.indexOf(p.data().toString())), c.what);
            for (const QPersistentModelIndex& p : gone)
                QVERIFY2(!p.isValid(), c.what);
        }
    }

    // Titles can be replaced; no cell can be edited; a drag carries each selected path once.
    void HeaderFlagsAndDragData()
    {
        AppendAll({Found("/m/one.txt"), Found("/m/two words.txt")});
        QCOMPARE(Model().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Modified"));
        QSignalSpy header(&Model(), &QAbstractItemModel::headerDataChanged);
        QVERIFY(Model().setHeaderData(3, Qt::Horizontal, QStringLiteral("Изменён")));
        QCOMPARE(header.count(), 1);
        QCOMPARE(Model().headerData(3, Qt::Horizontal).toString(), QStringLiteral("Изменён"));
        QVERIFY(!Model().setHeaderData(5, Qt::Horizontal, QStringLiteral("x")));
        for (int col = 0; col < TResultModel::ColumnCount; ++col) {
            const Qt::ItemFlags f = Model().flags(Model().index(0, col));
            QVERIFY(!(f & Qt::ItemIsEditable));
            QVERIFY((f & Qt::ItemIsSelectable) && (f & Qt::ItemIsDragEnabled));
        }
        const QModelIndexList picked{Model().index(1, 0), Model().index(1, 3), Model().index(0, 4)};
        std::unique_ptr<QMimeData> mime(Model().mimeData(picked));
        QVERIFY(mime);
        const QList<QUrl> urls{QUrl::fromLocalFile("/m/two words.txt"), QUrl::fromLocalFile("/m/one.txt")};
        QCOMPARE(mime->urls(), urls);
    }

    // A tree view over many rows flushed in batches: order and contents hold through sorts and clear.
    // TROVEX_BENCH_ROWS sets the row count and makes the case print timings and memory.
    void BigListInATreeView()
    {
        const bool bench = qEnvironmentVariableIsSet("TROVEX_BENCH_ROWS");
        const int rows = bench ? qEnvironmentVariableIntValue("TROVEX_BENCH_ROWS") : 20000;
        cleanup(); // the tester checks every signal, which no view of a big list can afford
        FModel = std::make_unique<TResultModel>();
        TResultModel& model = *FModel;
        auto infoOf = [](int i) {
            char path[128];
            std::snprintf(path, sizeof path, "/home/user/projects/module%03d/src/part%02d/File_%07d.%s", i % 997,
                          i % 13, static_cast<int>((i * 7919ll) % 1000003), i % 3 == 0 ? "cpp" : "txt");
            return Found(path, (i * 104729ull) % 50000000, At(2020, 1, 1, 0, 0, 0) + i * 10000000ull,
                         i % 10 == 0 ? "some text around the hit" : "");
        };
        auto ms = [](auto&& step) {
            QElapsedTimer timer;
            timer.start();
            step();
            QCoreApplication::processEvents();
            return timer.elapsed();
        };
        // Rows arrive and are flushed every `batch` rows, or every 150 ms when `batch` is 0 (the window's timer).
        auto fill = [&](int batch) {
            QElapsedTimer sinceFlush;
            sinceFlush.start();
            for (int i = 0; i < rows; ++i) {
                model.Append(infoOf(i));
                if (batch ? (i + 1) % batch == 0 : sinceFlush.elapsed() >= 150) {
                    model.Flush();
                    QCoreApplication::processEvents();
                    sinceFlush.start();
                }
            }
            model.Flush();
        };

        std::size_t pathBytes = 0;
        const qint64 makeMs = ms([&] {
            for (int i = 0; i < (bench ? rows : 0); ++i)
                pathBytes += infoOf(i).FileName.size();
        });
        const qint64 rssBefore = RssKiB();
        const qint64 appendMs = ms([&] {
            for (int i = 0; i < rows; ++i)
                model.Append(infoOf(i));
        });
        const qint64 rssModel = RssKiB();
        model.Clear();

        QTreeView view;
        view.setUniformRowHeights(true);
        view.setRootIsDecorated(false);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setModel(&model);
        view.resize(800, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qint64 batchMs = ms([&] { fill(1000); });
        QCOMPARE(view.model()->rowCount(), rows);
        for (int i : {0, rows / 2, rows - 1})
            QCOMPARE(model.FullPath(i), QString::fromStdString(infoOf(i).FileName));
        QCOMPARE(model.Info(rows - 11).FoundText, infoOf(rows - 11).FoundText);

        QItemSelectionModel& selection = *view.selectionModel();
        selection.select(model.index(rows / 3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QString selectedPath = model.FullPath(rows / 3);
        const qint64 nameMs = ms([&] { model.SortBy(TResultModel::rcName, true); });
        QString previous;
        for (int r = 0; r < rows; ++r) {
            const QString name = model.data(model.index(r, 0)).toString().toUpper();
            QVERIFY2(previous <= name, qPrintable(name));
            previous = name;
        }
        QCOMPARE(model.FullPath(selection.selectedRows().value(0).row()), selectedPath);
        const qint64 sizeMs = ms([&] { model.SortBy(TResultModel::rcSize, false); });
        for (int r = 1; r < rows; ++r)
            QVERIFY(model.Info(r - 1).FindData.Size >= model.Info(r).FindData.Size);
        const qint64 folderMs = ms([&] { model.SortBy(TResultModel::rcFolder, true); });
        const qint64 clearMs = ms([&] { model.Clear(); });
        QCOMPARE(view.model()->rowCount(), 0);
        if (!bench)
            return;

        const qint64 timedMs = ms([&] { fill(0); });
        QCOMPARE(view.model()->rowCount(), rows);
        const qint64 rssView = RssKiB();
        std::size_t reportBytes = 0;
        const qint64 cellsMs = ms([&] {
            for (int r = 0; r < rows; ++r)
                reportBytes += model.Cells(r).Modified.size();
        });
        QVERIFY(reportBytes > 0);
        view.selectAll();
        const qint64 allSelectedMs = ms([&] { model.SortBy(TResultModel::rcName, false); });
        QCOMPARE(selection.selectedRows().size(), rows);
        qInfo("%d rows, paths of %.1f bytes: model %.1f bytes/row, with the tree view %.1f bytes/row", rows,
              double(pathBytes) / rows, (rssModel - rssBefore) * 1024.0 / rows, (rssView - rssBefore) * 1024.0 / rows);
        qInfo("making the records %lld ms, appending them %lld ms; into the tree view flushing every 1000 rows "
              "%lld ms, every 150 ms %lld ms", makeMs, appendMs, batchMs, timedMs);
        qInfo("sort by name %lld ms, by size %lld ms, by folder %lld ms, by name with every row selected %lld ms; "
              "clear %lld ms; the cells of every row %lld ms",
              nameMs, sizeMs, folderMs, allSelectedMs, clearMs, cellsMs);
    }
};

QTEST_MAIN(ResultModelTest)
#include "ResultModelTest.moc"
