#include "common/DateTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "common/Duration.h"

namespace karvo {
namespace {

// Days from 1970-01-01 to y-m-d (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

// `count` decimal digits at text[at].
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

TDateTime EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))) +
         kUnixEpochDays;
}

TDateTime EncodeDateTime(const DateTimeParts& p) {
  const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  return EncodeDate(p.year, p.month, p.day) + ms / (kSecondsPerDay * 1000.0);
}

DateTimeParts DecodeDateTime(TDateTime t) {
  // Whole milliseconds since 1899-12-30; the time of day of a negative
  // date-time counts forward from its day like the positive ones.
  const int64_t totalMs = std::llround(t * kSecondsPerDay * 1000.0);
  int64_t day = totalMs / kMsPerDay;
  int64_t msOfDay = totalMs % kMsPerDay;
  if (msOfDay < 0) {
    msOfDay += kMsPerDay;
    --day;
  }
  DateTimeParts p;
  const int64_t unixDay = day - static_cast<int64_t>(kUnixEpochDays);
  CivilFromDays(unixDay, p.year, p.month, p.day);
  p.dayOfWeek = static_cast<int>(((unixDay % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  const TDurationParts time = SplitDuration(msOfDay);
  p.hour = time.Hours;
  p.minute = time.Minutes;
  p.second = time.Seconds;
  p.millisecond = time.Milliseconds;
  return p;
}

std::string FormatIsoDateTime(TDateTime t, char timeSeparator) {
  const DateTimeParts p = DecodeDateTime(t);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d%c%02d%c%02d", p.year, p.month, p.day, p.hour, timeSeparator,
                p.minute, timeSeparator, p.second);
  return buf;
}

std::optional<DateTimeParts> ParseIsoDateTime(std::string_view text, std::string_view timeSeparator,
                                              std::string_view otherSeparator) {
  DateTimeParts p;
  if (text.size() < 16 || !Digits(text, 0, 4, p.year) || text[4] != '-' || !Digits(text, 5, 2, p.month) ||
      text[7] != '-' || !Digits(text, 8, 2, p.day) || text[10] != ' ' || !Digits(text, 11, 2, p.hour))
    return std::nullopt;
  std::size_t at = 13;
  const auto skipSeparator = [&] {
    for (const std::string_view separator : {timeSeparator, otherSeparator}) {
      if (!separator.empty() && text.compare(at, separator.size(), separator) == 0) {
        at += separator.size();
        return true;
      }
    }
    return false;
  };
  if (!skipSeparator() || !Digits(text, at, 2, p.minute)) return std::nullopt;
  at += 2;
  if (!skipSeparator() || !Digits(text, at, 2, p.second) || at + 2 != text.size()) return std::nullopt;
  if (p.year < 100 || p.month < 1 || p.month > 12 || p.day < 1 || p.day > DaysInMonth(p.year, p.month) || p.hour > 23 ||
      p.minute > 59 || p.second > 59)
    return std::nullopt;
  return p;
}

}  // namespace karvo
