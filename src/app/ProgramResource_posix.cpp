#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "app/ProgramResource.h"

namespace karvo {
namespace {

std::string Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  return name;
}

struct TLinkedResources {
  std::mutex m;
  std::map<std::string, std::span<const std::uint8_t>> byName;
};

TLinkedResources& Linked() {
  static TLinkedResources resources;
  return resources;
}

}  // namespace

bool RegisterLinkedResource(const char* name, const std::uint8_t* data, std::size_t size) {
  TLinkedResources& r = Linked();
  std::lock_guard lock(r.m);
  r.byName[Folded(name)] = std::span<const std::uint8_t>(data, size);
  return true;
}

std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& name) {
  TLinkedResources& r = Linked();
  std::lock_guard lock(r.m);
  const auto it = r.byName.find(Folded(name));
  if (it == r.byName.end()) return std::nullopt;
  return it->second;
}

}  // namespace karvo
