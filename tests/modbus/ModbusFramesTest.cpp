// Frames, CRC and the decoding of replies, byte by byte, without a port.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ModbusTestUtil.h"
#include "common/Log.h"
#include "modbus/Modbus.h"
#include "modbus/Registers.h"

using karvo::TArrayOfByte;
using karvo::TModbusPort;
using karvo::TSerialResponse;
using karvo::testing::FromHex;
using karvo::testing::Hex;
using karvo::testing::WithCrc;

namespace {

TSerialResponse Reply(const std::string& bytes) {
  TSerialResponse r;
  r.Response = bytes;
  // What the transport fills from any reply of 5 bytes or more.
  if (bytes.size() >= 5)
    r.ValueOfFirstWord = static_cast<std::uint8_t>(bytes[3]) * 256 + static_cast<std::uint8_t>(bytes[4]);
  return r;
}

}  // namespace

TEST(ModbusFrames, WorkedExamplesComeOutByteForByte) {
  EXPECT_EQ(Hex(TModbusPort::QueryWordsFrame(1, 1, 6)), "01 03 00 01 00 06 94 08");
  EXPECT_EQ(Hex(TModbusPort::QueryDFrame(1, 1)), "01 03 80 02 00 02 4C 0B");
  EXPECT_EQ(Hex(TModbusPort::WriteWordFrame(1, 30, 750)), "01 06 00 1E 02 EE 68 E0");
  EXPECT_EQ(Hex(TModbusPort::TestFrame(1, 12345)), "01 08 00 00 30 39 34 19");
}

TEST(ModbusFrames, AddressRegisterAndValueAreCutToTheirBytes) {
  const TArrayOfByte broadcast = TModbusPort::WriteWordFrame(256, 131, 1);
  EXPECT_EQ(Hex(broadcast).substr(0, 17), "00 06 00 83 00 01") << "device 256 goes out as 0";
  EXPECT_EQ(Hex(TModbusPort::QueryWordsFrame(1, 12290, 1)).substr(0, 17), "01 03 30 02 00 01");
  EXPECT_EQ(Hex(TModbusPort::QueryDFrame(1, 12290)).substr(0, 17), "01 03 E0 04 00 02");
  EXPECT_EQ(Hex(TModbusPort::WriteWordFrame(1, 0x12345, 65536)).substr(0, 17), "01 06 23 45 00 00");
  EXPECT_EQ(Hex(TModbusPort::WriteWordFrame(1, 2, 65535)).substr(0, 17), "01 06 00 02 FF FF");
  EXPECT_EQ(Hex(TModbusPort::WriteWordFrame(1, 2, -2)).substr(0, 17), "01 06 00 02 FF FE");
  for (const TArrayOfByte& f : {broadcast, TModbusPort::TestFrame(7, 64999)}) {
    ASSERT_EQ(f.size(), 8u);
    const std::uint16_t crc = karvo::ModbusCrc16(f.data(), 6);
    EXPECT_EQ(f[6], crc & 0xFF);
    EXPECT_EQ(f[7], crc >> 8);
  }
}

