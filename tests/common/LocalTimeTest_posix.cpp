// Local time under a zone with daylight saving time (Europe/Tallinn: EET,
// UTC+2 in winter, EEST, UTC+3 in summer; the changes at 01:00 UTC on the
// last Sundays of March and October).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "common/DateTime.h"
#include "common/LocalTime.h"

namespace karvo {
namespace {

class Tallinn : public ::testing::Test {
 protected:
  Tallinn() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    setenv("TZ", "Europe/Tallinn", 1);
    tzset();
  }
  ~Tallinn() override {
    if (saved_)
      setenv("TZ", saved_->c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  static TDateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
    return EncodeDateTime({.year = y, .month = mo, .day = d, .hour = h, .minute = mi, .second = s});
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(Tallinn, InstantsBecomeLocalTimeWithTheOffsetOfTheirSeason) {
  struct Case {
    TDateTime utc, local;
  } cases[] = {
      {At(2024, 3, 5, 12, 7, 9), At(2024, 3, 5, 14, 7, 9)},                            // winter, +2
      {At(2024, 7, 1, 21, 30), At(2024, 7, 2, 0, 30)},                                 // summer, +3, next day
      {At(2024, 12, 31, 22, 0), At(2025, 1, 1, 0, 0)},                                 // across the year
      {At(2024, 3, 31, 0, 59, 59), At(2024, 3, 31, 2, 59, 59)},                        // last second of winter time
      {At(2024, 3, 31, 1, 0), At(2024, 3, 31, 4, 0)},                                  // 03:00 is skipped
      {At(2024, 10, 27, 0, 59, 59), At(2024, 10, 27, 3, 59, 59)},                      // last second of summer time
      {At(2024, 10, 27, 1, 0), At(2024, 10, 27, 3, 0)},                                // 03:00 again
      {At(2024, 10, 27, 1, 0) + 0.25 / 86400, At(2024, 10, 27, 3, 0) + 0.25 / 86400},  // milliseconds kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatIsoDateTime(UtcToLocal(c.utc)), FormatIsoDateTime(c.local)) << FormatIsoDateTime(c.utc);
    EXPECT_NEAR(UtcToLocal(c.utc), c.local, 1e-9);
  }
  EXPECT_DOUBLE_EQ(UtcOffset(At(2024, 3, 5, 12, 0)) * 24, 2.0);
  EXPECT_DOUBLE_EQ(UtcOffset(At(2024, 7, 5, 12, 0)) * 24, 3.0);
}

TEST_F(Tallinn, LocalTimeBackToTheInstant) {
  // Ordinary times have one instant.
  EXPECT_NEAR(LocalToUtc(At(2024, 3, 5, 14, 7, 9)), At(2024, 3, 5, 12, 7, 9), 1e-9);
  EXPECT_NEAR(LocalToUtc(At(2024, 7, 2, 0, 30), true), At(2024, 7, 1, 21, 30), 1e-9);
  // 03:30 on the last Sunday of October happens twice.
  EXPECT_NEAR(LocalToUtc(At(2024, 10, 27, 3, 30)), At(2024, 10, 27, 0, 30), 1e-9);
  EXPECT_NEAR(LocalToUtc(At(2024, 10, 27, 3, 30), true), At(2024, 10, 27, 1, 30), 1e-9);
  // 03:30 on the last Sunday of March never happens: read with winter time.
  EXPECT_NEAR(LocalToUtc(At(2024, 3, 31, 3, 30)), At(2024, 3, 31, 1, 30), 1e-9);
}

}  // namespace
}  // namespace karvo
