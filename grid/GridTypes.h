#pragma once
// The small value types the grid and its cells share: colours, text-drawing
// flags, the logical font of a cell, cell coordinates and the notifications
// the grid sends to its owner.

#include <QColor>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>

namespace varnolt {

// A colour as the cells store it: 0x00RRGGBB for a real colour. CLR_DEFAULT has
// a high byte no real colour has, so "use the default cell's colour" can never
// be confused with black.
using GridColour = std::uint32_t;
inline constexpr GridColour CLR_DEFAULT = 0xFF000000u;

constexpr GridColour GridRgb(int red, int green, int blue) {
  return (GridColour(red & 0xFF) << 16) | (GridColour(green & 0xFF) << 8) | GridColour(blue & 0xFF);
}
inline GridColour GridColourFrom(const QColor& colour) {
  return GridRgb(colour.red(), colour.green(), colour.blue());
}
// CLR_DEFAULT has no colour of its own; the drawing code resolves it first.
inline QColor QColorFrom(GridColour colour) {
  return QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// Text-drawing flags, with the values of the desktop API they come from, kept
// as the cell format and turned into Qt alignment only when a cell is drawn.
inline constexpr std::uint32_t DT_TOP = 0x0000;
inline constexpr std::uint32_t DT_LEFT = 0x0000;
inline constexpr std::uint32_t DT_CENTER = 0x0001;
inline constexpr std::uint32_t DT_RIGHT = 0x0002;
inline constexpr std::uint32_t DT_VCENTER = 0x0004;
inline constexpr std::uint32_t DT_BOTTOM = 0x0008;
inline constexpr std::uint32_t DT_WORDBREAK = 0x0010;
inline constexpr std::uint32_t DT_SINGLELINE = 0x0020;
inline constexpr std::uint32_t DT_EXPANDTABS = 0x0040;
inline constexpr std::uint32_t DT_NOCLIP = 0x0100;
inline constexpr std::uint32_t DT_CALCRECT = 0x0400;
inline constexpr std::uint32_t DT_NOPREFIX = 0x0800;
inline constexpr std::uint32_t DT_PATH_ELLIPSIS = 0x4000;
inline constexpr std::uint32_t DT_END_ELLIPSIS = 0x8000;
inline constexpr std::uint32_t DT_WORD_ELLIPSIS = 0x40000;

// The Qt alignment and text flags that draw text as the desktop would with
// the given format.
int QtTextFlagsFor(std::uint32_t format);

// The "unset" marker of a cell's format and margin: all bits set.
inline constexpr std::uint32_t GridUnset = 0xFFFFFFFFu;

// A cell's logical font: the face and size, plus the escapement (tenths of a
// degree) that Qt fonts do not carry; 900 and -900 mean vertical text.
struct GridFont {
  QFont face;
  int escapement = 0;
  bool operator==(const GridFont&) const = default;
};

// A cell position; -1 in either part means "no cell".
struct CellId {
  int row = -1;
  int column = -1;
  bool IsValid() const { return row >= 0 && column >= 0; }
  bool operator==(const CellId&) const = default;
};

// An inclusive range of cells; -1 bounds mean "no range".
struct CellRange {
  int minRow = -1;
  int minColumn = -1;
  int maxRow = -1;
  int maxColumn = -1;
  bool IsValid() const {
    return minRow >= 0 && minColumn >= 0 && maxRow >= minRow && maxColumn >= minColumn;
  }
  bool Contains(int row, int column) const {
    return IsValid() && row >= minRow && row <= maxRow && column >= minColumn && column <= maxColumn;
  }
  bool operator==(const CellRange&) const = default;
};

// Codes of the notifications the grid sends its owner, with the values of the
// desktop's list-view notifications they come from.
inline constexpr int NM_CLICK = -2;
inline constexpr int NM_DBLCLK = -3;
inline constexpr int NM_RCLICK = -5;
inline constexpr int LVN_ITEMCHANGING = -100;
inline constexpr int LVN_ITEMCHANGED = -101;
inline constexpr int LVN_BEGINLABELEDIT = -105;
inline constexpr int LVN_ENDLABELEDIT = -106;
inline constexpr int LVN_BEGINDRAG = -109;
inline constexpr int LVN_ODCACHEHINT = -113;
inline constexpr int LVN_GETDISPINFO = -150;

// Everything a cell shows, as virtual mode asks the owner for it.
struct GridDisplayInfo {
  int row = -1;
  int column = -1;
  std::uint32_t mask = 0;
  std::uint32_t state = 0;
  std::uint32_t format = 0;
  QString text;
  int image = -1;
  GridColour textColour = CLR_DEFAULT;
  GridColour backColour = CLR_DEFAULT;
  std::int32_t data = 0;
  GridFont font;
  std::uint32_t margin = 0;
};

// One notification to the owner. For LVN_ODCACHEHINT the range says which cells
// are about to be read (all -1 once reading is over); for LVN_GETDISPINFO the
// owner fills displayInfo; LVN_ENDLABELEDIT carries the edited text and the key
// that ended the edit (a Qt::Key, 0 when none).
struct GridNotification {
  int code = 0;
  int row = -1;
  int column = -1;
  CellRange cacheRange;
  GridDisplayInfo* displayInfo = nullptr;
  QString text;
  int key = 0;
};

// The owner's answer matters for some codes: a negative reply to
// LVN_BEGINLABELEDIT or LVN_ENDLABELEDIT vetoes the edit.
using GridOwnerCallback = std::function<long(GridNotification&)>;

// Virtual mode's cell-data callback: fills the record, given the caller's value.
using GridCellDataCallback = std::function<bool(GridDisplayInfo&, std::intptr_t)>;

}  // namespace varnolt
