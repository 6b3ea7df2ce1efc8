// Transactions on real pseudo-terminals, with a scripted controller on the
// other side. Each waiting transaction costs real time (0.4 s with a reply,
// 1.2 s without), so the waiting cases are few.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtyPeer_posix.h"
#include "TempDir_posix.h"
#include "common/Log.h"
#include "serial/SerialPort.h"

namespace {

using karvo::TSerialPort;
using karvo::TSerialResponse;
using karvo::testing::PtyPeer;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const std::string kRequest("\x01\x03\x00\x01\x00\x06\x94\x08", 8);
// A read reply whose first word has the top bit set (0xFF38 = 65336).
const std::string kReply("\x01\x03\x0C\xFF\x38\x00\x02\x00\x03\x00\x04\x00\x05\x00\x06\x12\x34", 17);

TSerialResponse Transact(TSerialPort& port, const std::string& request, bool wait) {
  return port.SendData(reinterpret_cast<const std::uint8_t*>(request.data()),
                       static_cast<std::uint32_t>(request.size()), wait);
}

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d)) ++n;
    ::closedir(d);
  }
  return n;
}

class SerialPortOnPty : public ::testing::Test {
 protected:
  SerialPortOnPty() { port.SetPort(peer.Path()); }

  std::vector<std::string> Lines() {
    std::lock_guard lock(linesMutex);
    return lines;
  }

  PtyPeer peer;
  TSerialPort port;
  std::mutex linesMutex;
  std::vector<std::string> lines;
  karvo::ScopedLogSink sink{[this](const std::string& line) {
    std::lock_guard lock(linesMutex);
    lines.push_back(line);
  }};
};

// Through a link of the port map, as the program addresses a port.
TEST_F(SerialPortOnPty, ReplyIsReadWholeAndLoggedWithDebug) {
  karvo::testing::TempDir config;
  karvo::testing::ScopedEnv xdg("XDG_CONFIG_HOME", config.Path());
  config.Link("TalvikAS/Karvo/ports/COM150", peer.Path());
  port.SetPort("COM150");
  port.SetDebug(true);
  peer.Script({{kRequest.size(), kReply}});

  const auto start = Clock::now();
  const TSerialResponse r = Transact(port, kRequest, true);
  const auto elapsed = Clock::now() - start;

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, kReply);
  EXPECT_EQ(r.ValueOfFirstWord, 65336);
  EXPECT_EQ(peer.Received(), kRequest);
  EXPECT_GE(elapsed, milliseconds(400));  // the pause after the write and the one after the look
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         std::string(44, '*'),
                         "PortName                 : COM150",
                         "Bytes written            : 8",
                         "Response Str             : " + kReply,
                         "Response Int             : 1 3 12 255 56 0 2 0 3 0 4 0 5 0 6 18 52 ",
                         "Response Status          : ",
                     }));
}

TEST_F(SerialPortOnPty, ReplyOverEightyBytesYieldsItsFirstEightyAndNoLogWithoutDebug) {
  std::string reply;
  for (int i = 0; i < 100; ++i) reply += static_cast<char>(i);
  peer.Script({{kRequest.size(), reply}});

  const TSerialResponse r = Transact(port, kRequest, true);

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, reply.substr(0, 80));
  EXPECT_EQ(r.ValueOfFirstWord, 3 * 256 + 4);
  EXPECT_EQ(peer.WaitingForPort(), 20);  // the rest stays unread
  EXPECT_TRUE(Lines().empty());
}

TEST_F(SerialPortOnPty, NoReplyTimesOutAfterAboutOnePointTwoSeconds) {
  port.SetDebug(true);
  const auto start = Clock::now();
  const TSerialResponse r = Transact(port, kRequest, true);
  const auto elapsed = Clock::now() - start;

  EXPECT_EQ(r.Status, "Timeout while waiting for response");
  EXPECT_EQ(r.Response, "");
  EXPECT_GE(elapsed, milliseconds(1150));
  EXPECT_LT(elapsed, milliseconds(5000));
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         std::string(44, '*'),
                         "PortName                 : " + peer.Path(),
                         "Bytes written            : 8",
                         "Message                  : Timeout 1s ",
                     }));
}

