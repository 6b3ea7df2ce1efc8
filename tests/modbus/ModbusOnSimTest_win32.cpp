// The transaction and the four operations through the Win32 serial calls
// (CreateFileA, SetCommState, SetCommTimeouts, SetupComm, PurgeComm,
// WriteFile, ClearCommError, ReadFile, CloseHandle), against the simulated
// controller the test harness serves on a COM port (HarnessSim.h). Each
// exchange with a reply costs about 0.4 s, one without 1.2 s.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "HarnessSim.h"
#include "ModbusTestUtil.h"
#include "common/Seams.h"
#include "modbus/Modbus.h"
#include "modbus/Registers.h"

namespace {

using karvo::TArrayOfByte;
using karvo::TModbusPort;
using karvo::TSerialPort;
using karvo::TSerialResponse;
using karvo::testing::LogLines;
using karvo::testing::WaitFor;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace reg = karvo::reg;

// "01 08 00 00 " and "1 8 0 0 ": the frame as the diagnostic lines show it.
std::string HexLine(const TArrayOfByte& bytes) { return karvo::testing::Hex(bytes) + ' '; }
// Reply bytes as the "Response Str" line shows them: printable ASCII as it
// is, every other byte as \xHH.
std::string EscapedLine(const std::string& bytes) {
  std::string s;
  char hex[5];
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      s += c;
    } else {
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      s += hex;
    }
  }
  return s;
}
std::string DecimalLine(const TArrayOfByte& bytes) {
  std::string s;
  for (std::uint8_t b : bytes) s += std::to_string(b) + ' ';
  return s;
}

class ModbusOnHarnessSim : public karvo::testing::OnHarnessSim {
 protected:
  void SetUp() override {
    OnHarnessSim::SetUp();
    port.SetPort(sim.Com);
  }

  // One register, read through the client; -1 when the read fails.
  int Register(std::uint32_t r) {
    const TSerialResponse reply = port.QueryWords(sim.Address, r, 1);
    return reply.Status.empty() ? reply.rArray[1] : -1;
  }

  TModbusPort port;
  LogLines log;
  karvo::seams::Scoped<karvo::seams::RandomFn> random{karvo::seams::SetRandom, [](int, int) { return 12345; }};
};

TEST_F(ModbusOnHarnessSim, TransactionCarriesTheRequestAndTheWholeReply) {
  const TArrayOfByte request = TModbusPort::TestFrame(sim.Address, 12345);
  port.SetDebug(true);
  const auto start = Clock::now();
  const TSerialResponse r = port.SendData(request.data(), static_cast<std::uint32_t>(request.size()), true);
  const auto took = Clock::now() - start;

  ASSERT_EQ(r.Status, "");
  // The diagnostic echo answers with the request itself.
  EXPECT_EQ(r.Response, std::string(request.begin(), request.end()));
  EXPECT_EQ(r.ValueOfFirstWord, request[3] * 256 + request[4]) << "bytes 3 and 4 of the reply";
  EXPECT_GE(took, 400ms) << "a pause before the deadline is set and one after the look that found bytes";
  EXPECT_EQ(log.Take(), (std::vector<std::string>{
                            std::string(44, '*'),
                            "PortName                 : " + sim.Com,
                            "Bytes written            : 8",
                            "Response Str             : " + EscapedLine(r.Response),
                            "Response Int             : " + DecimalLine(request),
                            "Response Status          : ",
                        }));
}

