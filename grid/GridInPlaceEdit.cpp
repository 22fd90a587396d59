#include "grid/GridInPlaceEdit.h"

#include "grid/GridCtrl.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

#include <algorithm>

namespace varnolt {

namespace {

bool IsArrowOrPageKey(int key) {
  return key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Left || key == Qt::Key_Right ||
         key == Qt::Key_Up || key == Qt::Key_Down;
}

// Keys that the editor keeps from the dialog and from shortcuts.
bool IsEditorKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape || key == Qt::Key_Tab ||
         key == Qt::Key_Backtab;
}

}  // namespace

CInPlaceEdit::CInPlaceEdit(CGridCtrl* grid, const QRect& rect, std::uint32_t format, int id, int row, int column,
                           const QString& text)
    : QLineEdit(grid), grid_(grid), row_(row), column_(column), startText_(text), rect_(rect) {
  setProperty("controlId", id);
  setFrame(true);
  if (format & DT_RIGHT) setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  else if (format & DT_CENTER) setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  else setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setFont(grid->CurrentFont());
  setGeometry(rect);
  setText(text);
}

void CInPlaceEdit::Start(int character) {
  arrowsLeave_ = character != CGridCtrl::EditStartedByMouse;
  show();
  setFocus(Qt::OtherFocusReason);
  if (character == CGridCtrl::EditStartedByMouse || character == Qt::Key_Return || character == Qt::Key_Enter ||
      character == '\r') {
    end(false);
  } else if (character == Qt::Key_Backspace || character == '\b') {
    end(false);
    TypeKey(Qt::Key_Backspace, QString());
  } else if (character == ' ' || character == '\t' || KeyMovesToNextEdit(character)) {
    selectAll();
  } else {
    // A typed character replaces the whole text.
    selectAll();
    TypeCharacter(character);
  }
}

bool KeyMovesToNextEdit(int key) {
  switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
      return true;
    default:
      return false;
  }
}

void CInPlaceEdit::TypeCharacter(int character) {
  if (character <= 0 || character > 0x10FFFF) return;
  const char32_t codePoint = char32_t(character);
  TypeKey(0, QString::fromUcs4(&codePoint, 1));
}

void CInPlaceEdit::TypeKey(int key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(this, &press);
}

void CInPlaceEdit::Abandon() { ended_ = true; }

void CInPlaceEdit::Close() {
  hide();
  deleteLater();
}

bool CInPlaceEdit::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsEditorKey(key->key()) || IsArrowOrPageKey(key->key())) {
      key->accept();
      return true;
    }
  }
  // Tab would otherwise move the focus before the editor sees it.
  if (event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QLineEdit::event(event);
}

void CInPlaceEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  // Every key stays here: none may reach the grid or the dialog while editing.
  event->accept();
  if (IsArrowOrPageKey(key)) {
    if (arrowsLeave_ || (modifiers & Qt::ControlModifier)) LeaveWith(key, modifiers);
    else QLineEdit::keyPressEvent(event);
  } else if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return || key == Qt::Key_Enter) {
    LeaveWith(key, modifiers);
  } else if (key == Qt::Key_Escape) {
    setText(startText_);
    LeaveWith(key, modifiers);
  } else {
    QLineEdit::keyPressEvent(event);
    if (!event->text().isEmpty()) WidenToText();
  }
  event->accept();
}

void CInPlaceEdit::LeaveWith(int key, Qt::KeyboardModifiers modifiers) {
  lastKey_ = key;
  lastModifiers_ = modifiers;
  // The focus going back to the grid ends the edit; ending it here as well
  // covers a window that is not active, where no focus event comes.
  grid_->setFocus(Qt::OtherFocusReason);
  EndEdit();
}

void CInPlaceEdit::WidenToText() {
  const int wanted = fontMetrics().horizontalAdvance(text() + QStringLiteral("  ")) + 2 * FrameAllowance();
  if (wanted <= width()) return;
  const int room = grid_->ClientRect().right() + 1 - x();
  const int newWidth = std::min(wanted, room);
  if (newWidth > width()) resize(newWidth, height());
}

int CInPlaceEdit::FrameAllowance() const {
  const QMargins margins = textMargins();
  return 3 + std::max(margins.left(), margins.right());
}

void CInPlaceEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // The editor's own context menu takes the focus for a moment; that is no end.
  if (event->reason() == Qt::PopupFocusReason) return;
  // A window being hidden (or destroyed) takes the focus first; its owner may
  // be half gone, so the grid, told of its hiding next, drops the edit.
  if (grid_->window()->isHidden()) return;
  EndEdit();
}

void CInPlaceEdit::EndEdit() {
  if (ended_) return;
  ended_ = true;
  if (hasFocus()) grid_->setFocus(Qt::OtherFocusReason);
  GridEditEnd end;
  end.row = row_;
  end.column = column_;
  end.text = text();
  end.key = lastKey_;
  end.modifiers = lastModifiers_;
  Close();
  grid_->OnEndInPlaceEdit(end);
}

}  // namespace varnolt
