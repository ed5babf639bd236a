// SPDX-License-Identifier: MIT
// The document reader over archives built by the tests: what text comes out of each kind of
// document, in which order, whatever layout the archive has, and what a damaged one gives.
#include "readers/uDocText.h"
#include "readers/uDocXml.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include <gtest/gtest.h>

#include "readers/uPDFtext.h"
#include "search/StringSearch.h"
#include "support/DocBuilder.h"
#include "support/ZipBuilder.h"

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

struct TRead
{
    std::string Text;
    bool Damaged = false;
};

// Reads the whole text in small, odd pieces, as a caller may.
TRead ReadText(const std::string& bytes, TDocKind kind, std::size_t piece = 7)
{
    TDocTextStream stream(std::make_unique<TMemoryStream>(bytes), bytes.size(), kind);
    TRead r;
    stream.Seek(0);
    std::string buffer(piece, '\0');
    for (;;) {
        const std::size_t got = stream.Read(buffer.data(), piece);
        r.Text.append(buffer.data(), got);
        if (got < piece)
            break;
    }
    r.Damaged = stream.Damaged();
    return r;
}

std::string WordHeader(std::string_view name, std::string_view text)
{
    return "<w:" + std::string(name) + " xmlns:w=\"x\"><w:p><w:r><w:t>" + std::string(text) + "</w:t></w:r></w:p></w:" +
           std::string(name) + ">";
}

struct TTextCase
{
    const char* Name;
    TDocKind Kind;
    std::vector<TDocPart> Parts;
    std::string Text;
};

