#include <gtest/gtest.h>

#include "common/Text.h"

// The 8-bit system text is UTF-8 here, so every character survives.
TEST(Text, WideAndSystemTextRoundTrip) {
  const std::wstring w = L"Ofen \u00b0C \u20ac \U0001F525";
  EXPECT_EQ(karvo::SystemToWide(karvo::WideToSystem(w)), w);
}

// Text from other programs (names, values) is taken as UTF-8 only where it is
// well formed: every other byte becomes one U+FFFD, so the wide text holds
// characters only.
TEST(Text, BytesThatAreNoUtf8BecomeReplacementCharacters) {
  const struct {
    std::string bytes;
    std::wstring wide;
  } cases[] = {
      {"a\xC3\xA9", L"a\u00e9"},
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF"},
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // "/" written overlong
      {"\xE0\x80\xAE", L"\uFFFD\uFFFD\uFFFD"},            // "." written overlong
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xF7\xA8\xA0\x99", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xE2\x82", L"\uFFFD\uFFFD"},  // cut short
      {"\x80x", L"\uFFFDx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(karvo::SystemToWide(c.bytes), c.wide) << c.bytes;
  }
}
