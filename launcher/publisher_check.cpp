#include "launcher/publisher_check.h"

#include <cstdio>
#include <optional>

#include "common/unique_file.h"
#include "signature/p256.h"
#include "signature/publisher_signature.h"

namespace {

// The file's first bytes, up to the reader's bound; false when it cannot be
// opened or read. Longer files are cut there and then fail the grammar.
bool ReadBoundedSignatureFile(const std::string& path, std::string& bytes) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  bytes.assign(signature::kPublisherSignatureFileMaxSize, '\0');
  const std::size_t got = std::fread(&bytes[0], 1, bytes.size(), file.get());
  if (std::ferror(file.get()) != 0) return false;
  bytes.resize(got);
  return true;
}

}  // namespace

bool CheckPublisherSignature(const std::string& documentPath, std::string_view document,
                             std::int32_t buildIdentifier, const payload::KeyBlock& keys) {
  std::string fileBytes;
  if (!ReadBoundedSignatureFile(documentPath + signature::kPublisherSignatureSuffix, fileBytes)) {
    return false;
  }
  const std::optional<signature::PublisherSignatureFile> file =
      signature::ParsePublisherSignatureFile(fileBytes);
  if (!file) return false;
  const payload::PublisherKeyEntry* entry = keys.Find(file->keyId);
  if (entry == nullptr || entry->algorithm != payload::kKeyAlgorithmP256Sha256) return false;
  // The message names the key id of the entry, which Find matched.
  const std::string message =
      signature::PublisherSignedMessage(entry->keyId, buildIdentifier, document);
  return signature::VerifyP256(entry->publicPoint, message, file->signature);
}
