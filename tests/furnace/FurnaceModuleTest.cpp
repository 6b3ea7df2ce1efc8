#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "SimFixture.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
#include "modbus/Registers.h"

namespace karvo {
namespace {

using test::SimFixture;

TEST(FurnaceModule, WithoutPortSendsNothingAndConfirmsNothing) {
  std::vector<std::uint32_t> pauses;
  seams::Scoped<seams::PauseFn> record(seams::SetPause, [&](std::uint32_t ms) { pauses.push_back(ms); });
  TFurnaceModule m;
  EXPECT_EQ(m.Com(), nullptr);
  EXPECT_EQ(m.InstructionCount(), 0);
  EXPECT_EQ(m.InstructionsCurrentSegment(), 0);
  EXPECT_EQ(m.MaxOutputPowerActual, 0);
  EXPECT_EQ(m.MaxOutputPowerTarget, 0);
  EXPECT_EQ(m.BeenStable(), 0.0);
  EXPECT_EQ(m.TargetSetPoint(), 0);
  EXPECT_EQ(m.RampRate(), 0);
  EXPECT_EQ(m.ProcessValue(), 0.0);
  EXPECT_EQ(m.ProcessValueTime(), 0.0);
  EXPECT_FALSE(m.SetRampRate(10));
  EXPECT_FALSE(m.SetTargetSetPoint(0));
  m.SetProportional(5);  // nothing to send it with
  EXPECT_TRUE(pauses.empty());
}

TEST(FurnaceModule, OnPortReplacesThePortObject) {
  TFurnaceModule m;
  m.SetOnPort("COM3");
  ASSERT_NE(m.Com(), nullptr);
  m.Com()->SetDebug(true);
  m.Com()->SetReadoutTimeoutMS(5);
  m.SetOnPort("COM4");
  EXPECT_EQ(m.OnPort(), "COM4");
  EXPECT_EQ(m.Com()->Port(), "COM4");
  // The new object starts with the transport's defaults.
  EXPECT_FALSE(m.Com()->Debug());
  EXPECT_EQ(m.Com()->ReadoutTimeoutMS(), 1000u);
  EXPECT_EQ(m.Com()->WindowsReadLoopTimeoutMS(), 200u);
}

class FurnaceModuleOnSim : public SimFixture {
 protected:
  FurnaceModuleOnSim() {
    module.SetOnPort(Port());
    module.SetAddress(1);
  }
  TFurnaceModule module;
};

// Against a controller as strict as a real one: the write and its read-back
// reach it as two frames, and the read-back only once it has answered the
// write.
TEST_F(FurnaceModuleOnSim, SetRampRateConfirmedAtFirstAttempt) {
  EXPECT_TRUE(module.SetRampRate(10));
  EXPECT_EQ(Sim().GetRegister(reg::RampRate), 10);
  EXPECT_EQ(Requests(6), 1);
  EXPECT_EQ(Requests(3), 1);
  const auto pauses = Pauses();
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_GE(pauses[0], 500u);
  EXPECT_LE(pauses[0], 999u);
  // The register-backed reads see the controller.
  EXPECT_EQ(module.RampRate(), 10);

  int attempts = 0;
  EXPECT_TRUE(module.ConfirmedWrite(reg::TargetSetpoint, 500, &attempts));
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(Sim().GetRegister(reg::TargetSetpoint), 500);
  EXPECT_EQ(Sim().FramesDiscarded(), 0u);
}

// The poll thread and the module's writes on the user-interface thread use
// the same port; they take turns instead of failing each other.
TEST_F(FurnaceModuleOnSim, ConfirmedWriteWhilePollsRunBackToBackIsConfirmedAtOnce) {
  std::atomic<bool> stop{false};
  std::atomic<int> polls{0}, failedPolls{0};
  std::thread poller([&] {
    while (!stop) {
      ReadResult.Valid = false;
      if (!ReadFurnace(Port()) || !WaitForPolls(30000)) break;
      ++polls;
      if (!ReadResult.aMessage.empty()) ++failedPolls;
    }
  });
  ASSERT_TRUE(WaitForRequests(3, 2));  // a poll is under way
  int attempts = 0;
  const bool confirmed = module.ConfirmedWrite(reg::TargetSetpoint, 500, &attempts);
  const int pollsDuringTheWrite = polls.load();
  ASSERT_TRUE(WaitForRequests(3, Requests(3) + 2));  // and polls go on
  stop = true;
  poller.join();
  EXPECT_TRUE(confirmed);
  EXPECT_EQ(attempts, 1);
  EXPECT_EQ(Sim().GetRegister(reg::TargetSetpoint), 500);
  EXPECT_GE(polls.load(), pollsDuringTheWrite);
  EXPECT_EQ(failedPolls.load(), 0);
}

TEST_F(FurnaceModuleOnSim, SilentControllerConfirmsNothingNotEvenZero) {
  Sim().SetFaults({.NoReply = true});
  // Shorter reply time-out: the count of attempts is what matters here.
  module.Com()->SetReadoutTimeoutMS(200);
  for (const std::int32_t value : {500, 0}) {
    SCOPED_TRACE(value);
    const int writesBefore = Requests(6), readsBefore = Requests(3);
    const std::size_t pausesBefore = Pauses().size();
    EXPECT_FALSE(module.SetTargetSetPoint(value));
    // The last read-back may still be on its way to the controller when the
    // call returns on a busy machine.
    EXPECT_TRUE(WaitForRequests(3, readsBefore + 5));
    EXPECT_EQ(Requests(6) - writesBefore, 5);
    EXPECT_EQ(Requests(3) - readsBefore, 5);
    const auto pauses = Pauses();
    ASSERT_EQ(pauses.size() - pausesBefore, 5u);
    for (std::size_t i = pausesBefore; i < pauses.size(); ++i) {
      EXPECT_GE(pauses[i], 500u);
      EXPECT_LE(pauses[i], 999u);
    }
  }
  EXPECT_EQ(module.TargetSetPoint(), 0);  // a failed read gives 0
}

TEST_F(FurnaceModuleOnSim, ConfirmedWriteRetriesUntilTheControllerAnswers) {
  // The controller misses the first attempt (it answers nothing and takes
  // nothing) and is back for the second.
  Sim().SetFaults({.NoReply = true});
  module.Com()->SetReadoutTimeoutMS(200);
  std::thread wakeUp([&] {
    WaitForRequests(3, 1);  // gives up after its deadline; the test then fails below
    Sim().SetFaults({});
  });
  int attempts = 0;
  EXPECT_TRUE(module.ConfirmedWrite(reg::RampRate, 7, &attempts));
  wakeUp.join();
  EXPECT_GE(attempts, 2);
  EXPECT_EQ(Pauses().size(), static_cast<std::size_t>(attempts));
  EXPECT_EQ(Sim().GetRegister(reg::RampRate), 7);
}

TEST_F(FurnaceModuleOnSim, PidWritesKeepTheLastValueSent) {
  module.SetProportional(40);
  module.SetProportional(40);  // same value: nothing sent
  module.SetIntegral(300);
  module.SetDerivate(50);
  ASSERT_TRUE(WaitForRequests(6, 3));
  EXPECT_EQ(module.Proportional(), 40);  // a read after the writes
  EXPECT_EQ(Requests(6), 3);
  EXPECT_EQ(Sim().GetRegister(reg::ProportionalBand), 40);
  EXPECT_EQ(Sim().GetRegister(reg::IntegralTime), 300);
  EXPECT_EQ(Sim().GetRegister(reg::DerivativeTime), 50);
}

}  // namespace
}  // namespace karvo
