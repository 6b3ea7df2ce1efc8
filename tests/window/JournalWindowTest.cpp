// The run journal in the window: a run killed with SIGKILL in the middle
// (a child process running the real window against the simulator), the
// load of its data at the next start, the program restored at Start going
// on at the right segment, and a disk that refuses writes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTabWidget>
#include <atomic>
#include <chrono>
#include <functional>
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
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/RunJournal.h"

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
  // `beforeShow` runs on the new window before it is shown (the start-up
  // reading begins with the first events after it).
  void Restart(const std::function<void()>& beforeShow = {}) {
    Close();
    seams_.reset();
    seams_.emplace(nullptr, /*dialogs=*/false);
    form = std::make_unique<TFormModbus>();
    seams_->AttachWindow(*form);
    if (beforeShow) beforeShow();
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
  std::function<void()> atQuestion_;
  seams::Scoped<seams::QuestionFn> question_{seams::SetQuestion, [this](const std::string& text) {
                                               if (atQuestion_) atQuestion_();
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
  auto when = [&r](TDateTime t) {
    return FormatDateTime(r.shortDateFormat + " " + r.longTimeFormat, UtcToLocal(t), r);
  };
  EXPECT_EQ(Questions(),
            std::vector<std::string>{"The previous run of Furnace1 ended unexpectedly at " +
                                     when(read.Samples.back().Time) + ". Its journal holds " + std::to_string(samples) +
                                     " samples from " + when(read.Samples.front().Time) + " to " +
                                     when(read.Samples.back().Time) + ". Load its data into the chart?"});
  const TMeasurements& c = form->Supervisor->Measurements();
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
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 0);
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
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 3);
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
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 5);
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
  EXPECT_EQ(form->Supervisor->Measurements().Count(), 4);
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
    EXPECT_EQ(form->Supervisor->Measurements().Count(), 0);
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

std::string When(TDateTime instant) {
  const TRegionalSettings r = Regional();
  return FormatDateTime(r.shortDateFormat + " " + r.longTimeFormat, UtcToLocal(instant), r);
}

// A journal of `count` samples, one every 5 s from `start`.
std::string JournalBytes(TDateTime start, int count) {
  std::string bytes = JournalHeader(ExportRegional(Regional())) + "\r\n";
  for (int i = 0; i < count; ++i) {
    AppendJournalLine(bytes, {start + i * 5 / kSecondsPerDay, 300.0 + i % 100, 300, 300, 20},
                      ExportRegional(Regional()));
    bytes += "\r\n";
  }
  return bytes;
}

// A long journal is read on a thread of its own: the window goes on (its
// timers run, the progress bar moves) and nothing ticks, starts or writes
// before the operator has answered; the question names the count and the
// time range.
TEST_F(JournalWindow, ALongJournalIsReadWhileTheWindowGoesOn) {
  Close();
  constexpr int kSamples = 200000;
  const TDateTime start = 46365.25;
  fs::create_directories(RunsFolder());
  const fs::path journal = RunsFolder() / "2026-12-09 06.00.00 UTC Kiln3.csv";
  const std::string bytes = JournalBytes(start, kSamples);
  test::WriteFile(journal, bytes);

  QTimer other;  // some other work of the window's thread
  int fired = 0;
  QObject::connect(&other, &QTimer::timeout, [&] { ++fired; });
  other.start(0);
  struct TSeen {
    int value, fired;
    bool ticking, startEnabled, asked;
  };
  std::vector<TSeen> seen;
  bool untouchedAtQuestion = false;
  atQuestion_ = [&] {
    untouchedAtQuestion = FileContents(journal) == bytes &&
                          !fs::exists(fs::path(journal).replace_extension(".closed")) &&
                          !fs::exists(fs::path(journal).replace_extension(".program"));
  };
  Restart([&] {
    QObject::connect(form->ProgressBarJournal, &QProgressBar::valueChanged, [&](int value) {
      seen.push_back(
          {value, fired, form->Timer1->isActive(), form->ButtonCreateFurnaceModule->isEnabled(), !Questions().empty()});
    });
  });
  ASSERT_TRUE(WaitFor([&] { return !Questions().empty(); }, 120000));
  other.stop();
  EXPECT_TRUE(untouchedAtQuestion);
  EXPECT_EQ(Questions(), std::vector<std::string>{"The previous run of Kiln3 ended unexpectedly at " +
                                                  When(start + (kSamples - 1) * 5 / kSecondsPerDay) +
                                                  ". Its journal holds 200000 samples from " + When(start) + " to " +
                                                  When(start + (kSamples - 1) * 5 / kSecondsPerDay) +
                                                  ". Load its data into the chart?"});
  // The bar went through the reading step by step, the other timer firing
  // between its steps; meanwhile no tick, no Start, no question.
  std::size_t between = 0;
  for (const TSeen& s : seen) between += s.value > 0 && s.value < 1000;
  EXPECT_GE(between, 5u);
  ASSERT_FALSE(seen.empty());
  EXPECT_GT(seen.back().fired, seen.front().fired);
  for (const TSeen& s : seen) {
    EXPECT_FALSE(s.ticking);
    EXPECT_FALSE(s.startEnabled);
    EXPECT_FALSE(s.asked);
  }
  // Answered: loaded, and everything runs again.
  EXPECT_EQ(form->Supervisor->Measurements().Count(), kSamples);
  EXPECT_TRUE(form->ProgressBarJournal->isHidden());
  EXPECT_TRUE(form->ButtonCreateFurnaceModule->isEnabled());
  EXPECT_TRUE(form->Timer1->isActive());
  EXPECT_TRUE(fs::exists(fs::path(journal).replace_extension(".closed")));
}

