// The run journal without a window: its lines against the data export, the
// reader (torn lines, hostile bytes), the writer thread, the closed mark,
// the program file and its restore, and a disk that refuses writes.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "FileContents.h"
#include "TempFolder.h"
#include "TestHome.h"
#include "chart/RtCustomGraph.h"
#include "common/DateTime.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/DataExport.h"
#include "supervisor/JournalFile.h"
#include "supervisor/RunJournal.h"
#include "supervisor/Supervisor.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::FileContents;
using test::TempFolder;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TRegionalSettings Separators(const char* decimal, const char* time) {
  TRegionalSettings r;
  r.decimalSeparator = decimal;
  r.timeSeparator = time;
  return r;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// A journal's bytes written as the writer writes them.
std::string JournalOf(const std::vector<TJournalSample>& samples, const TRegionalSettings& regional) {
  std::vector<std::string> lines{JournalHeader()};
  for (const TJournalSample& s : samples) {
    std::string line;
    AppendJournalLine(line, s, ExportRegional(regional));
    lines.push_back(line);
  }
  return Lines(lines);
}

bool SameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

TEST(RunJournal, ALineIsTheExportLineWithTheWorkingOutputBehind) {
  const TRegionalSettings comma = ExportRegional(Separators(",", "."));
  TJournalSample s{45000.25, 1021.5, 1050, 1043, 45.5};
  std::string export_line;
  AppendDataExportLine(export_line, s.Time, s.Temperature, s.Setpoint, s.WorkingSetpoint, comma);
  std::string line;
  AppendJournalLine(line, s, comma);
  EXPECT_EQ(line, export_line + ";45,5");
  s.WorkingOutput = kNaN;
  line.clear();
  AppendJournalLine(line, s, comma);
  EXPECT_EQ(line, export_line + ";");
  EXPECT_EQ(JournalHeader(), DataExportHeader() + "; Working output %");
}

TEST(RunJournal, ReadsBackWhatItWrote) {
  // Whole seconds (the journal's resolution) and values of at most 15
  // significant digits come back as they were; a value that was not a
  // number comes back as one that is not.
  const std::vector<TJournalSample> samples = {
      {45000.5, 1021.5, 1050, 1043, 45.5},
      {45000.5 + 5 / kSecondsPerDay, -12.25, 0, 1e20, 100},
      {45000.5 + 10 / kSecondsPerDay, kNaN, 1050, kNaN, 0.1},
      {45000.5 + 15 / kSecondsPerDay, 1.5e-7, -1050, 3, kNaN},
  };
  for (const TRegionalSettings& regional : {Separators(".", ":"), Separators(",", "."), Separators(",", ":")}) {
    const TJournalContents read = ParseJournal(JournalOf(samples, regional), ExportRegional(regional));
    ASSERT_TRUE(read.Error.empty()) << read.Error;
    EXPECT_FALSE(read.TornLastLine);
    EXPECT_EQ(read.RefusedLines, 0u);
    ASSERT_EQ(read.Samples.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const TJournalSample& a = read.Samples[i];
      const TJournalSample& b = samples[i];
      EXPECT_NEAR(a.Time, b.Time, 0.5 / 86400000) << i;
      EXPECT_TRUE(SameValue(a.Temperature, b.Temperature)) << i;
      EXPECT_TRUE(SameValue(a.Setpoint, b.Setpoint)) << i;
      EXPECT_TRUE(SameValue(a.WorkingSetpoint, b.WorkingSetpoint)) << i;
      EXPECT_TRUE(SameValue(a.WorkingOutput, b.WorkingOutput)) << i;
    }
    // And the export of what was read is the journal less its fifth column.
    EXPECT_EQ(JournalOf(read.Samples, regional), JournalOf(samples, regional));
  }
}

TEST(RunJournal, ATornLastLineIsLeftOutWithoutError) {
  const TRegionalSettings r;
  const std::string whole = JournalOf({{45000.5, 1000, 1050, 1043, 45}, {45000.6, 1001, 1050, 1043, 46}}, r);
  // Cut anywhere inside the last line (its line end included).
  const std::size_t lastStart = whole.rfind('\n', whole.size() - 2) + 1;
  for (std::size_t cut = lastStart + 1; cut < whole.size(); ++cut) {
    const TJournalContents read = ParseJournal(whole.substr(0, cut), r);
    EXPECT_TRUE(read.Error.empty());
    EXPECT_TRUE(read.TornLastLine) << cut;
    EXPECT_EQ(read.RefusedLines, 0u) << cut;
    ASSERT_EQ(read.Samples.size(), 1u) << cut;
    EXPECT_EQ(read.Samples[0].Temperature, 1000);
  }
  // A header cut short, and a file that was created but never written.
  EXPECT_TRUE(ParseJournal(whole.substr(0, 10), r).Samples.empty());
  EXPECT_TRUE(ParseJournal(whole.substr(0, 10), r).Error.empty());
  EXPECT_TRUE(ParseJournal("", r).Error.empty());
}

TEST(RunJournal, RefusesHostileLinesWithoutInventingSamples) {
  const TRegionalSettings r;
  const std::string header = JournalHeader() + "\r\n";
  const std::string good = "2024-03-05 14:07:09;1000;1050;1043;45\r\n";
  const std::string bad[] = {
      "2024-03-05 14:07:09;1000;1050;1043\r\n",       // four fields (an export, not a journal)
      "2024-03-05 14:07:09;1000;1050;1043;45;1\r\n",  // six
      "2024-03-05 14:07:09;1000;1050;1043;inf\r\n",   // not finite
      "2024-03-05 14:07:09;nan;1050;1043;45\r\n",     // not a number written as one
      "2024-03-05 14:07:09;1e999;1050;1043;45\r\n",   // beyond a double
      "2024-03-05 14:07:09;10 00;1050;1043;45\r\n",   // a blank inside
      "2024-03-05 14:07:09;+1000;1050;1043;45\r\n",   // not as the format writes it
      "2024-03-05 14:07:09;1.0.0;1050;1043;45\r\n",   // two separators
      "2024-02-30 14:07:09;1000;1050;1043;45\r\n",    // no such day
      "2024-03-05 24:00:00;1000;1050;1043;45\r\n",    // no such hour
      "0099-03-05 14:07:09;1000;1050;1043;45\r\n",    // before the year 100
      ";1000;1050;1043;45\r\n",                       // no time
      "2024-03-05 14:07:09 ;1000;1050;1043;45\r\n",   // more than a time
      std::string("2024-03-05 14:07:09;10\0"
                  "0;1050;1043;45\r\n",
                  39),                              // a NUL byte
      std::string(100000, '9') + "\r\n",            // a line far too long
      "\r\n",                                       // empty
      std::string("\xFF\xFE\x00\x01;;;;\r\n", 10),  // binary
  };
  for (const std::string& line : bad) {
    const TJournalContents read = ParseJournal(header + good + line + good, r);
    EXPECT_TRUE(read.Error.empty());
    EXPECT_EQ(read.RefusedLines, 1u) << line;
    EXPECT_EQ(read.Samples.size(), 2u) << line;
  }
  // Not a journal at all: nothing is taken from it.
  for (const std::string& bytes : {std::string("Time as yyyy-mm-dd hh:mm:ss; Temperature\r\n") + good,
                                   std::string("\x89PNG\r\n\x1a\n") + good, std::string(5000, '\0') + "\n" + good}) {
    const TJournalContents read = ParseJournal(bytes, r);
    EXPECT_FALSE(read.Error.empty());
    EXPECT_TRUE(read.Samples.empty());
  }
  // Lines ending in LF alone are read too.
  EXPECT_EQ(ParseJournal(JournalHeader() + "\n2024-03-05 14:07:09;1000;1050;1043;45\n", r).Samples.size(), 1u);
}

TEST(RunJournal, RunFileNamesCarryTheStartAndTheFurnace) {
  const TDateTime start = EncodeDateTime({.year = 2026, .month = 12, .day = 10, .hour = 16, .minute = 55, .second = 3});
  EXPECT_EQ(RunBaseName(start, L"Furnace1"), "2026-12-10 16.55.03 UTC Furnace1");
  EXPECT_EQ(RunBaseName(start, L"a/b\\c:d"), "2026-12-10 16.55.03 UTC a_b_c_d");
  for (const char* name : {"2026-12-10 16.55.03 UTC Furnace1.csv", "2026-12-10 16.55.03 UTC Furnace1 (2).csv"}) {
    const auto run = RunOfJournal(fs::path("/runs") / name);
    ASSERT_TRUE(run) << name;
    EXPECT_EQ(run->Furnace, L"Furnace1");
    EXPECT_NEAR(run->Started, start, 1e-9);
    EXPECT_EQ(run->Program().filename().string(), fs::path(name).replace_extension(".program").string());
  }
  for (const char* name : {"2026-12-10 16.55.03 UTC Furnace1.txt", "2026-13-10 16.55.03 UTC Furnace1.csv",
                           "2026-12-10 16.55.03 Furnace1.csv", "notes.csv"})
    EXPECT_FALSE(RunOfJournal(fs::path("/runs") / name)) << name;
}

TEST(RunJournal, TheProgramFileKeepsSegmentsAndFinishedFlags) {
  const std::vector<TFurnaceActionParameters> segments = {
      {true, 250, 10, 0.5, false}, {false, 1050, 5, 1.0 / 3.0, true}, {false, -20, 1, 0.0, false}};
  const std::string text = ProgramFileText(L"Kiln2", segments);
  EXPECT_NE(text.find("Current segment: 2\r\n"), std::string::npos);
  std::string error;
  const auto read = ParseProgramFile(text, error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(*read, segments);
  // Cut short, edited by hand into something else, numbered out of order.
  for (const std::string& hostile :
       {text.substr(0, text.size() - 5), text + "4;1;1;0;2;0\r\n", text + "5;1;1;0;0;0\r\n", text + "4;1;1;inf;0;0\r\n",
        text + "4;99999999999;1;0;0;0\r\n", std::string("hello\r\n")}) {
    EXPECT_FALSE(ParseProgramFile(hostile, error)) << hostile;
    EXPECT_FALSE(error.empty());
  }
}

// A journal writer into a private runs folder.
class RunJournalWriter : public ::testing::Test {
 protected:
  RunJournalWriter() { journal.SetFolder(folder.Path()); }
  TJournalSample Sample(int i) { return {45000.5 + i * 5 / kSecondsPerDay, 1000 + i * 0.5, 1050, 1043, 45.0 + i}; }

  TempFolder folder;
  TRunJournal journal{TRegionalSettings{}};
};

TEST_F(RunJournalWriter, EverySampleIsOnDiskAsTheExportWritesItAndTheEndMarksTheRun) {
  journal.Begin(L"Furnace1");
  std::vector<TJournalSample> samples;
  for (int i = 0; i < 20; ++i) {
    samples.push_back(Sample(i));
    journal.Append(samples.back());
    if (i % 7 == 0) {
      ASSERT_TRUE(journal.WaitIdle(10000));
    }
  }
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_EQ(journal.DurableSamples(), 20u);
  const fs::path path = journal.JournalPath();
  EXPECT_EQ(FileContents(path), JournalOf(samples, {}));
  // Written by this process: in use, so never taken for a crashed run.
  EXPECT_TRUE(journal_file::InUse(path));
  EXPECT_FALSE(LastUnclosedRun(folder.Path()));
  journal.End();
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_FALSE(journal_file::InUse(path));
  EXPECT_TRUE(fs::exists(fs::path(path).replace_extension(".closed")));
  EXPECT_FALSE(LastUnclosedRun(folder.Path()));
}

TEST_F(RunJournalWriter, TheLastRunThatDidNotEndIsFoundAndContinued) {
  // An older closed run, and the last one cut off in the middle of a line.
  {
    TRunJournal older{TRegionalSettings{}};
    older.SetFolder(folder.Path());
    seams::Scoped<seams::NowFn> clock(seams::SetUtcNow, [] { return 45000.0; });
    older.Begin(L"Old");
    older.Append(Sample(0));
    older.End();
  }
  const std::string torn = JournalOf({Sample(0), Sample(1)}, {}) + "2024-03-05 14:0";
  const fs::path last = folder / "2026-12-10 16.55.03 UTC Kiln2.csv";
  test::WriteFile(last, torn);
  const auto run = LastUnclosedRun(folder.Path());
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Journal, last);
  EXPECT_EQ(run->Furnace, L"Kiln2");
  // The run goes on in its journal: the torn line is cut off first.
  journal.ContinueRun(*run);
  journal.Begin(L"Furnace1");
  journal.Append(Sample(2));
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_EQ(journal.JournalPath(), last);
  EXPECT_EQ(FileContents(last), JournalOf({Sample(0), Sample(1), Sample(2)}, {}));
  journal.End();
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_FALSE(LastUnclosedRun(folder.Path()));
}

TEST_F(RunJournalWriter, AFailingDiskIsLoggedOnceAndTheRunGoesOn) {
  std::mutex m;
  std::vector<std::string> lines;
  ScopedLogSink sink([&](const std::string& line) {
    std::lock_guard lock(m);
    lines.push_back(line);
  });
  std::atomic<int> writes{0};
  TJournalIo io = SystemJournalIo();
  const auto write = io.Write;
  // The header and two samples fit; then the disk is full.
  io.Write = [&, write](std::intptr_t h, std::string_view bytes, std::string& reason) {
    if (++writes > 3) {
      reason = "No space left on device";
      return false;
    }
    return write(h, bytes, reason);
  };
  journal.SetIo(io);
  journal.Begin(L"Furnace1");
  for (int i = 0; i < 10; ++i) {
    journal.Append(Sample(i));
    ASSERT_TRUE(journal.WaitIdle(10000));
  }
  EXPECT_TRUE(journal.Open());
  EXPECT_EQ(journal.DurableSamples(), 2u);
  int said = 0;
  for (const std::string& line : lines) said += line.find("No space left on device") != std::string::npos;
  EXPECT_EQ(said, 1);
  // What reached the disk is whole.
  EXPECT_EQ(FileContents(journal.JournalPath()), JournalOf({Sample(0), Sample(1)}, {}));
  journal.End();
  ASSERT_TRUE(journal.WaitIdle(10000));
}

TEST_F(RunJournalWriter, RunsStartedInTheSameSecondKeepFilesOfTheirOwn) {
  seams::Scoped<seams::NowFn> clock(seams::SetUtcNow, [] { return 46366.5; });
  for (int run = 0; run < 3; ++run) {
    journal.Begin(L"Furnace1");
    journal.Append(Sample(run));
    journal.End();
  }
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_EQ(folder.Entries(),
            (std::vector<std::string>{
                "2026-12-10 12.00.00 UTC Furnace1 (2).closed", "2026-12-10 12.00.00 UTC Furnace1 (2).csv",
                "2026-12-10 12.00.00 UTC Furnace1 (3).closed", "2026-12-10 12.00.00 UTC Furnace1 (3).csv",
                "2026-12-10 12.00.00 UTC Furnace1.closed", "2026-12-10 12.00.00 UTC Furnace1.csv"}));
  EXPECT_EQ(FileContents(folder / "2026-12-10 12.00.00 UTC Furnace1 (2).csv"), JournalOf({Sample(1)}, {}));
}

TEST_F(RunJournalWriter, NoFolderNoJournal) {
  journal.SetFolder(std::nullopt);
  journal.Begin(L"Furnace1");
  journal.Append(Sample(0));
  EXPECT_FALSE(journal.Open());
  EXPECT_TRUE(journal.WaitIdle(1000));
  EXPECT_TRUE(folder.Entries().empty());
}

// The supervisor: the program written beside the journal, and restored
// from it so that the run goes on at the segment it had reached.
TEST(RunRestore, TheRestoredProgramGoesOnAtTheRightSegment) {
  test::ScopedStateDir state;
  TRtCustomGraph graph;
  TRtMainChart chart(graph, {});
  const std::vector<TFurnaceActionParameters> program = {
      {true, 250, 10, 0.0, false}, {true, 600, 5, 0.25, false}, {false, 1050, 5, 1.0, false}, {false, 20, 1, 0, false}};
  {
    TSupervisor supervisor(chart, {});
    supervisor.Journal.SetFolder(RunsFolder());
    supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
    for (std::size_t i = 0; i < program.size(); ++i)
      supervisor.FurnaceModule()->SetInstruction(static_cast<int>(i) + 1, program[i]);
    supervisor.Journal.Begin(L"Kiln2");
    supervisor.Journal.Append({45000.5, 1000, 1050, 1043, 45});
    supervisor.JournalProgram();
    ASSERT_TRUE(supervisor.Journal.WaitIdle(10000));
    // The program ends here as a crash would end it: no Stop, no close.
  }
  TRtCustomGraph graph2;
  TRtMainChart chart2(graph2, {});
  TSupervisor next(chart2, {});
  next.Journal.SetFolder(RunsFolder());
  auto run = next.TakeUnclosedRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Contents.Samples.size(), 1u);
  EXPECT_EQ(next.LoadRunQuestion(*run).rfind("The previous run of Kiln2 ended unexpectedly at ", 0), 0u);
  EXPECT_NE(next.LoadRunQuestion(*run).find(". Load its data into the chart?"), std::string::npos);
  // Asked once: the next program start finds nothing.
  EXPECT_FALSE(LastUnclosedRun(RunsFolder()));
  next.LoadRun(*run);
  EXPECT_EQ(chart2.RtDoubleVectorTime.GetCount(), 1);
  EXPECT_EQ(chart2.RtDoubleVectorTemperature[0], 1000);
  EXPECT_EQ(chart2.RtDoubleVectorWorkingOutput[0], 45);

  // Start against another furnace name: nothing offered; against the same:
  // offered once.
  next.SetFurnaceModule(std::make_unique<TFurnaceModule>());
  EXPECT_FALSE(next.TakeProgramToRestore(L"Furnace1"));
  const auto segments = next.TakeProgramToRestore(L"Kiln2");
  ASSERT_TRUE(segments);
  EXPECT_EQ(*segments, program);
  EXPECT_FALSE(next.TakeProgramToRestore(L"Kiln2"));
  EXPECT_EQ(TSupervisor::RestoreProgramQuestion(L"Kiln2", *segments),
            "Restore the instructions program of the previous run of Kiln2 (4 segments, going on at segment 3)?");
  next.RestoreProgram(*segments);
  EXPECT_EQ(next.FurnaceModule()->InstructionsCurrentSegment(), 3);
  EXPECT_EQ(next.FurnaceModule()->InstructionCount(), 4);
  EXPECT_TRUE(next.FurnaceModule()->GetInstruction(2).Finished);
}

}  // namespace
}  // namespace karvo
