#pragma once
// The decimal edit box TRtDoubleEdit. Its numbers are written and read by
// the regional settings (common/Regional.h): the program's, or those of a
// locale set on the box.

#include <QString>
#include <optional>

#include "chart/RtCustomNumericEdit.h"

namespace karvo {

class TRtCustomDoubleEdit : public TRtCustomNumericEdit {
  Q_OBJECT

 public:
  explicit TRtCustomDoubleEdit(QWidget* parent = nullptr);

  double Value() const { return FNumber.FValue; }
  // Clamps v into the bounds, shows it (at rest) and raises OnValueChanged,
  // also when the value stays the same. A value that is not finite is not
  // taken: the value stays, the text becomes "Error".
  void SetValue(double v);
  // Bounds; when MinValue >= MaxValue there are none. A bound that is not
  // finite is not taken either ("Error").
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
