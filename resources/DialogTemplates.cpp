// The dialog templates of the main window's pages, in dialog units.
#include <cstdlib>
#include <cstdio>

#include "resources/Resources.h"
#include "resources/SettingControls.h"
#include "settings/RunSettings.h"

namespace varnolt {

namespace {

using namespace ControlStyle;

constexpr const char* kFont = "MS Sans Serif";
constexpr int kFontPoints = 8;
constexpr unsigned kEdit = AutoHScroll | TabStop | Border;
constexpr unsigned kNumberEdit = kEdit | Number;

ControlTemplate Label(const char* text, int x, int y, int width, int height = 10) {
  return {IDC_STATIC, ControlKind::Label, text, x, y, width, height};
}
ControlTemplate Edit(int id, int x, int y, int width, unsigned styles = kNumberEdit) {
  return {id, ControlKind::Edit, "", x, y, width, 14, styles};
}
ControlTemplate Check(int id, const char* text, int x, int y, int width) {
  return {id, ControlKind::CheckBox, text, x, y, width, 10, TabStop};
}

// A label on the left and its edit on the right, the edits of a page in one column.
constexpr int kLabelX = 15;
constexpr int kEditX = 212;
constexpr int kNumberWidth = 60;
void Row(std::vector<ControlTemplate>& controls, const char* label, int id, int y, unsigned styles = kNumberEdit,
         int labelX = kLabelX) {
  controls.push_back(Label(label, labelX, y + 3, kEditX - labelX - 6));
  controls.push_back(Edit(id, kEditX, y, kNumberWidth, styles));
}

// The rows of a setting come from the settings' table: its label, its control's
// identifier and whether the edit takes digits only.
const FieldInfo& Setting(const char* name) {
  const FieldInfo* field = FindField(name);
  if (field == nullptr) {
    std::fprintf(stderr, "VARNOLT: the page templates name an unknown setting %s\n", name);
    std::abort();
  }
  return *field;
}
unsigned EditStyles(const FieldInfo& field) { return field.control == SettingControl::NumberEdit ? kNumberEdit : kEdit; }
ControlTemplate SettingEdit(const char* name, int x, int y, int width) {
  const FieldInfo& field = Setting(name);
  return Edit(resource::SettingControl(name), x, y, width, EditStyles(field));
}
ControlTemplate SettingCheck(const char* name, int x, int y, int width) {
  return Check(resource::SettingControl(name), Setting(name).label, x, y, width);
}
void SettingRow(std::vector<ControlTemplate>& controls, const char* name, int y, int labelX = kLabelX) {
  const FieldInfo& field = Setting(name);
  Row(controls, field.label, resource::SettingControl(name), y, EditStyles(field), labelX);
}

DialogTemplate Page(int id, const char* caption, std::vector<ControlTemplate> controls) {
  return {id, caption, 300, 201, kFont, kFontPoints, std::move(controls)};
}

DialogTemplate AboutPage() {
  return {resource::IDD_ABOUT,
          "About",
          301,
          202,
          kFont,
          kFontPoints,
          {
              {IDC_STATIC, ControlKind::CentredLabel, "VARNOLT v1.0", 20, 40, 261, 10},
              {IDC_STATIC, ControlKind::CentredLabel,
               "A simulation model of the flowering cycles of oil palm: how stress fed back from older "
               "fronds shapes the run of female, hermaphrodite, male and aborted inflorescences, "
               "and how pruning, irrigation and seasonal trends change it.",
               20, 70, 261, 40},
              {IDC_STATIC, ControlKind::CentredLabel,
               "Written as a tool for research and teaching. You may use, study and share it freely; "
               "the results are only as good as the assumptions you give the model.",
               20, 130, 261, 32},
          }};
}

// The Experiments page: what to run on the left (the kind of experiment, the
// settings it varies with their ranges, replicates, seed and statistics), what
// it will cost and what to do with the results on the right, the results below:
// a table and a chart that grow with the window.
DialogTemplate ExperimentsPage() {
  std::vector<ControlTemplate> c = {
      {IDC_STATIC, ControlKind::Label, "Experiment:", 7, 10, 42, 9},
      {1100, ControlKind::ComboBox, "", 50, 7, 78, 14, TabStop},
      {1101, ControlKind::PushButton, "&Run", 132, 6, 44, 16, TabStop},
      {IDC_STATIC, ControlKind::Label, "Settings", 7, 25, 80, 9},
      {IDC_STATIC, ControlKind::Label, "From", 92, 25, 26, 9},
      {IDC_STATIC, ControlKind::Label, "To", 120, 25, 26, 9},
      {1102, ControlKind::Label, "Step", 148, 25, 26, 9},
  };
  for (int row = 0; row < 4; ++row) {
    const int y = 34 + 14 * row, id = 1110 + 4 * row;
    c.push_back({id, ControlKind::ComboBox, "", 7, y, 82, 13, TabStop});
    c.push_back(Edit(id + 1, 92, y, 26, kEdit));
    c.push_back(Edit(id + 2, 120, y, 26, kEdit));
    c.push_back(Edit(id + 3, 148, y, 26));
  }
  const std::vector<ControlTemplate> rest = {
      {1140, ControlKind::Label, "Replicates:", 7, 95, 40, 9},
      {1141, ControlKind::Edit, "", 48, 92, 24, 13, kNumberEdit},
      {1144, ControlKind::Edit, "", 48, 92, 24, 13, kNumberEdit},
      {1139, ControlKind::Label, "Seed:", 78, 95, 20, 9},
      {1142, ControlKind::Edit, "", 98, 92, 52, 13, kNumberEdit},
      // The palms a fit's candidates run (a sweep's and a screening's are the Size page's).
      {1174, ControlKind::Label, "Palms:", 155, 95, 22, 9},
      {1173, ControlKind::Edit, "", 178, 92, 32, 13, kNumberEdit},
      {1138, ControlKind::Label, "Statistics:", 7, 111, 40, 9},
      {1143, ControlKind::Edit, "", 48, 108, 162, 13, kEdit},
      // The census to fit and the way to it, in place of the statistics.
      {1171, ControlKind::Label, "", 7, 107, 140, 18},
      {1170, ControlKind::PushButton, "&Open census...", 152, 108, 58, 14, TabStop},
      // The plan (with what became of the last experiment above it) has room
      // for a fit's whole summary at the page's smallest size.
      {1145, ControlKind::Label, "", 216, 7, 237, 76, GrowWidth},
      {1146, ControlKind::PushButton, "&Export CSV...", 216, 88, 56, 14, TabStop},
      {1147, ControlKind::PushButton, "Save &picture...", 276, 88, 58, 14, TabStop},
      {1148, ControlKind::PushButton, "&Copy", 338, 88, 34, 14, TabStop},
      {1175, ControlKind::PushButton, "Copy command &line", 376, 88, 77, 14, TabStop},
      {IDC_STATIC, ControlKind::Label, "Chart:", 216, 109, 24, 9},
      {1149, ControlKind::ComboBox, "", 242, 106, 100, 14, TabStop},
      {1172, ControlKind::PushButton, "&Use these settings", 346, 106, 107, 14, TabStop},
      // The page shares the width it grows by between the two (CPageExperiments::OnSize).
      // The experiments run since the window opened, to go back to.
      {IDC_STATIC, ControlKind::Label, "Shown:", 216, 127, 24, 9},
      {1176, ControlKind::ComboBox, "", 242, 124, 211, 14, TabStop | GrowWidth},
      {1160, ControlKind::Custom, "Grid", 7, 142, 180, 181, TabStop | GrowHeight, "MFCGridCtrl"},
      {1161, ControlKind::Custom, "Chart", 191, 142, 262, 181, GrowWidth | GrowHeight, "Picture"},
  };
  c.insert(c.end(), rest.begin(), rest.end());
  // Larger than the input pages: the results need the room, and the window
  // never opens smaller than its largest page.
  return {resource::IDD_EXPERIMENTS, "Experiments", 460, 330, kFont, kFontPoints, std::move(c)};
}

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> templates;
  templates.push_back(AboutPage());

