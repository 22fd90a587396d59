// Pictures of the window for the guide: every page at the window's opening
// size, then the pages after a run, a sweep, a screening and a fit. Run under a
// display (xvfb-run) with the folder to write into; QT_SCALE_FACTOR=2 gives the
// same at twice the scale. The answers to boxes are scripted, so nothing waits.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <cstdio>

#include "app/Sheet.h"
#include "platform/RecordingPrompts.h"

using namespace varnolt;
using namespace varnolt::control;

namespace {

void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(30);
  }
}

void Save(QWidget& window, const QString& folder, const QString& name) {
  Settle();
  const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
  if (!window.grab().save(path)) std::fprintf(stderr, "could not write %s\n", qPrintable(path));
}

void Type(CPropertyPage& page, int id, const QString& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(page.GetDlgItem(id))) {
    edit->setText(text);
    emit edit->textEdited(text);
  }
}

void Choose(CPropertyPage& page, int id, const QString& line) {
  if (auto* combo = qobject_cast<QComboBox*>(page.GetDlgItem(id))) {
    const int index = combo->findText(line);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
}

QString PageName(const CSheet& sheet, int index) {
  QString name = sheet.GetPage(index)->Template().caption;
  return name.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("VARNOLT"));
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_screenshots FOLDER [CENSUS.csv]\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  RecordingPrompts prompts;
  ScopedPrompts scope(prompts);
  CSheet sheet;
  sheet.seedSource = [] { return 1765170000u; };
  sheet.Create();
  sheet.show();
  // VARNOLT_SHOT_SIZE=WxH looks at another size than the window's own.
  const QStringList size = qEnvironmentVariable("VARNOLT_SHOT_SIZE").split(QLatin1Char('x'));
  if (size.size() == 2) sheet.resize(size[0].toInt(), size[1].toInt());
  Settle();
  std::printf("opening size %d x %d (minimum %d x %d)\n", sheet.width(), sheet.height(), sheet.minimumSizeHint().width(),
              sheet.minimumSizeHint().height());
  for (int index = 0; index < sheet.GetPageCount(); ++index) {
    sheet.SetActivePage(index);
    Save(sheet, folder, QStringLiteral("page-%1-%2").arg(index + 1, 2, 10, QLatin1Char('0')).arg(PageName(sheet, index)));
  }

  // A run of 300 cycles, then its pages.
  sheet.SetActivePage(&sheet.pageNum);
  Type(sheet.pageNum, kCycleCount, QStringLiteral("300"));
  Type(sheet.pageNum, kPalmCount, QStringLiteral("200"));
  Type(sheet.pageOutput, kOutputPath, QDir(folder).filePath(QStringLiteral("report.dat")));
  sheet.SetActivePage(&sheet.pageResults);
  sheet.pageResults.OnRun();
  Save(sheet, folder, QStringLiteral("after-run"));
  sheet.SetActivePage(&sheet.pagePlot);
  sheet.pagePlot.OnKeepRun();
  sheet.pageResults.OnRun();
  sheet.SetActivePage(&sheet.pagePlot);
  Save(sheet, folder, QStringLiteral("after-run-plot-kept"));

  CPageExperiments& experiments = sheet.pageExperiments;
  sheet.SetActivePage(&experiments);
  Choose(experiments, kSettingList, QStringLiteral("femaleThreshold"));
  Type(experiments, kReplicates, QStringLiteral("3"));
  Type(experiments, kExperimentSeed, QStringLiteral("7"));
  Save(sheet, folder, QStringLiteral("sweep-plan"));
  experiments.OnRun();
  Save(sheet, folder, QStringLiteral("sweep"));

  Choose(experiments, kExperimentKind, QStringLiteral("Screening (Morris)"));
  Choose(experiments, SettingRowControl(1, 0), QStringLiteral("maleThreshold"));
  Choose(experiments, SettingRowControl(2, 0), QStringLiteral("abortThreshold"));
  Choose(experiments, SettingRowControl(3, 0), QStringLiteral("randomPercent"));
  experiments.OnRun();
  Save(sheet, folder, QStringLiteral("screening"));

  if (argc > 2) {
    Choose(experiments, kExperimentKind, QStringLiteral("Fit to a census"));
    experiments.OpenCensus(QString::fromLocal8Bit(argv[2]));
    Choose(experiments, SettingRowControl(0, 0), QStringLiteral("maleThreshold"));
    Type(experiments, SettingRowControl(0, 1), QStringLiteral("19"));
    Type(experiments, SettingRowControl(0, 2), QStringLiteral("23"));
    Choose(experiments, SettingRowControl(1, 0), QStringLiteral("abortThreshold"));
    Type(experiments, SettingRowControl(1, 1), QStringLiteral("22"));
    Type(experiments, SettingRowControl(1, 2), QStringLiteral("26"));
    Choose(experiments, SettingRowControl(2, 0), QStringLiteral("(none)"));
    Choose(experiments, SettingRowControl(3, 0), QStringLiteral("(none)"));
    Type(experiments, kExperimentSeed, QStringLiteral("3"));
    experiments.OnRun();
    Save(sheet, folder, QStringLiteral("fit"));
    Choose(experiments, kChartChoice, QStringLiteral("residuals of the best fit"));
    Save(sheet, folder, QStringLiteral("fit-residuals"));
    Choose(experiments, kChartChoice, QStringLiteral("census and best fit"));
    sheet.SetActivePage(&sheet.pagePlot);
    Save(sheet, folder, QStringLiteral("fit-plot"));
  }
  for (const QString& text : prompts.MessageTexts()) std::printf("box: %s\n", qPrintable(text.simplified()));
  return 0;
}
