#include "plot/CyclePlot.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSvgRenderer>
#include <QTest>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "plot/PlotPicture.h"
#include "tests/support/ScratchFolder.h"

namespace varnolt {

namespace {

std::vector<CycleResult> Wave(int count) {
  std::vector<CycleResult> cycles;
  for (int c = 1; c <= count; ++c) {
    const double f = 40 + 30 * std::sin(c / 7.0);
    cycles.push_back({f, 0.5, 20, 79.5 - f, 100});
  }
  return cycles;
}

}  // namespace

TEST(DecimatedPoints, KeepsEveryExtremeOfALongRunAndAllOfAShortOne) {
  std::vector<CycleResult> cycles = Wave(100001);
  cycles[54321].female = 99.5;  // a one-cycle spike must survive
  cycles[7].female = -1;
  const std::vector<QPointF> points = DecimatedPoints(cycles, &CycleResult::female, 1, 100001, 500);
  EXPECT_LE(points.size(), 2u * 502);
  EXPECT_GE(points.size(), 500u);
  EXPECT_TRUE(std::is_sorted(points.begin(), points.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
  EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](QPointF p) { return p.x() == 54322 && p.y() == 99.5; }));
  EXPECT_TRUE(std::any_of(points.begin(), points.end(), [](QPointF p) { return p.x() == 8 && p.y() == -1; }));

  // Zoomed in to a few cycles, every point shows, from the one before to the one after.
  const std::vector<QPointF> close = DecimatedPoints(cycles, &CycleResult::female, 100.5, 110.2, 500);
  ASSERT_EQ(close.size(), 12u);
  EXPECT_EQ(close.front().x(), 100);
  EXPECT_EQ(close.back().x(), 111);
  EXPECT_TRUE(DecimatedPoints({}, &CycleResult::female, 1, 2, 10).empty());
}

TEST(CyclePlotView, PlotsFourSeriesReadsOutAndZooms) {
  CyclePlotView view;
  view.resize(800, 500);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.SetCycles(Wave(100001));
  QCoreApplication::processEvents();
  ASSERT_EQ(view.Series().size(), 4u);
  EXPECT_EQ(view.Series()[0]->name(), "Female");
  EXPECT_EQ(view.Series()[3]->name(), "Aborted");
  for (QLineSeries* series : view.Series()) {
    EXPECT_LE(series->count(), 2 * 800 + 4);
    EXPECT_GT(series->count(), 100);
  }
  EXPECT_EQ(view.VisibleFirst(), 1);
  EXPECT_EQ(view.VisibleLast(), 100001);

  const QRectF area = view.chart()->plotArea();
  const QPoint middle = view.mapFromScene(view.chart()->mapToScene(area.center()));
  const QString readout = view.ReadoutAt(middle);
  EXPECT_TRUE(readout.contains(QRegularExpression("^Cycle 500[0-9][0-9]: female [0-9.]+ %, hermaphrodite 0.5 %, "
                                                  "male 20 %, aborted [0-9.]+ %$")))
      << readout.toStdString();
  EXPECT_TRUE(view.ReadoutAt(QPoint(1, 1)).isEmpty());

  // Drag a rectangle over the left tenth of the plot: the view zooms in there.
  const QPoint from = view.mapFromScene(view.chart()->mapToScene(area.topLeft() + QPointF(2, 2)));
  const QPoint to = view.mapFromScene(view.chart()->mapToScene(
      QPointF(area.left() + area.width() / 10, area.bottom() - 2)));
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, from);
  QTest::mouseMove(view.viewport(), (from + to) / 2);
  QTest::mouseMove(view.viewport(), to);
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, to);
  EXPECT_LT(view.VisibleLast(), 12000);
  EXPECT_GT(view.Series()[0]->at(1).x() - view.Series()[0]->at(0).x(), 0);

  QTest::keyClick(&view, Qt::Key_Right);
  const double panned = view.VisibleFirst();
  EXPECT_GT(panned, 1);
  QTest::keyClick(&view, Qt::Key_Home);
  EXPECT_EQ(view.VisibleFirst(), 1);
  EXPECT_EQ(view.VisibleLast(), 100001);

  // A legend entry hides its series and shows it again.
  QLegendMarker* male = view.chart()->legend()->markers(view.Series()[2]).front();
  emit male->clicked();
  EXPECT_FALSE(view.Series()[2]->isVisible());
  EXPECT_TRUE(male->isVisible());
  emit male->clicked();
  EXPECT_TRUE(view.Series()[2]->isVisible());
}

