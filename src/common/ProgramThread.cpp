#include "common/ProgramThread.h"

#include <utility>

namespace karvo {

std::thread StartProgramThread(std::function<void()> body) {
  return std::thread([body = std::move(body)] {
    const TThreadCrashStack stack;
    body();
  });
}

}  // namespace karvo
