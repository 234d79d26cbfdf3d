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

}  // namespace text
