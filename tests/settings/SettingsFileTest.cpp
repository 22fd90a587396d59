#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "settings/SettingsFile.h"

namespace varnolt {

// Expected bytes are built here from the file layout by hand, not through the
// writer, so that a wrong field order or prefix shows up as a difference.
namespace {

std::string Int32(std::int32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
  return out;
}

std::string Short(const std::string& text) { return static_cast<char>(text.size()) + text; }

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// The 25 integers of the New defaults in file order.
std::string DefaultIntegers() {
  std::string out;
  for (int v : {100, 10, 10, 20, 25, 20, 29, -4, -28, 0, 24, 16, 17, 25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}) {
    out += Int32(v);
  }
  return out;
}

std::string FileWith(const std::string& notes, const std::string& output) {
  return notes + DefaultIntegers() + output;
}

std::string ReadData(const std::string& name) {
  std::ifstream in(std::string(VARNOLT_TEST_DATA) + "/settings/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A record unlike any default, to see whether a failed load touched it.
RunSettings Sentinel() {
  RunSettings settings;
  settings.runNotes = "untouched";
  settings.cycleCount = 4321;
  settings.outputPath = "keep.txt";
  return settings;
}

const std::string kEndOfFile = "An attempt was made to access an unnamed file past its end.";

std::string LoadError(const std::string& bytes) {
  RunSettings settings = Sentinel();
  const std::optional<FileError> error = LoadSettings(bytes, settings);
  EXPECT_EQ(settings, Sentinel()) << "a failed load changed the record";
  return error ? FileErrorText(*error) : "loaded";
}

RunSettings Loaded(const std::string& bytes) {
  RunSettings settings = Sentinel();
  const std::optional<FileError> error = LoadSettings(bytes, settings);
  EXPECT_FALSE(error) << FileErrorText(*error);
  return settings;
}

}  // namespace

TEST(SettingsFile, NewDefaultsAre130BytesInFileOrder) {
  const std::string expected = FileWith(Short("VRT Simulation Run"), Short("output.dat"));
  ASSERT_EQ(expected.size(), 130u);
  EXPECT_EQ(StoreSettings(NewDefaults()), expected);
  EXPECT_EQ(ReadData("new-defaults.dat"), expected);
  EXPECT_EQ(Loaded(expected), NewDefaults());
}

TEST(SettingsFile, EveryFieldHasItsOwnPlace) {
  RunSettings s;
  s.runNotes = "n";
  s.cycleCount = 1; s.palmCount = 2; s.abortionFrond = 3; s.abortStressFirstFrond = 4;
  s.abortStressLastFrond = 5; s.sexStressFirstFrond = 6; s.sexStressLastFrond = 7;
  s.sexStageEndFrond = 8; s.sexStageStartFrond = 9; s.initialNodeSex = 10;
  s.abortThreshold = 11; s.femaleThreshold = 12; s.maleThreshold = 13; s.randomPercent = 14;
  s.leafPruning = 15; s.leafPruneCycle = 16; s.pruneStress = 17; s.trendCycles = 18;
  s.trendAmplitude = -19; s.irrigation = 20; s.irrigationEnd = 21; s.irrigationStart = 22;
  s.flowerPruning = 23; s.flowerPruneEnd = 24; s.flowerPruneStart = -2147483647 - 1;
  s.outputPath = "o";
  std::string expected = Short("n");
  for (int v = 1; v <= 24; ++v) expected += Int32(v == 19 ? -19 : v);
  expected += Int32(-2147483647 - 1) + Short("o");
  EXPECT_EQ(StoreSettings(s), expected);
  EXPECT_EQ(Loaded(expected), s);
}

TEST(SettingsFile, WriterPicksTheShortestPrefix) {
  auto notesPrefix = [](std::size_t length, std::size_t prefixBytes) {
    RunSettings s = NewDefaults();
    s.runNotes = std::string(length, 'x');
    const std::string bytes = StoreSettings(s);
    EXPECT_EQ(bytes.size(), prefixBytes + length + 100 + 11);
    EXPECT_EQ(Loaded(bytes).runNotes, s.runNotes);
    return bytes.substr(0, prefixBytes);
  };
  EXPECT_EQ(notesPrefix(0, 1), Bytes({0}));
  EXPECT_EQ(notesPrefix(254, 1), Bytes({0xFE}));
  EXPECT_EQ(notesPrefix(255, 3), Bytes({0xFF, 0xFF, 0x00}));
  EXPECT_EQ(notesPrefix(0xFFFD, 3), Bytes({0xFF, 0xFD, 0xFF}));
  EXPECT_EQ(notesPrefix(0xFFFE, 7), Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));
}

TEST(SettingsFile, TextsAreWindows1252InTheFile) {
  RunSettings s = NewDefaults();
  s.runNotes = "Caf\u00e9 \u20ac \u4e2d";  // the CJK character has no place in 1252
  const std::string bytes = StoreSettings(s);
  EXPECT_EQ(bytes.substr(0, 9), Short("Caf\xe9 \x80 ?"));
  EXPECT_EQ(Loaded(bytes).runNotes, "Caf\u00e9 \u20ac ?");
  // A 255-character text counts characters of the file, not UTF-8 bytes.
  s.runNotes.clear();
  for (int i = 0; i < 127; ++i) s.runNotes += "\u00e9b";
  EXPECT_EQ(static_cast<unsigned char>(StoreSettings(s)[0]), 254);
}

TEST(SettingsFile, ReaderTakesEveryLengthForm) {
  const std::string tail = DefaultIntegers() + Short("output.dat");
  EXPECT_EQ(Loaded(Bytes({0xFF, 3, 0}) + "abc" + tail).runNotes, "abc");
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFF, 0xFF, 3, 0, 0, 0}) + "abc" + tail).runNotes, "abc");
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0, 0, 0, 0, 0}) + "abc" + tail).runNotes,
            "abc");
  // Wide: 0xFF 0xFE 0xFF, then a length in any form, then UTF-16LE units.
  const std::string units = Bytes({'P', 0, 0xE9, 0, 0xAC, 0x20, 0x3C, 0xD8, 0x34, 0xDF});
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFE, 0xFF, 5}) + units + tail).runNotes, "P\u00e9\u20ac\U0001F334");
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 5, 0}) + units + tail).runNotes, "P\u00e9\u20ac\U0001F334");
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0}) + units + tail).runNotes,
            "P\u00e9\u20ac\U0001F334");
  // Inside a wide string 0xFFFE is a length, not a second marker: 65534 units.
  EXPECT_EQ(LoadError(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF}) + std::string(1000, 'x')), kEndOfFile);
  // The old program's bytes above 0x7F arrive as their Unicode characters.
  EXPECT_EQ(Loaded(Short("\x80\x92\xFF") + tail).runNotes, "\u20ac\u2019\u00ff");
}

