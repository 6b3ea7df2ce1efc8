#include "supervisor/logic/TextFiles.h"

namespace karvo {

void WriteTextFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  TTextFile file(path);
  for (const std::string& line : lines) file.Line(line);
  file.Commit();
}

}  // namespace karvo
