// The local clock on POSIX systems.
#include <chrono>
#include <ctime>

#include "common/DateTime.h"
#include "common/Seams.h"

namespace karvo::seams {

TDateTime SystemNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&secs, &local);
  DateTimeParts p;
  p.year = local.tm_year + 1900;
  p.month = local.tm_mon + 1;
  p.day = local.tm_mday;
  p.hour = local.tm_hour;
  p.minute = local.tm_min;
  p.second = local.tm_sec;
  p.millisecond = static_cast<int>(ms % 1000);
  return EncodeDateTime(p);
}

}  // namespace karvo::seams
