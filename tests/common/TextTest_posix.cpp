#include <gtest/gtest.h>

#include "common/Text.h"

// The 8-bit system text is UTF-8 here, so every character survives.
TEST(Text, WideAndSystemTextRoundTrip) {
  const std::wstring w = L"Ofen \u00b0C \u20ac \U0001F525";
  EXPECT_EQ(karvo::SystemToWide(karvo::WideToSystem(w)), w);
}
