// The number texts of the edit boxes: patterns, the general and fixed
// formats, shortening, and parsing with the regional decimal separator.

#include <gtest/gtest.h>

#include <QLocale>
#include <QString>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "chart/RtFloatEdit.h"
#include "chart/RtIntegerEdit.h"

namespace {

using karvo::FloatToStrFixed;
using karvo::FloatToStrGeneral;
using karvo::FloatToStrShort;
using karvo::FormatFloat;
using karvo::ParseFloat;

const QLocale kPoint(QLocale::English, QLocale::UnitedStates);
const QLocale kComma(QLocale::German, QLocale::Germany);

struct PatternCase {
  const char* pattern;
  double value;
  const char* point;  // expected under a decimal point
  const char* comma;  // expected under a decimal comma
};

TEST(NumberFormat, PatternsShowDigitsByThePicture) {
  const PatternCase cases[] = {
      {"0.##", 1021.456, "1021.46", "1021,46"},
      {"0.##", 20, "20", "20"},
      {"0.##", 0.5, "0.5", "0,5"},
      {"0.##", 0.004, "0", "0"},
      {"0.##", -0.004, "0", "0"},  // no "-0"
      {"0.##", 99.999, "100", "100"},
      {"0.###", 0.75, "0.75", "0,75"},
      {"0.###", -0.0123, "-0.012", "-0,012"},
      {"0.###", 0.0125, "0.013", "0,013"},  // half away from zero
      {"#.##", 0.5, ".5", ",5"},
      {"000", 7, "007", "007"},
      {"0.00", 2, "2.00", "2,00"},
      {"#,##0.00", 1234567.891, "1,234,567.89", "1.234.567,89"},
      {"0.00E+00", 12345, "1.23E+04", "1,23E+04"},
      {"0.0E-0", 0.00042, "4.2E-4", "4,2E-4"},
      {"0.## 'ºC'", 21.5, "21.5 ºC", "21,5 ºC"},
      {"0.#;(0.#);zero", -3.25, "(3.3)", "(3,3)"},
      {"0.#;(0.#);zero", 0.01, "zero", "zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    SCOPED_TRACE(c.value);
    EXPECT_EQ(FormatFloat(QString::fromUtf8(c.pattern), c.value, kPoint), QString::fromUtf8(c.point));
    EXPECT_EQ(FormatFloat(QString::fromUtf8(c.pattern), c.value, kComma), QString::fromUtf8(c.comma));
  }
}

TEST(NumberFormat, GeneralAndFixedFormats) {
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
    const QString text =
        c.digits < 0 ? FloatToStrGeneral(c.value, 15, kPoint) : FloatToStrFixed(c.value, c.digits, kPoint);
    EXPECT_EQ(text, QString::fromLatin1(c.text));
  }
  EXPECT_EQ(FloatToStrGeneral(-1234.5, 15, kComma), QStringLiteral("-1234,5"));
  EXPECT_THROW(FloatToStrGeneral(std::nan(""), 15, kPoint), std::domain_error);
  EXPECT_THROW(FormatFloat(QStringLiteral("0.##"), std::numeric_limits<double>::infinity(), kPoint), std::domain_error);
}

TEST(NumberFormat, ShortFormTakesAsManyDigitsAsFit) {
  EXPECT_EQ(FloatToStrShort(3.14159265358979, 18, kPoint), QStringLiteral("3.14159265358979"));
  EXPECT_EQ(FloatToStrShort(3.14159265358979, 6, kPoint), QStringLiteral("3.1416"));
  EXPECT_EQ(FloatToStrShort(3.14159265358979, 3, kPoint), QStringLiteral("3.1"));
  EXPECT_EQ(FloatToStrShort(99.96, 4, kPoint), QStringLiteral("100"));
  EXPECT_EQ(FloatToStrShort(-1.5e300, 8, kPoint), QStringLiteral("-1.5E300"));
  EXPECT_EQ(FloatToStrShort(-1.5e300, 5, kPoint), QString());  // not even "-2E300"
}

TEST(NumberFormat, ParsingFollowsTheRegionalSeparator) {
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
    double value = -99;
    EXPECT_EQ(ParseFloat(QString::fromLatin1(c.text), c.comma ? kComma : kPoint, value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : -99);
  }
}

TEST(NumberFormat, WholeNumbersParseWithinThe32BitRange) {
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
    std::int32_t value = -99;
    EXPECT_EQ(karvo::TRtIntegerEdit::ParseInteger(QString::fromLatin1(c.text), value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : -99);
  }
}

}  // namespace
