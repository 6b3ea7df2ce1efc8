#pragma once
// The platform's part of the run journal (supervisor/RunJournal.h): one file
// per platform, JournalFile_posix.cpp and JournalFile_win32.cpp. A journal
// is held open for appending by the program writing it, locked so that
// another program can tell it is in use. Failures return false (or -1)
// with the system's reason.

#include <cstdint>
#include <filesystem>
#include <string>

namespace karvo::journal_file {

// Opens `path` for appending, creating it, and locks it; `size` receives
// its length.
std::intptr_t OpenForAppend(const std::filesystem::path& path, std::uint64_t& size, std::string& reason);
// Flushes what was written to stable storage.
bool Sync(std::intptr_t handle, std::string& reason);
// Cuts the file back to `size` bytes; writing goes on at its end.
bool Truncate(std::intptr_t handle, std::uint64_t size);
// True when a running program holds `path` open as its journal.
bool InUse(const std::filesystem::path& path);

}  // namespace karvo::journal_file
