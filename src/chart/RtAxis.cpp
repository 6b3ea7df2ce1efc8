#include "chart/RtAxis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "chart/RtCustomGraph.h"
#include "common/DateTime.h"

namespace karvo {

namespace {

using U = TRtTimeUnit;
using F = TRtTimeLabelFormat;

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::size_t kMaxTicks = 5000;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::int64_t ToMs(double t) { return std::llround(t * static_cast<double>(kMsPerDay)); }
double FromMs(std::int64_t ms) { return static_cast<double>(ms) / static_cast<double>(kMsPerDay); }
std::int64_t DateMs(int year, int month, int day) { return ToMs(EncodeDate(year, month, day)); }

std::int64_t UnitMs(U unit) {
  switch (unit) {
    case U::Millisecond:
      return 1;
    case U::Second:
      return 1000;
    case U::Minute:
      return 60000;
    case U::Hour:
      return 3600000;
    default:
      return kMsPerDay;
  }
}

bool SubDay(U unit) { return unit == U::Millisecond || unit == U::Second || unit == U::Minute || unit == U::Hour; }

// A grid of tick positions on the time axis.
enum class GridKind { Plain, Sundays, MonthStarts };
struct Grid {
  U unit;
  std::int64_t step;
  GridKind kind;
};

Grid MajorGrid(const TRtTimeStep& s) {
  GridKind kind = GridKind::Plain;
  if (s.unit == U::Day && s.region == U::Day && s.majorStep == 7) kind = GridKind::Sundays;
  if (s.unit == U::Day && s.region == U::Month) kind = GridKind::MonthStarts;
  return {s.unit, s.majorStep, kind};
}
Grid MinorGrid(const TRtTimeStep& s) { return {s.unit, s.minorIncrement, GridKind::Plain}; }

// The largest grid point <= ms.
std::int64_t FloorGrid(std::int64_t ms, const Grid& g) {
  if (SubDay(g.unit)) {
    const DateTimeParts p = DecodeDateTime(FromMs(ms));
    std::int64_t yearStart = DateMs(p.year, 1, 1);
    if (yearStart > ms) yearStart = DateMs(p.year - 1, 1, 1);  // rounding guard
    const std::int64_t s = UnitMs(g.unit) * g.step;
    return yearStart + FloorDiv(ms - yearStart, s) * s;
  }
  const std::int64_t day = FloorDiv(ms, kMsPerDay);
  if (g.unit == U::Day && g.kind == GridKind::Plain) return day * kMsPerDay;
  if (g.kind == GridKind::Sundays) {
    const std::int64_t dow = ((6 + day) % 7 + 7) % 7;  // day 0 was a Saturday
    return (day - dow) * kMsPerDay;
  }
  const DateTimeParts p = DecodeDateTime(FromMs(day * kMsPerDay));
  if (g.kind == GridKind::MonthStarts) return DateMs(p.year, p.month, 1);
  if (g.unit == U::Month) {
    const std::int64_t ord = FloorDiv(std::int64_t{p.year} * 12 + p.month - 1, g.step) * g.step;
    return DateMs(static_cast<int>(FloorDiv(ord, 12)), static_cast<int>(ord - FloorDiv(ord, 12) * 12) + 1, 1);
  }
  return DateMs(static_cast<int>(FloorDiv(p.year, g.step) * g.step), 1, 1);
}

// The smallest grid point > ms.
std::int64_t NextGrid(std::int64_t ms, const Grid& g) {
  const std::int64_t f = FloorGrid(ms, g);
  if (SubDay(g.unit)) {
    const DateTimeParts p = DecodeDateTime(FromMs(f));
    const std::int64_t nextYear = DateMs(p.year + 1, 1, 1);
    const std::int64_t n = f + UnitMs(g.unit) * g.step;
    return std::min(n, nextYear);
  }
  if (g.unit == U::Day && g.kind == GridKind::Plain) return f + kMsPerDay;
  if (g.kind == GridKind::Sundays) return f + 7 * kMsPerDay;
  const DateTimeParts p = DecodeDateTime(FromMs(f));
  if (g.kind == GridKind::MonthStarts) {
    return p.month == 12 ? DateMs(p.year + 1, 1, 1) : DateMs(p.year, p.month + 1, 1);
  }
  if (g.unit == U::Month) {
    const std::int64_t ord = std::int64_t{p.year} * 12 + p.month - 1 + g.step;
    return DateMs(static_cast<int>(FloorDiv(ord, 12)), static_cast<int>(ord - FloorDiv(ord, 12) * 12) + 1, 1);
  }
  return DateMs(static_cast<int>(p.year + g.step), 1, 1);
}

std::int64_t CeilGrid(std::int64_t ms, const Grid& g) {
  const std::int64_t f = FloorGrid(ms, g);
  return f == ms ? ms : NextGrid(ms, g);
}

// Length of the range in the unit the candidate counts its labels in.
double CountingLength(const TRtTimeStep& s, double days) {
  switch (s.unit) {
    case U::Millisecond:
      return days * 86400000.0 / s.labelStep;
    case U::Second:
      return days * 86400.0 / s.labelStep;
    case U::Minute:
      return days * 1440.0 / s.labelStep;
    case U::Hour:
      return days * 24.0 / s.labelStep;
    case U::Day:
      if (s.region == U::Month) return days / 30.5;  // one label per month
      return days / s.labelStep;
    case U::Month:
      if (s.region == U::Year) return days / 30.5 / (12.0 * s.labelStep);
      return days / 30.5 / s.labelStep;
    case U::Year:
      return days / 365.0 / s.labelStep;
  }
  return 0.0;
}

double Pow10Floor(double v) { return std::pow(10.0, std::floor(std::log10(v))); }

}  // namespace

const std::vector<TRtTimeStep>& TimeStepCandidates() {
  static const std::vector<TRtTimeStep> table = {
      {U::Millisecond, U::Millisecond, 5, 5, 1, F::Millisecond},
      {U::Millisecond, U::Millisecond, 10, 5, 1, F::Millisecond},
      {U::Millisecond, U::Millisecond, 20, 10, 2, F::Millisecond},
      {U::Millisecond, U::Millisecond, 50, 20, 5, F::Millisecond},
      {U::Millisecond, U::Millisecond, 100, 50, 10, F::Millisecond},
      {U::Millisecond, U::Millisecond, 200, 200, 20, F::Millisecond},
      {U::Millisecond, U::Millisecond, 500, 200, 50, F::Millisecond},
      {U::Second, U::Millisecond, 1000, 500, 100, F::Second},
      {U::Second, U::Millisecond, 2000, 1000, 100, F::Second},
      {U::Second, U::Millisecond, 5000, 2500, 500, F::Second},
      {U::Second, U::Second, 10, 5, 1, F::Second},
      {U::Second, U::Second, 20, 10, 1, F::Second},
      {U::Second, U::Second, 30, 10, 2, F::Second},
      {U::Minute, U::Second, 60, 30, 5, F::MinuteOrDayAndHour},
      {U::Minute, U::Second, 120, 60, 10, F::MinuteOrDayAndHour},
      {U::Minute, U::Second, 300, 300, 30, F::MinuteOrDayAndHour},
      {U::Minute, U::Minute, 10, 5, 1, F::MinuteOrDayAndHour},
      {U::Minute, U::Minute, 15, 5, 1, F::MinuteOrDayAndHour},
      {U::Minute, U::Minute, 30, 15, 5, F::MinuteOrDayAndHour},
      {U::Minute, U::Minute, 60, 15, 5, F::MinuteOrDayAndHour},
      {U::Minute, U::Minute, 180, 60, 15, F::MinuteOrDayAndHour},
      {U::Hour, U::Hour, 6, 3, 1, F::MinuteOrDayAndHour},
      {U::Hour, U::Hour, 12, 6, 1, F::DayAndHour},
      {U::Hour, U::Hour, 24, 12, 3, F::Day},
      {U::Hour, U::Hour, 48, 24, 6, F::Day},
      {U::Day, U::Day, 1, 7, 1, F::Day},
      {U::Day, U::Day, 2, 7, 1, F::Day},
      {U::Month, U::Day, 1, 1, 1, F::LongMonth},
      {U::Month, U::Day, 1, 1, 1, F::ShortMonth},
      {U::Month, U::Month, 3, 3, 1, F::ShortMonth},
      {U::Month, U::Month, 6, 3, 1, F::ShortMonth},
      {U::Year, U::Month, 1, 12, 1, F::Year},
      {U::Year, U::Month, 2, 12, 3, F::Year},
      {U::Year, U::Year, 5, 5, 1, F::Year},
      {U::Year, U::Year, 10, 5, 1, F::Year},
      {U::Year, U::Year, 20, 10, 2, F::Year},
      {U::Year, U::Year, 25, 25, 5, F::Year},
      {U::Year, U::Year, 50, 25, 5, F::Year},
      {U::Year, U::Year, 100, 50, 10, F::Year},
      {U::Year, U::Year, 200, 100, 25, F::Year},
      {U::Year, U::Year, 500, 250, 50, F::Year},
      {U::Year, U::Year, 1000, 500, 100, F::Year},
      {U::Year, U::Year, 2000, 1000, 200, F::Year},
  };
  return table;
}

TRtTimeFormats TRtTimeFormats::FromRegional(const TRtRegionalSettings& regional) {
  auto replaceAll = [](std::string s, const std::string& from, const std::string& to) {
    for (std::size_t i = s.find(from); i != std::string::npos; i = s.find(from, i + to.size()))
      s.replace(i, from.size(), to);
    return s;
  };
  TRtTimeFormats f;
  f.day = replaceAll(replaceAll(replaceAll(regional.shortDateFormat, "yyyy", "yy"), "dd", "d"), "MM", "M");
  // The seconds part: the first "s" with the character before it, then any
  // remaining "s".
  std::string minute = regional.shortTimeFormat;
  const auto s = minute.find('s');
  if (s != std::string::npos) {
    minute.erase(s > 0 ? s - 1 : 0, s > 0 ? 2 : 1);
    minute.erase(std::remove(minute.begin(), minute.end(), 's'), minute.end());
  }
  f.minute = minute;
  f.dayAndHour = f.day + " " + f.minute;
  f.second = regional.longTimeFormat;
  // Seconds, the decimal separator (quoted: it may be a pattern letter or
  // the time separator's placeholder) and three-digit milliseconds.
  std::string sep;
  for (const char c : regional.decimalSeparator) sep += c == '\'' ? std::string("''") : std::string(1, c);
  f.millisecond = "s'" + sep + "'zzz";
  return f;
}

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
  if (values.valid && values == lastValues_ && !settingsChanged_) return;
  lastValues_ = values;
  settingsChanged_ = false;

