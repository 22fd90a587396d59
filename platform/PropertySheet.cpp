#include "platform/PropertySheet.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/Controls.h"
#include "platform/DialogUnits.h"
#include "platform/PageTabs.h"
#include "platform/PropertyPage.h"

namespace varnolt {

CPropertySheet::CPropertySheet(const QString& caption, QWidget* parent, int selectPage)
    : QDialog(parent), startPage_(selectPage) {
  setWindowTitle(caption);
}

CPropertySheet::~CPropertySheet() { qApp->removeEventFilter(this); }

void CPropertySheet::AddPage(CPropertyPage* page) {
  pages_.push_back(page);
  page->sheet_ = this;
  if (created_) AddTabAndArea(*page);
}

void CPropertySheet::AddTabAndArea(const CPropertyPage& page) {
  tabs_->AddTab(page.Caption());
  auto* area = new QWidget;
  pageAreas_.push_back(area);
  stack_->addWidget(area);
}

CPropertyPage* CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < GetPageCount() ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage* page) const {
  for (int index = 0; index < GetPageCount(); ++index) {
    if (pages_[static_cast<std::size_t>(index)] == page) return index;
  }
  return -1;
}

CPropertyPage* CPropertySheet::GetActivePage() const { return GetPage(activeIndex_); }

bool CPropertySheet::SetActivePage(CPropertyPage* page) { return SetActivePage(GetPageIndex(page)); }

bool CPropertySheet::SetActivePage(int index) {
  CPropertyPage* next = GetPage(index);
  if (!next || switching_) return false;
  if (!created_) {
    startPage_ = index;
    return true;
  }
  if (index == activeIndex_) return true;
  switching_ = true;
  bool switched = false;
  CPropertyPage* current = GetActivePage();
  if (!current || current->OnKillActive()) {
    QWidget* area = pageAreas_[static_cast<std::size_t>(index)];
    next->Create(area);
    activeIndex_ = index;
    tabs_->SetCurrentIndex(index);
    stack_->setCurrentIndex(index);
    next->OnSetActive();
    switched = true;
  }
  switching_ = false;
  return switched;
}

int CPropertySheet::DoModal() {
  Create();
  return exec();
}

void CPropertySheet::Create() {
  if (created_) return;
  OnInitDialog();
  // The user may make it larger; it never gets smaller than its pages.
  resize(OpeningSize().expandedTo(minimumSizeHint()));
}

QSize CPropertySheet::OpeningSize() const { return minimumSizeHint(); }

void CPropertySheet::EndDialog(int result) { done(result); }

