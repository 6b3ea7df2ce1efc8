#include "supervisor/logic/JournalFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <system_error>
#include <utility>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "supervisor/logic/DataExport.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

// Far longer than any line the journal writes (five fields of at most 25
// characters): a longer one is not of the journal.
constexpr std::size_t kMaxLineBytes = 512;
constexpr std::string_view kGapField = "Gap";
constexpr std::string_view kDecimalField = "; Decimal separator \"";
constexpr std::string_view kTimeField = "\"; Time separator \"";
// Progress is told at least every so many bytes.
constexpr std::size_t kProgressStep = std::size_t{1} << 16;

// "yyyy-MM-dd HH<sep>mm<sep>ss" as the lines write it (":" is read too): the
// local date-time and its minute.
bool ParseLocalTime(std::string_view field, const std::string& separator, TDateTime& local, std::int64_t& minute) {
  const std::optional<DateTimeParts> p = ParseIsoDateTime(field, separator, ":");
  if (!p) return false;
  local = EncodeDateTime(*p);
  // The date-time's day is the whole part of it (its time of day stays
  // below a whole day however large the date).
  minute = static_cast<std::int64_t>(std::floor(local)) * 1440 + p->hour * 60 + p->minute;
  return true;
}

// A number as the general format writes it, with `decimal` as its decimal
// separator; empty: not a number.
bool ParseNumber(std::string_view field, const std::string& decimal, double& value) {
  if (field.empty()) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  const std::optional<double> number = ParseGeneral(field, decimal);
  if (!number) return false;
  value = *number;
  return true;
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

// The `Count` fields of `line` between ";"; false for another count.
template <std::size_t Count>
bool SplitFields(std::string_view line, std::string_view (&fields)[Count]) {
  std::size_t count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t end = line.find(';', start);
    if (count == Count) return false;
    fields[count++] = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return count == Count;
}

bool ParseLine(std::string_view line, const TRegionalSettings& r, TLocalToInstant& toInstant, TJournalSample& s) {
  if (line.size() > kMaxLineBytes) return false;
  std::string_view fields[5];
  if (!SplitFields(line, fields)) return false;
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

// "Gap;<first>;<last>;<count>".
bool ParseGapLine(std::string_view line, const TRegionalSettings& r, TJournalGap& gap) {
  if (line.size() > kMaxLineBytes) return false;
  std::string_view fields[4];
  TDateTime from = 0.0, to = 0.0;
  std::int64_t minute = 0;
  if (!SplitFields(line, fields) || fields[0] != kGapField ||
      !ParseLocalTime(fields[1], r.timeSeparator, from, minute) ||
      !ParseLocalTime(fields[2], r.timeSeparator, to, minute))
    return false;
  const std::string_view n = fields[3];
  const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), gap.Samples);
  if (n.empty() || ec != std::errc() || end != n.data() + n.size() || gap.Samples == 0) return false;
  gap.From = LocalToUtc(from);
  gap.To = LocalToUtc(to);
  return true;
}

TJournalContents Stopped() {
  TJournalContents out;
  out.Error = kReadingStopped;
  return out;
}

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

}  // namespace

std::string JournalHeader() { return DataExportHeader() + "; Working output %"; }

std::string JournalHeader(const TRegionalSettings& regional) {
  return JournalHeader() + std::string(kDecimalField) + regional.decimalSeparator + std::string(kTimeField) +
         regional.timeSeparator + "\"";
}

bool ReadJournalHeader(std::string_view line, TRegionalSettings& regional) {
  line = WithoutLineEnd(line);
  const std::size_t titles = ColumnTitlesLength(line);
  if (titles == 0) return false;
  line.remove_prefix(titles);
  if (line.empty()) return true;
  if (line.substr(0, kDecimalField.size()) != kDecimalField) return false;
  line.remove_prefix(kDecimalField.size());
  // The closing quote is one of its own, not the opening one.
  if (line.empty() || line.back() != '"') return false;
  line.remove_suffix(1);
  const std::size_t at = line.find(kTimeField);
  if (at == std::string_view::npos) return false;
  regional.decimalSeparator = line.substr(0, at);
  regional.timeSeparator = line.substr(at + kTimeField.size());
  return true;
}

void AppendJournalLine(std::string& line, const TJournalSample& s, const TRegionalSettings& regional) {
  AppendDataExportLine(line, s.Time, s.Temperature, s.Setpoint, s.WorkingSetpoint, regional);
  line += ';';
  if (std::isfinite(s.WorkingOutput)) line += FormatGeneral(s.WorkingOutput, regional);
}

std::optional<TDateTime> JournalSampleTime(std::string_view line, const TRegionalSettings& regional) {
  TLocalToInstant toInstant;
  TJournalSample s;
  if (!ParseLine(WithoutLineEnd(line), regional, toInstant, s)) return std::nullopt;
  return s.Time;
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
  // The lines are read with the separators they were written with.
  TRegionalSettings own = regional;
  if (!ReadJournalHeader(bytes.substr(0, end), own)) {
    out.Error = kNotAJournal;
    return out;
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

}  // namespace karvo
