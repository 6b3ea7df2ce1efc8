#pragma once
// A simulated controller that runs outside the test program, started by the
// test harness: the Wine stage of the native build (tests/wine) runs a
// native karvo-sim on a pseudo-terminal, maps it into its Wine prefix as a
// COM port and tells the Windows test programs about it in the environment:
//
//   KARVO_SIM_COM         the port name, e.g. COM9
//   KARVO_SIM_ADDRESS     the controller's Modbus device address
//   KARVO_SIM_START_TEMP  its start temperature in whole ºC, which is also
//                         its target and working setpoint
//
// Tests on it derive their fixture from OnHarnessSim. They skip when
// KARVO_SIM_COM is absent (the program was started by hand, without the
// harness) and fail when it is present but the settings do not parse. One
// simulator serves every test program of the stage in turn, so tests leave
// its target setpoint alone and put back what else they change.

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace karvo::testing {

struct HarnessSimSettings {
  std::string Com;
  std::uint32_t Address = 0;
  int StartTemperature = 0;
};

class OnHarnessSim : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* com = std::getenv("KARVO_SIM_COM");
    if (com == nullptr || *com == '\0') {
      GTEST_SKIP() << "KARVO_SIM_COM is not set: no simulated controller to talk to "
                      "(the Wine stage of the native ctest run starts one)";
    }
    sim.Com = com;
    ReadNumber("KARVO_SIM_ADDRESS", 1, 254, sim.Address);
    ReadNumber("KARVO_SIM_START_TEMP", 0, 1200, sim.StartTemperature);
  }

  HarnessSimSettings sim;

 private:
  template <class T>
  static void ReadNumber(const char* variable, int lo, int hi, T& out) {
    const char* text = std::getenv(variable);
    const std::string_view s = text ? text : "";
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    ASSERT_TRUE(!s.empty() && ec == std::errc() && end == s.data() + s.size() && value >= lo && value <= hi)
        << variable << " must be a whole number from " << lo << " to " << hi << ", not \"" << s << '"';
    out = static_cast<T>(value);
  }
};

}  // namespace karvo::testing
