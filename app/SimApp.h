#pragma once
// The application: builds the main window, runs it until it closes, and ends.

#include <QString>

namespace varnolt {

class CSheet;

class CSimApp {
 public:
  // Runs the whole program; returns 0 when the main window has closed.
  int InitInstance();
  // The main window while the program runs, else null.
  CSheet* m_pMainWnd = nullptr;
  // A settings file named on the command line, opened once the window is up
  // as File > Open would open it; empty to start untitled.
  QString startupFile;
};

}  // namespace varnolt
