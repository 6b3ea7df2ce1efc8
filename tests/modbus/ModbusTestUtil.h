#pragma once
// Bytes written as hexadecimal text ("01 03 00 01"), both ways.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
  for (std::size_t i = 0; i < hex.size(); i += 3)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
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

}  // namespace karvo::testing
