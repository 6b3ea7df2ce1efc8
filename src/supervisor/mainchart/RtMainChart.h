#pragma once
// The main window's chart: its data vectors, axes, legend and series with
// their captions, colours, widths, layers and axis sides, built on a graph
// in one go. The window owns the object; its members are the chart objects
// under their usual names.

#include <memory>

#include "chart/RtAxis.h"
#include "chart/RtCustomGraph.h"
#include "chart/RtLegend.h"
#include "chart/RtLinearRegression.h"
#include "chart/RtSeries.h"
#include "chart/RtVectors.h"

namespace karvo {

class TRtMainChart {
 public:
  // Configures `graph` and puts every object on it. The graph must outlive
  // this object.
  TRtMainChart(TRtCustomGraph& graph, const TRegionalSettings& regional);
  TRtMainChart(const TRtMainChart&) = delete;
  TRtMainChart& operator=(const TRtMainChart&) = delete;

  TRtCustomGraph& RtGraph2D1;

  TRtDoubleVector RtDoubleVectorTime;
  TRtDoubleVector RtDoubleVectorTemperature;
  TRtDoubleVector RtDoubleVectorSetpoint;
  TRtDoubleVector RtDoubleVectorWorkingSetpoint;
  TRtDoubleVector RtDoubleVectorWorkingOutput;

  TRtAxis XAxis1;
  TRtAxis YAxis1;
  TRtAxis RightAxis1;

  TRtLineSeries RtLineSeriesWorkingOutput;
  TRtLineSeries RtLineSeriesWorkingSetpoint;
  TRtLineSeries RtLineSeriesTargetSetpoint;
  TRtPointSeries RtPointSeriesTemperature;
  TRtLinearRegression RtLinearRegressionRateOfChange;

  TRtLegend Legend1;

  // Appends one sample to the five vectors, one after the other with
  // nothing in between, the time vector last: it is the X data of every
  // series and of the regression, so whoever sees it grow finds the values.
  void AddSample(TDateTime time, double temperature, double targetSetpoint, double workingSetpoint,
                 double workingOutput);
};

// The chart on `graph` as an object of its own on the heap, for the tools,
// benchmarks and tests that show it without the main window (the window
// constructs its TRtMainChart itself).
std::unique_ptr<TRtMainChart> BuildMainChart(TRtCustomGraph& graph, const TRegionalSettings& regional);

// Puts `series` on `graph`: its caption (in the legend), whether it shows,
// its data and axes, a line of `color` and `width` without point symbols, on
// `layer`.
void AttachSeries(TRtSeries& series, TRtCustomGraph& graph, const char* caption, bool visible, TRtDoubleVector& x,
                  TRtDoubleVector& y, TRtAxis& xAxis, TRtAxis& yAxis, TRtColor color, double width, int layer);

}  // namespace karvo
