// The File commands, driven through the window's menu and close box with
// scripted answers: what is written, what is read back into the pages, the
// "Save changes first?" question, the title, and what a failed open or save
// leaves behind.
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>
#endif

#include "SheetDriver.h"

namespace varnolt {

using namespace control;

namespace {

// --- Settings files built byte by byte, as VARNOLT writes them on Windows ----

std::string Int32(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  return {static_cast<char>(bits & 0xFF), static_cast<char>((bits >> 8) & 0xFF),
          static_cast<char>((bits >> 16) & 0xFF), static_cast<char>((bits >> 24) & 0xFF)};
}

// A short text: its length in one byte, then its Windows-1252 bytes.
std::string ShortText(const std::string& bytes) { return static_cast<char>(bytes.size()) + bytes; }

// The 25 numbers in the file's order: cycles, palms, abortion frond, abortion
// stress first and last, sex stress first and last, sex stage end and start,
// first node sex, abortion, female and male thresholds, random percentage, leaf
// pruning with its cycle and stress, trend with its amplitude, irrigation with
// its end and start, flower pruning with its end and start.
std::string SettingsFileBytes(const std::string& notes, const std::vector<std::int32_t>& numbers,
                              const std::string& output) {
  std::string bytes = ShortText(notes);
  for (std::int32_t number : numbers) bytes += Int32(number);
  return bytes + ShortText(output);
}

const std::vector<std::int32_t> kNewDefaultNumbers = {100, 10, 10, 20, 25, 20, 29, -4, -28, 0, 24, 16, 17,
                                                      25,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 0};

std::string ReadBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const QString& path, const std::string& bytes) {
  std::ofstream(path.toStdString(), std::ios::binary) << bytes;
}

class FileCommands : public SheetDriver {
 protected:
  QString PathOf(const QString& name) const { return folder.filePath(name); }

  // Saves the settings as they stand under `name` through Save As.
  void SaveAs(const QString& name) {
    prompts.AnswerNextFile(PathOf(name));
    ChooseMenuCommand(resource::ID_FILE_SAVE_AS);
  }
  void Open(const QString& path) {
    prompts.AnswerNextFile(path);
    ChooseMenuCommand(resource::ID_FILE_OPEN);
  }
  // An edit by the user on the Size page.
  void EditNotes(const QString& text) {
    ClickTab(sheet.pageNum);
    TypeOver(Edit(sheet.pageNum, kRunNotes), text);
    ASSERT_EQ(sheet.settingsModified, 1);
  }
  // Notes with characters no key gives, committed as an input method does.
  void EditNotesBeyondTheKeyboard(const QString& text) {
    ClickTab(sheet.pageNum);
    QLineEdit* notes = Edit(sheet.pageNum, kRunNotes);
    TypeOver(notes, QString());
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QApplication::sendEvent(notes, &typed);
    ASSERT_EQ(notes->text(), text);
    ASSERT_EQ(sheet.settingsModified, 1);
  }
  QString NotesShown() { return Edit(sheet.pageNum, kRunNotes)->text(); }

  void ExpectBox(std::size_t index, const QString& text, const QString& caption, MessageIcon icon) {
    ASSERT_LT(index, prompts.messages.size());
    const MessageRequest& box = prompts.messages[index].request;
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, icon);
    EXPECT_EQ(box.buttons, MessageButtons::Ok);
    EXPECT_EQ(prompts.messages[index].owner, &sheet);
  }
  void ExpectErrorBox(std::size_t index, const QString& text) { ExpectBox(index, text, "VARNOLT", MessageIcon::Stop); }
  void ExpectFileSavedBox(std::size_t index) { ExpectBox(index, "File saved", "Done", MessageIcon::Information); }

  QTemporaryDir folder;
};

const QString kFilter = QStringLiteral("VARNOLT files (*.dat)|*.dat|All files (*.*)|*.*|");

}  // namespace

// --- Saving --------------------------------------------------------------------

