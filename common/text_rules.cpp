#include "common/text_rules.h"

namespace text {

std::string DirectoryOfPath(std::string_view path) {
  const std::string_view::size_type separator = path.find_last_of("\\/");
  return std::string(separator == std::string_view::npos ? path : path.substr(0, separator));
}

}  // namespace text
