#include "common/Log.h"

#include <mutex>

#include "common/Text.h"

namespace karvo {
namespace {

std::mutex& MemoryMutex() {
  static std::mutex m;
  return m;
}
std::vector<std::string>& MemoryLines() {
  static std::vector<std::string> lines;
  return lines;
}
void MemorySink(const std::string& line) {
  std::lock_guard lock(MemoryMutex());
  MemoryLines().push_back(line);
}

// The sink is called with this mutex held: that is what keeps lines of
// different threads whole and in the order they were written. Recursive, so
// a sink that itself logs does not deadlock.
std::recursive_mutex& SinkMutex() {
  static std::recursive_mutex m;
  return m;
}
LogSink& CurrentSink() {
  static LogSink sink = MemorySink;
  return sink;
}

}  // namespace

void LogLine(std::string_view text) {
  const std::string line(text);
  std::lock_guard lock(SinkMutex());
  CurrentSink()(line);
}

void LogLine() { LogLine(std::string_view{}); }
void LogLine(const char* text) { LogLine(text ? std::string_view(text) : std::string_view{}); }
void LogLine(std::wstring_view text) { LogLine(std::string_view(WideToUtf8(text))); }
void LogLine(const wchar_t* text) { LogLine(text ? std::wstring_view(text) : std::wstring_view{}); }

LogSink SetLogSink(LogSink sink) {
  std::lock_guard lock(SinkMutex());
  LogSink previous = std::move(CurrentSink());
  CurrentSink() = sink ? std::move(sink) : LogSink(MemorySink);
  return previous;
}

std::vector<std::string> MemoryLog::Lines() {
  std::lock_guard lock(MemoryMutex());
  return MemoryLines();
}

void MemoryLog::Clear() {
  std::lock_guard lock(MemoryMutex());
  MemoryLines().clear();
}

}  // namespace karvo
