#pragma once
// Helpers of the Modbus tests: bytes written as hexadecimal text
// ("01 03 00 01"), both ways; the program log collected line by line; and
// waiting on a condition with a deadline.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/Log.h"
#include "modbus/Modbus.h"

namespace karvo::testing {

inline std::string Hex(const std::uint8_t* data, std::size_t size) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < size; ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", data[i]);
    s += buf;
  }
  return s;
}
inline std::string Hex(const std::vector<std::uint8_t>& b) { return Hex(b.data(), b.size()); }

// "01 03 04" -> the three bytes, as the transport hands a reply over.
inline std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 3) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// The same with the CRC appended, low byte first.
inline std::string WithCrc(const std::string& hex) {
  std::string bytes = FromHex(hex);
  const std::uint16_t crc = ModbusCrc16(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  bytes += static_cast<char>(crc & 0xFF);
  bytes += static_cast<char>(crc >> 8);
  return bytes;
}

// The program log's lines for the lifetime of the object, from any thread.
class LogLines {
 public:
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  ScopedLogSink sink_{[this](const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }};
};

// True as soon as pred() holds, false when it still does not at the deadline.
template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds timeout) {
  for (const auto deadline = std::chrono::steady_clock::now() + timeout; std::chrono::steady_clock::now() < deadline;) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pred();
}

}  // namespace karvo::testing
