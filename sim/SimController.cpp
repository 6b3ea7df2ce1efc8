#include "sim/SimController.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace karvo::sim {
namespace {

constexpr int kIdleWaitMs = 10;  // physics steps at least this often

std::uint32_t SeedFrom(std::uint32_t seed) { return seed != 0 ? seed : std::random_device{}(); }

ModelOptions ModelOptionsFrom(const SimOptions& o, std::uint32_t seed) {
  return ModelOptions{.Address = o.Address, .StartTemperature = o.StartTemperature, .Seed = seed};
}

}  // namespace

SimController::SimController(SimOptions options)
    : options_(std::move(options)),
      model_(ModelOptionsFrom(options_, SeedFrom(options_.Seed))),
      faultRandom_(SeedFrom(options_.Seed) + 1) {
  SetFaults(options_.Faults);
}

SimController::~SimController() { Stop(); }

void SimController::Start() {
  if (Running()) return;
  auto pty = std::make_unique<PseudoTerminal>();
  {
    std::lock_guard lock(mutex_);
    devicePath_ = pty->DevicePath();
    lastAdvance_ = Clock::now();
  }
  journal_ = std::make_unique<LineJournal>(pty->DevicePath());
  pty_ = std::move(pty);
  stop_ = false;
  thread_ = std::thread([this] { ServeLoop(); });
}

void SimController::Stop() {
  if (!Running()) return;
  {
    std::lock_guard lock(holdMutex_);
    stop_ = true;
  }
  holdChanged_.notify_all();
  thread_.join();
  journal_.reset();
  pty_.reset();
  std::lock_guard lock(mutex_);
  devicePath_.clear();
}

std::string SimController::DevicePath() const {
  std::lock_guard lock(mutex_);
  return devicePath_;
}

std::uint16_t SimController::GetRegister(std::uint32_t reg) const {
  std::lock_guard lock(mutex_);
  const std::optional<std::uint16_t> w = model_.Get(reg);
  if (!w) throw std::out_of_range("the controller has no register " + std::to_string(reg));
  return *w;
}

void SimController::SetRegister(std::uint32_t reg, std::uint16_t value) {
  std::lock_guard lock(mutex_);
  if (!model_.Set(reg, value)) throw std::out_of_range("the controller has no register " + std::to_string(reg));
}

double SimController::Temperature() const {
  std::lock_guard lock(mutex_);
  return model_.Temperature();
}

void SimController::SetTemperature(double celsius) {
  std::lock_guard lock(mutex_);
  model_.SetTemperature(celsius);
}

std::uint8_t SimController::Address() const {
  std::lock_guard lock(mutex_);
  return model_.Address();
}

SimFaults SimController::Faults() const {
  std::lock_guard lock(mutex_);
  SimFaults f = faults_;
  f.SensorBreak = model_.SensorBreak();
  return f;
}

void SimController::SetFaults(const SimFaults& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  model_.SetSensorBreak(faults.SensorBreak);
}

bool SimController::SilentOn(const Bytes& frame) const {
  if (frame.size() < 4) return false;
  const std::uint32_t first = (std::uint32_t{frame[2]} << 8) | frame[3];
  if (frame[1] == 0x03) return faults_.SilentOnReadsOf == first;
  if (frame[1] == 0x06) return faults_.SilentOnWritesTo == first;
  return false;
}

void SimController::Advance(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (options_.Clock) {
    // The caller's clock goes on while the controller is stopped (an
    // adapter pulled): the furnace catches up at the next look.
    const double t = options_.Clock();
    const double passed = lastClock_ ? t - *lastClock_ : 0.0;
    lastClock_ = t;
    if (passed > 0.0) model_.Advance(passed);
    return;
  }
  const double real = std::chrono::duration<double>(now - lastAdvance_).count();
  lastAdvance_ = now;
  if (real > 0.0) model_.Advance(real * options_.Speed);
}

void SimController::ServeLoop() {
  Arrivals arrived;   // bytes read and not yet framed, in runs with their times
  Bytes pending;      // the frame arriving: bytes without a silence between them
  bool lost = false;  // part of it came while the controller was answering
  Clock::time_point lastByte{};
  const auto silence = std::chrono::milliseconds(options_.SilenceMs);
  // The frame in `pending` is over: it is served, or dropped when lost.
  auto endFrame = [&] {
    const Bytes frame = std::exchange(pending, {});
    if (std::exchange(lost, false)) {
      Discard(frame, " (lost: arrived while answering)");
    } else if (const std::optional<Clock::time_point> due = HandleFrame(frame, lastByte, arrived)) {
      // Whatever began before the reply's last byte had left is lost, and
      // so is the rest of the frame it belongs to. Bytes that begin after
      // that start a frame of their own.
      // The controller hears the line again from then on. Bytes whose
      // writing was noted are judged by the time the reply's last byte was
      // due: on a busy machine this thread may send the reply late, which a
      // controller never does, and a frame written after the reply would
      // have ended must not be lost for that. Bytes nobody noted are judged
      // by when they were read.
      const Clock::time_point replied = Clock::now();
      if (!arrived.empty() && (!arrived.front().noted || arrived.front().first < std::min(replied, *due))) {
        lost = true;
        lastByte = replied;
      }
    }
  };
  while (!stop_) {
    if (holdWanted_) {
      std::unique_lock lock(holdMutex_);
      held_ = true;
      holdChanged_.notify_all();
      holdChanged_.wait(lock, [&] { return !holdWanted_ || stop_; });
      held_ = false;
    }
    if (arrived.empty()) {
      int wait = kIdleWaitMs;
      if (!pending.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastByte + silence - Clock::now());
        wait = std::max(0, static_cast<int>(left.count()));
      }
      Read(arrived, wait);
    }
    while (!arrived.empty() && !stop_) {
      LineJournal::Piece piece = std::move(arrived.front());
      arrived.pop_front();
      // A run written after a silence begins a frame, however late it was
      // read; runs nobody noted are timed by their reading alone.
      if (!pending.empty() && piece.noted && piece.first - lastByte >= silence) endFrame();
      lastByte = pending.empty() && !lost ? piece.last : std::max(lastByte, piece.last);
      pending.insert(pending.end(), piece.bytes.begin(), piece.bytes.end());
    }
    if (!pending.empty() && Clock::now() - lastByte >= silence) endFrame();
    Advance(Clock::now());
  }
}

