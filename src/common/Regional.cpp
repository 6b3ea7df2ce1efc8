#include "common/Regional.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "common/DateTime.h"

namespace karvo {

namespace {

std::mutex& RegionalMutex() {
  static std::mutex m;
  return m;
}
TRegionalSettings& Installed() {
  static TRegionalSettings settings;
  return settings;
}
const TRegionalSettings& Defaults() {
  static const TRegionalSettings defaults;
  return defaults;
}

// The significant digits a double holds reliably; numbers are written with
// at most these.
constexpr int kSignificantDigits = 15;

// A finite non-negative number as decimal digits: value = 0.d1d2d3... x
// 10^point. No leading or trailing zeros in `digits`; empty for zero.
struct Decimal {
  std::string digits;
  int point = 0;

  bool IsZero() const { return digits.empty(); }

  void StripTrailingZeros() {
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
  }

  // A number rounded up beyond the largest double would be written as one
  // that cannot be read back (1.79769313486232E308, 2E308): from there on
  // the first `keep` digits are cut instead (1.79769313486231E308, 1E308).
  void NotBeyondLargestDouble(int keep) {
    // The largest double is 0.17976931348623157081452742373170435... x 10^309.
    static constexpr std::string_view kLargest = "17976931348623157081452742373170435";
    constexpr int kLargestPoint = 309;
    if (point < kLargestPoint) return;
    std::string padded = digits;
    padded.resize(std::max(padded.size(), kLargest.size()), '0');
    if (point == kLargestPoint && padded <= kLargest) return;
    digits = kLargest.substr(0, static_cast<std::size_t>(std::clamp(keep, 0, kSignificantDigits)));
    point = kLargestPoint;
    StripTrailingZeros();
  }

  // Keeps the first `keep` digits, rounding half away from zero.
  void RoundAt(int keep) {
    if (keep >= static_cast<int>(digits.size())) return;
    if (keep < 0) {
      digits.clear();
      return;
    }
    const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
      int i = keep - 1;
      while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') {
        digits[static_cast<std::size_t>(i)] = '0';
        --i;
      }
      if (i < 0) {
        digits.insert(digits.begin(), '1');
        ++point;
      } else {
        ++digits[static_cast<std::size_t>(i)];
      }
    }
    StripTrailingZeros();
    NotBeyondLargestDouble(keep);
  }

  void RoundToSignificant(int count) { RoundAt(count); }
  void RoundToDecimals(int decimals) { RoundAt(point + decimals); }

  // The whole part's digits, empty when it is zero.
  std::string WholeDigits() const {
    if (point <= 0) return {};
    std::string whole = digits.substr(0, std::min(digits.size(), static_cast<std::size_t>(point)));
    whole.append(static_cast<std::size_t>(point) - whole.size(), '0');
    return whole;
  }

  // The first `count` digits after the decimal point.
  std::string FractionDigits(int count) const {
    std::string fraction;
    for (int j = 1; j <= count; ++j) {
      const int index = point - 1 + j;
      fraction +=
          (index >= 0 && index < static_cast<int>(digits.size())) ? digits[static_cast<std::size_t>(index)] : '0';
    }
    return fraction;
  }

  int SignificantDecimals() const { return std::max(0, static_cast<int>(digits.size()) - point); }
};

// |v| to 15 significant digits.
Decimal Decompose(double v) {
  if (!std::isfinite(v)) throw std::domain_error("number is not finite");
  Decimal d;
  if (v == 0) return d;
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific, 14);
  // d.ddddddddddddddde[+-]xx
  const char* e = std::find(buffer, result.ptr, 'e');
  d.digits.assign(1, buffer[0]);
  d.digits.append(buffer + 2, static_cast<std::size_t>(e - (buffer + 2)));
  const char* exponent = e + 1;
  const bool negative = *exponent == '-';
  if (*exponent == '+' || negative) ++exponent;
  int magnitude = 0;
  std::from_chars(exponent, result.ptr, magnitude);
  d.point = (negative ? -magnitude : magnitude) + 1;
  d.StripTrailingZeros();
  d.NotBeyondLargestDouble(kSignificantDigits);
  return d;
}

// d0[.d1d2...]E<exponent>, the digits as they stand.
std::string ScientificOf(const Decimal& d, bool negative, const std::string& separator) {
  std::string text = negative ? "-" : "";
  text += d.digits[0];
  if (d.digits.size() > 1) text += separator + d.digits.substr(1);
  return text + "E" + std::to_string(d.point - 1);
}

