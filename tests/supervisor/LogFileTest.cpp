// The program log's daily files, error reports and the text-file writer, on
// a temporary state folder with the clock replaced.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FileContents.h"
#include "TestHome.h"
#include "common/Attention.h"
#include "common/DateTime.h"
#include "common/LocalTime.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "common/Text.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/logic/ProgramLogFile.h"
#include "supervisor/logic/TextFiles.h"

namespace karvo {
namespace {
namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) { return test::FileContents(path, false); }

// The instant of a local date and time in March 2024.
TDateTime At(int day, int hour, int minute, int second) {
  DateTimeParts p;
  p.year = 2024;
  p.month = 3;
  p.day = day;
  p.hour = hour;
  p.minute = minute;
  p.second = second;
  return LocalToUtc(EncodeDateTime(p));
}

class LogFiles : public ::testing::Test {
 protected:
  void Touch(const std::string& name) { std::ofstream(folder / name) << "old\n"; }

  test::ScopedStateDir state;
  fs::path folder = KarvoStateDir() / "log";
  TDateTime now = At(5, 23, 59, 59);
  seams::Scoped<seams::NowFn> clock{seams::SetUtcNow, [this] { return now; }};
};

TEST_F(LogFiles, EveryLineGoesToTheFileOfItsLocalDayAndOldFilesGo) {
  fs::create_directories(folder);
  for (const char* name : {"KarvoTemp-2024-02-04.log", "KarvoTemp-2024-02-05.log", "KarvoTemp-2024-02-06.log",
                           "KarvoTemp-notes.log", "other.txt"})
    Touch(name);
  {
    TProgramLogFile file;
    file.Write("Target setpoint            : 1050");
    file.Write("");
    // The oldest file beyond 30 days is gone; 2024-02-05 is the 30th day back.
    EXPECT_FALSE(fs::exists(folder / "KarvoTemp-2024-02-04.log"));
    EXPECT_TRUE(fs::exists(folder / "KarvoTemp-2024-02-05.log"));
    now = At(6, 0, 0, 1);
    file.Write("Sensor break detected. Refer to furnace manual.");
  }
  EXPECT_EQ(ReadText(folder / "KarvoTemp-2024-03-05.log"), "23:59:59 Target setpoint            : 1050\n23:59:59 \n");
  EXPECT_EQ(ReadText(folder / "KarvoTemp-2024-03-06.log"),
            "00:00:01 Sensor break detected. Refer to furnace manual.\n");
  EXPECT_FALSE(fs::exists(folder / "KarvoTemp-2024-02-05.log"));
  for (const char* kept : {"KarvoTemp-2024-02-06.log", "KarvoTemp-notes.log", "other.txt"})
    EXPECT_TRUE(fs::exists(folder / kept)) << kept;
}

TEST_F(LogFiles, AFolderThatCannotBeMadeCostsLinesNotTheProgram) {
  fs::create_directories(folder.parent_path());
  std::ofstream(folder) << "a file where the folder belongs";
  TProgramLogFile file;
  file.Write("lost");
  // A minute later the file is tried again.
  fs::remove(folder);
  file.Write("also lost");
  now += 61.0 / 86400;
  const std::string gap = file.Write("kept");
  EXPECT_EQ(ReadText(folder / "KarvoTemp-2024-03-06.log"), "00:01:00 " + gap + "\n00:01:00 kept\n");
}

// A log file that cannot be written is said once, on screen and in the
// attention line, not at every lost line; it is tried again every minute and
// at the next day, and once lines go to a file again the condition clears
// and the file names the gap.
TEST_F(LogFiles, AFileThatCannotBeWrittenIsSaidOnceAndTriedAgain) {
  ClearAllAttention();
  now = At(5, 12, 0, 0);
  fs::create_directories(folder.parent_path());
  std::ofstream(folder) << "a file where the folder belongs";
  auto file = std::make_unique<TProgramLogFile>();
  const std::string path = PathText(folder / "KarvoTemp-2024-03-05.log");
  const std::string notice = file->Write("lost 1");
  EXPECT_EQ(notice.rfind("The program log cannot be written to " + path + ": ", 0), 0u) << notice;
  ASSERT_TRUE(AttentionRaised(kLogFileAttention));
  EXPECT_EQ(AttentionItems().front().Text, notice);
  // Said once: neither the next lines nor the retry a minute later say it
  // again while the folder stays blocked.
  now += 30.0 / 86400;
  EXPECT_EQ(file->Write("lost 2"), "");
  now += 31.0 / 86400;
  EXPECT_EQ(file->Write("lost 3"), "");
  EXPECT_TRUE(AttentionRaised(kLogFileAttention));
  // The way is free again; within the minute nothing is tried, after it the
  // file takes lines again.
  fs::remove(folder);
  now += 10.0 / 86400;
  EXPECT_EQ(file->Write("lost 4"), "");
  EXPECT_FALSE(fs::exists(folder / "KarvoTemp-2024-03-05.log"));
  now += 60.0 / 86400;
  const std::string gap = file->Write("kept");
  const std::string prefix = "The program log cannot be written to ";
  const std::string failure = notice.substr(prefix.size(), notice.find(". Its") - prefix.size());
  EXPECT_EQ(gap, "The program log could not be written from 2024-03-05 12:00:00 to 2024-03-05 12:02:11 (" + failure +
                     "); the lines of that time are missing here.");
  EXPECT_FALSE(AttentionRaised(kLogFileAttention));
  EXPECT_EQ(ReadText(folder / "KarvoTemp-2024-03-05.log"), "12:02:11 " + gap + "\n12:02:11 kept\n");
  EXPECT_EQ(file->Write("next"), "");

  file.reset();  // its file open, the folder could not go (Windows)

  // Blocked again late in the day: the next day's first line tries at once.
  now = At(5, 23, 59, 50);
  fs::remove_all(folder);
  std::ofstream(folder) << "a file where the folder belongs";
  TProgramLogFile other;
  EXPECT_NE(other.Write("lost"), "");
  fs::remove(folder);
  now = At(6, 0, 0, 1);
  EXPECT_NE(other.Write("kept"), "") << "the next day waited for the minute";
  EXPECT_TRUE(fs::exists(folder / "KarvoTemp-2024-03-06.log"));
  EXPECT_FALSE(AttentionRaised(kLogFileAttention));
}

TEST(RecentLogLines, KeepsTheNewest200LinesCutToTheirSlots) {
  TRecentLogLines recent;
  for (int i = 1; i <= 250; ++i) recent.Add("line " + std::to_string(i));
  std::vector<std::string> lines = recent.Lines();
  ASSERT_EQ(lines.size(), 200u);
  EXPECT_EQ(lines.front(), "line 51");
  EXPECT_EQ(lines.back(), "line 250");
  recent.Clear();
  recent.Add(std::string(600, 'x'));
  lines = recent.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), TRecentLogLines::kLineBytes);
}

