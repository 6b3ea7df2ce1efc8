#pragma once
// Small helpers the supervisor's tests share.

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

namespace karvo::test {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Whether `lines` (log lines) hold `line` exactly.
inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace karvo::test
