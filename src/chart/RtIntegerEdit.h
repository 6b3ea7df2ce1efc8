#pragma once
// The whole-number edit box.

#include <cstdint>
#include <optional>

#include "chart/RtCustomNumericEdit.h"

namespace karvo {

// The whole-number box.
class TRtIntegerEdit : public TRtCustomNumericEdit {
  Q_OBJECT

 public:
  explicit TRtIntegerEdit(QWidget* parent = nullptr);

  std::int32_t Value() const { return FNumber.FValue; }
  // Clamps v into the bounds, shows it and raises OnValueChanged, also when
  // the value stays the same.
  void SetValue(std::int32_t v);
  // Bounds; when MinValue >= MaxValue there are none. Changing one re-applies
  // the bounds through SetValue.
  std::int32_t MinValue() const { return FNumber.FMinValue; }
  std::int32_t MaxValue() const { return FNumber.FMaxValue; }
  void SetMinValue(std::int32_t v);
  void SetMaxValue(std::int32_t v);

  std::int32_t Clamp(std::int32_t v) const { return FNumber.Clamp(v); }
  // Decimal digits with a leading "-" for negatives.
  static QString DisplayText(std::int32_t v);
  // An optional sign and decimal digits within the 32-bit range.
  static bool ParseInteger(const QString& text, std::int32_t& out);
  static std::optional<std::int32_t> ParseInteger(const QString& text);

 protected:
  bool TakeTypedText(const QString& text) override;
  bool CorrectValue() override;
  void RefreshDisplay() override;
  bool AcceptsChar(QChar c) const override;

 private:
  TBoundedNumber<std::int32_t> FNumber;
};

}  // namespace karvo
