#include "common/Text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace karvo {

std::string FormatGeneral(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", value);
  return buf;
}

std::string Label(std::string_view label, std::size_t width) {
  std::string s(label);
  if (s.size() < width) s.append(width - s.size(), ' ');
  s += ": ";
  return s;
}

}  // namespace karvo
