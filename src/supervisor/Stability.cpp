#include "supervisor/Stability.h"

namespace karvo {

// The stability judgement and the segment program come with their own
// change; until then the tick's steps 8, 9, 11 and 15 leave everything as
// it is.
void TStability::RateOfChange(TTickContext&) {}
void TStability::JudgeLamps(TTickContext&) {}
void TStability::SegmentReport(TTickContext&) {}
void TStability::ProgramStep(TTickContext&) {}

}  // namespace karvo
