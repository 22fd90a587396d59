#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "settings/SettingsFile.h"

namespace varnolt {

// Random damage to valid and odd files, with a fixed seed so that a failure
// repeats. Every load must either succeed or refuse with one of the reader's
// own errors, leave the record alone when it refuses, and never take more
// memory than the file holds (the sanitizer build and the fuzz target check
// the memory side more closely).
namespace {

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(VARNOLT_TEST_DATA) + "/settings/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Length prefixes of every form, the odd ones included, to splice in.
const std::vector<std::string>& Prefixes() {
  static const std::vector<std::string> prefixes = {
      std::string("\xFF", 1),
      std::string("\xFF\xFE\xFF", 3),
      std::string("\xFF\xFF\xFF", 3),
      std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 7),
      std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F", 15),
      std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00\x00\x00\x80\x00\x00\x00\x00", 15),
      std::string("\xFF\xFE\xFF\xFF\xFF\xFF\xFE\xFF\xFF\xFF", 10),
      std::string("\xFF\xFF\xFF\xFE\xFF\xFF\xFF", 7),
  };
  return prefixes;
}

std::string Mutate(std::string bytes, std::mt19937& random) {
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n)(random); };
  const int edits = 1 + static_cast<int>(pick(3));
  for (int e = 0; e < edits; ++e) {
    switch (pick(5)) {
      case 0:  // flip a byte
        if (!bytes.empty()) bytes[pick(bytes.size() - 1)] = static_cast<char>(pick(255));
        break;
      case 1:  // cut
        bytes.resize(pick(bytes.size()));
        break;
      case 2:  // splice in a prefix
        bytes.insert(pick(bytes.size()), Prefixes()[pick(Prefixes().size() - 1)]);
        break;
      case 3:  // drop a run
        if (!bytes.empty()) {
          const std::size_t at = pick(bytes.size() - 1);
          bytes.erase(at, pick(8));
        }
        break;
      case 4:  // random bytes
        for (std::size_t n = pick(16); n > 0; --n) bytes.insert(bytes.begin() + pick(bytes.size()), static_cast<char>(pick(255)));
        break;
      default:  // a zero where a text may be
        if (!bytes.empty()) bytes[pick(bytes.size() - 1)] = '\0';
        break;
    }
  }
  return bytes;
}

}  // namespace

TEST(SettingsFileMutation, DamagedFilesLoadWholeOrNotAtAll) {
  RunSettings varied = NewDefaults();
  varied.runNotes = std::string(300, 'v');
  varied.outputPath = "\u00e9t\u00e9.txt";
  const std::vector<std::string> seeds = {
      StoreSettings(NewDefaults()), StoreSettings(varied), ReadData("wide-strings.dat"),
      ReadData("long-length.dat"),  ReadData("truncated.dat"), ReadData("report-as-settings.dat"),
  };
  RunSettings sentinel;
  sentinel.runNotes = "sentinel";
  sentinel.palmCount = -77;

  std::mt19937 random(20240611);
  int loaded = 0;
  int refused = 0;
  for (int round = 0; round < 60000; ++round) {
    const std::string bytes = Mutate(seeds[round % seeds.size()], random);
    RunSettings settings = sentinel;
    const std::optional<FileError> error = LoadSettings(bytes, settings);
    if (error) {
      ++refused;
      ASSERT_TRUE(error->cause == FileErrorCause::EndOfFile || error->cause == FileErrorCause::BadLength ||
                  error->cause == FileErrorCause::NotSettingsFile)
          << FileErrorText(*error) << " in round " << round;
      ASSERT_EQ(settings, sentinel) << "round " << round;
      continue;
    }
    ++loaded;
    // What loads stores and loads again the same way, after at most one
    // round that turns wide texts into Windows-1252.
    const std::string once = StoreSettings(settings);
    RunSettings again;
    ASSERT_FALSE(LoadSettings(once, again)) << "round " << round;
    ASSERT_EQ(StoreSettings(again), once) << "round " << round;
  }
  // The mutations must reach both outcomes, or the test proves little.
  EXPECT_GT(loaded, 1000);
  EXPECT_GT(refused, 1000);
}

}  // namespace varnolt
