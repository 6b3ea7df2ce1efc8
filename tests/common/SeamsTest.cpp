#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <set>
#include <vector>

#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/Seams.h"

namespace seams = karvo::seams;

TEST(Seams, ReplacementsApplyAndScopedRestoresTheDefault) {
  std::vector<std::uint32_t> pauses;
  {
    seams::Scoped p(seams::SetPause, seams::PauseFn([&](std::uint32_t ms) { pauses.push_back(ms); }));
    seams::Scoped n(seams::SetUtcNow, seams::NowFn([] { return 45000.5; }));
    seams::Scoped r(seams::SetRandom, seams::RandomFn([](int lo, int) { return lo; }));
    karvo::PauseMs(500);
    karvo::PauseMs(999);
    EXPECT_EQ(karvo::UtcNow(), 45000.5);
    EXPECT_EQ(karvo::Now(), karvo::UtcToLocal(45000.5));
    EXPECT_EQ(karvo::RandomRange(7, 9), 7);
  }
  EXPECT_EQ(pauses, (std::vector<std::uint32_t>{500, 999}));
  EXPECT_NEAR(karvo::UtcNow(), seams::SystemUtcNow(), 1.0 / 86400);  // real clock again
}

TEST(Seams, DefaultRandomStaysInRangeAndCoversIt) {
  std::set<int> seen;
  for (int i = 0; i < 5000; ++i) {
    const int v = karvo::RandomRange(0, 9);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 9);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 10u);
}

TEST(Seams, SystemClockCountsUtcDaysSince1899) {
  // Against the C library's own count of seconds since 1970-01-01 UTC.
  const double expected = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
  EXPECT_NEAR(seams::SystemUtcNow(), expected, 2.0 / 86400);
}

TEST(Seams, DefaultUiInvokeRunsBeforeReturning) {
  int ran = 0;
  karvo::RunOnUiThreadAndWait([&] { ++ran; });
  EXPECT_EQ(ran, 1);
}

TEST(Seams, DialogDefaultsLogAndAnswerNo) {
  std::vector<std::string> messages;
  seams::Scoped m(seams::SetMessage, seams::MessageFn([&](const std::string& t) { messages.push_back(t); }));
  karvo::ShowMessage("No COM ports detected!");
  EXPECT_EQ(messages, std::vector<std::string>{"No COM ports detected!"});
  EXPECT_FALSE(karvo::AskYesNo("Continue?"));
  // A list to pick from is cancelled.
  EXPECT_EQ(karvo::AskListChoice({"Runs", "Pick one", {"A", "B"}}), -1);
  // Without a user interface a save dialog is cancelled and an error report
  // is not asked for; both leave their text in the log.
  karvo::MemoryLog::Clear();
  karvo::TSaveDialogOptions save;
  save.Title = "Save text file";
  EXPECT_EQ(karvo::AskSaveFileName(save), "");
  EXPECT_FALSE(karvo::AskSaveErrorReport("Disk full"));
  EXPECT_EQ(karvo::MemoryLog::Lines(), (std::vector<std::string>{"Save text file", "Disk full"}));
}
