#pragma once
// The settings file: the 27 values of a RunSettings one after the other, with no
// header, integers as 4-byte little-endian two's complement and the two texts as
// length-prefixed Windows-1252 strings. The bytes are the same on every platform:
// files VARNOLT writes on Windows open here and files written here open there.
//
// File order (not the record's):
//   runNotes, cycleCount, palmCount, abortionFrond, abortStressFirstFrond,
//   abortStressLastFrond, sexStressFirstFrond, sexStressLastFrond,
//   sexStageEndFrond, sexStageStartFrond, initialNodeSex, abortThreshold,
//   femaleThreshold, maleThreshold, randomPercent, leafPruning, leafPruneCycle,
//   pruneStress, trendCycles, trendAmplitude, irrigation, irrigationEnd,
//   irrigationStart, flowerPruning, flowerPruneEnd, flowerPruneStart, outputPath

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileError.h"
#include "settings/RunSettings.h"

namespace varnolt {

// The 27 fields in the order the file holds them.
const std::array<const FieldInfo*, 27>& SettingsFileOrder();

// Appends one text in the file's string form: the length of its Windows-1252
// form in the shortest prefix (one byte below 255; 0xFF and 16 bits below
// 0xFFFE; 0xFF, 0xFFFF and 32 bits beyond), then the characters. A character
// that Windows-1252 lacks is stored as '?'.
void AppendSettingsString(std::string& out, std::string_view utf8);

// The bytes of a settings file holding `settings`.
std::string StoreSettings(const RunSettings& settings);

// Reads a settings file's bytes. Only when all 27 values have been read are they
// put into `settings`, all at once; on any failure `settings` is left untouched
// and the error says why. Bytes after the last field make it no settings file
// (NotSettingsFile, with their count): VARNOLT never writes any.
std::optional<FileError> LoadSettings(std::string_view bytes, RunSettings& settings);

// The same for a file on disk, named in the errors. A length that the rest of
// the file cannot hold is refused before any memory is taken for it; a pipe or
// device is read as it sends, and no further than LargestUnsizedRead bytes.
std::optional<FileError> LoadSettingsFile(const std::filesystem::path& path, RunSettings& settings);

// Writes `settings` to `path`, replacing the file there only once the new one is
// complete: a failed save leaves the old file whole.
std::optional<FileError> SaveSettingsFile(const std::filesystem::path& path, const RunSettings& settings);

// What File > New puts back: the New defaults in every field.
inline void ResetSettings(RunSettings& settings) { settings = NewDefaults(); }

}  // namespace varnolt
