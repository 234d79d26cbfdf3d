// Small rules about bytes and texts that several parts of the system share.
// All texts are byte strings; no character encoding is interpreted, except
// where a rule below says it tells UTF-8 from other bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Tab, line feed, vertical tab, form feed, carriage return and space.
constexpr bool IsWhiteSpace(unsigned char byte) {
  return byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
}

constexpr bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// The value of a hexadecimal digit in either case, or -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr bool IsHexDigit(char c) { return HexDigitValue(c) >= 0; }

// 0-9 and A-F only.
constexpr bool IsUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// The upper-case hexadecimal digit of the low four bits of `value`.
constexpr char UpperHexDigit(unsigned value) { return "0123456789ABCDEF"[value & 0xFu]; }

// 'a'..'z' to 'A'..'Z'; every other byte, those from 0x80 up included, stays.
constexpr char UpperCaseLetter(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A copy of `text` with each byte passed through UpperCaseLetter.
std::string UpperCase(std::string_view text);

// The text before the last '\' or '/' of `path`; the whole path when it holds
// neither.
std::string DirectoryOfPath(std::string_view path);

// The length (1 to 4) of the valid UTF-8 sequence at the start of `bytes`, or
// 0 when `bytes` is empty or does not start with one. Strict: overlong forms,
// surrogates (U+D800..U+DFFF), values past U+10FFFF and sequences cut short
// are not valid.
std::size_t Utf8SequenceLength(std::string_view bytes);

// The offset of the first byte of `bytes` that is not part of a valid UTF-8
// sequence by the rule above, or std::string_view::npos when every byte is.
std::size_t FirstNonUtf8Offset(std::string_view bytes);

}  // namespace text
