#include "launcher/payload_format.h"

#include "common/text_rules.h"

namespace payload {

namespace {
// Writes the first character through a volatile so that the optimiser cannot
// fold the complete search text into the program's constant data.
std::string WithFirstChar(const char* disguised, char first) {
  std::string text(disguised);
  volatile char restored = first;
  text[0] = restored;
  return text;
}
}  // namespace

std::string PayloadMarker() { return WithFirstChar(kDisguisedMarker, kMarkerFirstChar); }
std::string BuildInfoText() { return WithFirstChar(kDisguisedBuildInfo, kBuildInfoFirstChar); }

bool IsBuildIdField(std::string_view field) {
  if (field.size() != kBuildIdLength) return false;
  for (const char c : field) {
    if (!text::IsDecimalDigit(c)) return false;
  }
  return true;
}

std::int32_t BuildIdFromField(std::string_view field) {
  field = field.substr(0, kBuildIdLength);
  std::size_t i = 0;
  while (i < field.size() && text::IsWhiteSpace(static_cast<unsigned char>(field[i]))) ++i;
  bool negative = false;
  if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  std::int32_t value = 0;  // at most eight digits: cannot overflow
  for (; i < field.size() && text::IsDecimalDigit(field[i]); ++i) value = value * 10 + (field[i] - '0');
  return negative ? -value : value;
}

bool ParseBuildIdArgument(std::string_view text, std::int32_t& buildId) {
  if (text.empty() || text.size() > kBuildIdLength) return false;
  std::int32_t value = 0;
  for (const char c : text) {
    if (!text::IsDecimalDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  buildId = value;
  return true;
}

std::string FormatBuildIdField(std::int32_t buildId) {
  std::string field(kBuildIdLength, '0');
  for (std::size_t i = kBuildIdLength; i-- > 0 && buildId > 0; buildId /= 10) {
    field[i] = static_cast<char>('0' + buildId % 10);
  }
  return field;
}

std::string MakeHeader(std::string_view buildIdField) {
  std::string header(kHeaderSize, '\0');
  header.replace(0, kBuildInfoLength, BuildInfoText());
  header.replace(kBuildIdOffset, kBuildIdLength, buildIdField.substr(0, kBuildIdLength));
  header.resize(kHeaderSize, '\0');
  return header;
}

std::string MakeAppendedData(std::string_view buildIdField, std::string_view game) {
  std::string data = PayloadMarker() + MakeHeader(buildIdField);
  data.append(game);
  return data;
}

bool ParseHeader(std::string_view block, HeaderFields& fields) {
  if (block.size() < kHeaderSize) return false;
  if (block.substr(0, kBuildInfoLength) != BuildInfoText()) return false;
  fields.buildIdField = std::string(block.substr(kBuildIdOffset, kBuildIdLength));
  return true;
}

}  // namespace payload
