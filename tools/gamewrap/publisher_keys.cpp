#include "tools/gamewrap/publisher_keys.h"

#include "signature/publisher_check.h"
#include "signature/publisher_key_files.h"
#include "tools/gamewrap/file_io.h"

namespace gamewrap {

std::string KeySourceName(const std::string& source) {
  if (source == "-") return "standard input";
  if (source.compare(0, 4, "env:") == 0) return "environment variable '" + source.substr(4) + "'";
  return "key file '" + source + "'";
}

bool ReadPublisherPublicKey(const std::string& path, payload::PublisherKeyEntry& entry,
                            std::string& error) {
  std::string text;
  if (!ReadWholeFile(path, text, error)) return false;
  signature::P256Point point{};
  const ReadResult read = signature::ParsePublisherPublicKey(text, point);
  if (!read.ok) {
    error = "public key file '" + path + "': " + read.message;
    return false;
  }
  if (!signature::PublisherKeyEntryOf(point, entry)) {
    error = "public key file '" + path + "': cannot compute its key id";
    return false;
  }
  return true;
}

bool ReadPublisherPrivateKey(const std::string& source, signature::P256PrivateKey& key,
                             std::string& error) {
  std::string text;
  if (!ReadKeyText(source, signature::kPublisherKeyFileMaxSize, text, error)) return false;
  const ReadResult read = signature::ParsePublisherPrivateKey(text, key);
  if (!read.ok) {
    error = KeySourceName(source) + ": " + read.message;
    return false;
  }
  return true;
}

std::string KeyIdHex(const payload::KeyId& keyId) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : keyId) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0xFu];
  }
  return hex;
}

}  // namespace gamewrap
