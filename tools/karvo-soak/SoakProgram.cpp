// The program's side of the soak: the real window (offscreen), started as
// an operator starts it, driven tick by tick by the driver (SoakLink.h).
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Soak.h"
#include "SoakLink.h"
#include "SoakPlan.h"
#include "app/QtSeams.h"
#include "common/Attention.h"
#include "common/Regional.h"
#include "common/Seams.h"
#include "common/StateDir.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
#include "serial/SerialPort.h"
#include "serial/UucpLock_posix.h"
#include "supervisor/logic/DataExport.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/window/LogView.h"
#include "supervisor/window/frmFurnaceModule.h"

namespace karvo::soak {
namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kCom = "COM9";
constexpr double kDay = 86400.0;
// The journal keeps the data export's time of day, to the second: a sample
// reads back up to a second earlier than the chart holds it.
constexpr double kJournalTimeResolution = 1.0;

SharedState* gShared = nullptr;

// The longest time the user-interface thread went without running a 20 ms
// timer.
class Heartbeat {
 public:
  Heartbeat() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Beat(); });
    timer_.start();
    last_ = SteadyClock::now();
  }
  // Leaves the time until now out (the driver's own work).
  void Rearm() { last_ = SteadyClock::now(); }
  double LongestMs() const { return longestMs_; }

 private:
  void Beat() {
    const auto now = SteadyClock::now();
    longestMs_ = std::max(longestMs_, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  QTimer timer_;
  SteadyClock::time_point last_;
  double longestMs_ = 0.0;
};

class Program {
 public:
  Program(const SoakOptions& options)
      : options_(options), plan_(MakePlan(options.Days, options.Seed, options.Faults)) {}
  int Run();

 private:
  void Violation(const std::string& what) { WriteLine(kReportFd, "V " + what); }
  bool Setup();
  void EnterSettings();
  void EnterProgram();
  void Tick();
  void Consumed(const TFurnaceReadRecord& rec);
  void Finish();
  void Memory();
  // Compares the journal's samples with the chart's; the samples read.
  std::size_t CheckJournal(const fs::path& path);
  template <class Pred>
  bool WaitUi(Pred done, int limitMs);

  SoakOptions options_;
  Plan plan_;
  std::optional<TQtSeams> seams_;
  std::unique_ptr<TFormModbus> form_;
  std::optional<Heartbeat> heartbeat_;
  int loaded_ = 0;
  std::uint64_t consumed_ = 0;
  std::size_t questions_ = 0;
  std::vector<std::string> messages_;
  double lineBytes_ = 0.0, charBytes_ = 0.0;  // heap a log line takes: fixed, per character
};

// The heap a line of the on-screen log takes, measured: lines of two
// lengths appended to a log view of their own.
std::pair<double, double> MeasureLogLine() {
  constexpr int kLines = 4000;
  auto cost = [](int length) {
    const std::size_t before = mallinfo2().uordblks;
    double bytes = 0.0;
    {
      TLogView view;
      view.SetMaximumLineCount(kLines * 2);
      QStringList lines;
      for (int i = 0; i < kLines; ++i)
        lines << QString::fromStdString(std::string(static_cast<std::size_t>(length), 'x'));
      view.AppendLines(lines);
      lines.clear();
      bytes = static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before);
    }
    return bytes / kLines;
  };
  const double short_ = cost(20), long_ = cost(80);
  const double perChar = (long_ - short_) / 60.0;
  return {short_ - 20 * perChar, perChar};
}

template <class Pred>
bool Program::WaitUi(Pred done, int limitMs) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (SteadyClock::now() > deadline) return false;
    // Wakes at the latest with the heartbeat.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

