#pragma once
// `calibrate`'s options and what it writes once a calibration has ended: the
// best settings, the table of evaluations, the record, the picture and the
// summary (CalibrateOutputs.cpp), apart from the reading and the running
// (CalibrateCommand.cpp).

#include <optional>
#include <string>
#include <vector>

#include "calibration/Calibration.h"
#include "cli/CommandLine.h"
#include "plot/PlotPicture.h"

namespace varnolt {

struct CalibrateOptions {
  std::vector<std::string> positional;      // CENSUS.csv [FILE.dat]
  std::string census;
  std::optional<std::string> settingsFile;  // the base settings; the start-up settings otherwise
  std::vector<std::string> assignments;     // --set NAME=VALUE, in order
  std::vector<std::string> fits;            // --fit NAME=LOW:HIGH, in order
  std::vector<std::string> censuses;        // --census PATH[=SETTINGS.dat], in order
  std::optional<std::string> validate;      // --validate FROM:TO
  std::optional<std::string> fitShift;      // --fit-shift LOW:HIGH
  std::optional<std::string> output;        // -o BEST.dat
  std::optional<std::uint32_t> seed;
  std::int32_t palms = 2000;
  std::int32_t replicates = 2;
  std::int32_t simulations = 200;
  std::optional<std::string> objective;
  std::uint64_t budget = 20000;
  std::optional<int> threads;
  std::optional<std::string> csv;  // every evaluation; "-" for standard output
  std::optional<std::string> json;
  std::optional<std::string> plot;
  std::optional<std::string> plotSize;
  bool quiet = false;
  bool dryRun = false;
};

// Where the record goes: --json, or beside an --csv file.
std::optional<std::string> CalibrationRecordPath(const CalibrateOptions& options);

// The command line that repeats this calibration, with the seed it used.
std::vector<std::string> RepeatingCommandLine(const CalibrateOptions& options, std::uint32_t seed);

// Writes every output the options ask for and the summary; answers the exit status.
int WriteCalibration(const CalibrateOptions& options, const CalibrationRequest& request,
                     const CalibrationResult& result, const CalibrationSource& source, const PictureSize& size,
                     CliStreams& io);

// What a stopped calibration says: how far it came, the best so far; nothing is written.
void ReportStoppedCalibration(const CalibrationRequest& request, const CalibrationResult& result, CliStreams& io);

}  // namespace varnolt
