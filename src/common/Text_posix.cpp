// Text conversion on POSIX systems, where the 8-bit system code page is UTF-8.
#include "common/Text.h"

namespace karvo {

std::string WideToSystem(std::wstring_view text) { return WideToUtf8(text); }
std::wstring SystemToWide(std::string_view text) { return Utf8ToWide(text); }
std::string Utf8ToSystem(std::string_view text) { return std::string(text); }
std::string SystemToUtf8(std::string_view text) { return std::string(text); }

// File names are bytes; the program's are UTF-8 like its other text.
std::filesystem::path PathFromUtf8(std::string_view text) { return std::filesystem::path(std::string(text)); }
std::filesystem::path PathFromWide(std::wstring_view text) { return PathFromUtf8(WideToUtf8(text)); }
std::string PathText(const std::filesystem::path& path) { return path.string(); }

}  // namespace karvo
