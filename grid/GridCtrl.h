#pragma once
// CGridCtrl: a general-purpose table window. Fixed header rows and columns are
// drawn as raised buttons, data cells with grid lines; every attribute a cell
// leaves unset comes from one of four default cells; scroll bars appear exactly
// when the cells do not fit.
//
// The class is one widget; its code is split by concern:
//   GridCtrl.cpp          construction, events, owner notifications, colours
//   GridCtrlCells.cpp     the cell model: shape, contents, states, selection set
//   GridCtrlPaint.cpp     painting
//   GridCtrlScroll.cpp    scroll bars, scrolling, the wheel, scrolling a cell into view
//   GridCtrlSizing.cpp    cell geometry, row and column sizes, fitting to text, fonts
//   GridCtrlSelect.cpp    the focus cell, selecting ranges, sorting rows
//   GridCtrlInput.cpp     mouse and keyboard: clicks, keys, resizing by the mouse
//   GridCtrlClipboard.cpp the selection as text, pasting text, the edit commands
//   GridCtrlDragDrop.cpp  dragging selected cells out, and text dropped in
//   GridCtrlEdit.cpp      starting and ending in-place edits, offering title tips
// with the two small windows in files of their own: GridTitleTip (the whole
// text of a cut-off cell) and GridInPlaceEdit (the editor laid over a cell).

#include "grid/GridCell.h"
#include "grid/GridDefaultCell.h"
#include "grid/GridExtents.h"

#include <QBasicTimer>
#include <QPixmap>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

class QMimeData;
class QScrollBar;

namespace varnolt {

class CTitleTip;

// What the in-place editor reports when an edit ends: the cell, the text it
// holds and the key that ended it (Qt key code, 0 when the focus just left).
struct GridEditEnd {
  int row = -1;
  int column = -1;
  QString text;
  int key = 0;
  Qt::KeyboardModifiers modifiers;
};

// The control identifier of the in-place editor.
inline constexpr int GridInPlaceEditId = 8;

class CGridCtrl : public QWidget {
  Q_OBJECT

 public:
  enum GridLines { GridLinesNone = 0, GridLinesHorizontal = 1, GridLinesVertical = 2, GridLinesBoth = 3 };
  // The scroll requests of a scroll bar, with the desktop's codes.
  enum ScrollCode {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
    SB_LINELEFT = SB_LINEUP,
    SB_LINERIGHT = SB_LINEDOWN,
    SB_PAGELEFT = SB_PAGEUP,
    SB_PAGERIGHT = SB_PAGEDOWN,
    SB_LEFT = SB_TOP,
    SB_RIGHT = SB_BOTTOM,
  };
  // What the left mouse button is doing, or about to do.
  enum MouseMode {
    ModeIdle = 0,
    ModeSelectAll = 1,
    ModeSelectColumn = 2,
    ModeSelectRow = 3,
    ModeSelectCells = 4,
    ModeOverRowEdge = 6,
    ModeSizeRow = 7,
    ModeOverColumnEdge = 8,
    ModeSizeColumn = 9,
    ModeEditPending = 10,
    ModeDragPending = 11,
    ModeDragging = 12,
  };
  // How an edit was started when no character started it.
  static constexpr int EditStartedByMouse = 1;
  using CellFactory = std::unique_ptr<CGridCellBase> (*)();

  explicit CGridCtrl(int rows = 0, int columns = 0, int fixedRows = 0, int fixedColumns = 0,
                     QWidget* parent = nullptr);
  ~CGridCtrl() override;

  // ---- Shape ----
  bool SetRowTotal(int rows);
  bool SetColumnTotal(int columns);
  bool SetHeaderRowTotal(int fixedRows);
  bool SetHeaderColumnTotal(int fixedColumns);
  bool RemoveAllCells();
  int RowTotal() const { return rowCount_; }
  int ColumnTotal() const { return columnCount_; }
  int HeaderRowTotal() const { return fixedRowCount_; }
  int HeaderColumnTotal() const { return fixedColumnCount_; }
  bool IsValid(int row, int column) const {
    return row >= 0 && row < rowCount_ && column >= 0 && column < columnCount_;
  }