TEST_F(FileCommands, SavingTheNewDefaultsGivesThe130ByteFileAndNamesItInTheTitle) {
  ChooseMenuCommand(resource::ID_FILE_NEW);
  ASSERT_TRUE(prompts.messages.empty()) << "nothing was modified, so nothing is asked";
  prompts.AnswerNextFile(PathOf("defaults.dat"));
  ChooseMenuCommand(resource::ID_FILE_SAVE);  // an untitled set goes through Save As

  ASSERT_EQ(prompts.files.size(), 1u);
  const FileDialogRequest& dialog = prompts.files[0].request;
  EXPECT_EQ(dialog.mode, FileDialogMode::Save);
  EXPECT_EQ(dialog.filter, kFilter);
  EXPECT_EQ(dialog.defaultExtension, "dat");
  EXPECT_TRUE(dialog.initialName.isEmpty());
  EXPECT_TRUE(dialog.overwritePrompt);
  EXPECT_TRUE(dialog.hideReadOnly);

  const std::string bytes = ReadBytes(PathOf("defaults.dat"));
  EXPECT_EQ(bytes.size(), 130u);
  EXPECT_EQ(bytes, SettingsFileBytes("VRT Simulation Run", kNewDefaultNumbers, "output.dat"));
  ASSERT_EQ(prompts.messages.size(), 1u);
  ExpectFileSavedBox(0);
  EXPECT_EQ(sheet.settingsPath, PathOf("defaults.dat"));
  EXPECT_EQ(sheet.windowTitle(), "defaults.dat - VARNOLT");
  EXPECT_EQ(sheet.saveOutcome, 1);

  // Save As offers the current file; Save then writes there without asking.
  prompts.AnswerNextFile(std::nullopt);
  ChooseMenuCommand(resource::ID_FILE_SAVE_AS);
  EXPECT_EQ(prompts.files.back().request.initialName, PathOf("defaults.dat"));
  EXPECT_EQ(sheet.saveOutcome, 2);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(prompts.files.size(), 2u);
  ExpectFileSavedBox(1);
}

TEST_F(FileCommands, SaveTakesTheCurrentPageOverAndGoesOnPastTextThatIsNoNumber) {
  SaveAs("run.dat");
  prompts.Clear();
  TypeOver(Edit(sheet.pageNum, kCycleCount), "250");
  TypeOver(Edit(sheet.pageNum, kPalmCount), "");
  TypeOver(Edit(sheet.pageNum, kRunNotes), "never read");
  ChooseMenuCommand(resource::ID_FILE_SAVE);

  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Please enter an integer.", "File saved"}));
  EXPECT_TRUE(prompts.files.empty());
  // The read stopped at the empty palm count: cycles were taken, the notes were not.
  std::vector<std::int32_t> numbers = kNewDefaultNumbers;
  numbers[0] = 250;
  EXPECT_EQ(ReadBytes(PathOf("run.dat")), SettingsFileBytes("VARNOLT Simulation Run", numbers, "output.dat"));
  EXPECT_EQ(sheet.settingsModified, 0);
}

TEST_F(FileCommands, SaveAsElsewhereLeavesTheFirstFileAndMovesTheTitle) {
  SaveAs("first.dat");
  const std::string first = ReadBytes(PathOf("first.dat"));
  EditNotes("second version");
  SaveAs("second.dat");
  EXPECT_EQ(sheet.windowTitle(), "second.dat - VARNOLT");
  EXPECT_EQ(sheet.settingsPath, PathOf("second.dat"));

  EditNotes("third version");
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(ReadBytes(PathOf("first.dat")), first);
  EXPECT_EQ(ReadBytes(PathOf("second.dat")).substr(0, 14), "\x0d" "third version");
  // No temporary file is left beside them.
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"first.dat", "second.dat"}));
}

// --- Opening -------------------------------------------------------------------

