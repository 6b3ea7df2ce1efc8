#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "SimFixture.h"
#include "UiLoop.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Log.h"
#include "furnace/ReadCycle.h"
#include "modbus/Registers.h"
#include "serial/PtyPeer_posix.h"

namespace karvo {
namespace {

using namespace std::chrono_literals;

class ReadCycleOnSim : public test::SimFixture {
 protected:
  ReadCycleOnSim() : clock_(seams::SetUtcNow, [this] { return pollTime; }) { ReadResult = {}; }

  // Starts one poll and runs the user-interface loop until its record has
  // been handed over.
  const TFurnaceReadRecord& Poll() {
    ReadResult.Valid = false;
    EXPECT_TRUE(ReadFurnace(Port()));
    EXPECT_TRUE(ui.RunUntil([] { return ReadResult.Valid && PollsInFlight() == 0; }, 30s));
    return ReadResult;
  }

  void SetValues(std::uint16_t target, std::uint16_t output, std::uint16_t working, std::uint16_t limit,
                 std::uint16_t ramp) {
    Sim().SetRegister(reg::TargetSetpoint, target);
    Sim().SetRegister(reg::WorkingOutput, output);
    Sim().SetRegister(reg::WorkingSetpoint, working);
    Sim().SetRegister(reg::OutputHighLimit, limit);
    Sim().SetRegister(reg::RampRate, ramp);
  }

  TDateTime pollTime = EncodeDateTime({.year = 2024, .month = 3, .day = 5, .hour = 14, .minute = 7});
  test::UiLoop ui;

 private:
  seams::Scoped<seams::NowFn> clock_;
};

TEST_F(ReadCycleOnSim, AnsweringControllerFillsEveryField) {
  SetValues(345, 455, 333, 750, 12);
  Sim().SetTemperature(321.0);
  const TFurnaceReadRecord& r = Poll();
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.aMessage, "");
  EXPECT_EQ(r.ReadtimeUtc, pollTime);
  EXPECT_EQ(r.Readtime, UtcToLocal(pollTime));
  EXPECT_NEAR(r.Temperature, 321.0, 0.11);  // the measurement carries noise
  EXPECT_EQ(r.TargetSetpoint, 345);
  EXPECT_EQ(r.WorkingOutput, 455);
  EXPECT_EQ(r.WorkingSetpoint, 333);
  EXPECT_EQ(r.MaxOutputPowerActual, 750);
  EXPECT_EQ(r.RampRate, 12);
  EXPECT_FALSE(r.SensorBreak);
  EXPECT_EQ(r.ActiveThreads, 0);
  // One poll is four transactions in this order: six words from 1, six
  // from 30, one from 258, parameter 1 as a float.
  EXPECT_EQ(RequestFrames(), (std::vector<std::string>{"01 03 00 01 00 06 94 08", "01 03 00 1E 00 06 A5 CE",
                                                       "01 03 01 02 00 01 24 36", "01 03 80 02 00 02 4C 0B"}));
}

// A reply frame: device 1, function 3, the data bytes and their CRC.
std::string ReadReply(const std::vector<std::uint8_t>& data) {
  TArrayOfByte frame = {1, 3, static_cast<std::uint8_t>(data.size())};
  frame.insert(frame.end(), data.begin(), data.end());
  const std::uint16_t crc = ModbusCrc16(frame);
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
  return std::string(frame.begin(), frame.end());
}

std::string WordsReply(const std::vector<std::uint16_t>& words) {
  std::vector<std::uint8_t> data;
  for (const std::uint16_t w : words) {
    data.push_back(static_cast<std::uint8_t>(w >> 8));
    data.push_back(static_cast<std::uint8_t>(w & 0xFF));
  }
  return ReadReply(data);
}

TEST(ReadCycle, OnlyTheValueOneIsASensorBreak) {
  test::UiLoop ui;
  for (const auto& [word, sensorBreak] : {std::pair<std::uint16_t, bool>{1, true}, {2, false}}) {
    SCOPED_TRACE(word);
    // A controller that answers the poll's four requests as scripted.
    testing::PtyPeer peer;
    peer.Script({{8, WordsReply({900, 850, 455, 0, 845, 20})},
                 {8, WordsReply({750, 0, 0, 0, 0, 12})},
                 {8, WordsReply({word})},
                 {8, ReadReply({0x43, 0x48, 0x00, 0x00})}});  // 200.0
    ReadResult = {};
    ASSERT_TRUE(ReadFurnace(peer.Path()));
    ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
    EXPECT_EQ(ReadResult.aMessage, "");
    EXPECT_EQ(ReadResult.SensorBreak, sensorBreak);
    EXPECT_EQ(ReadResult.Temperature, 200.0);
    EXPECT_EQ(ReadResult.TargetSetpoint, 850);
    EXPECT_EQ(ReadResult.MaxOutputPowerActual, 750);
    EXPECT_EQ(ReadResult.RampRate, 12);
  }
}

// A poll whose transactions fail with different texts reports the first.
TEST(ReadCycle, TheFirstFailureOfAPollIsTheOneReported) {
  test::UiLoop ui;
  testing::PtyPeer peer;
  std::string badCrc = WordsReply({258});
  badCrc.back() ^= 0x5A;
  TArrayOfByte exception = {1, 0x83, 2};
  const std::uint16_t crc = ModbusCrc16(exception);
  exception.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  exception.push_back(static_cast<std::uint8_t>(crc >> 8));
  peer.Script({{8, WordsReply({900, 850, 455, 0, 845, 20})},
               {8, std::string(exception.begin(), exception.end())},
               {8, badCrc},
               {8, ReadReply({0x43, 0x48, 0x00, 0x00})}});
  ReadResult = {};
  ASSERT_TRUE(ReadFurnace(peer.Path()));
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ReadResult.aMessage, "Modbus exception 2 (illegal data address)");
}

