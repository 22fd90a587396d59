// CGridCtrl: construction, the widget's events, owner notifications, colours.

#include "grid/GridCtrl.h"
#include "grid/GridInPlaceEdit.h"
#include "grid/GridTitleTip.h"

#include <QApplication>
#include <QEvent>
#include <QHideEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace varnolt {

CGridCtrl::CGridCtrl(int rows, int columns, int fixedRows, int fixedColumns, QWidget* parent)
    : QWidget(parent) {
  // Every pixel of the client area is painted here; Qt need not erase it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::WheelFocus);
  // Moves with no button held change the cursor over dividers.
  setMouseTracking(true);
  SetCellClass<CGridCell>();
  ReadSystemColours();
  gridBackColour_ = shadowColour_;
  wheelLines_ = WheelLinesFromDesktop(QApplication::wheelScrollLines());

  for (Direction direction : {Horizontal, Vertical}) {
    auto* bar = new QScrollBar(direction == Vertical ? Qt::Vertical : Qt::Horizontal, this);
    bar->hide();
    bar->setRange(0, 0);
    connect(bar, &QScrollBar::actionTriggered, this, [this, direction](int action) { OnScrollBarAction(direction, action); });
    connect(bar, &QScrollBar::valueChanged, this, [this, direction](int value) { OnScrollBarValue(direction, value); });
    bar->installEventFilter(this);
    bars_[direction] = bar;
  }

  SetUpDefaultCells();
  SetRowTotal(rows);
  SetColumnTotal(columns);
  SetHeaderRowTotal(fixedRows);
  SetHeaderColumnTotal(fixedColumns);
  selectedCells_.clear();
  previousSelectedCells_.clear();
}

// A desktop setting of 0 means no wheel scrolling and is kept; 3 is only for a
// desktop that gives no setting (a negative answer).
int CGridCtrl::WheelLinesFromDesktop(int desktopLines) { return desktopLines >= 0 ? desktopLines : 3; }

CGridCtrl::~CGridCtrl() {
  allowDraw_ = false;
  // An open editor must not report to a grid that is going away; it goes
  // with the grid's children.
  for (CInPlaceEdit* editor : findChildren<CInPlaceEdit*>(Qt::FindDirectChildrenOnly)) editor->Abandon();
  delete titleTip_;
  RemoveAllCells();
}

void CGridCtrl::DropEditors(int keptRows, int keptColumns) {
  for (CInPlaceEdit* editor : findChildren<CInPlaceEdit*>(Qt::FindDirectChildrenOnly)) {
    if (editor->HasEnded() || (editor->Row() < keptRows && editor->Column() < keptColumns)) continue;
    editor->Abandon();
    // The keyboard stays with the grid rather than wandering to the next control.
    if (editor->hasFocus() && isVisible()) setFocus(Qt::OtherFocusReason);
    editor->Close();
    if (CGridCellBase* cell = CellAt(editor->Row(), editor->Column()); cell && cell->GetEditWindow() == editor)
      cell->EditEnded();
  }
}

// A grid hidden by the program (its page left, its window closed) drops an
// open edit; a window merely minimised keeps it.
void CGridCtrl::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) DropEditors(0, 0);
}

void CGridCtrl::SetUpDefaultCells() {
  for (CGridDefaultCell* cell : DefaultCells()) {
    cell->SetGrid(this);
    cell->SetTextColour(windowTextColour_);
    cell->SetBackColour(cell == &defaultCell_ ? windowColour_ : faceColour_);
  }
}

CGridDefaultCell* CGridCtrl::DefaultCellFor(bool fixedRow, bool fixedColumn) const {
  const CGridDefaultCell* cell = &defaultCell_;
  if (fixedRow && fixedColumn) cell = &defaultFixedRowColumnCell_;
  else if (fixedRow) cell = &defaultFixedRowCell_;
  else if (fixedColumn) cell = &defaultFixedColumnCell_;
  // The default cells belong to the grid; handing them out for change is what
  // they are for.
  return const_cast<CGridDefaultCell*>(cell);
}

