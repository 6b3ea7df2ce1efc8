#include "sim/SlaveProtocol.h"

namespace karvo::sim {
namespace {

constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kWriteSingle = 6;
constexpr std::uint8_t kDiagnostics = 8;
constexpr std::size_t kFixedFrame = 8;

std::uint16_t Be16(const Bytes& f, std::size_t at) { return static_cast<std::uint16_t>(f[at] << 8 | f[at + 1]); }

Bytes ExceptionReply(const Bytes& request, Exception e) {
  Bytes reply{request[0], static_cast<std::uint8_t>(request[1] | 0x80), static_cast<std::uint8_t>(e)};
  AppendCrc(reply);
  return reply;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

void AppendCrc(Bytes& frame) {
  const std::uint16_t crc = Crc16(frame.data(), frame.size());
  frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(crc >> 8));
}

bool CrcMatches(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return false;
  const std::uint16_t crc = Crc16(data, size - 2);
  return data[size - 2] == (crc & 0xFF) && data[size - 1] == (crc >> 8);
}

std::optional<Bytes> Serve(ControllerModel& model, const Bytes& request) {
  if (request.size() < 4) return std::nullopt;
  const bool broadcast = request[0] == 0;
  if (!broadcast && request[0] != model.Address()) return std::nullopt;
  const std::uint8_t function = request[1];
  const bool fixed = function == kReadHolding || function == kWriteSingle || function == kDiagnostics;
  if (fixed && request.size() != kFixedFrame) return std::nullopt;

  std::optional<Bytes> reply;
  switch (function) {
    case kReadHolding: {
      const std::uint32_t first = Be16(request, 2), count = Be16(request, 4);
      std::vector<std::uint16_t> words(count);
      if (const Exception e = model.Read(first, count, words.data()); e != Exception::None) {
        reply = ExceptionReply(request, e);
        break;
      }
      reply = Bytes{request[0], function, static_cast<std::uint8_t>(2 * count)};
      for (std::uint16_t w : words) {
        reply->push_back(static_cast<std::uint8_t>(w >> 8));
        reply->push_back(static_cast<std::uint8_t>(w & 0xFF));
      }
      AppendCrc(*reply);
      break;
    }
    case kWriteSingle: {
      const Exception e = model.Write(Be16(request, 2), Be16(request, 4));
      reply = e == Exception::None ? request : ExceptionReply(request, e);
      break;
    }
    case kDiagnostics:
      reply = Be16(request, 2) == 0 ? request : ExceptionReply(request, Exception::IllegalFunction);
      break;
    default:
      reply = ExceptionReply(request, Exception::IllegalFunction);
      break;
  }
  if (broadcast) return std::nullopt;
  return reply;
}

}  // namespace karvo::sim
