#include "supervisor/ProgramLogFile.h"

#include <cmath>
#include <cstdio>
#include <system_error>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"
#include "common/StateDir.h"

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
  fFile.open(path, std::ios::out | std::ios::app);
  if (!fFile.is_open()) {
    fRetryAtUtc = UtcNow() + 1.0 / kMinutesPerDay;
    return;
  }
  RemoveOldFiles(day);
}

void TProgramLogFile::Write(std::string_view line) {
  const TDateTime utc = UtcNow();
  const TDateTime local = UtcToLocal(utc);
  const long day = static_cast<long>(std::floor(local));
  if (day != fDay || (!fFile.is_open() && utc >= fRetryAtUtc)) OpenDay(local);
  if (!fFile.is_open()) return;
  const DateTimeParts p = DecodeDateTime(local);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", p.hour, p.minute, p.second);
  fFile << stamp << line << '\n';
  fFile.flush();
  // A write that failed (disk full) is tried again with a new file later.
  if (!fFile) {
    fFile.close();
    fRetryAtUtc = utc + 1.0 / kMinutesPerDay;
  }
}

}  // namespace karvo
