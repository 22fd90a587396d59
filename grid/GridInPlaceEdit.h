#pragma once
// CInPlaceEdit: the edit box laid over a grid cell while its text is edited.
// It keeps every key it needs for itself (Enter and Escape never reach the
// dialog around the grid), ends the edit on the keys that leave the cell and
// on losing the focus, and reports the end to the grid exactly once before it
// deletes itself.

#include <QLineEdit>

#include <cstdint>
#include <QRect>
#include <QString>

namespace varnolt {

class CGridCtrl;

// The keys that end an edit and then move on to edit the next cell: Tab (with
// or without Shift), the page keys, Home, End and the arrows.
bool KeyMovesToNextEdit(int key);

class CInPlaceEdit : public QLineEdit {
  Q_OBJECT

 public:
  // Lies over the rectangle with the text, aligned as the cell's format says.
  CInPlaceEdit(CGridCtrl* grid, const QRect& rect, std::uint32_t format, int id, int row, int column,
               const QString& text);
  // Shows the editor and takes the focus; the starting character (see
  // CGridCtrl::BeginCellEdit) places the caret or is typed.
  void Start(int character);

  // Ends the edit: reports it to the grid once and deletes itself later.
  void EndEdit();
  // Types a character into the editor, as if the user had typed it.
  void TypeCharacter(int character);
  // The grid can no longer take the edit (it is going away, hidden or
  // cleared): the edit ends without a report and without touching the grid.
  void Abandon();
  // Hides the editor and deletes it later; with Abandon, closes it silently.
  void Close();
  bool HasEnded() const { return ended_; }

  int Row() const { return row_; }
  int Column() const { return column_; }
  int LastKey() const { return lastKey_; }
  bool ArrowsLeave() const { return arrowsLeave_; }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Remembers the key and hands the focus back to the grid, which ends the edit.
  void LeaveWith(int key, Qt::KeyboardModifiers modifiers);
  void WidenToText();
  int FrameAllowance() const;
  void TypeKey(int key, const QString& text);

  CGridCtrl* grid_;
  int row_;
  int column_;
  QString startText_;
  QRect rect_;
  int lastKey_ = 0;
  Qt::KeyboardModifiers lastModifiers_;
  bool arrowsLeave_;
  bool ended_ = false;
};

}  // namespace varnolt
