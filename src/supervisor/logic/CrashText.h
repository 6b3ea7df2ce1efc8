#pragma once
// The crash report's text, made where nothing may allocate or lock (a signal
// handler, an unhandled-exception filter): a fixed buffer, numbers written
// by hand. Shared by CrashHandler_posix.cpp and CrashHandler_win32.cpp.

#include <cstddef>
#include <cstdint>

namespace karvo::crash_text {

class TBuffer {
 public:
  void Add(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length && used_ < sizeof data_; ++i) data_[used_++] = text[i];
  }
  void Add(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    Add(text, n);
  }
  void AddNumber(std::int64_t n, int width = 0) {
    char digits[24];
    int count = 0;
    const bool negative = n < 0;
    std::uint64_t v = negative ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
    do {
      digits[count++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0 && count < 20);
    while (count < width) digits[count++] = '0';
    if (negative) Add("-");
    while (count > 0) Add(&digits[--count], 1);
  }
  // "0x" and `width` upper-case hexadecimal digits at least.
  void AddHex(std::uint64_t v, int width) {
    char digits[20];
    int count = 0;
    do {
      digits[count++] = "0123456789ABCDEF"[v % 16];
      v /= 16;
    } while (v != 0 && count < 16);
    while (count < width) digits[count++] = '0';
    Add("0x");
    while (count > 0) Add(&digits[--count], 1);
  }
  // Hands the text to `write(data, size)` and empties the buffer.
  template <class Write>
  void Flush(Write write) {
    if (used_ > 0) write(data_, used_);
    used_ = 0;
  }
  const char* c_str() {
    data_[used_ < sizeof data_ ? used_ : sizeof data_ - 1] = '\0';
    return data_;
  }

 private:
  char data_[4096];
  std::size_t used_ = 0;
};

// "2026-12-10 16:55:03", or "2026-12-10-165503" for a file name.
inline void AddTime(TBuffer& b, int year, int month, int day, int hour, int minute, int second, bool forFileName) {
  b.AddNumber(year, 4);
  b.Add("-");
  b.AddNumber(month, 2);
  b.Add("-");
  b.AddNumber(day, 2);
  b.Add(forFileName ? "-" : " ");
  b.AddNumber(hour, 2);
  if (!forFileName) b.Add(":");
  b.AddNumber(minute, 2);
  if (!forFileName) b.Add(":");
  b.AddNumber(second, 2);
}

// Copies at most size - 1 bytes of `text` and ends them with a zero.
inline void CopyText(char* into, std::size_t size, const char* text, std::size_t length) {
  const std::size_t n = length < size - 1 ? length : size - 1;
  for (std::size_t i = 0; i < n; ++i) into[i] = text[i];
  into[n] = '\0';
}

}  // namespace karvo::crash_text
