// SPDX-License-Identifier: MIT
// The PDF text layer on small hand-made documents: hostile and damaged structure (loops, lies,
// wrong offsets, deep nesting), the ways fonts map codes to text, and how gaps and moves on the
// page become spaces and line ends. What a test expects is what a person reading the page sees.
#include "readers/PdfTextLayer.h"
#include "readers/PdfParser.h"

#include "platform/CodePage.h"
#include "support/Portable.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

std::string Pad10(std::uint64_t v)
{
    char s[16];
    std::snprintf(s, sizeof s, "%010llu", static_cast<unsigned long long>(v));
    return s;
}

// Numbered objects, written with the real offsets of whatever cross-reference layout a test asks
// for; a test bends the offsets or the headers it wants wrong.
class TDoc
{
public:
    using TOffsets = std::function<std::uint64_t(int num, std::uint64_t offset)>;

    TDoc& Set(int num, std::string body)
    {
        FObjects[num] = std::move(body);
        return *this;
    }
    TDoc& Stream(int num, const std::string& data, const std::string& entries = "")
    {
        return Set(num, "<< /Length " + std::to_string(data.size()) + entries + " >>\nstream\n" + data + "\nendstream");
    }
    TDoc& Flate(int num, const std::string& content, const std::string& entries = "")
    {
        return Stream(num, ZlibDeflate(content), " /Filter /FlateDecode" + entries);
    }
    int Last() const { return FObjects.empty() ? 0 : FObjects.rbegin()->first; }

