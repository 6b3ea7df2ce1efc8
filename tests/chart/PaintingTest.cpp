#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ChartFixture.h"
#include "ShowAllSeries.h"
#include "chart/RtAxisPainter.h"
#include "chart/RtGraph2D.h"
#include "common/Regional.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {
namespace {

using test::kSecond;

// How the samples of a run are spaced in time.
enum class Spacing {
  Even,  // every 5 s
  // Every 5 s, but 1000 samples 15 minutes apart after sample 60,000 and
  // six hours without samples after samples 120,000 and 150,000.
  SlowStretchAndGaps,
};

// The main window's chart on a widget of the main window's size, filled
// with a furnace-like run.
struct PaintedChart {
  TRtGraph2D graph;
  std::unique_ptr<TStandaloneChart> chart = std::make_unique<TStandaloneChart>(graph, TRegionalSettings{});
  PaintedChart(int width, int height, int samples, Spacing spacing = Spacing::Even) {
    graph.resize(width, height);
    const double start = 45600.0 + 8.0 / 24;
    chart->XAxis1.SetStart(start - 30 * kSecond);
    chart->XAxis1.SetStop(start);
    ShowAllSeries(*chart);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 1.5);
    double temperature = 20;
    for (int i = 0; i < samples; ++i) {
      const double hours = i * 5.0 / 3600;
      const double target = 600 + 400 * std::sin(hours / 20);
      temperature += 0.02 * (target - temperature) + noise(rng) * 0.3;
      const double measured = temperature + noise(rng);
      const double output = std::clamp(50 + (target - temperature) * 2 + noise(rng), 0.0, 100.0);
      double seconds = i * 5.0;
      if (spacing == Spacing::SlowStretchAndGaps) {
        if (i > 60000) seconds += std::min(i - 60000, 1000) * 895.0;
        if (i > 120000) seconds += 6 * 3600;
        if (i > 150000) seconds += 6 * 3600;
      }
      chart->AddSample(start + seconds * kSecond, measured, std::round(target / 50) * 50, std::round(target), output);
    }
  }
};

TEST(RtGraph2D, SavedPngAndBmpAreTheChartLessTheScrollBarOnWhite) {
  PaintedChart p(700, 320, 500);
  const QSize expected(700 - p.graph.VerticalScrollBarWidth(), 320);
  ASSERT_GT(p.graph.VerticalScrollBarWidth(), 0);
  QTemporaryDir dir;
  struct Case {
    TRtImageFileFormat format;
    const char* file;
  } cases[] = {{TRtImageFileFormat::PNG, "chart.png"}, {TRtImageFileFormat::BMP, "chart.bmp"}};
  for (const auto& c : cases) {
    const QString path = dir.filePath(c.file);
    {
      QFile old(path);  // an existing, larger file is replaced
      ASSERT_TRUE(old.open(QIODevice::WriteOnly));
      old.write(QByteArray(4 << 20, 'x'));
    }
    p.graph.SaveImage(path, c.format, 0xFFFFFF, true);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_LT(bytes.size(), 4 << 20);
    // 24-bit pixels: PNG colour type 2 at depth 8; BMP 24 bits per pixel.
    if (c.format == TRtImageFileFormat::PNG) {
      EXPECT_EQ(static_cast<int>(bytes[24]), 8);
      EXPECT_EQ(static_cast<int>(bytes[25]), 2);
    } else {
      EXPECT_EQ(bytes.left(2), QByteArray("BM"));
      EXPECT_EQ(static_cast<int>(bytes[28]), 24);
    }
    const QImage image(path);
    ASSERT_FALSE(image.isNull()) << c.file;
    EXPECT_EQ(image.size(), expected) << c.file;
    EXPECT_FALSE(image.hasAlphaChannel());
    for (const QPoint corner : {QPoint(0, 0), QPoint(expected.width() - 1, 0), QPoint(expected.width() / 2, 2)})
      EXPECT_EQ(image.pixel(corner), qRgb(255, 255, 255)) << c.file;
    // Something was drawn: the temperature's red.
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (image.pixel(x, y) == qRgb(255, 0, 0)) ++red;
    EXPECT_GT(red, 100) << c.file;
  }
}

