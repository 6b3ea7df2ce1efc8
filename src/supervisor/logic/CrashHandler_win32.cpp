// Unhandled structured exceptions (access violations, stack overflows and
// the like) write a crash report before Windows ends the process. The
// filter runs in a process that may be broken (a heap lock held by the
// crashed thread, little stack left): it neither allocates nor locks. The
// folder and the version are prepared at installation; the report is made
// in fixed buffers and written with CreateFileW/WriteFile.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "supervisor/logic/CrashHandler.h"
#include "supervisor/logic/CrashReport.h"
#include "supervisor/logic/CrashText.h"

namespace karvo {
namespace {

using crash_text::TBuffer;

wchar_t gFolder[2048];
std::size_t gFolderLength = 0;
char gVersion[128];

void WriteTo(TBuffer& b, HANDLE file) {
  b.Flush([file](const char* data, std::size_t size) {
    DWORD written = 0;
    ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  });
}

void WriteExceptionReport(const EXCEPTION_RECORD& record) {
  SYSTEMTIME t{};
  ::GetSystemTime(&t);
  TBuffer name;
  name.Add("\\crash-");
  crash_text::AddTime(name, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, true);
  name.Add(".txt");
  // The name is ASCII: widened byte by byte behind the folder.
  wchar_t path[2048 + 64];
  std::size_t n = 0;
  for (; n < gFolderLength; ++n) path[n] = gFolder[n];
  for (const char* c = name.c_str(); *c != '\0' && n + 1 < sizeof path / sizeof path[0]; ++c) path[n++] = *c;
  path[n] = L'\0';
  const HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  TBuffer line;
  line.Add("KarvoTemp crash report\r\nTime: ");
  crash_text::AddTime(line, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, false);
  line.Add(" UTC\r\nVersion: ");
  line.Add(gVersion);
  line.Add("\r\nError: unhandled exception ");
  line.AddHex(static_cast<std::uint32_t>(record.ExceptionCode), 8);
  line.Add(" at ");
  line.AddHex(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress), 2 * sizeof(void*));
  line.Add("\r\n\r\nLast lines of the program log:\r\n");
  WriteTo(line, file);
  RecentLogLines().ForEachUnlocked([&](const char* text, std::size_t length) {
    line.Add(text, length);
    line.Add("\r\n");
    WriteTo(line, file);
  });
  ::CloseHandle(file);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  if (info && info->ExceptionRecord && ClaimCrashReport()) WriteExceptionReport(*info->ExceptionRecord);
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallPlatformCrashHandler(const std::filesystem::path& folder) {
  const std::wstring wide = folder.wstring();
  gFolderLength = wide.size() < sizeof gFolder / sizeof gFolder[0] ? wide.size() : 0;
  for (std::size_t i = 0; i < gFolderLength; ++i) gFolder[i] = wide[i];
  const std::string version = ProgramVersion();
  crash_text::CopyText(gVersion, sizeof gVersion, version.data(), version.size());
  // Room for the filter when the main thread's stack overflows.
  ULONG bytes = 64 * 1024;
  ::SetThreadStackGuarantee(&bytes);
  ::SetUnhandledExceptionFilter(OnUnhandledException);
}

}  // namespace karvo
