#include "common/Text.h"

namespace karvo {

namespace {

constexpr bool kUtf16 = sizeof(wchar_t) == 2;

}  // namespace

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<char32_t>(text[i]);
    // Where wide text is UTF-16 (Windows), a pair of surrogates is one
    // character.
    if (kUtf16 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const auto low = static_cast<char32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = U'?';
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Overlong forms, surrogates and code points above U+10FFFF are not well
// formed: the second byte's range rules them out.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) return 1;
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    if (b == 0xE0) lo = 0xA0;  // overlong below U+0800
    if (b == 0xED) hi = 0x9F;  // surrogates U+D800..U+DFFF
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    if (b == 0xF0) lo = 0x90;  // overlong below U+10000
    if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - i < n) return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (second < lo || second > hi) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return n;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = Utf8SequenceLength(text, i);
    if (n == 0) {
      out += L'\uFFFD';  // not UTF-8: one replacement character per bad byte
      ++i;
      continue;
    }
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t c = static_cast<unsigned char>(text[i]) & kLeadBits[n];
    for (std::size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (kUtf16 && c > 0xFFFF) {
      out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(c);
    }
    i += n;
  }
  return out;
}

std::string Label(std::string_view label, std::size_t width) {
  std::string s(label);
  if (s.size() < width) s.append(width - s.size(), ' ');
  s += ": ";
  return s;
}

}  // namespace karvo
