#include "serial/SerialPort.h"

#include <array>
#include <chrono>
#include <thread>

#include "common/Log.h"
#include "common/Regional.h"
#include "common/Text.h"
#include "serial/SerialPlatform.h"

namespace karvo {
namespace {

namespace platform = serialplatform;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kLabelWidth = 25;
constexpr platform::TimeLimits kTimeLimits{20, 10, 200, 10, 100};
constexpr std::uint32_t kQueueBytes = 4096;

// The transaction waits on the monotonic clock with real sleeps: a local
// wall clock jumps at daylight-saving changes, and the process-wide pause
// is left to the layers above (their tests record it).
void Sleep(std::uint32_t ms) { std::this_thread::sleep_for(milliseconds(ms)); }

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

// `asString` is the message of Send2: it adds the "As string" line, and the
// reply fills only Response and Status.
TSerialResponse Transact(TSerialPort& self, const std::uint8_t* data, std::uint32_t size, bool waitForResponse,
                         const std::string* asString) {
  TSerialResponse result;
  const ComHandle port = platform::OpenPort(self.Port());
  PortCloser closer(port);
  if (!self.SetDCBState(port)) {
    result.Status = TSerialPort::kPortInUse;
    return result;
  }
  if (!self.SetTimeOuts(port)) {
    result.Status = TSerialPort::kTimeoutsFailed;
    return result;
  }
  if (!self.SetBuffers(port)) {
    result.Status = TSerialPort::kBuffersFailed;
    return result;
  }
  // Bytes of an earlier exchange that came too late must not pass for this
  // reply.
  platform::PurgeInput(port);

  const bool debug = self.Debug();
  if (debug) {
    LogLine(std::string(44, '*'));
    LogLine(Label("PortName", kLabelWidth) + self.Port());
  }
  std::uint32_t written = 0;
  // A request that did not go out whole is a failed write, not a success.
  if (!platform::Write(port, data, size, written) || written != size) {
    result.Status = TSerialPort::kWriteFailed;
    return result;
  }
  if (debug) {
    LogLine(Label("Bytes written", kLabelWidth) + std::to_string(written));
    if (asString) LogLine(Label("As string", kLabelWidth) + *asString);
  }
  if (!waitForResponse) {
    if (debug) LogLine("Exit read/write without waiting for reply");
    result.Response.clear();
    return result;
  }

  const std::uint32_t pauseMs = self.WindowsReadLoopTimeoutMS();
  Sleep(pauseMs);
  const Clock::time_point deadline = Clock::now() + milliseconds(self.ReadoutTimeoutMS());
  bool found = false;
  while (!found && Clock::now() < deadline) {
    found = platform::BytesWaiting(port);
    Sleep(pauseMs);
  }
  if (!found) {
    if (debug) {
      LogLine(Label("Message", kLabelWidth) + "Timeout " + FormatGeneral(self.ReadoutTimeoutMS() / 1000.0) + "s ");
    }
    result.Response.clear();
    result.Status = TSerialPort::kTimeout;
    return result;
  }

  std::array<std::uint8_t, TSerialPort::kReplyBufferSize> buffer{};
  std::uint32_t got = 0;
  if (!platform::Read(port, buffer.data(), TSerialPort::kReplyBufferSize, got)) {
    result.Status = TSerialPort::kReadFailed;
    return result;
  }
  result.Response.assign(reinterpret_cast<const char*>(buffer.data()), got);
  if (asString) return result;
  if (got >= 5) result.ValueOfFirstWord = buffer[3] * 256 + buffer[4];
  if (debug) {
    std::string numbers;
    for (std::uint32_t i = 0; i < got; ++i) numbers += std::to_string(buffer[i]) + ' ';
    LogLine(Label("Response Str", kLabelWidth) + result.Response);
    LogLine(Label("Response Int", kLabelWidth) + numbers);
    LogLine(Label("Response Status", kLabelWidth) + result.Status);
  }
  return result;
}

}  // namespace

TSerialResponse TSerialPort::SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse) {
  return Transact(*this, Data, dataSize, WaitForResponse, nullptr);
}

TSerialResponse TSerialPort::Send2(const std::string& aMessage, bool WaitForResponse) {
  return Transact(*this, reinterpret_cast<const std::uint8_t*>(aMessage.data()),
                  static_cast<std::uint32_t>(aMessage.size()), WaitForResponse, &aMessage);
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
