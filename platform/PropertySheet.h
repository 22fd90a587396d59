#pragma once
// A modal tabbed window whose tabs are property pages in the order added, with
// an optional menu bar and the four standard buttons below the pages. Changing
// tabs runs the pages' protocol: the page left runs OnKillActive and may refuse;
// the page entered is created on its first showing and runs OnSetActive.

#include <QDialog>
#include <QIcon>
#include <map>
#include <vector>

#include "platform/DialogTemplate.h"

class QKeyEvent;
class QMenuBar;
class QAction;
class QStackedWidget;

namespace varnolt {

class PageTabs;
class CPropertyPage;

// Identifiers of the standard buttons a sheet carries.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDHELP = 9;
inline constexpr int ID_APPLY_NOW = 12321;

class CPropertySheet : public QDialog {
  Q_OBJECT

 public:
  explicit CPropertySheet(const QString& caption, QWidget* parent = nullptr, int selectPage = 0);
  ~CPropertySheet() override;

  // Pages are not owned; they must outlive the sheet's window.
  void AddPage(CPropertyPage* page);
  int GetPageCount() const { return static_cast<int>(pages_.size()); }
  CPropertyPage* GetPage(int index) const;
  int GetPageIndex(const CPropertyPage* page) const;
  CPropertyPage* GetActivePage() const;
  int GetActiveIndex() const { return activeIndex_; }

  // Switches tabs with the pages' protocol; false when the current page
  // refused to be left (or the index is out of range).
  bool SetActivePage(int index);
  bool SetActivePage(CPropertyPage* page);

  // Builds the window (OnInitDialog) and runs its modal loop until EndDialog.
  int DoModal();
  // Builds the window without entering a loop, as tests and embedders need.
  void Create();
  bool IsCreated() const { return created_; }
  // Ends the modal loop with `result`; the window closes.
  void EndDialog(int result);

  // The standard buttons by identifier, or null.
  QWidget* GetDlgItem(int controlId) const;
  PageTabs* Tabs() const { return tabs_; }

  // Attaches a menu bar built from `menu`; `images` gives the small image shown
  // beside the item of a command. Choosing an item calls OnCommand.
  QMenuBar* SetMenu(const MenuTemplate& menu, const std::map<int, QIcon>& images = {});
  // The menu action of a command, or null.
  QAction* FindMenuCommand(int commandId) const;

 protected:
  // Builds tabs, pages area and buttons, and shows the start page.
  virtual bool OnInitDialog();
  // Sees every key press meant for this window (after the current page's own
  // PreTranslateMessage); true swallows it. Here Ctrl+Tab and Ctrl+Shift+Tab
  // (or Ctrl+Page Down and Ctrl+Page Up) move to the next or previous page.
  virtual bool PreTranslateMessage(QObject* receiver, QKeyEvent* event);
  virtual void OnCommand(int commandId);
  // The close box (or the window menu's Close): true lets the window close.
  virtual bool OnCloseRequest();
  // The size the window opens at (Create); the size of its pages, menu and
  // tabs included, unless a sheet asks for more.
  virtual QSize OpeningSize() const;

  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildWindow();
  // The page's tab and the area its window is created in.
  void AddTabAndArea(const CPropertyPage& page);

  std::vector<CPropertyPage*> pages_;
  std::vector<QWidget*> pageAreas_;
  std::map<int, QWidget*> buttons_;
  std::map<int, QAction*> menuCommands_;
  PageTabs* tabs_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  int startPage_;
  int activeIndex_ = -1;
  bool created_ = false;
  bool switching_ = false;
};

}  // namespace varnolt
