// SPDX-License-Identifier: MIT
#include "platform/CodePage.h"

#include <cstdio>

#include <gtest/gtest.h>

using namespace trovex;

namespace
{

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

class CodePageTest : public ::testing::Test
{
protected:
    void SetUp() override { InitCodePages(1251, 866); }
};

} // namespace

// The locale decides the pages as Windows would, unless the environment says otherwise.
TEST(CodePageChoiceTest, LocaleLanguagePicksAnsiAndOemPages)
{
    struct Case { const char* locale; int ansi; int oem; };
    const Case cases[] = {
        {"ru_RU.UTF-8", 1251, 866}, {"uk_UA.UTF-8", 1251, 866}, {"pl_PL.UTF-8", 1250, 852},
        {"el_GR.UTF-8", 1253, 737}, {"tr_TR.UTF-8", 1254, 857}, {"he_IL.UTF-8", 1255, 862},
        {"ar_EG.UTF-8", 1256, 720}, {"lt_LT.UTF-8", 1257, 775}, {"vi_VN.UTF-8", 1258, 1258},
        {"th_TH.UTF-8", 874, 874},  {"de_DE.UTF-8", 1252, 850}, {"en_US.UTF-8", 1252, 437},
        {"en_GB.UTF-8", 1252, 850}, {"C", 1252, 850},           {"C.UTF-8", 1252, 850},
    };
    for (const Case& c : cases) {
        int ansi = AnsiCodePageForLocale(c.locale);
        EXPECT_EQ(ansi, c.ansi) << c.locale;
        EXPECT_EQ(OemCodePageForAnsi(ansi, c.locale), c.oem) << c.locale;
    }
}

// Pins the bytes where ICU's tables differ from the Windows ones.
TEST(CodePageChoiceTest, TablesKeepControlBytesAndWindowsQuirks)
{
    for (int page : {437, 850, 866, 1251, 1252, 20866}) {
        const TCodePageTable& t = CodePageTable(page);
        for (int b : {0x00, 0x09, 0x0A, 0x1A, 0x1C, 0x1F, 0x7F})
            EXPECT_EQ(t.ToUnicode(static_cast<unsigned char>(b)), b) << page << " byte " << b;
        EXPECT_EQ(t.FromUnicode(0x1A), 0x1A) << page;
    }
    EXPECT_EQ(CodePageTable(437).ToUnicode(0xE6), 0x00B5);
    EXPECT_EQ(CodePageTable(1251).ToUnicode(0xC0), 0x0410); // А
    EXPECT_EQ(CodePageTable(866).ToUnicode(0x80), 0x0410);
    EXPECT_EQ(CodePageTable(20866).ToUnicode(0xE1), 0x0410);
    EXPECT_EQ(CodePageTable(1251).ToUnicode(0x98), 0x0098); // unassigned: Windows passes it through as C1
    EXPECT_EQ(CodePageTable(1252).FromUnicode(0x0410), -1);
    EXPECT_THROW(CodePageTable(65001), std::invalid_argument); // not single-byte
    EXPECT_THROW(CodePageTable(12345), std::invalid_argument);
}

TEST_F(CodePageTest, Koi8ConversionsUseTheFixedLetterTables)
{
    const std::string privet = Bytes({0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2}); // Привет in 1251
    const std::string koi = AnsiToKoi8Str(privet);
    EXPECT_EQ(koi, Bytes({0xF0, 0xD2, 0xC9, 0xD7, 0xC5, 0xD4}));
    EXPECT_EQ(Koi8ToAnsiStr(koi), privet);
    EXPECT_EQ(AnsiToKoi8Str(Bytes({168, 184})), Bytes({179, 163})); // Ё ё
    EXPECT_EQ(Koi8ToAnsiStr(Bytes({179, 163})), Bytes({168, 184}));
    std::string below;
    for (int b = 0; b < 192; ++b)
        if (b != 168 && b != 184 && b != 179 && b != 163)
            below.push_back(static_cast<char>(b));
    EXPECT_EQ(AnsiToKoi8Str(below), below);
    EXPECT_EQ(Koi8ToAnsiStr(below), below);
    // Every Russian letter survives the round trip, both ways.
    std::string letters;
    for (int b = 192; b < 256; ++b)
        letters.push_back(static_cast<char>(b));
    EXPECT_EQ(Koi8ToAnsiStr(AnsiToKoi8Str(letters)), letters);
    EXPECT_EQ(AnsiToKoi8Str(Koi8ToAnsiStr(letters)), letters);
    // The KOI8-R table agrees with ICU's KOI8-R letter for letter.
    for (int b = 192; b < 256; ++b) {
        auto k = static_cast<unsigned char>(AnsiToKoi8Str(std::string(1, static_cast<char>(b)))[0]);
        EXPECT_EQ(Koi8Table().ToUnicode(k), AnsiTable().ToUnicode(static_cast<unsigned char>(b))) << b;
    }
}

