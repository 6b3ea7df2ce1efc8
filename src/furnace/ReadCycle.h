#pragma once
// The background read cycle: one short-lived thread per poll reads the
// controller in four transactions on its own port object and hands the
// result to the user-interface thread, where it lands in the one record
// ReadResult. The supervisor tick starts a poll whenever ReadResult.Valid is
// false and consumes the record when it is true.
//
// Shutdown. The program may end while polls are in flight. ShutdownReadCycle
// detaches the receiving record first: from then on every hand-off is
// dropped without touching the record, and a poll still talking to the
// controller stops after its current transaction. Then it waits, with a time
// limit, for the polls to end.
//
// Contract for the installed user-interface invoke (seams::SetUiInvoke):
//  - it runs the hand-off on the user-interface thread and returns when it
//    has run; the hand-off is cheap and never blocks;
//  - a poll that has already called it when the window closes waits in it
//    for the user-interface thread. ShutdownReadCycle, run on that thread,
//    lets such hand-offs run when it is given PumpUi (a function that runs
//    the events queued to that thread, e.g. QCoreApplication::processEvents
//    with ExcludeUserInputEvents); they then drop themselves. Without PumpUi
//    it does not wait for them;
//  - once the user interface has gone, the invoke must not touch it: restore
//    the default (seams::SetUiInvoke({})) after ShutdownReadCycle and before
//    the user-interface objects are destroyed, and release any caller still
//    waiting in it (a blocking queued call on a context object that is then
//    deleted does so) or let it wait until the process ends. A hand-off that
//    runs late, on any thread, or not at all is harmless once the record is
//    detached.
// The log sink is the same kind of hand-over: the window should put the
// default sink back (SetLogSink({})) when it closes, so that a poll's failure
// line written later finds no window.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/Types.h"
#include "modbus/Modbus.h"

namespace karvo {

// One poll's result.
struct TFurnaceReadRecord {
  TDateTime Readtime = 0.0;     // when the poll's last transaction completed, local time
  TDateTime ReadtimeUtc = 0.0;  // the same moment as an instant (UtcNow)
  bool Valid = false;           // a delivered record waits to be consumed
  // Empty when every transaction of the poll succeeded; otherwise the
  // failure text of the first one that failed. A record with a text carries
  // no usable values.
  std::string aMessage;
  double Temperature = 0.0;               // parameter 1 as a float, ºC
  std::int32_t TargetSetpoint = 0;        // register 2, ºC
  std::int32_t WorkingOutput = 0;         // register 3, tenths of a per cent
  std::int32_t WorkingSetpoint = 0;       // register 5, ºC
  std::int32_t MaxOutputPowerActual = 0;  // register 30, tenths of a per cent
  std::int32_t RampRate = 0;              // register 35, the controller's unit
  // Polls started whose hand-off has not yet run. Nothing decides on it.
  std::int32_t ActiveThreads = 0;
  bool SensorBreak = false;  // register 258 holds 1
};

// The program's one poll record; touched on the user-interface thread only.
// It is the receiver of every hand-off from program start on.
extern TFurnaceReadRecord ReadResult;

// One poll. Made by ReadFurnace; once started it belongs to its thread,
// which frees it after the hand-off.
class TThreadReadFurnace {
 public:
  // A suspended poll with its own port object (the transport's defaults,
  // diagnostic log off).
  TThreadReadFurnace();
  ~TThreadReadFurnace();
  TThreadReadFurnace(const TThreadReadFurnace&) = delete;
  TThreadReadFurnace& operator=(const TThreadReadFurnace&) = delete;

  std::uint32_t fAddress = 0;  // device address to poll
  // The poll's port object, to be configured before Start.
  TModbusPort& Com() { return *fCom; }

  // Lets the poll run on a new thread. On success the object belongs to
  // that thread (release the caller's ownership); throws std::system_error
  // when no thread could be started, leaving the object to the caller.
  void Start();

 private:
  void Run();
  void Execute();
  void UpdateReadResult(TFurnaceReadRecord& Into) const;
  void NoteFailure(const TSerialResponse& R);
  bool StopRequested() const;

  std::unique_ptr<TModbusPort> fCom;
  TSerialResponse fA;   // register image: rArray[n] holds register n
  TSerialResponse fA2;  // scratch for the second and third replies
  TDateTime fReadtime = 0.0;
  TDateTime fReadtimeUtc = 0.0;
  double fTemperature = 0.0;
  std::uint64_t fReceiverGeneration = 0;
};

// Starts one poll of device 1 on PortName and counts it in the receiver's
// ActiveThreads. When the poll cannot be started it shows "Exception in CML
// thread!" and returns false (ActiveThreads keeps the count). Returns false
// without starting anything once the read cycle has been shut down.
bool ReadFurnace(const std::string& PortName);

// How an error that ends a poll (an exception out of its transactions) is
// offered to the operator, besides its log line: the program installs the
// same offer of a report as for an error in an operator action. Called on
// the poll thread, while the poll still counts as alive (the close waits for
// it as for a hand-off), and only while the poll's receiver is attached.
// None by default. Returns the previous one.
using TPollErrorReport = std::function<void(const std::string& error)>;
TPollErrorReport SetPollErrorReport(TPollErrorReport report);

// Poll threads that have not yet ended.
int PollsInFlight();

// Waits at most LimitMs until no poll thread is left; true when none is.
// Call PumpUi between looks when waiting on the user-interface thread, or a
// poll waiting for its hand-off keeps the wait to its limit.
bool WaitForPolls(std::uint32_t LimitMs, const std::function<void()>& PumpUi = {});

// Detaches the receiver (later hand-offs are dropped, running polls stop
// after their current transaction) and waits at most LimitMs. With PumpUi it
// waits until no poll thread is left; without, until no poll is talking to
// the controller any more (those waiting for the user-interface thread will
// drop their hand-off whenever it runs). True when that was reached.
bool ShutdownReadCycle(std::uint32_t LimitMs, const std::function<void()>& PumpUi = {});

// Makes Receiver the record that hand-offs land in (ReadResult from program
// start), for example after ShutdownReadCycle. Polls started before keep
// dropping their hand-off.
void AttachReadResult(TFurnaceReadRecord& Receiver);

// Drops the record `Receiver` holds and makes it the receiver of a new
// generation: polls started before drop their hand-off. Start and Stop do
// this, so that no record from before a Start is ever consumed after it.
void RenewReadResult(TFurnaceReadRecord& Receiver);

// The text shown when a poll cannot be started.
inline constexpr const char* kPollStartFailed = "Exception in CML thread!";

}  // namespace karvo
