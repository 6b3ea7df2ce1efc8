// The run journal across the autumn clock change, and on a disk that is
// really full (a file size limit: the system refuses the write).

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "DiskFull_posix.h"
#include "FileContents.h"
#include "TempFolder.h"
#include "chart/TallinnFixture_posix.h"
#include "common/Log.h"
#include "supervisor/logic/RunJournal.h"

namespace karvo {
namespace {

using test::FileContents;
using test::TempFolder;

class JournalInTallinn : public test::Tallinn {};

TEST_F(JournalInTallinn, TheHourRepeatedInAutumnReadsBackInOrder) {
  // Summer time ends 2024-10-27 at 01:00 UTC: 04:00 EEST becomes 03:00 EET.
  std::vector<TJournalSample> samples;
  for (int i = 0; i <= 8; ++i) samples.push_back({Utc(2024, 10, 27, 0, 15 * i), 1000.0 + i, 1050, 1043, 45});
  std::string bytes = JournalHeader() + "\r\n";
  for (const TJournalSample& s : samples) {
    AppendJournalLine(bytes, s, {});
    bytes += "\r\n";
  }
  ASSERT_NE(bytes.find("2024-10-27 03:15:00;1001"), std::string::npos);
  ASSERT_NE(bytes.find("2024-10-27 03:15:00;1005"), std::string::npos);
  const TJournalContents read = ParseJournal(bytes, {});
  ASSERT_EQ(read.Samples.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_NEAR(read.Samples[i].Time, samples[i].Time, 1e-8) << i;
}

TEST(RunJournalPosix, AFullDiskLosesNoSampleOnceItTakesWritesAgain) {
  TempFolder folder;
  std::mutex m;
  std::vector<std::string> lines;
  ScopedLogSink sink([&](const std::string& line) {
    std::lock_guard lock(m);
    lines.push_back(line);
  });
  TRunJournal journal{TRegionalSettings{}};
  journal.SetFolder(folder.Path());
  journal.SetRetry(5, 20);
  std::vector<TJournalSample> samples;
  {
    test::DiskFullAfter full(2000);
    journal.Begin(L"Furnace1");
    for (int i = 0; i < 100; ++i) {
      samples.push_back({45000.5 + i / 17280.0, 1000 + i * 0.5, 1050, 1043, 45});
      journal.Append(samples.back());
      ASSERT_TRUE(journal.WaitIdle(10000));
    }
    const std::uint64_t kept = journal.DurableSamples();
    EXPECT_GT(kept, 5u);
    EXPECT_LT(kept, 100u);
    EXPECT_EQ(journal.WaitingSamples(), 100u - kept);
    // What reached the disk is whole.
    const TJournalContents read = ReadJournal(journal.JournalPath(), {});
    EXPECT_FALSE(read.TornLastLine);
    EXPECT_EQ(read.RefusedLines, 0u);
    EXPECT_EQ(read.Samples.size(), kept);
  }
  // Room again: everything that waited follows, in order.
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.DurableSamples(), 100u);
  int said = 0;
  {
    std::lock_guard lock(m);
    for (const std::string& line : lines) said += line.find("cannot be written") != std::string::npos;
  }
  EXPECT_EQ(said, 1);
  const TJournalContents read = ReadJournal(journal.JournalPath(), {});
  EXPECT_EQ(read.RefusedLines, 0u);
  ASSERT_EQ(read.Samples.size(), samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(read.Samples[i].Temperature, samples[i].Temperature);
  journal.End();
  ASSERT_TRUE(journal.WaitWritten(10000));
}

}  // namespace
}  // namespace karvo
