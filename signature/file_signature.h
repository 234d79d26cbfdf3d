// The check of a data file against its detached signature file: the file's
// path with ".sig" appended holds, in its first 24 bytes, a textbook RSA
// signature in hexadecimal over the build identifier and the file's contents
// without white space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "signature/big_int.h"

// The built-in public key, as hexadecimal texts.
inline constexpr char kSignatureModulusText[] = "E5A1C3B7092F4D6E8B1A7C25";
inline constexpr char kSignatureExponentText[] = "11";  // 17
inline constexpr int kSignatureDigestBits = 94;
// Only this many bytes at the start of a signature file are read.
inline constexpr std::size_t kSignatureTextMaxLength = 24;
inline constexpr char kSignatureFileSuffix[] = ".sig";

// The build identifier's four bytes, least significant first, followed by the
// contents without the six white-space bytes (text::IsWhiteSpace).
std::string BuildSignedMessage(std::int32_t buildIdentifier, std::string_view contents);

// The 94-bit digest number of the signed message.
BigInt SignatureDigestNumber(std::int32_t buildIdentifier, std::string_view contents);

// The signature text that a signature file starting with `fileStart` holds:
// its first 24 bytes, cut at the first NUL.
std::string_view SignatureTextOf(std::string_view fileStart);

// True when the signature held by a signature file that starts with
// `signatureFileStart` (its text as SignatureTextOf cuts it, read as
// hexadecimal with every byte one digit position and non-hex bytes counting as
// 0), raised to the public exponent modulo the built-in modulus, equals the
// digest number.
bool SignatureTextVerifies(std::string_view signatureFileStart, std::int32_t buildIdentifier,
                           std::string_view contents);

// Checks `contents` against the signature file `dataPath` + ".sig" under the
// launcher's build identifier (LauncherState::buildIdentifier). False when the
// signature file cannot be opened or does not match. Shows nothing, changes
// nothing.
bool VerifyFileSignature(const std::string& dataPath, const std::string& contents);

// The same check under the given build identifier.
bool VerifyFileSignature(const std::string& dataPath, const std::string& contents,
                         std::int32_t buildIdentifier);