bool Program::Setup() {
  gShared = MapSharedState(options_.SharedFile, false);
  if (!gShared) {
    Violation("the program cannot map the shared clock");
    return false;
  }
  SetUucpLockFolders({(KarvoStateDir() / "locks").string()});
  // The master's pause between looks for a reply is its own wait, not the
  // line's; wire time stays at 9600 baud on both sides.
  TSerialPort::SetDefaultWindowsReadLoopTimeoutMS(options_.ReadLoopMs);
  seams::SetUtcNow([] { return gShared->Now.load(); });
  // The window's pauses (between a write and its read-back) take no
  // simulated time; the real program waits them out.
  seams::SetPause([](std::uint32_t) {});
  seams::SetRandom({});  // the default source: the back-off is random anyway
  // The operator answers Yes: the previous run's data into the chart, its
  // journal continued, its program restored.
  seams::SetQuestion([this](const std::string&) {
    ++questions_;
    return true;
  });
  seams::SetListChoice([this](const TListChoiceOptions& choice) {
    Violation("the window offered " + std::to_string(choice.Items.size() - 1) + " unclosed runs; only one is");
    return 0;
  });
  seams::SetMessage([this](const std::string& text) { messages_.push_back(text); });
  seams::SetErrorReport([this](const std::string& text) {
    Violation("an error reached the operator: " + text);
    return false;
  });
  std::tie(lineBytes_, charBytes_) = MeasureLogLine();
  seams_.emplace(nullptr, /*dialogs=*/false);
  form_ = std::make_unique<TFormModbus>();
  seams_->AttachWindow(*form_);
  form_->Timer1->stop();
  if (options_.LogLines > 0) form_->MemoLog->SetMaximumLineCount(options_.LogLines);
  form_->show();
  QCoreApplication::processEvents();

  TRunJournal& journal = form_->Supervisor->Journal;
  TJournalIo io = SystemJournalIo();
  io.Write = [write = io.Write](std::intptr_t h, std::string_view bytes, std::string& reason) {
    if (gShared->DiskRefuses.load() != 0) {
      reason = "No space left on device";
      return false;
    }
    return write(h, bytes, reason);
  };
  journal.SetIo(io);
  // The writer's back-off is in real time, which runs far slower here.
  journal.SetRetry(5, 200);

  auto shown = std::move(form_->TickShown);
  form_->TickShown = [this, shown](const TTickOutcome& out) {
    if (shown) shown(out);
    if (out.Kind == TTickKind::Consumed && out.Consumed) Consumed(*out.Consumed);
    if (out.Kind == TTickKind::PollFailed) WriteLine(kReportFd, "K f");
    if (out.Kind == TTickKind::SensorBreak) WriteLine(kReportFd, "K s");
  };

  TFormModbus& f = *form_;
  heartbeat_.emplace();  // also wakes the waits for events
  // Start waits until the runs that ended unexpectedly have been looked
  // through and the one there answered.
  if (!WaitUi([&] { return f.ButtonCreateFurnaceModule->isEnabled(); }, 60000)) {
    Violation("Start stayed disabled after the start-up reading");
    return false;
  }
  const TMeasurements& c = f.Supervisor->Measurements();
  loaded_ = c.RtDoubleVectorTime.GetCount();
  const double last = loaded_ > 0 ? c.RtDoubleVectorTime[loaded_ - 1] : 0.0;
  if (loaded_ > 0) {
    // The chart holds what the journal holds.
    std::vector<fs::path> journals;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(RunsFolder(), ec))
      if (e.path().extension() == ".csv") journals.push_back(e.path());
    if (journals.size() != 1)
      Violation(std::to_string(journals.size()) + " journals after the restart, not one");
    else
      CheckJournal(journals.front());
  }
  f.ComboBoxModbusPort->setCurrentIndex(f.ComboBoxModbusPort->findText(QString::fromLatin1(kCom)));
  f.ButtonCreateFurnaceModule->click();
  f.Timer1->stop();
  if (f.ButtonCreateFurnaceModule->text() != QStringLiteral("Stop")) {
    WaitUi([] { return false; }, 300);  // the log's lines reach the view
    std::string said;
    for (const std::string& m : messages_) said += " | " + m;
    said += " | port " + f.ComboBoxModbusPort->currentText().toStdString() + " of";
    for (int i = 0; i < f.ComboBoxModbusPort->count(); ++i)
      said += " " + f.ComboBoxModbusPort->itemText(i).toStdString();
    for (int i = std::max(0, f.MemoLog->LineCount() - 12); i < f.MemoLog->LineCount(); ++i)
      said += " | " + f.MemoLog->Line(i).toStdString();
    Violation("Start failed:" + said);
    return false;
  }
  EnterSettings();
  if (options_.EnterProgram) EnterProgram();
  const TFurnaceModule* module = f.FurnaceModule();
  WriteLine(kReportFd, "R " + std::to_string(loaded_) + " " + Exact(last) + " " +
                           std::to_string(module ? module->InstructionCount() : -1) + " " +
                           std::to_string(module ? module->InstructionsCurrentSegment() : -1) + " " +
                           std::to_string(questions_));
  heartbeat_->Rearm();
  return true;
}

// The settings an operator enters after every start.
void Program::EnterSettings() {
  TFormModbus& f = *form_;
  f.RtIntegerEditStableTemperature->SetValue(plan_.StableTemperature);
  f.RtIntegerEditStableSlopeTime->SetValue(plan_.StableSlopeSeconds);
  f.RtDoubleEditMaxRateOfChange->SetValue(plan_.MaxRateOfChange);
  f.RtIntegerEditMinimumSteadyTime->SetValue(plan_.MinimumSteadyMinutes);
  f.RtIntegerEditTransitionTemperature->SetValue(plan_.TransitionTemperature);
  f.RtIntegerEditLowPower->SetValue(plan_.LowPower);
  f.RtIntegerEditHighPower->SetValue(plan_.HighPower);
  if (!f.CheckBoxEnableVaryingMaximumOutput->isChecked()) f.CheckBoxEnableVaryingMaximumOutput->click();
  f.RadioButton2->setChecked(true);  // show all data
  // The program steps only while the quick-control page is not shown.
  f.PageControl1->setCurrentIndex(static_cast<int>(TPageIndex::Instructions));
}

