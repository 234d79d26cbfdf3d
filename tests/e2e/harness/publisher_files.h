// Publisher keys, key blocks and publisher signature files for the Windows
// tests. The two keys are the ones in tests/e2e/publisher_keys (made with
// the openssl tool), so that files signed natively from those key files and
// files signed here meet the same launcher.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "payload/key_block.h"
#include "signature/p256.h"
#include "signature/publisher_signature.h"

namespace e2e {

// publisher_keys/current.key and publisher_keys/next.key.
const signature::P256PrivateKey& CurrentPublisherKey();
const signature::P256PrivateKey& NextPublisherKey();

signature::PublisherKeyId KeyIdOf(const signature::P256Point& publicPoint);

// A key block requiring a publisher signature, naming `points` in order.
payload::KeyBlock KeyBlockNaming(const std::vector<signature::P256Point>& points);

// The bytes appended behind a stub as gamewrap pack --publisher-key makes
// them: marker, header block with the payload record of `game` and
// `keyBlockBytes` (kKeyBlockSize bytes) at block offset kKeyBlockOffset, game.
std::string MakeKeyedAppendedData(const std::string& buildIdField, const std::string& game,
                                  const std::string& keyBlockBytes);

// The publisher signature file's text for `document` under `buildId`, signed
// through p256.h with `key` and naming `keyId` (by default the key's own).
// False when signing fails.
bool MakePublisherSignatureText(const signature::P256PrivateKey& key, std::int32_t buildId,
                                const std::string& document, std::string& text);
bool MakePublisherSignatureText(const signature::P256PrivateKey& key,
                                const signature::PublisherKeyId& keyId, std::int32_t buildId,
                                const std::string& document, std::string& text);

}  // namespace e2e
