#include "supervisor/logic/WindowTitle.h"

#include <cwchar>

namespace karvo {

std::wstring TitleForFurnace(const std::wstring& name) { return name + kTitleSuffix; }

std::wstring FurnaceNameFromTitle(const std::wstring& title) {
  const std::size_t suffix = std::wcslen(kTitleSuffix);
  return title.size() > suffix ? title.substr(0, title.size() - suffix) : std::wstring();
}

}  // namespace karvo
