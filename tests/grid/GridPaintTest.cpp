#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "grid/GridCtrl.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPaintEvent>

namespace varnolt {

namespace {

const QColor kLight(255, 255, 255), kShadow(0, 0, 0), kFace(200, 200, 200), kDark(128, 128, 128);
const QColor kBase(250, 250, 250), kText(10, 10, 10), kLineGrey(192, 192, 192), kRed(255, 0, 0);

void UseKnownColours(CGridCtrl& grid) {
  QPalette colours = grid.palette();
  colours.setColor(QPalette::Light, kLight);
  colours.setColor(QPalette::Shadow, kShadow);
  colours.setColor(QPalette::Button, kFace);
  colours.setColor(QPalette::Dark, kDark);
  colours.setColor(QPalette::Base, kBase);
  colours.setColor(QPalette::Text, kText);
  colours.setColor(QPalette::ButtonText, kText);
  grid.setPalette(colours);
  // The header cells keep the face colour they were built with.
  for (bool fixedRow : {false, true}) grid.DefaultCellFor(fixedRow, true)->SetBackColour(GridColourFrom(kFace));
  grid.DefaultCellFor(true, false)->SetBackColour(GridColourFrom(kFace));
}

void Build(CGridCtrl& grid, int rows, int columns) {
  UseKnownColours(grid);
  BuildUniformGrid(grid, rows, columns);
}

QImage Paint(CGridCtrl& grid) {
  QImage image(grid.ClientRect().size(), QImage::Format_RGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  grid.OnDraw(painter);
  return image;
}

bool HasColour(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

// A cell that counts how often, and which rows, it is drawn.
class CountingCell : public CGridCell {
 public:
  static inline int draws = 0;
  static inline int lastRow = -1;
  bool Draw(QPainter& painter, int row, int column, QRect rect, bool erase) override {
    ++draws;
    lastRow = std::max(lastRow, row);
    return CGridCell::Draw(painter, row, column, rect, erase);
  }
};

}  // namespace

TEST(GridPainting, DoubleBufferedAndDirectGiveTheSamePixels) {
  CGridCtrl grid;
  Build(grid, 40, 6);
  for (int row = 0; row < 40; ++row)
    for (int column = 0; column < 6; ++column) grid.PutCellText(row, column, QString::number(row * column));
  grid.CellAt(3, 2)->SetBackColour(GridRgb(0, 128, 0));
  grid.PutCellState(4, 4, CellStateFocused);
  grid.resize(260, 180);
  grid.show();
  QApplication::processEvents();
  grid.OnVScroll(CGridCtrl::SB_LINEDOWN);

  grid.SetDoubleBuffering(true);
  const QImage buffered = grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
  grid.SetDoubleBuffering(false);
  const QImage direct = grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(buffered.size(), QSize(260, 180));
  EXPECT_TRUE(HasColour(buffered, kLineGrey));
  EXPECT_TRUE(HasColour(buffered, QColor(0, 128, 0)));
  EXPECT_EQ(buffered, direct);
}

TEST(GridPainting, FixedCellsAreRaisedAndDataCellsLined) {
  CGridCtrl grid;
  Build(grid, 4, 3);
  grid.resize(300, 200);
  const QImage image = Paint(grid);
  QRect header, data;
  ASSERT_TRUE(grid.CellRectOf(0, 1, header));
  ASSERT_TRUE(grid.CellRectOf(1, 1, data));
  const int x = header.x(), middleX = x + 25, middleY = 10;
  EXPECT_EQ(image.pixelColor(x, middleY), kLight);           // left edge
  EXPECT_EQ(image.pixelColor(middleX, 0), kLight);           // top edge
  EXPECT_EQ(image.pixelColor(x + 49, middleY), kShadow);     // right edge
  EXPECT_EQ(image.pixelColor(middleX, 19), kShadow);         // bottom edge
  EXPECT_EQ(image.pixelColor(middleX, middleY), kFace);      // face

  EXPECT_EQ(image.pixelColor(data.x() + 49, data.y() + 10), kLineGrey);
  EXPECT_EQ(image.pixelColor(data.x() + 25, data.y() + 19), kLineGrey);
  EXPECT_EQ(image.pixelColor(data.x() + 25, data.y() + 10), kBase);
  // Right of and below the last cell: the grid's background.
  EXPECT_EQ(image.pixelColor(299, 10), kDark);
  EXPECT_EQ(image.pixelColor(10, 199), kDark);

  // The focus frame is drawn in the cell's text colour.
  grid.PutCellState(1, 1, CellStateFocused);
  EXPECT_EQ(Paint(grid).pixelColor(data.x(), data.y() + 10), kText);
}

TEST(GridPainting, HiddenRowsAndColumnsAreNeverPainted) {
  CGridCtrl grid;
  Build(grid, 5, 4);
  grid.resize(300, 200);
  grid.PutColumnWidth(2, 0);
  grid.PutRowHeight(3, 0);
  for (int row = 0; row < 5; ++row) grid.CellAt(row, 2)->SetBackColour(GridRgb(255, 0, 0));
  for (int column = 0; column < 4; ++column) grid.CellAt(3, column)->SetBackColour(GridRgb(255, 0, 0));
  EXPECT_FALSE(HasColour(Paint(grid), kRed));
  grid.PutColumnWidth(2, 30);
  EXPECT_TRUE(HasColour(Paint(grid), kRed));
}

TEST(GridPainting, NothingIsPaintedWhileDrawingIsOff) {
  CGridCtrl grid;
  Build(grid, 5, 4);
  grid.resize(300, 200);
  grid.SetAllowDraw(false);
  const QImage image = Paint(grid);
  EXPECT_FALSE(HasColour(image, kBase));
  grid.SetAllowDraw(true);
  EXPECT_TRUE(HasColour(Paint(grid), kBase));
}

TEST(GridPainting, OnlyTheCellsOnScreenAreDrawn) {
  CGridCtrl grid;
  grid.SetCellClass<CountingCell>();
  Build(grid, 100001, 6);
  grid.resize(400, 300);
  grid.show();
  QApplication::processEvents();
  CountingCell::draws = 0;
  Paint(grid);
  const CellRange visible = grid.VisibleNonFixedRange();
  EXPECT_EQ(CountingCell::draws, (visible.maxRow - visible.minRow + 2) * 6);
  EXPECT_LT(CountingCell::draws, 100);

  grid.OnVScroll(CGridCtrl::SB_BOTTOM);
  CountingCell::draws = 0;
  CountingCell::lastRow = -1;
  Paint(grid);
  EXPECT_LT(CountingCell::draws, 100);
  EXPECT_EQ(CountingCell::lastRow, 100000);
}

TEST(GridPainting, TheFormatPlacesTheText) {
  CGridCtrl grid;
  Build(grid, 3, 3);
  grid.PutColumnWidth(1, 200);
  grid.resize(400, 200);
  grid.PutCellText(1, 1, QStringLiteral("WW"));
  QRect cell;
  ASSERT_TRUE(grid.CellRectOf(1, 1, cell));
  const auto inkSpan = [&](std::uint32_t format) {
    grid.CellAt(1, 1)->SetFormat(format);
    const QImage image = Paint(grid);
    int first = -1, last = -1;
    for (int x = cell.left(); x < cell.right(); ++x)
      for (int y = cell.top(); y < cell.bottom(); ++y)
        if (image.pixelColor(x, y).lightness() < 128) {
          if (first < 0) first = x;
          last = x;
        }
    return std::pair<int, int>(first - cell.left(), last - cell.left());
  };
  const auto left = inkSpan(DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  const auto right = inkSpan(DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  const auto centre = inkSpan(DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ASSERT_GE(left.first, 0);
  EXPECT_LT(left.second, 60);
  EXPECT_GT(right.first, 140);
  EXPECT_GT(centre.first, 60);
  EXPECT_LT(centre.second, 140);
}

namespace {
// A grid that records the area each paint event covers.
class PaintRecordingGrid : public CGridCtrl {
 public:
  QRegion painted;
 protected:
  void paintEvent(QPaintEvent* event) override {
    painted += event->region();
    CGridCtrl::paintEvent(event);
  }
};
}  // namespace

TEST(GridPainting, ARepaintedCellCoversItsGridLines) {
  PaintRecordingGrid grid;
  Build(grid, 10, 5);
  grid.resize(300, 200);
  grid.show();
  QApplication::processEvents();
  grid.painted = QRegion();
  grid.RepaintCell(3, 2);
  QApplication::processEvents();
  QRect cell;
  ASSERT_TRUE(grid.CellRectOf(3, 2, cell));
  // The whole 50 x 20 pixels, the grid lines on the right and bottom included.
  EXPECT_EQ(grid.painted.boundingRect(), QRect(cell.topLeft(), QSize(50, 20)));
}

}  // namespace varnolt
