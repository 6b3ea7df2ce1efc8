#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "sim/ControllerModel.h"

using karvo::sim::ControllerModel;
using karvo::sim::Exception;

namespace {

std::uint16_t Read1(const ControllerModel& m, std::uint32_t reg) {
  std::uint16_t w = 0;
  EXPECT_EQ(m.Read(reg, 1, &w), Exception::None) << "register " << reg;
  return w;
}

float ReadFloat(const ControllerModel& m, std::uint32_t parameter) {
  std::uint16_t w[2] = {};
  EXPECT_EQ(m.Read(0x8000 + 2 * parameter, 2, w), Exception::None);
  return std::bit_cast<float>(static_cast<std::uint32_t>(w[0]) << 16 | w[1]);
}

}  // namespace

TEST(ControllerModel, WritesAreCheckedAsTheControllerChecksThem) {
  struct Case {
    const char* what;
    std::uint32_t reg;
    std::uint16_t value;
    Exception expected;
  };
  // Setpoint limits 0..1200 by default.
  const Case cases[] = {
      {"target setpoint inside the limits", 2, 850, Exception::None},
      {"target setpoint at the upper limit", 2, 1200, Exception::None},
      {"target setpoint above the limits", 2, 1201, Exception::IllegalDataValue},
      {"ramp rate", 35, 10, Exception::None},
      {"output high limit 100.0 %", 30, 1000, Exception::None},
      {"output high limit above 100 %", 30, 1001, Exception::IllegalDataValue},
      {"proportional band 0", 6, 0, Exception::IllegalDataValue},
      {"lower limit above the upper", 11, 1300, Exception::IllegalDataValue},
      {"process value is read only", 1, 10, Exception::IllegalDataAddress},
      {"working output is read only", 3, 10, Exception::IllegalDataAddress},
      {"sensor break is read only", 258, 1, Exception::IllegalDataAddress},
      {"address 0", 131, 0, Exception::IllegalDataValue},
      {"mode other than 0 and 2", 199, 5, Exception::IllegalDataValue},
      {"thermocouple outside configuration mode", 12290, 3, Exception::IllegalDataValue},
      {"programmer manual", 320, 10, Exception::None},
      {"a plain parameter", 400, 1234, Exception::None},
      {"a register it does not have", 577, 1, Exception::IllegalDataAddress},
      {"register 0", 0, 1, Exception::IllegalDataAddress},
      {"the float area", 0x8002, 1, Exception::IllegalDataAddress},
  };
  for (const Case& c : cases) {
    ControllerModel m;
    const std::optional<std::uint16_t> before = m.Get(c.reg);
    EXPECT_EQ(m.Write(c.reg, c.value), c.expected) << c.what;
    if (c.expected == Exception::None) {
      EXPECT_EQ(m.Get(c.reg), c.value) << c.what;
    } else {
      EXPECT_EQ(m.Get(c.reg), before) << c.what << ": a refused write changes nothing";
    }
  }
}

TEST(ControllerModel, EveryParameterReadsAndTheFloatFormFollowsTheWord) {
  ControllerModel m({.Address = 1, .StartTemperature = 512.0, .Seed = 3});
  // The register dump: 1..576 in reads of 32.
  std::uint16_t words[125];
  for (std::uint32_t first = 1; first <= 576; first += 32)
    ASSERT_EQ(m.Read(first, 32, words), Exception::None) << first;
  EXPECT_EQ(m.Read(1, 125, words), Exception::None);
  EXPECT_EQ(m.Read(1, 126, words), Exception::IllegalDataValue);
  EXPECT_EQ(m.Read(1, 0, words), Exception::IllegalDataValue);
  EXPECT_EQ(m.Read(570, 10, words), Exception::IllegalDataAddress);
  EXPECT_EQ(m.Read(0, 1, words), Exception::IllegalDataAddress);
  EXPECT_EQ(m.Read(0x8000 + 2 * 577, 2, words), Exception::IllegalDataAddress);

  EXPECT_EQ(Read1(m, 2), 512);    // target setpoint starts at the start temperature
  EXPECT_EQ(Read1(m, 131), 1);    // its address
  EXPECT_EQ(Read1(m, 12290), 1);  // thermocouple K
  EXPECT_EQ(Read1(m, 12), 1200);
  EXPECT_NEAR(ReadFloat(m, 1), 512.0, 0.11);
  EXPECT_EQ(ReadFloat(m, 2), 512.0f);
  EXPECT_EQ(ReadFloat(m, 30), 100.0f);  // output high limit in per cent
  EXPECT_EQ(ReadFloat(m, 12290), 1.0f);
  EXPECT_EQ(ReadFloat(m, 400), 0.0f);
}

TEST(ControllerModel, ThermocoupleChangesOnlyInConfigurationModeAndLeavingItRestarts) {
  ControllerModel m;
  EXPECT_FALSE(m.TakeRestart());
  ASSERT_EQ(m.Write(199, 2), Exception::None);
  EXPECT_TRUE(m.ConfigurationMode());
  EXPECT_EQ(Read1(m, 199), 2);
  EXPECT_EQ(m.Write(12290, 8), Exception::IllegalDataValue);
  EXPECT_EQ(m.Write(12290, 7), Exception::None);
  m.Advance(10.0);
  EXPECT_EQ(Read1(m, 3), 0) << "no output while in configuration mode";
  EXPECT_FALSE(m.TakeRestart());
  ASSERT_EQ(m.Write(199, 0), Exception::None);
  EXPECT_FALSE(m.ConfigurationMode());
  EXPECT_TRUE(m.TakeRestart());
  EXPECT_FALSE(m.TakeRestart()) << "one restart per leave";
  EXPECT_EQ(Read1(m, 12290), 7);
  EXPECT_EQ(m.Write(199, 0), Exception::None);
  EXPECT_FALSE(m.TakeRestart()) << "writing 0 outside configuration mode restarts nothing";
}

