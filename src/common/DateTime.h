#pragma once
// Conversions between TDateTime and calendar fields.

#include <optional>
#include <string>
#include <string_view>

#include "common/Types.h"

namespace karvo {

struct DateTimeParts {
  int year = 1899, month = 12, day = 30;  // month 1..12, day 1..31
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 6;  // 0 = Sunday .. 6 = Saturday
};

// Exact calendar arithmetic (proleptic Gregorian), valid for the whole range
// 0100-01-01 .. 9999-12-31. Decoding rounds to the nearest millisecond.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(const DateTimeParts& p);
DateTimeParts DecodeDateTime(TDateTime t);

// "yyyy-mm-dd hh:nn:ss", or with `timeSeparator` in place of ":" (the run
// files' names use ".").
std::string FormatIsoDateTime(TDateTime t, char timeSeparator = ':');

// Reads "yyyy-mm-dd hh<sep>nn<sep>ss", all of `text`: four, two and two
// digits of the date, two each of the time, with `timeSeparator` or, when it
// is not empty, `otherSeparator` as <sep>. None for anything else and for a
// date-time that does not exist or lies outside 0100-01-01 ..
// 9999-12-31 23:59:59. The parts' millisecond is 0 and their dayOfWeek is
// not set (EncodeDateTime does not use it). Fast enough for a file of
// millions of such lines.
std::optional<DateTimeParts> ParseIsoDateTime(std::string_view text, std::string_view timeSeparator,
                                              std::string_view otherSeparator = {});

}  // namespace karvo
