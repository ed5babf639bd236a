// SPDX-License-Identifier: MIT
// Office documents through the engine: found by the words a person sees in them, with the text
// around the hit, whatever code pages are chosen; by their bytes alone when documents are off.
#include "search/FindFile.h"

#include <map>

#include <gtest/gtest.h>

#include "support/DocBuilder.h"
#include "support/TempTree.h"
#include "support/ZipBuilder.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

using TFound = std::map<std::string, std::string>; // name -> text around the hit

//   tree/
//     report.docx   data descriptors; "Quokkafern" split over runs, entities, Cyrillic
//     budget.xlsx   ZIP64; the word in a shared string
//     deck.pptx     the word split over runs of a slide
//     notes.odt     the word in a paragraph, with an entity
//     stored.docx   parts stored, not deflated: the bytes hold only the pieces of the word
//     damaged.docx  a broken archive; its bytes hold the word
//     text.docx     no archive at all, only a document's name: searched through its bytes
//     plain.txt     the word in UTF-8 Cyrillic only
void Fill(TTempTree& tree)
{
    const std::string word = "<w:p><w:r><w:t>Ignored</w:t><w:tab/><w:t>Lead Quok</w:t></w:r><w:r><w:rPr><w:i/>"
                             "</w:rPr><w:t>kafern &amp; &#1097;&#x44F;</w:t><w:tab/><w:t>after</w:t></w:r></w:p>"
                             "<w:p><w:r><w:t>Съешь же ещё</w:t></w:r></w:p>";
    tree.AddFile("report.docx", DocumentBytes(WordParts(word), dlDataDescriptors));
    tree.AddFile("budget.xlsx",
                 DocumentBytes(SheetParts("<si><t>Total&#9;Quokkafern Ltd&#9;2024</t></si>", ""), dlZip64));
    tree.AddFile("deck.pptx", DocumentBytes(SlideParts({"<a:p><a:r><a:t>x&#9;Qu</a:t></a:r><a:r><a:t>okkafern deck"
                                                        "&#9;y</a:t></a:r></a:p>"})));
    tree.AddFile("notes.odt",
                 DocumentBytes(OpenDocumentParts("application/vnd.oasis.opendocument.text",
                                                 "<office:text><text:p>x<text:tab/>Quokkafern &amp; co<text:tab/>y"
                                                 "</text:p></office:text>")));
    TZipBuilder stored;
    for (const TDocPart& part : WordParts(word))
        stored.Stored(part.Name, part.Xml);
    stored.WriteTo(tree.Path("stored.docx"));
    tree.AddFile("damaged.docx", "PK\x03\x04 not really: Quokkafern");
    tree.AddFile("text.docx", "x\tQuokkafern, saved as .docx\ty");
    tree.AddFile("plain.txt", "x\tСъешь\ty");
}

TFound Search(const TTempTree& tree, const std::string& containing, const std::string& excluding, TCodePages pages,
              bool documents)
{
    TFindFile engine;
    engine.SetMask("*.*");
    engine.SetFolder(tree.Root());
    engine.ContainingText = containing;
    engine.ExcludedText = excluding;
    engine.CodePages = pages;
    engine.InDocuments = documents;
    TFound found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found[info.Name] = info.FoundText; };
    engine.RunHere();
    EXPECT_EQ(engine.ErrorMessage(), "");
    return found;
}

struct TCase
{
    const char* Name;
    std::string Containing;
    std::string Excluding;
    TCodePages Pages;
    bool Documents;
    TFound Expected;
};

// The word is found whole in every readable document, with the words around it as the document
// shows them (tabs and line feeds are part of the context); the UTF-8 pass runs on document text
// even when only "Windows" is chosen.
TEST(DocumentSearchTest, DocumentsAreSearchedThroughTheirText)
{
    TTempTree tree;
    Fill(tree);
    const std::string report = "\nIgnored\tLead Quokkafern & щя\tafter\nСъешь же ещё\n\n";
    const TFound quokka = {{"report.docx", report},
                           {"stored.docx", report},
                           {"budget.xlsx", "\nLedger & more\n\nTotal\tQuokkafern Ltd\t2024\n\n\n"},
                           {"deck.pptx", "\nx\tQuokkafern deck\ty\n\non every slide\n\n\n"},
                           {"notes.odt", "\nx\tQuokkafern & co\ty\n\n\n"},
                           {"text.docx", "x\tQuokkafern, saved as .docx\ty"}};
    const std::vector<TCase> cases = {
        {"one code page, any case", "QUOKKAFERN", "", cpWindows, true, quokka},
        {"all code pages", "quokkafern", "", cpAll, true, quokka},
        {"entities decoded", "& щЯ", "", cpWindows, true, {{"report.docx", report}, {"stored.docx", report}}},
        // a plain file's UTF-8 text needs the UTF-8 pass; a document's does not
        {"Cyrillic without the UTF-8 pass", "СЪЕШЬ", "", cpWindows, true, {{"report.docx", report}, {"stored.docx", report}}},
        {"excluded text in the document text", "quokkafern", "щя", cpWindows, true,
         {{"budget.xlsx", quokka.at("budget.xlsx")}, {"deck.pptx", quokka.at("deck.pptx")},
          {"notes.odt", quokka.at("notes.odt")}, {"text.docx", quokka.at("text.docx")}}},
        // a damaged document is a file without text, and is not reported even when only excluding
        {"only excluding", "", "nothing like this", cpWindows, true,
         {{"report.docx", ""}, {"stored.docx", ""}, {"budget.xlsx", ""}, {"deck.pptx", ""}, {"notes.odt", ""},
          {"text.docx", ""}, {"plain.txt", ""}}},
        // by their bytes the documents hold no whole word; the damaged one is an ordinary file
        {"documents off", "quokkafern", "", cpAll, false,
         {{"damaged.docx", " not really: Quokkafern"}, {"text.docx", quokka.at("text.docx")}}},
        {"documents off, entity text", "щя", "", cpAll, false, {}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Search(tree, c.Containing, c.Excluding, c.Pages, c.Documents), c.Expected) << c.Name;
}

} // namespace
