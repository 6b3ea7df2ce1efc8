#pragma once
// The program's model of the one furnace it operates: a temperature
// controller reached over one COM port at one Modbus device address. The
// register-backed properties perform one fresh transaction on every read;
// the target setpoint and the ramp rate are written with read-back
// confirmation. Used from the user-interface thread only; the background
// poll has its own port object (furnace/ReadCycle.h). The transport lets the
// two take turns on the port (serial/SerialPort.h), so they never fail each
// other.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/Types.h"
#include "furnace/InstructionProgram.h"
#include "modbus/Modbus.h"

namespace karvo {

class TFurnaceModule {
 public:
  TFurnaceModule();
  virtual ~TFurnaceModule();
  TFurnaceModule(const TFurnaceModule&) = delete;
  TFurnaceModule& operator=(const TFurnaceModule&) = delete;

  // Name of the COM port ("COM3", "/dev/ttyUSB0"). Assigning it replaces the
  // port object with a new one that has the transport's defaults.
  const std::string& OnPort() const { return fOnPort; }
  void SetOnPort(const std::string& Value);

  std::uint32_t Address() const { return fAddress; }
  void SetAddress(std::uint32_t Value) { fAddress = Value; }
  const std::string& Model() const { return fModel; }
  void SetModel(const std::string& Value) { fModel = Value; }
  // The module's Modbus client; null until OnPort is first assigned.
  TModbusPort* Com() const { return fCom.get(); }

  // Register-backed reads: one transaction each, 0 when the transaction
  // fails or when there is no port object (then nothing is sent).
  double ProcessValue();  // parameter 1 as a float; stamps ProcessValueTime
  TDateTime ProcessValueTime() const { return fProcessValueTime; }
  std::int32_t TargetSetPoint();
  std::int32_t WorkingSetPoint();
  std::int32_t RampRate();
  std::int32_t Proportional();
  std::int32_t Integral();
  std::int32_t Derivate();

  // PID writes: sent without waiting for a reply when there is a port object
  // and the value differs from the one last written successfully.
  void SetProportional(std::int32_t Value);
  void SetIntegral(std::int32_t Value);
  void SetDerivate(std::int32_t Value);

  double BeenStable() const { return fBeenStable; }
  void SetBeenStable(double Value) { fBeenStable = Value; }

  // Confirmed writes: write, read back, pause 500..999 ms; at most five
  // attempts. True when a read-back succeeded and returned the value written.
  // A value a register word cannot hold (below 0 or above kMaxWordValue) is
  // not sent at all: it would reach the controller cut to 16 bits, as
  // another value; the call returns false at once.
  bool SetRampRate(std::int32_t NewRampRate);
  bool SetTargetSetPoint(std::int32_t NewTargetSetPoint);
  // The same for any register; Attempts (when given) receives the number of
  // attempts made.
  bool ConfirmedWrite(std::uint32_t Register, std::int32_t Value, int* Attempts = nullptr);
  // The same, telling OnFailedAttempt, after each attempt that did not
  // confirm the value, why: the write's or the read-back's failure text, or
  // the value read back.
  using FailedAttemptFn = std::function<void(int Attempt, const std::string& Failure)>;
  bool ConfirmedWrite(std::uint32_t Register, std::int32_t Value, int* Attempts,
                      const FailedAttemptFn& OnFailedAttempt);

  static constexpr int kMaxWriteAttempts = 5;
  static constexpr std::int32_t kMaxWordValue = 65535;
  static constexpr std::uint32_t kMinPauseMs = 500;
  static constexpr int kPauseSpreadMs = 499;

  // The instruction program (segment 0 is never a segment).
  TFurnaceActionParameters GetInstruction(int Index) const { return fInstructions.GetInstruction(Index); }
  void SetInstruction(int Index, const TFurnaceActionParameters& Value) { fInstructions.SetInstruction(Index, Value); }
  int InstructionCount() const { return fInstructions.InstructionCount(); }
  int InstructionsCurrentSegment() const { return fInstructions.InstructionsCurrentSegment(); }
  void InstructionFinished(int Step) { fInstructions.InstructionFinished(Step); }
  void InstructionsCull(int NewLength) { fInstructions.InstructionsCull(NewLength); }
  void InstructionsDeleteFrom(int Segment) { fInstructions.InstructionsDeleteFrom(Segment); }
  void InstructionsTable(int Highlighted, std::vector<std::string>& Field) const {
    fInstructions.InstructionsTable(Highlighted, Field);
  }

  // The controller's output high limit as the last consumed poll reported
  // it, and the limit the supervisor steers toward; tenths of a per cent.
  std::int32_t MaxOutputPowerActual = 0;
  std::int32_t MaxOutputPowerTarget = 0;
  // True once the supervisor has chosen a target (the temperature has left
  // the transition band); until then the limit is not written.
  bool MaxOutputPowerTargetChosen = false;

 private:
  std::int32_t ReadWord(std::uint32_t Register);
  void WritePid(std::uint32_t Register, std::int32_t Value, std::int32_t& Cache);

  std::string fOnPort;
  std::uint32_t fAddress = 0;
  std::string fModel;
  std::unique_ptr<TModbusPort> fCom;
  TDateTime fProcessValueTime = 0.0;
  std::int32_t fProportiaonal = 0;
  std::int32_t fIntegral = 0;
  std::int32_t fDerivate = 0;
  double fBeenStable = 0.0;
  TInstructionProgram fInstructions;
};

}  // namespace karvo
