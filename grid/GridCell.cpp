#include "grid/GridCell.h"

#include "grid/GridDefaultCell.h"
#include "grid/GridInPlaceEdit.h"

namespace varnolt {

CGridCell::CGridCell() = default;
CGridCell::~CGridCell() = default;

void CGridCell::SetFont(const GridFont* font) {
  if (!font) {
    font_.reset();
  } else if (font_) {
    *font_ = *font;
  } else {
    font_ = std::make_unique<GridFont>(*font);
  }
}

std::uint32_t CGridCell::GetFormat() const {
  if (format_ != GridUnset) return format_;
  const CGridDefaultCell* defaultCell = DefaultCellFor();
  return defaultCell ? defaultCell->GetFormat() : 0;
}

std::uint32_t CGridCell::GetMargin() const {
  if (margin_ != GridUnset) return margin_;
  const CGridDefaultCell* defaultCell = DefaultCellFor();
  return defaultCell ? defaultCell->GetMargin() : 0;
}

const GridFont* CGridCell::GetFont() const {
  if (font_) return font_.get();
  const CGridDefaultCell* defaultCell = DefaultCellFor();
  return defaultCell ? defaultCell->GetFont() : nullptr;
}

QFont CGridCell::GetFontObject() const {
  if (font_) return font_->face;
  const CGridDefaultCell* defaultCell = DefaultCellFor();
  return defaultCell ? defaultCell->GetFontObject() : QFont();
}

void CGridCell::EditEnded() {
  editing_ = false;
  editWindow_ = nullptr;
}

void CGridCell::Reset() {
  CGridCellBase::Reset();
  text_.clear();
  image_ = -1;
  format_ = GridUnset;
  margin_ = GridUnset;
  textColour_ = CLR_DEFAULT;
  backColour_ = CLR_DEFAULT;
  font_.reset();
  grid_ = nullptr;
  editing_ = false;
  editWindow_ = nullptr;
}

bool CGridCell::Edit(int row, int column, QRect rect, QPoint, int editorId, int character) {
  if (editing_) {
    // A second start while the editor is open types into it.
    if (auto* editor = qobject_cast<CInPlaceEdit*>(editWindow_.data())) editor->TypeCharacter(character);
    return true;
  }
  if (!grid_) return false;
  editing_ = true;
  auto* editor = new CInPlaceEdit(grid_, rect, GetFormat(), editorId, row, column, GetText());
  editWindow_ = editor;
  editor->Start(character);
  return true;
}

void CGridCell::CloseEditor() {
  if (auto* editor = qobject_cast<CInPlaceEdit*>(editWindow_.data())) editor->EndEdit();
}

}  // namespace varnolt
