// Registered ports on Windows: the values of the SERIALCOMM registry key.
// Each value stands for one serial device; its string data is the port name.

#include <mutex>

#include "common/Text.h"
#include "serial/ComPortRegistry_win32.h"
#include "serial/RegisteredPorts.h"

namespace karvo {
namespace {

std::mutex& KeyMutex() {
  static std::mutex m;
  return m;
}
ComPortRegistryKey& CurrentKey() {
  static ComPortRegistryKey key = DefaultComPortRegistryKey();
  return key;
}

// Closes the key on every way out.
class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() { ::RegCloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

constexpr DWORD kMaxValueNameChars = 16384;  // the registry's own limit, NUL included

}  // namespace

ComPortRegistryKey DefaultComPortRegistryKey() {
  return ComPortRegistryKey{HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM"};
}

ComPortRegistryKey SetComPortRegistryKey(ComPortRegistryKey key) {
  std::lock_guard lock(KeyMutex());
  ComPortRegistryKey previous = CurrentKey();
  CurrentKey() = std::move(key);
  return previous;
}

std::vector<std::string> RegisteredPortNames() {
  ComPortRegistryKey where;
  {
    std::lock_guard lock(KeyMutex());
    where = CurrentKey();
  }
  HKEY key = nullptr;
  if (::RegOpenKeyExA(where.root, where.subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  KeyCloser closer(key);

  std::vector<std::string> names;
  std::string valueName(kMaxValueNameChars, '\0');
  std::string data(256, '\0');
  for (DWORD index = 0;;) {
    DWORD nameChars = kMaxValueNameChars;
    DWORD dataBytes = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG rc = ::RegEnumValueA(key, index, valueName.data(), &nameChars, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &dataBytes);
    if (rc == ERROR_MORE_DATA && dataBytes > data.size()) {
      data.resize(dataBytes);  // the same value again with room for its data
      continue;
    }
    if (rc != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS, or the key became unreadable
    ++index;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;  // not a port name
    std::string name(data.data(), dataBytes);
    if (const auto nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    names.push_back(SystemToUtf8(name));  // the ANSI call gave the code page
  }
  return names;
}

}  // namespace karvo
