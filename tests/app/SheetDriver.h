#pragma once
// Drives the real main window as a user would: clicks tabs and menu items,
// types into controls, and answers every box through scripted prompts.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <ostream>

#include "app/Sheet.h"
#include "grid/GridCtrl.h"
#include "platform/PageTabs.h"
#include "platform/RecordingPrompts.h"
#include "resources/Resources.h"

namespace varnolt {

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// A file's bytes; empty when it cannot be read.
inline QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The rows of a grid, each as its cell texts joined by '|'.
inline QStringList GridRows(const CGridCtrl& grid) {
  QStringList rows;
  for (int row = 0; row < grid.RowTotal(); ++row) {
    QStringList cells;
    for (int column = 0; column < grid.ColumnTotal(); ++column) cells << grid.CellTextAt(row, column);
    rows << cells.join('|');
  }
  return rows;
}

class SheetDriver : public ::testing::Test {
 protected:
  SheetDriver() : scope(prompts) {
    sheet.Create();
    sheet.show();
    QApplication::setActiveWindow(&sheet);
  }

  // Clicks the tab with this index, as the user does.
  void ClickTab(int index) {
    PageTabs* tabs = sheet.Tabs();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->TabRect(index).center());
  }
  void ClickTab(CPropertyPage& page) { ClickTab(sheet.GetPageIndex(&page)); }
  void ChooseMenuCommand(int commandId) {
    QAction* action = sheet.FindMenuCommand(commandId);
    ASSERT_NE(action, nullptr);
    action->trigger();
  }

  QLineEdit* Edit(CPropertyPage& page, int id) { return qobject_cast<QLineEdit*>(page.GetDlgItem(id)); }
  QCheckBox* Check(CPropertyPage& page, int id) { return qobject_cast<QCheckBox*>(page.GetDlgItem(id)); }
  QListWidget* List(CPropertyPage& page, int id) { return qobject_cast<QListWidget*>(page.GetDlgItem(id)); }

  // Selects the whole text of the edit and types `text` over it.
  void TypeOver(QLineEdit* edit, const QString& text) {
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }
  void ClickBox(QCheckBox* box) {
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
  }

  CPropertyPage* Current() { return sheet.GetActivePage(); }

  // Types into an edit of a page, as the user does after clicking its tab.
  void SetEdit(CPropertyPage& page, int id, const QString& text) {
    ClickTab(page);
    TypeOver(Edit(page, id), text);
  }
  // Goes to the RUN MODEL page (the page left takes what was typed), clicks Run.
  void PressRun() {
    ClickTab(sheet.pageResults);
    QTest::mouseClick(sheet.pageResults.GetDlgItem(control::kRun), Qt::LeftButton);
  }

  RecordingPrompts prompts;
  ScopedPrompts scope;
  CSheet sheet;
};

}  // namespace varnolt
