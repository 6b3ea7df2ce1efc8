#include "serial/SerialPort.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Log.h"
#include "common/Regional.h"
#include "common/Text.h"
#include "serial/SerialPlatform.h"
#include "serial/WriteWatch.h"

namespace karvo {
namespace {

namespace platform = serialplatform;
using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr std::size_t kLabelWidth = 25;
constexpr platform::TimeLimits kTimeLimits{20, 10, 200, 10, 100};
constexpr std::uint32_t kQueueBytes = 4096;

constexpr int kAnyDevice = -1;  // a frame that counts as addressed to every device
constexpr int kBroadcast = 0;   // no device answers it
constexpr auto kByteTime = microseconds(TSerialPort::kByteTimeUs);
constexpr auto kFrameGap = microseconds(TSerialPort::kFrameGapUs);
constexpr auto kEchoSettle = milliseconds(TSerialPort::kEchoSettleMs);
constexpr auto kLateReplyWatch = milliseconds(TSerialPort::kLateReplyWatchMs);
constexpr auto kLateReplyMargin = milliseconds(TSerialPort::kLateReplyMarginMs);
// A reply heard is over once the line has been silent this long: the read's
// own interval limit.
constexpr auto kReplyOver = milliseconds(kTimeLimits.readIntervalMs);
// How long a reply still arriving is followed past the end of a watch before
// a frame is sent: the wire time of a full reply buffer.
constexpr auto kLongestReply = kByteTime * TSerialPort::kReplyBufferSize;

// The transaction waits on the monotonic clock with real sleeps: a local
// wall clock jumps at daylight-saving changes, and the process-wide pause
// is left to the layers above (their tests record it).
void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(milliseconds(ms)); }

std::atomic<std::uint32_t>& DefaultReadLoopPause() {
  static std::atomic<std::uint32_t> pause{TSerialPort::kWindowsReadLoopTimeoutMS};
  return pause;
}

std::uint32_t CeilMs(Clock::duration d) {
  return d <= Clock::duration::zero() ? 0 : static_cast<std::uint32_t>(std::chrono::ceil<milliseconds>(d).count());
}

// One port as the transactions of this process share it.
struct Line {
  // Turns, first come first served.
  std::mutex m;
  std::condition_variable turnPassed;
  std::uint64_t nextTicket = 0;
  std::uint64_t serving = 0;

  // Only the transaction whose turn it is touches the rest.
  // When the line last fell silent: the end of this program's last frame on
  // the wire, or the last byte heard.
  Clock::time_point quietSince{};
  // Answers that may still be on their way, by device address: until when,
  // and how many bytes long (0: not known).
  struct Watch {
    Clock::time_point until;
    std::uint32_t answerBytes;
  };
  std::map<int, Watch> watches;

  void Expect(int device, Clock::time_point until, std::uint32_t answerBytes) {
    const auto found = watches.find(device);
    if (found == watches.end() || found->second.until < until) watches[device] = Watch{until, answerBytes};
  }

  // Takes the watches a frame to `device` must honour (its own and those of
  // frames to every device; all of them for a frame to every device) and
  // drops the ones that have run out. The latest end, and the answer's length
  // when one answer of known length is awaited.
  Watch Take(int device) {
    const Clock::time_point now = Clock::now();
    Watch merged{now, 0};
    int taken = 0;
    for (auto it = watches.begin(); it != watches.end();) {
      const bool relevant = device == kAnyDevice || it->first == device || it->first == kAnyDevice;
      if (relevant && it->second.until > now) {
        merged.until = std::max(merged.until, it->second.until);
        merged.answerBytes = ++taken == 1 ? it->second.answerBytes : 0;
      }
      if (relevant || it->second.until <= now) {
        it = watches.erase(it);
      } else {
        ++it;
      }
    }
    return merged;
  }
};

// The lines are never freed: a poll thread may outlive main.
Line& LineOf(const std::string& key) {
  static std::mutex m;
  static auto* const lines = new std::map<std::string, std::unique_ptr<Line>>;
  std::lock_guard lock(m);
  std::unique_ptr<Line>& line = (*lines)[key];
  if (!line) line = std::make_unique<Line>();
  return *line;
}

// The calling transaction's turn on a line, for the lifetime of the object.
class Turn {
 public:
  explicit Turn(Line& line) : line_(line) {
    std::unique_lock lock(line_.m);
    const std::uint64_t ticket = line_.nextTicket++;
    line_.turnPassed.wait(lock, [&] { return line_.serving == ticket; });
  }
  ~Turn() {
    std::lock_guard lock(line_.m);
    ++line_.serving;
    line_.turnPassed.notify_all();
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

 private:
  Line& line_;
};

// Closes the port on every way out of the transaction.
class PortCloser {
 public:
  explicit PortCloser(ComHandle port) : port_(port) {}
  ~PortCloser() {
    if (port_ != kInvalidComHandle) platform::ClosePort(port_);
  }
  PortCloser(const PortCloser&) = delete;
  PortCloser& operator=(const PortCloser&) = delete;