TEST_F(CodePageTest, CaseMappingsAndOemFormsKeepTheLength)
{
    const std::string word = Bytes({0xD9, 0xE5, 0xE3, 0xEB, 0xEE, 'Z', 'a', '1', 0xB8}); // Щеглоza1ё
    const std::string upper = AnsiUpperStr(word);
    const std::string lower = AnsiLowerStr(word);
    EXPECT_EQ(upper, Bytes({0xD9, 0xC5, 0xC3, 0xCB, 0xCE, 'Z', 'A', '1', 0xA8}));
    EXPECT_EQ(lower, Bytes({0xF9, 0xE5, 0xE3, 0xEB, 0xEE, 'z', 'a', '1', 0xB8}));
    for (const std::string& s : {word, upper, lower}) {
        EXPECT_EQ(AnsiToOemStr(s).size(), s.size());
        EXPECT_EQ(OemToAnsiStr(AnsiToOemStr(s)), s);
    }
    EXPECT_EQ(AnsiToOemStr(Bytes({0xC0})), Bytes({0x80})); // А
    EXPECT_EQ(AnsiToOemStr(Bytes({0x88})), "?");           // € has no place in 866
    EXPECT_EQ(AnsiToWide(Bytes({0xC0, 'b'})), (std::u16string{0x0410, u'b'}));
    EXPECT_EQ(WideToAnsi(std::u16string{0x0410, 0x4E2D, u'b'}), Bytes({0xC0, '?', 'b'}));
}

// A mapping that would leave ASCII for a non-ASCII letter is not used (850's dotless i).
TEST(CodePageChoiceTest, CaseMappingNeverLeavesNonAsciiForAscii)
{
    const TCodePageTable& t = CodePageTable(850);
    const int dotless = t.FromUnicode(0x0131);
    ASSERT_GE(dotless, 0x80);
    EXPECT_EQ(t.Upper(static_cast<unsigned char>(dotless)), dotless);
    EXPECT_EQ(t.Upper('i'), 'I');
    const TCodePageTable& w = CodePageTable(1252);
    EXPECT_EQ(w.Upper(0xE9), 0xC9); // é -> É
    EXPECT_EQ(w.Lower(0xC9), 0xE9);
    EXPECT_EQ(w.Upper(0xFF), 0x9F); // ÿ -> Ÿ, which 1252 has
}

