// The run journal without a window: its lines against the data export, the
// reader (torn lines, hostile bytes), the writer thread, the closed mark,
// the program file and its restore, and a disk that refuses writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FileContents.h"
#include "SupervisorTestUtil.h"
#include "TempFolder.h"
#include "TestHome.h"
#include "chart/RtCustomGraph.h"
#include "common/Attention.h"
#include "common/DateTime.h"
#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/JournalFile.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/logic/Supervisor.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::FileContents;
using test::TempFolder;

using test::kNaN;

TRegionalSettings JournalSeparators(const char* decimal, const char* time) {
  TRegionalSettings r;
  r.decimalSeparator = decimal;
  r.timeSeparator = time;
  return r;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// A journal's bytes written as the writer writes them.
std::string JournalOf(const std::vector<TJournalSample>& samples, const TRegionalSettings& regional) {
  std::vector<std::string> lines{JournalHeader(ExportRegional(regional))};
  for (const TJournalSample& s : samples) {
    std::string line;
    AppendJournalLine(line, s, ExportRegional(regional));
    lines.push_back(line);
  }
  return Joined(lines);
}

bool SameValue(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

TEST(RunJournal, ALineIsTheExportLineWithTheWorkingOutputBehind) {
  const TRegionalSettings comma = ExportRegional(JournalSeparators(",", "."));
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
  for (const TRegionalSettings& regional :
       {JournalSeparators(".", ":"), JournalSeparators(",", "."), JournalSeparators(",", ":")}) {
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

TEST(RunJournal, AJournalReadsBackUnderOtherRegionalSettings) {
  const std::vector<TJournalSample> samples = {{45000.5, 1021.5, 1050, 1043, 45.5},
                                               {45000.5 + 5 / kSecondsPerDay, 1022.25, 1050, 1043, 46}};
  const TRegionalSettings comma = JournalSeparators(",", ".");
  const TRegionalSettings dot = JournalSeparators(".", ":");
  EXPECT_EQ(JournalHeader(ExportRegional(comma)), JournalHeader() + "; Decimal separator \",\"; Time separator \".\"");
  for (const auto& [written, now] : {std::pair{comma, dot}, std::pair{dot, comma}}) {
    const TJournalContents read = ParseJournal(JournalOf(samples, written), ExportRegional(now));
    ASSERT_TRUE(read.Error.empty()) << read.Error;
    EXPECT_EQ(read.RefusedLines, 0u);
    ASSERT_EQ(read.Samples.size(), 2u);
    EXPECT_EQ(read.Samples[1].Temperature, 1022.25);
    EXPECT_NEAR(read.Samples[1].Time, samples[1].Time, 1e-8);
    EXPECT_EQ(read.DecimalSeparator, written.decimalSeparator);
  }
  // A header that breaks off inside the separators is not a journal's.
  for (const std::string& header :
       {JournalHeader() + "; Decimal separator \"", JournalHeader() + "; Decimal separator \",\"",
        JournalHeader() + "; Decimal separator \",\"; Time separator"}) {
    EXPECT_FALSE(ParseJournal(header + "\r\n", {}).Error.empty()) << header;
  }
  // A header of the column titles only (older journals) is read with the
  // current separators; the degree sign may come from another code page.
  std::string older = JournalOf(samples, dot);
  older.replace(0, older.find("\r\n"), JournalHeader());
  EXPECT_EQ(ParseJournal(older, dot).Samples.size(), 2u);
  for (const char* degree : {"\xBA", "\xC2\xBA"}) {
    const std::string d(degree);
    std::string other = JournalOf(samples, dot);
    other.replace(0, JournalHeader().size(),
                  "Time as yyyy-mm-dd hh:mm:ss; Temperature " + d + "C; Target setpoint " + d + "C; Working setpoint " +
                      d + "C; Working output %");
    EXPECT_EQ(ParseJournal(other, dot).Samples.size(), 2u) << degree;
  }
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
      {true, 250, 10, 0.5, false}, {false, 1050, 5, 1.0 / 3.0, true}, {false, 20, 0, 0.0, false}};
  const std::string text = ProgramFileText(L"Kiln2", segments);
  EXPECT_NE(text.find("Current segment: 2\r\n"), std::string::npos);
  std::string error;
  const auto read = ParseProgramFile(text, error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(*read, segments);
  // The stability goes along; a file written without it reads as not
  // stable.
  const TProgramStability stable{2, 45000.512345678901, 3600000};
  TProgramStability readStable;
  ASSERT_TRUE(ParseProgramFile(ProgramFileText(L"Kiln2", segments, stable), error, &readStable)) << error;
  EXPECT_EQ(readStable, stable);
  std::string older = text;
  older.erase(older.find("Stability: "), older.find("Segment;") - older.find("Stability: "));
  ASSERT_TRUE(ParseProgramFile(older, error, &readStable)) << error;
  EXPECT_EQ(readStable, TProgramStability{});
  EXPECT_EQ(*ParseProgramFile(older, error), segments);
  // The bounds a register sets are kept.
  EXPECT_TRUE(ParseProgramFile(text + "4;65535;65535;0;0;0\r\n", error)) << error;
  EXPECT_TRUE(ParseProgramFile(text + "4;0;0;0;0;0\r\n", error)) << error;
  // Cut short, edited by hand into something else, or holding what no
  // editor would take: refused whole, with the line and the reason.
  const std::pair<std::string, std::string> hostile[] = {
      {text.substr(0, text.size() - 5), "the file is cut short"},
      {"hello\r\n", "it is not an instructions program file"},
      {older + "4;1;1;0;2;0\r\n", "line 8: it is not a segment"},
      {ProgramFileText(L"Kiln2", segments, {2, -1.0, 0}), "line 4: it is not the stability of the program"},
      {ProgramFileText(L"Kiln2", segments, {2, 1.0, -5}), "line 4: it is not the stability of the program"},
      {text + "4;1;1;0;2;0\r\n", "line 9: it is not a segment"},
      {text + "4;1;1;inf;0;0\r\n", "line 9: it is not a segment"},
      {text + "4;99999999999;1;0;0;0\r\n", "line 9: it is not a segment"},
      {text + "5;1;1;0;0;0\r\n", "line 9: segment 4 is missing"},
      {text + "3;1;1;0;0;0\r\n", "line 9: segment 3 appears twice"},
      {text + "4;65536;1;0;0;0\r\n", "line 9: the setpoint 65536 lies outside 0..65535"},
      {text + "4;-1;1;0;0;0\r\n", "line 9: the setpoint -1 lies outside 0..65535"},
      {text + "4;100;65536;0;0;0\r\n", "line 9: the ramp rate 65536 lies outside 0..65535"},
      {text + "4;100;-3;0;0;0\r\n", "line 9: the ramp rate -3 lies outside 0..65535"},
      {text + "4;100;1;-0.25;0;0\r\n", "line 9: the dwell is negative"},
  };
  for (const auto& [bytes, reason] : hostile) {
    error.clear();
    EXPECT_FALSE(ParseProgramFile(bytes, error)) << bytes;
    EXPECT_EQ(error, reason) << bytes;
  }
}

// A journal writer into a private runs folder.
class RunJournalWriter : public ::testing::Test {
 protected:
  RunJournalWriter() { journal.SetFolder(folder.Path()); }
  TJournalSample Sample(int i) { return {45000.5 + i * 5 / kSecondsPerDay, 1000 + i * 0.5, 1050, 1043, 45.0 + i}; }
  // Ends the run; its closed mark holds `mark`, and nothing waits to be
  // shown any more.
  void EndWithMark(const std::string& mark) {
    journal.End();
    ASSERT_TRUE(journal.WaitWritten(10000));
    EXPECT_EQ(FileContents(fs::path(journal.JournalPath()).replace_extension(".closed")), mark);
    EXPECT_FALSE(AttentionRaised(kJournalAttentionKey));
  }

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
  EXPECT_TRUE(UnclosedRuns(folder.Path()).empty());
  journal.End();
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_FALSE(journal_file::InUse(path));
  EXPECT_TRUE(fs::exists(fs::path(path).replace_extension(".closed")));
  EXPECT_TRUE(UnclosedRuns(folder.Path()).empty());
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
  const std::vector<TRunFiles> runs = UnclosedRuns(folder.Path());
  ASSERT_EQ(runs.size(), 1u);
  const TRunFiles* run = &runs[0];
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
  EXPECT_TRUE(UnclosedRuns(folder.Path()).empty());
}

// The list of runs offered at program start: every journal without a
// closed mark that no running program writes, newest first, with its count
// and first and last sample found without reading every sample.
TEST_F(RunJournalWriter, EveryUnclosedRunIsListedNewestFirstWithItsSummary) {
  test::WriteFile(folder / "2026-12-08 08.00.00 UTC Kiln1.csv", JournalOf({Sample(0), Sample(1), Sample(2)}, {}));
  test::WriteFile(folder / "2026-12-09 08.00.00 UTC Kiln2.csv", JournalOf({Sample(3)}, {}));
  test::WriteFile(folder / "2026-12-09 08.00.00 UTC Kiln2.closed", "");
  test::WriteFile(folder / "2026-12-09 10.00.00 UTC Kiln2.csv", JournalOf({Sample(4), Sample(5)}, {}));
  test::WriteFile(folder / "2026-12-09 10.00.00 UTC Kiln2 (2).csv", JournalOf({Sample(6)}, {}));
  // Held by a running program (this one).
  seams::Scoped<seams::NowFn> clock(seams::SetUtcNow, [] { return 46400.0; });
  journal.Begin(L"Kiln3");
  journal.Append(Sample(7));
  ASSERT_TRUE(journal.WaitIdle(10000));
  std::vector<std::string> names;
  for (const TRunFiles& run : UnclosedRuns(folder.Path())) names.push_back(PathText(run.Journal.filename()));
  EXPECT_EQ(names,
            (std::vector<std::string>{"2026-12-09 10.00.00 UTC Kiln2 (2).csv", "2026-12-09 10.00.00 UTC Kiln2.csv",
                                      "2026-12-08 08.00.00 UTC Kiln1.csv"}));

  // The summary against the journal read whole: sample lines across the
  // reading blocks, gap lines, torn and zero-filled tails, other separators.
  std::vector<TJournalSample> many;
  for (int i = 0; i < 30000; ++i) many.push_back(Sample(i));
  std::string gap;
  AppendJournalGapLine(gap, {Sample(2).Time, Sample(3).Time, 2}, ExportRegional({}));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"header only", JournalOf({}, {})},
      {"three", JournalOf({Sample(0), Sample(1), Sample(4)}, {})},
      {"more than a block", JournalOf(many, {})},
      {"a gap line", JournalOf({Sample(0), Sample(1)}, {}) + gap + "\r\n" + Joined({[&] {
                       std::string l;
                       AppendJournalLine(l, Sample(4), ExportRegional({}));
                       return l;
                     }()})},
      {"a torn line", JournalOf({Sample(0), Sample(1)}, {}) + "2024-03-05 14:0"},
      {"zeros after a power cut", JournalOf({Sample(0), Sample(1)}, {}) + std::string(65536, '\0')},
      {"other separators", JournalOf({Sample(0), Sample(1)}, JournalSeparators(",", "."))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TRunFiles run;
    run.Journal = folder / "2026-12-01 08.00.00 UTC Case.csv";
    test::WriteFile(run.Journal, c.bytes);
    const TJournalContents read = ParseJournal(c.bytes, {});
    ASSERT_EQ(read.Error, "");
    std::uint64_t lastDone = 0, total = 0;
    const TRunSummary summary = SummarizeRun(run, {}, [&](std::uint64_t done, std::uint64_t of) {
      EXPECT_GE(done, lastDone);
      lastDone = done;
      total = of;
      return true;
    });
    EXPECT_EQ(summary.Error, "");
    EXPECT_EQ(summary.Samples, read.Samples.size());
    EXPECT_EQ(summary.First, read.Samples.empty() ? 0.0 : read.Samples.front().Time);
    EXPECT_EQ(summary.Last, read.Samples.empty() ? 0.0 : read.Samples.back().Time);
    EXPECT_EQ(lastDone, c.bytes.size());
    EXPECT_EQ(total, c.bytes.size());
  }
  // Not a journal; and a reading stopped half-way has no figures.
  TRunFiles other;
  other.Journal = folder / "2026-12-01 09.00.00 UTC Other.csv";
  test::WriteFile(other.Journal, "Name;Value\r\n1;2\r\n");
  EXPECT_NE(SummarizeRun(other, {}).Error, "");
  other.Journal = folder / "2026-12-01 08.00.00 UTC Case.csv";
  test::WriteFile(other.Journal, JournalOf(many, {}));
  int calls = 0;
  const TRunSummary stopped = SummarizeRun(other, {}, [&](std::uint64_t, std::uint64_t) { return ++calls < 2; });
  EXPECT_EQ(stopped.Error, kReadingStopped);
  EXPECT_EQ(stopped.Samples, 0u);
  journal.End();
}

// Reading a long journal tells how far it is, and stops when told to.
TEST(RunJournal, ReadingTellsItsProgressAndStopsWhenAsked) {
  std::string bytes = JournalHeader(ExportRegional({})) + "\r\n";
  for (int i = 0; i < 20000; ++i) {
    AppendJournalLine(bytes, {45000.5 + i * 5 / kSecondsPerDay, 1000, 1050, 1043, 45}, ExportRegional({}));
    bytes += "\r\n";
  }
  std::vector<std::uint64_t> seen;
  const TJournalContents all = ParseJournal(bytes, {}, [&](std::uint64_t done, std::uint64_t total) {
    EXPECT_EQ(total, bytes.size());
    seen.push_back(done);
    return true;
  });
  EXPECT_EQ(all.Samples.size(), 20000u);
  ASSERT_GE(seen.size(), 5u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), bytes.size());
  const TJournalContents stopped =
      ParseJournal(bytes, {}, [](std::uint64_t done, std::uint64_t total) { return done < total / 2; });
  EXPECT_EQ(stopped.Error, kReadingStopped);
  EXPECT_TRUE(stopped.Samples.empty());
}

// The file operations of the system, observed: every write and flush is
// recorded with the durable count seen as it began, and the disk can be
// made to refuse writes or flushes.
struct ObservedIo {
  TJournalIo Io(TRunJournal& journal) {
    TJournalIo io = SystemJournalIo();
    io.Write = [this, &journal, write = io.Write](std::intptr_t h, std::string_view bytes, std::string& reason) {
      Record("write", journal);
      if (refuseWrites) {
        reason = "No space left on device";
        return false;
      }
      return write(h, bytes, reason);
    };
    io.Sync = [this, &journal, sync = io.Sync](std::intptr_t h, std::string& reason) {
      Record("sync", journal);
      if (refuseSyncs) {
        reason = "Input/output error";
        return false;
      }
      return sync(h, reason);
    };
    return io;
  }
  void Record(const char* what, const TRunJournal& journal) {
    std::lock_guard lock(m);
    calls.push_back({what, journal.DurableSamples()});
  }
  std::vector<std::pair<std::string, std::uint64_t>> Calls() {
    std::lock_guard lock(m);
    return calls;
  }

  std::atomic<bool> refuseWrites{false};
  std::atomic<bool> refuseSyncs{false};
  std::mutex m;
  std::vector<std::pair<std::string, std::uint64_t>> calls;
};

// Log lines containing `text`.
int Said(const std::vector<std::string>& lines, std::mutex& m, const std::string& text) {
  std::lock_guard lock(m);
  int said = 0;
  for (const std::string& line : lines) said += line.find(text) != std::string::npos;
  return said;
}

TEST_F(RunJournalWriter, ADiskThatRefusesWritesForAWhileLosesNoSampleAndSaysSoMeanwhile) {
  ClearAllAttention();
  std::mutex m;
  std::vector<std::string> lines;
  ScopedLogSink sink([&](const std::string& line) {
    std::lock_guard lock(m);
    lines.push_back(line);
  });
  ObservedIo disk;
  journal.SetIo(disk.Io(journal));
  journal.SetRetry(5, 20);
  std::vector<TJournalSample> samples;
  journal.Begin(L"Furnace1");
  for (int i = 0; i < 3; ++i) journal.Append(samples.emplace_back(Sample(i)));
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.DurableSamples(), 3u);

  disk.refuseWrites = true;
  for (int i = 3; i < 13; ++i) {
    journal.Append(samples.emplace_back(Sample(i)));
    ASSERT_TRUE(journal.WaitIdle(10000));
  }
  EXPECT_EQ(journal.DurableSamples(), 3u);
  EXPECT_EQ(journal.WaitingSamples(), 10u);
  EXPECT_EQ(FileContents(journal.JournalPath()), JournalOf({samples.begin(), samples.begin() + 3}, {}));
  // Shown while it lasts, with the count; logged once.
  ASSERT_TRUE(AttentionRaised(kJournalAttentionKey));
  EXPECT_NE(AttentionItems().at(0).Text.find("No space left on device): 10 samples wait in memory"), std::string::npos)
      << AttentionItems().at(0).Text;
  EXPECT_EQ(Said(lines, m, "No space left on device"), 1);
  // The writer keeps trying by itself, without new samples.
  const auto tries = [&] {
    std::size_t n = 0;
    for (const auto& call : disk.Calls()) n += call.first == "write";
    return n;
  };
  const std::size_t before = tries();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (tries() < before + 3 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_GE(tries(), before + 3);
  EXPECT_EQ(journal.DurableSamples(), 3u);

  disk.refuseWrites = false;
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.DurableSamples(), 13u);
  EXPECT_EQ(FileContents(journal.JournalPath()), JournalOf(samples, {}));
  EXPECT_FALSE(AttentionRaised(kJournalAttentionKey));
  EXPECT_EQ(Said(lines, m, "The run journal is written again: 10 samples"), 1);
  EndWithMark("");
}

TEST_F(RunJournalWriter, ASampleCountsAsDurableOnlyAfterItsFlushSucceeded) {
  ClearAllAttention();
  ObservedIo disk;
  journal.SetIo(disk.Io(journal));
  journal.SetRetry(5, 20);
  journal.Begin(L"Furnace1");
  journal.Append(Sample(0));
  ASSERT_TRUE(journal.WaitWritten(10000));
  ASSERT_EQ(journal.DurableSamples(), 1u);

  // Written, but its flush fails: not durable, and cut off again so that
  // the retry does not write it twice.
  disk.refuseSyncs = true;
  journal.Append(Sample(1));
  journal.Append(Sample(2));
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_EQ(journal.DurableSamples(), 1u);
  EXPECT_EQ(journal.WaitingSamples(), 2u);
  EXPECT_EQ(FileContents(journal.JournalPath()), JournalOf({Sample(0)}, {}));
  disk.refuseSyncs = false;
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.DurableSamples(), 3u);
  EXPECT_EQ(FileContents(journal.JournalPath()), JournalOf({Sample(0), Sample(1), Sample(2)}, {}));
  journal.End();
  ASSERT_TRUE(journal.WaitWritten(10000));

  // Every rise of the count follows a flush that was called after the
  // write before it: write, sync, and only then the count.
  const auto calls = disk.Calls();
  ASSERT_GE(calls.size(), 4u);
  EXPECT_EQ(calls[0], (std::pair<std::string, std::uint64_t>{"write", 0}));
  EXPECT_EQ(calls[1], (std::pair<std::string, std::uint64_t>{"sync", 0}));
  for (std::size_t i = 2; i < calls.size(); ++i) {
    if (calls[i].second == calls[i - 1].second) continue;
    EXPECT_EQ(calls[i - 1].first, "sync") << i;
    EXPECT_EQ(calls[i].first, "write") << i;
  }
  // The last flush began before the two samples it made durable counted.
  EXPECT_EQ(calls.back(), (std::pair<std::string, std::uint64_t>{"sync", 1}));
}