// With a pause as long as the read-out time there is one look, 600 ms
// after the write, and the transaction ends 600 ms later: wide margins
// either side of it for the two timing cases below.
TEST_F(SerialPortOnPty, ReplyThatStartsAfterTheLastLookCountsAsNone) {
  port.SetWindowsReadLoopTimeoutMS(600);
  port.SetReadoutTimeoutMS(600);
  peer.Script({{kRequest.size(), kReply, milliseconds(900)}});

  const TSerialResponse r = Transact(port, kRequest, true);
  const auto end = Clock::now();

  EXPECT_EQ(r.Status, "Timeout while waiting for response");
  EXPECT_EQ(r.Response, "");
  // The reply did come while the port was still open.
  const auto sent = peer.ReplyTimes();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_LT(sent[0], end);
}

TEST_F(SerialPortOnPty, LookThatFoundBytesIsHonouredPastTheDeadline) {
  port.SetWindowsReadLoopTimeoutMS(600);
  port.SetReadoutTimeoutMS(600);
  peer.Script({{kRequest.size(), kReply, milliseconds(300)}});

  const auto start = Clock::now();
  const TSerialResponse r = Transact(port, kRequest, true);

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, kReply);
  EXPECT_GE(Clock::now() - start, milliseconds(1200));
}

TEST_F(SerialPortOnPty, WithoutWaitingNothingIsRead) {
  port.SetDebug(true);
  peer.Script({{kRequest.size(), kReply}});

  const TSerialResponse r = Transact(port, kRequest, false);

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, "");
  EXPECT_EQ(r.ValueOfFirstWord, 0);
  ASSERT_TRUE(peer.WaitForReceived(kRequest.size(), milliseconds(5000)));
  EXPECT_EQ(peer.Received(), kRequest);
  // The controller answered; the reply waits whole, unread.
  EXPECT_TRUE(peer.WaitForWaitingForPort(static_cast<int>(kReply.size()), milliseconds(5000)));
  EXPECT_EQ(peer.WaitingForPort(), static_cast<int>(kReply.size()));
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         std::string(44, '*'),
                         "PortName                 : " + peer.Path(),
                         "Bytes written            : 8",
                         "Exit read/write without waiting for reply",
                     }));
}

TEST_F(SerialPortOnPty, Send2FillsOnlyResponseAndStatusAndSendReturnsTheReply) {
  port.SetDebug(true);
  peer.Script({{kRequest.size(), kReply}, {kRequest.size(), kReply}});

  const TSerialResponse r = port.Send2(kRequest, true);

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, kReply);
  EXPECT_EQ(r.ValueOfFirstWord, 0);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         std::string(44, '*'),
                         "PortName                 : " + peer.Path(),
                         "Bytes written            : 8",
                         "As string                : " + kRequest,
                     }));
  EXPECT_EQ(port.Send(kRequest, true), kReply);
  EXPECT_EQ(peer.Received(), kRequest + kRequest);
}

TEST_F(SerialPortOnPty, StaleLateReplyIsNotReadAsTheNextOne) {
  const std::string stale("STALE-REPLY-OF-AN-EARLIER-EXCHANGE");
  peer.Script({{kRequest.size(), stale, milliseconds(500)}, {kRequest.size(), kReply}});
  {
    TSerialPort quick;  // gives up long before the controller answers
    quick.SetPort(peer.Path());
    quick.SetWindowsReadLoopTimeoutMS(50);
    quick.SetReadoutTimeoutMS(50);
    EXPECT_EQ(Transact(quick, kRequest, true).Status, "Timeout while waiting for response");
  }
  ASSERT_TRUE(peer.WaitForWaitingForPort(static_cast<int>(stale.size()), milliseconds(5000)));

  const TSerialResponse r = Transact(port, kRequest, true);

  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.Response, kReply);
}

