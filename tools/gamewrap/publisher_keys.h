// The publisher's key files as the tool's commands take them, and the texts
// they print of keys. Portable: the native tool and gamewrap.exe print alike.
#pragma once

#include <string>

#include "payload/key_block.h"
#include "signature/p256.h"

namespace gamewrap {

// Reads a public key file (PEM SubjectPublicKeyInfo, P-256) into a key block
// entry. False with a message naming the file.
bool ReadPublisherPublicKey(const std::string& path, payload::PublisherKeyEntry& entry,
                            std::string& error);

// Reads a private key (PEM PKCS#8, P-256) from `source`: a path, `-` for
// standard input or `env:NAME`. False with a message naming the source.
bool ReadPublisherPrivateKey(const std::string& source, signature::P256PrivateKey& key,
                             std::string& error);

// A key id as 16 lower-case hexadecimal digits, as the .psig file has it.
std::string KeyIdHex(const payload::KeyId& keyId);

// Where a key option's value comes from, for messages: "standard input",
// "environment variable 'NAME'" or "key file 'PATH'".
std::string KeySourceName(const std::string& source);

}  // namespace gamewrap
