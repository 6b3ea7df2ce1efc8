#pragma once
// The main window's title: the furnace name followed by a suffix. The name
// used at close and at Stop is the title less its last 13 characters.

#include <string>

namespace karvo {

inline constexpr const wchar_t* kTitleSuffix = L" : Karvo Temp";
std::wstring TitleForFurnace(const std::wstring& name);
std::wstring FurnaceNameFromTitle(const std::wstring& title);

}  // namespace karvo
