#include "platform/PropertyPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

#include "platform/Controls.h"
#include "platform/IntegerText.h"
#include "platform/PropertySheet.h"
#include "platform/Prompts.h"

namespace varnolt {

namespace {

// Thrown by CDataExchange::Fail, caught by UpdateData.
struct ExchangeStopped {};

}  // namespace

// --- Data exchange -----------------------------------------------------------

QWidget* CDataExchange::PrepareControl(int controlId) {
  lastControl_ = controlId;
  QWidget* control = m_pDlgWnd->GetDlgItem(controlId);
  if (!control) {
    qWarning("Data exchange with control %d, which the page does not have", controlId);
    throw ExchangeStopped{};
  }
  return control;
}

void CDataExchange::Fail() {
  m_pDlgWnd->FocusAndSelect(lastControl_);
  throw ExchangeStopped{};
}

void DDX_Text(CDataExchange* dx, int controlId, std::int32_t& value) {
  auto* edit = qobject_cast<QLineEdit*>(dx->PrepareControl(controlId));
  if (!edit) return;
  if (dx->m_bSaveAndValidate) {
    const std::optional<std::int32_t> read = ReadInteger(edit->text().left(kIntegerReadLimit).toStdString());
    if (!read) {
      CurrentPrompts().Message(dx->m_pDlgWnd->Window(), {QString::fromUtf8(kEnterIntegerMessage),
                                                         QCoreApplication::applicationName(), MessageIcon::Warning,
                                                         MessageButtons::Ok});
      dx->Fail();
    }
    value = *read;
  } else {
    const QString text = QString::fromStdString(FormatInteger(value));
    if (edit->text() != text) edit->setText(text);
  }
}

void DDX_Text(CDataExchange* dx, int controlId, std::string& value) {
  auto* edit = qobject_cast<QLineEdit*>(dx->PrepareControl(controlId));
  if (!edit) return;
  if (dx->m_bSaveAndValidate) {
    value = edit->text().toStdString();
  } else {
    const QString text = QString::fromStdString(value);
    if (edit->text() != text) edit->setText(text);
  }
}

void DDX_Check(CDataExchange* dx, int controlId, std::int32_t& value) {
  auto* box = qobject_cast<QCheckBox*>(dx->PrepareControl(controlId));
  if (!box) return;
  if (dx->m_bSaveAndValidate) {
    switch (box->checkState()) {
      case Qt::Checked: value = 1; break;
      case Qt::PartiallyChecked: value = 2; break;
      case Qt::Unchecked: value = 0; break;
    }
  } else {
    if (value < 0 || value > 2) value = 0;
    // 2 is the third state a check box can hold; a file may bring it in, and it
    // is kept as it is until the user clicks the box.
    box->setTristate(value == 2);
    box->setCheckState(value == 2 ? Qt::PartiallyChecked : value == 1 ? Qt::Checked : Qt::Unchecked);
  }
}

void DDX_LBIndex(CDataExchange* dx, int controlId, std::int32_t& value) {
  auto* list = qobject_cast<QListWidget*>(dx->PrepareControl(controlId));
  if (!list) return;
  if (dx->m_bSaveAndValidate) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    value = selected.isEmpty() ? -1 : list->row(selected.constFirst());
  } else {
    dx->m_pDlgWnd->ListSetCurSel(controlId, value);
  }
}

// --- The page ----------------------------------------------------------------

CPropertyPage::CPropertyPage(const DialogTemplate& dialogTemplate)
    : template_(dialogTemplate),
      baseUnits_(BaseUnitsOf(TemplateFont(dialogTemplate.fontName, dialogTemplate.fontPointSize))) {}

CPropertyPage::~CPropertyPage() {
  // The window belongs to the sheet's widgets, but it must not outlive the page
  // whose handlers its controls call.
  delete window_.data();
}

QString CPropertyPage::Caption() const { return QString::fromUtf8(template_.caption); }

QSize CPropertyPage::PixelSize() const {
  return DialogUnitsToPixels(QSize(template_.width, template_.height), baseUnits_);
}

QWidget* CPropertyPage::GetDlgItem(int controlId) const {
  for (const auto& [id, widget] : controls_) {
    if (id == controlId) return widget;
  }
  return nullptr;
}

void CPropertyPage::Create(QWidget* parent) {
  if (window_) return;
  window_ = new QWidget(parent);
  window_->setObjectName(QStringLiteral("page%1").arg(template_.id));
  window_->setFont(TemplateFont(template_.fontName, template_.fontPointSize));
  // The page fills its area when the window grows, never less than its template.
  window_->setMinimumSize(PixelSize());
  // An area that was never shown has no size of its own yet; its first resize
  // event brings the page along.
  window_->resize(PixelSize().expandedTo(parent && parent->isVisible() ? parent->size() : QSize()));
  if (parent) parent->installEventFilter(this);
  window_->installEventFilter(this);
  for (const ControlTemplate& control : template_.controls) {
    QWidget* widget = CreateControl(control, window_, baseUnits_);
    controls_.emplace_back(control.id, widget);
    ConnectNotifications(widget, control.id);
  }
  LayOutControls();
  window_->show();
  OnInitDialog();
}

bool CPropertyPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize && window_) {
    if (watched == window_->parentWidget()) {
      window_->resize(PixelSize().expandedTo(window_->parentWidget()->size()));
    } else if (watched == window_) {
      LayOutControls();
      OnSize();
    }
  }
  return QObject::eventFilter(watched, event);
}

