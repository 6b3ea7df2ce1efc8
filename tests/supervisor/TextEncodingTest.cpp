// Text beyond ASCII through the supervisor: a furnace name with "ä", a
// decimal separator that is not ASCII and a month name with a non-ASCII
// letter. Inside the program all text is UTF-8, so a line or a question
// that joins a number, a date and a name is whole; the system code page
// appears only in the files written as code-page text (the data export and
// the run journal). On Linux the code page is UTF-8 too: these tests tell
// the two apart only in the Windows build under Wine.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "FileContents.h"
#include "SupervisorTestUtil.h"
#include "TempFolder.h"
#include "TestHome.h"
#include "chart/RtCustomGraph.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/Formats.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/logic/WindowTitle.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;

const std::wstring kFurnace = L"Ofen\u00e4";
const std::string kFurnaceUtf8 = "Ofen\xC3\xA4";
const std::string kDot = "\xC2\xB7";  // "·", U+00B7: in Windows-1252 too
const std::string kDegrees =
    "\xC2\xBA"
    "C";

// 2024-03-05, in the afternoon wherever the tests run.
constexpr TDateTime kMarch5 = 45356.5;

TRegionalSettings NonAscii() {
  TRegionalSettings r;
  r.decimalSeparator = kDot;
  r.shortDateFormat = "d. MMMM yyyy";
  r.longMonthNames[2] = "M\xC3\xA4rz";
  return r;
}

using test::Contains;

// The tick's value report and the stability's rate of change: a regional
// number beside the degree sign, in one log line.
TEST(TextEncoding, LogLinesJoinRegionalNumbersAndTheDegreeSignInUtf8) {
  test::ScopedStore store;
  TDateTime clock = kMarch5;
  seams::Scoped<seams::NowFn> clock_{seams::SetUtcNow, [&clock] { return clock; }};
  TRtCustomGraph graph;
  TSupervisor supervisor{graph, NonAscii()};
  supervisor.StartPoll = [](const std::string&) { return true; };
  supervisor.PollsRunning = [] { return 0; };
  supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
  supervisor.SetRateOfChangeWindow(300);
  TTickSettings settings;
  settings.ProgramMayRun = true;
  settings.FurnaceName = kFurnace;
  settings.StableSlopeTime = 300;
  MemoryLog::Clear();
  for (int i = 0; i < 4; ++i) {
    clock = kMarch5 + i * 5.0 / kSecondsPerDay;
    TFurnaceReadRecord record;
    record.Valid = true;
    record.Temperature = 1000.5 + i;  // rising 12 ºC a minute
    record.TargetSetpoint = 1050;
    record.WorkingSetpoint = 1050;
    record.ReadtimeUtc = clock;
    record.Readtime = clock;
    ASSERT_EQ(supervisor.Tick(settings, record).Kind, TTickKind::Consumed);
  }
  const std::vector<std::string> lines = MemoryLog::Lines();
  EXPECT_TRUE(Contains(lines, "Temperature                : 1003" + kDot + "5" + kDegrees));
  EXPECT_TRUE(Contains(lines, "Target setpoint            : 1050" + kDegrees));
  EXPECT_TRUE(Contains(lines, "Rate of change             : 12" + kDot + "000" + kDegrees + "/min"));
  for (const std::string& line : lines) EXPECT_EQ(WideToUtf8(Utf8ToWide(line)), line) << "not UTF-8: " << line;
}

// The name the operator gave, in the title and in the store.
TEST(TextEncoding, TheFurnaceNameKeepsItsLettersInTheTitleAndTheStore) {
  EXPECT_EQ(TitleForFurnace(kFurnace), L"Ofen\u00e4 : Karvo Temp");
  EXPECT_EQ(FurnaceNameFromTitle(TitleForFurnace(kFurnace)), kFurnace);
  test::ScopedStore store;
  WriteRegistryString(L"FS_" + kFurnace, L"1\u00b75");
  EXPECT_EQ(ReadRegistryString(L"FS_" + kFurnace), L"1\u00b75");
  const auto values = ListRegistryStrings();
  EXPECT_NE(
      std::find(values.begin(), values.end(), std::pair<std::wstring, std::wstring>(L"FS_" + kFurnace, L"1\u00b75")),
      values.end());
}

// The data export is code-page text: the same characters, converted at the
// file; the journal writes its lines as the export does and reads them back.
TEST(TextEncoding, TheExportAndTheJournalWriteTheSeparatorInTheCodePage) {
  test::TempFolder folder;
  TMeasurements data;
  data.AddSample(kMarch5, 1021.5, 1050, 1043, 45.5);
  WriteDataExport(folder.Path() / "data.csv", data, NonAscii());
  const std::string exported = test::FileContents(folder.Path() / "data.csv");
  EXPECT_EQ(exported.rfind(WideToSystem(L"Time as yyyy-mm-dd hh:mm:ss; Temperature \u00BAC;"), 0), 0u) << exported;
  const std::string numbers = Utf8ToSystem(";1021" + kDot + "5;1050;1043\r\n");
  ASSERT_GE(exported.size(), numbers.size());
  EXPECT_EQ(exported.substr(exported.size() - numbers.size()), numbers) << exported;

  TRunJournal journal{NonAscii()};
  journal.SetFolder(folder.Path());
  journal.Begin(kFurnace);
  journal.Append({kMarch5, 1021.5, 1050, 1043, 45.5});
  ASSERT_TRUE(journal.WaitWritten(10000));
  const fs::path path = journal.JournalPath();
  const std::string written = test::FileContents(path);
  EXPECT_NE(written.find(Utf8ToSystem("Decimal separator \"" + kDot + "\"")), std::string::npos) << written;
  EXPECT_NE(written.find(Utf8ToSystem(";1021" + kDot + "5;1050;1043;45" + kDot + "5\r\n")), std::string::npos)
      << written;
  const TJournalContents read = ReadJournal(path, ExportRegional(NonAscii()));
  ASSERT_EQ(read.Samples.size(), 1u) << read.Error;
  EXPECT_EQ(read.Samples[0].Temperature, 1021.5);
  EXPECT_EQ(read.Samples[0].WorkingOutput, 45.5);
}

// The questions of a restore join the furnace's name and the run's times.
TEST(TextEncoding, TheRestoreQuestionsJoinTheNameAndTheMonthInUtf8) {
  test::ScopedStateDir state;
  TRtCustomGraph graph;
  {
    TSupervisor supervisor(graph, NonAscii());
    supervisor.Journal.SetFolder(RunsFolder());
    supervisor.Journal.Begin(kFurnace);
    supervisor.Journal.Append({kMarch5, 1000, 1050, 1043, 45});
    ASSERT_TRUE(supervisor.Journal.WaitIdle(10000));
  }
  TRtCustomGraph graph2;
  TSupervisor next(graph2, NonAscii());
  next.Journal.SetFolder(RunsFolder());
  const auto run = next.TakeUnclosedRun();
  ASSERT_TRUE(run);
  const std::string question = next.LoadRunQuestion(*run);
  EXPECT_NE(question.find("5. M\xC3\xA4rz 2024"), std::string::npos) << question;
  EXPECT_EQ(WideToUtf8(Utf8ToWide(question)), question) << "not UTF-8: " << question;
  EXPECT_NE(TSupervisor::ContinueRunQuestion(kFurnace).find(kFurnaceUtf8 + "."), std::string::npos);
  EXPECT_NE(TSupervisor::RestoreProgramQuestion(kFurnace, {{false, 1050, 5, 1.0, false}}).find(kFurnaceUtf8 + " ("),
            std::string::npos);
}

}  // namespace
}  // namespace karvo