std::vector<TTextCase> TextCases()
{
    std::vector<TTextCase> cases;
    cases.push_back(
        {"word runs, entities, Cyrillic, tabs and breaks", dkWordProcessing,
         WordParts(WordParagraph({"Quok", "kaf", "ern"}) + WordParagraph({"&amp; &lt;b&gt; &#1097;&#x44F; &quot;q&apos;"}) +
                   WordParagraph({"Привет, мир"}) +
                   "<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br w:type=\"page\"/><w:t>c</w:t>"
                   "<w:noBreakHyphen/><w:t>d</w:t></w:r></w:p><w:p/>"
                   // field codes, deleted text and the copy for older readers are not seen
                   "<w:p><w:r><w:instrText> HYPERLINK \"x\" </w:instrText></w:r><w:del><w:r><w:delText>gone"
                   "</w:delText></w:r></w:del><mc:AlternateContent><mc:Choice><w:r><w:t>box</w:t></w:r></mc:Choice>"
                   "<mc:Fallback><w:r><w:t>box</w:t></w:r></mc:Fallback></mc:AlternateContent></w:p>"),
         "Quokkafern\n& <b> щя \"q'\nПривет, мир\na\tb\nc-d\n\nbox\n\n"});
    cases.push_back({"word parts in reading order", dkWordProcessing,
                     WordParts(WordParagraph({"body"}),
                               {{"word/comments.xml", WordHeader("comments", "comment")},
                                {"word/header2.xml", WordHeader("hdr", "header two")},
                                {"word/footer1.xml", WordHeader("ftr", "footer")},
                                {"word/endnotes.xml", WordHeader("endnotes", "endnote")},
                                {"word/header1.xml", WordHeader("hdr", "header one")},
                                {"word/footnotes.xml", WordHeader("footnotes", "footnote")},
                                {"word/glossary/document.xml", WordHeader("document", "glossary")},
                                {"word/settings.xml", WordHeader("settings", "settings")}}),
                     "body\n\nheader one\n\nheader two\n\nfooter\n\nfootnote\n\nendnote\n\ncomment\n\n"});
    cases.push_back({"spreadsheet shared and inline strings", dkSpreadsheet,
                     SheetParts("<si><t>plain cell</t></si><si><r><rPr><b/></rPr><t>Ri</t></r><r><t>ch</t></r>"
                                "<rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></si><si><t xml:space=\"preserve\"> two\nlines"
                                "</t></si>",
                                "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>inline"
                                "</t></is></c><c r=\"C1\"><v>12345</v></c></row>"),
                     // the sheet's name (its tab), the strings, then the cells: an inline string and a number
                     "Ledger & more\n\nplain cell\nRich\n two\nlines\n\ninline\n12345\n\n"});
    cases.push_back({"presentation slides in order, then notes", dkPresentation,
                     SlideParts({"<a:p><a:pPr><a:tabLst><a:tab pos=\"1\"/></a:tabLst></a:pPr><a:r><a:t>first</a:t>"
                                 "</a:r><a:br/><a:r><a:t>line</a:t></a:r></a:p>",
                                 "<a:p><a:r><a:t>sec</a:t></a:r><a:r><a:t>ond</a:t></a:r></a:p>", "", "", "", "", "",
                                 "", "", "<a:p><a:fld type=\"slidenum\"><a:t>tenth</a:t></a:fld></a:p>"},
                                {"<a:p><a:r><a:t>speaker note</a:t></a:r></a:p>"}),
                     // slides 3 to 9 have no text, but each still ends with its line feed
                     "first\nline\n\nsecond\n\n" + std::string(7, '\n') + "tenth\n\nspeaker note\n\non every slide\n\n\n"});
    cases.push_back(
        {"OpenDocument text and its header", dkOpenDocument,
         OpenDocumentParts("application/vnd.oasis.opendocument.text",
                           "<office:text><text:tracked-changes><text:changed-region><text:deletion><text:p>deleted"
                           "</text:p></text:deletion></text:changed-region></text:tracked-changes>"
                           "<text:h text:outline-level=\"1\">Title</text:h>\n  <text:p>  spaced\n   out  words"
                           "<text:s/><text:s text:c=\"3\"/>x<text:tab/>y<text:line-break/>z</text:p>"
                           "<text:p>Quok<text:span text:style-name=\"T1\">kafern</text:span> &amp; &#x44F;"
                           "<office:annotation><dc:creator>Author</dc:creator><dc:date>2024-01-01</dc:date>"
                           "<text:p>remark</text:p></office:annotation></text:p><text:p/>"
                           "<text:p><![CDATA[a<b]]]><!-- hidden --><?pi hidden?></text:p></office:text>",
                           "<style:master-page><style:header><text:p>running head</text:p></style:header>"
                           // a page number in a page style or master is a placeholder ("<number>")
                           "<style:footer><text:p>page foot<text:page-number>&lt;number&gt;</text:page-number>"
                           "</text:p></style:footer></style:master-page>"),
         "Title\nspaced out words    x\ty\nz\nQuokkafern & я\nremark\n\na<b]\n\nrunning head\npage foot\n\n"});
    cases.push_back({"OpenDocument spreadsheet cells", dkOpenDocument,
                     OpenDocumentParts("application/vnd.oasis.opendocument.spreadsheet",
                                       "<office:spreadsheet><table:table table:name=\"Q1 &amp; Q2\"><table:table-row>"
                                       "<table:table-cell><text:p>one</text:p></table:table-cell><table:table-cell>"
                                       "<text:p>two</text:p></table:table-cell></table:table-row></table:table>"
                                       "</office:spreadsheet>"),
                     "Q1 & Q2\none\ntwo\n\n\n"});
    cases.push_back(
        {"OpenDocument fields, notes and comments", dkOpenDocument,
         OpenDocumentParts("application/vnd.oasis.opendocument.text",
                           // a date and an author field show what they say; a comment's own author and
                           // date are no text; a note's body follows the paragraph it is anchored in
                           "<office:text><text:p>Letter of <text:date style:data-style-name=\"N1\" "
                           "text:date-value=\"2012-08-21\">August 21, 2012</text:date> by <text:author-name>"
                           "Ada Lovelace</text:author-name> <text:creator>Initials</text:creator></text:p>"
                           "<text:p>Footnote here<text:note text:id=\"ftn1\" text:note-class=\"footnote\">"
                           "<text:note-citation>1</text:note-citation><text:note-body><text:p>The note says"
                           "</text:p><text:p>two things</text:p></text:note-body></text:note> and an endnote"
                           "<office:annotation><dc:creator>Reviewer</dc:creator><dc:date>2024-01-01T10:00:00"
                           "</dc:date><meta:date-string>01/01/2024</meta:date-string><text:p>Check this"
                           "</text:p></office:annotation> in one sentence.</text:p></office:text>",
                           "<style:master-page><style:header><text:p>Dated <text:date>2012-08-21</text:date>"
                           "</text:p></style:header></style:master-page>"),
         "Letter of August 21, 2012 by Ada Lovelace Initials\nFootnote here and an endnote in one sentence.\n"
         "The note says\ntwo things\nCheck this\n\nDated 2012-08-21\n\n"});
    cases.push_back({"characters a reader does not see", dkWordProcessing,
                     WordParts(WordParagraph({"Rio\xC2\xA0" "de&#160;Janeiro", " Tas\xC2\xAD" "man&#173;sea",
                                              " 10\xE2\x80\xAF" "km \xC2\xA9 \xE2\x82\xAC \xE2\x80\xA6"})),
                     "Rio de Janeiro Tasmansea 10 km \xC2\xA9 \xE2\x82\xAC \xE2\x80\xA6\n\n"});
    cases.push_back({"no-break spaces in OpenDocument collapse as spaces do", dkOpenDocument,
                     OpenDocumentParts("application/vnd.oasis.opendocument.text",
                                       "<office:text><text:p>Rio\xC2\xA0\xC2\xA0" "de Jan\xC2\xAD" "eiro</text:p>"
                                       "</office:text>"),
                     "Rio de Janeiro\n\n\n"});
    return cases;
}