TEST_F(FileCommands, OpeningAFileOfTheWindowsProgramRestoresEveryPage) {
  const QString path = PathOf("wet season.dat");
  // "n\xB0" is "n°" in Windows-1252.
  WriteBytes(path, SettingsFileBytes("Essai n\xB0 3", {321, 12, 11, 21, 26, 19, 31, -5, -27, 3, 30, 14, 22, 7, 1, 40, 6,
                                                       1, 4, 1, 90, 60, 1, 80, 50},
                                     "C:\\runs\\wet.dat"));
  ClickTab(sheet.pageTh);  // Open from another page
  Open(path);

  ASSERT_EQ(prompts.files.size(), 1u);
  const FileDialogRequest& dialog = prompts.files[0].request;
  EXPECT_EQ(dialog.mode, FileDialogMode::Open);
  EXPECT_TRUE(dialog.mustExist);
  EXPECT_TRUE(dialog.initialName.isEmpty());
  EXPECT_EQ(dialog.filter, kFilter);
  EXPECT_EQ(dialog.defaultExtension, "dat");
  EXPECT_TRUE(prompts.messages.empty());

  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(sheet.windowTitle(), "wet season.dat - VARNOLT");
  EXPECT_EQ(sheet.settingsPath, path);

  struct Shown { CPropertyPage& page; int edit; const char* text; };
  const Shown shown[] = {
      {sheet.pageNum, kRunNotes, "Essai n° 3"}, {sheet.pageNum, kCycleCount, "321"},
      {sheet.pageNum, kPalmCount, "12"},         {sheet.pageFronds, kAbortionFrond, "11"},
      {sheet.pageFronds, kAbortStressFirstFrond, "21"}, {sheet.pageFronds, kAbortStressLastFrond, "26"},
      {sheet.pageFronds, kSexStressFirstFrond, "19"},   {sheet.pageFronds, kSexStressLastFrond, "31"},
      {sheet.pageFronds, kSexStageEndFrond, "-5"},      {sheet.pageFronds, kSexStageStartFrond, "-27"},
      {sheet.pageTh, kAbortThreshold, "30"},     {sheet.pageTh, kFemaleThreshold, "14"},
      {sheet.pageTh, kMaleThreshold, "22"},      {sheet.pageTh, kRandomPercent, "7"},
      {sheet.pageLeaf, kLeafPruneCycle, "40"},   {sheet.pageLeaf, kPruneStress, "6"},
      {sheet.pageTrend, kTrendAmplitude, "4"},   {sheet.pageIrrig, kIrrigationEnd, "90"},
      {sheet.pageIrrig, kIrrigationStart, "60"}, {sheet.pageFlower, kFlowerPruneEnd, "80"},
      {sheet.pageFlower, kFlowerPruneStart, "50"}, {sheet.pageOutput, kOutputPath, "C:\\runs\\wet.dat"},
  };
  for (const Shown& s : shown) {
    ClickTab(s.page);
    ASSERT_EQ(Current(), &s.page);
    EXPECT_EQ(Edit(s.page, s.edit)->text(), QString::fromUtf8(s.text)) << s.edit;
    EXPECT_TRUE(Edit(s.page, s.edit)->isEnabled()) << s.edit;
  }
  struct Ticked { CPropertyPage& page; int box; };
  const Ticked ticked[] = {{sheet.pageLeaf, kLeafPruning}, {sheet.pageTrend, kTrendCycles},
                           {sheet.pageIrrig, kIrrigation}, {sheet.pageFlower, kFlowerPruning}};
  for (const Ticked& t : ticked) {
    ClickTab(t.page);
    EXPECT_TRUE(Check(t.page, t.box)->isChecked()) << t.box;
  }
  ClickTab(sheet.pageSex);
  EXPECT_EQ(List(sheet.pageSex, kInitialNodeSex)->currentItem()->text(), "Female");

  // Showing the pages changed nothing, so Exit asks nothing.
  EXPECT_EQ(sheet.settingsModified, 0);
  ChooseMenuCommand(resource::ID_FILE_EXIT);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(sheet.isVisible());
}

