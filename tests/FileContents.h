#pragma once
// The whole content of a file, for tests that check what the program wrote.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace karvo::test {

// Binary: the bytes as stored. Text: line ends as the platform reads them.
inline std::string FileContents(const std::filesystem::path& path, bool binary = true) {
  std::ifstream in(path, binary ? std::ios::in | std::ios::binary : std::ios::in);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Replaces the file with `bytes`.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::out | std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace karvo::test
