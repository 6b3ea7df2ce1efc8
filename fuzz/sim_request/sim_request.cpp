// The simulated controller's handling of what arrives on its line: any
// bytes, cut into frames anywhere, checked and executed as the serving
// thread does (CRC, then the slave protocol, then a restart when one is
// due), with the furnace running between frames.
//
// It answers exactly the frames that are valid for its own address (CRC
// holds, not a broadcast, length right for its function), and every answer
// is a well-formed reply that the program's own client accepts with the
// values the controller holds. Reads and refused writes change nothing;
// an accepted write reads back as written. The furnace stays finite and its
// output within its limits.
//
// Input: two bytes for the controller's address and start temperature,
// then records of one control byte and up to 63 bytes of frame:
//   bits 0-5  the frame's length
//   bit 6     the frame gets a CRC that holds appended (the client's table
//             CRC, which the controller's bit-by-bit one is checked against)
//   bit 7     the furnace runs on for the next byte / 25 seconds first

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "fuzz/FuzzInput.h"
#include "modbus/Modbus.h"
#include "modbus/Registers.h"
#include "sim/ControllerModel.h"
#include "sim/SlaveProtocol.h"

using karvo::TModbusPort;
using karvo::TSerialResponse;
using karvo::fuzz::Input;
using karvo::sim::Bytes;
using karvo::sim::ControllerModel;

namespace {

constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kWriteSingle = 6;
constexpr std::uint8_t kDiagnostics = 8;

std::uint16_t Be16(const Bytes& f, std::size_t at) { return static_cast<std::uint16_t>(f[at] << 8 | f[at + 1]); }

TSerialResponse AsRead(const Bytes& reply) {
  TSerialResponse r;
  r.Response.assign(reply.begin(), reply.end());
  return r;
}

// An exception reply: the request's device, its function with the high bit
// set, one of the controller's codes, a CRC that holds.
std::optional<std::uint8_t> ExceptionCode(const Bytes& request, const Bytes& reply) {
  if (reply.size() != 5 || reply[1] != (request[1] | 0x80)) return std::nullopt;
  FUZZ_CHECK(reply[2] >= 1 && reply[2] <= 3);
  return reply[2];
}

// The reply to a valid request for the controller, read by the program's
// client as the operation that sends such a request would.
void CheckReply(const ControllerModel& model, const Bytes& request, const Bytes& reply, const ControllerModel& before) {
  FUZZ_CHECK(karvo::fuzz::ReferenceCrcHolds(reply.data(), reply.size()));
  FUZZ_CHECK(reply.size() >= 5 && reply[0] == request[0]);
  const std::uint8_t function = request[1];
  const std::optional<std::uint8_t> exception = ExceptionCode(request, reply);
  const bool known = function == kReadHolding || function == kWriteSingle || function == kDiagnostics;
  if (!known || (function == kDiagnostics && Be16(request, 2) != 0)) FUZZ_CHECK(exception == 1);
  TSerialResponse r = AsRead(reply);
  const std::string exceptionText = exception ? TModbusPort::ExceptionText(*exception) : "";

  if (function == kDiagnostics && !exception) {
    FUZZ_CHECK(reply == request);
    FUZZ_CHECK(TModbusPort::DecodeTest(request, r) == Be16(request, 4) && r.Status.empty());
  }
  if (function == kWriteSingle) {
    const std::uint32_t reg = Be16(request, 2);
    const std::uint16_t value = Be16(request, 4);
    if (exception) {
      FUZZ_CHECK(*exception == 2 || *exception == 3);
      FUZZ_CHECK(model == before);
    } else {
      FUZZ_CHECK(reply == request);
      FUZZ_CHECK(model.Get(reg) == value);
    }
    TModbusPort::CheckWriteEcho(request, r);
    FUZZ_CHECK(r.Status == exceptionText);
  }
  if (function == kReadHolding) {
    const std::uint32_t first = Be16(request, 2), count = Be16(request, 4);
    FUZZ_CHECK(model == before);
    if (count < 1 || count > 125) FUZZ_CHECK(exception == 3);
    if (exception) {
      FUZZ_CHECK(*exception == 2 || *exception == 3);
    } else {
      FUZZ_CHECK(reply.size() == 5 + 2 * count && reply[2] == 2 * count);
      for (std::uint32_t i = 0; i < count; ++i) {
        if (first + i < karvo::reg::FloatBase) FUZZ_CHECK(model.Get(first + i) == Be16(reply, 3 + 2 * i));
      }
    }
    if (count <= 32) {
      TModbusPort::DecodeQueryWords(request, count, r);
      FUZZ_CHECK(r.Status == exceptionText);
    }
    // Two registers from the float area: a parameter as QueryD reads it,
    // which must be a number.
    if (count == 2 && first >= karvo::reg::FloatBase) {
      TSerialResponse d = AsRead(reply);
      TModbusPort::DecodeQueryD(request, d);
      FUZZ_CHECK(d.Status == exceptionText);
    }
  }
}

void CheckFurnace(const ControllerModel& m) {
  FUZZ_CHECK(std::isfinite(m.Temperature()) && std::isfinite(m.ProcessValue()) && std::isfinite(m.WorkingSetpoint()));
  const double high = *m.Get(karvo::reg::OutputHighLimit) / 10.0;
  FUZZ_CHECK(m.OutputPercent() >= 0.0 && m.OutputPercent() <= high);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const auto address = static_cast<std::uint8_t>(1 + in.Byte() % 247);
  const double start = in.Byte() * 6.0 - 100.0;
  ControllerModel model({.Address = address, .StartTemperature = start, .Seed = 1});

  while (!in.Empty()) {
    const std::uint8_t control = in.Byte();
    if (control & 0x80) {
      model.Advance(in.Byte() / 25.0);
      CheckFurnace(model);
    }
    Bytes frame = in.Bytes(control & 0x3F);
    if (control & 0x40) {
      const std::uint16_t crc = karvo::ModbusCrc16(frame.data(), frame.size());
      frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
      frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    }

    // The controller's CRC against the definition; a frame is a request
    // only when at least an address and the CRC came.
    FUZZ_CHECK(karvo::sim::Crc16(frame.data(), frame.size()) ==
               karvo::fuzz::ReferenceCrc16(frame.data(), frame.size()));
    const bool crcHolds = frame.size() >= 3 && karvo::fuzz::ReferenceCrcHolds(frame.data(), frame.size());
    FUZZ_CHECK(karvo::sim::CrcMatches(frame.data(), frame.size()) == crcHolds);
    if (!crcHolds) continue;  // the serving thread discards it unread

    const std::uint8_t own = model.Address();
    const ControllerModel before = model;
    const std::optional<Bytes> reply = karvo::sim::Serve(model, frame);
    model.TakeRestart();

    const bool forMe = frame.size() >= 4 && frame[0] == own;
    const std::uint8_t function = frame.size() >= 2 ? frame[1] : 0;
    const bool fixedLength = function == kReadHolding || function == kWriteSingle || function == kDiagnostics;
    const bool valid = forMe && (!fixedLength || frame.size() == 8);
    FUZZ_CHECK(reply.has_value() == valid);
    if (reply) CheckReply(model, frame, *reply, before);
    // A frame of the wrong length for its function is not executed.
    if (forMe && !valid) FUZZ_CHECK(model == before);
  }
  CheckFurnace(model);
  return 0;
}