TEST_F(SerialPortOnPty, PortHeldByAnotherOwnerFailsAtOnce) {
  const int other = ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  port.SetDebug(true);

  const auto start = Clock::now();
  const TSerialResponse r = Transact(port, kRequest, true);

  EXPECT_EQ(r.Status, "Failed to setup Com port, port in use");
  EXPECT_LT(Clock::now() - start, milliseconds(400));
  EXPECT_TRUE(Lines().empty());
  ::close(other);
  EXPECT_EQ(Transact(port, kRequest, false).Status, "");  // free again
  EXPECT_TRUE(peer.WaitForReceived(kRequest.size(), milliseconds(5000)));
  EXPECT_EQ(peer.Received(), kRequest);
}

// Two objects on two threads, as a poll and a write of the program meet.
TEST_F(SerialPortOnPty, SecondObjectFailsWhileTheFirstWaitsForItsReply) {
  peer.Script({{kRequest.size(), kReply, milliseconds(100)}, {kRequest.size(), kReply}});
  TSerialResponse first;
  std::thread poll([&] { first = Transact(port, kRequest, true); });
  ASSERT_TRUE(peer.WaitForReceived(kRequest.size(), milliseconds(5000)));

  TSerialPort second;
  second.SetPort(peer.Path());
  const TSerialResponse meanwhile = Transact(second, kRequest, true);
  poll.join();

  EXPECT_EQ(meanwhile.Status, "Failed to setup Com port, port in use");
  EXPECT_EQ(first.Status, "");
  EXPECT_EQ(first.Response, kReply);
  const TSerialResponse after = Transact(second, kRequest, true);
  EXPECT_EQ(after.Status, "");
  EXPECT_EQ(after.Response, kReply);
}

TEST_F(SerialPortOnPty, ThousandTransactionsWithoutWaitLeaveNoDescriptorOrLock) {
  const int before = OpenDescriptors();
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(Transact(port, kRequest, false).Status, "") << "transaction " << i;
  }
  EXPECT_EQ(OpenDescriptors(), before);
  ASSERT_TRUE(peer.WaitForReceived(1000 * kRequest.size(), milliseconds(10000)));
  EXPECT_EQ(peer.Received().size(), 1000 * kRequest.size());

  int exclusive = -1;
  ASSERT_EQ(::ioctl(peer.DeviceFd(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  const int other = ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
}

// The line settings are built from zero: whatever the device was set to
// before, it ends up raw 9600 8N1 without flow control.
TEST_F(SerialPortOnPty, AppliesRaw9600EightNoneOneWithoutFlowControl) {
  termios odd{};
  ASSERT_EQ(::tcgetattr(peer.DeviceFd(), &odd), 0);
  odd.c_cflag |= PARENB | PARODD | CSTOPB | CRTSCTS;
  odd.c_cflag = (odd.c_cflag & ~CSIZE) | CS7;
  odd.c_iflag |= IXON | IXOFF | ICRNL | INPCK;
  odd.c_oflag |= OPOST | ONLCR;
  odd.c_lflag |= ICANON | ECHO | ISIG;
  ::cfsetspeed(&odd, B19200);
  ASSERT_EQ(::tcsetattr(peer.DeviceFd(), TCSANOW, &odd), 0);

  ASSERT_EQ(Transact(port, kRequest, false).Status, "");

  termios t{};
  ASSERT_EQ(::tcgetattr(peer.DeviceFd(), &t), 0);
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(t.c_iflag, 0u);
  EXPECT_EQ(t.c_oflag, 0u);
  EXPECT_EQ(t.c_lflag, 0u);
}

TEST(SerialPortOnPosix, DeviceThatIsNoTerminalFailsAsPortInUse) {
  const int before = OpenDescriptors();
  TSerialPort port;
  for (const char* path : {"/dev/null", "/nonexistent/device"}) {
    port.SetPort(path);
    EXPECT_EQ(Transact(port, kRequest, false).Status, "Failed to setup Com port, port in use") << path;
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
