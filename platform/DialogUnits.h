#pragma once
// Dialog units: a quarter of the dialog font's average character width across,
// an eighth of its height down, so that templates keep their proportions with
// whatever font the system gives for the one they name.

#include <QFont>
#include <QRect>
#include <QSize>

namespace varnolt {

struct DialogBaseUnits {
  int x;  // average character width, pixels
  int y;  // character height, pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base);
QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base);

// The font a template names, at its point size. Faces of the Windows desktop
// that this system lacks are replaced by a face of the same metrics where one
// is installed (Liberation Sans for Arial and the MS sans faces).
QFont TemplateFont(const char* family, int pointSize);

}  // namespace varnolt