std::string GeneralOf(const Decimal& d, bool negative, int precision, const std::string& separator) {
  if (d.IsZero()) return "0";
  const int exponent = d.point - 1;
  if (exponent < -5 || exponent >= precision) return ScientificOf(d, negative, separator);
  std::string text = negative ? "-" : "";
  const std::string whole = d.WholeDigits();
  text += whole.empty() ? "0" : whole;
  const int decimals = d.SignificantDecimals();
  if (decimals > 0) text += separator + d.FractionDigits(decimals);
  return text;
}

std::string Grouped(const std::string& whole, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) out += separator;
    out += whole[i];
  }
  return out;
}

// One section of a number pattern, read once.
struct PatternSection {
  std::string prefix;
  std::string suffix;
  int wholePlaceholders = 0;
  int minWhole = 0;
  int maxDecimals = 0;
  int minDecimals = 0;
  bool grouping = false;
  bool scientific = false;
  char exponentChar = 'E';
  bool exponentSignAlways = false;
  int exponentDigits = 0;

  explicit PatternSection(std::string_view section) {
    bool seenPlaceholder = false;
    bool afterPoint = false;
    bool inExponent = false;
    int firstZero = -1;
    for (std::size_t i = 0; i < section.size(); ++i) {
      const char c = section[i];
      std::string& literal = seenPlaceholder ? suffix : prefix;
      if (inExponent && c == '0') {
        ++exponentDigits;
        continue;
      }
      inExponent = false;
      if (c == '\'' || c == '"') {
        const std::size_t end = section.find(c, i + 1);
        const std::size_t stop = end == std::string_view::npos ? section.size() : end;
        literal += section.substr(i + 1, stop - i - 1);
        i = stop;
      } else if ((c == '0' || c == '#') && !scientific) {
        seenPlaceholder = true;
        if (!afterPoint) {
          if (c == '0' && firstZero < 0) firstZero = wholePlaceholders;
          ++wholePlaceholders;
        } else {
          ++maxDecimals;
          if (c == '0') minDecimals = maxDecimals;
        }
      } else if (c == '.' && !afterPoint && !scientific) {
        afterPoint = true;
      } else if (c == ',' && !afterPoint && !scientific) {
        grouping = true;
      } else if ((c == 'E' || c == 'e') && seenPlaceholder && !scientific && i + 1 < section.size() &&
                 (section[i + 1] == '+' || section[i + 1] == '-')) {
        scientific = true;
        exponentChar = c;
        exponentSignAlways = section[i + 1] == '+';
        inExponent = true;
        ++i;
      } else {
        literal += c;
      }
    }
    minWhole = firstZero < 0 ? 0 : wholePlaceholders - firstZero;
  }

  // Formats |v|; `roundedZero` tells whether nothing but zeros is shown.
  std::string Format(double magnitude, const TRegionalSettings& regional, bool& roundedZero) const {
    Decimal d = Decompose(magnitude);
    std::string body;
    if (scientific) {
      const int wholeDigits = std::max(1, wholePlaceholders);
      d.RoundToSignificant(wholeDigits + maxDecimals);
      const int exponent = d.IsZero() ? 0 : d.point - wholeDigits;
      d.point = d.IsZero() ? 0 : wholeDigits;
      body = Whole(d, regional) + Fraction(d, regional);
      std::string digits = std::to_string(std::abs(exponent));
      if (static_cast<int>(digits.size()) < exponentDigits)
        digits.insert(0, static_cast<std::size_t>(exponentDigits) - digits.size(), '0');
      body += exponentChar;
      if (exponent < 0)
        body += '-';
      else if (exponentSignAlways)
        body += '+';
      body += digits;
    } else {
      d.RoundToDecimals(maxDecimals);
      body = Whole(d, regional) + Fraction(d, regional);
    }
    roundedZero = d.IsZero();
    return prefix + body + suffix;
  }

 private:
  std::string Whole(const Decimal& d, const TRegionalSettings& regional) const {
    std::string whole = d.WholeDigits();
    if (static_cast<int>(whole.size()) < minWhole)
      whole.insert(0, static_cast<std::size_t>(minWhole) - whole.size(), '0');
    return grouping ? Grouped(whole, regional.thousandSeparator) : whole;
  }

