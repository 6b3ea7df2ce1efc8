#pragma once
// Tests under a time zone with daylight saving time: Europe/Tallinn (EET,
// UTC+2 in winter, EEST, UTC+3 in summer; the changes at 01:00 UTC on the
// last Sundays of March and October). The zone is set for the test and
// restored afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "common/DateTime.h"

namespace karvo::test {

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
  // A UTC instant.
  static double Utc(int y, int mo, int d, int h, int mi = 0, int s = 0) {
    return EncodeDateTime({.year = y, .month = mo, .day = d, .hour = h, .minute = mi, .second = s});
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace karvo::test
