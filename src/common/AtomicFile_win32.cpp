// TAtomicFile on Windows: CreateFileW(CREATE_NEW), WriteFile,
// FlushFileBuffers, MoveFileExW(MOVEFILE_REPLACE_EXISTING |
// MOVEFILE_WRITE_THROUGH).
#include <windows.h>

#include "common/AtomicFilePlatform.h"
#include "common/SystemError.h"

namespace karvo::atomic_file {

std::string LastErrorText() { return SystemErrorText(GetLastError()); }

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

std::intptr_t Create(const std::filesystem::path& temporary, const std::filesystem::path&, bool& exists,
                     std::string& reason) {
  const HANDLE h =
      CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    SetLastError(code);
    reason = LastErrorText();
    return -1;
  }
  return reinterpret_cast<std::intptr_t>(h);
}

bool WriteAll(std::intptr_t handle, const char* data, std::size_t size, std::string& reason) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle), data, chunk, &written, nullptr) || written == 0) {
      reason = LastErrorText();
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool SyncAndClose(std::intptr_t handle, std::string& reason) {
  bool ok = FlushFileBuffers(AsHandle(handle)) != 0;
  if (!ok) reason = LastErrorText();
  if (!CloseHandle(AsHandle(handle)) && ok) {
    reason = LastErrorText();
    ok = false;
  }
  return ok;
}

void Close(std::intptr_t handle) noexcept { CloseHandle(AsHandle(handle)); }

bool Replace(const std::filesystem::path& temporary, const std::filesystem::path& target, std::string& reason) {
  if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  reason = LastErrorText();
  return false;
}

void Remove(const std::filesystem::path& temporary) noexcept { DeleteFileW(temporary.c_str()); }

void SyncFolder(const std::filesystem::path&) noexcept {}

}  // namespace karvo::atomic_file
