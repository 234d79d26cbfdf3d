#include "signature/publisher_signature.h"

#include <algorithm>

namespace signature {

namespace {

constexpr char kMessagePrefix[] = "kova-partner-v1";  // and its NUL: 16 bytes
constexpr std::size_t kMessagePrefixSize = sizeof(kMessagePrefix);
static_assert(kMessagePrefixSize == 16, "the message starts with 15 letters and a NUL");

constexpr char kFileTag[] = "kova-psig-1";
constexpr std::size_t kFileTagLength = sizeof(kFileTag) - 1;
constexpr std::size_t kKeyIdDigits = 2 * kPublisherKeyIdSize;     // 16
constexpr std::size_t kSignatureDigits = 2 * kP256SignatureSize;  // 128
// "kova-psig-1 " key id, " ", signature: the line without its end.
constexpr std::size_t kLineLength = kFileTagLength + 1 + kKeyIdDigits + 1 + kSignatureDigits;
static_assert(kLineLength + 2 <= kPublisherSignatureFileMaxSize, "a whole file fits the bound");

void AppendLe(std::string& out, std::uint64_t value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

// Lower-case digits only.
int LowerHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

template <std::size_t N>
bool ReadLowerHex(std::string_view digits, std::array<std::uint8_t, N>& out) {
  if (digits.size() != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    const int high = LowerHexValue(digits[2 * i]);
    const int low = LowerHexValue(digits[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

template <std::size_t N>
void AppendLowerHex(std::string& out, const std::array<std::uint8_t, N>& bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  for (const std::uint8_t byte : bytes) {
    out.push_back(kDigits[byte >> 4]);
    out.push_back(kDigits[byte & 0xFu]);
  }
}

}  // namespace

bool PublisherKeyIdOf(const P256Point& publicPoint, PublisherKeyId& keyId) {
  Sha256Digest digest{};
  if (!Sha256(
          std::string_view(reinterpret_cast<const char*>(publicPoint.data()), publicPoint.size()),
          digest)) {
    return false;
  }
  std::copy_n(digest.begin(), keyId.size(), keyId.begin());
  return true;
}

std::string PublisherSignedMessage(const PublisherKeyId& keyId, std::int32_t buildIdentifier,
                                   std::string_view document) {
  std::string message;
  message.reserve(kMessagePrefixSize + keyId.size() + 4 + 8 + document.size());
  message.append(kMessagePrefix, kMessagePrefixSize);
  message.append(reinterpret_cast<const char*>(keyId.data()), keyId.size());
  AppendLe(message, static_cast<std::uint32_t>(buildIdentifier), 4);
  AppendLe(message, static_cast<std::uint64_t>(document.size()), 8);
  message.append(document);
  return message;
}

std::optional<PublisherSignatureFile> ParsePublisherSignatureFile(std::string_view bytes) {
  if (bytes.size() > kPublisherSignatureFileMaxSize) return std::nullopt;
  std::string_view line = bytes;
  if (line.size() == kLineLength + 2 && line.substr(kLineLength) == "\r\n") {
    line.remove_suffix(2);
  } else if (line.size() == kLineLength + 1 && line[kLineLength] == '\n') {
    line.remove_suffix(1);
  }
  if (line.size() != kLineLength) return std::nullopt;
  if (line.substr(0, kFileTagLength) != kFileTag || line[kFileTagLength] != ' ' ||
      line[kFileTagLength + 1 + kKeyIdDigits] != ' ') {
    return std::nullopt;
  }
  PublisherSignatureFile file;
  if (!ReadLowerHex(line.substr(kFileTagLength + 1, kKeyIdDigits), file.keyId) ||
      !ReadLowerHex(line.substr(kFileTagLength + 1 + kKeyIdDigits + 1), file.signature)) {
    return std::nullopt;
  }
  return file;
}

std::string FormatPublisherSignatureFile(const PublisherSignatureFile& file) {
  std::string text(kFileTag);
  text.push_back(' ');
  AppendLowerHex(text, file.keyId);
  text.push_back(' ');
  AppendLowerHex(text, file.signature);
  text.push_back('\n');
  return text;
}

}  // namespace signature