// A workbook as a person sees it: the sheets' names, then the strings, the cells' values (numbers,
// booleans, errors, formula results, dates through their number format in the workbook's date
// system; a shared string's number is not a value), the print headers and footers without their
// codes, then comments and threaded comments (their authors are no text).
TEST(uDocTextTest, WorkbookValuesAsShown)
{
    const std::string sheet =
        "<row><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>4711.5</v></c><c r=\"C1\" s=\"1\"><v>45366</v></c>"
        "<c r=\"D1\" s=\"2\"><v>45232.75</v></c><c r=\"E1\" s=\"3\"><v>45366</v></c><c t=\"b\"><v>1</v></c>"
        "<c t=\"b\"><v>0</v></c><c t=\"e\"><v>#DIV/0!</v></c><c t=\"str\"><f>A1&amp;\"x\"</f><v>Total x</v></c>"
        "<c><f>B1*2</f><v></v></c><c s=\"9\"><v>12</v></c></row></sheetData><headerFooter><oddHeader>&amp;L&amp;\"Arial,"
        "Bold\"Budget &amp;&amp; plan&amp;RPage &amp;P</oddHeader><firstFooter>&amp;CDraft</firstFooter></headerFooter>"
        "<sheetData>";
    const std::string styles =
        "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"[$-409]mmmm\\ d&quot;, &quot;yyyy\"/>"
        "<numFmt numFmtId=\"165\" formatCode=\"#,##0.00\"/></numFmts><cellStyleXfs><xf numFmtId=\"14\"/>"
        "</cellStyleXfs><cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"><alignment/></xf>"
        "<xf numFmtId=\"165\"/></cellXfs></styleSheet>";
    for (const bool date1904 : {false, true}) {
        SCOPED_TRACE(date1904 ? "1904 dates" : "1900 dates");
        std::vector<TDocPart> parts = SheetParts("<si><t>label</t></si>", sheet);
        for (TDocPart& part : parts)
            if (part.Name == "xl/workbook.xml" && date1904)
                part.Xml = "<workbook><workbookPr date1904=\"1\"/><sheets><sheet name=\"Q1 &lt;draft&gt;\"/>"
                           "<sheet name=\"Notes\"/></sheets></workbook>";
        parts.push_back({"xl/styles.xml", styles});
        parts.push_back({"xl/comments1.xml", "<comments><authors><author>Ada Author</author></authors><commentList>"
                                             "<comment ref=\"A1\" authorId=\"0\"><text><r><t>Check </t></r><r><t>this"
                                             "</t></r></text></comment></commentList></comments>"});
        parts.push_back({"xl/threadedComments/threadedComment1.xml",
                         "<ThreadedComments><threadedComment ref=\"B1\" personId=\"{1}\"><text>Agreed &amp; done</text>"
                         "</threadedComment></ThreadedComments>"});
        const std::string names = date1904 ? "Q1 <draft>\nNotes\n" : "Ledger & more\n";
        const std::string dates = date1904 ? "03-16-28\nNovember 3, 2027\n" : "03-15-24\nNovember 2, 2023\n";
        const TRead r = ReadText(DocumentBytes(parts), dkSpreadsheet);
        EXPECT_EQ(r.Text, "\n" + names + "\n\nlabel\n\n4711.5\n" + dates +
                              "45366\nTRUE\nFALSE\n#DIV/0!\nTotal x\n12\nBudget & plan Page\nDraft\n\n"
                              "Check this\n\nAgreed & done\n\n");
    }
}

