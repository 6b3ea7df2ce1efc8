#include <cstring>

#include "common/SystemError.h"

namespace karvo {

std::string SystemErrorText(unsigned long code) {
  std::string text = std::strerror(static_cast<int>(code));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace karvo
