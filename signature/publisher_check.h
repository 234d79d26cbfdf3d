// The publisher signature check and its signing side, in one portable place
// that the launcher, gamewrap and gamewrap.exe all call: they differ only in
// how they read the files and which P-256 implementation they link.
#pragma once

#include <cstdint>
#include <string_view>

#include "payload/key_block.h"
#include "signature/p256.h"
#include "signature/publisher_signature.h"

namespace signature {

enum class PublisherCheck {
  Verified,
  BadFile,      // the .psig bytes break the grammar (or exceed the size bound)
  UnknownKey,   // the key id names no entry of the key block
  NotVerified,  // the signature does not verify, or the P-256 implementation failed
};

// Checks `signatureFile` (the .psig file's bytes: pass at most
// kPublisherSignatureFileMaxSize + 1 of them, so that a longer file is
// refused) against `block` for `document` under `buildIdentifier`. The key
// and the algorithm come from the block only.
PublisherCheck VerifyPublisherSignature(const payload::KeyBlock& block,
                                        std::int32_t buildIdentifier, std::string_view document,
                                        std::string_view signatureFile);

// The .psig file's text for `document` under `buildIdentifier`, signed with
// `key`. False when a P-256 call fails.
bool MakePublisherSignatureFile(const P256PrivateKey& key, std::int32_t buildIdentifier,
                                std::string_view document, std::string& text);

// The key block entry for `publicPoint`. False when hashing fails.
bool PublisherKeyEntryOf(const P256Point& publicPoint, payload::PublisherKeyEntry& entry);

// The text for messages: "PublisherCheck::..." as a short phrase.
const char* PublisherCheckText(PublisherCheck check);

}  // namespace signature
