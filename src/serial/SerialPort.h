#pragma once
// One self-contained transaction on a COM port: open, configure, purge the
// input queue, write, wait for the reply, read it, close. Nothing stays open
// between calls; the exclusive open is the only arbitration between two
// objects that address the same port.

#include <array>
#include <cstdint>
#include <string>

namespace karvo {

// The result of every serial and Modbus transaction. A new record is empty
// (texts empty, numbers 0); an operation leaves the fields it does not
// mention as it found them.
struct TSerialResponse {
  std::string Response;  // the reply exactly as read, byte 0 first
  double rDouble = 0.0;  // a floating-point value decoded from a reply
  // 16-bit words decoded from a reply, indexed 1..258 (element 0 unused).
  std::array<std::int32_t, 259> rArray{};
  // Byte 3 * 256 + byte 4 of a reply that has at least 5 bytes; a shorter
  // reply leaves it as it was.
  std::int32_t ValueOfFirstWord = 0;
  std::string Status;  // empty on success, else the failure text
};

// Pointer-sized handle of an open port; all bits set means "invalid".
using ComHandle = std::uintptr_t;
inline constexpr ComHandle kInvalidComHandle = ~ComHandle{0};

class TSerialPort {
 public:
  TSerialPort() = default;
  virtual ~TSerialPort() = default;
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  bool Debug() const { return fDebug; }
  void SetDebug(bool v) { fDebug = v; }
  const std::string& Port() const { return fPort; }
  void SetPort(const std::string& v) { fPort = v; }
  std::uint32_t WindowsReadLoopTimeoutMS() const { return fWindowsReadLoopTimeoutMS; }
  void SetWindowsReadLoopTimeoutMS(std::uint32_t v) { fWindowsReadLoopTimeoutMS = v; }
  std::uint32_t ReadoutTimeoutMS() const { return fReadoutTimeoutMS; }
  void SetReadoutTimeoutMS(std::uint32_t v) { fReadoutTimeoutMS = v; }

  // One complete transaction: writes dataSize bytes from Data and, when
  // WaitForResponse is true, waits for the reply and reads up to 80 bytes.
  TSerialResponse SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse);

  // The same transaction for a message held in a byte string. Send2 fills
  // only Response and Status; Send returns Response of Send2.
  std::string Send(const std::string& aMessage, bool WaitForResponse);
  TSerialResponse Send2(const std::string& aMessage, bool WaitForResponse);

  // Apply the line settings, time limits and queue sizes to an open port.
  // False at once for kInvalidComHandle, false when the system refuses.
  bool SetDCBState(ComHandle ComDevice);
  bool SetTimeOuts(ComHandle ComDevice);
  bool SetBuffers(ComHandle ComDevice);

  // Texts of the transaction's failures.
  static constexpr const char* kPortInUse = "Failed to setup Com port, port in use";
  static constexpr const char* kTimeoutsFailed = "Failed to setup Com port timeouts";
  static constexpr const char* kBuffersFailed = "Failed to setup Com port buffer size";
  static constexpr const char* kWriteFailed = "Failed to write to Com port";
  static constexpr const char* kTimeout = "Timeout while waiting for response";
  static constexpr const char* kReadFailed = "Failed to read from Com port";

  static constexpr std::uint32_t kReplyBufferSize = 80;

 private:
  bool fDebug = false;
  std::string fPort;
  std::uint32_t fWindowsReadLoopTimeoutMS = 200;
  std::uint32_t fReadoutTimeoutMS = 1000;
};

}  // namespace karvo
