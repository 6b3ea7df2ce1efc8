#include "supervisor/TextFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace karvo {

void WriteTextFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot create file \"" + path.string() + "\": " + std::strerror(errno));
  for (const std::string& line : lines) out << line << "\r\n";
  out.close();
  if (!out) throw std::runtime_error("Cannot write file \"" + path.string() + "\"");
}

}  // namespace karvo
