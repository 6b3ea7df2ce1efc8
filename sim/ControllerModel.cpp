#include "sim/ControllerModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

namespace karvo::sim {
namespace {

// Registers with a meaning of their own.
constexpr std::uint32_t kProcessValue = 1;
constexpr std::uint32_t kTargetSetpoint = 2;
constexpr std::uint32_t kWorkingOutput = 3;
constexpr std::uint32_t kWorkingSetpoint = 5;
constexpr std::uint32_t kProportionalBand = 6;
constexpr std::uint32_t kIntegralTime = 8;
constexpr std::uint32_t kDerivativeTime = 9;
constexpr std::uint32_t kSetpointLow = 11;
constexpr std::uint32_t kSetpointHigh = 12;
constexpr std::uint32_t kSetpointSelect = 15;
constexpr std::uint32_t kSetpoint1 = 24;
constexpr std::uint32_t kSetpoint2 = 25;
constexpr std::uint32_t kOutputHigh = 30;
constexpr std::uint32_t kRampRate = 35;
constexpr std::uint32_t kIContribution = 55;
constexpr std::uint32_t kDContribution = 116;
constexpr std::uint32_t kInstrumentIdent = 122;
constexpr std::uint32_t kAddress = 131;
constexpr std::uint32_t kMode = 199;
constexpr std::uint32_t kPContribution = 214;
constexpr std::uint32_t kSensorBreak = 258;
constexpr std::uint32_t kProgrammer = 320;
constexpr std::uint32_t kThermocouple = 12290;

constexpr std::uint16_t kModeConfiguration = 2;
constexpr std::uint16_t kModeOperation = 0;
constexpr std::uint16_t kLargestParameterValue = 9999;
constexpr double kMaxStep = 0.25;

std::uint16_t Word(double v) {
  return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
}
// A value that may be negative, as the controller shows it: 16-bit two's
// complement.
std::uint16_t SignedWord(double v) {
  return static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
}
bool Within(std::uint16_t v, std::uint16_t lo, std::uint16_t hi) { return v >= lo && v <= hi; }

}  // namespace

ControllerModel::ControllerModel(const ModelOptions& options)
    : address_(options.Address),
      temperature_(options.StartTemperature),
      processValue_(options.StartTemperature),
      workingSetpoint_(options.StartTemperature),
      lastTemperature_(options.StartTemperature),
      noise_(options.Seed) {
  stored_[kProportionalBand] = 20;   // ºC
  stored_[kIntegralTime] = 360;      // s
  stored_[kDerivativeTime] = 30;     // s
  stored_[kSetpointLow] = 0;
  stored_[kSetpointHigh] = 1200;
  stored_[kSetpointSelect] = 0;
  stored_[kSetpoint1] = std::clamp(Word(options.StartTemperature), stored_[kSetpointLow],
                                   stored_[kSetpointHigh]);
  stored_[kSetpoint2] = Word(kAmbient);
  stored_[kOutputHigh] = 1000;       // 100.0 %
  stored_[kRampRate] = 0;
  stored_[kInstrumentIdent] = kInstrumentIdent;
  stored_[kProgrammer] = 0;
}

std::uint16_t ControllerModel::TargetSetpoint() const {
  return stored_[stored_[kSetpointSelect] == 0 ? kSetpoint1 : kSetpoint2];
}

bool ControllerModel::ParameterExists(std::uint32_t n) const {
  return (n >= 1 && n <= kLastParameter) || n == kThermocouple;
}

std::optional<std::uint16_t> ControllerModel::Get(std::uint32_t reg) const {
  switch (reg) {
    case kProcessValue: return Word(processValue_);
    case kTargetSetpoint: return TargetSetpoint();
    case kWorkingOutput: return Word(output_ * 10.0);
    case kWorkingSetpoint: return Word(workingSetpoint_);
    case kPContribution: return SignedWord(pTerm_ * 10.0);
    case kIContribution: return SignedWord(integral_ * 10.0);
    case kDContribution: return SignedWord(dTerm_ * 10.0);
    case kAddress: return address_;
    case kMode: return configMode_ ? kModeConfiguration : kModeOperation;
    case kSensorBreak: return sensorBreak_ ? 1 : 0;
    case kThermocouple: return thermocouple_;
    default: break;
  }
  if (reg >= 1 && reg <= kLastParameter) return stored_[reg];
  return std::nullopt;
}

std::optional<float> ControllerModel::ParameterAsFloat(std::uint32_t n) const {
  if (!ParameterExists(n)) return std::nullopt;
  switch (n) {
    case kProcessValue: return static_cast<float>(processValue_);
    case kWorkingOutput: return static_cast<float>(output_);
    case kWorkingSetpoint: return static_cast<float>(workingSetpoint_);
    case kOutputHigh: return static_cast<float>(stored_[kOutputHigh] / 10.0);
    case kPContribution:
    case kIContribution:
    case kDContribution:
      return static_cast<float>(static_cast<std::int16_t>(*Get(n)) / 10.0);
    default: return static_cast<float>(*Get(n));
  }
}

Exception ControllerModel::Read(std::uint32_t first, std::uint32_t count, std::uint16_t* words) const {
  if (count < 1 || count > 125) return Exception::IllegalDataValue;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t reg = first + i;
    if (reg > 0xFFFF) return Exception::IllegalDataAddress;
    if (reg >= kFloatBase) {
      const std::optional<float> f = ParameterAsFloat((reg - kFloatBase) / 2);
      if (!f) return Exception::IllegalDataAddress;
      const auto bits = std::bit_cast<std::uint32_t>(*f);
      words[i] = static_cast<std::uint16_t>((reg - kFloatBase) % 2 == 0 ? bits >> 16 : bits & 0xFFFF);
    } else {
      const std::optional<std::uint16_t> w = Get(reg);
      if (!w) return Exception::IllegalDataAddress;
      words[i] = *w;
    }
  }
  return Exception::None;
}

