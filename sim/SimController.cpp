#include "sim/SimController.h"

#include <cstdio>
#include <stdexcept>

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
  pty_ = std::move(pty);
  stop_ = false;
  thread_ = std::thread([this] { ServeLoop(); });
}

void SimController::Stop() {
  if (!Running()) return;
  stop_ = true;
  thread_.join();
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

void SimController::Advance(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  const double real = std::chrono::duration<double>(now - lastAdvance_).count();
  lastAdvance_ = now;
  if (real > 0.0) model_.Advance(real * options_.Speed);
}

void SimController::ServeLoop() {
  Bytes pending;
  Clock::time_point lastByte{};
  const auto silence = std::chrono::milliseconds(options_.SilenceMs);
  while (!stop_) {
    const int wait = pending.empty() ? kIdleWaitMs : static_cast<int>(options_.SilenceMs);
    if (pty_->Receive(pending, wait)) lastByte = Clock::now();
    const Clock::time_point now = Clock::now();
    if (!pending.empty() && now - lastByte >= silence) {
      HandleChunk(pending);
      pending.clear();
    }
    Advance(Clock::now());
  }
}

// Requests that came back to back, without a silence between them, are
// all executed, but only the last is answered: a master that sends the
// next request at once has stopped listening for the reply to the one
// before (on a pseudo-terminal it has even closed the port in between, and
// a late reply would land in the next exchange).
void SimController::HandleChunk(const Bytes& chunk) {
  const std::vector<Bytes> frames = SplitFrames(chunk);
  std::size_t used = 0;
  for (const Bytes& request : frames) {
    used += request.size();
    const bool followed = &request != &frames.back();
    ++framesReceived_;
    std::optional<Bytes> reply;
    std::uint32_t delayMs = 0;
    {
      std::lock_guard lock(mutex_);
      if (faults_.NoReply || Clock::now() < silentUntil_) {
        TraceBytes("<- ", request, faults_.NoReply ? " (not answering)" : " (restarting)");
        continue;
      }
      TraceBytes("<- ", request);
      reply = sim::Serve(model_, request);
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
    if (!reply || followed) continue;
    for (const auto until = Clock::now() + std::chrono::milliseconds(delayMs); !stop_ && Clock::now() < until;)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    TraceBytes("-> ", *reply);
    pty_->Transmit(*reply);
  }
  if (used < chunk.size()) {
    std::lock_guard lock(mutex_);
    TraceBytes("<- ", Bytes(chunk.begin() + static_cast<std::ptrdiff_t>(used), chunk.end()),
               " (no valid frame, ignored)");
  }
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
