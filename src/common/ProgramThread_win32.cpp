// Room on the thread's stack for the handler of a stack overflow: without
// it the unhandled-exception filter has too little stack to write a report.
#include <windows.h>

#include "common/ProgramThread.h"

namespace karvo {

TThreadCrashStack::TThreadCrashStack() {
  ULONG bytes = 64 * 1024;
  ::SetThreadStackGuarantee(&bytes);
}

TThreadCrashStack::~TThreadCrashStack() = default;

}  // namespace karvo
