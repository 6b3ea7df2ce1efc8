#pragma once
// The program log's daily files. Every line of the program log also goes to
// <state folder>/log/KarvoTemp-yyyy-mm-dd.log (the local date), stamped with
// the local time of day, so nothing is lost when the on-screen log drops its
// oldest lines. Files of the last 30 days are kept; older ones are removed
// when a day's file is opened.
//
// A file that cannot be opened or written (a full disk, a folder that is
// not writable) is said once, not at every line: in the program log on
// screen (Write's notice) and as the attention condition
// kLogFileAttention, until a line goes to a file again. Meanwhile the file
// is tried again every minute and at the next local day; the first line
// that goes to a file again is preceded by a line that names the gap.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/DateTime.h"
#include "common/Types.h"

namespace karvo {

inline constexpr const char* kLogFileAttention = "log-file";

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
  // later, and at the next day), not the program. One caller at a time (the
  // log sink). Returns a line for the program log on screen (not for the
  // file) when the file has just failed or works again, otherwise nothing.
  std::string Write(std::string_view line);

  const std::filesystem::path& Folder() const { return fFolder; }
  // The file of the local date `local`.
  static std::string FileNameFor(TDateTime local);

 private:
  void OpenDay(TDateTime local);
  void RemoveOldFiles(long today);
  void Failed(const std::filesystem::path& path, TDateTime utc, int error);  // sets fNotice once
  std::string GapText(const DateTimeParts& now) const;

  std::filesystem::path fFolder;
  std::ofstream fFile;
  long fDay = -1;               // local day number of the open file
  TDateTime fRetryAtUtc = 0.0;  // after a failure to open or write
  std::string fNotice;          // for the caller of Write
  bool fFailing = false;        // lines are being lost; said already
  std::string fFailedSince;     // local "yyyy-mm-dd hh:nn:ss" of the first lost line
  std::string fFailure;         // the file and the system's reason
};

}  // namespace karvo
