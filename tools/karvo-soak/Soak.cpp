#include "Soak.h"

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
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
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "SoakPlan.h"
#include "app/QtSeams.h"
#include "common/Attention.h"
#include "common/ConfigDir.h"
#include "common/LocalTime.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
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
#include "supervisor/window/LogView.h"
#include "supervisor/window/frmFurnaceModule.h"

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

// The one simulated clock: UTC days. The program's clock seam and the
// controller's furnace both read it; only the driver moves it.
std::atomic<double> gNow{0.0};

double MegaBytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

std::uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

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
    if (++count_ <= 40) std::printf("VIOLATION at %s: %s\n", Clock(gNow.load()).c_str(), what.c_str());
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
  struct Answers {
    std::map<std::uint32_t, std::uint16_t> Words;
    std::optional<float> ProcessValue;
  };

  AnswerLog(Violations& violations, const Plan& plan) : violations_(violations) {
    for (const Segment& s : plan.Segments) {
      rampRates_.insert(s.RampRate);
      setpoints_.insert(s.Setpoint);
    }
    limitTargets_[0] = plan.LowPower * 10;
    limitTargets_[1] = plan.HighPower * 10;
  }
  void SetInitialLimit(int limit) { initialLimit_ = limit; }

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
    const double t = gNow.load();
    Answers& a = answers_[t];
    while (answers_.size() > 8) answers_.erase(answers_.begin());
    if (first == 0x8000 + 2 * reg::ProcessValue && count == 2) {
      a.ProcessValue = std::bit_cast<float>(std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[4]} << 16 |
                                            std::uint32_t{bytes[5]} << 8 | bytes[6]);
      return;
    }
    for (std::uint32_t k = 0; k < count; ++k) a.Words[first + k] = Word(bytes, 3 + 2 * k);
  }

  std::optional<Answers> At(double t) const {
    std::lock_guard lock(mutex_);
    const auto it = answers_.find(t);
    if (it == answers_.end()) return std::nullopt;
    return it->second;
  }
  std::uint64_t Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  static std::uint32_t Word(const Bytes& b, std::size_t at) { return std::uint32_t{b[at]} << 8 | b[at + 1]; }

  // A write the program meant: a segment's ramp rate or setpoint, or an
  // output limit on the way from one limit to the other in steps of 2.5 %.
  void Executed(std::uint32_t reg, std::uint32_t value) {
    ++writes_;
    const int v = static_cast<int>(value);
    bool meant = false;
    if (reg == reg::RampRate) meant = rampRates_.count(v) > 0;
    if (reg == reg::TargetSetpoint) meant = setpoints_.count(v) > 0;
    if (reg == reg::OutputHighLimit) {
      const int lo = std::min({initialLimit_, limitTargets_[0], limitTargets_[1]});
      const int hi = std::max({initialLimit_, limitTargets_[0], limitTargets_[1]});
      auto onStep = [&](int from) { return (v - from) % 25 == 0; };
      meant = v >= lo && v <= hi && (onStep(initialLimit_) || onStep(limitTargets_[0]) || onStep(limitTargets_[1]));
    }
    if (!meant)
      violations_.Add("the controller executed a write nobody meant: register " + std::to_string(reg) +
                      " := " + std::to_string(value));
  }

  Violations& violations_;
  std::set<int> rampRates_, setpoints_;
  int limitTargets_[2] = {0, 0};
  int initialLimit_ = 0;
  mutable std::mutex mutex_;
  Bytes request_;
  std::map<double, Answers> answers_;
  std::uint64_t writes_ = 0;
};

