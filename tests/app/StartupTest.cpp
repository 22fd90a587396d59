// Start-up from the command line: `varnolt FILE.dat` opens the file in the
// running window as File > Open would; --help and --version answer without a
// window; anything else is refused before the window appears.
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gmock/gmock.h>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "SheetDriver.h"
#include "app/SimApp.h"
#include "app/StartupOptions.h"
#include "settings/SettingsFile.h"

namespace varnolt {

using namespace control;

namespace {

using Action = StartupRequest::Action;

struct ProgramResult {
  int status = -1;
  std::string out, err;
};

// Runs the built `varnolt` through the shell, without a display. On Windows
// the shell is cmd.exe, the program prints its lines with CR LF (read here
// without the CR), and its output goes to the files since they are its
// standard handles (with none it would show a message box instead).
ProgramResult RunProgram(const QTemporaryDir& folder, const std::string& args) {
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
#ifdef _WIN32
  auto native = [](std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  };
  const std::string out = native(folder.filePath("out").toStdString());
  const std::string err = native(folder.filePath("err").toStdString());
  // cmd.exe takes the outer quotes off a command line that starts with one.
  const std::string command = "\"\"" + native(VARNOLT_BIN_DIR "/varnolt.exe") + "\" " + args + " >\"" + out +
                              "\" 2>\"" + err + "\"\"";
  const int status = std::system(command.c_str());
  auto withoutCr = [](std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  return {status, withoutCr(read(out)), withoutCr(read(err))};
#else
  const std::string out = folder.filePath("out").toStdString(), err = folder.filePath("err").toStdString();
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " VARNOLT_BIN_DIR "/varnolt " +
                              args + " >'" + out + "' 2>'" + err + "'";
  const int wait = std::system(command.c_str());
  return {WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, read(out), read(err)};
#endif
}

// Runs the program's start-up with `file` on its command line; `look` sees the
// window once start-up has handled the file, then the window is closed.
void StartWith(const QString& file, const std::function<void(CSheet&)>& look) {
  CSimApp simApp;
  simApp.startupFile = file;
  bool looked = false;
  // Two turns of the loop: the first is start-up's own, which reads the file.
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(0, [&] {
      ASSERT_NE(simApp.m_pMainWnd, nullptr);
      CSheet& sheet = *simApp.m_pMainWnd;
      EXPECT_TRUE(sheet.isVisible());
      look(sheet);
      looked = true;
      sheet.EndDialog(IDCANCEL);
    });
  });
  EXPECT_EQ(simApp.InitInstance(), 0);
  EXPECT_TRUE(looked);
  EXPECT_EQ(simApp.m_pMainWnd, nullptr);
}

QString ShownText(CPropertyPage& page, int id) { return qobject_cast<QLineEdit*>(page.GetDlgItem(id))->text(); }

}  // namespace

TEST(StartupArguments, AFileOpensAndHelpOrVersionWinWhereverTheyStand) {
  EXPECT_EQ(ParseStartupArguments({}).action, Action::OpenWindow);
  EXPECT_EQ(ParseStartupArguments({}).settingsFile, "");
  const StartupRequest file = ParseStartupArguments({"trial 4.dat"});
  EXPECT_EQ(file.action, Action::OpenWindow);
  EXPECT_EQ(file.settingsFile, "trial 4.dat");
  EXPECT_EQ(ParseStartupArguments({"--", "--help"}).settingsFile, "--help");
  EXPECT_EQ(ParseStartupArguments({"-"}).settingsFile, "-");
  EXPECT_EQ(ParseStartupArguments({"a.dat", "--version"}).action, Action::PrintVersion);
  EXPECT_EQ(ParseStartupArguments({"--frob", "-h"}).action, Action::PrintHelp);

  const StartupRequest unknown = ParseStartupArguments({"a.dat", "--frob"});
  EXPECT_EQ(unknown.action, Action::Refuse);
  EXPECT_EQ(unknown.error, "unknown option \"--frob\"");
  EXPECT_EQ(unknown.settingsFile, "");
  const StartupRequest two = ParseStartupArguments({"a.dat", "b.dat"});
  EXPECT_EQ(two.action, Action::Refuse);
  EXPECT_EQ(two.error, "VARNOLT opens one settings file at a time, not also \"b.dat\"");
}

TEST(StartupArguments, QtsOwnOptionsAreSetAsideBeforeTheUsageIsChecked) {
  using Args = std::vector<std::string>;
  EXPECT_EQ(WithoutQtOptions({"-platform", "offscreen", "--style=fusion", "-reverse", "a.dat"}), Args{"a.dat"});
  EXPECT_EQ(WithoutQtOptions({"--platform", "xcb", "-qmljsdebugger=port:1234", "-display", ":1", "--bogus"}),
            Args{"--bogus"});
  EXPECT_EQ(WithoutQtOptions({"a.dat", "--", "-style", "b"}), (Args{"a.dat", "--", "-style", "b"}));
  EXPECT_EQ(WithoutQtOptions({"-h", "-", "--frob"}), (Args{"-h", "-", "--frob"}));
  EXPECT_EQ(ParseStartupArguments(WithoutQtOptions({"-style", "fusion", "a.dat"})).settingsFile, "a.dat");
}

