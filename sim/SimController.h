#pragma once
// The simulated controller: a Modbus RTU slave with a furnace behind it,
// served on the master side of a pseudo-terminal by a thread of its own.
// The program reaches it through the device path (or a COMn link to it,
// see sim/ComLink.h) exactly as it would a controller on a serial port.
//
// It keeps to the line as strictly as a real controller on RS-485 does:
//  - a frame is what arrives between two silences of at least 3.5
//    characters (SilenceMs); two requests sent back to back are one frame of
//    garbage, which is neither executed nor answered. Bytes the transaction
//    of this process wrote are timed by when they were written
//    (sim/LineJournal.h), others by when they were read;
//  - it takes one request at a time: from the end of a request it answers
//    until the last byte of its reply has gone out, bytes that arrive are
//    lost (the frame they belong to is dropped whole);
//  - its reply starts ReplyDelayMs after the end of the request at the
//    earliest (never before the silence that ends the request), and every
//    byte takes its wire time at 9600 baud 8N1 (ByteTimeUs).
//
//   karvo::sim::SimController sim({.Address = 7, .Speed = 60});
//   sim.Start();
//   port.SetPort(sim.DevicePath());
//   sim.SetRegister(karvo::reg::RampRate, 600);
//   sim.SetFaults({.BadCrcFraction = 1.0});
//   sim.Stop();  // also done by the destructor

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "sim/ControllerModel.h"
#include "sim/LineJournal.h"
#include "sim/PseudoTerminal.h"
#include "sim/SlaveProtocol.h"

namespace karvo::sim {

// Misbehaviour on demand.
struct SimFaults {
  bool NoReply = false;  // deaf and dumb: executes nothing, answers nothing
  // Replies start this long after the end of the request (at the earliest
  // once the silence that ends the request has passed).
  std::uint32_t ReplyDelayMs = 0;
  double BadCrcFraction = 0.0;  // this share of replies goes out with a corrupted CRC
  bool SensorBreak = false;     // register 258 reads 1, the output drops to 0
  // Replies carry this device address (with a CRC that holds) instead of
  // the controller's own: another device answering.
  std::optional<std::uint8_t> ReplyAddress{};
  // Reads of holding registers that begin at this register go unanswered.
  std::optional<std::uint32_t> SilentOnReadsOf{};
  // Writes to this register are neither executed nor answered (a register
  // the controller's configuration locks away).
  std::optional<std::uint32_t> SilentOnWritesTo{};
};

struct SimOptions {
  std::uint8_t Address = 1;  // Modbus address it answers to (register 131)
  double Speed = 1.0;        // simulated seconds per real second
  // A clock of the caller's in simulated seconds (any origin, never going
  // back): when set, the furnace runs by it instead of by real time times
  // Speed, so that a caller that moves time itself (a soak driving the
  // program's clock seam) and the controller keep one time. Called from the
  // serving thread, under the controller's lock.
  std::function<double()> Clock{};
  double StartTemperature = 20.0;   // ºC; the target setpoint starts here too
  std::uint32_t Seed = 0;           // noise and CRC faults; 0 = from the clock
  std::uint32_t SilenceMs = 4;      // end of a frame: 3.5 characters at 9600 baud
  std::uint32_t ByteTimeUs = 1042;  // wire time of a reply byte: 10 bits at 9600 baud; 0 = none
  std::uint32_t RestartMs = 5000;   // silent after leaving configuration mode
  SimFaults Faults{};
  // Called from the serving thread with every request ("<- 01 03 ...") and
  // reply ("-> ...") in hexadecimal, for watching the line; bytes that form
  // no request (garbage, or lost while answering) come as "<? ..." with a
  // note. It may run under the controller's lock and must not call back
  // into the controller.
  std::function<void(const std::string&)> Trace{};
};

class SimController {
 public:
  explicit SimController(SimOptions options = {});
  ~SimController();
  SimController(const SimController&) = delete;
  SimController& operator=(const SimController&) = delete;