// A cell value or header far longer than any cell shows is kept to a bound, so memory does not
// follow what a file claims.
TEST(uDocTextTest, LongValuesAreBounded)
{
    const std::string digits(std::size_t{5} << 20, '7');
    const TRead r = ReadText(DocumentBytes(SheetParts("", "<row><c><v>" + digits + "</v></c></row>")), dkSpreadsheet,
                             65536);
    EXPECT_FALSE(r.Damaged);
    EXPECT_GT(r.Text.size(), std::size_t{1} << 19);
    EXPECT_LT(r.Text.size(), std::size_t{2} << 20);
    EXPECT_EQ(r.Text.find_first_not_of("7\nLedger & more"), std::string::npos);
}

// The characters a reader does not see are told even when a piece of the part ends inside one:
// fed a byte at a time, or in pieces of any small size, the text is the same as fed whole.
TEST(uDocTextTest, InvisibleCharactersAcrossPieces)
{
    const std::string xml = "<w:document><w:body><w:p><w:r><w:t>a\xC2\xA0" "b\xC2\xAD" "c\xE2\x80\xAF" "d\xC2\xA9"
                            "e\xE2\x82\xAC" "f\xE2\x80\xA6" "g\xC2</w:t></w:r></w:p><w:p><w:r><w:t>\xE2\x80"
                            "</w:t></w:r></w:p></w:body></w:document>";
    std::string whole;
    std::size_t budget = 1u << 20;
    TDocXmlText reader(dkWordProcessing);
    reader.StartPart();
    reader.Feed(xml.data(), xml.size(), whole, budget);
    reader.EndPart(whole);
    EXPECT_EQ(whole, "a bc d\xC2\xA9" "e\xE2\x82\xAC" "f\xE2\x80\xA6" "g\xC2\n\xE2\x80\n\n");
    for (std::size_t piece = 1; piece <= 7; ++piece) {
        std::string text;
        reader.StartPart();
        for (std::size_t at = 0; at < xml.size(); at += piece)
            reader.Feed(xml.data() + at, std::min(piece, xml.size() - at), text, budget);
        reader.EndPart(text);
        EXPECT_EQ(text, whole) << "pieces of " << piece;
    }
}

// Each kind of document gives the text a person sees, the same whatever layout its archive has.
TEST(uDocTextTest, TextOfEachKindInEveryLayout)
{
    for (const TTextCase& c : TextCases()) {
        for (TDocLayout layout : {dlPlain, dlDataDescriptors, dlZip64}) {
            const TRead r = ReadText(DocumentBytes(c.Parts, layout), c.Kind);
            EXPECT_EQ(r.Text, "\n" + c.Text) << c.Name << ", layout " << layout;
            EXPECT_FALSE(r.Damaged) << c.Name << ", layout " << layout;
        }
    }
}

