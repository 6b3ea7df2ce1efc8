// Text typed or pasted into the numeric edit boxes: read as a whole number
// or a decimal number by the regional settings, then taken within the box's
// bounds. Any text: no crash, a number only where the text is one (compared
// with the C library's reading), never one that is not finite or beyond the
// 32-bit range, and a box's value always within its bounds.
//
// Input: the regional settings' byte (fuzz/FuzzRegional.h), the decimal
// box's bounds and value (three doubles), the whole-number box's (three
// 32-bit numbers), then the text.

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "chart/RtBoundedNumber.h"
#include "common/Regional.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzRegional.h"

using karvo::fuzz::Input;

namespace {

// A small scanner over the grammar of a typed number, written apart from
// the program's parser: `pos` moves past what matched.
struct Scanner {
  const std::string& text;
  std::size_t pos = 0;

  bool AtEnd() const { return pos == text.size(); }
  bool Take(char c) {
    if (AtEnd() || text[pos] != c) return false;
    ++pos;
    return true;
  }
  bool TakeText(const std::string& s) {
    if (s.empty() || text.compare(pos, s.size(), s) != 0) return false;
    pos += s.size();
    return true;
  }
  void SkipBlanks() {
    while (Take(' ') || Take('\t')) {
    }
  }
  void TakeSign() {
    if (!Take('+')) Take('-');
  }
  // One or more digits.
  bool TakeDigits() {
    const std::size_t from = pos;
    while (!AtEnd() && text[pos] >= '0' && text[pos] <= '9') ++pos;
    return pos > from;
  }
};

// Blanks around, a sign, digits with at most one separator (digits on at
// least one side), an exponent.
bool IsDecimalText(const std::string& text, const std::string& separator) {
  Scanner s{text};
  s.SkipBlanks();
  s.TakeSign();
  if (s.TakeDigits()) {
    if (s.TakeText(separator)) s.TakeDigits();
  } else if (!s.TakeText(separator) || !s.TakeDigits()) {
    return false;
  }
  if (s.Take('e') || s.Take('E')) {
    s.TakeSign();
    if (!s.TakeDigits()) return false;
  }
  s.SkipBlanks();
  return s.AtEnd();
}

// The decimal number the text holds, by a grammar of its own and the C
// library's conversion. Numbers the double cannot hold (too large, or
// too small to be told from zero) are none.
std::optional<double> ReferenceFloat(const std::string& text, const std::string& separator) {
  if (!IsDecimalText(text, separator)) return std::nullopt;
  std::string c;
  bool nonzero = false, inExponent = false;
  for (std::size_t i = 0; i < text.size();) {
    if (text.compare(i, separator.size(), separator) == 0 && !inExponent) {
      c += '.';
      i += separator.size();
      continue;
    }
    const char ch = text[i++];
    if (ch == 'e' || ch == 'E') inExponent = true;
    if (ch >= '1' && ch <= '9' && !inExponent) nonzero = true;
    if (ch != ' ' && ch != '\t') c += ch;
  }
  errno = 0;
  const double v = std::strtod(c.c_str(), nullptr);
  if (!std::isfinite(v) || (v == 0 && nonzero)) return std::nullopt;
  return v;
}

std::optional<std::int32_t> ReferenceInteger(const std::string& text) {
  Scanner s{text};
  s.TakeSign();
  if (!s.TakeDigits() || !s.AtEnd()) return std::nullopt;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  return static_cast<std::int32_t>(v);
}

double FiniteDouble(Input& in) {
  const std::uint64_t bits = in.LongLong();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return std::isfinite(v) ? v : 0.0;
}

// A box holding `start` within its bounds: what typing and the commit make
// of a number that was read, or of none.
template <class T>
void CheckBox(T min, T max, T start, std::optional<T> typed) {
  const bool bounded = min < max;
  const auto within = [&](T v) { return !bounded || (v >= min && v <= max); };
  karvo::TBoundedNumber<T> box{start, min, max};
  box.FValue = box.Clamp(start);
  const T before = box.FValue;
  FUZZ_CHECK(within(before));

  const bool taken = box.TakeTyped(typed);
  FUZZ_CHECK(taken == (typed && within(*typed)));
  FUZZ_CHECK(box.FValue == (taken ? *typed : before));
  FUZZ_CHECK(within(box.FValue));

  box.FValue = before;
  const bool corrected = box.Correct(typed);
  FUZZ_CHECK(within(box.FValue));
  FUZZ_CHECK(corrected == (box.FValue != before));
  if (!typed) FUZZ_CHECK(!corrected);
  if (typed && within(*typed)) FUZZ_CHECK(box.FValue == *typed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const karvo::fuzz::FuzzedRegional regional = karvo::fuzz::RegionalFrom(in);
  const double dMin = FiniteDouble(in), dMax = FiniteDouble(in), dStart = FiniteDouble(in);
  const auto iMin = static_cast<std::int32_t>(in.Long()), iMax = static_cast<std::int32_t>(in.Long()),
             iStart = static_cast<std::int32_t>(in.Long());
  const std::vector<std::uint8_t> rest = in.Rest();
  const std::string text(rest.begin(), rest.end());

  const std::optional<double> number = karvo::ParseFloat(text, regional.settings);
  if (number) FUZZ_CHECK(std::isfinite(*number));
  if (regional.usual) {
    const std::optional<double> expected = ReferenceFloat(text, regional.settings.decimalSeparator);
    FUZZ_CHECK(number.has_value() == expected.has_value());
    if (number) FUZZ_CHECK(*number == *expected);
  }
  const std::optional<std::int32_t> whole = karvo::ParseInteger(text);
  const std::optional<std::int32_t> expectedWhole = ReferenceInteger(text);
  FUZZ_CHECK(whole == expectedWhole);

  CheckBox(dMin, dMax, dStart, number);
  CheckBox(iMin, iMax, iStart, whole);
  return 0;
}
