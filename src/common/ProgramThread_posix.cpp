// A signal stack of the thread's own (sigaltstack), unless it has one.
#include <signal.h>

#include <cstddef>
#include <new>

#include "common/ProgramThread.h"

namespace karvo {

namespace {

constexpr std::size_t kStackBytes = 1 << 16;

}  // namespace

TThreadCrashStack::TThreadCrashStack() {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
  void* memory = ::operator new(kStackBytes, std::nothrow);
  if (!memory) return;
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kStackBytes;
  if (::sigaltstack(&stack, nullptr) != 0) {
    ::operator delete(memory);
    return;
  }
  fStack = memory;
}

TThreadCrashStack::~TThreadCrashStack() {
  if (!fStack) return;
  stack_t off{};
  off.ss_flags = SS_DISABLE;
  ::sigaltstack(&off, nullptr);
  ::operator delete(fStack);
}

}  // namespace karvo
