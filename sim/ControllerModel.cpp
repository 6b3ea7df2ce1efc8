#include "sim/ControllerModel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <utility>

#include "modbus/Registers.h"

namespace karvo::sim {
namespace {

constexpr std::uint16_t kModeConfiguration = reg::ConfigurationModeEnter;
constexpr std::uint16_t kModeOperation = reg::ConfigurationModeLeave;
constexpr std::uint16_t kLargestParameterValue = 9999;
constexpr double kMaxStep = 0.25;

std::uint16_t Word(double v) { return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L)); }
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
  stored_[reg::ProportionalBand] = 20;  // ºC
  stored_[reg::IntegralTime] = 360;     // s
  stored_[reg::DerivativeTime] = 30;    // s
  stored_[reg::SetpointLowLimit] = 0;
  stored_[reg::SetpointHighLimit] = 1200;
  stored_[reg::SetpointSelect] = 0;
  stored_[reg::Setpoint1] =
      std::clamp(Word(options.StartTemperature), stored_[reg::SetpointLowLimit], stored_[reg::SetpointHighLimit]);
  stored_[reg::Setpoint2] = Word(kAmbient);
  stored_[reg::OutputHighLimit] = 1000;  // 100.0 %
  stored_[reg::RampRate] = 0;
  stored_[reg::InstrumentIdent] = kInstrumentIdent;
  stored_[reg::Programmer] = 0;
}

std::uint16_t ControllerModel::TargetSetpoint() const {
  return stored_[stored_[reg::SetpointSelect] == 0 ? reg::Setpoint1 : reg::Setpoint2];
}

bool ControllerModel::ParameterExists(std::uint32_t n) const {
  return (n >= 1 && n <= kLastParameter) || n == reg::ThermocoupleType;
}

std::optional<std::uint16_t> ControllerModel::Get(std::uint32_t reg) const {
  switch (reg) {
    case reg::ProcessValue:
      return Word(processValue_);
    case reg::TargetSetpoint:
      return TargetSetpoint();
    case reg::WorkingOutput:
      return Word(output_ * 10.0);
    case reg::WorkingSetpoint:
      return Word(workingSetpoint_);
    case reg::PContribution:
      return SignedWord(pTerm_ * 10.0);
    case reg::IContribution:
      return SignedWord(integral_ * 10.0);
    case reg::DContribution:
      return SignedWord(dTerm_ * 10.0);
    case reg::DeviceAddress:
      return address_;
    case reg::ConfigurationMode:
      return configMode_ ? kModeConfiguration : kModeOperation;
    case reg::SensorBreak:
      return sensorBreak_ ? 1 : 0;
    case reg::ThermocoupleType:
      return thermocouple_;
    default:
      break;
  }
  if (reg >= 1 && reg <= kLastParameter) return stored_[reg];
  return std::nullopt;
}

std::optional<float> ControllerModel::ParameterAsFloat(std::uint32_t n) const {
  if (!ParameterExists(n)) return std::nullopt;
  switch (n) {
    case reg::ProcessValue:
      // Measured with the display's resolution, a tenth of a degree.
      return static_cast<float>(std::round(processValue_ * 10.0) / 10.0);
    case reg::WorkingOutput:
      return static_cast<float>(output_);
    case reg::WorkingSetpoint:
      return static_cast<float>(workingSetpoint_);
    case reg::OutputHighLimit:
      return static_cast<float>(stored_[reg::OutputHighLimit] / 10.0);
    case reg::PContribution:
    case reg::IContribution:
    case reg::DContribution:
      return static_cast<float>(static_cast<std::int16_t>(*Get(n)) / 10.0);
    default:
      return static_cast<float>(*Get(n));
  }
}

Exception ControllerModel::Read(std::uint32_t first, std::uint32_t count, std::uint16_t* words) const {
  if (count < 1 || count > 125) return Exception::IllegalDataValue;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t reg = first + i;
    if (reg > 0xFFFF) return Exception::IllegalDataAddress;
    if (reg >= reg::FloatBase) {
      const std::optional<float> f = ParameterAsFloat((reg - reg::FloatBase) / 2);
      if (!f) return Exception::IllegalDataAddress;
      const auto bits = std::bit_cast<std::uint32_t>(*f);
      words[i] = static_cast<std::uint16_t>((reg - reg::FloatBase) % 2 == 0 ? bits >> 16 : bits & 0xFFFF);
    } else {
      const std::optional<std::uint16_t> w = Get(reg);
      if (!w) return Exception::IllegalDataAddress;
      words[i] = *w;
    }
  }
  return Exception::None;
}