 private:
  ComHandle port_;
};

// Each of the three set-up steps fails for the invalid handle and when the
// system refuses or throws.
template <class Fn>
bool SetUp(ComHandle port, Fn&& apply) {
  if (port == kInvalidComHandle) return false;
  try {
    return apply();
  } catch (...) {
    return false;
  }
}

// Reads and throws away what waits in the input queue; the count.
std::uint32_t DiscardInput(ComHandle port) {
  std::uint32_t total = 0;
  std::array<std::uint8_t, 256> buffer{};
  for (std::uint32_t waiting = platform::BytesWaiting(port); waiting > 0; waiting = platform::BytesWaiting(port)) {
    std::uint32_t got = 0;
    if (!platform::Read(port, buffer.data(), std::min<std::uint32_t>(waiting, buffer.size()), got) || got == 0) break;
    total += got;
  }
  return total;
}

enum class Heard { Nothing, ReplyOver, StillArriving };

// Reads and discards what arrives until `until`. Once bytes have come it
// stops as soon as `answerBytes` of them have come (when known) or the line
// has been silent for kReplyOver; a reply still arriving at `until` is
// followed until `followTo` at most. Every byte heard moves quietSince.
Heard Watch(ComHandle port, Line& line, Clock::time_point until, std::uint32_t answerBytes,
            Clock::time_point followTo) {
  std::uint32_t heard = 0;
  Clock::time_point lastHeard{};
  for (;;) {
    const Clock::time_point now = Clock::now();
    Clock::time_point end = until;
    if (heard > 0) {
      if (answerBytes != 0 && heard >= answerBytes) return Heard::ReplyOver;
      end = std::min(lastHeard + kReplyOver, std::max(until, followTo));
    }
    if (now >= end) break;
    if (!platform::WaitForInput(port, CeilMs(end - now))) continue;
    const std::uint32_t got = DiscardInput(port);
    if (got == 0) {
      Sleep(1);  // told of input that is not there: do not spin
      continue;
    }
    heard += got;
    lastHeard = line.quietSince = Clock::now();
  }
  if (heard == 0) return Heard::Nothing;
  return Clock::now() >= lastHeard + kReplyOver ? Heard::ReplyOver : Heard::StillArriving;
}

// Waits until the line has been silent for 3.5 characters, discarding what
// arrives meanwhile.
void KeepFrameGap(ComHandle port, Line& line) {
  for (;;) {
    const Clock::time_point due = line.quietSince + kFrameGap;
    const Clock::time_point now = Clock::now();
    if (now >= due) return;
    if (!platform::WaitForInput(port, CeilMs(due - now))) continue;
    if (DiscardInput(port) > 0) {
      line.quietSince = Clock::now();
    } else {
      Sleep(1);
    }
  }
}

// Device bytes as text that is safe on a terminal and in the log: printable
// ASCII as it is, a backslash doubled, every other byte as \xHH.
std::string Escaped(const std::string& bytes) {
  std::string text;
  char hex[5];
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '\\') {
      text += "\\\\";
    } else if (b >= 0x20 && b < 0x7F) {
      text += c;
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    }
  }
  return text;
}

// One transaction on the line, phase by phase, while this process holds its
// turn on it. A phase that returns false ends the transaction there (it
// failed, or it is done); what it gives back waits in the object: the
// result, the reason of a failure and the log lines.
class TTransaction {
 public:
  TTransaction(TSerialPort& owner, Line& line, std::string portKey, int device)
      : fOwner(owner), fLine(line), fPortKey(std::move(portKey)), fDevice(device), fDebug(owner.Debug()) {}

  // `asString`: the message of Send2 (see RunTransaction).
  void Run(const std::uint8_t* data, std::uint32_t size, bool waitForResponse, const std::string* asString) {
    std::string openFailure;
    const ComHandle port = platform::OpenPort(fOwner.Port(), openFailure);
    PortCloser closer(port);
    if (!SetUp(port, openFailure)) return;
    const Clock::duration watched = HearOutEarlierReply(port);
    Clock::time_point onWire;
    if (!WriteRequest(port, data, size, asString, onWire)) return;
    if (!waitForResponse) {
      LeaveTheReplyUnheard(onWire, size);
      return;
    }
    if (!AwaitReply(port, watched)) return;
    ReadReply(port, asString);
  }

  TSerialResponse Result;
  std::string FailureReason;
  std::vector<std::string> Log;

 private:
  // A failure with a reason logs its text and then the reason below it.
  bool Fail(const char* status, std::string reason) {
    Result.Status = status;
    if (reason.empty()) return false;
    Log.push_back(status);
    Log.push_back(reason);
    FailureReason = std::move(reason);
    return false;
  }
  std::string SystemReason() const { return fOwner.Port() + ": " + platform::SystemErrorText(); }