  {
    std::vector<ControlTemplate> c;
    c.push_back(Label("Frond numbers selected determine length of feedback loops and hence cycle frequency. "
                      "Note: default stress sums depend on 10 stress generating nodes for determination "
                      "and 6 stress generating nodes for abortion",
                      kLabelX, 10, 270, 34));
    SettingRow(c, "sexStressFirstFrond", 52);
    SettingRow(c, "sexStressLastFrond", 72);
    SettingRow(c, "abortStressFirstFrond", 92);
    SettingRow(c, "abortStressLastFrond", 112);
    SettingRow(c, "sexStageStartFrond", 132);
    SettingRow(c, "sexStageEndFrond", 152);
    SettingRow(c, "abortionFrond", 172);
    templates.push_back(Page(resource::IDD_FRONDS, SettingsPageTitle(SettingsPage::FrondNumbers), std::move(c)));
  }

  templates.push_back(Page(
      resource::IDD_SIZE, SettingsPageTitle(SettingsPage::Size),
      {
          Label(Setting("runNotes").label, 15, 14, 270),
          SettingEdit("runNotes", 15, 25, 270),
          {IDC_STATIC, ControlKind::GroupBox, "", 7, 50, 286, 90},
          Label(Setting("cycleCount").label, 15, 62, 270, 16),
          SettingEdit("cycleCount", 15, 80, kNumberWidth),
          Label("(Total number of cycles)", 15 + kNumberWidth + 8, 83, 120),
          Label(Setting("palmCount").label, 15, 104, 270),
          SettingEdit("palmCount", 15, 116, kNumberWidth),
      }));

