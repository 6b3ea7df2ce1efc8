// The run journal and the instructions program file as read back after a
// crash or a power cut: files torn in the middle of a line, cut anywhere,
// with lines of any bytes among the samples, or no journal at all.
//
// Journal: no crash; a sample or a gap only from a complete line after the
// journal's header (every complete line is a sample, a gap or refused, and
// read alone it gives the same), never from the last line when it has no
// line end; every line the writer wrote and that arrived whole comes back
// as its sample (which the writer writes as the same line again) or its
// gap (never as a sample).
// Program file: no crash; a program that is read writes and reads back as
// the same segments and stability; the program the writer wrote reads back
// as written, and cut short it reads as nothing or as its first segments;
// nothing read holds a value a register cannot hold or a negative dwell.
//
// Input: the regional settings' byte (fuzz/FuzzRegional.h), a byte for the
// time separator (":", "." or, from 2 on, one to three bytes of the input),
// a byte choosing what is read, then:
//   0  a journal: the rest as the file;
//   1  a journal: the header, then the rest;
//   2  a journal as the writer writes it: a count byte (bit 6: the header
//      names the separators), then per sample
//      four bytes of time (seconds within 400 days around the 2026
//      daylight-saving changes) and four numbers (eight bytes each, any bit
//      pattern: not finite ones leave their field empty), one byte per line
//      telling whether it ends in CR LF or LF; then damage records until
//      the input ends: a byte (kind, bits 0-1; position, the rest) and
//        0  a line of any bytes (a length byte and the bytes) put in
//        1  a byte of a written line changed (a byte: its position; a byte:
//           its new value)
//        2  the file cut after a byte (two bytes: the position)
//        3  a gap line as the writer writes it put in (four bytes each:
//           the two times as above, the count of samples)
//   3  a program file: a count byte, then per segment eighteen bytes
//      (target setpoint and ramp rate, four bytes each, of which the
//      register's two are kept; duration as eight bytes, its magnitude
//      kept; flags), the stability (a segment byte, eight bytes of stable
//      since, four of credit), then two bytes where it is cut; or, for a
//      count from 128 on, the rest as the file.
//
// The local time is that of a zone with daylight saving time, so that the
// hour that occurs twice is read back.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Regional.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzRegional.h"
#include "supervisor/logic/RunJournal.h"

using karvo::TFurnaceActionParameters;
using karvo::TJournalContents;
using karvo::TJournalSample;
using karvo::TRegionalSettings;
using karvo::fuzz::Input;

