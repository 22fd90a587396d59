// The settings reference of docs/settings.md and of the varnolt-cli man page,
// checked against the program's own settings record and rules, so that neither
// can drift: every setting in the record's order, its defaults, its page, the
// range a run admits (probed against the rules themselves, at both ends), and
// the thirteen rules with their pages and messages.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Markdown: code marks dropped, so `cycleCount` reads as cycleCount.
std::string Plain(const std::string& cell) { return Trim(Replaced(cell, "`", "")); }

// The rows of the first table after a heading line, as cells.
std::vector<std::vector<std::string>> TableAfter(const std::string& page, const std::string& heading) {
  std::vector<std::vector<std::string>> rows;
  const auto at = page.find("\n" + heading + "\n");
  if (at == std::string::npos) return rows;
  std::istringstream lines(page.substr(at + heading.size() + 2));
  std::string line;
  bool inTable = false;
  while (std::getline(lines, line)) {
    if (line.rfind("|", 0) != 0) {
      if (inTable) break;
      continue;
    }
    inTable = true;
    if (line.find("|---") == 0) continue;
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream parts(line.substr(1));
    while (std::getline(parts, cell, '|')) cells.push_back(Trim(cell));
    rows.push_back(cells);
  }
  if (!rows.empty()) rows.erase(rows.begin());  // the header
  return rows;
}

const char* PageName(SettingsPage page) {
  switch (page) {
    case SettingsPage::Size: return "Size";
    case SettingsPage::FrondNumbers: return "Frond Numbers";
    case SettingsPage::FirstNodeSex: return "First node sex";
    case SettingsPage::StressThresholds: return "Stress thresholds";
    case SettingsPage::LeafPruning: return "Leaf pruning";
    case SettingsPage::TrendCycles: return "Annual trend cycles";
    case SettingsPage::Irrigation: return "Irrigation";
    case SettingsPage::FlowerPruning: return "Flower pruning";
    case SettingsPage::OutputFile: return "Output file";
  }
  return "?";
}

const ValidationRule* RuleAbout(const std::string& field) {
  for (const ValidationRule& rule : ValidationRules()) {
    if (field == rule.field) return &rule;
  }
  return nullptr;
}

std::string DefaultText(const RunSettings& settings, const FieldInfo& field) {
  return field.text != nullptr ? settings.*field.text : std::to_string(settings.*field.integer);
}

// Settings that pass every rule, with every treatment on, so that a probe of one
// value meets only its own rule.
RunSettings AllTreatmentsOn() {
  RunSettings s = StartupDefaults();
  s.leafPruning = s.trendCycles = s.irrigation = s.flowerPruning = 1;
  s.leafPruneCycle = 50;
  s.pruneStress = 5;
  s.trendAmplitude = 5;
  s.irrigationStart = 20;
  s.irrigationEnd = 60;
  s.flowerPruneStart = 30;
  s.flowerPruneEnd = 70;
  return s;
}

// One end of an admitted range: a number, or another field plus an offset.
struct Bound {
  std::optional<std::int32_t> number;
  std::string field;
  std::int32_t offset = 0;
  std::int32_t Value(const RunSettings& s) const {
    return number ? *number : s.*(FindField(field)->integer) + offset;
  }
};

std::optional<Bound> ParseBound(std::string text) {
  static const std::regex number(R"(^-?[0-9]+$)");
  static const std::regex fieldMinus(R"(^([a-zA-Z]+)(?: - ([0-9]+))?$)");
  text = Trim(text);
  std::smatch match;
  if (std::regex_match(text, number)) return Bound{std::stoi(text), "", 0};
  if (std::regex_match(text, match, fieldMinus) && FindField(match[1]) != nullptr) {
    return Bound{std::nullopt, match[1], match[2].matched ? -std::stoi(match[2]) : 0};
  }
  return std::nullopt;
}

struct Range {
  std::optional<Bound> low, high;
  bool whenOn = false;
};

