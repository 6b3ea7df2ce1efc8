#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <atomic>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/SerialPort.h"
#include "serial/WriteWatch.h"
#include "sim/SimController.h"

using karvo::sim::Bytes;
using karvo::sim::SimController;
using karvo::sim::SimFaults;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

Bytes WithCrc(Bytes b) {
  karvo::sim::AppendCrc(b);
  return b;
}

// The program's side of the pseudo-terminal for one exchange: opened,
// written, read and closed again, as the serial transport does it.
class RawLine {
 public:
  explicit RawLine(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIFLUSH);
  }
  ~RawLine() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  void Write(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
  // When each byte arrived, read byte by byte until `expect` have come or
  // the time is up.
  std::vector<Clock::time_point> ReadTimed(std::size_t expect, std::chrono::milliseconds timeout) {
    std::vector<Clock::time_point> times;
    const auto deadline = Clock::now() + timeout;
    while (times.size() < expect && Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      std::uint8_t b = 0;
      if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN) && read(fd_, &b, 1) == 1) times.push_back(Clock::now());
    }
    return times;
  }
  // Collects bytes until `expect` have come or the time is up.
  Bytes Read(std::size_t expect, std::chrono::milliseconds timeout) {
    Bytes got;
    const auto deadline = Clock::now() + timeout;
    while (got.size() < expect && Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
        std::uint8_t buf[256];
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n > 0) got.insert(got.end(), buf, buf + n);
      }
    }
    return got;
  }

 private:
  int fd_;
};

// One request and its reply (empty when none came in time).
Bytes Exchange(const std::string& path, const Bytes& request, std::size_t expect,
               std::chrono::milliseconds timeout = 3000ms) {
  RawLine line(path);
  EXPECT_TRUE(line.Ok()) << path;
  if (!line.Ok()) return {};
  line.Write(request);
  return line.Read(expect, timeout);
}

Bytes EchoRequest(std::uint8_t address, std::uint16_t value) {
  return WithCrc(
      {address, 0x08, 0x00, 0x00, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)});
}
Bytes WriteRequest(std::uint8_t address, std::uint16_t reg, std::uint16_t value) {
  return WithCrc({address, 0x06, static_cast<std::uint8_t>(reg >> 8), static_cast<std::uint8_t>(reg & 0xFF),
                  static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)});
}

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds timeout) {
  for (const auto deadline = Clock::now() + timeout; Clock::now() < deadline;) {
    if (pred()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return pred();
}

}  // namespace

TEST(SimController, AnswersEveryExchangeWhileTheProgramOpensAndClosesTheDevice) {
  SimController sim({.Seed = 1});
  sim.Start();
  const std::string path = sim.DevicePath();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  std::this_thread::sleep_for(50ms);  // nobody on the other side yet: reads fail with EIO
  for (std::uint16_t value : {12345, 0, 64999, 7}) {
    const Bytes request = EchoRequest(1, value);
    EXPECT_EQ(Exchange(path, request, 8), request) << value;
  }
  // Another device's request: heard, not answered.
  EXPECT_TRUE(Exchange(path, EchoRequest(2, 1), 1, 300ms).empty());
  EXPECT_EQ(sim.FramesReceived(), 5u);
  // A request with a broken CRC is not answered either, and not counted.
  Bytes bad = EchoRequest(1, 99);
  bad[5] ^= 0x10;
  EXPECT_TRUE(Exchange(path, bad, 1, 300ms).empty());
  EXPECT_EQ(sim.FramesReceived(), 5u);
}

// The line as a real controller keeps it: a frame ends with a silence of
// 3.5 characters, one request at a time, replies at 9600 baud.
TEST(SimController, TakesOnlyFramesWithASilenceAroundThemOneAtATime) {
  SimController sim({.Seed = 1});
  sim.Start();
  const std::string path = sim.DevicePath();
  const Bytes echo = EchoRequest(1, 4242);

  // Two requests without a silence between them are one frame of garbage:
  // neither is executed or answered.
  Bytes both = WriteRequest(1, 35, 3);
  both.insert(both.end(), echo.begin(), echo.end());
  EXPECT_TRUE(Exchange(path, both, 1, 300ms).empty());
  EXPECT_EQ(sim.GetRegister(35), 0);
  EXPECT_EQ(sim.FramesReceived(), 0u);
  EXPECT_EQ(sim.FramesDiscarded(), 1u);

  // The same two with a silence between them are both taken; the reply
  // comes at the line's pace (1.04 ms a byte).
  {
    RawLine line(path);
    ASSERT_TRUE(line.Ok());
    line.Write(WriteRequest(2, 35, 3));  // another device's: no reply to wait for
    ASSERT_TRUE(WaitFor([&] { return sim.FramesReceived() == 1; }, 3000ms));
    const Clock::time_point sent = Clock::now();
    line.Write(WithCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x06}));
    const std::vector<Clock::time_point> arrived = line.ReadTimed(17, 3000ms);
    ASSERT_EQ(arrived.size(), 17u);
    // A reader that is kept waiting may take every byte at once, so the
    // bound is taken from the request: the last byte cannot come before the
    // 17 byte times of the reply have passed.
    EXPECT_GE(arrived.back() - sent, 17ms) << "17 byte times after the request";
  }

  // A request that arrives while the controller is still answering is lost.
  sim.SetFaults({.ReplyDelayMs = 200});
  {
    RawLine line(path);
    ASSERT_TRUE(line.Ok());
    line.Write(echo);
    ASSERT_TRUE(WaitFor([&] { return sim.FramesReceived() == 3; }, 3000ms));
    line.Write(WriteRequest(1, 35, 9));
    EXPECT_EQ(line.Read(8, 3000ms), echo);
  }
  EXPECT_TRUE(WaitFor([&] { return sim.FramesDiscarded() == 2; }, 3000ms));
  EXPECT_EQ(sim.FramesReceived(), 3u);
  EXPECT_EQ(sim.GetRegister(35), 0) << "the write that came while answering was executed";
}