TEST_F(RunJournalWriter, SamplesBeyondTheBoundBecomeAGapLineAndTheMarkSaysSo) {
  ClearAllAttention();
  ObservedIo disk;
  journal.SetIo(disk.Io(journal));
  journal.SetRetry(5, 20, /*queueBound=*/4);
  journal.Begin(L"Furnace1");
  journal.Append(Sample(0));
  ASSERT_TRUE(journal.WaitWritten(10000));
  disk.refuseWrites = true;
  for (int i = 1; i <= 10; ++i) journal.Append(Sample(i));
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_EQ(journal.WaitingSamples(), 4u);
  EXPECT_EQ(journal.LostSamples(), 6u);
  EXPECT_NE(AttentionItems().at(0).Text.find("6 older samples did not fit"), std::string::npos);
  disk.refuseWrites = false;
  ASSERT_TRUE(journal.WaitWritten(10000));
  // The gap sits where the samples were, and it is never read as one.
  std::string gap;
  AppendJournalGapLine(gap, {Sample(1).Time, Sample(6).Time, 6}, ExportRegional({}));
  EXPECT_EQ(gap.substr(0, 4), "Gap;");
  EXPECT_EQ(gap.substr(gap.size() - 2), ";6");
  std::string expected = JournalOf({Sample(0)}, {}) + gap + "\r\n";
  for (int i = 7; i <= 10; ++i) {
    AppendJournalLine(expected, Sample(i), ExportRegional({}));
    expected += "\r\n";
  }
  EXPECT_EQ(FileContents(journal.JournalPath()), expected);
  const TJournalContents read = ReadJournal(journal.JournalPath(), {});
  EXPECT_EQ(read.Samples.size(), 5u);
  EXPECT_EQ(read.RefusedLines, 0u);
  ASSERT_EQ(read.Gaps.size(), 1u);
  EXPECT_EQ(read.Gaps[0].Samples, 6u);
  EXPECT_NEAR(read.Gaps[0].From, Sample(1).Time, 1e-8);
  EXPECT_NEAR(read.Gaps[0].To, Sample(6).Time, 1e-8);
  EndWithMark("Gap: 6 samples of this run are not in its journal.\r\n");
}

