// The dialog templates of the main window's pages, in dialog units.
#include <cstdlib>
#include <cstdio>

#include "resources/Resources.h"

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

std::vector<DialogTemplate> BuildTemplates() {
  std::vector<DialogTemplate> templates;
  templates.push_back(AboutPage());

  {
    std::vector<ControlTemplate> c;
    c.push_back(Label("Frond numbers selected determine length of feedback loops and hence cycle frequency. "
                      "Note: default stress sums depend on 10 stress generating nodes for determination "
                      "and 6 stress generating nodes for abortion",
                      kLabelX, 10, 270, 34));
    Row(c, "First frond generating stress for sex ratio:", 1003, 52);
    Row(c, "Last frond generating stress for sex ratio:", 1004, 72);
    Row(c, "First frond generating stress for abortion:", 1005, 92);
    Row(c, "Last frond generating stress for abortion:", 1006, 112);
    Row(c, "Frond marking start of sex determining stage:", 1007, 132, kEdit);
    Row(c, "Frond marking end of sex determining stage:", 1008, 152, kEdit);
    Row(c, "Frond where stress induced abortion occurs:", 1009, 172);
    templates.push_back(Page(resource::IDD_FRONDS, "Frond Numbers", std::move(c)));
  }

  templates.push_back(Page(
      resource::IDD_SIZE, "Size",
      {
          Label("Title or notes for this simulation run:", 15, 14, 270),
          Edit(1000, 15, 25, 270, kEdit),
          {IDC_STATIC, ControlKind::GroupBox, "", 7, 50, 286, 90},
          Label("Number of node initiation cycles (note: 30 years of growth is about 770 nodes):", 15, 62, 270, 16),
          Edit(1001, 15, 80, kNumberWidth),
          Label("(Total number of cycles)", 15 + kNumberWidth + 8, 83, 120),
          Label("Number of palms (suggested minimum is 10):", 15, 104, 270),
          Edit(1002, 15, 116, kNumberWidth),
      }));

  {
    std::vector<ControlTemplate> c;
    c.push_back(Label("These determine sensitivity of nodes to stress levels. Note: low stress gives females; "
                      "moderate stress, males; high stress, aborts.",
                      kLabelX, 10, 270, 18));
    c.push_back({IDC_STATIC, ControlKind::GroupBox, "Threshold Sums", 7, 34, 286, 76});
    // The threshold labels sit inside the group box, a little indented.
    Row(c, "Female (min. 0; max. 38):", 1012, 50, kNumberEdit, 20);
    Row(c, "Male (min. greater than female; max. 39):", 1013, 70, kNumberEdit, 20);
    Row(c, "Abort (min. 1; max. 40):", 1014, 90, kNumberEdit, 20);
    c.push_back(Label("This introduces a random element in determination of sex stress sum", kLabelX, 122, 270));
    Row(c, "Max. random contribution to total sex stress sum (in %):", 1015, 138);
    templates.push_back(Page(resource::IDD_THRESHOLDS, "Stress thresholds", std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(Check(1019, "Check to simulate leaf pruning", kLabelX, 14, 200));
    c.push_back(Label("Note that pruning adds extra stress.", kLabelX, 36, 270));
    Row(c, "Cycle number when leaf pruning is imposed:", 1016, 58);
    Row(c, "Stress value for pruning (min. 1; max. 10):", 1017, 80);
    templates.push_back(Page(resource::IDD_LEAF, "Leaf pruning", std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(Check(1020, "Check to add annual trend cycles", kLabelX, 14, 200));
    c.push_back(Label("Note that these cycles are intended to impose unspecified cyclic seasonal constraints. "
                      "However, they should not affect long term mean responses.",
                      kLabelX, 36, 270, 18));
    Row(c, "Trend amplitude (min. 1; max. 10):", 1018, 66, kEdit);
    templates.push_back(Page(resource::IDD_TREND, "Annual trend cycles", std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(Check(1021, "Check to irrigate", kLabelX, 14, 200));
    c.push_back(Label("Note: for irrigation you should first select annual trend cycles.", kLabelX, 36, 270));
    Row(c, "Cycle number at start of irrigation:", 1022, 58);
    Row(c, "Cycle number at end of irrigation:", 1023, 80);
    templates.push_back(Page(resource::IDD_IRRIGATION, "Irrigation", std::move(c)));
  }

  {
    std::vector<ControlTemplate> c;
    c.push_back(Check(1024, "Check to do flower pruning", kLabelX, 14, 200));
    Row(c, "Cycle number at start of flower pruning:", 1025, 40);
    Row(c, "Cycle number at end of flower pruning:", 1026, 62);
    templates.push_back(Page(resource::IDD_FLOWER, "Flower pruning", std::move(c)));
  }

  templates.push_back(Page(resource::IDD_OUTPUT, "Output file",
                           {
                               Label("Name of file to store the simulation results:", 15, 14, 270),
                               Edit(1028, 15, 26, 246, kEdit),
                               {1027, ControlKind::PushButton, "...", 265, 26, 18, 14, TabStop},
                               Label("Simulation results will be stored as a space-delimited text file.", 15, 50,
                                     270),
                           }));

  templates.push_back(Page(resource::IDD_FIRST_NODE_SEX, "First node sex",
                           {
                               Label("Initial node state: This affects the timing of first flowering peaks.", 15, 14,
                                     270),
                               Label("Sex of first nodes:", 15, 40, 80),
                               {1032, ControlKind::ListBox, "", 100, 38, 72, 48, VScroll | Notify | Border | TabStop},
                           }));

  templates.push_back(Page(
      resource::IDD_RESULTS, "RUN MODEL",
      {
          {1034, ControlKind::Label,
           "Note: Results shown below are based on the last model run. Click the Run button to obtain the latest "
           "simulation results.",
           15, 11, 216, 18},
          {1029, ControlKind::PushButton, "&Run", 241, 9, 50, 23, TabStop},
          {1033, ControlKind::Custom, "Grid", 7, 34, 286, 146, TabStop | GrowWidth | GrowHeight, "MFCGridCtrl"},
          // Two lines: a large run's "Last run" line wraps rather than running under Copy results.
          {1036, ControlKind::Label, "", 7, 182, 222, 18, FollowBottom | GrowWidth},
          {1035, ControlKind::PushButton, "&Copy results", 233, 183, 60, 14, TabStop | FollowBottom | FollowRight},
      }));

  templates.push_back(Page(
      resource::IDD_PLOT, "Plot",
      {
          // The analysis and the hint (or the readout under the mouse) have two
          // lines each, so that neither is cut at the window's smallest size.
          {1040, ControlKind::Custom, "Chart", 7, 7, 286, 127, TabStop | GrowWidth | GrowHeight, "QChartView"},
          {1041, ControlKind::Label, "", 7, 137, 286, 18, FollowBottom | GrowWidth},
          {1042, ControlKind::Label, "", 7, 157, 286, 18, FollowBottom | GrowWidth},
          {1043, ControlKind::PushButton, "Reset &zoom", 7, 180, 50, 14, TabStop | FollowBottom},
          {1044, ControlKind::PushButton, "&Export CSV...", 61, 180, 58, 14, TabStop | FollowBottom},
          {IDC_STATIC, ControlKind::Label, "Picture size:", 140, 183, 46, 9, FollowBottom | FollowRight},
          {1045, ControlKind::Edit, "1600 x 900", 186, 180, 46, 14, kEdit | FollowBottom | FollowRight},
          {1046, ControlKind::PushButton, "&Save picture...", 236, 180, 57, 14, TabStop | FollowBottom | FollowRight},
      }));
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
