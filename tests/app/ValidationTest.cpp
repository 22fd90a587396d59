#include "SheetDriver.h"

namespace varnolt {

namespace {
class Validation : public SheetDriver {};

// The page and the edit the window shows for a rule are those its setting has
// in the window: `controlId` as the pages number their edits.
void ExpectRuleReported(CSheet& sheet, RecordingPrompts& prompts, const ValidationRule& rule, int controlId) {
  EXPECT_FALSE(sheet.ValidateSettings());
  ASSERT_EQ(prompts.messages.size(), 1u) << rule.number;
  const MessageRequest& box = prompts.messages[0].request;
  EXPECT_EQ(box.text, QString::fromUtf8(rule.message));
  EXPECT_EQ(box.caption, "Invalid data");
  EXPECT_EQ(box.icon, MessageIcon::Stop);
  EXPECT_EQ(box.buttons, MessageButtons::Ok);
  CPropertyPage& page = sheet.SettingsPageAt(RulePage(rule));
  EXPECT_EQ(sheet.GetActivePage(), &page) << rule.number;
  EXPECT_EQ(page.Template().id, resource::PageTemplate(RulePage(rule))) << rule.number;
  auto* edit = qobject_cast<QLineEdit*>(page.GetDlgItem(controlId));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(QApplication::focusWidget(), edit) << rule.number;
  EXPECT_EQ(edit->selectedText(), edit->text()) << rule.number;
  prompts.Clear();
}
}  // namespace

TEST_F(Validation, DefaultsPassWithoutABox) {
  EXPECT_TRUE(sheet.ValidateSettings());
  EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(Validation, EachRuleShowsItsPageMessageAndEdit) {
  const auto& rules = ValidationRules();
  struct Case { int rule; int controlId; void (*breakIt)(RunSettings&); };
  const Case cases[] = {
      {1, 1001, [](RunSettings& s) { s.cycleCount = 0; }},
      {2, 1002, [](RunSettings& s) { s.palmCount = 0; }},
      {3, 1014, [](RunSettings& s) { s.abortThreshold = 0; }},
      {4, 1012, [](RunSettings& s) { s.femaleThreshold = 39; s.maleThreshold = 39; }},
      {5, 1013, [](RunSettings& s) { s.maleThreshold = s.femaleThreshold; }},
      {6, 1015, [](RunSettings& s) { s.randomPercent = -1; }},
      {7, 1016, [](RunSettings& s) { s.leafPruning = 1; s.pruneStress = 5; }},
      {8, 1017, [](RunSettings& s) { s.leafPruning = 1; s.leafPruneCycle = 3; }},
      {9, 1018, [](RunSettings& s) { s.trendCycles = 1; }},
      {10, 1022, [](RunSettings& s) { s.cycleCount = 1; s.irrigation = 1; s.irrigationStart = 1; s.irrigationEnd = 1; }},
      {11, 1023, [](RunSettings& s) { s.irrigation = 1; s.irrigationStart = 5; s.irrigationEnd = 5; }},
      {12, 1025, [](RunSettings& s) { s.flowerPruning = 1; }},
      {13, 1026, [](RunSettings& s) { s.flowerPruning = 1; s.flowerPruneStart = 99; s.flowerPruneEnd = 101; }},
  };
  for (const Case& c : cases) {
    sheet.SetActivePage(&sheet.pageResults);
    sheet.settings = StartupDefaults();
    c.breakIt(sheet.settings);
    ExpectRuleReported(sheet, prompts, rules[c.rule - 1], c.controlId);
  }
}

TEST_F(Validation, ATreatmentThatIsOffPassesWhateverItHolds) {
  sheet.settings.leafPruneCycle = -7;
  sheet.settings.pruneStress = 99;
  sheet.settings.trendAmplitude = 0;
  sheet.settings.irrigationStart = 500;
  sheet.settings.flowerPruneEnd = -1;
  EXPECT_TRUE(sheet.ValidateSettings());
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace varnolt
