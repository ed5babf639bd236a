// SPDX-License-Identifier: MIT
// CPU per MB of PDF for the text layer and for the literal-string reader it falls back to, over
// every PDF below TROVEX_BENCH_PDFS (default: the committed corpus of real writers' files). The
// files are read into memory first, so only extraction is measured.
#include "readers/PdfParser.h"
#include "readers/PdfTextLayer.h"
#include "readers/uPDFtext.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
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


// The floor under any text layer: the structure read and every page's content streams inflated,
// nothing interpreted. What the text layer takes beyond this is its own work.
class TBytes final : public trovex::pdf::TPdfSource
{
public:
    explicit TBytes(std::string_view bytes) : FBytes(bytes) {}
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t count) const override
    {
        if (offset >= FBytes.size())
            return 0;
        const std::size_t n = std::min<std::size_t>(count, FBytes.size() - offset);
        std::memcpy(buffer, FBytes.data() + offset, n);
        return n;
    }
    std::uint64_t Size() const override { return FBytes.size(); }
    std::string_view Peek(std::uint64_t offset, std::size_t count) const override
    {
        return offset >= FBytes.size() ? std::string_view{} : FBytes.substr(offset, count);
    }

private:
    std::string_view FBytes;
};

std::size_t InflatePages(trovex::pdf::TPdfFile& file, const trovex::pdf::TObject& node, int depth)
{
    using trovex::pdf::TObject;
    const TObject n = file.Resolve(node);
    if (depth > 64 || n.IsNull())
        return 0;
    std::size_t bytes = 0;
    if (const TObject& kids = n.Get("Kids"); kids.Kind == TObject::Array) {
        for (std::size_t i = 0; i < kids.Size(); ++i)
            bytes += InflatePages(file, kids.At(i), depth + 1);
        return bytes;
    }
    const TObject contents = file.Resolve(n.Get("Contents"));
    if (contents.Kind == TObject::Array) {
        for (std::size_t i = 0; i < contents.Size(); ++i)
            bytes += file.StreamData(file.Resolve(contents.At(i)), std::size_t{1} << 28).size();
    } else if (!contents.IsNull()) {
        bytes += file.StreamData(contents, std::size_t{1} << 28).size();
    }
    return bytes;
}

void PageContentsOnly(benchmark::State& state)
{
    std::size_t text = 0;
    for (auto _ : state) {
        for (const std::string& d : Documents()) {
            try {
                TBytes source(d);
                trovex::pdf::TPdfFile file(source, nullptr);
                text += InflatePages(file, file.Resolve(file.Trailer().Get("Root")).Get("Pages"), 0);
            } catch (const std::exception&) {
            }
        }
    }
    benchmark::DoNotOptimize(text);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}

} // namespace

BENCHMARK(TextLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(LiteralStrings)->Unit(benchmark::kMillisecond);
BENCHMARK(PageContentsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
