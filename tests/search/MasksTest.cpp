// SPDX-License-Identifier: MIT
#include "search/Masks.h"

#include <functional>

#include <gtest/gtest.h>

using namespace trovex;

namespace
{

// A slow, obviously right matcher to hold the compiled one against (ASCII masks without sets).
bool ReferenceFitsExactly(std::string_view mask, std::string_view name)
{
    std::function<bool(std::size_t, std::size_t)> go = [&](std::size_t m, std::size_t n) -> bool {
        if (m == mask.size())
            return n == name.size();
        if (mask[m] == '*')
            return go(m + 1, n) || (n < name.size() && go(m, n + 1));
        if (n == name.size())
            return false;
        auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        return (mask[m] == '?' || up(mask[m]) == up(name[n])) && go(m + 1, n + 1);
    };
    return go(0, 0);
}

// A final ".*" may also stand for no extension at all.
bool ReferenceFits(std::string_view mask, std::string_view name)
{
    return ReferenceFitsExactly(mask, name) ||
           (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
            ReferenceFitsExactly(mask.substr(0, mask.size() - 2), name));
}

} // namespace

TEST(MasksTest, NameFitsMaskTable)
{
    struct Case { const char* mask; const char* name; bool fits; };
    const Case cases[] = {
        {"*", "", true},
        {"*", "anything.at.all", true},
        {"*.*", "archive.tar.gz", true},
        {"*.*", ".profile", true},
        // A final ".*" also fits what the mask without it fits: an empty extension.
        {"*.*", "README", true},
        {"*.*", "Makefile", true},
        {"*.*", "bin", true},               // a folder without a dot
        {"*.*", "", true},
        {"*report*.*", "report", true},
        {"*report*.*", "my-report.doc", true},
        {"*report*.*", "repor", false},
        {"readme.*", "README", true},
        {"readme.*", "readme.txt", true},
        {"readme.*", "readmex", false},
        {"a.*", "a", true},
        {"a.*", "ab", false},               // the dot is optional only together with its extension
        {".*", ".profile", true},
        {".*", "profile", false},
        {"*.txt", "txt", false},            // any other mask still needs its dot
        {"a?.*", "ab", true},
        {"a?.*", "a", false},
        {"[a-c]*.*", "beta", true},         // a set before ".*"
        {"[a-c]*.*", "delta", false},
        {"[!a-c].*", "d", true},
        {"[!a-c].*", "a", false},
        {"a[.]*", "a", false},              // a dot in a set is no extension
        {"щегол.*", "щегол", true},         // Cyrillic names
        {"щегол.*", "щегол.txt", true},
        {"*гол.*", "щегол", true},
        {"щ?.*", "щегол", false},
        {"a?c", "abc", true},
        {"a?c", "ABC", true},
        {"a?c", "ac", false},
        {"*?", "", true},
        {"[a-c]*", "Beta", true},
        {"[a-c]*", "apple", true},
        {"[a-c]*", "delta", false},
        {"[!a-c]*", "delta", true},
        {"[!a-c]*", "apple", false},
        {"ab??", "abcd", true},
        {"ab??", "ab", false},
        {"ab??", "abcde", false},
        {"*.txt", "a.txt", true},
        {"*.txt", "a.txt.gz", false},
        {"*report*", "my-report-2024.doc", true},
        {"a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}, // back-tracking must stay fast
        {"*a*b*c", "xxaxxbxxcxxc", true},
        {"[c-ax]x", "bx", false}, // a reversed range adds nothing
        {"[c-ax]x", "xx", true},
        {"щ*", "щегол.txt", true},       // one multi-byte character is one literal
        {"?егол.txt", "щегол.txt", true}, // "?" takes a whole character
        {"??егол.txt", "щегол.txt", false},
        {"[а-я]*", "щука", true},        // sets hold code points
        {"[!а-я]*", "щука", false},
        {"*.TXT", "a.txt", true},        // ASCII letters compare upper-cased
        {"Щ*", "щ", false},              // non-ASCII letters compare exactly: callers lower-case both sides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " ~ " + c.name);
        EXPECT_EQ(NameFitsMask(c.name, c.mask), c.fits);
    }
}

TEST(MasksTest, InvalidMasksNameThePositionWhereTheScanStopped)
{
    std::string stars;
    for (int i = 0; i < 31; ++i)
        stars += "*x";
    std::string thirty;
    for (int i = 0; i < 30; ++i)
        thirty += "*x";
    struct Case { std::string mask; std::string message; };
    const Case cases[] = {
        {"[", "'[' is an invalid mask at (2)"},
        {"[]", "'[]' is an invalid mask at (2)"},
        {"[-a]", "'[-a]' is an invalid mask at (2)"},
        {"ab[cd", "'ab[cd' is an invalid mask at (6)"},
        {"[!]", "'[!]' is an invalid mask at (3)"},
        {"[ac-]x", "'[ac-]x' is an invalid mask at (7)"}, // "]" ends the range, so no "]" closes the set
        {stars, "'" + stars + "' is an invalid mask at (62)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        try {
            NameFitsMask("x", c.mask);
            ADD_FAILURE() << "no error";
        } catch (const EMaskException& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
    // Thirty skip states are allowed, and a trailing "*" does not count as one more.
    EXPECT_TRUE(NameFitsMask(std::string(30, 'x'), thirty));
    EXPECT_TRUE(NameFitsMask(std::string(30, 'x') + "tail", thirty + "*"));
}

TEST(MasksTest, NormalizeMaskCollapsesWildcardRuns)
{
    struct Case { const char* text; const char* normal; };
    const Case cases[] = {
        {"**.txt", "*.txt"}, {"*?*.txt", "*.txt"}, {"a?*", "a*"},       {"file.??", "file.??"},
        {"?*?", "*"},        {"a??", "a??"},       {"*", "*"},          {"", ""},
        {"a*?b", "a*b"},     {"??*x?", "*x?"},     {"[a-c]**", "[a-c]*"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeMask(c.text), c.normal) << c.text;
}

TEST(MasksTest, SplitMasksAtEverySeparator)
{
    using L = std::vector<std::string>;
    struct Case { const char* text; L masks; };
    const Case cases[] = {
        {"", L{"*.*"}},
        {"*.*", L{"*.*"}},
        {"*.doc; *.rtf", L{"*.doc", "*.rtf"}},
        {"*.doc,*.rtf", L{"*.doc", "*.rtf"}},
        {"*.doc *.rtf", L{"*.doc", "*.rtf"}},
        {"*.doc;*.rtf", L{"*.doc", "*.rtf"}},
        {"C:\\Docs\\*.txt", L{"c", "docs", "*.txt"}},
        {"a/b:c", L{"a", "b", "c"}},
        {" ;,/:\\ ", L{}},
        {"**.TXT;;*.txt", L{"*.txt", "*.txt"}}, // duplicates kept, lower-cased
        {"ОТЧЁТ*.DOC", L{"отчёт*.doc"}},        // the locale's lower-casing covers Cyrillic
        {"*.*;*.txt", L{"*.*", "*.txt"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitMasks(c.text), c.masks) << c.text;
}

// The compiled matcher agrees with a naive recursive one on many generated masks and names.
TEST(MasksTest, AgreesWithReferenceMatcher)
{
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    const char maskChars[] = "ab*?.";
    const char nameChars[] = "abAB.";
    for (int round = 0; round < 20000; ++round) {
        std::string raw, name;
        for (unsigned i = next() % 8; i > 0; --i)
            raw.push_back(maskChars[next() % 5]);
        // Compiled masks read "*?" as "*"; normalised masks never hold that pair.
        const std::string mask = NormalizeMask(raw);
        for (unsigned i = next() % 10; i > 0; --i)
            name.push_back(nameChars[next() % 5]);
        ASSERT_EQ(NameFitsMask(name, mask), ReferenceFits(mask, name)) << mask << " ~ " << name;
    }
}

// Names longer than any on a disk come from archive members (up to 64 KiB): the whole name is
// matched, around the size the matcher keeps for each thread, in one-byte and multi-byte letters.
TEST(MasksTest, NamesOfEveryLengthAreMatchedWhole)
{
    for (const std::size_t length : {1023u, 1024u, 1025u, 5000u, 65535u}) {
        for (const std::string& letter : {std::string("a"), std::string("\xC3\xA9")}) {
            std::string name;
            while (name.size() + letter.size() <= length)
                name += letter;
            SCOPED_TRACE(std::to_string(name.size()) + " bytes of " + letter);
            EXPECT_TRUE(NameFitsMask(name + ".txt", "*.txt"));
            EXPECT_FALSE(NameFitsMask(name + ".txt", "*.doc"));
            EXPECT_TRUE(NameFitsMask(letter + name.substr(letter.size()) + "Z", letter + "*z"));
            EXPECT_FALSE(NameFitsMask(name, "?" + std::string(name.size() / letter.size(), '?')));
            EXPECT_TRUE(NameFitsMask(name, std::string(name.size() / letter.size(), '?')));
        }
    }
}
