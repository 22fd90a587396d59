// The Experiments page's results: the grid and the chart of the experiment
// last completed, and what Export CSV, Save picture and Copy make of them.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>

#include "app/ExperimentsPage.h"
#include "app/Sheet.h"
#include "platform/FileError.h"
#include "platform/FileIO.h"
#include "platform/Prompts.h"


namespace varnolt {

using namespace control;
using namespace experiments_page;

namespace {

const PictureSize SavedPictureSize{1600, 900};

// The number a cell starts with ("28.34 ± 0.06", "21 to 23"), if any.
std::optional<double> LeadingNumber(const QString& text) {
  const QString first = text.section(QLatin1Char(' '), 0, 0);
  bool ok = false;
  const double value = first.toDouble(&ok);
  return ok ? std::optional<double>(value) : std::nullopt;
}

// Rows sort by number where both cells start with one, else by text; a cell
// with no value ("-") goes after every number.
int CompareCells(const CGridCellBase* a, const CGridCellBase* b, std::intptr_t) {
  const QString left = a != nullptr ? a->GetText() : QString(), right = b != nullptr ? b->GetText() : QString();
  const std::optional<double> x = LeadingNumber(left), y = LeadingNumber(right);
  if (x && y) return *x < *y ? -1 : *x > *y ? 1 : 0;
  if (x || y) return x ? -1 : 1;
  return left.compare(right);
}

}  // namespace

void CPageExperiments::ShowResults() {
  grid_.RemoveAllCells();
  const bool any = results_ != nullptr;
  const int columns = any ? static_cast<int>(results_->header.size()) : 1;
  const int rows = any ? static_cast<int>(results_->rows.size()) + 1 : 1;
  grid_.SetRowTotal(rows);
  grid_.SetColumnTotal(columns);
  grid_.SetHeaderRowTotal(1);
  grid_.SetHeaderColumnTotal(any ? 1 : 0);
  const auto put = [this](int row, int column, const QString& text) {
    grid_.PutCellText(row, column, text);
    grid_.PutCellState(row, column, grid_.CellStateAt(row, column) | CellStateReadOnly);
  };
  if (!any) {
    put(0, 0, QStringLiteral("Results"));
  } else {
    for (int column = 0; column < columns; ++column) put(0, column, results_->header[column]);
    for (int row = 1; row < rows; ++row) {
      const QStringList& cells = results_->rows[static_cast<std::size_t>(row - 1)];
      for (int column = 0; column < columns && column < cells.size(); ++column) put(row, column, cells[column]);
    }
    for (int column = 0; column < columns; ++column) grid_.FitColumnToText(column);
    // A click on a column's header sorts the rows by it, again the other way.
    grid_.SetSortOnHeaderClick(true);
    grid_.SetCompareFunction(&CompareCells);
  }
  if (!any) grid_.FitColumnsToClient(true);
  grid_.update();

  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  if (choice != nullptr) {
    choice->clear();
    if (any) {
      for (const std::string& name : results_->chartNames) choice->addItem(Text(name));
    }
  }
  for (int id : {kExportTable, kSaveChart, kCopyTable, kCopyCommand, kChartChoice}) EnableControl(id, any);
  EnableControl(kUseFitted, any && !results_->fitted.empty());
  if (QWidget* plan = GetDlgItem(kPlan)) plan->setToolTip(any ? results_->details : QString());
  ShowChart();
}

void CPageExperiments::ShowChart() {
  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  const int index = choice != nullptr ? choice->currentIndex() : -1;
  if (!results_ || index < 0 || static_cast<std::size_t>(index) >= results_->chartNames.size()) {
    chart_->SetDrawing({}, QStringLiteral("Run an experiment: its chart shows here."));
    return;
  }
  const auto i = static_cast<std::size_t>(index);
  chart_->SetDrawing([this, i](PictureSize size, std::string& bytes) {
    // Titles on the page are shorter than on saved pictures: the page names its run above.
    return PictureBytes([&](const std::filesystem::path& path) { return WriteChart(i, path, size, results_->chartNames[i], true); },
                        PictureFormat::Png, bytes);
  });
}

std::optional<std::string> CPageExperiments::WriteChart(std::size_t chart, const std::filesystem::path& path,
                                                        PictureSize size, const std::string& title,
                                                        bool onPage) const {
  if (results_->fit) {
    // Chart 0 is the census over the fit (with the residuals beneath when saved), 1 the residuals.
    FitPicture picture = *results_->fit;
    picture.title = title;
    picture.residualsOnly = chart == 1;
    if (onPage && chart == 0) picture.residuals = {};
    return WriteFitPicture(picture, path, size);
  }
  if (!results_->settingPlots.empty()) return WriteSettingPicture(results_->settingPlots[chart], path, size, title);
  if (!results_->heatMaps.empty()) return WriteHeatMapPicture(results_->heatMaps[chart], path, size, title);
  return WriteMorrisPicture({results_->morris[chart]}, path, size, title);
}

std::string CPageExperiments::ResultsCsv() const { return results_ ? results_->csv : std::string(); }

void CPageExperiments::ReportFileProblem(const QString& caption, const QString& path, const QString& reason) {
  CurrentPrompts().Message(Window(), {QStringLiteral("\"%1\" could not be written:\n%2.\nAny earlier file there is "
                                                     "unchanged.")
                                          .arg(path, reason),
                                      caption, MessageIcon::Warning, MessageButtons::Ok});
}

void CPageExperiments::OnExportCsv() {
  if (!results_) return;
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("CSV files (*.csv)|*.csv|All files (*.*)|*.*|"), QStringLiteral("csv"),
                           results_->csvName));
  if (!path) return;
  if (std::optional<FileError> error = ReplaceFileContents(PathFromUtf8(path->toStdString()), results_->csv)) {
    ReportFileProblem(QStringLiteral("CSV not saved"), *path, Text(FileErrorText(*error)));
  }
}

