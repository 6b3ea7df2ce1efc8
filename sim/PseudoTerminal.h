#pragma once
// A pseudo-terminal pair whose master side the simulated controller keeps
// for its whole life. The program opens and closes the other side (the
// device path) for every transaction, as it would a real serial port.

#include <cstdint>
#include <string>
#include <vector>

namespace karvo::sim {

class PseudoTerminal {
 public:
  // Creates the pair raw, with echo off, and the master non-blocking.
  // Throws std::system_error when the system has no pseudo-terminal left.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // The device path of the other side, e.g. /dev/pts/3.
  const std::string& DevicePath() const { return devicePath_; }
  int MasterFd() const { return master_; }

  // Waits up to timeoutMs for bytes from the other side and appends what
  // came to `into`; true when something came. While no one holds the other
  // side the master reports a hang-up at once and reads fail with EIO: the
  // wait then pauses a few milliseconds instead of spinning.
  bool Receive(std::vector<std::uint8_t>& into, int timeoutMs);
  // Writes the bytes to the other side; false when the write fails. While
  // no one holds the other side the bytes wait in its input queue, where
  // the transport's purge at the next open finds them.
  bool Transmit(const std::vector<std::uint8_t>& bytes);

 private:
  int master_ = -1;
  std::string devicePath_;
};

}  // namespace karvo::sim
