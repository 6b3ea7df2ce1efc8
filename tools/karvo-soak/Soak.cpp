// The driver's side of the soak: the simulated controller, the clock, the
// faults and kills, and the checks against what the controller answered and
// executed; the window runs in a child process (SoakProgram.cpp).
#include "Soak.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SoakLink.h"
#include "SoakPlan.h"
#include "common/ConfigDir.h"
#include "common/LocalTime.h"
#include "common/Regional.h"
#include "common/StateDir.h"
#include "furnace/ClassFurnaceModule.h"
#include "modbus/Registers.h"
#include "serial/SerialPort.h"
#include "serial/UucpLock_posix.h"
#include "sim/ComLink.h"
#include "sim/SimController.h"
#include "sim/SlaveProtocol.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/ProgramLogFile.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo::soak {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
using sim::Bytes;

constexpr double kDay = 86400.0;
constexpr const char* kCom = "COM9";
constexpr std::uint8_t kOtherAddress = 0x11;
constexpr double kRestartSilenceSeconds = 5.0;  // a restarting controller's silence
// The journal keeps the data export's time of day, to the second: a sample
// reads back up to a second earlier than the chart holds it.
constexpr double kJournalTimeResolution = 1.0;

// The one simulated clock (UTC days) in the mapping shared with the
// program: the program's clock seam and the controller's furnace both read
// it; only the driver moves it.
SharedState* gShared = nullptr;

double MegaBytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::string Clock(TDateTime utc) {
  const DateTimeParts p = DecodeDateTime(UtcToLocal(utc));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return text;
}

// The violations, from any thread.
class Violations {
 public:
  void Add(const std::string& what) {
    std::lock_guard lock(mutex_);
    if (++count_ <= 40) std::printf("VIOLATION at %s: %s\n", Clock(gShared->Now.load()).c_str(), what.c_str());
    std::fflush(stdout);
  }
  int Count() const {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  mutable std::mutex mutex_;
  int count_ = 0;
};

// What the controller answered and executed, from its trace: the words
// and the process value it answered at each instant of the clock (a poll
// runs while the clock stands), and every write it executed.
class AnswerLog {
 public:
  // The words of a poll's record, in the order kWords names them.
  static constexpr std::uint32_t kWords[] = {reg::TargetSetpoint, reg::WorkingSetpoint, reg::WorkingOutput,
                                             reg::RampRate, reg::OutputHighLimit};
  struct Answers {
    std::optional<float> ProcessValue;
    std::optional<std::uint16_t> Words[std::size(kWords)];
    std::optional<int> Word(std::uint32_t r) const {
      for (std::size_t k = 0; k < std::size(kWords); ++k)
        if (kWords[k] == r && Words[k]) return *Words[k];
      return std::nullopt;
    }
    // The process value as the program reads it: the float's shortest
    // decimal text.
    std::optional<double> Temperature() const {
      if (!ProcessValue) return std::nullopt;
      char digits[32];
      const auto written = std::to_chars(digits, digits + sizeof digits, *ProcessValue);
      double d = 0.0;
      std::from_chars(digits, written.ptr, d);
      return d;
    }
  };

  AnswerLog(Violations& violations, const Plan& plan) : violations_(violations), plan_(plan) {
    limitTargets_[0] = plan.LowPower * 10;
    limitTargets_[1] = plan.HighPower * 10;
  }
  void SetInitialLimit(int limit) { initialLimit_ = limit; }
  // The program's current segment as last reported; -1 before the program
  // is known. The writes of a segment's setpoint and ramp rate are meant
  // for that segment or the next only.
  void SetSegment(int segment) { segment_ = segment; }

  void Trace(const std::string& line) {
    const bool request = line.rfind("<- ", 0) == 0, reply = line.rfind("-> ", 0) == 0;
    if (!request && !reply) return;
    Bytes bytes;
    std::size_t at = 3;
    for (; at + 1 < line.size(); at += 3) {
      unsigned value = 0;
      const auto [end, ec] = std::from_chars(line.data() + at, line.data() + at + 2, value, 16);
      if (ec != std::errc() || end != line.data() + at + 2) break;
      bytes.push_back(static_cast<std::uint8_t>(value));
      if (at + 2 < line.size() && line[at + 2] != ' ') break;
    }
    const bool noted = line.find('(') != std::string::npos;
    std::lock_guard lock(mutex_);
    if (request) {
      request_.clear();
      if (noted || bytes.size() < 8) return;  // not executed
      request_ = bytes;
      if (bytes[1] == 0x06) Executed(Word(bytes, 2), Word(bytes, 4));
      return;
    }
    const Bytes asked = std::exchange(request_, {});
    if (asked.empty() || bytes.size() < 5 || bytes[0] != asked[0] || bytes[1] != 0x03 ||
        !sim::CrcMatches(bytes.data(), bytes.size()))
      return;  // no reply the program can take
    const std::uint32_t first = Word(asked, 2), count = Word(asked, 4);
    if (bytes[2] != 2 * count || bytes.size() != 5 + 2 * count) return;
    Answers& a = answers_[gShared->Now.load()];
    if (first == 0x8000 + 2 * reg::ProcessValue && count == 2) {
      a.ProcessValue = std::bit_cast<float>(std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[4]} << 16 |
                                            std::uint32_t{bytes[5]} << 8 | bytes[6]);
      return;
    }
    for (std::uint32_t k = 0; k < count; ++k)
      for (std::size_t w = 0; w < std::size(kWords); ++w)
        if (kWords[w] == first + k) a.Words[w] = static_cast<std::uint16_t>(Word(bytes, 3 + 2 * k));
  }

  std::optional<Answers> At(double t) const {
    std::lock_guard lock(mutex_);
    const auto it = answers_.find(t);
    if (it == answers_.end()) return std::nullopt;
    return it->second;
  }
  // The answers of the instants in [from, to).
  std::vector<Answers> Between(double from, double to) const {
    std::lock_guard lock(mutex_);
    std::vector<Answers> found;
    for (auto it = answers_.lower_bound(from); it != answers_.end() && it->first < to; ++it)
      found.push_back(it->second);
    return found;
  }
  std::uint64_t Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  static std::uint32_t Word(const Bytes& b, std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; }

