#include "launcher/partner_publisher_check.h"

#include <cstdio>

#include "common/unique_file.h"
#include "signature/publisher_check.h"
#include "signature/publisher_signature.h"

namespace {

// The file's first bytes, up to the reader's bound; false when it cannot be
// opened or read. A longer file is cut there, and what is read then fails the
// grammar, whose one line is far shorter.
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
  return signature::VerifyPublisherSignature(keys, buildIdentifier, document, fileBytes) ==
         signature::PublisherCheck::Verified;
}
