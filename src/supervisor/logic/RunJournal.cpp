#include "supervisor/logic/RunJournal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <system_error>
#include <utility>

#include "common/AtomicFile.h"
#include "common/AtomicFilePlatform.h"
#include "common/Attention.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/ProgramThread.h"
#include "common/StateDir.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/JournalFile.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// Far longer than any line the journal writes (five fields of at most 25
// characters): a longer one is not of the journal.
constexpr std::size_t kMaxLineBytes = 512;
constexpr const char* kProgramTitle = "KarvoTemp instructions program";
constexpr const char* kProgramTableHeader = "Segment;Setpoint;Ramp rate;Dwell days;Finished;Compensate";
constexpr int kMaxProgramSegments = 100000;
// What a register holds.
constexpr std::int32_t kMaxRegisterValue = 65535;
constexpr std::string_view kJournalExtension = ".csv";
constexpr std::string_view kStabilityField = "Stability: ";

const double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// --- Reading -----------------------------------------------------------------

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// "yyyy-MM-dd HH<sep>mm<sep>ss": the local date-time and its minute.
bool ParseLocalTime(std::string_view field, const std::string& separator, TDateTime& local, std::int64_t& minute) {
  int year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0;
  if (!Digits(field, 0, 4, year) || field.size() < 16 || field[4] != '-' || !Digits(field, 5, 2, month) ||
      field[7] != '-' || !Digits(field, 8, 2, day) || field[10] != ' ' || !Digits(field, 11, 2, hour))
    return false;
  std::size_t at = 13;
  auto skipSeparator = [&] {
    if (field.compare(at, separator.size(), separator) == 0 && !separator.empty()) {
      at += separator.size();
      return true;
    }
    if (at < field.size() && field[at] == ':') {
      ++at;
      return true;
    }
    return false;
  };
  if (!skipSeparator() || !Digits(field, at, 2, min)) return false;
  at += 2;
  if (!skipSeparator() || !Digits(field, at, 2, sec) || at + 2 != field.size()) return false;
  if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || min > 59 ||
      sec > 59)
    return false;
  const TDateTime date = EncodeDate(year, month, day);
  local = date + (hour * 3600 + min * 60 + sec) / kSecondsPerDay;
  minute = static_cast<std::int64_t>(date) * 1440 + hour * 60 + min;
  return true;
}

// A number as the general format writes it, with `decimal` as its decimal
// separator; empty: not a number.
bool ParseNumber(std::string_view field, const std::string& decimal, double& value) {
  if (field.empty()) {
    value = kNotANumber;
    return true;
  }
  char buffer[64];
  std::size_t n = 0;
  for (std::size_t i = 0; i < field.size();) {
    if (n + 1 >= sizeof buffer) return false;
    if (!decimal.empty() && field.compare(i, decimal.size(), decimal) == 0) {
      buffer[n++] = '.';
      i += decimal.size();
      continue;
    }
    const char c = field[i++];
    const bool allowed = (c >= '0' && c <= '9') || c == '-' || c == '+' || c == 'E' || c == 'e' || c == '.';
    if (!allowed) return false;
    buffer[n++] = c;
  }
  if (buffer[0] == '+') return false;
  const auto [end, ec] = std::from_chars(buffer, buffer + n, value, std::chars_format::general);
  return ec == std::errc() && end == buffer + n && std::isfinite(value);
}

// Local times back to instants. Offsets are kept per local minute (every
// change of a time zone's offset falls on a whole minute); in the hour that
// occurs twice, the occurrence that does not go back behind the previous
// sample is taken.
class TLocalToInstant {
 public:
  TDateTime operator()(TDateTime local, std::int64_t minute) {
    TDateTime utc;
    if (minute == fMinute) {
      utc = local - fOffset;
    } else {
      utc = LocalToUtc(local);
      fMinute = minute;
      fOffset = local - utc;
    }
    if (fHavePrevious && utc < fPrevious) {
      const TDateTime later = LocalToUtc(local, true);
      if (later > utc) {
        utc = later;
        fOffset = local - later;
      }
    }
    fHavePrevious = true;
    fPrevious = utc;
    return utc;
  }

 private:
  std::int64_t fMinute = std::numeric_limits<std::int64_t>::min();
  TDateTime fOffset = 0.0;
  bool fHavePrevious = false;
  TDateTime fPrevious = 0.0;
};

bool ParseLine(std::string_view line, const TRegionalSettings& r, TLocalToInstant& toInstant, TJournalSample& s) {
  if (line.size() > kMaxLineBytes) return false;
  std::string_view fields[5];
  std::size_t count = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(';', start);
    if (count == 5) return false;
    fields[count++] = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  if (count != 5) return false;
  TDateTime local = 0.0;
  std::int64_t minute = 0;
  if (!ParseLocalTime(fields[0], r.timeSeparator, local, minute)) return false;
  if (!ParseNumber(fields[1], r.decimalSeparator, s.Temperature) ||
      !ParseNumber(fields[2], r.decimalSeparator, s.Setpoint) ||
      !ParseNumber(fields[3], r.decimalSeparator, s.WorkingSetpoint) ||
      !ParseNumber(fields[4], r.decimalSeparator, s.WorkingOutput))
    return false;
  s.Time = toInstant(local, minute);
  return true;
}