namespace {

// Central European time: the rule is written out, no time zone database
// needed.
void UseZoneWithDaylightSaving() {
  static const bool done = [] {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return true;
  }();
  (void)done;
}

double AnyDouble(Input& in) {
  const std::uint64_t bits = in.LongLong();
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// One line of the file as it was put together.
struct Line {
  std::string text;      // without its line end
  std::string end;       // "\r\n" or "\n" (a line of any bytes: "\n")
  bool written = false;  // a sample or gap line from the writer, unchanged
};

std::string LineOf(const TJournalSample& s, const TRegionalSettings& r) {
  std::string line;
  karvo::AppendJournalLine(line, s, r);
  return line;
}

bool SameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// Two readings of the same local time: the same instant, or the two
// occurrences of a local time in the hour that occurs twice.
bool SameTime(double a, double b) {
  const double diff = std::fabs(a - b);
  return diff < 1e-9 || std::fabs(diff - 1.0 / 24.0) < 1e-9;
}

bool SameSample(const TJournalSample& a, const TJournalSample& b) {
  return SameTime(a.Time, b.Time) && SameValue(a.Temperature, b.Temperature) && SameValue(a.Setpoint, b.Setpoint) &&
         SameValue(a.WorkingSetpoint, b.WorkingSetpoint) && SameValue(a.WorkingOutput, b.WorkingOutput);
}

// The checks every journal passes, whatever its bytes. `written` holds the
// offsets (start, end without its line end) of the writer's lines that are
// still as written and arrived with their line end.
void CheckJournal(std::string_view bytes, const TRegionalSettings& r,
                  const std::vector<std::pair<std::size_t, std::size_t>>& written) {
  const TJournalContents c = karvo::ParseJournal(bytes, r);
  if (!c.Error.empty()) {
    FUZZ_CHECK(c.Samples.empty());
    FUZZ_CHECK(written.empty());
    return;
  }
  FUZZ_CHECK(c.TornLastLine == (!bytes.empty() && bytes.back() != '\n'));

  // The lines after the header that have their line end.
  const std::size_t headerEnd = bytes.find('\n');
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  if (headerEnd != std::string_view::npos) {
    for (std::size_t start = headerEnd + 1;;) {
      const std::size_t end = bytes.find('\n', start);
      if (end == std::string_view::npos) break;
      lines.emplace_back(start, end);
      start = end + 1;
    }
  }
  FUZZ_CHECK(c.Samples.size() + c.Gaps.size() + c.RefusedLines == lines.size());

  // Each line alone behind the same header reads the same.
  const std::string header(bytes.substr(0, headerEnd + 1));
  std::size_t next = 0;     // in c.Samples
  std::size_t nextGap = 0;  // in c.Gaps
  std::size_t matched = 0;  // in `written`
  for (const auto& [start, end] : lines) {
    const std::string_view text = bytes.substr(start, end - start);
    const TJournalContents alone = karvo::ParseJournal(header + std::string(text) + "\n", r);
    FUZZ_CHECK(alone.Error.empty() && !alone.TornLastLine &&
               alone.Samples.size() + alone.Gaps.size() + alone.RefusedLines == 1);
    if (!alone.Samples.empty()) {
      FUZZ_CHECK(next < c.Samples.size() && SameSample(c.Samples[next], alone.Samples[0]));
      ++next;
    }
    if (!alone.Gaps.empty()) {
      FUZZ_CHECK(nextGap < c.Gaps.size() && c.Gaps[nextGap].Samples == alone.Gaps[0].Samples &&
                 c.Gaps[nextGap].Samples > 0);
      ++nextGap;
    }
    if (matched < written.size() && written[matched].first == start) {
      // A line of the writer's ("\r\n" or "\n" ends it) comes back as its
      // sample, which writes the same line, or as its gap.
      const std::size_t textEnd = written[matched].second;
      FUZZ_CHECK(textEnd == end || textEnd + 1 == end);
      FUZZ_CHECK(alone.Samples.size() + alone.Gaps.size() == 1);
      const std::string_view writtenText = bytes.substr(start, textEnd - start);
      if (alone.Samples.size() == 1) {
        FUZZ_CHECK(LineOf(alone.Samples[0], r) == writtenText);
      } else {
        std::string gap;
        karvo::AppendJournalGapLine(gap, alone.Gaps[0], r);
        FUZZ_CHECK(gap == writtenText);
      }
      ++matched;
    }
  }
  FUZZ_CHECK(next == c.Samples.size());
  FUZZ_CHECK(nextGap == c.Gaps.size());
  FUZZ_CHECK(matched == written.size());
}

// A journal as the writer writes it, then damaged.
void WrittenJournal(Input& in, const TRegionalSettings& r, bool roundTrip) {
  const std::uint8_t countByte = in.Byte();
  const std::size_t count = countByte % 64;
  std::vector<Line> lines;
  // The header naming the separators, or the column titles alone (older
  // journals).
  lines.push_back({(countByte & 64) != 0 ? karvo::JournalHeader(r) : karvo::JournalHeader(), "\r\n", false});
  // 2026-03-01 00:00 UTC, a few weeks before the spring change.
  const double base = karvo::EncodeDate(2026, 3, 1);
  for (std::size_t i = 0; i < count; ++i) {
    TJournalSample s;
    s.Time = base + (in.Long() % (400u * 86400u)) / karvo::kSecondsPerDay;
    s.Temperature = AnyDouble(in);
    s.Setpoint = AnyDouble(in);
    s.WorkingSetpoint = AnyDouble(in);
    s.WorkingOutput = AnyDouble(in);
    const bool crlf = (in.Byte() & 1) == 0;
    lines.push_back({LineOf(s, r), crlf ? "\r\n" : "\n", true});
  }
  std::optional<std::size_t> cut;
  while (!in.Empty()) {
    const std::uint8_t record = in.Byte();
    const std::size_t at = 1 + (record >> 2) % lines.size();  // never before the header
    switch (record & 3) {
      case 0: {
        const std::vector<std::uint8_t> bytes = in.Bytes(in.Byte());
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(at, lines.size())),
                     {std::string(bytes.begin(), bytes.end()), "\n", false});
        break;
      }
      case 1: {
        if (at >= lines.size()) break;
        Line& line = lines[at];
        const std::uint8_t position = in.Byte();
        const std::uint8_t value = in.Byte();
        if (line.text.empty()) break;
        line.text[position % line.text.size()] = static_cast<char>(value);
        line.written = false;
        break;
      }
      case 2:
        cut = in.Word();
        break;
      default: {
        karvo::TJournalGap gap;
        gap.From = base + (in.Long() % (400u * 86400u)) / karvo::kSecondsPerDay;
        gap.To = base + (in.Long() % (400u * 86400u)) / karvo::kSecondsPerDay;
        gap.Samples = 1 + static_cast<std::uint64_t>(in.Long());
        std::string text;
        karvo::AppendJournalGapLine(text, gap, r);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(std::min(at, lines.size())), {text, "\r\n", true});
        break;
      }
    }
  }

  std::string bytes;
  std::vector<std::pair<std::size_t, std::size_t>> written;
  for (const Line& line : lines) {
    // With separators no system uses (";", a digit, a line end) the lines
    // need not read back: only that nothing is invented is checked.
    if (line.written && roundTrip) written.emplace_back(bytes.size(), bytes.size() + line.text.size());
    bytes += line.text + line.end;
  }
  if (cut && *cut < bytes.size()) bytes.resize(*cut);
  // A line cut before its line end is torn: it may not come back.
  while (!written.empty() && bytes.find('\n', written.back().second) == std::string::npos) written.pop_back();
  CheckJournal(bytes, r, written);
}