TEST_F(CodePageTest, Utf8BridgesAndHelpers)
{
    bool lossless = false;
    EXPECT_EQ(Utf8ToAnsi("Щегол", &lossless), Bytes({0xD9, 0xE5, 0xE3, 0xEE, 0xEB}));
    EXPECT_TRUE(lossless);
    EXPECT_EQ(Utf8ToAnsi("a中b", &lossless), "a?b");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(AnsiToUtf8(Bytes({0xD9, 'x'})), "Щx");
    EXPECT_EQ(OemToUtf8(Bytes({0x80, 0xF0})), "АЁ");
    EXPECT_EQ(Utf16ToUtf8(u"Щ\xD800x"), "Щ\xEF\xBF\xBDx");
    EXPECT_EQ(Utf8ToUtf16("a😀"), (std::u16string{u'a', 0xD83D, 0xDE00}));

    struct Case { std::string text; std::string lower; std::string upper; };
    const Case cases[] = {
        {"ABC.Txt", "abc.txt", "ABC.TXT"},
        {"ЩЕГОЛ ё", "щегол ё", "ЩЕГОЛ Ё"},
        {"Straße", "straße", "STRAßE"}, // simple mappings only: ß stays one character
        {"a\xFF\xC3" "b", "a\xFF\xC3" "b", "A\xFF\xC3" "B"}, // invalid bytes stay as they are
        {"İ", "i", "İ"}, // the simple lower case of U+0130 is a plain i
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8Lower(c.text), c.lower) << c.text;
        EXPECT_EQ(Utf8Upper(c.text), c.upper) << c.text;
    }

    // Pieces joined at random: case is mapped character by character, so a joined string maps to
    // its mapped pieces joined (unless a piece's invalid bytes meet the next piece), and mapping
    // twice changes nothing (archive members are looked up by a name lowered once).
    const std::string pieces[] = {"A", "z", "Q.TXT", "Ё", "щ", "ΣΑΣ", "İ", "ǅ", "中", "😀", "ǈ", "/", "Ⅻ", "Ａ"};
    const std::string bad[] = {"\xFF", "\xC3", "\x80", "\xE0\x80", "\xED\xA0\x80"};
    std::uint32_t seed = 7;
    auto next = [&seed](std::uint32_t n) { seed = seed * 1664525u + 1013904223u; return (seed >> 8) % n; };
    for (int round = 0; round < 2000; ++round) {
        std::string joined, lowered, uppered;
        for (std::uint32_t k = next(12); k > 0; --k) {
            const std::string& piece = pieces[next(std::size(pieces))];
            joined += piece;
            lowered += Utf8Lower(piece);
            uppered += Utf8Upper(piece);
        }
        EXPECT_EQ(Utf8Lower(joined), lowered) << joined;
        EXPECT_EQ(Utf8Upper(joined), uppered) << joined;
        joined.insert(next(static_cast<std::uint32_t>(joined.size()) + 1), bad[next(std::size(bad))]);
        const std::string once = Utf8Lower(joined);
        EXPECT_EQ(Utf8Lower(once), once) << joined;
    }

    const std::string mixed = "aЩ中😀\xFF";
    std::vector<std::size_t> lengths;
    for (std::size_t i = 0; i < mixed.size(); i += Utf8CharLen(mixed, i))
        lengths.push_back(Utf8CharLen(mixed, i));
    EXPECT_EQ(lengths, (std::vector<std::size_t>{1, 2, 3, 4, 1}));
    EXPECT_EQ(Utf8CharLen("\xC0\x80", 0), 1u);    // overlong
    EXPECT_EQ(Utf8CharLen("\xED\xA0\x80", 0), 1u); // surrogate
    EXPECT_EQ(Utf8TrimPartial(std::string("\x97") + "ab" + "\xD0"), "ab");
    EXPECT_EQ(Utf8TrimPartial("Щx中"), "Щx中");
    EXPECT_EQ(Utf8TrimPartial(std::string("Щx中").substr(1, 4)), "x");
}

// Every table whole, bytes to Unicode and both case maps, for the pages the options can name: the
// Linux build (ICU with its corrections) and the Windows build (the system's own tables) must agree
// byte for byte. A mismatch prints the table.
TEST(CodePageChoiceTest, WholeTablesArePinned)
{
    struct Case { int page; std::uint64_t hash; };
    const Case cases[] = {
        {437, 0xab70a2c0d596bdedULL}, {737, 0x4ff9fb87fd2505edULL}, {775, 0x48c5de24d6ff7a41ULL},
        {850, 0x4bf1e8d92392df81ULL}, {852, 0x0d679ffbec8dd93eULL}, {855, 0xb1b16e9ab041e194ULL},
        {857, 0x6e410a30d18ae564ULL}, {860, 0xc4c7926ec7ae6796ULL}, {861, 0x62945c8c58c7dbbcULL},
        {862, 0xcf999b30fcc3f4e6ULL}, {863, 0x1cbfcb968bb9e63eULL}, {865, 0x1fc93722b7c37f59ULL},
        {866, 0xd1f5091c9e92e6a9ULL}, {869, 0xcfbfdca455f1b389ULL}, {874, 0xd0bedc9c17d38181ULL},
        {1250, 0x5b29daa64f6f8afcULL}, {1251, 0xef89642301d61575ULL}, {1252, 0x41eb46b9fd38f630ULL},
        {1253, 0xdd849777b05e2de3ULL}, {1254, 0xe092ebfff3dd82b2ULL}, {1255, 0xe4121935082b69dbULL},
        {1256, 0x42555de31741f784ULL}, {1257, 0x212933dc13a35995ULL}, {1258, 0x51a6d4e02c0781b2ULL},
        {20866, 0xc5db709d21ac6daaULL},
    };
    for (const Case& c : cases) {
        const TCodePageTable& t = CodePageTable(c.page);
        std::uint64_t h = 0xcbf29ce484222325ULL; // FNV-1a
        std::string dump;
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            const char16_t u = t.ToUnicode(byte);
            for (unsigned v : {u & 0xFFu, unsigned(u) >> 8, unsigned(t.Upper(byte)), unsigned(t.Lower(byte))}) {
                h ^= v;
                h *= 0x100000001b3ULL;
            }
            char line[32];
            std::snprintf(line, sizeof line, "%02X %04X %02X %02X\n", b, unsigned(u), t.Upper(byte), t.Lower(byte));
            dump += line;
        }
        EXPECT_EQ(h, c.hash) << "code page " << c.page << ":\n" << dump;
    }
}
