#pragma once
// Types shared by every layer of the program.

#include <cstdint>

namespace karvo {

// A point in time as the program counts it: days since 1899-12-30 00:00,
// the fraction being the time of day (1/24 = one hour). An instant (UtcNow,
// the time stamps the program keeps) counts from midnight UTC; a local date
// and time (Now, what a person reads) from local midnight (common/LocalTime.h).
using TDateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kMinutesPerDay = 1440.0;
inline constexpr double kHoursPerDay = 24.0;

// Days between 1899-12-30 and the Unix epoch 1970-01-01.
inline constexpr double kUnixEpochDays = 25569.0;

}  // namespace karvo