TEST(RtGraph2D, UnwritableFileOrFormatRaises) {
  PaintedChart p(300, 200, 10);
  QTemporaryDir dir;
  // Formats the program does not write (Icon would be a thumbnail).
  for (const auto& [format, file] :
       {std::pair{TRtImageFileFormat::EMF, "chart.emf"}, std::pair{TRtImageFileFormat::Icon, "chart.ico"}}) {
    const QString path = dir.filePath(file);
    EXPECT_THROW(p.graph.SaveImage(path, format, 0xFFFFFF, true), ERtImageError) << file;
    EXPECT_FALSE(QFile::exists(path)) << file;
  }
  EXPECT_THROW(p.graph.SaveImage(dir.filePath("missing/folder/chart.png"), TRtImageFileFormat::PNG, 0xFFFFFF, true),
               ERtImageError);
  // Transparency kept: 32-bit, transparent where nothing is drawn.
  p.graph.BackColor = 0xFFFFFF;
  const QImage transparent = p.graph.RenderImage(0xFFFFFF, false);
  EXPECT_TRUE(transparent.hasAlphaChannel());
}

TEST(RtGraph2D, LegendIsDraggedWithTheLeftButton) {
  PaintedChart p(900, 400, 100);
  (void)p.graph.RenderImage(0xFFFFFF, true);  // lays the legend out
  const double left = p.chart->Legend1.Left, top = p.chart->Legend1.Top;
  const QPointF grab(p.graph.VerticalScrollBarWidth() + left + 10, top + 10);
  auto send = [&](QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, p.graph.mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&p.graph, &e);
  };
  send(QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, grab + QPointF(60, 25), Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, grab + QPointF(60, 25), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(p.chart->Legend1.Left, left + 60);
  EXPECT_EQ(p.chart->Legend1.Top, top + 25);
  // The right button does not drag.
  send(QEvent::MouseButtonPress, grab + QPointF(60, 25), Qt::RightButton, Qt::RightButton);
  send(QEvent::MouseMove, grab + QPointF(100, 25), Qt::NoButton, Qt::RightButton);
  EXPECT_EQ(p.chart->Legend1.Left, left + 60);
}

