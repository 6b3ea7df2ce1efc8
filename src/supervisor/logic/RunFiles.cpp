#include "supervisor/logic/RunFiles.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <system_error>
#include <utility>

#include "common/AtomicFile.h"
#include "common/DateTime.h"
#include "common/StateDir.h"
#include "common/Text.h"
#include "supervisor/logic/JournalFile.h"
#include "supervisor/logic/JournalFormat.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kJournalExtension = ".csv";
// The start's time separator in the names (":" is not allowed in a Windows
// file name).
constexpr char kNameTimeSeparator = '.';
constexpr std::string_view kUtc = " UTC ";
// "yyyy-mm-dd hh.nn.ss".
constexpr std::size_t kStampLength = 19;
constexpr std::string_view kGapPrefix = "Gap: ";

}  // namespace

fs::path RunsFolder() { return KarvoStateDir() / "runs"; }

std::string RunFileNameText(const std::wstring& furnace) {
  std::string name;
  for (const wchar_t c : furnace) {
    const bool plain =
        (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'-' || c == L'_';
    name += plain ? static_cast<char>(c) : '_';
  }
  return name.empty() ? std::string("_") : name;
}

std::string RunBaseName(TDateTime startedUtc, const std::wstring& furnace) {
  return FormatIsoDateTime(startedUtc, kNameTimeSeparator) + std::string(kUtc) + RunFileNameText(furnace);
}

fs::path RunJournalPath(const fs::path& folder, TDateTime startedUtc, const std::wstring& furnace, int copy) {
  std::string name = RunBaseName(startedUtc, furnace);
  if (copy > 1) name += " (" + std::to_string(copy) + ")";
  return folder / PathFromUtf8(name + std::string(kJournalExtension));
}

fs::path RunProgramPath(const fs::path& journal) {
  fs::path p = journal;
  return p.replace_extension(".program");
}

fs::path RunClosedMarkPath(const fs::path& journal) {
  fs::path p = journal;
  return p.replace_extension(".closed");
}

std::optional<TRunFiles> RunOfJournal(const fs::path& journal) {
  if (journal.extension() != kJournalExtension) return std::nullopt;
  const std::string stem = PathText(journal.stem());
  // The start and the furnace name.
  if (stem.size() < kStampLength + kUtc.size() + 1 || stem.compare(kStampLength, kUtc.size(), kUtc) != 0)
    return std::nullopt;
  const char separator[] = {kNameTimeSeparator, '\0'};
  const std::optional<DateTimeParts> started =
      ParseIsoDateTime(std::string_view(stem).substr(0, kStampLength), separator);
  if (!started) return std::nullopt;
  TRunFiles run;
  run.Journal = journal;
  run.Started = EncodeDateTime(*started);
  std::string furnace = stem.substr(kStampLength + kUtc.size());
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
    if (const auto t = JournalSampleTime(lines.substr(from + 1), r)) return *t;
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
      if (done != 0 || at == std::string_view::npos || !ReadJournalHeader(bytes.substr(0, at), own)) {
        // A header longer than a block is not the journal's either.
        if (at == std::string_view::npos && n < kBlock) break;  // only the header, cut short
        out.Error = kNotAJournal;
        return out;
      }
      header = false;
      lineStart = true;
      ++at;
      whole = at;
      // The first sample lies near the start.
      for (std::size_t from = at, end; out.First == 0.0 && (end = bytes.find('\n', from)) != std::string_view::npos;
           from = end + 1)
        if (const auto t = JournalSampleTime(bytes.substr(from, end - from), own)) out.First = *t;
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
  if (text.compare(0, kGapPrefix.size(), kGapPrefix) != 0) return 0;
  std::uint64_t samples = 0;
  const char* first = text.data() + kGapPrefix.size();
  const auto [end, error] = std::from_chars(first, text.data() + text.size(), samples);
  return error == std::errc() && end != first ? samples : 0;
}

void MarkRunClosed(const TRunFiles& run) { WriteFileAtomically(run.ClosedMark(), {}); }

std::string ClosedMarkText(std::uint64_t lost) {
  if (lost == 0) return {};
  return std::string(kGapPrefix) + std::to_string(lost) + " samples of this run are not in its journal." +
         std::string(kJournalLineEnd);
}

}  // namespace karvo
