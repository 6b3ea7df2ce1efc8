#include "chart/RtFloatEdit.h"

#include <QEvent>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace karvo {

namespace {

// A finite non-negative number as decimal digits: value = 0.d1d2d3... x
// 10^point. No leading or trailing zeros in `digits`; empty for zero.
struct Decimal {
  std::string digits;
  int point = 0;

  bool IsZero() const { return digits.empty(); }

  void StripTrailingZeros() {
    while (!digits.empty() && digits.back() == '0') {
      digits.pop_back();
    }
  }

  // Keeps the first `keep` digits, rounding half away from zero.
  void RoundAt(int keep) {
    if (keep >= static_cast<int>(digits.size())) {
      return;
    }
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
  }

  void RoundToSignificant(int count) { RoundAt(count); }
  void RoundToDecimals(int decimals) { RoundAt(point + decimals); }

  // The whole part's digits, empty when it is zero.
  std::string WholeDigits() const {
    if (point <= 0) {
      return {};
    }
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

// |v| to 15 significant digits, the precision a double holds reliably.
Decimal Decompose(double v) {
  if (!std::isfinite(v)) {
    throw std::domain_error("number is not finite");
  }
  Decimal d;
  if (v == 0) {
    return d;
  }
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(v), std::chars_format::scientific, 14);
  const std::string text(buffer, result.ptr);  // d.ddddddddddddddde[+-]xx
  const std::size_t e = text.find('e');
  d.digits = text.substr(0, 1) + text.substr(2, e - 2);
  d.point = std::atoi(text.c_str() + e + 1) + 1;
  d.StripTrailingZeros();
  return d;
}

QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

QString GeneralOf(const Decimal& d, bool negative, int precision, const QString& separator) {
  if (d.IsZero()) {
    return QStringLiteral("0");
  }
  QString text = negative ? QStringLiteral("-") : QString();
  const int exponent = d.point - 1;
  if (exponent < -5 || exponent >= precision) {
    text += QLatin1Char(d.digits[0]);
    if (d.digits.size() > 1) {
      text += separator + Latin1(d.digits.substr(1));
    }
    return text + QStringLiteral("E") + QString::number(exponent);
  }
  const std::string whole = d.WholeDigits();
  text += whole.empty() ? QStringLiteral("0") : Latin1(whole);
  const int decimals = d.SignificantDecimals();
  if (decimals > 0) {
    text += separator + Latin1(d.FractionDigits(decimals));
  }
  return text;
}

std::string Grouped(const std::string& whole, bool grouping, char marker) {
  if (!grouping) {
    return whole;
  }
  std::string out;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    if (i > 0 && (whole.size() - i) % 3 == 0) {
      out += marker;
    }
    out += whole[i];
  }
  return out;
}

// One section of a number pattern, read once.
struct PatternSection {
  QString prefix;
  QString suffix;
  int wholePlaceholders = 0;
  int minWhole = 0;
  int maxDecimals = 0;
  int minDecimals = 0;
  bool grouping = false;
  bool scientific = false;
  QChar exponentChar;
  bool exponentSignAlways = false;
  int exponentDigits = 0;

  explicit PatternSection(const QString& section) {
    bool seenPlaceholder = false;
    bool afterPoint = false;
    bool inExponent = false;
    int firstZero = -1;
    for (qsizetype i = 0; i < section.size(); ++i) {
      const QChar c = section[i];
      QString& literal = seenPlaceholder ? suffix : prefix;
      if (inExponent && c == QLatin1Char('0')) {
        ++exponentDigits;
        continue;
      }
      if (inExponent) {
        inExponent = false;
      }
      if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
        const qsizetype end = section.indexOf(c, i + 1);
        const qsizetype stop = end < 0 ? section.size() : end;
        literal += section.mid(i + 1, stop - i - 1);
        i = stop;
      } else if ((c == QLatin1Char('0') || c == QLatin1Char('#')) && !scientific) {
        seenPlaceholder = true;
        if (!afterPoint) {
          if (c == QLatin1Char('0') && firstZero < 0) {
            firstZero = wholePlaceholders;
          }
          ++wholePlaceholders;
        } else {
          ++maxDecimals;
          if (c == QLatin1Char('0')) {
            minDecimals = maxDecimals;
          }
        }
      } else if (c == QLatin1Char('.') && !afterPoint && !scientific) {
        afterPoint = true;
      } else if (c == QLatin1Char(',') && !afterPoint && !scientific) {
        grouping = true;
      } else if ((c == QLatin1Char('E') || c == QLatin1Char('e')) && seenPlaceholder && !scientific &&
                 i + 1 < section.size() && (section[i + 1] == QLatin1Char('+') || section[i + 1] == QLatin1Char('-'))) {
        scientific = true;
        exponentChar = c;
        exponentSignAlways = section[i + 1] == QLatin1Char('+');
        inExponent = true;
        ++i;
      } else {
        literal += c;
      }
    }
    minWhole = firstZero < 0 ? 0 : wholePlaceholders - firstZero;
  }

