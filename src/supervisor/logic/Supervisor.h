#pragma once
// The supervisor: the logic behind the main window, free of the window
// toolkit. It owns the one furnace module while a furnace is operated, runs
// the connection steps (Start, Stop, the close) and the periodic tick that
// starts polls and consumes their records. The window (frmFurnaceModule)
// reads its controls into the settings below, calls these functions and
// shows what they return; log lines go straight to the program log, and
// controller writes go through the furnace module, in the order the steps
// make them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/Regional.h"
#include "common/Seams.h"
#include "common/Types.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
#include "serial/ComPortCatalogue.h"
#include "supervisor/logic/RunJournal.h"
#include "supervisor/logic/SegmentRunner.h"
#include "supervisor/logic/Stability.h"
#include "supervisor/mainchart/RtMainChart.h"
#include "supervisor/measurements/Measurements.h"

namespace karvo {

// Timer1's interval at start and after every consumed poll, and the most it
// grows to after failed polls.
inline constexpr std::uint32_t kInitialIntervalMs = 2500;
inline constexpr std::uint32_t kMaxIntervalMs = 30000;
// How long the close waits for the run journal's last writes.
inline constexpr std::uint32_t kJournalCloseLimitMs = 10000;

// What the tick reads from the window's controls, fresh at every tick.
struct TTickSettings {
  // What the selected page means for the tick: on "Debug" the operator
  // talks to the controller by hand and the tick does nothing; on "Quick
  // control" the segment program does not run.
  bool TickPaused = false;
  bool ProgramMayRun = false;
  // The port list's selected entry, handed to StartPoll; the window's
  // StartPoll does not use it (ReadFurnace looks the entry up itself).
  std::string PollPort;
  bool VerboseLog = false;
  // "Controller settings": the varying output-power limit.
  bool VaryingLimitEnabled = false;
  std::int32_t TransitionTemperature = 600;  // ºC
  std::int32_t HighPower = 75;               // %
  std::int32_t LowPower = 45;                // %
  // "Graph settings".
  bool ShowAllData = true;
  double TimeAxisMaxHours = 0.05;
  std::int32_t MinTemp = 0;  // ºC
  bool LegendVisible = true;
  bool TargetSetpointVisible = false;
  bool WorkingSetpointVisible = false;
  bool WorkingOutputVisible = false;
  // "Stability settings" and the instructions program.
  std::int32_t StableTemperature = 2;  // ºC
  std::int32_t StableSlopeTime = 300;  // s
  double MaxRateOfChange = 0.75;       // ºC/min
  std::int32_t MinimumSteadyTime = 5;  // min
  std::wstring FurnaceName;            // the name box's current text
  std::wstring SavedFurnaceName;       // the name the window title carries: the run's name
  std::int32_t ProgramSegment = 0;     // the segment editor's number
};

// What the supervisor keeps from tick to tick.
struct TTickState {
  std::int32_t TickCounter = 0;  // ticks that passed the guard since program start
  TDateTime StableSince = 0.0;   // instant the furnace became stable; 0 = not stable
  // Stable time of segment StableCreditSegment observed before a restart
  // (a restored program); it counts towards that segment's dwell.
  std::int64_t StableCreditMs = 0;
  std::int32_t StableCreditSegment = 0;
  // Index in the chart of the first sample consumed since the module was
  // put in place (-1: none yet). Samples before it (loaded from a journal,
  // or of an earlier Start) count for the observation window only while
  // they follow on without a gap of kMaxIntervalMs or more.
  std::int32_t RunFirstSample = -1;
  double RateOfChangeWindow = 300.0 / kSecondsPerDay;  // days
  std::uint32_t IntervalMs = kInitialIntervalMs;       // Timer1's interval
};

enum class TTickKind {
  Idle,         // no module, or the "Debug" page: nothing happened
  PollStarted,  // no record waited: a poll was started
  PollRunning,  // no record waited and a poll is still running: only counted
  PollFailed,   // a failed poll was reported
  SensorBreak,  // a sensor break was reported
  Consumed,     // a record was consumed
};

// What the window shows after a tick.
struct TTickOutcome {
  TTickKind Kind = TTickKind::Idle;
  // Timer1 takes State.IntervalMs.
  bool IntervalChanged = false;
  // The consumed record (Kind Consumed): the read-only boxes show its
  // target and working setpoints, temperature and ramp rate.
  std::optional<TFurnaceReadRecord> Consumed;
  // Set by the stability steps and the segment runner when they ran.
  TTickDisplay Display;
};

// Values read from the controller at Start.
struct TInitialValues {
  double Temperature = 0.0;  // register 1, whole degrees
  std::int32_t TargetSetpoint = 0;
  std::int32_t WorkingSetpoint = 0;
  std::int32_t Proportional = 0;
  std::int32_t Integral = 0;
  std::int32_t Derivate = 0;
  std::int32_t RampRate = 0;
  std::int32_t Thermocouple = 0;  // register 12290: 0 = J .. 7 = S
  std::int32_t SetpointLow = 0;   // register 11
  std::int32_t SetpointHigh = 0;  // register 12
};

// A run that did not end cleanly, as found at program start.
struct TPreviousRun {
  TRunFiles Files;
  TJournalContents Contents;  // its journal, read
  TDateTime Ended = 0.0;      // instant of its last sample (its start when it has none)
};

enum class TStartOutcome {
  NoPort,        // no port selected: "Not usable serial port name."
  NoController,  // no controller answered, also after the address reset
  ReadFailed,    // a controller answered, but one of its initial reads failed: no module
  Connected,     // a module exists; Values hold the controller's settings
};

struct TStartResult {
  TStartOutcome Outcome = TStartOutcome::NoPort;
  TInitialValues Values;
};

class TSupervisor {
 public:
  // Builds the main chart on `graph`, which must outlive the supervisor.
  TSupervisor(TRtCustomGraph& graph, TRegionalSettings regional);
  ~TSupervisor();
  TSupervisor(const TSupervisor&) = delete;
  TSupervisor& operator=(const TSupervisor&) = delete;

