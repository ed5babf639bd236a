// SPDX-License-Identifier: MIT
#include "readers/uPDFtext.h"

#include "platform/Stream.h"
#include "support/PdfBuilder.h"
#include "support/Portable.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>


namespace trovex
{
namespace
{

namespace fs = std::filesystem;

std::string TextOf(const std::string& pdf)
{
    return TPDF2Text::FromBytes(pdf).Text();
}

TEST(uPDFtextTest, StringEscapes)
{
    struct Case { std::string in; std::string out; };
    const Case cases[] = {
        {"(a\\(b\\)c)", "a(b)c"},
        {"(x\\101y)", "xAy"},
        {"(a\\nb)", "a\r\nb"},
        {"(a\\fb\\rc)", "a\r\nb\r\nc"},
        {"(\\1234)", "S4"},
        {"(a(b)c)", "ab"},         // the first ")" ends the string
        {"(())", "("},             // a "(" right after the opening one is written
        {"()", ""},
        {"(a\\tb)", "atb"},        // unknown escapes give the letter
        {"(\\\\)", "\\"},
        {"(\\9)", "\x09"},         // 8 and 9 count with their face values
        {"(\\18)", "\x10"},
        {"(\\777)", "\xFF"},       // modulo 256
        {"(x\\0y)", std::string("x\0y", 3)},
        {"a) b (c", "c"},
        {"Tj (one\ntwo) Tj", "onetwo"},   // the in-string flag carries across lines
        {"(end\\\nnext)", "endnext"},      // a "\" ending a line writes nothing
        {"x(\nabc)", "abc"},               // so does a "(" ending a line
        {std::string("(p)\r\n(q)\n\r(r)\r\n\0(s)", 19), "pqrs"},
        {"no strings at all", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(TextOf(c.in), c.out);
    }
}

// The strings of a Flate page and of the info dictionary, in file order.
TEST(uPDFtextTest, FlatePageAndInfoDictionary)
{
    const std::string pdf = TPdfBuilder()
                                .Object("<< /Type /Catalog /Pages 2 0 R >>")
                                .FlateStream(PageContent("Hello") + PageContent("World"))
                                .PlainStream(PageContent("uncompressed"))
                                .Object("<< /Title (My title) >>")
                                .Bytes();
    EXPECT_EQ(TextOf(pdf), "HelloWorldMy title");
}

// Where the data ends depends on the bytes between it and "endstream", which must all be dropped.
TEST(uPDFtextTest, StreamBoundaries)
{
    const std::string data = ZlibDeflate(PageContent("Hello"));
    ASSERT_NE(data.back(), '\n');
    ASSERT_NE(data.back(), '\r');
    const std::string head = "1 0 obj\n<< /Filter /FlateDecode >>\n";
    struct Case { const char* what; std::string pdf; std::string text; };
    const Case cases[] = {
        {"LF", head + "stream\n" + data + "\nendstream\n", "Hello"},
        {"CR LF", head + "stream\r\n" + data + "\r\nendstream\r\n", "Hello"},
        {"CR", head + "stream\r" + data + "\rendstream\r", "Hello"},
        {"keyword right after the data", head + "stream\n" + data + "endstream\n", "Hello"},
        {"blank lines before the keyword", head + "stream\n" + data + "\n\n\r\nendstream", "Hello"},
        {"keyword on the dictionary's line", "<< /Filter /FlateDecode >> stream\n" + data + "\nendstream\n", ""},
        {"stream keyword with a blank after it", head + "stream \n" + data + "\nendstream\n", ""},
        {"filter name split across lines",
         "<< /Filter /Flate\nDecode >>\nstream\n" + data + "\nendstream\n", "Hello"},
        {"a later dictionary without the filter",
         "<< /Filter /FlateDecode >>\n<< /Length 9 >>\nstream\n" + data + "\nendstream\n", ""},
        {"a line that is the word alone starts the data again",
         head + "stream\nnot deflate\rstream\n" + data + "\nendstream\n", "Hello"},
        {"the word alone far into the data",
         head + "stream\n" + std::string(3 << 20, 'x') + "\nstream\n" + data + "\nendstream\n", "Hello"},
        {"stream text up to its first zero byte",
         head + "stream\n" + ZlibDeflate("(kept)" + std::string(1, '\0') + "(cut)") + "\nendstream\n", "kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = TextOf(c.pdf);
        if (c.text.empty())
            EXPECT_EQ(text.find("Hello"), std::string::npos);
        else
            EXPECT_EQ(text, c.text);
    }
}

// A damaged stream is skipped while its neighbours count; when none inflates the document fails.
TEST(uPDFtextTest, DamagedStreams)
{
    const std::string damaged = "x\x9C this is not deflate data";
    const std::string mixed = TPdfBuilder()
                                  .FlateStream(PageContent("Before"))
                                  .FlateStream("", "\n", damaged)
                                  .FlateStream(PageContent("After"), "\r\n")
                                  .Bytes();
    EXPECT_EQ(TextOf(mixed), "BeforeAfter");
    const std::string truncated = ZlibDeflate(PageContent("Gone"));
    const std::string allBad = TPdfBuilder()
                                   .Object("<< /Title (Info) >>")
                                   .FlateStream("", "\n", damaged)
                                   .FlateStream("", "\n", truncated.substr(0, truncated.size() / 2))
                                   .Bytes();
    EXPECT_THROW(TextOf(allBad), EPdfError);
    EXPECT_THROW(TextOf("%PDF-1.4\n1 0 obj\nstream\nabc\nendstream\n"), EPdfError); // no "<<" before it
}

// A 32 MiB stream in a small file stops at the document's bound; later streams give nothing more.
TEST(uPDFtextTest, InflateBudgetHoldsOnBomb)
{
    const std::string unit = "(" + std::string(14, 'x') + ")"; // 16 bytes: the bound falls after a ")"
    std::string bomb;
    for (std::size_t i = 0; i < (std::size_t{32} << 20) / unit.size(); ++i)
        bomb += unit;
    const std::string pdf = TPdfBuilder()
                                .FlateStream(bomb)
                                .FlateStream(PageContent("later"))
                                .Object("<< /Title (outside) >>")
                                .Bytes();
    ASSERT_LT(pdf.size(), std::size_t{1} << 20);
    const std::size_t budget = PdfInflateBudget(pdf.size());
    EXPECT_EQ(budget, PdfMinInflateBudget);
    const std::string text = TextOf(pdf);
    EXPECT_EQ(text, std::string(budget / unit.size() * 14, 'x') + "outside");
}

// Many streams after one dictionary: finding each stream's dictionary must not rescan the lines.
TEST(uPDFtextTest, ManyStreamsStayLinear)
{
    std::string pdf = "<< /Filter /FlateDecode >>\n";
    for (int i = 0; i < 200000; ++i)
        pdf += "stream\nendstream\n";
    pdf += "(end)\n";
    EXPECT_EQ(TextOf(pdf), "end");
}

TEST(uPDFtextTest, ReadsFilesAndReportsReadErrors)
{
    const fs::path dir = trovex::test::MakeTempFolder("pdftest-");
    const std::string path = (dir / "doc.pdf").string();
    std::ofstream(path, std::ios::binary) << TPdfBuilder().FlateStream(PageContent("On disk")).Bytes();
    const TPDF2Text pdf(path);
    EXPECT_EQ(pdf.Text(), "On disk");
    EXPECT_EQ(pdf.FileName(), path);
    EXPECT_THROW(TPDF2Text((dir / "missing.pdf").string()), EReadError);
    EXPECT_THROW(TPDF2Text(dir.string()), EReadError);
    fs::remove_all(dir);
}

// With TROVEX_SEED_DIR set, writes the fuzz seeds to <dir>/FuzzPdfText/; either way each seed reads.
TEST(uPDFtextTest, SeedCorpus)
{
    const char* seedDir = std::getenv("TROVEX_SEED_DIR");
    for (const auto& [name, bytes] : PdfSeeds()) {
        EXPECT_FALSE(TextOf(bytes).empty()) << name;
        if (seedDir) {
            fs::create_directories(fs::path(seedDir) / "FuzzPdfText");
            std::ofstream(fs::path(seedDir) / "FuzzPdfText" / name, std::ios::binary) << bytes;
        }
    }
}

} // namespace
} // namespace trovex
