#pragma once
// The "Controller settings" and "Debug" pages' work with the controller:
// the thermocouple change, the programmer mode, reading 32 registers,
// writing one with read-back, and the register dump "FurnaceInfo.txt". All
// of it talks to device address 1 through the furnace module's port, runs
// in the user-interface thread and holds it while it waits (through the
// pause seam). The window switches Timer1 around the actions and returns
// before calling them while no furnace module exists.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/AtomicFile.h"
#include "modbus/Modbus.h"

namespace karvo {

inline constexpr const char* kThermocoupleQuestion =
    "Are you sure you want to change the thermocouple type? The operation will take 6 seconds and will restart the "
    "controller.";

// The item of the thermocouple box for a text typed or chosen (J = 0 .. S =
// 7, by register 12290's order, letters in either case); none for a text
// that is no item.
std::optional<int> ThermocoupleIndexOf(const std::string& text);

enum class TThermocoupleChange {
  Declined,  // the operator did not answer Yes: nothing was sent
  NoType,    // Yes, but the box held no type: nothing was sent or logged
  Changed,   // the type was sent, the controller is back in operating mode
             // and holds the type chosen
  NotBack,   // the type was sent, but afterwards the controller was not in
             // operating mode or did not answer: logged and shown
  NotTaken,  // the controller is back, but register 12290 does not hold the
             // type chosen (or could not be read): logged and shown
};

struct TThermocoupleResult {
  TThermocoupleChange Outcome = TThermocoupleChange::Declined;
  // Register 12290 as read back after the change; none when nothing was
  // sent or the read failed.
  std::optional<std::int32_t> ControllerType;
};

// Asks kThermocoupleQuestion; on Yes with a type, logs, waits 2.5 s,
// switches the window's input off (setWindowEnabled(false)), writes 2 to
// register 199 (configuration mode), the type to register 12290 and 0 to
// register 199 (the controller restarts) half a second apart, waits six
// seconds with a log line each, reads register 199 and register 12290: a
// controller that is not back in operating mode or does not hold the type
// chosen is logged and the operator told what to check. The window's input
// comes back before the message is shown.
TThermocoupleResult ChangeThermocoupleType(TModbusPort& port, std::optional<int> type,
                                           const std::function<void(bool enabled)>& setWindowEnabled);

// "Programmer=manual" (10) and "Programmer=off" (0): writes the value to
// register 320, reads it back and shows what the controller holds now.
// Returns the word read, none when the read failed.
std::optional<std::int32_t> SetProgrammerMode(TModbusPort& port, std::int32_t value);

// Logs an empty line and registers first .. first + 31 as
// "Address:<n> Value:<word>"; a failed read is logged with its reason
// instead of values.
void ReadRegisters(TModbusPort& port, std::uint32_t first);

// Writes `value` to `address` without waiting, logs it, reads the register
// back and logs what it holds, or that the read failed and why.
void WriteRegister(TModbusPort& port, std::uint32_t address, std::uint32_t value);

// The register dump: the file, in the current folder, and its lines.
inline constexpr const char* kFurnaceInfoFile = "FurnaceInfo.txt";
inline constexpr std::uint32_t kFurnaceInfoRegisters = 576;
// The line of an address whose read failed.
inline constexpr const char* kNotRead = "not read";
struct TFurnaceInfo {
  std::vector<std::string> Lines;  // one per register
  std::uint32_t Failed = 0;        // registers whose read failed
  std::string Failure;             // the first failed read's reason
};
// Logs, waits 2 s, reads registers 1 to 576 in 18 reads of 32 (a random
// pause of 50 to 99 ms and "Writing..." before each) and returns their 576
// lines "Address:<n> Value:<word>"; the registers of a failed read are
// "Address:<n> Value:not read", never a value.
TFurnaceInfo ReadFurnaceInfo(TModbusPort& port);
// ReadFurnaceInfo, then the lines written to `file` (CR LF, whole or not
// at all) and "Furnace information ready." logged, or, when reads failed,
// how many registers were not read and why. Throws EFileWriteError with
// the system's reason; the file that was there stays as it was.
void SaveFurnaceInfo(TModbusPort& port, const std::filesystem::path& file);

}  // namespace karvo
