// The Plot page: the cycles of the last run, their analysis, pictures and CSV.
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "app/Pages.h"
#include "app/Sheet.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Prompts.h"
#include "platform/WholeNumbers.h"
#include "plot/PlotPicture.h"
#include "resources/Resources.h"
#include "results/CycleAnalysis.h"
#include "results/ResultsTable.h"
#include "results/RunRecord.h"

namespace varnolt {

using namespace control;

namespace {

const QString NothingToPlot = QStringLiteral("Nothing to plot yet: press Run on the RUN MODEL page first.");
const QString PlotHint = QStringLiteral(
    "Drag a rectangle to zoom, drag with the right button to pan, Home or Reset zoom to see all; "
    "click a legend entry to hide or show its line.");

void SetLabel(QWidget* widget, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
}

}  // namespace

CPagePlot::CPagePlot() : CSettingsPage(resource::IDD_PLOT) {
  OnNotification(Notification::ButtonClicked, kResetZoom, [this] { plot_.ResetZoom(); });
  OnNotification(Notification::ButtonClicked, kExportCsv, [this] { OnExportCsv(); });
  OnNotification(Notification::ButtonClicked, kSavePicture, [this] { OnSavePicture(); });
  OnNotification(Notification::ButtonClicked, kKeepRun, [this] { OnKeepRun(); });
  OnNotification(Notification::ButtonClicked, kClearKept, [this] { OnClearKept(); });
}

QString CPagePlot::RunTitle(const RunSettings& settings, std::uint32_t seed) {
  const QString run = QStringLiteral("%1 cycles x %2 palms, seed %3")
                          .arg(QString::fromStdString(WithThousands(settings.cycleCount)),
                               QString::fromStdString(WithThousands(settings.palmCount)))
                          .arg(seed);
  const QString notes = QString::fromStdString(settings.runNotes).simplified();
  return notes.isEmpty() ? run : notes + QStringLiteral(": ") + run;
}

bool CPagePlot::OnInitDialog() {
  ReplaceControl(kChart, &plot_);
  const bool result = CSettingsPage::OnInitDialog();
  if (auto* size = qobject_cast<QLineEdit*>(GetDlgItem(kPictureSize))) size->setText(QStringLiteral("1600 x 900"));
  connect(&plot_, &CyclePlotView::Readout, this, [this](const QString& text) {
    SetLabel(GetDlgItem(kReadout), text.isEmpty() && plot_.CycleTotal() > 0 ? PlotHint : text);
  });
  ShowResults();
  return result;
}

bool CPagePlot::OnSetActive() {
  if (shownVersion_ != Sheet().resultsVersion) ShowResults();
  return CSettingsPage::OnSetActive();
}

void CPagePlot::ShowFit(std::span<const CycleResult> cycles, const CyclePlotView::Observed& observed,
                        const QString& title, const QString& line) {
  fit_ = Fit{std::vector<CycleResult>(cycles.begin(), cycles.end()), observed, title, line, Sheet().resultsVersion};
  if (!IsCreated()) return;
  shownVersion_ = Sheet().resultsVersion;
  ShowFitNow();
  ShowKeptState();
}

void CPagePlot::ShowFitNow() {
  plot_.SetCycles(fit_->cycles);
  plot_.SetObserved(fit_->observed);
  // From the census's first cycle: the runs' start before it was not observed.
  double first = 0;
  for (const auto& series : fit_->observed) {
    for (const QPointF& point : series) first = first == 0 ? point.x() : std::min(first, point.x());
  }
  if (first > 1 && first < static_cast<double>(fit_->cycles.size())) {
    plot_.SetVisibleCycles(first, static_cast<double>(fit_->cycles.size()));
  }
  plot_.SetTitle(fit_->title);
  SetLabel(GetDlgItem(kAnalysis), fit_->line);
  SetLabel(GetDlgItem(kReadout), PlotHint);
  // Export CSV and Keep this run are of runs; the fit's table is the Experiments page's.
  for (int id : {kResetZoom, kSavePicture, kPictureSize}) EnableControl(id, true);
  for (int id : {kExportCsv, kKeepRun}) EnableControl(id, false);
}

void CPagePlot::ShowResults() {
  const std::span<const CycleResult> cycles = CyclesOf(Sheet().model.cycleResults);
  shownVersion_ = Sheet().resultsVersion;
  // A fit stays until a run comes after it.
  if (fit_ && fit_->version == Sheet().resultsVersion) {
    ShowFitNow();
    ShowKeptState();
    return;
  }
  fit_.reset();
  plot_.SetObserved({});
  plot_.SetCycles(cycles);
  const bool any = !cycles.empty();
  // A wrapped line keeps each "%" beside its number; the analysis is of the
  // percentages a CSV holds.
  const QString analysis = QString::fromStdString(AnalysisLine(AnalyseCycles(PublishedCycles(Sheet().model))))
                               .replace(QStringLiteral(" %"), QStringLiteral("\u00a0%"));
  SetLabel(GetDlgItem(kAnalysis), any ? analysis : NothingToPlot);
  SetLabel(GetDlgItem(kReadout), any ? PlotHint : QString());
  const std::optional<CSheet::LastRun>& run = Sheet().lastRun;
  plot_.SetTitle(any && run ? RunTitle(run->settings, run->outcome.seed) : QString());
  for (int id : {kResetZoom, kExportCsv, kSavePicture, kPictureSize, kKeepRun}) EnableControl(id, any);
  ShowKeptState();
}

void CPagePlot::ShowKeptState() {
  SetLabel(GetDlgItem(kKeptRun), plot_.KeptTotal() > 0 ? QStringLiteral("Kept: ") + keptTitle_ : QString());
  EnableControl(kClearKept, plot_.KeptTotal() > 0);
}

void CPagePlot::OnKeepRun() {
  const std::optional<CSheet::LastRun>& run = Sheet().lastRun;
  const std::span<const CycleResult> cycles = CyclesOf(Sheet().model.cycleResults);
  if (!run || cycles.empty()) return;
  keptTitle_ = RunTitle(run->settings, run->outcome.seed);
  plot_.SetKept(cycles, QStringLiteral("Kept run (seed %1)").arg(run->outcome.seed));
  ShowKeptState();
}

void CPagePlot::OnClearKept() {
  plot_.SetKept({}, QString());
  keptTitle_.clear();
  ShowKeptState();
}

void CPagePlot::ReportFileProblem(const QString& caption, const QString& path, const QString& reason) {
  CurrentPrompts().Message(Window(), {QStringLiteral("\"%1\" could not be written:\n%2.\nAny earlier file there is "
                                                     "unchanged.")
                                          .arg(path, reason),
                                      caption, MessageIcon::Warning, MessageButtons::Ok});
}

void CPagePlot::OnSavePicture() {
  auto* sizeEdit = qobject_cast<QLineEdit*>(GetDlgItem(kPictureSize));
  PictureSize size;
  if (sizeEdit) {
    if (std::optional<std::string> problem = ParsePictureSize(sizeEdit->text().toStdString(), size)) {
      CurrentPrompts().Message(Window(), {QString::fromStdString(*problem) + QLatin1Char('.'),
                                          QStringLiteral("Invalid data"), MessageIcon::Stop, MessageButtons::Ok});
      FocusAndSelect(kPictureSize);
      return;
    }
  }
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg|"),
                           QStringLiteral("png"), QStringLiteral("cycles.png")));
  if (!path) return;
  // The run above its analysis, each on lines of its own.
  const QString analysis = fit_ ? fit_->line
                                : QString::fromStdString(AnalysisLine(AnalyseCycles(PublishedCycles(Sheet().model))));
  const QString title = plot_.Title().isEmpty() ? analysis : plot_.Title() + QLatin1Char('\n') + analysis;
  const QString failure = plot_.SavePicture(*path, QSize(size.width, size.height), title);
  if (!failure.isEmpty()) ReportFileProblem(QStringLiteral("Picture not saved"), *path, failure);
}

void CPagePlot::OnExportCsv() {
  const CSheet& sheet = Sheet();
  if (!sheet.lastRun) return;
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*|"), QStringLiteral("csv"),
                           QStringLiteral("cycles.csv")));
  if (!path) return;
  // The CSV and its record hold count x 100 / palms, and the record's analysis is of those.
  const std::vector<CycleResult> cycles = PublishedCycles(sheet.model);
  const std::filesystem::path table = PathFromUtf8(path->toStdString());
  if (auto failed = ReplaceFileWith(table, [&](std::ostream& out) { WriteResultsCsv(cycles, out); })) {
    ReportFileProblem(QStringLiteral("CSV not saved"), *path, QString::fromStdString(failed->code.message()));
    return;
  }
  const std::filesystem::path record = RecordPathBeside(table);
  const std::string json = RunRecordJson(RecordOfRun(sheet.lastRun->settings, sheet.lastRun->outcome, cycles));
  if (std::optional<FileError> error = ReplaceFileContents(record, json)) {
    ReportFileProblem(QStringLiteral("Record not saved"), QString::fromStdString(PathToUtf8(record)),
                      QString::fromStdString(FileErrorText(*error)));
  }
}

}  // namespace varnolt
