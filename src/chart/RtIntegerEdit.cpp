#include "chart/RtIntegerEdit.h"

#include <exception>

namespace karvo {

TRtIntegerEdit::TRtIntegerEdit(QWidget* parent) : TRtCustomNumericEdit(parent) {}

QString TRtIntegerEdit::DisplayText(std::int32_t v) { return QString::number(v); }

bool TRtIntegerEdit::ParseInteger(const QString& text, std::int32_t& out) {
  const std::optional<std::int32_t> v = ParseInteger(text);
  if (v) out = *v;
  return v.has_value();
}

std::optional<std::int32_t> TRtIntegerEdit::ParseInteger(const QString& text) {
  return karvo::ParseInteger(ToUtf8(text));
}

void TRtIntegerEdit::SetValue(std::int32_t v) {
  try {
    FNumber.FValue = Clamp(v);
    WriteValidText(DisplayText(FNumber.FValue));
    RefreshDisplay();
    // A value put there by the program while the operator is in the box is
    // selected whole when the box is next entered, to be typed over.
    if (hasFocus()) SetNeedSelectAll();
  } catch (const std::exception&) {
    ShowError();
    return;
  }
  emit OnValueChanged();
}

void TRtIntegerEdit::SetMinValue(std::int32_t v) {
  if (v != FNumber.FMinValue) {
    FNumber.FMinValue = v;
    SetValue(FNumber.FValue);
  }
}

void TRtIntegerEdit::SetMaxValue(std::int32_t v) {
  if (v != FNumber.FMaxValue) {
    FNumber.FMaxValue = v;
    SetValue(FNumber.FValue);
  }
}

bool TRtIntegerEdit::TakeTypedText(const QString& text) { return FNumber.TakeTyped(ParseInteger(text)); }

bool TRtIntegerEdit::CorrectValue() {
  if (!FNumber.Correct(ParseInteger(text()))) {
    return false;
  }
  WriteValidText(DisplayText(FNumber.FValue));
  return true;
}

void TRtIntegerEdit::RefreshDisplay() {
  QString shown = DisplayText(FNumber.FValue);
  if (!Editing() && !TextFits(shown)) {
    shown = Hashes();
  }
  WriteText(shown);
}

bool TRtIntegerEdit::AcceptsChar(QChar c) const {
  return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-');
}

}  // namespace karvo