// A reader held up by a busy machine for longer than a frame's closing
// silence reads two frames at once. The frames the transaction wrote with
// the silence between them are still two frames; two frames written back to
// back are still one frame of garbage, however the writes were noted.
TEST(SimController, TimesTheTransactionsFramesByTheirWritingWhenItsReaderIsHeldUp) {
  SimController sim({.Address = 7, .Seed = 1});
  sim.Start();
  const std::string path = sim.DevicePath();
  const Bytes other = WriteRequest(3, 35, 3);  // another device's: nobody answers

  karvo::TSerialPort port;
  port.SetPort(path);
  sim.HoldReader();
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(port.SendData(other.data(), static_cast<std::uint32_t>(other.size()), false, 3).Status, "") << i;
  }
  sim.ReleaseReader();
  EXPECT_TRUE(WaitFor([&] { return sim.FramesReceived() == 2; }, 3000ms)) << sim.FramesReceived();
  EXPECT_EQ(sim.FramesDiscarded(), 0u);

  // The same two frames noted as the transaction notes them, but written
  // without the silence: one frame of garbage.
  karvo::IWriteWatcher* const watcher = karvo::WriteWatcher();
  ASSERT_NE(watcher, nullptr);
  RawLine line(path);
  ASSERT_TRUE(line.Ok());
  sim.HoldReader();
  for (int i = 0; i < 2; ++i) {
    watcher->WriteStarting(path, other.data(), static_cast<std::uint32_t>(other.size()), Clock::now());
    line.Write(other);
    watcher->WriteDone(path, static_cast<std::uint32_t>(other.size()), Clock::now());
  }
  std::this_thread::sleep_for(20ms);  // a silence longer than a frame's, unseen by the held reader
  sim.ReleaseReader();
  EXPECT_TRUE(WaitFor([&] { return sim.FramesDiscarded() == 1; }, 3000ms)) << sim.FramesDiscarded();
  EXPECT_EQ(sim.FramesReceived(), 2u);
}

TEST(SimController, FaultsOnDemand) {
  SimController sim({.Seed = 1});
  sim.Start();
  const std::string path = sim.DevicePath();
  const Bytes echo = EchoRequest(1, 1000);

  sim.SetFaults({.NoReply = true});
  EXPECT_TRUE(Exchange(path, echo, 1, 300ms).empty()) << "no reply";
  EXPECT_TRUE(Exchange(path, WriteRequest(1, 35, 9), 1, 300ms).empty());
  EXPECT_EQ(sim.GetRegister(35), 0) << "a deaf controller executes nothing";

  sim.SetFaults({.BadCrcFraction = 1.0});
  Bytes reply = Exchange(path, echo, 8);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_FALSE(karvo::sim::CrcMatches(reply.data(), reply.size())) << "corrupted CRC";
  EXPECT_TRUE(std::equal(echo.begin(), echo.begin() + 6, reply.begin()));

  sim.SetFaults({.ReplyAddress = 9});
  reply = Exchange(path, echo, 8);
  ASSERT_EQ(reply.size(), 8u);
  EXPECT_EQ(reply[0], 9) << "another device answering";
  EXPECT_TRUE(karvo::sim::CrcMatches(reply.data(), reply.size()));

  sim.SetFaults({.ReplyDelayMs = 300});
  const auto sent = Clock::now();
  EXPECT_EQ(Exchange(path, echo, 8), echo);
  EXPECT_GE(Clock::now() - sent, 300ms) << "reply delay";

  sim.SetFaults({.SensorBreak = true});
  EXPECT_EQ(Exchange(path, WithCrc({0x01, 0x03, 0x01, 0x02, 0x00, 0x01}), 7), WithCrc({0x01, 0x03, 0x02, 0x00, 0x01}))
      << "register 258 reads 1";
  EXPECT_TRUE(sim.Faults().SensorBreak);
  sim.SetFaults({});
  EXPECT_EQ(sim.GetRegister(258), 0);
}