  std::string Fraction(const Decimal& d, const TRegionalSettings& regional) const {
    std::string fraction = d.FractionDigits(maxDecimals);
    while (static_cast<int>(fraction.size()) > minDecimals && fraction.back() == '0') fraction.pop_back();
    return fraction.empty() ? std::string() : regional.decimalSeparator + fraction;
  }
};

std::vector<std::string_view> SplitSections(std::string_view pattern) {
  std::vector<std::string_view> sections;
  char quote = 0;
  std::size_t from = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(pattern.substr(from, i - from));
      from = i + 1;
    }
  }
  sections.push_back(pattern.substr(from));
  return sections;
}

// `value` with at least `digits` digits (leading zeros).
void AppendPadded(std::string& out, int value, int digits) {
  char buf[16];
  char* end = buf + sizeof buf;
  char* p = end;
  const bool negative = value < 0;
  unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0 && p > buf);
  // As printf("%0*d"): the sign counts towards the width.
  for (int n = static_cast<int>(end - p) + (negative ? 1 : 0); n < digits && p > buf + 1; ++n) *--p = '0';
  if (negative) *--p = '-';
  out.append(p, end);
}

// Length of the run of `c` starting at text[i].
std::size_t RunLength(std::string_view text, std::size_t i, char c) {
  std::size_t n = 0;
  while (i + n < text.size() && text[i + n] == c) ++n;
  return n;
}

}  // namespace

TRegionalSettings Regional() {
  std::lock_guard lock(RegionalMutex());
  return Installed();
}

TRegionalSettings SetRegional(TRegionalSettings settings) {
  std::lock_guard lock(RegionalMutex());
  return std::exchange(Installed(), std::move(settings));
}

std::string FormatGeneral(double value, const TRegionalSettings& regional, int precision) {
  precision = std::clamp(precision, 1, 15);
  Decimal d = Decompose(value);
  d.RoundToSignificant(precision);
  return GeneralOf(d, value < 0, precision, regional.decimalSeparator);
}

std::string FormatGeneral(double value, int precision) { return FormatGeneral(value, Defaults(), precision); }

std::string FormatFixed(double value, int decimals, const TRegionalSettings& regional) {
  if (std::isfinite(value) && std::fabs(value) >= 1e15) return FormatGeneral(value, regional);
  decimals = std::clamp(decimals, 0, 18);
  Decimal d = Decompose(value);
  d.RoundToDecimals(decimals);
  const std::string whole = d.WholeDigits();
  std::string text = (value < 0 && !d.IsZero()) ? "-" : "";
  text += whole.empty() ? "0" : whole;
  if (decimals > 0) text += regional.decimalSeparator + d.FractionDigits(decimals);
  return text;
}

std::string FormatPattern(std::string_view pattern, double value, const TRegionalSettings& regional) {
  const std::vector<std::string_view> sections = SplitSections(pattern);
  const bool negativeSection = value < 0 && sections.size() >= 2 && !sections[1].empty();
  const PatternSection section(negativeSection ? sections[1] : sections[0]);
  bool roundedZero = false;
  std::string text = section.Format(std::fabs(value), regional, roundedZero);
  if (roundedZero && sections.size() >= 3 && !sections[2].empty())
    return PatternSection(sections[2]).Format(0, regional, roundedZero);
  if (value < 0 && !negativeSection && !roundedZero) text.insert(0, 1, '-');
  return text;
}

std::string FormatShort(double value, int maxChars, const TRegionalSettings& regional) {
  for (int precision = 15; precision >= 1; --precision) {
    std::string text = FormatGeneral(value, regional, precision);
    if (static_cast<int>(Utf8Length(text)) <= maxChars) return text;
  }
  return {};
}

