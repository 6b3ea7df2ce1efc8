#pragma once
// Who else in this process hears when the transaction hands a frame to a
// device. The simulated controller of the tests listens: a reader thread
// held up by a busy machine for longer than the silence between two frames
// reads both at once, and can only tell them apart by when they were
// written. Nothing listens in the program itself.
//
// WriteStarting comes right before the first write call of a frame, with
// the whole frame; WriteDone right after the last, with the count that went
// out. Both come on the writing thread, which holds the device's turn, so
// the two calls of one frame are never split by those of another frame to
// the same device.

#include <chrono>
#include <cstdint>
#include <string>

namespace karvo {

class IWriteWatcher {
 public:
  using Clock = std::chrono::steady_clock;
  // `device` is the name every port name of that device comes to (on POSIX
  // the device's real path, e.g. /dev/pts/3).
  virtual void WriteStarting(const std::string& device, const std::uint8_t* data, std::uint32_t size,
                             Clock::time_point before) = 0;
  virtual void WriteDone(const std::string& device, std::uint32_t written, Clock::time_point after) = 0;

 protected:
  ~IWriteWatcher() = default;
};

// Sets the watcher (nullptr: none, the default) and returns the previous
// one. The watcher must outlive every transaction that may still call it.
IWriteWatcher* SetWriteWatcher(IWriteWatcher* watcher);
// The current watcher, nullptr when there is none.
IWriteWatcher* WriteWatcher();

}  // namespace karvo
