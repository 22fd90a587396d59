#include "grid/GridTitleTip.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

namespace varnolt {

CTitleTip::CTitleTip(QWidget* owner)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput),
      owner_(owner) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

CTitleTip::~CTitleTip() { qApp->removeEventFilter(this); }

bool CTitleTip::Show(const QRect& textRect, const QString& text, int xOffset, const QRect& hoverRect,
                     const QFont& font, GridColour textColour, GridColour backColour) {
  if (textRect.isEmpty() || isVisible() || !QApplication::focusWidget()) return false;

  const QString padded = QLatin1Char(' ') + text + QLatin1Char(' ');
  const QFontMetrics metrics(font, owner_);
  const int width = metrics.horizontalAdvance(padded);
  if (width <= textRect.width()) return false;

  shownText_ = padded;
  xOffset_ = xOffset;
  const QPalette& colours = QApplication::palette();
  textColour_ = textColour == CLR_DEFAULT ? colours.color(QPalette::ToolTipText) : QColorFrom(textColour);
  backColour_ = backColour == CLR_DEFAULT ? colours.color(QPalette::ToolTipBase) : QColorFrom(backColour);
  setFont(font);
  hoverRect_ = QRect(owner_->mapToGlobal(hoverRect.topLeft()), hoverRect.size()).adjusted(-1, -1, 1, 1);
  const QPoint topLeft = owner_->mapToGlobal(textRect.topLeft());
  setGeometry(topLeft.x(), topLeft.y(), width, textRect.height());
  // Watching the whole application is how the tip sees the key presses and
  // mouse moves that pass it by.
  qApp->installEventFilter(this);
  show();
  raise();
  update();
  return true;
}

void CTitleTip::Hide() {
  qApp->removeEventFilter(this);
  hide();
}

void CTitleTip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), backColour_);
  painter.setPen(textColour_);
  painter.setFont(font());
  painter.drawText(rect().adjusted(-xOffset_, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   shownText_);
  // The thin border of a tip window.
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

bool CTitleTip::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
      if (!hoverRect_.contains(static_cast<QMouseEvent*>(event)->globalPosition().toPoint())) Hide();
      break;
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ApplicationDeactivate:
      Hide();
      break;
    case QEvent::Leave:
      // The grid is left for another window, not for the tip over it.
      if (watched == owner_ && !hoverRect_.contains(QCursor::pos())) Hide();
      break;
    default:
      break;
  }
  return false;
}

}  // namespace varnolt
