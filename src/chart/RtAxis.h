#pragma once
// Chart axes: which part of the data the graph shows (end modes, moving
// window, rounding of the ends) and where the ticks and labels go, for
// value axes and for the date-time axis.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chart/RtSeries.h"
#include "chart/RtTimeGrid.h"
#include "common/Regional.h"

namespace karvo {

// The regional settings under the name the chart's configuration uses.
using TRtRegionalSettings = TRegionalSettings;

enum class TRtAxisScaling { Normal, Log, LogEE, Seconds, DateTime, Rubrics };
enum class TRtAxisPosition { Bottom, Left, Top, Right };
enum class TRtAxisEnd { AutoRange, FirstSet, Fixed, MovingSlit };
enum class TRtAxisEndRounding {
  RndToMajorZoomToMinor,
  RndToMajorZoomToNothing,
  RndToMajor,
  RndToMinorZoomToNothing,
  RndToMinor,
  RndNothing
};

struct TRtFont {
  std::string Family = "Tahoma";
  double PointSize = 8.0;
  bool Bold = false;
};

class TRtAxis {
 public:
  // Date range of a time axis: 1 January 100 .. 31 December 9999.
  static constexpr double kMinDateTime = -657434.0;
  static constexpr double kMaxDateTime = 2958465.99999;

  explicit TRtAxis(TRtRegionalSettings regional = {});
  ~TRtAxis();
  TRtAxis(const TRtAxis&) = delete;
  TRtAxis& operator=(const TRtAxis&) = delete;

  std::string Caption;
  TRtFont CaptionFont{"Times New Roman", 14.0, true};
  TRtColor CaptionColor = 0xFF8B0000;
  bool NumbersVisible = true;
  TRtFont NumbersFont;
  TRtColor NumbersColor = 0xFF00008B;
  TRtColor AxisLineColor = 0xFF000000;
  TRtColor TickColor = 0xFF000000;
  TRtColor MajorTickColor = 0xFF000000;
  double LineWidth = 1.0;
  double TickLength = 6.0;
  double MajorTickLength = 10.0;
  double LabelDistanceFactor = 1.0;

  TRtAxisScaling Scaling() const { return scaling_; }
  void SetScaling(TRtAxisScaling scaling);
  TRtAxisPosition Position() const { return position_; }
  void SetPosition(TRtAxisPosition position);
  bool IsHorizontal() const { return position_ == TRtAxisPosition::Bottom || position_ == TRtAxisPosition::Top; }
  bool IsTimeAxis() const { return scaling_ == TRtAxisScaling::DateTime; }

  double Start() const { return start_; }
  double Stop() const { return stop_; }
  void SetStart(double x);
  void SetStop(double x);
  double InitialStart() const { return initialStart_; }
  double InitialStop() const { return initialStop_; }

  TRtAxisEnd StartEnd() const { return startEnd_; }
  TRtAxisEnd StopEnd() const { return stopEnd_; }
  void SetStartEnd(TRtAxisEnd mode);
  void SetStopEnd(TRtAxisEnd mode);
  double MovingSlitWidth() const { return slitWidth_; }
  double MovingSlitIncrement() const { return slitIncrement_; }
  void SetMovingSlitWidth(double width);
  void SetMovingSlitIncrement(double increment);
  TRtAxisEndRounding EndRounding() const { return rounding_; }
  void SetEndRounding(TRtAxisEndRounding rounding);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // The axis's extent along the data area in pixels (set by the painting).
  double LengthPixels() const { return lengthPixels_; }
  void SetLengthPixels(double pixels);
  // Width of a text in pixels in the numbers font; the painting installs
  // the real measure, the default estimates it.
  void SetTextMeasure(std::function<double(const std::string&)> measure);

  const TRtRegionalSettings& Regional() const { return regional_; }
  const TRtTimeFormats& TimeFormats() const { return timeFormats_; }

  // Marks the range for recomputation before the next redraw.
  void FlagRecompute() { flagged_ = true; }
  bool Flagged() const { return flagged_; }
  // Recomputes Start and Stop from the shown series, the end modes and the
  // rounding. Does nothing when the data range and the settings are
  // unchanged since the last time.
  void RecomputeRange();

  // Smallest start and largest stop of the data ranges of the shown series
  // drawn against this axis; empty when none has data.
  TRtRange ValuesRange() const;

  // Time axis: the tick step chosen with the current range.
  const TRtTimeStep& TimeStep() const { return candidates()[timeStepIndex_]; }
  // The format pattern of the current time labels.
  std::string TimeLabelPattern() const;
  // Value axis: major and minor step of the current range.
  double MajorStep() const { return majorStep_; }
  double MinorStep() const { return minorStep_; }

  // Ticks from Start to Stop with their labels (computed when first asked
  // after the range changed).
  const std::vector<TRtTick>& Ticks() const;

  // Chooses the time step for a range (public for tests).
  std::size_t ChooseTimeStep(double start, double stop) const;

 private:
  friend class TRtCustomGraph;
  friend class TRtSeries;
  void AttachGraph(TRtCustomGraph* graph) { graph_ = graph; }
  void RequestRedraw();
  void SettingsChanged();
  static const std::vector<TRtTimeStep>& candidates() { return TimeStepCandidates(); }
  double ClampTime(double t) const;
  double MovingSlitStop(double valuesStop);
  // The newest X of the shown series on this (horizontal) axis; NaN when
  // none has data.
  double ValuesNewest() const;
  void ChooseValueSteps(double start, double stop);
  void RoundEnds(double& start, double& stop);
  double MeasureText(const std::string& text) const;
  void BuildTimeTicks() const;
  void BuildValueTicks() const;

  TRtCustomGraph* graph_ = nullptr;
  TRtRegionalSettings regional_;
  TRtTimeFormats timeFormats_;
  TRtAxisScaling scaling_ = TRtAxisScaling::Normal;
  TRtAxisPosition position_ = TRtAxisPosition::Bottom;
  double start_ = 0.0, stop_ = 100.0;
  double initialStart_ = 0.0, initialStop_ = 100.0;
  TRtAxisEnd startEnd_ = TRtAxisEnd::AutoRange;
  TRtAxisEnd stopEnd_ = TRtAxisEnd::AutoRange;
  double slitWidth_ = 0.0, slitIncrement_ = 0.0;
  TRtAxisEndRounding rounding_ = TRtAxisEndRounding::RndToMajorZoomToMinor;
  bool visible_ = true;
  double lengthPixels_ = 500.0;
  std::function<double(const std::string&)> measure_;

  bool flagged_ = true;
  bool settingsChanged_ = true;
  TRtRange lastValues_;
  double lastNewest_ = 0.0;

  // The moving window's stop is found by stepping from the anchor; the last
  // step is kept so that a growing data range continues from it.
  struct SlitState {
    bool valid = false;
    double anchor = 0, width = 0, increment = 0;
    double valuesStop = 0, stop = 0;
  } slit_;

  std::size_t timeStepIndex_ = 0;
  double majorStep_ = 10.0, minorStep_ = 2.0;
  mutable bool ticksValid_ = false;
  mutable std::vector<TRtTick> ticks_;
};

}  // namespace karvo
