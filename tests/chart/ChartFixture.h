#pragma once
// A small chart for the model tests: one series of (time, value) on a time
// axis and a value axis, with a redraw counter.

#include <initializer_list>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtLegend.h"
#include "chart/RtSeries.h"
#include "chart/RtVectors.h"
#include "common/Types.h"

namespace karvo::test {

inline constexpr double kSecond = 1.0 / 86400.0;

struct OneSeriesChart {
  TRtCustomGraph graph;
  TRtDoubleVector time, value;
  TRtAxis xAxis, yAxis;
  TRtLineSeries series{"series"};
  int redraws = 0;

  OneSeriesChart() {
    graph.SetRedrawHandler([this] { ++redraws; });
    xAxis.SetScaling(TRtAxisScaling::DateTime);
    xAxis.SetPosition(TRtAxisPosition::Bottom);
    yAxis.SetPosition(TRtAxisPosition::Right);
    graph.AddAxis(&xAxis);
    graph.AddAxis(&yAxis);
    series.SetXData(&time);
    series.SetYData(&value);
    series.SetXAxis(&xAxis);
    series.SetYAxis(&yAxis);
    graph.AddSeries(&series);
  }
  void Add(double t, double v) {
    value.Add(v);
    time.Add(t);
  }
  void AddAll(std::initializer_list<std::pair<double, double>> points) {
    for (const auto& [t, v] : points) Add(t, v);
  }
};

}  // namespace karvo::test
