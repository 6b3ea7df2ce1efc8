#include "chart/RtRegionalSettings.h"

#include <cmath>
#include <cstdio>

#include "common/DateTime.h"

namespace karvo {

namespace {

std::string Pad(int value, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*d", digits, value);
  return buf;
}

// Length of the run of `c` starting at text[i].
std::size_t RunLength(const std::string& text, std::size_t i, char c) {
  std::size_t n = 0;
  while (i + n < text.size() && text[i + n] == c) ++n;
  return n;
}

}  // namespace

std::string FormatDateTimePattern(const std::string& pattern, TDateTime t, const TRtRegionalSettings& regional) {
  const DateTimeParts p = DecodeDateTime(t);
  const bool twelveHour = pattern.find("AP") != std::string::npos || pattern.find("ap") != std::string::npos;
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      // Quoted literal; '' inside or outside stands for one quote.
      std::size_t j = i + 1;
      if (j < pattern.size() && pattern[j] == '\'') {
        out += '\'';
        i = j + 1;
        continue;
      }
      while (j < pattern.size()) {
        if (pattern[j] == '\'') {
          if (j + 1 < pattern.size() && pattern[j + 1] == '\'') {
            out += '\'';
            j += 2;
            continue;
          }
          break;
        }
        out += pattern[j++];
      }
      i = j + 1;
      continue;
    }
    const std::size_t n = RunLength(pattern, i, c);
    switch (c) {
      case 'd':
        if (n >= 4)
          out += regional.longDayNames[static_cast<std::size_t>(p.dayOfWeek)];
        else if (n == 3)
          out += regional.shortDayNames[static_cast<std::size_t>(p.dayOfWeek)];
        else
          out += Pad(p.day, static_cast<int>(n));
        break;
      case 'M':
        if (n >= 4)
          out += regional.longMonthNames[static_cast<std::size_t>(p.month - 1)];
        else if (n == 3)
          out += regional.shortMonthNames[static_cast<std::size_t>(p.month - 1)];
        else
          out += Pad(p.month, static_cast<int>(n));
        break;
      case 'y':
        if (n >= 3)
          out += Pad(p.year, 4);
        else
          out += Pad(p.year % 100, 2);
        break;
      case 'h':
      case 'H': {
        int hour = p.hour;
        if (twelveHour) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        out += Pad(hour, n >= 2 ? 2 : 1);
        break;
      }
      case 'm':
        out += Pad(p.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        out += Pad(p.second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        out += n >= 3 ? Pad(p.millisecond, 3) : std::to_string(p.millisecond);
        break;
      case 'A':
      case 'a':
        if (i + 1 < pattern.size() && (pattern[i + 1] == 'P' || pattern[i + 1] == 'p')) {
          const bool am = p.hour < 12;
          out += c == 'A' ? (am ? "AM" : "PM") : (am ? "am" : "pm");
          i += 2;
          continue;
        }
        out.append(n, c);
        break;
      case ':':
        for (std::size_t k = 0; k < n; ++k) out += regional.timeSeparator;
        break;
      default:
        out.append(n, c);
        break;
    }
    i += n;
  }
  return out;
}

std::string FormatFixed(double value, int decimals, const TRtRegionalSettings& regional) {
  if (decimals < 0) decimals = 0;
  if (decimals > 15) decimals = 15;
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  // "-0", "-0.00": no sign for a value that shows as zero.
  if (!s.empty() && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  const auto dot = s.find('.');
  if (dot != std::string::npos) s.replace(dot, 1, regional.decimalSeparator);
  return s;
}

std::size_t Utf8Length(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace karvo
