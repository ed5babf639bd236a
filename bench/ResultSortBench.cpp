// SPDX-License-Identifier: MIT
// The first sort by Type of 180,000 rows, with "Show icons" (the shell's type of every row) and
// without (the extension). Names come from the folders of this machine, so the mix of extensions
// and name patterns is a real one. Needs a Qt platform: run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <filesystem>
#include <string>
#include <vector>

#include "app/ResultModel.h"
#include "app/ShellTypes.h"
#include "search/FindFile.h"

using namespace trovex;

namespace
{

constexpr std::size_t RowCount = 180000;

const std::vector<TFindFileInfo>& Rows()
{
    static const std::vector<TFindFileInfo> rows = [] {
        std::vector<TFindFileInfo> out;
        std::error_code ec;
        for (const char* root : {"/usr/share", "/usr/lib", "/usr/include", "/etc"}) {
            for (auto it = std::filesystem::recursive_directory_iterator(root, std::filesystem::directory_options::skip_permission_denied, ec);
                 it != std::filesystem::recursive_directory_iterator() && out.size() < RowCount; it.increment(ec)) {
                if (ec)
                    break;
                TFindFileInfo info;
                info.Name = it->path().filename().string();
                info.FileName = it->path().string();
                info.FindData.Attributes = it->is_directory(ec) ? faDirectory : faArchive;
                out.push_back(std::move(info));
            }
        }
        // Fewer files here than rows wanted: the same names again under other folders.
        for (std::size_t i = 0, n = out.size(); out.size() < RowCount && n > 0; ++i) {
            TFindFileInfo info = out[i % n];
            info.FileName = "/copy" + std::to_string(i / n) + info.FileName;
            out.push_back(std::move(info));
        }
        return out;
    }();
    return rows;
}

void FirstTypeSort(benchmark::State& state, bool icons)
{
    const auto& rows = Rows();
    for (auto _ : state) {
        state.PauseTiming();
        TResultModel model;
        model.SetTypeSource(ShellTypeOfRow);
        for (const TFindFileInfo& info : rows)
            icons ? model.AppendShellTyped(info) : model.Append(info);
        model.Flush();
        state.ResumeTiming();
        model.SortBy(TResultModel::rcType, true);
        // What the window shows at once after the sort: the first screenful of Type cells.
        for (int row = 0; row < 40; ++row)
            benchmark::DoNotOptimize(model.data(model.index(row, TResultModel::rcType)));
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}

void BM_FirstTypeSortIconsOff(benchmark::State& state) { FirstTypeSort(state, false); }
void BM_FirstTypeSortIconsOn(benchmark::State& state) { FirstTypeSort(state, true); }
// One iteration each: the type lookups are kept for the life of the process, so only the first sort
// is the first. Run each alone (--benchmark_filter) for the cold figure.
BENCHMARK(BM_FirstTypeSortIconsOff)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FirstTypeSortIconsOn)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
