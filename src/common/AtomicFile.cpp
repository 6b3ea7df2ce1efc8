#include "common/AtomicFile.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>
#include <utility>

#include "common/AtomicFilePlatform.h"
#include "common/Text.h"

namespace karvo {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;
constexpr int kNameAttempts = 100;

// ".KarvoTemp-<8 hex digits>.tmp": short, so that it fits beside any name.
std::string TemporaryName() {
  static std::atomic<std::uint32_t> counter{0};
  static const std::uint32_t seed = [] {
    std::random_device device;
    return device() ^ static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }();
  std::uint32_t x = seed + 0x9E3779B9u * ++counter;
  x ^= x >> 16;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  char name[32];
  std::snprintf(name, sizeof name, ".KarvoTemp-%08X.tmp", static_cast<unsigned>(x));
  return name;
}

}  // namespace

TAtomicFile::TAtomicFile(const fs::path& target) : fTarget(target) {
  std::error_code ec;
  if (fs::is_symlink(fTarget, ec)) {
    fs::path resolved = fs::weakly_canonical(fTarget, ec);
    if (!ec) fTarget = std::move(resolved);
  }
  std::string reason;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    fTemporary = fTarget.parent_path() / TemporaryName();
    bool exists = false;
    fHandle = atomic_file::Create(fTemporary, fTarget, exists, reason);
    if (fHandle != -1) {
      fBuffer.reserve(kBufferBytes);
      return;
    }
    if (!exists) break;
  }
  fDone = true;
  throw EFileWriteError("Cannot write the file \"" + PathText(fTarget) + "\": " + reason);
}

TAtomicFile::~TAtomicFile() { Discard(); }

void TAtomicFile::Write(std::string_view bytes) {
  if (fDone) Fail("the file is closed");
  if (fBuffer.size() + bytes.size() > kBufferBytes) {
    Flush();
    if (bytes.size() >= kBufferBytes) {
      std::string reason;
      if (!atomic_file::WriteAll(fHandle, bytes.data(), bytes.size(), reason)) Fail(reason);
      return;
    }
  }
  fBuffer.append(bytes);
}

void TAtomicFile::Flush() {
  std::string reason;
  if (!fBuffer.empty() && !atomic_file::WriteAll(fHandle, fBuffer.data(), fBuffer.size(), reason)) Fail(reason);
  fBuffer.clear();
}

void TAtomicFile::Commit() {
  if (fDone) Fail("the file is closed");
  Flush();
  std::string reason;
  const std::intptr_t handle = std::exchange(fHandle, -1);
  if (!atomic_file::SyncAndClose(handle, reason)) Fail(reason);
  if (!atomic_file::Replace(fTemporary, fTarget, reason)) Fail(reason);
  fDone = true;
}

void TAtomicFile::Fail(const std::string& reason) {
  Discard();
  throw EFileWriteError("Cannot write the file \"" + PathText(fTarget) + "\": " + reason);
}

void TAtomicFile::Discard() noexcept {
  if (fDone) return;
  fDone = true;
  if (fHandle != -1) atomic_file::Close(std::exchange(fHandle, -1));
  atomic_file::Remove(fTemporary);
}

void WriteFileAtomically(const fs::path& target, std::string_view bytes) {
  TAtomicFile file(target);
  file.Write(bytes);
  file.Commit();
}

}  // namespace karvo
