// The main window's menu and the string table.
#include "resources/Resources.h"

const MenuTemplate& MainMenu() {
  using namespace resource;
  static const MenuTemplate menu{IDR_MENU,
                                 {
                                     {"&File",
                                      0,
                                      {
                                          {"&New", ID_FILE_NEW, {}},
                                          {"&Open...", ID_FILE_OPEN, {}},
                                          {nullptr, 0, {}},
                                          {"&Save", ID_FILE_SAVE, {}},
                                          {"Save &As...", ID_FILE_SAVE_AS, {}},
                                          {nullptr, 0, {}},
                                          {"E&xit", ID_FILE_EXIT, {}},
                                      }},
                                     {"&About", ID_ABOUT, {}},
                                 }};
  return menu;
}

QString LoadResourceString(int stringId) {
  switch (stringId) {
    case resource::IDS_SHEET_CAPTION: return QStringLiteral("VARNOLT v1.0");
    default: return {};
  }
}