Exception ControllerModel::Write(std::uint32_t reg, std::uint16_t value) {
  const std::uint16_t low = stored_[reg::SetpointLowLimit], high = stored_[reg::SetpointHighLimit];
  auto store = [&](std::uint32_t r, bool ok) {
    if (!ok) return Exception::IllegalDataValue;
    stored_[r] = value;
    return Exception::None;
  };
  switch (reg) {
    case reg::ProcessValue:
    case reg::WorkingOutput:
    case reg::WorkingSetpoint:
    case reg::IContribution:
    case reg::DContribution:
    case reg::InstrumentIdent:
    case reg::PContribution:
    case reg::SensorBreak:
      return Exception::IllegalDataAddress;  // read only
    case reg::TargetSetpoint:
      return store(stored_[reg::SetpointSelect] == 0 ? reg::Setpoint1 : reg::Setpoint2, Within(value, low, high));
    case reg::Setpoint1:
    case reg::Setpoint2:
      return store(reg, Within(value, low, high));
    case reg::ProportionalBand:
      return store(reg, Within(value, 1, kLargestParameterValue));
    case reg::IntegralTime:
    case reg::DerivativeTime:
    case reg::RampRate:
      return store(reg, value <= kLargestParameterValue);
    case reg::SetpointLowLimit:
    case reg::SetpointHighLimit: {
      const bool ok = reg == reg::SetpointLowLimit ? value <= high : (value >= low && value <= kLargestParameterValue);
      const Exception e = store(reg, ok);
      if (e == Exception::None) {
        for (std::uint32_t sp : {reg::Setpoint1, reg::Setpoint2})
          stored_[sp] = std::clamp(stored_[sp], stored_[reg::SetpointLowLimit], stored_[reg::SetpointHighLimit]);
      }
      return e;
    }
    case reg::SetpointSelect:
      return store(reg, value <= 1);
    case reg::OutputHighLimit: {
      const Exception e = store(reg, value <= 1000);
      // A lowered limit holds at once: the working output never reads above it.
      if (e == Exception::None) {
        output_ = std::min(output_, value / 10.0);
        integral_ = std::min(integral_, value / 10.0);
      }
      return e;
    }
    case reg::Programmer:
      return store(reg, value <= 10);
    case reg::DeviceAddress:
      if (!Within(value, 1, 254)) return Exception::IllegalDataValue;
      address_ = static_cast<std::uint8_t>(value);
      return Exception::None;
    case reg::ConfigurationMode:
      if (value == kModeConfiguration) {
        configMode_ = true;
      } else if (value == kModeOperation) {
        if (configMode_) Restart();
      } else {
        return Exception::IllegalDataValue;
      }
      return Exception::None;
    case reg::ThermocoupleType:
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
    case reg::ProcessValue:
      SetTemperature(value);
      return true;
    case reg::TargetSetpoint:
      stored_[stored_[reg::SetpointSelect] == 0 ? reg::Setpoint1 : reg::Setpoint2] = value;
      return true;
    case reg::WorkingOutput:
      output_ = value / 10.0;
      return true;
    case reg::WorkingSetpoint:
      workingSetpoint_ = value;
      return true;
    case reg::DeviceAddress:
      address_ = static_cast<std::uint8_t>(value);
      return true;
    case reg::ConfigurationMode:
      configMode_ = value == kModeConfiguration;
      return true;
    case reg::SensorBreak:
      sensorBreak_ = value != 0;
      return true;
    case reg::ThermocoupleType:
      thermocouple_ = value;
      return true;
    case reg::PContribution:
    case reg::IContribution:
    case reg::DContribution:
      return true;  // computed by the PID loop
    default:
      break;
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

void ControllerModel::SetTemperature(double t) { temperature_ = processValue_ = lastTemperature_ = t; }

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
  const double ramp = stored_[reg::RampRate];  // degrees per minute
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
  const double high = stored_[reg::OutputHighLimit] / 10.0;
  if (sensorBreak_ || configMode_) {
    output_ = integral_ = pTerm_ = dTerm_ = 0.0;
  } else {
    const double band = std::max<double>(1, stored_[reg::ProportionalBand]);
    const double kp = 100.0 / band;
    const double ti = stored_[reg::IntegralTime], td = stored_[reg::DerivativeTime];
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
    } else if (std::abs(error) < band && (unclamped < high || error < 0.0) && (unclamped > 0.0 || error > 0.0)) {
      integral_ = std::clamp(integral_ + kp * error * dt / ti, 0.0, high);
    }
    output_ = std::clamp(pTerm_ + integral_ + dTerm_, 0.0, high);
  }
  lastTemperature_ = temperature_;

  // First-order furnace: heater power against loss to the ambient.
  temperature_ += (kHeaterPower * output_ / 100.0 - kLoss * (temperature_ - kAmbient)) / kHeatCapacity * dt;
}

}  // namespace karvo::sim
