#include "chart/RtAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "chart/RtCustomGraph.h"

namespace karvo {

namespace {

constexpr std::size_t kMaxTicks = 5000;

double Pow10Floor(double v) { return std::pow(10.0, std::floor(std::log10(v))); }

}  // namespace

TRtAxis::TRtAxis(TRtRegionalSettings regional)
    : regional_(std::move(regional)), timeFormats_(TRtTimeFormats::FromRegional(regional_)) {}

TRtAxis::~TRtAxis() {
  if (graph_) graph_->RemoveAxis(this);
}

void TRtAxis::RequestRedraw() {
  if (graph_) graph_->RequestRedraw();
}

void TRtAxis::SettingsChanged() {
  settingsChanged_ = true;
  flagged_ = true;
  ticksValid_ = false;
  RequestRedraw();
}

void TRtAxis::SetScaling(TRtAxisScaling scaling) {
  if (scaling == scaling_) return;
  scaling_ = scaling;
  SettingsChanged();
}

void TRtAxis::SetPosition(TRtAxisPosition position) {
  if (position == position_) return;
  position_ = position;
  SettingsChanged();
}

double TRtAxis::ClampTime(double t) const {
  if (!IsTimeAxis()) return t;
  if (std::isnan(t)) return kMinDateTime;
  return std::clamp(t, kMinDateTime, kMaxDateTime);
}

void TRtAxis::SetStart(double x) {
  x = ClampTime(x);
  if (x == start_) return;
  start_ = initialStart_ = x;
  SettingsChanged();
}

void TRtAxis::SetStop(double x) {
  x = ClampTime(x);
  if (x == stop_) return;
  stop_ = initialStop_ = x;
  SettingsChanged();
}

void TRtAxis::SetStartEnd(TRtAxisEnd mode) {
  if (mode == TRtAxisEnd::MovingSlit) mode = TRtAxisEnd::Fixed;
  if (mode == startEnd_) return;
  startEnd_ = mode;
  SettingsChanged();
}

void TRtAxis::SetStopEnd(TRtAxisEnd mode) {
  if (mode == stopEnd_) return;
  stopEnd_ = mode;
  if (mode == TRtAxisEnd::MovingSlit) {
    startEnd_ = TRtAxisEnd::Fixed;
    if (graph_) graph_->Zoom.Auto = false;
  }
  SettingsChanged();
}

void TRtAxis::SetMovingSlitWidth(double width) {
  if (width == slitWidth_) return;
  slitWidth_ = width;
  SettingsChanged();
}

void TRtAxis::SetMovingSlitIncrement(double increment) {
  if (increment == slitIncrement_) return;
  slitIncrement_ = increment;
  SettingsChanged();
}

void TRtAxis::SetEndRounding(TRtAxisEndRounding rounding) {
  if (rounding == rounding_) return;
  rounding_ = rounding;
  SettingsChanged();
}

void TRtAxis::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  RequestRedraw();
}

void TRtAxis::SetLengthPixels(double pixels) {
  if (pixels == lengthPixels_ || !(pixels > 0)) return;
  lengthPixels_ = pixels;
  SettingsChanged();
}

void TRtAxis::SetTextMeasure(std::function<double(const std::string&)> measure) {
  measure_ = std::move(measure);
  SettingsChanged();
}

double TRtAxis::MeasureText(const std::string& text) const {
  if (measure_) return measure_(text);
  // Estimate: an average character is about 0.6 of the font's pixel size.
  return 0.6 * NumbersFont.PointSize * 96.0 / 72.0 * static_cast<double>(Utf8Length(text));
}

TRtRange TRtAxis::ValuesRange() const {
  TRtRange r;
  if (!graph_) return r;
  for (const TRtSeries* s : graph_->Series()) {
    if (!s->IsShown()) continue;
    TRtRange sr;
    if (s->XAxis() == this) {
      sr = s->XRange();
    } else if (s->YAxis() == this) {
      sr = s->YRange();
    } else {
      continue;
    }
    // A range that is not finite (a vertical fitted line, say) cannot be
    // shown and is left out.
    if (!sr.valid || !std::isfinite(sr.start) || !std::isfinite(sr.stop)) continue;
    if (!r.valid) {
      r = sr;
    } else {
      r.start = std::min(r.start, sr.start);
      r.stop = std::max(r.stop, sr.stop);
    }
  }
  return r;
}

double TRtAxis::ValuesNewest() const {
  double newest = std::numeric_limits<double>::quiet_NaN();
  if (!graph_ || !IsHorizontal()) return newest;
  for (const TRtSeries* s : graph_->Series()) {
    if (!s->IsShown() || s->XAxis() != this) continue;
    const double x = s->XNewest();
    if (std::isfinite(x) && !(x <= newest)) newest = x;
  }
  return newest;
}

