// SPDX-License-Identifier: MIT
// trovex-cli over office documents: found by their text by default, by their bytes with
// --no-documents, and the help says which files are read.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/DocBuilder.h"
#include "support/TempTree.h"

using namespace trovex;
using trovex::test::Native;
using trovex::test::TTempTree;

namespace
{

struct TRun
{
    int Status = -1;
    std::string Out;
};

TRun Cli(const std::vector<std::string>& args)
{
    const char* cli = std::getenv("TROVEX_CLI");
    TTempTree io;
    TRun run;
    run.Status = trovex::test::RunProcess(cli ? cli : TROVEX_CLI_PATH, args, {}, io.Path("out"), io.Path("err"));
    std::ifstream in(io.Path("out"), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    run.Out = s.str();
    return run;
}

} // namespace

// The documents are found by a word split over runs, in archives with data descriptors and ZIP64,
// each with its context; --no-documents finds none of them.
TEST(DocumentCliTest, FindsDocumentsByTheirTextUnlessSwitchedOff)
{
    TTempTree tree;
    tree.AddFile("a/report.docx",
                 DocumentBytes(WordParts("<w:p><w:r><w:t>Ignored</w:t><w:tab/><w:t>see Quok</w:t></w:r><w:r><w:t>"
                                         "kafern &#x44F;</w:t></w:r></w:p>"),
                               dlDataDescriptors));
    tree.AddFile("b/sheet.xlsx", DocumentBytes(SheetParts("<si><t>quokkafern &amp; Co</t></si>", ""), dlZip64));
    tree.AddFile("c/slides.odp",
                 DocumentBytes(OpenDocumentParts("application/vnd.oasis.opendocument.presentation",
                                                 "<office:presentation><draw:page><draw:frame><draw:text-box>"
                                                 "<text:p>QUOKKAFERN<text:s/>slide</text:p></draw:text-box>"
                                                 "</draw:frame></draw:page></office:presentation>")));
    const std::string root = tree.Root();
    const TRun on = Cli({"-q", "-C", "-e", "windows", "-c", "Quokkafern", root});
    EXPECT_EQ(on.Status, 0);
    // The context holds the text's first line feed and the tab, written as \n and \t.
    EXPECT_EQ(on.Out, Native(root + "a/report.docx") + "\t\\nIgnored\\tsee Quokkafern я\\n\\n\n" +
                          Native(root + "b/sheet.xlsx") + "\t\\nLedger & more\\n\\nquokkafern & Co\\n\\n\\n\n" + Native(root + "c/slides.odp") +
                          "\t\\nQUOKKAFERN slide\\n\\n\\n\n");
    const TRun off = Cli({"-q", "--no-documents", "-e", "all", "-c", "Quokkafern", root});
    EXPECT_EQ(off.Status, 1);
    EXPECT_EQ(off.Out, "");
}

TEST(DocumentCliTest, HelpNamesTheDocumentTypes)
{
    const TRun help = Cli({"--help"});
    EXPECT_EQ(help.Status, 0);
    for (const char* text : {"--no-documents", ".docx", ".xlsx", ".pptx", ".odt", ".ods", ".odp", ".odg", ".potx"})
        EXPECT_NE(help.Out.find(text), std::string::npos) << text;
}