  // No shown series with data: the initial range.
  const double vStart = values.valid ? values.start : initialStart_;
  const double vStop = values.valid ? values.stop : initialStop_;

  double start = start_, stop = stop_;
  if (stopEnd_ == TRtAxisEnd::MovingSlit) {
    if (slitWidth_ <= 0) slitWidth_ = initialStop_ - initialStart_;
    if (slitIncrement_ <= 0 || slitIncrement_ > slitWidth_) slitIncrement_ = slitWidth_ / 3;
    if (slitWidth_ > 0 && std::isfinite(slitWidth_)) {
      stop = MovingSlitStop(vStop);
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
    if (toMajor || toMinor) {
      const Grid grid = toMajor ? MajorGrid(step) : MinorGrid(step);
      start = FromMs(FloorGrid(ToMs(start), grid));
      stop = FromMs(CeilGrid(ToMs(stop), grid));
    }
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

std::string TRtAxis::TimePatternFor(TRtTimeLabelFormat format, double rangeDays) const {
  switch (format) {
    case F::Millisecond:
      return timeFormats_.millisecond;
    case F::Second:
      return timeFormats_.second;
    case F::MinuteOrDayAndHour:
      return rangeDays > 1.0 ? timeFormats_.dayAndHour : timeFormats_.minute;
    case F::DayAndHour:
      return timeFormats_.dayAndHour;
    case F::Day:
      return timeFormats_.day;
    case F::LongMonth:
      return timeFormats_.longMonth;
    case F::ShortMonth:
      return timeFormats_.shortMonth;
    case F::Year:
      return timeFormats_.year;
  }
  return timeFormats_.day;
}

std::string TRtAxis::TimeLabelPattern() const { return TimePatternFor(TimeStep().format, stop_ - start_); }

std::size_t TRtAxis::ChooseTimeStep(double start, double stop) const {
  const auto& table = candidates();
  const double days = stop - start;
  const double fontSize = NumbersFont.PointSize;
  // Label widths by format, measured once per choice.
  double widths[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const TRtTimeStep& s = table[i];
    const double n = CountingLength(s, days);
    if (!(n < 1000.0)) continue;
    double& w = widths[static_cast<int>(s.format)];
    if (w < 0) {
      if (s.format == F::LongMonth || s.format == F::ShortMonth) {
        w = 1.5 * MeasureText("February 9999");
      } else {
        const std::string label = FormatDateTime(TimePatternFor(s.format, days), stop, regional_);
        w = 1.6 * fontSize * static_cast<double>(Utf8Length(label));
      }
    }
    const double k = std::floor(n + 0.5) + 1.0;
    if (k * 0.48 * w + (k - 1.0) * 120.0 * LabelDistanceFactor <= lengthPixels_) return i;
  }
  return table.size() - 1;
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
  const TRtTimeStep& s = TimeStep();
  const Grid minor = MinorGrid(s), major = MajorGrid(s);
  const std::string pattern = TimePatternFor(s.format, stop_ - start_);
  const std::int64_t stopMs = ToMs(stop_);
  std::int64_t t = CeilGrid(ToMs(start_), minor);
  while (t <= stopMs && ticks_.size() < kMaxTicks) {
    TRtTick tick;
    tick.value = FromMs(t);
    tick.major = FloorGrid(t, major) == t;
    if (tick.major) {
      const DateTimeParts p = DecodeDateTime(tick.value);
      if (SubDay(s.unit)) {
        const std::int64_t ordinal = (t - DateMs(p.year, 1, 1)) / UnitMs(s.unit);
        tick.labelled = ordinal % s.labelStep == 0;
      } else if (s.region == U::Day) {
        // Every Sunday, or every second one counted from a fixed Sunday.
        const std::int64_t week = FloorDiv(FloorDiv(t, kMsPerDay) - 1, 7);
        tick.labelled = s.labelStep == 1 || week % s.labelStep == 0;
      } else if (s.unit == U::Day) {
        tick.labelled = true;  // first of each month
      } else if (s.region == U::Year) {
        tick.labelled = p.year % s.labelStep == 0;
      } else {
        tick.labelled = (std::int64_t{p.year} * 12 + p.month - 1) % s.labelStep == 0;
      }
    }
    if (tick.labelled) {
      tick.label = FormatDateTime(pattern, tick.value, regional_);
      if (s.format == F::Millisecond) {
        // Up to two trailing zeros of the milliseconds are dropped.
        for (int k = 0; k < 2 && !tick.label.empty() && tick.label.back() == '0'; ++k) tick.label.pop_back();
      }
    }
    ticks_.push_back(std::move(tick));
    t = NextGrid(t, minor);
  }
}

void TRtAxis::BuildValueTicks() const {
  if (!(minorStep_ > 0) || !std::isfinite(start_) || !std::isfinite(stop_)) return;
  const double first = std::ceil(start_ / minorStep_ - 1e-9);
  const double last = std::floor(stop_ / minorStep_ + 1e-9);
  if (!(last - first < static_cast<double>(kMaxTicks))) return;
  const auto ratio = static_cast<std::int64_t>(std::llround(majorStep_ / minorStep_));
  const int decimals = majorStep_ >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(majorStep_) - 1e-9));
  for (double k = first; k <= last; k += 1.0) {
    TRtTick tick;
    tick.value = k * minorStep_;
    const auto ik = static_cast<std::int64_t>(k);
    tick.major = ratio <= 1 || ik % ratio == 0;
    tick.labelled = tick.major;
    if (tick.labelled) tick.label = FormatFixed(tick.value, decimals, regional_);
    ticks_.push_back(std::move(tick));
  }
}

}  // namespace karvo
