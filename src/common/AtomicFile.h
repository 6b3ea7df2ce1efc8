#pragma once
// Files written whole or not at all. The contents go to a new temporary file
// in the target's folder; only when all of it has been written and flushed
// to stable storage is the temporary file renamed over the target. A failure
// on the way (a full disk, a removed device, a file held by another program)
// leaves the target as it was and the temporary file removed, and is raised
// with the system's reason. A reader never sees half a file, and a power cut
// leaves either the old file or the new one.
//
//   TAtomicFile file(path);       // the temporary file beside `path`
//   file.Write("Address:1 Value:20\r\n");
//   file.Commit();                // now `path` holds the new contents
//
// The temporary file is named ".KarvoTemp-<random>.tmp". A target that is a
// symbolic link is replaced where the link points. On POSIX systems the new
// file takes the permissions of the file it replaces (a new one: 0666 less
// the umask). Not thread-safe; one object per file.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace karvo {

// A file could not be written; what() names the file and the system's reason.
class EFileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TAtomicFile {
 public:
  // Creates the temporary file. Throws EFileWriteError when it cannot.
  explicit TAtomicFile(const std::filesystem::path& target);
  // Without Commit the temporary file is removed and the target untouched.
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  // Appends bytes (buffered). Throws EFileWriteError.
  void Write(std::string_view bytes);
  // Writes what is buffered, flushes the file to stable storage, closes it
  // and renames it over the target. Throws EFileWriteError; the target is
  // then unchanged. Nothing may be written after it.
  void Commit();

  // The file that Commit replaces (a symbolic link resolved).
  const std::filesystem::path& Target() const { return fTarget; }

 private:
  void Flush();
  [[noreturn]] void Fail(const std::string& reason);
  void Discard() noexcept;

  std::filesystem::path fTarget;
  std::filesystem::path fTemporary;
  std::intptr_t fHandle = -1;
  std::string fBuffer;
  bool fDone = false;
};

// Replaces `target` with `bytes` through a TAtomicFile.
void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes);

}  // namespace karvo