TEST_F(RunJournalWriter, SamplesStillWaitingAtTheEndAreNamedInTheMarkAlsoOnceTheRunGoesOn) {
  ClearAllAttention();
  ObservedIo disk;
  journal.SetIo(disk.Io(journal));
  journal.SetRetry(60000, 60000);
  journal.Begin(L"Furnace1");
  disk.refuseWrites = true;
  for (int i = 0; i < 3; ++i) journal.Append(Sample(i));
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_TRUE(AttentionRaised(kJournalAttentionKey));
  EndWithMark("Gap: 3 samples of this run are not in its journal.\r\n");
  const fs::path path = journal.JournalPath();
  EXPECT_EQ(GapOfClosedMark(fs::path(path).replace_extension(".closed")), 3u);
  EXPECT_EQ(GapOfClosedMark(folder / "none.closed"), 0u);

  // Stop and Start going on in the same file: the run's three missing
  // samples are still named when it ends again.
  TRunJournal next{TRegionalSettings{}};
  next.SetFolder(folder.Path());
  const std::optional<TRunFiles> run = RunOfJournal(path);
  ASSERT_TRUE(run);
  next.ContinueRun(*run);
  next.Begin(L"Furnace1");
  next.Append(Sample(3));
  ASSERT_TRUE(next.WaitIdle(10000));
  EXPECT_FALSE(fs::exists(fs::path(path).replace_extension(".closed")));
  next.End();
  ASSERT_TRUE(next.WaitWritten(10000));
  EXPECT_EQ(FileContents(fs::path(path).replace_extension(".closed")),
            "Gap: 3 samples of this run are not in its journal.\r\n");
}

