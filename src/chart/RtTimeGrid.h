#pragma once
// The time axis's calendar: its tick-step candidates, its label formats and
// the grid of ticks at whole local units.
//
// The values of a time axis are instants (days since 1899-12-30 UTC); what
// the operator reads is local time. Ticks therefore sit at whole units of
// local time (a day tick at local midnight, hour ticks at whole local
// hours) and carry local labels, also across a change of the local time's
// offset inside the range: where the clock went back an hour its hour is
// labelled twice, where it went forward the skipped hour has no tick.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Regional.h"

namespace karvo {

// Units of the time axis's label regions and ticks.
enum class TRtTimeUnit { Millisecond, Second, Minute, Hour, Day, Month, Year };
enum class TRtTimeLabelFormat {
  Millisecond,
  Second,
  MinuteOrDayAndHour,  // minute format, day-and-hour when the range exceeds a day
  DayAndHour,
  Day,
  LongMonth,
  ShortMonth,
  Year
};

// One candidate of the time axis's tick steps.
struct TRtTimeStep {
  TRtTimeUnit region;
  TRtTimeUnit unit;  // the tick unit; steps count in it
  int labelStep;
  int majorStep;
  int minorIncrement;
  TRtTimeLabelFormat format;
};

// The candidates in the order they are tried; the last one is the fallback.
const std::vector<TRtTimeStep>& TimeStepCandidates();

// The time axis's label formats, derived from the regional settings.
struct TRtTimeFormats {
  std::string day, minute, dayAndHour, second, millisecond;
  std::string longMonth = "MMMM yyyy";
  std::string shortMonth = "MMM yy";
  std::string year = "yyyy";
  // Day: the short date with "yyyy" -> "yy", "dd" -> "d", "MM" -> "M"
  // (runs of exactly that many letters: "MMM" stays a month name). Minute:
  // the short time without its seconds.
  static TRtTimeFormats FromRegional(const TRegionalSettings& regional);
  // The pattern of a label format for a range of `rangeDays`.
  const std::string& PatternFor(TRtTimeLabelFormat format, double rangeDays) const;
};

struct TRtTick {
  double value = 0.0;  // on the axis (an instant on a time axis)
  bool major = false;
  bool labelled = false;
  std::string label;
};

// What choosing a step needs to know of the axis.
struct TRtTimeStepFit {
  double lengthPixels = 500.0;
  double fontSize = 8.0;
  double labelDistanceFactor = 1.0;
  std::function<double(const std::string&)> measure;  // text width in pixels
};

// The first candidate whose labels fit on the axis for start .. stop.
std::size_t ChooseTimeStep(double start, double stop, const TRtTimeStepFit& fit, const TRtTimeFormats& formats,
                           const TRegionalSettings& regional);

// start down and stop up to the step's major (or minor) ticks.
void RoundToTimeGrid(const TRtTimeStep& step, bool major, double& start, double& stop);

// The ticks from start to stop with their labels (at most maxTicks).
void BuildTimeTicks(const TRtTimeStep& step, double start, double stop, const TRtTimeFormats& formats,
                    const TRegionalSettings& regional, std::size_t maxTicks, std::vector<TRtTick>& out);

}  // namespace karvo