void Program::EnterProgram() {
  TFormModbus& f = *form_;
  for (std::size_t k = 0; k < plan_.Segments.size(); ++k) {
    const Segment& s = plan_.Segments[k];
    f.RtIntegerEditProgramSegment->SetValue(static_cast<int>(k + 1));
    f.RtIntegerEditProgramSetpoint->SetValue(s.Setpoint);
    f.RtIntegerEditProgramRampRate->SetValue(s.RampRate);
    f.RtIntegerEditProgramDays->SetValue(s.DwellMinutes / 1440);
    f.RtIntegerEditProgramHours->SetValue(s.DwellMinutes / 60 % 24);
    f.RtIntegerEditProgramMinutes->SetValue(s.DwellMinutes % 60);
    f.ButtonInstructionsSave->click();
  }
}

// One tick of Timer1 at the simulated clock, and the poll it started.
void Program::Tick() {
  TFormModbus& f = *form_;
  f.Timer1->stop();
  f.Timer1Timer();
  if (PollsInFlight() > 0) {
    if (!WaitUi([] { return PollsInFlight() == 0; }, 60000)) Violation("a poll did not end within a minute");
  } else {
    QCoreApplication::processEvents();
  }
  const TFurnaceModule* module = f.FurnaceModule();
  WriteLine(kReportFd, "E " + std::to_string(module ? module->InstructionsCurrentSegment() : -1) + " " +
                           Exact(f.Supervisor->State.StableSince) + " " + (f.LedTime->Value() ? "1" : "0") + " " +
                           std::to_string(f.Supervisor->Journal.DurableSamples()) + " " +
                           std::to_string(f.Supervisor->Measurements().Count()) + " " +
                           std::to_string(f.MemoLog->LineCount()) + " " +
                           std::to_string(f.MemoLog->MaximumLineCount()) + " " + std::to_string(ResidentBytes()) + " " +
                           Exact(heartbeat_->LongestMs()) + " " + std::to_string(f.Supervisor->State.IntervalMs) + " " +
                           Exact(module ? module->BeenStable() : 0.0));
}

void Program::Consumed(const TFurnaceReadRecord& rec) {
  ++consumed_;
  WriteLine(kReportFd, "C " + Exact(rec.ReadtimeUtc) + " " + Exact(rec.Temperature) + " " +
                           std::to_string(rec.TargetSetpoint) + " " + std::to_string(rec.WorkingSetpoint) + " " +
                           std::to_string(rec.WorkingOutput) + " " + std::to_string(rec.RampRate) + " " +
                           std::to_string(rec.MaxOutputPowerActual));
  // The chart's newest sample is the consumed record...
  const TMeasurements& c = form_->Supervisor->Measurements();
  const int i = c.RtDoubleVectorTime.GetCount() - 1;
  if (i < 0 || c.RtDoubleVectorTime[i] != rec.ReadtimeUtc || c.RtDoubleVectorTemperature[i] != rec.Temperature ||
      c.RtDoubleVectorSetpoint[i] != rec.TargetSetpoint || c.RtDoubleVectorWorkingSetpoint[i] != rec.WorkingSetpoint ||
      c.RtDoubleVectorWorkingOutput[i] != rec.WorkingOutput / 10.0)
    Violation("the chart's newest sample is not the consumed record");
  // ... and the chart holds the loaded samples and the consumed ones.
  if (static_cast<std::uint64_t>(c.RtDoubleVectorTime.GetCount()) != loaded_ + consumed_)
    Violation("the chart holds " + std::to_string(c.RtDoubleVectorTime.GetCount()) + " samples after " +
              std::to_string(loaded_) + " loaded and " + std::to_string(consumed_) + " consumed");
}

