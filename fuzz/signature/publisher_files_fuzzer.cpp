// The publisher signature's readers of outside bytes on arbitrary input: the
// .psig file, the two key files and the key block. None crashes, and what
// each accepts, written again, reads back the same.
//
// Input: 1 selector byte (its value modulo 4: .psig file, private key file,
// public key file, key block), then the bytes for that reader.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "payload/key_block.h"
#include "signature/publisher_key_files.h"
#include "signature/publisher_signature.h"

namespace {

void SignatureFile(std::string_view bytes) {
  const auto file = signature::ParsePublisherSignatureFile(bytes);
  if (!file) return;
  fuzzcheck::Check(bytes.size() <= signature::kPublisherSignatureFileMaxSize);
  const std::string text = signature::FormatPublisherSignatureFile(*file);
  // The reader takes only the one line, with or without its end.
  fuzzcheck::Check(bytes.substr(0, text.size() - 1) ==
                   std::string_view(text).substr(0, text.size() - 1));
  const auto again = signature::ParsePublisherSignatureFile(text);
  fuzzcheck::Check(again && again->keyId == file->keyId && again->signature == file->signature);
}

void PrivateKeyFile(std::string_view bytes) {
  signature::P256PrivateKey key;
  const ReadResult read = signature::ParsePublisherPrivateKey(bytes, key);
  if (!read.ok) {
    fuzzcheck::Check(!read.message.empty());
    return;
  }
  signature::P256PrivateKey again;
  fuzzcheck::Check(
      signature::ParsePublisherPrivateKey(signature::FormatPublisherPrivateKey(key), again).ok);
  fuzzcheck::Check(again.scalar == key.scalar && again.publicPoint == key.publicPoint);
}

void PublicKeyFile(std::string_view bytes) {
  signature::P256Point point{};
  const ReadResult read = signature::ParsePublisherPublicKey(bytes, point);
  if (!read.ok) {
    fuzzcheck::Check(!read.message.empty());
    return;
  }
  signature::P256Point again{};
  fuzzcheck::Check(
      signature::ParsePublisherPublicKey(signature::FormatPublisherPublicKey(point), again).ok);
  fuzzcheck::Check(again == point);
}

void KeyBlock(std::string_view bytes) {
  payload::KeyBlock block;
  if (payload::ParseKeyBlock(bytes, block) != payload::KeyBlockStatus::Intact) return;
  fuzzcheck::Check(!block.entries.empty() && block.entries.size() <= payload::kKeyBlockMaxEntries);
  payload::KeyBlock again;
  fuzzcheck::Check(payload::ParseKeyBlock(payload::MakeKeyBlock(block), again) ==
                   payload::KeyBlockStatus::Intact);
  fuzzcheck::Check(again.requiresPublisherSignature == block.requiresPublisherSignature &&
                   again.entries.size() == block.entries.size());
  for (std::size_t i = 0; i < block.entries.size(); ++i) {
    fuzzcheck::Check(again.entries[i].keyId == block.entries[i].keyId &&
                     again.entries[i].publicPoint == block.entries[i].publicPoint);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 4) {
    case 0:
      SignatureFile(bytes);
      break;
    case 1:
      PrivateKeyFile(bytes);
      break;
    case 2:
      PublicKeyFile(bytes);
      break;
    default:
      KeyBlock(bytes);
      break;
  }
  return 0;
}
