#pragma once
// CGridCellBase: what every grid cell is — its state flags, its drawing and
// measuring, and the hooks for editing and the mouse. The attribute setters and
// getters are left to the concrete cells (CGridCell, CGridDefaultCell).

#include "grid/GridTypes.h"

#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>

class QPainter;
class QPaintDevice;
class QWidget;

namespace varnolt {

class CGridCtrl;
class CGridDefaultCell;

// Cell state flags.
inline constexpr std::uint32_t CellStateFocused = 0x01;
inline constexpr std::uint32_t CellStateSelected = 0x02;
inline constexpr std::uint32_t CellStateDropHighlighted = 0x04;
inline constexpr std::uint32_t CellStateReadOnly = 0x08;
inline constexpr std::uint32_t CellStateFixed = 0x10;
inline constexpr std::uint32_t CellStateFixedRow = 0x20;
inline constexpr std::uint32_t CellStateFixedColumn = 0x40;
inline constexpr std::uint32_t CellStateModified = 0x80;

class CGridCellBase {
 public:
  CGridCellBase() = default;
  virtual ~CGridCellBase() = default;
  CGridCellBase(const CGridCellBase&) = delete;
  CGridCellBase& operator=(const CGridCellBase&) = delete;

  // Setters.
  virtual void SetText(const QString& text) = 0;
  virtual void SetImage(int image) = 0;
  virtual void SetData(std::int32_t data) = 0;
  virtual void SetState(std::uint32_t state) { state_ = state; }
  virtual void SetFormat(std::uint32_t format) = 0;
  virtual void SetTextColour(GridColour colour) = 0;
  virtual void SetBackColour(GridColour colour) = 0;
  virtual void SetFont(const GridFont* font) = 0;
  virtual void SetMargin(std::uint32_t margin) = 0;
  virtual void SetGrid(CGridCtrl* grid) = 0;
  virtual void SetPosition(int row, int column);

  // Getters.
  virtual QString GetText() const = 0;
  virtual QString TipTextFor() const { return GetText(); }
  virtual int GetImage() const = 0;
  virtual std::int32_t GetData() const = 0;
  virtual std::uint32_t GetState() const { return state_; }
  virtual std::uint32_t GetFormat() const = 0;
  virtual GridColour GetTextColour() const = 0;
  virtual GridColour GetBackColour() const = 0;
  virtual const GridFont* GetFont() const = 0;
  virtual QFont GetFontObject() const = 0;
  virtual CGridCtrl* GetGrid() const = 0;
  virtual QWidget* GetEditWindow() const = 0;
  virtual std::uint32_t GetMargin() const = 0;
  virtual CGridDefaultCell* DefaultCellFor() const;
  virtual bool IsDefaultFont() const = 0;
  virtual bool IsEditing() const = 0;

  // State tests.
  virtual bool IsFocused() const { return (GetState() & CellStateFocused) != 0; }
  virtual bool IsFixed() const { return (GetState() & CellStateFixed) != 0; }
  virtual bool IsFixedColumn() const { return (GetState() & CellStateFixedColumn) != 0; }
  virtual bool IsFixedRow() const { return (GetState() & CellStateFixedRow) != 0; }
  virtual bool IsSelected() const { return (GetState() & CellStateSelected) != 0; }
  virtual bool IsReadOnly() const { return (GetState() & CellStateReadOnly) != 0; }
  virtual bool IsModified() const { return (GetState() & CellStateModified) != 0; }
  virtual bool IsDropMarked() const { return (GetState() & CellStateDropHighlighted) != 0; }

  // Copies every attribute of the other cell through the setters.
  virtual void CopyFrom(const CGridCellBase& other);
  virtual void Reset() { state_ = 0; }

  // Drawing and measuring. Rectangles follow the desktop convention the grid
  // is laid out in: right and bottom are exclusive, so a cell of width w at x
  // has right x + w - 1, leaving its last pixel column for the grid line.
  virtual bool Draw(QPainter& painter, int row, int column, QRect rect, bool eraseBackground = true);
  virtual bool TextRectFor(QRect& rect);
  virtual bool TipRectFor(QRect& rect) { return TextRectFor(rect); }
  virtual QSize TextExtentFor(const QString& text, QPaintDevice* device = nullptr);
  virtual QSize CellExtentFor(QPaintDevice* device = nullptr);

  // Editing. A base cell cannot be edited.
  virtual bool Edit(int row, int column, QRect rect, QPoint point, int editorId, int character);
  virtual bool AcceptEditText(const QString&) { return true; }
  virtual void CloseEditor() {}
  virtual bool PrintCell(QPainter& painter, int row, int column, QRect rect);
  virtual void EditEnded() {}

  // Mouse hooks; a plain cell ignores them.
  virtual void HandleMouseEnter() {}
  virtual void HandleHover() {}
  virtual void HandleMouseLeave() {}
  virtual void HandleClick(QPoint) {}
  virtual void HandlePress(QPoint) {}
  virtual void HandleRightClick(QPoint) {}
  virtual void HandleDoubleClick(QPoint) {}
  virtual bool OnSetCursor();

 protected:
  // The drawing shared by Draw and PrintCell; a printed cell keeps the
  // painter's font instead of selecting its own.
  bool DrawCell(QPainter& painter, int row, int column, QRect rect, bool eraseBackground, bool printing);

 private:
  std::uint32_t state_ = 0;
};

}  // namespace varnolt