TEST_F(ModbusOnHarnessSim, EchoTestPassesAtTheControllersAddressAndTimesOutAtAnother) {
  EXPECT_TRUE(port.Test(sim.Address));
  EXPECT_EQ(log.Take(),
            (std::vector<std::string>{"Sent to diagnostic loop  : 12345", "Response                 : 12345"}));

  // Nobody answers at the next address: every look finds the input queue
  // empty until the deadline.
  const std::uint32_t other = sim.Address + 1;
  port.SetDebug(true);
  std::string status;
  const auto start = Clock::now();
  EXPECT_FALSE(port.Test(other, status));
  const auto took = Clock::now() - start;
  EXPECT_EQ(status, TSerialPort::kTimeout);
  EXPECT_GE(took, 1100ms);
  const TArrayOfByte frame = TModbusPort::TestFrame(other, 12345);
  EXPECT_EQ(log.Take(), (std::vector<std::string>{
                            "Modbus in Hex            : " + HexLine(frame),
                            "Modbus in Int            : " + DecimalLine(frame),
                            std::string(44, '*'),
                            "PortName                 : " + sim.Com,
                            "Bytes written            : 8",
                            "Message                  : Timeout 1s ",
                            TSerialPort::kTimeout,
                        }));
}

TEST_F(ModbusOnHarnessSim, ReadsGiveTheControllersValuesAndItsExceptions) {
  TSerialResponse r = port.QueryWords(sim.Address, reg::ProcessValue, 6);
  ASSERT_EQ(r.Status, "");
  EXPECT_NEAR(r.rArray[reg::ProcessValue], sim.StartTemperature, 3);
  EXPECT_EQ(r.ValueOfFirstWord, r.rArray[reg::ProcessValue]);
  EXPECT_EQ(r.rArray[reg::TargetSetpoint], sim.StartTemperature);
  EXPECT_EQ(r.rArray[reg::WorkingSetpoint], sim.StartTemperature);
  EXPECT_EQ(r.rArray[reg::ProportionalBand], 20);
  EXPECT_EQ(r.rArray[7], 0) << "words after the count asked for stay as they were";

  const TSerialResponse pv = port.QueryD(sim.Address, reg::ProcessValue);
  EXPECT_EQ(pv.Status, "");
  EXPECT_NEAR(pv.rDouble, sim.StartTemperature, 3.0);

  r = port.QueryWords(sim.Address, reg::SetpointLowLimit, 2);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.rArray[1], 0);
  EXPECT_EQ(r.rArray[2], 1200);

  r = port.QueryWords(sim.Address, 570, 10);  // runs past register 576
  EXPECT_EQ(r.Status, "Modbus exception 2 (illegal data address)");
  EXPECT_EQ(log.Take(), (std::vector<std::string>{"Modbus exception 2 (illegal data address)"}));
}

TEST_F(ModbusOnHarnessSim, WriteThatWaitsIsCheckedByItsEchoAndOneOutsideTheLimitsIsRefused) {
  const int rampRate = Register(reg::RampRate);
  ASSERT_GE(rampRate, 0);
  std::string status;
  ASSERT_TRUE(port.WriteWord(sim.Address, reg::RampRate, rampRate + 42, true, status)) << status;
  EXPECT_EQ(Register(reg::RampRate), rampRate + 42);

  // The high limit is 1200 ºC.
  EXPECT_FALSE(port.WriteWord(sim.Address, reg::TargetSetpoint, 1201, true, status));
  EXPECT_EQ(status, "Modbus exception 3 (illegal data value)");
  EXPECT_EQ(Register(reg::TargetSetpoint), sim.StartTemperature) << "the setpoint stays";

  EXPECT_TRUE(port.WriteWord(sim.Address, reg::RampRate, rampRate, true, status)) << status;
  EXPECT_EQ(Register(reg::RampRate), rampRate);
}

TEST_F(ModbusOnHarnessSim, WriteWithoutWaitingSucceedsOnceWrittenAndTakesEffect) {
  const int setpoint2 = Register(reg::Setpoint2);
  ASSERT_GE(setpoint2, 0);
  const int value = setpoint2 == 77 ? 78 : 77;
  EXPECT_TRUE(port.WriteWord(sim.Address, reg::Setpoint2, value, false));
  // The reads that follow pass over the late echo of the write.
  EXPECT_TRUE(WaitFor([&] { return Register(reg::Setpoint2) == value; }, 10s));

  // Without waiting, a write succeeds even where nobody answers.
  EXPECT_TRUE(port.WriteWord(sim.Address + 1, reg::Setpoint2, value + 1, false));
  EXPECT_EQ(Register(reg::Setpoint2), value);
  EXPECT_TRUE(log.Take().empty()) << "writes log nothing without Debug";

  std::string status;
  EXPECT_TRUE(port.WriteWord(sim.Address, reg::Setpoint2, setpoint2, true, status)) << status;
}