  bool SetUp(ComHandle port, const std::string& openFailure) {
    if (!fOwner.SetDCBState(port))
      return Fail(TSerialPort::kPortInUse, port == kInvalidComHandle ? openFailure : SystemReason());
    if (!fOwner.SetTimeOuts(port)) return Fail(TSerialPort::kTimeoutsFailed, SystemReason());
    if (!fOwner.SetBuffers(port)) return Fail(TSerialPort::kBuffersFailed, SystemReason());
    return true;
  }

  // An answer to an earlier frame of this program may still be on its way:
  // it is heard out first (it may already wait in the input queue). Gives
  // how long that took.
  Clock::duration HearOutEarlierReply(ComHandle port) {
    Clock::duration watched{};
    const Line::Watch pending = fLine.Take(fDevice);
    if (const Clock::time_point start = Clock::now(); pending.until > start) {
      Watch(port, fLine, pending.until, pending.answerBytes, pending.until + kLongestReply);
      watched = Clock::now() - start;
    }
    // Bytes of an earlier exchange that came too late must not pass for this
    // reply.
    platform::PurgeInput(port);
    // What came while the port was closed went unheard: on a line this
    // process has not used yet, or not for longer than a frame gap, another
    // program's exchange may be on the wire. The silence before the frame is
    // then heard from here on, not assumed.
    if (const Clock::time_point now = Clock::now(); fLine.quietSince + kFrameGap < now) fLine.quietSince = now;
    KeepFrameGap(port, fLine);
    return watched;
  }

  // Writes the request whole and waits until it has left the port;
  // `onWire` is when its last byte is on the wire.
  bool WriteRequest(ComHandle port, const std::uint8_t* data, std::uint32_t size, const std::string* asString,
                    Clock::time_point& onWire) {
    if (fDebug) {
      Log.push_back(std::string(44, '*'));
      Log.push_back(Label("PortName", kLabelWidth) + fOwner.Port());
    }
    IWriteWatcher* const watcher = WriteWatcher();
    if (watcher) watcher->WriteStarting(fPortKey, data, size, Clock::now());
    const Clock::time_point writeStart = Clock::now();
    std::uint32_t written = 0;
    const bool wrote = platform::Write(port, data, size, written);
    if (watcher) watcher->WriteDone(fPortKey, written, Clock::now());
    const std::string writeError = wrote ? std::string() : SystemReason();
    fLine.quietSince = std::max(Clock::now(), writeStart + kByteTime * written);
    // A request that did not go out whole is a failed write, not a success.
    if (!wrote) return Fail(TSerialPort::kWriteFailed, writeError);
    if (written != size) {
      return Fail(TSerialPort::kWriteFailed, fOwner.Port() + ": " + std::to_string(written) + " of " +
                                                 std::to_string(size) + " bytes went out within the write time limit");
    }
    const std::uint32_t drainLimitMs = kTimeLimits.writePerByteMs * size + kTimeLimits.writeConstantMs;
    if (!platform::Drain(port, drainLimitMs)) {
      return Fail(TSerialPort::kWriteFailed, fOwner.Port() + ": the request did not leave the port within " +
                                                 std::to_string(drainLimitMs) + " ms");
    }
    onWire = std::max(Clock::now(), writeStart + kByteTime * size);
    fLine.quietSince = onWire;
    if (fDebug) {
      Log.push_back(Label("Bytes written", kLabelWidth) + std::to_string(written));
      if (asString) Log.push_back(Label("As string", kLabelWidth) + *asString);
    }
    return true;
  }

  // No wait for a reply: the frame is on the wire before the port closes;
  // the device's answer is heard out by the next transaction to it.
  void LeaveTheReplyUnheard(Clock::time_point onWire, std::uint32_t size) {
    if (fDebug) Log.push_back("Exit read/write without waiting for reply");
    Result.Response.clear();
    std::this_thread::sleep_until(onWire);
    if (fDevice != kBroadcast) fLine.Expect(fDevice, onWire + kEchoSettle, size);
  }

