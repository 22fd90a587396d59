// CGridCtrl: starting and ending in-place edits, and offering title tips.

#include "grid/GridCtrl.h"
#include "grid/GridInPlaceEdit.h"
#include "grid/GridTitleTip.h"

#include <QApplication>
#include <QKeyEvent>

namespace varnolt {

// The starting character says how the editor opens: EditStartedByMouse (a click
// or F2) and Enter put the caret after the text; Backspace also deletes the
// last character; Tab, Space, the page keys, Home, End and the arrows select
// the whole text; any other character replaces the whole text.
void CGridCtrl::BeginCellEdit(int row, int column, QPoint point, int character) {
  if (titleTip_) titleTip_->Hide();
  // A virtual grid stores no text, so an edit of it would be lost.
  if (!IsValid(row, column) || !editable_ || virtualMode_) return;
  CGridCellBase* cell = CellAt(row, column);
  if (!cell || cell->IsReadOnly()) return;
  ScrollCellIntoView(row, column);
  if (!CellIsVisible(row, column)) return;
  QRect rect;
  if (!CellRectOf(row, column, rect)) return;
  if (SendMessageToParent(row, column, LVN_BEGINLABELEDIT) < 0) return;
  // The owner may have changed the grid while it was asked.
  cell = CellAt(row, column);
  if (!cell) return;
  cell->Edit(row, column, rect, point, GridInPlaceEditId, character);
}

void CGridCtrl::FinishEditing() {
  if (focusCell_.IsValid())
    if (CGridCellBase* cell = CellAt(focusCell_.row, focusCell_.column)) cell->CloseEditor();
  // An editor on a cell that is no longer the focus cell ends as well.
  for (CInPlaceEdit* editor : findChildren<CInPlaceEdit*>(Qt::FindDirectChildrenOnly)) editor->EndEdit();
}

void CGridCtrl::OnEndInPlaceEdit(const GridEditEnd& end) {
  CGridCellBase* cell = CellAt(end.row, end.column);
  if (!cell) return;  // the grid lost the cell while it was edited
  const QString oldText = cell->GetText();
  if (end.text != oldText) {
    const std::uint32_t oldState = cell->GetState();
    const bool oldModified = modified_;
    PutCellText(end.row, end.column, end.text);
    const bool accepted = cell->AcceptEditText(end.text) && SendEndOfEdit(end) >= 0;
    cell = CellAt(end.row, end.column);
    if (!cell) return;
    if (accepted) {
      SetModified(true, end.row, end.column);
    } else {
      // A refused text leaves the cell as it was, its modified marks included.
      cell->SetText(oldText);
      cell->SetState((cell->GetState() & ~CellStateModified) | (oldState & CellStateModified));
      modified_ = oldModified;
    }
    RepaintCell(end.row, end.column);
  }
  cell->EditEnded();

  if (!KeyMovesToNextEdit(end.key)) return;
  // The key that left the cell moves the focus as it would without an editor,
  // and the editor follows the focus to its new cell.
  const CellId before = focusCell_;
  QKeyEvent press(QEvent::KeyPress, end.key, end.modifiers);
  QApplication::sendEvent(this, &press);
  if (focusCell_.IsValid() && !(focusCell_ == before)) BeginCellEdit(focusCell_.row, focusCell_.column, QPoint(), end.key);
}

long CGridCtrl::SendEndOfEdit(const GridEditEnd& end) {
  if (!ownerCallback_) return 0;
  GridNotification notification;
  notification.code = LVN_ENDLABELEDIT;
  notification.row = end.row;
  notification.column = end.column;
  notification.text = end.text;
  notification.key = end.key;
  return ownerCallback_(notification);
}

void CGridCtrl::OfferTitleTip(int row, int column) {
  if (!showTips_) return;
  CGridCellBase* cell = CellAt(row, column);
  if (!cell || cell->IsEditing()) return;
  const QString text = cell->TipTextFor();
  if (text.isEmpty()) return;
  QRect textRect;
  if (!CellRectOf(row, column, textRect) || !cell->TipRectFor(textRect)) return;
  if (!titleTip_) titleTip_ = new CTitleTip(this);
  titleTip_->Show(textRect, text, 0, textRect, cell->GetFontObject(), titleTipTextColour_, titleTipBackColour_);
}

}  // namespace varnolt
