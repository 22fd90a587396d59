// The About page.
#include <QPalette>
#include <QWidget>

#include "app/Pages.h"
#include "resources/Resources.h"

namespace varnolt {

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

}  // namespace varnolt
