// SPDX-License-Identifier: MIT
// The criteria of the pages turned into an engine: code pages, counts, date ranges and the mask.
#include <gtest/gtest.h>

#include <stdexcept>

#include "search/FindFile.h"
#include "window/Criteria.h"

using namespace trovex;

// The code pages follow the boxes; "Use all code pages" overrides them; none checked means Windows.
TEST(CriteriaTest, CodePagesTable)
{
    struct Case
    {
        bool All, Ansi, Oem, Unicode, Koi8, Utf8;
        TCodePages Pages;
    };
    const Case cases[] = {
        {false, true, false, true, false, true, cpWindows | cpUnicode | cpUtf8},
        {false, false, true, false, true, false, cpDos | cpKoi8r},
        {false, false, false, false, false, false, cpWindows},
        {true, false, false, false, false, false, cpAll},
        {true, true, true, true, true, true, cpAll},
    };
    for (const Case& c : cases) {
        TCriteria criteria;
        criteria.AllCodePages = c.All;
        criteria.Ansi = c.Ansi;
        criteria.Oem = c.Oem;
        criteria.Unicode = c.Unicode;
        criteria.Koi8 = c.Koi8;
        criteria.Utf8 = c.Utf8;
        EXPECT_EQ(CodePagesOf(criteria), c.Pages);
    }
}

// Counts are whole decimal numbers, blanks around allowed; anything else is refused in the library's words.
TEST(CriteriaTest, CountsTable)
{
    struct Case
    {
        const char* Text;
        int Value; // -99: refused
    };
    const Case cases[] = {{"1", 1}, {" 12 ", 12}, {"+3", 3}, {"-2", -2}, {"007", 7}, {"", -99}, {"1.5", -99},
                          {"x", -99}, {"3 4", -99}, {"99999999999", -99}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        if (c.Value == -99) {
            try {
                ParseCount(c.Text);
                ADD_FAILURE() << "accepted";
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), std::string("'") + c.Text + "' is not a valid integer value");
            }
        } else {
            EXPECT_EQ(ParseCount(c.Text), c.Value);
        }
    }
}

// The range of each date option; only the chosen option's count is read.
TEST(CriteriaTest, DateRangesTable)
{
    const TDateTime now{2024, 3, 31, 15, 30, 0, 0};
    const TDateTime picked{2024, 1, 10, 9, 15, 0, 0};
    struct Case
    {
        const char* What;
        TDateOption Option;
        bool ToIsToday;
        TDateTime From;
        TDateTime To;
    };
    const Case cases[] = {
        {"one month back from 31 March", doMonths, false, {2024, 2, 29, 0, 0, 0, 0}, now},
        {"days", doDays, false, {2024, 3, 30, 0, 0, 0, 0}, now},
        {"to another day keeps its time", doFromTo, false, picked, {2024, 2, 1, 9, 15, 0, 0}},
        {"to today ends now", doFromTo, true, picked, now},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TCriteria criteria;
        criteria.UseDate = true;
        criteria.DateOption = c.Option;
        criteria.LastMonths = "1";
        criteria.LastDays = c.Option == doDays ? "1" : "not read";
        criteria.DateFrom = picked;
        criteria.DateTo = {2024, 2, 1, 9, 15, 0, 0};
        criteria.DateToIsToday = c.ToIsToday;
        const std::optional<TDateRange> range = DateRangeOf(criteria, now);
        ASSERT_TRUE(range);
        EXPECT_EQ(range->From, c.From);
        EXPECT_EQ(range->To, c.To);
    }
    TCriteria off;
    off.LastMonths = "x";
    EXPECT_FALSE(DateRangeOf(off, now));
}

// The engine gets the composed mask and every option of the pages.
TEST(CriteriaTest, FillEngineTable)
{
    struct Case
    {
        const char* Named;
        const char* Type;
        bool UseDate;
        std::vector<std::string> Masks;
    };
    const Case cases[] = {
        {"", "All files: (*.*)", false, {"*.*"}},
        {"report", "MS Word: (*.doc; *.rtf)", true, {"*report*.doc", "*report*.rtf"}},
        {"*.txt", "Adobe PDF: (*.pdf)", false, {"*.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Named);
        TCriteria criteria;
        criteria.Named = c.Named;
        criteria.TypeItem = c.Type;
        criteria.Text = "needle";
        criteria.NoText = "hay";
        criteria.CaseSensitive = true;
        criteria.InZip = false;
        TFindFile engine;
        std::optional<TDateRange> dates;
        if (c.UseDate)
            dates = TDateRange{{2024, 1, 1, 0, 0, 0, 0}, {2024, 2, 1, 0, 0, 0, 0}};
        FillEngine(engine, criteria, dates);
        EXPECT_EQ(engine.MaskList(), c.Masks);
        EXPECT_EQ(engine.ContainingText, "needle");
        EXPECT_EQ(engine.ExcludedText, "hay");
        EXPECT_TRUE(engine.CaseSensitive);
        EXPECT_FALSE(engine.InZip);
        EXPECT_EQ(engine.UseDate, c.UseDate);
        EXPECT_EQ(engine.CodePages, CodePagesOf(criteria));
        EXPECT_FALSE(engine.NeedRecords);
    }
}