  // ---- Contents ----
  CGridCellBase* CellAt(int row, int column) const;
  bool PutCellText(int row, int column, const QString& text);
  QString CellTextAt(int row, int column) const;
  std::uint32_t CellStateAt(int row, int column) const;
  bool PutCellState(int row, int column, std::uint32_t state);
  void SetModified(bool modified = true, int row = -1, int column = -1);
  bool IsModified() const { return modified_; }
  bool CellIsSelected(int row, int column) const;
  // Creates the cell for a position (null when no usable cell class is set).
  virtual std::unique_ptr<CGridCellBase> MakeCell(int row, int column);
  virtual void FreeCell(int row, int column);

  // The class of the cells this grid creates; it must derive from CGridCellBase.
  template <class Cell>
  void SetCellClass() {
    static_assert(std::is_base_of_v<CGridCellBase, Cell>, "grid cells derive from CGridCellBase");
    cellClass_ = [] { return std::unique_ptr<CGridCellBase>(new Cell); };
  }
  void ClearCellClass() { cellClass_ = nullptr; }

  CGridDefaultCell* DefaultCellFor(bool fixedRow, bool fixedColumn) const;
  // The text colour and background a cell of that kind shows when neither it
  // nor its default cell has one.
  QColor FallbackTextColour(bool fixed) const;
  QColor FallbackBackColour(bool fixed) const;

  // Virtual mode: the grid stores no cells and asks the callback (or, without
  // one, the owner through LVN_GETDISPINFO) for each cell it reads. Switching
  // the mode removes every cell first.
  void SetVirtualMode(bool on);
  bool VirtualMode() const { return virtualMode_; }
  void SetCellDataCallback(GridCellDataCallback callback, std::intptr_t callerValue = 0);

  // ---- Selection and focus ----
  void AllowSelection(bool enable);
  bool SelectionAllowed() const { return selectionEnabled_; }
  void ClearSelection();
  CellId FocusedCell() const { return focusCell_; }
  // Moves the focus cell (never into a fixed row or column; -1 clears it) and
  // returns the old one.
  CellId MoveFocusTo(int row, int column);
  CellId MoveFocusTo(CellId cell) { return MoveFocusTo(cell.row, cell.column); }
  int SelectedCount() const { return int(selectedCells_.size()); }
  // The smallest range holding every selected cell; invalid when none is.
  CellRange SelectedCellRange() const;
  // Selects the range (fixed rows and columns excluded), keeping the previous
  // selection of a Ctrl-click; with selectCells false it deselects the range
  // instead. Nothing happens while selection is disabled.
  void SelectCellRange(int minRow, int minColumn, int maxRow, int maxColumn, bool forceRedraw = false,
                       bool selectCells = true);
  void SelectEverything();
  // From the selection start to the given cell: whole columns, whole rows, or cells.
  void SelectColumnsTo(CellId cell, bool forceRedraw = false, bool selectCells = true);
  void SelectRowsTo(CellId cell, bool forceRedraw = false, bool selectCells = true);
  void SelectCellsTo(CellId cell, bool forceRedraw = false, bool selectCells = true);
  CellId SelectionStartCell() const { return selectionStartCell_; }
  // Ctrl+A and the select-all command.
  void HandleSelectAllCommand();
  // Empties every selected cell that can be edited (Delete; the cut command).
  void CutSelection();

  // ---- Sorting ----
  // Compares the cells of two rows (negative, 0, positive), given the caller's value.
  using CompareFunction = std::function<int(const CGridCellBase*, const CGridCellBase*, std::intptr_t)>;
  void SetCompareFunction(CompareFunction compare) { compareFunction_ = std::move(compare); }
  // Sorts the non-fixed rows by the cells of the column (by their texts'
  // character codes unless a compare function is set). False for an invalid
  // column or in virtual mode.
  bool SortRowsBy(int column, bool ascending, std::intptr_t value = 0);

