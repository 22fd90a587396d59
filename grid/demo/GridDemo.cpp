// A window holding one grid of 100 rows and 6 columns with a fixed header row
// and column.
//
//   varnolt-grid-demo                   filled the way the run page fills its
//                                       results: read-only, no selection
//   varnolt-grid-demo --editable        every feature of the control switched on:
//                                       selection, in-place editing, the clipboard,
//                                       drag and drop, sorting by a header click;
//                                       the data cell at row r, column c holds "R<r>C<c>"
//   varnolt-grid-demo --screenshot F    shows it, saves a picture of it as shown on screen to F, quits

#include "grid/GridCtrl.h"

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace varnolt {

namespace {

void FillLikeResults(CGridCtrl& grid) {
  const char* headers[] = {"Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "};
  for (int column = 0; column < 6; ++column) grid.PutCellText(0, column, QString::fromLatin1(headers[column]));
  grid.FitColumnsToClient(true);
  for (int row = 1; row < 100; ++row) {
    const int female = (row * 37) % 61, herm = (row * 13) % 11, male = (row * 29) % (100 - female - herm + 1);
    const int aborted = 100 - female - herm - male;
    const int values[] = {row, female, herm, male, aborted, 100};
    for (int column = 0; column < 6; ++column) grid.PutCellText(row, column, QString::number(values[column]));
  }
  for (int row = 0; row < 100; ++row)
    for (int column = 0; column < 6; ++column)
      grid.PutCellState(row, column, grid.CellStateAt(row, column) | CellStateReadOnly);
  grid.AllowSelection(false);
  grid.MoveFocusTo(5, 2);
}

void FillEditable(CGridCtrl& grid) {
  grid.PutCellText(0, 0, QString());
  for (int column = 1; column < 6; ++column) grid.PutCellText(0, column, QStringLiteral("Column %1").arg(column));
  for (int row = 1; row < 100; ++row) {
    grid.PutCellText(row, 0, QStringLiteral("Row %1").arg(row));
    for (int column = 1; column < 6; ++column) grid.PutCellText(row, column, QStringLiteral("R%1C%2").arg(row).arg(column));
  }
  // One long text shows the title tip when the mouse rests on it.
  grid.PutCellText(3, 2, QStringLiteral("A text too long for its cell: rest the mouse on it"));
  grid.FitColumnsToClient(true);
  grid.AllowSelection(true);
  grid.SetEditable(true);
  grid.EnableDragAndDrop(true);
  grid.SetSortOnHeaderClick(true);
  grid.SetModified(false);
}

// The standard edit commands, routed to the grid with their enable checks.
void AddEditMenu(QWidget& window, QVBoxLayout& layout, CGridCtrl& grid) {
  auto* bar = new QMenuBar(&window);
  QMenu* menu = bar->addMenu(QStringLiteral("&Edit"));
  QAction* cut = menu->addAction(QStringLiteral("Cu&t"), &grid, &CGridCtrl::HandleCutCommand);
  QAction* copy = menu->addAction(QStringLiteral("&Copy"), &grid, &CGridCtrl::HandleCopyCommand);
  QAction* paste = menu->addAction(QStringLiteral("&Paste"), &grid, &CGridCtrl::HandlePasteCommand);
  menu->addSeparator();
  QAction* all = menu->addAction(QStringLiteral("Select &All"), &grid, &CGridCtrl::HandleSelectAllCommand);
  QObject::connect(menu, &QMenu::aboutToShow, &grid, [=, &grid] {
    cut->setEnabled(grid.CanCut());
    copy->setEnabled(grid.CanCopy());
    paste->setEnabled(grid.CanPaste());
    all->setEnabled(grid.CanSelectAll());
  });
  layout.setMenuBar(bar);
}

}  // namespace

}  // namespace varnolt

int main(int argc, char** argv) {
  using namespace varnolt;
  QApplication app(argc, argv);
  QString screenshot;
  bool editable = false;
  const QStringList arguments = app.arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
      screenshot = arguments[++i];
    } else if (arguments[i] == QLatin1String("--editable")) {
      editable = true;
    } else {
      std::fprintf(stderr,
                   "varnolt-grid-demo: unknown argument \"%s\".\n"
                   "Use: varnolt-grid-demo [--editable] [--screenshot FILE]\n",
                   qPrintable(arguments[i]));
      return 2;
    }
  }

  QWidget window;
  window.setWindowTitle(editable ? QStringLiteral("Grid control (editable)") : QStringLiteral("Grid control"));
  auto* layout = new QVBoxLayout(&window);
  auto* grid = new CGridCtrl(0, 0, 0, 0, &window);
  layout->addWidget(grid);
  if (editable) AddEditMenu(window, *layout, *grid);
  window.resize(560, 420);
  window.move(40, 40);

  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  grid->setFont(font);
  grid->RemoveAllCells();
  grid->SetRowTotal(100);
  grid->SetColumnTotal(6);
  grid->SetHeaderRowTotal(1);
  grid->SetHeaderColumnTotal(1);
  window.show();
  if (editable) FillEditable(*grid);
  else FillLikeResults(*grid);
  grid->setFocus();

  if (!screenshot.isEmpty()) {
    QTimer::singleShot(700, &app, [&] {
      const QRect frame = window.frameGeometry();
      const QPixmap picture = window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
      if (!picture.save(screenshot)) {
        std::fprintf(stderr, "varnolt-grid-demo: could not save the picture to \"%s\".\n", qPrintable(screenshot));
        app.exit(1);
        return;
      }
      app.quit();
    });
  }
  return app.exec();
}
