// What the runner does to the user's files when things are not as they should
// be: a report aimed at run settings, a shared folder that takes no new files,
// a pipe that sends without end, output that cannot be written, notes that a
// settings file cannot hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include "CliTestSupport.h"

namespace varnolt {

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string kEndOfFile = "it is not a whole settings file: it ends too early or is damaged";
const std::string kBinary = std::string(VARNOLT_BIN_DIR) + "/varnolt-cli";

std::string Refusal(const std::string& path) {
  return "varnolt-cli: the output file " + path +
         " holds run settings, not a report; choose another output file\nNothing was run.\n";
}

#ifndef _WIN32
// Runs the runner in `folder` with its output where the shell text `redirects`
// sends it; the exit status.
int RunRedirected(const fs::path& folder, const std::vector<std::string>& args, const std::string& redirects) {
  std::string command = "cd " + Quoted(folder.string()) + " && exec " + Quoted(kBinary);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  command += " " + redirects;
  const int wait = std::system(("sh -c " + Quoted(command)).c_str());
  return WIFEXITED(wait) ? WEXITSTATUS(wait) : -1;
}
#endif

}  // namespace

TEST(UserFiles, ARunNeverReplacesItsOwnSettingsFile) {
  CliSandbox sandbox;
  // A settings file whose report goes, by default, to "output.dat": itself.
  ASSERT_EQ(sandbox.Run({"set", "output.dat", "palmCount=5"}).status, 0);
  ASSERT_EQ(sandbox.Run({"set", "other.dat", "palmCount=6"}).status, 0);
  // Windows here may make no symbolic links: the other spellings still count.
  std::error_code noLinks;
  fs::create_symlink("output.dat", sandbox.Work() / "link.dat", noLinks);
  const std::string settings = ReadFile(sandbox.Work() / "output.dat");
  const std::string other = ReadFile(sandbox.Work() / "other.dat");

  std::vector<std::string> spellings = {"output.dat", "./output.dat"};
  if (!noLinks) spellings.push_back("link.dat");
  for (const std::string& spelling : spellings) {
    const CliResult run = sandbox.Run({"run", spelling, "--seed", "1"});
    EXPECT_EQ(run.status, 2) << spelling;
    EXPECT_EQ(run.err, Refusal("output.dat")) << spelling;
  }
  // Nor any other file that reads whole as settings.
  const CliResult overOther = sandbox.Run({"run", "--seed", "1", "--output", "other.dat"});
  EXPECT_EQ(overOther.status, 2);
  EXPECT_EQ(overOther.err, Refusal("other.dat"));
  EXPECT_EQ(ReadFile(sandbox.Work() / "output.dat"), settings);
  EXPECT_EQ(ReadFile(sandbox.Work() / "other.dat"), other);
  EXPECT_EQ(sandbox.WorkEntries(), noLinks ? 2u : 3u);

  // Reports are replaced as ever.
  ASSERT_EQ(sandbox.Run({"run", "output.dat", "--seed", "1", "--output", "report.dat"}).status, 0);
  const CliResult again = sandbox.Run({"run", "output.dat", "--seed", "2", "--output", "report.dat"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(ReadFile(sandbox.Work() / "report.dat"), StartsWith("Programme: VARNOLT_WIN.exe"));
}

TEST(UserFiles, AccentedFileAndFolderNamesAndNotesArriveWhole) {
  // On Windows these reach the runner only through its UTF-16 command line: the
  // local code page has no "ß" in some places, no "Ж" in most.
  CliSandbox sandbox;
  const fs::path folder = sandbox.Work() / fs::path(u8"Données d'essai");
  fs::create_directories(folder / fs::path(u8"Übung"));
  const CliResult set = sandbox.Run({"set", "Données d'essai/naïve.dat", "palmCount=5", "runNotes=Café Straße"});
  ASSERT_EQ(set.status, 0) << set.err;
  EXPECT_TRUE(fs::exists(folder / fs::path(u8"naïve.dat")));
  EXPECT_THAT(sandbox.Run({"show", "Données d'essai/naïve.dat"}).out, StartsWith("runNotes=Café Straße\n"));

  const CliResult run = sandbox.Run({"run", "Données d'essai/naïve.dat", "--seed", "1", "--set", "runNotes=Ж café",
                                     "--output", "Données d'essai/Übung/résumé.dat"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("report written to Données d'essai/Übung/résumé.dat."));
  // The report is Windows-1252, which has "é" but no "Ж".
  EXPECT_THAT(ReadFile(folder / fs::path(u8"Übung") / fs::path(u8"résumé.dat")),
              HasSubstr("RUN NAME/NOTES: ? caf\xe9\r\n"));
}

TEST(UserFiles, AWindowsOutputPathIsRefusedAndOutputStillChoosesTheFile) {
#ifdef _WIN32
  GTEST_SKIP() << "on Windows the path names a file like any other";
#else
  CliSandbox sandbox;
  ASSERT_EQ(sandbox.Run({"set", "from-windows.dat", "palmCount=5", "outputPath=C:\\VARNOLT\\run1.dat"}).status, 0);
  const CliResult refused = sandbox.Run({"run", "from-windows.dat", "--seed", "1"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err,
            "varnolt-cli: outputPath C:\\VARNOLT\\run1.dat is a Windows path; choose an output file\nNothing was run.\n");
  EXPECT_EQ(sandbox.WorkEntries(), 1u) << "no file named after the Windows path";
  // A table given such a name is refused for what it is, not as settings.
  const CliResult table = sandbox.Run({"sweep", "--vary", "randomPercent=0:10:10", "--seed", "1", "--csv", "C:\\t.csv"});
  EXPECT_EQ(table.status, 2);
  EXPECT_THAT(table.err, StartsWith("varnolt-cli: --csv C:\\t.csv is a Windows path; choose another file to write\n"));
  EXPECT_EQ(sandbox.WorkEntries(), 1u);

  const CliResult chosen = sandbox.Run({"run", "from-windows.dat", "--seed", "1", "--output", "run1.dat"});
  EXPECT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_THAT(ReadFile(sandbox.Work() / "run1.dat"), StartsWith("Programme: VARNOLT_WIN.exe"));
#endif
}

TEST(UserFiles, AFolderThatTakesNoNewFilesStillHasItsFilesWritten) {
#ifdef _WIN32
  GTEST_SKIP() << "folder permissions and another user need POSIX";
#else
  CliSandbox sandbox;
  const fs::path shared = sandbox.Work() / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(sandbox.Run({"set", "shared/run.dat", "palmCount=5"}).status, 0);
  WriteFile(shared / "report.txt", "old report");
  for (const char* name : {"run.dat", "report.txt"}) fs::permissions(shared / name, fs::perms(0666));

  // The superuser writes anywhere: it runs the runner as "nobody" instead.
  std::string wrapper;
  if (::geteuid() == 0) {
    wrapper = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    if (sandbox.Run({"help"}, "", wrapper).status != 0) {
      GTEST_SKIP() << "cannot run varnolt-cli as the user nobody here (setpriv missing, or the build not readable)";
    }
  } else {
    fs::permissions(shared, fs::perms(0555));
  }

  const CliResult set = sandbox.Run({"set", "shared/run.dat", "palmCount=50"}, "", wrapper);
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_THAT(sandbox.Run({"show", "shared/run.dat"}).out, HasSubstr("\npalmCount=50\n"));

  const CliResult run = sandbox.Run({"run", "shared/run.dat", "--seed", "1", "--output", "shared/report.txt"}, "",
                                    wrapper);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(ReadFile(shared / "report.txt"), StartsWith("Programme: VARNOLT_WIN.exe"));

  // A new file cannot be made there, and the message blames the folder.
  const CliResult created = sandbox.Run({"set", "shared/new.dat", "palmCount=5"}, "", wrapper);
  EXPECT_EQ(created.status, 1);
  EXPECT_EQ(created.err, "varnolt-cli: cannot save shared/new.dat: the folder shared refuses a new file (permission "
                         "denied)\nNo file was created.\n");
  const CliResult newReport = sandbox.Run({"run", "--seed", "1", "--output", "shared/new.txt"}, "", wrapper);
  EXPECT_EQ(newReport.status, 1);
  EXPECT_THAT(newReport.err, HasSubstr("varnolt-cli: cannot write the report to shared/new.txt: the folder shared "
                                       "refuses a new file (permission denied)\n"));

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(shared)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"report.txt", "run.dat"}));
  fs::permissions(shared, fs::perms(0755));
#endif
}

TEST(UserFiles, AFileSavedByAnotherUserStaysItsOwners) {
#ifdef _WIN32
  GTEST_SKIP() << "file owners and another user need POSIX";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser to own a file that another user writes";
  CliSandbox sandbox;
  const fs::path open = sandbox.Work() / "open";
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  ASSERT_EQ(sandbox.Run({"set", "open/theirs.dat", "palmCount=5"}).status, 0);
  fs::permissions(open / "theirs.dat", fs::perms(0666));
  const std::string wrapper = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
  if (sandbox.Run({"help"}, "", wrapper).status != 0) GTEST_SKIP() << "cannot run varnolt-cli as the user nobody";

  const CliResult set = sandbox.Run({"set", "open/theirs.dat", "palmCount=50"}, "", wrapper);
  EXPECT_EQ(set.status, 0) << set.err;
  struct stat after {};
  ASSERT_EQ(::stat((open / "theirs.dat").c_str(), &after), 0);
  EXPECT_EQ(after.st_uid, 0u) << "nobody may write the file, not take it";
  EXPECT_EQ(after.st_mode & 0777, 0666u);
  EXPECT_THAT(sandbox.Run({"show", "open/theirs.dat"}).out, HasSubstr("\npalmCount=50\n"));
  EXPECT_EQ(std::distance(fs::directory_iterator(open), fs::directory_iterator()), 1);
#endif
}

TEST(UserFiles, APipeThatClaimsAHugeTextIsRefusedWithoutTakingTheMemory) {
#ifdef _WIN32
  GTEST_SKIP() << "named pipes, /dev/zero and peak memory of a child need POSIX";
#else
  CliSandbox sandbox;
  const fs::path pipe = sandbox.Work() / "pipe.dat";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  // Notes of 1 GiB announced, then 300 MiB of them sent.
  const std::string writer = "( printf '\\377\\377\\377\\000\\000\\000\\100'; head -c 314572800 /dev/zero ) > " +
                             Quoted(pipe.string()) + " 2>/dev/null &";
  ASSERT_EQ(std::system(("sh -c " + Quoted(writer)).c_str()), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int devNull = ::open("/dev/null", O_WRONLY);
    ::dup2(devNull, 1);
    ::dup2(devNull, 2);
    ::execl(kBinary.c_str(), "varnolt-cli", "show", pipe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak memory in KiB";

  // Eight gigabytes of wide notes through standard input, and a device that
  // never ends.
  const CliResult wide =
      sandbox.Run({"show", "/dev/stdin"}, "printf '\\377\\376\\377\\377\\377\\377\\376\\377\\377\\377' | ");
  EXPECT_EQ(wide.status, 1);
  EXPECT_EQ(wide.err, "varnolt-cli: cannot read settings from /dev/stdin: " + kEndOfFile + "\n");
  const CliResult zeros = sandbox.Run({"show", "/dev/zero"});
  EXPECT_EQ(zeros.status, 1);
  EXPECT_EQ(zeros.err,
            "varnolt-cli: cannot read settings from /dev/zero: it is not a VARNOLT settings file (it has more than "
            "268435456 bytes after the settings)\n");
#endif
}

TEST(UserFiles, OutputThatCannotBeWrittenFailsEveryCommand) {
#ifdef _WIN32
  GTEST_SKIP() << "/dev/full needs Linux";
#else
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  CliSandbox sandbox;
  const fs::path work = sandbox.Work();
  ASSERT_EQ(sandbox.Run({"set", "a.dat", "palmCount=5"}).status, 0);
  const std::string writeError = "varnolt-cli: cannot write to standard output: no space left on device\n";
  struct Case {
    std::vector<std::string> args;
  };
  for (const Case& c : {Case{{"show", "a.dat"}}, Case{{"help"}}, Case{{"set", "a.dat", "palmCount=6"}},
                        Case{{"run", "a.dat", "--seed", "1", "--output", "r.txt"}},
                        Case{{"run", "--seed", "1", "--output", "-"}}}) {
    EXPECT_EQ(RunRedirected(work, c.args, ">/dev/full 2>err.txt"), 1) << c.args[0];
    EXPECT_THAT(ReadFile(work / "err.txt"), testing::EndsWith(writeError)) << c.args[0];
    EXPECT_THAT(ReadFile(work / "err.txt"), testing::Not(HasSubstr("report written to standard output")));
  }
  // The report itself was written; only the summary was lost.
  EXPECT_THAT(ReadFile(work / "r.txt"), StartsWith("Programme: VARNOLT_WIN.exe"));
  // Standard error that fails has no one to tell, but the status says it.
  EXPECT_EQ(RunRedirected(work, {"show", "missing.dat"}, ">out.txt 2>/dev/full"), 1);
  EXPECT_EQ(RunRedirected(work, {"run", "a.dat", "--seed", "1", "--output", "r.txt"}, ">out.txt 2>/dev/full"), 1);
  EXPECT_EQ(RunRedirected(work, {"help"}, ">out.txt 2>/dev/full"), 0) << "help writes nothing to standard error";
#endif
}

TEST(UserFiles, NotesThatASettingsFileCannotHoldAreCountedAloud) {
  CliSandbox sandbox;
  const CliResult lossy = sandbox.Run({"set", "n.dat", "runNotes=Block \u03b1 \u03b2 \u2713 \u2013 caf\u00e9"});
  EXPECT_EQ(lossy.status, 0);
  EXPECT_EQ(lossy.err,
            "varnolt-cli: warning: the notes hold 3 characters that settings files cannot store; saved as ? in "
            "n.dat\n");
  EXPECT_THAT(sandbox.Run({"show", "n.dat"}).out, StartsWith("runNotes=Block ? ? ? \u2013 caf\u00e9\n"));

  const CliResult clean = sandbox.Run({"set", "n.dat", "palmCount=7"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.err, "") << "nothing more is lost once they are ?";
}

}  // namespace varnolt