void CPropertyPage::LayOutControls() {
  using namespace ControlStyle;
  const QSize grown = window_->size() - PixelSize();
  const int dx = std::max(grown.width(), 0);
  const int dy = std::max(grown.height(), 0);
  // The controls stand in template order: a text without an identifier of its
  // own (IDC_STATIC) is found by its place, not by the identifier it shares.
  for (std::size_t i = 0; i < template_.controls.size() && i < controls_.size(); ++i) {
    const ControlTemplate& control = template_.controls[i];
    if (!(control.styles & (FollowRight | FollowBottom | GrowWidth | GrowHeight))) continue;
    QWidget* widget = controls_[i].second;
    if (!widget) continue;
    QRect place = DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), baseUnits_);
    if (control.styles & FollowRight) place.translate(dx, 0);
    if (control.styles & FollowBottom) place.translate(0, dy);
    if (control.styles & GrowWidth) place.setWidth(place.width() + dx);
    if (control.styles & GrowHeight) place.setHeight(place.height() + dy);
    widget->setGeometry(place);
  }
}

void CPropertyPage::ConnectNotifications(QWidget* control, int controlId) {
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    connect(edit, &QLineEdit::textChanged, this, [this, controlId] { Dispatch(Notification::EditChange, controlId); });
  } else if (auto* box = qobject_cast<QCheckBox*>(control)) {
    connect(box, &QCheckBox::clicked, this, [this, box, controlId] {
      // After the user's click a box holds one of the two states again.
      if (box->isTristate() && box->checkState() != Qt::PartiallyChecked) box->setTristate(false);
      Dispatch(Notification::ButtonClicked, controlId);
    });
  } else if (auto* button = qobject_cast<QPushButton*>(control)) {
    connect(button, &QPushButton::clicked, this, [this, controlId] { Dispatch(Notification::ButtonClicked, controlId); });
  } else if (auto* list = qobject_cast<QListWidget*>(control)) {
    connect(list, &QListWidget::currentRowChanged, this,
            [this, controlId] { Dispatch(Notification::ListSelectionChange, controlId); });
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    // Only the user's choice: lines chosen from code raise nothing.
    connect(combo, &QComboBox::activated, this,
            [this, controlId] { Dispatch(Notification::ListSelectionChange, controlId); });
  }
}

void CPropertyPage::OnNotification(Notification code, int firstId, int lastId, std::function<void()> handler) {
  messageMap_.push_back({code, firstId, lastId, std::move(handler)});
}

void CPropertyPage::Dispatch(Notification code, int controlId) {
  if (exchanging_) return;
  for (const MessageMapEntry& entry : messageMap_) {
    if (entry.code == code && controlId >= entry.firstId && controlId <= entry.lastId) {
      entry.handler();
      return;
    }
  }
}

bool CPropertyPage::UpdateData(bool saveAndValidate) {
  if (!window_) return false;
  const bool wasExchanging = exchanging_;
  exchanging_ = true;
  bool ok = true;
  try {
    CDataExchange dx(*this, saveAndValidate);
    DoDataExchange(&dx);
  } catch (const ExchangeStopped&) {
    ok = false;
  }
  exchanging_ = wasExchanging;
  return ok;
}

void CPropertyPage::DoDataExchange(CDataExchange*) {}

bool CPropertyPage::OnInitDialog() {
  UpdateData(false);
  return true;
}

bool CPropertyPage::OnSetActive() {
  if (firstSetActive_) {
    firstSetActive_ = false;
  } else {
    UpdateData(false);
  }
  return true;
}

bool CPropertyPage::OnKillActive() { return UpdateData(true); }

bool CPropertyPage::PreTranslateMessage(QObject*, QKeyEvent*) { return false; }

void CPropertyPage::EnableControl(int controlId, bool enabled) {
  if (QWidget* control = GetDlgItem(controlId)) control->setEnabled(enabled);
}

void CPropertyPage::FocusAndSelect(int controlId) {
  QWidget* control = GetDlgItem(controlId);
  if (!control) return;
  control->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->selectAll();  // also brings the caret's end of the text into view
  }
}

void CPropertyPage::ListAddString(int controlId, const QString& text) {
  if (auto* list = qobject_cast<QListWidget*>(GetDlgItem(controlId))) {
    const QSignalBlocker blocker(list);
    list->addItem(text);
  }
}

void CPropertyPage::ListSetCurSel(int controlId, int index) {
  auto* list = qobject_cast<QListWidget*>(GetDlgItem(controlId));
  if (!list) return;
  const QSignalBlocker blocker(list);
  if (index >= 0 && index < list->count()) {
    list->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  } else {
    list->clearSelection();
    list->setCurrentRow(-1);
  }
  list->viewport()->update();
}

QWidget* CPropertyPage::ReplaceControl(int controlId, QWidget* replacement) {
  for (auto& [id, widget] : controls_) {
    if (id != controlId || !widget) continue;
    QWidget* old = widget;
    replacement->setParent(window_);
    replacement->setGeometry(old->geometry());
    SetControlId(replacement, controlId);
    QWidget::setTabOrder(old, replacement);
    replacement->show();
    widget = replacement;
    delete old;
    ConnectNotifications(replacement, controlId);
    return replacement;
  }
  return nullptr;
}

}  // namespace varnolt