// "at least 1", "0 or more", "0 to 38", "1 to cycleCount - 1 (when on)",
// "above femaleThreshold, at most 39"; nullopt for what no rule bounds.
std::optional<Range> ParseRange(std::string text) {
  Range range;
  const std::string whenOn = " (when on)";
  if (text.size() > whenOn.size() && text.compare(text.size() - whenOn.size(), whenOn.size(), whenOn) == 0) {
    range.whenOn = true;
    text.resize(text.size() - whenOn.size());
  }
  std::smatch match;
  if (std::regex_match(text, match, std::regex(R"(^at least (\S+)$)")) ||
      std::regex_match(text, match, std::regex(R"(^(\S+) or more$)"))) {
    range.low = ParseBound(match[1]);
  } else if (std::regex_match(text, match, std::regex(R"(^above (.+), at most (.+)$)"))) {
    range.low = ParseBound(match[1]);
    if (range.low) range.low->offset += 1;
    range.high = ParseBound(match[2]);
    if (!range.high) return std::nullopt;
  } else if (std::regex_match(text, match, std::regex(R"(^(.+) to (.+)$)"))) {
    range.low = ParseBound(match[1]);
    range.high = ParseBound(match[2]);
    if (!range.high) return std::nullopt;
  } else {
    return std::nullopt;
  }
  if (!range.low) return std::nullopt;
  return range;
}

class SettingsReference : public ::testing::Test {
 protected:
  std::string guide = ReadFile(VARNOLT_SOURCE_DIR "/docs/settings.md");
  std::vector<std::vector<std::string>> settings = TableAfter(guide, "## The settings");
  std::vector<std::vector<std::string>> rules = TableAfter(guide, "## The thirteen rules");
};

enum Column { Name, Page, Meaning, Unit, Startup, New, Admitted, Rule, ColumnCount };

TEST_F(SettingsReference, ListsEverySettingInTheRecordsOrderWithItsDefaults) {
  ASSERT_EQ(settings.size(), RunSettingsFields().size()) << "docs/settings.md: one row per setting";
  for (std::size_t i = 0; i < settings.size(); ++i) {
    const FieldInfo& field = RunSettingsFields()[i];
    const auto& row = settings[i];
    ASSERT_EQ(row.size(), ColumnCount) << "the row of " << field.name;
    EXPECT_EQ(Plain(row[Name]), field.name) << "row " << i + 1;
    EXPECT_EQ(Plain(row[Startup]), DefaultText(StartupDefaults(), field)) << field.name << ": start-up default";
    EXPECT_EQ(Plain(row[New]), DefaultText(NewDefaults(), field)) << field.name << ": New default";
    if (field.kind == FieldKind::Switch) {
      EXPECT_EQ(Plain(row[Admitted]), "0 or 1") << field.name;
    }
  }
}

TEST_F(SettingsReference, NamesTheRuleAndPageOfEveryRuledSettingAndNoRuleElsewhere) {
  for (const auto& row : settings) {
    ASSERT_EQ(row.size(), ColumnCount);
    const std::string name = Plain(row[Name]);
    const ValidationRule* rule = RuleAbout(name);
    if (rule == nullptr) {
      EXPECT_TRUE(row[Rule] == "—" || row[Rule] == "model") << name << " has no rule, but the guide names " << row[Rule];
      continue;
    }
    EXPECT_EQ(row[Rule], std::to_string(rule->number)) << name;
    EXPECT_EQ(row[Page], PageName(RulePage(*rule))) << name;
  }
}

TEST_F(SettingsReference, AdmittedRangesAreExactlyWhatTheRulesLetThrough) {
  for (const auto& row : settings) {
    ASSERT_EQ(row.size(), ColumnCount);
    const std::string name = Plain(row[Name]);
    const ValidationRule* rule = RuleAbout(name);
    if (rule == nullptr) continue;
    const auto range = ParseRange(Plain(row[Admitted]));
    ASSERT_TRUE(range) << name << ": cannot read the range \"" << Plain(row[Admitted]) << "\"";
    std::int32_t RunSettings::*value = FindField(name)->integer;
    const RunSettings base = AllTreatmentsOn();
    ASSERT_EQ(FirstFailedRule(base), nullptr);

    RunSettings probe = base;
    const std::int32_t low = range->low->Value(base);
    probe.*value = low;
    EXPECT_FALSE(rule->fails(probe)) << name << " = " << low << " is admitted, the guide says";
    probe.*value = low - 1;
    EXPECT_TRUE(rule->fails(probe)) << name << " = " << low - 1 << " is refused, the guide says";
    if (range->high) {
      const std::int32_t high = range->high->Value(base);
      probe.*value = high;
      EXPECT_FALSE(rule->fails(probe)) << name << " = " << high << " is admitted, the guide says";
      probe.*value = high + 1;
      EXPECT_TRUE(rule->fails(probe)) << name << " = " << high + 1 << " is refused, the guide says";
    } else {
      probe.*value = 2147483647;
      EXPECT_FALSE(rule->fails(probe)) << name << " has no upper bound, the guide says";
    }
    // "(when on)": a treatment that is off admits anything.
    RunSettings off = StartupDefaults();
    off.*value = -5;
    EXPECT_EQ(rule->fails(off), !range->whenOn) << name << (range->whenOn ? " is" : " is not")
                                                << " checked only while its treatment is on, the guide says";
  }
}

