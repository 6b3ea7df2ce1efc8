#pragma once
// What the soak's two processes share: the driver (the simulated controller,
// the clock, the faults and the checks against what the controller did)
// and the program (the real window, in a child process the driver can kill
// with SIGKILL). They meet in a small shared file mapping, which holds the
// one simulated clock, and in two pipes of text lines: commands to the
// program on its standard input, reports back on descriptor kReportFd.
//
// Commands, one a line:
//   T   one tick of Timer1 and the poll it started
//   M   a memory report
//   F   the end: wait for the journal, check the attention line, Stop,
//       read the journal back against the chart, then exit
// Reports, one a line (numbers that must come back exact in hexadecimal
// floating point):
//   V text                        a violation seen by the program
//   R loaded last segments current questions
//                                 ready: samples loaded from the previous
//                                 run, the last one's instant, the
//                                 program's segments and its current one,
//                                 the questions asked so far
//   C utc temperature target working output ramp limit
//                                 a consumed sample
//   K f | K s                     a failed poll, a sensor-break record
//   E segment stableSince lamp durable chart memo memoMax rss longestMs intervalMs beenStable
//                                 the end of a tick
//   M heap chart memo rss line char
//                                 the heap in use, the bytes of it the chart's
//                                 data and the on-screen log's lines take,
//                                 the resident set, a log line's measured
//                                 cost (fixed, per character)
//   J samples path                the journal read back at the end
// A line cut short by a kill has no end of line and is dropped.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace karvo::soak {

inline constexpr int kReportFd = 3;

struct SharedState {
  std::atomic<double> Now{0.0};  // the simulated clock, UTC days
  std::atomic<int> DiskRefuses{0};
};
static_assert(std::atomic<double>::is_always_lock_free, "the clock is shared between processes");

// Maps `file` (created at the size of SharedState when `create`); nullptr
// when that fails. The mapping lives until the process ends.
SharedState* MapSharedState(const std::filesystem::path& file, bool create);

// Exact text of a double and back.
std::string Exact(double value);
double FromExact(const std::string& text);

// Splits a line at spaces; the last field takes the rest when `fields` is
// given.
std::vector<std::string> Fields(const std::string& line, std::size_t fields = 0);

// Whole lines from a descriptor, waiting at most a deadline for each.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}
  // The next whole line; nullopt at the end of the stream (a partial last
  // line is dropped) or when `limitMs` passed first (TimedOut() tells).
  std::optional<std::string> Next(int limitMs);
  bool TimedOut() const { return timedOut_; }

 private:
  int fd_;
  std::string buffer_;
  bool timedOut_ = false;
};

// Writes the whole line and its end; false when the reader is gone.
bool WriteLine(int fd, const std::string& line);

// The RSS of this process in bytes.
std::uint64_t ResidentBytes();

}  // namespace karvo::soak
