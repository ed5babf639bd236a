// SPDX-License-Identifier: MIT
// Spreadsheet values as a person sees them: date formats told from number formats, serial days
// written through their format in both date systems, and print headers without their codes.
#include "readers/uSheetFormat.h"

#include <gtest/gtest.h>

namespace trovex
{
namespace
{

TEST(uSheetFormatTest, DateFormatsAreToldFromNumberFormats)
{
    const std::pair<const char*, bool> cases[] = {
        {"General", false},          {"0.00", false},          {"#,##0.00", false},
        {"[$-409]#,##0.00", false},  {"\"TRUE\";\"TRUE\";\"FALSE\"", false},
        {"[Red]0.00", false},        {"0%", false},            {"\"day\" 0", false},
        {"yyyy-mm-dd", true},        {"[$-409]yyyy\\-mm\\-dd", true},
        {"[$-409]mmmm\\ d\", \"yyyy", true}, {"h:mm", true},   {"[h]:mm:ss", true},
        {"dd/mm/yyyy;@", true},      {"0.00;[Red]yyyy", false}, // only the first section counts
    };
    for (const auto& [code, date] : cases)
        EXPECT_EQ(IsDateFormat(code), date) << code;
    EXPECT_EQ(BuiltInDateFormat(14), "mm-dd-yy");
    EXPECT_TRUE(BuiltInDateFormat(2).empty());
}

TEST(uSheetFormatTest, SerialDaysAsTheirFormatShowsThem)
{
    struct Case { double serial; bool date1904; const char* code; const char* shown; };
    const Case cases[] = {
        {45366, false, "yyyy-mm-dd", "2024-03-15"},
        {45366, false, "[$-409]yyyy\\-mm\\-dd", "2024-03-15"},
        {45232, false, "[$-409]mmmm\\ d\", \"yyyy", "November 2, 2023"},
        {45232, false, "dddd, d mmm yy", "Thursday, 2 Nov 23"},
        {45232, false, "mmmmm", "N"},
        {1, false, "yyyy-mm-dd", "1900-01-01"},
        {59, false, "yyyy-mm-dd", "1900-02-28"},
        {60, false, "yyyy-mm-dd", "1900-02-29"}, // the leap day the 1900 count keeps
        {61, false, "yyyy-mm-dd", "1900-03-01"},
        {0, true, "yyyy-mm-dd", "1904-01-01"},
        {43904, true, "yyyy-mm-dd", "2024-03-15"},
        {45366.75, false, "yyyy-mm-dd hh:mm", "2024-03-15 18:00"},
        {45366.75, false, "h:mm AM/PM", "6:00 PM"},
        {45366.5 + 61.0 / 86400, false, "hh:mm:ss", "12:01:01"},
        {45366, false, "mm-dd-yy", "03-15-24"},
        {-1, false, "yyyy-mm-dd", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatSerialDate(c.serial, c.date1904, c.code), c.shown) << c.serial << " " << c.code;
}

TEST(uSheetFormatTest, HeadersLoseTheirCodes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"&CBrackenhusk stock count", "Brackenhusk stock count"},
        {"&CLantervelm page &P", "Lantervelm page"},
        {"&L&\"Arial,Bold\"&12Left&CMiddle&RPage &P of &N", "Left Middle Page of"},
        {"&KFF0000Red&K01+000 theme", "Red theme"},
        {"R&&D &D &T", "R&D"},
        {"", ""},
        {"&", "&"},
    };
    for (const auto& [coded, text] : cases)
        EXPECT_EQ(HeaderFooterText(coded), text) << coded;
}

} // namespace
} // namespace trovex
