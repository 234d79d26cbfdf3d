// Signed hexadecimal text for BigInt values in tests: "-1F", "0".
#pragma once

#include <string>
#include <string_view>

#include "signature/big_int.h"

namespace testsupport {

inline std::string ToHex(const BigInt& value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  if (value.DigitCount() == 0) return value.IsNegative() ? "-0" : "0";
  std::string text;
  for (std::int32_t i = value.DigitCount() - 1; i >= 0; --i) {
    const BigInt::Digit digit = value.GetDigit(i);
    for (int shift = 12; shift >= 0; shift -= 4) text += kDigits[(digit >> shift) & 0xF];
  }
  text.erase(0, text.find_first_not_of('0'));
  return (value.IsNegative() ? "-" : "") + text;
}

// Reads ToHex's form back; a leading '-' negates.
inline BigInt FromHex(std::string_view text) {
  if (!text.empty() && text.front() == '-') return -BigInt(text.substr(1));
  return BigInt(text);
}

}  // namespace testsupport
