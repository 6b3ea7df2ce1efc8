#pragma once
// What a transaction needs from the operating system, implemented once per
// platform (SerialPort_posix.cpp, SerialPort_win32.cpp). The transaction
// itself (SerialPort.cpp) is the same everywhere. Every function except
// OpenPort takes a handle OpenPort returned, never kInvalidComHandle.

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

// Opens the port of that name exclusively; kInvalidComHandle when it cannot.
ComHandle OpenPort(const std::string& name);
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
// One look at the port: clears its error state; true when received bytes
// wait in the input queue.
bool BytesWaiting(ComHandle port);
// Reads up to `size` bytes in one call under the read limits.
bool Read(ComHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got);
void ClosePort(ComHandle port);

}  // namespace karvo::serialplatform
