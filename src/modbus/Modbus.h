#pragma once
// The Modbus RTU master: request frames with their CRC-16, the four
// operations the program needs, and validation of every reply it decodes.

#include <cstdint>
#include <vector>

#include "serial/SerialPort.h"

namespace karvo {

using TArrayOfByte = std::vector<std::uint8_t>;

// Standard Modbus CRC-16 (initial 0xFFFF, reflected polynomial 0xA001),
// table driven; sent low byte first.
std::uint16_t ModbusCrc16(const std::uint8_t* data, std::size_t size);
inline std::uint16_t ModbusCrc16(const TArrayOfByte& data) {
  return ModbusCrc16(data.data(), data.size());
}

class TModbusPort : public TSerialPort {
 public:
  // Diagnostic echo (function 8, sub-function 0) with a random test value;
  // true when the controller echoed it.
  bool Test(std::uint32_t DeviceAddress);
  // Parameter MemoryAddress as a float from registers 0x8000 + 2n, 0x8000 + 2n + 1.
  TSerialResponse QueryD(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress);
  // Up to 32 holding registers from MemoryAddress (function 3).
  TSerialResponse QueryWords(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                             std::uint32_t WordCount);
  // One register (function 6); true when the transaction reported no failure.
  bool WriteWord(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value,
                 bool WaitForResponse);

  // The eight-byte request frames (six bytes and the CRC), as sent.
  static TArrayOfByte TestFrame(std::uint32_t DeviceAddress, std::uint32_t TestValue);
  static TArrayOfByte QueryDFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress);
  static TArrayOfByte QueryWordsFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                                      std::uint32_t WordCount);
  static TArrayOfByte WriteWordFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                                     std::int32_t Value);

  static constexpr const char* kMaxWordCount = "Maximum wordcount read is 32";
};

}  // namespace karvo