// The longest time the user-interface thread went without running a 20 ms
// timer.
class Heartbeat {
 public:
  Heartbeat() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Beat(); });
    timer_.start();
    last_ = SteadyClock::now();
  }
  // Leaves the time until now out (the driver's own work).
  void Rearm() { last_ = SteadyClock::now(); }
  double LongestMs() const { return longestMs_; }

 private:
  void Beat() {
    const auto now = SteadyClock::now();
    longestMs_ = std::max(longestMs_, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  QTimer timer_;
  SteadyClock::time_point last_;
  double longestMs_ = 0.0;
};

struct SegmentResult {
  double RequiredMinutes = 0.0;
  double MeasuredMinutes = -1.0;  // from stable to the end, on the simulated clock
  double HeldMinutes = 0.0;
};

class Soak {
 public:
  explicit Soak(const SoakOptions& options)
      : options_(options), plan_(MakePlan(options.Days, options.Seed, options.Faults)), answers_(violations_, plan_) {}

  int Run();

 private:
  void Setup();
  void EnterProgram();
  void Tick();
  void Consumed(const TFurnaceReadRecord& rec);
  void FollowSegments(const TFurnaceReadRecord& rec);
  void FollowHolds();
  void ApplyFaults();
  void BeginFault(const FaultEvent& e);
  void EndFault(const FaultEvent& e);
  void SetSimFaults();
  void Progress(bool force);
  void Finish();
  void CheckLogFiles();
  void CheckJournal();
  void Summary();
  double FreezeLimitMs() const {
    if (options_.FreezeLimitMs > 0) return options_.FreezeLimitMs;
    const TSerialPort port;
    return TFurnaceModule::kMaxWriteAttempts *
           (port.ReadoutTimeoutMS() + TSerialPort::kLateReplyWatchMs + port.WindowsReadLoopTimeoutMS() + 100.0);
  }
  double Elapsed() const { return (gNow.load() - plan_.StartUtc) * kDay; }
  template <class Pred>
  bool WaitUi(Pred done, int limitMs);

  SoakOptions options_;
  Plan plan_;
  Violations violations_;
  AnswerLog answers_;
  std::optional<sim::ScopedConfigHome> config_;
  std::optional<sim::ScopedStateHome> state_;
  std::optional<sim::SimController> sim_;
  std::optional<TQtSeams> seams_;
  std::unique_ptr<TFormModbus> form_;
  std::optional<Heartbeat> heartbeat_;

  // Faults.
  sim::SimFaults simFaults_;
  std::optional<std::size_t> activeFault_;
  std::size_t nextFault_ = 0;
  std::atomic<bool> diskRefuses_{false};
  int faultCount_[kFaultKinds] = {};
  double faultSeconds_[kFaultKinds] = {};

  // Progress of the program.
  std::vector<SegmentResult> segments_;
  int trackedSegment_ = -1;
  double stableSince_ = 0.0, previousTick_ = 0.0, previousSince_ = 0.0;
  bool previousHeld_ = false;
  bool holdOn_ = false;
  double holdUntil_ = 0.0, holdFrom_ = 0.0;
  std::set<int> holdsDone_;

  std::uint64_t consumed_ = 0, failedPolls_ = 0, sensorBreaks_ = 0, ticks_ = 0;
  double longestUnconsumedSeconds_ = 0.0, lastConsumedAt_ = 0.0;
  std::vector<std::pair<double, std::uint64_t>> rss_;  // (day, bytes)
  double nextRssAt_ = 0.0, nextProgressAt_ = 0.0;
  SteadyClock::time_point wallStart_;
  double pollWaitMs_ = 0.0;
  std::vector<std::string> questions_, messages_;
  std::size_t logFiles_ = 0, preseededRemoved_ = 0;
  std::size_t journalSamples_ = 0;
  std::optional<double> logFullDay_;  // when the on-screen log first held its most lines
  std::optional<double> rssGrowth_;
  std::mutex m_;
};

template <class Pred>
bool Soak::WaitUi(Pred done, int limitMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (SteadyClock::now() > deadline) return false;
    // Wakes at the latest with the heartbeat.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

void Soak::Setup() {
  // The time zone first: everything local follows it.
  setenv("TZ", plan_.TimeZone.c_str(), 1);
  tzset();
  gNow = plan_.StartUtc;
  config_.emplace();
  state_.emplace();
  ClearAllAttention();
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
  o.Clock = [] { return gNow.load() * kDay; };
  o.Trace = [this](const std::string& line) { answers_.Trace(line); };
  sim_.emplace(o);
  sim_->Start();
  sim::LinkComPort(kCom, sim_->DevicePath());
  answers_.SetInitialLimit(sim_->GetRegister(reg::OutputHighLimit));

  // The master's pause between looks for a reply is its own wait, not the
  // line's; wire time stays at 9600 baud on both sides.
  TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(options_.ReadLoopMs);
  seams::SetUtcNow([] { return gNow.load(); });
  // The window's pauses (between a write and its read-back) take no
  // simulated time; the real program waits them out.
  seams::SetPause([](std::uint32_t) {});
  seams::SetRandom({});  // the default source: the back-off is random anyway
  seams::SetQuestion([this](const std::string& text) {
    std::lock_guard lock(m_);
    questions_.push_back(text);
    return true;
  });
  seams::SetMessage([this](const std::string& text) {
    std::lock_guard lock(m_);
    messages_.push_back(text);
  });
  seams::SetErrorReport([this](const std::string& text) {
    violations_.Add("an error reached the operator: " + text);
    return false;
  });
  seams_.emplace(nullptr, /*dialogs=*/false);
  form_ = std::make_unique<TFormModbus>();
  seams_->AttachWindow(*form_);
  form_->Timer1->stop();
  form_->show();
  QCoreApplication::processEvents();

  TRunJournal& journal = form_->Supervisor->Journal;
  TJournalIo io = SystemJournalIo();
  io.Write = [this, write = io.Write](std::intptr_t h, std::string_view bytes, std::string& reason) {
    if (diskRefuses_) {
      reason = "No space left on device";
      return false;
    }
    return write(h, bytes, reason);
  };
  journal.SetIo(io);
  // The writer's back-off is in real time, which runs far slower here.
  journal.SetRetry(5, 200);

  auto shown = std::move(form_->TickShown);
  form_->TickShown = [this, shown](const TTickOutcome& out) {
    if (shown) shown(out);
    if (out.Kind == TTickKind::Consumed && out.Consumed) Consumed(*out.Consumed);
    if (out.Kind == TTickKind::PollFailed) ++failedPolls_;
    if (out.Kind == TTickKind::SensorBreak) ++sensorBreaks_;
  };

  TFormModbus& f = *form_;
  // Start waits until the runs that ended unexpectedly have been looked
  // through (none here).
  heartbeat_.emplace();  // also wakes the waits for events
  if (!WaitUi([&] { return f.ButtonCreateFurnaceModule->isEnabled(); }, 60000)) {
    violations_.Add("Start stayed disabled after the start-up reading");
    return;
  }
  f.ComboBoxModbusPort->setCurrentIndex(f.ComboBoxModbusPort->findText(QString::fromLatin1(kCom)));
  f.ButtonCreateFurnaceModule->click();
  f.Timer1->stop();
  if (f.ButtonCreateFurnaceModule->text() != QStringLiteral("Stop")) {
    violations_.Add("Start failed");
    return;
  }
  EnterProgram();
  heartbeat_->Rearm();
}

void Soak::EnterProgram() {
  TFormModbus& f = *form_;
  f.RtIntegerEditStableTemperature->SetValue(plan_.StableTemperature);
  f.RtIntegerEditStableSlopeTime->SetValue(plan_.StableSlopeSeconds);
  f.RtDoubleEditMaxRateOfChange->SetValue(plan_.MaxRateOfChange);
  f.RtIntegerEditMinimumSteadyTime->SetValue(plan_.MinimumSteadyMinutes);
  f.RtIntegerEditTransitionTemperature->SetValue(plan_.TransitionTemperature);
  f.RtIntegerEditLowPower->SetValue(plan_.LowPower);
  f.RtIntegerEditHighPower->SetValue(plan_.HighPower);
  if (!f.CheckBoxEnableVaryingMaximumOutput->isChecked()) f.CheckBoxEnableVaryingMaximumOutput->click();
  f.RadioButton2->setChecked(true);  // show all data
  f.PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Instructions));
  for (std::size_t k = 0; k < plan_.Segments.size(); ++k) {
    const Segment& s = plan_.Segments[k];
    f.RtIntegerEditProgramSegment->SetValue(static_cast<int>(k + 1));
    f.RtIntegerEditProgramSetpoint->SetValue(s.Setpoint);
    f.RtIntegerEditProgramRampRate->SetValue(s.RampRate);
    f.RtIntegerEditProgramDays->SetValue(s.DwellMinutes / 1440);
    f.RtIntegerEditProgramHours->SetValue(s.DwellMinutes / 60 % 24);
    f.RtIntegerEditProgramMinutes->SetValue(s.DwellMinutes % 60);
    f.ButtonInstructionsSave->click();
    segments_.push_back({static_cast<double>(plan_.MinimumSteadyMinutes + s.DwellMinutes)});
  }
  if (!f.FurnaceModule() || f.FurnaceModule()->InstructionCount() != static_cast<int>(plan_.Segments.size()))
    violations_.Add("the program was not entered whole");
  trackedSegment_ = f.FurnaceModule() ? f.FurnaceModule()->InstructionsCurrentSegment() : -1;
}

