#pragma once
// A dialog described as data: its caption, size and controls in dialog units,
// as the pages of the main window are laid out. The framework layer turns a
// template into widgets (CPropertyPage::Create). Plain C++, no Qt.

#include <vector>

namespace varnolt {

enum class ControlKind {
  Label,        // static text, left aligned, wraps at word boundaries
  CentredLabel, // static text, centred
  Edit,         // one-line edit
  PushButton,
  CheckBox,     // automatic check box
  GroupBox,
  ListBox,
  ComboBox,     // drop-down list: one of its lines, chosen from the list (no typing)
  Custom,       // a control of a window class the layer does not know; a placeholder
};

// Styles a control may carry beyond its kind.
namespace ControlStyle {
inline constexpr unsigned None = 0;
inline constexpr unsigned Number = 1u << 0;          // edit: typing limited to the digits 0 to 9
inline constexpr unsigned AutoHScroll = 1u << 1;     // edit: scrolls horizontally
inline constexpr unsigned TabStop = 1u << 2;         // reached with the Tab key
inline constexpr unsigned VScroll = 1u << 3;         // list: vertical scroll bar when needed
inline constexpr unsigned Notify = 1u << 4;          // list: sends selection changes
inline constexpr unsigned Border = 1u << 5;
// When the window grows beyond the template's size, the page grows with it and
// its controls keep their place at the top left, unless they follow the right
// or bottom edge (moving with it) or grow with the page.
inline constexpr unsigned FollowRight = 1u << 6;
inline constexpr unsigned FollowBottom = 1u << 7;
inline constexpr unsigned GrowWidth = 1u << 8;
inline constexpr unsigned GrowHeight = 1u << 9;
}  // namespace ControlStyle

// The identifier of static texts nobody refers to.
inline constexpr int IDC_STATIC = -1;

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;       // UTF-8; "&" marks the mnemonic of buttons and check boxes
  int x, y, width, height;  // dialog units
  unsigned styles = ControlStyle::None;
  const char* windowClass = nullptr;  // Custom controls only
};

struct DialogTemplate {
  int id;
  const char* caption;     // the tab caption of a property page
  int width, height;       // dialog units
  const char* fontName;
  int fontPointSize;
  std::vector<ControlTemplate> controls;  // in tab order
};

// A menu bar as data: top-level popups with their items, or top-level commands.
struct MenuItemTemplate {
  const char* text;   // null for a separator
  int commandId;      // 0 for a popup or a separator
  std::vector<MenuItemTemplate> items;  // the items of a popup
  const char* shortcut = nullptr;       // e.g. "Ctrl+S", shown beside the item
};

struct MenuTemplate {
  int id;
  std::vector<MenuItemTemplate> items;
};

}  // namespace varnolt
