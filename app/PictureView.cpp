#include "app/PictureView.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>

namespace varnolt {

CPictureView::CPictureView(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
}

void CPictureView::SetDrawing(Drawing drawing, const QString& emptyText) {
  drawing_ = std::move(drawing);
  emptyText_ = emptyText;
  image_ = QImage();
  problem_.clear();
  ScheduleRedraw();
  update();
}

void CPictureView::ScheduleRedraw() {
  if (scheduled_ || !drawing_) return;
  scheduled_ = true;
  // Once the layout has settled: a window being resized sends many sizes.
  QTimer::singleShot(0, this, [this] {
    scheduled_ = false;
    Redraw();
  });
}

void CPictureView::Redraw() {
  if (!drawing_) return;
  // The smallest picture the plot code draws; a smaller widget shows it scaled down.
  const PictureSize size{std::max(width(), MinPictureSide), std::max(height(), MinPictureSide)};
  std::string bytes;
  if (std::optional<std::string> failure = drawing_(size, bytes)) {
    problem_ = QString::fromStdString(*failure);
    image_ = QImage();
  } else {
    image_ = QImage::fromData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())), "PNG");
    image_.detach();  // the bytes go out of scope
    problem_.clear();
  }
  update();
}

void CPictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!image_.isNull()) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(rect(), image_);
  } else {
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                     problem_.isEmpty() ? emptyText_ : problem_);
  }
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CPictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ScheduleRedraw();
}

}  // namespace varnolt
