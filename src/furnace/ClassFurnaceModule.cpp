#include "furnace/ClassFurnaceModule.h"

#include "common/Seams.h"
#include "modbus/Registers.h"

namespace karvo {

TFurnaceModule::TFurnaceModule() = default;
TFurnaceModule::~TFurnaceModule() = default;

void TFurnaceModule::SetOnPort(const std::string& Value) {
  fCom.reset();
  fCom = std::make_unique<TModbusPort>();
  fCom->SetPort(Value);
  fOnPort = Value;
}

std::int32_t TFurnaceModule::ReadWord(std::uint32_t Register) {
  if (!fCom) return 0;
  const TSerialResponse r = fCom->QueryWords(fAddress, Register, 1);
  return r.Status.empty() ? r.ValueOfFirstWord : 0;
}

double TFurnaceModule::ProcessValue() {
  if (!fCom) return 0.0;
  const TSerialResponse r = fCom->QueryD(fAddress, reg::ProcessValue);
  fProcessValueTime = Now();
  return r.Status.empty() ? r.rDouble : 0.0;
}

std::int32_t TFurnaceModule::TargetSetPoint() { return ReadWord(reg::TargetSetpoint); }
std::int32_t TFurnaceModule::WorkingSetPoint() { return ReadWord(reg::WorkingSetpoint); }
std::int32_t TFurnaceModule::RampRate() { return ReadWord(reg::RampRate); }
std::int32_t TFurnaceModule::Proportional() { return ReadWord(reg::ProportionalBand); }
std::int32_t TFurnaceModule::Integral() { return ReadWord(reg::IntegralTime); }
std::int32_t TFurnaceModule::Derivate() { return ReadWord(reg::DerivativeTime); }

void TFurnaceModule::WritePid(std::uint32_t Register, std::int32_t Value, std::int32_t& Cache) {
  if (!fCom || Value == Cache) return;
  if (fCom->WriteWord(fAddress, Register, Value, false)) Cache = Value;
}

void TFurnaceModule::SetProportional(std::int32_t Value) { WritePid(reg::ProportionalBand, Value, fProportiaonal); }
void TFurnaceModule::SetIntegral(std::int32_t Value) { WritePid(reg::IntegralTime, Value, fIntegral); }
void TFurnaceModule::SetDerivate(std::int32_t Value) { WritePid(reg::DerivativeTime, Value, fDerivate); }

bool TFurnaceModule::ConfirmedWrite(std::uint32_t Register, std::int32_t Value, int* Attempts) {
  return ConfirmedWrite(Register, Value, Attempts, {});
}

bool TFurnaceModule::ConfirmedWrite(std::uint32_t Register, std::int32_t Value, int* Attempts,
                                    const FailedAttemptFn& OnFailedAttempt) {
  if (Attempts) *Attempts = 0;
  if (!fCom || Value < 0 || Value > kMaxWordValue) return false;
  bool confirmed = false;
  for (int attempt = 1; attempt <= kMaxWriteAttempts && !confirmed; ++attempt) {
    // The write is not waited for; the read-back is the confirmation. A
    // read-back that failed proves nothing, whatever value it left behind.
    std::string writeFailure;
    fCom->WriteWord(fAddress, Register, Value, false, writeFailure);
    const TSerialResponse r = fCom->QueryWords(fAddress, Register, 1);
    confirmed = r.Status.empty() && r.ValueOfFirstWord == Value;
    if (Attempts) *Attempts = attempt;
    if (!confirmed && OnFailedAttempt) {
      OnFailedAttempt(attempt, !writeFailure.empty() ? writeFailure
                               : !r.Status.empty()   ? r.Status
                                                     : "read back " + std::to_string(r.ValueOfFirstWord));
    }
    // The pause follows every attempt, the confirmed one included.
    PauseMs(kMinPauseMs + static_cast<std::uint32_t>(RandomRange(0, kPauseSpreadMs)));
  }
  return confirmed;
}

bool TFurnaceModule::SetRampRate(std::int32_t NewRampRate) { return ConfirmedWrite(reg::RampRate, NewRampRate); }

bool TFurnaceModule::SetTargetSetPoint(std::int32_t NewTargetSetPoint) {
  return ConfirmedWrite(reg::TargetSetpoint, NewTargetSetPoint);
}

}  // namespace karvo
