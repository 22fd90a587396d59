#pragma once
// Calibration: fitting chosen whole-numbered settings to a plantation's census,
// and saying which of them the census actually determines.
//
// A census gives, for some model cycles, the percentages of new inflorescences
// that were female, hermaphrodite, male or aborted (the columns the runner's own
// CSV has), and how many palms were observed. Every candidate setting is run on
// the fast engine with the same seeds, so the objective is a plain function of
// the settings and candidates are compared on the same random numbers. Small
// grids are evaluated whole, in parallel; larger ones are searched by NLopt's
// controlled random search with rounding to whole values, a cache of evaluated
// points and a final exhaustive polish around the best point. For each fitted
// setting the profile (the best objective over all other fitted settings, for
// each of its values) gives the range of values that fit as well as the best
// within the noise.
//
// Plain C++. The work reports progress through atomics and a callback, stops on
// a stop token (a job's, from the run layer), and hands everything back as
// data, so the runner and the window can both drive it.
//
// Driving it from a job (run/Job.h), as a page of the window would:
//
//   CalibrationRequest request;  // base settings, fits (ParseFitRange), census
//                                // (ReadCensus), objective, seed, palms, replicates
//   if (auto problem = CheckCalibrationRequest(request)) { show *problem; return; }
//   const CalibrationPlan plan = PlanCalibration(request);  // the cost, to tell first
//   auto result = std::make_shared<CalibrationResult>();
//   job = std::make_unique<Job>(
//       [request, result](std::stop_token stop, RunControl& progress) {
//         CalibrationControl control;
//         control.threads = progress.threads;
//         control.stop = stop;  // Job::Stop() ends the calibration soon
//         control.progress = [&progress](const CalibrationProgress& now) {
//           progress.palmsDone = now.evaluations;  // the job's count: candidates
//         };
//         *result = Calibrate(request, control);
//       },
//       threads, [] { /* post "ended" to the window's event loop */ });
//
// Once ended: result->stopped (nothing else holds), result->failure (no
// candidate could run), or the best values (BestSettings for the settings to
// open), each setting's range (result->profiles, DeterminedText), the fit per
// series (result->fit) and the best settings' cycles to draw the census over
// (result->bestCycles). The progress callback runs on the job's thread between
// batches of candidates; a window posts from it, never touches widgets there.
// CalibrationControl's atomics may be read from any thread instead.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/FloweringModel.h"
#include "settings/RunSettings.h"

namespace varnolt {

// ---------------------------------------------------------------- the census

// The four series a census may observe, in the order of the runner's CSV.
inline constexpr int CensusSeriesCount = 4;
inline constexpr std::array<const char*, CensusSeriesCount> CensusSeriesNames = {"female", "herm", "male",
                                                                                 "aborted"};
// The simulated value of series s in a cycle's results.
double SeriesValue(const CycleResult& row, int series);

struct CensusRow {
  std::int64_t cycle = 0;  // the model cycle observed, from 1
  std::array<std::optional<double>, CensusSeriesCount> percent;  // blank cells hold nothing
  std::optional<double> palms;  // the palms observed that cycle, when the census says
  std::size_t line = 0;         // where the row stands in the file
};

struct Census {
  std::vector<CensusRow> rows;  // in the order of their cycles
  bool hasPalms = false;        // the file has a palms column
  // The most decimals a percentage of the file is written with (0 for a census
  // in whole percentages); -1 when not known. Simulated censuses are rounded alike.
  int decimals = -1;

