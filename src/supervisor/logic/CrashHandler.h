#pragma once
// The platform's part of the crash handler (CrashHandler_posix.cpp,
// CrashHandler_win32.cpp).

#include <filesystem>

namespace karvo {

// Hooks the platform's fatal errors: each writes a report into `folder` (if
// no report was written yet, see ClaimCrashReport) and lets the process end
// as it would have.
void InstallPlatformCrashHandler(const std::filesystem::path& folder);

// True for the first caller only: that one writes the crash report.
bool ClaimCrashReport();

}  // namespace karvo
