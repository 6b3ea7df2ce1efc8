#include "chart/RtTimeGrid.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/DateTime.h"
#include "common/Duration.h"
#include "common/LocalTime.h"

namespace karvo {

namespace {

using U = TRtTimeUnit;
using F = TRtTimeLabelFormat;

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

// --- Instants and local time, in whole milliseconds -------------------------

// The local time's offset at an instant (whole minutes, so exact in ms).
// Offsets change only at whole minutes: the few minutes asked for last are
// remembered (the moving window asks for the same ones at every sample),
// with the zone they were asked under.
std::int64_t OffsetMs(std::int64_t instant) {
  struct Known {
    std::int64_t minute = INT64_MIN;
    std::int64_t offset = 0;
    std::string zone;
  };
  thread_local std::array<Known, 4> known;
  thread_local std::size_t next = 0;
  const std::int64_t minute = FloorDiv(instant, 60000);
  const char* tz = std::getenv("TZ");
  const std::string_view zone = tz ? tz : "";
  for (const Known& k : known)
    if (k.minute == minute && k.zone == zone) return k.offset;
  Known& k = known[next++ % known.size()];
  k = {minute, ToMs(UtcOffset(FromMs(instant))), std::string(zone)};
  return k.offset;
}

// A grid whose points lie at most two days apart: between two of them the
// local offset changes at most once.
bool ShortGrid(const Grid& g) {
  return (SubDay(g.unit) && UnitMs(g.unit) * g.step <= 2 * kMsPerDay) ||
         (g.unit == U::Day && g.kind == GridKind::Plain);
}

// The first instant in (a, b] whose offset is that of b (one change between).
std::int64_t ChangeBetween(std::int64_t a, std::int64_t b) {
  const std::int64_t target = OffsetMs(b);
  while (b - a > 1) {
    const std::int64_t mid = a + (b - a) / 2;
    if (OffsetMs(mid) == target)
      b = mid;
    else
      a = mid;
  }
  return b;
}

// The instant of the local grid point `local` with the offset it has where
// that is `offset`; else the system's reading of the local time.
std::int64_t InstantOf(std::int64_t local, std::int64_t offset, bool& consistent) {
  const std::int64_t r = local - offset;
  consistent = OffsetMs(r) == offset;
  return consistent ? r : ToMs(LocalToUtc(FromMs(local)));
}

// The latest grid point at or before the instant t.
std::int64_t FloorInstant(std::int64_t t, const Grid& g) {
  for (int pass = 0;; ++pass) {
    const std::int64_t offset = OffsetMs(t);
    const std::int64_t local = FloorGrid(t + offset, g);
    bool consistent = false;
    const std::int64_t r = InstantOf(local, offset, consistent);
    if (consistent || pass == 2) return std::min(r, t);
    if (!ShortGrid(g)) return r <= t ? r : local - offset;
    // The grid point lies before a change of the offset, and none after
    // it reaches t: the point sits in the time before the change.
    t = ChangeBetween(local - offset, t) - 1;
  }
}

// The earliest grid point at or after the instant t.
std::int64_t CeilInstant(std::int64_t t, const Grid& g) {
  for (int pass = 0;; ++pass) {
    const std::int64_t offset = OffsetMs(t);
    const std::int64_t local = CeilGrid(t + offset, g);
    bool consistent = false;
    const std::int64_t r = InstantOf(local, offset, consistent);
    if (consistent || pass == 2) return std::max(r, t);
    if (!ShortGrid(g)) return r >= t ? r : local - offset;
    // The offset changes before the grid point: the next point is the
    // first one under the new offset.
    t = ChangeBetween(t, local - offset);
  }
}

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

namespace {

// Every run of exactly `n` letters `c` outside quotes becomes `m` of them.
std::string ShortenRuns(const std::string& pattern, char c, std::size_t n, std::size_t m) {
  std::string out;
  bool quoted = false;
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '\'') quoted = !quoted;
    std::size_t run = 0;
    while (!quoted && i + run < pattern.size() && pattern[i + run] == c) ++run;
    if (run == 0) {
      out += pattern[i++];
      continue;
    }
    out.append(run == n ? m : run, c);
    i += run;
  }
  return out;
}

}  // namespace

