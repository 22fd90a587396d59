#include "grid/GridCellBase.h"

#include "grid/GridCtrl.h"
#include "grid/GridDefaultCell.h"

namespace varnolt {

// A plain cell has no use for its position; cells that do override this.
void CGridCellBase::SetPosition(int, int) {}

CGridDefaultCell* CGridCellBase::DefaultCellFor() const {
  CGridCtrl* grid = GetGrid();
  if (!grid) return nullptr;
  return grid->DefaultCellFor(IsFixedRow(), IsFixedColumn());
}

void CGridCellBase::CopyFrom(const CGridCellBase& other) {
  if (&other == this) return;
  SetGrid(other.GetGrid());
  SetText(other.GetText());
  SetImage(other.GetImage());
  SetData(other.GetData());
  SetState(other.GetState());
  SetFormat(other.GetFormat());
  SetTextColour(other.GetTextColour());
  SetBackColour(other.GetBackColour());
  SetFont(other.IsDefaultFont() ? nullptr : other.GetFont());
  SetMargin(other.GetMargin());
}

bool CGridCellBase::Edit(int, int, QRect, QPoint, int, int) { return false; }

bool CGridCellBase::PrintCell(QPainter& painter, int row, int column, QRect rect) {
  return DrawCell(painter, row, column, rect, true, true);
}

bool CGridCellBase::Draw(QPainter& painter, int row, int column, QRect rect, bool eraseBackground) {
  return DrawCell(painter, row, column, rect, eraseBackground, false);
}

bool CGridCellBase::OnSetCursor() {
  if (CGridCtrl* grid = GetGrid()) grid->setCursor(Qt::ArrowCursor);
  return true;
}

}  // namespace varnolt