TEST(Startup, AFileOnTheCommandLineOpensWithItsSettingsAndItsNameInTheTitle) {
  QTemporaryDir folder;
  RunSettings trial = NewDefaults();
  trial.runNotes = "Trial 4";
  trial.cycleCount = 250;
  trial.palmCount = 1000;
  const QString path = folder.filePath("trial4.dat");
  ASSERT_FALSE(SaveSettingsFile(PathFromUtf8(path.toStdString()), trial).has_value());

  RecordingPrompts prompts;
  ScopedPrompts scope(prompts);
  StartWith(path, [&](CSheet& sheet) {
    EXPECT_EQ(sheet.windowTitle(), "trial4.dat - VARNOLT");
    EXPECT_EQ(sheet.settingsPath, path);
    EXPECT_EQ(sheet.settings, trial);
    EXPECT_EQ(sheet.GetActivePage(), &sheet.pageNum);
    EXPECT_EQ(ShownText(sheet.pageNum, kRunNotes), "Trial 4");
    EXPECT_EQ(ShownText(sheet.pageNum, kCycleCount), "250");
    EXPECT_EQ(ShownText(sheet.pageNum, kPalmCount), "1000");
    EXPECT_EQ(sheet.settingsModified, 0);
  });
  EXPECT_TRUE(prompts.messages.empty()) << prompts.MessageTexts().join("|").toStdString();
}

TEST(Startup, AFileThatCannotBeReadIsReportedAndTheWindowStartsUntitled) {
  struct Failure { QString file; QString text; };
  const QString missing = QDir::current().absoluteFilePath("no such trial.dat");
  const QString truncated = QStringLiteral(VARNOLT_TEST_DATA "/settings/truncated.dat");
  const QString folder = QStringLiteral(VARNOLT_TEST_DATA "/settings");
  const auto named = [](const QString& path) { return QFileInfo(path).absoluteFilePath(); };
  const Failure failures[] = {
      // The reader's own words name no file; the second line does.
      {truncated, "An attempt was made to access an unnamed file past its end.\n" + named(truncated) +
                      " is not a whole settings file: it ends too early or is damaged."},
      {QStringLiteral("no such trial.dat"), missing + " was not found."},  // named as an absolute path
      {folder, named(folder) + " is a folder, not a settings file. Open a file inside it."},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.file.toStdString());
    RecordingPrompts prompts;
    ScopedPrompts scope(prompts);
    StartWith(failure.file, [&](CSheet& sheet) {
      ASSERT_EQ(prompts.messages.size(), 1u);
      EXPECT_EQ(prompts.messages[0].request.text, failure.text);
      EXPECT_EQ(prompts.messages[0].request.caption, "VARNOLT");
      EXPECT_EQ(prompts.messages[0].request.icon, MessageIcon::Stop);
      EXPECT_EQ(prompts.messages[0].owner, &sheet);
      EXPECT_EQ(sheet.windowTitle(), "[New] - VARNOLT");
      EXPECT_TRUE(sheet.settingsPath.isEmpty());
      EXPECT_EQ(sheet.settings, StartupDefaults());
      EXPECT_EQ(ShownText(sheet.pageNum, kRunNotes), "VARNOLT Simulation Run");
    });
  }
}

TEST(Startup, HelpAndVersionPrintWithoutAWindowAndBadUsageIsRefused) {
  QTemporaryDir folder;
  const ProgramResult version = RunProgram(folder, "--version");
  EXPECT_EQ(version.status, 0) << version.err;
  // No regular expression: Windows' GoogleTest reads only simple ones.
  EXPECT_THAT(version.out, ::testing::AllOf(::testing::StartsWith("VARNOLT 1."), ::testing::EndsWith("\n")));
  const ProgramResult help = RunProgram(folder, "some.dat --help");
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_THAT(help.out, ::testing::StartsWith("Usage: varnolt [FILE.dat]\n"));

  // Refused before any window: the offscreen platform stands in for a display.
  const ProgramResult twoFiles = RunProgram(folder, "-platform offscreen a.dat b.dat");
  EXPECT_EQ(twoFiles.status, 2);
  EXPECT_THAT(twoFiles.err, ::testing::HasSubstr("varnolt: VARNOLT opens one settings file at a time, not also "
                                                 "\"b.dat\"\nTry 'varnolt --help' for the usage.\n"));
  EXPECT_EQ(RunProgram(folder, "-platform offscreen --frob").status, 2);

  // Without any display at all: the usage error, not Qt's abort.
  const ProgramResult bogus = RunProgram(folder, "--bogus");
  EXPECT_EQ(bogus.status, 2) << bogus.err;
  EXPECT_EQ(bogus.err, "varnolt: unknown option \"--bogus\"\nTry 'varnolt --help' for the usage.\n");
  EXPECT_EQ(RunProgram(folder, "a.dat b.dat").status, 2);
  EXPECT_EQ(RunProgram(folder, "-style fusion a.dat --bogus").status, 2);
}

}  // namespace varnolt
