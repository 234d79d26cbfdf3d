// Bytes in the test game's record and script, where a name or a value may
// hold any byte (a NUL, a line break, a trailing blank): two hexadecimal
// digits a byte.
#pragma once

#include <string>
#include <string_view>

#include "common/text_rules.h"

namespace testgame {

inline std::string HexOfBytes(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    hex += kDigits[value >> 4];
    hex += kDigits[value & 0xF];
  }
  return hex;
}

// False, with `bytes` unspecified, when `hex` is not whole pairs of digits.
inline bool BytesOfHex(std::string_view hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t at = 0; at < hex.size(); at += 2) {
    const int high = text::HexDigitValue(hex[at]);
    const int low = text::HexDigitValue(hex[at + 1]);
    if (high < 0 || low < 0) return false;
    bytes += static_cast<char>(high << 4 | low);
  }
  return true;
}

}  // namespace testgame