void CPageExperiments::OnSavePicture() {
  auto* choice = qobject_cast<QComboBox*>(GetDlgItem(kChartChoice));
  if (!results_ || choice == nullptr || choice->currentIndex() < 0) return;
  const auto i = static_cast<std::size_t>(choice->currentIndex());
  const std::optional<QString> path = CurrentPrompts().ChooseFile(
      Window(), SaveFileRequest(QStringLiteral("PNG picture (*.png)|*.png|SVG picture (*.svg)|*.svg|"), QStringLiteral("png"),
                           Text(results_->chartNames[i]) + QStringLiteral(".png")));
  if (!path) return;
  const std::filesystem::path target = PathFromUtf8(path->toStdString());
  if (std::optional<std::string> failure = WriteChart(i, target, SavedPictureSize, results_->titles[i])) {
    ReportFileProblem(QStringLiteral("Picture not saved"), *path, Text(*failure));
  }
}

void CPageExperiments::OnEarlierChosen() {
  auto* shown = qobject_cast<QComboBox*>(GetDlgItem(kShownExperiment));
  const int index = shown != nullptr ? shown->currentIndex() : -1;
  if (index < 0 || static_cast<std::size_t>(index) >= history_.size()) return;
  results_ = history_[static_cast<std::size_t>(index)].get();
  status_ = results_->summary;
  ShowResults();
  UpdatePlan();
}

void CPageExperiments::OnCopyCommandLine() {
  if (results_) QGuiApplication::clipboard()->setText(Text(results_->commandLine));
}

void CPageExperiments::OnCopy() {
  if (!results_) return;
  const auto line = [](const std::vector<std::string>& cells) {
    QStringList texts;
    for (const std::string& cell : cells) texts << Text(cell).simplified();
    return texts.join(QLatin1Char('\t')) + QLatin1Char('\n');
  };
  QString text = line(results_->numberHeader);
  for (const std::vector<std::string>& row : results_->numberRows) text += line(row);
  QGuiApplication::clipboard()->setText(text);
}

}  // namespace varnolt
