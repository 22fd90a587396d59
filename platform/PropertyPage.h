#pragma once
// A page of a property sheet, built from a dialog template. The page object
// lives as long as its sheet and holds no values of its own beyond what its
// subclass declares; its window is created the first time its tab is shown.
// Values move between the program's data and the controls by data exchange:
// DoDataExchange lists the exchanges, UpdateData runs them in one direction.

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/DialogTemplate.h"
#include "platform/DialogUnits.h"

class QKeyEvent;
class QWidget;

namespace varnolt {

class CPropertySheet;
class CPropertyPage;

// The control notifications a page may handle.
enum class Notification {
  EditChange,           // the text of an edit changed
  ButtonClicked,        // a push button or check box was clicked
  ListSelectionChange,  // the user selected another line of a list
};

// One run of a page's exchange. A failed read shows its message, puts the focus
// on the control and stops the exchange (Fail); members already read keep
// their new values, the others their old ones.
class CDataExchange {
 public:
  CDataExchange(CPropertyPage& page, bool saveAndValidate) : m_pDlgWnd(&page), m_bSaveAndValidate(saveAndValidate) {}

  CPropertyPage* const m_pDlgWnd;
  const bool m_bSaveAndValidate;  // true: controls to data; false: data to controls

  // The control with this identifier; remembered as the one a failure refers to.
  QWidget* PrepareControl(int controlId);
  // Ends the exchange: focus on the last prepared control, its text selected.
  [[noreturn]] void Fail();

 private:
  int lastControl_ = 0;
};

void DDX_Text(CDataExchange* dx, int controlId, std::int32_t& value);
void DDX_Text(CDataExchange* dx, int controlId, std::string& value);  // UTF-8
void DDX_Check(CDataExchange* dx, int controlId, std::int32_t& value);
void DDX_LBIndex(CDataExchange* dx, int controlId, std::int32_t& value);

// The message a failed integer read shows.
inline constexpr const char* kEnterIntegerMessage = "Please enter an integer.";

class CPropertyPage : public QObject {
  Q_OBJECT

 public:
  explicit CPropertyPage(const DialogTemplate& dialogTemplate);
  ~CPropertyPage() override;

  const DialogTemplate& Template() const { return template_; }
  // The tab caption: the template's caption.
  QString Caption() const;
  // The page's window, or null while its tab has not been shown yet.
  QWidget* Window() const { return window_; }
  bool IsCreated() const { return window_ != nullptr; }
  CPropertySheet* GetParentSheet() const { return sheet_; }

  // The control with this identifier, or null (unknown id, window not created).
  QWidget* GetDlgItem(int controlId) const;

  // Runs DoDataExchange: controls to data when saveAndValidate, else data to
  // controls. Notifications raised meanwhile are ignored. False when a read
  // failed (or the window does not exist yet).
  bool UpdateData(bool saveAndValidate = true);
  bool IsExchanging() const { return exchanging_; }

  // The activation protocol, driven by the sheet.
  virtual bool OnInitDialog();   // after the controls are built: writes the data in
  virtual bool OnSetActive();    // the page becomes the visible tab
  virtual bool OnKillActive();   // the page is about to be left; false keeps it
  // Sees a key press meant for a control of this page before anyone else;
  // true swallows it.
  virtual bool PreTranslateMessage(QObject* receiver, QKeyEvent* event);

  // Control operations the pages use.
  void EnableControl(int controlId, bool enabled);
  // Focus on the control, its whole text selected and the caret in view.
  void FocusAndSelect(int controlId);
  void ListAddString(int controlId, const QString& text);
  // Selects a line from code; raises no notification. Outside the list: none.
  void ListSetCurSel(int controlId, int index);
  // Puts `replacement` where the control stands, with its identifier, geometry
  // and tab position; the page window takes ownership. Returns the replacement,
  // or null when there is no such control.
  QWidget* ReplaceControl(int controlId, QWidget* replacement);

  DialogBaseUnits BaseUnits() const { return baseUnits_; }
  // Places the controls that follow or grow with the page for its current size.
  void LayOutControls();
  // The page's window changed its size; the controls have been placed.
  virtual void OnSize() {}
  // The page's size in pixels, known before its window exists.
  QSize PixelSize() const;

 protected:
  virtual void DoDataExchange(CDataExchange* dx);
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Message-map entry: `handler` runs when one of the controls firstId..lastId
  // raises `code` by the user's doing (never while the page exchanges data).
  void OnNotification(Notification code, int firstId, int lastId, std::function<void()> handler);
  void OnNotification(Notification code, int controlId, std::function<void()> handler) {
    OnNotification(code, controlId, controlId, std::move(handler));
  }

 private:
  friend class CPropertySheet;
  void Create(QWidget* parent);
  void ConnectNotifications(QWidget* control, int controlId);
  void Dispatch(Notification code, int controlId);

  struct MessageMapEntry {
    Notification code;
    int firstId, lastId;
    std::function<void()> handler;
  };

  const DialogTemplate& template_;
  DialogBaseUnits baseUnits_;
  CPropertySheet* sheet_ = nullptr;
  QPointer<QWidget> window_;
  std::vector<std::pair<int, QPointer<QWidget>>> controls_;
  std::vector<MessageMapEntry> messageMap_;
  bool exchanging_ = false;
  bool firstSetActive_ = true;
};

}  // namespace varnolt