Exception ControllerModel::Write(std::uint32_t reg, std::uint16_t value) {
  const std::uint16_t low = stored_[kSetpointLow], high = stored_[kSetpointHigh];
  auto store = [&](std::uint32_t r, bool ok) {
    if (!ok) return Exception::IllegalDataValue;
    stored_[r] = value;
    return Exception::None;
  };
  switch (reg) {
    case kProcessValue:
    case kWorkingOutput:
    case kWorkingSetpoint:
    case kIContribution:
    case kDContribution:
    case kInstrumentIdent:
    case kPContribution:
    case kSensorBreak:
      return Exception::IllegalDataAddress;  // read only
    case kTargetSetpoint:
      return store(stored_[kSetpointSelect] == 0 ? kSetpoint1 : kSetpoint2, Within(value, low, high));
    case kSetpoint1:
    case kSetpoint2:
      return store(reg, Within(value, low, high));
    case kProportionalBand:
      return store(reg, Within(value, 1, kLargestParameterValue));
    case kIntegralTime:
    case kDerivativeTime:
    case kRampRate:
      return store(reg, value <= kLargestParameterValue);
    case kSetpointLow:
    case kSetpointHigh: {
      const bool ok = reg == kSetpointLow ? value <= high : (value >= low && value <= kLargestParameterValue);
      const Exception e = store(reg, ok);
      if (e == Exception::None) {
        for (std::uint32_t sp : {kSetpoint1, kSetpoint2})
          stored_[sp] = std::clamp(stored_[sp], stored_[kSetpointLow], stored_[kSetpointHigh]);
      }
      return e;
    }
    case kSetpointSelect:
      return store(reg, value <= 1);
    case kOutputHigh:
      return store(reg, value <= 1000);
    case kProgrammer:
      return store(reg, value <= 10);
    case kAddress:
      if (!Within(value, 1, 254)) return Exception::IllegalDataValue;
      address_ = static_cast<std::uint8_t>(value);
      return Exception::None;
    case kMode:
      if (value == kModeConfiguration) {
        configMode_ = true;
      } else if (value == kModeOperation) {
        if (configMode_) Restart();
      } else {
        return Exception::IllegalDataValue;
      }
      return Exception::None;
    case kThermocouple:
      if (!configMode_ || value > 7) return Exception::IllegalDataValue;
      thermocouple_ = value;
      return Exception::None;
    default:
      if (reg >= 1 && reg <= kLastParameter) return store(reg, true);
      return Exception::IllegalDataAddress;
  }
}

