#pragma once
// A picture drawn by the plot code at the size of the widget: the chart of an
// experiment's results, exactly as its saved picture draws it. The picture is
// drawn again (after the event queue has settled) whenever the widget's size
// or the picture changes.

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "plot/PictureFile.h"

namespace varnolt {

class CPictureView : public QWidget {
  Q_OBJECT
 public:
  // Draws a PNG of the given size into `bytes`; answers why when it cannot.
  using Drawing = std::function<std::optional<std::string>(PictureSize size, std::string& bytes)>;

  explicit CPictureView(QWidget* parent = nullptr);

  // The picture to show; none clears it and shows `emptyText` instead.
  void SetDrawing(Drawing drawing, const QString& emptyText = QString());
  // The picture as last drawn (for tests and the screen alike).
  const QImage& Image() const { return image_; }
  // Draws it now at the widget's size, rather than once the queue has settled.
  void Redraw();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ScheduleRedraw();

  Drawing drawing_;
  QString emptyText_;
  QString problem_;
  QImage image_;
  bool scheduled_ = false;
};

}  // namespace varnolt
