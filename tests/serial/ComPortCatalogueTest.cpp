#include <gtest/gtest.h>

#include <string>

#include "serial/ComPortCatalogue.h"

namespace {

using karvo::ComPortNumber;
using karvo::TCommPort;
using karvo::TComPortCatalogue;

TEST(ComPortCatalogue, StringToCommPortTable) {
  struct Case {
    std::string text;
    TCommPort expected;
  };
  const Case cases[] = {
      {"", karvo::spNone},
      {"   ", karvo::spNone},
      {"\t\r\n", karvo::spNone},
      {"COM1", ComPortNumber(1)},
      {"COM9", ComPortNumber(9)},
      {"COM10", ComPortNumber(10)},
      {"COM99", ComPortNumber(99)},
      {"COM100", ComPortNumber(100)},
      {"COM254", karvo::spCOM254},
      {" COM7 ", ComPortNumber(7)},
      {"\tCOM12\r\n", ComPortNumber(12)},
      {"com3", karvo::spCustom},
      {"Com3", karvo::spCustom},
      {"COM0", karvo::spCustom},
      {"COM255", karvo::spCustom},
      {"COM256", karvo::spCustom},
      {"COM1000", karvo::spCustom},
      {"COM03", karvo::spCustom},
      {"COM", karvo::spCustom},
      {"COM 3", karvo::spCustom},
      {"COM3x", karvo::spCustom},
      {"COM+3", karvo::spCustom},
      {"COM-3", karvo::spCustom},
      {"XCOM3", karvo::spCustom},
      {"/dev/ttyUSB0", karvo::spCustom},
      {"CNCA0", karvo::spCustom},
  };
  const TComPortCatalogue catalogue;
  for (const Case& c : cases) {
    EXPECT_EQ(catalogue.StringToCommPort(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ComPortCatalogue, CommPortToStringRoundTripsEveryNumberedPort) {
  const TComPortCatalogue catalogue;
  for (int n = 1; n <= 254; ++n) {
    const std::string name = catalogue.CommPortToString(ComPortNumber(n));
    EXPECT_EQ(name, "COM" + std::to_string(n));
    EXPECT_EQ(catalogue.StringToCommPort(name), ComPortNumber(n));
  }
  EXPECT_EQ(catalogue.CommPortToString(karvo::spNone), "");
}

TEST(ComPortCatalogue, CustomPortNameIsTrimmedAndStandsForSpCustom) {
  TComPortCatalogue catalogue;
  EXPECT_EQ(catalogue.CommPortToString(karvo::spCustom), "");
  catalogue.SetCustomPortName("  CNCA0 ");
  EXPECT_EQ(catalogue.CustomPortName(), "CNCA0");
  EXPECT_EQ(catalogue.CommPortToString(karvo::spCustom), "CNCA0");
}

}  // namespace
