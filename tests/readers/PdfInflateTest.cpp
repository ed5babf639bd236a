// SPDX-License-Identifier: MIT
// The two ways a PDF stream is inflated must give the same bytes: the whole-stream inflater (where
// the build has one) and zlib alone, over every Flate stream of the writers' corpus and over damaged
// copies of them (cut short, bits flipped, a wrong checksum, garbage after the end), and at limits
// smaller than the stream.
#include "readers/PdfParser.h"

#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

// The raw data of every stream in the corpus whose data starts as a zlib stream does.
std::vector<std::string> CorpusStreams()
{
    std::vector<std::string> streams;
    const fs::path folder = fs::path(__FILE__).parent_path().parent_path() / "data" / "pdf";
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".pdf")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string file = bytes.str();
        for (std::size_t p = file.find("stream"); p != std::string::npos; p = file.find("stream", p + 6)) {
            std::size_t start = p + 6;
            if (start < file.size() && file[start] == '\r')
                ++start;
            if (start >= file.size() || file[start] != '\n')
                continue;
            ++start;
            const std::size_t end = file.find("endstream", start);
            if (end == std::string::npos)
                break;
            if (end - start >= 2 && static_cast<unsigned char>(file[start]) == 0x78)
                streams.push_back(file.substr(start, end - start));
        }
    }
    return streams;
}

struct TResult
{
    std::string Bytes;
    bool Cut = false;
};

TResult InflateBy(std::string_view in, std::size_t limit, bool zlibOnly)
{
    TResult r;
    r.Bytes = pdf::Inflate(in, limit, r.Cut, zlibOnly);
    return r;
}

void ExpectSame(std::string_view in, std::size_t limit, const std::string& what)
{
    const TResult fast = InflateBy(in, limit, false);
    const TResult zlib = InflateBy(in, limit, true);
    ASSERT_EQ(fast.Bytes.size(), zlib.Bytes.size()) << what;
    EXPECT_TRUE(fast.Bytes == zlib.Bytes) << what;
    EXPECT_EQ(fast.Cut, zlib.Cut) << what;
}

TEST(PdfInflateTest, CorpusStreamsAndDamagedCopiesInflateTheSameBothWays)
{
    const std::vector<std::string> streams = CorpusStreams();
    ASSERT_GT(streams.size(), 100u); // the corpus's writers compress nearly everything
    std::mt19937 random(20261207);
    std::size_t inflated = 0;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        const std::string& s = streams[i];
        const std::string name = "stream " + std::to_string(i);
        ExpectSame(s, std::size_t{128} << 20, name);
        bool cut = false;
        inflated += pdf::Inflate(s, std::size_t{128} << 20, cut, true).empty() ? 0 : 1;
        // Damage: each kind at a place of its own in every stream.
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, s.size() - 1)(random);
        std::string flipped = s;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (at % 8)));
        std::string checksum = s;
        checksum.back() = static_cast<char>(checksum.back() ^ 0x5A);
        const struct
        {
            const char* Kind;
            std::string Data;
        } damaged[] = {
            {"cut short", s.substr(0, at)},
            {"a bit flipped", flipped},
            {"a wrong checksum", checksum},
            {"garbage after the end", s + "garbage after the stream's end"},
            {"no zlib header", s.substr(2)},
        };
        for (const auto& d : damaged)
            ExpectSame(d.Data, std::size_t{128} << 20, name + ", " + d.Kind);
    }
    EXPECT_GT(inflated, streams.size() * 9 / 10); // the comparison is of real output, not of nothing
}

TEST(PdfInflateTest, LimitsCutTheSameBothWays)
{
    std::string text;
    for (int i = 0; text.size() < 300000; ++i)
        text += "line " + std::to_string(i * 7919 % 100003) + " of a page drawn in words\n";
    const std::string stream = ZlibDeflate(text, 6);
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, std::size_t{65536},
                                    std::size_t{262144}, text.size() - 1, text.size(), text.size() + 1}) {
        const TResult fast = InflateBy(stream, limit, false);
        ExpectSame(stream, limit, "limit " + std::to_string(limit));
        EXPECT_EQ(fast.Bytes, text.substr(0, limit)) << limit;
        EXPECT_EQ(fast.Cut, limit < text.size()) << limit;
    }
    // Highly compressible: more than the first guesses of room, still whole.
    const std::string zeros(std::size_t{40} << 20, '0');
    const TResult fast = InflateBy(ZlibDeflate(zeros, 9), std::size_t{128} << 20, false);
    EXPECT_EQ(fast.Bytes.size(), zeros.size());
    EXPECT_FALSE(fast.Cut);
}

} // namespace
} // namespace trovex
