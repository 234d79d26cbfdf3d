#include "properties/document_encoding.h"

#include <cstdio>

#include "common/text_rules.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A declared name longer than this is shown cut, followed by "...".
constexpr std::size_t kShownNameMax = 64;

void SkipWhiteSpace(std::string_view& text) {
  while (!text.empty() && text::IsWhiteSpace(static_cast<unsigned char>(text[0]))) {
    text.remove_prefix(1);
  }
}

// The bytes up to the first white space or byte of `stops`, taken off `text`.
std::string_view TakeToken(std::string_view& text, std::string_view stops) {
  std::size_t end = 0;
  while (end < text.size() && !text::IsWhiteSpace(static_cast<unsigned char>(text[end])) &&
         stops.find(text[end]) == std::string_view::npos) {
    ++end;
  }
  const std::string_view token = text.substr(0, end);
  text.remove_prefix(end);
  return token;
}

// `name` for a one-line message: printable ASCII as it is, every other byte
// as \xHH, cut after kShownNameMax bytes.
std::string Shown(std::string_view name) {
  std::string shown;
  for (std::size_t i = 0; i < name.size() && i < kShownNameMax; ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    }
  }
  return name.size() > kShownNameMax ? shown + "..." : shown;
}

}  // namespace

std::optional<std::string> DeclaredEncoding(std::string_view document) {
  if (document.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    document.remove_prefix(kByteOrderMark.size());
  }
  SkipWhiteSpace(document);
  constexpr std::string_view kOpen = "<?xml";
  if (document.substr(0, kOpen.size()) != kOpen) return std::nullopt;
  std::string_view rest = document.substr(kOpen.size());
  // "<?xml-stylesheet" and the like are other instructions.
  if (!rest.empty() && !text::IsWhiteSpace(static_cast<unsigned char>(rest[0])) &&
      rest.substr(0, 2) != "?>") {
    return std::nullopt;
  }
  // The declaration's attributes, name = value, each value in single or
  // double quotes, until "?>"; anything that is not an attribute ends it.
  for (;;) {
    SkipWhiteSpace(rest);
    const std::string_view name = TakeToken(rest, "=?");
    if (name.empty()) return std::nullopt;
    SkipWhiteSpace(rest);
    if (rest.empty() || rest[0] != '=') return std::nullopt;
    rest.remove_prefix(1);
    SkipWhiteSpace(rest);
    std::string_view value;
    if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
      const std::size_t close = rest.find(rest[0], 1);
      if (close == std::string_view::npos) return std::nullopt;
      value = rest.substr(1, close - 1);
      rest.remove_prefix(close + 1);
    } else {
      value = TakeToken(rest, "?");
    }
    if (name == "encoding") return std::string(value);
  }
}

bool IsUtf8EncodingName(std::string_view name) { return text::UpperCase(name) == "UTF-8"; }

std::string DocumentEncodingWarning(std::string_view document) {
  std::string found;
  if (const std::optional<std::string> declared = DeclaredEncoding(document);
      declared && !IsUtf8EncodingName(*declared)) {
    found = "declares the encoding \"" + Shown(*declared) + "\"";
  }
  if (const std::size_t offset = text::FirstNonUtf8Offset(document);
      offset != std::string_view::npos) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(document[offset]));
    found += (found.empty() ? "" : ", and ") + std::string("byte ") + byte + " at offset " +
             std::to_string(offset) + " is not UTF-8";
  }
  if (found.empty()) return found;
  return found +
         "; games get the values' bytes as they stand, and the C# binding decodes them as UTF-8";
}
