#include "tests/e2e/harness/publisher_files.h"

#include "payload/payload_format.h"

namespace e2e {

namespace {

template <std::size_t Size>
std::array<std::uint8_t, Size> FromHex(const char* hex) {
  std::array<std::uint8_t, Size> bytes{};
  const std::string text(hex);
  for (std::size_t i = 0; i < Size && 2 * i + 1 < text.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

signature::P256PrivateKey KeyFromHex(const char* scalar, const char* point) {
  signature::P256PrivateKey key;
  key.scalar = FromHex<signature::kP256CoordinateSize>(scalar);
  key.publicPoint = FromHex<signature::kP256PointSize>(point);
  return key;
}

}  // namespace

const signature::P256PrivateKey& CurrentPublisherKey() {
  static const signature::P256PrivateKey key =
      KeyFromHex("e220c73d8bdcc6a2584f15ed37c12f34b215cc9039430591fda1399799d307f0",
                 "c9b639cee8525e80179df72a756b2fad8c1f8a2293cba59ba316052de9af50a8"
                 "f634972cf443cf9e1ccdd64ca34de0e22ac7fcc15005ffc853bf6de853a4aed6");
  return key;
}

const signature::P256PrivateKey& NextPublisherKey() {
  static const signature::P256PrivateKey key =
      KeyFromHex("4bdffb60dd1e170a4fb2a5db0630dc40e6719f3f1af2e63c32098a9c9080895a",
                 "f84cb89a6d62f5bc4d1de36356348b07a8340876bc02f8b4fbac8cb493d89860"
                 "193fff56a537c0a05820916d625b35b8f9996b9345240bf448d48c65945e5f51");
  return key;
}

signature::PublisherKeyId KeyIdOf(const signature::P256Point& publicPoint) {
  signature::PublisherKeyId keyId{};
  signature::PublisherKeyIdOf(publicPoint, keyId);
  return keyId;
}

payload::KeyBlock KeyBlockNaming(const std::vector<signature::P256Point>& points) {
  payload::KeyBlock block;
  block.requiresPublisherSignature = true;
  for (const signature::P256Point& point : points) {
    payload::PublisherKeyEntry entry;
    entry.keyId = KeyIdOf(point);
    entry.algorithm = payload::kKeyAlgorithmP256Sha256;
    entry.publicPoint = point;
    block.entries.push_back(entry);
  }
  return block;
}

std::string MakeKeyedAppendedData(const std::string& buildIdField, const std::string& game,
                                  const std::string& keyBlockBytes) {
  std::string appended = payload::MakeRecordedAppendedData(buildIdField, game);
  appended.replace(payload::kMarkerLength + payload::kKeyBlockOffset, keyBlockBytes.size(),
                   keyBlockBytes);
  return appended;
}

bool MakePublisherSignatureText(const signature::P256PrivateKey& key, std::int32_t buildId,
                                const std::string& document, std::string& text) {
  return MakePublisherSignatureText(key, KeyIdOf(key.publicPoint), buildId, document, text);
}

bool MakePublisherSignatureText(const signature::P256PrivateKey& key,
                                const signature::PublisherKeyId& keyId, std::int32_t buildId,
                                const std::string& document, std::string& text) {
  signature::PublisherSignatureFile file;
  file.keyId = keyId;
  if (!signature::SignP256(key, signature::PublisherSignedMessage(keyId, buildId, document),
                           file.signature)) {
    return false;
  }
  text = signature::FormatPublisherSignatureFile(file);
  return true;
}

}  // namespace e2e
