// The Experiments page's fit: settings fitted to a census as the runner's
// `calibrate` fits them, the census over the best fit, and the fitted values
// put into the settings on request.
#include <QFile>
#include <QFileInfo>
#include <QLabel>

#include <algorithm>
#include <climits>

#include "app/ExperimentsPage.h"
#include "app/Sheet.h"
#include "platform/Prompts.h"


namespace varnolt {

using namespace control;
using namespace experiments_page;

std::optional<std::pair<int, QString>> CPageExperiments::ReadFitFactor(Plan& plan, int row, const QString& name,
                                                                        const std::string& from,
                                                                        const std::string& to) const {
  FitRange fit;
  if (ParseFitRange(name.toStdString() + "=" + from + ":" + to, fit)) {
    return std::pair{SettingRowControl(row, 2), QStringLiteral("To of %1 must be From or more.").arg(name)};
  }
  plan.fits.push_back(std::move(fit));
  return std::nullopt;
}

namespace {

// The lack-of-fit verdict in a sentence; the whole comparison, series by series,
// is the summary's tooltip.
QString LackOfFitLine(const CalibrationResult& result) {
  const LackOfFit& lack = result.lackOfFit;
  if (!lack.judged) return QStringLiteral("Lack of fit: not judged (the census has no palms column).");
  const QString measure = QStringLiteral("the residuals' variance is %1 times what the palms and the runs' noise "
                                         "explain, p = %2")
                              .arg(lack.ratio, 0, 'f', 2)
                              .arg(lack.pValue, 0, 'f', 3);
  return lack.flagged ? QStringLiteral("Lack of fit: the model does not explain this census (%1).").arg(measure)
                      : QStringLiteral("Lack of fit: none found (%1).").arg(measure);
}

}  // namespace

CalibrationRequest CPageExperiments::FitRequest(const Plan& plan) const {
  CalibrationRequest request;
  request.base = plan.base;
  // The candidates run to the census's last cycle, whatever the Size page says.
  if (census_) {
    request.base.cycleCount = static_cast<std::int32_t>(std::clamp<std::int64_t>(census_->LastCycle(), 1, INT32_MAX));
    request.census = *census_;
  }
  request.fits = plan.fits;
  request.seed = plan.seed.value_or(0);
  request.palms = plan.palms;
  request.replicates = plan.replicates;
  return request;
}

QString CPageExperiments::FitPlanText(const Plan& plan) const {
  const double grid = GridSize(plan.fits);
  QString text = QStringLiteral("Fit of %1 to ").arg(Counted(static_cast<std::int64_t>(plan.fits.size()), "setting", "settings"));
  text += census_ ? censusName_ : QStringLiteral("a census (open one first)");
  // With a census, the candidates the rules refuse are counted: they never run.
  std::optional<CalibrationPlan> counted;
  if (census_) {
    const CalibrationRequest request = FitRequest(plan);
    if (std::optional<std::string> problem = CheckCalibrationRequest(request)) {
      return text + QStringLiteral(": ") + Text(*problem) + QLatin1Char('.');
    }
    counted = PlanCalibration(request);
  }
  if (grid <= 20000) {
    text += QStringLiteral(": the whole grid of %1").arg(Counted(static_cast<std::int64_t>(grid), "candidate", "candidates"));
    if (counted && counted->refused > 0) {
      text += QStringLiteral(" (the rules refuse %1, which never run)")
                  .arg(Grouped(static_cast<std::int64_t>(counted->refused)));
    }
  } else {
    text += QStringLiteral(": %1 candidates, searched by the optimiser in up to 20,000").arg(QString::number(grid, 'g', 3));
  }
  text += QStringLiteral(", each %1 of %2 up to ").arg(Counted(plan.replicates, "run", "runs"), Counted(plan.palms, "palm", "palms"));
  // The runs go to the census's last cycle, whatever the Size page says.
  text += census_ ? QStringLiteral("cycle %1, the census's last").arg(census_->LastCycle())
                  : QStringLiteral("the census's last cycle");
  // The ranges' threshold comes from censuses simulated from the best fit.
  text += QStringLiteral("; ranges calibrated on %1 simulated censuses.").arg(CalibrationRequest{}.simulatedCensuses);
  return text;
}

void CPageExperiments::RunFit(Plan& plan) {
  if (!census_) {
    Refuse(kOpenCensus, QStringLiteral("Open a census first: a CSV of cycles with the percentages observed, as "
                                       "varnolt-cli calibrate reads it."));
    return;
  }
  CSheet& sheet = Sheet();
  CalibrationRequest request = FitRequest(plan);
  request.seed = plan.seed ? *plan.seed : NewSeed(sheet, static_cast<std::uint64_t>(plan.replicates));
  if (std::optional<std::string> problem = CheckCalibrationRequest(request)) {
    Refuse(SettingRowControl(plan.rows.front(), 0), Text(*problem) + QLatin1Char('.'));
    return;
  }
  CalibrationControl control;
  CalibrationResult result;
  const QString running = QStringLiteral("Fit: %1 of %2 palms, up to cycle %3")
                              .arg(Counted(static_cast<std::int64_t>(plan.points), "candidate", "candidates"),
                                   Grouped(request.palms))
                              .arg(request.census.LastCycle());
  const bool completed = RunWithProgress(
      plan.kind, running, plan.points,
      [&](std::stop_token stop, RunControl&) {
        control.stop = stop;
        result = Calibrate(request, control);
      },
      [&control] { return control.evaluations.load(); });
  if (!completed) return;
  if (!result.failure.empty()) {
    CurrentPrompts().Message(Window(), {QStringLiteral("Nothing was fitted: ") + Text(result.failure) + QLatin1Char('.'),
                                        QStringLiteral("Fit to a census"), MessageIcon::Warning, MessageButtons::Ok});
    return;
  }

  auto results = std::make_unique<Results>();
  results->kind = Kind::Fit;
  results->csv = EvaluationsCsv(request, result);
  results->csvName = QStringLiteral("fit-evaluations.csv");
  results->commandLine = "varnolt-cli calibrate " + ShellWord(censusPath_.toStdString()) + SetOptions(request.base);
  for (const std::string& factor : plan.factorTexts) results->commandLine += " --fit " + ShellWord(factor);
  results->commandLine += " --palms " + std::to_string(request.palms) + " --replicates " +
                          std::to_string(request.replicates) + " --seed " + std::to_string(request.seed) +
                          " -o best.dat --csv fit-evaluations.csv";
  results->header << QStringLiteral("Setting") << QStringLiteral("Best") << QStringLiteral("Consistent at 95 %")
                  << QStringLiteral("Searched") << QStringLiteral("What the census says");
  results->numberHeader = {"setting", "best", "fitsFrom", "fitsTo", "searchedFrom", "searchedTo", "census"};
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    const FitRange& fit = request.fits[f];
    const SettingProfile& profile = result.profiles[f];
    results->rows.push_back({Text(fit.name), QString::number(result.best[f]),
                             QStringLiteral("%1 to %2").arg(profile.fitLow).arg(profile.fitHigh),
                             QStringLiteral("%1 to %2").arg(fit.low).arg(fit.high),
                             Text(DeterminedText(fit, profile, result.best[f]))});
    results->numberRows.push_back({fit.name, std::to_string(result.best[f]), std::to_string(profile.fitLow),
                                   std::to_string(profile.fitHigh), std::to_string(fit.low), std::to_string(fit.high),
                                   DeterminedText(fit, profile, result.best[f])});
    results->fitted.push_back(fit.name);
    results->best.push_back(result.best[f]);
  }
  results->seed = request.seed;
  // The census over the best settings' cycles, up to its last cycle.
  FitPicture picture;
  const auto last = std::min<std::size_t>(static_cast<std::size_t>(request.census.LastCycle()), result.bestCycles.size());
  picture.cycles.assign(result.bestCycles.begin(), result.bestCycles.begin() + static_cast<std::ptrdiff_t>(last));
  // Beneath, the residuals of the best fit (simulated minus observed).
  const auto residuals = BestResiduals(request, result);
  for (int s = 0; s < CensusSeriesCount; ++s) {
    for (const ResidualPoint& point : residuals[s]) picture.residuals[s].push_back({point.cycle, point.residual});
  }
  CyclePlotView::Observed observed;
  for (const CensusRow& row : request.census.rows) {
    for (int s = 0; s < CensusSeriesCount; ++s) {
      if (!row.percent[s]) continue;
      picture.observed[s].push_back({static_cast<double>(row.cycle), *row.percent[s]});
      observed[s].push_back(QPointF(static_cast<double>(row.cycle), *row.percent[s]));
    }
  }
  std::string bestText;
  for (std::size_t f = 0; f < request.fits.size(); ++f) {
    bestText += (f == 0 ? "" : ", ") + request.fits[f].name + " " + std::to_string(result.best[f]);
  }
  QString fitLine = QStringLiteral("RMSE %1 points over %2").arg(result.fit.rmse, 0, 'f', 2).arg(
      Counted(static_cast<std::int64_t>(result.fit.cells), "observed cell", "observed cells"));
  QStringList nse;
  for (int s = 0; s < CensusSeriesCount; ++s) {
    const SeriesFit& series = result.fit.series[s];
    if (series.cells > 0 && !std::isnan(series.nse)) {
      nse << QStringLiteral("%1 %2").arg(QLatin1String(CensusSeriesNames[s])).arg(series.nse, 0, 'f', 2);
    }
  }
  fitLine += nse.isEmpty() ? QStringLiteral("; no series varies enough for an NSE") : QStringLiteral("; NSE ") + nse.join(QStringLiteral(", "));
  picture.title = "Census and best fit: " + bestText + " (RMSE " + QString::number(result.fit.rmse, 'f', 2).toStdString() +
                  " points)";
  results->fit = picture;
  results->chartNames.push_back("census and best fit");
  results->titles.push_back(picture.title + ", seed " + std::to_string(request.seed));
  // The page's chart is too small for the residuals beneath the fit: they are a chart of their own there.
  results->chartNames.push_back("residuals of the best fit");
  results->titles.push_back(results->titles.back());
  results->summary = QStringLiteral("Fit by %1: %2 in %3 s, seed %4. Best: %5. %6. %7")
                         .arg(QLatin1String(SearchMethodName(result.method)),
                              Counted(static_cast<std::int64_t>(result.evaluations.size()), "candidate", "candidates"))
                         .arg(result.seconds, 0, 'f', 2)
                         .arg(request.seed)
                         .arg(Text(bestText), fitLine, LackOfFitLine(result));
  results->details = Text("Ranges: " + result.thresholdRule + ".\n" + LackOfFitText(result));
  sheet.pagePlot.ShowFit(picture.cycles, observed, Text(picture.title), fitLine);
  results->summary += QStringLiteral(" The Plot page shows the census over the fit.");
  ShowNewResults(std::move(results));
}