  // Formats |v|; `roundedZero` tells whether nothing but zeros is shown.
  QString Format(double magnitude, const QLocale& locale, bool& roundedZero) const {
    Decimal d = Decompose(magnitude);
    const QString separator = locale.decimalPoint();
    QString body;
    if (scientific) {
      const int wholeDigits = std::max(1, wholePlaceholders);
      d.RoundToSignificant(wholeDigits + maxDecimals);
      const int exponent = d.IsZero() ? 0 : d.point - wholeDigits;
      d.point = d.IsZero() ? 0 : wholeDigits;
      body = Whole(d, locale) + Fraction(d, separator);
      QString digits = QString::number(std::abs(exponent));
      if (digits.size() < exponentDigits) {
        digits.prepend(QString(exponentDigits - digits.size(), QLatin1Char('0')));
      }
      body += exponentChar;
      if (exponent < 0) {
        body += QLatin1Char('-');
      } else if (exponentSignAlways) {
        body += QLatin1Char('+');
      }
      body += digits;
    } else {
      d.RoundToDecimals(maxDecimals);
      body = Whole(d, locale) + Fraction(d, separator);
    }
    roundedZero = d.IsZero();
    return prefix + body + suffix;
  }

 private:
  QString Whole(const Decimal& d, const QLocale& locale) const {
    std::string whole = d.WholeDigits();
    if (static_cast<int>(whole.size()) < minWhole) {
      whole.insert(0, static_cast<std::size_t>(minWhole) - whole.size(), '0');
    }
    // Digits are ASCII; the group separator may not be, so mark and replace.
    QString text = Latin1(Grouped(whole, grouping, ','));
    return grouping ? text.replace(QLatin1Char(','), locale.groupSeparator()) : text;
  }

  QString Fraction(const Decimal& d, const QString& separator) const {
    std::string fraction = d.FractionDigits(maxDecimals);
    while (static_cast<int>(fraction.size()) > minDecimals && fraction.back() == '0') {
      fraction.pop_back();
    }
    return fraction.empty() ? QString() : separator + Latin1(fraction);
  }
};

std::vector<QString> SplitSections(const QString& pattern) {
  std::vector<QString> sections(1);
  QChar quote;
  for (const QChar c : pattern) {
    if (!quote.isNull()) {
      quote = c == quote ? QChar() : quote;
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      quote = c;
    } else if (c == QLatin1Char(';')) {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

}  // namespace

QString FloatToStrGeneral(double v, int precision, const QLocale& locale) {
  Decimal d = Decompose(v);
  d.RoundToSignificant(std::clamp(precision, 1, 15));
  return GeneralOf(d, v < 0, std::clamp(precision, 1, 15), locale.decimalPoint());
}

QString FloatToStrFixed(double v, int digits, const QLocale& locale) {
  if (std::isfinite(v) && std::fabs(v) >= 1e15) {
    return FloatToStrGeneral(v, 15, locale);
  }
  digits = std::clamp(digits, 0, 18);
  Decimal d = Decompose(v);
  d.RoundToDecimals(digits);
  const std::string whole = d.WholeDigits();
  QString text = (v < 0 && !d.IsZero()) ? QStringLiteral("-") : QString();
  text += whole.empty() ? QStringLiteral("0") : Latin1(whole);
  if (digits > 0) {
    text += locale.decimalPoint() + Latin1(d.FractionDigits(digits));
  }
  return text;
}

QString FormatFloat(const QString& pattern, double v, const QLocale& locale) {
  const std::vector<QString> sections = SplitSections(pattern);
  const bool negativeSection = v < 0 && sections.size() >= 2 && !sections[1].isEmpty();
  const PatternSection section(negativeSection ? sections[1] : sections[0]);
  bool roundedZero = false;
  QString text = section.Format(std::fabs(v), locale, roundedZero);
  if (roundedZero && sections.size() >= 3 && !sections[2].isEmpty()) {
    return PatternSection(sections[2]).Format(0, locale, roundedZero);
  }
  if (v < 0 && !negativeSection && !roundedZero) {
    text.prepend(QLatin1Char('-'));
  }
  return text;
}

QString FloatToStrShort(double v, int maxChars, const QLocale& locale) {
  for (int precision = 15; precision >= 1; --precision) {
    QString text = FloatToStrGeneral(v, precision, locale);
    if (text.size() <= maxChars) {
      return text;
    }
  }
  return {};
}

bool ParseFloat(const QString& text, const QLocale& locale, double& out) {
  const QString s = text.trimmed();
  const QString separator = locale.decimalPoint();
  std::string ascii;
  qsizetype i = 0;
  auto digitAt = [&](qsizetype k) { return k < s.size() && s[k] >= QLatin1Char('0') && s[k] <= QLatin1Char('9'); };
  if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
    if (s[i] == QLatin1Char('-')) {
      ascii += '-';
    }
    ++i;
  }
  int mantissaDigits = 0;
  bool seenSeparator = false;
  while (i < s.size()) {
    if (digitAt(i)) {
      ascii += static_cast<char>(s[i].unicode());
      ++mantissaDigits;
      ++i;
    } else if (!seenSeparator && !separator.isEmpty() && s.mid(i, separator.size()) == separator) {
      ascii += '.';
      seenSeparator = true;
      i += separator.size();
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) {
    return false;
  }
  if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
    ascii += 'e';
    ++i;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
      ascii += static_cast<char>(s[i].unicode());
      ++i;
    }
    if (!digitAt(i)) {
      return false;
    }
    while (digitAt(i)) {
      ascii += static_cast<char>(s[i].unicode());
      ++i;
    }
  }
  if (i != s.size()) {
    return false;
  }
  double value = 0;
  const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (result.ec != std::errc() || result.ptr != ascii.data() + ascii.size() || !std::isfinite(value)) {
    return false;
  }
  out = value;
  return true;
}

