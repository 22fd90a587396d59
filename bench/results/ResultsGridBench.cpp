// How long the RUN MODEL page takes to rebuild its grid from a run's results
// (after every run and every time the page is shown): 101 rows (the start-up
// run), 771 rows (30 years of growth) and 100,001 rows.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <vector>

#include "grid/GridCtrl.h"
#include "results/ResultsGrid.h"

namespace varnolt {

namespace {

void BM_FillResultsGrid(benchmark::State& state) {
  const int cycles = int(state.range(0)) - 1;
  std::vector<CycleResult> results(cycles + 1);
  for (int c = 1; c <= cycles; ++c) results[c] = {c % 7 * 10.0, 0.0, c % 3 * 10.0, 33.3, 100.0};
  CGridCtrl grid;
  grid.resize(430, 240);
  grid.setFont(ResultsGridFont());
  for (auto _ : state) FillResultsGrid(grid, results);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FillResultsGrid)->Arg(101)->Arg(771)->Arg(100001)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace varnolt

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
