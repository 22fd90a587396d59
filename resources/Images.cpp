// The program's own pictures, drawn here rather than kept as image files: the
// window icon (an oil palm with a fruit bunch) and the four menu images.
#include <QPainter>
#include <QPainterPath>

#include "resources/Resources.h"

namespace varnolt {

namespace {

// A small fixed palette of the classic sixteen-colour kind, so the icon and the
// toolbar images look alike at every size and depth.
const QColor kInk(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kGrey(128, 128, 128);
const QColor kSilver(192, 192, 192);
const QColor kGreen(0, 128, 0);
const QColor kLime(0, 200, 0);
const QColor kBrown(128, 64, 0);
const QColor kOrange(255, 128, 0);
const QColor kRed(192, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kNavy(0, 0, 128);
const QColor kBlue(0, 96, 255);

QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// The palm on a 32 x 32 grid; the caller scales the painter to the size it needs.
void PaintPalm(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  // Trunk, with the stubs of old frond bases.
  p.setPen(QPen(kInk, 1));
  p.setBrush(kBrown);
  p.drawPolygon(QPolygonF({{14, 31}, {18, 31}, {17.5, 13}, {14.5, 13}}));
  p.setPen(QPen(kInk, 0.8));
  for (int y = 16; y < 31; y += 3) p.drawLine(QPointF(14.5, y), QPointF(17.5, y - 1));
  // Fronds arching out from the crown.
  const QPointF crown(16, 12);
  const struct { QPointF control, tip; } fronds[] = {
      {{8, 2}, {1, 12}},   {{24, 2}, {31, 12}}, {{10, 6}, {3, 20}},
      {{22, 6}, {29, 20}}, {{14, 0}, {9, 2}},   {{18, 0}, {23, 2}},
  };
  for (const auto& frond : fronds) {
    QPainterPath path(crown);
    path.quadTo(frond.control, frond.tip);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kGreen, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
    p.setPen(QPen(kLime, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(path);
  }
  // The fruit bunch under the crown.
  p.setPen(QPen(kInk, 0.8));
  p.setBrush(kRed);
  p.drawEllipse(QPointF(19.5, 15.5), 3, 2.6);
  p.setBrush(kOrange);
  p.drawEllipse(QPointF(19, 15), 1.6, 1.3);
}

QPixmap PalmPicture(int size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.scale(size / 32.0, size / 32.0);
  PaintPalm(p);
  return pixmap;
}

QPixmap NewImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setPen(kInk);
  p.setBrush(kWhite);
  p.drawPolygon(QPolygon({{3, 1}, {10, 1}, {13, 4}, {13, 14}, {3, 14}}));
  p.drawPolyline(QPolygon({{10, 1}, {10, 4}, {13, 4}}));
  p.setPen(kSilver);
  for (int y = 7; y <= 11; y += 2) p.drawLine(5, y, 11, y);
  return pixmap;
}

QPixmap OpenImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setPen(kInk);
  p.setBrush(kYellow.darker(115));
  p.drawPolygon(QPolygon({{1, 3}, {5, 3}, {6, 4}, {12, 4}, {12, 13}, {1, 13}}));
  p.setBrush(kYellow);
  p.drawPolygon(QPolygon({{3, 7}, {15, 7}, {12, 13}, {1, 13}}));
  return pixmap;
}

QPixmap SaveImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  p.setPen(kInk);
  p.setBrush(kNavy);
  p.drawRect(1, 1, 13, 13);
  p.setBrush(kWhite);
  p.drawRect(3, 1, 9, 6);
  p.setBrush(kSilver);
  p.drawRect(4, 9, 7, 5);
  p.fillRect(8, 10, 2, 3, kNavy);
  return pixmap;
}

QPixmap ExitImage() {
  QPixmap pixmap = Blank(16);
  QPainter p(&pixmap);
  // An open door and an arrow leaving through it.
  p.setPen(kInk);
  p.setBrush(kGrey);
  p.drawRect(2, 1, 8, 13);
  p.setBrush(kBrown);
  p.drawPolygon(QPolygon({{2, 1}, {7, 3}, {7, 15}, {2, 14}}));
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawPolygon(QPolygon({{9, 6}, {12, 6}, {12, 4}, {15, 8}, {12, 12}, {12, 10}, {9, 10}}));
  return pixmap;
}

}  // namespace

void PaintApplicationIcon(QPainter& painter, double size) {
  painter.save();
  painter.scale(size / 32.0, size / 32.0);
  PaintPalm(painter);
  painter.restore();
}

QIcon ApplicationIcon() {
  QIcon icon;
  icon.addPixmap(PalmPicture(32));
  icon.addPixmap(PalmPicture(16));
  return icon;
}

std::map<int, QIcon> ToolbarImages() {
  using namespace resource;
  return {{ID_FILE_NEW, QIcon(NewImage())},
          {ID_FILE_OPEN, QIcon(OpenImage())},
          {ID_FILE_SAVE, QIcon(SaveImage())},
          {ID_FILE_EXIT, QIcon(ExitImage())}};
}

}  // namespace varnolt
