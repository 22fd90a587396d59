#include "settings/SettingAssignments.h"

#include "platform/WholeNumbers.h"

namespace varnolt {

std::string SettingNames() {
  std::string names;
  for (const FieldInfo& field : RunSettingsFields()) {
    if (!names.empty()) names += ", ";
    names += field.name;
  }
  return names;
}

std::optional<std::string> ApplyAssignment(RunSettings& settings, const std::string& assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string::npos) {
    return "\"" + assignment + "\" is not NAME=VALUE (for example palmCount=50)";
  }
  const std::string name = assignment.substr(0, equals);
  const std::string value = assignment.substr(equals + 1);
  const FieldInfo* field = FindField(name);
  if (field == nullptr) {
    return "unknown setting \"" + name + "\" in " + assignment + "\nThe settings are: " + SettingNames() + ".";
  }
  if (field->kind == FieldKind::Text) {
    settings.*(field->text) = value;
    return std::nullopt;
  }
  const std::optional<std::int32_t> number = ReadWholeNumber<std::int32_t>(value, Sign::Allowed);
  if (field->kind == FieldKind::Switch && !(number && (*number == 0 || *number == 1))) {
    return assignment + ": " + name + " is a switch and takes 0 (off) or 1 (on)";
  }
  if (!number) {
    return assignment + ": " + name + " takes a whole number from -2147483648 to 2147483647, not \"" + value + "\"";
  }
  settings.*(field->integer) = *number;
  return std::nullopt;
}

}  // namespace varnolt
