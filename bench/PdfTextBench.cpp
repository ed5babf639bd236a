// SPDX-License-Identifier: MIT
// CPU per MB of PDF for the text layer and for the literal-string reader it falls back to, over
// every PDF below TROVEX_BENCH_PDFS (default: the committed corpus of real writers' files). The
// files are read into memory first, so only extraction is measured.
#include "readers/PdfTextLayer.h"
#include "readers/uPDFtext.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const std::vector<std::string>& Documents()
{
    static const std::vector<std::string> documents = [] {
        const char* env = std::getenv("TROVEX_BENCH_PDFS");
        const fs::path root = env ? fs::path(env) : fs::path(__FILE__).parent_path().parent_path() / "tests/data/pdf";
        std::vector<std::string> all;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (entry.path().extension() != ".pdf" || !entry.is_regular_file())
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream bytes;
            bytes << in.rdbuf();
            all.push_back(bytes.str());
        }
        return all;
    }();
    return documents;
}

std::int64_t TotalBytes()
{
    std::int64_t total = 0;
    for (const std::string& d : Documents())
        total += static_cast<std::int64_t>(d.size());
    return total;
}

void TextLayer(benchmark::State& state)
{
    std::size_t text = 0;
    for (auto _ : state) {
        // Read as the content search reads it: a buffer at a time, the text never held whole.
        char buffer[64 * 1024];
        for (const std::string& d : Documents()) {
            trovex::TPdfTextStream stream(d);
            while (const std::size_t n = stream.Read(buffer, sizeof buffer))
                text += n;
        }
    }
    benchmark::DoNotOptimize(text);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
    state.counters["documents"] = static_cast<double>(Documents().size());
}

void LiteralStrings(benchmark::State& state)
{
    std::size_t text = 0;
    for (auto _ : state) {
        for (const std::string& d : Documents()) {
            try {
                text += trovex::TPDF2Text::FromBytes(d).Text().size();
            } catch (const trovex::EPdfError&) {
            }
        }
    }
    benchmark::DoNotOptimize(text);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}

} // namespace

BENCHMARK(TextLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(LiteralStrings)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
