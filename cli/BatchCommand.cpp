// `batch DESIGN.csv`: runs a design made elsewhere (a spreadsheet, a script),
// one row per run with settings as columns, and writes its rows with results.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>

#include "cli/Help.h"
#include "cli/DryRun.h"
#include "cli/PointTables.h"
#include "cli/RunOptions.h"
#include "cli/SharedOptions.h"
#include "platform/CsvText.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

class BatchCommand final : public Command {
 public:
  explicit BatchCommand(CLI::App& parent) {
    CLI::App* command = AddCommand(
        parent, "batch",
        "Runs a design made elsewhere, one CSV row per run with settings as columns, and appends the results.",
        "DESIGN.csv --csv PATH|- [OPTIONS]",
        Wrapped("The design's first line names the settings its columns set (and, if it likes, a seed "
                "column); each further line is one run. Cells may be quoted, as spreadsheets save them, and a "
                "quoted cell may hold commas and line breaks.",
                "", "") +
            "\n" + SettingsNotes());
    AddArguments(*command, "DESIGN.csv", options_.positional, "the design: one run per line after its header");
    AddTextOption(*command, "--settings", options_.settingsFile, "FILE.dat",
                  "the settings the design's columns change (the start-up settings unless given)")
        ->group(SettingsGroup);
    AddRunTableOptions(*command, options_,
                       {"change one setting of every run", "the table: one row per run and replicate; - for standard output",
                        "run every line N times, seeds S to S+N-1 from its seed S",
                        "the seed of replicate 1 where the design has no seed column"});
  }

