#pragma once
// Text files the program writes on the operator's request (the register
// dump and the data export): lines in the system's 8-bit code page, no
// byte-order mark, every line, the last one too, ending in CR LF. The
// builders of their contents sit beside this writer.

#include <filesystem>
#include <string>
#include <vector>

namespace karvo {

// Writes the lines to `path`, replacing the file. Throws std::runtime_error
// with the system's reason when the file cannot be created or written; the
// action that asked does not catch it, so the operator gets the error report.
void WriteTextFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

}  // namespace karvo