  {
    std::vector<ControlTemplate> c;
    c.push_back(Label("These determine sensitivity of nodes to stress levels. Note: low stress gives females; "
                      "moderate stress, males; high stress, aborts.",
                      kLabelX, 10, 270, 18));
    c.push_back({IDC_STATIC, ControlKind::GroupBox, "Threshold Sums", 7, 34, 286, 76});
    // The threshold labels sit inside the group box, a little indented.
    SettingRow(c, "femaleThreshold", 50, 20);
    SettingRow(c, "maleThreshold", 70, 20);
    SettingRow(c, "abortThreshold", 90, 20);
    c.push_back(Label("This introduces a random element in determination of sex stress sum", kLabelX, 122, 270));
    SettingRow(c, "randomPercent", 138);
    templates.push_back(Page(resource::IDD_THRESHOLDS, SettingsPageTitle(SettingsPage::StressThresholds), std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(SettingCheck("leafPruning", kLabelX, 14, 200));
    c.push_back(Label("Note that pruning adds extra stress.", kLabelX, 36, 270));
    SettingRow(c, "leafPruneCycle", 58);
    SettingRow(c, "pruneStress", 80);
    templates.push_back(Page(resource::IDD_LEAF, SettingsPageTitle(SettingsPage::LeafPruning), std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(SettingCheck("trendCycles", kLabelX, 14, 200));
    c.push_back(Label("Note that these cycles are intended to impose unspecified cyclic seasonal constraints. "
                      "However, they should not affect long term mean responses.",
                      kLabelX, 36, 270, 18));
    SettingRow(c, "trendAmplitude", 66);
    templates.push_back(Page(resource::IDD_TREND, SettingsPageTitle(SettingsPage::TrendCycles), std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(SettingCheck("irrigation", kLabelX, 14, 200));
    c.push_back(Label("Note: for irrigation you should first select annual trend cycles.", kLabelX, 36, 270));
    SettingRow(c, "irrigationStart", 58);
    SettingRow(c, "irrigationEnd", 80);
    templates.push_back(Page(resource::IDD_IRRIGATION, SettingsPageTitle(SettingsPage::Irrigation), std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(SettingCheck("flowerPruning", kLabelX, 14, 200));
    SettingRow(c, "flowerPruneStart", 40);
    SettingRow(c, "flowerPruneEnd", 62);
    templates.push_back(Page(resource::IDD_FLOWER, SettingsPageTitle(SettingsPage::FlowerPruning), std::move(c)));
  }

  templates.push_back(Page(resource::IDD_OUTPUT, SettingsPageTitle(SettingsPage::OutputFile),
                           {
                               Label(Setting("outputPath").label, 15, 14, 270),
                               SettingEdit("outputPath", 15, 26, 246),
                               {1027, ControlKind::PushButton, "...", 265, 26, 18, 14, TabStop},
                               Label("Simulation results will be stored as a space-delimited text file.", 15, 50,
                                     270),
                           }));

  templates.push_back(Page(resource::IDD_FIRST_NODE_SEX, SettingsPageTitle(SettingsPage::FirstNodeSex),
                           {
                               Label("Initial node state: This affects the timing of first flowering peaks.", 15, 14,
                                     270),
                               Label(Setting("initialNodeSex").label, 15, 40, 80),
                               {resource::SettingControl("initialNodeSex"), ControlKind::ListBox, "", 100, 38, 72, 48,
                                VScroll | Notify | Border | TabStop},
                           }));

  templates.push_back(Page(
      resource::IDD_RESULTS, "RUN MODEL",
      {
          {1034, ControlKind::Label,
           "Note: Results shown below are based on the last model run. Click the Run button to obtain the latest "
           "simulation results.",
           15, 11, 216, 18},
          {1029, ControlKind::PushButton, "&Run", 241, 9, 50, 23, TabStop},
          {1033, ControlKind::Custom, "Grid", 7, 34, 286, 128, TabStop | GrowWidth | GrowHeight, "MFCGridCtrl"},
          // The seed of the next run: empty for a new one each run, as the clock gives it.
          {1039, ControlKind::Label, "Seed:", 7, 168, 22, 9, FollowBottom},
          {1037, ControlKind::Edit, "", 30, 165, 56, 14, kNumberEdit | FollowBottom},
          {1038, ControlKind::PushButton, "&Use last seed", 233, 165, 60, 14, TabStop | FollowBottom | FollowRight},
          // Two lines: a large run's "Last run" line wraps rather than running under Copy results.
          {1036, ControlKind::Label, "", 7, 182, 222, 18, FollowBottom | GrowWidth},
          {1035, ControlKind::PushButton, "&Copy results", 233, 183, 60, 14, TabStop | FollowBottom | FollowRight},
      }));

  templates.push_back(Page(
      resource::IDD_PLOT, "Plot",
      {
          // The analysis and the hint (or the readout under the mouse) have two
          // lines each, so that neither is cut at the window's smallest size.
          {1040, ControlKind::Custom, "Chart", 7, 7, 286, 110, TabStop | GrowWidth | GrowHeight, "QChartView"},
          {1041, ControlKind::Label, "", 7, 120, 286, 18, FollowBottom | GrowWidth},
          {1042, ControlKind::Label, "", 7, 140, 286, 18, FollowBottom | GrowWidth},
          // A run kept as a faint comparison behind the next ones, and what it was.
          {1047, ControlKind::PushButton, "&Keep this run", 7, 162, 62, 14, TabStop | FollowBottom},
          {1048, ControlKind::PushButton, "C&lear kept run", 73, 162, 62, 14, TabStop | FollowBottom},
          {1049, ControlKind::Label, "", 139, 165, 154, 9, FollowBottom | GrowWidth},
          {1043, ControlKind::PushButton, "Reset &zoom", 7, 180, 50, 14, TabStop | FollowBottom},
          {1044, ControlKind::PushButton, "&Export CSV...", 61, 180, 58, 14, TabStop | FollowBottom},
          {IDC_STATIC, ControlKind::Label, "Picture size:", 140, 183, 46, 9, FollowBottom | FollowRight},
          {1045, ControlKind::Edit, "1600 x 900", 186, 180, 46, 14, kEdit | FollowBottom | FollowRight},
          {1046, ControlKind::PushButton, "&Save picture...", 236, 180, 57, 14, TabStop | FollowBottom | FollowRight},
      }));
  templates.push_back(ExperimentsPage());
  return templates;
}

}  // namespace

const std::vector<DialogTemplate>& DialogTemplates() {
  static const std::vector<DialogTemplate> templates = BuildTemplates();
  return templates;
}

const DialogTemplate& FindDialogTemplate(int templateId) {
  for (const DialogTemplate& dialog : DialogTemplates()) {
    if (dialog.id == templateId) return dialog;
  }
  std::fprintf(stderr, "No dialog template %d\n", templateId);
  std::abort();
}

int resource::PageTemplate(SettingsPage page) {
  switch (page) {
    case SettingsPage::Size: return IDD_SIZE;
    case SettingsPage::FrondNumbers: return IDD_FRONDS;
    case SettingsPage::FirstNodeSex: return IDD_FIRST_NODE_SEX;
    case SettingsPage::StressThresholds: return IDD_THRESHOLDS;
    case SettingsPage::LeafPruning: return IDD_LEAF;
    case SettingsPage::TrendCycles: return IDD_TREND;
    case SettingsPage::Irrigation: return IDD_IRRIGATION;
    case SettingsPage::FlowerPruning: return IDD_FLOWER;
    case SettingsPage::OutputFile: return IDD_OUTPUT;
  }
  return 0;
}

}  // namespace varnolt
