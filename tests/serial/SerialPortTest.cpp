// Transactions that fail before anything is written; the same on every
// platform.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "common/Log.h"
#include "serial/SerialPort.h"

namespace {

using karvo::TSerialPort;

// The specified text stays; the reason follows in the log as a line of its
// own, whatever Debug says, and is kept for the caller.
TEST(SerialPort, NameThatStandsForNoPortFailsAsPortInUseAtOnceAndLogsWhy) {
  std::mutex m;
  std::vector<std::string> lines;
  karvo::ScopedLogSink sink([&](const std::string& line) {
    std::lock_guard lock(m);
    lines.push_back(line);
  });
  const std::uint8_t request[] = {1, 3, 0, 1, 0, 6, 0x94, 0x08};
  for (const std::string name : {"", "NoSuchPort", "COM", "COM3 "}) {
    TSerialPort port;
    port.SetDebug(true);
    port.SetPort(name);
    const auto start = std::chrono::steady_clock::now();
    const karvo::TSerialResponse r = port.SendData(request, sizeof request, true);
    EXPECT_EQ(r.Status, TSerialPort::kPortInUse) << '"' << name << '"';
    EXPECT_EQ(r.Response, "");
    EXPECT_EQ(r.ValueOfFirstWord, 0);
    // A waiting transaction takes at least 400 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    const std::string reason = port.LastFailureReason();
    EXPECT_NE(reason, "") << '"' << name << '"';
    EXPECT_EQ(port.Send2("abc", true).Status, TSerialPort::kPortInUse);
    EXPECT_EQ(port.Send("abc", false), "");
    std::lock_guard lock(m);
    const std::vector<std::string> failure{TSerialPort::kPortInUse, reason};
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), failure.begin(), failure.end());
    EXPECT_EQ(lines, expected) << "the failure text and then its reason for each failed transaction, and nothing else";
    lines.clear();
  }
}

TEST(SerialPort, SetUpStepsRefuseTheInvalidHandle) {
  TSerialPort port;
  EXPECT_FALSE(port.SetDCBState(karvo::kInvalidComHandle));
  EXPECT_FALSE(port.SetTimeOuts(karvo::kInvalidComHandle));
  EXPECT_FALSE(port.SetBuffers(karvo::kInvalidComHandle));
}

}  // namespace