  // The one furnace module; null while no furnace is operated.
  TFurnaceModule* FurnaceModule() const { return fFurnaceModule.get(); }
  // Puts a module in place (Start does; tests and benchmarks may).
  void SetFurnaceModule(std::unique_ptr<TFurnaceModule> module);

  // The run's measurements: the tick adds every consumed sample, LoadRun a
  // reloaded run's, ClearAllData empties them; the window, the export and
  // the status page read them. (Benchmarks and tests fill them as a long
  // run would.)
  TMeasurements& Measurements() { return fMeasurements; }
  const TMeasurements& Measurements() const { return fMeasurements; }
  // The chart drawn from them.
  TRtMainChart& Chart() { return fChart; }
  // "Clear all data": empties the measurements in one update of the chart,
  // so it redraws once.
  void ClearAllData();

  TTickState State;
  TStability Stability;
  TSegmentRunner SegmentRunner{Stability};

  // How a poll is started and how many are running (ReadFurnace and
  // PollsInFlight; tests replace them).
  std::function<bool(const std::string& port)> StartPoll;
  std::function<int()> PollsRunning;

  // The names for the port list: COM1 to COM99 as registered, in ascending
  // order. Shows "No COM ports detected!" when none is registered.
  static std::vector<std::string> ComPortList(const TComPortCatalogue& catalogue);

  // Start with the selected port (none: nothing selected): the echo test,
  // the address reset when it fails, the second echo test and the initial
  // reads. A failed initial read is logged with its reason and ends Start
  // without a module (ReadFailed). Runs on the calling thread and takes
  // seconds.
  TStartResult Start(const std::optional<std::string>& port);
  // Ends the run (journal), frees the module and clears the hold request of the furnace name the
  // window title carries. Throws StoreError when the store refuses.
  void Stop(const std::wstring& savedFurnaceName);
  // The close: ends the run, withdraws the stable-segment signal of the
  // saved name, logs and pauses 2 s (and waits for the journal). The read
  // cycle is shut down by the caller afterwards. An error of the store is
  // passed to onError; any other failed step is logged (CloseStep); the
  // close always goes on.
  void CloseQuery(const std::wstring& savedFurnaceName, const std::function<void(const std::exception&)>& onError);

  // One tick of Timer1.
  TTickOutcome Tick(const TTickSettings& settings, TFurnaceReadRecord& record);

  // The rate-of-change window from the observation length in seconds.
  void SetRateOfChangeWindow(std::int32_t seconds);

  // The run journal: the tick begins a run with its first consumed record
  // and journals every consumed sample; Stop and the close end it. Kept
  // only once the window has given it a folder.
  TRunJournal Journal;
  // Writes the module's program beside the journal when it changed (the
  // tick does after every consumed record; the window after a command).
  void JournalProgram();

