#include <cctype>

#include "common/Text.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

bool IsPlain(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A furnace's value: the name as the system code page holds it, behind the
// value's prefix.
std::wstring FurnaceValueName(const wchar_t* prefix, const std::wstring& furnaceName) {
  return prefix + SystemToWide(WideToSystem(furnaceName));
}

}  // namespace

// The bytes are those of the name in UTF-8, so a name round-trips whatever
// characters it holds. The empty
// name becomes "%", which no encoded name can be.
std::string EncodeStoreName(const std::wstring& Name) {
  if (Name.empty()) return "%";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  const std::string bytes = WideToUtf8(Name);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (IsPlain(c) && !(i == 0 && c == '.')) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::wstring DecodeStoreName(const std::string& FileName) {
  if (FileName == "%") return {};
  std::string bytes;
  for (std::size_t i = 0; i < FileName.size(); ++i) {
    if (FileName[i] == '%' && i + 2 < FileName.size() && HexValue(FileName[i + 1]) >= 0 &&
        HexValue(FileName[i + 2]) >= 0) {
      bytes += static_cast<char>(HexValue(FileName[i + 1]) * 16 + HexValue(FileName[i + 2]));
      i += 2;
    } else {
      bytes += FileName[i];
    }
  }
  return Utf8ToWide(bytes);
}

std::wstring StableSegmentValueName(const std::wstring& furnaceName) { return FurnaceValueName(L"FS_", furnaceName); }

std::wstring HoldRequestValueName(const std::wstring& furnaceName) { return FurnaceValueName(L"FW_", furnaceName); }

}  // namespace karvo