constexpr std::string_view kGapField = "Gap";

// "Gap;<first>;<last>;<count>".
bool ParseGapLine(std::string_view line, const TRegionalSettings& r, TJournalGap& gap) {
  if (line.size() > kMaxLineBytes) return false;
  std::string_view fields[4];
  std::size_t count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t end = line.find(';', start);
    if (count == 4) return false;
    fields[count++] = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  TDateTime from = 0.0, to = 0.0;
  std::int64_t minute = 0;
  if (count != 4 || fields[0] != kGapField || !ParseLocalTime(fields[1], r.timeSeparator, from, minute) ||
      !ParseLocalTime(fields[2], r.timeSeparator, to, minute))
    return false;
  const std::string_view n = fields[3];
  const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), gap.Samples);
  if (n.empty() || ec != std::errc() || end != n.data() + n.size() || gap.Samples == 0) return false;
  gap.From = LocalToUtc(from);
  gap.To = LocalToUtc(to);
  return true;
}

// Progress is told at least every so many bytes.
constexpr std::size_t kProgressStep = std::size_t{1} << 16;
constexpr const char* kNotAJournal = "it is not a run journal (its first line is not the journal's header)";

TJournalContents Stopped() {
  TJournalContents out;
  out.Error = kReadingStopped;
  return out;
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

constexpr std::string_view kDecimalField = "; Decimal separator \"";
constexpr std::string_view kTimeField = "\"; Time separator \"";

// The column titles at the start of `line`, the degree sign in the system
// code page, UTF-8, Latin-1 or as a code page without it writes it; their
// length, 0 when they are not there.
std::size_t ColumnTitlesLength(std::string_view line) {
  static const std::string system = JournalHeader();
  if (line.substr(0, system.size()) == system) return system.size();
  for (const std::string_view degree : {"\xC2\xBA", "\xBA", "?"}) {
    std::string titles = "Time as yyyy-mm-dd hh:mm:ss; Temperature ";
    for (const char* next : {"C; Target setpoint ", "C; Working setpoint ", "C; Working output %"}) {
      titles += degree;
      titles += next;
    }
    if (line.substr(0, titles.size()) == titles) return titles.size();
  }
  return 0;
}

// The separators a journal's header names (none for a header of only the
// column titles); false when the line is not a journal's header.
bool ParseHeader(std::string_view line, std::optional<std::pair<std::string, std::string>>& separators) {
  const std::size_t titles = ColumnTitlesLength(line);
  if (titles == 0) return false;
  line.remove_prefix(titles);
  separators.reset();
  if (line.empty()) return true;
  if (line.substr(0, kDecimalField.size()) != kDecimalField) return false;
  line.remove_prefix(kDecimalField.size());
  // The closing quote is one of its own, not the opening one.
  if (line.empty() || line.back() != '"') return false;
  line.remove_suffix(1);
  const std::size_t at = line.find(kTimeField);
  if (at == std::string_view::npos) return false;
  separators.emplace(std::string(line.substr(0, at)), std::string(line.substr(at + kTimeField.size())));
  return true;
}

// --- The program file ----------------------------------------------------------

std::string DoubleText(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

template <class T>
bool ParseWhole(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::string FileNameText(const std::wstring& furnace) {
  std::string name;
  for (const wchar_t c : furnace) {
    const bool plain =
        (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'-' || c == L'_';
    name += plain ? static_cast<char>(c) : '_';
  }
  return name.empty() ? std::string("_") : name;
}

}  // namespace

std::string JournalHeader() { return DataExportHeader() + "; Working output %"; }

std::string JournalHeader(const TRegionalSettings& regional) {
  return JournalHeader() + std::string(kDecimalField) + regional.decimalSeparator + std::string(kTimeField) +
         regional.timeSeparator + "\"";
}

void AppendJournalLine(std::string& line, const TJournalSample& s, const TRegionalSettings& regional) {
  AppendDataExportLine(line, s.Time, s.Temperature, s.Setpoint, s.WorkingSetpoint, regional);
  line += ';';
  if (std::isfinite(s.WorkingOutput)) line += FormatGeneral(s.WorkingOutput, regional);
}

void AppendJournalGapLine(std::string& line, const TJournalGap& gap, const TRegionalSettings& regional) {
  line += kGapField;
  line += ';';
  AppendDataExportTime(line, gap.From, regional);
  line += ';';
  AppendDataExportTime(line, gap.To, regional);
  line += ';';
  line += std::to_string(gap.Samples);
}

TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional) {
  return ParseJournal(bytes, regional, {});
}

TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional,
                              const TReadProgress& progress) {
  TJournalContents out;
  if (bytes.size() > kMaxJournalBytes) {
    out.Error = "the file is larger than a run journal can be";
    return out;
  }
  if (bytes.empty()) return out;
  std::size_t end = bytes.find('\n');
  if (end == std::string_view::npos) {
    // Only the header, cut short.
    out.TornLastLine = true;
    return out;
  }
  std::optional<std::pair<std::string, std::string>> separators;
  if (!ParseHeader(WithoutLineEnd(bytes.substr(0, end)), separators)) {
    out.Error = kNotAJournal;
    return out;
  }
  // The lines are read with the separators they were written with.
  TRegionalSettings own = regional;
  if (separators) {
    own.decimalSeparator = separators->first;
    own.timeSeparator = separators->second;
  }
  out.DecimalSeparator = own.decimalSeparator;
  out.TimeSeparator = own.timeSeparator;
  TLocalToInstant toInstant;
  const std::size_t step = std::max<std::size_t>(bytes.size() / 100, kProgressStep);
  std::size_t nextReport = 0;
  // No room is set aside in advance: only lines that are samples take any.
  for (std::size_t start = end + 1; start < bytes.size(); start = end + 1) {
    if (progress && start >= nextReport) {
      if (!progress(start, bytes.size())) return Stopped();
      nextReport = start + step;
    }
    end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      out.TornLastLine = true;
      break;
    }
    const std::string_view line = WithoutLineEnd(bytes.substr(start, end - start));
    TJournalSample s;
    TJournalGap gap;
    if (line.substr(0, kGapField.size() + 1) == "Gap;") {
      if (ParseGapLine(line, own, gap)) {
        out.Gaps.push_back(gap);
      } else {
        ++out.RefusedLines;
      }
    } else if (ParseLine(line, own, toInstant, s)) {
      out.Samples.push_back(s);
    } else {
      ++out.RefusedLines;
    }
  }
  if (progress && !progress(bytes.size(), bytes.size())) return Stopped();
  return out;
}

