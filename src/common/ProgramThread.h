#pragma once
// The threads the program starts (poll threads, the journal's writer) begin
// here, so that each is fit for the crash handler: a stack of its own for
// signal handlers (POSIX), so that a stack overflow in the thread still
// writes its report; room kept on the thread's stack for the handler of a
// stack overflow (Windows). The platform's part is in
// ProgramThread_posix.cpp and ProgramThread_win32.cpp.

#include <functional>
#include <thread>

namespace karvo {

// Prepares the calling thread as above for the lifetime of the object.
class TThreadCrashStack {
 public:
  TThreadCrashStack();
  ~TThreadCrashStack();
  TThreadCrashStack(const TThreadCrashStack&) = delete;
  TThreadCrashStack& operator=(const TThreadCrashStack&) = delete;

 private:
  void* fStack = nullptr;  // the alternate stack this object set up, if any
};

// A thread that runs `body` with a TThreadCrashStack around it.
std::thread StartProgramThread(std::function<void()> body);

}  // namespace karvo