  // A write the program meant: the ramp rate or setpoint of the current
  // segment or the next, or an output limit on the way from one limit to
  // the other in steps of 2.5 %.
  void Executed(std::uint32_t reg, std::uint32_t value) {
    ++writes_;
    const int v = static_cast<int>(value);
    const int current = segment_.load();
    bool meant = false;
    for (int k = 1; k <= static_cast<int>(plan_.Segments.size()); ++k) {
      if (current >= 0 && k != current && k != current + 1) continue;
      const Segment& s = plan_.Segments[static_cast<std::size_t>(k - 1)];
      if ((reg == reg::RampRate && v == s.RampRate) || (reg == reg::TargetSetpoint && v == s.Setpoint)) meant = true;
    }
    if (reg == reg::OutputHighLimit) {
      const int lo = std::min({initialLimit_, limitTargets_[0], limitTargets_[1]});
      const int hi = std::max({initialLimit_, limitTargets_[0], limitTargets_[1]});
      auto onStep = [&](int from) { return (v - from) % 25 == 0; };
      meant = v >= lo && v <= hi && (onStep(initialLimit_) || onStep(limitTargets_[0]) || onStep(limitTargets_[1]));
    }
    if (!meant)
      violations_.Add("the controller executed a write nobody meant: register " + std::to_string(reg) +
                      " := " + std::to_string(value) + " (segment " + std::to_string(current) + " current)");
  }

  Violations& violations_;
  const Plan& plan_;
  int limitTargets_[2] = {0, 0};
  int initialLimit_ = 0;
  std::atomic<int> segment_{-1};
  mutable std::mutex mutex_;
  Bytes request_;
  std::map<double, Answers> answers_;
  std::uint64_t writes_ = 0;
};

struct SegmentResult {
  double RequiredMinutes = 0.0;
  double MeasuredMinutes = -1.0;  // stable time the program could observe, simulated clock
  double SpanMinutes = 0.0;       // from first stable to the end, all included
  double HeldMinutes = 0.0;
  int Kills = 0;  // the program killed during the segment
};

// What the program reported at the end of its last tick.
struct TickReport {
  int Segment = -1;
  double StableSince = 0.0;
  bool TimeLamp = false;
  std::uint64_t Durable = 0;
  int Chart = 0, Memo = 0, MemoMax = 0;
  std::uint64_t Rss = 0;
  double LongestMs = 0.0;
  double IntervalMs = 5000.0;
  double BeenStable = 0.0;  // the program's own count, days
};

// The program's process: its commands, its reports.
struct Child {
  pid_t Pid = -1;
  int Commands = -1;
  std::optional<LineReader> Reports;
};

class Soak {
 public:
  Soak(const SoakOptions& options, std::string program)
      : options_(options),
        program_(std::move(program)),
        plan_(MakePlan(options.Days, options.Seed, options.Faults)),
        answers_(violations_, plan_) {}

  int Run();

 private:
  bool Setup();
  bool StartProgram(bool first);
  void EndProgram();
  // Handles one report line; false on a line that is not one.
  void Report(const std::string& line);
  // Reads reports until the end of a tick; false when the program is gone
  // or stuck.
  bool ReadTick();
  bool Tick();
  bool KillAndRestart(const Plan::Kill& kill);
  void AdvanceClock();
  void Consumed(const std::vector<std::string>& fields);
  void FollowSegments();
  void FollowHolds();
  void ApplyFaults();
  void BeginFault(const FaultEvent& e);
  void EndFault(const FaultEvent& e);
  void SetSimFaults();
  void Progress(bool force);
  void Finish();
  void CheckLogFiles();
  void CheckJournal(const fs::path& path, std::size_t samples);
  void Summary();
  double FreezeLimitMs() const {
    if (options_.FreezeLimitMs > 0) return options_.FreezeLimitMs;
    const TSerialPort port;
    return TFurnaceModule::kMaxWriteAttempts *
           (port.ReadoutTimeoutMS() + TSerialPort::kLateReplyWatchMs + port.WindowsReadLoopTimeoutMS() + 100.0);
  }
  double Now() const { return gShared->Now.load(); }
  double Elapsed() const { return (Now() - plan_.StartUtc) * kDay; }

  SoakOptions options_;
  std::string program_;
  Plan plan_;
  Violations violations_;
  AnswerLog answers_;
  std::optional<sim::ScopedConfigHome> config_;
  std::optional<sim::ScopedStateHome> state_;
  std::optional<sim::SimController> sim_;
  fs::path sharedFile_;
  Child child_;
  TickReport last_;
  bool tickConsumed_ = false, tickEnded_ = false;
  std::optional<std::string> finalReport_;

  // Faults.
  sim::SimFaults simFaults_;
  std::optional<std::size_t> activeFault_;
  std::size_t nextFault_ = 0;
  int faultCount_[kFaultKinds] = {};
  double faultSeconds_[kFaultKinds] = {};

  // Kills and restarts.
  std::size_t nextKill_ = 0;
  int kills_ = 0, starts_ = 0;
  std::size_t questions_ = 0;
  int lifeLoaded_ = 0;                   // samples loaded at this start
  std::uint64_t lifeConsumed_ = 0;       // consumed since this start
  std::uint64_t lostAtKills_ = 0;        // consumed, not yet durable, gone with a kill
  std::uint64_t unreportedAtKills_ = 0;  // consumed and journalled, the report cut by a kill
  std::uint64_t reloadedSamples_ = 0;

  // Progress of the program.
  std::vector<SegmentResult> segments_;
  int trackedSegment_ = -1;
  double stableSince_ = 0.0, firstStable_ = 0.0, carried_ = 0.0, previousTick_ = 0.0, previousSince_ = 0.0;
  bool previousHeld_ = false;
  double previousBeenStable_ = 0.0;
  bool previousLamp_ = false;
  bool holdOn_ = false;
  double holdUntil_ = 0.0, holdFrom_ = 0.0;
  std::set<int> holdsDone_;