// One tick of Timer1 at the simulated clock, and the poll it started.
void Soak::Tick() {
  TFormModbus& f = *form_;
  ++ticks_;
  f.Timer1->stop();
  f.Timer1Timer();
  if (PollsInFlight() > 0) {
    const auto started = SteadyClock::now();
    if (!WaitUi([] { return PollsInFlight() == 0; }, 60000)) violations_.Add("a poll did not end within a minute");
    pollWaitMs_ += std::chrono::duration<double, std::milli>(SteadyClock::now() - started).count();
  } else {
    QCoreApplication::processEvents();
  }
  const double interval = f.Supervisor->State.IntervalMs / 1000.0;
  gNow = gNow.load() + interval * options_.TickScale / kDay;
}

void Soak::Consumed(const TFurnaceReadRecord& rec) {
  ++consumed_;
  const double t = rec.ReadtimeUtc;
  if (lastConsumedAt_ > 0)
    longestUnconsumedSeconds_ = std::max(longestUnconsumedSeconds_, (t - lastConsumedAt_) * kDay);
  lastConsumedAt_ = t;
  // The record holds what the controller answered in that poll...
  const std::optional<AnswerLog::Answers> a = answers_.At(t);
  auto word = [&](std::uint32_t r) -> std::optional<int> {
    if (!a) return std::nullopt;
    const auto it = a->Words.find(r);
    if (it == a->Words.end()) return std::nullopt;
    return it->second;
  };
  std::optional<double> pv;
  if (a && a->ProcessValue) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, *a->ProcessValue);
    double d = 0.0;
    std::from_chars(digits, written.ptr, d);
    pv = d;
  }
  if (!a || pv != rec.Temperature || word(reg::TargetSetpoint) != rec.TargetSetpoint ||
      word(reg::WorkingSetpoint) != rec.WorkingSetpoint || word(reg::WorkingOutput) != rec.WorkingOutput ||
      word(reg::RampRate) != rec.RampRate || word(reg::OutputHighLimit) != rec.MaxOutputPowerActual) {
    violations_.Add("a consumed sample differs from what the controller answered: " + std::to_string(rec.Temperature) +
                    " / " + std::to_string(rec.TargetSetpoint) + " / " + std::to_string(rec.WorkingSetpoint) + " / " +
                    std::to_string(rec.WorkingOutput) + (a ? "" : " (nothing answered at that instant)"));
  }
  // ... and so does the chart's newest sample.
  const TRtMainChart& c = *form_->Chart;
  const int i = c.RtDoubleVectorTime.GetCount() - 1;
  if (i < 0 || c.RtDoubleVectorTime[i] != t || c.RtDoubleVectorTemperature[i] != rec.Temperature ||
      c.RtDoubleVectorSetpoint[i] != rec.TargetSetpoint || c.RtDoubleVectorWorkingSetpoint[i] != rec.WorkingSetpoint ||
      c.RtDoubleVectorWorkingOutput[i] != rec.WorkingOutput / 10.0)
    violations_.Add("the chart's newest sample is not the consumed record");
  if (static_cast<std::uint64_t>(c.RtDoubleVectorTime.GetCount()) != consumed_)
    violations_.Add("the chart holds " + std::to_string(c.RtDoubleVectorTime.GetCount()) + " samples after " +
                    std::to_string(consumed_) + " consumed");
  FollowSegments(rec);
}

