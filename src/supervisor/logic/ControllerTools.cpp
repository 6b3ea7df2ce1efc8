#include "supervisor/logic/ControllerTools.h"

#include <cctype>
#include <string>

#include "common/Log.h"
#include "common/Seams.h"
#include "modbus/Registers.h"
#include "supervisor/logic/TextFiles.h"

namespace karvo {

namespace {

constexpr std::uint32_t kDevice = 1;
constexpr int kThermocoupleTypes = static_cast<int>(std::size(reg::ThermocoupleNames));
constexpr int kResetSeconds = 6;
constexpr std::uint32_t kWordsPerRead = 32;

std::string RegisterLine(std::uint32_t address, std::int32_t word) {
  return "Address:" + std::to_string(address) + " Value:" + std::to_string(word);
}

// The pauses of the thermocouple change while the window takes no input:
// the window shows the log lines written so far.
void WaitShowing(std::uint32_t ms) {
  ProcessMessages();
  PauseMs(ms);
}

// After the restart: the controller must be in operating mode again, or it
// does not control the furnace.
bool BackInOperatingMode(TModbusPort& port) {
  const TSerialResponse r = port.QueryWords(kDevice, reg::ConfigurationMode, 1);
  if (!r.Status.empty()) {
    LogLine("The controller did not answer after the restart: it may still be in configuration mode.");
    return false;
  }
  if (r.ValueOfFirstWord == static_cast<std::int32_t>(reg::ConfigurationModeLeave)) return true;
  LogLine("The controller is not back in operating mode: register 199 reads " + std::to_string(r.ValueOfFirstWord) +
          ".");
  return false;
}

// Register 12290 after the change; logs what differs from the type chosen.
std::optional<std::int32_t> ReadBackThermocouple(TModbusPort& port, int chosen) {
  const TSerialResponse r = port.QueryWords(kDevice, reg::ThermocoupleType, 1);
  if (!r.Status.empty()) {
    LogLine("The thermocouple type could not be read back: " + r.Status);
    return std::nullopt;
  }
  if (r.ValueOfFirstWord != chosen) {
    const bool known = r.ValueOfFirstWord >= 0 && r.ValueOfFirstWord < kThermocoupleTypes;
    LogLine(std::string("The controller did not take thermocouple type ") + reg::ThermocoupleNames[chosen] +
            ": register 12290 reads " + std::to_string(r.ValueOfFirstWord) +
            (known ? std::string(" (") + reg::ThermocoupleNames[r.ValueOfFirstWord] + ")" : std::string()) + ".");
  }
  return r.ValueOfFirstWord;
}

}  // namespace

std::optional<int> ThermocoupleIndexOf(const std::string& text) {
  if (text.size() != 1) return std::nullopt;
  const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  for (int i = 0; i < kThermocoupleTypes; ++i)
    if (reg::ThermocoupleNames[i][0] == c) return i;
  return std::nullopt;
}

TThermocoupleResult ChangeThermocoupleType(TModbusPort& port, std::optional<int> type,
                                           const std::function<void(bool enabled)>& setWindowEnabled) {
  TThermocoupleResult result;
  if (!AskYesNo(kThermocoupleQuestion)) return result;
  if (!type || *type < 0 || *type >= kThermocoupleTypes) {
    result.Outcome = TThermocoupleChange::NoType;
    return result;
  }
  LogLine();
  LogLine("Changing Thermocouple type, please wait...");
  PauseMs(2500);
  if (setWindowEnabled) setWindowEnabled(false);
  bool back = false;
  try {
    port.WriteWord(kDevice, reg::ConfigurationMode, reg::ConfigurationModeEnter, false);
    WaitShowing(500);
    port.WriteWord(kDevice, reg::ThermocoupleType, *type, false);
    WaitShowing(500);
    port.WriteWord(kDevice, reg::ConfigurationMode, reg::ConfigurationModeLeave, false);
    WaitShowing(500);
    for (int i = 1; i <= kResetSeconds; ++i) {
      LogLine("Waiting the controller to reset " + std::to_string(i) + "/" + std::to_string(kResetSeconds));
      WaitShowing(1000);
    }
    back = BackInOperatingMode(port);
    result.ControllerType = ReadBackThermocouple(port, *type);
    LogLine("Done changing Thermocouple type.");
  } catch (...) {
    if (setWindowEnabled) setWindowEnabled(true);
    throw;
  }
  if (setWindowEnabled) setWindowEnabled(true);
  if (back && result.ControllerType == *type) {
    result.Outcome = TThermocoupleChange::Changed;
    return result;
  }
  if (back) {
    result.Outcome = TThermocoupleChange::NotTaken;
    ShowMessage(
        "The controller does not hold the thermocouple type you chose; the list shows what it holds.\nCheck the "
        "controller's display and the cable, then choose the type again.");
    return result;
  }
  result.Outcome = TThermocoupleChange::NotBack;
  ShowMessage(
      "The controller has not come back to operating mode after the thermocouple change, so it may not be "
      "controlling the furnace.\nCheck the controller's display: if it is still in configuration mode, put it back "
      "into operating mode on its front panel (or switch it off and on). Check also the cable and that the "
      "thermocouple type shown is the one you chose.");
  return result;
}

std::optional<std::int32_t> SetProgrammerMode(TModbusPort& port, std::int32_t value) {
  port.WriteWord(kDevice, reg::Programmer, value, false);
  const TSerialResponse r = port.QueryWords(kDevice, reg::Programmer, 1);
  const std::string wanted = value == static_cast<std::int32_t>(reg::ProgrammerManual)
                                 ? "Click until value is 10 (=Timer/Programmer)"
                                 : "Click until value is 0 (=Timer/Programmer is off)";
  // A failed read must not look like the value wanted.
  const std::string read = r.Status.empty() ? std::to_string(r.ValueOfFirstWord) : "not read (" + r.Status + ")";
  ShowMessage("New value for register @320: " + read + "\n" + wanted);
  if (!r.Status.empty()) return std::nullopt;
  return r.ValueOfFirstWord;
}

void ReadRegisters(TModbusPort& port, std::uint32_t first) {
  const TSerialResponse r = port.QueryWords(kDevice, first, kWordsPerRead);
  LogLine();
  if (!r.Status.empty()) {
    LogLine("Registers " + std::to_string(first) + " to " + std::to_string(first + kWordsPerRead - 1) +
            " could not be read: " + r.Status);
    return;
  }
  for (std::uint32_t i = 0; i < kWordsPerRead; ++i) LogLine(RegisterLine(first + i, r.rArray[i + 1]));
}

void WriteRegister(TModbusPort& port, std::uint32_t address, std::uint32_t value) {
  port.WriteWord(kDevice, address, static_cast<std::int32_t>(value), false);
  LogLine();
  LogLine("Trying to write a word to memory:");
  LogLine("Address:" + std::to_string(address) + " Written value:" + std::to_string(value));
  LogLine("Reading address for result verification:");
  const TSerialResponse r = port.QueryWords(kDevice, address, 1);
  LogLine("Address:" + std::to_string(address) +
          " Read value:" + (r.Status.empty() ? std::to_string(r.ValueOfFirstWord) : "not read (" + r.Status + ")"));
}

TFurnaceInfo ReadFurnaceInfo(TModbusPort& port) {
  LogLine();
  LogLine("Please wit while the furnace information is saved to disk.");
  PauseMs(2000);
  TFurnaceInfo info;
  info.Lines.reserve(kFurnaceInfoRegisters);
  for (std::uint32_t first = 1; first <= kFurnaceInfoRegisters; first += kWordsPerRead) {
    LogLine("Writing...");
    PauseMs(static_cast<std::uint32_t>(RandomRange(50, 99)));
    const TSerialResponse r = port.QueryWords(kDevice, first, kWordsPerRead);
    const bool read = r.Status.empty();
    if (!read) {
      info.Failed += kWordsPerRead;
      if (info.Failure.empty()) info.Failure = r.Status;
    }
    for (std::uint32_t j = 0; j < kWordsPerRead; ++j)
      info.Lines.push_back(read ? RegisterLine(first + j, r.rArray[j + 1])
                                : "Address:" + std::to_string(first + j) + " Value:" + kNotRead);
  }
  return info;
}

void SaveFurnaceInfo(TModbusPort& port, const std::filesystem::path& file) {
  const TFurnaceInfo info = ReadFurnaceInfo(port);
  WriteTextFile(file, info.Lines);
  if (info.Failed == 0) {
    LogLine("Furnace information ready.");
    return;
  }
  LogLine("Furnace information saved, but " + std::to_string(info.Failed) + " of " +
          std::to_string(kFurnaceInfoRegisters) + " registers could not be read (marked \"" + kNotRead +
          "\"): " + info.Failure);
}

}  // namespace karvo