  std::uint64_t consumed_ = 0, failedPolls_ = 0, sensorBreaks_ = 0, ticks_ = 0;
  double longestUnconsumedSeconds_ = 0.0, lastConsumedAt_ = 0.0;
  double longestStopMs_ = 0.0;
  struct RssPoint {
    double Day = 0.0;
    std::uint64_t Bytes = 0;
    int Start = 0;  // which start of the program
    int Samples = 0, Memo = 0;
    std::uint64_t Heap = 0, Kept = 0;  // the heap in use; the chart's data and the log's lines in it
  };
  std::vector<RssPoint> rss_;
  double nextRssAt_ = 0.0, nextProgressAt_ = 0.0;
  SteadyClock::time_point wallStart_;
  double pollWaitMs_ = 0.0;
  std::size_t logFiles_ = 0, preseededRemoved_ = 0;
  std::size_t journalSamples_ = 0;
  std::optional<double> logFullDay_;  // when the on-screen log first held its most lines
  std::optional<double> rssGrowth_, leftGrowth_;
  double otherHeapGrowth_ = 0.0, keptGrowth_ = 0.0;
  long growthSamples_ = 0;
  double fullLogHeapGrowth_ = 0.0, fullLogKeptGrowth_ = 0.0;
  long fullLogSamples_ = 0;
  double logLineBytes_ = 0.0, logCharBytes_ = 0.0;
};

bool Soak::Setup() {
  // The time zone first: everything local follows it (the program inherits
  // it).
  setenv("TZ", plan_.TimeZone.c_str(), 1);
  tzset();
  // A write to a program that was killed must not end the driver.
  signal(SIGPIPE, SIG_IGN);
  config_.emplace();
  state_.emplace();
  sharedFile_ = fs::path(state_->Path()) / "soak-clock";
  gShared = MapSharedState(sharedFile_, true);
  if (!gShared) {
    violations_.Add("the shared clock cannot be mapped");
    return false;
  }
  gShared->Now = plan_.StartUtc;
  // The simulator's pseudo-terminals are locked in a folder of the run's
  // own: locks other programs left in the machine's folder for the same
  // numbers are none of its business.
  const fs::path locks = KarvoStateDir() / "locks";
  fs::create_directories(locks);
  SetUucpLockFolders({locks.string()});
  // Log files of the 45 days before the run: those more than 30 days old
  // at the end must go, the others stay.
  const fs::path logFolder = KarvoStateDir() / "log";
  fs::create_directories(logFolder);
  for (int d = 1; d <= 45; ++d)
    std::ofstream(logFolder / TProgramLogFile::FileNameFor(UtcToLocal(plan_.StartUtc) - d)) << "older\n";

  sim::SimOptions o;
  o.Address = 1;
  o.Seed = options_.Seed;
  o.StartTemperature = 20.0;
  o.Clock = [] { return gShared->Now.load() * kDay; };
  o.Trace = [this](const std::string& line) { answers_.Trace(line); };
  sim_.emplace(o);
  sim_->Start();
  sim::LinkComPort(kCom, sim_->DevicePath());
  answers_.SetInitialLimit(sim_->GetRegister(reg::OutputHighLimit));
  for (const Segment& s : plan_.Segments)
    segments_.push_back({static_cast<double>(plan_.MinimumSteadyMinutes + s.DwellMinutes)});
  return StartProgram(true);
}

// Starts the program as an operator does: the window, the previous run's
// data loaded (every question answered Yes), Start, the settings, and the
// first time the program.
bool Soak::StartProgram(bool first) {
  std::vector<std::string> args = {program_,
                                   "--program",
                                   sharedFile_.string(),
                                   std::to_string(options_.Days),
                                   "--seed",
                                   std::to_string(options_.Seed),
                                   "--read-loop-ms",
                                   std::to_string(options_.ReadLoopMs)};
  if (!options_.Faults) args.push_back("--no-faults");
  if (first) args.push_back("--enter-program");
  if (options_.LogLines > 0) {
    args.push_back("--log-lines");
    args.push_back(std::to_string(options_.LogLines));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int commands[2], reports[2];
  if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(reports, O_CLOEXEC) != 0) {
    violations_.Add("no pipes for the program");
    return false;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    dup2(commands[0], STDIN_FILENO);
    if (reports[1] == kReportFd)
      fcntl(kReportFd, F_SETFD, 0);
    else
      dup2(reports[1], kReportFd);
    execv(program_.c_str(), argv.data());
    _exit(127);
  }
  close(commands[0]);
  close(reports[1]);
  if (pid < 0) {
    close(commands[1]);
    close(reports[0]);
    violations_.Add("the program cannot be started");
    return false;
  }
  ++starts_;
  child_.Pid = pid;
  child_.Commands = commands[1];
  child_.Reports.emplace(reports[0]);
  lifeConsumed_ = 0;
  last_.Durable = 0;
  // Up to its report of being ready.
  for (;;) {
    const std::optional<std::string> line = child_.Reports->Next(180000);
    if (!line) {
      violations_.Add(child_.Reports->TimedOut() ? "the program was not ready within 3 minutes"
                                                 : "the program ended while starting");
      return false;
    }
    if (line->rfind("R ", 0) != 0) {
      Report(*line);
      continue;
    }
    const std::vector<std::string> f = Fields(*line);
    if (f.size() != 6) {
      violations_.Add("a bad report from the program: " + *line);
      return false;
    }
    lifeLoaded_ = std::stoi(f[1]);
    const double lastLoaded = FromExact(f[2]);
    const int segments = std::stoi(f[3]), current = std::stoi(f[4]);
    questions_ += std::stoul(f[5]);
    if (segments != static_cast<int>(plan_.Segments.size()))
      violations_.Add("the program holds " + std::to_string(segments) + " segments after " +
                      (first ? "it was entered" : "the restore"));
    if (!first) {
      reloadedSamples_ += static_cast<std::uint64_t>(lifeLoaded_);
      // Going on where the killed program was: the same segment, or the
      // next if the kill came right after the segment ended.
      if (current == trackedSegment_ + 1 && trackedSegment_ >= 1) {
        last_.Segment = current;
        FollowSegments();
      } else if (current != trackedSegment_) {
        violations_.Add("the restored program goes on at segment " + std::to_string(current) + ", not " +
                        std::to_string(trackedSegment_));
      } else if (last_.StableSince > 0.0 && lastLoaded > last_.StableSince) {
        // The stable time the killed program had observed counts: up to
        // its last journalled sample, as the restored program counts it.
        // (Stable at its last reported tick: a change of stability in the
        // killed tick itself is not seen here.)
        carried_ += lastLoaded - last_.StableSince;
      }
      stableSince_ = 0.0;
      previousSince_ = 0.0;
      previousLamp_ = false;
    }
    trackedSegment_ = current;
    answers_.SetSegment(current);
    return true;
  }
}