TEST_F(FileCommands, ASetUpSavedInOneSessionIsFoundWholeInTheNext) {
  TypeOver(Edit(sheet.pageNum, kRunNotes), "Plot 4");
  ClickTab(sheet.pageIrrig);
  ClickBox(Check(sheet.pageIrrig, kIrrigation));
  TypeOver(Edit(sheet.pageIrrig, kIrrigationStart), "10");
  ClickTab(sheet.pageOutput);
  TypeOver(Edit(sheet.pageOutput, kOutputPath), "plot4.txt");  // still only in the edit
  SaveAs("plot4.dat");
  EXPECT_EQ(prompts.MessageTexts(), QStringList({"File saved"}));

  RunSettings expected = StartupDefaults();
  expected.runNotes = "Plot 4";
  expected.irrigation = 1;
  expected.irrigationStart = 10;
  expected.outputPath = "plot4.txt";
  EXPECT_EQ(sheet.settings, expected);

  CSheet next;
  next.Create();
  prompts.AnswerNextFile(PathOf("plot4.dat"));
  next.FindMenuCommand(resource::ID_FILE_OPEN)->trigger();
  EXPECT_EQ(next.settings, expected);
  EXPECT_EQ(next.windowTitle(), "plot4.dat - VARNOLT");
}

TEST_F(FileCommands, AFailedOpenChangesNothingAndSaveStillWritesTheEarlierFile) {
  SaveAs("mine.dat");
  EditNotes("unsaved notes");
  const RunSettings before = sheet.settings;

  const std::string report = ReadBytes(QStringLiteral(VARNOLT_TEST_DATA "/reports/worked-run-seed1-one-palm.dat"));
  WriteBytes(PathOf("short report.dat"), report.substr(0, 120));
  // A whole report begins like settings: 'P' is a notes length of 80, and the
  // byte after the 25 numbers (offset 181) the length of the output path.
  WriteBytes(PathOf("output.dat"), report);
  const std::size_t afterSettings = report.size() - 182 - static_cast<unsigned char>(report[181]);
  WriteBytes(PathOf("cut.dat"), SettingsFileBytes("cut short", kNewDefaultNumbers, "output.dat").substr(0, 60));
  QDir(folder.path()).mkdir("a folder.dat");
  struct Failure { QString file; QString text; };
  const Failure failures[] = {
      {PathOf("short report.dat"), "An attempt was made to access an unnamed file past its end.\n" +
                                       PathOf("short report.dat") +
                                       " is not a whole settings file: it ends too early or is damaged."},
      {PathOf("cut.dat"), "An attempt was made to access an unnamed file past its end.\n" + PathOf("cut.dat") +
                              " is not a whole settings file: it ends too early or is damaged."},
      {PathOf("output.dat"), PathOf("output.dat") + " is not a VARNOLT settings file (it has " +
                                 QString::number(afterSettings) + " bytes after the settings)."},
      {PathOf("gone.dat"), PathOf("gone.dat") + " was not found."},
      {PathOf("a folder.dat"), PathOf("a folder.dat") + " is a folder, not a settings file. Open a file inside it."},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.file.toStdString());
    prompts.Clear();
    prompts.AnswerNextMessage(MessageAnswer::No);
    Open(failure.file);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].request.text, "Save changes first?");
    ExpectErrorBox(1, failure.text);
    EXPECT_EQ(sheet.settings, before);
    EXPECT_EQ(sheet.settingsPath, PathOf("mine.dat"));
    EXPECT_EQ(sheet.windowTitle(), "mine.dat - VARNOLT");
    EXPECT_EQ(sheet.settingsModified, 1);
    EXPECT_EQ(NotesShown(), "unsaved notes");
  }

  prompts.Clear();
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(ReadBytes(PathOf("short report.dat")), report.substr(0, 120));
  EXPECT_EQ(ReadBytes(PathOf("output.dat")), report);
  EXPECT_EQ(ReadBytes(PathOf("mine.dat")).substr(0, 14), "\x0d" "unsaved notes");
}

