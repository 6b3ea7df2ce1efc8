// The run journal in the window: a run killed with SIGKILL in the middle
// (a child process running the real window against the simulator), the
// load of its data at the next start, the program restored at Start going
// on at the right segment, and a disk that refuses writes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "FileContents.h"
#include "TempFolder.h"
#include "WindowFixture.h"
#include "common/LocalTime.h"
#include "common/Regional.h"
#include "common/StateDir.h"
#include "modbus/Registers.h"
#include "supervisor/DataExport.h"
#include "supervisor/RunJournal.h"

namespace karvo {
namespace {

namespace fs = std::filesystem;
using test::FileContents;

std::vector<std::string> SplitLines(const std::string& text, const std::string& end) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
    lines.push_back(text.substr(start, at - start));
  return lines;
}

std::vector<fs::path> Journals() {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(RunsFolder(), ec))
    if (e.path().extension() == ".csv") found.push_back(e.path());
  return found;
}

class JournalWindow : public test::WindowTest {
 protected:
  ~JournalWindow() override { Close(); }
  // A new window with seams of its own (the program started again); the
  // questions are answered Yes.
  void Restart() {
    Close();
    seams_.reset();
    seams_.emplace(nullptr, /*dialogs=*/false);
    form = std::make_unique<TFormModbus>();
    seams_->AttachWindow(*form);
    form->show();
    Pump();
  }
  // The restarted window's MemoLog.
  QStringList RestartedLog() {
    Pump();
    seams_->LogQueue().Drain();
    return form->MemoLog->toPlainText().split(QLatin1Char('\n'));
  }
  std::vector<std::string> Questions() {
    std::lock_guard lock(m_);
    return questions_;
  }

  std::optional<TQtSeams> seams_;
  bool yes_ = true;
  std::vector<std::string> questions_;
  std::vector<bool> tickingAtQuestion_;
  std::string noTo_;  // the question answered No
  seams::Scoped<seams::QuestionFn> question_{seams::SetQuestion, [this](const std::string& text) {
                                               std::lock_guard lock(m_);
                                               questions_.push_back(text);
                                               // Asked on the UI thread at start and Start.
                                               tickingAtQuestion_.push_back(form->Timer1->isActive());
                                               return yes_ && text != noTo_;
                                             }};
};

TEST_F(JournalWindow, ARunKilledInTheMiddleKeepsEveryConsumedSample) {
  // The child runs the window on the simulator while this window is idle.
  Close();
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    execl(KARVO_JOURNAL_CHILD, KARVO_JOURNAL_CHILD, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  // Its samples as it reports them on disk; killed after the sixth.
  std::string printed;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (std::count(printed.begin(), printed.end(), '\n') < 6 && std::chrono::steady_clock::now() < deadline) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    printed.append(buffer, static_cast<std::size_t>(n));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
  // What it printed before the kill.
  for (char buffer[4096];;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) break;
    printed.append(buffer, static_cast<std::size_t>(n));
  }
  close(out[0]);
  const std::vector<std::string> reported = SplitLines(printed, "\n");
  ASSERT_GE(reported.size(), 6u);

  // Every sample reported is in the journal, byte for byte as the export
  // writes it; at most the one in flight beyond them.
  const std::vector<fs::path> journals = Journals();
  ASSERT_EQ(journals.size(), 1u);
  EXPECT_EQ(journals[0].filename().string().substr(0, 14), "2026-12-10 16.");
  EXPECT_FALSE(fs::exists(fs::path(journals[0]).replace_extension(".closed")));
  const std::string bytes = FileContents(journals[0]);
  const std::vector<std::string> lines = SplitLines(bytes, "\r\n");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], JournalHeader(ExportRegional(Regional())));
  const std::size_t samples = lines.size() - 1;
  ASSERT_GE(samples, reported.size());
  EXPECT_LE(samples, reported.size() + 1);
  for (std::size_t i = 0; i < reported.size(); ++i) {
    EXPECT_EQ(lines[i + 1].substr(0, reported[i].size() + 1), reported[i] + ";") << i;
    EXPECT_EQ(lines[i + 1].find(';', reported[i].size() + 1), std::string::npos) << i;
  }

  // The next start asks once; Yes puts the samples into the chart.
  Restart();
  ASSERT_TRUE(WaitFor([&] { return !Questions().empty(); }));
  const TJournalContents read = ReadJournal(journals[0], ExportRegional(Regional()));
  ASSERT_EQ(read.Samples.size(), samples);
  const TRegionalSettings r = Regional();
  EXPECT_EQ(Questions(), std::vector<std::string>{"The previous run of Furnace1 ended unexpectedly at " +
                                                  FormatDateTime(r.shortDateFormat + " " + r.longTimeFormat,
                                                                 UtcToLocal(read.Samples.back().Time), r) +
                                                  ". Load its data into the chart?"});
  const TRtMainChart& c = *form->Chart;
  ASSERT_EQ(c.RtDoubleVectorTime.GetCount(), static_cast<int>(samples));
  // The chart's export is the journal less its fifth column, and the
  // working output is the fifth column.
  test::TempFolder folder;
  WriteDataExport(folder / "chart.csv", c, Regional());
  const std::vector<std::string> exported = SplitLines(FileContents(folder / "chart.csv"), "\r\n");
  ASSERT_EQ(exported.size(), lines.size());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t fifth = lines[i].rfind(';');
    EXPECT_EQ(exported[i], lines[i].substr(0, fifth)) << i;
    EXPECT_EQ(FormatGeneral(c.RtDoubleVectorWorkingOutput[static_cast<int>(i - 1)], ExportRegional(Regional())),
              lines[i].substr(fifth + 1))
        << i;
  }
  // Asked once.
  Restart();
  Pump();
  EXPECT_EQ(Questions().size(), 1u);
  EXPECT_EQ(form->Chart->RtDoubleVectorTime.GetCount(), 0);
}