TEST_F(RunJournalWriter, ContinuingCutsWhateverFollowsTheLastWholeLine) {
  const std::string whole = JournalOf({Sample(0), Sample(1)}, {});
  // A power cut may leave whole blocks of zeros behind the last line, or a
  // line cut short of any length.
  const std::string tails[] = {std::string(65536, '\0'), std::string(200000, '\0'), "2024-03-05 14:0",
                               std::string(3000, '9'), std::string(70000, '\0') + "2024"};
  int n = 0;
  for (const std::string& tail : tails) {
    const fs::path path = folder / ("2026-12-10 16.55.0" + std::to_string(n++) + " UTC Kiln2.csv");
    test::WriteFile(path, whole + tail);
    const auto run = RunOfJournal(path);
    ASSERT_TRUE(run);
    TRunJournal next{TRegionalSettings{}};
    next.SetFolder(folder.Path());
    next.ContinueRun(*run);
    next.Begin(L"Kiln2");
    next.Append(Sample(2));
    ASSERT_TRUE(next.WaitWritten(10000));
    EXPECT_EQ(FileContents(path), JournalOf({Sample(0), Sample(1), Sample(2)}, {})) << tail.size();
    next.End();
    ASSERT_TRUE(next.WaitWritten(10000));
  }
}

TEST_F(RunJournalWriter, AContinuedRunAppendsInItsJournalsOwnFormat) {
  const TRegionalSettings comma = JournalSeparators(",", ".");
  const fs::path path = folder / "2026-12-10 16.55.03 UTC Kiln2.csv";
  test::WriteFile(path, JournalOf({Sample(0)}, comma));
  // This program runs with "." and ":".
  TRunJournal next{JournalSeparators(".", ":")};
  next.SetFolder(folder.Path());
  next.ContinueRun(*RunOfJournal(path));
  next.Begin(L"Kiln2");
  next.Append(Sample(1));
  ASSERT_TRUE(next.WaitWritten(10000));
  EXPECT_EQ(FileContents(path), JournalOf({Sample(0), Sample(1)}, comma));
  next.End();
  ASSERT_TRUE(next.WaitWritten(10000));
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
  EXPECT_FALSE(journal.IsOpen());
  EXPECT_TRUE(journal.WaitIdle(1000));
  EXPECT_TRUE(folder.Entries().empty());
}