  // ---- Mouse and keyboard settings ----
  void SetEditable(bool on) { editable_ = on; }
  bool IsEditable() const { return editable_; }
  // Whether the cell could be edited now: the grid is editable and the cell is not read-only.
  bool CellIsEditable(int row, int column) const;
  void SetListMode(bool on) { listMode_ = on; }
  bool ListMode() const { return listMode_; }
  // Also makes the grid a drop target.
  void EnableDragAndDrop(bool on);
  bool DragAndDropEnabled() const { return dragAndDropEnabled_; }
  void SetFixedColumnClickSelectsRow(bool on) { fixedColumnClickSelectsRow_ = on; }
  bool FixedColumnClickSelectsRow() const { return fixedColumnClickSelectsRow_; }
  void SetFixedRowClickSelectsColumn(bool on) { fixedRowClickSelectsColumn_ = on; }
  bool FixedRowClickSelectsColumn() const { return fixedRowClickSelectsColumn_; }
  void SetSortOnHeaderClick(bool on) { sortOnHeaderClick_ = on; }
  bool SortOnHeaderClick() const { return sortOnHeaderClick_; }
  void SetHandleTabKey(bool on) { handleTabKey_ = on; }
  bool HandleTabKey() const { return handleTabKey_; }
  void SetColumnResize(bool on) { allowColumnResize_ = on; }
  bool ColumnResizeAllowed() const { return allowColumnResize_; }
  void SetRowResize(bool on) { allowRowResize_ = on; }
  bool RowResizeAllowed() const { return allowRowResize_; }
  // Whether the mouse may size a column or row down to nothing, and reach a
  // hidden one again at its divider.
  void SetColumnHide(bool on) { allowColumnHide_ = on; }
  bool ColumnHideAllowed() const { return allowColumnHide_; }
  void SetRowHide(bool on) { allowRowHide_ = on; }
  bool RowHideAllowed() const { return allowRowHide_; }
  void SetReopenHiddenColumns(bool on) { reopenHiddenColumns_ = on; }
  void SetReopenHiddenRows(bool on) { reopenHiddenRows_ = on; }
  void SetEdgeGrabWidth(int pixels) { edgeGrabWidth_ = pixels; }
  int EdgeGrabWidth() const { return edgeGrabWidth_; }
  void SetAutoScrollInterval(int milliseconds) { autoScrollInterval_ = milliseconds; }
  int AutoScrollInterval() const { return autoScrollInterval_; }
  MouseMode CurrentMouseMode() const { return mouseMode_; }
  bool AutoScrolling() const { return autoScrollTimer_.isActive(); }
  // The id the automatic-scroll timer's events carry (0 while it is stopped),
  // so a test can deliver its ticks itself instead of waiting for the clock.
  int AutoScrollTimerId() const { return autoScrollTimer_.timerId(); }

  // ---- Keyboard and editing seams ----
  // The key-down handling (moves, Page Up/Down, Home/End, Delete, F2, Ctrl+A);
  // false when the key is not one of the grid's.
  virtual bool HandleKeyPress(int key, Qt::KeyboardModifiers modifiers);
  // Starts editing a cell in place, by the mouse or F2 (EditStartedByMouse), a
  // typed character (its code) or a key (a Qt::Key); see GridCtrlEdit.cpp for
  // how that places the caret.
  virtual void BeginCellEdit(int row, int column, QPoint point, int character);
  // Ends the edit under way, if any.
  virtual void FinishEditing();
  void SetPrintAsDisplayed(bool on) { printAsDisplayed_ = on; }
  bool PrintAsDisplayed() const { return printAsDisplayed_; }

  // ---- Owner notifications ----
  void SetOwnerCallback(GridOwnerCallback callback) { ownerCallback_ = std::move(callback); }
  // Sends a notification to the owner; 0 when there is none.
  long SendMessageToParent(int row, int column, int code);
  long SendCacheHint(const CellRange& range);

 signals:
  // Posted after a left click is released over a cell (the desktop's
  // WM_COMMAND to the owner): it arrives once the click's handling is over.
  void clicked(int row, int column);

 public:

