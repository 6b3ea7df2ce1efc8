#pragma once
// The measurements of the run on show: one data vector per measured
// quantity, index i of every vector being the i-th consumed sample. The
// supervisor owns the object. A sample comes in one way, AddSample, whole;
// the vectors are read-only to everyone else: the chart's series, the
// stability judgement, the export and the status page read them.

#include "chart/RtVectors.h"
#include "common/Types.h"

namespace karvo {

class TMeasurements {
 public:
  TMeasurements();
  TMeasurements(const TMeasurements&) = delete;
  TMeasurements& operator=(const TMeasurements&) = delete;

 private:
  TRtDoubleVector fTime;
  TRtDoubleVector fTemperature;
  TRtDoubleVector fSetpoint;
  TRtDoubleVector fWorkingSetpoint;
  TRtDoubleVector fWorkingOutput;

 public:
  // The vectors, read-only, under the chart's names.
  const TRtDoubleVector& RtDoubleVectorTime = fTime;                        // instants, days
  const TRtDoubleVector& RtDoubleVectorTemperature = fTemperature;          // ºC
  const TRtDoubleVector& RtDoubleVectorSetpoint = fSetpoint;                // target setpoint, ºC
  const TRtDoubleVector& RtDoubleVectorWorkingSetpoint = fWorkingSetpoint;  // ºC
  const TRtDoubleVector& RtDoubleVectorWorkingOutput = fWorkingOutput;      // % of the maximum power

  // Appends one sample to the five vectors, one after the other with
  // nothing in between, the time vector last: it is the X data of every
  // series and of the regression, so whoever sees it grow finds the values.
  void AddSample(TDateTime time, double temperature, double targetSetpoint, double workingSetpoint,
                 double workingOutput);
  // Empties the five vectors (time, target setpoint, temperature, working
  // setpoint, working output, in this order); the series drawn from them
  // forget their points.
  void Clear();
  // The samples held.
  int Count() const { return fTime.Count(); }
};

}  // namespace karvo
