#include "furnace/ReadCycle.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/ProgramThread.h"
#include "common/Seams.h"
#include "modbus/Registers.h"

namespace karvo {

TFurnaceReadRecord ReadResult;

namespace {

// What poll threads share with the user-interface thread. Allocated once and
// never freed, so a poll that outlives the window (or main) never meets
// freed memory here.
struct CycleState {
  std::mutex m;
  std::condition_variable changed;
  TFurnaceReadRecord* receiver = &ReadResult;  // null once shut down
  // Bumped by every detach and attach; a poll delivers only into the
  // receiver of the generation it was started in.
  std::uint64_t generation = 1;
  int talking = 0;  // polls not yet past their transactions
  int alive = 0;    // poll threads not yet ended
};

CycleState& State() {
  static CycleState* const state = new CycleState;
  return *state;
}

// Waits on the state until Done() holds or LimitMs have passed, calling
// PumpUi between looks. Returns Done().
template <class Pred>
bool WaitUntil(std::uint32_t LimitMs, const std::function<void()>& PumpUi, Pred Done) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(LimitMs);
  CycleState& s = State();
  std::unique_lock lock(s.m);
  while (!Done(s)) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    if (PumpUi) {
      s.changed.wait_for(lock, std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(10)));
      lock.unlock();
      PumpUi();
      lock.lock();
    } else {
      s.changed.wait_until(lock, deadline);
    }
  }
  return true;
}

}  // namespace

namespace {

std::mutex& PollErrorReportMutex() {
  static std::mutex m;
  return m;
}
TPollErrorReport& PollErrorReport() {
  static auto* const report = new TPollErrorReport;  // a poll thread may outlive main
  return *report;
}

}  // namespace

TPollErrorReport SetPollErrorReport(TPollErrorReport report) {
  std::lock_guard lock(PollErrorReportMutex());
  return std::exchange(PollErrorReport(), std::move(report));
}

TThreadReadFurnace::TThreadReadFurnace() : fCom(std::make_unique<TModbusPort>()) {}
TThreadReadFurnace::~TThreadReadFurnace() = default;

void TThreadReadFurnace::Start() {
  CycleState& s = State();
  {
    std::lock_guard lock(s.m);
    fReceiverGeneration = s.generation;
    ++s.talking;
    ++s.alive;
  }
  try {
    StartProgramThread([this] { Run(); }).detach();
  } catch (...) {
    std::lock_guard lock(s.m);
    --s.talking;
    --s.alive;
    s.changed.notify_all();
    throw;
  }
}

bool TThreadReadFurnace::StopRequested() const {
  CycleState& s = State();
  std::lock_guard lock(s.m);
  return s.receiver == nullptr || s.generation != fReceiverGeneration;
}

void TThreadReadFurnace::NoteFailure(const TSerialResponse& R) {
  // The poll fails when any of its transactions fails; the first failure
  // text is the one reported.
  if (fA.Status.empty() && !R.Status.empty()) fA.Status = R.Status;
}

void TThreadReadFurnace::Execute() {
  // Four transactions, one after the other whatever their outcome, each
  // into a fresh result; stopped early only when the receiver has gone.
  fA = fCom->QueryWords(fAddress, reg::ProcessValue, 6);
  if (!StopRequested()) {
    fA2 = fCom->QueryWords(fAddress, reg::OutputHighLimit, 6);
    NoteFailure(fA2);
    fA.rArray[reg::OutputHighLimit] = fA2.rArray[1];
    fA.rArray[reg::RampRate] = fA2.rArray[1 + reg::RampRate - reg::OutputHighLimit];
  }
  if (!StopRequested()) {
    fA2 = fCom->QueryWords(fAddress, reg::SensorBreak, 1);
    NoteFailure(fA2);
    fA.rArray[reg::SensorBreak] = fA2.rArray[1];
  }
  if (!StopRequested()) {
    const TSerialResponse t = fCom->QueryD(fAddress, reg::ProcessValue);
    NoteFailure(t);
    fTemperature = t.rDouble;
  }
  fReadtimeUtc = UtcNow();
  fReadtime = UtcToLocal(fReadtimeUtc);
}