TEST_F(FileCommands, AFileMayHoldValuesThatTheRunRefuses) {
  const QString path = PathOf("odd.dat");
  std::vector<std::int32_t> numbers = kNewDefaultNumbers;
  numbers[10] = 0;  // abortion threshold
  numbers[9] = 9;   // first node sex outside the list
  WriteBytes(path, SettingsFileBytes("odd", numbers, "out.dat"));
  Open(path);
  EXPECT_TRUE(prompts.messages.empty());

  ClickTab(sheet.pageResults);
  EXPECT_FALSE(sheet.ValidateSettings());
  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Abortion threshold must be within 1 and 40 inclusive"}));
  EXPECT_EQ(Current(), &sheet.pageTh);
  QLineEdit* abort = Edit(sheet.pageTh, kAbortThreshold);
  EXPECT_EQ(abort->text(), "0");
  EXPECT_EQ(abort->selectedText(), "0");
  EXPECT_EQ(QApplication::focusWidget(), abort);
}

// --- New -----------------------------------------------------------------------

TEST_F(FileCommands, NewPutsBackTheNewDefaultsOnTheSizePageUntitled) {
  const QString path = PathOf("set.dat");
  WriteBytes(path, SettingsFileBytes("opened", {5, 6, 1, 2, 3, 4, 5, -1, -2, 1, 9, 3, 4, 0, 1, 2, 3, 1, 2, 0, 0, 0, 1, 1, 1},
                                     "o.dat"));
  Open(path);
  ClickTab(sheet.pageLeaf);
  ChooseMenuCommand(resource::ID_FILE_NEW);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(sheet.settings, NewDefaults());
  EXPECT_EQ(NotesShown(), "VRT Simulation Run");
  EXPECT_EQ(Edit(sheet.pageNum, kCycleCount)->text(), "100");
  EXPECT_EQ(sheet.windowTitle(), "[New] - VARNOLT");
  EXPECT_TRUE(sheet.settingsPath.isEmpty());
  EXPECT_EQ(sheet.settingsModified, 0);
  ClickTab(sheet.pageLeaf);
  EXPECT_FALSE(Check(sheet.pageLeaf, kLeafPruning)->isChecked());
  EXPECT_FALSE(Edit(sheet.pageLeaf, kPruneStress)->isEnabled());
}

TEST_F(FileCommands, NewOnATreatmentPageThatCannotBeLeftShowsTheResetSwitchWithItsEdits) {
  ClickTab(sheet.pageLeaf);
  ClickBox(Check(sheet.pageLeaf, kLeafPruning));
  TypeOver(Edit(sheet.pageLeaf, kLeafPruneCycle), "");
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_NEW);

  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Save changes first?", "Please enter an integer."}));
  ASSERT_EQ(Current(), &sheet.pageLeaf);
  EXPECT_EQ(sheet.settings, NewDefaults());
  EXPECT_FALSE(Check(sheet.pageLeaf, kLeafPruning)->isChecked());
  EXPECT_EQ(Edit(sheet.pageLeaf, kLeafPruneCycle)->text(), "0");
  EXPECT_FALSE(Edit(sheet.pageLeaf, kLeafPruneCycle)->isEnabled());
  EXPECT_FALSE(Edit(sheet.pageLeaf, kPruneStress)->isEnabled());
  EXPECT_EQ(sheet.settingsModified, 0);
}

// --- The question ----------------------------------------------------------------

