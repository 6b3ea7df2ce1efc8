#pragma once
// The run journal's line format: the header, one line per sample and gap
// lines, and reading a journal's bytes back (supervisor/logic/RunJournal.h
// describes the run journal as a whole).
//
// The journal is the data export's file (supervisor/logic/DataExport.h) with
// a fifth column, the working output in % of the maximum power: the header,
// then one line per consumed sample. It opens in a spreadsheet as it stands.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Regional.h"
#include "common/Types.h"
#include "supervisor/logic/LoadingThread.h"

namespace karvo {

// One consumed sample as the chart holds it.
struct TJournalSample {
  TDateTime Time = 0.0;  // the instant of the reading
  double Temperature = 0.0;
  double Setpoint = 0.0;
  double WorkingSetpoint = 0.0;
  double WorkingOutput = 0.0;  // % of the maximum power
};

// The line end the journal and its neighbour files are written with.
inline constexpr std::string_view kJournalLineEnd = "\r\n";

// The data export's header with "; Working output %" behind it: the column
// titles.
std::string JournalHeader();
// The header the writer writes: the column titles and the separators the
// lines are written with (`regional` as ExportRegional gives it), as
// `; Decimal separator "<d>"; Time separator "<t>"`. The reader takes the
// separators from it, so a journal reads back under any regional settings
// and a continued run appends in its own format. A header of only the
// column titles (older journals) is read with the current separators; the
// degree sign of the titles may be in any code page.
std::string JournalHeader(const TRegionalSettings& regional);
// Whether `line` (its line end may be there) is a journal's header; when it
// names the separators, they replace those of `regional`.
bool ReadJournalHeader(std::string_view line, TRegionalSettings& regional);
// One journal line without its line end: the data export's line of the
// sample, ";" and the working output. `regional` as ExportRegional gives it.
void AppendJournalLine(std::string& line, const TJournalSample& sample, const TRegionalSettings& regional);
// The instant of the sample on `line` (its line end may be there), read
// with the separators of `regional`; none when it is not a sample line.
std::optional<TDateTime> JournalSampleTime(std::string_view line, const TRegionalSettings& regional);

// Samples the writer had to give up, recorded in the journal by a line of
// their own ("Gap;<first>;<last>;<count>", times as the sample lines
// write them).
struct TJournalGap {
  TDateTime From = 0.0;  // instant of the first sample given up
  TDateTime To = 0.0;    // instant of the last
  std::uint64_t Samples = 0;
};
// The gap line without its line end.
void AppendJournalGapLine(std::string& line, const TJournalGap& gap, const TRegionalSettings& regional);

// What a journal holds.
struct TJournalContents {
  std::vector<TJournalSample> Samples;
  // Gap lines, in the order of the file; never counted as samples.
  std::vector<TJournalGap> Gaps;
  // The last line had no line end (the write in flight when the power
  // went): it is left out.
  bool TornLastLine = false;
  // Complete lines that are not samples of the journal's format; left out,
  // never guessed at.
  std::size_t RefusedLines = 0;
  // Not empty: the bytes are not a run journal at all (wrong header, too
  // big); Samples is then empty.
  std::string Error;
  // The separators the lines were read with (the header's, or the current
  // ones for a header without them).
  std::string DecimalSeparator;
  std::string TimeSeparator;
};

// The most a journal may hold to be read (years of a run).
inline constexpr std::size_t kMaxJournalBytes = std::size_t{1} << 30;

// Reads a journal from its bytes. Times are the local times of the lines
// turned back into instants (in the hour repeated when daylight saving time
// ends, the occurrence that keeps the series in order); an empty number
// field is a value that was not a number. Takes any bytes: nothing makes it
// fail other than by the fields of TJournalContents.
TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional);
// The same, telling `progress` how far it is (after every hundredth of the
// bytes, at most every 64 KiB); when `progress` answers false the reading stops and
// gives Error kReadingStopped, without samples.
TJournalContents ParseJournal(std::string_view bytes, const TRegionalSettings& regional, const TReadProgress& progress);
// The same from a file; a file that cannot be read gives Error.
TJournalContents ReadJournal(const std::filesystem::path& path, const TRegionalSettings& regional,
                             const TReadProgress& progress = {});
inline constexpr const char* kReadingStopped = "the reading was stopped";
// The Error of bytes that do not begin with a journal's header.
inline constexpr const char* kNotAJournal = "it is not a run journal (its first line is not the journal's header)";

// `line` without the carriage return of a CR LF line end.
inline std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace karvo
