#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "settings/SettingsFile.h"
#include "tests/support/FaultInjection.h"
#include "tests/support/ScratchFolderTest.h"

namespace varnolt {

namespace fs = std::filesystem;

namespace {

class SettingsFileOnDisk : public ScratchFolderTest {
 protected:
  SettingsFileOnDisk() : ScratchFolderTest("varnolt-settings") {}

  static std::string SaveError(const fs::path& path, const RunSettings& settings) {
    const std::optional<FileError> error = SaveSettingsFile(path, settings);
    return error ? FileErrorText(*error) : "saved";
  }
  static std::string LoadError(const fs::path& path, RunSettings& settings) {
    const RunSettings before = settings;
    const std::optional<FileError> error = LoadSettingsFile(path, settings);
    if (error) {
      EXPECT_EQ(settings, before);
    }
    return error ? FileErrorText(*error) : "loaded";
  }
};

RunSettings Edited() {
  RunSettings settings = NewDefaults();
  settings.runNotes = "Trial block B \u00e9t\u00e9";
  settings.palmCount = 50;
  settings.outputPath = "block-b.txt";
  return settings;
}

}  // namespace

TEST_F(SettingsFileOnDisk, SavedFileLoadsBackAndLeavesNothingElse) {
  const fs::path file = In("run.dat");
  EXPECT_EQ(SaveError(file, Edited()), "saved");
  EXPECT_EQ(Contents(file), StoreSettings(Edited()));
  RunSettings loaded;
  EXPECT_EQ(LoadError(file, loaded), "loaded");
  EXPECT_EQ(loaded, Edited());

  Write(file, "an older, longer file that the save must replace completely");
  EXPECT_EQ(SaveError(file, NewDefaults()), "saved");
  EXPECT_EQ(Contents(file).size(), 130u);
  EXPECT_EQ(Names(), std::vector<std::string>{"run.dat"});

  // A name as long as the file system allows is saved too, new or replaced.
  const std::string longName = std::string(251, 's') + ".dat";
  EXPECT_EQ(SaveError(In(longName), Edited()), "saved");
  EXPECT_EQ(SaveError(In(longName), NewDefaults()), "saved");
  EXPECT_EQ(Contents(In(longName)), StoreSettings(NewDefaults()));
  EXPECT_EQ(Names(), (std::vector<std::string>{"run.dat", longName}));
}

TEST_F(SettingsFileOnDisk, MissingFilesAndFoldersAreNamedWithTheirFullPath) {
  RunSettings settings = Edited();
  EXPECT_EQ(LoadError(In("missing.dat"), settings), In("missing.dat").string() + " was not found.");
  EXPECT_EQ(LoadError(In("no-folder/run.dat"), settings),
            In("no-folder/run.dat").string() + " contains an invalid path.");
  EXPECT_EQ(SaveError(In("no-folder/run.dat"), Edited()),
            In("no-folder/run.dat").string() + " contains an invalid path.");

  // A relative path is shown made absolute.
  const fs::path before = fs::current_path();
  fs::current_path(folder_);
  EXPECT_EQ(LoadError("missing.dat", settings), In("missing.dat").string() + " was not found.");
  fs::current_path(before);
}

TEST_F(SettingsFileOnDisk, AFolderIsNoSettingsFile) {
  fs::create_directory(In("folder.dat"));
  RunSettings settings = Edited();
  EXPECT_EQ(LoadError(In("folder.dat"), settings), "Access to " + In("folder.dat").string() + " was denied.");
  EXPECT_EQ(SaveError(In("folder.dat"), Edited()), "Access to " + In("folder.dat").string() + " was denied.");
  EXPECT_TRUE(fs::is_directory(In("folder.dat")));
}

TEST_F(SettingsFileOnDisk, SaveBelowAPlainFileFailsAndCreatesNothing) {
  Write(In("plain"), "x");
  EXPECT_EQ(SaveError(In("plain/run.dat"), Edited()), In("plain/run.dat").string() + " contains an invalid path.");
  EXPECT_EQ(Contents(In("plain")), "x");
  EXPECT_EQ(Names(), std::vector<std::string>{"plain"});
}

TEST_F(SettingsFileOnDisk, ReadOnlyFolderAndFileAreRefused) {
  const fs::path file = In("run.dat");
  Write(file, "old contents");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  if (std::ofstream(file, std::ios::app).good()) GTEST_SKIP() << "permissions do not bind this user";

  EXPECT_EQ(SaveError(file, Edited()), "Access to " + file.string() + " was denied.");
  EXPECT_EQ(Contents(file), "old contents");

  fs::permissions(file, fs::perms::owner_all);
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(SaveError(In("new.dat"), Edited()), "Access to the folder " + folder_.string() + " was denied.");
  EXPECT_EQ(Contents(file), "old contents");
  EXPECT_FALSE(fs::exists(In("new.dat")));
}

TEST_F(SettingsFileOnDisk, ASaveFailingAtAnyWriteLeavesThePreviousFileWhole) {
  const fs::path file = In("run.dat");
  const std::string old = StoreSettings(NewDefaults());
  Write(file, old);
  const int steps = FailingStep::StepsOf([&] { EXPECT_EQ(SaveError(In("count.dat"), Edited()), "saved"); });
  fs::remove(In("count.dat"));
  for (int failAt = 1; failAt <= steps; ++failAt) {
    FailingStep failing(failAt, std::errc::no_space_on_device);
    EXPECT_EQ(SaveError(file, Edited()), "Disk full while accessing " + file.string() + ".") << "step " << failAt;
    EXPECT_EQ(Contents(file), old) << "step " << failAt;
    EXPECT_EQ(Names(), std::vector<std::string>{"run.dat"}) << "step " << failAt;
  }
}

TEST_F(SettingsFileOnDisk, AFileWithBytesAfterTheSettingsIsRefusedByName) {
  const fs::path file = In("output.dat");
  Write(file, StoreSettings(Edited()) + "\r\n");
  RunSettings settings = NewDefaults();
  EXPECT_EQ(LoadError(file, settings),
            file.string() + " is not a VARNOLT settings file (it has 2 bytes after the settings).");
}

TEST_F(SettingsFileOnDisk, SaveThroughALinkReplacesTheLinkedFile) {
  Write(In("real.dat"), "old");
  std::error_code made;
  fs::create_symlink(In("real.dat"), In("link.dat"), made);
  if (made) GTEST_SKIP() << "no symbolic links here (" << made.message() << ")";
  EXPECT_EQ(SaveError(In("link.dat"), Edited()), "saved");
  EXPECT_TRUE(fs::is_symlink(In("link.dat")));
  EXPECT_EQ(Contents(In("real.dat")), StoreSettings(Edited()));
}

#ifndef _WIN32
TEST_F(SettingsFileOnDisk, AFailedWriteLeavesTheOldFileWhole) {
  // Limit this process's file size so that writing the new file fails part-way,
  // whoever runs the test.
  const fs::path file = In("run.dat");
  const std::string old = StoreSettings(NewDefaults());
  Write(file, old);
  RunSettings big = Edited();
  big.runNotes = std::string(20000, 'n');

  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string error = SaveError(file, big);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(error, "Disk full while accessing " + file.string() + ".");
  EXPECT_EQ(Contents(file), old);
  EXPECT_EQ(Names(), std::vector<std::string>{"run.dat"});
}

TEST_F(SettingsFileOnDisk, ADeviceIsWrittenNotReplaced) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EQ(SaveError("/dev/full", Edited()), "Disk full while accessing /dev/full.");
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}
#else
TEST_F(SettingsFileOnDisk, FileSizeLimitsAndAFullDeviceArePosixOnly) {
  GTEST_SKIP() << "a file size limit (setrlimit) and /dev/full need POSIX";
}
#endif

}  // namespace varnolt
