#pragma once
// A test fixture with a scratch folder of its own and the file helpers that
// tests of saving and replacing files use on it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

namespace varnolt {

class ScratchFolderTest : public testing::Test {
 protected:
  explicit ScratchFolderTest(const std::string& prefix) : scratch_(prefix) {}

  std::filesystem::path In(const std::string& name) const { return scratch_.In(name); }
  static std::string Contents(const std::filesystem::path& path) { return ReadFileBytes(path); }
  static void Write(const std::filesystem::path& path, const std::string& bytes) { WriteFileBytes(path, bytes); }
  std::vector<std::string> Names() const { return scratch_.Names(); }

  ScratchFolder scratch_;
  const std::filesystem::path folder_ = scratch_.Path();
};

}  // namespace varnolt