// The window closed while a journal is being read: the close waits for
// nothing long, nothing is asked or marked, and the next start offers the
// run again.
TEST_F(JournalWindow, AWindowClosedWhileReadingLeavesTheRunForTheNextStart) {
  Close();
  fs::create_directories(RunsFolder());
  const fs::path journal = RunsFolder() / "2026-12-09 06.00.00 UTC Kiln3.csv";
  test::WriteFile(journal, JournalBytes(46365.25, 200000));
  Restart();
  ASSERT_TRUE(WaitFor([&] { return form->ProgressBarJournal->isVisible(); }));
  Close();
  EXPECT_TRUE(Questions().empty());
  EXPECT_FALSE(fs::exists(fs::path(journal).replace_extension(".closed")));
  Restart();
  ASSERT_TRUE(WaitFor([&] { return Questions().size() == 1; }, 120000));
  EXPECT_EQ(Questions()[0].rfind("The previous run of Kiln3 ended unexpectedly at ", 0), 0u);
}

// Every unclosed run no running program holds is offered, newest first,
// in one list: "keep for later" leaves all of them for the next start;
// picking one loads it as Yes to the single question does.
TEST_F(JournalWindow, EveryUnclosedRunIsOfferedInOneList) {
  Close();
  fs::create_directories(RunsFolder());
  const TDateTime kiln1Start = 46364 + 8 / 24.0;    // 2026-12-08 08:00 UTC
  const TDateTime kiln2Start = 46365 + 10 / 24.0;   // 2026-12-09 10:00 UTC
  const TDateTime kiln2Closed = 46365 + 12 / 24.0;  // a newer run of Kiln2 that ended cleanly
  const fs::path kiln1 = RunsFolder() / "2026-12-08 08.00.00 UTC Kiln1.csv";
  const fs::path kiln2 = RunsFolder() / "2026-12-09 10.00.00 UTC Kiln2.csv";
  const fs::path closed = RunsFolder() / "2026-12-09 12.00.00 UTC Kiln2.csv";
  test::WriteFile(kiln1, JournalBytes(kiln1Start, 3));
  test::WriteFile(kiln2, JournalBytes(kiln2Start, 2));
  test::WriteFile(closed, JournalBytes(kiln2Closed, 4));
  test::WriteFile(fs::path(closed).replace_extension(".closed"), "");
  // A run another program is writing right now.
  TRunJournal live{Regional()};
  live.SetFolder(RunsFolder());
  live.Begin(L"Kiln4");
  live.Append({46366.5, 300, 300, 300, 20});
  ASSERT_TRUE(live.WaitWritten(10000));

  std::vector<TListChoiceOptions> lists;
  int pick = -1;
  const seams::Scoped<seams::ListChoiceFn> choice(seams::SetListChoice, [&](const TListChoiceOptions& o) {
    lists.push_back(o);
    if (pick == -2) return static_cast<int>(o.Items.size()) - 1;  // the last item: keep for later
    return pick;
  });
  const std::vector<std::string> expected{
      "Kiln2: started " + When(kiln2Start) + ", last sample " + When(kiln2Start + 5 / kSecondsPerDay) + ", 2 samples",
      "Kiln1: started " + When(kiln1Start) + ", last sample " + When(kiln1Start + 10 / kSecondsPerDay) + ", 3 samples",
      TSupervisor::kKeepRunsForLater};
  // Keep for later, by the item and by closing the list: nothing changes,
  // and the next start offers the same list.
  for (const int answer : {-2, -1}) {
    pick = answer;
    Restart();
    ASSERT_TRUE(WaitFor([&] { return form->ButtonCreateFurnaceModule->isEnabled(); }));
    ASSERT_EQ(lists.size(), answer == -2 ? 1u : 2u);
    EXPECT_EQ(lists.back().Items, expected);
    EXPECT_EQ(lists.back().Title, TSupervisor::kRunChoiceTitle);
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(form->Supervisor->Measurements().Count(), 0);
    for (const fs::path& p : {kiln1, kiln2}) EXPECT_FALSE(fs::exists(fs::path(p).replace_extension(".closed")));
    EXPECT_TRUE(form->Timer1->isActive());
  }
  // The older one picked: read and loaded, the run goes on under its name.
  pick = 1;
  Restart();
  ASSERT_TRUE(WaitFor([&] { return form->Supervisor->Measurements().Count() == 3; }));
  ASSERT_TRUE(WaitFor([&] { return form->ButtonCreateFurnaceModule->isEnabled(); }));
  EXPECT_EQ(lists.size(), 3u);
  EXPECT_EQ(form->Supervisor->Measurements().RtDoubleVectorTime[0], kiln1Start);
  EXPECT_EQ(form->EditFurnaceName->text(), QStringLiteral("Kiln1"));
  EXPECT_TRUE(fs::exists(fs::path(kiln1).replace_extension(".closed")));
  EXPECT_FALSE(fs::exists(fs::path(kiln2).replace_extension(".closed")));
  // The one left is asked about alone next time.
  Restart();
  ASSERT_TRUE(WaitFor([&] { return Questions().size() == 1; }));
  EXPECT_EQ(Questions()[0].rfind("The previous run of Kiln2 ended unexpectedly at ", 0), 0u);
  EXPECT_EQ(lists.size(), 3u);
  live.End();
  ASSERT_TRUE(live.WaitWritten(10000));
}

