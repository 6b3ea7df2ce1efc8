#pragma once
// A synthetic furnace run: a segment programme (ramps and dwells) followed
// by a simple thermal model, sampled every five seconds.

#include <functional>

#include "common/Types.h"

namespace karvo::demo {

struct Sample {
  TDateTime time;
  double temperature;      // ºC
  double targetSetpoint;   // ºC
  double workingSetpoint;  // ºC
  double workingOutput;    // % of maximum power
};

// Calls `sink` for `days` of samples starting at `start`.
void GenerateRun(TDateTime start, double days, const std::function<void(const Sample&)>& sink);

}  // namespace karvo::demo