  // Program start. What is found on the loading thread (FindUnclosedRuns,
  // ReadPreviousRun: they touch nothing of the supervisor) is answered on
  // the user-interface thread; nothing is marked before the operator has
  // answered (RunAnswered).
  //
  // Every run that did not end cleanly and that no running program writes,
  // newest first, summarized (SummarizeRun); the only one, when there is
  // one, read whole.
  struct TUnclosedRuns {
    std::vector<TRunSummary> Runs;
    std::optional<TPreviousRun> Only;
  };
  static TUnclosedRuns FindUnclosedRuns(const TRegionalSettings& journalRegional, const TReadProgress& progress = {});
  // A run's journal read whole.
  static TPreviousRun ReadPreviousRun(const TRunFiles& files, const TRegionalSettings& journalRegional,
                                      const TReadProgress& progress = {});
  // The separators journals are read with when their header names none.
  TRegionalSettings JournalRegional() const;
  // The operator answered about `run` (loaded it or not): it is marked
  // closed, so that it is asked about once, and its program is kept for the
  // offer at Start.
  void RunAnswered(const TPreviousRun& run);
  // The newest unclosed run read whole and answered (the three above in
  // one, on the calling thread).
  std::optional<TPreviousRun> TakeUnclosedRun();
  // "The previous run of <furnace> ended unexpectedly at <time>. Its
  // journal holds <n> samples from <first> to <last>. Load its data into
  // the chart?", times local in the regional format.
  std::string LoadRunQuestion(const TPreviousRun& run) const;
  // The list the operator picks a run from when there are several: one
  // line per run ("<furnace>: started <start>, last sample <last>, <n>
  // samples") and kKeepRunsForLater last.
  TListChoiceOptions RunChoice(const std::vector<TRunSummary>& runs) const;
  static constexpr const char* kKeepRunsForLater = "Keep them all for later (offered again at the next start)";
  static constexpr const char* kRunChoiceText =
      "These runs ended unexpectedly. Pick the run whose data to load into the chart; the others are kept and "
      "offered again at the next start.";
  static constexpr const char* kRunChoiceTitle = "Runs that ended unexpectedly";
  // Asked at Start while the chart holds data of the run Stop ended:
  // "The chart holds the data of the last run of <furnace>. Go on with that
  // run's journal file? (No: a new run file begins.)"
  static std::string ContinueRunQuestion(const std::wstring& furnace);
  // Puts the run's samples into the chart (empty before) in one update; the
  // next run goes on in its journal. Logs what was left out.
  // A journal that cannot be read is logged; the text comes back (empty
  // when the data were loaded).
  std::string LoadRun(TPreviousRun& run);
  // The program of the unclosed run of `furnace` found at program start,
  // read from its file, once: later calls give none.
  // A file that is not one (or holds what no editor takes) gives none, and
  // `refused` the reason.
  std::optional<std::vector<TFurnaceActionParameters>> TakeProgramToRestore(const std::wstring& furnace,
                                                                            std::string* refused = nullptr);
  // "Restore the instructions program of the previous run of <furnace>
  // (<n> segments, going on at segment <k>)?"
  static std::string RestoreProgramQuestion(const std::wstring& furnace,
                                            const std::vector<TFurnaceActionParameters>& segments);
  // Replaces the module's program with `segments`, finished flags and all.
  // The stable time the run had observed in its current segment before it
  // ended counts towards that segment's dwell (RestoredStableMs).
  void RestoreProgram(const std::vector<TFurnaceActionParameters>& segments);

  // Texts of the connection steps.
  static constexpr const char* kNoPort = "Not usable serial port name.";
  static constexpr const char* kNoPortsDetected = "No COM ports detected!";
  static constexpr const char* kReadFailed = "The furnace's values could not be read: ";
  static constexpr const char* kStartAgain = "The furnace was not started; press Start to try again.";
  static constexpr const char* kNoController =
      "Could not find a furnace, please try another port. Refer to manual Appendix B to verify if a null-modem "
      "adapter is required with your furnace.";

 private:
  void ReportValues(const TFurnaceReadRecord& record);
  void SetAxisModes(const TTickSettings& settings);
  void SetVisibility(const TTickSettings& settings);

  TMeasurements fMeasurements;
  TRtMainChart fChart;
  const TRegionalSettings fRegional;
  std::unique_ptr<TFurnaceModule> fFurnaceModule;
  std::optional<TRunFiles> fRunToRestore;
  TDateTime fRunToRestoreEnded = 0.0;  // its last sample
  TProgramStability fStabilityToRestore;
  std::string RunTime(TDateTime instant) const;
};

// One step of the close: an error that escapes it is logged ("A step of
// the close failed: <reason>") and the close goes on with the next step.
void CloseStep(const std::function<void()>& step);

// The stable time of segment `current` a restored run brings along: what
// was credited before, and the stretch from the instant the furnace became
// stable to the last sample of the journal. The time after the last sample
// was not observed: it ends the stable stretch and does not count (the
// segment runner needs the furnace stable again before its clock goes on).
std::int64_t RestoredStableMs(const TProgramStability& stability, int current, TDateTime lastSample);

// Step 6 of the tick, the varying output-power limit: moves the module's
// target by the temperature against the transition band and returns the
// value to write to the output high limit, or none. Nothing is chosen, and
// so nothing written, until the temperature has left the band once.
std::optional<std::int32_t> NextOutputLimit(double temperature, const TTickSettings& settings, TFurnaceModule& module);

}  // namespace karvo
