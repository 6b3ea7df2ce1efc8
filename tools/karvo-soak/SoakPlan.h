#pragma once
// What a soak run does: the instructions program it enters, the hold
// requests a cooperating program makes, the faults the simulated controller
// and the machine show on a schedule, and the time zone whose daylight
// saving changes both fall inside the run. Everything follows from the
// number of days and the seed, so a run can be repeated exactly.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Types.h"

namespace karvo::soak {

enum class FaultKind {
  Silence,        // the controller answers nothing (1 s to 10 min)
  BadCrc,         // a burst of replies with a corrupted CRC
  LateReply,      // replies after the reply delay in Param ms
  SensorBreak,    // register 258 reads 1, the output drops
  OtherAddress,   // replies carry another device's address
  ConfigRestart,  // a restart (silent) that comes up in configuration mode
  PulledAdapter,  // the pseudo-terminal vanishes and comes back
  StoreRefuses,   // the store refuses the stable segment's value
  DiskRefuses,    // the disk refuses the run journal's writes
};
inline constexpr int kFaultKinds = 9;
const char* FaultName(FaultKind kind);

struct FaultEvent {
  double At = 0.0;       // seconds after the run's start
  double Seconds = 0.0;  // how long it lasts
  FaultKind Kind = FaultKind::Silence;
  double Param = 0.0;  // LateReply: the delay in ms
};

struct Segment {
  int Setpoint = 0;  // ºC
  int RampRate = 0;  // ºC per minute
  int DwellMinutes = 0;
};

// A cooperating program asks to hold segment `Segment` for `Minutes` once
// the window reports it stable.
struct HoldPlan {
  int Segment = 0;
  double Minutes = 0.0;
};

struct Plan {
  double Days = 0.0;
  TDateTime StartUtc = 0.0;  // the run's first instant
  std::string TimeZone;      // a POSIX TZ value with both changes inside the run
  TDateTime DstBeginsUtc = 0.0, DstEndsUtc = 0.0;
  std::vector<Segment> Segments;  // segment 1 first
  std::vector<HoldPlan> Holds;
  std::vector<FaultEvent> Faults;  // in order of time, none overlapping
  // The program killed with SIGKILL: seconds after the run's start (each
  // outside every fault and the hour after it), the real milliseconds into
  // that tick's poll, and the simulated seconds until the operator has
  // started the program again.
  struct Kill {
    double At = 0.0;
    int IntoPollMs = 0;
    double RestartSeconds = 0.0;
  };
  std::vector<Kill> Kills;
  // The window's stability and output limit settings.
  int StableTemperature = 3;  // ºC
  int StableSlopeSeconds = 120;
  double MaxRateOfChange = 0.5;  // ºC/min
  int MinimumSteadyMinutes = 5;
  int TransitionTemperature = 500, LowPower = 40, HighPower = 100;  // ºC, %, %
};

// The plan of a run of `days` simulated days (at least 1/24) from `seed`.
// `faults` false gives a run without any.
Plan MakePlan(double days, std::uint32_t seed, bool faults);

}  // namespace karvo::soak
