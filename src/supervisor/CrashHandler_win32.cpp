// Unhandled structured exceptions (access violations and the like) write a
// crash report before Windows ends the process.
#include <windows.h>

#include <cstdio>
#include <string>

#include "supervisor/CrashHandler.h"
#include "supervisor/CrashReport.h"

namespace karvo {
namespace {

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  if (ClaimCrashReport()) {
    char text[96];
    std::snprintf(text, sizeof text, "unhandled exception 0x%08lX at %p",
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                  info->ExceptionRecord->ExceptionAddress);
    try {
      WriteErrorReport(text);
    } catch (...) {
    }
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallPlatformCrashHandler(const std::filesystem::path&) { SetUnhandledExceptionFilter(OnUnhandledException); }

}  // namespace karvo
