// The system clock and the local time zone on Windows.
#include <windows.h>

#include <cmath>
#include <cstdint>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"

namespace karvo {
namespace {

SYSTEMTIME ToSystemTime(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t);
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(p.year);
  st.wMonth = static_cast<WORD>(p.month);
  st.wDay = static_cast<WORD>(p.day);
  st.wDayOfWeek = static_cast<WORD>(p.dayOfWeek);
  st.wHour = static_cast<WORD>(p.hour);
  st.wMinute = static_cast<WORD>(p.minute);
  st.wSecond = static_cast<WORD>(p.second);
  st.wMilliseconds = static_cast<WORD>(p.millisecond);
  return st;
}

TDateTime FromSystemTime(const SYSTEMTIME& st) {
  DateTimeParts p;
  p.year = st.wYear;
  p.month = st.wMonth;
  p.day = st.wDay;
  p.hour = st.wHour;
  p.minute = st.wMinute;
  p.second = st.wSecond;
  p.millisecond = st.wMilliseconds;
  return EncodeDateTime(p);
}

}  // namespace

TDateTime seams::SystemUtcNow() {
  SYSTEMTIME st;
  GetSystemTime(&st);
  return FromSystemTime(st);
}

TDateTime UtcToLocal(TDateTime utc) {
  // SYSTEMTIME covers the years 1601 to 30827.
  if (!std::isfinite(utc) || utc < -109205.0 || utc > 2958465.0) return utc;
  const SYSTEMTIME in = ToSystemTime(utc);
  SYSTEMTIME out;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &in, &out)) return utc;
  return FromSystemTime(out);
}

}  // namespace karvo