TJournalContents ReadJournal(const fs::path& path, const TRegionalSettings& regional, const TReadProgress& progress) {
  TJournalContents out;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) {
    out.Error = ec.message();
    return out;
  }
  if (size > kMaxJournalBytes) {
    out.Error = "the file is larger than a run journal can be";
    return out;
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    // A file that shrank while it was read is read as far as it went.
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (bytes.empty() && size > 0) {
      out.Error = "the file cannot be read";
      return out;
    }
  }
  return ParseJournal(bytes, regional, progress);
}

std::vector<TFurnaceActionParameters> ProgramSegments(const TFurnaceModule& module) {
  std::vector<TFurnaceActionParameters> segments;
  for (int i = 1; i <= module.InstructionCount(); ++i) segments.push_back(module.GetInstruction(i));
  return segments;
}

std::string ProgramFileText(const std::wstring& furnace, const std::vector<TFurnaceActionParameters>& segments,
                            const TProgramStability& stability) {
  const int current = CurrentSegmentOf(segments);
  std::string text;
  text += kProgramTitle;
  text += kLineEnd;
  text += "Furnace: " + FileNameText(furnace);
  text += kLineEnd;
  text += "Current segment: " + std::to_string(current);
  text += kLineEnd;
  text += kStabilityField;
  text += std::to_string(stability.Segment) + ';' + DoubleText(stability.StableSince) + ';' +
          std::to_string(stability.CreditMs);
  text += kLineEnd;
  text += kProgramTableHeader;
  text += kLineEnd;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const TFurnaceActionParameters& s = segments[i];
    text += std::to_string(i + 1) + ';' + std::to_string(s.TargetSetpoint) + ';' + std::to_string(s.RampRate) + ';' +
            DoubleText(s.Duration) + ';' + (s.Finished ? '1' : '0') + ';' + (s.Compensate ? '1' : '0');
    text += kLineEnd;
  }
  return text;
}

