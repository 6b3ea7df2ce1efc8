#include "chart/RtFloatEdit.h"

#include <QEvent>
#include <cmath>
#include <exception>

namespace karvo {

TRtCustomDoubleEdit::TRtCustomDoubleEdit(QWidget* parent) : TRtCustomNumericEdit(parent) {}

QString TRtCustomDoubleEdit::DisplayText(double v) const {
  const TRegionalSettings& r = RegionalSettings();
  if (!FFormat.isEmpty()) return ToQString(FormatPattern(ToUtf8(FFormat), v, r));
  if (FDigits < 0) return ToQString(FormatGeneral(v, r));
  return ToQString(FormatFixed(v, FDigits, r));
}

void TRtCustomDoubleEdit::SetValue(double v) {
  if (!std::isfinite(v)) {
    ShowError();
    return;
  }
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
  if (!std::isfinite(v)) {
    ShowError();
    return;
  }
  if (v != FNumber.FMinValue) {
    FNumber.FMinValue = v;
    SetValue(FNumber.FValue);
  }
}

void TRtCustomDoubleEdit::SetMaxValue(double v) {
  if (!std::isfinite(v)) {
    ShowError();
    return;
  }
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
  return ParseFloat(ToUtf8(text), RegionalSettings());
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
      const QString candidate = ToQString(FormatShort(FNumber.FValue, maxChars, RegionalSettings()));
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
  // Other separators: the last valid text too is written anew.
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
