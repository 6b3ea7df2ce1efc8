#pragma once
// The program log. Every layer writes its lines through LogLine; where they
// end up is decided by the installed sink. The default sink keeps them in
// memory (MemoryLog); the window installs one that hands each line to the
// user-interface thread.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace karvo {

// Appends one line. 8-bit text is UTF-8, as all text inside the program, and
// is taken as it stands; wide text is converted to UTF-8 first. No argument or an
// empty text appends an empty line. Safe from any thread: lines reach the
// sink one at a time, in the order their LogLine calls were made.
void LogLine();
void LogLine(std::string_view text);
void LogLine(const char* text);
void LogLine(std::wstring_view text);
void LogLine(const wchar_t* text);

// Receives one line at a time, never concurrently.
using LogSink = std::function<void(const std::string& line)>;

// Installs a sink and returns the one it replaces. An empty function
// reinstalls the default in-memory sink.
LogSink SetLogSink(LogSink sink);

// The default sink: all lines since the program started or since Clear().
class MemoryLog {
 public:
  static std::vector<std::string> Lines();
  static void Clear();
};

// Installs a sink for the lifetime of the object and restores the previous
// one afterwards (tests).
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink) : previous_(SetLogSink(std::move(sink))) {}
  ~ScopedLogSink() { SetLogSink(std::move(previous_)); }
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

 private:
  LogSink previous_;
};

}  // namespace karvo