TEST(CyclePlotView, ZoomedAxesKeepRoundTicks) {
  EXPECT_EQ(RoundTickStep(0, 100, 6, 0.01), 20);
  EXPECT_EQ(RoundTickStep(26.4, 81.3, 6, 0.01), 10);
  EXPECT_DOUBLE_EQ(RoundTickStep(30.2, 31.0, 6, 0.01), 0.2);
  EXPECT_EQ(RoundTickStep(1, 770, 8, 1), 100);
  EXPECT_EQ(RoundTickStep(5, 9, 8, 1), 1);  // never a fraction of a cycle

  CyclePlotView view;
  view.resize(800, 500);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.SetCycles(Wave(770));
  QCoreApplication::processEvents();
  QValueAxis* y = nullptr;
  for (QAbstractAxis* axis : view.chart()->axes(Qt::Vertical)) y = qobject_cast<QValueAxis*>(axis);
  ASSERT_NE(y, nullptr);
  EXPECT_EQ(y->tickType(), QValueAxis::TicksDynamic);
  EXPECT_EQ(y->tickInterval(), 20);
  // A rectangle dragged from 32 % to 77 % and a little more: ticks every 10 %
  // counted from 0, not the range split in five (32, 43, 54, 66, 77).
  const QRectF area = view.chart()->plotArea();
  const auto at = [&](double cycle, double percent) {
    return view.mapFromScene(view.chart()->mapToScene(view.chart()->mapToPosition(QPointF(cycle, percent))));
  };
  QTest::mousePress(view.viewport(), Qt::LeftButton, {}, at(100, 77.3));
  QTest::mouseMove(view.viewport(), at(200, 50));
  QTest::mouseMove(view.viewport(), at(300, 32.4));
  QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, at(300, 32.4));
  ASSERT_LT(y->max() - y->min(), 60) << area.height();
  EXPECT_EQ(y->tickAnchor(), 0);
  EXPECT_EQ(y->tickInterval(), 10);
  EXPECT_EQ(y->labelFormat(), "%.0f");
  // Deep in: tenths, shown with their decimal.
  y->setRange(30.2, 31.0);
  EXPECT_DOUBLE_EQ(y->tickInterval(), 0.2);
  EXPECT_EQ(y->labelFormat(), "%.1f");
}

TEST(PlotPicture, ALongTitleWrapsAtSpacesInsteadOfLosingItsEnd) {
  const QString title = QStringLiteral("Period 21 cycles (strength 0.83); mean female 45.3 %, hermaphrodite 5.3 %, "
                                       "male 40.1 %, aborted 9.3 % over cycles 101 to 770 <&>");
  const QFont font;
  const QStringList lines = TitleLines(title, font, 300);
  ASSERT_GT(lines.size(), 1);
  EXPECT_EQ(lines.join(' '), title);  // every break at a space, no word cut
  for (const QString& line : lines) EXPECT_LE(QFontMetricsF(font).horizontalAdvance(line), 300) << line.toStdString();
  EXPECT_EQ(TitleLines(QStringLiteral("short"), font, 300), QStringList{"short"});
  EXPECT_EQ(TitleLines(QStringLiteral("unbreakable"), font, 5), QStringList{"unbreakable"});

  // An 800 x 400 picture shows it on two lines of text above the plot, where
  // one line would have lost its end.
  ScratchFolder folder("varnolt-plot-title");
  CyclePlotView view;
  view.SetCycles(Wave(770));
  const QString path = QString::fromStdString(folder.In("titled.png").string());
  ASSERT_EQ(view.SavePicture(path, QSize(800, 400), title), QString());
  const QImage picture(path);
  ASSERT_EQ(picture.size(), QSize(800, 400));
  // Rows above the plot holding dark text, left of the y axis' labels excepted:
  // one line of the title gives a dozen, two lines twice as many.
  const auto darkRow = [&](int y) {
    for (int x = 60; x < 800; ++x) {
      const QColor colour = picture.pixelColor(x, y);
      if (colour.red() < 110 && colour.green() < 110 && colour.blue() < 110) return true;
    }
    return false;
  };
  int textRows = 0;
  for (int y = 0; y < 46; ++y) textRows += darkRow(y) ? 1 : 0;
  EXPECT_GE(textRows, 20);
}

