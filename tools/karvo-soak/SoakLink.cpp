#include "SoakLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>

namespace karvo::soak {

SharedState* MapSharedState(const std::filesystem::path& file, bool create) {
  const int fd = open(file.c_str(), create ? O_RDWR | O_CREAT | O_TRUNC : O_RDWR, 0600);
  if (fd < 0) return nullptr;
  if (create && ftruncate(fd, sizeof(SharedState)) != 0) {
    close(fd);
    return nullptr;
  }
  void* at = mmap(nullptr, sizeof(SharedState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);
  if (at == MAP_FAILED) return nullptr;
  if (create) return new (at) SharedState();
  return static_cast<SharedState*>(at);
}

std::string Exact(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

double FromExact(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

std::vector<std::string> Fields(const std::string& line, std::size_t fields) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= line.size()) {
    if (fields > 0 && out.size() + 1 == fields) {
      out.push_back(line.substr(start));
      break;
    }
    const std::size_t space = line.find(' ', start);
    out.push_back(line.substr(start, space == std::string::npos ? std::string::npos : space - start));
    if (space == std::string::npos) break;
    start = space + 1;
  }
  return out;
}

std::optional<std::string> LineReader::Next(int limitMs) {
  timedOut_ = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      return line;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      timedOut_ = true;
      return std::nullopt;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) continue;
    char chunk[4096];
    const ssize_t n = read(fd_, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      buffer_.clear();  // a line cut short
      return std::nullopt;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
  }
}

bool WriteLine(int fd, const std::string& line) {
  const std::string whole = line + "\n";
  std::size_t done = 0;
  while (done < whole.size()) {
    const ssize_t n = write(fd, whole.data() + done, whole.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  std::uint64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace karvo::soak
