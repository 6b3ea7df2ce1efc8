#pragma once
// The Modbus RTU master: request frames with their CRC-16, the four
// operations the program needs, and validation of every reply it decodes.

#include <cstdint>
#include <string>
#include <vector>

#include "serial/SerialPort.h"

namespace karvo {

using TArrayOfByte = std::vector<std::uint8_t>;

// Standard Modbus CRC-16 (initial 0xFFFF, reflected polynomial 0xA001),
// table driven; sent low byte first.
std::uint16_t ModbusCrc16(const std::uint8_t* data, std::size_t size);
inline std::uint16_t ModbusCrc16(const TArrayOfByte& data) { return ModbusCrc16(data.data(), data.size()); }

class TModbusPort : public TSerialPort {
 public:
  // Diagnostic echo (function 8, sub-function 0) with a random test value;
  // true when the controller echoed it.
  bool Test(std::uint32_t DeviceAddress);
  // The same; on false, Status tells why: the transaction's or the reply
  // check's failure text, or kEchoMismatch's text with both values.
  bool Test(std::uint32_t DeviceAddress, std::string& Status);
  // Parameter MemoryAddress as a float from registers 0x8000 + 2n, 0x8000 + 2n + 1.
  TSerialResponse QueryD(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress);
  // Up to 32 holding registers from MemoryAddress (function 3).
  TSerialResponse QueryWords(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::uint32_t WordCount);
  // One register (function 6); true when the transaction reported no failure
  // (and, when waiting for the reply, the echo passed the reply checks).
  // Value goes out as its low 16 bits (a negative value as 16-bit two's
  // complement).
  bool WriteWord(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value, bool WaitForResponse);
  // The same; on false, Status holds the failure text.
  bool WriteWord(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value, bool WaitForResponse,
                 std::string& Status);

  // The eight-byte request frames (six bytes and the CRC), as sent.
  static TArrayOfByte TestFrame(std::uint32_t DeviceAddress, std::uint32_t TestValue);
  static TArrayOfByte QueryDFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress);
  static TArrayOfByte QueryWordsFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                                      std::uint32_t WordCount);
  static TArrayOfByte WriteWordFrame(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value);

  // Reply checks and decoding, applied to the record SendData returned for
  // `request` (Status empty). A reply must be long enough for what the
  // operation decodes, carry a CRC that holds, come from the device asked
  // with the function asked (or its exception form; a diagnostic echo with
  // the sub-function asked), and not be an exception; a read reply must carry the byte count asked for, QueryD's
  // value must be a number, and a write's echo must repeat the register and
  // the value written. On an invalid reply Status gets the failure
  // text, ValueOfFirstWord and rDouble go back to 0 and nothing is decoded.
  //
  // The echoed test value (0 on an invalid reply).
  static std::uint32_t DecodeTest(const TArrayOfByte& request, TSerialResponse& response);
  // rDouble from the four data bytes.
  static void DecodeQueryD(const TArrayOfByte& request, TSerialResponse& response);
  // rArray[1..WordCount] and ValueOfFirstWord; elements after WordCount keep
  // their value.
  static void DecodeQueryWords(const TArrayOfByte& request, std::uint32_t WordCount, TSerialResponse& response);
  // The echo of a write.
  static void CheckWriteEcho(const TArrayOfByte& request, TSerialResponse& response);
  // "Modbus exception N", with the name in brackets for codes 1 to 4.
  static std::string ExceptionText(std::uint8_t code);

  static constexpr const char* kMaxWordCount = "Maximum wordcount read is 32";
  static constexpr const char* kTooShort = "Invalid response: too short";
  static constexpr const char* kBadCrc = "Invalid response: bad CRC";
  static constexpr const char* kWrongDeviceOrFunction = "Invalid response: wrong device or function";
  static constexpr const char* kWrongByteCount = "Invalid response: wrong byte count";
  static constexpr const char* kNotANumber = "Invalid response: not a number";
  static constexpr const char* kEchoDiffers = "Invalid response: the echo differs from the write";
  // Test's failure text when a valid echo carries another value; followed by
  // "sent N, received M".
  static constexpr const char* kEchoMismatch = "Echo test failed: ";
};

}  // namespace karvo
