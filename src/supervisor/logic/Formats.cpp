#include "supervisor/logic/Formats.h"

namespace karvo {

std::string FormatOneDecimal(double value, const TRegionalSettings& regional) {
  return FormatFixed(value, 1, regional);
}

std::int32_t TenthsToWholePercent(std::int32_t tenths) {
  const std::int32_t magnitude = tenths < 0 ? -tenths : tenths;
  std::int32_t whole = magnitude / 10;
  const std::int32_t rest = magnitude % 10;
  if (rest > 5 || (rest == 5 && whole % 2 == 1)) ++whole;
  return tenths < 0 ? -whole : whole;
}

std::string DegreesCelsius() {
  return "\xC2\xBA"
         "C";
}

}  // namespace karvo
