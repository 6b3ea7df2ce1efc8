#include "common/LocalTime.h"

#include <cmath>

namespace karvo {

TDateTime UtcOffset(TDateTime utc) {
  // Offsets are whole minutes; rounding removes the floating-point noise of
  // the subtraction.
  return std::round((UtcToLocal(utc) - utc) * kMinutesPerDay) / kMinutesPerDay;
}

TDateTime LocalToUtc(TDateTime local, bool later) {
  // A zone changes its offset at most once within two days, so the offsets
  // one day before and after are the only candidates.
  const TDateTime before = local - UtcOffset(local - 1.0);
  const TDateTime after = local - UtcOffset(local + 1.0);
  constexpr double oneMs = 1.0 / (kSecondsPerDay * 1000.0);
  const bool beforeFits = std::fabs(UtcToLocal(before) - local) < oneMs;
  const bool afterFits = std::fabs(UtcToLocal(after) - local) < oneMs;
  if (beforeFits && afterFits) return later ? std::fmax(before, after) : std::fmin(before, after);
  if (afterFits) return after;
  return before;  // fits, or the local time was skipped
}

}  // namespace karvo
