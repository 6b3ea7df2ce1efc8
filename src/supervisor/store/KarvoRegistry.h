#pragma once
// The per-user store: string values under "Software\TalvikAS\Karvo\" of the
// current user. The program and other programs on the same computer signal
// each other through it ("FS_" + furnace name: the stable segment; "FW_" +
// furnace name: a hold request). These functions are the only code that
// touches the store.
//
// Windows keeps the values in the registry (HKEY_CURRENT_USER, REG_SZ).
// Elsewhere each value is a file in ${XDG_CONFIG_HOME:-$HOME/.config}/
// TalvikAS/Karvo/ named after the value, holding its text in UTF-8; bytes of
// the name outside A-Z a-z 0-9 _ - . and a leading "." are written as %XX,
// so no name can leave the folder or hide a file.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace karvo {

// A write that did not take effect; what() carries the system's reason.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes Value under Name, replacing any previous value. A reader never
// sees half a value. Throws StoreError when the write fails.
void WriteRegistryString(const std::wstring& Name, const std::wstring& Value);

// The text stored under Name, exactly as stored; empty text when the store,
// the value or its text is missing, or the value is not a string. Never fails.
std::wstring ReadRegistryString(const std::wstring& Name);

// Every string value of the store as (name, text), sorted by name.
std::vector<std::pair<std::wstring, std::wstring>> ListRegistryStrings();

// The file name a value name is stored under (on systems without a
// registry), and back. EncodeStoreName("FS_Furnace1") == "FS_Furnace1".
std::string EncodeStoreName(const std::wstring& Name);
std::wstring DecodeStoreName(const std::string& FileName);

// The value names for a furnace name: the text as the system code page
// holds it (Windows: characters the ANSI code page lacks become its default
// character), behind "FS_" (stable segment) or "FW_" (hold request).
std::wstring StableSegmentValueName(const std::wstring& furnaceName);
std::wstring HoldRequestValueName(const std::wstring& furnaceName);

}  // namespace karvo