void Soak::Report(const std::string& line) {
  if (line.rfind("V ", 0) == 0) {
    violations_.Add(line.substr(2));
  } else if (line.rfind("C ", 0) == 0) {
    Consumed(Fields(line));
  } else if (line == "K f") {
    ++failedPolls_;
  } else if (line == "K s") {
    ++sensorBreaks_;
  } else if (line.rfind("E ", 0) == 0) {
    const std::vector<std::string> f = Fields(line);
    if (f.size() != 12) {
      violations_.Add("a bad report from the program: " + line);
      return;
    }
    last_.Segment = std::stoi(f[1]);
    last_.StableSince = FromExact(f[2]);
    last_.TimeLamp = f[3] == "1";
    last_.Durable = std::stoull(f[4]);
    last_.Chart = std::stoi(f[5]);
    last_.Memo = std::stoi(f[6]);
    last_.MemoMax = std::stoi(f[7]);
    last_.Rss = std::stoull(f[8]);
    last_.LongestMs = FromExact(f[9]);
    last_.IntervalMs = std::stod(f[10]);
    last_.BeenStable = FromExact(f[11]);
    longestStopMs_ = std::max(longestStopMs_, last_.LongestMs);
    tickEnded_ = true;
  } else if (line.rfind("J ", 0) == 0) {
    finalReport_ = line;
  } else {
    violations_.Add("a bad report from the program: " + line);
  }
}

bool Soak::ReadTick() {
  tickConsumed_ = tickEnded_ = false;
  while (!tickEnded_) {
    const std::optional<std::string> line = child_.Reports->Next(120000);
    if (!line) {
      violations_.Add(child_.Reports->TimedOut() ? "the program did not end a tick within 2 minutes"
                                                 : "the program ended by itself");
      return false;
    }
    Report(*line);
  }
  return true;
}

void Soak::AdvanceClock() { gShared->Now = Now() + last_.IntervalMs / 1000.0 * options_.TickScale / kDay; }

// One tick of Timer1 at the simulated clock, and the poll it started.
bool Soak::Tick() {
  ++ticks_;
  const auto started = SteadyClock::now();
  if (!WriteLine(child_.Commands, "T") || !ReadTick()) return false;
  pollWaitMs_ += std::chrono::duration<double, std::milli>(SteadyClock::now() - started).count();
  if (tickConsumed_) FollowSegments();
  AdvanceClock();
  return true;
}

