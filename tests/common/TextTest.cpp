#include <gtest/gtest.h>

#include <string>

#include "common/SystemError.h"
#include "common/Text.h"

TEST(Text, LabelPadsTo25) {
  EXPECT_EQ(karvo::Label("PortName", 25), "PortName                 : ");
  EXPECT_EQ(karvo::Label("PortName", 25).size(), 27u);
}

// Inside the program text is UTF-8 on every platform; wide text is UTF-32
// on Linux and UTF-16 on Windows, so a character beyond U+FFFF is one wide
// character there and a pair of surrogates here.
TEST(Text, WideAndUtf8TextRoundTrip) {
  const struct {
    std::wstring wide;
    std::string utf8;
  } cases[] = {
      {L"Ofen\u00e4 \u00baC",
       "Ofen\xC3\xA4 \xC2\xBA"
       "C"},
      {L"1\u066B5",
       "1\xD9\xAB"
       "5"},  // the Arabic decimal separator
      {L"\u20ac \U0001F525", "\xE2\x82\xAC \xF0\x9F\x94\xA5"},
      {L"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(karvo::WideToUtf8(c.wide), c.utf8) << c.utf8;
    EXPECT_EQ(karvo::Utf8ToWide(c.utf8), c.wide) << c.utf8;
  }
  // Wide text that is no character: a lone surrogate.
  EXPECT_EQ(karvo::WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x"), "?x");
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
    EXPECT_EQ(karvo::Utf8ToWide(c.bytes), c.wide) << c.bytes;
  }
}

// The code page is met only at the edges; what it can hold comes back.
TEST(Text, TheSystemCodePageRoundTripsAsciiAndUtf8) {
  EXPECT_EQ(karvo::SystemToUtf8(karvo::Utf8ToSystem("COM3 1,5")), "COM3 1,5");
  EXPECT_EQ(karvo::SystemToWide(karvo::WideToSystem(L"COM3")), L"COM3");
  EXPECT_EQ(karvo::PathText(karvo::PathFromUtf8("Ofen\xC3\xA4.csv")), "Ofen\xC3\xA4.csv");
  EXPECT_EQ(karvo::PathText(karvo::PathFromWide(L"Ofen\u00e4.csv")), "Ofen\xC3\xA4.csv");
}

// The system's texts for its error codes, as messages quote them: UTF-8,
// without the line end or the final full stop of the system's sentence.
TEST(Text, SystemErrorTextsEndWithoutLineEndOrFullStop) {
  for (const unsigned long code : {2ul, 5ul, 13ul, 32ul}) {
    const std::string text = karvo::SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_NE(text.back(), '\n') << text;
    EXPECT_NE(text.back(), '\r') << text;
    EXPECT_NE(text.back(), ' ') << text;
    EXPECT_EQ(karvo::WideToUtf8(karvo::Utf8ToWide(text)), text) << "not UTF-8: " << text;
  }
}
