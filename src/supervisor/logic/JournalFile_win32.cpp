// The run journal's file on Windows: opened for writing with only reading
// shared (a second writer is refused: the file is in use), appended at its
// end, FlushFileBuffers.
#include <windows.h>

#include "common/AtomicFilePlatform.h"
#include "supervisor/logic/JournalFile.h"

namespace karvo::journal_file {
namespace {

using atomic_file::LastErrorText;

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::intptr_t OpenForAppend(const std::filesystem::path& path, std::uint64_t& size, std::string& reason) {
  const HANDLE h =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = LastErrorText();
    return -1;
  }
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(h, LARGE_INTEGER{}, &end, FILE_END)) {
    reason = LastErrorText();
    CloseHandle(h);
    return -1;
  }
  size = static_cast<std::uint64_t>(end.QuadPart);
  return reinterpret_cast<std::intptr_t>(h);
}

bool Sync(std::intptr_t handle, std::string& reason) {
  if (FlushFileBuffers(AsHandle(handle))) return true;
  reason = LastErrorText();
  return false;
}

bool Truncate(std::intptr_t handle, std::uint64_t size) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(AsHandle(handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(AsHandle(handle));
}

bool InUse(const std::filesystem::path& path) {
  // The writer shares reading only: asking for writing meets its handle.
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
}

}  // namespace karvo::journal_file
