#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FileIO.h"
#include "tests/support/ScratchFolder.h"

namespace fs = std::filesystem;

namespace {

class FileReplace : public testing::Test {
 protected:
  fs::path In(const std::string& name) const { return scratch_.In(name); }
  static std::string Contents(const fs::path& path) { return ReadFileBytes(path); }
  static void Write(const fs::path& path, const std::string& bytes) { WriteFileBytes(path, bytes); }
  std::vector<std::string> Names() const { return scratch_.Names(); }

  ScratchFolder scratch_{"varnolt-replace"};
  const fs::path folder_ = scratch_.Path();
};

TEST_F(FileReplace, StreamsTheWritersOutputWhole) {
  const fs::path file = In("report.txt");
  Write(file, "old");
  // Single characters, pieces and a long run, more than any buffer holds at once.
  std::string expected;
  for (int line = 0; line < 200000; ++line) expected += "cycle " + std::to_string(line) + '\t' + "42.5\r\n";
  expected += std::string(3 << 20, 'x');
  expected += 'z';
  const auto failure = ReplaceFileWith(file, [&](std::ostream& out) {
    for (int line = 0; line < 200000; ++line) out << "cycle " << line << '\t' << 42.5 << "\r\n";
    out << std::string(3 << 20, 'x');
    out.put('z');
    out.flush();
  });
  EXPECT_FALSE(failure);
  EXPECT_TRUE(Contents(file) == expected) << "the replaced file differs from what was written";
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
}

TEST_F(FileReplace, AWriterThatFailsOrThrowsLeavesTheOldFileWhole) {
  const fs::path file = In("report.txt");
  Write(file, "old");

  const auto failure = ReplaceFileWith(file, [](std::ostream& out) {
    out << "half of it";
    out.setstate(std::ios::failbit);
  });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->code, std::make_error_code(std::errc::io_error));
  EXPECT_EQ(failure->error.cause, FileErrorCause::HardwareError);

  EXPECT_THROW(ReplaceFileWith(file,
                               [](std::ostream& out) {
                                 out << "half of it";
                                 throw std::runtime_error("writer gave up");
                               }),
               std::runtime_error);

  EXPECT_EQ(Contents(file), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"report.txt"});
}

TEST_F(FileReplace, AFailureCarriesTheSystemsErrorAndTheFileError) {
  const auto write = [](std::ostream& out) { out << "new"; };
  const auto missing = ReplaceFileWith(In("no-folder/report.txt"), write);
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->code, std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(missing->code.message(), "No such file or directory");
  EXPECT_EQ(missing->error, (FileError{FileErrorCause::BadPath, In("no-folder/report.txt").string()}));

  // No name at all is refused before anything is made in the current folder.
  const fs::path here = fs::current_path();
  fs::current_path(folder_);
  const auto unnamed = ReplaceFileWith("", write);
  fs::current_path(here);
  ASSERT_TRUE(unnamed);
  EXPECT_EQ(unnamed->code, std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_TRUE(Names().empty());
}

#ifndef _WIN32
TEST_F(FileReplace, AFileThatMayBeWrittenButNotReadIsReplaced) {
  const fs::path file = In("report.txt");
  Write(file, "old");
  fs::permissions(file, fs::perms::owner_write);
  EXPECT_FALSE(ReplaceFileWith(file, [](std::ostream& out) { out << "new"; }));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_write);
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Contents(file), "new");
}
#endif

}  // namespace
