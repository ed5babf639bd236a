// SPDX-License-Identifier: MIT
#include "search/StringSearch.h"

#include "ReferenceSearch.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"
#include "support/Portable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>


namespace trovex
{
namespace
{

// "Привет", "ПРИВЕТ", "привет" and " мир" in the single-byte pages the tests run with.
const std::string WinHello = "\xCF\xF0\xE8\xE2\xE5\xF2";
const std::string OemHello = "\x8F\xE0\xA8\xA2\xA5\xE2";
const std::string KoiHelloUpper = "\xF0\xF2\xE9\xF7\xE5\xF4";
const std::string KoiHelloLower = "\xD0\xD2\xC9\xD7\xC5\xD4";
const std::string KoiWorld = "\x20\xCD\xC9\xD2";

std::string Utf16(const std::string& utf8)
{
    std::string bytes;
    for (char16_t u : Utf8ToUtf16(utf8)) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

// A file in the test's temporary folder, removed when the test ends.
class TTempFile
{
public:
    explicit TTempFile(const std::string& content)
    {
        static int counter = 0;
        FPath = std::filesystem::path(::testing::TempDir()) /
                ("trovex-search-" + std::to_string(trovex::test::ProcessId()) + "-" + std::to_string(++counter));
        std::ofstream(FPath, std::ios::binary) << content;
    }
    ~TTempFile() { std::filesystem::remove(FPath); }
    std::string Path() const { return FPath.string(); }

private:
    std::filesystem::path FPath;
};

// Counts reads of a real file stream.
class TCountingStream : public TStream
{
public:
    explicit TCountingStream(const std::string& path) : FFile(path) {}
    std::size_t Read(void* buffer, std::size_t count) override
    {
        ++Reads;
        return FFile.Read(buffer, count);
    }
    void Seek(std::uint64_t offset) override { FFile.Seek(offset); }
    int Reads = 0;

private:
    TFileStream FFile;
};

// Gives `good` bytes of its content, then fails as a vanished disk would.
class TFailingStream : public TStream
{
public:
    TFailingStream(std::string data, std::size_t good) : FData(std::move(data)), FGood(good) {}
    std::size_t Read(void* buffer, std::size_t count) override
    {
        if (FPosition + count > FGood)
            throw EReadError("device gone");
        std::memcpy(buffer, FData.data() + FPosition, count);
        FPosition += count;
        return count;
    }
    void Seek(std::uint64_t offset) override { FPosition = offset; }

private:
    std::string FData;
    std::size_t FGood;
    std::size_t FPosition = 0;
};

struct TOutcome
{
    bool Found;
    std::string Context;
};

TOutcome SearchFile(const std::string& content, const std::string& pattern, TCodePages pages, bool caseSensitive)
{
    TTempFile file(content);
    TFileStream stream(file.Path());
    TStringSearch search;
    search.SetCaseSensitive(caseSensitive);
    search.SetCodePages(pages);
    search.SetPattern(pattern);
    search.SetStream(&stream);
    const bool found = search.Search();
    EXPECT_EQ(search.NotFound(), !found);
    if (!found) {
        EXPECT_EQ(search.FoundText(), "");
    }
    return {found, search.FoundText()};
}

// The pages the byte strings above are written in, whatever the machine's locale.
class StringSearchTest : public ::testing::Test
{
protected:
    void SetUp() override { InitCodePages(1251, 866); }
};

// Each code page finds only its own encoding, folds case through the ANSI page (Cyrillic included),
// converts its context to UTF-8, and never makes a hit out of a character it cannot hold.
TEST_F(StringSearchTest, EncodingsCaseAndContextTable)
{
    struct Case
    {
        const char* what;
        std::string content;
        std::string pattern;
        TCodePages pages;
        bool caseSensitive;
        bool found;
        std::string context;
    };
    const Case cases[] = {
        {"OEM text with DOS", "\x01say " + OemHello + " now", "привет", cpDos, false, true, "say Привет now"},
        {"OEM text with Windows only", "\x01say " + OemHello + " now", "привет", cpWindows, false, false, ""},
        {"OEM text, every page but DOS", "\x01" + OemHello, "привет", cpAll & ~cpDos, false, false, ""},
        {"KOI8-R, other case", "\x01" + KoiHelloUpper + KoiWorld, "привет", cpKoi8r, false, true, "ПРИВЕТ мир"},
        {"KOI8-R, other case, case counts", "\x01" + KoiHelloUpper, "привет", cpKoi8r, true, false, ""},
        {"KOI8-R, same case, case counts", "\x01" + KoiHelloLower, "привет", cpKoi8r, true, true, "привет"},
        {"no box checked is Windows", "\x01" + WinHello, "ПРИВЕТ", 0, false, true, "Привет"},
        {"no box checked, OEM text", "\x01" + OemHello, "ПРИВЕТ", 0, false, false, ""},
        {"unknown bits only is Windows", "\x01" + WinHello, "привет", 0x100, false, true, "Привет"},
        {"Windows, mixed case", "\x01" + WinHello, "пРиВеТ", cpWindows, false, true, "Привет"},
        {"UTF-8 text", "\x01Сказал: ПРИВЕТ!", "привет", cpUtf8, false, true, "Сказал: ПРИВЕТ!"},
        {"UTF-8 text, case counts", "\x01Сказал: ПРИВЕТ!", "привет", cpUtf8, true, false, ""},
        // р is D1 80, Р is D0 A0: bytes mixed from both forms spell Ѐ (D0 80), another letter.
        {"UTF-8 case forms never mix", "\x01Ѐ", "р", cpUtf8, false, false, ""},
        {"UTF-8 upper form", "\x01Р", "р", cpUtf8, false, true, "Р"},
        // "ж" is D0 B6 in UTF-8, which Windows-1251 reads as "Р¶".
        {"ASCII: Windows pass comes first", "\x01needle ж", "needle", cpWindows | cpUtf8, false, true, "needle Р¶"},
        {"ASCII: UTF-8 pass alone", "\x01needle ж", "needle", cpUtf8, false, true, "needle ж"},
        {"ANSI page lacks Ω: no 8-bit pass", "\x01?mega", "Ωmega", cpWindows | cpDos | cpKoi8r, false, false, ""},
        {"ANSI page lacks Ω: UTF-8", "\x01ΩMEGA", "ωmega", cpUtf8, false, true, "ΩMEGA"},
        {"ANSI page lacks Ω: UTF-16", Utf16("\x01ωmega"), "Ωmega", cpUnicode, false, true, "ωmega"},
        {"OEM page lacks €: no '?' hit", "\x01?5", "€5", cpDos, false, false, ""},
        {"€ in Windows", "\x01\x88" "5", "€5", cpWindows, false, true, "€5"},
        {"dotless i is compared as typed", "\x01Ix", "ıx", cpUtf8, false, false, ""},
        {"dotless i, other letters folded", "\x01ıX", "ıx", cpUtf8, false, true, "ıX"},
        // Cyrillic in UTF-16 has no zero byte at all, unlike Latin letters: the chunk is still searched.
        {"UTF-16 Cyrillic, no zero byte", std::string("\x01\0", 2) + Utf16("ПРИВЕТ"), "привет", cpUnicode, false, true, "ПРИВЕТ"},
        {"UTF-16 Cyrillic and a digit", std::string("\x01\0", 2) + Utf16("ПРИВЕТ1"), "привет1", cpUnicode, false, true, "ПРИВЕТ1"},
        {"UTF-16 at an odd offset", "\x01" + Utf16("needle"), "needle", cpUnicode, false, false, ""},
        {"UTF-16 at an even offset", std::string("\x01\0", 2) + Utf16("needle"), "needle", cpUnicode, false, true, "needle"},
        {"a tab is text, NUL ends the context", "\x01" "abc\tneedle xyz" + std::string(1, '\0') + "rest", "NEEDLE",
         cpWindows, false, true, "abc\tneedle xyz"},
        {"tab and NUL, case counts", "\x01" "abc\tneedle xyz" + std::string(1, '\0') + "rest", "needle", cpWindows,
         true, true, "abc\tneedle xyz"},
        {"a control character ends the context", "\x01" "abc\x01needle\x02xyz", "needle", cpWindows, true, true, "needle"},
        {"CR and LF stay", "\x01line1\r\nneedle\r\nline3", "needle", cpWindows, true, true, "line1\r\nneedle\r\nline3"},
        {"a file that starts with the word", "needle here", "needle", cpWindows, false, true, "needle here"},
        {"one-byte hit at the first byte", "nx", "n", cpWindows, true, true, "nx"},
        {"pattern holding a tab", "\x01say a\tb!", "a\tb", cpWindows, true, true, "say a\tb!"},
        {"UTF-16 from the first unit", Utf16("needle here"), "needle", cpUnicode, false, true, "needle here"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TOutcome outcome = SearchFile(c.content, c.pattern, c.pages, c.caseSensitive);
        EXPECT_EQ(outcome.Found, c.found);
        EXPECT_EQ(outcome.Context, c.context);
    }
}

// On a desktop whose pages cannot write the text (English: 1252 and 850), each 8-bit pass converts
// the text on its own, in the page of the text's script, and its context is read in that page; a
// pass no page can run in is said. With the system's pages able to write it, nothing changes.
TEST_F(StringSearchTest, PassesUseThePagesOfTheTextsScript)
{
    InitCodePages(1252, 850);
    const std::string greekWin = "\xF9\xEC\xE5\xE3\xE1"; // ωμεγα in 1253
    const std::string greekDos = "\xE0\xA3\x9C\x9A\x98"; // ωμεγα in 737
    const std::string polishWin = "\xB3\xF3\x64\x9F";     // łódź in 1250
    struct Case { const char* what; std::string content; std::string pattern; TCodePages pages; bool found; std::string context; };
    const Case cases[] = {
        {"Cyrillic, Windows pass in 1251", "\x01say " + WinHello + "!", "ПРИВЕТ", cpWindows, true, "say Привет!"},
        {"Cyrillic, DOS pass in 866", "\x01say " + OemHello + "!", "привет", cpDos, true, "say Привет!"},
        {"Cyrillic, KOI8-R on its own", "\x01say " + KoiHelloUpper + "!", "привет", cpKoi8r, true, "say ПРИВЕТ!"},
        {"Cyrillic in 1251 is no DOS text", "\x01" + WinHello, "привет", cpDos | cpKoi8r, false, ""},
        {"Greek in 1253", "\x01" + greekWin, "ΩΜΕΓΑ", cpWindows, true, "ωμεγα"},
        {"Greek in 737", "\x01" + greekDos, "ωμεγα", cpDos, true, "ωμεγα"},
        {"Central European in 1250", "\x01" + polishWin, "ŁÓDŹ", cpWindows, true, "łódź"},
        {"Latin the system writes: as always", "\x01" "caf\xE9", "CAFÉ", cpWindows, true, "café"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TOutcome outcome = SearchFile(c.content, c.pattern, c.pages, false);
        EXPECT_EQ(outcome.Found, c.found);
        EXPECT_EQ(outcome.Context, c.context);
    }
    const std::pair<std::string, std::vector<std::string>> notes[] = {
        {"привет", {}},
        {"café", {}},
        {"привет ωμεγα", {"code page 1252 cannot write the text: the Windows pass was skipped",
                          "code page 850 cannot write the text: the DOS pass was skipped",
                          "code page 20866 cannot write the text: the KOI8-R pass was skipped"}},
        {"ωμεγα", {"code page 20866 cannot write the text: the KOI8-R pass was skipped"}},
    };
    for (const auto& [pattern, expected] : notes)
        EXPECT_EQ(SkippedPassNotes(pattern, cpAll), expected) << pattern;
    EXPECT_EQ(SkippedPassNotes("ωμεγα", cpWindows | cpUtf8), std::vector<std::string>{});
    InitCodePages(1251, 866);
    EXPECT_EQ(SkippedPassNotes("ωμεγα", cpWindows),
              std::vector<std::string>{});  // Greek has its own page, whatever the system's
    EXPECT_EQ(SkippedPassNotes("привет", cpAll), std::vector<std::string>{});
}

// The context reaches 55 positions either side of the hit's last unit, counted in bytes or in UTF-16
// units, and a UTF-8 context cut inside a character loses that character.
TEST_F(StringSearchTest, ContextLimitsTable)
{
    const std::string line = "\n" + std::string(60, 'a') + "needle" + std::string(60, 'b');
    const std::string expected = std::string(50, 'a') + "needle" + std::string(55, 'b');
    std::string zhe;
    for (int i = 0; i < 40; ++i)
        zhe += "ж";
    std::string zheExpected = "needle";
    for (int i = 0; i < 27; ++i) // bytes 7..61 after the hit at 1..6: byte 61 starts a 28th letter
        zheExpected += "ж";
    struct Case
    {
        const char* what;
        std::string content;
        TCodePages pages;
        std::string context;
    };
    const Case cases[] = {
        {"bytes", line, cpWindows, expected},
        {"UTF-16 units", Utf16(line), cpUnicode, expected},
        {"UTF-8 cut inside a letter", "\x01" "needle" + zhe, cpUtf8, zheExpected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SearchFile(c.content, "needle", c.pages, false).Context, c.context);
    }
}

// Chunks of 65,536 bytes are searched one by one: an occurrence across the boundary is lost, and a
// hit at the start of the second chunk has its whole text for context.
TEST_F(StringSearchTest, ChunkBoundaryTable)
{
    const std::string pattern = "needle1234";
    struct Case
    {
        std::size_t offset;
        TCodePages pages;
        bool found;
    };
    const Case cases[] = {
        {65526, cpWindows, true}, {65527, cpWindows, false}, {65530, cpWindows, false},
        {65535, cpWindows, false}, {65536, cpWindows, true}, {131062, cpWindows, true},
        {65516, cpUnicode, true}, {65518, cpUnicode, false}, {65536, cpUnicode, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + (c.pages == cpUnicode ? " UTF-16" : " bytes"));
        const std::string needle = c.pages == cpUnicode ? Utf16(pattern) : pattern;
        std::string content(c.offset, '\0');
        content += needle + std::string(100, '\0');
        const TOutcome outcome = SearchFile(content, pattern, c.pages, true);
        EXPECT_EQ(outcome.Found, c.found);
        if (c.found) {
            EXPECT_EQ(outcome.Context, pattern);
        }
    }
}

// A file of exactly one chunk takes a second, empty read; the hit must come from the first.
TEST_F(StringSearchTest, FileOfExactlyOneChunk)
{
    std::string content(65536, 'x');
    content.replace(65536 - 6, 6, "needle");
    for (const auto& [pattern, found, reads] : {std::tuple{"needle", true, 1}, std::tuple{"absent", false, 2}}) {
        SCOPED_TRACE(pattern);
        TTempFile file(content);
        TCountingStream stream(file.Path());
        TStringSearch search(&stream);
        search.SetPattern(pattern);
        EXPECT_EQ(search.Search(), found);
        EXPECT_EQ(stream.Reads, reads);
        if (found) {
            EXPECT_EQ(search.FoundText(), std::string(50, 'x') + "needle");
        }
    }
}

// Within a chunk the passes go Windows, DOS, KOI8-R, UTF-8, UTF-16; the first chunk with any hit wins.
TEST_F(StringSearchTest, PassOrderTable)
{
    const std::string later(70000, ' ');
    struct Case
    {
        const char* what;
        std::string content;
        std::string context;
    };
    const Case cases[] = {
        {"DOS hit before a Windows hit", "\n" + OemHello + "\x01" + "win " + WinHello, "win Привет"},
        {"UTF-16 in chunk 1, Windows in chunk 2", std::string("\x01\0", 2) + Utf16("wide привет") + std::string(2, '\0') + later + "\nnarrow " + WinHello,
         "wide привет"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(SearchFile(c.content, "привет", cpAll, false).Context, c.context);
    }
}

// Case mode and code pages given in any order take effect, and every search starts afresh.
TEST_F(StringSearchTest, SettingsAndRepeatedSearches)
{
    TMemoryStream stream("\x01" + WinHello + "\x02" + std::string(2, '\0') + Utf16("текст"));
    TStringSearch search(&stream);
    search.SetPattern("ПРИВЕТ");
    EXPECT_TRUE(search.Search());
    search.SetCaseSensitive(true);
    EXPECT_FALSE(search.Search());
    EXPECT_EQ(search.FoundText(), "");
    search.SetCaseSensitive(false);
    EXPECT_TRUE(search.Search());
    EXPECT_TRUE(search.Search()); // rewinds
    EXPECT_EQ(search.FoundText(), "Привет");
    search.SetPattern("ТЕКСТ");
    EXPECT_FALSE(search.Search());
    search.SetCodePages(cpUnicode); // after the pattern: still searched as UTF-16
    EXPECT_TRUE(search.Search());
    EXPECT_EQ(search.FoundText(), "текст");
}

// Stream errors reach the caller; no stream, no content or a pattern longer than a chunk find nothing.
TEST_F(StringSearchTest, FailuresAndDegenerateInput)
{
    TStringSearch search;
    search.SetPattern("x");
    EXPECT_THROW(search.Search(), std::logic_error);

    TFailingStream failing(std::string(200000, 'a'), 65536);
    search.SetStream(&failing);
    EXPECT_THROW(search.Search(), EReadError);
    EXPECT_TRUE(search.NotFound());

    TMemoryStream empty;
    search.SetStream(&empty);
    EXPECT_FALSE(search.Search());

    const std::string huge(70000, 'h');
    TMemoryStream holding(huge + huge);
    search.SetStream(&holding);
    search.SetPattern(huge);
    EXPECT_FALSE(search.Search());
    search.SetPattern("");
    EXPECT_FALSE(search.Search());
}

// The fast matcher, with every scan method, gives the same hit and context as the plain Horspool loop
// on generated buffers: random patterns in many scripts, both case modes, every code-page set, hits
// planted in every encoding at chunk edges, odd and even offsets, next to tabs, NULs and the first byte.
TEST_F(StringSearchTest, AgreesWithReferenceOnGeneratedBuffers)
{
    std::mt19937 rng(20240607);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const std::vector<std::string> letters = {"a", "B", "e", " ", "z", "Q", "0", "п", "Р", "ё", "Ж", "я", "ж",
                                              "€", "Ω", "ω", "ß", "µ", "ı", "K", "ǅ", "\t", "?", "𐐀", "𐐨", "İ"};
    const std::vector<std::string> noise = {std::string(1, '\0'), "\t", "\r\n", " ", "a", "A", "\xD0", "\xD1", "\x80", "\xA0",
                                            "\xE0", "\xC0", "\xFF", "\x04", "?"};
    const TScanMethod methods[] = {smPortable, smSse2, smAvx2, smAuto};
    constexpr int rounds = 3000;
    int hits = 0;
    for (int round = 0; round < rounds; ++round) {
        std::string pattern;
        const std::size_t length = 1 + pick(round % 10 == 0 ? 12 : 4);
        for (std::size_t i = 0; i < length; ++i)
            pattern += letters[pick(letters.size())];
        const bool caseSensitive = pick(2) == 0;
        const TCodePages pages = static_cast<TCodePages>(pick(32));

        // The pattern in a random encoding and case, sometimes with one byte changed.
        auto encoded = [&](bool nearMiss) {
            std::string text = pick(2) ? Utf8Upper(pattern) : Utf8Lower(pattern);
            if (pick(3) == 0)
                text = pattern;
            std::string bytes;
            switch (pick(5)) {
            case 0: bytes = Utf8ToAnsi(text); break;
            case 1: bytes = AnsiToOemStr(Utf8ToAnsi(text)); break;
            case 2: bytes = AnsiToKoi8Str(Utf8ToAnsi(text)); break;
            case 3: bytes = text; break;
            default: bytes = Utf16(text); break;
            }
            if (!bytes.empty() && nearMiss)
                bytes[pick(bytes.size())] ^= static_cast<char>(1 << pick(8));
            return bytes;
        };
        // Noise or a run of near misses (which the candidate filter lets through), then copies of the
        // pattern in random places.
        const bool nearMisses = round % 4 == 1;
        const std::size_t size = round % 50 == 0 ? 65536 * (1 + pick(2)) + pick(3) - 1 : pick(nearMisses ? 3000 : 400);
        std::string content;
        while (content.size() < size)
            content += nearMisses && pick(4) != 0 ? encoded(true) : noise[pick(noise.size())];
        content.resize(size);
        for (int copies = static_cast<int>(pick(4)); copies > 0; --copies) {
            const std::string bytes = encoded(pick(3) == 0);
            std::size_t at = pick(content.size() + 1);
            if (size >= 65536 && pick(2))
                at = 65536 - 8 + pick(12);
            if (pick(8) == 0)
                at = 0;
            content.insert(std::min(at, content.size()), bytes);
        }

        const reference::TResult expected = reference::TReferenceSearch(pattern, caseSensitive, pages).Search(content);
        hits += expected.Found ? 1 : 0;
        TMemoryStream stream(content);
        TStringSearch search(&stream);
        search.SetCaseSensitive(caseSensitive);
        search.SetCodePages(pages);
        search.SetPattern(pattern);
        for (TScanMethod method : methods) {
            search.SetScanMethod(method);
            SCOPED_TRACE("round " + std::to_string(round) + " method " + std::to_string(method) + " pattern '" +
                         pattern + "' pages " + std::to_string(pages) + (caseSensitive ? " cs" : " ci"));
            ASSERT_EQ(search.Search(), expected.Found);
            ASSERT_EQ(search.FoundText(), expected.Context);
        }
    }
    // Agreement on "nothing found" alone would prove little.
    EXPECT_GT(hits, rounds / 5);
    EXPECT_LT(hits, rounds * 4 / 5);
}

// A run of near misses makes the filter switch to a stricter test part-way through a chunk; a hit
// planted at every offset of such a run, in bytes and in UTF-16, must still be the one reported.
TEST_F(StringSearchTest, HitAfterManyNearMissesAtEveryOffset)
{
    const std::string pattern = "Needle";
    std::string misses;
    for (int i = 0; misses.size() < 1500; ++i) {
        std::string miss = i % 2 ? "needle" : "NEEDLE";
        miss[i % miss.size()] = '#';
        misses += miss + (i % 3 ? " " : "");
    }
    for (const bool wide : {false, true}) {
        const std::string background = wide ? Utf16(misses) : misses;
        const std::string needle = wide ? Utf16("nEEdle") : "nEEdle";
        const TCodePages pages = wide ? cpUnicode : cpWindows;
        const reference::TReferenceSearch reference(pattern, false, pages);
        for (std::size_t at = 0; at <= background.size(); at += wide ? 2 : 1) {
            std::string content = background;
            content.insert(at, needle);
            const reference::TResult expected = reference.Search(content);
            ASSERT_TRUE(expected.Found);
            TMemoryStream stream(content);
            TStringSearch search(&stream);
            search.SetCodePages(pages);
            search.SetPattern(pattern);
            for (TScanMethod method : {smPortable, smSse2, smAvx2}) {
                SCOPED_TRACE("offset " + std::to_string(at) + " method " + std::to_string(method));
                search.SetScanMethod(method);
                ASSERT_TRUE(search.Search());
                ASSERT_EQ(search.FoundText(), expected.Context);
            }
        }
    }
}

} // namespace
} // namespace trovex
