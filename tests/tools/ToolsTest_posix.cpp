// karvo-probe and karvo-sim as a user runs them: separate processes, the
// port reached by its COM name through the port map folder of a temporary
// configuration home.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Process_posix.h"
#include "serial/PortMap.h"
#include "serial/PtyPeer_posix.h"
#include "sim/ComLink.h"

using karvo::testing::Process;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct Outcome {
  int exitCode;
  std::string out, err;
};

Outcome RunTool(const std::vector<std::string>& argv) {
  Process p(argv);
  const int code = p.Wait(30s);
  return {code, p.Out(), p.Err()};
}

Outcome Probe(const std::vector<std::string>& args) {
  std::vector<std::string> argv{KARVO_PROBE_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunTool(argv);
}

}  // namespace

TEST(KarvoProbe, CommandsAgainstTheSimulatedController) {
  karvo::sim::SimOnComPort sim({.Seed = 1}, "COM9");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {{"COM9", "test"}, 0, "Echo test passed at address 1\n", ""},
      {{"COM9", "read", "11", "2"}, 0, "11 0\n12 1200\n", ""},
      {{"COM9", "float", "2"}, 0, "20\n", ""},
      {{"COM9", "write", "35", "10", "1"}, 0, "35 10\n", ""},
      {{"COM9", "write", "2", "5000"}, 1, "", "Modbus exception 3 (illegal data value)\n"},
      {{"COM10", "test"}, 1, "", "Failed to setup Com port, port in use\nCOM10 maps to no device\n"},
      {{"/dev/null", "read", "1"},
       1,
       "",
       "Failed to setup Com port, port in use\n/dev/null: Inappropriate ioctl for device\n"},
  };
  for (const Case& c : cases) {
    const Outcome o = Probe(c.args);
    EXPECT_EQ(o.exitCode, c.exitCode) << c.args[1] << " " << o.err;
    EXPECT_EQ(o.out, c.out) << c.args[1];
    EXPECT_EQ(o.err, c.err) << c.args[1];
  }
  EXPECT_EQ(sim->GetRegister(35), 10);
  EXPECT_EQ(sim->GetRegister(2), 20) << "the refused setpoint changed nothing";

  // --verbose shows the program log on stderr; the result stays on stdout.
  const Outcome verbose = Probe({"--verbose", "COM9", "read", "258"});
  EXPECT_EQ(verbose.exitCode, 0);
  EXPECT_EQ(verbose.out, "258 0\n");
  EXPECT_NE(verbose.err.find("PortName                 : COM9\n"), std::string::npos) << verbose.err;
  EXPECT_NE(verbose.err.find("Response Int             : 1 3 2 0 0 "), std::string::npos) << verbose.err;
}

TEST(KarvoProbe, UsageErrorsExitWithTwoAndSendNothing) {
  karvo::sim::SimOnComPort sim({.Seed = 1}, "COM9");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"COM9"},
      {"COM9", "read"},
      {"COM9", "frobnicate"},
      {"COM9", "test", "257"},
      {"COM9", "test", "0"},
      {"COM9", "test", "1", "2"},
      {"COM9", "write", "2", "70000"},
      {"COM9", "write", "2", "-1"},
      {"COM9", "read", "1", "0"},
      {"COM9", "read", "1", "33"},
      {"COM9", "float", "abc"},
  };
  for (const auto& args : cases) {
    const Outcome o = Probe(args);
    EXPECT_EQ(o.exitCode, 2) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage: karvo-probe"), std::string::npos) << ::testing::PrintToString(args);
  }
  EXPECT_EQ(sim->FramesReceived(), 0u);
}

