// The operations through the real serial transport against the simulated
// controller, reached by its COM name as the program reaches a port. Each
// exchange with a reply costs about 0.4 s, one without 1.2 s.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "ModbusTestUtil.h"
#include "common/Seams.h"
#include "modbus/Modbus.h"
#include "modbus/Registers.h"
#include "sim/ComLink.h"

using karvo::TModbusPort;
using karvo::TSerialPort;
using karvo::TSerialResponse;
using karvo::sim::SimOnComPort;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace reg = karvo::reg;

using karvo::testing::LogLines;
using karvo::testing::WaitFor;

TEST(ModbusOnSim, EchoTestPassesAtItsAddressAndFailsAtAnother) {
  SimOnComPort sim({.Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());
  LogLines log;
  karvo::seams::Scoped<karvo::seams::RandomFn> random(karvo::seams::SetRandom, [](int lo, int hi) {
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 64999);
    return 12345;
  });

  EXPECT_TRUE(port.Test(1));
  EXPECT_EQ(log.Take(),
            (std::vector<std::string>{"Sent to diagnostic loop  : 12345", "Response                 : 12345"}));

  port.SetDebug(true);
  std::string status;
  EXPECT_FALSE(port.Test(2, status));
  EXPECT_EQ(status, TSerialPort::kTimeout);
  const std::vector<std::string> lines = log.Take();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "Modbus in Hex            : 02 08 00 00 30 39 34 2A ");
  EXPECT_EQ(lines.back(), TSerialPort::kTimeout) << "the status line closes the exchange";
}

TEST(ModbusOnSim, SetpointWrittenReadsBackAndOneOutsideTheLimitsIsRefused) {
  SimOnComPort sim({.Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());

  std::string status;
  ASSERT_TRUE(port.WriteWord(1, reg::TargetSetpoint, 350, true, status)) << status;
  TSerialResponse r = port.QueryWords(1, reg::TargetSetpoint, 1);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.rArray[1], 350);
  EXPECT_EQ(r.ValueOfFirstWord, 350);

  // The upper limit is register 12.
  r = port.QueryWords(1, reg::SetpointLowLimit, 2);
  ASSERT_EQ(r.Status, "");
  EXPECT_EQ(r.rArray[2], 1200);
  EXPECT_FALSE(port.WriteWord(1, reg::TargetSetpoint, 1201, true, status));
  EXPECT_EQ(status, "Modbus exception 3 (illegal data value)");
  r = port.QueryD(1, reg::TargetSetpoint);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.rDouble, 350.0) << "the old setpoint stays";
}

