#include "app/SimApp.h"

#include "app/Sheet.h"

int CSimApp::InitInstance() {
  CSheet sheet;
  m_pMainWnd = &sheet;
  sheet.DoModal();
  m_pMainWnd = nullptr;
  return 0;
}