TEST(KarvoProbe, PollAndConfirmedWritesAsTheProgramDoesThem) {
  karvo::sim::SimOnComPort sim({.Speed = 0.0, .Seed = 1}, "COM9");
  sim->SetRegister(2, 345);
  sim->SetRegister(3, 455);
  sim->SetRegister(30, 750);
  sim->SetRegister(35, 12);

  const Outcome poll = Probe({"COM9", "poll"});
  EXPECT_EQ(poll.exitCode, 0) << poll.err;
  EXPECT_EQ(poll.err, "");
  EXPECT_TRUE(std::regex_match(poll.out, std::regex(R"(Readtime=\d{4}-\d\d-\d\d \d\d:\d\d:\d\d
Valid=true
aMessage=
Temperature=(19\.9\d*|20(\.\d+)?)
TargetSetpoint=345
WorkingOutput=455
WorkingSetpoint=\d+
MaxOutputPowerActual=750
RampRate=12
ActiveThreads=0
SensorBreak=false
)"))) << poll.out;

  const Outcome failed = Probe({"COM10", "poll"});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.out.find("aMessage=Failed to setup Com port, port in use\n"), std::string::npos) << failed.out;
  EXPECT_EQ(failed.err, "Failed to setup Com port, port in use\nCOM10 maps to no device\n");

  // The controller takes a write and its read-back only as two frames with
  // a silence between them, and the read-back only once it has answered.
  const Outcome ramp = Probe({"COM9", "set-ramp", "15"});
  EXPECT_EQ(ramp.exitCode, 0) << ramp.err;
  EXPECT_EQ(ramp.out, "confirmed after 1 attempt\n");
  EXPECT_EQ(sim->GetRegister(35), 15);
  const Outcome setpoint = Probe({"COM9", "set-target", "500"});
  EXPECT_EQ(setpoint.exitCode, 0) << setpoint.err;
  EXPECT_EQ(setpoint.out, "confirmed after 1 attempt\n");
  EXPECT_EQ(sim->GetRegister(2), 500);

  // Above the controller's highest setpoint (1200): refused every time, and
  // each attempt says why.
  const Outcome target = Probe({"COM9", "set-target", "5000"});
  EXPECT_EQ(target.exitCode, 1) << target.err;
  EXPECT_EQ(target.out, "not confirmed after 5 attempts\n");
  // An attempt whose reply a busy machine delays past the time-out says so
  // instead; the refusal is still read back.
  EXPECT_TRUE(std::regex_match(target.err, std::regex("(attempt [1-5]: (read back 500|Timeout while waiting for "
                                                      "response)\n){5}")))
      << target.err;
  EXPECT_NE(target.err.find("read back 500"), std::string::npos) << target.err;
  for (int k = 1; k <= 5; ++k) EXPECT_NE(target.err.find("attempt " + std::to_string(k) + ": "), std::string::npos);
  EXPECT_EQ(sim->GetRegister(2), 500);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"COM9", "poll", "1"}, {"COM9", "set-ramp"}, {"COM9", "set-target", "-1"}, {"COM9", "set-ramp", "65536"}}) {
    EXPECT_EQ(Probe(args).exitCode, 2) << ::testing::PrintToString(args);
  }
}

// A controller whose replies come 1.5 s after the request, later than a
// transaction waits: a read that gave up must not leave its late reply to
// the next read, even in the next run of the tool.
TEST(KarvoProbe, LateReplyIsNeverTakenForTheNextRead) {
  karvo::sim::SimOnComPort sim({.Speed = 0.0, .Seed = 1, .Faults = {.ReplyDelayMs = 1500}}, "COM9");
  sim->SetRegister(30, 750);
  const Outcome first = Probe({"COM9", "read", "1", "6"});
  EXPECT_EQ(first.exitCode, 1);
  EXPECT_EQ(first.err, "Timeout while waiting for response\n");
  const Outcome next = Probe({"COM9", "read", "30", "6"});
  EXPECT_EQ(next.exitCode, 1) << "registers 1 to 6 shown as 30 to 35:\n" << next.out;
  EXPECT_EQ(next.out, "");
}

