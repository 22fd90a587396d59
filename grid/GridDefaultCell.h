#pragma once
// CGridDefaultCell: one of the four cells a grid keeps to supply every
// attribute its cells leave unset, and the default width and height of new
// columns and rows. Giving it a font measures the font to set the margin, the
// width and the height.

#include "grid/GridCell.h"

namespace varnolt {

class CGridDefaultCell : public CGridCell {
 public:
  CGridDefaultCell();

  // A default cell is never edited.
  std::uint32_t GetState() const override { return CGridCell::GetState() | CellStateReadOnly; }

  void SetFont(const GridFont* font) override;
  const GridFont* GetFont() const override { return font_.get(); }
  QFont GetFontObject() const override { return fontObject_; }
  std::uint32_t GetFormat() const override { return format_; }
  std::uint32_t GetMargin() const override { return margin_; }

  std::uint32_t GetCellStyle() const { return style_; }
  void SetCellStyle(std::uint32_t style) { style_ = style; }
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetWidth(int width) { width_ = width; }
  void SetHeight(int height) { height_ = height; }

 private:
  int width_ = 30;
  int height_ = 10;
  QFont fontObject_;
  std::uint32_t style_ = 0;
};

}  // namespace varnolt