void SimController::HoldReader() {
  std::unique_lock lock(holdMutex_);
  holdWanted_ = true;
  holdChanged_.wait(lock, [&] { return held_ || stop_ || !Running(); });
}

void SimController::ReleaseReader() {
  {
    std::lock_guard lock(holdMutex_);
    holdWanted_ = false;
  }
  holdChanged_.notify_all();
}

void SimController::Read(Arrivals& arrived, int timeoutMs) {
  Bytes bytes;
  if (!pty_->Receive(bytes, timeoutMs)) return;
  for (LineJournal::Piece& piece : journal_->Split(bytes, Clock::now())) arrived.push_back(std::move(piece));
}

std::optional<SimController::Clock::time_point> SimController::HandleFrame(const Bytes& frame, Clock::time_point end,
                                                                           Arrivals& arrivedMeanwhile) {
  if (!CrcMatches(frame.data(), frame.size())) {
    Discard(frame, " (no valid frame, ignored)");
    return std::nullopt;
  }
  ++framesReceived_;
  std::optional<Bytes> reply;
  std::uint32_t delayMs = 0;
  {
    std::lock_guard lock(mutex_);
    if (faults_.NoReply || Clock::now() < silentUntil_) {
      TraceBytes("<- ", frame, faults_.NoReply ? " (not answering)" : " (restarting)");
      return std::nullopt;
    }
    if (SilentOn(frame)) {
      TraceBytes("<- ", frame, " (register not answered)");
      return std::nullopt;
    }
    TraceBytes("<- ", frame);
    reply = sim::Serve(model_, frame);
    if (model_.TakeRestart()) silentUntil_ = Clock::now() + std::chrono::milliseconds(options_.RestartMs);
    if (reply && faults_.ReplyAddress) {
      (*reply)[0] = *faults_.ReplyAddress;
      reply->resize(reply->size() - 2);
      AppendCrc(*reply);
    }
    if (reply && faults_.BadCrcFraction > 0.0 &&
        std::uniform_real_distribution<double>(0.0, 1.0)(faultRandom_) < faults_.BadCrcFraction) {
      reply->back() ^= 0x5A;
    }
    delayMs = faults_.ReplyDelayMs;
  }
  if (!reply) return std::nullopt;
  const auto due = end + std::chrono::milliseconds(delayMs);
  while (!stop_ && Clock::now() < due) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
    Read(arrivedMeanwhile, static_cast<int>(std::min<std::int64_t>(left.count(), 5)));
  }
  TransmitOnTheWire(*reply, arrivedMeanwhile);
  TraceBytes("-> ", *reply);
  return due + std::chrono::microseconds(options_.ByteTimeUs) * static_cast<int>(reply->size());
}

// Byte k leaves the line one byte time after byte k - 1: the master sees
// the reply arrive at the line's pace, as from a real controller.
// A request is lost when any of it arrives before the reply's last byte has
// left: the looks for it come right before each byte goes out.
void SimController::TransmitOnTheWire(const Bytes& reply, Arrivals& arrivedMeanwhile) {
  if (options_.ByteTimeUs == 0) {
    Read(arrivedMeanwhile, 0);
    pty_->Transmit(reply);
    return;
  }
  const auto byteTime = std::chrono::microseconds(options_.ByteTimeUs);
  const Clock::time_point start = Clock::now();
  for (std::size_t k = 0; k < reply.size() && !stop_; ++k) {
    std::this_thread::sleep_until(start + byteTime * static_cast<int>(k + 1));
    Read(arrivedMeanwhile, 0);
    pty_->Transmit(Bytes{reply[k]});
  }
}

void SimController::Discard(const Bytes& bytes, const char* note) {
  ++framesDiscarded_;
  std::lock_guard lock(mutex_);
  TraceBytes("<? ", bytes, note);
}

void SimController::TraceBytes(const char* prefix, const Bytes& bytes, const char* note) const {
  if (!options_.Trace) return;
  std::string line = prefix;
  char hex[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
    line += hex;
  }
  line += note;
  options_.Trace(line);
}

}  // namespace karvo::sim