// A stored part far larger than one piece is cut at arbitrary places, inside tags and entities.
TEST(uDocTextTest, TextSurvivesPiecesSplitAnywhere)
{
    std::string body;
    std::string expected = "\n";
    for (int i = 0; body.size() < 300000; ++i) {
        const std::string n = std::to_string(i);
        body += "<w:p><w:r><w:rPr><w:lang w:val=\"ru-RU\"/></w:rPr><w:t>w" + n + "</w:t></w:r><w:r><w:t>&#x44F;&amp;" +
                n + "</w:t><w:tab/></w:r></w:p>";
        expected += "w" + n + "я&" + n + "\t\n";
    }
    expected += "\n";
    TZipBuilder zip;
    for (const TDocPart& part : WordParts(body))
        zip.Stored(part.Name, part.Xml);
    for (std::size_t piece : {std::size_t{65536}, std::size_t{1000}, std::size_t{1}}) {
        const TRead r = ReadText(zip.Bytes(), dkWordProcessing, piece);
        EXPECT_EQ(r.Text, expected) << "piece " << piece;
    }
}

// The searcher rewinds the stream for each search: every pass gives the whole text again.
TEST(uDocTextTest, SeekToStartGivesTheTextAgain)
{
    const std::string bytes = DocumentBytes(WordParts(WordParagraph({"again"})), dlDataDescriptors);
    TDocTextStream stream(std::make_unique<TMemoryStream>(bytes), bytes.size(), dkWordProcessing);
    for (int pass = 0; pass < 3; ++pass) {
        stream.Seek(0);
        char buffer[64] = {};
        const std::size_t got = stream.Read(buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, got), "\nagain\n\n") << pass;
    }
    stream.Seek(3);
    char buffer[64] = {};
    EXPECT_EQ(std::string(buffer, stream.Read(buffer, sizeof buffer)), "ain\n\n");
}

struct TDamagedCase
{
    const char* Name;
    std::string Bytes;
    std::string Text; // what was read before the damage showed
};

std::vector<TDamagedCase> DamagedCases()
{
    const std::string xml = WordParts(WordParagraph({"visible"}))[2].Xml;
    // The body reads well; the footer is damaged; the footnotes after it are never read.
    auto withFooter = [&](TZipMember footer) {
        return TZipBuilder()
            .Deflated("word/footnotes.xml", "<w:p><w:r><w:t>after</w:t></w:r></w:p>")
            .Add(std::move(footer))
            .Deflated("word/document.xml", xml)
            .Bytes();
    };
    const std::string footer = "<w:ftr><w:p><w:r><w:t>footer</w:t></w:r></w:p></w:ftr>";
    const std::string footerDeflated = RawDeflate(footer);
    std::string cut = DocumentBytes(WordParts(WordParagraph({"visible"})));
    cut.resize(cut.size() - 30);
    std::string badDirectory = DocumentBytes(WordParts(WordParagraph({"visible"})));
    badDirectory[badDirectory.size() - 7] = '\x7F'; // the directory's size, now beyond the file
    std::vector<TDamagedCase> cases;
    cases.push_back({"no ZIP archive at all", "PK\x03\x04 but only plain words: visible", ""});
    cases.push_back({"an encrypted package (a compound file)",
                     std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(600, '\0'), ""});
    cases.push_back({"no main part", TZipBuilder().Deflated("word/header1.xml", xml).Bytes(), ""});
    cases.push_back({"the end of the archive cut off", cut, ""});
    cases.push_back({"a directory larger than the file", badDirectory, ""});
    cases.push_back({"encrypted part", withFooter(TZipMember("word/footer1.xml", footer, 8).WithFlags(1)), "\nvisible\n\n"});
    cases.push_back({"unknown method", withFooter(TZipMember("word/footer1.xml", footer, 14)), "\nvisible\n\n"});
    cases.push_back({"deflate data that ends early",
                     withFooter(TZipMember("word/footer1.xml", footer, 8)
                                    .WithData(footerDeflated.substr(0, footerDeflated.size() / 2))),
                     "\nvisible\n\n"});
    cases.push_back({"damaged deflate data",
                     withFooter(TZipMember("word/footer1.xml", footer, 8).WithData("\xFF\xFF\xFF garbage")),
                     "\nvisible\n\n"});
    return cases;
}

