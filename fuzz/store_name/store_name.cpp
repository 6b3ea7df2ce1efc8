// The store's value names on Linux, where each value is a file named after
// its value name. Whatever the name, its file name stays inside the store's
// folder (not empty, no "/", no NUL, not "." or ".."), never hides (no
// leading "."), is written only with A-Z a-z 0-9 _ - . and %XX, and decodes
// back to the same name. File names that other programs put into the
// folder decode to text that encodes to a file name of that kind and back.
//
// Input: one byte choosing how the rest is taken, then the rest:
//   0  the bytes of a name as it arrives in 8-bit text (the command line, a
//      name box's text in the system code page);
//   1  a wide name, four bytes a character, any value (code points that
//      are no characters become "?", as the system code page makes them);
//   2  a file name found in the folder.

#include <cstring>
#include <string>

#include "common/Text.h"
#include "fuzz/FuzzInput.h"
#include "supervisor/store/KarvoRegistry.h"

using karvo::fuzz::Input;

namespace {

bool IsScalarValue(wchar_t c) {
  const auto v = static_cast<std::uint32_t>(c);
  return v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF);
}

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool IsPlain(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
}

// A file name that stays inside the folder and shows.
void CheckFileName(const std::string& file) {
  FUZZ_CHECK(!file.empty());
  FUZZ_CHECK(file[0] != '.');
  FUZZ_CHECK(file.find('/') == std::string::npos && file.find('\0') == std::string::npos);
  for (std::size_t i = 0; i < file.size(); ++i) {
    if (file[i] == '%' && file.size() > 1) {
      FUZZ_CHECK(i + 2 < file.size() && IsHexDigit(file[i + 1]) && IsHexDigit(file[i + 2]));
      i += 2;
    } else {
      FUZZ_CHECK(IsPlain(file[i]) || file == "%");
    }
  }
}

// UTF-8 decoded as the Unicode standard defines it, byte range by byte
// range (no overlong forms, no surrogates, nothing above U+10FFFF); every
// byte that starts no well-formed sequence becomes U+FFFD.
std::wstring ReferenceDecode(const std::string& s, bool& wellFormed) {
  std::wstring out;
  wellFormed = true;
  const auto in = [&](std::size_t k, unsigned lo, unsigned hi) {
    return k < s.size() && static_cast<unsigned char>(s[k]) >= lo && static_cast<unsigned char>(s[k]) <= hi;
  };
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (b <= 0x7F) {
      n = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = in(i + 1, 0x80, 0xBF) ? 2 : 0;
    } else if (b == 0xE0) {
      n = in(i + 1, 0xA0, 0xBF) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
      n = in(i + 1, 0x80, 0xBF) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    } else if (b == 0xED) {
      n = in(i + 1, 0x80, 0x9F) && in(i + 2, 0x80, 0xBF) ? 3 : 0;
    } else if (b == 0xF0) {
      n = in(i + 1, 0x90, 0xBF) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    } else if (b >= 0xF1 && b <= 0xF3) {
      n = in(i + 1, 0x80, 0xBF) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    } else if (b == 0xF4) {
      n = in(i + 1, 0x80, 0x8F) && in(i + 2, 0x80, 0xBF) && in(i + 3, 0x80, 0xBF) ? 4 : 0;
    }
    if (n == 0) {
      out += L'\uFFFD';
      wellFormed = false;
      ++i;
      continue;
    }
    // The payload bits: 7 of a single byte, then 11, 16 or 21 in all.
    std::uint32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
    for (std::size_t k = 1; k < n; ++k) c = c * 64 + (static_cast<unsigned char>(s[i + k]) - 0x80);
    out += static_cast<wchar_t>(c);
    i += n;
  }
  return out;
}

// A name stored and found again under the same name.
void CheckRoundTrip(const std::wstring& name) {
  const std::string file = karvo::EncodeStoreName(name);
  CheckFileName(file);
  FUZZ_CHECK(karvo::DecodeStoreName(file) == name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t choice = in.Byte() % 3;
  const std::vector<std::uint8_t> rest = in.Rest();
  const std::string bytes(rest.begin(), rest.end());

  if (choice == 0) {
    // Text arriving as 8-bit bytes holds characters only (bytes that are no
    // UTF-8 become U+FFFD), and well-formed text comes back byte for byte.
    const std::wstring name = karvo::Utf8ToWide(bytes);
    bool wellFormed = false;
    FUZZ_CHECK(name == ReferenceDecode(bytes, wellFormed));
    for (wchar_t c : name) FUZZ_CHECK(IsScalarValue(c));
    if (wellFormed) FUZZ_CHECK(karvo::WideToUtf8(name) == bytes);
    CheckRoundTrip(name);
  } else if (choice == 1) {
    std::wstring name, stored;
    for (std::size_t i = 0; i + 4 <= rest.size(); i += 4) {
      std::uint32_t v;
      std::memcpy(&v, rest.data() + i, 4);
      name += static_cast<wchar_t>(v);
      stored += IsScalarValue(static_cast<wchar_t>(v)) ? static_cast<wchar_t>(v) : L'?';
    }
    const std::string file = karvo::EncodeStoreName(name);
    CheckFileName(file);
    FUZZ_CHECK(karvo::DecodeStoreName(file) == stored);
  } else {
    const std::wstring name = karvo::DecodeStoreName(bytes);
    for (wchar_t c : name) FUZZ_CHECK(IsScalarValue(c));
    CheckRoundTrip(name);
  }
  return 0;
}
