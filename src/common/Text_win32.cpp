// Text conversion on Windows: the 8-bit system code page is the ANSI code page.
#include <windows.h>

#include "common/Text.h"

namespace karvo {

std::string WideToSystem(std::wstring_view text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring SystemToWide(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Utf8ToSystem(std::string_view text) { return WideToSystem(Utf8ToWide(text)); }
std::string SystemToUtf8(std::string_view text) { return WideToUtf8(SystemToWide(text)); }

// File names are wide text; the ANSI code page cannot name every file.
std::filesystem::path PathFromUtf8(std::string_view text) { return std::filesystem::path(Utf8ToWide(text)); }
std::filesystem::path PathFromWide(std::wstring_view text) { return std::filesystem::path(std::wstring(text)); }
std::string PathText(const std::filesystem::path& path) { return WideToUtf8(path.wstring()); }

}  // namespace karvo
