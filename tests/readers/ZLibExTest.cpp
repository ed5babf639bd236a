// SPDX-License-Identifier: MIT
#include "readers/ZLibEx.h"

#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

namespace trovex
{
namespace
{

std::string Sample()
{
    std::string s;
    for (int i = 0; i < 5000; ++i)
        s += "line " + std::to_string(i * 7919 % 1000) + "\n";
    return s;
}

// The expected size decides where raw output ends; the wrong size must neither lose nor invent bytes.
TEST(ZLibExTest, RawOutputFollowsExpectedSize)
{
    const std::string text = Sample();
    const std::string packed = RawDeflate(text);
    struct Case { std::size_t expected; std::size_t maxOutput; std::string result; };
    const Case cases[] = {
        {text.size(), NoOutputLimit, text},
        {0, NoOutputLimit, text},                      // unknown: grows to the stream's end
        {100, NoOutputLimit, text.substr(0, 100)},     // smaller: exactly that many bytes
        {text.size() * 3, NoOutputLimit, text},        // larger: what the data holds
        {0xFFFFFFFFu, NoOutputLimit, text},            // a lying header costs no 4 GiB
        {0, 1000, text.substr(0, 1000)},               // the caller's bound
        {text.size(), 10, text.substr(0, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.expected) + "/" + std::to_string(c.maxOutput));
        EXPECT_EQ(DecompressRawBuffer(packed, c.expected, c.maxOutput), c.result);
    }
}

// A stream cut short keeps its prefix when the size is known and fails when it is not.
TEST(ZLibExTest, RawTruncatedAndDamagedData)
{
    const std::string text = Sample();
    const std::string packed = RawDeflate(text);
    const std::string cut = packed.substr(0, packed.size() / 2);
    const std::string partial = DecompressRawBuffer(cut, text.size());
    EXPECT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), text.size());
    EXPECT_EQ(partial, text.substr(0, partial.size()));
    EXPECT_EQ(DecompressRawBuffer(cut, 0), "");
    EXPECT_EQ(DecompressRawBuffer("", 10), "");
    EXPECT_EQ(DecompressRawBuffer("\xFF\xFF\xFF\xFF garbage", 100), "");
}

TEST(ZLibExTest, ZlibRoundTripWithAnyHint)
{
    const std::string text = Sample();
    const std::string packed = ZlibDeflate(text);
    for (std::size_t hint : {std::size_t{0}, std::size_t{1}, text.size(), text.size() * 10}) {
        bool truncated = true;
        EXPECT_EQ(DecompressZlibBuffer(packed, hint, NoOutputLimit, &truncated), text) << hint;
        EXPECT_FALSE(truncated);
    }
}

// Each failure carries zlib's own text for its result code and is caught as the base class too.
TEST(ZLibExTest, ZlibFailuresCarryZlibMessages)
{
    const std::string packed = ZlibDeflate("some text to pack, some text to pack");
    std::string badCheck = packed;
    badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
    struct Case { const char* what; std::string input; const char* message; };
    const Case cases[] = {
        {"not zlib", "plain words", "data error"},
        {"bad checksum", badCheck, "data error"},
        {"truncated", packed.substr(0, packed.size() - 6), "buffer error"},
        {"empty", "", "buffer error"},
        {"preset dictionary", ZlibDeflateWithDictionary("text text", "dictionary"), "need dictionary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            DecompressZlibBuffer(c.input);
            ADD_FAILURE() << "no exception";
        } catch (const EZLibError& e) {
            EXPECT_NE(dynamic_cast<const EZDecompressionError*>(&e), nullptr);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

// A bomb (64 MiB of zeros in about 64 KiB) stops at the bound with the truncation reported.
TEST(ZLibExTest, BombStopsAtBound)
{
    const std::string packed = ZlibDeflate(std::string(std::size_t{64} << 20, '\0'));
    ASSERT_LT(packed.size(), std::size_t{1} << 20);
    bool truncated = false;
    const std::string out = DecompressZlibBuffer(packed, 0, std::size_t{1} << 20, &truncated);
    EXPECT_TRUE(truncated);
    EXPECT_EQ(out, std::string(std::size_t{1} << 20, '\0'));
    EXPECT_EQ(DecompressRawBuffer(RawDeflate(std::string(std::size_t{8} << 20, 'a')), 0, 4096),
              std::string(4096, 'a'));
}

} // namespace
} // namespace trovex