TEST(PlotPicture, WritesPngAndSvgThatLoadBack) {
  ScratchFolder folder("varnolt-plot");
  const std::vector<CycleResult> cycles = Wave(770);
  ASSERT_EQ(WritePlotPicture(cycles, folder.In("cycles.png"), {}), std::nullopt);
  const QImage png(QString::fromStdString(folder.In("cycles.png").string()));
  EXPECT_EQ(png.size(), QSize(1600, 900));
  // The female line's red shows somewhere in the picture.
  bool red = false;
  for (int y = 0; y < png.height() && !red; y += 2) {
    for (int x = 0; x < png.width() && !red; x += 2) red = png.pixelColor(x, y) == QColor(196, 40, 40);
  }
  EXPECT_TRUE(red);

  ASSERT_EQ(WritePlotPicture(cycles, folder.In("cycles.SVG"), {640, 480}), std::nullopt);
  QSvgRenderer svg(QString::fromStdString(folder.In("cycles.SVG").string()));
  EXPECT_TRUE(svg.isValid());
  EXPECT_EQ(svg.viewBoxF(), QRectF(0, 0, 640, 480));

  EXPECT_NE(WritePlotPicture(cycles, folder.In("cycles.bmp"), {}), std::nullopt);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"cycles.SVG", "cycles.png"}));

  PictureSize size;
  EXPECT_EQ(ParsePictureSize("1024 x 768", size), std::nullopt);
  EXPECT_EQ(size.width, 1024);
  EXPECT_EQ(size.height, 768);
  EXPECT_NE(ParsePictureSize("1024x", size), std::nullopt);
  EXPECT_NE(ParsePictureSize("99x768", size), std::nullopt);
  EXPECT_NE(ParsePictureSize("20001x768", size), std::nullopt);
  EXPECT_EQ(size.width, 1024);
}

TEST(PlotPicture, ACensusShowsAsPointsOverTheLinesInTheColourOfItsState) {
  ScratchFolder folder("varnolt-plot");
  FitPicture picture;
  picture.cycles = Wave(200);
  // Observed males well above the simulated 20 %, so that their points stand alone.
  for (int c = 10; c <= 190; c += 20) picture.observed[2].push_back({static_cast<double>(c), 80.0});
  picture.title = "Census and best fit";
  ASSERT_EQ(WriteFitPicture(picture, folder.In("fit.png"), {800, 500}), std::nullopt);
  const QImage png(QString::fromStdString(folder.In("fit.png").string()));
  ASSERT_EQ(png.size(), QSize(800, 500));
  // The male points' blue shows in the upper part of the plot, where no line runs.
  int bluish = 0;
  for (int y = 0; y < png.height() / 3; ++y) {
    for (int x = 0; x < png.width(); ++x) {
      const QColor colour = png.pixelColor(x, y);
      bluish += colour.blue() > 150 && colour.red() < 120 ? 1 : 0;
    }
  }
  EXPECT_GT(bluish, 50);

  CyclePlotView view;
  view.SetCycles(picture.cycles);
  CyclePlotView::Observed observed;
  observed[0] = {QPointF(5, 40)};
  view.SetObserved(observed);
  ASSERT_EQ(view.ObservedSeries().size(), 1u);  // a state without points has no entry
  EXPECT_EQ(view.ObservedSeries()[0]->name(), "Female (observed)");
  EXPECT_EQ(view.ObservedSeries()[0]->count(), 1);
  view.SetObserved({});
  EXPECT_TRUE(view.ObservedSeries().empty());
  EXPECT_EQ(view.Series().size(), 4u);
}

}  // namespace varnolt
