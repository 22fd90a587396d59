#include "app/SimApp.h"

#include <QFileInfo>
#include <QTimer>

#include "app/Sheet.h"

namespace varnolt {

int CSimApp::InitInstance() {
  CSheet sheet;
  m_pMainWnd = &sheet;
  if (!startupFile.isEmpty()) {
    // Queued, so that the file is read in the running window and an error box
    // stands over it, as after File > Open.
    QTimer::singleShot(0, &sheet, [&sheet, path = QFileInfo(startupFile).absoluteFilePath()] {
      sheet.OpenSettingsFile(path);
    });
  }
  sheet.DoModal();
  m_pMainWnd = nullptr;
  return 0;
}

}  // namespace varnolt