TEST_F(JournalWindow, TheRestoredProgramGoesOnAtTheSegmentItHadReached) {
  Close();
  // A run of Kiln2 that ended unexpectedly in its second segment.
  fs::create_directories(RunsFolder());
  const fs::path journal = RunsFolder() / "2026-12-09 08.00.00 UTC Kiln2.csv";
  std::string bytes = JournalHeader() + "\r\n";
  for (int i = 0; i < 3; ++i) {
    AppendJournalLine(bytes, {46365.34 + i * 5 / kSecondsPerDay, 300.0 + i, 300, 300, 20}, ExportRegional(Regional()));
    bytes += "\r\n";
  }
  test::WriteFile(journal, bytes);
  test::WriteFile(
      fs::path(journal).replace_extension(".program"),
      ProgramFileText(L"Kiln2",
                      {{true, 300, 10, 0.0, false}, {false, 150, 7, 0.0, false}, {false, 160, 3, 0.0, false}}));
  Restart();
  ASSERT_TRUE(WaitFor([&] { return Questions().size() == 1; }));
  // The tick runs again once the question is answered.
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_EQ(form->Chart->RtDoubleVectorTime.GetCount(), 3);
  // The run goes on under its furnace's name.
  EXPECT_EQ(form->SavedFurnaceName(), L"Kiln2");
  EXPECT_EQ(form->EditFurnaceName->text(), QStringLiteral("Kiln2"));

  Connect();
  ASSERT_EQ(Questions().size(), 2u);
  EXPECT_EQ(Questions()[1],
            "Restore the instructions program of the previous run of Kiln2 (3 segments, going on at segment 2)?");
  ASSERT_TRUE(form->FurnaceModule());
  EXPECT_EQ(form->FurnaceModule()->InstructionsCurrentSegment(), 2);
  EXPECT_EQ(form->RtIntegerEditProgramSegment->Value(), 2);
  EXPECT_EQ(form->RtIntegerEditProgramSetpoint->Value(), 150);
  // No tick ran while either question was open.
  EXPECT_EQ(tickingAtQuestion_, (std::vector<bool>{false, false}));

  // The program step applies segment 2: its ramp rate, then its setpoint.
  form->PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Instructions));
  PollAndConsume();
  EXPECT_EQ(Sim().GetRegister(reg::RampRate), 7);
  EXPECT_TRUE(RestartedLog().contains(QStringLiteral("Apply segment    : 2")));
  PollAndConsume();
  EXPECT_EQ(Sim().GetRegister(reg::TargetSetpoint), 150);
  // The series go on in the run's journal, and the program beside it.
  ASSERT_TRUE(form->Supervisor->Journal.WaitIdle(10000));
  EXPECT_EQ(form->Chart->RtDoubleVectorTime.GetCount(), 5);
  EXPECT_EQ(ReadJournal(journal, ExportRegional(Regional())).Samples.size(), 5u);
  EXPECT_NE(FileContents(fs::path(journal).replace_extension(".program")).find("Current segment: 2\r\n"),
            std::string::npos);
  // Stop ends the run cleanly.
  form->ButtonCreateFurnaceModule->click();
  ASSERT_TRUE(form->Supervisor->Journal.WaitIdle(10000));
  EXPECT_TRUE(fs::exists(fs::path(journal).replace_extension(".closed")));
}