// The desktop's window-text, window, 3D-face and shadow colours are the
// palette's Text, Base, Button and Dark roles.
void CGridCtrl::ReadSystemColours() {
  const QPalette& colours = palette();
  windowTextColour_ = GridColourFrom(colours.color(QPalette::Text));
  windowColour_ = GridColourFrom(colours.color(QPalette::Base));
  faceColour_ = GridColourFrom(colours.color(QPalette::Button));
  shadowColour_ = GridColourFrom(colours.color(QPalette::Dark));
}

QColor CGridCtrl::FallbackTextColour(bool fixed) const {
  return palette().color(fixed ? QPalette::ButtonText : QPalette::Text);
}

QColor CGridCtrl::FallbackBackColour(bool fixed) const {
  return palette().color(fixed ? QPalette::Button : QPalette::Base);
}

void CGridCtrl::OnSysColorChange() {
  const QPalette& colours = palette();
  const GridColour newWindowText = GridColourFrom(colours.color(QPalette::Text));
  const GridColour newWindow = GridColourFrom(colours.color(QPalette::Base));
  // Only colours that still follow the desktop change; chosen ones stay.
  for (CGridDefaultCell* cell : DefaultCells()) {
    if (cell->GetTextColour() == windowTextColour_) cell->SetTextColour(newWindowText);
    if (cell->GetBackColour() == windowColour_) cell->SetBackColour(newWindow);
  }
  if (gridBackColour_ == shadowColour_) gridBackColour_ = GridColourFrom(colours.color(QPalette::Dark));
  ReadSystemColours();
  Invalidate();
}

void CGridCtrl::OnSetFont(const QFont& font) {
  GridFont logical;
  logical.face = font;
  for (CGridDefaultCell* cell : DefaultCells())
    cell->SetFont(&logical);
  Invalidate();
}

QFont CGridCtrl::CurrentFont() const { return defaultCell_.GetFontObject(); }

void CGridCtrl::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) OnSetFont(font());
  else if (event->type() == QEvent::PaletteChange) OnSysColorChange();
}

void CGridCtrl::Invalidate() {
  if (allowDraw_) update();
}

void CGridCtrl::InvalidateRect(const QRect& rect) {
  if (allowDraw_) update(rect);
}

void CGridCtrl::SetAllowDraw(bool allow) {
  const bool was = allowDraw_;
  allowDraw_ = allow;
  if (allow && !was) {
    ResetScrollBars();
    Invalidate();
  }
}

void CGridCtrl::SetGridLines(int lines) {
  gridLines_ = lines & GridLinesBoth;
  Invalidate();
}

void CGridCtrl::SetGridLineColour(GridColour colour) {
  gridLineColour_ = colour;
  Invalidate();
}

void CGridCtrl::SetGridBackColour(GridColour colour) {
  gridBackColour_ = colour;
  Invalidate();
}

void CGridCtrl::SetImageList(std::vector<QPixmap> images) {
  imageList_ = std::move(images);
  Invalidate();
}

long CGridCtrl::SendMessageToParent(int row, int column, int code) {
  if (!ownerCallback_) return 0;
  GridNotification notification;
  notification.code = code;
  notification.row = row;
  notification.column = column;
  return ownerCallback_(notification);
}

long CGridCtrl::SendCacheHint(const CellRange& range) {
  if (!ownerCallback_) return 0;
  GridNotification notification;
  notification.code = LVN_ODCACHEHINT;
  notification.cacheRange = range;
  return ownerCallback_(notification);
}

// A wheel turned over either scroll bar scrolls rows, as over the cells: not
// the bar's own pixel steps, and never sideways.
bool CGridCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Wheel && (watched == bars_[Vertical] || watched == bars_[Horizontal])) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CGridCtrl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // Showing or hiding a scroll bar must not start another round.
  if (resizing_) return;
  resizing_ = true;
  ResetScrollBars();
  resizing_ = false;
}

QSize CGridCtrl::sizeHint() const {
  const auto clamp = [](std::int64_t value, int low, int high) {
    return int(std::max<std::int64_t>(low, std::min<std::int64_t>(high, value)));
  };
  return QSize(clamp(TotalColumnsWidth() + 2, 100, 800), clamp(TotalRowsHeight() + 2, 80, 600));
}

}  // namespace varnolt
