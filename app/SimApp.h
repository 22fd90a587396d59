#pragma once
// The application: builds the main window, runs it until it closes, and ends.

class CSheet;

class CSimApp {
 public:
  // Runs the whole program; returns 0 when the main window has closed.
  int InitInstance();
  // The main window while the program runs, else null.
  CSheet* m_pMainWnd = nullptr;
};
