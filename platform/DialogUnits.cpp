#include "platform/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace varnolt {

namespace {
int Scale(int value, int numerator, int denominator) {
  // Rounded to the nearest pixel, halves away from zero.
  const long long product = static_cast<long long>(value) * numerator;
  return static_cast<int>((product >= 0 ? product + denominator / 2 : product - denominator / 2) / denominator);
}
}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(alphabet / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& units, DialogBaseUnits base) {
  return QRect(Scale(units.x(), base.x, 4), Scale(units.y(), base.y, 8), Scale(units.width(), base.x, 4),
               Scale(units.height(), base.y, 8));
}

QSize DialogUnitsToPixels(const QSize& units, DialogBaseUnits base) {
  return QSize(Scale(units.width(), base.x, 4), Scale(units.height(), base.y, 8));
}

QFont TemplateFont(const char* family, int pointSize) {
  static const bool substituted = [] {
    const QStringList sansFaces = {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                   QStringLiteral("Arimo"), QStringLiteral("Arial")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sansFaces);
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), sansFaces);
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    return true;
  }();
  (void)substituted;
  QFont font(QString::fromUtf8(family));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  return font;
}

}  // namespace varnolt