std::optional<std::vector<TFurnaceActionParameters>> ParseProgramFile(std::string_view text, std::string& error,
                                                                      TProgramStability* stability) {
  std::vector<std::string_view> lines = Split(text, '\n');
  // The text ends with a line end: nothing after the last one.
  if (lines.empty() || !lines.back().empty()) {
    error = "the file is cut short";
    return std::nullopt;
  }
  lines.pop_back();
  for (std::string_view& line : lines) line = WithoutLineEnd(line);
  // The stability line (files written before it was kept have none).
  TProgramStability stable;
  const bool hasStability = lines.size() > 3 && lines[3].substr(0, kStabilityField.size()) == kStabilityField;
  if (hasStability) {
    const std::vector<std::string_view> f = Split(lines[3].substr(kStabilityField.size()), ';');
    std::from_chars_result since{nullptr, std::errc::invalid_argument};
    if (f.size() == 3) since = std::from_chars(f[1].data(), f[1].data() + f[1].size(), stable.StableSince);
    if (f.size() != 3 || !ParseWhole(f[0], stable.Segment) || stable.Segment < 0 || f[1].empty() ||
        since.ec != std::errc() || since.ptr != f[1].data() + f[1].size() || !std::isfinite(stable.StableSince) ||
        stable.StableSince < 0.0 || !ParseWhole(f[2], stable.CreditMs) || stable.CreditMs < 0) {
      error = "line 4: it is not the stability of the program";
      return std::nullopt;
    }
    lines.erase(lines.begin() + 3);
  }
  if (lines.size() < 4 || lines[0] != kProgramTitle || lines[1].substr(0, 9) != "Furnace: " ||
      lines[2].substr(0, 17) != "Current segment: " || lines[3] != kProgramTableHeader) {
    error = "it is not an instructions program file";
    return std::nullopt;
  }
  if (lines.size() - 4 > static_cast<std::size_t>(kMaxProgramSegments)) {
    error = "it holds too many segments";
    return std::nullopt;
  }
  std::vector<TFurnaceActionParameters> segments;
  // Line numbers as in the file.
  const std::size_t shift = hasStability ? 2 : 1;
  for (std::size_t i = 4; i < lines.size(); ++i) {
    const std::vector<std::string_view> f = Split(lines[i], ';');
    const std::string where = "line " + std::to_string(i + shift) + ": ";
    TFurnaceActionParameters s;
    int number = 0;
    const auto flag = [](std::string_view t, bool& v) {
      if (t != "0" && t != "1") return false;
      v = t == "1";
      return true;
    };
    double dwell = 0.0;
    const auto [end, ec] = f.size() == 6 ? std::from_chars(f[3].data(), f[3].data() + f[3].size(), dwell)
                                         : std::from_chars_result{nullptr, std::errc::invalid_argument};
    if (f.size() != 6 || !ParseWhole(f[0], number) || !ParseWhole(f[1], s.TargetSetpoint) ||
        !ParseWhole(f[2], s.RampRate) || !flag(f[4], s.Finished) || !flag(f[5], s.Compensate) || f[3].empty() ||
        ec != std::errc() || end != f[3].data() + f[3].size() || !std::isfinite(dwell)) {
      error = where + "it is not a segment";
      return std::nullopt;
    }
    s.Duration = dwell;
    // Checked as the program editors check typed values: nothing a
    // register cannot hold, no negative dwell, every segment once.
    if (number <= static_cast<int>(segments.size())) {
      error = where + "segment " + std::to_string(number) + " appears twice";
      return std::nullopt;
    }
    if (number != static_cast<int>(segments.size()) + 1) {
      error = where + "segment " + std::to_string(segments.size() + 1) + " is missing";
      return std::nullopt;
    }
    if (s.TargetSetpoint < 0 || s.TargetSetpoint > kMaxRegisterValue) {
      error = where + "the setpoint " + std::to_string(s.TargetSetpoint) + " lies outside 0.." +
              std::to_string(kMaxRegisterValue);
      return std::nullopt;
    }
    if (s.RampRate < 0 || s.RampRate > kMaxRegisterValue) {
      error = where + "the ramp rate " + std::to_string(s.RampRate) + " lies outside 0.." +
              std::to_string(kMaxRegisterValue);
      return std::nullopt;
    }
    if (s.Duration < 0.0) {
      error = where + "the dwell is negative";
      return std::nullopt;
    }
    segments.push_back(s);
  }
  if (stability) *stability = stable;
  return segments;
}

// --- Runs --------------------------------------------------------------------------

fs::path RunsFolder() { return KarvoStateDir() / "runs"; }

fs::path TRunFiles::Program() const {
  fs::path p = Journal;
  return p.replace_extension(".program");
}

fs::path TRunFiles::ClosedMark() const {
  fs::path p = Journal;
  return p.replace_extension(".closed");
}

std::string RunBaseName(TDateTime startedUtc, const std::wstring& furnace) {
  const DateTimeParts p = DecodeDateTime(startedUtc);
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d.%02d.%02d UTC ", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
  return stamp + FileNameText(furnace);
}

std::optional<TRunFiles> RunOfJournal(const fs::path& journal) {
  if (journal.extension() != kJournalExtension) return std::nullopt;
  const std::string stem = PathText(journal.stem());
  // "yyyy-mm-dd hh.nn.ss UTC " and the furnace name.
  if (stem.size() < 25 || stem.compare(19, 5, " UTC ") != 0) return std::nullopt;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!Digits(stem, 0, 4, y) || stem[4] != '-' || !Digits(stem, 5, 2, mo) || stem[7] != '-' || !Digits(stem, 8, 2, d) ||
      stem[10] != ' ' || !Digits(stem, 11, 2, h) || stem[13] != '.' || !Digits(stem, 14, 2, mi) || stem[16] != '.' ||
      !Digits(stem, 17, 2, s))
    return std::nullopt;
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59)
    return std::nullopt;
  TRunFiles run;
  run.Journal = journal;
  run.Started = EncodeDate(y, mo, d) + (h * 3600 + mi * 60 + s) / kSecondsPerDay;
  std::string furnace = stem.substr(24);
  // A second run started in the same second carries " (2)" and so on.
  if (const std::size_t paren = furnace.rfind(" ("); paren != std::string::npos && furnace.back() == ')')
    furnace.erase(paren);
  run.Furnace.assign(furnace.begin(), furnace.end());
  return run;
}

std::vector<TRunFiles> UnclosedRuns(const fs::path& folder) {
  std::vector<TRunFiles> runs;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::optional<TRunFiles> run = RunOfJournal(it->path());
    std::error_code fileError;
    if (!run || !it->is_regular_file(fileError) || fs::exists(run->ClosedMark(), fileError) ||
        journal_file::InUse(run->Journal))
      continue;
    runs.push_back(std::move(*run));
  }
  std::sort(runs.begin(), runs.end(), [](const TRunFiles& a, const TRunFiles& b) {
    if (a.Started != b.Started) return a.Started > b.Started;
    // " (2)" and so on: started later in the same second.
    return a.Journal.stem() > b.Journal.stem();
  });
  return runs;
}