// The simulated controller takes only frames with a silence of 3.5
// characters around them, and none while it answers: a write sent without
// waiting, one to another device right after it, and the read-back all
// reach it, because the Win32 path drains each frame (FlushFileBuffers),
// keeps the spacing, and hears the echo out before the read-back.
TEST_F(ModbusOnHarnessSim, FramesSentAtOnceReachTheStrictControllerOneByOne) {
  const int setpoint2 = Register(reg::Setpoint2);
  ASSERT_GE(setpoint2, 0);
  for (const int value : {setpoint2 == 61 ? 62 : 61, setpoint2 == 63 ? 64 : 63, setpoint2}) {
    ASSERT_TRUE(port.WriteWord(sim.Address, reg::Setpoint2, value, false));
    ASSERT_TRUE(port.WriteWord(sim.Address + 1, reg::Setpoint2, value + 1, false));
    EXPECT_EQ(Register(reg::Setpoint2), value) << "at the first read-back";
  }
  EXPECT_TRUE(log.Take().empty());
}

// Wine does not refuse a second open of a COM port, so two objects on two
// threads would interleave their frames on the line, which the controller
// takes as garbage. Their transactions take turns instead, and all succeed.
TEST_F(ModbusOnHarnessSim, TwoThreadsOnOnePortTakeTurns) {
  std::vector<std::string> failures[2];
  auto reads = [&](int who) {
    TModbusPort own;
    own.SetPort(sim.Com);
    for (int i = 0; i < 4; ++i) {
      const TSerialResponse r = own.QueryWords(sim.Address, reg::ProcessValue, 6);
      if (!r.Status.empty()) failures[who].push_back(r.Status);
    }
  };
  std::thread other(reads, 0);
  reads(1);
  other.join();
  EXPECT_TRUE(failures[0].empty()) << failures[0].front();
  EXPECT_TRUE(failures[1].empty()) << failures[1].front();
}

// A second open of a COM port fails with a sharing violation on Windows;
// Wine does not refuse it, so the port in use is produced here by a port
// that cannot be opened at all. The transaction takes the same way in both
// cases: CreateFileA fails, the line settings find no handle.
TEST(ModbusOnWindows, PortThatCannotBeOpenedFailsAsPortInUse) {
  char target[512] = {};
  ASSERT_EQ(::QueryDosDeviceA("COM200", target, sizeof target), 0u) << "COM200 exists here: " << target;
  TModbusPort port;
  port.SetPort("COM200");
  LogLines log;

  std::string status;
  EXPECT_FALSE(port.Test(1, status));
  EXPECT_EQ(status, TSerialPort::kPortInUse);
  EXPECT_EQ(port.QueryWords(1, reg::ProcessValue, 6).Status, TSerialPort::kPortInUse);
  EXPECT_EQ(port.QueryD(1, reg::ProcessValue).rDouble, 0.0);
  EXPECT_FALSE(port.WriteWord(1, reg::RampRate, 5, false, status));
  EXPECT_EQ(status, TSerialPort::kPortInUse);
  const std::string reason = port.LastFailureReason();
  EXPECT_EQ(reason.rfind("COM200: ", 0), 0u) << reason;
  std::vector<std::string> expected;
  for (int i = 0; i < 4; ++i) expected.insert(expected.end(), {TSerialPort::kPortInUse, reason});
  EXPECT_EQ(log.Take(), expected) << "every transaction's failure text with its reason below it, and no second "
                                     "status line from Test, QueryWords or QueryD";
}

}  // namespace