  // ---- Geometry ----
  int RowHeight(int row) const;
  int ColumnWidth(int column) const;
  bool PutRowHeight(int row, int height);
  bool PutColumnWidth(int column, int width);
  std::int64_t FixedRowsHeight() const { return rowHeights_.Sum(0, fixedRowCount_); }
  std::int64_t FixedColumnsWidth() const { return columnWidths_.Sum(0, fixedColumnCount_); }
  std::int64_t TotalRowsHeight() const { return rowHeights_.Sum(0, rowCount_); }
  std::int64_t TotalColumnsWidth() const { return columnWidths_.Sum(0, columnCount_); }
  // The client area: the widget less the scroll bars that are shown.
  QRect ClientRect() const;
  bool CellOriginOf(int row, int column, QPoint& origin);
  bool CellRectOf(int row, int column, QRect& rect);
  CellId CellUnderPoint(QPoint point, bool allowFixed = false);
  bool CellIsVisible(int row, int column);
  CellId TopLeftNonFixedCell(bool forceRecalculation = false);
  CellRange VisibleNonFixedRange(QRect* visibleRect = nullptr, bool forceRecalculation = false);

  // ---- Auto-sizing ----
  bool FitColumnToText(int column, unsigned style = 0, bool resetScrollBars = true);
  bool FitRowToText(int row, unsigned style = 0, bool resetScrollBars = true);
  void FitColumnsToClient(bool expandFixed = true);
  void SetAutoSizeStyle(unsigned style) { autoSizeStyle_ = style; }

  // ---- Look ----
  // The font of the normal default cell, which every cell without a font of
  // its own uses. Setting the widget's font (setFont) gives it to all four
  // default cells.
  QFont CurrentFont() const;
  void SetGridLines(int lines);
  int GridLinesShown() const { return gridLines_; }
  void SetGridLineColour(GridColour colour);
  GridColour GridLineColour() const { return gridLineColour_; }
  void SetGridBackColour(GridColour colour);
  GridColour GridBackColour() const { return gridBackColour_; }
  void SetImageList(std::vector<QPixmap> images);
  const std::vector<QPixmap>& ImageList() const { return imageList_; }
  bool HasImageList() const { return !imageList_.empty(); }
  void SetDoubleBuffering(bool on) { doubleBuffer_ = on; }
  bool DoubleBuffering() const { return doubleBuffer_; }
  void SetHighlightFocusHeaders(bool on) { highlightFocusHeaders_ = on; }
  bool HighlightFocusHeaders() const { return highlightFocusHeaders_; }
  void SetOutlineFocusCell(bool on) { outlineFocusCell_ = on; }
  bool OutlineFocusCell() const { return outlineFocusCell_; }
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }
  // When drawing is off nothing is painted and nothing invalidates the window;
  // turning it back on resets the scroll bars and repaints.
  void SetAllowDraw(bool allow);
  bool AllowDraw() const { return allowDraw_; }

  // ---- Painting ----
  // Paints the client area with the given painter (the paint event routes
  // here, through an off-screen image when double buffering is on).
  void OnDraw(QPainter& painter);
  void RepaintCell(int row, int column);
  void InvalidateCellRect(int row, int column);

  // ---- Scrolling ----
  void ResetScrollBars();
  // Scroll requests as the scroll bars and the keyboard make them; the
  // position is used by the thumb codes.
  virtual void OnVScroll(ScrollCode code, std::int64_t position = 0);
  virtual void OnHScroll(ScrollCode code, std::int64_t position = 0);
  void ScrollCellIntoView(int row, int column);
  std::int64_t VerticalScrollPosition() const { return scrollPosition_[Vertical]; }
  std::int64_t HorizontalScrollPosition() const { return scrollPosition_[Horizontal]; }
  // Largest scroll positions: the total non-fixed extent less the visible one.
  std::int64_t VerticalScrollLimit() const { return ScrollLimit(Vertical); }
  std::int64_t HorizontalScrollLimit() const { return ScrollLimit(Horizontal); }
  bool VerticalScrollBarShown() const { return (scrollBarsShown_ & 2) != 0; }
  bool HorizontalScrollBarShown() const { return (scrollBarsShown_ & 1) != 0; }
  QScrollBar* VerticalScrollBar() const { return bars_[Vertical]; }
  QScrollBar* HorizontalScrollBar() const { return bars_[Horizontal]; }
  int WheelLines() const { return wheelLines_; }
  // Rows per wheel notch; -1 scrolls a page per notch.
  void SetWheelLines(int lines) { wheelLines_ = lines; }
  // The rows per notch the grid takes from the desktop's wheel setting.
  static int WheelLinesFromDesktop(int desktopLines);

