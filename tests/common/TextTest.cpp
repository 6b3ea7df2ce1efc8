#include <gtest/gtest.h>

#include "common/Text.h"

TEST(Text, FormatGeneral) {
  EXPECT_EQ(karvo::FormatGeneral(1.0), "1");
  EXPECT_EQ(karvo::FormatGeneral(1.5), "1.5");
  EXPECT_EQ(karvo::FormatGeneral(0.2), "0.2");
  EXPECT_EQ(karvo::FormatGeneral(-10.0), "-10");
}

TEST(Text, LabelPadsTo25) {
  EXPECT_EQ(karvo::Label("PortName", 25), "PortName                 : ");
  EXPECT_EQ(karvo::Label("PortName", 25).size(), 27u);
}