TEST(KarvoSim, ServesUnderItsComNameUntilTerminatedAndTidiesUp) {
  karvo::sim::ScopedConfigHome home;
  const fs::path link = fs::path(karvo::sim::PortMapDir()) / "COM21";
  fs::create_directories(link.parent_path());
  fs::create_symlink("/dev/pts/98765", link);  // left behind by a crashed run

  Process sim({KARVO_SIM_EXE, "--com", "COM21", "--address", "3", "--sensor-break", "--seed", "5"});
  const std::string line = sim.ReadLine(10s);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(line, m, std::regex(R"(Simulated controller on COM21 \((/dev/pts/\d+)\))")))
      << line << sim.Err();
  EXPECT_EQ(fs::read_symlink(link), m[1].str());

  const Outcome read = Probe({"COM21", "read", "258", "1", "3"});
  EXPECT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(read.out, "258 1\n");

  // A second simulator does not take the name over while the first serves.
  const Outcome second = RunTool({KARVO_SIM_EXE, "--com", "COM21"});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.err.find("COM21 is served by a running simulator"), std::string::npos) << second.err;
  EXPECT_EQ(fs::read_symlink(link), m[1].str());
  EXPECT_EQ(Probe({"COM21", "read", "258", "1", "3"}).out, "258 1\n");

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(10s), 0) << sim.Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link stays behind";
  EXPECT_FALSE(fs::exists(karvo::PortLinkOwnerFile(karvo::sim::PortMapDir(), "COM21")))
      << "the owner file stays behind";
}

// A simulator killed without a chance to tidy up leaves its link behind, and
// the pseudo-terminal's number goes to the next terminal that is opened,
// someone's terminal session perhaps. The link is then no port: nothing is
// written to that terminal.
TEST(KarvoSim, LinkOfAKilledSimulatorIsNoPort) {
  karvo::sim::ScopedConfigHome home;
  Process sim({KARVO_SIM_EXE, "--com", "COM23"});
  ASSERT_NE(sim.ReadLine(10s).find("Simulated controller on COM23"), std::string::npos) << sim.Err();
  EXPECT_EQ(Probe({"COM23", "test"}).exitCode, 0);
  sim.Signal(SIGKILL);
  sim.Wait(10s);
  const fs::path link = fs::path(karvo::sim::PortMapDir()) / "COM23";
  ASSERT_TRUE(fs::is_symlink(link)) << "the link was tidied up after all";
  // The next terminals opened here get the freed number (the lowest free).
  std::vector<std::unique_ptr<karvo::testing::PtyPeer>> terminals;
  while (terminals.size() < 32 && (terminals.empty() || terminals.back()->Path() != fs::read_symlink(link))) {
    terminals.push_back(std::make_unique<karvo::testing::PtyPeer>());
  }
  ASSERT_EQ(terminals.back()->Path(), fs::read_symlink(link)) << "no terminal got the simulator's number";
  const Outcome o = Probe({"COM23", "test"});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_EQ(o.err, "Failed to setup Com port, port in use\nCOM23 maps to no device\n");
  EXPECT_EQ(terminals.back()->Received(), "") << "Modbus bytes written to a terminal";
  terminals.clear();
  // A new simulator takes the name over.
  Process again({KARVO_SIM_EXE, "--com", "COM23"});
  EXPECT_NE(again.ReadLine(10s).find("Simulated controller on COM23"), std::string::npos) << again.Err();
  EXPECT_EQ(Probe({"COM23", "test"}).exitCode, 0);
}

TEST(KarvoSim, RefusesBadArgumentsAndAPortThatIsNotASimulators) {
  karvo::sim::ScopedConfigHome home;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{{"--com", "COM0"},
                                                                                    {"--com", "ttyS0"},
                                                                                    {"--address", "0"},
                                                                                    {"--speed", "fast"},
                                                                                    {"--bad-crc", "2"},
                                                                                    {"--reply-delay"},
                                                                                    {"--what"}}) {
    std::vector<std::string> argv{KARVO_SIM_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    const Outcome o = RunTool(argv);
    EXPECT_EQ(o.exitCode, 2) << args[0];
    EXPECT_NE(o.err.find("usage: karvo-sim"), std::string::npos) << args[0];
  }

  const fs::path link = fs::path(karvo::sim::PortMapDir()) / "COM22";
  fs::create_directories(link.parent_path());
  fs::create_symlink("/dev/null", link);  // the user's own entry
  const Outcome o = RunTool({KARVO_SIM_EXE, "--com", "COM22"});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_NE(o.err.find("left alone"), std::string::npos) << o.err;
  EXPECT_EQ(fs::read_symlink(link), "/dev/null");
}
