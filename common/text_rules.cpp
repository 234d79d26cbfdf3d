#include "common/text_rules.h"

namespace text {

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& byte : upper) byte = UpperCaseLetter(byte);
  return upper;
}

std::string DirectoryOfPath(std::string_view path) {
  const std::string_view::size_type separator = path.find_last_of("\\/");
  return std::string(separator == std::string_view::npos ? path : path.substr(0, separator));
}

std::size_t Utf8SequenceLength(std::string_view bytes) {
  if (bytes.empty()) return 0;
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;  // a continuation byte, C0, C1 (overlong), F5 and up
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  return length;
}

std::size_t FirstNonUtf8Offset(std::string_view bytes) {
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    const std::size_t length = Utf8SequenceLength(bytes.substr(offset));
    if (length == 0) return offset;
    offset += length;
  }
  return std::string_view::npos;
}

}  // namespace text