void CheckProgramRoundTrip(const std::vector<TFurnaceActionParameters>& segments,
                           const karvo::TProgramStability& stability) {
  std::string error;
  karvo::TProgramStability readStability;
  const std::optional<std::vector<TFurnaceActionParameters>> again =
      karvo::ParseProgramFile(karvo::ProgramFileText(L"Furnace1", segments, stability), error, &readStability);
  FUZZ_CHECK(again.has_value() && *again == segments && readStability == stability);
}

// What the program editors would take.
void CheckProgramValues(const std::vector<TFurnaceActionParameters>& segments) {
  for (const TFurnaceActionParameters& s : segments) {
    FUZZ_CHECK(s.TargetSetpoint >= 0 && s.TargetSetpoint <= 65535);
    FUZZ_CHECK(s.RampRate >= 0 && s.RampRate <= 65535);
    FUZZ_CHECK(std::isfinite(s.Duration) && s.Duration >= 0.0);
  }
}

void ProgramFile(Input& in) {
  const std::uint8_t count = in.Byte();
  std::string error;
  if (count >= 128) {
    const std::vector<std::uint8_t> rest = in.Rest();
    karvo::TProgramStability stability;
    const std::optional<std::vector<TFurnaceActionParameters>> segments = karvo::ParseProgramFile(
        std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()), error, &stability);
    if (segments) {
      CheckProgramValues(*segments);
      FUZZ_CHECK(stability.StableSince >= 0.0 && stability.CreditMs >= 0 && stability.Segment >= 0);
      CheckProgramRoundTrip(*segments, stability);
    } else {
      FUZZ_CHECK(!error.empty());
    }
    return;
  }
  std::vector<TFurnaceActionParameters> segments;
  for (std::uint8_t i = 0; i < count % 32; ++i) {
    TFurnaceActionParameters s;
    s.TargetSetpoint = static_cast<std::int32_t>(in.Long() % 65536);
    s.RampRate = static_cast<std::int32_t>(in.Long() % 65536);
    s.Duration = std::fabs(AnyDouble(in));
    if (!std::isfinite(s.Duration)) s.Duration = 0.0;
    const std::uint8_t flags = in.Byte();
    s.Finished = (flags & 1) != 0;
    s.Compensate = (flags & 2) != 0;
    segments.push_back(s);
  }
  karvo::TProgramStability stability;
  stability.Segment = in.Byte();
  stability.StableSince = std::fabs(AnyDouble(in));
  if (!std::isfinite(stability.StableSince)) stability.StableSince = 0.0;
  stability.CreditMs = in.Long();
  CheckProgramRoundTrip(segments, stability);

  const std::string text = karvo::ProgramFileText(L"Furnace1", segments, stability);
  const std::size_t cut = in.Word() % (text.size() + 1);
  const std::optional<std::vector<TFurnaceActionParameters>> part =
      karvo::ParseProgramFile(std::string_view(text).substr(0, cut), error);
  if (!part) return;
  FUZZ_CHECK(part->size() <= segments.size());
  for (std::size_t i = 0; i < part->size(); ++i) FUZZ_CHECK((*part)[i] == segments[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  UseZoneWithDaylightSaving();
  Input in(data, size);
  karvo::fuzz::FuzzedRegional regional = karvo::fuzz::RegionalFrom(in);
  const std::uint8_t timeChoice = in.Byte();
  bool usual = regional.usual;
  if (timeChoice < 2) {
    regional.settings.timeSeparator = timeChoice == 0 ? ":" : ".";
  } else {
    const std::vector<std::uint8_t> bytes = in.Bytes(1 + timeChoice % 3);
    regional.settings.timeSeparator.assign(bytes.begin(), bytes.end());
    usual = false;
  }
  const TRegionalSettings& r = regional.settings;

  switch (in.Byte() % 4) {
    case 0: {
      const std::vector<std::uint8_t> rest = in.Rest();
      CheckJournal(std::string_view(reinterpret_cast<const char*>(rest.data()), rest.size()), r, {});
      break;
    }
    case 1: {
      const std::vector<std::uint8_t> rest = in.Rest();
      const std::string bytes = karvo::JournalHeader() + "\r\n" + std::string(rest.begin(), rest.end());
      CheckJournal(bytes, r, {});
      break;
    }
    case 2:
      WrittenJournal(in, r, usual);
      break;
    default:
      ProgramFile(in);
      break;
  }
  return 0;
}
