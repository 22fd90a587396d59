// CGridCtrl: the selected cells as text, pasting text into the grid, and the
// edit commands (copy, cut, paste, select all) with their enable checks. Text
// goes out and comes in as plain text: cells separated by tabs, rows by line
// feeds, which is what spreadsheets and text editors exchange.

#include "grid/GridCtrl.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QRegularExpression>

#include <algorithm>

namespace varnolt {

std::unique_ptr<QMimeData> CGridCtrl::SelectionAsText() {
  const CellRange range = SelectedCellRange();
  if (!range.IsValid() || range.maxRow >= rowCount_ || range.maxColumn >= columnCount_) return nullptr;
  if (virtualMode_) SendCacheHint(range);

  // Hidden rows and columns give nothing, not even a separator, so the text
  // holds exactly the fields the user sees.
  QString text;
  bool firstRow = true;
  for (int row = range.minRow; row <= range.maxRow; ++row) {
    if (rowHeights_.At(row) == 0) continue;
    if (!firstRow) text += QLatin1Char('\n');
    firstRow = false;
    bool firstColumn = true;
    for (int column = range.minColumn; column <= range.maxColumn; ++column) {
      if (columnWidths_.At(column) == 0) continue;
      if (!firstColumn) text += QLatin1Char('\t');
      firstColumn = false;
      if (CellIsSelected(row, column)) text += CellTextAt(row, column);
    }
  }

  if (virtualMode_) SendCacheHint(CellRange{});
  auto data = std::make_unique<QMimeData>();
  data->setText(text);
  return data;
}

bool CGridCtrl::PasteTextAt(int row, int column, const QMimeData* data, bool selectPasted) {
  return PasteText(row, column, data, selectPasted, nullptr);
}

bool CGridCtrl::PasteText(int row, int column, const QMimeData* data, bool selectPasted,
                          std::vector<CellId>* written) {
  if (!IsValid(row, column) || !editable_ || !data || !data->hasText()) return false;
  const CGridCellBase* target = CellAt(row, column);
  if (!target || target->IsReadOnly()) return false;

  QStringList lines = data->text().split(QLatin1Char('\n'));
  // Text copied from a spreadsheet ends its last row with a line break; that
  // starts no row of its own, or it would empty a cell below the paste.
  if (lines.size() > 1 && lines.last().trimmed().isEmpty()) lines.removeLast();
  static const QRegularExpression fieldSeparator(QStringLiteral("[\t,]"));

  int maxRow = -1, maxColumn = -1;
  int nextRow = row;
  for (const QString& line : lines) {
    while (nextRow < rowCount_ && rowHeights_.At(nextRow) == 0) ++nextRow;
    if (nextRow >= rowCount_) break;
    int nextColumn = column;
    for (const QString& field : line.split(fieldSeparator)) {
      while (nextColumn < columnCount_ && columnWidths_.At(nextColumn) == 0) ++nextColumn;
      if (nextColumn >= columnCount_) break;
      // A read-only cell keeps its text, whatever lands on it.
      const CGridCellBase* cell = CellAt(nextRow, nextColumn);
      if (cell && !cell->IsReadOnly()) {
        PutCellText(nextRow, nextColumn, field.trimmed());
        PutCellState(nextRow, nextColumn, CellStateAt(nextRow, nextColumn) & ~CellStateSelected);
        maxRow = std::max(maxRow, nextRow);
        maxColumn = std::max(maxColumn, nextColumn);
        if (written) written->push_back(CellId{nextRow, nextColumn});
      }
      ++nextColumn;
    }
    ++nextRow;
  }

  if (selectPasted && maxRow >= 0) {
    previousSelectedCells_.clear();
    SelectCellRange(row, column, maxRow, maxColumn, true, true);
  } else {
    DeselectAllCells(true);
    Invalidate();
  }
  return true;
}

void CGridCtrl::HandleCopyCommand() {
  std::unique_ptr<QMimeData> data = SelectionAsText();
  if (data) QGuiApplication::clipboard()->setMimeData(data.release());
}

void CGridCtrl::HandleCutCommand() {
  if (!editable_) return;
  HandleCopyCommand();
  CutSelection();
}

void CGridCtrl::ClearCellTexts(const std::vector<CellId>& cells) {
  for (const CellId& id : cells) {
    const CGridCellBase* cell = CellAt(id.row, id.column);
    if (!cell || cell->IsReadOnly()) continue;
    PutCellText(id.row, id.column, QString());
    RepaintCell(id.row, id.column);
  }
}

void CGridCtrl::HandlePasteCommand() {
  if (!editable_) return;
  const CellRange selected = SelectedCellRange();
  CellId target{selected.minRow, selected.minColumn};
  if (!selected.IsValid()) target = focusCell_;
  if (!target.IsValid()) target = TopLeftNonFixedCell();
  PasteTextAt(target.row, target.column, QGuiApplication::clipboard()->mimeData(), true);
}

bool CGridCtrl::CanCopy() const { return !selectedCells_.empty(); }

bool CGridCtrl::CanCut() const { return editable_ && !selectedCells_.empty(); }

bool CGridCtrl::CanPaste() const {
  if (!focusCell_.IsValid() || !editable_) return false;
  const CGridCellBase* cell = CellAt(focusCell_.row, focusCell_.column);
  if (!cell || cell->IsReadOnly()) return false;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

bool CGridCtrl::CanSelectAll() const { return selectionEnabled_; }

}  // namespace varnolt
