// The program log's file on a disk that fills up: the file opens, its
// writes fail.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DiskFull_posix.h"
#include "FileContents.h"
#include "TestHome.h"
#include "common/Attention.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "supervisor/logic/ProgramLogFile.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

TEST(LogFileOnAFullDisk, SaidOnceWhileFullAndTheGapNamedWhenSpaceReturns) {
  ClearAllAttention();
  test::ScopedStateDir state;
  DateTimeParts p;
  p.year = 2024;
  p.month = 3;
  p.day = 5;
  p.hour = 9;
  TDateTime now = LocalToUtc(EncodeDateTime(p));
  seams::Scoped<seams::NowFn> clock{seams::SetUtcNow, [&] { return now; }};
  const fs::path path = KarvoStateDir() / "log" / "KarvoTemp-2024-03-05.log";
  TProgramLogFile file;
  EXPECT_EQ(file.Write("Found a furnace, starting operation."), "");
  std::string notice;
  {
    test::DiskFullAfter full(fs::file_size(path) + 20);
    notice = file.Write("Temperature                : 1021.5");
    EXPECT_EQ(notice.rfind("The program log cannot be written to " + path.string() + ": File too large.", 0), 0u)
        << notice;
    EXPECT_TRUE(AttentionRaised(kLogFileAttention));
    for (int minute = 0; minute < 3; ++minute) {
      now += 61.0 / 86400;
      EXPECT_EQ(file.Write("Temperature                : 1022"), "") << "said again at minute " << minute;
    }
    EXPECT_TRUE(AttentionRaised(kLogFileAttention));
  }
  now += 61.0 / 86400;
  const std::string gap = file.Write("Temperature                : 1023");
  EXPECT_EQ(gap, "The program log could not be written from 2024-03-05 09:00:00 to 2024-03-05 09:04:04 (" +
                     path.string() + ": File too large); the lines of that time are missing here.");
  EXPECT_FALSE(AttentionRaised(kLogFileAttention));
  const std::string text = test::FileContents(path, false);
  EXPECT_NE(text.find("09:04:04 " + gap + "\n09:04:04 Temperature                : 1023\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace karvo
