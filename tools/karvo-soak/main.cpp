// karvo-soak: the real window against the simulated controller for days of
// simulated time with faults on a schedule (see Soak.h).
//
//   karvo-soak [DAYS] [--seed N] [--no-faults] [--progress HOURS] [--read-loop-ms MS] [--tick-scale K]
//              [--log-lines N]
//
// The driver starts this executable again with --program FILE (the shared
// clock) [--enter-program] for the window's side.
//
// Exits 0 when nothing was violated, 1 when something was, 2 on bad
// arguments.
#include <QApplication>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "Soak.h"

namespace {

template <class T>
bool Parse(std::string_view text, T& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

int Usage() {
  std::fprintf(
      stderr,
      "usage: karvo-soak [DAYS] [--seed N] [--no-faults] [--progress HOURS] [--read-loop-ms MS] [--tick-scale K]\n"
      "       [--log-lines N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  karvo::soak::SoakOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--seed" && i + 1 < argc) {
      if (!Parse(argv[++i], options.Seed)) return Usage();
    } else if (a == "--progress" && i + 1 < argc) {
      if (!Parse(argv[++i], options.ProgressEveryHours) || options.ProgressEveryHours < 0.01) return Usage();
    } else if (a == "--read-loop-ms" && i + 1 < argc) {
      if (!Parse(argv[++i], options.ReadLoopMs) || options.ReadLoopMs < 1 || options.ReadLoopMs > 200) return Usage();
    } else if (a == "--tick-scale" && i + 1 < argc) {
      if (!Parse(argv[++i], options.TickScale) || options.TickScale < 1 || options.TickScale > 1000) return Usage();
    } else if (a == "--program" && i + 1 < argc) {
      options.SharedFile = argv[++i];
    } else if (a == "--log-lines" && i + 1 < argc) {
      if (!Parse(argv[++i], options.LogLines) || options.LogLines < 100) return Usage();
    } else if (a == "--enter-program") {
      options.EnterProgram = true;
    } else if (a == "--no-faults") {
      options.Faults = false;
    } else if (!a.empty() && a[0] != '-' && Parse(a, options.Days) && options.Days > 0 && options.Days <= 400) {
      continue;
    } else {
      return Usage();
    }
  }
  if (options.SharedFile.empty()) return karvo::soak::RunSoak(options, "/proc/self/exe") == 0 ? 0 : 1;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return karvo::soak::RunSoakProgram(options);
}