namespace {

// The instant of the sample on `line`, if it is one.
std::optional<TDateTime> SampleTime(std::string_view line, const TRegionalSettings& r) {
  TLocalToInstant toInstant;
  TJournalSample s;
  if (!ParseLine(WithoutLineEnd(line), r, toInstant, s)) return std::nullopt;
  return s.Time;
}

// The instant of the last sample that reads among the last MiB of the
// first `whole` bytes of `in` (whole lines).
TDateTime LastSampleTime(std::ifstream& in, std::uint64_t whole, const TRegionalSettings& r) {
  constexpr std::uint64_t kTail = std::uint64_t{1} << 20;
  const std::uint64_t start = whole > kTail ? whole - kTail : 0;
  std::string tail(static_cast<std::size_t>(whole - start), '\0');
  in.clear();
  in.seekg(static_cast<std::streamoff>(start));
  if (!in.read(tail.data(), static_cast<std::streamsize>(tail.size()))) return 0.0;
  std::string_view lines(tail);
  if (!lines.empty() && lines.back() == '\n') lines.remove_suffix(1);
  // From the end; the first line is the header or cut by the tail's start.
  for (std::size_t from; (from = lines.rfind('\n')) != std::string_view::npos; lines = lines.substr(0, from))
    if (const auto t = SampleTime(lines.substr(from + 1), r)) return *t;
  return 0.0;
}

}  // namespace

TRunSummary SummarizeRun(const TRunFiles& run, const TRegionalSettings& regional, const TReadProgress& progress) {
  TRunSummary out;
  out.Files = run;
  std::error_code ec;
  const std::uint64_t size = fs::file_size(run.Journal, ec);
  if (ec) {
    out.Error = ec.message();
    return out;
  }
  std::ifstream in(run.Journal, std::ios::binary);
  if (!in) {
    out.Error = "the file cannot be read";
    return out;
  }
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::string block(kBlock, '\0');
  TRegionalSettings own = regional;
  bool header = true;      // the header line is under way
  bool lineStart = false;  // the next byte begins a line
  bool sampleLine = false;
  std::uint64_t done = 0;
  std::uint64_t whole = 0;  // bytes up to the last line end
  for (;;) {
    if (progress && !progress(done, size)) {
      out = {};
      out.Files = run;
      out.Error = kReadingStopped;
      return out;
    }
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const std::size_t n = static_cast<std::size_t>(in.gcount());
    if (n == 0) break;
    const std::string_view bytes(block.data(), n);
    std::size_t at = 0;
    if (header) {
      at = bytes.find('\n');
      std::optional<std::pair<std::string, std::string>> separators;
      if (done != 0 || at == std::string_view::npos || !ParseHeader(WithoutLineEnd(bytes.substr(0, at)), separators)) {
        // A header longer than a block is not the journal's either.
        if (at == std::string_view::npos && n < kBlock) break;  // only the header, cut short
        out.Error = kNotAJournal;
        return out;
      }
      if (separators) {
        own.decimalSeparator = separators->first;
        own.timeSeparator = separators->second;
      }
      header = false;
      lineStart = true;
      ++at;
      whole = at;
      // The first sample lies near the start.
      for (std::size_t from = at, end; out.First == 0.0 && (end = bytes.find('\n', from)) != std::string_view::npos;
           from = end + 1)
        if (const auto t = SampleTime(bytes.substr(from, end - from), own)) out.First = *t;
    }
    while (at < n) {
      if (lineStart) {
        sampleLine = bytes[at] >= '0' && bytes[at] <= '9';
        lineStart = false;
      }
      const std::size_t end = bytes.find('\n', at);
      if (end == std::string_view::npos) break;
      if (sampleLine) ++out.Samples;
      lineStart = true;
      at = end + 1;
      whole = done + at;
    }
    done += n;
  }
  if (progress && !progress(size, size)) {
    out = {};
    out.Files = run;
    out.Error = kReadingStopped;
    return out;
  }
  if (out.Samples > 0) out.Last = LastSampleTime(in, whole, own);
  return out;
}

std::uint64_t GapOfClosedMark(const fs::path& mark) {
  std::error_code ec;
  if (!fs::is_regular_file(mark, ec)) return 0;
  std::ifstream in(mark, std::ios::binary);
  std::string text;
  std::getline(in, text);
  constexpr std::string_view kPrefix = "Gap: ";
  if (text.compare(0, kPrefix.size(), kPrefix) != 0) return 0;
  std::uint64_t samples = 0;
  const char* first = text.data() + kPrefix.size();
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), samples);
  return error == std::errc() && end != first ? samples : 0;
}

void MarkRunClosed(const TRunFiles& run) { WriteFileAtomically(run.ClosedMark(), {}); }