  // ---- Editing ----
  // The end of an in-place edit: the text is kept only when the cell and the
  // owner accept it, then the key that ended the edit is replayed.
  void OnEndInPlaceEdit(const GridEditEnd& end);

  // ---- Title tips ----
  void EnableTitleTips(bool on) { showTips_ = on; }
  bool TitleTipsEnabled() const { return showTips_; }
  void SetTitleTipBackColour(GridColour colour) { titleTipBackColour_ = colour; }
  void SetTitleTipTextColour(GridColour colour) { titleTipTextColour_ = colour; }
  // Shows the whole text of the cell in the tip when the cell cuts it off.
  void OfferTitleTip(int row, int column);
  CTitleTip* TitleTip() const { return titleTip_; }

  // ---- Clipboard ----
  // The selected range as text: cells joined by tabs, rows by line feeds;
  // null when there is no selected range.
  std::unique_ptr<QMimeData> SelectionAsText();
  // Pastes plain text with its top-left field at the cell; true when pasted.
  bool PasteTextAt(int row, int column, const QMimeData* data, bool selectPasted);
  void HandleCopyCommand();
  void HandleCutCommand();
  void HandlePasteCommand();
  bool CanCopy() const;
  bool CanCut() const;
  bool CanPaste() const;
  bool CanSelectAll() const;

  // ---- Drag and drop ----
  // Drags the selected cells out: a move empties them once dropped. True
  // when a drag ran.
  virtual bool StartDrag();
  CellId DropCell() const { return dropCell_; }

  QSize sizeHint() const override;

