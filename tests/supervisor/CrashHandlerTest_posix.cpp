// A crash of the process writes its report before the process ends.

#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "FileContents.h"
#include "TestHome.h"
#include "common/ProgramThread.h"
#include "supervisor/logic/CrashReport.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

// The one report in the folder, or empty text.
std::string OnlyReport(const std::string& prefix) {
  std::string text;
  int found = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ErrorReportFolder(), ec)) {
    if (entry.path().filename().string().rfind(prefix, 0) != 0) continue;
    ++found;
    text = test::FileContents(entry.path(), false);
  }
  return found == 1 ? text : std::string();
}

TEST(CrashHandlerDeathTest, AFatalSignalWritesTheReportWithTheRecentLines) {
  test::ScopedStateDir state;
  EXPECT_EXIT(
      {
        InstallCrashHandler();
        RecentLogLines().Clear();
        RecentLogLines().Add("Temperature                : 1021.5");
        raise(SIGSEGV);
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  const std::string report = OnlyReport("crash-");
  EXPECT_NE(report.find("KarvoTemp crash report\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Version: " + ProgramVersion() + "\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Error: fatal signal 11 (SIGSEGV)\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\nTemperature                : 1021.5\n"), std::string::npos) << report;
}

volatile long gDepthLeft = 1L << 40;

// Deeper and deeper until the thread's stack runs out.
[[gnu::noinline]] long Deeper(long n) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(n);
  gDepthLeft = gDepthLeft - 1;
  if (gDepthLeft <= 0) return frame[0];
  return Deeper(n + 1) + frame[0];
}

// A stack overflow in a thread the program started (a poll, the journal's
// writer) still writes its report: the handler runs on the thread's own
// signal stack.
TEST(CrashHandlerDeathTest, AStackOverflowInAProgramThreadWritesTheReport) {
  test::ScopedStateDir state;
  EXPECT_EXIT(
      {
        InstallCrashHandler();
        RecentLogLines().Clear();
        RecentLogLines().Add("Poll of the furnace");
        StartProgramThread([] { std::printf("%ld", Deeper(0)); }).join();
      },
      ::testing::KilledBySignal(SIGSEGV), "");
  const std::string report = OnlyReport("crash-");
  EXPECT_NE(report.find("Error: fatal signal 11 (SIGSEGV)\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\nPoll of the furnace\n"), std::string::npos) << report;
}

TEST(CrashHandlerDeathTest, AnExceptionNothingCaughtWritesTheReport) {
  test::ScopedStateDir state;
  EXPECT_EXIT(
      {
        InstallCrashHandler();
        std::thread([] { throw std::runtime_error("a poll thread failed"); }).join();
      },
      ::testing::KilledBySignal(SIGABRT), "");
  const std::string report = OnlyReport("report-");
  EXPECT_NE(report.find("Error: unhandled exception: a poll thread failed\n"), std::string::npos) << report;
  // One report only: the abort that follows does not write a second.
  EXPECT_EQ(OnlyReport("crash-"), "");
}

}  // namespace
}  // namespace karvo
