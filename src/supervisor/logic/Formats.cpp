#include "supervisor/logic/Formats.h"

#include <cwchar>

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

std::wstring TitleForFurnace(const std::wstring& name) { return name + kTitleSuffix; }

std::wstring FurnaceNameFromTitle(const std::wstring& title) {
  const std::size_t suffix = std::wcslen(kTitleSuffix);
  return title.size() > suffix ? title.substr(0, title.size() - suffix) : std::wstring();
}

}  // namespace karvo
