#pragma once
// Conversions between TDateTime and calendar fields.

#include <string>

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

// "yyyy-mm-dd hh:nn:ss"
std::string FormatIsoDateTime(TDateTime t);

}  // namespace karvo