void Soak::EndProgram() {
  if (child_.Commands >= 0) close(child_.Commands);
  child_.Commands = -1;
  if (child_.Pid > 0) {
    int status = 0;
    waitpid(child_.Pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
      violations_.Add("the program ended with status " + std::to_string(status));
  }
  child_ = {};
}

// SIGKILL in the middle of a tick, `IntoPollMs` real milliseconds after
// it began; then the operator starts the program again.
bool Soak::KillAndRestart(const Plan::Kill& kill) {
  ++ticks_;
  ++kills_;
  const double killedAt = Now();
  if (trackedSegment_ >= 1) ++segments_[static_cast<std::size_t>(trackedSegment_ - 1)].Kills;
  WriteLine(child_.Commands, "T");
  std::this_thread::sleep_for(std::chrono::milliseconds(kill.IntoPollMs));
  ::kill(child_.Pid, SIGKILL);
  int status = 0;
  waitpid(child_.Pid, &status, 0);
  if (!WIFSIGNALED(status)) violations_.Add("the program ended before the kill: status " + std::to_string(status));
  // What it reported before the kill; a line cut short is dropped.
  tickConsumed_ = tickEnded_ = false;
  while (const std::optional<std::string> line = child_.Reports->Next(10000)) Report(*line);
  close(child_.Commands);
  child_ = {};
  // The samples it consumed are in its journal, but for those not yet on
  // stable storage.
  const std::uint64_t floor = static_cast<std::uint64_t>(lifeLoaded_) + last_.Durable;
  const std::uint64_t consumedAll = static_cast<std::uint64_t>(lifeLoaded_) + lifeConsumed_;
  // A serial device's terminal settings end with the last process that had
  // it open; a pseudo-terminal's live on with its master, so the killed
  // program's exclusive flag would still refuse every open. The terminal
  // is made anew, as the next open of a real port finds it.
  const std::string device = sim_->DevicePath();
  sim::UnlinkComPort(kCom, device);
  sim_->Stop();
  sim_->Start();
  SetSimFaults();
  sim::LinkComPort(kCom, sim_->DevicePath());
  AdvanceClock();
  gShared->Now = Now() + kill.RestartSeconds / kDay;
  std::printf("kill -9 at %s (%d ms into the tick), started again %.0f s later\n", Clock(killedAt).c_str(),
              kill.IntoPollMs, kill.RestartSeconds);
  std::fflush(stdout);
  if (!StartProgram(false)) return false;
  const std::uint64_t loaded = static_cast<std::uint64_t>(lifeLoaded_);
  if (loaded < floor)
    violations_.Add("the restart loaded " + std::to_string(loaded) + " samples; " + std::to_string(floor) +
                    " were on stable storage before the kill");
  // At most the sample of the killed tick beyond what was reported.
  if (loaded > consumedAll + 1)
    violations_.Add("the restart loaded " + std::to_string(loaded) + " samples; only " + std::to_string(consumedAll) +
                    " were consumed");
  if (loaded < consumedAll) lostAtKills_ += consumedAll - loaded;
  if (loaded > consumedAll) unreportedAtKills_ += loaded - consumedAll;
  return true;
}

void Soak::Consumed(const std::vector<std::string>& f) {
  if (f.size() != 8) {
    violations_.Add("a bad consumed report from the program");
    return;
  }
  ++consumed_;
  ++lifeConsumed_;
  tickConsumed_ = true;
  const double t = FromExact(f[1]), temperature = FromExact(f[2]);
  const int target = std::stoi(f[3]), working = std::stoi(f[4]), output = std::stoi(f[5]), ramp = std::stoi(f[6]),
            limit = std::stoi(f[7]);
  if (lastConsumedAt_ > 0)
    longestUnconsumedSeconds_ = std::max(longestUnconsumedSeconds_, (t - lastConsumedAt_) * kDay);
  lastConsumedAt_ = t;
  // The record holds what the controller answered in that poll.
  const std::optional<AnswerLog::Answers> a = answers_.At(t);
  if (!a || a->Temperature() != temperature || a->Word(reg::TargetSetpoint) != target ||
      a->Word(reg::WorkingSetpoint) != working || a->Word(reg::WorkingOutput) != output ||
      a->Word(reg::RampRate) != ramp || a->Word(reg::OutputHighLimit) != limit) {
    violations_.Add("a consumed sample differs from what the controller answered: " + std::to_string(temperature) +
                    " / " + std::to_string(target) + " / " + std::to_string(working) + " / " + std::to_string(output) +
                    (a ? "" : " (nothing answered at that instant)"));
  }
}

// Each segment ends at the first consumed tick at which the furnace had been
// stable for longer than the minimum steady time plus the dwell, unless a
// hold request kept it. Stable time counts as the program can observe it:
// in each start of the program from its StableSince, up to the last
// journalled sample when the program was killed (the restored program gets
// that much back), and not the time after that sample until the restarted
// program is stable again. A restarted program ends the segment no earlier
// than its time lamp is on again (stable for the minimum steady time since
// the restart): the check for a segment kept too long looks at ticks with
// the lamp on.
void Soak::FollowSegments() {
  const double now = Now();  // the tick's clock, which judges stability
  const int current = last_.Segment;
  const double since = last_.StableSince;
  auto observed = [&](double at, double from) { return carried_ + (from > 0.0 ? at - from : 0.0); };
  // Half a millisecond for the restored stable time, which is kept in ms.
  constexpr double kSlack = 0.0005 / kDay;
  if (current == trackedSegment_) {
    if (since > 0) {
      stableSince_ = since;
      if (firstStable_ <= 0.0) firstStable_ = since;
    }
    previousTick_ = now;
    previousSince_ = since;
    previousHeld_ = holdOn_;
    previousBeenStable_ = last_.BeenStable;
    previousLamp_ = last_.TimeLamp;
    return;
  }
  if (trackedSegment_ >= 1) {
    SegmentResult& r = segments_[static_cast<std::size_t>(trackedSegment_ - 1)];
    const double required = r.RequiredMinutes / 1440.0;
    const std::string name = "segment " + std::to_string(trackedSegment_);
    if (stableSince_ <= 0.0 && carried_ <= 0.0) {
      violations_.Add(name + " ended without having been stable");
    } else {
      const double measured = observed(now, stableSince_);
      r.MeasuredMinutes = measured * 1440.0;
      r.SpanMinutes = (now - firstStable_) * 1440.0;
      if (!(measured > required - kSlack))
        violations_.Add(name + " ended after " + std::to_string(r.MeasuredMinutes) + " min stable (" +
                        std::to_string(carried_ * 1440.0) + " of them before a kill), less than " +
                        std::to_string(r.RequiredMinutes) + "; the program counted " +
                        std::to_string(previousBeenStable_ * 1440.0) + " at the tick before");
      if (previousSince_ > 0.0 && previousSince_ == stableSince_ && previousLamp_ &&
          observed(previousTick_, stableSince_) > required + kSlack && !previousHeld_)
        violations_.Add(name + " was due at the tick before it ended (" +
                        std::to_string(observed(previousTick_, stableSince_) * 1440.0) +
                        " min stable; the program counted " + std::to_string(previousBeenStable_ * 1440.0) + ")");
    }
  }
  if (current != trackedSegment_ + 1 && current != 0)
    violations_.Add("the program went from segment " + std::to_string(trackedSegment_) + " to " +
                    std::to_string(current));
  trackedSegment_ = current;
  answers_.SetSegment(current);
  stableSince_ = firstStable_ = carried_ = 0.0;
  previousSince_ = 0.0;
  previousTick_ = now;
  previousHeld_ = previousLamp_ = false;
}

// A cooperating program holds the planned segments for a while once the
// window shows them stable (the time lamp, FS_ written).
void Soak::FollowHolds() {
  const double now = Now();
  if (holdOn_ && now >= holdUntil_) {
    WriteRegistryString(L"FW_Furnace1", L"0");
    holdOn_ = false;
    if (trackedSegment_ >= 1)
      segments_[static_cast<std::size_t>(trackedSegment_ - 1)].HeldMinutes += (now - holdFrom_) * 1440.0;
  }
  if (holdOn_ || !last_.TimeLamp) return;
  for (const HoldPlan& h : plan_.Holds) {
    if (h.Segment != trackedSegment_ || holdsDone_.count(h.Segment)) continue;
    WriteRegistryString(L"FW_Furnace1", L"Soak: sample " + std::to_wstring(h.Segment) + L" measuring");
    holdsDone_.insert(h.Segment);
    holdOn_ = true;
    holdFrom_ = now;
    holdUntil_ = now + h.Minutes / 1440.0;
  }
}

void Soak::SetSimFaults() {
  if (sim_->Running()) sim_->SetFaults(simFaults_);
}

void Soak::BeginFault(const FaultEvent& e) {
  ++faultCount_[static_cast<int>(e.Kind)];
  faultSeconds_[static_cast<int>(e.Kind)] += e.Seconds;
  switch (e.Kind) {
    case FaultKind::Silence:
      simFaults_.NoReply = true;
      break;
    case FaultKind::BadCrc:
      simFaults_.BadCrcFraction = 1.0;
      break;
    case FaultKind::LateReply:
      simFaults_.ReplyDelayMs = static_cast<std::uint32_t>(e.Param);
      break;
    case FaultKind::SensorBreak:
      simFaults_.SensorBreak = true;
      break;
    case FaultKind::OtherAddress:
      simFaults_.ReplyAddress = kOtherAddress;
      break;
    case FaultKind::ConfigRestart:
      simFaults_.NoReply = true;  // restarting
      sim_->SetRegister(reg::ConfigurationMode, reg::ConfigurationModeEnter);
      break;
    case FaultKind::PulledAdapter: {
      const std::string device = sim_->DevicePath();
      sim::UnlinkComPort(kCom, device);
      sim_->Stop();
      break;
    }
    case FaultKind::StoreRefuses: {
      // A folder where the stable segment's value goes.
      const fs::path value = fs::path(KarvoConfigDir()) / "FS_Furnace1";
      std::error_code ec;
      fs::remove(value, ec);
      fs::create_directories(value / "held", ec);
      break;
    }
    case FaultKind::DiskRefuses:
      gShared->DiskRefuses = 1;
      break;
  }
  SetSimFaults();
}

void Soak::EndFault(const FaultEvent& e) {
  switch (e.Kind) {
    case FaultKind::Silence:
      simFaults_.NoReply = false;
      break;
    case FaultKind::BadCrc:
      simFaults_.BadCrcFraction = 0.0;
      break;
    case FaultKind::LateReply:
      simFaults_.ReplyDelayMs = 0;
      break;
    case FaultKind::SensorBreak:
      simFaults_.SensorBreak = false;
      break;
    case FaultKind::OtherAddress:
      simFaults_.ReplyAddress.reset();
      break;
    case FaultKind::ConfigRestart:
      // The operator puts it back into operation from its front panel.
      simFaults_.NoReply = false;
      sim_->SetRegister(reg::ConfigurationMode, reg::ConfigurationModeLeave);
      break;
    case FaultKind::PulledAdapter:
      sim_->Start();
      sim::LinkComPort(kCom, sim_->DevicePath());
      break;
    case FaultKind::StoreRefuses: {
      std::error_code ec;
      fs::remove_all(fs::path(KarvoConfigDir()) / "FS_Furnace1", ec);
      break;
    }
    case FaultKind::DiskRefuses:
      gShared->DiskRefuses = 0;
      break;
  }
  SetSimFaults();
}

void Soak::ApplyFaults() {
  const double elapsed = Elapsed();
  if (activeFault_) {
    const FaultEvent& e = plan_.Faults[*activeFault_];
    if (e.Kind == FaultKind::ConfigRestart && simFaults_.NoReply && elapsed >= e.At + kRestartSilenceSeconds) {
      simFaults_.NoReply = false;  // up again, in configuration mode
      SetSimFaults();
    }
    if (elapsed >= e.At + e.Seconds) {
      EndFault(e);
      activeFault_.reset();
    }
  }
  if (!activeFault_ && nextFault_ < plan_.Faults.size() && elapsed >= plan_.Faults[nextFault_].At) {
    activeFault_ = nextFault_++;
    BeginFault(plan_.Faults[*activeFault_]);
  }
}

void Soak::Progress(bool force) {
  const double day = Elapsed() / kDay;
  if (day >= nextRssAt_ && last_.Rss > 0 && child_.Pid > 0) {
    if (!logFullDay_ && last_.Memo >= last_.MemoMax) logFullDay_ = day;
    RssPoint p{day, last_.Rss, starts_, last_.Chart, last_.Memo};
    WriteLine(child_.Commands, "M");
    while (const std::optional<std::string> line = child_.Reports->Next(60000)) {
      if (line->rfind("M ", 0) != 0) {
        Report(*line);
        continue;
      }
      const std::vector<std::string> f = Fields(*line);
      if (f.size() == 7) {
        p.Heap = std::stoull(f[1]);
        p.Kept = std::stoull(f[2]) + std::stoull(f[3]);
        p.Bytes = std::stoull(f[4]);
        logLineBytes_ = FromExact(f[5]);
        logCharBytes_ = FromExact(f[6]);
      }
      break;
    }
    rss_.push_back(p);
    nextRssAt_ += 1.0 / 24;
  }
  if (!force && day < nextProgressAt_) return;
  nextProgressAt_ += options_.ProgressEveryHours / 24.0;
  const double wall = std::chrono::duration<double>(SteadyClock::now() - wallStart_).count();
  int faults = 0;
  for (const int n : faultCount_) faults += n;
  std::printf(
      "day %6.2f  %s  wall %7.1f s  samples %8llu  segment %2d%s  RSS %6.1f MB  faults %3d  kills %d  violations %d\n",
      day, Clock(Now()).c_str(), wall, static_cast<unsigned long long>(consumed_), last_.Segment,
      last_.StableSince > 0 ? " stable" : "", MegaBytes(last_.Rss), faults, kills_, violations_.Count());
  std::fflush(stdout);
}

void Soak::CheckLogFiles() {
  const fs::path folder = KarvoStateDir() / "log";
  const long firstDay = static_cast<long>(std::floor(UtcToLocal(plan_.StartUtc)));
  const long lastDay = static_cast<long>(std::floor(UtcToLocal(Now())));
  std::set<std::string> present;
  for (const auto& entry : fs::directory_iterator(folder)) present.insert(entry.path().filename().string());
  logFiles_ = present.size();
  for (long d = firstDay - 45; d <= lastDay; ++d) {
    const std::string name = TProgramLogFile::FileNameFor(static_cast<double>(d));
    const bool there = present.count(name) > 0;
    if (d <= lastDay - TProgramLogFile::kKeepDays) {
      if (there)
        violations_.Add("the log file " + name + " is older than 30 days and still there");
      else
        ++preseededRemoved_;
    } else if (!there) {
      violations_.Add("the log file " + name + " is missing");
    }
  }
}

// The journal at the end, read by the driver: every sample in it is what
// the controller answered at that poll (the journal keeps the time to the
// second, so the poll is the one within a second of the time it names; polls
// are seconds apart), and none is
// missing but those a kill took before they reached stable storage.
void Soak::CheckJournal(const fs::path& path, std::size_t samples) {
  const TJournalContents read = ReadJournal(path, ExportRegional(Regional()));
  journalSamples_ = read.Samples.size();
  if (!read.Error.empty() || read.RefusedLines != 0 || read.TornLastLine)
    violations_.Add("the journal does not read back whole: " + read.Error);
  if (read.Samples.size() != samples)
    violations_.Add("the journal holds " + std::to_string(read.Samples.size()) + " samples, the program read " +
                    std::to_string(samples));
  if (read.Samples.size() + lostAtKills_ != consumed_ + unreportedAtKills_)
    violations_.Add("the journal holds " + std::to_string(read.Samples.size()) + " samples of " +
                    std::to_string(consumed_) + " consumed, " + std::to_string(unreportedAtKills_) +
                    " consumed as the program was killed, " + std::to_string(lostAtKills_) + " lost at kills");
  int differ = 0;
  auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
  for (std::size_t k = 0; k < read.Samples.size(); ++k) {
    const TJournalSample& s = read.Samples[k];
    const std::vector<AnswerLog::Answers> polls =
        answers_.Between(s.Time - kJournalTimeResolution / kDay, s.Time + kJournalTimeResolution / kDay);
    bool found = false;
    for (const AnswerLog::Answers& a : polls) {
      const std::optional<double> t = a.Temperature();
      const std::optional<int> target = a.Word(reg::TargetSetpoint), working = a.Word(reg::WorkingSetpoint),
                               output = a.Word(reg::WorkingOutput);
      if (t && target && working && output && same(s.Temperature, *t) && same(s.Setpoint, *target) &&
          same(s.WorkingSetpoint, *working) && same(s.WorkingOutput, *output / 10.0))
        found = true;
    }
    if (!found && ++differ <= 3)
      violations_.Add("journal sample " + std::to_string(k) + " (" + Clock(s.Time) + "; " +
                      std::to_string(s.Temperature) + ") is not what the controller answered in that second");
  }
  if (differ > 3) violations_.Add(std::to_string(differ) + " journal samples are not what the controller answered");
}

void Soak::Finish() {
  if (activeFault_) EndFault(plan_.Faults[*activeFault_]);
  activeFault_.reset();
  nextFault_ = plan_.Faults.size();
  if (holdOn_) WriteRegistryString(L"FW_Furnace1", L"0");
  if (last_.Segment != 0)
    violations_.Add("the program did not end: segment " + std::to_string(last_.Segment) + " is current");
  for (std::size_t k = 0; k < segments_.size(); ++k)
    if (segments_[k].MeasuredMinutes < 0) violations_.Add("segment " + std::to_string(k + 1) + " never ended");
  if (sim_->GetRegister(reg::TargetSetpoint) != plan_.Segments.back().Setpoint)
    violations_.Add("the controller's setpoint is not the last segment's");
  // Every condition raised by a fault has cleared once the faults are over
  // and a few polls went well.
  for (int i = 0; i < 6; ++i)
    if (!Tick()) return;
  const double ended = Now();
  // The program checks the attention line, Stops, and reads the journal
  // back against its chart.
  WriteLine(child_.Commands, "F");
  while (!finalReport_) {
    const std::optional<std::string> line = child_.Reports->Next(180000);
    if (!line) break;
    Report(*line);
  }
  while (const std::optional<std::string> line = child_.Reports->Next(60000)) Report(*line);
  EndProgram();
  if (!finalReport_) {
    violations_.Add("the program did not report its journal at the end");
  } else {
    const std::vector<std::string> f = Fields(*finalReport_, 4);
    if (f.size() == 4) {
      longestStopMs_ = std::max(longestStopMs_, FromExact(f[2]));
      CheckJournal(f[3], std::stoul(f[1]));
    }
  }
  gShared->Now = ended;
  CheckLogFiles();
  if (longestStopMs_ > FreezeLimitMs())
    violations_.Add("the user-interface thread stood still for " + std::to_string(longestStopMs_) + " ms");
  // Memory: from day 2 on, the resident set less the bytes of the data the
  // window keeps by design (the chart's vectors, the on-screen log's lines
  // up to its most) grows by less than 10 %. The resident set itself is
  // reported beside it: it grows with the kept data.
  std::uint64_t base = 0, baseLeft = 0, most = 0, mostLeft = 0;
  for (const RssPoint& p : rss_) {
    const std::uint64_t left = p.Bytes > p.Kept ? p.Bytes - p.Kept : 0;
    if (p.Day <= 2.0) {
      base = p.Bytes;
      baseLeft = left;
    } else {
      most = std::max(most, p.Bytes);
      mostLeft = std::max(mostLeft, left);
    }
  }
  if (base > 0 && most > 0) {
    rssGrowth_ = static_cast<double>(most) / static_cast<double>(base) - 1.0;
    leftGrowth_ = static_cast<double>(mostLeft) / static_cast<double>(baseLeft) - 1.0;
    if (*leftGrowth_ > 0.10)
      violations_.Add("the resident set less the kept data grew from " + std::to_string(MegaBytes(baseLeft)) +
                      " MB at day 2 to " + std::to_string(MegaBytes(mostLeft)) + " MB");
  }
  // What the heap gains per sample beyond the kept data from day 2, and in
  // all while the on-screen log was full, within each start of the program.
  for (std::size_t k = 1; k < rss_.size(); ++k) {
    const RssPoint &a = rss_[k - 1], &b = rss_[k];
    if (a.Start != b.Start || b.Samples <= a.Samples) continue;
    // With the log full (its lines' size an estimate no more) the heap
    // itself tells what grows per sample.
    if (a.Memo == b.Memo && a.Memo > 0) {
      fullLogHeapGrowth_ += static_cast<double>(b.Heap) - static_cast<double>(a.Heap);
      fullLogKeptGrowth_ += static_cast<double>(b.Kept) - static_cast<double>(a.Kept);
      fullLogSamples_ += b.Samples - a.Samples;
    }
    if (a.Day < 2.0) continue;
    otherHeapGrowth_ += (static_cast<double>(b.Heap) - static_cast<double>(b.Kept)) -
                        (static_cast<double>(a.Heap) - static_cast<double>(a.Kept));
    keptGrowth_ += static_cast<double>(b.Kept) - static_cast<double>(a.Kept);
    growthSamples_ += b.Samples - a.Samples;
  }
}

void Soak::Summary() {
  const double wall = std::chrono::duration<double>(SteadyClock::now() - wallStart_).count();
  const double days = Elapsed() / kDay;
  std::printf("\n==== soak summary: %.2f simulated days, seed %u ====\n", days, options_.Seed);
  std::printf("%-36s %s\n", "time zone", plan_.TimeZone.c_str());
  std::printf("%-36s %s / %s (local)\n", "daylight saving begins / ends", Clock(plan_.DstBeginsUtc).c_str(),
              Clock(plan_.DstEndsUtc + 1e-6).c_str());
  std::printf("%-36s %.1f s (%.2f simulated days per wall minute)\n", "wall time", wall, days / (wall / 60.0));
  std::printf("%-36s %.1f s (%.1f %% of the wall time)\n", "waiting for polls", pollWaitMs_ / 1000.0,
              100.0 * pollWaitMs_ / 1000.0 / wall);
  std::printf("%-36s %llu\n", "ticks", static_cast<unsigned long long>(ticks_));
  std::printf("%-36s %llu (each checked against the controller's replies)\n", "samples consumed",
              static_cast<unsigned long long>(consumed_));
  std::printf("%-36s %llu\n", "failed polls", static_cast<unsigned long long>(failedPolls_));
  std::printf("%-36s %llu\n", "sensor-break records", static_cast<unsigned long long>(sensorBreaks_));
  std::printf("%-36s %.0f s\n", "longest time without a sample", longestUnconsumedSeconds_);
  std::printf("%-36s %llu (each one the program meant)\n", "writes executed by the controller",
              static_cast<unsigned long long>(answers_.Writes()));
  std::printf("%-36s %d (%llu samples reloaded in all)\n", "kill -9 and restart", kills_,
              static_cast<unsigned long long>(reloadedSamples_));
  std::printf("%-36s %llu (consumed, not yet on stable storage)\n", "samples lost at the kills",
              static_cast<unsigned long long>(lostAtKills_));
  std::printf("%-36s %zu (equal to the chart and to the controller's answers)\n", "journal samples", journalSamples_);
  std::printf("%-36s %zu (%zu older than 30 days removed)\n", "daily log files", logFiles_, preseededRemoved_);
  std::printf("%-36s %.0f ms (allowed %.0f ms)\n", "longest stop of the UI thread", longestStopMs_, FreezeLimitMs());
  std::printf("%-36s %d of %d lines%s\n", "on-screen log", last_.Memo, last_.MemoMax,
              logFullDay_ ? (" (full from day " + std::to_string(*logFullDay_) + ")").c_str() : " (still filling)");
  if (rssGrowth_) {
    std::printf("%-36s %+.1f %% from day 2 (the resident set itself)\n", "resident set growth", *rssGrowth_ * 100.0);
    std::printf("%-36s %+.1f %% from day 2 (judged: at most +10 %%)\n", "... less the kept data", *leftGrowth_ * 100.0);
  } else {
    std::printf("%-36s not judged (run shorter than 2 days)\n", "resident set growth");
  }
  if (growthSamples_ > 0)
    std::printf("%-36s %.0f B kept data, %.0f B other heap (from day 2)\n", "heap growth per sample",
                keptGrowth_ / static_cast<double>(growthSamples_),
                otherHeapGrowth_ / static_cast<double>(growthSamples_));
  std::printf("%-36s %.0f B + %.2f B a character (measured)\n", "a line of the on-screen log", logLineBytes_,
              logCharBytes_);
  if (fullLogSamples_ > 0)
    std::printf("%-36s %.0f B heap, of it %.0f B the chart's (over %ld samples)\n", "... with the on-screen log full",
                fullLogHeapGrowth_ / static_cast<double>(fullLogSamples_),
                fullLogKeptGrowth_ / static_cast<double>(fullLogSamples_), fullLogSamples_);
  std::printf("%-36s %zu\n", "questions asked", questions_);
  std::printf("\n%-8s %9s %9s %10s %10s %10s %10s %6s\n", "segment", "setpoint", "ramp", "required", "measured", "span",
              "held", "kills");
  for (std::size_t k = 0; k < segments_.size(); ++k) {
    const SegmentResult& r = segments_[k];
    std::printf("%-8zu %9d %9d %9.1fm %9.1fm %9.1fm %9.1fm %6d\n", k + 1, plan_.Segments[k].Setpoint,
                plan_.Segments[k].RampRate, r.RequiredMinutes, r.MeasuredMinutes, r.SpanMinutes, r.HeldMinutes,
                r.Kills);
  }
  std::printf("(measured: stable time the program could observe; span: from first stable to the end)\n");
  std::printf("\n%-22s %6s %12s\n", "fault", "count", "simulated s");
  for (int k = 0; k < kFaultKinds; ++k)
    std::printf("%-22s %6d %12.0f\n", FaultName(static_cast<FaultKind>(k)), faultCount_[k], faultSeconds_[k]);
  std::printf("%-22s %6d\n", "daylight saving change",
              (plan_.DstBeginsUtc >= plan_.StartUtc ? 1 : 0) + (plan_.DstEndsUtc >= plan_.StartUtc ? 1 : 0));
  std::printf("\n%-8s %6s %8s %8s %10s %10s %12s %8s\n", "day", "start", "samples", "log", "RSS MB", "heap MB",
              "kept data MB", "RSS-kept");
  const double step = days > 4 ? 1.0 : 0.25;
  double next = 0.0;
  for (const RssPoint& p : rss_) {
    if (p.Day + 1e-9 < next) continue;
    std::printf("%-8.2f %6d %8d %8d %10.1f %10.2f %12.2f %8.1f\n", p.Day, p.Start, p.Samples, p.Memo,
                MegaBytes(p.Bytes), MegaBytes(p.Heap), MegaBytes(p.Kept),
                MegaBytes(p.Bytes > p.Kept ? p.Bytes - p.Kept : 0));
    next += step;
  }
  std::printf("\nviolations: %d  =>  %s\n", violations_.Count(), violations_.Count() == 0 ? "PASSED" : "FAILED");
  std::fflush(stdout);
}

int Soak::Run() {
  wallStart_ = SteadyClock::now();
  if (!Setup()) {
    if (child_.Pid > 0) ::kill(child_.Pid, SIGKILL);
    EndProgram();
    return std::max(1, violations_.Count());
  }
  std::printf("soak: %.2f simulated days from %s, %zu faults and %zu kills planned, time zone %s\n", plan_.Days,
              Clock(plan_.StartUtc).c_str(), plan_.Faults.size(), plan_.Kills.size(), plan_.TimeZone.c_str());
  const double end = plan_.StartUtc + plan_.Days;
  bool going = true;
  while (going && Now() < end) {
    ApplyFaults();
    FollowHolds();
    if (nextKill_ < plan_.Kills.size() && Elapsed() >= plan_.Kills[nextKill_].At)
      going = KillAndRestart(plan_.Kills[nextKill_++]);
    else
      going = Tick();
    Progress(false);
  }
  Progress(true);
  if (going) Finish();
  if (child_.Pid > 0) {
    ::kill(child_.Pid, SIGKILL);
    EndProgram();
  }
  Summary();
  const int violations = violations_.Count();
  sim::UnlinkComPort(kCom, sim_->DevicePath());
  sim_.reset();
  return violations;
}

}  // namespace

int RunSoak(const SoakOptions& options, const std::string& program) {
  Soak soak(options, program);
  return soak.Run();
}

}  // namespace karvo::soak
