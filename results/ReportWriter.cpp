#include "results/ReportWriter.h"

#include <charconv>
#include <string_view>

#include "platform/Windows1252.h"

namespace varnolt {

namespace {

// Writes text as a Windows text-mode stream does: every '\n' becomes CR LF.
class TextModeWriter {
 public:
  explicit TextModeWriter(std::ostream& stream) : out(stream) {}

  TextModeWriter& operator<<(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', start)) {
      out.write(text.data() + start, static_cast<std::streamsize>(at - start));
      out.write("\r\n", 2);
      start = at + 1;
    }
    out.write(text.data() + start, static_cast<std::streamsize>(text.size() - start));
    return *this;
  }
  TextModeWriter& operator<<(std::int64_t number) { return *this << std::string_view(std::to_string(number)); }

 private:
  std::ostream& out;
};

// One table cell: the text, then blanks up to the column width.
std::string Cell(std::string text) {
  if (text.size() < static_cast<std::size_t>(ReportColumnWidth)) text.resize(ReportColumnWidth, ' ');
  return text;
}

void WriteFrondLine(TextModeWriter& out, std::string_view label, std::int64_t node) {
  out << label << node - FrondOffset << "\n";
}

}  // namespace

std::string FormatPercent(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  std::string text(buffer, result.ptr);
  // The Windows runtime writes at least three exponent digits: 1e-05 -> 1e-005.
  const std::size_t e = text.find('e');
  if (e != std::string::npos && e + 2 < text.size()) {
    const std::size_t digits = text.size() - (e + 2);
    if (digits < 3) text.insert(e + 2, 3 - digits, '0');
  }
  return text;
}

void WriteReport(const FloweringModel& model, std::ostream& stream) {
  const ModelSettings& s = model.settings;
  TextModeWriter out(stream);

  out << "Programme: VARNOLT_WIN.exe (MODIFIED FROM TORBISKA5.bas)\n";
  out << "RUN NAME/NOTES: " << Utf8ToWindows1252(s.runNotes) << "\n";
  out << "Means of " << s.palmCount << " palms\n";
  out << "Randomisation factor selected = " << s.randomPercent << "\n";
  out << "Gender of initial nodes = " << s.initialNodeSex << "\n";
  out << "Threshold values selected were:\n";
  out << "\tFemale threshold =   " << s.femaleThreshold << "\n";
  out << "\tMale threshold =     " << s.maleThreshold << "\n";
  out << "\tAbortion threshold = " << s.abortThreshold << "\n\n";
  out << "The preset values of the stress generating and sensitive nodes relative\n";
  out << "to the spear leaf are:\n\n";

  WriteFrondLine(out, "First FROND generating stress for sex ratio     ", s.sexStressFirstNode);
  WriteFrondLine(out, "Last FROND generating stress for sex ratio      ", s.sexStressLastNode);
  WriteFrondLine(out, "First FROND generating stress for abortion      ", s.abortStressFirstNode);
  WriteFrondLine(out, "Last FROND generating stress for abortion       ", s.abortStressLastNode);
  WriteFrondLine(out, "FROND marking start of sex determining stage    ", s.sexStageStartNode);
  WriteFrondLine(out, "FROND marking end of sex determining stage      ", s.sexStageEndNode);
  WriteFrondLine(out, "FROND where stress-induced abortion occurs      ", s.abortionNode);
  out << "\n";

  // A treatment that was off reaches the model as zeros.
  if (s.leafPruneCycle != 0) {
    out << "Leaf pruning at leaf initiation cycle number " << s.leafPruneCycle << "\n";
    out << "Stress value for pruning stress (maximum is 10) " << s.pruneStress << "\n";
  } else {
    out << "No leaf pruning\n";
  }
  if (s.trendAmplitude != 0) {
    out << "Annual trend cycles applied\n";
    out << "Trend cycle amplitude = " << s.trendAmplitude << "\n";
  } else {
    out << "No annual trend cycles\n";
  }
  if (s.irrigationStart != 0) {
    out << "Irrigation used to remove some annual trend cycles\n";
    out << "Irrigation applied from cycle number " << s.irrigationStart << " to " << s.irrigationEnd << "\n";
  } else {
    out << "No irrigation\n";
  }
  if (s.flowerPruneStart != 0) {
    out << "Flower pruning applied (100%) from cycle number " << s.flowerPruneStart << " to " << s.flowerPruneEnd
        << "\n\n";
  } else {
    out << "No flower pruning\n\n";
  }

  out << Cell("Cycle") << Cell("%Female") << Cell("%Herm") << Cell("%Male") << Cell("%Aborted") << Cell("%Total")
      << "\n";
  const std::int64_t rows = static_cast<std::int64_t>(model.cycleResults.size());
  for (std::int64_t cycle = 1; cycle <= s.cycleCount && cycle < rows; ++cycle) {
    const CycleResult& row = model.cycleResults[cycle];
    out << Cell(std::to_string(cycle)) << Cell(FormatPercent(row.female)) << Cell(FormatPercent(row.herm))
        << Cell(FormatPercent(row.male)) << Cell(FormatPercent(row.aborted)) << Cell(FormatPercent(row.total))
        << "\n";
  }
}

}  // namespace varnolt
