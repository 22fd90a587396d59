// The main window's menu and the string table.
#include "resources/Resources.h"

namespace varnolt {

const MenuTemplate& MainMenu() {
  using namespace resource;
  static const MenuTemplate menu{IDR_MENU,
                                 {
                                     {"&File",
                                      0,
                                      {
                                          {"&New", ID_FILE_NEW, {}, "Ctrl+N"},
                                          {"&Open...", ID_FILE_OPEN, {}, "Ctrl+O"},
                                          {nullptr, 0, {}, nullptr},
                                          {"&Save", ID_FILE_SAVE, {}, "Ctrl+S"},
                                          {"Save &As...", ID_FILE_SAVE_AS, {}, "Ctrl+Shift+S"},
                                          {nullptr, 0, {}, nullptr},
                                          {"&Run", ID_RUN, {}, "F5"},
                                          {nullptr, 0, {}, nullptr},
                                          {"E&xit", ID_FILE_EXIT, {}, "Ctrl+Q"},
                                      },
                                      nullptr},
                                     {"&About", ID_ABOUT, {}, nullptr},
                                 }};
  return menu;
}

QString LoadResourceString(int stringId) {
  switch (stringId) {
    case resource::IDS_SHEET_CAPTION: return QStringLiteral("VARNOLT v1.0");
    default: return {};
  }
}

}  // namespace varnolt
