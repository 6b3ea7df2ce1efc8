#include "supervisor/measurements/Measurements.h"

namespace karvo {

TMeasurements::TMeasurements() {
  for (TRtDoubleVector* v : {&fTime, &fTemperature, &fSetpoint, &fWorkingSetpoint, &fWorkingOutput})
    v->SetIncrement(128);
}

void TMeasurements::AddSample(TDateTime time, double temperature, double targetSetpoint, double workingSetpoint,
                              double workingOutput) {
  fSetpoint.Add(targetSetpoint);
  fWorkingSetpoint.Add(workingSetpoint);
  fTemperature.Add(temperature);
  fWorkingOutput.Add(workingOutput);
  fTime.Add(time);
}

void TMeasurements::Clear() {
  fTime.Clear(true);
  fSetpoint.Clear(true);
  fTemperature.Clear(true);
  fWorkingSetpoint.Clear(true);
  fWorkingOutput.Clear(true);
}

}  // namespace karvo