TJournalIo SystemJournalIo() {
  TJournalIo io;
  io.Open = journal_file::OpenForAppend;
  io.Write = [](std::intptr_t handle, std::string_view bytes, std::string& reason) {
    return atomic_file::WriteAll(handle, bytes.data(), bytes.size(), reason);
  };
  io.Sync = journal_file::Sync;
  io.Truncate = journal_file::Truncate;
  io.Close = atomic_file::Close;
  io.Replace = WriteFileAtomically;
  return io;
}

// --- The writer --------------------------------------------------------------------

TRunJournal::TRunJournal(const TRegionalSettings& regional)
    : fRegional(ExportRegional(regional)), fIo(SystemJournalIo()) {}

TRunJournal::~TRunJournal() {
  {
    std::lock_guard lock(fMutex);
    fStop = true;
  }
  fWake.notify_all();
  if (fThread.joinable()) fThread.join();
  CloseFile();
  if (fRunActive) ClearAttention(kJournalAttentionKey);
}

void TRunJournal::SetFolder(std::optional<fs::path> folder) { fFolder = std::move(folder); }

void TRunJournal::SetIo(TJournalIo io) {
  std::lock_guard lock(fMutex);
  fIo = std::move(io);
}

void TRunJournal::SetRetry(std::uint32_t firstMs, std::uint32_t mostMs, std::size_t queueBound) {
  std::lock_guard lock(fMutex);
  fFirstRetry = fBackoff = std::chrono::milliseconds(firstMs);
  fMostRetry = std::chrono::milliseconds(mostMs);
  fQueueBound = std::max<std::size_t>(queueBound, 1);
}

void TRunJournal::ContinueRun(const TRunFiles& run) {
  fContinue = run;
  fContinueEnded = false;
}

std::optional<TRunFiles> TRunJournal::EndedRun() const { return fContinue ? std::nullopt : fEnded; }

void TRunJournal::ContinueEndedRun() {
  if (!fEnded) return;
  fContinue = fEnded;
  fContinueEnded = true;
}

void TRunJournal::Queue(TJob job) {
  {
    std::lock_guard lock(fMutex);
    fQueue.push_back(std::move(job));
    if (!fThread.joinable()) fThread = StartProgramThread([this] { Run(); });
  }
  fWake.notify_one();
}

void TRunJournal::Begin(const std::wstring& furnace) {
  if (fOpen || !fFolder) return;
  fOpen = true;
  fProgramSaved = false;
  TJob job{TJob::Kind::Open, {}, {}, {}, false};
  fEnded.reset();
  if (fContinue) {
    fRun = std::exchange(fContinue, std::nullopt);
    job.Continue = true;
    // The ended run's journal is the one the writer had last, whatever
    // name it made unique.
    if (std::exchange(fContinueEnded, false)) fRun->Journal.clear();
  } else {
    TRunFiles run;
    run.Started = UtcNow();
    run.Furnace = furnace;
    // The writer thread makes the name unique.
    run.Journal = *fFolder / PathFromUtf8(RunBaseName(run.Started, furnace) + std::string(kJournalExtension));
    fRun = std::move(run);
  }
  job.Path = fRun->Journal;
  Queue(std::move(job));
}

void TRunJournal::Append(const TJournalSample& sample) {
  if (!fOpen) return;
  Queue({TJob::Kind::Sample, sample, {}, {}, false});
}

void TRunJournal::SaveProgram(const std::vector<TFurnaceActionParameters>& segments,
                              const TProgramStability& stability) {
  if (!fOpen) return;
  if (fProgramSaved && segments == fSavedProgram && stability == fSavedStability) return;
  fSavedProgram = segments;
  fSavedStability = stability;
  fProgramSaved = true;
  Queue({TJob::Kind::Program, {}, {}, ProgramFileText(fRun->Furnace, segments, stability), false});
}

void TRunJournal::End() {
  if (!fOpen) return;
  fOpen = false;
  Queue({TJob::Kind::Close, {}, {}, {}, false});
  fEnded = std::exchange(fRun, std::nullopt);
}

bool TRunJournal::WaitIdle(std::uint32_t limitMs) {
  std::unique_lock lock(fMutex);
  return fIdle.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return fQueue.empty() && !fBusy; });
}

bool TRunJournal::WaitWritten(std::uint32_t limitMs) {
  std::unique_lock lock(fMutex);
  return fIdle.wait_for(lock, std::chrono::milliseconds(limitMs),
                        [this] { return fQueue.empty() && !fBusy && fWaitingShared == 0; });
}

std::uint64_t TRunJournal::DurableSamples() const {
  std::lock_guard lock(fMutex);
  return fDurable;
}

std::size_t TRunJournal::QueuedSamples() const {
  std::lock_guard lock(fMutex);
  return static_cast<std::size_t>(
      std::count_if(fQueue.begin(), fQueue.end(), [](const TJob& job) { return job.What == TJob::Kind::Sample; }));
}

std::uint64_t TRunJournal::WaitingSamples() const {
  std::lock_guard lock(fMutex);
  return fWaitingShared;
}

std::uint64_t TRunJournal::LostSamples() const {
  std::lock_guard lock(fMutex);
  return fLostShared;
}

fs::path TRunJournal::JournalPath() const {
  std::lock_guard lock(fMutex);
  return fJournalPath;
}

