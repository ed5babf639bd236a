// SPDX-License-Identifier: MIT
// Builds office documents for tests and fuzz seeds: the XML parts an editor writes (with the
// package files around them), deflated into a ZIP archive in one of the ways writers lay one out.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex
{

struct TDocPart
{
    std::string Name;
    std::string Xml;
};

enum TDocLayout
{
    dlPlain,           // sizes in the local headers
    dlDataDescriptors, // sizes only after the data, as streaming writers do
    dlZip64,           // every size and offset in ZIP64 records
};

/// The archive of `parts`, each deflated (OpenDocument's "mimetype" stored, as it must be).
std::string DocumentBytes(const std::vector<TDocPart>& parts, TDocLayout layout = dlPlain);

/// A Word document: `bodyXml` is the content of w:body (w:p elements); `more` adds headers,
/// footnotes and such.
std::vector<TDocPart> WordParts(std::string_view bodyXml, std::vector<TDocPart> more = {});
/// One w:p whose runs hold the given texts (already escaped), each in its own w:r.
std::string WordParagraph(const std::vector<std::string>& runs);

/// A workbook: `strings` are the shared strings' si contents; `sheetData` the rows of sheet 1.
std::vector<TDocPart> SheetParts(std::string_view strings, std::string_view sheetData);
/// A presentation: each entry of `slides` is the a:p elements of one slide's text box; `notes` the
/// same for notes pages.
std::vector<TDocPart> SlideParts(const std::vector<std::string>& slides, const std::vector<std::string>& notes = {});
/// An OpenDocument file: `body` goes inside office:body (office:text, office:spreadsheet, ...),
/// `masterStyles` inside office:master-styles of styles.xml.
std::vector<TDocPart> OpenDocumentParts(std::string_view mimeType, std::string_view body,
                                        std::string_view masterStyles = {});

/// Small documents that exercise the reader's paths; each pair is a file name and its bytes.
std::vector<std::pair<std::string, std::string>> DocumentSeeds();

} // namespace trovex
