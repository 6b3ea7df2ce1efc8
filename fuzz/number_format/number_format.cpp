// Numbers as the program writes them for the operator: the edit boxes'
// display (general, fixed, the "0.##" and "0.###" patterns, shortened to
// fit), the chart's axis labels and its time labels. Any double, any
// regional settings, any pattern: no crash; a number that is not finite is
// refused with std::domain_error; and what a format promises holds when the
// text is read back: the general format keeps 15 significant digits exactly
// as the C library rounds them (cut instead where that would go beyond the
// largest double), the others keep their decimals or digits,
// shortened texts and axis labels keep to their length, and a date-time
// comes back to the millisecond.
//
// Input: the regional settings' byte (fuzz/FuzzRegional.h), the number
// (eight bytes, any bit pattern), precision, decimals and width, an axis
// step and a date-time (eight bytes each), then the regional short date,
// short time and long time formats and a number pattern, each a length
// byte and its bytes.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "chart/RtTimeGrid.h"
#include "common/DateTime.h"
#include "common/Regional.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzRegional.h"

using karvo::TRegionalSettings;
using karvo::fuzz::Input;

namespace {

double AnyDouble(Input& in) {
  const std::uint64_t bits = in.LongLong();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

std::string Text(Input& in, std::size_t most) {
  const std::vector<std::uint8_t> bytes = in.Bytes(in.Byte() % (most + 1));
  return std::string(bytes.begin(), bytes.end());
}

// The C library's 15 significant digits of v, and its decimal exponent.
struct CDigits {
  double rounded;
  int exponent;
};
CDigits Reference15(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", v);
  return {std::strtod(buf, nullptr), std::atoi(std::strchr(buf, 'e') + 1)};
}

// How far a text read back may be from v when it shows digits down to the
// power `lowest` of ten: half a unit there, the 15-digit rounding the
// program does first, and the reading's own rounding.
double Tolerance(double v, int lowest) {
  const int exponent = Reference15(v).exponent;
  // Next to the largest double the digits are cut rather than rounded up.
  const double unit = exponent >= 308 ? 1.0 : 0.5;
  return unit * std::pow(10.0, lowest) * (1 + 1e-12) + std::pow(10.0, exponent - 14) + std::fabs(v) * 1e-15 +
         2 * std::numeric_limits<double>::denorm_min();
}

template <class F>
void CheckRefused(F format) {
  bool refused = false;
  try {
    format();
  } catch (const std::domain_error&) {
    refused = true;
  }
  FUZZ_CHECK(refused);
}

// Read back with the settings it was written with.
double ReadBack(const std::string& text, const TRegionalSettings& r) {
  const std::optional<double> v = karvo::ParseFloat(text, r);
  FUZZ_CHECK(v.has_value());
  return *v;
}

// "-"? digits (separator digits)? with the decimals a format allows.
bool FixedShape(const std::string& text, const std::string& sep, int minDecimals, int maxDecimals) {
  std::size_t i = text[0] == '-' ? 1 : 0;
  const std::size_t wholeStart = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  if (i == wholeStart) return false;
  int decimals = 0;
  if (i < text.size()) {
    if (text.compare(i, sep.size(), sep) != 0) return false;
    i += sep.size();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++decimals;
    if (i != text.size() || decimals == 0) return false;
  }
  // No "-0": a negative sign only before a digit that is not zero.
  if (text[0] == '-' && text.find_first_of("123456789") == std::string::npos) return false;
  return decimals >= minDecimals && decimals <= maxDecimals;
}

void CheckFinite(double v, int precision, int decimals, int width, double step, const karvo::fuzz::FuzzedRegional& fr,
                 const std::string& pattern) {
  const TRegionalSettings& r = fr.settings;
  const std::string general = karvo::FormatGeneral(v, r);
  const std::string generalP = karvo::FormatGeneral(v, r, precision);
  const std::string fixed = karvo::FormatFixed(v, decimals, r);
  const std::string two = karvo::FormatPattern("0.##", v, r);
  const std::string three = karvo::FormatPattern("0.###", v, r);
  const std::string shortened = karvo::FormatShort(v, width, r);
  const std::string axis = karvo::FormatAxisNumber(v, step, r);
  karvo::FormatPattern(pattern, v, r);
  if (!fr.usual) return;

  const CDigits c = Reference15(v);
  if (std::isfinite(c.rounded)) {
    FUZZ_CHECK(ReadBack(general, r) == c.rounded);
  } else {
    FUZZ_CHECK(std::fabs(ReadBack(general, r) - v) <= Tolerance(v, c.exponent - 14));
  }
  FUZZ_CHECK(std::fabs(ReadBack(generalP, r) - v) <= Tolerance(v, c.exponent - precision + 1));

  const int kept = decimals < 0 ? 0 : decimals > 18 ? 18 : decimals;
  if (std::fabs(v) >= 1e15) {
    FUZZ_CHECK(fixed == general);
  } else {
    FUZZ_CHECK(FixedShape(fixed, r.decimalSeparator, kept, kept));
    FUZZ_CHECK(std::fabs(ReadBack(fixed, r) - v) <= Tolerance(v, -kept));
  }
  FUZZ_CHECK(FixedShape(two, r.decimalSeparator, 0, 2));
  FUZZ_CHECK(std::fabs(ReadBack(two, r) - v) <= Tolerance(v, -2));
  FUZZ_CHECK(FixedShape(three, r.decimalSeparator, 0, 3));
  FUZZ_CHECK(std::fabs(ReadBack(three, r) - v) <= Tolerance(v, -3));
  // No trailing zeros among the pattern's optional decimals.
  for (const std::string* t : {&two, &three}) {
    if (t->find(r.decimalSeparator) != std::string::npos) FUZZ_CHECK(t->back() != '0');
  }

  if (shortened.empty()) {
    FUZZ_CHECK(static_cast<int>(karvo::Utf8Length(karvo::FormatGeneral(v, r, 1))) > width);
  } else {
    FUZZ_CHECK(static_cast<int>(karvo::Utf8Length(shortened)) <= width);
    FUZZ_CHECK(std::fabs(ReadBack(shortened, r) - v) <= Tolerance(v, c.exponent));
  }

  FUZZ_CHECK(karvo::Utf8Length(axis) <= static_cast<std::size_t>(karvo::kAxisLabelChars));
  const double label = ReadBack(axis, r);
  if (label != 0) FUZZ_CHECK((label < 0) == (v < 0));
}

void CheckDateTime(double t, const TRegionalSettings& r, const std::string& pattern) {
  const karvo::TRtTimeFormats formats = karvo::TRtTimeFormats::FromRegional(r);
  for (const std::string* p : {&formats.day, &formats.minute, &formats.dayAndHour, &formats.second,
                               &formats.millisecond, &formats.longMonth, &formats.shortMonth, &formats.year, &pattern})
    karvo::FormatDateTime(*p, t, r);

  if (!(t >= karvo::EncodeDate(100, 1, 1) && t < karvo::EncodeDate(9999, 12, 31) + 1)) return;
  TRegionalSettings plain;
  const std::string text = karvo::FormatDateTime("yyyy-MM-dd HH:mm:ss.zzz", t, plain);
  karvo::DateTimeParts p;
  FUZZ_CHECK(std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second,
                         &p.millisecond) == 7);
  const double back = karvo::EncodeDateTime(p);
  FUZZ_CHECK(std::fabs(back - t) <= 0.5001 / karvo::kSecondsPerDay / 1000.0 + std::fabs(t) * 1e-15);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  karvo::fuzz::FuzzedRegional regional = karvo::fuzz::RegionalFrom(in);
  const double v = AnyDouble(in);
  const int precision = 1 + in.Byte() % 15;
  const int decimals = static_cast<std::int8_t>(in.Byte());
  const int width = in.Byte() % 25;
  const double step = AnyDouble(in);
  const double t = AnyDouble(in);
  regional.settings.shortDateFormat = Text(in, 15);
  regional.settings.shortTimeFormat = Text(in, 15);
  regional.settings.longTimeFormat = Text(in, 15);
  const std::string pattern = Text(in, 31);
  const TRegionalSettings& r = regional.settings;

  if (std::isfinite(v)) {
    CheckFinite(v, precision, decimals, width, step, regional, pattern);
  } else {
    CheckRefused([&] { karvo::FormatGeneral(v, r, precision); });
    CheckRefused([&] { karvo::FormatFixed(v, decimals, r); });
    CheckRefused([&] { karvo::FormatPattern("0.##", v, r); });
    CheckRefused([&] { karvo::FormatShort(v, width, r); });
    CheckRefused([&] { karvo::FormatAxisNumber(v, step, r); });
  }
  CheckDateTime(t, r, pattern);
  return 0;
}
