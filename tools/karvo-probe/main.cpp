// karvo-probe: commissioning a controller without the window.
//
//   karvo-probe [--verbose] PORT test [ADDRESS]
//   karvo-probe [--verbose] PORT read REGISTER [COUNT] [ADDRESS]
//   karvo-probe [--verbose] PORT float PARAMETER [ADDRESS]
//   karvo-probe [--verbose] PORT write REGISTER VALUE [ADDRESS]
//   karvo-probe [--verbose] PORT poll
//   karvo-probe [--verbose] PORT set-ramp VALUE
//   karvo-probe [--verbose] PORT set-target VALUE
//
// Results go to stdout; failures print the operation's failure text on
// stderr, followed by the reason when the transport knows more (what holds
// the port, "COM300 maps to no device"), and exit 1; a usage error exits 2.
// set-ramp and set-target print each attempt that did not confirm the value
// on stderr. --verbose shows the transport's diagnostic lines (the program
// log) on stderr.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/DateTime.h"
#include "common/Log.h"
#include "common/Regional.h"
#include "furnace/ClassFurnaceModule.h"
#include "furnace/ReadCycle.h"
#include "modbus/Modbus.h"
#include "modbus/Registers.h"

namespace {

constexpr const char* kUsage =
    "usage: karvo-probe [--verbose] PORT test [ADDRESS]\n"
    "       karvo-probe [--verbose] PORT read REGISTER [COUNT] [ADDRESS]\n"
    "       karvo-probe [--verbose] PORT float PARAMETER [ADDRESS]\n"
    "       karvo-probe [--verbose] PORT write REGISTER VALUE [ADDRESS]\n"
    "       karvo-probe [--verbose] PORT poll\n"
    "       karvo-probe [--verbose] PORT set-ramp VALUE\n"
    "       karvo-probe [--verbose] PORT set-target VALUE\n"
    "\n"
    "  -v, --verbose   show the transport's diagnostic lines (the program log) on stderr\n"
    "  -h, --help      show this text\n"
    "\n"
    "PORT is a COM port name (COM3); on Linux also a device path (/dev/ttyUSB0).\n"
    "ADDRESS is the device address, 1 to 256 (default 1; 256 goes out as 0).\n"
    "read prints one line per word (COUNT 1 to 32): the register number, a\n"
    "blank, the value.\n"
    "write waits for the controller's echo, then reads the register back.\n"
    "poll runs one poll of the program's read cycle (device 1) and prints the\n"
    "record, one Field=value line per field.\n"
    "set-ramp and set-target write the ramp rate or the target setpoint of\n"
    "device 1 as the program does: read back, up to five attempts, a pause\n"
    "of 0.5 to 1 s after each.\n"
    "Numbers may be written in hexadecimal with 0x (read 0x8002 2).\n";

constexpr std::uint32_t kLargestRegister = 0xFFFF;
constexpr std::uint32_t kLargestParameter = (0xFFFF - 0x8000 - 1) / 2;  // 0x8000 + 2n + 1 fits

struct UsageError {
  std::string what;
};

std::uint32_t Number(const std::string& text, const char* name, std::uint32_t lo, std::uint32_t hi) {
  std::string_view digits = text;
  int base = 10;
  if (digits.starts_with("0x") || digits.starts_with("0X")) {
    digits.remove_prefix(2);
    base = 16;
  }
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value < lo || value > hi) {
    throw UsageError{std::string(name) + " must be a whole number from " + std::to_string(lo) + " to " +
                     std::to_string(hi) + ", not \"" + text + "\""};
  }
  return value;
}

void PrintWords(std::uint32_t first, const karvo::TSerialResponse& r, std::uint32_t count) {
  for (std::uint32_t k = 1; k <= count; ++k) std::cout << first + k - 1 << ' ' << r.rArray[k] << '\n';
}

// The controller's floating-point values carry about seven significant
// digits; "." as decimal point whatever the regional settings.
std::string FloatText(double value) {
  return std::isfinite(value) ? karvo::FormatGeneral(value, 7) : std::to_string(value);
}

int Fail(const std::string& status, const std::string& reason = {}) {
  std::cerr << status << '\n';
  if (!reason.empty()) std::cerr << reason << '\n';
  return 1;
}

// The program log of this run, kept to explain a failed poll, whose port
// object is gone when the poll ends.
std::mutex logMutex;
std::vector<std::string> logLines;

// Longer than any poll: four transactions that each find no reply.
constexpr std::uint32_t kPollLimitMs = 30000;

// One poll exactly as the program starts it; the hand-off runs on the poll's
// own thread (there is no window). Prints the record.
int Poll(const std::string& portName) {
  if (!karvo::ReadFurnace(portName) || !karvo::WaitForPolls(kPollLimitMs)) {
    return Fail("The poll did not complete");
  }
  const karvo::TFurnaceReadRecord& r = karvo::ReadResult;
  // What the poll's transactions logged beyond its failure text, each once.
  std::string reasons;
  {
    std::lock_guard lock(logMutex);
    std::vector<std::string> seen{r.aMessage};
    for (const std::string& line : logLines) {
      if (std::find(seen.begin(), seen.end(), line) != seen.end()) continue;
      seen.push_back(line);
      reasons += (reasons.empty() ? "" : "\n") + line;
    }
  }
  auto flag = [](bool b) { return b ? "true" : "false"; };
  std::cout << "Readtime=" << karvo::FormatIsoDateTime(r.Readtime) << '\n'
            << "Valid=" << flag(r.Valid) << '\n'
            << "aMessage=" << r.aMessage << '\n'
            << "Temperature=" << FloatText(r.Temperature) << '\n'
            << "TargetSetpoint=" << r.TargetSetpoint << '\n'
            << "WorkingOutput=" << r.WorkingOutput << '\n'
            << "WorkingSetpoint=" << r.WorkingSetpoint << '\n'
            << "MaxOutputPowerActual=" << r.MaxOutputPowerActual << '\n'
            << "RampRate=" << r.RampRate << '\n'
            << "ActiveThreads=" << r.ActiveThreads << '\n'
            << "SensorBreak=" << flag(r.SensorBreak) << '\n';
  if (!r.aMessage.empty()) return Fail(r.aMessage, reasons);
  return 0;
}

