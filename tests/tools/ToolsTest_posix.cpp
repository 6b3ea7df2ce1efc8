// karvo-probe and karvo-sim as a user runs them: separate processes, the
// port reached by its COM name through the port map folder of a temporary
// configuration home.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "Process_posix.h"
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
      {{"COM9", "read", "1", "33"}, 1, "", "Maximum wordcount read is 32\n"},
      {{"COM10", "test"}, 1, "", "Failed to setup Com port, port in use\n"},
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
  EXPECT_EQ(failed.err, "Failed to setup Com port, port in use\n");

  const Outcome ramp = Probe({"COM9", "set-ramp", "15"});
  EXPECT_EQ(ramp.exitCode, 0) << ramp.err;
  EXPECT_EQ(ramp.out, "confirmed after 1 attempt\n");
  EXPECT_EQ(sim->GetRegister(35), 15);

  // Above the controller's highest setpoint (1200): refused every time.
  const Outcome target = Probe({"COM9", "set-target", "5000"});
  EXPECT_EQ(target.exitCode, 1) << target.err;
  EXPECT_EQ(target.out, "not confirmed after 5 attempts\n");
  EXPECT_EQ(sim->GetRegister(2), 345);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"COM9", "poll", "1"}, {"COM9", "set-ramp"}, {"COM9", "set-target", "-1"}, {"COM9", "set-ramp", "65536"}}) {
    EXPECT_EQ(Probe(args).exitCode, 2) << ::testing::PrintToString(args);
  }
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

  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.Wait(10s), 0) << sim.Err();
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "the link stays behind";
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
