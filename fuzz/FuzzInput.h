#pragma once
// What the fuzz targets share: reading structured values from a fuzzer's
// input, and checks that abort (libFuzzer then keeps the input as a crash,
// and its replay fails).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::karvo::fuzz::CheckFailed(#cond, __FILE__, __LINE__))

namespace karvo::fuzz {

[[noreturn]] inline void CheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
  std::abort();
}

// Takes values off the front of the input; past its end every value is 0.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool Empty() const { return pos_ >= size_; }
  std::size_t Left() const { return size_ - pos_; }
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // High byte first. (Each byte is taken in a statement of its own: the
  // operands of one expression may be evaluated in any order, and the
  // replay's compiler must read an input as the fuzzer's did.)
  std::uint16_t Word() {
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }
  std::uint32_t Long() {
    const std::uint32_t high = Word();
    return high << 16 | Word();
  }
  std::uint64_t LongLong() {
    const std::uint64_t high = Long();
    return high << 32 | Long();
  }
  // Up to n bytes (fewer at the end of the input).
  std::vector<std::uint8_t> Bytes(std::size_t n) {
    if (n > Left()) n = Left();
    std::vector<std::uint8_t> out(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return out;
  }
  std::vector<std::uint8_t> Rest() { return Bytes(Left()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Modbus CRC-16 worked bit by bit straight from its definition (initial
// 0xFFFF, reflected polynomial 0xA001): the reference the program's table
// and the simulator's own are checked against.
inline std::uint16_t ReferenceCrc16(const std::uint8_t* data, std::size_t size) {
  std::uint32_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const bool out = ((crc ^ (data[i] >> bit)) & 1) != 0;
      crc >>= 1;
      if (out) crc ^= 0xA001;
    }
  }
  return static_cast<std::uint16_t>(crc);
}

// True when the frame's last two bytes are the CRC of the bytes before it,
// low byte first.
inline bool ReferenceCrcHolds(const std::uint8_t* frame, std::size_t size) {
  if (size < 2) return false;
  const std::uint16_t crc = ReferenceCrc16(frame, size - 2);
  return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

inline void AppendReferenceCrc(std::vector<std::uint8_t>& frame) {
  const std::uint16_t crc = ReferenceCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

}  // namespace karvo::fuzz
