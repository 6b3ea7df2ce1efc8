#pragma once
// The decimal edit box TRtDoubleEdit and the number formats it shows.
// Numbers are shown and parsed with the regional decimal separator of the
// box's locale (QWidget::locale(): Qt's default locale unless one is set on
// the box).

#include <QLocale>
#include <QString>

#include "chart/RtIntegerEdit.h"

namespace karvo {

// The general format: up to `precision` significant digits without trailing
// zeros; scientific ("1.5E20", "1E-6") when the decimal exponent is below -5
// or at least `precision`. Not finite: std::domain_error.
QString FloatToStrGeneral(double v, int precision, const QLocale& locale);
// Fixed point with `digits` decimals (0 to 18); values of 1E15 and more in
// the general format.
QString FloatToStrFixed(double v, int digits, const QLocale& locale);
// Formats by a number pattern: "0" a digit always shown, "#" a digit shown
// when significant, "." the place of the decimal separator, "," group
// separators in the whole part, "E+0"/"E-0" (also "e") scientific notation,
// text in quotes and other characters literal; up to three sections
// "positive;negative;zero". Rounds half away from zero. Not finite:
// std::domain_error.
QString FormatFloat(const QString& pattern, double v, const QLocale& locale);
// The general format in at most `maxChars` characters, with as many
// significant digits as fit; empty when even one digit does not fit.
QString FloatToStrShort(double v, int maxChars, const QLocale& locale);
// An optional sign, digits with at most one regional decimal separator, and
// an optional exponent ("e" or "E", optional sign, digits); blanks around
// are ignored. Only finite results are taken.
bool ParseFloat(const QString& text, const QLocale& locale, double& out);

class TRtCustomDoubleEdit : public TRtCustomNumericEdit {
  Q_OBJECT

 public:
  explicit TRtCustomDoubleEdit(QWidget* parent = nullptr);

  double Value() const { return FNumber.FValue; }
  // Clamps v into the bounds, shows it (at rest) and raises OnValueChanged,
  // also when the value stays the same. A value that cannot be shown (not
  // finite) leaves the text "Error".
  void SetValue(double v);
  // Bounds; when MinValue >= MaxValue there are none.
  double MinValue() const { return FNumber.FMinValue; }
  double MaxValue() const { return FNumber.FMaxValue; }
  void SetMinValue(double v);
  void SetMaxValue(double v);

  // Number pattern for the display; empty: Digits decides.
  const QString& Format() const { return FFormat; }
  void SetFormat(const QString& format);
  // Decimals for the display without a pattern; -1: the general format.
  int Digits() const { return FDigits; }
  void SetDigits(int digits);
  // Show "#" characters when no form of the number fits the box.
  bool DoHashes() const { return FDoHashes; }
  void SetDoHashes(bool doHashes);

  double Clamp(double v) const { return FNumber.Clamp(v); }
  // The display text of a value in this box's format and locale.
  QString DisplayText(double v) const;

 protected:
  bool TakeTypedText(const QString& text) override;
  bool CorrectValue() override;
  void RefreshDisplay() override;
  bool AcceptsChar(QChar c) const override;
  void changeEvent(QEvent* event) override;

 private:
  // A text of the box's locale as a number; none when empty or not one.
  std::optional<double> Parse(const QString& text) const;

  TBoundedNumber<double> FNumber;
  QString FFormat;
  int FDigits = -1;
  bool FDoHashes = true;
};

class TRtDoubleEdit : public TRtCustomDoubleEdit {
  Q_OBJECT

 public:
  using TRtCustomDoubleEdit::TRtCustomDoubleEdit;
};

}  // namespace karvo
