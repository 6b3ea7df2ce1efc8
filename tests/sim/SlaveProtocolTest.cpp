#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "sim/ControllerModel.h"
#include "sim/SlaveProtocol.h"

using karvo::sim::Bytes;
using karvo::sim::ControllerModel;

namespace {

Bytes WithCrc(Bytes b) {
  karvo::sim::AppendCrc(b);
  return b;
}

}  // namespace

TEST(SlaveProtocol, CrcOfKnownFrames) {
  // Read 6 words from register 1 of device 1, and a diagnostic echo.
  EXPECT_EQ(WithCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x06}), (Bytes{0x01, 0x03, 0x00, 0x01, 0x00, 0x06, 0x94, 0x08}));
  EXPECT_EQ(WithCrc({0x01, 0x08, 0x00, 0x00, 0x30, 0x39}), (Bytes{0x01, 0x08, 0x00, 0x00, 0x30, 0x39, 0x34, 0x19}));
  const Bytes f = WithCrc({0x01, 0x06, 0x00, 0x1E, 0x02, 0xEE});
  EXPECT_TRUE(karvo::sim::CrcMatches(f.data(), f.size()));
  Bytes bad = f;
  bad[3] ^= 1;
  EXPECT_FALSE(karvo::sim::CrcMatches(bad.data(), bad.size()));
}

TEST(SlaveProtocol, SplitsBackToBackRequestsAndDropsNoise) {
  const Bytes a = WithCrc({0x01, 0x06, 0x00, 0x83, 0x00, 0x01});
  const Bytes b = WithCrc({0x02, 0x06, 0x00, 0x83, 0x00, 0x01});
  const Bytes other = WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x01, 0x02, 0x00, 0x07});  // function 16
  Bytes ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  Bytes aNoise = a;
  aNoise.insert(aNoise.end(), {0x55, 0x13});
  Bytes corrupted = a;
  corrupted[4] ^= 0x40;

  EXPECT_EQ(karvo::sim::SplitFrames(ab), (std::vector<Bytes>{a, b}));
  EXPECT_EQ(karvo::sim::SplitFrames(aNoise), (std::vector<Bytes>{a}));
  EXPECT_EQ(karvo::sim::SplitFrames(other), (std::vector<Bytes>{other}));
  EXPECT_TRUE(karvo::sim::SplitFrames(corrupted).empty());
  EXPECT_TRUE(karvo::sim::SplitFrames(Bytes{0x01, 0x03, 0x00}).empty());
}

TEST(SlaveProtocol, RepliesAsAControllerDoes) {
  struct Case {
    const char* what;
    Bytes request;               // without CRC
    std::optional<Bytes> reply;  // without CRC; nothing = no reply
  };
  const Case cases[] = {
      {"echo", {0x07, 0x08, 0x00, 0x00, 0x30, 0x39}, Bytes{0x07, 0x08, 0x00, 0x00, 0x30, 0x39}},
      {"echo with another sub-function", {0x07, 0x08, 0x00, 0x01, 0x00, 0x00}, Bytes{0x07, 0x88, 0x01}},
      {"another device's request", {0x01, 0x08, 0x00, 0x00, 0x30, 0x39}, std::nullopt},
      {"read 2 words from 11", {0x07, 0x03, 0x00, 0x0B, 0x00, 0x02}, Bytes{0x07, 0x03, 0x04, 0x00, 0x00, 0x04, 0xB0}},
      {"read 126 words", {0x07, 0x03, 0x00, 0x01, 0x00, 0x7E}, Bytes{0x07, 0x83, 0x03}},
      {"read a register it does not have", {0x07, 0x03, 0x02, 0x41, 0x00, 0x01}, Bytes{0x07, 0x83, 0x02}},
      {"write a setpoint", {0x07, 0x06, 0x00, 0x02, 0x00, 0x64}, Bytes{0x07, 0x06, 0x00, 0x02, 0x00, 0x64}},
      {"write a setpoint above the limits", {0x07, 0x06, 0x00, 0x02, 0x04, 0xB1}, Bytes{0x07, 0x86, 0x03}},
      {"read input registers (function 4)", {0x07, 0x04, 0x00, 0x01, 0x00, 0x01}, Bytes{0x07, 0x84, 0x01}},
      {"broadcast write", {0x00, 0x06, 0x00, 0x23, 0x00, 0x05}, std::nullopt},
  };
  for (const Case& c : cases) {
    ControllerModel m({.Address = 7});
    const std::optional<Bytes> reply = karvo::sim::Serve(m, WithCrc(c.request));
    if (c.reply) {
      EXPECT_EQ(reply, WithCrc(*c.reply)) << c.what;
    } else {
      EXPECT_EQ(reply, std::nullopt) << c.what;
    }
  }
  ControllerModel m({.Address = 7});
  karvo::sim::Serve(m, WithCrc({0x00, 0x06, 0x00, 0x23, 0x00, 0x05}));
  EXPECT_EQ(m.Get(35), 5) << "a broadcast write is executed";
}
