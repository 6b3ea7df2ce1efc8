#pragma once
// The simulated controller's state: its register set and a furnace with a
// PID loop behind it. Not thread-safe; SimController guards it with a lock.
//
// The furnace is a first-order thermal model: a heat capacity that loses
// heat to a 20 ºC ambient and gains it from a heater whose power follows the
// working output. The working setpoint ramps toward the target setpoint at
// the ramp rate (register 35, degrees per minute, 0 = step at once), and a
// PID loop computes the working output (0 .. output high limit) from the
// working setpoint and the furnace temperature. The measured value carries
// about ±0.1 ºC of noise; as a float (parameter 1) it has the display's
// resolution of 0.1 ºC.

#include <array>
#include <cstdint>
#include <optional>
#include <random>

namespace karvo::sim {

// Modbus exception codes the controller answers with.
enum class Exception : std::uint8_t {
  None = 0,
  IllegalFunction = 1,
  IllegalDataAddress = 2,
  IllegalDataValue = 3,
};

struct ModelOptions {
  std::uint8_t Address = 1;        // the controller's Modbus address (register 131)
  double StartTemperature = 20.0;  // ºC; the target setpoint starts here too
  std::uint32_t Seed = 1;          // noise generator
};

class ControllerModel {
 public:
  static constexpr double kAmbient = 20.0;         // ºC
  static constexpr double kHeatCapacity = 1800.0;  // J/K
  static constexpr double kLoss = 1.0;             // W/K
  static constexpr double kHeaterPower = 1400.0;   // W at 100 % output
  static constexpr double kNoise = 0.1;            // ºC, half width
  static constexpr std::uint32_t kLastParameter = 576;
  static constexpr std::uint16_t kInstrumentIdent = 2400;  // register 122

  explicit ControllerModel(const ModelOptions& options = {});
  // The same state throughout: registers, furnace, loop and noise.
  bool operator==(const ControllerModel&) const = default;

  // Reads `count` registers from `first` into `words` (which must hold
  // count elements). Exception 3 for a count outside 1..125, exception 2
  // when one of the registers does not exist.
  Exception Read(std::uint32_t first, std::uint32_t count, std::uint16_t* words) const;
  // A write from the serial line, with the controller's checks: exception 2
  // for a register it does not have or one that cannot be written,
  // exception 3 for a value out of range or not accepted in this mode.
  Exception Write(std::uint32_t reg, std::uint16_t value);
  // Sets a register as the front panel would, without the range checks
  // (registers 1, 5 and 258 set the temperature, the working setpoint and
  // the sensor break). False for a register the controller does not have.
  bool Set(std::uint32_t reg, std::uint16_t value);
  // The word a register reads as; nothing for a register it does not have.
  std::optional<std::uint16_t> Get(std::uint32_t reg) const;
  // Parameter n as the float its registers 0x8000 + 2n, + 1 carry.
  std::optional<float> ParameterAsFloat(std::uint32_t n) const;

  // Runs the furnace and the PID loop for `seconds` of simulated time.
  void Advance(double seconds);

  std::uint8_t Address() const { return address_; }
  double Temperature() const { return temperature_; }
  // Puts the furnace at `t` ºC at once (the measured value too).
  void SetTemperature(double t);
  double ProcessValue() const { return processValue_; }
  double WorkingSetpoint() const { return workingSetpoint_; }
  double OutputPercent() const { return output_; }
  bool SensorBreak() const { return sensorBreak_; }
  void SetSensorBreak(bool on) { sensorBreak_ = on; }
  bool ConfigurationMode() const { return configMode_; }

  // True once after a write of 0 to register 199 ended configuration mode:
  // the controller restarts and stays silent for a while.
  bool TakeRestart();

 private:
  std::uint16_t TargetSetpoint() const;
  bool ParameterExists(std::uint32_t n) const;
  void Restart();
  void Step(double dt);

  // Registers 1..576 that hold plain stored values; the live ones are
  // computed in Get().
  std::array<std::uint16_t, kLastParameter + 1> stored_{};
  std::uint16_t thermocouple_ = 1;  // K
  std::uint8_t address_;
  bool configMode_ = false;
  bool sensorBreak_ = false;
  bool restartPending_ = false;

  double temperature_;
  double processValue_;
  double workingSetpoint_;
  double output_ = 0.0;    // per cent
  double integral_ = 0.0;  // the I part of the output, per cent
  double pTerm_ = 0.0, dTerm_ = 0.0;
  double lastTemperature_;
  std::mt19937 noise_;
};

}  // namespace karvo::sim