    /// The objects, then a cross-reference table and a trailer with `trailer` in it.
    std::string Table(const std::string& trailer = "/Root 1 0 R", const TOffsets& bend = {}) const
    {
        std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
        std::map<int, std::uint64_t> offsets;
        WriteObjects(out, offsets, {});
        const std::uint64_t xref = out.size();
        out += "xref\n0 " + std::to_string(Last() + 1) + "\n0000000000 65535 f \n";
        for (int n = 1; n <= Last(); ++n) {
            auto it = offsets.find(n);
            if (it == offsets.end())
                out += "0000000000 00000 f \n";
            else
                out += Pad10(bend ? bend(n, it->second) : it->second) + " 00000 n \n";
        }
        out += "trailer\n<< /Size " + std::to_string(Last() + 1) + " " + trailer + " >>\nstartxref\n" +
               std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

    struct TStreamLayout
    {
        std::set<int> Packed;       // objects written inside one object stream
        bool Predictor = true;      // the PNG Up predictor over the cross-reference rows
        TOffsets Bend;              // the offsets written for objects outside the object stream
        // The object stream's /N and /First entries from the true count and offset.
        std::function<std::string(std::size_t n, std::size_t first)> Head = [](std::size_t n, std::size_t first) {
            return "/N " + std::to_string(n) + " /First " + std::to_string(first);
        };
    };

    /// The objects (some packed in an object stream), then a cross-reference stream.
    std::string XrefStream(const TStreamLayout& layout) const
    {
        std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
        std::map<int, std::uint64_t> offsets;
        WriteObjects(out, offsets, layout.Packed);
        const int objStm = Last() + 1;
        const int xrefNum = Last() + 2;
        std::map<int, std::size_t> packedIndex;
        if (!layout.Packed.empty()) {
            std::string head, body;
            std::size_t index = 0;
            for (int n : layout.Packed) {
                head += std::to_string(n) + " " + std::to_string(body.size()) + " ";
                body += FObjects.at(n) + "\n";
                packedIndex[n] = index++;
            }
            const std::string data = ZlibDeflate(head + body);
            offsets[objStm] = out.size();
            out += std::to_string(objStm) + " 0 obj\n<< /Type /ObjStm " + layout.Head(layout.Packed.size(), head.size()) +
                   " /Filter /FlateDecode /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                   "\nendstream\nendobj\n";
        }
        const std::uint64_t xref = out.size();
        offsets[xrefNum] = xref;
        std::string rows;
        for (int n = 0; n <= xrefNum; ++n) {
            unsigned char row[7] = {};
            if (auto p = packedIndex.find(n); p != packedIndex.end()) {
                row[0] = 2;
                row[1] = static_cast<unsigned char>(objStm >> 24);
                row[2] = static_cast<unsigned char>(objStm >> 16);
                row[3] = static_cast<unsigned char>(objStm >> 8);
                row[4] = static_cast<unsigned char>(objStm);
                row[6] = static_cast<unsigned char>(p->second);
            } else if (auto o = offsets.find(n); o != offsets.end()) {
                const std::uint64_t at = layout.Bend && n != xrefNum && n != objStm ? layout.Bend(n, o->second) : o->second;
                row[0] = 1;
                for (int k = 0; k < 4; ++k)
                    row[1 + k] = static_cast<unsigned char>(at >> (8 * (3 - k)));
            }
            rows.append(reinterpret_cast<const char*>(row), 7);
        }
        std::string parms;
        if (layout.Predictor) {
            // Each row: filter type 2 (Up), then its bytes less the row above.
            std::string filtered;
            for (std::size_t r = 0; r * 7 < rows.size(); ++r) {
                filtered.push_back('\x02');
                for (std::size_t k = 0; k < 7; ++k)
                    filtered.push_back(static_cast<char>(rows[r * 7 + k] - (r ? rows[(r - 1) * 7 + k] : 0)));
            }
            rows = filtered;
            parms = " /DecodeParms << /Predictor 12 /Columns 7 >>";
        }
        const std::string data = ZlibDeflate(rows);
        out += std::to_string(xrefNum) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(xrefNum + 1) +
               " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode" + parms + " /Length " + std::to_string(data.size()) +
               " >>\nstream\n" + data + "\nendstream\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return out;
    }

private:
    void WriteObjects(std::string& out, std::map<int, std::uint64_t>& offsets, const std::set<int>& skip) const
    {
        for (const auto& [n, body] : FObjects) {
            if (skip.count(n))
                continue;
            offsets[n] = out.size();
            out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
        }
    }

    std::map<int, std::string> FObjects;
};

// The offset that the last "startxref" gives.
std::uint64_t StartXref(const std::string& pdf)
{
    return std::stoull(pdf.substr(pdf.rfind("startxref") + 10));
}

/// An incremental update: `changes` (number and body) appended to `base` with a cross-reference
/// section of their own and the trailer entries `trailer`.
std::string Update(const std::string& base, const std::map<int, std::string>& changes, const std::string& trailer)
{
    std::string out = base;
    std::map<int, std::uint64_t> offsets;
    for (const auto& [n, body] : changes) {
        offsets[n] = out.size();
        out += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
    }
    const std::uint64_t xref = out.size();
    out += "xref\n";
    for (const auto& [n, at] : offsets)
        out += std::to_string(n) + " 1\n" + Pad10(at) + " 00000 n \n";
    out += "trailer\n<< " + trailer + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

// Fills in a ten-digit placeholder written earlier, so no offset after it moves.
void Patch(std::string& pdf, const std::string& placeholder, std::uint64_t value)
{
    const std::size_t at = pdf.find(placeholder);
    ASSERT_NE(at, std::string::npos) << placeholder;
    pdf.replace(at + placeholder.size() - 10, 10, Pad10(value));
}

// Courier: every character advances 600/1000 of the font size, so positions are easy to follow.
std::string Courier(const std::string& extra = "")
{
    std::string widths;
    for (int c = 32; c <= 126; ++c)
        widths += "600 ";
    return "<< /Type /Font /Subtype /Type1 /BaseFont /Courier /FirstChar 32 /LastChar 126 /Widths [" + widths + "]" +
           extra + " >>";
}

/// A document of pages: catalog 1, page tree 2, font /F1 3; page i is object 10 + 2i and its
/// content 11 + 2i (flate). `resources` adds to each page's resources.
TDoc Pages(const std::vector<std::string>& contents, const std::string& font = Courier(), const std::string& resources = "")
{
    TDoc doc;
    std::string kids;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        const int page = 10 + 2 * static_cast<int>(i);
        kids += std::to_string(page) + " 0 R ";
        doc.Set(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> " +
                          resources + " >> /Contents " + std::to_string(page + 1) + " 0 R >>");
        doc.Flate(page + 1, contents[i]);
    }
    doc.Set(1, "<< /Type /Catalog /Pages 2 0 R >>");
    doc.Set(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(contents.size()) + " >>");
    doc.Set(3, font);
    return doc;
}

/// "BT /F1 12 Tf 72 700 Td <ops> ET": text operators at the top left of the page.
std::string Text(const std::string& ops)
{
    return "BT /F1 12 Tf 72 700 Td " + ops + " ET";
}

std::string Shows(const std::string& literal)
{
    return Text("(" + literal + ") Tj");
}

struct TRead
{
    std::string Text;
    bool Damaged = false;
    bool Locked = false;
    bool Fallback = false;
};

TRead Read(const std::string& pdf)
{
    TPdfTextStream stream(pdf);
    TRead r;
    r.Text = stream.ReadAll();
    r.Damaged = stream.Damaged();
    r.Locked = stream.Locked();
    r.Fallback = stream.Fallback();
    return r;
}

std::string TextOf(const std::string& pdf)
{
    return Read(pdf).Text;
}

std::string FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path DataFolder()
{
    return fs::path(__FILE__).parent_path().parent_path() / "data";
}

/// A CMap stream's content around `body` (code space ranges, bfchar and bfrange sections).
std::string CMap(const std::string& body)
{
    return "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CMapName /Test-UCS def\n/CMapType 2 def\n" +
           body + "\nendcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

// ---------------------------------------------------------------------------------------------
// Structure

// The same one-page document, stored every way a writer may store it, reads the same.
TEST(PdfTextLayerTest, StorageForms)
{
    const TDoc doc = Pages({Shows("Same words")});
    TDoc::TStreamLayout plain;
    plain.Predictor = false;
    TDoc::TStreamLayout packed;
    packed.Packed = {1, 2, 3, 10}; // all but the content stream
    struct Case { const char* what; std::string pdf; };
    const Case cases[] = {
        {"cross-reference table", doc.Table()},
        {"cross-reference stream", doc.XrefStream(plain)},
        {"cross-reference stream, PNG Up predictor", doc.XrefStream({})},
        {"object stream", doc.XrefStream(packed)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TRead r = Read(c.pdf);
        EXPECT_EQ(r.Text, "Same words\n");
        EXPECT_FALSE(r.Damaged);
        EXPECT_FALSE(r.Fallback);
    }
}

// An update replaces the page's content; however its /Prev chain loops or leads nowhere, the
// newest content is what a reader shows, and reading ends.
TEST(PdfTextLayerTest, XrefChainLoops)
{
    const TDoc doc = Pages({Shows("Old text")});
    const std::map<int, std::string> changes{
        {11, "<< /Length " + std::to_string(Shows("New text").size()) + " >>\nstream\n" + Shows("New text") + "\nendstream"}};
    const std::string base = doc.Table();
    const std::uint64_t baseXref = StartXref(base);

    std::string self = Update(base, changes, "/Size 14 /Root 1 0 R /Prev 0000000000");
    Patch(self, "/Prev 0000000000", StartXref(self));

    std::string mutual = doc.Table("/Root 1 0 R /Prev 0000000000");
    mutual = Update(mutual, changes, "/Size 14 /Root 1 0 R /Prev " + std::to_string(baseXref));
    Patch(mutual, "/Prev 0000000000", StartXref(mutual));

    struct Case { const char* what; std::string pdf; };
    const Case cases[] = {
        {"a plain update", Update(base, changes, "/Size 14 /Root 1 0 R /Prev " + std::to_string(baseXref))},
        {"a section that is its own /Prev", self},
        {"two sections naming each other", mutual},
        {"/Prev past the end of the file", Update(base, changes, "/Size 14 /Root 1 0 R /Prev 99999999")},
        {"/Prev at an object, not a section",
         Update(base, changes, "/Size 14 /Root 1 0 R /Prev " + std::to_string(base.find("3 0 obj")))},
        {"/Prev negative", Update(base, changes, "/Size 14 /Root 1 0 R /Prev -20")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextOf(c.pdf), "New text\n");
    }
}

// A page tree that leads back into itself: each page is read once, in the tree's order.
TEST(PdfTextLayerTest, PageTreeCycles)
{
    struct Case { const char* what; std::map<int, std::string> nodes; };
    const Case cases[] = {
        {"the root among its own kids", {{2, "<< /Type /Pages /Kids [10 0 R 2 0 R 12 0 R] /Count 2 >>"}}},
        {"a node whose kid is the root",
         {{2, "<< /Type /Pages /Kids [10 0 R 5 0 R] /Count 2 >>"},
          {5, "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 12 0 R] /Count 1 >>"}}},
        {"a node that is its own kid",
         {{2, "<< /Type /Pages /Kids [5 0 R] /Count 2 >>"}, {5, "<< /Type /Pages /Kids [5 0 R 10 0 R 12 0 R] >>"}}},
        {"/Kids an indirect array holding the root",
         {{2, "<< /Type /Pages /Kids 6 0 R /Count 2 >>"}, {6, "[10 0 R 2 0 R 12 0 R]"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({Shows("One"), Shows("Two")});
        for (const auto& [n, body] : c.nodes)
            doc.Set(n, body);
        EXPECT_EQ(TextOf(doc.Table()), "One\nTwo\n");
    }
}

// Forms that draw themselves, directly or through another: what each shows is read once.
TEST(PdfTextLayerTest, FormsThatDrawThemselves)
{
    const std::string form = " /Type /XObject /Subtype /Form /BBox [0 0 612 792]";
    const std::string both = " /Resources << /Font << /F1 3 0 R >> /XObject << /X1 20 0 R /X2 21 0 R >> >>";
    struct Case { const char* what; std::map<int, std::pair<std::string, std::string>> forms; std::string text; };
    const Case cases[] = {
        {"a form drawing itself", {{20, {"BT /F1 12 Tf 72 700 Td (Inside) Tj ET /X1 Do", form + both}}}, "Inside\n"},
        {"the same through the page's resources", {{20, {"BT /F1 12 Tf 72 700 Td (Inside) Tj ET /X1 Do", form}}},
         "Inside\n"},
        {"two forms drawing each other",
         {{20, {"BT /F1 12 Tf 72 700 Td (Alpha) Tj ET /X2 Do", form + both}},
          {21, {"BT /F1 12 Tf 72 680 Td (Beta) Tj ET /X1 Do", form + both}}},
         "Alpha\nBeta\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({"/X1 Do"}, Courier(), "/XObject << /X1 20 0 R /X2 21 0 R >>");
        for (const auto& [n, f] : c.forms)
            doc.Flate(n, f.first, f.second);
        EXPECT_EQ(TextOf(doc.Table()), c.text);
    }
}

// Each form draws the next one four times, ten deep: a million draws if all were made. Reading
// ends soon, with the word, and with a text of bounded size.
TEST(PdfTextLayerTest, FormFanOutEnds)
{
    TDoc doc = Pages({"/X20 Do"}, Courier(), "/XObject << /X20 20 0 R >>");
    for (int n = 20; n <= 30; ++n) {
        const std::string next = "/X" + std::to_string(n + 1);
        const std::string draws = next + " Do " + next + " Do " + next + " Do " + next + " Do";
        doc.Flate(n, n == 30 ? "BT /F1 12 Tf 72 700 Td (Leaf) Tj ET" : draws,
                  " /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> /XObject << " + next + " " +
                      std::to_string(n + 1) + " 0 R >> >>");
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string text = TextOf(doc.Table());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(text.substr(0, 4), "Leaf");
    EXPECT_LT(text.size(), std::size_t{1} << 20);
}

// Arrays and dictionaries nested far deeper than any writer nests them, in a content stream and
// in an object: the text around them is still read.
TEST(PdfTextLayerTest, DeepNesting)
{
    const std::size_t deep = 200000;
    auto repeat = [](const std::string& s, std::size_t n) {
        std::string out;
        for (std::size_t i = 0; i < n; ++i)
            out += s;
        return out;
    };
    const std::string after = " 0 -20 Td (After) Tj";
    struct Case { const char* what; std::string content; std::string pageExtra; std::string text; };
    const Case cases[] = {
        {"arrays in a content stream", Text("(Before) Tj " + repeat("[", deep) + repeat("]", deep) + " TJ" + after), "",
         "Before\nAfter\n"},
        {"arrays never closed", Text("(Before) Tj" + after + " " + repeat("[", deep)), "", "Before\nAfter\n"},
        {"dictionaries in a content stream",
         Text("(Before) Tj /Span " + repeat("<< /A ", deep) + repeat(">> ", deep) + "BDC EMC" + after), "",
         "Before\nAfter\n"},
        {"dictionaries in the page object", Text("(Before) Tj" + after),
         " /Deep " + repeat("<< /A ", deep) + repeat(">> ", deep), "Before\nAfter\n"},
        {"arrays in the page object", Text("(Before) Tj" + after), " /Deep " + repeat("[", deep) + repeat("]", deep),
         "Before\nAfter\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({c.content});
        doc.Set(10, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R >> >> /Contents 11 0 R" + c.pageExtra +
                        " >>");
        EXPECT_EQ(TextOf(doc.Table()), c.text);
    }
}

// A stream's /Length that is wrong, elsewhere or absent: the data still ends at "endstream".
TEST(PdfTextLayerTest, LengthThatLies)
{
    const std::string content = Shows("Stream text");
    for (const bool flate : {true, false}) {
        const std::string data = flate ? ZlibDeflate(content) : content;
        const std::string filter = flate ? " /Filter /FlateDecode" : "";
        const std::string n = std::to_string(data.size());
        struct Case { const char* what; std::string length; };
        const Case cases[] = {
            {"right", "/Length " + n},
            {"too short", "/Length " + std::to_string(data.size() - 5)},
            {"too long, inside the file", "/Length " + std::to_string(data.size() + 40)},
            {"past the end of the file", "/Length 99999999"},
            {"indirect", "/Length 30 0 R"},
            {"indirect and wrong", "/Length 31 0 R"},
            {"indirect to no object", "/Length 32 0 R"},
            {"absent", ""},
            {"negative", "/Length -1"},
            {"not a number", "/Length /Long"},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (flate ? ", deflated" : ", plain"));
            TDoc doc = Pages({""});
            doc.Set(11, "<< " + c.length + filter + " >>\nstream\n" + data + "\nendstream");
            doc.Set(30, n);
            doc.Set(31, std::to_string(data.size() / 2));
            EXPECT_EQ(TextOf(doc.Table()), "Stream text\n");
        }
    }
}

// Cross-reference offsets that do not lead to their objects: the objects are found by scanning.
TEST(PdfTextLayerTest, WrongXrefOffsets)
{
    const TDoc doc = Pages({Shows("Recovered text")});
    const std::string good = doc.Table();
    const std::uint64_t page = good.find("\n10 0 obj") + 1, content = good.find("\n11 0 obj") + 1;
    auto withStartXref = [&](const std::string& value) {
        return good.substr(0, good.rfind("startxref")) + "startxref\n" + value + "\n%%EOF\n";
    };
    const std::string xref = "xref\n0 " + std::to_string(doc.Last() + 1) + "\n";
    TDoc::TStreamLayout late;
    late.Bend = [](int, std::uint64_t at) { return at + 3; };
    struct Case { const char* what; std::string pdf; };
    const Case cases[] = {
        {"every offset three bytes late", doc.Table("/Root 1 0 R", [](int, std::uint64_t at) { return at + 3; })},
        {"every offset one byte early", doc.Table("/Root 1 0 R", [](int, std::uint64_t at) { return at - 1; })},
        {"every offset zero", doc.Table("/Root 1 0 R", [](int, std::uint64_t) { return std::uint64_t{0}; })},
        {"every offset past the end", doc.Table("/Root 1 0 R", [](int, std::uint64_t at) { return at + 99999999; })},
        {"a page and its content swapped",
         doc.Table("/Root 1 0 R", [&](int n, std::uint64_t at) { return n == 10 ? content : n == 11 ? page : at; })},
        {"startxref in the header", withStartXref("5")},
        {"startxref past the end", withStartXref("99999999")},
        {"startxref missing", good.substr(0, good.rfind("startxref"))},
        {"no cross-reference or trailer at all", good.substr(0, good.rfind("xref\n")) + "%%EOF\n"},
        {"no cross-reference, and a generation number of 30 digits",
         good.substr(0, good.rfind("xref\n")) + "% 7 123456789012345678901234567890 obj\n%%EOF\n"},
        {"table lines damaged",
         good.substr(0, good.rfind(xref) + xref.size()) + "this is not a table\n" + good.substr(good.rfind("trailer"))},
        {"cross-reference stream, every offset late", doc.XrefStream(late)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextOf(c.pdf), "Recovered text\n");
    }
}

// An object stream whose /N or /First is wrong: whatever route the reader takes, the page's
// words are found (the objects themselves may be lost with the header).
TEST(PdfTextLayerTest, ObjectStreamHeaders)
{
    const TDoc doc = Pages({Shows("Packed words")});
    using THead = std::function<std::string(std::size_t, std::size_t)>;
    struct Case { const char* what; THead head; };
    const Case cases[] = {
        {"right", [](std::size_t n, std::size_t f) { return "/N " + std::to_string(n) + " /First " + std::to_string(f); }},
        {"/N far too large", [](std::size_t, std::size_t f) { return "/N 1000000000 /First " + std::to_string(f); }},
        {"/N too small", [](std::size_t, std::size_t f) { return "/N 1 /First " + std::to_string(f); }},
        {"/N zero", [](std::size_t, std::size_t f) { return "/N 0 /First " + std::to_string(f); }},
        {"/N negative", [](std::size_t, std::size_t f) { return "/N -3 /First " + std::to_string(f); }},
        {"/N absent", [](std::size_t, std::size_t f) { return "/First " + std::to_string(f); }},
        {"/First one short",
         [](std::size_t n, std::size_t f) { return "/N " + std::to_string(n) + " /First " + std::to_string(f - 1); }},
        {"/First one long",
         [](std::size_t n, std::size_t f) { return "/N " + std::to_string(n) + " /First " + std::to_string(f + 1); }},
        {"/First past the data", [](std::size_t n, std::size_t) { return "/N " + std::to_string(n) + " /First 99999999"; }},
        {"/First negative", [](std::size_t n, std::size_t) { return "/N " + std::to_string(n) + " /First -7"; }},
        {"/First absent", [](std::size_t n, std::size_t) { return "/N " + std::to_string(n); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc::TStreamLayout layout;
        layout.Packed = {1, 2, 3, 10};
        layout.Head = c.head;
        EXPECT_NE(TextOf(doc.XrefStream(layout)).find("Packed words"), std::string::npos);
    }
}

// Numbers far beyond anything a writer puts in a document, where counts, codes and lengths are
// read: what the page shows is still read (the sanitizer builds also check that no conversion of
// such a number overflows).
TEST(PdfTextLayerTest, AbsurdNumbers)
{
    const std::string hugeReal = "1" + std::string(300, '0') + ".5";
    const std::string hugeInt(30, '9');
    const std::string content = Text("(AB) Tj");
    const std::string data = ZlibDeflate(content);
    auto withLength = [&](const std::string& length) {
        TDoc doc = Pages({content});
        doc.Set(11, "<< /Length " + length + " /Filter /FlateDecode >>\nstream\n" + data + "\nendstream");
        return doc.Table();
    };
    auto withFont = [&](const std::string& entries) {
        return Pages({content}, "<< /Type /Font /Subtype /Type1 /BaseFont /Courier" + entries + " >>").Table();
    };
    struct Case { const char* what; std::string pdf; std::string text; };
    const Case cases[] = {
        {"a real /Length", withLength(hugeReal), "AB"},
        {"an integer /Length", withLength(hugeInt), "AB"},
        {"a negative /Length", withLength("-" + hugeReal), "AB"},
        {"/FirstChar", withFont(" /FirstChar " + hugeReal + " /Widths [600 600]"), "AB"},
        {"/FirstChar, an integer", withFont(" /FirstChar " + hugeInt + " /Widths [600 600]"), "AB"},
        // The names after the huge code map nothing; 66 (the code of B) shows the glyph C.
        {"a code in /Differences", withFont(" /Encoding << /Differences [" + hugeReal + " /X /Y 66 /C] >>"), "AC"},
        {"a negative code in /Differences", withFont(" /Encoding << /Differences [-" + hugeReal + " /X /Y] >>"), "AB"},
        {"/Prev", Pages({content}).Table("/Root 1 0 R /Prev " + hugeReal), "AB"},
        {"/Prev, an integer", Pages({content}).Table("/Root 1 0 R /Prev " + hugeInt), "AB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TextOf(c.pdf), c.text + "\n");
    }
}

// ---------------------------------------------------------------------------------------------
// Fonts

// Codes of one to four bytes by a CMap's code space ranges, each mapped by the ToUnicode CMap.
TEST(PdfTextLayerTest, ToUnicodeCodeSpaces)
{
    const std::string spaces = "4 begincodespacerange\n<00> <7F>\n<8000> <8FFF>\n<900000> <90FFFF>\n<A0000000> <A0FFFFFF>\n"
                               "endcodespacerange\n";
    const std::string descendant = " /DescendantFonts [7 0 R] /ToUnicode 5 0 R >>";
    const std::string cidFont = "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Test /CIDSystemInfo << /Registry (Adobe) "
                                "/Ordering (Identity) /Supplement 0 >> /DW 600 >>";
    struct Case { const char* what; std::string encoding; std::string toUnicode; std::string shown; std::string text; };
    const Case cases[] = {
        {"an embedded CMap with 1- to 4-byte codes", "6 0 R",
         spaces + "4 beginbfchar\n<41> <0041>\n<8001> <0042>\n<900002> <0043>\n<A0000003> <0044>\nendbfchar",
         "<41 8001 900002 A0000003 41>", "ABCDA"},
        // A predefined CMap the reader need not know: its code spaces come from the ToUnicode map.
        {"a named CMap, 1- and 2-byte codes", "/90ms-RKSJ-H",
         "2 begincodespacerange\n<00> <80>\n<8140> <9FFC>\nendcodespacerange\n"
         "2 beginbfchar\n<41> <0041>\n<8145> <30FB>\nendbfchar",
         "<41 8145 41>", "A\xE3\x83\xBB" "A"},
        {"Identity-H, 2-byte codes", "/Identity-H",
         "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n1 beginbfrange\n<0001> <0003> <0061>\nendbfrange",
         "<000100020003>", "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({Text(c.shown + " Tj")},
                         "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding " + c.encoding + descendant);
        doc.Stream(5, CMap(c.toUnicode));
        doc.Stream(6, CMap(spaces + "1 begincidrange\n<00> <7F> 0\nendcidrange"), " /Type /CMap /CMapName /Test-H");
        doc.Set(7, cidFont);
        EXPECT_EQ(TextOf(doc.Table()), c.text + "\n");
    }
}

// ToUnicode ranges: counting on from a base (also past a byte's end and in surrogate pairs),
// arrays of destinations, and destinations of more than one character.
TEST(PdfTextLayerTest, ToUnicodeRanges)
{
    const std::string map = CMap("1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
                                 "5 beginbfrange\n"
                                 "<01> <03> <0041>\n"
                                 "<04> <06> [<0058> <0059> <005A0021>]\n"
                                 "<07> <09> <00FE>\n"
                                 "<0A> <0B> <D835DC00>\n"
                                 "<10> <12> [<0066> <0069>]\n"
                                 "endbfrange\n"
                                 "3 beginbfchar\n<0C> <D83DDE00>\n<0D> <D800>\n<0E> <00660066>\nendbfchar");
    struct Case { const char* what; std::string shown; std::string text; };
    const Case cases[] = {
        {"a range counting up", "<010203>", "ABC"},
        {"a range with an array, one entry two characters", "<040506>", "XYZ!"},
        // The writer meant consecutive characters: þ, ÿ, then Ā after the byte runs over.
        {"a range whose destination passes FF", "<070809>", "\xC3\xBE\xC3\xBF\xC4\x80"},
        {"a range counting in the low surrogate", "<0A0B>", "\xF0\x9D\x90\x80\xF0\x9D\x90\x81"}, // 𝐀𝐁
        {"a surrogate pair", "<0C>", "\xF0\x9F\x98\x80"},                                        // 😀
        // Half a pair is no character: the replacement character stands for it.
        {"an unpaired surrogate", "<0D>", "\xEF\xBF\xBD"},
        {"two characters for one code", "<0E>", "ff"},
        // Code 12h lies past the array: the font's own encoding has no character there.
        {"an array shorter than its range", "<101112>", "fi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({Text(c.shown + " Tj")}, Courier(" /ToUnicode 5 0 R"));
        doc.Stream(5, map);
        EXPECT_EQ(TextOf(doc.Table()), c.text + "\n");
    }
}

// A Type3 font's glyphs named by its Differences; its widths are in glyph space, scaled by its
// FontMatrix, which decides whether two words drawn side by side touch.
TEST(PdfTextLayerTest, Type3Differences)
{
    struct Case { const char* what; double scale; std::string content; std::string text; };
    const std::string hello = "<0102030304>";
    const Case cases[] = {
        {"one word", 0.001, Text(hello + " Tj"), "Hello"},
        {"one word, a 1/100 matrix", 0.01, Text(hello + " Tj"), "Hello"},
        // Five glyphs of 0.6 em at 12 points end at 72 + 36 = 108: the second word touches the first.
        {"touching words", 0.001, Text(hello + " Tj 1 0 0 1 108 700 Tm " + hello + " Tj"), "HelloHello"},
        {"touching words, a 1/100 matrix", 0.01, Text(hello + " Tj 1 0 0 1 108 700 Tm " + hello + " Tj"), "HelloHello"},
        {"a gap of one em", 0.001, Text(hello + " Tj 1 0 0 1 120 700 Tm " + hello + " Tj"), "Hello Hello"},
        {"a gap of one em, a 1/100 matrix", 0.01, Text(hello + " Tj 1 0 0 1 120 700 Tm " + hello + " Tj"), "Hello Hello"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int width = static_cast<int>(0.6 / c.scale + 0.5);
        const std::string w = std::to_string(width);
        const std::string m = c.scale == 0.001 ? "0.001" : "0.01";
        const std::string font = "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 " + w + " " + w + "] /FontMatrix [" + m +
                                 " 0 0 " + m + " 0 0] /CharProcs << /H 5 0 R /e 5 0 R /l 5 0 R /o 5 0 R >> /Encoding "
                                 "<< /Type /Encoding /Differences [1 /H /e /l /o] >> /FirstChar 1 /LastChar 4 /Widths [" +
                                 w + " " + w + " " + w + " " + w + "] /Resources << >> >>";
        TDoc doc = Pages({c.content}, font);
        doc.Stream(5, w + " 0 d0");
        EXPECT_EQ(TextOf(doc.Table()), c.text + "\n");
    }
}

// A simple font's Differences naming glyphs the ways writers do.
TEST(PdfTextLayerTest, GlyphNames)
{
    struct Case { const char* names; std::string text; };
    const Case cases[] = {
        {"/uni0141 /uni00F3 /uni0064 /uni017A", "\xC5\x81\xC3\xB3" "d\xC5\xBA"}, // Łódź
        {"/u1F600", "\xF0\x9F\x98\x80"},
        {"/uni00660069", "fi"},
        {"/f_f_i", "ffi"},
        {"/a.sc /b.alt", "ab"},
        {"/Lslash /eacute", "\xC5\x81\xC3\xA9"},
        {"/fi", "fi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        std::string shown;
        for (int k = 1; k <= std::count(c.names, c.names + std::strlen(c.names), '/'); ++k)
            shown += "0" + std::to_string(k);
        TDoc doc = Pages({Text("<" + shown + "> Tj")},
                         Courier(std::string(" /Encoding << /Type /Encoding /Differences [1 ") + c.names + "] >>"));
        EXPECT_EQ(TextOf(doc.Table()), c.text + "\n");
    }
}

bool ValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = Utf8CharLen(s, i);
        if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
        i += n;
    }
    return true;
}

// Bytes that claim to be UTF-8 or UTF-16 but are not: the text stays valid UTF-8, a byte or half
// pair that is no character shown as the replacement character, as decoders show it.
TEST(PdfTextLayerTest, BrokenUnicodeInput)
{
    const std::string bad = "A\xEF\xBF\xBD" "B";
    const std::string utf8Font = "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /UniGB-UTF8-H /DescendantFonts "
                                 "[<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Test /CIDSystemInfo << /Registry "
                                 "(Adobe) /Ordering (GB1) /Supplement 5 >> /DW 600 >>] >>";
    const std::string utf16Font = "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /UniGB-UTF16-H /DescendantFonts "
                                  "[<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Test /CIDSystemInfo << /Registry "
                                  "(Adobe) /Ordering (GB1) /Supplement 5 >> /DW 600 >>] >>";
    struct Case { const char* what; TDoc doc; std::string info; };
    const Case cases[] = {
        {"a UTF-8 CMap, a stray byte", Pages({Text("<41FF42> Tj")}, utf8Font), ""},
        {"a UTF-8 CMap, a lone continuation byte", Pages({Text("<418042> Tj")}, utf8Font), ""},
        {"a UTF-16 CMap, an unpaired surrogate", Pages({Text("<0041DC000042> Tj")}, utf16Font), ""},
        {"a title in UTF-8, a stray byte", Pages({""}), "<< /Title <EFBBBF41FF42> >>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = c.doc;
        if (!c.info.empty())
            doc.Set(9, c.info);
        const std::string text = TextOf(doc.Table(c.info.empty() ? "/Root 1 0 R" : "/Root 1 0 R /Info 9 0 R"));
        EXPECT_TRUE(ValidUtf8(text)) << text;
        EXPECT_EQ(text, bad + "\n");
    }
}

// ---------------------------------------------------------------------------------------------
// The page as a person reads it

// Gaps along a line become one space, moves to another line a line end; small kerning and
// spacing adjustments part nothing. Courier at 12 points: every glyph is 7.2 points wide.
TEST(PdfTextLayerTest, GapsAndLines)
{
    struct Case { const char* ops; std::string text; };
    const Case cases[] = {
        {"[(Hel) -30 (lo)] TJ", "Hello"},                  // 0.03 em: kerning
        {"[(Wo) 80 (rd)] TJ", "Word"},                     // tightened
        {"[(Two) -400 (words)] TJ", "Two words"},          // 0.4 em: a word gap
        {"[(Two) -3000 (words)] TJ", "Two words"},         // a wide gap is one space too
        {"(Hel) Tj (lo) Tj", "Hello"},                     // the second string starts where the first ends
        {"10 Tw (Two words) Tj", "Two words"},             // justified: a wider space is still one
        {"0.6 Tc (Spaced) Tj", "Spaced"},                  // 0.05 em between letters
        {"(Line one) Tj 0 -14 Td (Line two) Tj", "Line one\nLine two"},
        {"14 TL (First) Tj T* (Second) Tj", "First\nSecond"},
        {"14 TL (First) Tj (Second) '", "First\nSecond"},
        {"14 TL (First) Tj 1 0 (Second) \"", "First\nSecond"},
        {"0 -14 TD (First) Tj T* (Second) Tj", "First\nSecond"}, // TD sets the leading
        {"(Top) Tj 1 0 0 1 72 600 Tm (Bottom) Tj", "Top\nBottom"},
        {"(Left) Tj 100 0 Td (Right) Tj", "Left Right"},
        {"50 Tz (Squeezed) Tj", "Squeezed"},
        {"2 0 0 2 72 700 Tm [(Big) -400 (gap)] TJ", "Big gap"},
        {"(E=mc) Tj 4 Ts (2) Tj", "E=mc2"},                // a superscript stays on its line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ops);
        EXPECT_EQ(TextOf(Pages({Text(c.ops)}).Table()), c.text + "\n");
    }
}

// Marked content with a replacement text: it stands for the glyphs inside, once. Code 1 is a
// ligature glyph the font's encoding gives no character.
TEST(PdfTextLayerTest, ActualText)
{
    struct Case { const char* ops; std::string text; };
    const Case cases[] = {
        {"(of) Tj /Span << /ActualText (fi) >> BDC <01> Tj EMC (ce) Tj", "office"},
        {"(e) Tj /Span << /ActualText <FEFF00660066> >> BDC <01> Tj EMC (ort) Tj", "effort"},
        {"(o) Tj /Span << /ActualText (ffi) >> BDC (ffi) Tj EMC (ce) Tj", "office"},
        {"(of) Tj /Span /P1 BDC <01> Tj EMC (ce) Tj", "office"},
        {"(of) Tj /Span << /ActualText (fi) >> BDC /Inner BMC <01> Tj EMC EMC (ce) Tj", "office"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ops);
        const std::string pdf = Pages({Text(c.ops)}, Courier(), "/Properties << /P1 << /ActualText (fi) >> >>").Table();
        EXPECT_EQ(TextOf(pdf), c.text + "\n");
    }
}

// Pages that show only images, one of them with data that looks like text operators: no text.
TEST(PdfTextLayerTest, ImagesOnly)
{
    const std::string noise = "(Noise) Tj (More) Tj";
    struct Case { const char* what; std::string content; };
    const Case cases[] = {
        {"an image object", "q 100 0 0 100 72 600 cm /Im1 Do Q"},
        {"an inline image", "q 100 0 0 100 72 600 cm BT /F1 12 Tf ET BI /W 5 /H 4 /CS /G /BPC 8 ID " + noise + "\nEI Q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDoc doc = Pages({c.content}, Courier(), "/XObject << /Im1 5 0 R >>");
        doc.Flate(5, noise,
                  " /Type /XObject /Subtype /Image /Width 5 /Height 4 /ColorSpace /DeviceGray /BitsPerComponent 8");
        const TRead r = Read(doc.Table());
        EXPECT_EQ(r.Text, "");
        EXPECT_FALSE(r.Damaged);
    }
}

// What annotations say is part of the page's text, wherever the annotation is kept: inline, as an
// object of its own, inside an object stream, its value given directly or by reference. Links say
// nothing and are passed over without being parsed.
TEST(PdfTextLayerTest, AnnotationText)
{
    struct Case { const char* what; std::string annots; std::map<int, std::string> objects; std::string text; };
    const Case cases[] = {
        {"inline", "[<< /Type /Annot /Subtype /Text /Contents (Inline remark) >>]", {}, "Inline remark"},
        {"an object", "[20 0 R]", {{20, "<< /Type /Annot /Subtype /Text /Contents (Object remark) >>"}}, "Object remark"},
        {"contents by reference", "[20 0 R]", {{20, "<< /Subtype /FreeText /Contents 21 0 R >>"}, {21, "(Referred remark)"}},
         "Referred remark"},
        {"a field value", "[20 0 R]", {{20, "<< /Subtype /Widget /FT /Tx /V (Field value) >>"}}, "Field value"},
        {"a name spelt with an escape", "[20 0 R]", {{20, "<< /Subtype /Text /Cont#65nts (Escaped remark) >>"}}, "Escaped remark"},
        {"a link", "[20 0 R]", {{20, "<< /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI (http://x) >> >>"}}, ""},
        {"a missing object", "[29 0 R]", {}, ""},
    };
    for (const Case& c : cases) {
        for (const bool packed : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (packed ? ", in an object stream" : ""));
            TDoc doc = Pages({Shows("Body")});
            doc.Set(10, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
                        "/Contents 11 0 R /Annots " + c.annots + " >>");
            std::set<int> inside;
            for (const auto& [num, body] : c.objects) {
                doc.Set(num, body);
                inside.insert(num);
            }
            TDoc::TStreamLayout layout;
            layout.Packed = inside;
            const std::string pdf = packed ? doc.XrefStream(layout) : doc.Table();
            EXPECT_EQ(TextOf(pdf), "Body\n" + (c.text.empty() ? "" : c.text + "\n"));
        }
    }
}

// A stream that holds no text (an image's data) is passed over by its dictionary: its data is not
// even read, however large it is. Counted at the source, under the window a parse reads anyway.
TEST(PdfTextLayerTest, ImageDataIsNotRead)
{
    class TCounting final : public pdf::TPdfSource
    {
    public:
        explicit TCounting(std::string bytes) : FBytes(std::move(bytes)) {}
        std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t count) const override
        {
            if (offset >= FBytes.size())
                return 0;
            const std::size_t n = std::min<std::size_t>(count, FBytes.size() - offset);
            std::memcpy(buffer, FBytes.data() + offset, n);
            Read += n;
            return n;
        }
        std::uint64_t Size() const override { return FBytes.size(); }
        mutable std::uint64_t Read = 0;

    private:
        std::string FBytes;
    };
    const std::string image(std::size_t{4} << 20, '\xFF');
    for (const char* filter : {"/DCTDecode", "[/FlateDecode /DCTDecode]", "/JPXDecode", "/JBIG2Decode", "/CCITTFaxDecode"}) {
        SCOPED_TRACE(filter);
        TDoc doc = Pages({"q 100 0 0 100 72 600 cm /Im1 Do Q"}, Courier(), "/XObject << /Im1 5 0 R >>");
        doc.Stream(5, image, std::string(" /Type /XObject /Subtype /Image /Filter ") + filter);
        const TCounting source(doc.Table());
        pdf::TPdfFile file(source, nullptr);
        pdf::TObject ref;
        ref.Kind = pdf::TObject::Ref;
        ref.Reference = {5, 0};
        const pdf::TObject stream = file.Resolve(ref);
        ASSERT_EQ(stream.Kind, pdf::TObject::Stream);
        source.Read = 0;
        EXPECT_TRUE(file.StreamData(stream, std::size_t{128} << 20).empty());
        EXPECT_LT(source.Read, 64u * 1024);
    }
}

// Documents that ask for a password are documents without text; those protected only against
// changes are read (the page says "Quarterly figures, draft 7": see tests/data/pdfsecurity/make.sh).
TEST(PdfTextLayerTest, Passwords)
{
    struct Case { const char* file; bool locked; };
    const Case cases[] = {
        {"user-password-rc4.pdf", true},
        {"user-password-aes-256.pdf", true},
        {"rc4-40.pdf", false},
        {"aes-128.pdf", false},
        {"aes-256.pdf", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string bytes = FileBytes(DataFolder() / "pdfsecurity" / c.file);
        ASSERT_FALSE(bytes.empty());
        const TRead r = Read(bytes);
        EXPECT_EQ(r.Locked, c.locked);
        EXPECT_EQ(r.Damaged, c.locked);
        if (c.locked)
            EXPECT_EQ(r.Text, "");
        else
            EXPECT_EQ(r.Text.substr(0, r.Text.find('\n')), "Quarterly figures, draft 7");
    }
}

// ---------------------------------------------------------------------------------------------
// The stream

// Pages with their numbers, an empty one among them, and the document's title outside them.
TEST(PdfTextLayerTest, PageAt)
{
    TDoc doc = Pages({Shows("Alpha"), "", Shows("Charlie")});
    doc.Set(9, "<< /Title (Quarterly report) >>");
    const std::string pdf = doc.Table("/Root 1 0 R /Info 9 0 R");
    TPdfTextStream stream(pdf);
    const std::string text = stream.ReadAll();
    ASSERT_EQ(text, "Alpha\nCharlie\nQuarterly report\n");
    struct Case { const char* word; int page; };
    for (const Case& c : {Case{"Alpha", 1}, Case{"Charlie", 3}, Case{"Quarterly", 0}}) {
        SCOPED_TRACE(c.word);
        const std::size_t at = text.find(c.word);
        EXPECT_EQ(stream.PageAt(at), c.page);
        EXPECT_EQ(stream.PageAt(at + std::string_view(c.word).size() - 1), c.page);
    }
}

// Seek(0) starts over, and a Seek anywhere gives the text from there, whatever was read before.
TEST(PdfTextLayerTest, SeekRestarts)
{
    const std::string pdf = Pages({Shows("First page"), Shows("Second page"), Shows("Third page")}).Table();
    TPdfTextStream stream(pdf);
    const std::string all = stream.ReadAll();
    ASSERT_EQ(all, "First page\nSecond page\nThird page\n");
    for (const std::uint64_t at : {std::uint64_t{0}, std::uint64_t{3}, std::uint64_t{11}, std::uint64_t{25},
                                   std::uint64_t{all.size()}, std::uint64_t{5}, std::uint64_t{0}}) {
        SCOPED_TRACE(at);
        stream.Seek(at);
        std::string rest(all.size() + 10, '\0');
        rest.resize(stream.Read(rest.data(), rest.size()));
        EXPECT_EQ(rest, all.substr(static_cast<std::size_t>(at)));
        EXPECT_EQ(stream.PageAt(at == all.size() ? at - 1 : at), at < 11 ? 1 : at < 23 ? 2 : 3);
    }
    EXPECT_EQ(stream.ReadAll(), all);
}

#ifdef __linux__
std::size_t ResidentBytes()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}
#endif

// Many pages of a few words: each comes with its number, and memory follows the pages read, not
// the document (checked roughly where the system tells).
TEST(PdfTextLayerTest, ManyPages)
{
    const int count = 50000;
    std::vector<std::string> contents;
    for (int i = 1; i <= count; ++i)
        contents.push_back(Shows("Page " + std::to_string(i)));
    const std::string pdf = Pages(contents).Table();
    contents.clear();
#ifdef __linux__
    const std::size_t before = ResidentBytes();
#endif
    TPdfTextStream stream(pdf);
    std::string text;
    char buffer[4096];
    while (const std::size_t n = stream.Read(buffer, sizeof buffer))
        text.append(buffer, n);
#ifdef __linux__
    // The sanitizers keep freed memory aside and add their own: resident size says nothing there.
    const std::size_t after = ResidentBytes();
    if (!trovex::test::SanitizedBuild) {
        EXPECT_LT(after, before + 64 * (std::size_t{1} << 20) + text.capacity());
    }
#endif
    for (const int page : {1, 2, 999, 12345, count}) {
        SCOPED_TRACE(page);
        const std::string line = "Page " + std::to_string(page) + "\n";
        const std::size_t at = page == 1 ? 0 : text.find("\n" + line) + 1;
        ASSERT_EQ(text.compare(at, line.size(), line), 0);
        EXPECT_EQ(stream.PageAt(at), page);
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), count);
}

// ---------------------------------------------------------------------------------------------
// Seeds for the fuzz target: small documents, one for each structure and font path, each
// checked to read as it shows. With TROVEX_SEED_DIR set they are written to <dir>/FuzzPdfLayer.

std::vector<std::tuple<std::string, std::string, std::string>> LayerSeeds()
{
    std::vector<std::tuple<std::string, std::string, std::string>> seeds;
    const TDoc one = Pages({Shows("Table words")});
    seeds.emplace_back("xref-table.pdf", one.Table(), "Table words\n");
    seeds.emplace_back("xref-stream-predictor.pdf", Pages({Shows("Stream words")}).XrefStream({}), "Stream words\n");
    TDoc::TStreamLayout packed;
    packed.Packed = {1, 2, 3, 10};
    seeds.emplace_back("object-stream.pdf", Pages({Shows("Packed words")}).XrefStream(packed), "Packed words\n");

    TDoc tounicode = Pages({Text("<01020A0C0E> Tj")}, Courier(" /ToUnicode 5 0 R"));
    tounicode.Stream(5, CMap("1 begincodespacerange\n<00> <FF>\nendcodespacerange\n2 beginbfrange\n<01> <03> <0041>\n"
                             "<0A> <0B> [<0058> <D83DDE00>]\nendbfrange\n2 beginbfchar\n<0C> <00C5>\n<0E> <00660069>\n"
                             "endbfchar"));
    seeds.emplace_back("tounicode.pdf", tounicode.Table(), "ABX\xC3\x85" "fi\n");

    TDoc type0 = Pages({Text("<00010002> Tj")}, "<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /Identity-H "
                                                "/DescendantFonts [6 0 R] /ToUnicode 5 0 R >>");
    type0.Stream(5, CMap("1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n1 beginbfrange\n<0001> <0002> <0416>\n"
                         "endbfrange"));
    type0.Set(6, "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Test /CIDSystemInfo << /Registry (Adobe) /Ordering "
                 "(Identity) /Supplement 0 >> /DW 1000 /W [1 [600 600]] >>");
    seeds.emplace_back("type0-identity.pdf", type0.Table(), "\xD0\x96\xD0\x97\n");

    seeds.emplace_back("differences.pdf",
                       Pages({Text("<010203> Tj")},
                             Courier(" /Encoding << /Type /Encoding /BaseEncoding /WinAnsiEncoding /Differences [1 /Lslash "
                                     "/uni00F3 /f_i] >>"))
                           .Table(),
                       "\xC5\x81\xC3\xB3" "fi\n");

    TDoc form = Pages({"/X1 Do"}, Courier(), "/XObject << /X1 20 0 R >>");
    form.Flate(20, "BT /F1 12 Tf 72 700 Td (Form words) Tj ET /X1 Do",
               " /Subtype /Form /BBox [0 0 612 792] /Matrix [1 0 0 1 0 0]");
    seeds.emplace_back("form.pdf", form.Table(), "Form words\n");

    seeds.emplace_back("actualtext.pdf",
                       Pages({Text("(of) Tj /Span << /ActualText <FEFF00660069> >> BDC <01> Tj EMC [(ce) -400 (hours)] TJ "
                                   "0 -14 Td (next) Tj")})
                           .Table(),
                       "office hours\nnext\n");

    TDoc image =
        Pages({"q 10 0 0 10 72 600 cm BI /W 2 /H 2 /CS /G /BPC 8 ID \x01\x02\x03\x04\nEI Q " + Shows("After image")});
    seeds.emplace_back("inline-image.pdf", image.Table(), "After image\n");
    return seeds;
}

TEST(PdfTextLayerTest, SeedCorpus)
{
    const char* seedDir = std::getenv("TROVEX_SEED_DIR");
    for (const auto& [name, bytes, text] : LayerSeeds()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(TextOf(bytes), text);
        if (seedDir) {
            fs::create_directories(fs::path(seedDir) / "FuzzPdfLayer");
            std::ofstream(fs::path(seedDir) / "FuzzPdfLayer" / name, std::ios::binary) << bytes;
        }
    }
}

} // namespace
} // namespace trovex
