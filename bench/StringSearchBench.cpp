// SPDX-License-Identifier: MIT
// The content matcher alone over a warm 64 MiB buffer with no hit (every byte is looked at), against
// memchr over the same buffer and against the plain Horspool loop; one code page against all five.
// Run: build/bench/StringSearchBench --benchmark_min_time=1
#include "platform/CodePage.h"
#include "platform/Stream.h"
#include "search/ReferenceSearch.h"
#include "search/StringSearch.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace
{

using namespace trovex;

constexpr std::size_t BufferSize = 64u << 20;

// Prose-like text: words of one script separated by spaces, punctuation and line ends.
const std::string& Text(bool cyrillic)
{
    static std::string texts[2];
    std::string& text = texts[cyrillic ? 1 : 0];
    if (!text.empty())
        return text;
    const char* latin[] = {"the", "of", "and", "a", "to", "in", "is", "you", "that", "it", "he", "was", "for", "on",
                           "are", "as", "with", "his", "they", "I", "at", "be", "this", "have", "from", "or", "one",
                           "had", "by", "word", "but", "not", "what", "all", "were", "we", "when", "your", "can",
                           "said", "there", "use", "an", "each", "which", "she", "do", "how", "their", "if", "will",
                           "Baker", "Street", "London", "Watson", "case", "window", "door", "letter", "morning"};
    // Windows-1251 words: "и", "в", "не", "на", "что", "он", "как", "это", "был", "Москва", "дело"
    const char* russian[] = {"\xE8", "\xE2", "\xED\xE5", "\xED\xE0", "\xF7\xF2\xEE", "\xEE\xED", "\xEA\xE0\xEA",
                             "\xFD\xF2\xEE", "\xE1\xFB\xEB", "\xCC\xEE\xF1\xEA\xE2\xE0", "\xE4\xE5\xEB\xEE"};
    std::mt19937 rng(7);
    text.reserve(BufferSize + 64);
    while (text.size() < BufferSize) {
        text += cyrillic ? russian[rng() % std::size(russian)] : latin[rng() % std::size(latin)];
        const unsigned r = rng() % 16;
        text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
    }
    text.resize(BufferSize);
    return text;
}

void SetUp()
{
    static bool done = false;
    if (!done)
        InitCodePages(1251, 866);
    done = true;
}

// memchr for a byte the buffer does not hold: the memory-speed floor of any scan.
void BM_Memchr(benchmark::State& state)
{
    const std::string& text = Text(false);
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(text.data(), '\x01', text.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Only the reading the matcher does: 64 KiB copies into its one buffer.
void BM_ChunkReads(benchmark::State& state)
{
    TMemoryStream stream(Text(false));
    std::string buffer(TStringSearch::ChunkSize, '\0');
    for (auto _ : state) {
        stream.Seek(0);
        while (stream.Read(buffer.data(), buffer.size()) == buffer.size())
            benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BufferSize));
}

void BM_Search(benchmark::State& state, TCodePages pages, const char* pattern, bool caseSensitive,
               TScanMethod method, bool cyrillicText)
{
    SetUp();
    TMemoryStream stream(Text(cyrillicText));
    TStringSearch search(&stream);
    search.SetCaseSensitive(caseSensitive);
    search.SetCodePages(pages);
    search.SetPattern(pattern);
    search.SetScanMethod(method);
    for (auto _ : state)
        if (search.Search())
            state.SkipWithError("unexpected hit");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BufferSize));
}

// One chunk searched again and again, so it stays in the first-level caches: the passes' own speed,
// without the copying from memory that dominates the 64 MiB runs.
void BM_SearchCachedChunk(benchmark::State& state, TCodePages pages, const char* pattern, bool cyrillicText)
{
    SetUp();
    TMemoryStream stream(Text(cyrillicText).substr(0, TStringSearch::ChunkSize - 1));
    TStringSearch search(&stream);
    search.SetCodePages(pages);
    search.SetPattern(pattern);
    for (auto _ : state)
        if (search.Search())
            state.SkipWithError("unexpected hit");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (TStringSearch::ChunkSize - 1)));
}

// The plain Horspool loop, one pass per form, on the same bytes (no copying).
void BM_HorspoolLoop(benchmark::State& state, TCodePages pages, const char* pattern, bool caseSensitive)
{
    SetUp();
    const std::string& text = Text(false);
    const reference::TReferenceSearch search(pattern, caseSensitive, pages);
    for (auto _ : state)
        if (search.Search(text).Found)
            state.SkipWithError("unexpected hit");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BufferSize));
}

} // namespace

BENCHMARK(BM_Memchr);
BENCHMARK(BM_ChunkReads);
BENCHMARK_CAPTURE(BM_Search, windows_ascii_ci, cpWindows, "Holmes", false, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, windows_ascii_cs, cpWindows, "Holmes", true, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, windows_ascii_ci_sse2, cpWindows, "Holmes", false, smSse2, false);
BENCHMARK_CAPTURE(BM_Search, windows_ascii_ci_portable, cpWindows, "Holmes", false, smPortable, false);
BENCHMARK_CAPTURE(BM_Search, windows_rare_letters_ci, cpWindows, "qxzjv", false, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, windows_common_letters_ci, cpWindows, "the end", false, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, unicode_ascii_ci, cpUnicode, "Holmes", false, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, all_ascii_ci, cpAll, "Holmes", false, smAuto, false);
BENCHMARK_CAPTURE(BM_Search, all_ascii_ci_sse2, cpAll, "Holmes", false, smSse2, false);
BENCHMARK_CAPTURE(BM_Search, windows_cyrillic_ci, cpWindows, "Петербург", false, smAuto, true);
BENCHMARK_CAPTURE(BM_Search, all_cyrillic_ci, cpAll, "Петербург", false, smAuto, true);
BENCHMARK_CAPTURE(BM_SearchCachedChunk, windows_ascii_ci, cpWindows, "Holmes", false);
BENCHMARK_CAPTURE(BM_SearchCachedChunk, all_ascii_ci, cpAll, "Holmes", false);
BENCHMARK_CAPTURE(BM_SearchCachedChunk, windows_common_letters_ci, cpWindows, "the end", false);
BENCHMARK_CAPTURE(BM_SearchCachedChunk, windows_cyrillic_ci, cpWindows, "Петербург", true);
BENCHMARK_CAPTURE(BM_SearchCachedChunk, all_cyrillic_ci, cpAll, "Петербург", true);
BENCHMARK_CAPTURE(BM_HorspoolLoop, windows_ascii_ci, cpWindows, "Holmes", false);
BENCHMARK_CAPTURE(BM_HorspoolLoop, all_ascii_ci, cpAll, "Holmes", false);

BENCHMARK_MAIN();