// A damaged, encrypted or truncated document is reported damaged, never read past its damage.
TEST(uDocTextTest, DamagedDocumentsEndTheirText)
{
    for (const TDamagedCase& c : DamagedCases()) {
        const TRead r = ReadText(c.Bytes, dkWordProcessing);
        EXPECT_TRUE(r.Damaged) << c.Name;
        EXPECT_EQ(r.Text.substr(0, c.Text.size()), c.Text) << c.Name;
        EXPECT_EQ(r.Text.find("after"), std::string::npos) << c.Name;
    }
}

// A document is bounded by absolute amounts, not by a ratio to its size: a small file that
// inflates to 20 MB of XML is read to its end; past a bound (lowered here) the text stops and the
// document says it was cut.
TEST(uDocTextTest, BoundsAreAbsoluteAndSaid)
{
    std::string body;
    const std::string paragraph = "<w:p><w:r><w:t>" + std::string(1000, 'a') + "</w:t></w:r></w:p>";
    body.reserve(20u << 20);
    while (body.size() < (20u << 20))
        body += paragraph;
    body += WordParagraph({"beyond"});
    const std::string bytes = DocumentBytes(WordParts(body));
    ASSERT_LT(bytes.size(), 1u << 20);
    auto read = [&](std::uint64_t textLimit, std::uint64_t xmlLimit) {
        TDocTextStream stream(std::make_unique<TMemoryStream>(bytes), bytes.size(), dkWordProcessing, textLimit, xmlLimit);
        std::string text;
        char buffer[65536];
        while (const std::size_t n = stream.Read(buffer, sizeof buffer))
            text.append(buffer, n);
        return std::make_tuple(text, stream.Cut(), stream.Damaged());
    };
    struct Case { const char* what; std::uint64_t text, xml; bool cut; std::uint64_t most; };
    const Case cases[] = {
        {"the usual bounds", TDocTextStream::TextLimit, TDocTextStream::XmlLimit, false, 0},
        {"text bound", 1u << 20, TDocTextStream::XmlLimit, true, 1u << 20},
        {"XML bound", TDocTextStream::TextLimit, 4u << 20, true, 4u << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [text, cut, damaged] = read(c.text, c.xml);
        EXPECT_EQ(cut, c.cut);
        EXPECT_FALSE(damaged);
        EXPECT_EQ(text.find("beyond") != std::string::npos, !c.cut);
        if (c.cut) {
            EXPECT_LE(text.size(), c.most);
            EXPECT_GT(text.size(), c.most / 2);
        }
    }
}

// Expanded spaces are paid from the XML bound too, and each tag's count is held to 1024.
TEST(uDocTextTest, SpaceCountsAreBounded)
{
    std::string body = "<office:text><text:p>";
    for (int i = 0; i < 40000; ++i)
        body += "<text:s text:c=\"4000000000\"/>";
    body += "</text:p></office:text>";
    const std::string bytes = DocumentBytes(OpenDocumentParts("application/vnd.oasis.opendocument.text", body));
    const TRead r = ReadText(bytes, dkOpenDocument, 65536);
    EXPECT_LE(r.Text.size(), 40000u * 1024 + 16);
    EXPECT_GT(r.Text.size(), 40000u * 1000);
    EXPECT_EQ(r.Text.find_first_not_of(" \n"), std::string::npos);
}

TEST(uDocTextTest, KindByExtension)
{
    const std::pair<const char*, TDocKind> cases[] = {
        {"a.docx", dkWordProcessing}, {"A.DOCM", dkWordProcessing}, {"t.dotx", dkWordProcessing},
        {"t.dotm", dkWordProcessing}, {"b.xlsx", dkSpreadsheet},    {"b.XlSm", dkSpreadsheet},
        {"b.xltx", dkSpreadsheet},    {"c.pptx", dkPresentation},   {"c.pptm", dkPresentation},
        {"c.ppsx", dkPresentation},   {"c.potx", dkPresentation},   {"d.odt", dkOpenDocument},
        {"d.ott", dkOpenDocument},    {"d.ods", dkOpenDocument},    {"d.ots", dkOpenDocument},
        {"d.odp", dkOpenDocument},    {"d.otp", dkOpenDocument},    {"d.odg", dkOpenDocument},
        {"old.doc", dkNone},          {"old.xls", dkNone},          {"x.docx.bak", dkNone},
        {"docx", dkNone},             {"archive.zip", dkNone},      {"a.pdf", dkNone},
        {".odt", dkOpenDocument},     {"a.xlsb", dkNone},           {"a.odtx", dkNone},
        {"e.otg", dkOpenDocument},    {"e.XLTM", dkSpreadsheet},    {"e.potm", dkPresentation},
        {"e.ppsm", dkPresentation},   {"e.sldx", dkPresentation}};
    for (const auto& [name, kind] : cases)
        EXPECT_EQ(DocumentKind(name), kind) << name;
}

TEST(uDocTextTest, SeedCorpus)
{
    const char* seedDir = std::getenv("TROVEX_SEED_DIR");
    for (const auto& [name, bytes] : DocumentSeeds()) {
        const TRead r = ReadText(bytes, DocumentKind(name));
        EXPECT_FALSE(r.Damaged) << name;
        EXPECT_GT(r.Text.size(), 4u) << name;
        if (seedDir) {
            fs::create_directories(fs::path(seedDir) / "FuzzDocText");
            std::ofstream(fs::path(seedDir) / "FuzzDocText" / name, std::ios::binary) << bytes;
        }
    }
}

} // namespace
} // namespace trovex

