#pragma once
// One self-contained transaction on a COM port: open, configure, purge the
// input queue, write, wait for the reply, read it, close. Nothing stays open
// between calls.
//
// The line as a controller sees it. The transactions of this process on one
// port take turns, first come first served (a lock per port inside the
// process, held for one transaction), so "port in use" only ever means
// another program. Within its turn a transaction keeps the line discipline
// of Modbus RTU at 9600 baud 8N1:
//  - every frame is fully on the wire (drained, and its wire time of
//    1.04 ms a byte passed) before the port is closed, and a frame starts no
//    sooner than 3.5 characters (4 ms) after the line fell silent;
//  - after a frame sent without waiting to one device (not a broadcast),
//    the next transaction to that device first reads and discards the
//    device's answer, until it has come or kEchoSettleMs have passed since
//    the frame's end; frames to other devices only keep the spacing;
//  - a transaction that gave up waiting keeps the port and discards what
//    arrives for up to kLateReplyWatchMs more (until a late reply has come
//    and ended), so a late reply is never taken for the next one; the next
//    transaction to that device watches kLateReplyMarginMs longer, but no
//    transaction spends more than kLateReplyWatchMs on such watching.

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
  TSerialPort();
  virtual ~TSerialPort() = default;
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  bool Debug() const { return fDebug; }
  void SetDebug(bool v) { fDebug = v; }
  const std::string& Port() const { return fPort; }
  void SetPort(const std::string& v) { fPort = v; }
  std::uint32_t WindowsReadLoopTimeoutMS() const { return fWindowsReadLoopTimeoutMS; }
  void SetWindowsReadLoopTimeoutMS(std::uint32_t v) { fWindowsReadLoopTimeoutMS = v; }
  // The read loop's pause for ports made from now on (200 ms unless
  // changed): the wait before a transaction first looks for the reply and
  // between looks. Tests of what the program does with the values shorten
  // it to spend less time waiting; the line's own tests keep the default.
  // Returns the previous one.
  static std::uint32_t SetDefaultWindowsReadLoopTimeoutMS(std::uint32_t v);
  static constexpr std::uint32_t kWindowsReadLoopTimeoutMS = 200;
  std::uint32_t ReadoutTimeoutMS() const { return fReadoutTimeoutMS; }
  void SetReadoutTimeoutMS(std::uint32_t v) { fReadoutTimeoutMS = v; }

  // One complete transaction: writes dataSize bytes from Data and, when
  // WaitForResponse is true, waits for the reply and reads up to 80 bytes.
  // The frame counts as addressed to every device.
  TSerialResponse SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse);
  // The same for a frame to one device: DeviceAddress 1 to 255, or 0 for a
  // broadcast, which no device answers.
  TSerialResponse SendData(const std::uint8_t* Data, std::uint32_t dataSize, bool WaitForResponse,
                           std::uint8_t DeviceAddress);

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

  // Why the last transaction of this object failed, in the system's words
  // and naming the port, when its failure text does not say it (what holds
  // the port, "COM300 maps to no device"); empty after a success or a
  // timeout. The transaction also writes the failure text and then the
  // reason to the program log, a line each, whatever Debug says.
  const std::string& LastFailureReason() const { return fLastFailureReason; }

  // The line discipline (see the top of this file).
  static constexpr std::uint32_t kByteTimeUs = 1042;   // 10 bits at 9600 baud
  static constexpr std::uint32_t kFrameGapUs = 4000;   // 3.5 characters, rounded up
  static constexpr std::uint32_t kEchoSettleMs = 110;  // reply latency 100 ms + the echo's wire time
  static constexpr std::uint32_t kLateReplyWatchMs = 300;
  static constexpr std::uint32_t kLateReplyMarginMs = 50;

 private:
  TSerialResponse RunTransaction(const std::uint8_t* data, std::uint32_t size, bool waitForResponse, int device,
                                 const std::string* asString);

  bool fDebug = false;
  std::string fPort;
  std::uint32_t fWindowsReadLoopTimeoutMS;
  std::uint32_t fReadoutTimeoutMS = 1000;
  std::string fLastFailureReason;
};

}  // namespace karvo
