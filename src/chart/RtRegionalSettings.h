#pragma once
// The user's regional settings as the chart uses them: decimal and time
// separators, date and time formats, month names. A plain value, so that
// the model never asks the system: the Qt shell fills one from the system
// locale, tests pin their own.

#include <array>
#include <string>

#include "common/Types.h"

namespace karvo {

// Date-time patterns (UTF-8):
//   d dd ddd dddd   day of month / abbreviated and full day name
//   M MM MMM MMMM   month number / abbreviated and full month name
//   yy yyyy         year
//   h hh H HH       hour (24-hour clock unless the pattern has AP or ap)
//   m mm  s ss      minute, second
//   z zzz           milliseconds (zzz: three digits)
//   AP ap           AM/PM marker
//   :               the regional time separator
//   '...'           literal text ('' is a quote)
// Every other character stands for itself.
struct TRtRegionalSettings {
  std::string decimalSeparator = ".";
  std::string timeSeparator = ":";
  std::string shortDateFormat = "dd.MM.yyyy";
  std::string shortTimeFormat = "HH:mm";
  std::string longTimeFormat = "HH:mm:ss";
  std::array<std::string, 12> longMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
  std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 7> longDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
};

// `t` written with `pattern` (see above).
std::string FormatDateTimePattern(const std::string& pattern, TDateTime t, const TRtRegionalSettings& regional);

// `value` with exactly `decimals` digits after the regional decimal
// separator (0 decimals: no separator); "-0" is written as "0".
std::string FormatFixed(double value, int decimals, const TRtRegionalSettings& regional);

// Number of characters (not bytes) of UTF-8 text.
std::size_t Utf8Length(const std::string& text);

}  // namespace karvo
