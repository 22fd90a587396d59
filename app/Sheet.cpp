#include "app/Sheet.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

#include "platform/Prompts.h"
#include "platform/WindowGestures.h"
#include "resources/Resources.h"

namespace varnolt {

CSheet::CSheet(QWidget* parent) : CPropertySheet(LoadResourceString(resource::IDS_SHEET_CAPTION), parent, 0) {
  for (CPropertyPage* page : std::initializer_list<CPropertyPage*>{
           &pageNum, &pageFronds, &pageSex, &pageTh, &pageLeaf, &pageTrend, &pageIrrig, &pageFlower, &pageOutput,
           &pageResults, &pagePlot, &pageExperiments, &pageAbout}) {
    AddPage(page);
  }
}

CSheet::~CSheet() = default;

bool CSheet::OnInitDialog() {
  const bool result = CPropertySheet::OnInitDialog();
  for (int button : {IDOK, IDCANCEL, ID_APPLY_NOW, IDHELP}) {
    if (QWidget* widget = GetDlgItem(button)) widget->hide();
  }
  setWindowIcon(ApplicationIcon());
  AddMinimizeGestures(this);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  SetActivePage(&pageNum);
  settingsModified = 0;
  setWindowTitle(UntitledTitle());
  SetMenu(MainMenu(), ToolbarImages());
  return result;
}

QSize OpeningWindowSize(QSize available, QSize content) {
  const QSize wanted = QSize(1000, 700).boundedTo(QSize(available.width() * 3 / 4, available.height() * 3 / 4));
  return wanted.expandedTo(content);
}

QSize CSheet::OpeningSize() const {
  // Large enough that every page shows its texts and charts whole; the window
  // keeps no size of its own between starts.
  const QScreen* shown = screen();
  const QSize available = shown != nullptr ? shown->availableGeometry().size() : QSize(1000 * 4 / 3, 700 * 4 / 3);
  return OpeningWindowSize(available, minimumSizeHint());
}

bool CSheet::PreTranslateMessage(QObject* receiver, QKeyEvent* event) {
  // With the standard buttons hidden, Enter and Escape must not close the window.
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) return true;
  return CPropertySheet::PreTranslateMessage(receiver, event);
}

void CSheet::OnCommand(int commandId) {
  switch (commandId) {
    case resource::ID_ABOUT: OnAbout(); break;
    case resource::ID_FILE_EXIT: OnFileExit(); break;
    case resource::ID_FILE_NEW: OnFileNew(); break;
    case resource::ID_FILE_OPEN: OnFileOpen(); break;
    case resource::ID_FILE_SAVE: OnFileSave(); break;
    case resource::ID_FILE_SAVE_AS: OnFileSaveAs(); break;
    case resource::ID_RUN: OnRunCommand(); break;
    default: CPropertySheet::OnCommand(commandId);
  }
}

void CSheet::OnAbout() { SetActivePage(&pageAbout); }

CPropertyPage& CSheet::SettingsPageAt(SettingsPage page) {
  CPropertyPage* pages[] = {&pageNum,   &pageFronds, &pageSex,    &pageTh,    &pageLeaf,
                            &pageTrend, &pageIrrig,  &pageFlower, &pageOutput};
  return *pages[static_cast<int>(page)];
}

bool CSheet::ValidateSettings() {
  const std::optional<Problem> problem = SettingsProblem(settings);
  if (!problem) return true;
  // The window words a broken rule with the rule's own box text, on the page
  // and at the control of its setting.
  const ValidationRule& rule = ValidationRules()[static_cast<std::size_t>(problem->rule - 1)];
  ReportInvalidSetting(SettingsPageAt(RulePage(rule)), resource::SettingControl(problem->setting),
                       QString::fromUtf8(rule.message));
  return false;
}

void CSheet::ReportInvalidSetting(CPropertyPage& page, int controlId, const QString& message) {
  SetActivePage(&page);
  CurrentPrompts().Message(this, {message, QStringLiteral("Invalid data"), MessageIcon::Stop, MessageButtons::Ok});
  page.FocusAndSelect(controlId);
}

}  // namespace varnolt
