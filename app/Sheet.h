#pragma once
// The program's one window: a property sheet with the menu, the title, the
// eleven pages and the run settings they edit. It routes the menu commands and
// keeps Enter and Escape from closing it.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/Pages.h"
#include "experiments/Experiments.h"
#include "model/FloweringModel.h"
#include "platform/FileError.h"
#include "platform/PropertySheet.h"
#include "platform/Prompts.h"
#include "run/Job.h"
#include "run/RunDriver.h"
#include "settings/RunSettings.h"
#include "settings/ValidationRules.h"

namespace varnolt {

// The file dialog for a ".dat" file: the File commands' Open and Save As, and
// the Output file page's "..." (a save dialog too).
FileDialogRequest DatFileDialog(FileDialogMode mode, const QString& initialName);

// The size the main window opens at on a screen of `available` size, for
// pages, menu and tabs that need `content`: 1000 x 700, or three quarters of
// the screen's width and height where that is less, and never less than the
// content.
QSize OpeningWindowSize(QSize available, QSize content);

class CSheet : public CPropertySheet {
  Q_OBJECT

 public:
  explicit CSheet(QWidget* parent = nullptr);
  ~CSheet() override;

  // 1 once the user has changed a setting since start-up (or since the
  // settings were last saved or replaced); the save question tests it.
  int settingsModified = 0;
  // The run settings of the program; each page edits its own fields.
  RunSettings settings = StartupDefaults();

  // The pages, in tab order.
  CPageNum pageNum;
  CPageFronds pageFronds;
  CPageSex pageSex;
  CPageTh pageTh;
  CPageLeaf pageLeaf;
  CPageTrend pageTrend;
  CPageIrrig pageIrrig;
  CPageFlower pageFlower;
  CPageOutput pageOutput;
  CPageResults pageResults;
  CPagePlot pagePlot;
  CPageExperiments pageExperiments;
  CPageAbout pageAbout;

  // Full path of the current settings file; empty while untitled. It names
  // the file Save writes, and changes only once a file was read or written.
  QString settingsPath;
  // Outcome of the last save: 1 when it went through (the question goes on
  // only then), 2 when the Save As dialog was cancelled, 0 when it failed or
  // the user held it back.
  int saveOutcome = 0;

  // The File commands and the close box. New, Open, Exit and the close box
  // ask "Save changes first?" while the settings are modified.
  void OnFileNew();
  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
  void OnFileExit();
  bool OnCloseRequest() override;
  // What Open does once a file is chosen (and what start-up does with a file
  // named on the command line): reads it into the settings and names it in
  // the title, or shows why it could not be read and changes nothing.
  bool OpenSettingsFile(const QString& path);

  // Moves the settings to or from the settings file at `path`. Storing, the
  // current page first takes its controls over (text that is no number has
  // been refused, and the settings are stored as they stand). Loading, the
  // file replaces the settings only once all of it was read; the current page
  // then shows them and the Size page becomes current. Answers what failed.
  enum class Archive { Store, Load };
  std::optional<FileError> SerializeSettings(Archive direction, const QString& path);
  // Puts the New defaults into every setting; the controls are left as they are.
  void ResetSettings();

  // The About command: the About page becomes current.
  void OnAbout();

  // Checks the settings against the rules in their order. On the first failure
  // the rule's page becomes current, its message is shown in an "Invalid data"
  // box, and its edit gets the focus with the text selected; answers false.
  bool ValidateSettings();
  // A setting the run cannot take: its page becomes current, the message shows
  // in an "Invalid data" box, then its edit gets the focus with the text selected.
  void ReportInvalidSetting(CPropertyPage& page, int controlId, const QString& message);
  // The settings page with this tab number.
  CPropertyPage& SettingsPageAt(SettingsPage page);

  // The model keeps the results of the last run that completed until the next
  // one replaces them; the RUN MODEL page shows them.
  FloweringModel model;
  // Where each run and experiment given no seed takes one: the system's source
  // of randomness, as the runner's, so that two runs started in the same second
  // differ; the seed taken is always shown. Tests put a fixed seed here.
  std::function<std::uint32_t()> seedSource = &FreshSeed;
  // Copies the settings into the model, runs it and writes the report to the
  // output file. Validates nothing: the caller checks the rules first.
  RunOutcome RunSimulation();
  // The same on a thread of its own while the window keeps painting and takes
  // no input; a progress dialog with Cancel shows when it lasts over half a
  // second. The model takes the results only when the run completes; a
  // cancelled run (RunStatus::Cancelled) changes nothing and writes no report.
  // `seed`, when given, is the run's seed (the Seed field); else seedSource's.
  RunOutcome RunSimulationWithProgress(std::optional<std::uint32_t> seed = std::nullopt);
  // Runs `work` as a job the way a run goes: the window keeps painting and
  // takes no input, and after half a second the progress dialog shows `text`
  // with a bar over `done()` (the job's own count unless given) of `total`, and
  // Cancel. False when the job was asked to stop (Cancel, Escape, the close box).
  bool RunJobWithProgress(const QString& text, std::uint64_t total, Job::Work work,
                          std::function<std::uint64_t()> done = {});
  // What the progress dialog says: "Running 770 cycles of 1,000,000 palms".
  static QString RunningText(const RunSettings& settings);
  // Run (F5): leaves the current page as its tab would (taking its edits, or
  // refusing with its message), then runs as the RUN MODEL page's button does.
  void OnRunCommand();
  bool RunInProgress() const { return activeRun_ != nullptr; }

  // The last run that gave results: what the run page's last-run line says and
  // what the record beside exported results keeps.
  struct LastRun {
    RunSettings settings;
    RunOutcome outcome;
  };
  std::optional<LastRun> lastRun;
  // Moves on whenever the model's results change, so pages redraw only then.
  int resultsVersion = 0;

  static QString UntitledTitle() { return QStringLiteral("[New] - VARNOLT"); }
  // The title while the settings belong to the file at `path`.
  static QString TitleFor(const QString& path);

 protected:
  bool OnInitDialog() override;
  QSize OpeningSize() const override;
  bool PreTranslateMessage(QObject* receiver, QKeyEvent* event) override;
  void OnCommand(int commandId) override;

 private:
  // The question before a command that would lose edits: true to go on.
  bool SaveChangesFirst();
  // The question before closing while a run lasts: true once the run stopped.
  bool StopRunFirst();
  struct ActiveRun;
  ActiveRun* activeRun_ = nullptr;
  // A run that gave results becomes lastRun and moves resultsVersion on.
  RunOutcome KeepAsLastRun(const RunSettings& runSettings, RunOutcome outcome);
  // Writes the settings to `path` and reports the outcome; true on success.
  bool SaveSettingsTo(const QString& path);
  // The current page takes what was typed over into the settings.
  void TakeCurrentPage();
  // Notes or an output file name with characters that settings files cannot
  // store are saved only when the user agrees; otherwise the page of the first
  // of them comes up with its text selected.
  bool TextsMayBeSaved();
  // The application's error box for a failed file operation; for a failed
  // open, `opened` names the file when the error's own words do not.
  void ShowFileError(const FileError& error, const QString& opened = QString());
  // The current page shows the settings as they now stand, a treatment page
  // with its edits enabled by the switch it shows.
  void ShowSettingsOnCurrentPage();
  void UpdateTitle();
};

}  // namespace varnolt