std::string FormatAxisNumber(double value, double step, const TRegionalSettings& regional) {
  const bool stepUsable = step > 0 && std::isfinite(step);
  // The decimals that write the step itself (0.1 and 2.5: one).
  int decimals = 0;
  if (stepUsable) {
    Decimal s = Decompose(step);
    s.RoundToSignificant(12);
    decimals = s.SignificantDecimals();
  }
  if (std::fabs(value) < 1e15) {
    std::string fixed = FormatFixed(value, decimals, regional);
    if (static_cast<int>(Utf8Length(fixed)) <= kAxisLabelChars) return fixed;
  }
  Decimal d = Decompose(value);
  // A tick that is zero but for rounding noise of the scale.
  if (d.IsZero() || (stepUsable && std::fabs(value) < step * 1e-9)) return "0";
  // Digits down to the step's leading digit tell the ticks apart.
  const int stepExponent = stepUsable ? static_cast<int>(std::floor(std::log10(step) + 1e-9)) : d.point - 1;
  int digits = std::clamp(d.point - 1 - stepExponent + 1, 1, 15);
  for (;; --digits) {
    Decimal rounded = d;
    rounded.RoundToSignificant(digits);
    std::string text = ScientificOf(rounded, value < 0, regional.decimalSeparator);
    if (digits == 1 || static_cast<int>(Utf8Length(text)) <= kAxisLabelChars) return text;
  }
}

std::string FormatDateTime(std::string_view pattern, TDateTime t, const TRegionalSettings& regional) {
  const DateTimeParts p = DecodeDateTime(t);
  const bool twelveHour = pattern.find("AP") != std::string_view::npos || pattern.find("ap") != std::string_view::npos;
  std::string out;
  out.reserve(pattern.size() + 8);
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
          AppendPadded(out, p.day, static_cast<int>(n));
        break;
      case 'M':
        if (n >= 4)
          out += regional.longMonthNames[static_cast<std::size_t>(p.month - 1)];
        else if (n == 3)
          out += regional.shortMonthNames[static_cast<std::size_t>(p.month - 1)];
        else
          AppendPadded(out, p.month, static_cast<int>(n));
        break;
      case 'y':
        if (n >= 3)
          AppendPadded(out, p.year, 4);
        else
          AppendPadded(out, p.year % 100, 2);
        break;
      case 'h':
      case 'H': {
        int hour = p.hour;
        if (twelveHour) {
          hour %= 12;
          if (hour == 0) hour = 12;
        }
        AppendPadded(out, hour, n >= 2 ? 2 : 1);
        break;
      }
      case 'm':
        AppendPadded(out, p.minute, n >= 2 ? 2 : 1);
        break;
      case 's':
        AppendPadded(out, p.second, n >= 2 ? 2 : 1);
        break;
      case 'z':
        AppendPadded(out, p.millisecond, n >= 3 ? 3 : 1);
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

namespace {

// The one reader of decimal numbers: an optional sign ("-", or "+" too with
// `plus`), digits with at most one decimal separator (`separator`, or "."
// too with `point`), an optional exponent; all of `text`.
std::optional<double> ReadDecimal(std::string_view text, std::string_view separator, bool plus, bool point) {
  // The number in the form from_chars reads (never longer than the text).
  char stack[64];
  std::string heap;
  char* ascii = stack;
  if (text.size() > sizeof stack) {
    heap.resize(text.size());
    ascii = heap.data();
  }
  std::size_t n = 0;
  std::size_t i = 0;
  const auto digitAt = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  if (i < text.size() && (text[i] == '-' || (plus && text[i] == '+'))) {
    if (text[i] == '-') ascii[n++] = '-';
    ++i;
  }
  int mantissaDigits = 0;
  bool seenSeparator = false;
  while (i < text.size()) {
    if (digitAt(i)) {
      ascii[n++] = text[i++];
      ++mantissaDigits;
    } else if (seenSeparator) {
      break;
    } else if (!separator.empty() && text.compare(i, separator.size(), separator) == 0) {
      ascii[n++] = '.';
      seenSeparator = true;
      i += separator.size();
    } else if (point && text[i] == '.') {
      ascii[n++] = '.';
      seenSeparator = true;
      ++i;
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ascii[n++] = 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ascii[n++] = text[i++];
    if (!digitAt(i)) return std::nullopt;
    while (digitAt(i)) ascii[n++] = text[i++];
  }
  if (i != text.size()) return std::nullopt;
  double value = 0;
  const auto result = std::from_chars(ascii, ascii + n, value);
  if (result.ec != std::errc() || result.ptr != ascii + n || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

std::optional<double> ParseFloat(std::string_view text, const TRegionalSettings& regional) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return ReadDecimal(text, regional.decimalSeparator, true, false);
}

std::optional<double> ParseGeneral(std::string_view text, std::string_view decimalSeparator) {
  return ReadDecimal(text, decimalSeparator, false, true);
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace karvo
