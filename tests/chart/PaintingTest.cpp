#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "chart/RtGraph2D.h"
#include "chart/RtMainChart.h"

namespace karvo {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

// The main window's chart on a widget of the main window's size, filled
// with a furnace-like run.
struct PaintedChart {
  TRtGraph2D graph;
  std::unique_ptr<TRtMainChart> chart = BuildMainChart(graph, {});
  PaintedChart(int width, int height, int samples) {
    graph.resize(width, height);
    const double start = 45600.0 + 8.0 / 24;
    chart->XAxis1.SetStart(start - 30 * kSecond);
    chart->XAxis1.SetStop(start);
    for (TRtAxis* a : {&chart->XAxis1, &chart->YAxis1}) {
      a->SetStartEnd(TRtAxisEnd::AutoRange);
      a->SetStopEnd(TRtAxisEnd::AutoRange);
    }
    chart->RtLineSeriesTargetSetpoint.SetVisible(true);
    chart->RtLineSeriesWorkingSetpoint.SetVisible(true);
    chart->RtLineSeriesWorkingOutput.SetVisible(true);
    chart->RightAxis1.SetVisible(true);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 1.5);
    double temperature = 20;
    for (int i = 0; i < samples; ++i) {
      const double hours = i * 5.0 / 3600;
      const double target = 600 + 400 * std::sin(hours / 20);
      temperature += 0.02 * (target - temperature) + noise(rng) * 0.3;
      chart->RtDoubleVectorSetpoint.Add(std::round(target / 50) * 50);
      chart->RtDoubleVectorWorkingSetpoint.Add(std::round(target));
      chart->RtDoubleVectorTemperature.Add(temperature + noise(rng));
      chart->RtDoubleVectorWorkingOutput.Add(std::clamp(50 + (target - temperature) * 2 + noise(rng), 0.0, 100.0));
      chart->RtDoubleVectorTime.Add(start + i * 5 * kSecond);
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
  const QString emf = dir.filePath("chart.emf");
  EXPECT_THROW(p.graph.SaveImage(emf, TRtImageFileFormat::EMF, 0xFFFFFF, true), ERtImageError);
  EXPECT_FALSE(QFile::exists(emf));
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

// The reduced drawing against the exact one: 200,000 samples per series,
// four series, the main window's chart size.
TEST(RtGraph2D, ReducedDrawingLooksLikeTheExactOne) {
  PaintedChart p(1484, 474, 200000);
  p.graph.SetPointReduction(TRtPointReduction::Exact);
  const QImage exact = p.graph.RenderImage(0xFFFFFF, true);
  p.graph.SetPointReduction(TRtPointReduction::Auto);
  const QImage reduced = p.graph.RenderImage(0xFFFFFF, true);
  ASSERT_EQ(exact.size(), reduced.size());
  if (const char* dump = std::getenv("KARVO_CHART_DUMP")) {
    exact.save(QString::fromLocal8Bit(dump) + "/exact.png");
    reduced.save(QString::fromLocal8Bit(dump) + "/reduced.png");
  }
  long differing = 0, clearly = 0;
  for (int y = 0; y < exact.height(); ++y) {
    for (int x = 0; x < exact.width(); ++x) {
      const QRgb a = exact.pixel(x, y), b = reduced.pixel(x, y);
      if (a == b) continue;
      ++differing;
      const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
      if (d > 64) ++clearly;
    }
  }
  const double total = static_cast<double>(exact.width()) * exact.height();
  const double share = 100.0 * static_cast<double>(differing) / total;
  const double clearShare = 100.0 * static_cast<double>(clearly) / total;
  std::printf("reduced vs exact drawing: %.3f %% of pixels differ, %.3f %% by more than 64 of 255\n", share,
              clearShare);
  RecordProperty("differing_pixel_percent", std::to_string(share));
  // Differences sit at the anti-aliased edges of the densely drawn noise;
  // the bounds catch a reduction that loses or moves strokes.
  EXPECT_LT(share, 8.0);
  EXPECT_LT(clearShare, 3.0);
}

}  // namespace
}  // namespace karvo

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