namespace trovex
{
namespace
{

// Where the searcher's hit for `word` stands, as the stream says it.
std::string PlaceOf(const std::string& bytes, TDocKind kind, const std::string& word)
{
    TDocTextStream stream(std::make_unique<TMemoryStream>(bytes), bytes.size(), kind);
    TStringSearch search(&stream);
    search.SetCodePages(cpUtf8);
    search.SetPattern(word);
    if (!search.Search())
        return "not found";
    return stream.PlaceAt(search.FoundOffset());
}

} // namespace

// A workbook's sheets are named through its relationships, whatever their parts' numbers; a
// shared string is placed on the sheet showing it, thousands of strings into the part.
TEST(uDocTextTest, PlacesOfAWorkbookFollowItsRelationships)
{
    std::string strings;
    for (int i = 0; i < 2999; ++i)
        strings += "<si><t>filler " + std::to_string(i) + "</t></si>";
    strings += "<si><t>Quobbleword</t></si>";
    const std::vector<TDocPart> parts = {
        {"[Content_Types].xml", "<Types/>"},
        {"xl/workbook.xml", "<workbook><sheets><sheet name=\"Early\" r:id=\"rId2\"/><sheet name=\"Late\" r:id=\"rId1\"/>"
                            "</sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         "<Relationships><Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" Target=\"/xl/worksheets/sheet2.xml\"/></Relationships>"},
        {"xl/sharedStrings.xml", "<sst>" + strings + "</sst>"},
        {"xl/worksheets/sheet1.xml", "<worksheet><sheetData><row><c t=\"s\"><v>2999</v></c></row></sheetData>"
                                     "<headerFooter><oddFooter>&amp;CZanderfoot</oddFooter></headerFooter></worksheet>"},
        {"xl/worksheets/sheet2.xml", "<worksheet><sheetData><row><c t=\"s\"><v>0</v></c><c><v>86421</v></c></row>"
                                     "</sheetData></worksheet>"},
    };
    const std::string bytes = DocumentBytes(parts);
    const std::pair<const char*, const char*> cases[] = {
        {"Quobbleword", "sheet Late"}, {"filler 0", "sheet Early"}, {"86421", "sheet Early"},
        {"Zanderfoot", "sheet Late, footer"}, {"Late", "sheet Late"}, {"filler 7", "shared strings"},
    };
    for (const auto& [word, place] : cases) {
        SCOPED_TRACE(word);
        EXPECT_EQ(PlaceOf(bytes, dkSpreadsheet, word), place);
    }
}

} // namespace trovex