class ErrorReports : public ::testing::Test {
 protected:
  ErrorReports() {
    RecentLogLines().Clear();
    RecentLogLines().Add("Found a furnace, starting operation.");
    RecentLogLines().Add("");
  }
  test::ScopedStateDir state;
  TDateTime now = At(5, 14, 7, 9);
  seams::Scoped<seams::NowFn> clock{seams::SetUtcNow, [this] { return now; }};
  std::vector<std::string> messages;
  seams::Scoped<seams::MessageFn> message{seams::SetMessage,
                                          [this](const std::string& text) { messages.push_back(text); }};
};

TEST_F(ErrorReports, AReportHoldsTimeVersionErrorAndTheRecentLines) {
  const fs::path first = WriteErrorReport("Cannot create file \"x.csv\": Permission denied");
  const fs::path second = WriteErrorReport("again");
  EXPECT_EQ(first.parent_path(), ErrorReportFolder());
  EXPECT_NE(first, second);
  EXPECT_EQ(ReadText(first),
            "KarvoTemp error report\n"
            "Time: 2024-03-05 14:07:09\n"
            "Version: " +
                ProgramVersion() +
                "\n"
                "Error: Cannot create file \"x.csv\": Permission denied\n"
                "\n"
                "Last 2 lines of the program log:\n"
                "Found a furnace, starting operation.\n"
                "\n");
}

TEST_F(ErrorReports, TheOperatorChoosesWhetherAReportIsSaved) {
  bool save = false;
  std::vector<std::string> shown;
  seams::Scoped<seams::QuestionFn> dialog(seams::SetErrorReport, [&](const std::string& text) {
    shown.push_back(text);
    return save;
  });
  ReportActionError("Disk full");
  EXPECT_EQ(shown, std::vector<std::string>{"Disk full"});
  EXPECT_FALSE(fs::exists(ErrorReportFolder()));
  EXPECT_TRUE(messages.empty());

  save = true;
  ReportActionError("Disk full");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("The error report was saved as ", 0), 0u) << messages[0];
  EXPECT_EQ(std::distance(fs::directory_iterator(ErrorReportFolder()), fs::directory_iterator()), 1);

  // A report that cannot be written is said so; nothing is thrown.
  fs::remove_all(ErrorReportFolder());
  std::ofstream(ErrorReportFolder()) << "in the way";
  ReportActionError("Disk full");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].rfind("The error report could not be saved: ", 0), 0u) << messages[1];
}

TEST(TextFiles, LinesEndInCrLfAndAFileThatCannotBeMadeIsAnError) {
  test::ScopedStateDir dir;
  const fs::path path = dir.Root() / "FurnaceInfo.txt";
  WriteTextFile(path, {"Address:1 Value:20", "Address:2 Value:0"});
  EXPECT_EQ(test::FileContents(path), "Address:1 Value:20\r\nAddress:2 Value:0\r\n");
  WriteTextFile(path, {});
  EXPECT_EQ(test::FileContents(path), "");
  EXPECT_THROW(WriteTextFile(dir.Root(), {"x"}), std::runtime_error);
}

}  // namespace
}  // namespace karvo