void CPageExperiments::OnOpenCensus() {
  FileDialogRequest request;
  request.mode = FileDialogMode::Open;
  request.filter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*|");
  request.defaultExtension = QStringLiteral("csv");
  const std::optional<QString> path = CurrentPrompts().ChooseFile(Window(), request);
  if (path) OpenCensus(*path);
}

bool CPageExperiments::OpenCensus(const QString& path) {
  const auto refuse = [this](const QString& text) {
    CurrentPrompts().Message(Window(), {text + QStringLiteral("\nThe census before it, if any, is still the one fitted."),
                                        QStringLiteral("Census not read"), MessageIcon::Warning, MessageButtons::Ok});
    return false;
  };
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return refuse(QStringLiteral("\"%1\" could not be read: %2.").arg(path, file.errorString()));
  }
  const QByteArray bytes = file.readAll();
  const QString name = QFileInfo(path).fileName();
  CensusRead read = ReadCensus(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                               name.toStdString());
  if (!read.error.empty()) return refuse(Text(read.error) + QLatin1Char('.'));
  // A header alone (or only blank cells) observes nothing to fit.
  if (read.census.ObservedCells() == 0) {
    return refuse(QStringLiteral("\"%1\" observes nothing: it has no row with a female, herm, male or aborted "
                                 "percentage.")
                      .arg(name));
  }
  census_ = std::make_unique<Census>(std::move(read.census));
  censusName_ = name;
  censusPath_ = QFileInfo(path).absoluteFilePath();
  if (auto* label = qobject_cast<QLabel*>(GetDlgItem(kCensusName))) {
    // The name on a line of its own, shortened in the middle when it is long.
    label->setText(QStringLiteral("%1\n%2, to cycle %3")
                       .arg(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()),
                            Counted(static_cast<std::int64_t>(census_->ObservedCells()), "cell", "cells"))
                       .arg(census_->LastCycle()));
    label->setToolTip(path);
  }
  UpdatePlan();
  return true;
}

void CPageExperiments::OnUseFitted() {
  if (!results_ || results_->fitted.empty()) return;
  RunSettings& settings = Settings();
  QStringList values;
  for (std::size_t f = 0; f < results_->fitted.size(); ++f) {
    settings.*(FindField(results_->fitted[f])->integer) = results_->best[f];
    values << QStringLiteral("%1 %2").arg(Text(results_->fitted[f])).arg(results_->best[f]);
  }
  MarkModified();
  // The Run page repeats the fit's runs: its seed with the fitted values.
  Sheet().pageResults.SetSeed(results_->seed);
  status_ = QStringLiteral("The settings now hold the fitted values (%1) and the RUN MODEL page the fit's seed %2; "
                           "File > Save keeps the settings.")
                .arg(values.join(QStringLiteral(", ")))
                .arg(results_->seed);
  UpdatePlan();
}

}  // namespace varnolt
