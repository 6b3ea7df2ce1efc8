#pragma once
// Text files the program writes on the operator's request (the register
// dump and the data export): lines in the system's 8-bit code page, no
// byte-order mark, every line, the last one too, ending in CR LF. Each file
// is written whole or not at all (common/AtomicFile.h): an error leaves the
// file that was there before untouched and is raised with the system's
// reason; the action that asked does not catch it, so the operator gets the
// error report.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/AtomicFile.h"

namespace karvo {

// A text file being written line by line.
class TTextFile {
 public:
  // Throws EFileWriteError when the file cannot be created.
  explicit TTextFile(const std::filesystem::path& path) : fFile(path) {}
  // Appends `text` and CR LF.
  void Line(std::string_view text) {
    fFile.Write(text);
    fFile.Write("\r\n");
  }
  // Replaces the file with the lines written; until then it is unchanged.
  void Commit() { fFile.Commit(); }

 private:
  TAtomicFile fFile;
};

// Writes the lines to `path`, replacing the file. Throws EFileWriteError.
void WriteTextFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

}  // namespace karvo
