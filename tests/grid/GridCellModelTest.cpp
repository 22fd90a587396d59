#include <gtest/gtest.h>

#include "grid/GridCtrl.h"

#include <QFontMetrics>

namespace varnolt {

namespace {

std::vector<int> Widths(const CGridCtrl& grid) {
  std::vector<int> widths;
  for (int column = 0; column < grid.ColumnTotal(); ++column) widths.push_back(grid.ColumnWidth(column));
  return widths;
}

// A grid of the given columns in a window of the given client width.
void SetUpColumns(CGridCtrl& grid, const std::vector<int>& widths, int clientWidth) {
  grid.resize(clientWidth, 300);
  grid.SetRowTotal(3);
  grid.SetColumnTotal(int(widths.size()));
  grid.SetHeaderRowTotal(1);
  for (int column = 0; column < int(widths.size()); ++column) grid.PutColumnWidth(column, widths[std::size_t(column)]);
}

class CountingCell : public CGridCell {
 public:
  static inline int made = 0;
  CountingCell() { ++made; }
};

}  // namespace

TEST(GridCells, StartAsTheirClassSays) {
  CGridCell cell;
  EXPECT_EQ(cell.GetState(), 0u);
  EXPECT_EQ(cell.GetImage(), -1);
  EXPECT_EQ(cell.GetTextColour(), CLR_DEFAULT);
  EXPECT_EQ(cell.GetBackColour(), CLR_DEFAULT);
  EXPECT_TRUE(cell.IsDefaultFont());
  EXPECT_EQ(cell.DefaultCellFor(), nullptr);
  EXPECT_FALSE(cell.Edit(0, 0, QRect(), QPoint(), 8, 0));

  CGridDefaultCell defaults;
  EXPECT_EQ(defaults.GetFormat(), 0x8824u);
  EXPECT_EQ(defaults.GetState(), CellStateReadOnly);
  EXPECT_EQ(defaults.GetCellStyle(), 0u);
  // Measured from its font: a blank for the margin, a dozen X's between blanks
  // for the width, half as high again as the text.
  const QFontMetrics metrics(defaults.GetFontObject());
  EXPECT_EQ(int(defaults.GetMargin()), metrics.horizontalAdvance(' '));
  EXPECT_EQ(defaults.GetWidth(), metrics.horizontalAdvance(QStringLiteral(" XXXXXXXXXXXX ")));
  EXPECT_EQ(defaults.GetHeight(), metrics.height() * 3 / 2);
}

TEST(GridCells, FallBackToTheDefaultCellOfTheirKindAndCopyEverything) {
  CGridCtrl grid(3, 3, 1, 1);
  grid.DefaultCellFor(false, false)->SetMargin(7);
  grid.DefaultCellFor(true, false)->SetMargin(9);
  CGridCellBase* plain = grid.CellAt(2, 2);
  CGridCellBase* header = grid.CellAt(0, 2);
  EXPECT_EQ(plain->DefaultCellFor(), grid.DefaultCellFor(false, false));
  EXPECT_EQ(grid.CellAt(0, 0)->DefaultCellFor(), grid.DefaultCellFor(true, true));
  EXPECT_EQ(grid.CellAt(2, 0)->DefaultCellFor(), grid.DefaultCellFor(false, true));
  EXPECT_EQ(plain->GetMargin(), 7u);
  EXPECT_EQ(header->GetMargin(), 9u);

  GridFont bold;
  bold.face = QFont(QStringLiteral("Arial"), 20, QFont::Bold);
  plain->SetText(QStringLiteral("text"));
  plain->SetFont(&bold);
  plain->SetBackColour(GridRgb(1, 2, 3));
  plain->SetData(42);
  CGridCell copy;
  copy.CopyFrom(*plain);
  EXPECT_EQ(copy.GetText(), QStringLiteral("text"));
  EXPECT_EQ(copy.GetBackColour(), GridRgb(1, 2, 3));
  EXPECT_EQ(copy.GetData(), 42);
  EXPECT_EQ(copy.GetGrid(), &grid);
  ASSERT_FALSE(copy.IsDefaultFont());
  EXPECT_EQ(*copy.GetFont(), bold);

  copy.Reset();
  EXPECT_TRUE(copy.GetText().isEmpty());
  EXPECT_TRUE(copy.IsDefaultFont());
  EXPECT_EQ(copy.GetGrid(), nullptr);
}

TEST(GridShape, FixedRowAndColumnGiveTheirStates) {
  CGridCtrl grid;
  grid.SetRowTotal(5);
  grid.SetColumnTotal(6);
  grid.SetHeaderRowTotal(1);
  grid.SetHeaderColumnTotal(1);
  EXPECT_EQ(grid.CellStateAt(0, 0), 0x70u);
  for (int column = 1; column < 6; ++column) EXPECT_EQ(grid.CellStateAt(0, column), 0x30u) << column;
  for (int row = 1; row < 5; ++row) EXPECT_EQ(grid.CellStateAt(row, 0), 0x50u) << row;
  for (int row = 1; row < 5; ++row)
    for (int column = 1; column < 6; ++column) EXPECT_EQ(grid.CellStateAt(row, column), 0u);

  // Read-only on top keeps the fixed flags.
  grid.PutCellState(0, 3, grid.CellStateAt(0, 3) | CellStateReadOnly);
  EXPECT_EQ(grid.CellStateAt(0, 3), 0x38u);
  EXPECT_TRUE(grid.CellAt(0, 3)->IsReadOnly());

  // Giving the header row back: the corner stays in the fixed column only.
  grid.CellAt(0, 2)->SetBackColour(GridRgb(9, 9, 9));
  grid.SetHeaderRowTotal(0);
  EXPECT_EQ(grid.CellStateAt(0, 0), 0x50u);
  EXPECT_EQ(grid.CellStateAt(0, 2), 0u);
  EXPECT_EQ(grid.CellAt(0, 2)->GetBackColour(), CLR_DEFAULT);
  EXPECT_EQ(grid.CellStateAt(0, 3), CellStateReadOnly);

  // Cells made after the fixed counts are set are fixed from the start.
  grid.SetHeaderRowTotal(1);
  grid.SetColumnTotal(7);
  EXPECT_EQ(grid.CellStateAt(0, 6), 0x30u);
  EXPECT_EQ(grid.CellStateAt(3, 6), 0u);
  EXPECT_EQ(grid.CellAt(0, 6)->GetFormat(), grid.DefaultCellFor(true, false)->GetFormat());
}

TEST(GridShape, CountsFollowTheRowsAndColumns) {
  CGridCtrl grid(4, 3, 2, 1);
  grid.SetModified(false);
  // The same count changes nothing, not even the modified flag.
  EXPECT_TRUE(grid.SetRowTotal(4));
  EXPECT_FALSE(grid.IsModified());
  EXPECT_TRUE(grid.SetRowTotal(1));
  EXPECT_EQ(grid.HeaderRowTotal(), 1);
  EXPECT_TRUE(grid.IsModified());
  EXPECT_EQ(grid.CellAt(1, 0), nullptr);

  // A fixed count above the rows there are raises the rows.
  EXPECT_TRUE(grid.SetHeaderRowTotal(3));
  EXPECT_EQ(grid.RowTotal(), 3);
  EXPECT_FALSE(grid.SetRowTotal(-1));
  EXPECT_EQ(grid.RowTotal(), 3);

  // New columns take the fixed-column default width, new rows the normal height.
  grid.DefaultCellFor(false, false)->SetWidth(99);
  grid.DefaultCellFor(false, true)->SetWidth(55);
  grid.DefaultCellFor(false, false)->SetHeight(21);
  grid.SetColumnTotal(5);
  grid.SetRowTotal(4);
  EXPECT_EQ(grid.ColumnWidth(4), 55);
  EXPECT_EQ(grid.RowHeight(3), 21);

  EXPECT_TRUE(grid.RemoveAllCells());
  EXPECT_EQ(grid.RowTotal() + grid.ColumnTotal() + grid.HeaderRowTotal() + grid.HeaderColumnTotal(), 0);
}

TEST(GridShape, TheCellClassIsChosenPerGrid) {
  CGridCtrl grid;
  grid.SetCellClass<CountingCell>();
  CountingCell::made = 0;
  grid.SetRowTotal(2);
  grid.SetColumnTotal(3);
  EXPECT_EQ(CountingCell::made, 6);
  EXPECT_NE(dynamic_cast<CountingCell*>(grid.CellAt(1, 2)), nullptr);

  // Without a cell class the positions hold no cell and refuse contents.
  grid.ClearCellClass();
  grid.SetRowTotal(3);
  EXPECT_EQ(grid.CellAt(2, 0), nullptr);
  EXPECT_FALSE(grid.PutCellText(2, 0, QStringLiteral("x")));
  EXPECT_EQ(grid.CellStateAt(2, 0), 0u);
  EXPECT_FALSE(grid.PutCellState(2, 0, CellStateReadOnly));
}

TEST(GridContents, TextMarksCellsModifiedUntilTheGridIsCleared) {
  CGridCtrl grid(3, 3, 1, 1);
  grid.SetModified(false);
  EXPECT_TRUE(grid.PutCellText(1, 2, QStringLiteral("12")));
  EXPECT_EQ(grid.CellTextAt(1, 2), QStringLiteral("12"));
  EXPECT_TRUE(grid.CellAt(1, 2)->IsModified());
  EXPECT_TRUE(grid.IsModified());
  EXPECT_FALSE(grid.PutCellText(3, 0, QStringLiteral("x")));
  EXPECT_FALSE(grid.PutCellText(0, -1, QStringLiteral("x")));

  grid.SetModified(false);
  EXPECT_FALSE(grid.CellAt(1, 2)->IsModified());
}

TEST(GridContents, SelectionKeepsCellsApartBeyond65535Rows) {
  CGridCtrl grid(70001, 3);
  // These two would share one key if the row had only 16 bits.
  grid.PutCellState(70000, 1, CellStateSelected);
  grid.PutCellState(4464, 1, CellStateSelected);
  EXPECT_EQ(grid.SelectedCount(), 2);
  EXPECT_TRUE(grid.CellIsSelected(70000, 1));
  grid.PutCellState(4464, 1, 0);
  EXPECT_EQ(grid.SelectedCount(), 1);
  EXPECT_TRUE(grid.CellIsSelected(70000, 1));
  // Positions outside the grid never join the selection.
  grid.PutCellState(80000, 1, CellStateSelected);
  EXPECT_EQ(grid.SelectedCount(), 1);

  grid.AllowSelection(false);
  EXPECT_EQ(grid.SelectedCount(), 0);
  EXPECT_FALSE(grid.CellAt(70000, 1)->IsSelected());
  EXPECT_FALSE(grid.SelectionAllowed());
  grid.PutCellState(5, 1, CellStateSelected);
  EXPECT_FALSE(grid.CellIsSelected(5, 1));
}

TEST(GridContents, VirtualModeAsksForEachCell) {
  CGridCtrl grid;
  grid.SetVirtualMode(true);
  grid.SetRowTotal(100000);
  grid.SetColumnTotal(4);
  grid.SetHeaderRowTotal(1);
  grid.SetCellDataCallback([](GridDisplayInfo& info, std::intptr_t value) {
    info.text = QStringLiteral("%1:%2:%3").arg(info.row).arg(info.column).arg(value);
    return true;
  }, 7);
  EXPECT_EQ(grid.CellAt(99999, 3)->GetText(), QStringLiteral("99999:3:7"));
  EXPECT_EQ(grid.CellStateAt(0, 1), 0x30u);
  EXPECT_FALSE(grid.PutCellText(5, 1, QStringLiteral("x")));
  EXPECT_EQ(grid.CellAt(4, 4), nullptr);

  // Without a callback the owner is asked.
  grid.SetCellDataCallback(nullptr);
  std::vector<int> codes;
  grid.SetOwnerCallback([&](GridNotification& notification) {
    codes.push_back(notification.code);
    if (notification.displayInfo) notification.displayInfo->text = QStringLiteral("owner");
    return 0L;
  });
  EXPECT_EQ(grid.CellAt(2, 2)->GetText(), QStringLiteral("owner"));
  EXPECT_EQ(codes, std::vector<int>{LVN_GETDISPINFO});
}

TEST(GridSizing, FitColumnsToClientSpreadsTheSpareWidth) {
  {
    CGridCtrl grid;
    SetUpColumns(grid, {77, 77, 77, 77, 77, 77}, 600);
    grid.FitColumnsToClient(true);
    EXPECT_EQ(Widths(grid), std::vector<int>(6, 100));
  }
  {
    CGridCtrl grid;
    SetUpColumns(grid, {100, 100, 100, 100, 100, 100}, 600);
    grid.FitColumnsToClient(true);
    EXPECT_EQ(Widths(grid), std::vector<int>(6, 100));
  }
  {
    CGridCtrl grid;
    SetUpColumns(grid, {102, 102, 102, 102, 102, 102}, 600);
    grid.FitColumnsToClient(true);
    EXPECT_EQ(Widths(grid), std::vector<int>(6, 100));
  }
  {
    // Spare 15 over four shown columns: 3 each, and the 3 pixels left go one
    // by one from the first column on; the hidden column keeps 0 but uses up
    // its turn. Fixed columns stay when not asked for.
    CGridCtrl grid;
    SetUpColumns(grid, {50, 50, 0, 50, 50, 37}, 252);
    grid.SetHeaderColumnTotal(1);
    grid.FitColumnsToClient(false);
    EXPECT_EQ(Widths(grid), (std::vector<int>{50, 54, 0, 54, 53, 40}));
  }
  {
    // A window far too narrow leaves every column at least one pixel wide.
    CGridCtrl grid;
    SetUpColumns(grid, {10, 200, 30}, 60);
    grid.FitColumnsToClient(true);
    EXPECT_EQ(Widths(grid), (std::vector<int>{1, 140, 1}));
  }
}

TEST(GridSizing, FontsResizeTheDefaultCellsButNotExistingRowsAndColumns) {
  CGridCtrl grid(3, 3, 1, 1);
  const int oldWidth = grid.ColumnWidth(1), oldHeight = grid.RowHeight(1);
  QFont big(QStringLiteral("Arial"));
  big.setPixelSize(30);
  grid.setFont(big);
  const QFontMetrics metrics(big);
  EXPECT_EQ(grid.CurrentFont().pixelSize(), 30);
  EXPECT_EQ(grid.DefaultCellFor(true, true)->GetHeight(), metrics.height() * 3 / 2);
  EXPECT_EQ(grid.ColumnWidth(1), oldWidth);
  EXPECT_EQ(grid.RowHeight(1), oldHeight);
  grid.SetRowTotal(4);
  EXPECT_EQ(grid.RowHeight(3), metrics.height() * 3 / 2);

  // Fitting to text over the non-fixed cells: the widest text plus four
  // margins across, the text height plus two margins down.
  const QString longText = QStringLiteral("a rather long text in one cell");
  grid.PutCellText(2, 1, longText);
  grid.PutCellText(2, 2, QStringLiteral("short"));
  ASSERT_TRUE(grid.FitColumnToText(1, 2));
  const int margin = int(grid.CellAt(2, 1)->GetMargin());
  EXPECT_EQ(grid.ColumnWidth(1), metrics.horizontalAdvance(longText) + 4 * margin);
  ASSERT_TRUE(grid.FitRowToText(2, 2));
  EXPECT_EQ(grid.RowHeight(2), metrics.height() + 2 * margin);
  grid.PutColumnWidth(2, 0);
  EXPECT_FALSE(grid.FitColumnToText(2));
  EXPECT_EQ(grid.ColumnWidth(2), 0);
}

TEST(GridLook, DesktopColourChangeReachesOnlyColoursThatFollowIt) {
  CGridCtrl grid(2, 2, 1, 1);
  grid.DefaultCellFor(true, false)->SetTextColour(GridRgb(1, 2, 3));
  QPalette colours = grid.palette();
  colours.setColor(QPalette::Text, QColor(10, 20, 30));
  colours.setColor(QPalette::Base, QColor(200, 210, 220));
  colours.setColor(QPalette::Dark, QColor(90, 90, 90));
  grid.setPalette(colours);
  EXPECT_EQ(grid.DefaultCellFor(false, false)->GetTextColour(), GridRgb(10, 20, 30));
  EXPECT_EQ(grid.DefaultCellFor(false, false)->GetBackColour(), GridRgb(200, 210, 220));
  EXPECT_EQ(grid.DefaultCellFor(true, false)->GetTextColour(), GridRgb(1, 2, 3));
  EXPECT_EQ(grid.DefaultCellFor(false, true)->GetBackColour(), GridColourFrom(colours.color(QPalette::Button)));
  EXPECT_EQ(grid.GridBackColour(), GridRgb(90, 90, 90));
}

TEST(GridShape, HeaderColumnsComeAndGoWithTheirFlagsAndColours) {
  CGridCtrl grid(4, 4, 1, 2);
  // Made after the fixed column count: the new row's fixed cells are flagged.
  grid.SetRowTotal(5);
  EXPECT_EQ(grid.CellStateAt(4, 1), 0x50u);
  EXPECT_EQ(grid.CellStateAt(0, 1), 0x70u);

  // Shrinking: fixed-row cells keep their row flag; the others lose both and
  // take their colours from their new default cell.
  grid.CellAt(2, 1)->SetBackColour(GridRgb(1, 1, 1));
  grid.SetHeaderColumnTotal(1);
  EXPECT_EQ(grid.CellStateAt(0, 1), 0x30u);
  EXPECT_EQ(grid.CellStateAt(2, 1), 0u);
  EXPECT_EQ(grid.CellAt(2, 1)->GetBackColour(), CLR_DEFAULT);

  // Growing resets the colours of the cells that join the header.
  grid.CellAt(2, 2)->SetTextColour(GridRgb(2, 2, 2));
  grid.CellAt(3, 3)->SetBackColour(GridRgb(3, 3, 3));
  grid.SetHeaderColumnTotal(3);
  EXPECT_EQ(grid.CellAt(2, 2)->GetTextColour(), CLR_DEFAULT);
  grid.SetHeaderRowTotal(4);
  EXPECT_EQ(grid.CellAt(3, 3)->GetBackColour(), CLR_DEFAULT);
  EXPECT_EQ(grid.CellStateAt(3, 3), 0x30u);
}

TEST(GridContents, VirtualModeMarksTheFocusCell) {
  CGridCtrl grid;
  grid.SetVirtualMode(true);
  grid.SetRowTotal(10);
  grid.SetColumnTotal(3);
  grid.SetHeaderRowTotal(1);
  grid.MoveFocusTo(4, 2);
  EXPECT_EQ(grid.CellStateAt(4, 2), CellStateFocused);
  EXPECT_EQ(grid.CellStateAt(4, 1), 0u);
}

}  // namespace varnolt