double TRtAxis::MovingSlitStop(double valuesStop) {
  const double anchor = initialStart_, width = slitWidth_, increment = slitIncrement_;
  // The window's stop steps from anchor + width by the increment until it
  // reaches the newest value. A growing range continues from the last step
  // reached (the same sequence of additions, so the same result).
  if (!(slit_.valid && slit_.anchor == anchor && slit_.width == width && slit_.increment == increment &&
        valuesStop >= slit_.valuesStop)) {
    slit_ = {true, anchor, width, increment, valuesStop, anchor + width};
  }
  double stop = slit_.stop;
  // Far behind (the anchor set long ago, a tiny increment): jump close to
  // the newest value first so that the stepping stays short.
  const double steps = (valuesStop - stop) / increment;
  if (steps > 1e6 && std::isfinite(steps)) stop += std::floor(steps - 1.0) * increment;
  while (valuesStop > stop) {
    const double next = stop + increment;
    if (next == stop) {  // increment below the resolution of the value
      stop = valuesStop;
      break;
    }
    stop = next;
  }
  slit_.valuesStop = valuesStop;
  slit_.stop = stop;
  return stop;
}

void TRtAxis::RecomputeRange() {
  flagged_ = false;
  const TRtRange values = ValuesRange();
  // A moving window follows the newest sample (the largest one unless the
  // clock went back).
  const bool slit = stopEnd_ == TRtAxisEnd::MovingSlit;
  const double newest = slit ? ValuesNewest() : 0.0;
  if (values.valid && values == lastValues_ && (!slit || newest == lastNewest_) && !settingsChanged_) return;
  lastValues_ = values;
  lastNewest_ = newest;
  settingsChanged_ = false;

  // No shown series with data: the initial range.
  const double vStart = values.valid ? values.start : initialStart_;
  const double vStop = values.valid ? values.stop : initialStop_;

  double start = start_, stop = stop_;
  if (stopEnd_ == TRtAxisEnd::MovingSlit) {
    if (slitWidth_ <= 0) slitWidth_ = initialStop_ - initialStart_;
    if (slitIncrement_ <= 0 || slitIncrement_ > slitWidth_) slitIncrement_ = slitWidth_ / 3;
    if (slitWidth_ > 0 && std::isfinite(slitWidth_)) {
      stop = MovingSlitStop(values.valid && std::isfinite(newest) ? newest : vStop);
      start = vStart >= stop - slitWidth_ ? initialStart_ : stop - slitWidth_;
    } else {
      // A window of no width: show the data.
      start = vStart;
      stop = vStop;
    }
  } else {
    switch (startEnd_) {
      case TRtAxisEnd::AutoRange:
        start = vStart;
        break;
      case TRtAxisEnd::FirstSet:
        start = std::min(start_, vStart);
        break;
      default:
        start = start_;
        break;
    }
    switch (stopEnd_) {
      case TRtAxisEnd::AutoRange:
        stop = vStop;
        break;
      case TRtAxisEnd::FirstSet:
        stop = std::max(stop_, vStop);
        break;
      default:
        stop = stop_;
        break;
    }
  }
  RoundEnds(start, stop);
  if (start != start_ || stop != stop_) {
    start_ = start;
    stop_ = stop;
    RequestRedraw();
  }
  ticksValid_ = false;
}

