#pragma once
// The main window's chart: its axes, legend and series with their
// captions, colours, widths, layers and axis sides, built on a graph in one
// go and drawn from the run's measurements. The supervisor owns the object;
// its members are the chart objects under their usual names.

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtLegend.h"
#include "chart/RtLinearRegression.h"
#include "chart/RtSeries.h"
#include "chart/RtVectors.h"
#include "supervisor/measurements/Measurements.h"

namespace karvo {

class TRtMainChart {
 public:
  // Configures `graph` and puts every object on it, the series drawn from
  // `data`. The graph and the measurements must outlive this object.
  TRtMainChart(TRtCustomGraph& graph, const TMeasurements& data, const TRegionalSettings& regional);
  TRtMainChart(const TRtMainChart&) = delete;
  TRtMainChart& operator=(const TRtMainChart&) = delete;

  TRtCustomGraph& RtGraph2D1;

  TRtAxis XAxis1;
  TRtAxis YAxis1;
  TRtAxis RightAxis1;

  TRtLineSeries RtLineSeriesWorkingOutput;
  TRtLineSeries RtLineSeriesWorkingSetpoint;
  TRtLineSeries RtLineSeriesTargetSetpoint;
  TRtPointSeries RtPointSeriesTemperature;
  TRtLinearRegression RtLinearRegressionRateOfChange;

  TRtLegend Legend1;
};

// A main chart that owns the measurements it shows, for the tools,
// benchmarks and tests that show the chart without the supervisor: it takes
// samples (AddSample) and is the chart (XAxis1, the series and the rest).
class TStandaloneChart : public TMeasurements, public TRtMainChart {
 public:
  TStandaloneChart(TRtCustomGraph& graph, const TRegionalSettings& regional) : TRtMainChart(graph, *this, regional) {}
};

// Puts `series` on `graph`: its caption (in the legend), whether it shows,
// its data and axes, a line of `color` and `width` without point symbols, on
// `layer`.
void AttachSeries(TRtSeries& series, TRtCustomGraph& graph, const char* caption, bool visible, const TRtDoubleVector& x,
                  const TRtDoubleVector& y, TRtAxis& xAxis, TRtAxis& yAxis, TRtColor color, double width, int layer);

}  // namespace karvo