  // Creates the pseudo-terminal and starts serving. Throws std::system_error
  // when no pseudo-terminal can be had. Does nothing when already running.
  void Start();
  // Stops serving and closes the pseudo-terminal; the device path goes away.
  // The controller's state stays, and Start serves it again on a new path.
  void Stop();
  bool Running() const { return thread_.joinable(); }
  // The device path to open, e.g. /dev/pts/3 (empty while stopped).
  std::string DevicePath() const;

  // A register as the controller reads it, and set as from its front panel
  // (no range checks; 1, 5 and 258 set the temperature, the working
  // setpoint and the sensor break). Both throw std::out_of_range for a
  // register the controller does not have.
  std::uint16_t GetRegister(std::uint32_t reg) const;
  void SetRegister(std::uint32_t reg, std::uint16_t value);
  // The furnace temperature without the measurement noise, in ºC.
  double Temperature() const;
  void SetTemperature(double celsius);
  // The address it currently answers to.
  std::uint8_t Address() const;

  SimFaults Faults() const;
  void SetFaults(const SimFaults& faults);

  // Request frames received with a CRC that holds, whoever they were for
  // (not those lost while it was answering).
  std::uint64_t FramesReceived() const { return framesReceived_.load(); }
  // Runs of bytes that were no request: garbage, or lost while answering.
  std::uint64_t FramesDiscarded() const { return framesDiscarded_.load(); }

  // Holds the serving thread up before its next read, as a busy machine
  // may, and returns once it is held; ReleaseReader lets it go on. Bytes
  // written meanwhile wait on the line and are read at once (tests).
  void HoldReader();
  void ReleaseReader();

  // Runs fn(ControllerModel&) under the controller's lock.
  template <class Fn>
  auto WithModel(Fn&& fn) {
    std::lock_guard lock(mutex_);
    return fn(model_);
  }

 private:
  using Clock = std::chrono::steady_clock;
  using Arrivals = std::deque<LineJournal::Piece>;
  void ServeLoop();
  // Waits up to timeoutMs for bytes and appends what came, in runs timed by
  // the line's journal.
  void Read(Arrivals& arrived, int timeoutMs);
  // Handles one frame that ended at `end`; returns when its reply has gone
  // out, and when there was one, the moment the reply's last byte was due to
  // leave the line (the frame's end, the reply delay and the reply's wire
  // time: a controller is not held up by a busy machine). Bytes that arrive
  // while the controller is answering (during the reply delay or before the
  // reply's last byte has left) are appended to `arrivedMeanwhile`.
  std::optional<Clock::time_point> HandleFrame(const Bytes& frame, Clock::time_point end, Arrivals& arrivedMeanwhile);
  // The request names a register the faults keep silent on (under the lock).
  bool SilentOn(const Bytes& frame) const;
  void TransmitOnTheWire(const Bytes& reply, Arrivals& arrivedMeanwhile);
  void Discard(const Bytes& bytes, const char* note);
  void Advance(Clock::time_point now);
  void TraceBytes(const char* prefix, const Bytes& bytes, const char* note = "") const;

  const SimOptions options_;
  mutable std::mutex mutex_;  // guards everything below up to the thread
  ControllerModel model_;
  SimFaults faults_;
  std::mt19937 faultRandom_;
  Clock::time_point lastAdvance_;
  std::optional<double> lastClock_;  // options_.Clock at the last advance
  Clock::time_point silentUntil_{};

  std::unique_ptr<PseudoTerminal> pty_;
  std::unique_ptr<LineJournal> journal_;  // when the bytes read were written
  std::string devicePath_;                // guarded by mutex_
  std::atomic<bool> stop_{false};
  std::atomic<bool> holdWanted_{false};
  std::mutex holdMutex_;
  std::condition_variable holdChanged_;
  bool held_ = false;  // guarded by holdMutex_
  std::atomic<std::uint64_t> framesReceived_{0};
  std::atomic<std::uint64_t> framesDiscarded_{0};
  std::thread thread_;
};

}  // namespace karvo::sim
