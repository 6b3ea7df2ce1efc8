// Request frames, the CRC and the checks and decoding of the replies: no
// transaction here, so all of it can be checked byte by byte.

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>

#include "modbus/Modbus.h"

namespace karvo {
namespace {

constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kWriteSingle = 6;
constexpr std::uint8_t kDiagnostics = 8;
constexpr std::uint8_t kExceptionBit = 0x80;
constexpr std::size_t kEchoSize = 8;       // address, function, 4 bytes, CRC
constexpr std::size_t kExceptionSize = 5;  // address, function | 0x80, code, CRC
constexpr std::size_t kReadOverhead = 5;   // address, function, byte count, CRC

// The standard table: entry n is the CRC register after shifting byte n
// through the reflected polynomial 0xA001.
constexpr std::array<std::uint16_t, 256> kCrcTable = [] {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint16_t crc = static_cast<std::uint16_t>(n);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
    table[n] = crc;
  }
  return table;
}();

TArrayOfByte Frame(std::uint32_t address, std::uint8_t function, std::uint32_t word1, std::uint32_t word2) {
  TArrayOfByte f{static_cast<std::uint8_t>(address & 0xFF),      function,
                 static_cast<std::uint8_t>((word1 >> 8) & 0xFF), static_cast<std::uint8_t>(word1 & 0xFF),
                 static_cast<std::uint8_t>((word2 >> 8) & 0xFF), static_cast<std::uint8_t>(word2 & 0xFF)};
  const std::uint16_t crc = ModbusCrc16(f);
  f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  f.push_back(static_cast<std::uint8_t>(crc >> 8));
  return f;
}

const std::uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

bool CrcHolds(const std::uint8_t* b, std::size_t size) {
  const std::uint16_t crc = ModbusCrc16(b, size - 2);
  return b[size - 2] == (crc & 0xFF) && b[size - 1] == (crc >> 8);
}

// Where the reply to `request` starts in what was read. A write is sent
// without waiting for its echo, so the echo of an earlier write to the same
// device can arrive after the next transaction has purged the input queue
// and stand in front of that transaction's reply. Whole, intact echoes of a
// single-register write that are not the reply expected are passed over.
std::size_t ReplyStart(const TArrayOfByte& request, const std::string& reply) {
  const std::uint8_t* b = Bytes(reply);
  std::size_t start = 0;
  while (reply.size() - start > kEchoSize && b[start] == request[0] && b[start + 1] == kWriteSingle &&
         CrcHolds(b + start, kEchoSize) &&
         !(request[1] == kWriteSingle && std::equal(request.begin(), request.end(), b + start)))
    start += kEchoSize;
  return start;
}

// The failure text for the reply `b` (n bytes) to `request` that must hold
// at least `expected` bytes, or empty text for a good one. The CRC closes
// the frame at the expected length or, for a read reply, where its own byte
// count says: a reply that carries another count intact is told apart from
// one with a bad CRC.
std::string CheckFrame(const TArrayOfByte& request, const std::uint8_t* b, std::size_t n, std::size_t expected,
                       bool readReply) {
  const std::uint8_t function = request[1];
  if (n >= 2 && b[1] == (function | kExceptionBit)) {
    if (n < kExceptionSize) return TModbusPort::kTooShort;
    if (!CrcHolds(b, kExceptionSize)) return TModbusPort::kBadCrc;
    if (b[0] != request[0]) return TModbusPort::kWrongDeviceOrFunction;
    return TModbusPort::ExceptionText(b[2]);
  }
  if (n < expected) return TModbusPort::kTooShort;
  const std::size_t counted = kReadOverhead + b[2];
  if (!CrcHolds(b, expected) && !(readReply && counted <= n && CrcHolds(b, counted))) return TModbusPort::kBadCrc;
  if (b[0] != request[0] || b[1] != function) return TModbusPort::kWrongDeviceOrFunction;
  // A diagnostic echo repeats the sub-function asked for: one that names
  // another is not the answer to this request.
  if (function == kDiagnostics && !std::equal(request.begin() + 2, request.begin() + 4, b + 2))
    return TModbusPort::kWrongDeviceOrFunction;
  if (readReply && b[2] != expected - kReadOverhead) return TModbusPort::kWrongByteCount;
  // A write is answered with its own frame: another register or value is
  // not the confirmation of this write.
  if (function == kWriteSingle && !std::equal(request.begin() + 2, request.begin() + 6, b + 2))
    return TModbusPort::kEchoDiffers;
  return {};
}

void Fail(TSerialResponse& r, const std::string& text) {
  r.Status = text;
  r.ValueOfFirstWord = 0;
  r.rDouble = 0.0;
}

// Checks the reply in `response`; on success returns its first byte, on
// failure sets the failure text, clears the decoded values and returns null.
const std::uint8_t* CheckedReply(const TArrayOfByte& request, TSerialResponse& response, std::size_t expected,
                                 bool readReply) {
  const std::size_t start = ReplyStart(request, response.Response);
  const std::uint8_t* b = Bytes(response.Response) + start;
  const std::string failure = CheckFrame(request, b, response.Response.size() - start, expected, readReply);
  if (!failure.empty()) {
    Fail(response, failure);
    return nullptr;
  }
  return b;
}

}  // namespace