// Each segment ends at the first consumed tick at which the furnace had been
// stable for longer than the minimum steady time plus the dwell, unless a
// hold request kept it.
void Soak::FollowSegments(const TFurnaceReadRecord&) {
  TFurnaceModule* module = form_->FurnaceModule();
  if (!module) return;
  const double now = gNow.load();  // the tick's clock, which judges stability
  const int current = module->InstructionsCurrentSegment();
  const double since = form_->Supervisor->State.StableSince;
  if (current == trackedSegment_) {
    if (since > 0) stableSince_ = since;
    previousTick_ = now;
    previousSince_ = since;
    previousHeld_ = holdOn_;
    return;
  }
  if (trackedSegment_ >= 1) {
    SegmentResult& r = segments_[trackedSegment_ - 1];
    const double required = r.RequiredMinutes / 1440.0;
    const std::string name = "segment " + std::to_string(trackedSegment_);
    if (stableSince_ <= 0.0) {
      violations_.Add(name + " ended without having been stable");
    } else {
      r.MeasuredMinutes = (now - stableSince_) * 1440.0;
      if (!(now - stableSince_ > required - 1e-9))
        violations_.Add(name + " ended after " + std::to_string(r.MeasuredMinutes) + " min stable, less than " +
                        std::to_string(r.RequiredMinutes));
      if (previousSince_ == stableSince_ && previousTick_ - stableSince_ > required + 1e-9 && !previousHeld_)
        violations_.Add(name + " was due at the tick before it ended");
    }
  }
  if (current != trackedSegment_ + 1 && current != 0)
    violations_.Add("the program went from segment " + std::to_string(trackedSegment_) + " to " +
                    std::to_string(current));
  trackedSegment_ = current;
  stableSince_ = 0.0;
  previousSince_ = 0.0;
  previousTick_ = now;
  previousHeld_ = false;
}