  // Polls the input queue until the reply's first bytes are there; false
  // (Status "timeout") when none came in the readout time.
  bool AwaitReply(ComHandle port, Clock::duration watched) {
    const std::uint32_t pauseMs = fOwner.WindowsReadLoopTimeoutMS();
    Sleep(pauseMs);
    const Clock::time_point deadline = Clock::now() + milliseconds(fOwner.ReadoutTimeoutMS());
    bool found = false;
    while (!found && Clock::now() < deadline) {
      found = platform::BytesWaiting(port) > 0;
      Sleep(pauseMs);
    }
    if (found) return true;
    if (fDebug) {
      Log.push_back(Label("Message", kLabelWidth) + "Timeout " + FormatGeneral(fOwner.ReadoutTimeoutMS() / 1000.0) +
                    "s ");
    }
    Result.Response.clear();
    Result.Status = TSerialPort::kTimeout;
    // The reply may still come: hear it out here, so that it never passes
    // for the reply to a later request. Whatever part of the watch this
    // transaction cannot spend, the next one to the device keeps.
    const Clock::time_point gaveUp = Clock::now();
    const Clock::duration budget = std::max<Clock::duration>(kLateReplyWatch - watched, Clock::duration::zero());
    const Heard heard = Watch(port, fLine, gaveUp + budget, 0, gaveUp + budget);
    if (heard == Heard::Nothing) fLine.Expect(fDevice, gaveUp + kLateReplyWatch + kLateReplyMargin, 0);
    if (heard == Heard::StillArriving) fLine.Expect(fDevice, Clock::now() + kLateReplyMargin, 0);
    return false;
  }

  void ReadReply(ComHandle port, const std::string* asString) {
    std::array<std::uint8_t, TSerialPort::kReplyBufferSize> buffer{};
    std::uint32_t got = 0;
    const bool read = platform::Read(port, buffer.data(), TSerialPort::kReplyBufferSize, got);
    // A read that did not fill the buffer ended once the line had been
    // silent for its interval limit.
    fLine.quietSince =
        Clock::now() - (read && got < TSerialPort::kReplyBufferSize ? kReplyOver : Clock::duration::zero());
    if (!read) {
      Fail(TSerialPort::kReadFailed, SystemReason());
      return;
    }
    Result.Response.assign(reinterpret_cast<const char*>(buffer.data()), got);
    if (asString) return;
    if (got >= 5) Result.ValueOfFirstWord = buffer[3] * 256 + buffer[4];
    if (fDebug) {
      std::string numbers;
      for (std::uint32_t i = 0; i < got; ++i) numbers += std::to_string(buffer[i]) + ' ';
      Log.push_back(Label("Response Str", kLabelWidth) + Escaped(Result.Response));
      Log.push_back(Label("Response Int", kLabelWidth) + numbers);
      Log.push_back(Label("Response Status", kLabelWidth) + Result.Status);
    }
  }

  TSerialPort& fOwner;
  Line& fLine;
  const std::string fPortKey;
  const int fDevice;
  const bool fDebug;
};

}  // namespace

// `asString` is the message of Send2: it adds the "As string" line, and the
// reply fills only Response and Status. The log lines wait until the turn
// on the line has passed: a log sink may wait for the user-interface
// thread, which may itself be waiting for its turn.
TSerialResponse TSerialPort::RunTransaction(const std::uint8_t* data, std::uint32_t size, bool waitForResponse,
                                            int device, const std::string* asString) {
  std::string portKey = platform::PortKey(fPort);
  Line& line = LineOf(portKey);
  TTransaction transaction(*this, line, std::move(portKey), device);
  {
    Turn turn(line);
    transaction.Run(data, size, waitForResponse, asString);
  }
  fLastFailureReason = std::move(transaction.FailureReason);
  for (const std::string& text : transaction.Log) LogLine(text);
  return transaction.Result;
}

TSerialPort::TSerialPort() : fWindowsReadLoopTimeoutMS(DefaultReadLoopPause().load()) {}

std::uint32_t TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(std::uint32_t v) {
  return DefaultReadLoopPause().exchange(v);
}

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse) {
  return RunTransaction(Data, dataSize, WaitForResponse, kAnyDevice, nullptr);
}

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse,
                                      std::uint8_t DeviceAddress) {
  return RunTransaction(Data, dataSize, WaitForResponse, DeviceAddress, nullptr);
}

TSerialResponse TSerialPort::Send2(const std::string& aMessage, bool WaitForResponse) {
  return RunTransaction(reinterpret_cast<const std::uint8_t*>(aMessage.data()),
                        static_cast<std::uint32_t>(aMessage.size()), WaitForResponse, kAnyDevice, &aMessage);
}

std::string TSerialPort::Send(const std::string& aMessage, bool WaitForResponse) {
  return Send2(aMessage, WaitForResponse).Response;
}

bool TSerialPort::SetDCBState(ComHandle ComDevice) {
  return SetUp(ComDevice, [&] { return platform::ApplyLineSettings(ComDevice); });
}

bool TSerialPort::SetTimeOuts(ComHandle ComDevice) {
  return SetUp(ComDevice, [&] { return platform::ApplyTimeLimits(ComDevice, kTimeLimits); });
}

bool TSerialPort::SetBuffers(ComHandle ComDevice) {
  return SetUp(ComDevice, [&] { return platform::ApplyQueueSizes(ComDevice, kQueueBytes, kQueueBytes); });
}

}  // namespace karvo