TEST(ControllerModel, AddressAndSelectedSetpointFollowTheirRegisters) {
  ControllerModel m({.Address = 7});
  EXPECT_EQ(m.Address(), 7);
  ASSERT_EQ(m.Write(131, 1), Exception::None);
  EXPECT_EQ(m.Address(), 1);
  // Register 2 is whichever of SP1 (24) and SP2 (25) register 15 selects.
  ASSERT_EQ(m.Write(24, 300), Exception::None);
  ASSERT_EQ(m.Write(25, 400), Exception::None);
  EXPECT_EQ(Read1(m, 2), 300);
  ASSERT_EQ(m.Write(15, 1), Exception::None);
  EXPECT_EQ(Read1(m, 2), 400);
  ASSERT_EQ(m.Write(2, 450), Exception::None);
  EXPECT_EQ(Read1(m, 25), 450);
  // Narrowing the limits pulls the setpoints inside.
  ASSERT_EQ(m.Write(12, 420), Exception::None);
  EXPECT_EQ(Read1(m, 2), 420);
}

// The furnace, run as fast as the machine goes.
struct FurnaceTrace {
  double reachedTarget = -1;  // s when the working setpoint reached the target
  double settledSince = -1;   // s since when the temperature stayed within ±2 ºC
  double peak = 0;
  double maxOutput = 0;
};

FurnaceTrace RunFurnace(ControllerModel& m, double seconds, double target) {
  FurnaceTrace t;
  const double dt = 0.5;
  for (double s = dt; s <= seconds; s += dt) {
    m.Advance(dt);
    if (t.reachedTarget < 0 && m.WorkingSetpoint() == target) t.reachedTarget = s;
    const bool inside = std::abs(m.ProcessValue() - target) <= 2.0;
    if (!inside)
      t.settledSince = -1;
    else if (t.settledSince < 0)
      t.settledSince = s;
    t.peak = std::max(t.peak, m.Temperature());
    t.maxOutput = std::max(t.maxOutput, m.OutputPercent());
  }
  return t;
}

TEST(ControllerModel, FurnaceRampsToTheTargetAndSettles) {
  ControllerModel m({.Seed = 11});
  ASSERT_EQ(m.Write(35, 600), Exception::None);  // 600 ºC/min
  ASSERT_EQ(m.Write(2, 100), Exception::None);
  const FurnaceTrace t = RunFurnace(m, 3600, 100.0);
  // 80 ºC at 10 ºC/s: the working setpoint takes 8 s, not less.
  EXPECT_GE(t.reachedTarget, 7.5);
  EXPECT_LE(t.reachedTarget, 9.0);
  EXPECT_EQ(Read1(m, 5), 100);
  ASSERT_GE(t.settledSince, 0.0) << "never settled within ±2 ºC";
  EXPECT_LT(t.settledSince, 600.0) << "took longer than 10 minutes to settle";
  EXPECT_LT(t.peak, 103.0) << "overshoot";
  EXPECT_NEAR(m.Temperature(), 100.0, 0.5);
  EXPECT_NEAR(m.ProcessValue(), m.Temperature(), 0.1001);
  // As the controller sends it, the measured value has one decimal.
  const float sent = *m.ParameterAsFloat(1);
  EXPECT_EQ(sent, static_cast<float>(std::round(m.ProcessValue() * 10.0) / 10.0));
  EXPECT_GT(Read1(m, 3), 0);  // holding 100 ºC needs some power
  EXPECT_LE(t.maxOutput, 100.0);
}

TEST(ControllerModel, SlowRampHoldsTheWorkingSetpointBackAndOutputLimitCapsThePower) {
  ControllerModel m({.Seed = 5});
  ASSERT_EQ(m.Write(35, 10), Exception::None);  // 10 ºC/min
  ASSERT_EQ(m.Write(30, 50), Exception::None);  // 5.0 %: at most 90 ºC
  ASSERT_EQ(m.Write(2, 600), Exception::None);
  const FurnaceTrace t = RunFurnace(m, 600, 600.0);
  EXPECT_NEAR(m.WorkingSetpoint(), 20.0 + 10 * 10, 0.01);  // ten minutes at 10 ºC/min
  EXPECT_LE(t.maxOutput, 5.0);
  EXPECT_LT(m.Temperature(), 90.0);
  EXPECT_EQ(Read1(m, 3), 50);  // pinned at the limit while far behind
  ASSERT_EQ(m.Write(30, 20), Exception::None);
  EXPECT_EQ(Read1(m, 3), 20);  // a lowered limit holds at once
  // Sensor break: the output drops to nothing.
  m.SetSensorBreak(true);
  m.Advance(1);
  EXPECT_EQ(Read1(m, 258), 1);
  EXPECT_EQ(Read1(m, 3), 0);
}
