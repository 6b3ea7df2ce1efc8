#include "common/Text.h"

namespace karvo {

std::string Label(std::string_view label, std::size_t width) {
  std::string s(label);
  if (s.size() < width) s.append(width - s.size(), ' ');
  s += ": ";
  return s;
}

}  // namespace karvo
