// karvo-chart-demo [output.png] [days]
// Fills the main window's chart with a synthetic furnace run, drives the
// rate-of-change line as the supervisor tick does, and saves the chart as
// the "Save graph as PNG image" action would.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SyntheticRun.h"
#include "chart/RtGraph2D.h"
#include "common/DateTime.h"
#include "common/Regional.h"
#include "supervisor/mainchart/RtMainChart.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("chart.png");
  const double days = argc > 2 ? std::atof(argv[2]) : 3.0;

  // A fixed locale keeps the picture the same on every machine.
  karvo::TRegionalSettings regional;
  regional.shortDateFormat = "dd.MM.yyyy";
  regional.shortTimeFormat = "HH:mm";
  regional.longTimeFormat = "HH:mm:ss";

  karvo::TRtGraph2D graph;
  graph.resize(1484, 474);
  auto chart = std::make_unique<karvo::TStandaloneChart>(graph, regional);
  const double start = karvo::EncodeDateTime({2024, 3, 4, 8, 30, 0, 0});
  chart->XAxis1.SetStart(start - 30.0 / 86400);
  chart->XAxis1.SetStop(start);
  chart->YAxis1.SetStart(20);
  chart->YAxis1.SetStop(50);

  // "Show all data", every series and the legend visible.
  chart->XAxis1.SetStartEnd(karvo::TRtAxisEnd::AutoRange);
  chart->XAxis1.SetStopEnd(karvo::TRtAxisEnd::AutoRange);
  chart->YAxis1.SetStartEnd(karvo::TRtAxisEnd::AutoRange);
  chart->YAxis1.SetStopEnd(karvo::TRtAxisEnd::AutoRange);
  chart->RtLineSeriesTargetSetpoint.SetVisible(true);
  chart->RtLineSeriesWorkingSetpoint.SetVisible(true);
  chart->RtLineSeriesWorkingOutput.SetVisible(true);
  chart->RightAxis1.SetVisible(true);

  karvo::TRtLinearRegression& rate = chart->RtLinearRegressionRateOfChange;
  const double window = 600.0 / 86400;  // ten minutes
  karvo::demo::GenerateRun(start, days, [&](const karvo::demo::Sample& s) {
    chart->AddSample(s.time, s.temperature, s.targetSetpoint, s.workingSetpoint, s.workingOutput);
  });
  // The last tick's rate of change, as the window would show it.
  rate.SetCalculationStart(chart->RtDoubleVectorTime.GetMaximum() - window);
  try {
    rate.Calculate();
  } catch (const karvo::ERtMathError&) {
  }
  const double perMinute = rate.GetSlope() / 1440.0;
  char caption[128];
  std::snprintf(caption, sizeof caption,
                "Rate of change, last %.1f minutes: %.3f\xC2\xBA"
                "C/min",
                window * 1440, perMinute);
  rate.SetCaption(caption);
  rate.SetVisible(true);

  try {
    graph.SaveImage(out, karvo::TRtImageFileFormat::PNG, 0xFFFFFF, true);
  } catch (const karvo::ERtImageError& e) {
    std::fprintf(stderr, "karvo-chart-demo: %s\n", e.what());
    return 1;
  }
  std::printf("%s: %d samples over %.1f days\n", out.toLocal8Bit().constData(), chart->RtDoubleVectorTime.GetCount(),
              days);
  return 0;
}
