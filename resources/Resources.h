#pragma once
// The program's resources: dialog templates of the pages, the menu, strings and
// images, looked up by identifier.

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <map>
#include <vector>

#include "platform/DialogTemplate.h"

class QPainter;

namespace varnolt {

namespace resource {
// Dialog templates.
inline constexpr int IDD_ABOUT = 104;
inline constexpr int IDD_FRONDS = 105;
inline constexpr int IDD_SIZE = 106;
inline constexpr int IDD_THRESHOLDS = 107;
inline constexpr int IDD_LEAF = 108;
inline constexpr int IDD_TREND = 109;
inline constexpr int IDD_IRRIGATION = 110;
inline constexpr int IDD_FLOWER = 111;
inline constexpr int IDD_OUTPUT = 112;
inline constexpr int IDD_FIRST_NODE_SEX = 130;
inline constexpr int IDD_RESULTS = 136;
inline constexpr int IDD_PLOT = 137;
inline constexpr int IDD_EXPERIMENTS = 138;
// Strings, icon, menu, toolbar images.
inline constexpr int IDS_SHEET_CAPTION = 103;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_MENU = 132;
inline constexpr int IDR_TOOLBAR = 133;
// Menu commands.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 32774;
inline constexpr int ID_FILE_EXIT = 32775;
inline constexpr int ID_ABOUT = 32778;
inline constexpr int ID_RUN = 32779;
}  // namespace resource

// The template with this identifier; aborts on an unknown one, which is a
// programming error.
const DialogTemplate& FindDialogTemplate(int templateId);
// All dialog templates, in identifier order.
const std::vector<DialogTemplate>& DialogTemplates();

const MenuTemplate& MainMenu();
QString LoadResourceString(int stringId);

// The window icon (32 x 32 and 16 x 16, drawn from one picture).
QIcon ApplicationIcon();
// Paints that picture into the square of `size` pixels at the painter's
// origin; the icons installed for the desktop are made from it as well.
void PaintApplicationIcon(QPainter& painter, double size);
// The four 16 x 16 toolbar images, by the command they stand beside in the menu:
// New, Open..., Save and Exit.
std::map<int, QIcon> ToolbarImages();

}  // namespace varnolt
