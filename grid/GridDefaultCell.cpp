#include "grid/GridDefaultCell.h"

#include <QApplication>
#include <QFontMetrics>

namespace varnolt {

CGridDefaultCell::CGridDefaultCell() {
  format_ = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
  // The desktop's message-box font is the starting font of every grid.
  GridFont font;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) font.face = QApplication::font("QMessageBox");
  SetFont(&font);
}

void CGridDefaultCell::SetFont(const GridFont* font) {
  CGridCell::SetFont(font);
  fontObject_ = font ? font->face : QFont();
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // Nothing to measure with.
    SetMargin(3);
    width_ = 40;
    height_ = 16;
    return;
  }
  // The default column is as wide as a dozen X's between two blanks, and a
  // row half as high again as the text.
  const QFontMetrics metrics(fontObject_);
  SetMargin(std::uint32_t(metrics.horizontalAdvance(QStringLiteral(" "))));
  width_ = metrics.horizontalAdvance(QStringLiteral(" XXXXXXXXXXXX "));
  height_ = metrics.height() * 3 / 2;
}

}  // namespace varnolt
