#include "platform/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVariant>
#include <limits>

namespace varnolt {

namespace {

constexpr const char* kControlIdProperty = "controlId";

// A single-selection list as the user knows it: a click or a key moves the
// selection, but nothing the user does leaves the list with no line selected
// (a click below the lines, Ctrl with a click on the selected line). Only the
// program clears it, for a value that names no line.
class ListBox : public QListWidget {
 public:
  using QListWidget::QListWidget;

 protected:
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override {
    const QItemSelectionModel::SelectionFlags command = QListWidget::selectionCommand(index, event);
    if (!index.isValid() || command.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)) {
      return QItemSelectionModel::NoUpdate;
    }
    return command;
  }
};

QWidget* MakeWidget(const ControlTemplate& control, QWidget* parent) {
  const QString text = QString::fromUtf8(control.text ? control.text : "");
  switch (control.kind) {
    case ControlKind::Label:
    case ControlKind::CentredLabel: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(control.kind == ControlKind::CentredLabel ? Qt::AlignHCenter | Qt::AlignTop
                                                                     : Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      // A line edit cuts its text at 32,767 characters unless told otherwise;
      // notes from a settings file may be longer and must come back whole.
      edit->setMaxLength(std::numeric_limits<int>::max());
      if (control.styles & ControlStyle::Number) edit->installEventFilter(new DigitsOnlyFilter(edit));
      return edit;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(false);  // Enter never presses a page's button
      return button;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(text, parent);
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(text, parent);
      group->setFocusPolicy(Qt::NoFocus);
      return group;
    }
    case ControlKind::ListBox: {
      auto* list = new ListBox(parent);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setVerticalScrollBarPolicy((control.styles & ControlStyle::VScroll) ? Qt::ScrollBarAsNeeded
                                                                                 : Qt::ScrollBarAlwaysOff);
      list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
      return list;
    }
    case ControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(false);
      combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
      return combo;
    }
    case ControlKind::Custom: {
      // Stands in for a control whose class the page replaces once it is built.
      auto* frame = new QFrame(parent);
      frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
      frame->setProperty("windowClass", QString::fromUtf8(control.windowClass ? control.windowClass : ""));
      frame->setAccessibleName(text);
      return frame;
    }
  }
  return new QWidget(parent);
}

}  // namespace

QWidget* CreateControl(const ControlTemplate& control, QWidget* parent, DialogBaseUnits base) {
  QWidget* widget = MakeWidget(control, parent);
  SetControlId(widget, control.id);
  widget->setGeometry(DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), base));
  const bool focusable = control.kind != ControlKind::Label && control.kind != ControlKind::CentredLabel &&
                         control.kind != ControlKind::GroupBox;
  if (focusable) {
    widget->setFocusPolicy((control.styles & ControlStyle::TabStop) || control.kind == ControlKind::Edit ||
                                   control.kind == ControlKind::ListBox || control.kind == ControlKind::ComboBox
                               ? Qt::StrongFocus
                               : Qt::ClickFocus);
  }
  return widget;
}

int ControlId(const QWidget* widget) {
  return widget ? widget->property(kControlIdProperty).toInt() : 0;
}

void SetControlId(QWidget* widget, int controlId) {
  widget->setProperty(kControlIdProperty, controlId);
  widget->setObjectName(QStringLiteral("control%1").arg(controlId));
}

bool DigitsOnlyFilter::AdmitsTyped(const QString& text) {
  for (const QChar c : text) {
    const bool control = c.unicode() < 0x20 || c.unicode() == 0x7F;
    if (!control && !(c >= QLatin1Char('0') && c <= QLatin1Char('9'))) return false;
  }
  return true;
}

bool DigitsOnlyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!shortcut && !AdmitsTyped(key->text())) return true;
  } else if (event->type() == QEvent::InputMethod) {
    if (!AdmitsTyped(static_cast<QInputMethodEvent*>(event)->commitString())) return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace varnolt