TRtTimeFormats TRtTimeFormats::FromRegional(const TRegionalSettings& regional) {
  TRtTimeFormats f;
  f.day = ShortenRuns(ShortenRuns(ShortenRuns(regional.shortDateFormat, 'y', 4, 2), 'd', 2, 1), 'M', 2, 1);
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

const std::string& TRtTimeFormats::PatternFor(TRtTimeLabelFormat format, double rangeDays) const {
  switch (format) {
    case F::Millisecond:
      return millisecond;
    case F::Second:
      return second;
    case F::MinuteOrDayAndHour:
      return rangeDays > 1.0 ? dayAndHour : minute;
    case F::DayAndHour:
      return dayAndHour;
    case F::Day:
      return day;
    case F::LongMonth:
      return longMonth;
    case F::ShortMonth:
      return shortMonth;
    case F::Year:
      return year;
  }
  return day;
}

std::size_t ChooseTimeStep(double start, double stop, const TRtTimeStepFit& fit, const TRtTimeFormats& formats,
                           const TRegionalSettings& regional) {
  const auto& table = TimeStepCandidates();
  const double days = stop - start;
  const TDateTime stopLocal = UtcToLocal(stop);
  // Label widths by format, measured once per choice.
  double widths[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const TRtTimeStep& s = table[i];
    const double n = CountingLength(s, days);
    if (!(n < 1000.0)) continue;
    double& w = widths[static_cast<int>(s.format)];
    if (w < 0) {
      if (s.format == F::LongMonth || s.format == F::ShortMonth) {
        w = 1.5 * fit.measure("February 9999");
      } else {
        const std::string label = FormatDateTime(formats.PatternFor(s.format, days), stopLocal, regional);
        w = 1.6 * fit.fontSize * static_cast<double>(Utf8Length(label));
      }
    }
    const double k = std::floor(n + 0.5) + 1.0;
    if (k * 0.48 * w + (k - 1.0) * 120.0 * fit.labelDistanceFactor <= fit.lengthPixels) return i;
  }
  return table.size() - 1;
}

void RoundToTimeGrid(const TRtTimeStep& step, bool major, double& start, double& stop) {
  const Grid grid = major ? MajorGrid(step) : MinorGrid(step);
  start = FromMs(FloorInstant(ToMs(start), grid));
  stop = FromMs(CeilInstant(ToMs(stop), grid));
}

void BuildTimeTicks(const TRtTimeStep& s, double start, double stop, const TRtTimeFormats& formats,
                    const TRegionalSettings& regional, std::size_t maxTicks, std::vector<TRtTick>& out) {
  out.clear();
  const Grid minor = MinorGrid(s), major = MajorGrid(s);
  const std::string& pattern = formats.PatternFor(s.format, stop - start);
  const std::int64_t stopMs = ToMs(stop);
  std::int64_t t = CeilInstant(ToMs(start), minor);
  while (t <= stopMs && out.size() < maxTicks) {
    // The tick's local time decides whether it is major and labelled.
    const std::int64_t local = t + OffsetMs(t);
    TRtTick tick;
    tick.value = FromMs(t);
    tick.major = FloorGrid(local, major) == local;
    if (tick.major) {
      const DateTimeParts p = DecodeDateTime(FromMs(local));
      if (SubDay(s.unit)) {
        const std::int64_t ordinal = (local - DateMs(p.year, 1, 1)) / UnitMs(s.unit);
        tick.labelled = ordinal % s.labelStep == 0;
      } else if (s.region == U::Day) {
        // Every Sunday, or every second one counted from a fixed Sunday.
        const std::int64_t week = FloorDiv(FloorDiv(local, kMsPerDay) - 1, 7);
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
      tick.label = FormatDateTime(pattern, FromMs(local), regional);
      if (s.format == F::Millisecond) {
        // Up to two trailing zeros of the milliseconds are dropped.
        for (int k = 0; k < 2 && !tick.label.empty() && tick.label.back() == '0'; ++k) tick.label.pop_back();
      }
    }
    out.push_back(std::move(tick));
    const std::int64_t next = CeilInstant(t + 1, minor);
    if (next <= t) break;
    t = next;
  }
}

}  // namespace karvo
