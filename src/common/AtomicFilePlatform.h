#pragma once
// The platform's part of TAtomicFile (common/AtomicFile.h): one file per
// platform, AtomicFile_posix.cpp and AtomicFile_win32.cpp. Failures return
// false (or -1) with the system's reason in `reason`.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace karvo::atomic_file {

// Creates the new file `temporary` for writing; it must not exist yet.
// -1 with exists true when a file of that name is already there.
std::intptr_t Create(const std::filesystem::path& temporary, const std::filesystem::path& target, bool& exists,
                     std::string& reason);
bool WriteAll(std::intptr_t handle, const char* data, std::size_t size, std::string& reason);
// Flushes the file to stable storage and closes it; closed in every case.
bool SyncAndClose(std::intptr_t handle, std::string& reason);
void Close(std::intptr_t handle) noexcept;
// Renames `temporary` over `target` and makes the rename durable.
bool Replace(const std::filesystem::path& temporary, const std::filesystem::path& target, std::string& reason);
void Remove(const std::filesystem::path& temporary) noexcept;
// Makes the names in `folder` durable (POSIX: its fsync; Windows: nothing
// to do, the writes go through).
void SyncFolder(const std::filesystem::path& folder) noexcept;
// The system's reason for the calling thread's last failed call.
std::string LastErrorText();

}  // namespace karvo::atomic_file