// The list-choice dialog of the Qt seams: the text, the items, the first
// selected; the item picked comes back, a cancelled list gives -1.
TEST(QtListChoice, ThePickedItemComesBack) {
  sim::ScopedStateHome state;
  TQtSeams seams(nullptr, /*dialogs=*/true);
  for (const int row : {1, -1}) {
    QStringList shown;
    int firstSelected = -2;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_TRUE(dialog);
      auto* list = dialog->findChild<QListWidget*>();
      ASSERT_TRUE(list);
      for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
      firstSelected = list->currentRow();
      if (row < 0) {
        dialog->reject();
      } else {
        list->setCurrentRow(row);
        dialog->accept();
      }
    });
    EXPECT_EQ(AskListChoice({"Runs", "Pick one", {"Kiln2: 2 samples", "Kiln1: 3 samples", "Keep"}}), row);
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Kiln2: 2 samples"), QStringLiteral("Kiln1: 3 samples"),
                                  QStringLiteral("Keep")}));
    EXPECT_EQ(firstSelected, 0);
  }
}

// After Stop, a Start with the run's data still in the chart asks whether
// they go on in its journal file: Yes appends to it, No begins a new one;
// with the chart cleared nothing is asked and a new file begins.
TEST_F(JournalWindow, AStartAfterStopAsksWhetherTheRunGoesOnInItsFile) {
  TRunJournal& journal = form->Supervisor->Journal;
  const std::string question = TSupervisor::ContinueRunQuestion(L"Furnace1");
  Connect();
  PollAndConsume();
  ASSERT_TRUE(journal.WaitWritten(10000));
  const fs::path first = journal.JournalPath();
  // Stop, Start, Yes: the same file goes on.
  form->ButtonCreateFurnaceModule->click();
  ASSERT_TRUE(journal.WaitIdle(10000));
  EXPECT_TRUE(fs::exists(fs::path(first).replace_extension(".closed")));
  Connect();
  ASSERT_EQ(Questions(), std::vector<std::string>{question});
  EXPECT_EQ(tickingAtQuestion_, std::vector<bool>{false});
  PollAndConsume();
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_EQ(journal.JournalPath(), first);
  EXPECT_EQ(ReadJournal(first, ExportRegional(Regional())).Samples.size(), 2u);
  EXPECT_FALSE(fs::exists(fs::path(first).replace_extension(".closed")));
  // Stop, Start, No: a new file for what follows.
  form->ButtonCreateFurnaceModule->click();
  noTo_ = question;
  Connect();
  ASSERT_EQ(Questions().size(), 2u);
  PollAndConsume();
  ASSERT_TRUE(journal.WaitWritten(10000));
  const fs::path second = journal.JournalPath();
  EXPECT_NE(second, first);
  EXPECT_EQ(ReadJournal(first, ExportRegional(Regional())).Samples.size(), 2u);
  EXPECT_TRUE(fs::exists(fs::path(first).replace_extension(".closed")));
  EXPECT_EQ(ReadJournal(second, ExportRegional(Regional())).Samples.size(), 1u);
  // Stop, the chart cleared, Start: nothing to go on with.
  form->ButtonCreateFurnaceModule->click();
  form->ButtonClearAllData->click();
  ASSERT_EQ(form->Supervisor->Measurements().Count(), 0);
  const std::size_t asked = Questions().size();
  Connect();
  EXPECT_EQ(Questions().size(), asked);
  PollAndConsume();
  ASSERT_TRUE(journal.WaitWritten(10000));
  EXPECT_NE(journal.JournalPath(), second);
  EXPECT_EQ(Journals().size(), 3u);
}

}  // namespace
}  // namespace karvo
