// The Plot page's costs for runs of 771 and 100,001 cycles: the cycle analysis,
// decimating one line to 1,000 pixel columns, and a whole redraw of the chart
// (all four lines, decimated, painted into an 1100 x 600 image), set against a
// redraw with every point of every line to show what decimation saves.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <cmath>
#include <vector>

#include "plot/CyclePlot.h"
#include "results/CycleAnalysis.h"

namespace varnolt {

namespace {

std::vector<CycleResult> Run(int cycles) {
  std::vector<CycleResult> results;
  for (int c = 1; c <= cycles; ++c) {
    const double f = 30 + 10 * std::sin(c / 7.0) + (c * 7919 % 13);
    results.push_back({f, 0.4, 20, 79.6 - f, 100});
  }
  return results;
}

void BM_AnalyseCycles(benchmark::State& state) {
  const std::vector<CycleResult> results = Run(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(AnalyseCycles(results));
}
BENCHMARK(BM_AnalyseCycles)->Arg(771)->Arg(100001)->Unit(benchmark::kMillisecond);

void BM_DecimateOneLine(benchmark::State& state) {
  const std::vector<CycleResult> results = Run(int(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(DecimatedPoints(results, &CycleResult::female, 1, double(results.size()), 1000));
  }
}
BENCHMARK(BM_DecimateOneLine)->Arg(771)->Arg(100001)->Unit(benchmark::kMillisecond);

// One redraw; range(1) 0 draws the decimated lines, 1 every point.
void BM_Redraw(benchmark::State& state) {
  const std::vector<CycleResult> results = Run(int(state.range(0)));
  CyclePlotView view;
  view.resize(1100, 600);
  view.SetCycles(results);
  if (state.range(1) == 1) {
    for (std::size_t i = 0; i < view.Series().size(); ++i) {
      QList<QPointF> all;
      for (std::size_t c = 0; c < results.size(); ++c) {
        const CycleResult& row = results[c];
        const double values[] = {row.female, row.herm, row.male, row.aborted};
        all.append(QPointF(double(c + 1), values[i]));
      }
      view.Series()[i]->replace(all);
    }
  }
  QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state) {
    QPainter painter(&image);
    view.scene()->render(&painter);
  }
}
BENCHMARK(BM_Redraw)
    ->ArgNames({"cycles", "every_point"})
    ->Args({771, 0})
    ->Args({100001, 0})
    ->Args({100001, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace varnolt

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
