// The publisher's side of the signature: the private key file and the making
// of signature texts. The launcher only verifies; it never links this in.
//
// Key file format: a text file of lines `name=value`. Two fields, each exactly
// once, values in hexadecimal (digits 0-9, a-f, A-F, no prefix or sign):
//
//   # comment lines start with '#'; blank lines are ignored
//   modulus=E5A1C3B7092F4D6E8B1A7C25
//   private_exponent=0E538F98D051F3B18605D069
//
// Blanks around names and values and a carriage return before a line feed are
// ignored. The public exponent is always 17.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/read_result.h"
#include "signature/big_int.h"

struct SigningKey {
  BigInt modulus;
  BigInt privateExponent;
};

// Reads a key file's text into `key` (left unchanged unless the result is ok).
// On a fault of a line: that line, and a message that starts "line N: ". A
// field that is never given: line 0 and "missing field '<name>'".
ReadResult ParseSigningKey(std::string_view text, SigningKey& key);

// The signature text of a signature file: the value in upper-case hexadecimal,
// zero-padded to 24 digits (more when the value needs more), no line break.
std::string FormatSignatureText(const BigInt& signature);

// The signature text for `contents` under `buildIdentifier`: the digest number
// raised to the private exponent modulo the key's modulus.
std::string MakeSignatureText(const SigningKey& key, std::int32_t buildIdentifier,
                              std::string_view contents);
