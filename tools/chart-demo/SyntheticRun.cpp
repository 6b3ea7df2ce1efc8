#include "SyntheticRun.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace karvo::demo {

namespace {

struct Segment {
  double setpoint;  // ºC
  double rampPerHour;
  double dwellHours;
};

}  // namespace

void GenerateRun(TDateTime start, double days, const std::function<void(const Sample&)>& sink) {
  const Segment programme[] = {{450, 150, 8}, {850, 100, 14}, {1050, 60, 20}, {600, 120, 10}, {40, 200, 100}};
  std::mt19937 rng(2024);
  std::normal_distribution<double> noise(0.0, 0.35);
  const double dt = 5.0;  // seconds
  const auto samples = static_cast<long>(days * 86400.0 / dt);
  double temperature = 22.0, working = 22.0, integral = 0.0;
  std::size_t segment = 0;
  double dwellLeft = programme[0].dwellHours * 3600.0;
  for (long i = 0; i < samples; ++i) {
    const Segment& s = programme[std::min(segment, std::size(programme) - 1)];
    // The working setpoint ramps towards the segment's setpoint.
    const double step = s.rampPerHour / 3600.0 * dt;
    if (working < s.setpoint)
      working = std::min(s.setpoint, working + step);
    else if (working > s.setpoint)
      working = std::max(s.setpoint, working - step);
    if (working == s.setpoint && std::fabs(temperature - s.setpoint) < 3.0) {
      dwellLeft -= dt;
      if (dwellLeft <= 0 && segment + 1 < std::size(programme)) {
        ++segment;
        dwellLeft = programme[segment].dwellHours * 3600.0;
      }
    }
    // PI controller and a first-order furnace with losses to 20 ºC.
    const double error = working - temperature;
    integral = std::clamp(integral + error * dt / 300.0, 0.0, 100.0);
    const double output = std::clamp(8.0 * error + integral, 0.0, 100.0);
    temperature += dt * (output * 0.0075 - (temperature - 20.0) * 0.00042) / 3.0;
    sink({start + i * dt / 86400.0, temperature + noise(rng), s.setpoint, std::round(working),
          std::round(output * 10.0) / 10.0});
  }
}

}  // namespace karvo::demo
