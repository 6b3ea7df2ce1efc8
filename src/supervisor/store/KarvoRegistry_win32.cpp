// The per-user store in the registry: HKEY_CURRENT_USER
// "Software\TalvikAS\Karvo\", REG_SZ values.
#include <windows.h>

#include <algorithm>
#include <iterator>

#include "common/SystemError.h"
#include "common/Text.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

constexpr wchar_t kKey[] = L"Software\\TalvikAS\\Karvo\\";

// A REG_SZ value's text without its terminating null; false for any other
// type or a read error.
bool QueryString(HKEY key, const wchar_t* name, std::wstring& out) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) return false;
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    const LSTATUS rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_MORE_DATA) {
      bytes = size;
      continue;  // the value grew between the two calls
    }
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    data.resize(size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    out = std::move(data);
    return true;
  }
  return false;
}

}  // namespace

void WriteRegistryString(const std::wstring& Name, const std::wstring& Value) {
  HKEY key = nullptr;
  LSTATUS rc =
      RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS)
    throw StoreError("Cannot open the registry key: " + SystemErrorText(static_cast<unsigned long>(rc)));
  const DWORD bytes = static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t));
  rc = RegSetValueExW(key, Name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()), bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS)
    throw StoreError("Cannot write the registry value " + WideToUtf8(Name) + ": " +
                     SystemErrorText(static_cast<unsigned long>(rc)));
}

std::wstring ReadRegistryString(const std::wstring& Name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  std::wstring value;
  if (!QueryString(key, Name.c_str(), value)) value.clear();
  RegCloseKey(key);
  return value;
}

std::vector<std::pair<std::wstring, std::wstring>> ListRegistryStrings() {
  std::vector<std::pair<std::wstring, std::wstring>> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];  // the registry's limit for a value name
    DWORD length = static_cast<DWORD>(std::size(name));
    const LSTATUS rc = RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) continue;
    std::wstring value;
    if (QueryString(key, name, value)) values.emplace_back(std::wstring(name, length), value);
  }
  RegCloseKey(key);
  std::sort(values.begin(), values.end());
  return values;
}

}  // namespace karvo
