// The system clock and the local time zone on POSIX systems.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "common/DateTime.h"
#include "common/Duration.h"
#include "common/LocalTime.h"
#include "common/Seams.h"

namespace karvo {
namespace {}

TDateTime seams::SystemUtcNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  return kUnixEpochDays + static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

TDateTime UtcToLocal(TDateTime utc) {
  if (!std::isfinite(utc)) return utc;
  const std::int64_t ms = std::llround((utc - kUnixEpochDays) * static_cast<double>(kMsPerDay));
  std::int64_t secs = ms / 1000;
  std::int64_t rest = ms % 1000;
  if (rest < 0) {
    rest += 1000;
    --secs;
  }
  const std::time_t t = static_cast<std::time_t>(secs);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return utc;
  DateTimeParts p;
  p.year = local.tm_year + 1900;
  p.month = local.tm_mon + 1;
  p.day = local.tm_mday;
  p.hour = local.tm_hour;
  p.minute = local.tm_min;
  p.second = local.tm_sec;
  p.millisecond = static_cast<int>(rest);
  return EncodeDateTime(p);
}

}  // namespace karvo