void TRunJournal::Run() {
  std::vector<TJob> jobs;
  for (;;) {
    {
      std::unique_lock lock(fMutex);
      fBusy = false;
      if (fQueue.empty()) fIdle.notify_all();
      const auto due = [this] { return fStop || !fQueue.empty(); };
      if (fRetryAt) {
        fWake.wait_until(lock, *fRetryAt, due);
      } else {
        fWake.wait(lock, due);
      }
      if (fQueue.empty() && fStop) {
        lock.unlock();
        // One last try for samples still waiting.
        Flush(true);
        return;
      }
      jobs.assign(std::make_move_iterator(fQueue.begin()), std::make_move_iterator(fQueue.end()));
      fQueue.clear();
      fBusy = true;
    }
    for (const TJob& job : jobs) {
      switch (job.What) {
        case TJob::Kind::Open:
          DoOpen(job);
          break;
        case TJob::Kind::Sample:
          Keep(job.Sample);
          break;
        case TJob::Kind::Program:
          // The samples before the program go first.
          Flush(false);
          DoProgram(job);
          break;
        case TJob::Kind::Close:
          DoClose();
          break;
      }
    }
    jobs.clear();
    Flush(false);
  }
}

void TRunJournal::Keep(const TJournalSample& sample) {
  if (!fRunActive) return;
  fWaiting.push_back(sample);
  if (fWaiting.size() <= fQueueBound) return;
  // The oldest is given up; the gap line records it.
  const TJournalSample& oldest = fWaiting.front();
  if (fGap.Samples == 0) fGap.From = oldest.Time;
  fGap.To = oldest.Time;
  ++fGap.Samples;
  ++fRunLost;
  fWaiting.pop_front();
}

void TRunJournal::Published() {
  std::lock_guard lock(fMutex);
  fWaitingShared = fWaiting.size();
  fLostShared = fRunLost;
  if (fFailing) {
    fRetryAt = TClock::now() + fBackoff;
  } else {
    fRetryAt.reset();
  }
}

void TRunJournal::ShowWaiting() {
  std::string text = "The run journal cannot be written (" + fReason + "): " + std::to_string(fWaiting.size()) +
                     " samples wait in memory; it is tried again every " +
                     std::to_string(std::chrono::duration_cast<std::chrono::seconds>(fBackoff).count()) + " s.";
  if (fRunLost > 0) text += " " + std::to_string(fRunLost) + " older samples did not fit and are recorded as a gap.";
  RaiseAttention(kJournalAttentionKey, text);
}

void TRunJournal::Failed(const std::string& reason) {
  // What part of the lines reached the file is cut off again; when even
  // that fails, the next try cuts it first.
  if (fHandle != -1 && fDirty && fIo.Truncate(fHandle, fSize)) fDirty = false;
  if (!fFailing) {
    fBackoff = fFirstRetry;
    LogLine();
    LogLine("The run journal \"" + PathText(JournalPath()) + "\" cannot be written: " + reason +
            ". The samples wait in memory and are written when the disk takes them again.");
  } else {
    fBackoff = std::min(fBackoff * 2, fMostRetry);
  }
  fFailing = true;
  fReason = reason;
}

void TRunJournal::CloseFile() {
  if (fHandle == -1) return;
  fIo.Close(std::exchange(fHandle, -1));
}

void TRunJournal::DoOpen(const TJob& job) {
  CloseFile();
  fRunActive = true;
  fContinuing = job.Continue;
  fLineRegional = fRegional;
  fFailing = false;
  fDirty = false;
  fSize = 0;
  fWaiting.clear();
  fGap = {};
  fRunLost = 0;
  fs::path path = job.Path.empty() ? JournalPath() : job.Path;
  std::error_code ec;
  if (!job.Continue) {
    // Runs started within the same second get " (2)" and so on.
    const std::string base = PathText(job.Path.stem());
    for (int n = 2; fs::exists(path, ec) && n < 1000; ++n)
      path =
          job.Path.parent_path() / PathFromUtf8(base + " (" + std::to_string(n) + ")" + std::string(kJournalExtension));
  }
  std::lock_guard lock(fMutex);
  fJournalPath = path;
}

