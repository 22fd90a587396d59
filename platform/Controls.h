#pragma once
// Turning the controls of a dialog template into widgets. Each widget carries
// its identifier (property "controlId") and is named "control<id>".

#include <QObject>

#include "platform/DialogTemplate.h"
#include "platform/DialogUnits.h"

class QWidget;

namespace varnolt {

// Builds one control as a child of `parent`, placed in dialog units.
QWidget* CreateControl(const ControlTemplate& control, QWidget* parent, DialogBaseUnits base);

// The identifier a widget was built with, or 0.
int ControlId(const QWidget* widget);
void SetControlId(QWidget* widget, int controlId);

// Limits what can be typed into an edit to the digits 0 to 9; editing keys and
// shortcuts pass, and text set by the program or pasted is left alone, so a
// negative value read from a file still shows and can be edited.
class DigitsOnlyFilter : public QObject {
  Q_OBJECT
 public:
  using QObject::QObject;
  static bool AdmitsTyped(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace varnolt