// The chart as PaintChart draws it into a 32-bit image with `ratio` device
// pixels per pixel.
QImage Render(TRtGraph2D& graph, TRtPointReduction reduction, double ratio) {
  graph.SetPointReduction(reduction);
  const QSize size = graph.ImageSize();
  QImage image((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::white);
  QPainter p(&image);
  graph.PaintChart(p, size);
  p.end();
  graph.SetPointReduction(TRtPointReduction::Auto);
  return image;
}

int Difference(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The reduced drawing against the exact one, 200,000 samples per series,
// four series, the main window's chart size.
//
// The exact drawing of dense noise is not reproducible pixel for pixel: a
// one-pixel pen blends each of the ~140 segments per pixel column on its
// own, in 8-bit steps, so the shades inside and beside the working-output
// band vary by a few levels with the number and places of the strokes that
// cross each pixel; and the 3 px pen's outline is filled with its overlaps
// counted. The reduction keeps a few values per quarter column, so its
// anti-aliased edges come out a little lighter or darker: most pixels of
// the bands differ slightly (reported, not bounded). What must hold:
// - under 0.5 % of the pixels differ by more than 64 of 255, a quarter of
//   the contrast of any line on the white ground (143 .. 255): a stroke
//   that is missing, shifted or of the wrong width changes far more;
// - no run of pixels differs by more than half the contrast (128) over
//   more than 8 pixels down or 3 across: a missing spike, a lost segment
//   or column leaves such a run. (At anti-aliased edges the longest runs
//   seen are 4 down, at steep strokes, and 1 across.)
TEST(RtGraph2D, ReducedDrawingLooksLikeTheExactOne) {
  struct Case {
    const char* name;
    Spacing spacing;
    double ratio;
  } cases[] = {
      {"dense", Spacing::Even, 1.0},
      {"gaps", Spacing::SlowStretchAndGaps, 1.0},
      {"dense, two device pixels per pixel", Spacing::Even, 2.0},
  };
  for (const Case& c : cases) {
    PaintedChart p(1484, 474, 200000, c.spacing);
    const QImage exact = Render(p.graph, TRtPointReduction::Exact, c.ratio);
    const QImage reduced = Render(p.graph, TRtPointReduction::Auto, c.ratio);
    ASSERT_EQ(exact.size(), reduced.size());
    if (const char* dump = std::getenv("KARVO_CHART_DUMP")) {
      const QString name = QString::fromLocal8Bit(dump) + "/" + QString::fromLatin1(c.name).replace(' ', '-');
      exact.save(name + "-exact.png");
      reduced.save(name + "-reduced.png");
    }
    long differing = 0, clearly = 0;
    int longestRow = 0, longestColumn = 0;
    std::vector<int> down(static_cast<std::size_t>(exact.width()), 0);
    for (int y = 0; y < exact.height(); ++y) {
      int across = 0;
      for (int x = 0; x < exact.width(); ++x) {
        const int d = Difference(exact.pixel(x, y), reduced.pixel(x, y));
        if (d > 0) ++differing;
        if (d > 64) ++clearly;
        int& run = down[static_cast<std::size_t>(x)];
        across = d > 128 ? across + 1 : 0;
        run = d > 128 ? run + 1 : 0;
        longestRow = std::max(longestRow, across);
        longestColumn = std::max(longestColumn, run);
      }
    }
    const double total = static_cast<double>(exact.width()) * exact.height();
    const double share = 100.0 * static_cast<double>(differing) / total;
    const double clearShare = 100.0 * static_cast<double>(clearly) / total;
    std::printf(
        "reduced vs exact drawing (%s): %.3f %% of pixels differ, %.3f %% by more than 64 of 255; "
        "longest run of differences over 128: %d across, %d down\n",
        c.name, share, clearShare, longestRow, longestColumn);
    RecordProperty(std::string(c.name) + " differing_pixel_percent", std::to_string(share));
    EXPECT_LT(clearShare, 0.5) << c.name;
    EXPECT_LE(longestRow, 3) << c.name;
    EXPECT_LE(longestColumn, 8) << c.name;
  }
}

// The widget shows the picture RenderImage draws (painted through an
// image of its own, where series are written pixel by pixel).
TEST(RtGraph2D, TheWidgetShowsWhatRenderImageDraws) {
  PaintedChart p(900, 400, 50000);
  const QImage drawn = p.graph.RenderImage(0xFFFFFF, true);
  const QImage shown = p.graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const int strip = p.graph.VerticalScrollBarWidth();
  ASSERT_EQ(shown.size(), QSize(900, 400));
  EXPECT_EQ(shown.copy(strip, 0, 900 - strip, 400), drawn.convertToFormat(QImage::Format_RGB32));
}

// Red pixels of the temperature line in each column of an image.
std::vector<int> RedPerColumn(const QImage& image) {
  std::vector<int> red(static_cast<std::size_t>(image.width()), 0);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb c = image.pixel(x, y);
      if (qRed(c) > 200 && qGreen(c) < 90 && qBlue(c) < 90) ++red[static_cast<std::size_t>(x)];
    }
  return red;
}

// Values that are not numbers, or absurdly large, from a careless source.
TEST(RtGraph2D, HostileValuesLeaveTheRestOfTheChartVisible) {
  struct Case {
    const char* name;
    int at;
    double time, temperature;  // NaN: keep the run's value
  };
  const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"infinite temperature", 300, nan, inf},          {"temperature not a number", 300, nan, nan},
      {"infinite time stamp", 300, inf, nan},           {"time stamp not a number", 300, nan * 0, nan},
      {"float register error value", 300, nan, 3.4e38}, {"1e300", 300, nan, 1e300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PaintedChart p(900, 400, 600);
    // Rewrite one sample by rebuilding the vectors with it changed.
    std::vector<double> t, v, setpoint, working, output;
    for (int i = 0; i < 600; ++i) {
      t.push_back(p.chart->RtDoubleVectorTime[i]);
      v.push_back(p.chart->RtDoubleVectorTemperature[i]);
      setpoint.push_back(p.chart->RtDoubleVectorSetpoint[i]);
      working.push_back(p.chart->RtDoubleVectorWorkingSetpoint[i]);
      output.push_back(p.chart->RtDoubleVectorWorkingOutput[i]);
    }
    if (c.name == std::string("time stamp not a number")) t[c.at] = nan;
    if (!std::isnan(c.time)) t[c.at] = c.time;
    if (!std::isnan(c.temperature) || c.name == std::string("temperature not a number")) v[c.at] = c.temperature;
    p.chart->Legend1.SetVisible(false);  // the line only
    p.chart->Clear();
    for (std::size_t i = 0; i < 600; ++i) p.chart->AddSample(t[i], v[i], setpoint[i], working[i], output[i]);
    const QImage image = p.graph.RenderImage(0xFFFFFF, true);
    // The axes stay finite and the data area wide: labels are compact.
    for (const TRtAxis* a : {&p.chart->XAxis1, &p.chart->YAxis1}) {
      EXPECT_TRUE(std::isfinite(a->Start()) && std::isfinite(a->Stop()));
      for (const TRtTick& tick : a->Ticks()) EXPECT_LE(Utf8Length(tick.label), 12u) << tick.label;
    }
    EXPECT_GT(p.graph.DataArea().width(), 0.7 * image.width());
    const bool huge = c.temperature > 1e30;
    if (huge) continue;  // the other samples then lie on one row at the bottom
    // The temperature shows across the run, but for a column or two.
    const std::vector<int> red = RedPerColumn(image);
    const QRectF d = p.graph.DataArea();
    int columnsWithRed = 0;
    for (int x = static_cast<int>(d.left()) + 2; x < static_cast<int>(d.right()) - 2; ++x)
      columnsWithRed += red[static_cast<std::size_t>(x)] > 0 ? 1 : 0;
    EXPECT_GT(columnsWithRed, 0.9 * (d.width() - 4));
  }
}

