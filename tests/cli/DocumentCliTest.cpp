// SPDX-License-Identifier: MIT
// trovex-cli over office documents: found by their text by default, by their bytes with
// --no-documents, and the help says which files are read.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/DocBuilder.h"
#include "support/ZipBuilder.h"
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
    std::string Err;
};

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TRun Cli(const std::vector<std::string>& args)
{
    const char* cli = std::getenv("TROVEX_CLI");
    TTempTree io;
    TRun run;
    run.Status = trovex::test::RunProcess(cli ? cli : TROVEX_CLI_PATH, args, {}, io.Path("out"), io.Path("err"));
    run.Out = FileText(io.Path("out"));
    run.Err = FileText(io.Path("err"));
    return run;
}

// A one-page PDF whose page is drawn by one compressed content stream.
std::string OnePagePdf(const std::string& content)
{
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 5 0 R >> >> "
        "/Contents 4 0 R >>",
        "<< /Length " + std::to_string(ZlibDeflate(content, 1).size()) + " /Filter /FlateDecode >>\nstream\n" +
            ZlibDeflate(content, 1) + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[21];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
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

// A PDF whose page is drawn by more than the 128 MB of content that is read: a word before the cut
// is found; one the cut hides leaves the file not found, and that is said on standard error.
TEST(DocumentCliTest, FilesCutAtTheirBoundAreSaid)
{
    std::string content = "BT /F1 12 Tf 72 700 Td (Quokkafern at the start) Tj T*\n";
    const std::string line = "(a line of the long page) Tj T*\n";
    content.reserve((std::size_t{130} << 20) + 100);
    while (content.size() < (std::size_t{130} << 20))
        content += line;
    content += "(Vorpalzine after the bound) Tj ET\n";
    TTempTree tree;
    tree.AddFile("long.pdf", OnePagePdf(content));
    content.clear();
    content.shrink_to_fit();
    const std::string path = Native(tree.Root() + "long.pdf");

    const TRun start = Cli({"-q", "-c", "Quokkafern", tree.Root()});
    EXPECT_EQ(start.Status, 0);
    EXPECT_EQ(start.Out, path + "\n");
    EXPECT_EQ(start.Err, ""); // found: nothing is missing from the answer

    const TRun past = Cli({"-q", "-c", "Vorpalzine", tree.Root()});
    EXPECT_EQ(past.Status, 1);
    EXPECT_EQ(past.Out, "");
    EXPECT_EQ(past.Err, "trovex-cli: " + path + ": not fully searched: cut at the size bound\n");
}