// The furnace module's confirmed write of one register of device 1.
int ConfirmedWrite(const std::string& portName, std::uint32_t reg, std::uint32_t value, bool verbose) {
  karvo::TFurnaceModule module;
  module.SetOnPort(portName);
  module.SetAddress(1);
  module.Com()->SetDebug(verbose);
  int attempts = 0;
  const bool confirmed = module.ConfirmedWrite(
      reg, static_cast<std::int32_t>(value), &attempts, [&](int attempt, const std::string& failure) {
        std::cerr << "attempt " << attempt << ": " << failure << '\n';
        if (const std::string& reason = module.Com()->LastFailureReason(); !reason.empty()) std::cerr << reason << '\n';
      });
  std::cout << (confirmed ? "confirmed" : "not confirmed") << " after " << attempts
            << (attempts == 1 ? " attempt" : " attempts") << '\n';
  return confirmed ? 0 : 1;
}

int Run(const std::vector<std::string>& args, bool verbose) {
  if (args.size() < 2) throw UsageError{"PORT and a command are needed"};
  const std::string& command = args[1];
  // The arguments after the command; the optional ones fall back to defaults.
  const std::vector<std::string> rest(args.begin() + 2, args.end());
  auto arg = [&](std::size_t i, const char* name, std::uint32_t lo, std::uint32_t hi,
                 std::optional<std::uint32_t> fallback = std::nullopt) {
    if (i < rest.size()) return Number(rest[i], name, lo, hi);
    if (fallback) return *fallback;
    throw UsageError{std::string(name) + " is missing"};
  };
  auto atMost = [&](std::size_t n) {
    if (rest.size() > n) throw UsageError{"too many arguments for " + command};
  };
  auto address = [&](std::size_t i) { return arg(i, "ADDRESS", 1, 256, 1); };

  karvo::TModbusPort port;
  port.SetPort(args[0]);
  port.SetDebug(verbose);
  std::string status;
  if (command == "test") {
    atMost(1);
    const std::uint32_t device = address(0);
    if (!port.Test(device, status)) return Fail(status, port.LastFailureReason());
    std::cout << "Echo test passed at address " << device << '\n';
  } else if (command == "read") {
    atMost(3);
    const std::uint32_t first = arg(0, "REGISTER", 0, kLargestRegister);
    const std::uint32_t count = arg(1, "COUNT", 1, 32, 1);
    const karvo::TSerialResponse r = port.QueryWords(address(2), first, count);
    if (!r.Status.empty()) return Fail(r.Status, port.LastFailureReason());
    PrintWords(first, r, count);
  } else if (command == "float") {
    atMost(2);
    const std::uint32_t parameter = arg(0, "PARAMETER", 0, kLargestParameter);
    const karvo::TSerialResponse r = port.QueryD(address(1), parameter);
    if (!r.Status.empty()) return Fail(r.Status, port.LastFailureReason());
    std::cout << FloatText(r.rDouble) << '\n';
  } else if (command == "write") {
    atMost(3);
    const std::uint32_t reg = arg(0, "REGISTER", 0, kLargestRegister);
    const std::uint32_t value = arg(1, "VALUE", 0, 0xFFFF);
    const std::uint32_t device = address(2);
    if (!port.WriteWord(device, reg, static_cast<std::int32_t>(value), true, status)) {
      return Fail(status, port.LastFailureReason());
    }
    const karvo::TSerialResponse r = port.QueryWords(device, reg, 1);
    if (!r.Status.empty()) return Fail(r.Status, port.LastFailureReason());
    PrintWords(reg, r, 1);
  } else if (command == "poll") {
    atMost(0);
    return Poll(args[0]);
  } else if (command == "set-ramp" || command == "set-target") {
    atMost(1);
    const std::uint32_t value = arg(0, "VALUE", 0, 0xFFFF);
    return ConfirmedWrite(args[0], command == "set-ramp" ? karvo::reg::RampRate : karvo::reg::TargetSetpoint, value,
                          verbose);
  } else {
    throw UsageError{"unknown command \"" + command + "\""};
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (a == "--verbose" || a == "-v") {
      verbose = true;
    } else {
      args.push_back(a);
    }
  }
  // The program log: shown on stderr with --verbose, and kept.
  karvo::SetLogSink([verbose](const std::string& line) {
    if (verbose) std::cerr << line << '\n';
    std::lock_guard lock(logMutex);
    logLines.push_back(line);
  });
  try {
    return Run(args, verbose);
  } catch (const UsageError& e) {
    std::cerr << "karvo-probe: " << e.what << '\n' << kUsage;
    return 2;
  }
}