// The clock set back an hour in the middle of a run: each stretch is drawn
// on its own, no line goes back across the chart, no area fills between.
TEST(RtGraph2D, TimeGoingBackDrawsNoStrokeBack) {
  for (const int samples : {600, 60000}) {  // exact polylines, and bands
    SCOPED_TRACE(samples);
    TRtGraph2D graph;
    graph.resize(900, 400);
    auto chart = std::make_unique<TStandaloneChart>(graph, TRegionalSettings{});
    ShowAllSeries(*chart);
    chart->Legend1.SetVisible(false);
    const double start = 45600.0, step = 4.0 / 24 / samples;  // two runs of four hours
    for (int i = 0; i < 2 * samples; ++i) {
      const bool second = i >= samples;
      // The first run flat at 100, the second (an hour back) at 200.
      chart->AddSample(start + (second ? i - samples + samples / 4 : i) * step, second ? 200 : 100, 150, 150,
                       second ? 80 : 20);
    }
    const QImage image = graph.RenderImage(0xFFFFFF, true);
    const QRectF d = graph.DataArea();
    const TRtPixelMap ym{chart->YAxis1.Start(), chart->YAxis1.Stop(), d.bottom(), d.top()};
    const TRtPixelMap xm{chart->XAxis1.Start(), chart->XAxis1.Stop(), d.left(), d.right()};
    // Between the two lines, over the whole width: no red (a stroke back
    // from the end of the first run to the start of the second would cross).
    const int from = static_cast<int>(ym(190)), to = static_cast<int>(ym(110));
    for (int x = static_cast<int>(d.left()) + 1; x < static_cast<int>(d.right()) - 1; ++x)
      for (int y = from; y <= to; ++y) {
        const QRgb c = image.pixel(x, y);
        ASSERT_FALSE(qRed(c) > 200 && qGreen(c) < 90) << x << ", " << y;
      }
    // After the second run's end, nothing of the second run's area.
    const int after = static_cast<int>(xm(start + 5.0 / 24 + 10 * step)) + 3;
    const TRtPixelMap outputMap{chart->RightAxis1.Start(), chart->RightAxis1.Stop(), d.bottom(), d.top()};
    const int washRow = static_cast<int>(outputMap(50));  // between 20 % and 80 %
    for (int x = after; x < static_cast<int>(d.right()) - 1; ++x)
      EXPECT_EQ(image.pixel(x, washRow), qRgb(255, 255, 255)) << x;
  }
}

TEST(RtGraph2D, ShortChartShortensTheVerticalCaptionsByWords) {
  const QFontMetricsF metrics(QFont(QStringLiteral("Times New Roman"), 14, QFont::Bold));
  const QString caption = QStringLiteral("Working output, % of maximum power");
  const double width = metrics.horizontalAdvance(caption);
  EXPECT_EQ(FitCaption(caption, metrics, width), caption);
  const QString shorter = FitCaption(caption, metrics, width * 0.6);
  EXPECT_TRUE(shorter.endsWith(QChar(0x2026))) << shorter.toStdString();
  EXPECT_TRUE(caption.startsWith(shorter.chopped(1))) << shorter.toStdString();
  EXPECT_TRUE(shorter.chopped(1).back().isLetterOrNumber()) << shorter.toStdString();
  EXPECT_LE(metrics.horizontalAdvance(shorter), width * 0.6);
  // A chart 220 px high still paints (the captions shortened).
  PaintedChart p(900, 220, 100);
  EXPECT_FALSE(p.graph.RenderImage(0xFFFFFF, true).isNull());
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