  int Run(CliStreams& io) override {
    if (options_.positional.size() != 1) return UsageError(io, "batch takes one design, DESIGN.csv");
    const std::string& designPath = options_.positional[0];
    if (std::optional<int> refused =
            CheckTableFiles(options_, {{"the design", designPath}, {"the settings file", options_.settingsFile}}, io)) {
      return *refused;
    }
    int status = ExitSuccess;
    const std::optional<RunSettings> base = BaseSettings(options_.settingsFile, options_.assignments, io, status);
    if (!base) return status;
    const std::optional<std::string> text = ReadWholeFile(designPath, io);
    if (!text) {
      io.err << "Nothing was run.\n";
      return ExitFailure;
    }
    const auto refuse = [&](std::size_t line, std::size_t column, const std::string& problem) {
      io.err << "varnolt-cli: " << designPath << " line " << line;
      if (column > 0) io.err << ", column " << column;
      io.err << ": " << problem << "\nNothing was run.\n";
      return ExitUsage;
    };
    // A quoted cell (notes, say) may hold line breaks; the reader skips the byte
    // order mark spreadsheets put before UTF-8.
    const CsvRead design = ReadCsv(*text);
    if (design.openQuoteLine) return refuse(*design.openQuoteLine, 0, "a quote is left open");
    std::vector<CsvRecord> records = design.records;
    while (!records.empty() && records.back().text.empty()) records.pop_back();
    if (records.empty()) return refuse(1, 0, "the design is empty; its first line names the settings it sets");
    const std::vector<std::string>* header = &records[0].cells;
    std::optional<std::size_t> seedColumn;
    for (std::size_t c = 0; c < header->size(); ++c) {
      const std::string& name = (*header)[c];
      if (name == "seed") {
        seedColumn = c;
      } else if (FindField(name) == nullptr) {
        return refuse(1, c + 1, "unknown column \"" + name + "\"; columns are setting names (" + SettingNames() +
                                    ") or seed");
      }
      for (std::size_t d = 0; d < c; ++d) {
        if ((*header)[d] == name) return refuse(1, c + 1, "the column \"" + name + "\" is given twice");
      }
    }
    if (options_.shard && !options_.seed && !seedColumn) {
      return UsageError(io, "--shard needs --seed N or a seed column, so that every part runs the same seeds");
    }
    if (options_.resume && !options_.seed && !seedColumn) {
      return UsageError(io, "--resume needs --seed N or a seed column, so that the runs repeat the same seeds");
    }
    const std::uint32_t seed = seedColumn && !options_.seed ? 0 : BaseSeed(options_, io);

    PointTable table;
    table.command = "batch";
    table.base = *base;
    table.description =
        "batch;" + SettingsText(*base) + "seed=" + std::to_string(seed) + ";" + records[0].text + ";";
    ChooseStatistics(table, options_, DefaultRunStatistics());
    std::vector<std::size_t> rowLines;  // each row's line in the design
    for (std::size_t c = 0; c < header->size(); ++c) {
      if (c != seedColumn) table.leadColumns.push_back((*header)[c]);
    }
    // Every row is checked before anything runs; the points are made again from
    // the rows when their turn comes.
    const auto pointOfRow = [seedColumn](const RunSettings& start, const std::vector<std::string>& names,
                                         const std::vector<std::string>& cells, DesignPoint& point,
                                         std::size_t& problemColumn) -> std::optional<std::string> {
      point.settings = start;
      point.leadCells.clear();
      bool firstCell = true;
      for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c == seedColumn) continue;
        if (std::optional<std::string> problem = ApplyAssignment(point.settings, names[c] + "=" + cells[c])) {
          problemColumn = c + 1;
          return problem;
        }
        point.leadCells += (firstCell ? "" : ",") + CsvCell(cells[c]);
        firstCell = false;
      }
      return std::nullopt;
    };
    DesignPoint checked;
    for (std::size_t l = 1; l < records.size(); ++l) {
      const std::vector<std::string>* cells = &records[l].cells;
      const std::size_t line = records[l].line;
      if (cells->size() != header->size()) {
        return refuse(line, 0, "the row has " + std::to_string(cells->size()) + " cells, the header " +
                                   std::to_string(header->size()));
      }
      if (seedColumn) {
        const std::string& value = (*cells)[*seedColumn];
        const std::optional<std::uint32_t> read = ReadWholeNumber<std::uint32_t>(value);
        if (!read) {
          return refuse(line, *seedColumn + 1, "seed \"" + value + "\" is not a whole number from 0 to 4294967295");
        }
        table.pointSeeds.push_back(*read);  // the column wins over --seed
      }
      std::size_t column = 0;
      if (std::optional<std::string> problem = pointOfRow(*base, *header, *cells, checked, column)) {
        return refuse(line, column, *problem);
      }
      table.description += records[l].text + ";";
      rowLines.push_back(line);
    }
    if (rowLines.empty()) return refuse(2, 0, "the design has no rows to run");
    table.points = rowLines.size();
    table.seed = seed;
    // Each row runs its own seeds S to S + N - 1. Two rows may share them on
    // purpose (common random numbers), but a row must not run part of another's.
    const auto replicates = static_cast<std::uint64_t>(options_.replicates);
    std::vector<std::pair<std::uint64_t, std::size_t>> starts;  // seed, row
    for (std::size_t row = 0; row < table.pointSeeds.size(); ++row) {
      if (auto problem = SeedRangeProblem(table.pointSeeds[row], replicates)) {
        return refuse(rowLines[row], *seedColumn + 1, *problem);
      }
      starts.emplace_back(table.pointSeeds[row], row);
    }
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 1; i < starts.size(); ++i) {
      const auto [start, other] = starts[i - 1];
      const auto [first, row] = starts[i];
      if (first == start || first - start >= replicates) continue;
      const std::size_t later = std::max(row, other), earlier = std::min(row, other);
      const std::uint64_t laterSeed = table.pointSeeds[later], earlierSeed = table.pointSeeds[earlier];
      return refuse(rowLines[later], *seedColumn + 1,
                    "seeds " + std::to_string(laterSeed) + " to " + std::to_string(laterSeed + replicates - 1) +
                        " of line " + std::to_string(rowLines[later]) + " overlap seeds " +
                        std::to_string(earlierSeed) + " to " + std::to_string(earlierSeed + replicates - 1) +
                        " of line " + std::to_string(rowLines[earlier]) + "; with --replicates " +
                        std::to_string(replicates) + " give rows seeds at least " + std::to_string(replicates) +
                        " apart, or the same seed to run the same seeds");
    }
    auto rows = std::make_shared<std::vector<CsvRecord>>(std::move(records));
    table.point = [rows, pointOfRow, base = *base](std::size_t design) {
      DesignPoint point;
      std::size_t column = 0;
      pointOfRow(base, (*rows)[0].cells, (*rows)[design + 1].cells, point, column);
      return point;
    };
    if (options_.dryRun) return DryRunPointTable(table, options_, io);
    return RunPointTable(table, options_, io);
  }

 private:
  ExperimentOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeBatchCommand(CLI::App& parent) { return std::make_unique<BatchCommand>(parent); }

}  // namespace varnolt
