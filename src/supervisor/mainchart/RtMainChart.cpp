#include "supervisor/mainchart/RtMainChart.h"

namespace karvo {

namespace {

void StyleAxis(TRtAxis& axis, const char* caption, TRtAxisScaling scaling, TRtAxisPosition position) {
  axis.Caption = caption;
  axis.SetScaling(scaling);
  axis.SetPosition(position);
  axis.CaptionFont = {"Times New Roman", 14.0, true};
  axis.CaptionColor = 0xFF8B0000;
  axis.NumbersVisible = true;
  axis.NumbersColor = 0xFF00008B;
  axis.AxisLineColor = axis.TickColor = axis.MajorTickColor = 0xFF000000;
  axis.LineWidth = 1.0;
  axis.TickLength = 6.0;
  axis.MajorTickLength = 10.0;
  axis.SetEndRounding(TRtAxisEndRounding::RndToMajorZoomToMinor);
}

}  // namespace

void AttachSeries(TRtSeries& series, TRtCustomGraph& graph, const char* caption, bool visible, const TRtDoubleVector& x,
                  const TRtDoubleVector& y, TRtAxis& xAxis, TRtAxis& yAxis, TRtColor color, double width, int layer) {
  series.SetCaption(caption);
  series.SetVisible(visible);
  series.SetIncludeInLegend(true);
  series.SetXData(&x);
  series.SetYData(&y);
  series.SetXAxis(&xAxis);
  series.SetYAxis(&yAxis);
  series.Line.Color = color;
  series.Line.Width = width;
  series.Line.Visible = true;
  series.PointSymbol.Visible = false;
  series.SetLayer(layer);
  graph.AddSeries(&series);
}

TRtMainChart::TRtMainChart(TRtCustomGraph& graph, const TMeasurements& data, const TRegionalSettings& regional)
    : RtGraph2D1(graph),
      XAxis1(regional),
      YAxis1(regional),
      RightAxis1(regional),
      RtLineSeriesWorkingOutput("RtLineSeriesWorkingOutput"),
      RtLineSeriesWorkingSetpoint("RtLineSeriesWorkingSetpoint"),
      RtLineSeriesTargetSetpoint("RtLineSeriesTargetSetpoint"),
      RtPointSeriesTemperature("RtPointSeriesTemperature"),
      RtLinearRegressionRateOfChange("RtLinearRegressionRateOfChange") {
  graph.BeginUpdate();
  graph.BackColor = 0xFFFFFF;
  graph.DataAreaColor = 0xFFFFFF;
  graph.DataAreaFrameVisible = false;
  graph.CaptionVisible = false;
  graph.XGridVisible = graph.YGridVisible = graph.X2GridVisible = graph.Y2GridVisible = false;
  graph.SmoothingMode = TRtSmoothingMode::HighQuality;
  graph.Zoom.Auto = false;
  graph.Zoom.VScrollbarVisible = true;
  graph.Zoom.HScrollbarVisible = false;

  StyleAxis(XAxis1, "Time and date", TRtAxisScaling::DateTime, TRtAxisPosition::Bottom);
  XAxis1.SetStartEnd(TRtAxisEnd::Fixed);
  XAxis1.SetStopEnd(TRtAxisEnd::MovingSlit);
  XAxis1.SetMovingSlitWidth(0.000694444444444444);
  XAxis1.SetMovingSlitIncrement(0.000173611111111111);
  // The temperature axis stands at the right edge, the working-output axis
  // at the left (the names do not follow the sides).
  StyleAxis(YAxis1,
            "Temperature, \xC2\xBA"
            "Celcius",
            TRtAxisScaling::Normal, TRtAxisPosition::Right);
  YAxis1.SetStartEnd(TRtAxisEnd::AutoRange);
  YAxis1.SetStopEnd(TRtAxisEnd::AutoRange);
  StyleAxis(RightAxis1, "Working output, % of maximum power", TRtAxisScaling::Normal, TRtAxisPosition::Left);
  RightAxis1.SetStartEnd(TRtAxisEnd::AutoRange);
  RightAxis1.SetStopEnd(TRtAxisEnd::AutoRange);
  RightAxis1.SetVisible(false);
  graph.AddAxis(&XAxis1);
  graph.AddAxis(&YAxis1);
  graph.AddAxis(&RightAxis1);
  graph.PrimaryXAxis = &XAxis1;
  graph.PrimaryYAxis = &YAxis1;

  // Added in layer order: working output at the bottom, the rate-of-change
  // line on top.
  AttachSeries(RtLineSeriesWorkingOutput, graph, "Working output, % of maximum power", false, data.RtDoubleVectorTime,
               data.RtDoubleVectorWorkingOutput, XAxis1, RightAxis1, 0xFF606060, 1.0, 0);
  RtLineSeriesWorkingOutput.Area.Visible = true;
  RtLineSeriesWorkingOutput.Area.AreaStyle = TRtAreaStyle::Total;
  RtLineSeriesWorkingOutput.Area.ForeColor = 0x14000000;
  AttachSeries(RtLineSeriesWorkingSetpoint, graph,
               "Working Setpoint, \xC2\xBA"
               "C",
               false, data.RtDoubleVectorTime, data.RtDoubleVectorWorkingSetpoint, XAxis1, YAxis1, 0xFF0066CC, 1.0, 1);
  AttachSeries(RtLineSeriesTargetSetpoint, graph,
               "Target Setpoint, \xC2\xBA"
               "C",
               false, data.RtDoubleVectorTime, data.RtDoubleVectorSetpoint, XAxis1, YAxis1, 0xFF707070, 1.0, 2);
  AttachSeries(RtPointSeriesTemperature, graph,
               "Measured Temperature, \xC2\xBA"
               "C",
               true, data.RtDoubleVectorTime, data.RtDoubleVectorTemperature, XAxis1, YAxis1, 0xFFFF0000, 3.0, 3);
  RtPointSeriesTemperature.Area.Visible = false;

  TRtLinearRegression& r = RtLinearRegressionRateOfChange;
  AttachSeries(r, graph, "Rate of change", false, data.RtDoubleVectorTime, data.RtDoubleVectorTemperature, XAxis1,
               YAxis1, 0xFF000000, 2.0, 4);
  r.Line.DashStyle = TRtDashStyle::DashStyleDot;
  r.SetAutoUpdate(false);
  r.AutoStart = false;
  r.AutoStop = true;
  r.SetCalculationStart(-6.0);
  r.SetCalculationStop(15.0);
  r.DisplayAutoStart = false;
  r.DisplayAutoStop = true;
  r.DisplayStart = -6.0;
  r.DisplayStop = 15.0;
  r.CoupleCalculationAndDisplay = true;
  r.ClipYValues = false;
  r.FixedOffset = false;
  r.SetOffset(3.276551987555707);

  Legend1.Position = TRtLegendPosition::FreeFloating;
  Legend1.Left = 199;
  Legend1.Top = 36;
  Legend1.Width = 254;
  Legend1.Height = 30;
  Legend1.AutoSize = true;
  Legend1.BackColor = 0xFFFFFFFF;
  Legend1.FrameColor = 0xFF646464;
  Legend1.FrameWidth = 1.0;
  Legend1.CaptionVisible = false;
  Legend1.Rows = 1;
  Legend1.Columns = 1;
  Legend1.ItemsOrder = TRtLegendItemsOrder::ByColumn;
  Legend1.ItemWidth = 80;
  Legend1.ItemsOrderList = {"RtPointSeriesTemperature"};
  Legend1.SetGraph(&graph);
  graph.EndUpdate();
}

}  // namespace karvo