void TThreadReadFurnace::UpdateReadResult(TFurnaceReadRecord& Into) const {
  Into.Readtime = fReadtime;
  Into.ReadtimeUtc = fReadtimeUtc;
  Into.Valid = true;
  Into.aMessage = fA.Status;
  Into.Temperature = fTemperature;
  Into.TargetSetpoint = fA.rArray[reg::TargetSetpoint];
  Into.WorkingOutput = fA.rArray[reg::WorkingOutput];
  Into.WorkingSetpoint = fA.rArray[reg::WorkingSetpoint];
  Into.MaxOutputPowerActual = fA.rArray[reg::OutputHighLimit];
  Into.RampRate = fA.rArray[reg::RampRate];
  Into.SensorBreak = fA.rArray[reg::SensorBreak] == 1;
  Into.ActiveThreads = Into.ActiveThreads - 1;
}

void TThreadReadFurnace::Run() {
  CycleState& s = State();
  bool completed = false;
  std::string error;
  try {
    Execute();
    completed = true;
  } catch (const std::exception& e) {
    error = std::string("Poll of the furnace ended by an error: ") + e.what();
  } catch (...) {
    error = "Poll of the furnace ended by an error.";
  }
  if (!error.empty()) {
    try {
      LogLine(error);
    } catch (...) {
      // The report below still offers it.
    }
  }
  fCom.reset();

  bool deliver = false;
  {
    std::lock_guard lock(s.m);
    --s.talking;
    deliver = completed && s.receiver != nullptr && s.generation == fReceiverGeneration;
    s.changed.notify_all();
  }
  if (deliver) {
    try {
      // The receiver is looked up again where the hand-off runs: the window
      // may have closed while this thread waited for its turn.
      RunOnUiThreadAndWait([this, &s] {
        std::lock_guard lock(s.m);
        if (s.receiver != nullptr && s.generation == fReceiverGeneration) {
          UpdateReadResult(*s.receiver);
        }
      });
    } catch (const std::exception& e) {
      LogLine(std::string("Poll of the furnace ended by an error: ") + e.what());
    } catch (...) {
      LogLine("Poll of the furnace ended by an error.");
    }
  }
  if (!error.empty()) {
    bool attached = false;
    {
      std::lock_guard lock(s.m);
      attached = s.receiver != nullptr && s.generation == fReceiverGeneration;
    }
    TPollErrorReport report;
    {
      std::lock_guard lock(PollErrorReportMutex());
      report = PollErrorReport();
    }
    try {
      if (attached && report) report(error);
    } catch (...) {
      // The offer failed; the log line stands.
    }
  }
  {
    std::lock_guard lock(s.m);
    --s.alive;
    s.changed.notify_all();
  }
  delete this;
}

bool ReadFurnace(const std::string& PortName) {
  std::unique_ptr<TThreadReadFurnace> poll;
  try {
    poll = std::make_unique<TThreadReadFurnace>();
  } catch (...) {
    ShowMessage(kPollStartFailed);
    return false;
  }
  {
    CycleState& s = State();
    std::lock_guard lock(s.m);
    if (s.receiver == nullptr) return false;
    ++s.receiver->ActiveThreads;
  }
  try {
    poll->fAddress = 1;
    poll->Com().SetPort(PortName);
    poll->Start();
    poll.release();  // from here on the thread frees it
    return true;
  } catch (...) {
    ShowMessage(kPollStartFailed);
    return false;
  }
}

int PollsInFlight() {
  CycleState& s = State();
  std::lock_guard lock(s.m);
  return s.alive;
}

bool WaitForPolls(std::uint32_t LimitMs, const std::function<void()>& PumpUi) {
  return WaitUntil(LimitMs, PumpUi, [](const CycleState& s) { return s.alive == 0; });
}

bool ShutdownReadCycle(std::uint32_t LimitMs, const std::function<void()>& PumpUi) {
  {
    CycleState& s = State();
    std::lock_guard lock(s.m);
    s.receiver = nullptr;
    ++s.generation;
  }
  if (PumpUi) return WaitForPolls(LimitMs, PumpUi);
  return WaitUntil(LimitMs, PumpUi, [](const CycleState& s) { return s.talking == 0; });
}

void AttachReadResult(TFurnaceReadRecord& Receiver) {
  CycleState& s = State();
  std::lock_guard lock(s.m);
  s.receiver = &Receiver;
  ++s.generation;
}

void RenewReadResult(TFurnaceReadRecord& Receiver) {
  CycleState& s = State();
  std::lock_guard lock(s.m);
  s.receiver = &Receiver;
  ++s.generation;
  Receiver = {};
}

}  // namespace karvo
