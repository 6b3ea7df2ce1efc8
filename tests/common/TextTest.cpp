#include <gtest/gtest.h>

#include "common/Text.h"

TEST(Text, LabelPadsTo25) {
  EXPECT_EQ(karvo::Label("PortName", 25), "PortName                 : ");
  EXPECT_EQ(karvo::Label("PortName", 25).size(), 27u);
}
