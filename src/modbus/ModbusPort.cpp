// The four operations: one transaction each, the request dump and the
// status line in the program log.

#include <cstdio>

#include "common/Log.h"
#include "common/Seams.h"
#include "common/Text.h"
#include "modbus/Modbus.h"

namespace karvo {
namespace {

constexpr std::size_t kLabelWidth = 25;
constexpr int kLargestTestValue = 64999;

// "Modbus in Hex" and "Modbus in Int", each byte followed by one space.
void LogRequest(const TModbusPort& port, const TArrayOfByte& frame) {
  if (!port.Debug()) return;
  std::string hex = Label("Modbus in Hex", kLabelWidth), ints = Label("Modbus in Int", kLabelWidth);
  char buf[4];
  for (std::uint8_t b : frame) {
    std::snprintf(buf, sizeof buf, "%02X ", b);
    hex += buf;
    ints += std::to_string(b) + ' ';
  }
  LogLine(hex);
  LogLine(ints);
}

// The status line of a failure, unless the transaction wrote it already
// (with its reason below it).
void LogStatus(const TModbusPort& port, const TSerialResponse& r) {
  if (!r.Status.empty() && port.LastFailureReason().empty()) LogLine(r.Status);
}

// Byte 0 of every frame is the device it is for (0: all of them).
TSerialResponse Transact(TModbusPort& port, const TArrayOfByte& frame, bool waitForResponse) {
  return port.SendData(frame.data(), static_cast<std::uint32_t>(frame.size()), waitForResponse, frame[0]);
}

}  // namespace

bool TModbusPort::Test(std::uint32_t DeviceAddress) {
  std::string status;
  return Test(DeviceAddress, status);
}

bool TModbusPort::Test(std::uint32_t DeviceAddress, std::string& Status) {
  const auto testValue = static_cast<std::uint32_t>(RandomRange(0, kLargestTestValue));
  const TArrayOfByte frame = TestFrame(DeviceAddress, testValue);
  LogRequest(*this, frame);
  TSerialResponse r = Transact(*this, frame, true);
  const std::uint32_t echoed = r.Status.empty() ? DecodeTest(frame, r) : 0;
  if (!r.Status.empty()) {
    LogStatus(*this, r);
    Status = r.Status;
    return false;
  }
  LogLine(Label("Sent to diagnostic loop", kLabelWidth) + std::to_string(testValue));
  LogLine(Label("Response", kLabelWidth) + std::to_string(echoed));
  if (echoed != testValue) {
    Status = std::string(kEchoMismatch) + "sent " + std::to_string(testValue) + ", received " + std::to_string(echoed);
    return false;
  }
  Status.clear();
  return true;
}

TSerialResponse TModbusPort::QueryD(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress) {
  const TArrayOfByte frame = QueryDFrame(DeviceAddress, MemoryAddress);
  LogRequest(*this, frame);
  TSerialResponse r = Transact(*this, frame, true);
  r.rDouble = 0.0;
  if (r.Status.empty()) DecodeQueryD(frame, r);
  LogStatus(*this, r);
  return r;
}

TSerialResponse TModbusPort::QueryWords(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress,
                                        std::uint32_t WordCount) {
  if (WordCount > 32) {
    TSerialResponse r;
    r.Status = kMaxWordCount;
    return r;
  }
  const TArrayOfByte frame = QueryWordsFrame(DeviceAddress, MemoryAddress, WordCount);
  TSerialResponse r = Transact(*this, frame, true);
  if (r.Status.empty()) DecodeQueryWords(frame, WordCount, r);
  LogStatus(*this, r);
  return r;
}

bool TModbusPort::WriteWord(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value,
                            bool WaitForResponse) {
  std::string status;
  return WriteWord(DeviceAddress, MemoryAddress, Value, WaitForResponse, status);
}

bool TModbusPort::WriteWord(std::uint32_t DeviceAddress, std::uint32_t MemoryAddress, std::int32_t Value,
                            bool WaitForResponse, std::string& Status) {
  const TArrayOfByte frame = WriteWordFrame(DeviceAddress, MemoryAddress, Value);
  LogRequest(*this, frame);
  TSerialResponse r = Transact(*this, frame, WaitForResponse);
  if (WaitForResponse && r.Status.empty()) CheckWriteEcho(frame, r);
  Status = r.Status;
  return r.Status.empty();
}

}  // namespace karvo