TEST(SimController, StaysSilentWhileRestartingAfterConfigurationMode) {
  SimController sim({.Seed = 1, .RestartMs = 600});
  sim.Start();
  const std::string path = sim.DevicePath();
  const Bytes enter = WriteRequest(1, 199, 2), thermocouple = WriteRequest(1, 12290, 3),
              leave = WriteRequest(1, 199, 0);
  ASSERT_EQ(Exchange(path, enter, 8), enter);
  ASSERT_EQ(Exchange(path, thermocouple, 8), thermocouple);
  ASSERT_EQ(Exchange(path, leave, 8), leave);
  const auto left = Clock::now();
  const Bytes echo = EchoRequest(1, 5);
  EXPECT_TRUE(Exchange(path, echo, 1, 200ms).empty()) << "answered while restarting";
  Bytes reply;
  while (reply.empty() && Clock::now() - left < 5s) reply = Exchange(path, echo, 8, 200ms);
  EXPECT_EQ(reply, echo);
  EXPECT_GE(Clock::now() - left, 600ms);
  EXPECT_EQ(sim.GetRegister(12290), 3);
}

TEST(SimController, TracesTheLineAndRunsThePhysicsAtItsSpeed) {
  std::mutex m;
  std::vector<std::string> lines;
  SimController sim({.Speed = 600, .Seed = 1, .Trace = [&](const std::string& l) {
                       std::lock_guard lock(m);
                       lines.push_back(l);
                     }});
  sim.SetRegister(2, 300);
  sim.Start();
  const Bytes echo = EchoRequest(1, 0x1234);
  ASSERT_EQ(Exchange(sim.DevicePath(), echo, 8), echo);
  // The reply is traced once it has gone out, which may be after it arrived.
  const auto traced = [&] {
    std::lock_guard lock(m);
    return lines;
  };
  EXPECT_TRUE(WaitFor([&] { return traced().size() >= 2; }, 3000ms));
  EXPECT_EQ(traced(), (std::vector<std::string>{"<- 01 08 00 00 12 34 ED 7C", "-> 01 08 00 00 12 34 ED 7C"}));
  // At 600 times real time the furnace heats visibly within a second or two.
  EXPECT_TRUE(WaitFor([&] { return sim.Temperature() > 30.0; }, 20s)) << sim.Temperature();
}

// A caller that moves time itself: the furnace runs by its clock alone,
// also across a Stop (an adapter pulled) and the Start after it.
TEST(SimController, RunsThePhysicsByTheCallersClock) {
  std::atomic<double> seconds{1000.0};
  SimController sim({.Speed = 600, .Clock = [&] { return seconds.load(); }, .Seed = 1});
  sim.SetRegister(2, 300);
  sim.Start();
  // The clock stands: however long the serving thread runs, nothing heats.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitFor([&] { return sim.Temperature() > 20.5; }, 300ms));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  seconds = 1600.0;
  ASSERT_TRUE(WaitFor([&] { return sim.Temperature() > 100.0; }, 5s)) << sim.Temperature();
  const double heated = sim.Temperature();
  sim.Stop();
  sim.SetRegister(2, 600);
  seconds = 2200.0;
  sim.Start();
  ASSERT_TRUE(WaitFor([&] { return sim.Temperature() > heated + 50.0; }, 5s)) << sim.Temperature();
}

TEST(SimController, StopClosesTheDeviceAndStartServesTheSameControllerAgain) {
  SimController sim({.Seed = 1});
  sim.Start();
  const std::string first = sim.DevicePath();
  sim.SetRegister(35, 42);
  sim.Stop();
  EXPECT_FALSE(sim.Running());
  EXPECT_TRUE(sim.DevicePath().empty());
  sim.Stop();  // twice is harmless
  sim.Start();
  const Bytes read = WithCrc({0x01, 0x03, 0x00, 0x23, 0x00, 0x01});
  EXPECT_EQ(Exchange(sim.DevicePath(), read, 7), WithCrc({0x01, 0x03, 0x02, 0x00, 0x2A}));
  EXPECT_THROW(sim.GetRegister(600), std::out_of_range);
  EXPECT_THROW(sim.SetRegister(600, 1), std::out_of_range);
}