TEST_F(JournalWindow, ADiskThatRefusesWritesIsShownAboveTheLogUntilTheSamplesAreWritten) {
  std::atomic<bool> full{true};
  TJournalIo io = SystemJournalIo();
  io.Write = [&full, write = io.Write](std::intptr_t h, std::string_view bytes, std::string& reason) {
    if (full) {
      reason = "No space left on device";
      return false;
    }
    return write(h, bytes, reason);
  };
  TRunJournal& journal = form->Supervisor->Journal;
  journal.SetIo(io);
  journal.SetRetry(5, 20);
  Connect();
  for (int i = 0; i < 4; ++i) {
    PollAndConsume();
    ASSERT_TRUE(journal.WaitIdle(10000));
  }
  EXPECT_EQ(form->Chart->RtDoubleVectorTime.GetCount(), 4);
  EXPECT_EQ(journal.DurableSamples(), 0u);
  // Where the operator looks, with the count.
  ASSERT_TRUE(WaitFor([&] {
    return form->LabelAttention->isVisible() &&
           form->LabelAttention->text().contains(QStringLiteral("4 samples wait in memory"));
  })) << form->LabelAttention->text().toStdString();
  int said = 0;
  for (const QString& line : Log()) said += line.contains(QStringLiteral("No space left on device"));
  EXPECT_EQ(said, 1);
  EXPECT_TRUE(errorReports.empty());
  EXPECT_EQ(form->ButtonCreateFurnaceModule->text(), QStringLiteral("Stop"));

  full = false;
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.DurableSamples(), 4u);
  EXPECT_EQ(ReadJournal(journal.JournalPath(), ExportRegional(Regional())).Samples.size(), 4u);
  ASSERT_TRUE(WaitFor([&] { return form->LabelAttention->isHidden(); }));
}

TEST_F(JournalWindow, ClearAllDataAsksWhetherTheJournalStartsANewRunFile) {
  TRunJournal& journal = form->Supervisor->Journal;
  Connect();
  for (const bool newFile : {false, true}) {
    PollAndConsume();
    ASSERT_TRUE(journal.WaitWritten(10000));
    const fs::path before = journal.JournalPath();
    noTo_ = newFile ? "" : TFormModbus::kNewRunFileQuestion;
    form->ButtonClearAllData->click();
    EXPECT_EQ(form->Chart->RtDoubleVectorTime.GetCount(), 0);
    EXPECT_EQ(Questions().back(), TFormModbus::kNewRunFileQuestion);
    PollAndConsume();
    ASSERT_TRUE(journal.WaitWritten(10000));
    if (newFile) {
      // The run before ended cleanly; the data go on in a file of their own.
      EXPECT_TRUE(fs::exists(fs::path(before).replace_extension(".closed")));
      EXPECT_NE(journal.JournalPath(), before);
      EXPECT_EQ(ReadJournal(journal.JournalPath(), ExportRegional(Regional())).Samples.size(), 1u);
    } else {
      EXPECT_EQ(journal.JournalPath(), before);
      EXPECT_FALSE(fs::exists(fs::path(before).replace_extension(".closed")));
    }
  }
  EXPECT_EQ(Journals().size(), 2u);
}

}  // namespace
}  // namespace karvo
