#pragma once
// What a transaction needs from the operating system, implemented once per
// platform (SerialPort_posix.cpp, SerialPort_win32.cpp). The transaction
// itself (SerialPort.cpp) is the same everywhere. Every function except
// PortKey, OpenPort and SystemErrorText takes a handle OpenPort returned,
// never kInvalidComHandle.

#include <cstdint>
#include <string>

#include "serial/SerialPort.h"

namespace karvo::serialplatform {

struct TimeLimits {
  std::uint32_t readIntervalMs;   // largest gap between two received bytes
  std::uint32_t readPerByteMs;    // read total: per byte requested ...
  std::uint32_t readConstantMs;   // ... plus this
  std::uint32_t writePerByteMs;   // write total: per byte ...
  std::uint32_t writeConstantMs;  // ... plus this
};

// The same text for every name that reaches the same device (COM9 and the
// device its link points at), so that the transactions of this process on
// one line can take turns. Opens nothing.
std::string PortKey(const std::string& name);
// Opens the port of that name exclusively; kInvalidComHandle when it cannot,
// and then `reason` says why, naming the port (for example "COM300 maps to
// no device", or what holds it).
ComHandle OpenPort(const std::string& name, std::string& reason);
// The system's text for the failure of the call just made.
std::string SystemErrorText();
// 9600 baud, 8 data bits, no parity, 1 stop bit, binary, DTR and RTS raised,
// no flow control.
bool ApplyLineSettings(ComHandle port);
bool ApplyTimeLimits(ComHandle port, const TimeLimits& limits);
bool ApplyQueueSizes(ComHandle port, std::uint32_t inputBytes, std::uint32_t outputBytes);
// Discards whatever waits in the input queue.
bool PurgeInput(ComHandle port);
// Writes size bytes in one call under the write limit; `written` is the
// count that went out. False when the system reports a failure.
bool Write(ComHandle port, const std::uint8_t* data, std::uint32_t size, std::uint32_t& written);
// Waits until what was written has left the port's output queue, at most
// about limitMs; false when it has not or the system reports a failure.
bool Drain(ComHandle port, std::uint32_t limitMs);
// One look at the port: clears its error state and tells how many received
// bytes wait in the input queue (0 when the look fails).
std::uint32_t BytesWaiting(ComHandle port);
// Waits up to timeoutMs for received bytes; true as soon as some wait.
bool WaitForInput(ComHandle port, std::uint32_t timeoutMs);
// Reads up to `size` bytes in one call under the read limits.
bool Read(ComHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got);
void ClosePort(ComHandle port);

}  // namespace karvo::serialplatform
