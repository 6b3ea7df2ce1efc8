#pragma once
// The value of a numeric edit box with its bounds, and the two ways typed
// text reaches it (chart/RtCustomNumericEdit.h). Qt-free.

#include <optional>

namespace karvo {

// A box's value with its bounds, and the two ways typed text reaches it.
template <class T>
struct TBoundedNumber {
  T FValue{};
  T FMinValue{};
  T FMaxValue{};

  // When MinValue >= MaxValue there are no bounds.
  T Clamp(T v) const {
    if (FMinValue >= FMaxValue) {
      return v;
    }
    return v < FMinValue ? FMinValue : (v > FMaxValue ? FMaxValue : v);
  }
  // Typing: a number within the bounds becomes the value (true).
  bool TakeTyped(std::optional<T> typed) {
    if (!typed || Clamp(*typed) != *typed) {
      return false;
    }
    FValue = *typed;
    return true;
  }
  // The commit: a number, clamped, becomes the value; true when that
  // changed it.
  bool Correct(std::optional<T> typed) {
    if (!typed || Clamp(*typed) == FValue) {
      return false;
    }
    FValue = Clamp(*typed);
    return true;
  }
};

}  // namespace karvo
