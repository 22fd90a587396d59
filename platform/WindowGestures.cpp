#include "platform/WindowGestures.h"

#include <QWidget>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace varnolt {

void AddMinimizeGestures(QWidget* window) {
  window->setWindowFlag(Qt::WindowMinimizeButtonHint, true);
#ifdef Q_OS_WIN
  // The system menu exists only once the native window does.
  const HWND handle = reinterpret_cast<HWND>(window->winId());
  if (HMENU systemMenu = ::GetSystemMenu(handle, FALSE)) {
    ::InsertMenuW(systemMenu, 1, MF_BYPOSITION | MF_STRING, SC_MINIMIZE, L"Minimize");
    ::DrawMenuBar(handle);
  }
#endif
}

}  // namespace varnolt