// A cooperating program holds the planned segments for a while once the
// window shows them stable (the time lamp, FS_ written).
void Soak::FollowHolds() {
  const double now = gNow.load();
  if (holdOn_ && now >= holdUntil_) {
    WriteRegistryString(L"FW_Furnace1", L"0");
    holdOn_ = false;
    if (trackedSegment_ >= 1) segments_[trackedSegment_ - 1].HeldMinutes += (now - holdFrom_) * 1440.0;
  }
  if (holdOn_ || !form_->LedTime->Value()) return;
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
      diskRefuses_ = true;
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
      diskRefuses_ = false;
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
      heartbeat_->Rearm();
    }
  }
  if (!activeFault_ && nextFault_ < plan_.Faults.size() && elapsed >= plan_.Faults[nextFault_].At) {
    activeFault_ = nextFault_++;
    BeginFault(plan_.Faults[*activeFault_]);
    heartbeat_->Rearm();
  }
}

void Soak::Progress(bool force) {
  const double day = Elapsed() / kDay;
  if (day >= nextRssAt_) {
    if (!logFullDay_ && form_->MemoLog->LineCount() >= form_->MemoLog->MaximumLineCount()) logFullDay_ = day;
    rss_.emplace_back(day, ResidentBytes());
    nextRssAt_ += 1.0 / 24;
  }
  if (!force && day < nextProgressAt_) return;
  nextProgressAt_ += options_.ProgressEveryHours / 24.0;
  const double wall = std::chrono::duration<double>(SteadyClock::now() - wallStart_).count();
  int faults = 0;
  for (const int n : faultCount_) faults += n;
  const TFurnaceModule* module = form_->FurnaceModule();
  std::printf("day %6.2f  %s  wall %7.1f s  samples %8llu  segment %2d  RSS %6.1f MB  faults %3d  violations %d\n", day,
              Clock(gNow.load()).c_str(), wall, static_cast<unsigned long long>(consumed_),
              module ? module->InstructionsCurrentSegment() : -1, MegaBytes(ResidentBytes()), faults,
              violations_.Count());
  std::fflush(stdout);
}

