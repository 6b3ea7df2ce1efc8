#pragma once
// The registry key the catalogue reads the registered COM ports from
// (Windows only). Normally HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM,
// opened read-only; tests point it at a key of their own.

#include <windows.h>

#include <string>

namespace karvo {

struct ComPortRegistryKey {
  HKEY root;
  std::string subKey;
};

ComPortRegistryKey DefaultComPortRegistryKey();
// Replaces the key and returns the one it replaces.
ComPortRegistryKey SetComPortRegistryKey(ComPortRegistryKey key);

}  // namespace karvo
