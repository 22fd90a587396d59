#include "platform/PageTabs.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionTab>
#include <QTabBar>

namespace varnolt {

namespace {
constexpr int kHorizontalPadding = 9;
constexpr int kVerticalPadding = 5;
}  // namespace

PageTabs::PageTabs(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::TabFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

int PageTabs::AddTab(const QString& text) {
  texts_.push_back(text);
  if (current_ < 0) current_ = 0;
  Relayout();
  return Count() - 1;
}

QString PageTabs::TabText(int index) const {
  return index >= 0 && index < Count() ? texts_[static_cast<std::size_t>(index)] : QString();
}

void PageTabs::SetCurrentIndex(int index) {
  if (index < 0 || index >= Count() || index == current_) return;
  current_ = index;
  Relayout();
}

QRect PageTabs::TabRect(int index) const {
  return index >= 0 && index < static_cast<int>(rects_.size()) ? rects_[static_cast<std::size_t>(index)] : QRect();
}

int PageTabs::TabAt(const QPoint& point) const {
  for (int index = 0; index < static_cast<int>(rects_.size()); ++index) {
    if (rects_[static_cast<std::size_t>(index)].contains(point)) return index;
  }
  return -1;
}

void PageTabs::SetStripWidth(int width) {
  setFixedWidth(width);
  Relayout();
}

QSize PageTabs::sizeHint() const { return QSize(width(), RowCount() * RowHeight()); }

int PageTabs::NaturalWidth(int index) const {
  return fontMetrics().horizontalAdvance(TabText(index)) + 2 * kHorizontalPadding;
}

int PageTabs::RowHeight() const { return fontMetrics().height() + 2 * kVerticalPadding; }

void PageTabs::Relayout() {
  const int available = std::max(width(), 1);
  // Split greedily within `limit` pixels per row.
  auto split = [this](int limit) {
    std::vector<std::vector<int>> rows;
    std::vector<int> row;
    int used = 0;
    for (int index = 0; index < Count(); ++index) {
      const int natural = NaturalWidth(index);
      if (!row.empty() && used + natural > limit) {
        rows.push_back(row);
        row.clear();
        used = 0;
      }
      row.push_back(index);
      used += natural;
    }
    if (!row.empty()) rows.push_back(row);
    return rows;
  };
  rows_ = split(available);
  // As few rows as the width allows, but filled evenly: no row of one lonely tab.
  if (RowCount() > 1) {
    int total = 0;
    for (int index = 0; index < Count(); ++index) total += NaturalWidth(index);
    for (int limit = total / RowCount(); limit < available; limit += 4) {
      std::vector<std::vector<int>> balanced = split(limit);
      if (static_cast<int>(balanced.size()) <= RowCount()) {
        rows_ = std::move(balanced);
        break;
      }
    }
  }

  // The current tab's row goes to the bottom, next to the page; the others keep
  // their order above it, as the rows of a card index would.
  int currentRow = 0;
  for (int r = 0; r < RowCount(); ++r) {
    for (int index : rows_[static_cast<std::size_t>(r)]) {
      if (index == current_) currentRow = r;
    }
  }
  rects_.assign(static_cast<std::size_t>(Count()), QRect());
  const int rowHeight = RowHeight();
  for (int shown = 0; shown < RowCount(); ++shown) {
    const int r = (currentRow + 1 + shown) % RowCount();
    const std::vector<int>& tabs = rows_[static_cast<std::size_t>(r)];
    int natural = 0;
    for (int index : tabs) natural += NaturalWidth(index);
    // Stretched to the full width when there is more than one row.
    const bool stretch = RowCount() > 1;
    int x = 0;
    int spare = stretch ? available - natural : 0;
    for (std::size_t t = 0; t < tabs.size(); ++t) {
      const int extra = stretch ? spare / static_cast<int>(tabs.size() - t) : 0;
      spare -= extra;
      const int tabWidth = NaturalWidth(tabs[t]) + extra;
      rects_[static_cast<std::size_t>(tabs[t])] = QRect(x, shown * rowHeight, tabWidth, rowHeight);
      x += tabWidth;
    }
  }
  setFixedHeight(std::max(RowCount(), 1) * rowHeight);
  update();
}

void PageTabs::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (const std::vector<int>& row : rows_) {
    for (std::size_t t = 0; t < row.size(); ++t) {
      const int index = row[t];
      QStyleOptionTab option;
      option.initFrom(this);
      option.rect = TabRect(index);
      option.text = TabText(index);
      option.shape = QTabBar::RoundedNorth;
      option.position = row.size() == 1 ? QStyleOptionTab::OnlyOneTab
                        : t == 0        ? QStyleOptionTab::Beginning
                        : t + 1 == row.size() ? QStyleOptionTab::End
                                              : QStyleOptionTab::Middle;
      option.state &= ~QStyle::State_HasFocus;
      if (index == current_) {
        option.state |= QStyle::State_Selected;
        if (hasFocus()) option.state |= QStyle::State_HasFocus;
      }
      style()->drawControl(QStyle::CE_TabBarTab, &option, &painter, this);
    }
  }
}

void PageTabs::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  const int index = TabAt(event->position().toPoint());
  if (index >= 0 && index != current_) emit TabClicked(index);
}

void PageTabs::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Left && current_ > 0) {
    emit TabClicked(current_ - 1);
  } else if (event->key() == Qt::Key_Right && current_ + 1 < Count()) {
    emit TabClicked(current_ + 1);
  } else {
    QWidget::keyPressEvent(event);
  }
}

void PageTabs::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) Relayout();
  QWidget::changeEvent(event);
}

}  // namespace varnolt