TEST(SettingsFile, TextEndsAtItsFirstZero) {
  const std::string tail = DefaultIntegers();
  const RunSettings s = Loaded(Short(std::string("ab\0cd", 5)) + tail + Short(std::string("\0x", 2)));
  EXPECT_EQ(s.runNotes, "ab");
  EXPECT_EQ(s.outputPath, "");
  EXPECT_EQ(Loaded(Bytes({0xFF, 0xFE, 0xFF, 3, 'h', 0, 0, 0, 'i', 0}) + tail + Short("o")).runNotes, "h");
}

TEST(SettingsFile, WideStringFileLoads) {
  const RunSettings s = Loaded(ReadData("wide-strings.dat"));
  EXPECT_EQ(s.runNotes, "Palmeraie d'essai \u2014 C\u00f4te d'Ivoire \U0001F334");
  EXPECT_EQ(s.outputPath, "r\u00e9sultats.dat");
  EXPECT_EQ(s.cycleCount, 100);
  EXPECT_EQ(s.sexStageStartFrond, -28);
  // Saved again, the emoji that 1252 lacks becomes '?'.
  EXPECT_EQ(Loaded(StoreSettings(s)).runNotes, "Palmeraie d'essai \u2014 C\u00f4te d'Ivoire ?");
}

TEST(SettingsFile, SixtyFourBitLengths) {
  EXPECT_EQ(Loaded(ReadData("long-length.dat")).runNotes, "Sixty-four-bit length");
  const std::string prefix = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  const std::string body = std::string(10, 'x') + DefaultIntegers() + Short("o");
  const std::string badLength = "An unknown error occurred while accessing an unnamed file.";
  EXPECT_EQ(LoadError(prefix + Bytes({0, 0, 0, 0x80, 0, 0, 0, 0}) + body), badLength);           // 2^31
  EXPECT_EQ(LoadError(prefix + Bytes({0xF6, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + body), badLength);  // -10
  // Just below 2^31 is a length; the file is too short for it.
  EXPECT_EQ(LoadError(prefix + Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}) + body), kEndOfFile);
}

TEST(SettingsFile, LengthsBeyondTheFileAreEndOfFileAtOnce) {
  // 20 bytes claiming four gigabytes, two gigabytes and (wide) eight gigabytes.
  EXPECT_EQ(LoadError(Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + std::string(13, 'x')), kEndOfFile);
  EXPECT_EQ(LoadError(Bytes({0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80}) + std::string(13, 'x')), kEndOfFile);
  EXPECT_EQ(LoadError(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF}) + std::string(10, 'x')),
            kEndOfFile);
  EXPECT_EQ(LoadError(""), kEndOfFile);
}

TEST(SettingsFile, EveryTruncationIsRefusedAndChangesNothing) {
  RunSettings s = NewDefaults();
  s.runNotes = std::string(300, 'n');  // 16-bit prefix
  s.outputPath = "results.txt";
  for (const std::string& file : {StoreSettings(s), ReadData("wide-strings.dat"), ReadData("long-length.dat")}) {
    for (std::size_t length = 0; length < file.size(); ++length) {
      EXPECT_EQ(LoadError(file.substr(0, length)), kEndOfFile) << "cut at " << length;
    }
    RunSettings whole;
    EXPECT_FALSE(LoadSettings(file, whole));
  }
  EXPECT_EQ(LoadError(ReadData("truncated.dat")), kEndOfFile);
}

TEST(SettingsFile, BytesAfterTheLastFieldMakeItNoSettingsFile) {
  EXPECT_EQ(LoadError(StoreSettings(NewDefaults()) + "trailing rubbish"),
            "An unnamed file is not a VARNOLT settings file (it has 16 bytes after the settings).");
  EXPECT_EQ(LoadError(StoreSettings(NewDefaults()) + '\0'),
            "An unnamed file is not a VARNOLT settings file (it has 1 byte after the settings).");
}

TEST(SettingsFile, AResultsReportIsNoSettingsFile) {
  // The report's first byte, 'P', reads as a length of 80 and its text goes on
  // as numbers; the bytes left over give it away.
  const std::string report = ReadData("report-as-settings.dat");
  ASSERT_EQ(report.substr(0, 10), "Programme:");
  RunSettings settings = Sentinel();
  const std::optional<FileError> error = LoadSettings(report, settings);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->cause, FileErrorCause::NotSettingsFile);
  EXPECT_EQ(error->trailingBytes, 988u);  // 1180 bytes, of which 192 read as settings
  EXPECT_EQ(settings, Sentinel());
}

}  // namespace varnolt

