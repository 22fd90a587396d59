// How long the grid takes to fill with a run's results and to paint a
// screenful, at 100, 10,000 and 100,001 rows of 6 columns.

#include "grid/GridCtrl.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

namespace varnolt {

namespace {

// Fills the grid the way the run page does after a run.
void Fill(CGridCtrl& grid, int rows) {
  grid.RemoveAllCells();
  grid.SetRowTotal(rows);
  grid.SetColumnTotal(6);
  grid.SetHeaderRowTotal(1);
  grid.SetHeaderColumnTotal(1);
  const char* headers[] = {"Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "};
  for (int column = 0; column < 6; ++column) grid.PutCellText(0, column, QString::fromLatin1(headers[column]));
  grid.FitColumnsToClient(true);
  for (int column = 0; column < 6; ++column) grid.PutCellState(0, column, grid.CellStateAt(0, column) | CellStateReadOnly);
  for (int row = 1; row < rows; ++row) {
    const int values[] = {row, row % 57, row % 13, row % 23, row % 7, 100};
    for (int column = 0; column < 6; ++column) {
      grid.PutCellText(row, column, QString::number(values[column]));
      grid.PutCellState(row, column, grid.CellStateAt(row, column) | CellStateReadOnly);
    }
  }
}

CGridCtrl& SizedGrid() {
  static CGridCtrl* grid = [] {
    auto* made = new CGridCtrl;
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    made->setFont(font);
    made->resize(600, 400);
    return made;
  }();
  return *grid;
}

void BM_Fill(benchmark::State& state) {
  CGridCtrl& grid = SizedGrid();
  for (auto _ : state) Fill(grid, int(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0) * 6);
}

void BM_PaintScreenful(benchmark::State& state) {
  CGridCtrl& grid = SizedGrid();
  Fill(grid, int(state.range(0)));
  grid.OnVScroll(CGridCtrl::SB_THUMBPOSITION, grid.VerticalScrollLimit() / 2);
  QImage image(grid.ClientRect().size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    grid.OnDraw(painter);
  }
}

// Scrolling a line and painting the screen that results, from the top down.
void BM_ScrollLineAndPaint(benchmark::State& state) {
  CGridCtrl& grid = SizedGrid();
  Fill(grid, int(state.range(0)));
  grid.OnVScroll(CGridCtrl::SB_TOP);
  QImage image(grid.ClientRect().size(), QImage::Format_RGB32);
  for (auto _ : state) {
    if (grid.VerticalScrollPosition() >= grid.VerticalScrollLimit()) grid.OnVScroll(CGridCtrl::SB_TOP);
    grid.OnVScroll(CGridCtrl::SB_LINEDOWN);
    QPainter painter(&image);
    grid.OnDraw(painter);
  }
}

}  // namespace

BENCHMARK(BM_Fill)->Arg(100)->Arg(10000)->Arg(100001)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintScreenful)->Arg(100)->Arg(10000)->Arg(100001)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollLineAndPaint)->Arg(100)->Arg(10000)->Arg(100001)->Unit(benchmark::kMicrosecond);

}  // namespace varnolt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