TEST_F(SettingsReference, ListsTheThirteenRulesWithTheirPagesAndMessages) {
  ASSERT_EQ(rules.size(), ValidationRules().size());
  for (std::size_t i = 0; i < rules.size(); ++i) {
    const ValidationRule& rule = ValidationRules()[i];
    ASSERT_EQ(rules[i].size(), 4u);
    EXPECT_EQ(rules[i][0], std::to_string(rule.number));
    EXPECT_NE(Plain(rules[i][1]).find(rule.field), std::string::npos) << "rule " << rule.number;
    EXPECT_EQ(rules[i][2], PageName(RulePage(rule))) << "rule " << rule.number;
    EXPECT_EQ(rules[i][3], Replaced(rule.message, "\n", " ")) << "rule " << rule.number;
  }
}

// The man page: the same defaults, ranges and rules, in roff.
std::string FromRoff(std::string text) {
  for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
           {"\\(lq", "\""}, {"\\(rq", "\""}, {"\\-", "-"}, {"\\e", "\\"}}) {
    text = Replaced(text, from, to);
  }
  return text;
}

// Each ".TP / .B NAME" entry of a section, its text joined into one line.
std::map<std::string, std::string> RoffEntries(const std::string& page, const std::string& section) {
  std::map<std::string, std::string> entries;
  const auto start = page.find(".SH " + section + "\n");
  if (start == std::string::npos) return entries;
  const auto end = page.find("\n.SH ", start + 1);
  std::istringstream lines(page.substr(start, end - start));
  std::string line, current;
  bool expectName = false;
  while (std::getline(lines, line)) {
    if (line == ".TP") {
      expectName = true;
    } else if (expectName && line.rfind(".B ", 0) == 0) {
      current = line.substr(3);
      expectName = false;
    } else if (!current.empty() && line.rfind(".", 0) != 0) {
      entries[current] += (entries[current].empty() ? "" : " ") + FromRoff(line);
    }
  }
  return entries;
}

TEST_F(SettingsReference, TheManPageAgreesWithTheGuide) {
  const std::string man = ReadFile(VARNOLT_SOURCE_DIR "/packaging/man/varnolt-cli.1.in");
  const auto entries = RoffEntries(man, "SETTINGS");
  ASSERT_EQ(entries.size(), settings.size()) << "varnolt-cli.1: one SETTINGS entry per setting";
  for (const auto& row : settings) {
    const std::string name = Plain(row[Name]);
    ASSERT_TRUE(entries.count(name)) << "varnolt-cli.1 lacks " << name;
    const std::string& text = entries.at(name);
    const std::string quote = row[Unit] == "text" || row[Unit] == "path" ? "\"" : "";
    const std::string startup = quote + Plain(row[Startup]) + quote, fresh = quote + Plain(row[New]) + quote;
    const std::string defaults =
        startup == fresh ? "Default: " + startup + "." : "Default: " + startup + " at start-up, " + fresh + " after New.";
    EXPECT_NE(text.find(defaults), std::string::npos) << name << ": \"" << defaults << "\" in " << text;
    EXPECT_NE(text.find("Unit: " + row[Unit] + "."), std::string::npos) << name << ": " << text;
    EXPECT_NE(text.find("Page: " + row[Page] + "."), std::string::npos) << name << ": " << text;
    std::string admits = "Admits: " + Plain(row[Admitted]);
    if (row[Rule] == "model") {
      admits += " (the model's limit).";
    } else if (row[Rule] != "—") {
      admits += " (rule " + row[Rule] + ").";
    } else {
      admits += ".";
    }
    EXPECT_NE(text.find(admits), std::string::npos) << name << ": \"" << admits << "\" in " << text;
  }
  const auto ruleEntries = RoffEntries(man, "RULES");
  ASSERT_EQ(ruleEntries.size(), ValidationRules().size()) << "varnolt-cli.1: one RULES entry per rule";
  for (const ValidationRule& rule : ValidationRules()) {
    const std::string& text = ruleEntries.at(std::to_string(rule.number));
    EXPECT_NE(text.find(std::string("(") + PageName(RulePage(rule)) + " page)"), std::string::npos) << text;
    EXPECT_NE(text.find("\"" + Replaced(rule.message, "\n", " ") + "\""), std::string::npos) << text;
  }
}

}  // namespace
