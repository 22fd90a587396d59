#pragma once
// CGridCell: the ordinary grid cell. It stores its own text, image, data,
// format, colours, font and margin; an attribute left unset falls back to the
// default cell the grid keeps for the cell's kind (normal, fixed row, fixed
// column, or both).
//
// While its text is edited in place the cell knows its editor; the editor
// deletes itself when the edit ends, so the cell holds it by a guarded pointer.

#include "grid/GridCellBase.h"

#include <QPointer>
#include <QWidget>

#include <memory>

namespace varnolt {

class CGridCell : public CGridCellBase {
 public:
  CGridCell();
  ~CGridCell() override;

  void SetText(const QString& text) override { text_ = text; }
  void SetImage(int image) override { image_ = image; }
  void SetData(std::int32_t data) override { data_ = data; }
  void SetFormat(std::uint32_t format) override { format_ = format; }
  void SetTextColour(GridColour colour) override { textColour_ = colour; }
  void SetBackColour(GridColour colour) override { backColour_ = colour; }
  void SetFont(const GridFont* font) override;
  void SetMargin(std::uint32_t margin) override { margin_ = margin; }
  void SetGrid(CGridCtrl* grid) override { grid_ = grid; }

  QString GetText() const override { return text_; }
  int GetImage() const override { return image_; }
  std::int32_t GetData() const override { return data_; }
  std::uint32_t GetFormat() const override;
  GridColour GetTextColour() const override { return textColour_; }
  GridColour GetBackColour() const override { return backColour_; }
  const GridFont* GetFont() const override;
  QFont GetFontObject() const override;
  CGridCtrl* GetGrid() const override { return grid_; }
  QWidget* GetEditWindow() const override { return editWindow_; }
  std::uint32_t GetMargin() const override;
  bool IsDefaultFont() const override { return font_ == nullptr; }
  bool IsEditing() const override { return editing_; }

  bool Edit(int row, int column, QRect rect, QPoint point, int editorId, int character) override;
  void CloseEditor() override;
  void EditEnded() override;
  void Reset() override;

 protected:
  QString text_;
  std::int32_t data_ = 0;
  int image_ = -1;
  std::uint32_t format_ = GridUnset;
  GridColour textColour_ = CLR_DEFAULT;
  GridColour backColour_ = CLR_DEFAULT;
  std::unique_ptr<GridFont> font_;
  std::uint32_t margin_ = GridUnset;
  bool editing_ = false;
  CGridCtrl* grid_ = nullptr;
  QPointer<QWidget> editWindow_;
};

}  // namespace varnolt
