#include "launcher/temp_file_name.h"

#include <cstdio>

#include "common/text_rules.h"

std::string LauncherTempFileName(unsigned number) {
  char name[16];
  std::snprintf(name, sizeof(name), "tmb%04X.tmp", number & 0xFFFFu);
  return name;
}

bool IsLauncherTempFileName(std::string_view name) {
  if (name.size() != 11 || name.substr(0, 3) != "tmb" || name[7] != '.') return false;
  for (std::size_t i = 3; i < 7; ++i) {
    if (!text::IsUpperHexDigit(name[i])) return false;
  }
  for (std::size_t i = 8; i < 11; ++i) {
    const char lower = static_cast<char>(name[i] | 0x20);  // letters only: 't','m','p'
    if (lower != "tmp"[i - 8]) return false;
  }
  return true;
}
