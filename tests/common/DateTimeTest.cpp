#include <gtest/gtest.h>

#include "common/DateTime.h"

using karvo::DateTimeParts;

TEST(DateTime, KnownDaysEncodeAndDecode) {
  struct Case {
    int y, m, d;
    double days;
    int dow;
  } cases[] = {
      {1899, 12, 30, 0.0, 6},     {1900, 1, 1, 2.0, 1},      {1970, 1, 1, 25569.0, 4},     {2000, 2, 29, 36585.0, 2},
      {2026, 12, 10, 46366.0, 4}, {100, 1, 1, -657434.0, 5}, {9999, 12, 31, 2958465.0, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(karvo::EncodeDate(c.y, c.m, c.d), c.days) << c.y << "-" << c.m << "-" << c.d;
    const DateTimeParts p = karvo::DecodeDateTime(c.days);
    EXPECT_EQ(p.year, c.y);
    EXPECT_EQ(p.month, c.m);
    EXPECT_EQ(p.day, c.d);
    EXPECT_EQ(p.dayOfWeek, c.dow) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(DateTime, TimeOfDayRoundsToTheMillisecond) {
  DateTimeParts in;
  in.year = 2026;
  in.month = 12;
  in.day = 10;
  in.hour = 23;
  in.minute = 59;
  in.second = 59;
  in.millisecond = 999;
  const DateTimeParts out = karvo::DecodeDateTime(karvo::EncodeDateTime(in));
  EXPECT_EQ(out.hour, 23);
  EXPECT_EQ(out.minute, 59);
  EXPECT_EQ(out.second, 59);
  EXPECT_EQ(out.millisecond, 999);
  // 2.5 hours short of a millisecond still reads 02:30:00.000
  EXPECT_EQ(karvo::FormatIsoDateTime(2.5 / 24 - 1e-10), "1899-12-30 02:30:00");
  // A negative date-time: its time of day counts forward from its day.
  EXPECT_EQ(karvo::FormatIsoDateTime(-1.25), "1899-12-28 18:00:00");
}
