#include "settings/SettingsReference.h"

#include <string>

#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace varnolt {

namespace {

// A table cell: a bar would end the cell early and a line break the row.
std::string Cell(std::string text) {
  std::string cell;
  for (char c : text) {
    if (c == '|') {
      cell += "\\|";
    } else if (c == '\n') {
      cell += ' ';
    } else {
      cell += c;
    }
  }
  return cell;
}

std::string Code(const std::string& text) { return "`" + text + "`"; }

// A default as the reference shows it: texts quoted, numbers as they are.
std::string DefaultText(const RunSettings& defaults, const FieldInfo& field) {
  const std::string value = FieldValueText(defaults, field);
  return field.kind == FieldKind::Text ? "\"" + value + "\"" : value;
}

const char* ControlName(SettingControl control) {
  switch (control) {
    case SettingControl::TextEdit: return "edit";
    case SettingControl::NumberEdit: return "number edit (digits only)";
    case SettingControl::CheckBox: return "check box";
    case SettingControl::List: return "list";
  }
  return "";
}

// Settings that fail one rule each, for the example lines: the defaults with
// the one value broken that the rule looks at.
RunSettings Breaking(int rule) {
  RunSettings s = StartupDefaults();
  switch (rule) {
    case 1: s.cycleCount = 0; break;
    case 2: s.palmCount = 0; break;
    case 3: s.abortThreshold = 41; break;
    case 4: s.femaleThreshold = -1; break;
    case 5: s.femaleThreshold = 17; break;
    case 6: s.randomPercent = -5; break;
    case 7: s.leafPruning = 1; s.leafPruneCycle = 150; s.pruneStress = 5; break;
    case 8: s.leafPruning = 1; s.leafPruneCycle = 50; s.pruneStress = 0; break;
    case 9: s.trendCycles = 1; s.trendAmplitude = 0; break;
    case 10: s.irrigation = 1; s.irrigationStart = 100; s.irrigationEnd = 100; break;
    case 11: s.irrigation = 1; s.irrigationStart = 40; s.irrigationEnd = 30; break;
    case 12: s.flowerPruning = 1; s.flowerPruneStart = 0; s.flowerPruneEnd = 10; break;
    case 13: s.flowerPruning = 1; s.flowerPruneStart = 20; s.flowerPruneEnd = 120; break;
  }
  return s;
}

}  // namespace

void WriteSettingsReference(std::ostream& out) {
  const RunSettings startup = StartupDefaults();
  const RunSettings fresh = NewDefaults();
  out << "| Setting | Meaning | Unit | At start-up | After New | A run admits | Page: control |\n"
      << "|---|---|---|---|---|---|---|\n";
  for (const FieldInfo& field : RunSettingsFields()) {
    out << "| " << Code(field.name) << " | " << Cell(field.meaning) << " | " << Cell(field.unit) << " | "
        << Cell(DefaultText(startup, field)) << " | " << Cell(DefaultText(fresh, field)) << " | "
        << Cell(field.admitted) << " | " << SettingsPageTitle(field.page) << ": " << ControlName(field.control)
        << " \"" << Cell(FieldLabel(field)) << "\" |\n";
  }
  out << "\n| Rule | Setting | Page | The window says | The runner says, for example |\n"
      << "|---|---|---|---|---|\n";
  for (const ValidationRule& rule : ValidationRules()) {
    const RunSettings broken = Breaking(rule.number);
    out << "| " << rule.number << " | " << Code(rule.field) << " | " << SettingsPageTitle(RulePage(rule)) << " | "
        << Cell(rule.message) << " | " << Cell(RuleFailureLine(rule, broken)) << " |\n";
  }
}

}  // namespace varnolt
