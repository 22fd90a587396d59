// Writes the program's icon for the desktop's icon theme from the same drawing
// as the window icon: a scalable SVG and PNGs at the usual sizes, laid out as
// the hicolor theme wants them (SIZExSIZE/apps/varnolt.png, scalable/apps/varnolt.svg).
// Run by the build; its output is installed under share/icons/hicolor.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

#include "resources/Resources.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: varnolt-icon-export FOLDER\n");
    return 2;
  }
  // Drawing needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QDir root(QString::fromLocal8Bit(argv[1]));

  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    PaintApplicationIcon(painter, size);
    painter.end();
    if (!root.mkpath(folder) || !image.save(root.filePath(folder + "/varnolt.png"))) {
      std::fprintf(stderr, "varnolt-icon-export: cannot write %s\n", qPrintable(root.filePath(folder)));
      return 1;
    }
  }

  const QString svgPath = root.filePath(QStringLiteral("scalable/apps/varnolt.svg"));
  if (!root.mkpath(QStringLiteral("scalable/apps"))) return 1;
  QSvgGenerator svg;
  svg.setFileName(svgPath);
  svg.setSize(QSize(32, 32));
  svg.setViewBox(QRect(0, 0, 32, 32));
  svg.setTitle(QStringLiteral("VARNOLT"));
  svg.setDescription(QStringLiteral("An oil palm with a fruit bunch"));
  QPainter painter;
  if (!painter.begin(&svg)) {
    std::fprintf(stderr, "varnolt-icon-export: cannot write %s\n", qPrintable(svgPath));
    return 1;
  }
  PaintApplicationIcon(painter, 32);
  painter.end();
  return 0;
}