namespace {

enum class Command { New, Open, Exit, CloseBox };
enum class Reply { Cancel, No, YesWithAFile, YesUntitledThenCancelSaveAs, YesUntitledChoosingAFile };

const char* const kCommandNames[] = {"New", "Open", "Exit", "CloseBox"};
const char* const kReplyNames[] = {"Cancel", "No", "YesWithAFile", "YesUntitledThenCancelSaveAs",
                                   "YesUntitledChoosingAFile"};
const char* Name(Command command) { return kCommandNames[static_cast<int>(command)]; }
const char* Name(Reply reply) { return kReplyNames[static_cast<int>(reply)]; }
std::ostream& operator<<(std::ostream& out, Command command) { return out << Name(command); }
std::ostream& operator<<(std::ostream& out, Reply reply) { return out << Name(reply); }

class SaveQuestion : public FileCommands, public ::testing::WithParamInterface<std::tuple<Command, Reply>> {
 protected:
  void Run(Command command) {
    switch (command) {
      case Command::New: ChooseMenuCommand(resource::ID_FILE_NEW); break;
      case Command::Open: ChooseMenuCommand(resource::ID_FILE_OPEN); break;
      case Command::Exit: ChooseMenuCommand(resource::ID_FILE_EXIT); break;
      case Command::CloseBox: sheet.close(); break;
    }
  }
};

}  // namespace

TEST_P(SaveQuestion, GoesOnOnlyWhenTheEditsAreSavedOrGivenUp) {
  const auto [command, reply] = GetParam();
  const QString other = PathOf("other.dat");
  WriteBytes(other, SettingsFileBytes("the other set", kNewDefaultNumbers, "output.dat"));
  if (reply == Reply::YesWithAFile) {
    SaveAs("mine.dat");
    prompts.Clear();
  }
  EditNotes("edited");

  switch (reply) {
    case Reply::Cancel: prompts.AnswerNextMessage(MessageAnswer::Cancel); break;
    case Reply::No: prompts.AnswerNextMessage(MessageAnswer::No); break;
    case Reply::YesWithAFile: prompts.AnswerNextMessage(MessageAnswer::Yes); break;
    case Reply::YesUntitledThenCancelSaveAs:
      prompts.AnswerNextMessage(MessageAnswer::Yes);
      prompts.AnswerNextFile(std::nullopt);
      break;
    case Reply::YesUntitledChoosingAFile:
      prompts.AnswerNextMessage(MessageAnswer::Yes);
      prompts.AnswerNextFile(PathOf("mine.dat"));
      break;
  }
  if (command == Command::Open) prompts.AnswerNextFile(other);
  Run(command);

  ASSERT_FALSE(prompts.messages.empty());
  const MessageRequest& question = prompts.messages[0].request;
  EXPECT_EQ(question.text, "Save changes first?");
  EXPECT_EQ(question.caption, "Question");
  EXPECT_EQ(question.icon, MessageIcon::Question);
  EXPECT_EQ(question.buttons, MessageButtons::YesNoCancel);
  EXPECT_EQ(prompts.messages[0].owner, &sheet);

  const bool saves = reply == Reply::YesWithAFile || reply == Reply::YesUntitledChoosingAFile;
  const bool goesOn = saves || reply == Reply::No;
  if (saves) {
    EXPECT_EQ(ReadBytes(PathOf("mine.dat")).substr(0, 7), "\x06" "edited");
    ExpectFileSavedBox(1);
  } else {
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(PathOf("mine.dat")));
  }
  EXPECT_TRUE(prompts.AllScriptedAnswersUsed() || (command == Command::Open && !goesOn));

  if (!goesOn) {
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(NotesShown(), "edited");
    EXPECT_EQ(sheet.settingsModified, 1);
    EXPECT_EQ(sheet.windowTitle(), "[New] - VARNOLT");
    EXPECT_TRUE(sheet.settingsPath.isEmpty());
    return;
  }
  switch (command) {
    case Command::New:
      EXPECT_EQ(NotesShown(), "VRT Simulation Run");
      EXPECT_EQ(sheet.windowTitle(), "[New] - VARNOLT");
      EXPECT_EQ(sheet.settingsModified, 0);
      break;
    case Command::Open:
      EXPECT_EQ(NotesShown(), "the other set");
      EXPECT_EQ(sheet.windowTitle(), "other.dat - VARNOLT");
      EXPECT_EQ(sheet.settingsModified, 0);
      break;
    case Command::Exit:
    case Command::CloseBox: EXPECT_FALSE(sheet.isVisible()); break;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommandAndAnswer, SaveQuestion,
    ::testing::Combine(::testing::Values(Command::New, Command::Open, Command::Exit, Command::CloseBox),
                       ::testing::Values(Reply::Cancel, Reply::No, Reply::YesWithAFile,
                                         Reply::YesUntitledThenCancelSaveAs, Reply::YesUntitledChoosingAFile)),
    [](const auto& info) {
      return std::string(Name(std::get<0>(info.param))) + "_" + Name(std::get<1>(info.param));
    });

