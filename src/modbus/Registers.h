#pragma once
// The controller registers the program reads and writes, in one place.
// Register numbers go into the request as written (no offset of one).

#include <cstdint>
#include <string>
#include <vector>

namespace karvo::reg {

inline constexpr std::uint32_t ProcessValue = 1;          // measured temperature, ºC
inline constexpr std::uint32_t TargetSetpoint = 2;        // ºC
inline constexpr std::uint32_t WorkingOutput = 3;         // tenths of a per cent
inline constexpr std::uint32_t WorkingSetpoint = 5;       // ºC
inline constexpr std::uint32_t ProportionalBand = 6;      // ºC
inline constexpr std::uint32_t IntegralTime = 8;          // s
inline constexpr std::uint32_t DerivativeTime = 9;        // s
inline constexpr std::uint32_t SetpointLowLimit = 11;     // ºC
inline constexpr std::uint32_t SetpointHighLimit = 12;    // ºC
inline constexpr std::uint32_t OutputHighLimit = 30;      // tenths of a per cent
inline constexpr std::uint32_t RampRate = 35;             // controller's ramp unit
inline constexpr std::uint32_t DeviceAddress = 131;       // the controller's Modbus address
inline constexpr std::uint32_t ConfigurationMode = 199;   // 2 enter, 0 leave (restarts)
inline constexpr std::uint32_t SensorBreak = 258;         // 1 = broken sensor
inline constexpr std::uint32_t Programmer = 320;          // 0 off, 10 timer/programmer
inline constexpr std::uint32_t ThermocoupleType = 12290;  // 0 = J .. 7 = S

// Named only in the model catalogue; the program reaches them through the
// debug page's register access.
inline constexpr std::uint32_t SetpointSelect = 15;  // 0 = SP1, 1 = SP2
inline constexpr std::uint32_t Setpoint1 = 24;       // ºC
inline constexpr std::uint32_t Setpoint2 = 25;       // ºC
inline constexpr std::uint32_t IContribution = 55;   // tenths of a per cent
inline constexpr std::uint32_t DContribution = 116;  // tenths of a per cent
inline constexpr std::uint32_t InstrumentIdent = 122;
inline constexpr std::uint32_t PContribution = 214;  // tenths of a per cent

// Parameter n as a 32-bit float: registers FloatBase + 2n and FloatBase + 2n + 1.
inline constexpr std::uint32_t FloatBase = 0x8000;

inline constexpr std::uint32_t ConfigurationModeEnter = 2;
inline constexpr std::uint32_t ConfigurationModeLeave = 0;
inline constexpr std::uint32_t ProgrammerOff = 0;
inline constexpr std::uint32_t ProgrammerManual = 10;
// The thermocouple types in the order of register 12290.
inline constexpr const char* ThermocoupleNames[] = {"J", "K", "L", "R", "B", "N", "T", "S"};

}  // namespace karvo::reg

namespace karvo {

// One controller model's register numbers (catalogue record).
struct TControllerAddresses {
  std::string Model;
  std::uint32_t Temperature = 0;
  std::uint32_t TargetSetpoint = 0;
  std::uint32_t WorkingSetPoint = 0;
  std::uint32_t SPSelected = 0;
  std::uint32_t SP1 = 0;
  std::uint32_t SP2 = 0;
  std::uint32_t Proportional = 0;
  std::uint32_t Integral = 0;
  std::uint32_t Derivate = 0;
  std::uint32_t WorkingOutput = 0;
  std::uint32_t RampRate = 0;
  std::uint32_t PContribute = 0;
  std::uint32_t IContribute = 0;
  std::uint32_t DContribute = 0;
  std::uint32_t ThermocoupleType = 0;
  std::uint32_t ModelAddr = 0;
};

// The model catalogue, filled once for the life of the program. It is
// informative only: the operations use the reg:: numbers above.
const std::vector<TControllerAddresses>& ControllerCatalogue();

}  // namespace karvo
