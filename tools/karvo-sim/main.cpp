// karvo-sim: a simulated furnace controller for running the program and
// karvo-probe without hardware.
//
//   karvo-sim [--com COMn] [--address N] [--speed X] [--start-temp T]
//             [--seed N] [--no-reply] [--reply-delay MS] [--bad-crc FRACTION]
//             [--sensor-break] [--reply-address N] [--verbose]
//
// Creates a pseudo-terminal, links it as COMn (default COM9) in the port map
// folder with an owner file naming this process (the link counts as a port
// only while it runs), prints "Simulated controller on COMn (<device
// path>)" and serves until SIGINT or SIGTERM; then removes its link. A COM
// name that a running simulator serves is refused.
//
// It keeps to the line as strictly as a real controller: frames are what
// arrives between silences of 3.5 characters (requests sent back to back
// are garbage), a request that comes while it answers is lost, and its
// replies take their wire time at 9600 baud.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "serial/PortName.h"
#include "sim/ComLink.h"
#include "sim/SimController.h"

namespace {

constexpr const char* kUsage =
    "usage: karvo-sim [--com COMn] [--address N] [--speed X] [--start-temp T] [--seed N]\n"
    "                 [--no-reply] [--reply-delay MS] [--bad-crc FRACTION] [--sensor-break]\n"
    "                 [--reply-address N] [--verbose]\n"
    "\n"
    "Serves a simulated furnace controller (Modbus RTU, device address N, default 1)\n"
    "on a pseudo-terminal linked as COMn (default COM9) until interrupted.\n"
    "  --com COMn           the port name to serve, COM1 to COM254 (default COM9)\n"
    "  --address N          the device address, 1 to 254 (default 1)\n"
    "  --speed X            simulated seconds per real second (default 1)\n"
    "  --start-temp T       furnace temperature at start, ºC (default 20)\n"
    "  --no-reply           execute nothing, answer nothing\n"
    "  --reply-delay MS     start every reply MS milliseconds after the request's end\n"
    "  --bad-crc FRACTION   corrupt the CRC of this share of replies (0 to 1)\n"
    "  --seed N             seed of the measurement noise and the CRC faults (default:\n"
    "                       from the clock)\n"
    "  --sensor-break       report a broken sensor (register 258 = 1)\n"
    "  --reply-address N    answer with device address N in the replies\n"
    "  --verbose            show every request and reply on stderr\n"
    "  -h, --help           show this text\n";

int Usage(const std::string& problem) {
  std::cerr << "karvo-sim: " << problem << "\n" << kUsage;
  return 2;
}

template <class T>
std::optional<T> Number(std::string_view text, T lo, T hi) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < lo || value > hi) return std::nullopt;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  karvo::sim::SimOptions options;
  std::string com = "COM9";
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    std::optional<std::string> v;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--no-reply") {
      options.Faults.NoReply = true;
    } else if (arg == "--sensor-break") {
      options.Faults.SensorBreak = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--com") {
      if (!(v = value()) || karvo::ComPortNumberOf(*v) == 0) return Usage("--com takes a port name COM1 to COM254");
      com = *v;
    } else if (arg == "--address") {
      const auto n = (v = value()) ? Number<int>(*v, 1, 254) : std::nullopt;
      if (!n) return Usage("--address takes a device address 1 to 254");
      options.Address = static_cast<std::uint8_t>(*n);
    } else if (arg == "--speed") {
      const auto x = (v = value()) ? Number<double>(*v, 0.001, 100000.0) : std::nullopt;
      if (!x) return Usage("--speed takes a factor from 0.001 to 100000");
      options.Speed = *x;
    } else if (arg == "--start-temp") {
      const auto t = (v = value()) ? Number<double>(*v, 0.0, 1600.0) : std::nullopt;
      if (!t) return Usage("--start-temp takes a temperature from 0 to 1600 ºC");
      options.StartTemperature = *t;
    } else if (arg == "--seed") {
      const auto n = (v = value()) ? Number<std::uint32_t>(*v, 1, 0xFFFFFFFF) : std::nullopt;
      if (!n) return Usage("--seed takes a whole number from 1");
      options.Seed = *n;
    } else if (arg == "--reply-delay") {
      const auto n = (v = value()) ? Number<std::uint32_t>(*v, 0, 60000) : std::nullopt;
      if (!n) return Usage("--reply-delay takes milliseconds from 0 to 60000");
      options.Faults.ReplyDelayMs = *n;
    } else if (arg == "--bad-crc") {
      const auto f = (v = value()) ? Number<double>(*v, 0.0, 1.0) : std::nullopt;
      if (!f) return Usage("--bad-crc takes a fraction from 0 to 1");
      options.Faults.BadCrcFraction = *f;
    } else if (arg == "--reply-address") {
      const auto n = (v = value()) ? Number<int>(*v, 0, 255) : std::nullopt;
      if (!n) return Usage("--reply-address takes a device address 0 to 255");
      options.Faults.ReplyAddress = static_cast<std::uint8_t>(*n);
    } else {
      return Usage("unknown argument \"" + arg + "\"");
    }
  }
  if (verbose) options.Trace = [](const std::string& line) { std::cerr << line << std::endl; };

  // The serving thread must not take the signals: block them here, before
  // it starts, and wait for them below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    karvo::sim::SimController sim(options);
    sim.Start();
    const std::string device = sim.DevicePath();
    karvo::sim::ScopedComLink link(com, device);
    std::cout << "Simulated controller on " << com << " (" << device << ")" << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (verbose) std::cerr << "karvo-sim: " << strsignal(signal) << ", stopping" << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "karvo-sim: " << e.what() << std::endl;
    return 1;
  }
  return 0;
}
