// SPDX-License-Identifier: MIT
#include "search/Report.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/TempTree.h"

using namespace trovex;

namespace
{
TResultRow Row(const std::string& name, const std::string& folder, const std::string& type)
{
    return TResultRow{name, folder, type, "2024-05-06 07:08:09", "1234", ""};
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
} // namespace

TEST(ReportTest, LineFieldsFollowTheOptions)
{
    const TResultRow letter = Row("letter.doc", "/home/u/", "doc");
    const TResultRow final = Row("report.final.doc", "/d/", "doc");
    const TResultRow readme = Row("README", "/d/", "");
    const TResultRow comma = Row("a,b.txt", "/d/", "txt");
    TReportFields all;
    all.All = true;
    all.Path = false;
    TReportFields none;
    none.Path = false;
    TReportFields extOnly = none;
    extOnly.FileExt = true;
    TReportFields nameOnly = none;
    nameOnly.FileName = true;
    TReportFields nameExtSize = nameOnly;
    nameExtSize.FileExt = true;
    nameExtSize.Size = true;
    TReportFields pathDate = none;
    pathDate.Path = true;
    pathDate.Date = true;
    struct Case { TResultRow row; TReportFields fields; char sep; std::string line; };
    const Case cases[] = {
        {letter, all, ',', "letter.doc,/home/u/letter.doc,2024-05-06 07:08:09,1234"},
        {letter, all, '\t', "letter.doc\t/home/u/letter.doc\t2024-05-06 07:08:09\t1234"},
        {letter, extOnly, '\t', "doc"},
        {final, nameOnly, '\t', "report.final"},
        {readme, nameOnly, '\t', "README"},
        {letter, none, '\t', ""},
        {letter, nameExtSize, ',', "letter.doc,1234"},
        {letter, pathDate, '\t', "/home/u/letter.doc\t2024-05-06 07:08:09"},
        {comma, nameExtSize, ',', "a,b.txt,1234"}, // no quoting: the comma makes an extra column
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReportLine(c.row, c.fields, c.sep), c.line) << c.row.Name;
}

TEST(ReportTest, SeparatorFollowsTheFinalExtension)
{
    struct Case { const char* name; char sep; };
    const Case cases[] = {{"list.csv", ','}, {"LIST.CSV", ','}, {"list.txt", '\t'}, {"list", '\t'},
                          {"list.csv.txt", '\t'}, {"/a.csv/list", '\t'}, {"x.csvx", '\t'}};
    for (const Case& c : cases)
        EXPECT_EQ(ReportSeparator(c.name), c.sep) << c.name;
}

TEST(ReportTest, WritesCrLfAfterEveryLineAndReplacesTheFile)
{
    trovex::test::TTempTree tree;
    const std::string file = tree.AddFile("out.csv", "old content that must go");
    TReportFields fields;
    fields.Path = false;
    fields.FileName = true;
    fields.FileExt = true;
    fields.Size = true;
    WriteReport(file, {Row("a.txt", "/x/", "txt"), Row("b", "/y/", "")}, fields);
    EXPECT_EQ(ReadAll(file), "a.txt,1234\r\nb,1234\r\n");
    WriteReport(file, {}, fields);
    EXPECT_EQ(ReadAll(file), "");
    try {
        WriteReport(tree.Path("missing/out.txt"), {}, fields);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + tree.Path("missing/out.txt"));
    }
}

TEST(ReportTest, RowCellsComeFromTheRecord)
{
    TFindFileInfo info;
    info.Name = "archive.tar.gz";
    info.FileName = "/data/x.y/archive.tar.gz";
    info.FindData.Size = 5000000000ULL;
    info.FindData.LastWriteTime = LocalToFileTime(TDateTime{2019, 11, 2, 3, 4, 5, 0});
    TResultRow row = MakeResultRow(info);
    EXPECT_EQ(row.Folder, "/data/x.y/");
    EXPECT_EQ(row.Type, "gz");
    EXPECT_EQ(row.Size, "5000000000");
    EXPECT_EQ(row.Modified, "2019-11-02 03:04:05");
    EXPECT_EQ(ExtensionOf("/a.b/README"), "");
    EXPECT_EQ(FolderOf("name-only"), "");
}
