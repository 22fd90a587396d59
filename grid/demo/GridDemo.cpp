// A window holding one grid of 100 rows and 6 columns with a fixed header row
// and column, filled the way the run page fills its results.
//
//   varnolt-grid-demo                   shows the window
//   varnolt-grid-demo --screenshot F    shows it, saves a picture of it as shown on screen to F, quits

#include "grid/GridCtrl.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString screenshot;
  const QStringList arguments = app.arguments();
  for (int i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String("--screenshot") && i + 1 < arguments.size()) {
      screenshot = arguments[++i];
    } else {
      std::fprintf(stderr, "varnolt-grid-demo: unknown argument \"%s\".\nUse: varnolt-grid-demo [--screenshot FILE]\n",
                   qPrintable(arguments[i]));
      return 2;
    }
  }

  QWidget window;
  window.setWindowTitle(QStringLiteral("Grid control"));
  auto* layout = new QVBoxLayout(&window);
  auto* grid = new CGridCtrl(0, 0, 0, 0, &window);
  layout->addWidget(grid);
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
  const char* headers[] = {"Cycle No.", "Female %", "Herm. % ", "Male %  ", "Abort % ", "Total % "};
  for (int column = 0; column < 6; ++column) grid->PutCellText(0, column, QString::fromLatin1(headers[column]));
  window.show();
  grid->FitColumnsToClient(true);
  for (int row = 1; row < 100; ++row) {
    const int female = (row * 37) % 61, herm = (row * 13) % 11, male = (row * 29) % (100 - female - herm + 1);
    const int aborted = 100 - female - herm - male;
    const int values[] = {row, female, herm, male, aborted, 100};
    for (int column = 0; column < 6; ++column) grid->PutCellText(row, column, QString::number(values[column]));
  }
  for (int row = 0; row < 100; ++row)
    for (int column = 0; column < 6; ++column)
      grid->PutCellState(row, column, grid->CellStateAt(row, column) | CellStateReadOnly);
  grid->AllowSelection(false);
  grid->MoveFocusTo(5, 2);

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
