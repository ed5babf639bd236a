// SPDX-License-Identifier: MIT
#include "search/SearchCriteria.h"

#include <gtest/gtest.h>

using namespace trovex;

TEST(SearchCriteriaTest, ComposeMaskFromNameAndType)
{
    struct Case { const char* named; int type; const char* mask; };
    const Case cases[] = {
        {"", 0, "*.*"},
        {"", 1, "*.doc; *.rtf"},
        {"report", 0, "*report*.*"},
        {"report", 1, "*report*.doc; *report*.rtf"},
        {"report.txt", 1, "report.txt"},
        {"*", 3, "*"},
        {"rep?", 2, "rep?"},
        {"a b", 5, "*a b*.txt"}, // a bare word keeps its blank; splitting makes two masks of it
    };
    for (const Case& c : cases) {
        std::string types = TypesMaskOf(TypePresets[static_cast<std::size_t>(c.type)]);
        EXPECT_EQ(ComposeMask(c.named, types), c.mask) << c.named << " / " << c.type;
    }
    EXPECT_EQ(ComposeMask("word", ""), ""); // no type chosen: the word is dropped later
    EXPECT_EQ(TypesMaskOf("Pictures: (*.jpg; *.jpeg; *.gif; *.bmp)"), "*.jpg; *.jpeg; *.gif; *.bmp");
    EXPECT_EQ(TypesMaskOf("no parens"), "");
    EXPECT_EQ(TypesMaskOf("a (b) (c)"), "b");
}

TEST(SearchCriteriaTest, LastMonthsLandsOnTheMonthsLastDay)
{
    struct Case { TDateTime now; int months; TDateTime from; };
    const Case cases[] = {
        {{2023, 3, 31, 15, 20, 0, 0}, 1, {2023, 2, 28, 0, 0, 0, 0}},
        {{2024, 3, 31, 15, 20, 0, 0}, 1, {2024, 2, 29, 0, 0, 0, 0}},
        {{2024, 1, 15, 9, 0, 0, 0}, 1, {2023, 12, 15, 0, 0, 0, 0}},
        {{2024, 5, 31, 9, 0, 0, 0}, 3, {2024, 2, 29, 0, 0, 0, 0}},
        {{2024, 5, 31, 9, 0, 0, 0}, 12, {2023, 5, 31, 0, 0, 0, 0}},
        {{2024, 5, 31, 9, 0, 0, 0}, 0, {2024, 5, 31, 0, 0, 0, 0}},
        {{2024, 7, 31, 9, 0, 0, 0}, 25, {2022, 6, 30, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TDateRange r = LastMonthsRange(c.now, c.months);
        EXPECT_EQ(r.From, c.from) << c.now.Year << "-" << c.now.Month << "-" << c.now.Day << " -" << c.months;
        EXPECT_EQ(r.To, c.now);
    }
}

TEST(SearchCriteriaTest, LastDaysStartsAtMidnight)
{
    struct Case { TDateTime now; int days; TDateTime from; };
    const Case cases[] = {
        {{2024, 3, 1, 10, 0, 0, 5}, 1, {2024, 2, 29, 0, 0, 0, 0}},
        {{2024, 1, 1, 0, 0, 1, 0}, 1, {2023, 12, 31, 0, 0, 0, 0}},
        {{2024, 1, 10, 12, 0, 0, 0}, 0, {2024, 1, 10, 0, 0, 0, 0}},
        {{2024, 12, 31, 12, 0, 0, 0}, 366, {2023, 12, 31, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        TDateRange r = LastDaysRange(c.now, c.days);
        EXPECT_EQ(r.From, c.from) << c.days;
        EXPECT_EQ(r.To, c.now);
    }
}