// --- Notes that a settings file cannot hold -------------------------------------

TEST_F(FileCommands, NotesThatLoseCharactersAreSavedOnlyWhenTheUserAgrees) {
  const QString question = QStringLiteral(
      "The notes hold 2 characters that settings files cannot store; they will be saved as ?. Save anyway?");
  EditNotesBeyondTheKeyboard(QStringLiteral("Block \u03b1 \u2713 caf\u00e9"));
  ClickTab(sheet.pageFronds);
  prompts.AnswerNextFile(PathOf("notes.dat"));
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  ASSERT_EQ(prompts.MessageTexts(), QStringList({question}));
  EXPECT_EQ(prompts.messages[0].request.caption, "Question");
  EXPECT_EQ(prompts.messages[0].request.icon, MessageIcon::Question);
  EXPECT_EQ(prompts.messages[0].request.buttons, MessageButtons::YesNo);
  // No: back to the notes, nothing written.
  EXPECT_EQ(Current(), &sheet.pageNum);
  EXPECT_EQ(QApplication::focusWidget(), Edit(sheet.pageNum, kRunNotes));
  EXPECT_FALSE(QFileInfo::exists(PathOf("notes.dat")));
  EXPECT_EQ(sheet.settingsModified, 1);
  EXPECT_TRUE(sheet.settingsPath.isEmpty());

  prompts.Clear();
  prompts.AnswerNextFile(PathOf("notes.dat"));
  prompts.AnswerNextMessage(MessageAnswer::Yes);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(prompts.MessageTexts(), QStringList({question, "File saved"}));
  EXPECT_EQ(ReadBytes(PathOf("notes.dat")).substr(0, 15), "\x0e" "Block ? ? caf\xe9");
  EXPECT_EQ(sheet.settingsModified, 0);

  // Held back from a save that "Save changes first?" started, the command stops.
  EditNotesBeyondTheKeyboard(QStringLiteral("\u03a9mega"));
  prompts.Clear();
  prompts.AnswerNextMessage(MessageAnswer::Yes);
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_NEW);
  EXPECT_EQ(prompts.MessageTexts(),
            QStringList({"Save changes first?", "The notes hold 1 character that settings files cannot store; they "
                                                "will be saved as ?. Save anyway?"}));
  EXPECT_EQ(NotesShown(), QStringLiteral("\u03a9mega"));
  EXPECT_EQ(sheet.settingsModified, 1);
  EXPECT_EQ(ReadBytes(PathOf("notes.dat")).substr(1, 14), "Block ? ? caf\xe9");
}

