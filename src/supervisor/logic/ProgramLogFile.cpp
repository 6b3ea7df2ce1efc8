#include "supervisor/logic/ProgramLogFile.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "common/Attention.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "common/Text.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "KarvoTemp-";
constexpr const char* kSuffix = ".log";

// The local day of a file name of ours, or -1.
long DayOfFileName(const std::string& name) {
  int y = 0, m = 0, d = 0;
  char tail[8] = {};
  if (std::sscanf(name.c_str(), "KarvoTemp-%4d-%2d-%2d%7s", &y, &m, &d, tail) != 4 || std::string(tail) != kSuffix)
    return -1;
  if (m < 1 || m > 12 || d < 1 || d > 31) return -1;
  return static_cast<long>(EncodeDate(y, m, d));
}

}  // namespace

TProgramLogFile::TProgramLogFile(fs::path folder) : fFolder(std::move(folder)) {}
TProgramLogFile::TProgramLogFile() : TProgramLogFile(KarvoStateDir() / "log") {}

TProgramLogFile::~TProgramLogFile() = default;

std::string TProgramLogFile::FileNameFor(TDateTime local) {
  const DateTimeParts p = DecodeDateTime(local);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s%04d-%02d-%02d%s", kPrefix, p.year, p.month, p.day, kSuffix);
  return buf;
}

void TProgramLogFile::RemoveOldFiles(long today) {
  std::error_code ec;
  for (fs::directory_iterator it(fFolder, ec), end; !ec && it != end; it.increment(ec)) {
    const long day = DayOfFileName(it->path().filename().string());
    if (day >= 0 && day <= today - kKeepDays) {
      std::error_code removeError;
      fs::remove(it->path(), removeError);
    }
  }
}

void TProgramLogFile::OpenDay(TDateTime local) {
  if (fFile.is_open()) fFile.close();
  fFile.clear();
  const long day = static_cast<long>(std::floor(local));
  fDay = day;
  std::error_code ec;
  fs::create_directories(fFolder, ec);
  const fs::path path = fFolder / FileNameFor(local);
  // Text mode: the system's line ends.
  errno = 0;
  fFile.open(path, std::ios::out | std::ios::app);
  if (!fFile.is_open()) {
    Failed(path, UtcNow(), ec ? ec.value() : errno);
    return;
  }
  RemoveOldFiles(day);
}

namespace {

std::string LocalStamp(const DateTimeParts& p) {
  char text[24];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return text;
}

}  // namespace

void TProgramLogFile::Failed(const fs::path& path, TDateTime utc, int error) {
  fRetryAtUtc = utc + 1.0 / kMinutesPerDay;
  if (fFailing) return;
  fFailing = true;
  fFailedSince = LocalStamp(DecodeDateTime(UtcToLocal(utc)));
  fFailure = PathText(path) + ": " + (error != 0 ? std::strerror(error) : "cannot be written");
  const std::string text = "The program log cannot be written to " + fFailure +
                           ". Its lines are only on screen until it can; tried again every minute.";
  RaiseAttention(kLogFileAttention, text);
  fNotice = text;
}

std::string TProgramLogFile::GapText(const DateTimeParts& now) const {
  return "The program log could not be written from " + fFailedSince + " to " + LocalStamp(now) + " (" + fFailure +
         "); the lines of that time are missing here.";
}

std::string TProgramLogFile::Write(std::string_view line) {
  fNotice.clear();
  const TDateTime utc = UtcNow();
  const TDateTime local = UtcToLocal(utc);
  const long day = static_cast<long>(std::floor(local));
  if (day != fDay || (!fFile.is_open() && utc >= fRetryAtUtc)) OpenDay(local);
  if (!fFile.is_open()) return std::move(fNotice);
  const DateTimeParts p = DecodeDateTime(local);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", p.hour, p.minute, p.second);
  // After a failure the file first says what it lacks.
  const std::string gap = fFailing ? GapText(p) : std::string();
  errno = 0;
  if (!gap.empty()) fFile << stamp << gap << '\n';
  fFile << stamp << line << '\n';
  fFile.flush();
  // A write that failed (disk full) is tried again with a new file later.
  if (!fFile) {
    const int error = errno;
    fFile.close();
    Failed(fFolder / FileNameFor(local), utc, error);
    return std::move(fNotice);
  }
  if (!fFailing) return {};
  fFailing = false;
  ClearAttention(kLogFileAttention);
  return gap;
}

}  // namespace karvo
