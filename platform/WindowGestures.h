#pragma once

class QWidget;

namespace varnolt {

// Window gestures that only some platforms have. Each does its work where the
// platform offers it and nothing elsewhere, so callers need not ask.


// Gives the window a minimise button in its title bar (everywhere) and, on
// Windows, the entry "Minimize" as the second item of its system menu.
void AddMinimizeGestures(QWidget* window);

}  // namespace varnolt
