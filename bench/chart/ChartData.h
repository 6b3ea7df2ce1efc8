#pragma once
// Furnace-like data for the chart benchmarks: five values per sample, one
// sample every five seconds.

#include <algorithm>
#include <cmath>
#include <random>

namespace karvo::bench {

inline constexpr double kStart = 45600.0 + 8.0 / 24;
inline constexpr double kStep = 5.0 / 86400.0;

struct SampleSource {
  std::mt19937 rng{17};
  std::normal_distribution<double> noise{0.0, 1.0};
  double temperature = 20.0;
  long i = 0;
  // time, temperature, target setpoint, working setpoint, working output
  void Next(double out[5]) {
    const double hours = static_cast<double>(i) * 5.0 / 3600;
    const double target = 600 + 400 * std::sin(hours / 20);
    temperature += 0.02 * (target - temperature) + noise(rng) * 0.3;
    out[0] = kStart + static_cast<double>(i) * kStep;
    out[1] = temperature + noise(rng) * 0.5;
    out[2] = std::round(target / 50) * 50;
    out[3] = std::round(target);
    out[4] = std::clamp(50 + (target - temperature) * 2 + noise(rng), 0.0, 100.0);
    ++i;
  }
};

}  // namespace karvo::bench