 protected:
  // The drag loop; tests replace it to drive the drop side themselves.
  virtual Qt::DropAction RunDragLoop(QMimeData* data);
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void changeEvent(QEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  bool focusNextPrevChild(bool next) override;

  // The parts of the mouse handling, one function for each stage of a press.
  void OnLeftButtonDown(QPoint point, Qt::KeyboardModifiers modifiers);
  void OnMouseMove(QPoint point, bool leftButton);
  void OnLeftButtonUp(QPoint point);
  void OnRightButtonUp(QPoint point);
  void OnLeftButtonDoubleClick(QPoint point);
  void OnFixedRowClick(CellId cell);
  void OnFixedColumnClick(CellId cell);
  void OnAutoScrollTimer();
  void OnCaptureLost();

  // Takes a new font into the four default cells.
  void OnSetFont(const QFont& font);
  // Follows a change of the desktop's colours.
  void OnSysColorChange();

 private:
  enum Direction { Horizontal = 0, Vertical = 1 };

  void SetUpDefaultCells();
  std::array<CGridDefaultCell*, 4> DefaultCells() {
    return {&defaultCell_, &defaultFixedColumnCell_, &defaultFixedRowCell_, &defaultFixedRowColumnCell_};
  }
  void ReadSystemColours();
  // Closes every open editor whose cell lies outside the first rows and
  // columns, without a word to the owner: the cell keeps its text. A grid
  // that is cleared, hidden or destroyed cannot take the edit back.
  void DropEditors(int keptRows, int keptColumns);
  void Invalidate();
  void InvalidateRect(const QRect& rect);
  // Takes every cell out of the selection, as "no selected range" does.
  void DeselectAllCells(bool forceRedraw);
  void ClearFocusCell();
  void ClearCellColours(int row, int column);
  CGridCellBase* VirtualCellAt(int row, int column) const;
  // Selection by the mode of the mouse (or the keys), up to this cell.
  void ExtendSelectionTo(CellId cell);
  void InvalidateHeadersOf(int row, int column, bool rowChanged, bool columnChanged);
  void SwapRows(int first, int second);
  void SortRange(int column, bool ascending, std::intptr_t value, int low, int high);
  int CompareCells(const CGridCellBase* first, const CGridCellBase* second, std::intptr_t value) const;

  // Mouse and keyboard helpers.
  // Along a direction: x for columns (Horizontal), y for rows (Vertical).
  static int Along(Direction direction, QPoint point) { return direction == Horizontal ? point.x() : point.y(); }
  bool MouseOverEdge(Direction direction, QPoint point);
  // Sets the mode over a divider, or back to idle, and the matching cursor.
  void TrackDividerUnder(QPoint point);
  void UpdateCursor(QPoint point);
  void BeginSizing(Direction direction, QPoint point);
  void FinishSizing(Direction direction, QPoint point);
  void FitAtDivider(Direction direction, CellId cell, QPoint point);
  QRect TrackingLineAt(Direction direction, QPoint point) const;
  void MoveTrackingLine(QRect line);
  QPoint PointInCell(CellId cell, QPoint point);
  bool PointInTextOf(CellId cell, QPoint point);
  // The cell a Tab (or Shift+Tab) moves to; the focus cell itself at the grid's end.
  CellId TabTarget(bool forward, bool* wrapped = nullptr) const;
  int NextShown(const GridExtents& extents, int from, int step, int first, int count) const;
  // The row itself when it is shown; else the nearest shown non-fixed row in
  // the step's direction, then in the other.
  int ShownRowNear(int row, int step) const;
  static std::uint64_t SelectionKey(int row, int column);
  void SetDropCell(CellId cell);
  // LVN_ENDLABELEDIT to the owner, with the text and the key that ended the edit.
  long SendEndOfEdit(const GridEditEnd& end);
  bool CellTakesDrop(CellId cell) const;
  // Pastes as PasteTextAt does, listing the cells written when asked.
  bool PasteText(int row, int column, const QMimeData* data, bool selectPasted, std::vector<CellId>* written);
  // Empties the cells' texts, read-only cells excepted.
  void ClearCellTexts(const std::vector<CellId>& cells);

  // Painting, split by what is drawn.
  void EraseBackground(QPainter& painter, const QRect& client, const CellRange& visible);
  void DrawCells(QPainter& painter, const QRect& client, const CellRange& visible);
  void DrawGridLines(QPainter& painter, const QRect& client, const CellRange& visible);

  // Scrolling.
  void Scroll(Direction direction, ScrollCode code, std::int64_t position);
  void SetScrollPosition(Direction direction, std::int64_t position);
  std::int64_t ScrollLimit(Direction direction) const;
  // Whether the non-fixed rows are taller than the room a client area of this
  // height leaves below the fixed rows.
  bool RowsOverflow(std::int64_t clientHeight) const;
  void PlaceScrollBars();
  void OnScrollBarAction(Direction direction, int action);
  void OnScrollBarValue(Direction direction, int value);
  void PostVerticalScroll(ScrollCode code);
  const GridExtents& Extents(Direction direction) const {
    return direction == Vertical ? rowHeights_ : columnWidths_;
  }
  int FixedCount(Direction direction) const {
    return direction == Vertical ? fixedRowCount_ : fixedColumnCount_;
  }
  int Count(Direction direction) const { return direction == Vertical ? rowCount_ : columnCount_; }

  // Shape.
  int rowCount_ = 0;
  int fixedRowCount_ = 0;
  int columnCount_ = 0;
  int fixedColumnCount_ = 0;
  GridExtents rowHeights_;
  GridExtents columnWidths_;
  std::vector<std::vector<std::unique_ptr<CGridCellBase>>> rows_;
  CGridDefaultCell defaultCell_;
  CGridDefaultCell defaultFixedColumnCell_;
  CGridDefaultCell defaultFixedRowCell_;
  CGridDefaultCell defaultFixedRowColumnCell_;
  CellFactory cellClass_ = nullptr;

  // Virtual mode.
  bool virtualMode_ = false;
  GridCellDataCallback cellDataCallback_;
  std::intptr_t cellDataCallerValue_ = 0;
  mutable std::unique_ptr<CGridCell> virtualCell_;

  // Colours: those the grid took from the desktop, and its own.
  GridColour windowTextColour_ = 0;
  GridColour windowColour_ = 0;
  GridColour faceColour_ = 0;
  GridColour shadowColour_ = 0;
  GridColour gridLineColour_ = GridRgb(192, 192, 192);
  GridColour gridBackColour_ = 0;
  GridColour titleTipBackColour_ = CLR_DEFAULT;
  GridColour titleTipTextColour_ = CLR_DEFAULT;

  int gridLines_ = GridLinesBoth;
  bool allowDraw_ = true;
  bool selectionEnabled_ = true;
  bool printAsDisplayed_ = false;
  bool modified_ = false;
  bool doubleBuffer_ = true;
  bool highlightFocusHeaders_ = true;
  bool outlineFocusCell_ = true;
  unsigned autoSizeStyle_ = 3;
  std::vector<QPixmap> imageList_;

  CellId focusCell_;
  // Selected cells by position. The key holds the full row and column, so
  // grids beyond 65,535 rows or columns keep their cells apart.
  std::unordered_map<std::uint64_t, CellId> selectedCells_;
  std::unordered_map<std::uint64_t, CellId> previousSelectedCells_;
  int sortColumn_ = -1;
  bool sortAscending_ = true;
  CompareFunction compareFunction_;

  // Mouse and keyboard.
  bool editable_ = true;
  bool listMode_ = false;
  bool dragAndDropEnabled_ = false;
  bool fixedColumnClickSelectsRow_ = true;
  bool fixedRowClickSelectsColumn_ = true;
  bool sortOnHeaderClick_ = false;
  bool handleTabKey_ = true;
  bool allowColumnResize_ = true;
  bool allowRowResize_ = true;
  bool allowColumnHide_ = true;
  bool allowRowHide_ = true;
  bool reopenHiddenColumns_ = true;
  bool reopenHiddenRows_ = true;
  int edgeGrabWidth_ = 3;
  int autoScrollInterval_ = 25;
  MouseMode mouseMode_ = ModeIdle;
  bool leftButtonDown_ = false;
  bool rightButtonDown_ = false;
  QPoint leftClickDownPoint_;
  CellId leftClickDownCell_;
  QPoint lastMousePoint_;
  // Where the mouse was last seen while the button is held, inside the grid or not.
  QPoint heldMousePoint_;
  CellId selectionStartCell_;
  QBasicTimer autoScrollTimer_;
  // The inverted line that follows a divider being dragged; empty when none.
  QRect trackingLine_;

  GridOwnerCallback ownerCallback_;

  // Title tips, drag and drop.
  bool showTips_ = true;
  CTitleTip* titleTip_ = nullptr;
  CellId dropCell_;
  // While this grid drags cells out: the cells dragged, and those a drop on
  // this same grid wrote, which a move must not empty again.
  bool draggingOut_ = false;
  std::vector<CellId> dragSourceCells_;
  std::vector<CellId> cellsWrittenByDrop_;

  // Scrolling state. Positions are pixels; a bar whose range would not fit
  // into an int counts in coarser units (scrollUnit_).
  CellId topLeftCell_{-1, -1};
  int scrollBarsShown_ = 0;
  std::int64_t verticalScrollMax_ = 0;
  std::int64_t horizontalScrollMax_ = 0;
  std::int64_t scrollPosition_[2] = {0, 0};
  std::int64_t scrollUnit_[2] = {1, 1};
  QScrollBar* bars_[2] = {nullptr, nullptr};
  bool updatingBars_ = false;
  QPixmap paintBuffer_;
  bool resizing_ = false;
  int wheelLines_ = 3;
  int wheelRemainder_ = 0;
};

}  // namespace varnolt
