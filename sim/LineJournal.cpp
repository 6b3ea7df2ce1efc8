#include "sim/LineJournal.h"

#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <map>

#include "serial/WriteWatch.h"

namespace karvo::sim {
namespace {

std::string RealPath(const std::string& path) {
  char real[PATH_MAX];
  return ::realpath(path.c_str(), real) ? std::string(real) : path;
}

// The journals of the devices served in this process, and the watcher that
// hands them the transaction's notes. Made once and never destroyed: a
// transaction may still write while the process ends.
class Journals final : public IWriteWatcher {
 public:
  static Journals& Get() {
    static Journals* journals = new Journals;
    return *journals;
  }
  void Add(const std::string& device, LineJournal* journal) {
    std::lock_guard lock(mutex_);
    journals_[device] = journal;
    // Installed at the first journal, and again if a test put its own in
    // and took it away since.
    if (WriteWatcher() != this) SetWriteWatcher(this);
  }
  void Remove(const std::string& device, LineJournal* journal) {
    std::lock_guard lock(mutex_);
    if (const auto it = journals_.find(device); it != journals_.end() && it->second == journal) journals_.erase(it);
  }
  void WriteStarting(const std::string& device, const std::uint8_t* data, std::uint32_t size,
                     Clock::time_point before) override {
    std::lock_guard lock(mutex_);
    if (const auto it = journals_.find(device); it != journals_.end()) it->second->Starting(data, size, before);
  }
  void WriteDone(const std::string& device, std::uint32_t written, Clock::time_point after) override {
    std::lock_guard lock(mutex_);
    if (const auto it = journals_.find(device); it != journals_.end()) it->second->Done(written, after);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, LineJournal*> journals_;
};

}  // namespace

LineJournal::LineJournal(const std::string& device) : device_(RealPath(device)) { Journals::Get().Add(device_, this); }

LineJournal::~LineJournal() { Journals::Get().Remove(device_, this); }

void LineJournal::Starting(const std::uint8_t* data, std::uint32_t size, Clock::time_point before) {
  std::lock_guard lock(mutex_);
  Note note;
  note.id = ++lastId_;
  note.bytes.assign(data, data + size);
  note.before = before;
  notes_.push_back(std::move(note));
}

void LineJournal::Done(std::uint32_t written, Clock::time_point after) {
  std::lock_guard lock(mutex_);
  // The last note not yet done is this write's.
  for (auto it = notes_.rbegin(); it != notes_.rend(); ++it) {
    if (it->done) continue;
    it->bytes.resize(std::min<std::size_t>(it->bytes.size(), written));
    it->after = after;
    it->done = true;
    break;
  }
  DropFinished();
}

void LineJournal::DropFinished() {
  while (!notes_.empty() && notes_.front().done && notes_.front().matched >= notes_.front().bytes.size())
    notes_.pop_front();
}

std::vector<LineJournal::Piece> LineJournal::Split(const Bytes& bytes, Clock::time_point readAt) {
  std::lock_guard lock(mutex_);
  std::vector<Piece> pieces;
  std::uint64_t current = 0;  // the note the last piece belongs to; 0: none
  for (const std::uint8_t byte : bytes) {
    DropFinished();
    // A note whose next byte is not the one read lost the rest of its
    // bytes on the way: the bytes already read of it stand, the note goes.
    while (!notes_.empty() && notes_.front().matched > 0 && notes_.front().matched < notes_.front().bytes.size() &&
           notes_.front().bytes[notes_.front().matched] != byte) {
      notes_.pop_front();
      DropFinished();
    }
    Note* note = nullptr;
    if (!notes_.empty() && notes_.front().matched < notes_.front().bytes.size() &&
        notes_.front().bytes[notes_.front().matched] == byte) {
      note = &notes_.front();
    }
    const std::uint64_t id = note ? note->id : 0;
    if (pieces.empty() || id != current) {
      Piece piece;
      piece.noted = note != nullptr;
      piece.first = note ? note->before : readAt;
      pieces.push_back(std::move(piece));
      current = id;
    }
    Piece& piece = pieces.back();
    piece.bytes.push_back(byte);
    piece.last = readAt;
    if (note) {
      ++note->matched;
      if (note->done) piece.last = std::min(readAt, note->after);
    }
  }
  DropFinished();
  return pieces;
}

}  // namespace karvo::sim
