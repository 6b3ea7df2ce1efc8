#pragma once
// The soak: the real window (offscreen) against the simulated controller
// on a pseudo-terminal for a number of simulated days, on one simulated
// clock that the program's clock seam and the controller's furnace both
// follow. The driver moves the clock by the window's tick interval at every
// tick, so the polls, their timeouts and the wire time of every byte are
// real while the hours between them cost nothing. The window runs in a
// child process, which the driver kills with SIGKILL at planned moments
// and starts again as an operator would (the previous run reloaded, its
// program restored).
//
// It checks all the way through and counts every violation:
//  - no freeze: the longest gap between two runs of a 20 ms timer on the
//    user-interface thread stays under a limit (real time);
//  - no bogus sample: every consumed sample, in the chart and in the run
//    journal, holds exactly what the controller answered in that poll
//    (the controller's trace of its replies is the record); after a
//    restart the chart holds what the journal holds, and no sample on
//    stable storage before a kill is missing;
//  - no write nobody meant: every write the controller executed is the
//    ramp rate or setpoint of the current segment or the next, or an
//    output limit of the varying-limit steps;
//  - the program ends with its last segment, each segment ending at the
//    first consumed tick after its minimum steady time plus dwell (and any
//    hold) had passed since the furnace became stable, the stable time
//    before a kill counted up to the last journalled sample;
//  - memory: from day 2 the resident set less the data the window keeps
//    by design (chart, on-screen log) grows by less than 10 %;
//  - the daily log files: one per local day of the run, none older than
//    30 days;
//  - the journal reads back to the chart, sample for sample.

#include <cstdint>
#include <string>

namespace karvo::soak {

struct SoakOptions {
  double Days = 30.0;
  std::uint32_t Seed = 1;
  bool Faults = true;
  double ProgressEveryHours = 24;  // simulated
  // The longest gap allowed on the user-interface thread; 0: the longest
  // wait the window has there, a confirmed write to a silent controller
  // (every attempt's read-back waits out its timeout and the late-reply
  // watch).
  double FreezeLimitMs = 0;
  // The master's pause between looks for a reply (the port's read loop,
  // 200 ms in the field).
  std::uint32_t ReadLoopMs = 5;
  // Simulated time per tick in Timer1 intervals: 1 is the field's cadence;
  // more makes the polls sparser on the simulated clock.
  double TickScale = 1.0;
  // The program's side (a child process the driver starts): the shared
  // clock's file, and whether this start enters the program (the first
  // does; the later ones restore it from the killed run).
  std::string SharedFile;
  // The on-screen log's most lines; 0: the window's own (a smaller one
  // shows sooner what grows beside the log).
  int LogLines = 0;
  bool EnterProgram = false;
};

// Runs the soak, printing progress and the summary table to stdout;
// returns the number of violations (0 = passed).
// `program` is this executable, started again for the program's side.
int RunSoak(const SoakOptions& options, const std::string& program);

// The program's side: the window in this process, driven through standard
// input and descriptor 3 (SoakLink.h). Needs a QApplication.
int RunSoakProgram(const SoakOptions& options);

}  // namespace karvo::soak
