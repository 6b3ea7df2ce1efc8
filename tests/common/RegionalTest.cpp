// Numbers and date-times written and read with the regional settings.

#include "common/Regional.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/DateTime.h"
#include "common/Seams.h"

namespace karvo {
namespace {

TRegionalSettings Comma() { return {.decimalSeparator = ",", .thousandSeparator = ".", .timeSeparator = "."}; }
const TRegionalSettings kPoint;
const TRegionalSettings kComma = Comma();

TEST(Regional, PatternsShowDigitsByThePicture) {
  struct Case {
    const char* pattern;
    double value;
    const char* point;  // expected under a decimal point
    const char* comma;  // expected under a decimal comma
  };
  const Case cases[] = {
      {"0.##", 1021.456, "1021.46", "1021,46"},
      {"0.##", 20, "20", "20"},
      {"0.##", 0.5, "0.5", "0,5"},
      {"0.##", 0.004, "0", "0"},
      {"0.##", -0.004, "0", "0"},  // no "-0"
      {"0.##", 99.999, "100", "100"},
      {"0.###", 0.75, "0.75", "0,75"},
      {"0.###", -0.0123, "-0.012", "-0,012"},
      {"0.###", 0.0125, "0.013", "0,013"},  // half away from zero
      {"0.0", 1021.25, "1021.3", "1021,3"},
      {"#.##", 0.5, ".5", ",5"},
      {"000", 7, "007", "007"},
      {"0.00", 2, "2.00", "2,00"},
      {"#,##0.00", 1234567.891, "1,234,567.89", "1.234.567,89"},
      {"0.00E+00", 12345, "1.23E+04", "1,23E+04"},
      {"0.0E-0", 0.00042, "4.2E-4", "4,2E-4"},
      {"0.## '\xC2\xBA"
       "C'",
       21.5,
       "21.5 \xC2\xBA"
       "C",
       "21,5 \xC2\xBA"
       "C"},
      {"0.#;(0.#);zero", -3.25, "(3.3)", "(3,3)"},
      {"0.#;(0.#);zero", 0.01, "zero", "zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FormatPattern(c.pattern, c.value, kPoint), c.point);
    EXPECT_EQ(FormatPattern(c.pattern, c.value, kComma), c.comma);
  }
}

TEST(Regional, GeneralAndFixedFormats) {
  struct Case {
    double value;
    int digits;  // -1: general format
    const char* text;
  };
  const Case cases[] = {
      {0, -1, "0"},
      {0.1 + 0.2, -1, "0.3"},
      {123456.789, -1, "123456.789"},
      {-2.5, -1, "-2.5"},
      {1000, -1, "1000"},
      {23.25, -1, "23.25"},
      {1e20, -1, "1E20"},
      {1.5e-7, -1, "1.5E-7"},
      {0.00001, -1, "0.00001"},
      {123456789012345.0, -1, "123456789012345"},
      {1234567890123456.0, -1, "1.23456789012346E15"},
      {3.14159, 2, "3.14"},
      {2.5, 0, "3"},
      {-0.001, 2, "0.00"},
      {-1.005, 1, "-1.0"},
      {7, 3, "7.000"},
      {2e15, 2, "2E15"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.digits < 0 ? FormatGeneral(c.value, kPoint) : FormatFixed(c.value, c.digits, kPoint), c.text);
  }
  EXPECT_EQ(FormatGeneral(-1234.5, kComma), "-1234,5");
  EXPECT_EQ(FormatGeneral(-1234.5), "-1234.5");  // diagnostics: always a point
  EXPECT_EQ(FormatGeneral(20.1f, 7), "20.1");
  EXPECT_EQ(FormatFixed(-1.25, 1, kComma), "-1,3");
  EXPECT_THROW(FormatGeneral(std::nan(""), kPoint), std::domain_error);
  EXPECT_THROW(FormatPattern("0.##", std::numeric_limits<double>::infinity(), kPoint), std::domain_error);
}

// Rounded up, the numbers next to the largest double would be written as
// numbers beyond it, which no box or label could read back.
TEST(Regional, NumbersNearTheLargestDoubleAreWrittenSoThatTheyReadBack) {
  const double largest = std::numeric_limits<double>::max();
  EXPECT_EQ(FormatGeneral(largest, kPoint), "1.79769313486231E308");
  EXPECT_EQ(FormatGeneral(-largest, kComma), "-1,79769313486231E308");
  EXPECT_EQ(FormatGeneral(1.7e308, kPoint, 1), "1E308");
  EXPECT_EQ(FormatGeneral(1.75e308, kPoint, 2), "1.7E308");
  EXPECT_EQ(FormatGeneral(1.4e308, kPoint, 1), "1E308");  // rounded down as ever
  EXPECT_EQ(FormatShort(largest, 6, kPoint), "1E308");
  EXPECT_EQ(FormatAxisNumber(largest, 1e307, kPoint), "1.7E308");
  for (const std::string& text :
       {FormatGeneral(largest, kPoint), FormatGeneral(largest, kPoint, 1), FormatPattern("0.##", largest, kPoint),
        FormatFixed(-largest, 2, kPoint), FormatShort(largest, 6, kPoint), FormatAxisNumber(largest, 1e307, kPoint)}) {
    SCOPED_TRACE(text);
    const std::optional<double> back = ParseFloat(text, kPoint);
    ASSERT_TRUE(back.has_value());
    EXPECT_GT(std::fabs(*back), 0.5 * largest);  // the digits it shows, cut
  }
}

TEST(Regional, ShortFormTakesAsManyDigitsAsFit) {
  EXPECT_EQ(FormatShort(3.14159265358979, 18, kPoint), "3.14159265358979");
  EXPECT_EQ(FormatShort(3.14159265358979, 6, kPoint), "3.1416");
  EXPECT_EQ(FormatShort(3.14159265358979, 3, kComma), "3,1");
  EXPECT_EQ(FormatShort(99.96, 4, kPoint), "100");
  EXPECT_EQ(FormatShort(-1.5e300, 8, kPoint), "-1.5E300");
  EXPECT_EQ(FormatShort(-1.5e300, 5, kPoint), "");  // not even "-2E300"
}

TEST(Regional, AxisNumbersStayCompact) {
  struct Case {
    double value, step;
    const char* text;
  };
  const Case cases[] = {
      {20, 10, "20"},
      {0.3, 0.1, "0.3"},
      {-7.5, 2.5, "-7.5"},  // the decimals of the step
      {12345678, 1e6, "12345678"},
      {1e300, 2e299, "1E300"},
      {4e38, 5e37, "4E38"},
      {3.4e38, 1e37, "3.4E38"},
      {-1.5e300, 5e299, "-1.5E300"},
      {123456789, 1, "1.2346E8"},  // as many digits as fit into 8 characters
      {1e-12, 1e-13, "1E-12"},
      {1e-25, 2e283, "0"},  // rounding noise of a huge scale
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string text = FormatAxisNumber(c.value, c.step, kPoint);
    EXPECT_EQ(text, c.text);
    EXPECT_LE(Utf8Length(text), static_cast<std::size_t>(kAxisLabelChars));
  }
  EXPECT_EQ(FormatAxisNumber(3.4e38, 1e37, kComma), "3,4E38");
}

TEST(Regional, DateTimePatterns) {
  const double t = EncodeDateTime({2024, 3, 5, 14, 7, 9, 250});
  struct Case {
    const char* pattern;
    const char* point;
    const char* comma;  // "." as time separator
  };
  const Case cases[] = {
      {"yyyy-MM-dd HH:mm:ss", "2024-03-05 14:07:09", "2024-03-05 14.07.09"},
      {"d.M.yy h:mm AP", "5.3.24 2:07 PM", "5.3.24 2.07 PM"},
      {"dddd d MMMM yyyy", "Tuesday 5 March 2024", "Tuesday 5 March 2024"},
      {"ddd MMM", "Tue Mar", "Tue Mar"},
      {"s.zzz 'o''clock'", "9.250 o'clock", "9.250 o'clock"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(FormatDateTime(c.pattern, t, kPoint), c.point);
    EXPECT_EQ(FormatDateTime(c.pattern, t, kComma), c.comma);
  }
}

TEST(Regional, ParsingFollowsTheRegionalSeparator) {
  struct Case {
    const char* text;
    bool comma;
    bool ok;
    double value;
  };
  const Case cases[] = {
      {"0.5", false, true, 0.5},  {"0.5", true, false, 0},         {"0,5", true, true, 0.5},
      {"0,5", false, false, 0},   {"-.5", false, true, -0.5},      {"+12", false, true, 12},
      {"1e3", false, true, 1000}, {"-2.5E-1", false, true, -0.25}, {" 2,5 ", true, true, 2.5},
      {"", false, false, 0},      {"-", false, false, 0},          {".", false, false, 0},
      {"1e", false, false, 0},    {"e3", false, false, 0},         {"1.2.3", false, false, 0},
      {"12-3", false, false, 0},  {"1e999", false, false, 0},      {"1,000", false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<double> value = ParseFloat(c.text, c.comma ? kComma : kPoint);
    EXPECT_EQ(value.has_value(), c.ok);
    if (c.ok && value) {
      EXPECT_EQ(*value, c.value);
    }
  }
}

TEST(Regional, WholeNumbersParseWithinThe32BitRange) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t value;
  };
  const Case cases[] = {
      {"12", true, 12},
      {"-12", true, -12},
      {"+5", true, 5},
      {"007", true, 7},
      {"2147483647", true, std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", true, std::numeric_limits<std::int32_t>::min()},
      {"2147483648", false, 0},
      {"99999999999999999999", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"12-", false, 0},
      {"12-3", false, 0},
      {" 12", false, 0},
      {"1.5", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<std::int32_t> value = ParseInteger(c.text);
    EXPECT_EQ(value.has_value(), c.ok);
    if (c.ok && value) {
      EXPECT_EQ(*value, c.value);
    }
  }
}

TEST(Regional, TheProgramsSettingsAreInstalledAndRestored) {
  EXPECT_EQ(Regional().decimalSeparator, ".");
  {
    seams::Scoped<TRegionalSettings> pinned(SetRegional, Comma());
    EXPECT_EQ(Regional().decimalSeparator, ",");
    EXPECT_EQ(FormatFixed(0.5, 1, Regional()), "0,5");
  }
  EXPECT_EQ(Regional().decimalSeparator, ".");
}

}  // namespace
}  // namespace karvo