  std::int64_t LastCycle() const { return rows.empty() ? 0 : rows.back().cycle; }
  // The percentages observed, over all rows and series.
  std::size_t ObservedCells() const;
};

struct CensusRead {
  Census census;
  std::string error;  // empty when read; otherwise "NAME line L, column C: what is wrong and what is expected"
};

// Reads a census: CSV with a header naming a `cycle` column, any of `female`,
// `herm`, `male`, `aborted` (percentages of palms, 0 to 100), an optional `palms`
// column (a whole number, at least 1) and the `total` a run's CSV carries
// (ignored). A blank cell is not observed; rows may come in any order; a byte
// order mark, CR LF and quoted cells are read as a spreadsheet writes them.
CensusRead ReadCensus(std::string_view text, const std::string& fileName);

// ---------------------------------------------------------------- the objective

enum class ObjectiveKind { Sse, LogLik };

const char* ObjectiveName(ObjectiveKind kind);  // "sse", "loglik"

// The value the search makes smallest, of the simulated cycles (cycles[0] being
// cycle 1) against the census:
// - Sse: the sum over observed cells of the squared difference of percentages;
//   with a palms column each row weighs its palms over the census's mean palms.
// - LogLik: minus the multinomial log-likelihood of the observed counts
//   (percent x palms / 100) under the simulated proportions, each proportion
//   held at `floor` or above so that a state the runs never showed stays
//   possible. Series left out of the census are pooled as "the rest".
double ObjectiveValue(const Census& census, std::span<const CycleResult> cycles, ObjectiveKind kind,
                      double floor);

// How well a simulated series follows the census, over the cells it observed.
struct SeriesFit {
  std::size_t cells = 0;
  double rmse = 0.0;  // root mean squared difference, in percentage points
  double nse = 0.0;   // Nash-Sutcliffe efficiency; NaN when the census series never varies
  double bias = 0.0;  // mean of simulated minus observed
};
struct FitStatistics {
  std::array<SeriesFit, CensusSeriesCount> series;
  std::size_t cells = 0;
  double rmse = 0.0;  // over every observed cell
  // Over every observed cell: each series's variation about its own mean, and
  // the mean of simulated minus observed.
  double nse = 0.0;
  double bias = 0.0;
};
FitStatistics FitOf(const Census& census, std::span<const CycleResult> cycles);
// The same pooled over several censuses, each against its own cycles.
FitStatistics FitOfCensuses(std::span<const Census> censuses, std::span<const std::span<const CycleResult>> cycles);

// ---------------------------------------------------------------- what is fitted

// A fitted setting: a whole-numbered setting and the values LOW to HIGH it may take.
struct FitRange {
  std::string name;
  std::int32_t low = 0;
  std::int32_t high = 0;
};

// Reads "NAME=LOW:HIGH"; on a problem answers what is wrong.
std::optional<std::string> ParseFitRange(const std::string& text, FitRange& range);

// Census cycles FROM to TO, or shifts LOW to HIGH: reads "A:B" with whole A and
// B, A at most B (a negative A too: "-10:10"). `what` names the option in a problem.
struct WholeSpan {
  std::int32_t low = 0;
  std::int32_t high = 0;
};
std::optional<std::string> ParseWholeSpan(const std::string& text, const std::string& what, WholeSpan& span);

// The name the census's shift has among the fitted values.
inline constexpr const char* ShiftName = "shift";

// Another census fitted together with the first: a plantation of its own, with
// its own base settings (treatments, cycleCount); the fitted values are shared.
struct AddedCensus {
  std::string name;  // as the user named the file, for the summary and the record
  Census census;
  RunSettings base;
};

// The values the rules (or the model's node storage, for frond positions) admit
// for the setting alone, given the base settings; nothing when the setting
// cannot be fitted, with the reason in `why`.
struct AdmittedValues {
  std::int32_t low = 0;
  std::int32_t high = 0;
};
std::optional<AdmittedValues> AdmittedValuesOf(const std::string& name, const RunSettings& base, std::string& why);

struct CalibrationRequest {
  RunSettings base;  // the settings every candidate starts from
  std::vector<FitRange> fits;
  Census census;
  std::vector<AddedCensus> added;  // fitted together with `census`, each on its own base
  // The whole-cycle offset S of the first census, fitted over LOW to HIGH: its
  // cycle c is model cycle c + S. The candidates run long enough for every S.
  std::optional<WholeSpan> shift;
  // Census cycles FROM to TO (of every census) left out of the fit and reported apart.
  std::optional<WholeSpan> validate;
  ObjectiveKind objective = ObjectiveKind::Sse;
  std::uint32_t seed = 1;        // replicates run seeds seed to seed + replicates - 1
  std::int32_t palms = 2000;     // palms simulated per replicate (the base's palmCount is not used)
  std::int32_t replicates = 2;   // runs averaged per candidate
  std::uint64_t budget = 20000;  // the largest grid evaluated whole; the optimiser's evaluations beyond
  // Censuses simulated from the best fit to calibrate the ranges and judge the
  // fit: 20 or more; 0 leaves the ranges uncalibrated (values fitting exactly as
  // well as the best only) and the fit unjudged.
  std::int32_t simulatedCensuses = 200;
};

// What is fitted, in the order of Evaluation::values: the request's settings,
// then the shift when it is fitted.
std::vector<FitRange> FittedValues(const CalibrationRequest& request);

// Whether the request can run: known settings fitted once each, ranges inside
// what the rules admit, a census with an observed cell inside the runs' cycles,
// palms for the likelihood, and at least one candidate that passes the rules.
// Answers the problem for the user, or nothing.
std::optional<std::string> CheckCalibrationRequest(const CalibrationRequest& request);

// The number of candidates of the full grid (as a double: it may be huge).
double GridSize(std::span<const FitRange> fits);

// ---------------------------------------------------------------- the search

enum class SearchMethod { Exhaustive, Optimiser };
const char* SearchMethodName(SearchMethod method);  // "exhaustive grid", "optimiser"

// Why a candidate was evaluated.
enum class SearchStage { Grid, Search, Polish, Profile };
const char* SearchStageName(SearchStage stage);  // "grid", "search", "polish", "profile"

enum class EvaluationStatus { Ran, Invalid, Failed };

struct Evaluation {
  std::vector<std::int32_t> values;  // one per fitted setting, in the request's order
  double objective = 0.0;            // +infinity unless Ran
  EvaluationStatus status = EvaluationStatus::Ran;
  std::string message;               // the rule or failure, when not Ran
  SearchStage stage = SearchStage::Grid;
};

// What the census says about one fitted setting.
struct SettingProfile {
  std::string name;
  std::vector<std::int32_t> values;  // low to high
  std::vector<double> best;          // per value: the best objective found with it; +infinity for none
  std::int32_t fitLow = 0;           // the values within the noise of the best, lowest to highest
  std::int32_t fitHigh = 0;
  std::int32_t runLow = 0;           // the lowest and highest values with a candidate that ran: beyond
  std::int32_t runHigh = 0;          // them the rules refuse every candidate, so no census could tell
  // How far above the best objective a value's profile may lie and still be
  // consistent with the census: the 95th percentile of the profile's rise at
  // the true value over censuses simulated from the best fit.
  double threshold = 0.0;
  std::int32_t simulatedCensuses = 0;  // the censuses that calibrated it
  // Every value that could run fits within the noise: the census does not determine it.
  bool Undetermined() const { return fitLow <= runLow && fitHigh >= runHigh; }
};

struct CalibrationProgress {
  SearchStage stage = SearchStage::Grid;
  std::uint64_t evaluations = 0;  // candidates evaluated so far
  std::uint64_t planned = 0;      // for the grid, its size; for the optimiser, the budget
};

struct CalibrationControl {
  int threads = 0;                          // runs at a time; 0 follows the machine
  std::stop_token stop;                     // a stop asked stops the work soon, running candidates too
  // Called on the calibrating thread after each batch of evaluations.
  std::function<void(const CalibrationProgress&)> progress;
  // The same counts for a watcher on another thread.
  std::atomic<std::uint64_t> evaluations{0};
  std::atomic<std::uint64_t> planned{0};
  std::atomic<std::uint64_t> runsDone{0};  // runs of the model (candidates x replicates; refused ones are not run)
};

// How well the best settings' residuals agree with what the census's palms and
// the candidates' own runs explain, per series and overall.
struct SeriesLackOfFit {
  std::size_t cells = 0;
  double residualVariance = 0.0;  // mean squared residual, in squared percentage points
  double binomialVariance = 0.0;  // what the palms explain at the fitted proportions (census and runs)
  double expectedVariance = 0.0;  // the same residual's mean over the simulated censuses
  double ratio = 0.0;             // residualVariance / expectedVariance
  double lag1 = 0.0;              // autocorrelation of consecutive residuals
  double expectedLag1 = 0.0;      // its mean over the simulated censuses
};
struct LackOfFit {
  bool judged = false;   // a census without palms gives nothing to judge against
  bool flagged = false;  // the model does not explain the census
  double ratio = 0.0;    // residual sum of squares over its mean in the simulated censuses
  double pValue = 1.0;   // share of simulated censuses whose best fit is at least as poor
  std::array<SeriesLackOfFit, CensusSeriesCount> series;
};

struct CalibrationResult {
  bool stopped = false;  // stopped through the control: nothing else holds
  SearchMethod method = SearchMethod::Exhaustive;
  double gridSize = 0.0;
  std::vector<Evaluation> evaluations;  // in the order they were evaluated
  std::vector<std::int32_t> best;       // one value per fitted setting
  double bestObjective = 0.0;
  // How the ranges were calibrated, for the user (each profile holds its threshold).
  std::string thresholdRule;
  std::vector<SettingProfile> profiles;  // one per fitted setting
  std::vector<CycleResult> bestCycles;   // the best settings' cycles, averaged over the replicates
  FitStatistics fit;                     // of bestCycles against the census
  std::int32_t shift = 0;                // the first census's best shift (0 unless fitted)
  // Per added census: the best settings' cycles on its base and their fit.
  std::vector<std::vector<CycleResult>> addedCycles;
  std::vector<FitStatistics> addedFits;
  std::optional<FitStatistics> validation;  // over the held-out cells of every census
  LackOfFit lackOfFit;
  std::vector<double> simulatedPalms;    // per census: the palms of its simulated censuses
  // The best found so far when stopped, and its objective (empty otherwise).
  std::vector<std::int32_t> bestSoFar;
  double bestSoFarObjective = 0.0;
  double logLikelihood = 0.0;            // of the best, for loglik
  double seconds = 0.0;
  double rangeSeconds = 0.0;  // of seconds, the simulated censuses and their refits
  std::string failure;  // set when no candidate ran (all refused or failed)