void Soak::CheckLogFiles() {
  const fs::path folder = KarvoStateDir() / "log";
  const long firstDay = static_cast<long>(std::floor(UtcToLocal(plan_.StartUtc)));
  const long lastDay = static_cast<long>(std::floor(UtcToLocal(gNow.load())));
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

void Soak::CheckJournal() {
  TRunJournal& journal = form_->Supervisor->Journal;
  const fs::path path = journal.JournalPath();
  const TJournalContents read = ReadJournal(path, ExportRegional(Regional()));
  const TRtMainChart& c = *form_->Chart;
  journalSamples_ = read.Samples.size();
  if (!read.Error.empty() || !read.Gaps.empty() || read.TornLastLine || read.RefusedLines != 0)
    violations_.Add("the journal does not read back whole: " + read.Error);
  if (read.Samples.size() != static_cast<std::size_t>(c.RtDoubleVectorTime.GetCount())) {
    violations_.Add("the journal holds " + std::to_string(read.Samples.size()) + " samples, the chart " +
                    std::to_string(c.RtDoubleVectorTime.GetCount()));
    return;
  }
  int differ = 0;
  for (std::size_t k = 0; k < read.Samples.size(); ++k) {
    const TJournalSample& s = read.Samples[k];
    const int i = static_cast<int>(k);
    auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
    if (std::fabs(s.Time - c.RtDoubleVectorTime[i]) * kDay >= kJournalTimeResolution ||
        !same(s.Temperature, c.RtDoubleVectorTemperature[i]) || !same(s.Setpoint, c.RtDoubleVectorSetpoint[i]) ||
        !same(s.WorkingSetpoint, c.RtDoubleVectorWorkingSetpoint[i]) ||
        !same(s.WorkingOutput, c.RtDoubleVectorWorkingOutput[i])) {
      if (++differ <= 3)
        violations_.Add(
            "journal sample " + std::to_string(k) + " (" + Clock(s.Time) + "; " + std::to_string(s.Temperature) + "; " +
            std::to_string(s.Setpoint) + "; " + std::to_string(s.WorkingSetpoint) + "; " +
            std::to_string(s.WorkingOutput) + ") differs from the chart's (" + Clock(c.RtDoubleVectorTime[i]) + "; " +
            std::to_string(c.RtDoubleVectorTemperature[i]) + "; " + std::to_string(c.RtDoubleVectorSetpoint[i]) + "; " +
            std::to_string(c.RtDoubleVectorWorkingSetpoint[i]) + "; " +
            std::to_string(c.RtDoubleVectorWorkingOutput[i]) + "; dt " +
            std::to_string((s.Time - c.RtDoubleVectorTime[i]) * kDay) + " s)");
    }
  }
  if (differ > 3) violations_.Add(std::to_string(differ) + " journal samples differ from the chart");
}

void Soak::Finish() {
  if (activeFault_) EndFault(plan_.Faults[*activeFault_]);
  activeFault_.reset();
  nextFault_ = plan_.Faults.size();
  if (holdOn_) WriteRegistryString(L"FW_Furnace1", L"0");
  TFormModbus& f = *form_;
  TFurnaceModule* module = f.FurnaceModule();
  if (!module) {
    violations_.Add("no furnace is operated at the end");
  } else {
    if (module->InstructionsCurrentSegment() != 0)
      violations_.Add("the program did not end: segment " + std::to_string(module->InstructionsCurrentSegment()) +
                      " is current");
    for (std::size_t k = 0; k < segments_.size(); ++k)
      if (segments_[k].MeasuredMinutes < 0) violations_.Add("segment " + std::to_string(k + 1) + " never ended");
    if (sim_->GetRegister(reg::TargetSetpoint) != plan_.Segments.back().Setpoint)
      violations_.Add("the controller's setpoint is not the last segment's");
  }
  // Every condition raised by a fault has cleared once the faults are over
  // and a few polls went well.
  for (int i = 0; i < 6; ++i) {
    Tick();
    ApplyFaults();
  }
  TRunJournal& journal = f.Supervisor->Journal;
  if (!journal.WaitWritten(60000)) violations_.Add("the journal did not reach the disk within a minute");
  WaitUi([] { return false; }, 600);  // the attention timer's refresh
  for (const TAttentionItem& item : AttentionItems())
    violations_.Add("the attention line still shows " + item.Key + ": " + item.Text);
  if (!f.LabelAttention->isHidden()) violations_.Add("the attention line is still shown");
  const double ended = gNow.load();
  // Stop ends the run cleanly.
  f.ButtonCreateFurnaceModule->click();
  if (!journal.WaitIdle(60000)) violations_.Add("the journal did not close within a minute");
  CheckJournal();
  gNow = ended;
  CheckLogFiles();
  if (heartbeat_->LongestMs() > FreezeLimitMs())
    violations_.Add("the user-interface thread stood still for " + std::to_string(heartbeat_->LongestMs()) + " ms");
  // Memory: the resident set stays within 10 % of what it was at day 2, or
  // once the on-screen log held its most lines if that was later (until
  // then the log grows by design). Not judged when the log never filled.
  const double from = std::max(2.0, logFullDay_.value_or(1e9));
  std::uint64_t base = 0, most = 0;
  for (const auto& [day, bytes] : rss_) {
    if (day <= from)
      base = bytes;
    else
      most = std::max(most, bytes);
  }
  if (base > 0 && most > 0) {
    rssGrowth_ = static_cast<double>(most) / static_cast<double>(base) - 1.0;
    if (*rssGrowth_ > 0.10)
      violations_.Add("the resident set grew from " + std::to_string(MegaBytes(base)) + " MB at day " +
                      std::to_string(from) + " to " + std::to_string(MegaBytes(most)) + " MB");
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
  std::printf("%-36s %zu (read back equal to the chart)\n", "journal samples", journalSamples_);
  std::printf("%-36s %zu (%zu older than 30 days removed)\n", "daily log files", logFiles_, preseededRemoved_);
  std::printf("%-36s %.0f ms (allowed %.0f ms)\n", "longest stop of the UI thread", heartbeat_->LongestMs(),
              FreezeLimitMs());
  std::printf("%-36s %d of %d lines%s\n", "on-screen log", form_->MemoLog->LineCount(),
              form_->MemoLog->MaximumLineCount(),
              logFullDay_ ? (" (full from day " + std::to_string(*logFullDay_) + ")").c_str() : " (still filling)");
  if (rssGrowth_)
    std::printf("%-36s %+.1f %% from day %.2f\n", "resident set growth", *rssGrowth_ * 100.0,
                std::max(2.0, logFullDay_.value_or(0.0)));
  else
    std::printf("%-36s not judged (run shorter than 2 days, or the on-screen log never full)\n", "resident set growth");
  std::printf("%-36s %zu\n", "questions asked", questions_.size());
  std::printf("\n%-8s %10s %10s %10s %10s %10s\n", "segment", "setpoint", "ramp", "required", "measured", "held");
  for (std::size_t k = 0; k < segments_.size(); ++k)
    std::printf("%-8zu %10d %10d %9.1fm %9.1fm %9.1fm\n", k + 1, plan_.Segments[k].Setpoint, plan_.Segments[k].RampRate,
                segments_[k].RequiredMinutes, segments_[k].MeasuredMinutes, segments_[k].HeldMinutes);
  std::printf("\n%-22s %6s %12s\n", "fault", "count", "simulated s");
  for (int k = 0; k < kFaultKinds; ++k)
    std::printf("%-22s %6d %12.0f\n", FaultName(static_cast<FaultKind>(k)), faultCount_[k], faultSeconds_[k]);
  std::printf("%-22s %6d\n", "daylight saving change",
              (plan_.DstBeginsUtc >= plan_.StartUtc ? 1 : 0) + (plan_.DstEndsUtc >= plan_.StartUtc ? 1 : 0));
  std::printf("\n%-8s %10s\n", "day", "RSS MB");
  const double step = days > 4 ? 1.0 : 0.25;
  double next = 0.0;
  for (const auto& [day, bytes] : rss_) {
    if (day + 1e-9 < next) continue;
    std::printf("%-8.2f %10.1f\n", day, MegaBytes(bytes));
    next += step;
  }
  std::printf("%-8.2f %10.1f (end)\n", days, MegaBytes(ResidentBytes()));
  std::printf("\nviolations: %d  =>  %s\n", violations_.Count(), violations_.Count() == 0 ? "PASSED" : "FAILED");
  std::fflush(stdout);
}

int Soak::Run() {
  wallStart_ = SteadyClock::now();
  Setup();
  if (violations_.Count() > 0) return violations_.Count();
  std::printf("soak: %.2f simulated days from %s, %zu faults planned, time zone %s\n", plan_.Days,
              Clock(plan_.StartUtc).c_str(), plan_.Faults.size(), plan_.TimeZone.c_str());
  const double end = plan_.StartUtc + plan_.Days;
  while (gNow.load() < end) {
    ApplyFaults();
    FollowHolds();
    Tick();
    Progress(false);
  }
  Progress(true);
  Finish();
  Summary();
  const int violations = violations_.Count();
  form_->close();
  form_.reset();
  seams_.reset();
  QCoreApplication::processEvents();
  sim::UnlinkComPort(kCom, sim_->DevicePath());
  sim_.reset();
  return violations;
}

}  // namespace

int RunSoak(const SoakOptions& options) {
  Soak soak(options);
  return soak.Run();
}

}  // namespace karvo::soak
