// Writes the program's icon for the desktop's icon theme from the same drawing
// as the window icon: a scalable SVG and PNGs at the usual sizes, laid out as
// the hicolor theme wants them (SIZExSIZE/apps/varnolt.png, scalable/apps/varnolt.svg).
// Run by the build; its output is installed under share/icons/hicolor. Given a
// second file name, it also writes the Windows icon (.ico) of the program.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>
#include <iterator>

#include "resources/Resources.h"

namespace varnolt {

namespace {

QImage IconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  PaintApplicationIcon(painter, size);
  painter.end();
  return image;
}

void AppendLittleEndian(QByteArray& bytes, quint32 value, int width) {
  for (int i = 0; i < width; ++i) bytes.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A Windows icon file holding the picture at the sizes Windows asks for, each
// stored as PNG (as Windows reads them since Vista).
bool WriteWindowsIcon(const QString& path) {
  const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
  const int count = static_cast<int>(std::size(sizes));
  QByteArray directory;
  QByteArray pictures;
  AppendLittleEndian(directory, 0, 2);  // reserved
  AppendLittleEndian(directory, 1, 2);  // an icon, not a cursor
  AppendLittleEndian(directory, static_cast<quint32>(count), 2);
  const int headerSize = 6 + 16 * count;
  for (int size : sizes) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!IconImage(size).save(&buffer, "PNG")) return false;
    directory.append(static_cast<char>(size == 256 ? 0 : size));  // 0 means 256
    directory.append(static_cast<char>(size == 256 ? 0 : size));
    directory.append('\0');  // no palette
    directory.append('\0');  // reserved
    AppendLittleEndian(directory, 1, 2);   // colour planes
    AppendLittleEndian(directory, 32, 2);  // bits per pixel
    AppendLittleEndian(directory, static_cast<quint32>(png.size()), 4);
    AppendLittleEndian(directory, static_cast<quint32>(headerSize + pictures.size()), 4);
    pictures.append(png);
  }
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(directory + pictures) == directory.size() + pictures.size() &&
         file.flush();
}

}  // namespace

}  // namespace varnolt

int main(int argc, char* argv[]) {
  using namespace varnolt;
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: varnolt-icon-export FOLDER [ICON.ico]\n");
    return 2;
  }
  // Drawing needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QDir root(QString::fromLocal8Bit(argv[1]));

  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1x%1/apps").arg(size);
    if (!root.mkpath(folder) || !IconImage(size).save(root.filePath(folder + "/varnolt.png"))) {
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

  if (argc == 3 && !WriteWindowsIcon(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "varnolt-icon-export: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
