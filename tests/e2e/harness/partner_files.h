// Partner properties documents for the Windows tests: written where a
// launcher in a directory looks for them, signed with the development key.
#pragma once

#include <cstdint>
#include <string>

namespace e2e {

// A document holding the four required product strings and a few others.
extern const char kDefaultPartnerDocument[];

// The text of the signature file that proves `document` under `buildId`,
// signed with the development key. False when the key cannot be read.
bool SignWithDevelopmentKey(const std::string& document, std::int32_t buildId,
                            std::string& signatureText);

// Writes `document` to `directory`\properties\partner.xml (a trailing
// separator on `directory` is optional) and its signature file beside it,
// signed with the development key for `buildId`. The properties directory is
// made when missing. False when a file cannot be written or the key cannot be
// read.
bool WriteSignedPartnerProperties(const std::string& directory, const std::string& document,
                                  std::int32_t buildId);

// Writes the launcher `path` wrapping `game` (as other packers do, without a
// payload record) under the eight-digit `buildIdField`, and `document` beside
// it, signed for the build identifier the launcher reads from that field.
// False when a file cannot be written or the key cannot be read.
bool WriteSignedWrappedLauncher(const std::string& path, const std::string& game,
                                const std::string& document,
                                const std::string& buildIdField = "12345678");

}  // namespace e2e
