#pragma once
// When the bytes the simulated controller reads were put on the line.
//
// On a pseudo-terminal bytes arrive the moment they are written, and the
// controller can only time them by when its thread reads them. A machine
// busy enough to hold that thread up for longer than a frame's closing
// silence hands it two frames in one read, and it would take two requests
// that were properly spaced for one frame of garbage. The transaction of
// this process says when it writes each frame (serial/WriteWatch.h); the
// journal of a device keeps those notes and lays them over the bytes read,
// so that the controller times every run of bytes by when it was written.
//
// The notes can only make a silence look shorter than it was, never longer:
// a frame is noted as begun before its first write call (no byte of it can
// have been on the line earlier) and as ended at the earlier of the return
// of its last write call and the moment it was read (both come after its
// last byte was on the line). Bytes nobody noted (another process, a test
// writing to the device itself) are timed by when they are read, as before.

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SlaveProtocol.h"

namespace karvo::sim {

class LineJournal {
 public:
  using Clock = std::chrono::steady_clock;

  // A run of bytes read that one frame write put on the line, or a run
  // nobody noted (Noted false).
  struct Piece {
    Bytes bytes;
    bool noted = false;
    Clock::time_point first;  // its first byte was not on the line before this (noted only)
    Clock::time_point last;   // its last byte was on the line by then
  };

  // Keeps the notes of writes to `device` while it lives.
  explicit LineJournal(const std::string& device);
  ~LineJournal();
  LineJournal(const LineJournal&) = delete;
  LineJournal& operator=(const LineJournal&) = delete;

  // Lays the notes over `bytes`, read at `readAt`, in the order they came.
  std::vector<Piece> Split(const Bytes& bytes, Clock::time_point readAt);

  // The notes (called by the transaction's watcher, or by a test that
  // writes to the device itself and notes it).
  void Starting(const std::uint8_t* data, std::uint32_t size, Clock::time_point before);
  void Done(std::uint32_t written, Clock::time_point after);

 private:
  struct Note {
    std::uint64_t id = 0;
    Bytes bytes;
    std::size_t matched = 0;  // bytes of it read so far
    Clock::time_point before;
    Clock::time_point after;
    bool done = false;
  };
  void DropFinished();

  std::string device_;
  std::mutex mutex_;
  std::deque<Note> notes_;
  std::uint64_t lastId_ = 0;
};

}  // namespace karvo::sim
