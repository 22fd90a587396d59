// The RUN MODEL and About pages.
#include <QKeyEvent>
#include <QPalette>
#include <QWidget>

#include "app/Pages.h"
#include "app/Sheet.h"
#include "resources/Resources.h"

using namespace control;

CPageResults::CPageResults() : CSettingsPage(resource::IDD_RESULTS) {
  OnNotification(Notification::ButtonClicked, kRun, [this] { OnRun(); });
}

void CPageResults::OnRun() {
  // Validation, the run and the results grid are wired in here once they exist.
}

bool CPageResults::PreTranslateMessage(QObject* receiver, QKeyEvent* event) {
  const int key = event->key();
  if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape) {
    return CSettingsPage::PreTranslateMessage(receiver, event);
  }
  // Delivered to that control alone: whether it uses the key or not, it goes
  // no further.
  receiver->event(event);
  return true;
}

CPageAbout::CPageAbout() : CPropertyPage(FindDialogTemplate(resource::IDD_ABOUT)) {}

bool CPageAbout::OnInitDialog() {
  const bool result = CPropertyPage::OnInitDialog();
  // White behind the page and every text on it.
  QWidget* page = Window();
  QPalette palette = page->palette();
  palette.setColor(QPalette::Window, Qt::white);
  page->setPalette(palette);
  page->setAutoFillBackground(true);
  // The program's name stands out above the credits.
  if (QWidget* name = page->findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
  }
  return result;
}
