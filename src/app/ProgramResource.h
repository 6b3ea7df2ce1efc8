#pragma once
// Resources carried inside the program's own image, found by name (case does
// not matter). Windows: RCDATA resources of the executable. Elsewhere: byte
// arrays linked into the executable, which register themselves by name
// (karvo_embed_resource in src/app/CMakeLists.txt).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace karvo {

// The resource's bytes, or none when the program carries no such resource.
std::optional<std::span<const std::uint8_t>> FindProgramResource(const std::string& name);

// Used by the generated sources of linked-in resources; returns true.
bool RegisterLinkedResource(const char* name, const std::uint8_t* data, std::size_t size);

}  // namespace karvo
