// The operations through the real serial transport against a scripted peer
// on a pseudo-terminal: the worked example on the line, and replies no
// controller should send. Each exchange costs about 0.4 s.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "ModbusTestUtil.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "modbus/Modbus.h"
#include "serial/PtyPeer_posix.h"

using karvo::TModbusPort;
using karvo::TSerialResponse;
using karvo::testing::FromHex;
using karvo::testing::PtyPeer;
using karvo::testing::WithCrc;

namespace {

class ModbusOnScriptedPeer : public ::testing::Test {
 protected:
  ModbusOnScriptedPeer() { port.SetPort(peer.Path()); }

  std::vector<std::string> TakeLines() {
    std::lock_guard lock(mutex);
    return std::exchange(lines, {});
  }

  PtyPeer peer;
  TModbusPort port;
  std::mutex mutex;
  std::vector<std::string> lines;
  karvo::ScopedLogSink sink{[this](const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
  }};
  karvo::seams::Scoped<karvo::seams::RandomFn> random{karvo::seams::SetRandom, [](int, int) { return 12345; }};
};

}  // namespace

TEST_F(ModbusOnScriptedPeer, WorkedExampleOnTheLineWithItsDiagnosticLines) {
  port.SetDebug(true);
  peer.Script({{8, FromHex("01 03 04 43 48 00 00 6F A1")}});
  const TSerialResponse r = port.QueryD(1, 1);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.rDouble, 200.0);
  EXPECT_EQ(peer.Received(), FromHex("01 03 80 02 00 02 4C 0B"));
  const std::vector<std::string> lines = TakeLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "Modbus in Hex            : 01 03 80 02 00 02 4C 0B ");
  EXPECT_EQ(lines[1], "Modbus in Int            : 1 3 128 2 0 2 76 11 ");
  EXPECT_EQ(lines[2], std::string(44, '*'));
  EXPECT_EQ(lines[6], "Response Int             : 1 3 4 67 72 0 0 111 161 ");
  EXPECT_EQ(lines[7], "Response Status          : ");
}

TEST_F(ModbusOnScriptedPeer, InvalidRepliesFailLikeATransportFailureAndDecodeNothing) {
  enum Op { kTest, kQueryD, kQueryWords, kWriteWord };
  struct Case {
    const char* what;
    Op op;
    std::string reply;
    std::string status;
  };
  std::string badCrc = WithCrc("01 03 04 43 48 00 00");
  badCrc[8] ^= 0x20;
  const std::vector<Case> cases = {
      {"echo cut short", kTest, FromHex("01 08 00 00 30 39 34"), TModbusPort::kTooShort},
      {"echo of another function", kTest, WithCrc("01 06 00 00 30 39"), TModbusPort::kWrongDeviceOrFunction},
      {"CRC wrong", kQueryD, badCrc, TModbusPort::kBadCrc},
      {"not a number", kQueryD, WithCrc("01 03 04 7F C0 00 00"), TModbusPort::kNotANumber},
      {"another device", kQueryWords, WithCrc("05 03 04 00 07 00 08"), TModbusPort::kWrongDeviceOrFunction},
      {"three words for two", kQueryWords, WithCrc("01 03 06 00 07 00 08 00 09"), TModbusPort::kWrongByteCount},
      {"exception", kWriteWord, WithCrc("01 86 03"), "Modbus exception 3 (illegal data value)"},
      {"echo of another value", kWriteWord, WithCrc("01 06 00 02 05 DD"), TModbusPort::kEchoDiffers},
  };
  for (const Case& c : cases) {
    peer.Script({{8, c.reply}});
    TSerialResponse r;
    std::string status;
    switch (c.op) {
      case kTest:
        EXPECT_FALSE(port.Test(1, status)) << c.what;
        break;
      case kQueryD:
        r = port.QueryD(1, 1);
        status = r.Status;
        break;
      case kQueryWords:
        r = port.QueryWords(1, 1, 2);
        status = r.Status;
        break;
      case kWriteWord:
        EXPECT_FALSE(port.WriteWord(1, 2, 1500, true, status)) << c.what;
        break;
    }
    EXPECT_EQ(status, c.status) << c.what;
    EXPECT_EQ(r.rDouble, 0.0) << c.what;
    EXPECT_EQ(r.rArray[1], 0) << c.what;
    EXPECT_EQ(r.ValueOfFirstWord, 0) << c.what;
    // The status line goes to the log whatever Debug says; a write logs none.
    const std::vector<std::string> expected =
        c.op == kWriteWord ? std::vector<std::string>{} : std::vector<std::string>{c.status};
    EXPECT_EQ(TakeLines(), expected) << c.what;
  }
}

TEST_F(ModbusOnScriptedPeer, EchoOfAnotherValueFailsTheTestWithBothValues) {
  peer.Script({{8, WithCrc("01 08 00 00 00 07")}});
  std::string status;
  EXPECT_FALSE(port.Test(1, status));
  EXPECT_EQ(status, "Echo test failed: sent 12345, received 7");
  EXPECT_EQ(TakeLines(),
            (std::vector<std::string>{"Sent to diagnostic loop  : 12345", "Response                 : 7"}));
}

// A controller that answers 1.25 s after the request, later than the
// transaction waits. It is still answering when the next request comes, so
// that one is lost; the late reply to registers 1 to 6 must not pass for the
// reply to registers 30 to 35.
TEST_F(ModbusOnScriptedPeer, LateReplyIsNeverTakenForTheReplyToTheNextRequest) {
  using namespace std::chrono_literals;
  const std::string first = WithCrc("01 03 0C 00 01 00 02 00 03 00 04 00 05 00 06");
  const std::string second = WithCrc("01 03 0C 02 EE 00 00 00 00 00 00 00 00 00 0C");
  peer.Script({{8, first, 1250ms}, {8, ""}, {8, second}});
  EXPECT_EQ(port.QueryWords(1, 1, 6).Status, karvo::TSerialPort::kTimeout);
  const TSerialResponse next = port.QueryWords(1, 30, 6);
  EXPECT_EQ(next.Status, karvo::TSerialPort::kTimeout) << "registers 1 to 6 taken for 30 to 35";
  EXPECT_EQ(next.rArray[1], 0);
  const TSerialResponse again = port.QueryWords(1, 30, 6);
  EXPECT_EQ(again.Status, "");
  EXPECT_EQ(again.rArray[1], 750);
  EXPECT_EQ(again.rArray[6], 12);
}
