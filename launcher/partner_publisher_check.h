// The publisher signature check of a partner document, made after the
// document's own signature file has proved it: the publisher's key comes from
// the launcher's key block alone, the signature from the .psig file beside
// the document. Portable: the file is read here, the check itself is
// signature::VerifyPublisherSignature, which the tool makes too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "payload/key_block.h"

// Reads at most signature::kPublisherSignatureFileMaxSize bytes of
// `documentPath` + ".psig" and gives true only when they are a well-formed
// signature file whose key id names an entry of `keys` and whose signature,
// by that entry's key, verifies over the signed message of `document` (the
// bytes as read, the same ones that are then parsed) under `buildIdentifier`.
// Everything else (no file, a read error, bad grammar, an unknown key id, an
// entry of another algorithm, any failure of the cryptography) gives false.
bool CheckPublisherSignature(const std::string& documentPath, std::string_view document,
                             std::int32_t buildIdentifier, const payload::KeyBlock& keys);