TEST_F(FileCommands, AnOutputFileNameThatLosesCharactersIsSavedOnlyWhenTheUserAgrees) {
  ClickTab(sheet.pageOutput);
  QLineEdit* output = Edit(sheet.pageOutput, kOutputPath);
  TypeOver(output, QString());
  QInputMethodEvent typed;
  typed.setCommitString(QStringLiteral("plot \u03b1.dat"));
  QApplication::sendEvent(output, &typed);
  ClickTab(sheet.pageNum);
  const QString question = QStringLiteral(
      "The output file name holds 1 character that settings files cannot store; it will be saved with ? in their "
      "place, and a run from the saved file writes to that other name. Save anyway?");
  prompts.AnswerNextFile(PathOf("output name.dat"));
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  ASSERT_EQ(prompts.MessageTexts(), QStringList({question}));
  EXPECT_EQ(prompts.messages[0].request.buttons, MessageButtons::YesNo);
  // No: back to the name on the Output file page, nothing written.
  EXPECT_EQ(Current(), &sheet.pageOutput);
  EXPECT_EQ(QApplication::focusWidget(), output);
  EXPECT_FALSE(QFileInfo::exists(PathOf("output name.dat")));
  EXPECT_EQ(sheet.settingsModified, 1);

  // With notes that lose characters too, one question names both; No goes to the notes first.
  EditNotesBeyondTheKeyboard(QStringLiteral("\u03b2eta"));
  prompts.Clear();
  prompts.AnswerNextFile(PathOf("output name.dat"));
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(prompts.MessageTexts(),
            QStringList({"The notes hold 1 character and the output file name 1 character that settings files "
                         "cannot store; they will be saved as ?, and a run from the saved file writes to that "
                         "other name. Save anyway?"}));
  EXPECT_EQ(Current(), &sheet.pageNum);

  prompts.Clear();
  prompts.AnswerNextFile(PathOf("output name.dat"));
  prompts.AnswerNextMessage(MessageAnswer::Yes);
  ChooseMenuCommand(resource::ID_FILE_SAVE);
  EXPECT_EQ(prompts.MessageTexts().size(), 2);
  const std::string saved = ReadBytes(PathOf("output name.dat"));
  EXPECT_EQ(saved.substr(saved.size() - 11), "\x0a" "plot ?.dat");
  EXPECT_EQ(sheet.settingsModified, 0);
}

// --- Saves the system refuses ------------------------------------------------------

TEST_F(FileCommands, SaveAsWhereTheSystemRefusesKeepsTheTitleAndTheFileOfTheSet) {
#ifndef __linux__
  GTEST_SKIP() << "needs a place that refuses new files";
#else
  // /sys refuses new files even to root.
  const QString refused = QStringLiteral("/sys/varnolt.dat");
  errno = 0;
  const int fd = ::open(refused.toStdString().c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(refused.toStdString().c_str());
  }
  if (fd >= 0 || errno != EACCES) GTEST_SKIP() << "/sys does not refuse new files with EACCES here";

  SaveAs("kept.dat");
  const std::string old = ReadBytes(PathOf("kept.dat"));
  EditNotes("edited");
  prompts.Clear();
  prompts.AnswerNextFile(refused);
  ChooseMenuCommand(resource::ID_FILE_SAVE_AS);
  // The folder refused the file, and the box says so.
  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Access to the folder /sys was denied."}));
  ExpectErrorBox(0, "Access to the folder /sys was denied.");
  EXPECT_EQ(sheet.settingsPath, PathOf("kept.dat"));
  EXPECT_EQ(sheet.windowTitle(), "kept.dat - VARNOLT");
  EXPECT_EQ(sheet.settingsModified, 1);
  EXPECT_EQ(ReadBytes(PathOf("kept.dat")), old);

  // An untitled set whose Save As is refused at the close box stays open.
  prompts.Clear();
  prompts.AnswerNextMessage(MessageAnswer::No);
  ChooseMenuCommand(resource::ID_FILE_NEW);
  prompts.Clear();
  EditNotes("new edits");
  prompts.AnswerNextMessage(MessageAnswer::Yes);
  prompts.AnswerNextFile(refused);
  EXPECT_FALSE(sheet.close());
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(prompts.MessageTexts(), QStringList({"Save changes first?", "Access to the folder /sys was denied."}));
  EXPECT_EQ(NotesShown(), "new edits");
  EXPECT_TRUE(sheet.settingsPath.isEmpty());
#endif
}

}  // namespace varnolt
