// SPDX-License-Identifier: MIT
#include "support/DocBuilder.h"

#include "support/ZipBuilder.h"

namespace trovex
{
namespace
{

constexpr std::string_view XmlDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr std::string_view WordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view DrawingNs = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr std::string_view SlideNs = "http://schemas.openxmlformats.org/presentationml/2006/main";
constexpr std::string_view SheetNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string ContentTypes(std::string_view overrides)
{
    return std::string(XmlDecl) +
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
           std::string(overrides) + "</Types>";
}

std::string RootRels(std::string_view target)
{
    return std::string(XmlDecl) +
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "relationships/officeDocument\" Target=\"" +
           std::string(target) + "\"/></Relationships>";
}

std::string SlideXml(std::string_view paragraphs)
{
    return std::string(XmlDecl) + "<p:sld xmlns:a=\"" + std::string(DrawingNs) + "\" xmlns:p=\"" +
           std::string(SlideNs) +
           "\"><p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/></p:nvGrpSpPr>"
           "<p:sp><p:txBody><a:bodyPr/><a:lstStyle/>" +
           std::string(paragraphs) + "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

} // namespace

std::string DocumentBytes(const std::vector<TDocPart>& parts, TDocLayout layout)
{
    TZipBuilder zip;
    for (const TDocPart& part : parts) {
        if (part.Name == "mimetype") {
            zip.Stored(part.Name, part.Xml);
            continue;
        }
        TZipMember member(part.Name, part.Xml, 8);
        if (layout == dlDataDescriptors)
            member.WithDataDescriptor();
        zip.Add(member);
    }
    if (layout == dlZip64)
        zip.Zip64();
    return zip.Bytes();
}

std::string WordParagraph(const std::vector<std::string>& runs)
{
    std::string p = "<w:p><w:pPr><w:pStyle w:val=\"Normal\"/><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/>"
                    "</w:tabs></w:pPr>";
    for (const std::string& run : runs)
        p += "<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">" + run + "</w:t></w:r>";
    return p + "</w:p>";
}

std::vector<TDocPart> WordParts(std::string_view bodyXml, std::vector<TDocPart> more)
{
    std::vector<TDocPart> parts;
    parts.push_back({"[Content_Types].xml",
                     ContentTypes("<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                                  "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>")});
    parts.push_back({"_rels/.rels", RootRels("word/document.xml")});
    parts.push_back({"word/document.xml", std::string(XmlDecl) + "<w:document xmlns:w=\"" + std::string(WordNs) +
                                              "\"><w:body>" + std::string(bodyXml) +
                                              "<w:sectPr><w:pgSz w:w=\"11906\" w:h=\"16838\"/></w:sectPr>"
                                              "</w:body></w:document>"});
    parts.push_back({"word/styles.xml", std::string(XmlDecl) + "<w:styles xmlns:w=\"" + std::string(WordNs) +
                                            "\"><w:style w:styleId=\"Normal\"><w:name w:val=\"StyleNameNotText\"/>"
                                            "</w:style></w:styles>"});
    for (TDocPart& part : more)
        parts.push_back(std::move(part));
    return parts;
}

std::vector<TDocPart> SheetParts(std::string_view strings, std::string_view sheetData)
{
    std::vector<TDocPart> parts;
    parts.push_back({"[Content_Types].xml", ContentTypes("")});
    parts.push_back({"_rels/.rels", RootRels("xl/workbook.xml")});
    parts.push_back({"xl/workbook.xml", std::string(XmlDecl) + "<workbook xmlns=\"" + std::string(SheetNs) +
                                            "\"><sheets><sheet name=\"Ledger &amp; more\" sheetId=\"1\"/>"
                                            "</sheets></workbook>"});
    parts.push_back({"xl/sharedStrings.xml", std::string(XmlDecl) + "<sst xmlns=\"" + std::string(SheetNs) +
                                                 "\" count=\"9\">" + std::string(strings) + "</sst>"});
    parts.push_back({"xl/worksheets/sheet1.xml", std::string(XmlDecl) + "<worksheet xmlns=\"" +
                                                     std::string(SheetNs) + "\"><sheetData>" +
                                                     std::string(sheetData) + "</sheetData></worksheet>"});
    return parts;
}

std::vector<TDocPart> SlideParts(const std::vector<std::string>& slides, const std::vector<std::string>& notes)
{
    std::vector<TDocPart> parts;
    parts.push_back({"[Content_Types].xml", ContentTypes("")});
    parts.push_back({"_rels/.rels", RootRels("ppt/presentation.xml")});
    parts.push_back({"ppt/presentation.xml", std::string(XmlDecl) + "<p:presentation xmlns:p=\"" +
                                                 std::string(SlideNs) + "\"/>"});
    // A layout's placeholder holds a prompt nobody sees on a slide; a master's own text box is shown
    // on every slide.
    const std::string prompt = "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title 1\"/><p:cNvSpPr/><p:nvPr><p:ph "
                               "type=\"title\"/></p:nvPr></p:nvSpPr><p:txBody><a:p><a:r><a:t>LayoutNotText</a:t>"
                               "</a:r></a:p></p:txBody></p:sp>";
    parts.push_back({"ppt/slideLayouts/slideLayout1.xml", SlideXml("</p:txBody></p:sp>" + prompt + "<p:sp><p:txBody>")});
    parts.push_back({"ppt/slideMasters/slideMaster1.xml",
                     SlideXml("<a:p><a:r><a:t>on every slide</a:t></a:r></a:p></p:txBody></p:sp>" + prompt +
                              "<p:sp><p:txBody>")});
    // Written last first, as some editors do: the text still comes in slide order.
    for (std::size_t i = slides.size(); i-- > 0;)
        parts.push_back({"ppt/slides/slide" + std::to_string(i + 1) + ".xml", SlideXml(slides[i])});
    for (std::size_t i = 0; i < notes.size(); ++i)
        parts.push_back({"ppt/notesSlides/notesSlide" + std::to_string(i + 1) + ".xml", SlideXml(notes[i])});
    return parts;
}

std::vector<TDocPart> OpenDocumentParts(std::string_view mimeType, std::string_view body, std::string_view masterStyles)
{
    const std::string ns = "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
                           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
                           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
                           "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
                           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"";
    std::vector<TDocPart> parts;
    parts.push_back({"mimetype", std::string(mimeType)});
    parts.push_back({"content.xml", std::string(XmlDecl) + "<office:document-content " + ns +
                                        " office:version=\"1.3\"><office:automatic-styles/><office:body>" +
                                        std::string(body) + "</office:body></office:document-content>"});
    parts.push_back({"styles.xml", std::string(XmlDecl) + "<office:document-styles " + ns +
                                       "><office:styles><style:style style:name=\"StyleNameNotText\"/>"
                                       "</office:styles><office:master-styles>" +
                                       std::string(masterStyles) + "</office:master-styles></office:document-styles>"});
    parts.push_back({"meta.xml", std::string(XmlDecl) + "<office:document-meta " + ns +
                                     "><office:meta><dc:title>MetaNotText</dc:title></office:meta>"
                                     "</office:document-meta>"});
    parts.push_back({"META-INF/manifest.xml",
                     std::string(XmlDecl) +
                         "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\">"
                         "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"" +
                         std::string(mimeType) + "\"/></manifest:manifest>"});
    return parts;
}

std::vector<std::pair<std::string, std::string>> DocumentSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds;
    const std::string body = WordParagraph({"Quok", "kafern &amp; &#1097;&#x44F;"}) +
                             "<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t></w:r></w:p>";
    seeds.emplace_back("word.docx", DocumentBytes(WordParts(body)));
    seeds.emplace_back("word-descriptors.docx", DocumentBytes(WordParts(body), dlDataDescriptors));
    seeds.emplace_back("word-zip64.docx", DocumentBytes(WordParts(body), dlZip64));
    seeds.emplace_back("sheet.xlsx", DocumentBytes(SheetParts("<si><t>cell</t></si><si><r><t>ri</t></r><r><t>ch</t>"
                                                              "</r><rPh><t>ph</t></rPh></si>",
                                                              "<row><c t=\"inlineStr\"><is><t>inline</t></is></c>"
                                                              "<c><v>42</v></c></row>")));
    seeds.emplace_back("slides.pptx", DocumentBytes(SlideParts({"<a:p><a:r><a:t>one</a:t></a:r><a:br/></a:p>",
                                                                "<a:p><a:r><a:t>two</a:t></a:r></a:p>"},
                                                               {"<a:p><a:r><a:t>note</a:t></a:r></a:p>"})));
    seeds.emplace_back("text.odt",
                       DocumentBytes(OpenDocumentParts(
                           "application/vnd.oasis.opendocument.text",
                           "<office:text><text:p>a<text:s text:c=\"3\"/>b<text:tab/>c<text:line-break/>"
                           "<text:span>d</text:span><![CDATA[<e>]]><!-- no --></text:p></office:text>",
                           "<style:master-page><style:header><text:p>head</text:p></style:header>"
                           "</style:master-page>")));
    return seeds;
}

} // namespace trovex
