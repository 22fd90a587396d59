#pragma once
// The tabs of a property sheet. When the captions do not fit in one row they
// wrap into several rows, each stretched to the full width, and the row that
// holds the current tab sits next to the page, so every tab stays in sight.
// A click only asks for a tab (TabClicked); the sheet decides whether the
// current page may be left and then moves the selection.

#include <QWidget>
#include <vector>

namespace varnolt {

class PageTabs : public QWidget {
  Q_OBJECT

 public:
  explicit PageTabs(QWidget* parent = nullptr);

  int AddTab(const QString& text);
  int Count() const { return static_cast<int>(texts_.size()); }
  QString TabText(int index) const;
  int CurrentIndex() const { return current_; }
  // Moves the selection; emits nothing.
  void SetCurrentIndex(int index);
  QRect TabRect(int index) const;
  int TabAt(const QPoint& point) const;
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Fixes the strip's width; its height follows from the rows it needs.
  void SetStripWidth(int width);

  QSize sizeHint() const override;

 signals:
  void TabClicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int NaturalWidth(int index) const;
  int RowHeight() const;
  // Splits the tabs into rows for the current width and places them.
  void Relayout();

  std::vector<QString> texts_;
  std::vector<std::vector<int>> rows_;  // tab indices, in reading order
  std::vector<QRect> rects_;
  int current_ = -1;
};

}  // namespace varnolt
