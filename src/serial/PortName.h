#pragma once
// The COM port name form shared by the catalogue and the port mapping.

#include <string>
#include <string_view>

namespace karvo {

// n for a name that is exactly "COMn" with n 1..254 written in decimal
// without leading zeros (case-sensitive, nothing around it); 0 otherwise.
inline int ComPortNumberOf(std::string_view name) {
  if (name.size() < 4 || name.size() > 6 || name.substr(0, 3) != "COM" || name[3] == '0') return 0;
  int n = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= 254 ? n : 0;
}

inline std::string ComPortName(int n) { return "COM" + std::to_string(n); }

// Strips leading and trailing blanks and control characters (every byte up
// to and including the space).
inline std::string TrimPortName(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace karvo
