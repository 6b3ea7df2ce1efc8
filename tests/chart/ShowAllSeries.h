#pragma once
// The main chart with every series shown and both axes following the data,
// as the window shows it with all series ticked and "Show all data" chosen.

#include "chart/RtAxis.h"
#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {

inline void ShowAllSeries(TRtMainChart& chart) {
  for (TRtAxis* a : {&chart.XAxis1, &chart.YAxis1}) {
    a->SetStartEnd(TRtAxisEnd::AutoRange);
    a->SetStopEnd(TRtAxisEnd::AutoRange);
  }
  chart.RtLineSeriesTargetSetpoint.SetVisible(true);
  chart.RtLineSeriesWorkingSetpoint.SetVisible(true);
  chart.RtLineSeriesWorkingOutput.SetVisible(true);
  chart.RightAxis1.SetVisible(true);
}

}  // namespace karvo
