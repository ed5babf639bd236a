// SPDX-License-Identifier: MIT
// Rows whose Type cell and icon come from the desktop: the lookup waits until a row is painted,
// sorted by Type or written to a report, happens once per row, and the rows added meanwhile cost none.
#include <QAbstractItemModelTester>
#include <QPixmap>
#include <QTest>
#include <QTreeView>

#include <map>
#include <string>

#include "app/ResultModel.h"
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
};

QTEST_MAIN(ResultModelTypesTest)
#include "ResultModelTypesTest.moc"