TEST_F(ReadCycleOnSim, ControllerFallingSilentMidPollFailsThePoll) {
  SetValues(345, 455, 333, 750, 12);
  afterReply = [this](int replies) {
    if (replies == 1) Sim().SetFaults({.NoReply = true});
  };
  const TFurnaceReadRecord& r = Poll();
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.aMessage, TSerialPort::kTimeout);
  EXPECT_EQ(r.MaxOutputPowerActual, 0);
  EXPECT_EQ(r.RampRate, 0);
  EXPECT_EQ(r.Temperature, 0.0);
  EXPECT_FALSE(r.SensorBreak);
  EXPECT_EQ(Requests(3), 4);  // the poll still ran all four transactions
}

TEST_F(ReadCycleOnSim, PortHeldByAnotherOwner) {
  SetValues(345, 455, 333, 750, 12);
  const int fd = ::open(Port().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  std::vector<std::string> lines;
  ScopedLogSink sink([&](const std::string& line) { lines.push_back(line); });
  const TFurnaceReadRecord r = Poll();
  ::close(fd);
  EXPECT_TRUE(r.Valid);
  EXPECT_EQ(r.aMessage, TSerialPort::kPortInUse);
  EXPECT_EQ(r.TargetSetpoint, 0);
  EXPECT_EQ(r.WorkingOutput, 0);
  EXPECT_EQ(r.WorkingSetpoint, 0);
  EXPECT_EQ(r.MaxOutputPowerActual, 0);
  EXPECT_EQ(r.RampRate, 0);
  EXPECT_EQ(r.Temperature, 0.0);
  EXPECT_FALSE(r.SensorBreak);
  EXPECT_EQ(Requests(3), 0);
  // Each of the four transactions reports the failure itself, and why.
  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i) {
    expected.push_back(TSerialPort::kPortInUse);
    expected.push_back(Port() + " is in use by another program (flock)");
  }
  EXPECT_EQ(lines, expected);
}

// An error that ends a poll thread is logged and offered as a report, as
// one in the window is; the poll delivers nothing.
TEST_F(ReadCycleOnSim, AnErrorThatEndsAPollIsOfferedAsAReport) {
  std::mutex m;
  std::vector<std::string> reports;
  const TPollErrorReport previous = SetPollErrorReport([&](const std::string& error) {
    std::lock_guard lock(m);
    reports.push_back(error);
  });
  {
    ScopedLogSink sink([](const std::string& line) {
      if (line.rfind("Poll of the furnace", 0) == 0) return;
      throw std::runtime_error("the log sink failed");
    });
    Sim().SetFaults({.BadCrcFraction = 1.0});  // every transaction fails and logs its status
    ReadResult.Valid = false;
    ASSERT_TRUE(ReadFurnace(Port()));
    ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  }
  SetPollErrorReport(previous);
  EXPECT_FALSE(ReadResult.Valid);
  std::lock_guard lock(m);
  EXPECT_EQ(reports, std::vector<std::string>{"Poll of the furnace ended by an error: the log sink failed"});
}

TEST_F(ReadCycleOnSim, OverlappingPollsLaterHandOffWins) {
  SetValues(345, 455, 333, 750, 12);
  ASSERT_TRUE(ReadFurnace(Port()));
  // The first poll has read the controller and waits for its hand-off.
  ASSERT_TRUE(ui.WaitQueued(1, 30s));
  SetValues(400, 500, 390, 700, 20);
  ASSERT_TRUE(ReadFurnace(Port()));
  EXPECT_EQ(ReadResult.ActiveThreads, 2);
  ASSERT_TRUE(ui.WaitQueued(2, 30s));
  ui.RunPending();
  ASSERT_TRUE(ui.RunUntil([] { return PollsInFlight() == 0; }, 30s));
  EXPECT_EQ(ReadResult.ActiveThreads, 0);
  EXPECT_TRUE(ReadResult.Valid);
  EXPECT_EQ(ReadResult.aMessage, "");
  EXPECT_EQ(ReadResult.TargetSetpoint, 400);
  EXPECT_EQ(ReadResult.WorkingSetpoint, 390);
  EXPECT_EQ(ReadResult.RampRate, 20);
}

}  // namespace
}  // namespace karvo