void TRtAxis::RoundEnds(double& start, double& stop) {
  if (IsTimeAxis()) {
    start = ClampTime(start);
    stop = ClampTime(stop);
    if (!(stop > start)) stop = start + 1.0 / 1440.0;  // equal (or reversed): one minute
    if (stop > kMaxDateTime) {
      stop = kMaxDateTime;
      start = stop - 1.0 / 1440.0;
    }
    timeStepIndex_ = ChooseTimeStep(start, stop);
    const TRtTimeStep& step = TimeStep();
    const bool toMajor = rounding_ == TRtAxisEndRounding::RndToMajorZoomToMinor ||
                         rounding_ == TRtAxisEndRounding::RndToMajorZoomToNothing ||
                         rounding_ == TRtAxisEndRounding::RndToMajor;
    const bool toMinor =
        rounding_ == TRtAxisEndRounding::RndToMinorZoomToNothing || rounding_ == TRtAxisEndRounding::RndToMinor;
    if (toMajor || toMinor) RoundToTimeGrid(step, toMajor, start, stop);
    start = ClampTime(start);
    stop = ClampTime(stop);
    return;
  }

  if (!std::isfinite(start) || !std::isfinite(stop)) {
    start = 0.0;
    stop = 100.0;
  }
  if (start == stop) {
    const double e = start == 0 ? 1.0 : Pow10Floor(std::fabs(start));
    if (startEnd_ == TRtAxisEnd::AutoRange) start -= e;
    if (stopEnd_ == TRtAxisEnd::AutoRange || startEnd_ != TRtAxisEnd::AutoRange) stop += e;
  }
  if (stop < start) {
    start = 0.0;
    stop = 100.0;
  }
  ChooseValueSteps(start, stop);
  double grid = 0.0;
  switch (rounding_) {
    case TRtAxisEndRounding::RndToMajorZoomToMinor:
    case TRtAxisEndRounding::RndToMajorZoomToNothing:
    case TRtAxisEndRounding::RndToMajor:
      grid = majorStep_;
      break;
    case TRtAxisEndRounding::RndToMinorZoomToNothing:
    case TRtAxisEndRounding::RndToMinor:
      grid = minorStep_;
      break;
    case TRtAxisEndRounding::RndNothing:
      break;
  }
  if (grid > 0) {
    // A small tolerance keeps 0.3 / 0.1 from rounding to the next step.
    start = std::floor(start / grid + 1e-9) * grid;
    stop = std::ceil(stop / grid - 1e-9) * grid;
    if (stop <= start) stop = start + grid;
  }
}

void TRtAxis::ChooseValueSteps(double start, double stop) {
  const double range = stop - start;
  // Room per label: a line of text and a half on a vertical axis, the
  // widest label and some space on a horizontal one.
  const double fontPx = NumbersFont.PointSize * 96.0 / 72.0;
  double room = 2.5 * fontPx;
  if (IsHorizontal()) {
    room = std::max(MeasureText(FormatFixed(start, 2, regional_)), MeasureText(FormatFixed(stop, 2, regional_))) +
           3 * fontPx;
  }
  const double maxLabels = std::max(2.0, std::floor(lengthPixels_ / std::max(room, 1.0)));
  const double raw = range / maxLabels;
  double major = 1.0;
  double minor = 0.2;
  if (raw > 0 && std::isfinite(raw)) {
    const double e = Pow10Floor(raw);
    const double f = raw / e;
    if (f <= 1.0) {
      major = e;
      minor = e / 5;
    } else if (f <= 2.0) {
      major = 2 * e;
      minor = e / 2;
    } else if (f <= 5.0) {
      major = 5 * e;
      minor = e;
    } else {
      major = 10 * e;
      minor = 2 * e;
    }
  }
  majorStep_ = major;
  minorStep_ = minor;
}

std::string TRtAxis::TimeLabelPattern() const { return timeFormats_.PatternFor(TimeStep().format, stop_ - start_); }

std::size_t TRtAxis::ChooseTimeStep(double start, double stop) const {
  TRtTimeStepFit fit;
  fit.lengthPixels = lengthPixels_;
  fit.fontSize = NumbersFont.PointSize;
  fit.labelDistanceFactor = LabelDistanceFactor;
  fit.measure = [this](const std::string& text) { return MeasureText(text); };
  return karvo::ChooseTimeStep(start, stop, fit, timeFormats_, regional_);
}

const std::vector<TRtTick>& TRtAxis::Ticks() const {
  if (!ticksValid_) {
    ticks_.clear();
    if (IsTimeAxis())
      BuildTimeTicks();
    else
      BuildValueTicks();
    ticksValid_ = true;
  }
  return ticks_;
}

void TRtAxis::BuildTimeTicks() const {
  karvo::BuildTimeTicks(TimeStep(), start_, stop_, timeFormats_, regional_, kMaxTicks, ticks_);
}

void TRtAxis::BuildValueTicks() const {
  if (!(minorStep_ > 0) || !std::isfinite(start_) || !std::isfinite(stop_)) return;
  const double first = std::ceil(start_ / minorStep_ - 1e-9);
  const double last = std::floor(stop_ / minorStep_ + 1e-9);
  if (!(last - first < static_cast<double>(kMaxTicks))) return;
  const auto ratio = static_cast<std::int64_t>(std::llround(majorStep_ / minorStep_));
  for (double k = first; k <= last; k += 1.0) {
    TRtTick tick;
    tick.value = k * minorStep_;
    const auto ik = static_cast<std::int64_t>(k);
    tick.major = ratio <= 1 || ik % ratio == 0;
    tick.labelled = tick.major;
    // Compact where the values are huge or tiny: the axis stays narrow.
    if (tick.labelled) tick.label = FormatAxisNumber(tick.value, majorStep_, regional_);
    ticks_.push_back(std::move(tick));
  }
}

}  // namespace karvo
