#include "signature/publisher_check.h"

#include <optional>
#include <string>

namespace signature {

static_assert(sizeof(payload::KeyId) == sizeof(PublisherKeyId), "key ids are the same size");
static_assert(sizeof(payload::PublicPoint) == sizeof(P256Point), "points are the same size");

PublisherCheck VerifyPublisherSignature(const payload::KeyBlock& block,
                                        std::int32_t buildIdentifier, std::string_view document,
                                        std::string_view signatureFile) {
  const std::optional<PublisherSignatureFile> file = ParsePublisherSignatureFile(signatureFile);
  if (!file) return PublisherCheck::BadFile;
  const payload::PublisherKeyEntry* entry = block.Find(file->keyId);
  if (entry == nullptr) return PublisherCheck::UnknownKey;
  if (entry->algorithm != payload::kKeyAlgorithmP256Sha256) return PublisherCheck::NotVerified;
  const std::string message = PublisherSignedMessage(entry->keyId, buildIdentifier, document);
  return VerifyP256(entry->publicPoint, message, file->signature) ? PublisherCheck::Verified
                                                                  : PublisherCheck::NotVerified;
}

bool MakePublisherSignatureFile(const P256PrivateKey& key, std::int32_t buildIdentifier,
                                std::string_view document, std::string& text) {
  PublisherSignatureFile file;
  if (!PublisherKeyIdOf(key.publicPoint, file.keyId)) return false;
  const std::string message = PublisherSignedMessage(file.keyId, buildIdentifier, document);
  if (!SignP256(key, message, file.signature)) return false;
  text = FormatPublisherSignatureFile(file);
  return true;
}

bool PublisherKeyEntryOf(const P256Point& publicPoint, payload::PublisherKeyEntry& entry) {
  payload::PublisherKeyEntry made;
  if (!PublisherKeyIdOf(publicPoint, made.keyId)) return false;
  made.algorithm = payload::kKeyAlgorithmP256Sha256;
  made.publicPoint = publicPoint;
  entry = made;
  return true;
}

const char* PublisherCheckText(PublisherCheck check) {
  switch (check) {
    case PublisherCheck::Verified:
      return "verified";
    case PublisherCheck::BadFile:
      return "the publisher signature file is not one line \"kova-psig-1 <key id> <signature>\"";
    case PublisherCheck::UnknownKey:
      return "the publisher signature names a key the launcher does not hold";
    case PublisherCheck::NotVerified:
      return "the publisher signature does not verify";
  }
  return "the publisher signature does not verify";
}

}  // namespace signature
