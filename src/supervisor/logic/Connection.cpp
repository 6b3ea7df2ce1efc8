// Start-up and connection: the port list, Start, Stop and the close.
#include <optional>
#include <string>

#include "common/Log.h"
#include "common/Seams.h"
#include "modbus/Registers.h"
#include "supervisor/logic/Supervisor.h"
#include "supervisor/store/KarvoRegistry.h"

namespace karvo {

namespace {

// Every controller on the line gets device address 1: register 131 written
// at each address 1 to 256 (256 goes out as 0, the broadcast), without
// waiting for replies, with a progress line every 25 addresses.
void ResetControllerAddresses(TModbusPort& port) {
  LogLine("Configuring modbus addresses, please wait.");
  for (std::uint32_t a = 1; a <= 256; ++a) {
    port.WriteWord(a, reg::DeviceAddress, 1, false);
    if (a % 25 == 0) LogLine(std::to_string(a) + "/" + "256");
  }
  LogLine("Address reset done.");
}

// The reads of Start; none when one failed, with its reason in `failure`:
// a failed read is never taken as a value of 0.
std::optional<TInitialValues> ReadInitialValues(TModbusPort& port, std::string& failure) {
  TInitialValues v;
  auto read = [&](const char* step, std::uint32_t first, std::uint32_t count) {
    LogLine(step);
    TSerialResponse r = port.QueryWords(1, first, count);
    if (!r.Status.empty() && failure.empty()) failure = r.Status;
    return r;
  };
  const TSerialResponse r = read("Reading intial values 1", 1, 32);
  if (!failure.empty()) return std::nullopt;
  v.Temperature = r.rArray[reg::ProcessValue];
  v.TargetSetpoint = r.rArray[reg::TargetSetpoint];
  v.WorkingSetpoint = r.rArray[reg::WorkingSetpoint];
  v.Proportional = r.rArray[reg::ProportionalBand];
  v.Integral = r.rArray[reg::IntegralTime];
  v.Derivate = r.rArray[reg::DerivativeTime];
  v.SetpointLow = r.rArray[reg::SetpointLowLimit];
  v.SetpointHigh = r.rArray[reg::SetpointHighLimit];
  v.RampRate = read("Reading intial values 2", reg::RampRate, 1).ValueOfFirstWord;
  if (!failure.empty()) return std::nullopt;
  v.Thermocouple = read("Reading intial values 3", reg::ThermocoupleType, 1).ValueOfFirstWord;
  if (!failure.empty()) return std::nullopt;
  return v;
}

}  // namespace

std::vector<std::string> TSupervisor::ComPortList(const TComPortCatalogue& catalogue) {
  std::vector<std::string> names;
  const TCommPortSet ports = catalogue.GetExistingCommPorts();
  if (ports.none()) {
    ShowMessage(kNoPortsDetected);
    return names;
  }
  for (int n = 1; n <= 99; ++n) {
    if (ports.test(static_cast<std::size_t>(n))) names.push_back(catalogue.CommPortToString(ComPortNumber(n)));
  }
  return names;
}

TStartResult TSupervisor::Start(const std::optional<std::string>& port) {
  TStartResult result;
  if (!port) {
    LogLine(kNoPort);
    return result;
  }
  auto module = std::make_unique<TFurnaceModule>();
  module->SetOnPort(*port);
  module->SetAddress(1);
  TModbusPort& com = *module->Com();

  bool found = com.Test(1);
  if (!found) ResetControllerAddresses(com);
  LogLine("Looking for a furnace from selected port.");
  if (!found) found = com.Test(module->Address());
  LogLine();
  if (!found) {
    LogLine(kNoController);
    result.Outcome = TStartOutcome::NoController;
    return result;
  }
  for (const char* line :
       {"Found a furnace, starting operation.", "",
        "The program reads temperature and other information from the furnace roughly every five seconds.", "",
        "Note that while the Debug tab is selected the whole program remains idle.", "",
        "Note that while the Quick control tab is selected the Instructions-program remains idle."})
    LogLine(line);
  std::string failure;
  const std::optional<TInitialValues> values = ReadInitialValues(com, failure);
  if (!values) {
    // Without the controller's values the window would show zeros and lose
    // the setpoint limits: no furnace is operated.
    LogLine();
    LogLine(kReadFailed + failure);
    LogLine(kStartAgain);
    result.Outcome = TStartOutcome::ReadFailed;
    return result;
  }
  result.Values = *values;
  result.Outcome = TStartOutcome::Connected;
  SetFurnaceModule(std::move(module));
  return result;
}

void TSupervisor::Stop(const std::wstring& savedFurnaceName) {
  JournalProgram();
  Journal.End();
  fFurnaceModule.reset();
  // Stable time a restored run brought along belongs to that run.
  State.StableCreditMs = 0;
  State.StableCreditSegment = 0;
  // The hold request of this furnace, under the name the close uses too.
  WriteRegistryString(L"FW_" + savedFurnaceName, L"0");
}

void CloseStep(const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& e) {
    LogLine(std::string("A step of the close failed: ") + e.what());
  } catch (...) {
    LogLine("A step of the close failed.");
  }
}

void TSupervisor::CloseQuery(const std::wstring& savedFurnaceName,
                             const std::function<void(const std::exception&)>& onError) {
  CloseStep([this] { JournalProgram(); });
  CloseStep([this] { Journal.End(); });
  CloseStep([&] {
    try {
      WriteRegistryString(L"FS_" + savedFurnaceName, L"0");
    } catch (const StoreError& e) {
      if (onError) onError(e);
    }
  });
  CloseStep([] {
    LogLine();
    LogLine("Waiting for communication threads to finish...");
    PauseMs(2000);
  });
  // The run's last samples and its closed mark reach the disk.
  CloseStep([this] {
    if (!Journal.WaitIdle(kJournalCloseLimitMs)) LogLine("The run journal is still being written.");
  });
}

}  // namespace karvo
