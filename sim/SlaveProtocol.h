#pragma once
// The Modbus RTU slave side of the simulated controller: what it answers to
// one request frame. Pure functions over a ControllerModel; the pseudo-
// terminal and the timing live in SimController.

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/ControllerModel.h"

namespace karvo::sim {

using Bytes = std::vector<std::uint8_t>;

// Modbus CRC-16 (initial 0xFFFF, reflected polynomial 0xA001), worked bit by
// bit: the slave keeps its own so that it checks the master's table rather
// than sharing its faults.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);
// Appends the CRC, low byte first.
void AppendCrc(Bytes& frame);
// True when the last two bytes are the CRC of the ones before.
bool CrcMatches(const std::uint8_t* data, std::size_t size);

// What the controller does with one request frame whose CRC holds: executes
// it when it is addressed to the controller or broadcast (address 0), and
// returns the reply, or nothing for a broadcast or another device's frame.
// Functions 3 (read holding registers), 6 (write single register) and 8
// sub-function 0 (echo); anything else gets exception 1.
std::optional<Bytes> Serve(ControllerModel& model, const Bytes& request);

}  // namespace karvo::sim
