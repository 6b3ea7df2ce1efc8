#include <windows.h>

#include "app/ProgramResource.h"

namespace karvo {

std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& name) {
  // Resource names are matched without regard to case by the system.
  HRSRC info = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(nullptr, info);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (data == nullptr) return std::nullopt;
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(data), SizeofResource(nullptr, info));
}

bool RegisterLinkedResource(const char*, const std::uint8_t*, std::size_t) { return true; }

}  // namespace karvo