// ---------------------------------------------------------------------------
// TRtCustomDoubleEdit

TRtCustomDoubleEdit::TRtCustomDoubleEdit(QWidget* parent) : TRtCustomNumericEdit(parent) {}

QString TRtCustomDoubleEdit::DisplayText(double v) const {
  if (!FFormat.isEmpty()) {
    return FormatFloat(FFormat, v, locale());
  }
  if (FDigits < 0) {
    return FloatToStrGeneral(v, 15, locale());
  }
  return FloatToStrFixed(v, FDigits, locale());
}

void TRtCustomDoubleEdit::SetValue(double v) {
  try {
    FNumber.FValue = Clamp(v);
    WriteValidText(DisplayText(FNumber.FValue));
    if (!Editing()) {
      RefreshDisplay();
      SetNeedSelectAll();
    }
  } catch (const std::exception&) {
    ShowError();
    return;
  }
  emit OnValueChanged();
}

void TRtCustomDoubleEdit::SetMinValue(double v) {
  if (v != FNumber.FMinValue) {
    FNumber.FMinValue = v;
    SetValue(FNumber.FValue);
  }
}

void TRtCustomDoubleEdit::SetMaxValue(double v) {
  if (v != FNumber.FMaxValue) {
    FNumber.FMaxValue = v;
    SetValue(FNumber.FValue);
  }
}

void TRtCustomDoubleEdit::SetFormat(const QString& format) {
  FFormat = format;
  Refresh();
}

void TRtCustomDoubleEdit::SetDigits(int digits) {
  FDigits = digits;
  Refresh();
}

void TRtCustomDoubleEdit::SetDoHashes(bool doHashes) {
  FDoHashes = doHashes;
  Refresh();
}

std::optional<double> TRtCustomDoubleEdit::Parse(const QString& text) const {
  double v = 0;
  return ParseFloat(text, locale(), v) ? std::optional<double>(v) : std::nullopt;
}

bool TRtCustomDoubleEdit::TakeTypedText(const QString& text) { return FNumber.TakeTyped(Parse(text)); }

bool TRtCustomDoubleEdit::CorrectValue() {
  if (!FNumber.Correct(Parse(text()))) {
    return false;
  }
  WriteValidText(DisplayText(FNumber.FValue));
  return true;
}

void TRtCustomDoubleEdit::RefreshDisplay() {
  if (Editing()) {
    return;
  }
  QString shown = DisplayText(FNumber.FValue);
  if (!TextFits(shown)) {
    QString shortened;
    for (int maxChars = 18; maxChars >= 3 && shortened.isEmpty(); --maxChars) {
      const QString candidate = FloatToStrShort(FNumber.FValue, maxChars, locale());
      if (!candidate.isEmpty() && TextFits(candidate)) {
        shortened = candidate;
      }
    }
    if (!shortened.isEmpty()) {
      shown = shortened;
    } else if (FDoHashes) {
      shown = Hashes();
    }
  }
  WriteText(shown);
}

bool TRtCustomDoubleEdit::AcceptsChar(QChar c) const {
  if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('-') ||
      c == QLatin1Char('e') || c == QLatin1Char('E') || c == QLatin1Char('.')) {
    return true;
  }
  const QString separator = DecimalSeparator();
  return separator.size() == 1 && c == separator[0];
}

void TRtCustomDoubleEdit::changeEvent(QEvent* event) {
  TRtCustomNumericEdit::changeEvent(event);
  // A new locale brings another decimal separator: show the value anew.
  if (event->type() == QEvent::LocaleChange && !Editing()) {
    try {
      WriteValidText(DisplayText(FNumber.FValue));
      RefreshDisplay();
    } catch (const std::exception&) {
      ShowError();
    }
  }
}

}  // namespace karvo