// The heap in use, and how much of it the data the window keeps by design
// takes: the chart's vectors (their blocks of values and min/max pyramid)
// and the on-screen log's lines (at the cost per line and per character
// measured at start-up).
void Program::Memory() {
  const struct mallinfo2 heap = mallinfo2();
  const TMeasurements& c = form_->Supervisor->Measurements();
  double chart = 0.0;
  for (const TRtDoubleVector* v : {&c.RtDoubleVectorTime, &c.RtDoubleVectorTemperature, &c.RtDoubleVectorSetpoint,
                                   &c.RtDoubleVectorWorkingSetpoint, &c.RtDoubleVectorWorkingOutput})
    chart += static_cast<double>(v->MemoryBytes());
  double memo = 0.0;
  const TLogView& log = *form_->MemoLog;
  for (int i = 0; i < log.LineCount(); ++i) memo += lineBytes_ + charBytes_ * static_cast<double>(log.Line(i).size());
  WriteLine(kReportFd, "M " + std::to_string(heap.uordblks + heap.hblkhd) + " " +
                           std::to_string(static_cast<std::uint64_t>(chart)) + " " +
                           std::to_string(static_cast<std::uint64_t>(memo)) + " " + std::to_string(ResidentBytes()) +
                           " " + Exact(lineBytes_) + " " + Exact(charBytes_));
}

std::size_t Program::CheckJournal(const fs::path& path) {
  const TJournalContents read = ReadJournal(path, ExportRegional(Regional()));
  const TMeasurements& c = form_->Supervisor->Measurements();
  if (!read.Error.empty() || !read.Gaps.empty() || read.RefusedLines != 0)
    Violation("the journal does not read back whole: " + read.Error);
  if (read.Samples.size() != static_cast<std::size_t>(c.RtDoubleVectorTime.GetCount())) {
    Violation("the journal holds " + std::to_string(read.Samples.size()) + " samples, the chart " +
              std::to_string(c.RtDoubleVectorTime.GetCount()));
    return read.Samples.size();
  }
  int differ = 0;
  for (std::size_t k = 0; k < read.Samples.size(); ++k) {
    const TJournalSample& s = read.Samples[k];
    const int i = static_cast<int>(k);
    auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); };
    if (std::fabs(s.Time - c.RtDoubleVectorTime[i]) * kDay >= kJournalTimeResolution ||
        !same(s.Temperature, c.RtDoubleVectorTemperature[i]) || !same(s.Setpoint, c.RtDoubleVectorSetpoint[i]) ||
        !same(s.WorkingSetpoint, c.RtDoubleVectorWorkingSetpoint[i]) ||
        !same(s.WorkingOutput, c.RtDoubleVectorWorkingOutput[i])) {
      if (++differ <= 3)
        Violation("journal sample " + std::to_string(k) + " (" + std::to_string(s.Temperature) + "; " +
                  std::to_string(s.Setpoint) + "; " + std::to_string(s.WorkingSetpoint) + "; " +
                  std::to_string(s.WorkingOutput) + ") differs from the chart's (" +
                  std::to_string(c.RtDoubleVectorTemperature[i]) + "; " + std::to_string(c.RtDoubleVectorSetpoint[i]) +
                  "; " + std::to_string(c.RtDoubleVectorWorkingSetpoint[i]) + "; " +
                  std::to_string(c.RtDoubleVectorWorkingOutput[i]) + "; dt " +
                  std::to_string((s.Time - c.RtDoubleVectorTime[i]) * kDay) + " s)");
    }
  }
  if (differ > 3) Violation(std::to_string(differ) + " journal samples differ from the chart");
  return read.Samples.size();
}

void Program::Finish() {
  TFormModbus& f = *form_;
  TRunJournal& journal = f.Supervisor->Journal;
  if (!journal.WaitWritten(60000)) Violation("the journal did not reach the disk within a minute");
  WaitUi([] { return false; }, 600);  // the attention timer's refresh
  for (const TAttentionItem& item : AttentionItems())
    Violation("the attention line still shows " + item.Key + ": " + item.Text);
  if (!f.LabelAttention->isHidden()) Violation("the attention line is still shown");
  const fs::path path = journal.JournalPath();
  // Stop ends the run cleanly.
  f.ButtonCreateFurnaceModule->click();
  if (!journal.WaitIdle(60000)) Violation("the journal did not close within a minute");
  const std::size_t samples = CheckJournal(path);
  WriteLine(kReportFd, "J " + std::to_string(samples) + " " + Exact(heartbeat_->LongestMs()) + " " + path.string());
}

int Program::Run() {
  if (!Setup()) return 1;
  LineReader commands(STDIN_FILENO);
  for (;;) {
    const std::optional<std::string> command = commands.Next(3600 * 1000);
    if (!command) break;  // the driver is gone
    heartbeat_->Rearm();
    if (*command == "T") {
      Tick();
    } else if (*command == "M") {
      Memory();
    } else if (*command == "F") {
      Finish();
      break;
    }
    heartbeat_->Rearm();
  }
  form_->close();
  form_.reset();
  seams_.reset();
  QCoreApplication::processEvents();
  return 0;
}

}  // namespace

int RunSoakProgram(const SoakOptions& options) {
  Program program(options);
  return program.Run();
}

}  // namespace karvo::soak
