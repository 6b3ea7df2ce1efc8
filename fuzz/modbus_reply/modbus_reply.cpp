// The reply checks and decoders of the four Modbus operations, given the
// request they answer. Whatever the reply holds, it either passes with
// exactly the values it carries or fails with one of the client's texts and
// decodes nothing.
//
// Input: one byte choosing the operation (bits 0-1) and how the reply is
// made (bits 2-3), the request's device, register, word count and value,
// then the reply's material:
//   raw          the rest of the input is the reply as read from the line;
//   raw with CRC the same, with a CRC that holds written over the two bytes
//                that end the first L bytes (L from the input), so that
//                frames of any content get past the CRC;
//   well formed  the reply to the request built from the input's bytes,
//                after up to three echoes of earlier writes to the device
//                and followed by whatever bytes are left;
//   exception    an exception reply the same way.
// The expected outcome is worked out here from the frame layouts, with a
// bit-by-bit CRC and a float decoder of its own; QueryD's value must be a
// shortest decimal that reads back as the float (found here by trying the
// decimals of 1, 2, ... 9 digits next to it with the C library).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "modbus/Modbus.h"

using karvo::TArrayOfByte;
using karvo::TModbusPort;
using karvo::TSerialResponse;
using karvo::fuzz::Input;

namespace {

enum class Op { Test, QueryD, QueryWords, WriteWord };
enum class Make { Raw, RawWithCrc, WellFormed, Exception };

struct Request {
  Op op;
  TArrayOfByte frame;
  std::uint32_t wordCount = 0;
};

// What a good reply carries.
struct Values {
  std::uint32_t echoed = 0;         // Test
  double number = 0.0;              // QueryD
  std::vector<std::int32_t> words;  // QueryWords
};

// IEEE 754 single precision from its fields, without reinterpreting memory.
double ReferenceFloat(std::uint32_t bits) {
  const bool negative = (bits >> 31) != 0;
  const int exponent = static_cast<int>((bits >> 23) & 0xFF);
  const std::uint32_t fraction = bits & 0x7FFFFF;
  double magnitude;
  if (exponent == 0xFF) {
    magnitude = fraction == 0 ? HUGE_VAL : std::nan("");
  } else if (exponent == 0) {
    magnitude = std::ldexp(static_cast<double>(fraction), -149);
  } else {
    magnitude = std::ldexp(static_cast<double>(fraction | 0x800000), exponent - 150);
  }
  return negative ? -magnitude : magnitude;
}

// The doubles of the decimals with `digits` significant digits next to the
// float f (finite, not zero) that the C library reads back as f.
std::vector<double> DecimalsReadingBack(double f, int digits) {
  std::vector<double> found;
  const double low = std::pow(10.0, digits - 1), high = std::pow(10.0, digits);
  const int estimate = static_cast<int>(std::floor(std::log10(std::fabs(f)))) - digits + 1;
  // The estimate of the exponent may be one off next to a power of ten.
  for (int e = estimate - 1; e <= estimate + 1; ++e) {
    const double k = std::floor(std::fabs(f) / std::pow(10.0, e));
    for (double c = k - 2; c <= k + 2; ++c) {
      if (c < low || c >= high) continue;
      char text[48];
      std::snprintf(text, sizeof text, "%s%.0fe%d", f < 0 ? "-" : "", c, e);
      if (static_cast<double>(std::strtof(text, nullptr)) == f) found.push_back(std::strtod(text, nullptr));
    }
  }
  return found;
}

// QueryD's value for the float f: the controller means a decimal value, so
// the reading is a shortest decimal that reads back as f. Zero keeps its
// sign; from 2^24 on, floats are whole numbers, whose own digits are as
// short a text as any, and may be read as they stand.
bool ReadsAsShortestDecimal(double value, double f) {
  if (f == 0 || (std::fabs(f) >= 16777216.0 && value == f)) return std::memcmp(&value, &f, sizeof value) == 0;
  for (int digits = 1; digits <= 9; ++digits) {
    const std::vector<double> found = DecimalsReadingBack(f, digits);
    if (found.empty()) continue;
    for (const double d : found) {
      if (std::memcmp(&d, &value, sizeof d) == 0) return true;
    }
    return false;
  }
  return false;
}

std::size_t ReplySize(const Request& r) {
  switch (r.op) {
    case Op::QueryD:
      return 9;
    case Op::QueryWords:
      return 5 + 2 * r.wordCount;
    default:
      return 8;
  }
}

// The frame at b (n bytes available) laid out as the good reply to the
// request: device and function of the request, the sub-function echoed, the
// byte count asked for, the write repeated, a CRC that holds. The float may
// still not be a number.
std::optional<Values> GoodReplyAt(const Request& r, const std::uint8_t* b, std::size_t n) {
  const std::size_t size = ReplySize(r);
  if (n < size || b[0] != r.frame[0] || b[1] != r.frame[1] || !karvo::fuzz::ReferenceCrcHolds(b, size))
    return std::nullopt;
  Values v;
  switch (r.op) {
    case Op::Test:
      if (b[2] != r.frame[2] || b[3] != r.frame[3]) return std::nullopt;
      v.echoed = b[4] * 256u + b[5];
      break;
    case Op::WriteWord:
      if (std::memcmp(b, r.frame.data(), 8) != 0) return std::nullopt;
      break;
    case Op::QueryD:
      if (b[2] != 4) return std::nullopt;
      v.number =
          ReferenceFloat(std::uint32_t{b[3]} << 24 | std::uint32_t{b[4]} << 16 | std::uint32_t{b[5]} << 8 | b[6]);
      break;
    case Op::QueryWords:
      if (b[2] != 2 * r.wordCount) return std::nullopt;
      for (std::uint32_t k = 0; k < r.wordCount; ++k) v.words.push_back(b[3 + 2 * k] * 256 + b[4 + 2 * k]);
      break;
  }
  return v;
}

bool IntactExceptionAt(const Request& r, const std::uint8_t* b, std::size_t n) {
  return n >= 5 && b[0] == r.frame[0] && b[1] == (r.frame[1] | 0x80) && karvo::fuzz::ReferenceCrcHolds(b, 5);
}

// An echo of an earlier write to the same device, which may arrive in front
// of the reply: a whole single-register write frame whose CRC holds (for a
// write, not the echo of this very write).
bool StaleEchoAt(const Request& r, const std::uint8_t* b, std::size_t n) {
  return n >= 8 && b[0] == r.frame[0] && b[1] == 6 && karvo::fuzz::ReferenceCrcHolds(b, 8) &&
         !(r.op == Op::WriteWord && std::memcmp(b, r.frame.data(), 8) == 0);
}

bool IsClientText(const Request& r, const std::string& s) {
  if (s == TModbusPort::kTooShort || s == TModbusPort::kBadCrc || s == TModbusPort::kWrongDeviceOrFunction) return true;
  if (s == TModbusPort::kWrongByteCount) return r.op == Op::QueryD || r.op == Op::QueryWords;
  if (s == TModbusPort::kNotANumber) return r.op == Op::QueryD;
  if (s == TModbusPort::kEchoDiffers) return r.op == Op::WriteWord;
  return false;
}

Request ReadRequest(Op op, Input& in) {
  const std::uint8_t device = in.Byte();
  const std::uint16_t reg = in.Word();
  const std::uint8_t count = in.Byte();
  const std::uint16_t value = in.Word();
  switch (op) {
    case Op::Test:
      return {op, TModbusPort::TestFrame(device, value)};
    case Op::QueryD:
      return {op, TModbusPort::QueryDFrame(device, reg)};
    case Op::QueryWords:
      // QueryWords itself sends at most 32; the decoder takes any count.
      return {op, TModbusPort::QueryWordsFrame(device, reg, count), count};
    case Op::WriteWord:
      return {op, TModbusPort::WriteWordFrame(device, reg, static_cast<std::int16_t>(value))};
  }
  return {op, {}};
}

TArrayOfByte RawWithCrc(Input& in) {
  const std::size_t length = in.Byte();
  TArrayOfByte reply = in.Rest();
  if (length >= 2 && length <= reply.size()) {
    const std::uint16_t crc = karvo::fuzz::ReferenceCrc16(reply.data(), length - 2);
    reply[length - 2] = static_cast<std::uint8_t>(crc & 0xFF);
    reply[length - 1] = static_cast<std::uint8_t>(crc >> 8);
  }
  return reply;
}

TArrayOfByte WithCrc(TArrayOfByte frame) {
  karvo::fuzz::AppendReferenceCrc(frame);
  return frame;
}

// Up to three echoes of earlier writes to the device, then the reply.
TArrayOfByte MadeReply(const Request& r, Make make, Input& in) {
  TArrayOfByte reply;
  const int echoes = in.Byte() % 4;
  for (int i = 0; i < echoes; ++i) {
    const std::uint16_t reg = in.Word();
    const auto value = static_cast<std::int16_t>(in.Word());
    TArrayOfByte echo = TModbusPort::WriteWordFrame(r.frame[0], reg, value);
    if (echo != r.frame) reply.insert(reply.end(), echo.begin(), echo.end());
  }
  TArrayOfByte frame{r.frame[0]};
  if (make == Make::Exception) {
    frame.push_back(static_cast<std::uint8_t>(r.frame[1] | 0x80));
    frame.push_back(in.Byte());
  } else if (r.op == Op::Test) {
    frame = {r.frame[0], r.frame[1], r.frame[2], r.frame[3], in.Byte(), in.Byte()};
  } else if (r.op == Op::WriteWord) {
    frame.assign(r.frame.begin(), r.frame.begin() + 6);
  } else {
    const std::uint32_t count = r.op == Op::QueryD ? 2 : r.wordCount;
    frame.push_back(3);
    frame.push_back(static_cast<std::uint8_t>(2 * count));
    for (std::uint32_t k = 0; k < 2 * count; ++k) frame.push_back(in.Byte());
  }
  frame = WithCrc(frame);
  reply.insert(reply.end(), frame.begin(), frame.end());
  const TArrayOfByte rest = in.Rest();
  reply.insert(reply.end(), rest.begin(), rest.end());
  return reply;
}

// Decodes with the operation's decoder into a record whose fields hold
// markers, so that what it changes shows.
struct Outcome {
  TSerialResponse response;
  std::uint32_t echoed = 0;
};

constexpr std::int32_t kMarkerWord = -12345;
constexpr std::int32_t kMarkerFirstWord = -777;
constexpr double kMarkerNumber = -1.5;

Outcome Decode(const Request& r, const TArrayOfByte& reply) {
  Outcome o;
  o.response.Response.assign(reply.begin(), reply.end());
  o.response.rArray.fill(kMarkerWord);
  o.response.ValueOfFirstWord = kMarkerFirstWord;
  o.response.rDouble = kMarkerNumber;
  switch (r.op) {
    case Op::Test:
      o.echoed = TModbusPort::DecodeTest(r.frame, o.response);
      break;
    case Op::QueryD:
      TModbusPort::DecodeQueryD(r.frame, o.response);
      break;
    case Op::QueryWords:
      TModbusPort::DecodeQueryWords(r.frame, r.wordCount, o.response);
      break;
    case Op::WriteWord:
      TModbusPort::CheckWriteEcho(r.frame, o.response);
      break;
  }
  return o;
}

bool SameNumber(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void CheckPassedWith(const Request& r, const Outcome& o, const Values& v) {
  const TSerialResponse& s = o.response;
  FUZZ_CHECK(s.Status.empty());
  FUZZ_CHECK(o.echoed == (r.op == Op::Test ? v.echoed : 0));
  if (r.op == Op::QueryD) {
    FUZZ_CHECK(ReadsAsShortestDecimal(s.rDouble, v.number));
  } else {
    FUZZ_CHECK(SameNumber(s.rDouble, kMarkerNumber));
  }
  for (std::size_t k = 1; k < s.rArray.size(); ++k) {
    const bool decoded = r.op == Op::QueryWords && k <= r.wordCount;
    FUZZ_CHECK(s.rArray[k] == (decoded ? v.words[k - 1] : kMarkerWord));
  }
  std::int32_t first = kMarkerFirstWord;
  if (r.op == Op::QueryWords) first = r.wordCount >= 1 ? v.words[0] : 0;
  FUZZ_CHECK(s.ValueOfFirstWord == first);
}

void CheckFailed(const Request& r, const Outcome& o) {
  const TSerialResponse& s = o.response;
  FUZZ_CHECK(!s.Status.empty());
  FUZZ_CHECK(o.echoed == 0);
  FUZZ_CHECK(SameNumber(s.rDouble, 0.0));
  FUZZ_CHECK(s.ValueOfFirstWord == 0);
  for (std::size_t k = 1; k < s.rArray.size(); ++k) FUZZ_CHECK(s.rArray[k] == kMarkerWord);
  (void)r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The client's table CRC against the definition, over the whole input.
  FUZZ_CHECK(karvo::ModbusCrc16(data, size) == karvo::fuzz::ReferenceCrc16(data, size));

  Input in(data, size);
  const std::uint8_t choice = in.Byte();
  const auto op = static_cast<Op>(choice & 3);
  const auto make = static_cast<Make>((choice >> 2) & 3);
  const Request r = ReadRequest(op, in);
  TArrayOfByte reply;
  if (make == Make::WellFormed || make == Make::Exception) {
    reply = MadeReply(r, make, in);
  } else {
    reply = make == Make::RawWithCrc ? RawWithCrc(in) : in.Rest();
  }
  const Outcome o = Decode(r, reply);

  // Where the reply starts: after the whole echoes of earlier writes in
  // front of it, as long as something follows them.
  const std::uint8_t* b = reply.data();
  std::size_t n = reply.size();
  while (n > 8 && StaleEchoAt(r, b, n)) b += 8, n -= 8;

  if (const std::optional<Values> good = GoodReplyAt(r, b, n)) {
    if (r.op == Op::QueryD && !std::isfinite(good->number)) {
      CheckFailed(r, o);
      FUZZ_CHECK(o.response.Status == TModbusPort::kNotANumber);
    } else {
      CheckPassedWith(r, o, *good);
    }
  } else {
    CheckFailed(r, o);
    if (IntactExceptionAt(r, b, n)) {
      FUZZ_CHECK(o.response.Status == TModbusPort::ExceptionText(b[2]));
    } else {
      FUZZ_CHECK(IsClientText(r, o.response.Status));
    }
  }
  // A reply made well formed passes (unless its float is not a number, or
  // the words asked for are more than a byte count can count), an exception
  // reply fails with its exception.
  const bool countable = r.op != Op::QueryWords || r.wordCount <= 127;
  if (make == Make::WellFormed && countable && !(r.op == Op::QueryD && o.response.Status == TModbusPort::kNotANumber)) {
    FUZZ_CHECK(o.response.Status.empty());
  }
  if (make == Make::Exception) FUZZ_CHECK(o.response.Status == TModbusPort::ExceptionText(b[2]));
  return 0;
}