// The supervisor: the program written beside the journal, and restored
// from it so that the run goes on at the segment it had reached.
TEST(RunRestore, TheRestoredProgramGoesOnAtTheRightSegment) {
  test::ScopedStateDir state;
  TRtCustomGraph graph;
  const std::vector<TFurnaceActionParameters> program = {
      {true, 250, 10, 0.0, false}, {true, 600, 5, 0.25, false}, {false, 1050, 5, 1.0, false}, {false, 20, 1, 0, false}};
  {
    TSupervisor supervisor(graph, {});
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
  TSupervisor next(graph2, {});
  next.Journal.SetFolder(RunsFolder());
  auto run = next.TakeUnclosedRun();
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Contents.Samples.size(), 1u);
  EXPECT_EQ(next.LoadRunQuestion(*run).rfind("The previous run of Kiln2 ended unexpectedly at ", 0), 0u);
  EXPECT_NE(next.LoadRunQuestion(*run).find(". Load its data into the chart?"), std::string::npos);
  // Asked once: the next program start finds nothing.
  EXPECT_TRUE(UnclosedRuns(RunsFolder()).empty());
  next.LoadRun(*run);
  const TMeasurements& loaded = next.Measurements();
  EXPECT_EQ(loaded.Count(), 1);
  EXPECT_EQ(loaded.RtDoubleVectorTemperature[0], 1000);
  EXPECT_EQ(loaded.RtDoubleVectorWorkingOutput[0], 45);

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

// A furnace ticked on a stepped clock with the journal in the state
// folder; the module has no port, so nothing is sent.
struct RestoredFurnace {
  explicit RestoredFurnace(TDateTime& clock) : clock_(clock) {
    supervisor.StartPoll = [](const std::string&) { return true; };
    supervisor.PollsRunning = [] { return 0; };
    supervisor.SetFurnaceModule(std::make_unique<TFurnaceModule>());
    supervisor.Journal.SetFolder(RunsFolder());
    supervisor.SetRateOfChangeWindow(10);
    settings.ProgramMayRun = true;
    settings.FurnaceName = settings.SavedFurnaceName = L"Oven";
    settings.MinimumSteadyTime = 1;
    settings.StableSlopeTime = 10;
  }
  // The next poll, 20 s after the previous one, at the target.
  void Consume() {
    clock_ += 20 / kSecondsPerDay;
    TFurnaceReadRecord r;
    r.Valid = true;
    r.Temperature = 1049.5;
    r.TargetSetpoint = r.WorkingSetpoint = 1050;
    r.RampRate = 10;
    r.ReadtimeUtc = r.Readtime = clock_;
    ASSERT_EQ(supervisor.Tick(settings, r).Kind, TTickKind::Consumed);
  }
  // Polls until the furnace is stable; the instant it became so.
  TDateTime ConsumeUntilStable() {
    for (int i = 0; i < 20 && supervisor.State.StableSince == 0.0; ++i) Consume();
    EXPECT_NE(supervisor.State.StableSince, 0.0);
    return supervisor.State.StableSince;
  }

  TDateTime& clock_;
  TRtCustomGraph graph;
  TSupervisor supervisor{graph, {}};
  TTickSettings settings;
};

TEST(RunRestore, ADwellGoesOnWithTheStableTimeObservedBeforeTheCrashButNotTheTimeAfter) {
  test::ScopedStateDir state;
  test::ScopedStore store;
  TDateTime clock = 45356.25;
  seams::Scoped<seams::NowFn> now(seams::SetUtcNow, [&] { return clock; });
  constexpr std::int64_t kMinute = 60000;
  // Minimum steady time 1 min, dwell 10 min: the segment needs 11 min of
  // stable time.
  const std::vector<TFurnaceActionParameters> program = {{false, 1050, 10, 10.0 / kMinutesPerDay, false},
                                                         {false, 20, 10, 0.0, false}};
  {
    RestoredFurnace first(clock);
    for (std::size_t i = 0; i < program.size(); ++i)
      first.supervisor.FurnaceModule()->SetInstruction(static_cast<int>(i) + 1, program[i]);
    const TDateTime since = first.ConsumeUntilStable();
    // Six minutes into the stable stretch, the program ends as a crash
    // ends it: no Stop, no close.
    while (DaysToMs(clock - since) < 6 * kMinute) first.Consume();
    ASSERT_TRUE(first.supervisor.Journal.WaitWritten(10000));
    EXPECT_EQ(first.supervisor.FurnaceModule()->InstructionsCurrentSegment(), 1);
  }
  // Half an hour nobody saw.
  clock += 30 / kMinutesPerDay;
  RestoredFurnace next(clock);
  ASSERT_TRUE(next.supervisor.TakeUnclosedRun());
  const auto segments = next.supervisor.TakeProgramToRestore(L"Oven");
  ASSERT_TRUE(segments);
  EXPECT_EQ(*segments, program);
  next.supervisor.RestoreProgram(*segments);
  EXPECT_EQ(next.supervisor.State.StableCreditMs, 6 * kMinute);
  // Stable again: the clock goes on from six minutes, so the segment ends
  // once more than five further minutes were stable, not eleven.
  const TDateTime again = next.ConsumeUntilStable();
  while (DaysToMs(clock - again) < 5 * kMinute) {
    next.Consume();
    ASSERT_EQ(next.supervisor.FurnaceModule()->InstructionsCurrentSegment(), 1) << FormatStableTime(clock - again);
  }
  next.Consume();
  EXPECT_EQ(DaysToMs(clock - again), 5 * kMinute + 20000);
  EXPECT_EQ(next.supervisor.FurnaceModule()->InstructionsCurrentSegment(), 2);
  // The credit belonged to segment 1.
  EXPECT_EQ(next.supervisor.State.StableCreditMs, 0);
}

TEST(RunRestore, LoadedSamplesBeforeAGapDoNotFillTheObservationWindow) {
  test::ScopedStore store;
  TDateTime clock = 45356.25;
  seams::Scoped<seams::NowFn> now(seams::SetUtcNow, [&] { return clock; });
  const struct {
    double gapSeconds;  // between the loaded samples and the first poll
    int stableAt;       // the poll at which the furnace is first stable
  } cases[] = {
      {3600, 17},  // an hour not running: the window fills with polls of this run
      {20, 2},     // polls that follow on: the loaded samples count
  };
  for (const auto& c : cases) {
    RestoredFurnace furnace(clock);
    furnace.supervisor.SetRateOfChangeWindow(300);
    furnace.settings.StableSlopeTime = 300;
    // A previous run's samples, as the load puts them into the chart.
    for (int i = 0; i < 100; ++i)
      furnace.supervisor.Measurements().AddSample(clock += 20 / kSecondsPerDay, 1049.5, 1050, 1050, 40);
    clock += (c.gapSeconds - 20) / kSecondsPerDay;
    int polls = 0;
    while (furnace.supervisor.State.StableSince == 0.0 && polls < 40) {
      furnace.Consume();
      ++polls;
    }
    EXPECT_EQ(polls, c.stableAt) << c.gapSeconds;
  }
}

TEST(RunRestore, TheRestoredStableTimeCountsOnlyWhatTheJournalObserved) {
  const TDateTime since = 45000.5;
  const struct {
    TProgramStability stability;
    int current;
    TDateTime lastSample;
    std::int64_t ms;
  } cases[] = {
      {{2, since, 0}, 2, since + 1.0 / 24, 3600000},         // stable for an hour up to the last sample
      {{2, since, 7200000}, 2, since + 1.0 / 24, 10800000},  // and two hours from a restart before
      {{2, 0.0, 7200000}, 2, since + 1.0 / 24, 7200000},     // not stable at the end: the credit alone
      {{2, since, 0}, 3, since + 1.0 / 24, 0},               // another segment
      {{0, since, 0}, 0, since + 1.0 / 24, 0},               // no program
      {{2, since + 1.0 / 24, 0}, 2, since, 0},               // stable only after the last sample
  };
  for (const auto& c : cases) EXPECT_EQ(RestoredStableMs(c.stability, c.current, c.lastSample), c.ms) << c.ms;
}

}  // namespace
}  // namespace karvo
