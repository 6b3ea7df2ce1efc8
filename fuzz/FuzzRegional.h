#pragma once
// Regional settings for the number targets, chosen by one byte of the input:
// the decimal separators systems use (".", ",", the Arabic "٫"), or any one
// to three bytes of the input.

#include <string>

#include "common/Regional.h"
#include "fuzz/FuzzInput.h"

namespace karvo::fuzz {

struct FuzzedRegional {
  TRegionalSettings settings;
  // The separator is one a system uses: text and numbers can be compared
  // with the C library's.
  bool usual = true;
};

inline FuzzedRegional RegionalFrom(Input& in) {
  static const char* const kSeparators[] = {".", ",", "\xD9\xAB"};
  static const char* const kGrouping[] = {",", ".", " ", "\xC2\xA0"};
  FuzzedRegional r;
  const std::uint8_t choice = in.Byte();
  r.settings.thousandSeparator = kGrouping[(choice >> 2) % 4];
  if ((choice & 3) < 3) {
    r.settings.decimalSeparator = kSeparators[choice & 3];
  } else {
    const std::vector<std::uint8_t> bytes = in.Bytes(in.Byte() % 4);
    r.settings.decimalSeparator.assign(bytes.begin(), bytes.end());
    r.usual = false;
  }
  return r;
}

}  // namespace karvo::fuzz