// The CRC worked bit by bit, independent of the table the program uses.
std::uint16_t BitwiseCrc(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

// The CRC of the single byte b goes through table entry 0xFF ^ b: the 256
// bytes reach every entry once.
TEST(ModbusCrc, EveryTableEntryAgreesWithTheBitwiseComputation) {
  for (int b = 0; b < 256; ++b) {
    const auto byte = static_cast<std::uint8_t>(b);
    EXPECT_EQ(karvo::ModbusCrc16(&byte, 1), BitwiseCrc(&byte, 1)) << "byte " << b;
  }
  const std::string check = "123456789";
  EXPECT_EQ(BitwiseCrc(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x4B37);
}

TEST(ModbusCrc, StandardCheckValue) {
  const std::string check = "123456789";
  EXPECT_EQ(karvo::ModbusCrc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0x4B37);
  EXPECT_EQ(karvo::ModbusCrc16(nullptr, 0), 0xFFFF);
}

TEST(ModbusDecode, QueryDTakesTheFourDataBytesAsAFloat) {
  struct Case {
    std::string data;
    double value;
  };
  // The value is the decimal the float stands for (not 20.0125007629 or
  // 1021.2999878).
  for (const Case& c : std::vector<Case>{{"00 00 00 00", 0.0},
                                         {"43 48 00 00", 200.0},
                                         {"C1 20 00 00", -10.0},
                                         {"41 A0 19 9A", 20.0125},
                                         {"44 7F 53 33", 1021.3},
                                         {"C2 F6 E6 66", -123.45}}) {
    TSerialResponse r = Reply(WithCrc("01 03 04 " + c.data));
    TModbusPort::DecodeQueryD(TModbusPort::QueryDFrame(1, 1), r);
    EXPECT_EQ(r.Status, "") << c.data;
    EXPECT_EQ(r.rDouble, c.value) << c.data;
  }
  // The worked example's reply as it stands.
  TSerialResponse r = Reply(FromHex("01 03 04 43 48 00 00 6F A1"));
  TModbusPort::DecodeQueryD(TModbusPort::QueryDFrame(1, 1), r);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.rDouble, 200.0);
}

TEST(ModbusDecode, QueryWordsFillsTheWordsAskedForWithoutSign) {
  TSerialResponse r = Reply(WithCrc("01 03 0C FF 38 00 02 00 03 00 04 00 05 12 34"));
  r.rArray[7] = -5;  // beyond the words asked for: left alone
  TModbusPort::DecodeQueryWords(TModbusPort::QueryWordsFrame(1, 1, 6), 6, r);
  EXPECT_EQ(r.Status, "");
  const std::vector<std::int32_t> words(r.rArray.begin() + 1, r.rArray.begin() + 8);
  EXPECT_EQ(words, (std::vector<std::int32_t>{65336, 2, 3, 4, 5, 0x1234, -5}));
  EXPECT_EQ(r.ValueOfFirstWord, 65336);
}

TEST(ModbusDecode, InvalidRepliesGiveTheirTextAndNoValue) {
  const TArrayOfByte test = TModbusPort::TestFrame(1, 12345), queryD = TModbusPort::QueryDFrame(1, 1),
                     words = TModbusPort::QueryWordsFrame(1, 1, 2), write = TModbusPort::WriteWordFrame(1, 2, 100);
  enum Op { kTest, kQueryD, kWords, kWrite };
  struct Case {
    const char* what;
    Op op;
    std::string reply;
    std::string status;
  };
  std::string badCrc = WithCrc("01 03 04 00 07 00 08");
  badCrc.back() ^= 0x01;
  std::string badExceptionCrc = WithCrc("01 83 02");
  badExceptionCrc[3] ^= 0x01;
  const std::vector<Case> cases = {
      {"echo cut short", kTest, FromHex("01 08 00 00 30 39 34"), TModbusPort::kTooShort},
      {"QueryD reply of 8 bytes", kQueryD, FromHex("01 03 04 43 48 00 00 6F"), TModbusPort::kTooShort},
      {"fewer words than asked", kWords, WithCrc("01 03 02 00 07"), TModbusPort::kTooShort},
      {"nothing but an address", kWords, FromHex("01"), TModbusPort::kTooShort},
      {"exception reply cut short", kWords, FromHex("01 83 02 C0"), TModbusPort::kTooShort},
      {"CRC wrong", kWords, badCrc, TModbusPort::kBadCrc},
      {"CRC of an exception wrong", kWords, badExceptionCrc, TModbusPort::kBadCrc},
      {"echo with a CRC wrong", kWrite, FromHex("01 06 00 02 00 64 00 00"), TModbusPort::kBadCrc},
      {"another device", kWords, WithCrc("02 03 04 00 07 00 08"), TModbusPort::kWrongDeviceOrFunction},
      {"another device's exception", kQueryD, WithCrc("02 83 02"), TModbusPort::kWrongDeviceOrFunction},
      {"another function", kTest, WithCrc("01 03 00 00 30 39"), TModbusPort::kWrongDeviceOrFunction},
      {"echo of another sub-function", kTest, WithCrc("01 08 00 01 30 39"), TModbusPort::kWrongDeviceOrFunction},
      {"echo of another request", kWrite, WithCrc("01 08 00 02 00 64"), TModbusPort::kWrongDeviceOrFunction},
      {"echo of another value", kWrite, WithCrc("01 06 00 02 00 65"), TModbusPort::kEchoDiffers},
      {"echo of another register", kWrite, WithCrc("01 06 00 03 00 64"), TModbusPort::kEchoDiffers},
      {"illegal function", kTest, WithCrc("01 88 01"), "Modbus exception 1 (illegal function)"},
      {"illegal data address", kWords, WithCrc("01 83 02"), "Modbus exception 2 (illegal data address)"},
      {"illegal data value", kWrite, WithCrc("01 86 03"), "Modbus exception 3 (illegal data value)"},
      {"slave device failure", kQueryD, WithCrc("01 83 04"), "Modbus exception 4 (slave device failure)"},
      {"exception without a name", kWords, WithCrc("01 83 0B"), "Modbus exception 11"},
      {"more words than asked", kWords, WithCrc("01 03 06 00 07 00 08 00 09"), TModbusPort::kWrongByteCount},
      {"byte count off, length right", kWords, WithCrc("01 03 02 00 07 00 08"), TModbusPort::kWrongByteCount},
      {"QueryD byte count off", kQueryD, WithCrc("01 03 02 43 48 00 00"), TModbusPort::kWrongByteCount},
      {"not a number", kQueryD, WithCrc("01 03 04 7F C0 00 00"), TModbusPort::kNotANumber},
      {"infinity", kQueryD, WithCrc("01 03 04 FF 80 00 00"), TModbusPort::kNotANumber},
  };
  for (const Case& c : cases) {
    TSerialResponse r = Reply(c.reply);
    r.rArray[1] = -7;
    switch (c.op) {
      case kTest:
        EXPECT_EQ(TModbusPort::DecodeTest(test, r), 0u) << c.what;
        break;
      case kQueryD:
        TModbusPort::DecodeQueryD(queryD, r);
        break;
      case kWords:
        TModbusPort::DecodeQueryWords(words, 2, r);
        break;
      case kWrite:
        TModbusPort::CheckWriteEcho(write, r);
        break;
    }
    EXPECT_EQ(r.Status, c.status) << c.what;
    EXPECT_EQ(r.rDouble, 0.0) << c.what;
    EXPECT_EQ(r.ValueOfFirstWord, 0) << c.what;
    EXPECT_EQ(r.rArray[1], -7) << c.what << ": no word decoded";
  }
}

TEST(ModbusDecode, GoodEchoesPass) {
  TSerialResponse r = Reply(FromHex("01 08 00 00 30 39 34 19"));
  EXPECT_EQ(TModbusPort::DecodeTest(TModbusPort::TestFrame(1, 12345), r), 12345u);
  EXPECT_EQ(r.Status, "");
  r = Reply(FromHex("01 06 00 1E 02 EE 68 E0"));
  TModbusPort::CheckWriteEcho(TModbusPort::WriteWordFrame(1, 30, 750), r);
  EXPECT_EQ(r.Status, "");
}

// A write goes out without waiting, so its echo can arrive in front of the
// next transaction's reply.
TEST(ModbusDecode, LateEchoesOfEarlierWritesBeforeTheReplyArePassedOver) {
  const std::string echo = WithCrc("01 06 00 23 00 0A");  // ramp rate 10 written to device 1
  TSerialResponse r = Reply(echo + WithCrc("01 03 02 00 0A"));
  TModbusPort::DecodeQueryWords(TModbusPort::QueryWordsFrame(1, 35, 1), 1, r);
  EXPECT_EQ(r.Status, "");
  EXPECT_EQ(r.ValueOfFirstWord, 10);

  r = Reply(echo + echo + FromHex("01 08 00 00 30 39 34 19"));
  EXPECT_EQ(TModbusPort::DecodeTest(TModbusPort::TestFrame(1, 12345), r), 12345u);
  EXPECT_EQ(r.Status, "");

  r = Reply(echo + FromHex("01 06 00 1E 02 EE 68 E0"));  // then the echo of this write
  TModbusPort::CheckWriteEcho(TModbusPort::WriteWordFrame(1, 30, 750), r);
  EXPECT_EQ(r.Status, "");

  r = Reply(echo + WithCrc("01 03 04 43 48 00 00"));
  TModbusPort::DecodeQueryD(TModbusPort::QueryDFrame(1, 1), r);
  EXPECT_EQ(r.rDouble, 200.0);

  // Only whole echoes of this device are passed over; an echo alone is no reply.
  const std::string refused[] = {
      echo,
      WithCrc("02 06 00 23 00 0A") + WithCrc("01 03 02 00 0A"),
      echo.substr(0, 7) + WithCrc("01 03 02 00 0A"),
  };
  for (const auto& reply : refused) {
    r = Reply(reply);
    TModbusPort::DecodeQueryWords(TModbusPort::QueryWordsFrame(1, 35, 1), 1, r);
    EXPECT_EQ(r.Status, TModbusPort::kBadCrc) << reply.size() << " bytes";
    EXPECT_EQ(r.ValueOfFirstWord, 0);
  }
}

TEST(ModbusPort, MoreThan32WordsIsRefusedWithoutATransaction) {
  karvo::MemoryLog::Clear();
  TModbusPort port;
  port.SetPort("COM250");
  const TSerialResponse r = port.QueryWords(1, 1, 33);
  EXPECT_EQ(r.Status, "Maximum wordcount read is 32");
  EXPECT_TRUE(r.Response.empty());
  EXPECT_TRUE(karvo::MemoryLog::Lines().empty());
}

TEST(ControllerCatalogue, HoldsTheOneModelAsListed) {
  const auto& catalogue = karvo::ControllerCatalogue();
  ASSERT_EQ(catalogue.size(), 1u);
  const karvo::TControllerAddresses& a = catalogue.front();
  EXPECT_EQ(a.Model, "Eurotherm 2400 serie");
  const std::vector<std::uint32_t> fields{
      a.Temperature,  a.TargetSetpoint, a.WorkingSetPoint,  a.SPSelected,    a.SP1,      a.SP2,
      a.Proportional, a.Integral,       a.Derivate,         a.WorkingOutput, a.RampRate, a.PContribute,
      a.IContribute,  a.DContribute,    a.ThermocoupleType, a.ModelAddr};
  EXPECT_EQ(fields, (std::vector<std::uint32_t>{1, 0, 0, 15, 24, 25, 6, 8, 9, 3, 0, 214, 55, 116, 12990, 122}));
}
