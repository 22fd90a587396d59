#pragma once
// CTitleTip: a small frameless window that shows the whole text of a grid cell
// whose text is cut off, laid exactly over the cell's text. It never takes the
// focus and lets every mouse event through to the window below; it hides on
// a key, a button press, or a move out of the cell.

#include "grid/GridTypes.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

namespace varnolt {

class CTitleTip : public QWidget {
  Q_OBJECT

 public:
  // The tip shows on the screen of the owner (the grid); it is a window of
  // its own, not a child.
  explicit CTitleTip(QWidget* owner);
  ~CTitleTip() override;

  // Offers a cell's text rectangle (in the owner's coordinates) and text.
  // The tip shows only when the text with one blank on each side does not
  // fit; true when it shows. Colours left at CLR_DEFAULT are the desktop's
  // tooltip colours.
  bool Show(const QRect& textRect, const QString& text, int xOffset, const QRect& hoverRect,
            const QFont& font, GridColour textColour = CLR_DEFAULT, GridColour backColour = CLR_DEFAULT);
  void Hide();

  // What is shown: the padded text, and the hover rectangle in global coordinates.
  QString ShownText() const { return shownText_; }
  QRect HoverRect() const { return hoverRect_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* owner_;
  QString shownText_;
  QRect hoverRect_;
  QColor textColour_;
  QColor backColour_;
  int xOffset_ = 0;
};

}  // namespace varnolt