std::uint16_t ModbusCrc16(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i)
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
  return crc;
}

TArrayOfByte TModbusPort::TestFrame(std::uint32_t DeviceAddress, std::uint32_t TestValue) {
  return Frame(DeviceAddress, kDiagnostics, 0, TestValue);
}

TArrayOfByte TModbusPort::QueryDFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress) {
  return Frame(DeviceAddress, kReadHolding, 0x8000 + 2 * MemoryAddress, 2);
}

TArrayOfByte TModbusPort::QueryWordsFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                                          std::uint32_t WordCount) {
  return Frame(DeviceAddress, kReadHolding, MemoryAddress, WordCount);
}

TArrayOfByte TModbusPort::WriteWordFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value) {
  return Frame(DeviceAddress, kWriteSingle, MemoryAddress, static_cast<std::uint32_t>(Value));
}

std::string TModbusPort::ExceptionText(std::uint8_t code) {
  static constexpr const char* kNames[] = {"illegal function", "illegal data address", "illegal data value",
                                           "slave device failure"};
  std::string text = "Modbus exception " + std::to_string(code);
  if (code >= 1 && code <= 4) text += std::string(" (") + kNames[code - 1] + ")";
  return text;
}

std::uint32_t TModbusPort::DecodeTest(const TArrayOfByte& request, TSerialResponse& response) {
  const std::uint8_t* b = CheckedReply(request, response, kEchoSize, false);
  return b ? b[4] * 256u + b[5] : 0;
}

void TModbusPort::DecodeQueryD(const TArrayOfByte& request, TSerialResponse& response) {
  response.rDouble = 0.0;
  const std::uint8_t* b = CheckedReply(request, response, kReadOverhead + 4, true);
  if (!b) return;
  const float value =
      std::bit_cast<float>(std::uint32_t{b[3]} << 24 | std::uint32_t{b[4]} << 16 | std::uint32_t{b[5]} << 8 | b[6]);
  if (!std::isfinite(value)) {
    Fail(response, kNotANumber);
    return;
  }
  // The controller means a decimal value (a temperature with its display
  // resolution, 1021.3); the float carries the nearest binary fraction
  // (1021.2999878). The shortest decimal that reads back as this float is
  // that value.
  char digits[32];
  const auto written = std::to_chars(digits, digits + sizeof digits, value);
  std::from_chars(digits, written.ptr, response.rDouble);
}

void TModbusPort::DecodeQueryWords(const TArrayOfByte& request, std::uint32_t WordCount, TSerialResponse& response) {
  const std::uint8_t* b = CheckedReply(request, response, kReadOverhead + 2 * WordCount, true);
  if (!b) return;
  for (std::uint32_t k = 1; k <= WordCount; ++k) response.rArray[k] = b[1 + 2 * k] * 256 + b[2 + 2 * k];
  response.ValueOfFirstWord = WordCount >= 1 ? response.rArray[1] : 0;
}

void TModbusPort::CheckWriteEcho(const TArrayOfByte& request, TSerialResponse& response) {
  CheckedReply(request, response, kEchoSize, false);
}

}  // namespace karvo