void CPropertySheet::BuildWindow() {
  created_ = true;
  auto* layout = new QVBoxLayout(this);
  // The window may grow (and be maximised); it never shrinks below its pages.
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  layout->setSpacing(0);

  tabs_ = new PageTabs(this);
  tabs_->setObjectName(QStringLiteral("pageTabs"));
  // The sheet speaks in the font of its pages.
  if (!pages_.empty()) {
    const DialogTemplate& first = pages_.front()->Template();
    tabs_->setFont(TemplateFont(first.fontName, first.fontPointSize));
  }
  stack_ = new QStackedWidget(this);
  stack_->setObjectName(QStringLiteral("pageArea"));
  stack_->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  QSize largest;
  for (CPropertyPage* page : pages_) {
    largest = largest.expandedTo(page->PixelSize());
    AddTabAndArea(*page);
  }
  const int frame = stack_->frameWidth();
  stack_->setMinimumSize(largest + QSize(2 * frame, 2 * frame));
  // The window is as wide as its largest page; the tabs wrap into rows within it.
  tabs_->SetStripWidth(stack_->minimumWidth());
  layout->addWidget(tabs_, 0, Qt::AlignLeft);
  layout->addWidget(stack_, 1);

  auto* buttonRow = new QHBoxLayout;
  buttonRow->setContentsMargins(0, 8, 0, 0);
  buttonRow->addStretch();
  const std::pair<int, const char*> standardButtons[] = {
      {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {ID_APPLY_NOW, "&Apply"}, {IDHELP, "Help"}};
  for (const auto& [id, text] : standardButtons) {
    auto* button = new QPushButton(tr(text), this);
    button->setAutoDefault(false);
    SetControlId(button, id);
    buttonRow->addWidget(button);
    buttons_[id] = button;
  }
  buttons_[ID_APPLY_NOW]->setEnabled(false);
  connect(static_cast<QPushButton*>(buttons_[IDOK]), &QPushButton::clicked, this, [this] {
    if (!GetActivePage() || GetActivePage()->OnKillActive()) EndDialog(IDOK);
  });
  connect(static_cast<QPushButton*>(buttons_[IDCANCEL]), &QPushButton::clicked, this, [this] { EndDialog(IDCANCEL); });
  layout->addLayout(buttonRow);

  connect(tabs_, &PageTabs::TabClicked, this, [this](int index) { SetActivePage(index); });
  qApp->installEventFilter(this);
}

bool CPropertySheet::OnInitDialog() {
  BuildWindow();
  const int start = GetPage(startPage_) ? startPage_ : 0;
  SetActivePage(start);
  return true;
}

QWidget* CPropertySheet::GetDlgItem(int controlId) const {
  const auto found = buttons_.find(controlId);
  return found == buttons_.end() ? nullptr : found->second;
}

QMenuBar* CPropertySheet::SetMenu(const MenuTemplate& menu, const std::map<int, QIcon>& images) {
  delete menuBar_;
  menuCommands_.clear();
  menuBar_ = new QMenuBar(this);
  menuBar_->setNativeMenuBar(false);
  auto addCommand = [&](QWidget* owner, const MenuItemTemplate& item) {
    auto* action = new QAction(QString::fromUtf8(item.text), owner);
    action->setData(item.commandId);
    const auto image = images.find(item.commandId);
    if (image != images.end()) action->setIcon(image->second);
    if (item.shortcut != nullptr) action->setShortcut(QKeySequence(QString::fromUtf8(item.shortcut)));
    connect(action, &QAction::triggered, this, [this, id = item.commandId] { OnCommand(id); });
    menuCommands_[item.commandId] = action;
    return action;
  };
  for (const MenuItemTemplate& top : menu.items) {
    if (top.items.empty()) {
      menuBar_->addAction(addCommand(menuBar_, top));
      continue;
    }
    QMenu* popup = menuBar_->addMenu(QString::fromUtf8(top.text));
    for (const MenuItemTemplate& item : top.items) {
      if (!item.text) {
        popup->addSeparator();
      } else {
        popup->addAction(addCommand(popup, item));
      }
    }
  }
  if (layout()) layout()->setMenuBar(menuBar_);
  return menuBar_;
}

QAction* CPropertySheet::FindMenuCommand(int commandId) const {
  const auto found = menuCommands_.find(commandId);
  return found == menuCommands_.end() ? nullptr : found->second;
}

bool CPropertySheet::PreTranslateMessage(QObject*, QKeyEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier) || GetPageCount() == 0) return false;
  int step = 0;
  switch (event->key()) {
    case Qt::Key_Tab: step = (event->modifiers() & Qt::ShiftModifier) ? -1 : 1; break;
    case Qt::Key_Backtab: step = -1; break;
    case Qt::Key_PageDown: step = 1; break;
    case Qt::Key_PageUp: step = -1; break;
    default: return false;
  }
  SetActivePage((activeIndex_ + step + GetPageCount()) % GetPageCount());
  return true;
}

void CPropertySheet::OnCommand(int) {}

bool CPropertySheet::OnCloseRequest() { return true; }

void CPropertySheet::closeEvent(QCloseEvent* event) {
  if (!OnCloseRequest()) {
    event->ignore();
    return;
  }
  event->accept();
  EndDialog(IDCANCEL);
}

bool CPropertySheet::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  if (widget->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  // The page the key is meant for sees it first, then the sheet.
  if (CPropertyPage* page = GetActivePage(); page && page->Window() &&
                                          (widget == page->Window() || page->Window()->isAncestorOf(widget))) {
    if (page->PreTranslateMessage(watched, key)) return true;
  }
  return PreTranslateMessage(watched, key);
}

}  // namespace varnolt
