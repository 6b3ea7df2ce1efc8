#pragma once
// The segment program of the tick: the segment report with the
// stable-segment signal to other programs (step 11), and the program step
// that holds on a hold request, finishes a segment or applies it to the
// controller (step 15). Both act on the stability judgement's verdict.

#include <string>

#include "supervisor/logic/Stability.h"

namespace karvo {

struct TFurnaceActionParameters;

class TSegmentRunner {
 public:
  // The judgement whose verdict the program follows; it must outlive the
  // runner.
  explicit TSegmentRunner(TStability& stability) : fStability(stability) {}

  // Step 11.
  void SegmentReport(TTickContext& tick);
  // Step 15 (only while the program may run).
  void ProgramStep(TTickContext& tick);

  // A stable-segment signal the store refused is written again at every
  // tick until the store takes it (the tick calls this before it polls or
  // consumes).
  void RetryStableSegment();
  // The key of the window's attention line while the signal is stale.
  static constexpr const char* kSignalAttention = "stable-segment";

  // The label of the segment-apply lines: 19 characters, ending in ": ".
  static std::string ApplyLabel(const char* text);

 private:
  // Writes the stable-segment signal; a store that refuses is reported in
  // the log once and in the window's attention line until a later write
  // succeeds, and the tick goes on.
  void PublishStableSegment(const std::wstring& furnaceName, const std::wstring& value);
  void WriteStableSegment(const std::wstring& name, const std::wstring& value);
  void ApplySegment(TTickContext& tick, int n, const TFurnaceActionParameters& segment);

  TStability& fStability;
  bool fSignalFailing = false;
  // The signal the store refused last, to be written again.
  std::wstring fPendingName, fPendingValue;
};

}  // namespace karvo
