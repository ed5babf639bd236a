// SPDX-License-Identifier: MIT
// The document reader on files that LibreOffice, python-docx and openpyxl wrote (tests/data/office,
// see its README for each marker's place): every word a person sees in them is found, numbers and
// dates as the writer shows them, and nothing a person does not see is taken for text.
#include "readers/uDocText.h"

#include "platform/Stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

std::string TextOf(const std::string& file)
{
    const fs::path path = fs::path(__FILE__).parent_path().parent_path() / "data" / "office" / file;
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string data = bytes.str();
    EXPECT_FALSE(data.empty()) << path;
    TDocTextStream stream(std::make_unique<TMemoryStream>(data), data.size(), DocumentKind(file));
    std::string text;
    char buffer[4096];
    while (const std::size_t n = stream.Read(buffer, sizeof buffer))
        text.append(buffer, n);
    EXPECT_FALSE(stream.Damaged()) << file;
    EXPECT_FALSE(stream.Cut()) << file;
    return text;
}

struct TCase
{
    const char* File;
    std::vector<std::string> Seen;    // as a person types them: words, phrases, numbers and dates as shown
    std::vector<std::string> Unseen;  // what the file holds but nobody sees
};

TEST(OfficeCorpusTest, EveryWordAPersonSeesIsFound)
{
    const std::vector<std::string> writer = {
        "Grumbletoft", "Vesperwhig", "Plinkerdove Mossgrendle", "Tarragonwick", "Brambleshod Quintervale",
        "Skellimore", "Cindervault", "Drovenhallow", "Tamberlosk", "Tindlewhorl Gaspernook", "Crumbleward",
        "Quillendrax", "Morvantide", "Zimbleworth", "Hobbleswain", "Fenwickbray", "August 21, 2012"};
    const std::vector<std::string> calc = {"Plumbergast", "Wickerfold", "Ostrovane", "Pellucidor", "Marrowdusk",
                                           "Thimblecrag", "Yarrowspit", "Brackenhusk stock count", "Lantervelm page",
                                           "4711.5", "5999.5", "2024-03-15", "November 2, 2023", "TRUE"};
    const std::vector<std::string> impress = {"Corvalinth", "Snedgewick", "Ambertrove", "Halvorquin", "Whistlegorse",
                                              "Nimbletusk", "Oxbrindle", "Gloamerwick cider guild"};
    const TCase cases[] = {
        {"writer.odt", writer, {"Ada Pemberton"}},
        {"writer.docx", writer, {"USERNAME", "Ada Pemberton"}},
        {"calc.ods", calc, {"Ada Pemberton"}},
        {"calc.xlsx", calc, {"Ada Pemberton", "&C", "&P"}},
        {"impress.odp", impress, {"<number>"}},
        {"impress.pptx", impress, {"Click to edit", "Second Outline Level", "<number>", "<#>"}},
        {"python-docx.docx", {"Mizzlecombe", "Quibblemont", "Sprocketfen", "Turnipwhelm", "Bodkinshaw", "Larchmottle",
                              "Dunstravel"}, {}},
        {"openpyxl.xlsx", {"Kettlebrisk", "Woolgathry", "Rumbleclove", "Nettlegrove", "Saffronmere cellar book",
                           "Cobblestave page", "Peppershank", "4711.5", "42", "2024-03-15"}, {"Ada Pemberton", "&C"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.File);
        const std::string text = TextOf(c.File);
        std::size_t found = 0;
        for (const std::string& seen : c.Seen) {
            const bool there = text.find(seen) != std::string::npos;
            EXPECT_TRUE(there) << seen;
            found += there ? 1 : 0;
        }
        for (const std::string& unseen : c.Unseen)
            EXPECT_EQ(text.find(unseen), std::string::npos) << unseen;
        RecordProperty(c.File, std::to_string(found) + " of " + std::to_string(c.Seen.size()));
    }
}

} // namespace
} // namespace trovex