  std::uint64_t Evaluated(SearchStage stage) const;
};

// Runs the whole calibration. The request must have passed CheckCalibrationRequest.
CalibrationResult Calibrate(const CalibrationRequest& request, CalibrationControl& control);

// The base settings with the best values: what the best-settings file holds.
// The base's own palmCount and texts are kept.
RunSettings BestSettings(const CalibrationRequest& request, const CalibrationResult& result);

// The run settings of one candidate as the search simulates them (palmCount is
// the request's palms).
RunSettings CandidateSettings(const CalibrationRequest& request, std::span<const std::int32_t> values);

// What a calibration will cost, known before anything runs (a dry run, or a
// window telling the user before starting the job).
struct CalibrationPlan {
  SearchMethod method = SearchMethod::Exhaustive;
  double gridSize = 0.0;           // every candidate of the ranges
  std::uint64_t candidates = 0;    // exhaustive: the grid; optimiser: about the most it evaluates
  bool estimated = false;          // the optimiser's candidates depend on where the census leads it
  std::uint64_t refused = 0;       // exhaustive: candidates a rule refuses (never run); optimiser: not known
  std::uint64_t runs = 0;          // of the model: (candidates - refused) x replicates
  double palmCycles = 0.0;         // of those runs: palms x cycleCount each
  std::vector<std::int32_t> sample;  // a candidate that passes the rules (empty when none was found), to time
};

// The plan of a request that passed CheckCalibrationRequest. Cheap: only the
// rules are checked, nothing runs.
CalibrationPlan PlanCalibration(const CalibrationRequest& request);

// ---------------------------------------------------------------- what a calibration writes

// "maleThreshold = 19 (values 18 to 20 fit equally well)", "... (no other value
// fits as well)", or "femaleThreshold = 0 (not determined by this census: every
// value from 0 to 16 fits equally well)" (with "that the rules let run" when the
// rules refuse the rest of LOW..HIGH).
std::string DeterminedText(const FitRange& fit, const SettingProfile& profile, std::int32_t best);

// Where a calibration came from, for its summary and record.
struct CalibrationSource {
  std::string censusName;       // the census file as the user named it
  std::string censusSha256;     // of its bytes, 64 hex digits
  std::string baseName;         // the base settings file, empty for the start-up settings
  std::vector<std::string> commandLine;
  std::chrono::system_clock::time_point startTime;
  int threads = 0;              // the threads that ran
};

// "Lack of fit: ..." -- what the comparison with the simulated censuses found, for the user.
std::string LackOfFitText(const CalibrationResult& result);

// The residuals (simulated minus observed) of the first census at the best fit,
// per series, at model cycles, for a residual panel; held-out cells included.
struct ResidualPoint {
  double cycle = 0.0;
  double residual = 0.0;
  bool heldOut = false;
};
std::array<std::vector<ResidualPoint>, CensusSeriesCount> BestResiduals(const CalibrationRequest& request,
                                                                        const CalibrationResult& result);

// The summary for the user: method, evaluations and time, the best values with
// their ranges, and RMSE, NSE and bias per observed series.
std::string CalibrationSummary(const CalibrationRequest& request, const CalibrationResult& result,
                               const CalibrationSource& source);

// Every evaluation in the order evaluated: its number, the fitted settings,
// the objective, the status (ok, invalid, failed), the stage and the reason.
std::string EvaluationsCsv(const CalibrationRequest& request, const CalibrationResult& result);

// The JSON record of the calibration: version, command line, census and its
// SHA-256, base settings, seeds, method, best, determined ranges, objective,
// RMSE, NSE, bias, profiles, evaluations and seconds.
std::string CalibrationRecordJson(const CalibrationRequest& request, const CalibrationResult& result,
                                  const CalibrationSource& source);

// The SHA-256 of the bytes as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace varnolt
