#pragma once
// Spans of time: the milliseconds of a minute, an hour and a day, a span of
// days (as date-times count them) in whole milliseconds, and a span split
// into days, hours, minutes, seconds and milliseconds.

#include <cmath>
#include <cstdint>

namespace karvo {

inline constexpr std::int64_t kMsPerSecond = 1000;
inline constexpr std::int64_t kMsPerMinute = 60 * kMsPerSecond;
inline constexpr std::int64_t kMsPerHour = 60 * kMsPerMinute;
inline constexpr std::int64_t kMsPerDay = 24 * kMsPerHour;

// A span of days in whole milliseconds (rounded to the nearest). Every span
// the program meets lies far inside the range; anything else (NaN too) is
// pinned to it.
inline std::int64_t DaysToMs(double days) {
  constexpr double kLimit = 9.0e18;
  const double ms = days * static_cast<double>(kMsPerDay);
  if (!(ms > -kLimit)) return static_cast<std::int64_t>(-kLimit);
  if (!(ms < kLimit)) return static_cast<std::int64_t>(kLimit);
  return std::llround(ms);
}

// Milliseconds as a span of days.
inline double MsToDays(std::int64_t ms) { return static_cast<double>(ms) / static_cast<double>(kMsPerDay); }

// The magnitude of a span of milliseconds in its parts, and its sign.
struct TDurationParts {
  bool Negative = false;
  std::int64_t Days = 0;
  int Hours = 0;  // 0 to 23
  int Minutes = 0;
  int Seconds = 0;
  int Milliseconds = 0;
  // Hours counted on past a day (25 h 3 min is 25).
  std::int64_t TotalHours() const { return Days * 24 + Hours; }
};

inline TDurationParts SplitDuration(std::int64_t ms) {
  TDurationParts p;
  p.Negative = ms < 0;
  const std::int64_t m = p.Negative ? -ms : ms;
  p.Days = m / kMsPerDay;
  p.Hours = static_cast<int>(m % kMsPerDay / kMsPerHour);
  p.Minutes = static_cast<int>(m % kMsPerHour / kMsPerMinute);
  p.Seconds = static_cast<int>(m % kMsPerMinute / kMsPerSecond);
  p.Milliseconds = static_cast<int>(m % kMsPerSecond);
  return p;
}

}  // namespace karvo