namespace {

// The length of `path` up to its last line end, read backwards in blocks:
// whatever follows it (a line cut short, blocks of zeros a file system left
// after a power cut) is not a whole line.
std::uint64_t WholeLinesLength(const fs::path& path, std::uint64_t size) {
  std::ifstream in(path, std::ios::binary);
  constexpr std::uint64_t kBlock = 65536;
  std::string block;
  for (std::uint64_t end = size; end > 0 && in;) {
    const std::uint64_t start = end > kBlock ? end - kBlock : 0;
    block.resize(static_cast<std::size_t>(end - start));
    in.seekg(static_cast<std::streamoff>(start));
    if (!in.read(block.data(), static_cast<std::streamsize>(block.size()))) break;
    if (const std::size_t at = block.rfind('\n'); at != std::string::npos) return start + at + 1;
    end = start;
  }
  return 0;
}

// The separators the header of the journal at `path` names, if it does.
std::optional<std::pair<std::string, std::string>> HeaderSeparators(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(4096, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::size_t end = head.find('\n');
  std::optional<std::pair<std::string, std::string>> separators;
  if (end == std::string::npos || !ParseHeader(WithoutLineEnd(std::string_view(head).substr(0, end)), separators))
    return std::nullopt;
  return separators;
}

}  // namespace

bool TRunJournal::OpenFile(std::string& reason) {
  const fs::path path = JournalPath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    reason = ec.message();
    return false;
  }
  std::uint64_t size = 0;
  const std::intptr_t handle = fIo.Open(path, size, reason);
  if (handle == -1) return false;
  fHandle = handle;
  fSize = size;
  if (fContinuing) {
    // The run goes on: its closed mark goes (the samples it names as missing
    // stay counted for the run's next mark), and whatever follows the last
    // whole line is cut off so that the next one starts on a line of its
    // own.
    const fs::path mark = fs::path(path).replace_extension(".closed");
    fRunLost += GapOfClosedMark(mark);
    fs::remove(mark, ec);
    // Its lines go on in the journal's own format.
    if (const auto separators = HeaderSeparators(path)) {
      fLineRegional.decimalSeparator = separators->first;
      fLineRegional.timeSeparator = separators->second;
    }
    const std::uint64_t keep = WholeLinesLength(path, size);
    if (keep != size) {
      fDirty = true;
      if (!fIo.Truncate(fHandle, keep)) {
        reason = "what follows the last whole line cannot be removed";
        return false;
      }
      fDirty = false;
      fSize = keep;
    }
    fContinuing = false;
  }
  return true;
}

void TRunJournal::Flush(bool force) {
  if (!fRunActive || (fWaiting.empty() && fGap.Samples == 0)) return;
  if (fFailing && !force) {
    bool due = true;
    {
      std::lock_guard lock(fMutex);
      due = !fRetryAt || TClock::now() >= *fRetryAt;
      fWaitingShared = fWaiting.size();
      fLostShared = fRunLost;
    }
    if (!due) {
      ShowWaiting();
      return;
    }
  }
  std::string reason;
  const bool ready = [&] {
    if (fHandle == -1) return OpenFile(reason);
    if (fDirty && !fIo.Truncate(fHandle, fSize)) {
      reason = "a write cut short cannot be removed";
      return false;
    }
    fDirty = false;
    return true;
  }();
  if (ready) {
    fLine.clear();
    // A file with nothing whole in it starts with the header.
    if (fSize == 0) {
      fLine += JournalHeader(fLineRegional);
      fLine += kLineEnd;
    }
    if (fGap.Samples > 0) {
      AppendJournalGapLine(fLine, fGap, fLineRegional);
      fLine += kLineEnd;
    }
    for (const TJournalSample& s : fWaiting) {
      AppendJournalLine(fLine, s, fLineRegional);
      fLine += kLineEnd;
    }
    fDirty = true;
    // Durable only once the flush to stable storage succeeded.
    if (fIo.Write(fHandle, fLine, reason) && fIo.Sync(fHandle, reason)) {
      fDirty = false;
      fSize += fLine.size();
      const std::size_t written = fWaiting.size();
      fWaiting.clear();
      fGap = {};
      {
        std::lock_guard lock(fMutex);
        fDurable += written;
      }
      if (fFailing) {
        fFailing = false;
        LogLine();
        LogLine("The run journal is written again: " + std::to_string(written) + " samples that waited are on disk.");
        ClearAttention(kJournalAttentionKey);
      }
      Published();
      return;
    }
  }
  Failed(reason);
  ShowWaiting();
  Published();
}

void TRunJournal::DoProgram(const TJob& job) {
  try {
    fIo.Replace(fs::path(JournalPath()).replace_extension(".program"), job.Text);
    fProgramFailing = false;
  } catch (const std::exception& e) {
    // The data go on being journaled; the program is written again when
    // it changes next. Said once until a write succeeds.
    if (!fProgramFailing) {
      LogLine();
      LogLine(std::string("The instructions program of the run cannot be saved: ") + e.what());
    }
    fProgramFailing = true;
  }
}

void TRunJournal::DoClose() {
  // One more try for what waits, whether or not a retry is due.
  Flush(true);
  CloseFile();
  const std::uint64_t lost = fRunLost + fWaiting.size();
  std::string mark;
  if (lost > 0) {
    mark = "Gap: " + std::to_string(lost) + " samples of this run are not in its journal." + std::string(kLineEnd);
    LogLine();
    LogLine("The run ended with " + std::to_string(lost) + " samples that are not in its journal \"" +
            PathText(JournalPath()) + "\" (they are in the chart).");
  }
  fRunActive = false;
  fFailing = false;
  fWaiting.clear();
  fGap = {};
  fRunLost = 0;
  Published();
  ClearAttention(kJournalAttentionKey);
  // Marked also when samples are missing: the run did end cleanly.
  try {
    fIo.Replace(fs::path(JournalPath()).replace_extension(".closed"), mark);
  } catch (const std::exception& e) {
    LogLine();
    LogLine(std::string("The end of the run cannot be marked: ") + e.what());
  }
}

}  // namespace karvo