// The furnace module's confirmed write: a write sent without waiting and its
// read-back at once. The controller takes both only as two frames with a
// silence between them, and only while it is not answering.
TEST(ModbusOnSim, WriteWithoutWaitingAndItsReadBackAreBothTaken) {
  SimOnComPort sim({.Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());
  for (const std::uint16_t value : {500, 501, 502}) {
    ASSERT_TRUE(port.WriteWord(1, reg::TargetSetpoint, value, false));
    const TSerialResponse r = port.QueryWords(1, reg::TargetSetpoint, 1);
    EXPECT_EQ(r.Status, "") << value;
    EXPECT_EQ(r.ValueOfFirstWord, value);
  }
  EXPECT_EQ(sim->FramesDiscarded(), 0u);
}

// A controller whose replies come 1.5 s after the request, later than a
// transaction waits: each reply is heard out and thrown away, never taken
// for the reply to the next request.
TEST(ModbusOnSim, LateRepliesAreNeverTakenForTheNextOnes) {
  SimOnComPort sim({.Seed = 1, .Faults = {.ReplyDelayMs = 1500}});
  TModbusPort port;
  port.SetPort(sim.ComName());
  EXPECT_EQ(port.QueryWords(1, reg::ProcessValue, 6).Status, TSerialPort::kTimeout);
  const TSerialResponse next = port.QueryWords(1, reg::OutputHighLimit, 6);
  EXPECT_NE(next.Status, "") << "registers 1 to 6 taken for 30 to 35: " << next.rArray[1];
  EXPECT_EQ(next.rArray[1], 0);
}

TEST(ModbusOnSim, AddressResetFindsAControllerAtAnotherAddress) {
  SimOnComPort sim({.Address = 7, .Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());
  const auto start = Clock::now();
  for (std::uint32_t address = 1; address <= 256; ++address)
    ASSERT_TRUE(port.WriteWord(address, reg::DeviceAddress, 1, false)) << address;
  const auto writes = Clock::now() - start;
  EXPECT_TRUE(WaitFor([&] { return sim->FramesReceived() == 256; }, 5s)) << sim->FramesReceived();
  EXPECT_TRUE(port.Test(1));
  EXPECT_EQ(sim->Address(), 1);
  std::cout << "256 writes without reply took " << std::chrono::duration_cast<std::chrono::milliseconds>(writes).count()
            << " ms\n";
}

TEST(ModbusOnSim, FaultsOfTheControllerReachTheCallerAsTheirTexts) {
  SimOnComPort sim({.Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());
  LogLines log;

  sim->SetFaults({.BadCrcFraction = 1.0});
  TSerialResponse r = port.QueryWords(1, reg::ProcessValue, 6);
  EXPECT_EQ(r.Status, TModbusPort::kBadCrc);
  EXPECT_EQ(r.rArray[1], 0);

  sim->SetFaults({.ReplyAddress = 3});
  r = port.QueryD(1, reg::ProcessValue);
  EXPECT_EQ(r.Status, TModbusPort::kWrongDeviceOrFunction);
  EXPECT_EQ(r.rDouble, 0.0);

  sim->SetFaults({});
  r = port.QueryWords(1, 570, 10);  // runs past register 576
  EXPECT_EQ(r.Status, "Modbus exception 2 (illegal data address)");
  EXPECT_EQ(log.Take(), (std::vector<std::string>{TModbusPort::kBadCrc, TModbusPort::kWrongDeviceOrFunction,
                                                  "Modbus exception 2 (illegal data address)"}));

  // A write that does not wait succeeds even when nobody answers.
  sim->SetFaults({.NoReply = true});
  EXPECT_TRUE(port.WriteWord(1, reg::RampRate, 5, false));
  EXPECT_TRUE(log.Take().empty());
}

TEST(ModbusOnSim, FurnaceSettlesAtTheTargetAtSixtyTimesRealTime) {
  SimOnComPort sim({.Speed = 60, .Seed = 1});
  TModbusPort port;
  port.SetPort(sim.ComName());
  ASSERT_TRUE(port.WriteWord(1, reg::RampRate, 600, true));
  ASSERT_TRUE(port.WriteWord(1, reg::TargetSetpoint, 100, true));
  const auto start = Clock::now();

  // Settled: within ±2 ºC of 100 for three real seconds (three simulated
  // minutes) running, with the working setpoint at the target.
  Clock::time_point inside{};
  const bool settled = WaitFor(
      [&] {
        const bool ok = std::abs(sim->Temperature() - 100.0) <= 2.0 && sim->GetRegister(reg::WorkingSetpoint) == 100;
        if (!ok)
          inside = {};
        else if (inside == Clock::time_point{})
          inside = Clock::now();
        return ok && Clock::now() - inside >= 3s;
      },
      45s);
  ASSERT_TRUE(settled) << "temperature " << sim->Temperature();
  std::cout << "settled after " << std::chrono::duration_cast<std::chrono::milliseconds>(inside - start).count()
            << " ms real time\n";

  const TSerialResponse pv = port.QueryD(1, reg::ProcessValue);
  EXPECT_EQ(pv.Status, "");
  EXPECT_NEAR(pv.rDouble, 100.0, 2.0);
  const TSerialResponse words = port.QueryWords(1, reg::ProcessValue, 5);
  EXPECT_EQ(words.Status, "");
  EXPECT_EQ(words.rArray[reg::TargetSetpoint], 100);
  EXPECT_EQ(words.rArray[reg::WorkingSetpoint], 100);
  EXPECT_GT(words.rArray[reg::WorkingOutput], 0);  // holding 100 ºC takes some power
  EXPECT_LT(words.rArray[reg::WorkingOutput], 1000);
}
