#include <cstdint>

#include "experiments/Experiments.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

// A setting's value in a factor: a whole 32-bit number, signed or not, held
// wider so that steps beyond the range are seen before they wrap.
std::optional<std::int64_t> WholeNumber(const std::string& text) {
  return ReadWholeNumber<std::int32_t>(text, Sign::Allowed);
}

// The name before '=' must be a numeric setting; answers the problem otherwise.
std::optional<std::string> NumericSettingName(const std::string& text, std::string& name, std::string& rest,
                                              const char* form) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) return "\"" + text + "\" is not " + form;
  name = text.substr(0, equals);
  rest = text.substr(equals + 1);
  const FieldInfo* field = FindField(name);
  if (field == nullptr) return "unknown setting \"" + name + "\" in " + text;
  if (field->kind == FieldKind::Text) return name + " is a text; only numeric settings can be varied";
  return std::nullopt;
}

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

}  // namespace

std::optional<std::string> ParseSweepFactor(const std::string& text, SweepFactor& factor) {
  const char* form = "NAME=FROM:TO[:STEP] (for example femaleThreshold=12:20 or cycleCount=100:700:100)";
  std::string rest;
  if (auto problem = NumericSettingName(text, factor.name, rest, form)) return *problem;
  const std::vector<std::string> parts = SplitColons(rest);
  if (parts.size() < 2 || parts.size() > 3) return "\"" + text + "\" is not " + form;
  const std::optional<std::int64_t> from = WholeNumber(parts[0]);
  const std::optional<std::int64_t> to = WholeNumber(parts[1]);
  const std::optional<std::int64_t> step = parts.size() == 3 ? WholeNumber(parts[2]) : std::optional<std::int64_t>(1);
  if (!from || !to || !step) return text + ": FROM, TO and STEP must be whole 32-bit numbers";
  if (*step <= 0) return text + ": the step must be 1 or more";
  factor.values.clear();
  const std::int64_t direction = *to >= *from ? 1 : -1;
  for (std::int64_t v = *from; direction > 0 ? v <= *to : v >= *to; v += direction * *step) {
    factor.values.push_back(static_cast<std::int32_t>(v));
    if (factor.values.size() > 1000000) return text + ": more than a million values";
  }
  return std::nullopt;
}

std::vector<std::vector<std::int32_t>> FactorialLevels(std::span<const SweepFactor> factors) {
  std::vector<std::vector<std::int32_t>> levels{{}};
  for (const SweepFactor& factor : factors) {
    std::vector<std::vector<std::int32_t>> next;
    next.reserve(levels.size() * factor.values.size());
    for (const auto& prefix : levels) {
      for (std::int32_t value : factor.values) {
        next.push_back(prefix);
        next.back().push_back(value);
      }
    }
    levels = std::move(next);
  }
  return levels;
}

std::vector<std::int32_t> FactorialLevel(std::span<const SweepFactor> factors, std::size_t index) {
  std::vector<std::int32_t> level(factors.size());
  for (std::size_t f = factors.size(); f-- > 0;) {
    const std::size_t count = factors[f].values.size();
    level[f] = factors[f].values[index % count];
    index /= count;
  }
  return level;
}

std::optional<std::string> ParseSensitivityFactor(const std::string& text, SensitivityFactor& factor) {
  const char* form = "NAME=LOW:HIGH (for example femaleThreshold=10:20)";
  std::string rest;
  if (auto problem = NumericSettingName(text, factor.name, rest, form)) return *problem;
  const std::vector<std::string> parts = SplitColons(rest);
  if (parts.size() != 2) return "\"" + text + "\" is not " + form;
  const std::optional<std::int64_t> low = WholeNumber(parts[0]);
  const std::optional<std::int64_t> high = WholeNumber(parts[1]);
  if (!low || !high) return text + ": LOW and HIGH must be whole 32-bit numbers";
  if (*high <= *low) return text + ": HIGH must be greater than LOW";
  factor.low = static_cast<std::int32_t>(*low);
  factor.high = static_cast<std::int32_t>(*high);
  return std::nullopt;
}

}  // namespace varnolt
