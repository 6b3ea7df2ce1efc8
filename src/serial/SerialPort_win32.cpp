// The transaction's system calls on Windows: the Win32 serial API. The
// handle is the HANDLE of CreateFileW (the port name is UTF-8 text); INVALID_HANDLE_VALUE has all bits
// set, the same as kInvalidComHandle.

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "common/SystemError.h"
#include "common/Text.h"
#include "serial/SerialPlatform.h"

namespace karvo::serialplatform {
namespace {

HANDLE Handle(ComHandle port) { return reinterpret_cast<HANDLE>(port); }

}  // namespace

// COM port names are not case-sensitive.
std::string PortKey(const std::string& name) {
  std::string key = name;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::toupper(c); });
  return key;
}

// Share mode 0: the open is exclusive, a second one fails at once.
ComHandle OpenPort(const std::string& name, std::string& reason) {
  const std::string path = "\\\\.\\" + name;
  const HANDLE h =
      ::CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    reason = (name.empty() ? std::string("\"\"") : name) + ": " +
             (error == ERROR_ACCESS_DENIED ? "in use by another program (" + karvo::SystemErrorText(error) + ")"
                                           : karvo::SystemErrorText(error));
  }
  return reinterpret_cast<ComHandle>(h);
}

std::string SystemErrorText() { return karvo::SystemErrorText(::GetLastError()); }

// The control block is built from zero; every field not set here stays 0.
bool ApplyLineSettings(ComHandle port) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = CBR_9600;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = 0;
  dcb.XoffLim = 0;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  return ::SetCommState(Handle(port), &dcb) != FALSE;
}

bool ApplyTimeLimits(ComHandle port, const TimeLimits& limits) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = limits.readIntervalMs;
  t.ReadTotalTimeoutMultiplier = limits.readPerByteMs;
  t.ReadTotalTimeoutConstant = limits.readConstantMs;
  t.WriteTotalTimeoutMultiplier = limits.writePerByteMs;
  t.WriteTotalTimeoutConstant = limits.writeConstantMs;
  return ::SetCommTimeouts(Handle(port), &t) != FALSE;
}

bool ApplyQueueSizes(ComHandle port, std::uint32_t inputBytes, std::uint32_t outputBytes) {
  return ::SetupComm(Handle(port), inputBytes, outputBytes) != FALSE;
}

bool PurgeInput(ComHandle port) { return ::PurgeComm(Handle(port), PURGE_RXCLEAR) != FALSE; }

bool Write(ComHandle port, const std::uint8_t* data, std::uint32_t size, std::uint32_t& written) {
  DWORD n = 0;
  const BOOL ok = ::WriteFile(Handle(port), data, size, &n, nullptr);
  written = n;
  return ok != FALSE;
}

// FlushFileBuffers returns once the driver has sent everything written; with
// no flow control that takes the bytes' wire time.
bool Drain(ComHandle port, std::uint32_t) { return ::FlushFileBuffers(Handle(port)) != FALSE; }

std::uint32_t BytesWaiting(ComHandle port) {
  DWORD errors = 0;
  COMSTAT status{};
  if (::ClearCommError(Handle(port), &errors, &status) == FALSE) return 0;
  return status.cbInQue;
}

// Looks at the input queue every millisecond.
bool WaitForInput(ComHandle port, std::uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (BytesWaiting(port) > 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    ::Sleep(1);
  }
}

bool Read(ComHandle port, std::uint8_t* buffer, std::uint32_t size, std::uint32_t& got) {
  DWORD n = 0;
  const BOOL ok = ::ReadFile(Handle(port), buffer, size, &n, nullptr);
  got = n;
  return ok != FALSE;
}

void ClosePort(ComHandle port) { ::CloseHandle(Handle(port)); }

}  // namespace karvo::serialplatform
