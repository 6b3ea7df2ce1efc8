#pragma once
// The program log's daily files. Every line of the program log also goes to
// <state folder>/log/KarvoTemp-yyyy-mm-dd.log (the local date), stamped with
// the local time of day, so nothing is lost when the on-screen log drops its
// oldest lines. Files of the last 30 days are kept; older ones are removed
// when a day's file is opened.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/Types.h"

namespace karvo {

class TProgramLogFile {
 public:
  static constexpr int kKeepDays = 30;

  // Files go to `folder` (the state folder's "log" by default).
  explicit TProgramLogFile(std::filesystem::path folder);
  TProgramLogFile();
  ~TProgramLogFile();
  TProgramLogFile(const TProgramLogFile&) = delete;
  TProgramLogFile& operator=(const TProgramLogFile&) = delete;

  // Appends "hh:nn:ss " + line and flushes it to the system. Never throws: a
  // file that cannot be written costs its lines (tried again a minute
  // later), not the program. One caller at a time (the log sink).
  void Write(std::string_view line);

  const std::filesystem::path& Folder() const { return fFolder; }
  // The file of the local date `local`.
  static std::string FileNameFor(TDateTime local);

 private:
  void OpenDay(TDateTime local);
  void RemoveOldFiles(long today);

  std::filesystem::path fFolder;
  std::ofstream fFile;
  long fDay = -1;               // local day number of the open file
  TDateTime fRetryAtUtc = 0.0;  // after a failure to open
};

}  // namespace karvo