bool ControllerModel::Set(std::uint32_t reg, std::uint16_t value) {
  switch (reg) {
    case kProcessValue:
      temperature_ = processValue_ = lastTemperature_ = value;
      return true;
    case kTargetSetpoint:
      stored_[stored_[kSetpointSelect] == 0 ? kSetpoint1 : kSetpoint2] = value;
      return true;
    case kWorkingOutput: output_ = value / 10.0; return true;
    case kWorkingSetpoint: workingSetpoint_ = value; return true;
    case kAddress: address_ = static_cast<std::uint8_t>(value); return true;
    case kMode: configMode_ = value == kModeConfiguration; return true;
    case kSensorBreak: sensorBreak_ = value != 0; return true;
    case kThermocouple: thermocouple_ = value; return true;
    case kPContribution:
    case kIContribution:
    case kDContribution:
      return true;  // computed by the PID loop
    default: break;
  }
  if (reg < 1 || reg > kLastParameter) return false;
  stored_[reg] = value;
  return true;
}

void ControllerModel::Restart() {
  configMode_ = false;
  restartPending_ = true;
  workingSetpoint_ = temperature_;
  integral_ = pTerm_ = dTerm_ = 0.0;
}

bool ControllerModel::TakeRestart() { return std::exchange(restartPending_, false); }

void ControllerModel::Advance(double seconds) {
  while (seconds > 0.0) {
    const double dt = std::min(seconds, kMaxStep);
    Step(dt);
    seconds -= dt;
  }
  std::uniform_real_distribution<double> noise(-kNoise, kNoise);
  processValue_ = temperature_ + noise(noise_);
}

void ControllerModel::Step(double dt) {
  // The working setpoint follows the target at the ramp rate.
  const double target = TargetSetpoint();
  const double ramp = stored_[kRampRate];  // degrees per minute
  if (ramp == 0.0) {
    workingSetpoint_ = target;
  } else {
    const double step = ramp / 60.0 * dt;
    workingSetpoint_ = workingSetpoint_ < target ? std::min(target, workingSetpoint_ + step)
                                                 : std::max(target, workingSetpoint_ - step);
  }

  // PID on the furnace temperature; derivative on the measurement. The
  // integral works only within the proportional band and while the output
  // is not pinned at a limit, so that it does not wind up on the way.
  const double high = stored_[kOutputHigh] / 10.0;
  if (sensorBreak_ || configMode_) {
    output_ = integral_ = pTerm_ = dTerm_ = 0.0;
  } else {
    const double band = std::max<double>(1, stored_[kProportionalBand]);
    const double kp = 100.0 / band;
    const double ti = stored_[kIntegralTime], td = stored_[kDerivativeTime];
    const double error = workingSetpoint_ - temperature_;
    pTerm_ = kp * error;
    // The derivative is filtered over an eighth of the derivative time, as
    // controllers do; unfiltered it would chatter from step to step.
    const double filter = std::max(td / 8.0, 1.0);
    const double rawD = -kp * td * (temperature_ - lastTemperature_) / dt;
    dTerm_ += (rawD - dTerm_) * dt / (filter + dt);
    const double unclamped = pTerm_ + integral_ + dTerm_;
    if (ti <= 0.0) {
      integral_ = 0.0;
    } else if (std::abs(error) < band && (unclamped < high || error < 0.0) &&
               (unclamped > 0.0 || error > 0.0)) {
      integral_ = std::clamp(integral_ + kp * error * dt / ti, 0.0, high);
    }
    output_ = std::clamp(pTerm_ + integral_ + dTerm_, 0.0, high);
  }
  lastTemperature_ = temperature_;

  // First-order furnace: heater power against loss to the ambient.
  temperature_ += (kHeaterPower * output_ / 100.0 - kLoss * (temperature_ - kAmbient)) / kHeatCapacity * dt;
}

}  // namespace karvo::sim
