// MD5 message digest as RFC 1321 defines it: init, update, final over a
// context, and a one-call helper.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using Md5Digest = std::array<std::uint8_t, 16>;

struct Md5Context {
  std::uint32_t state[4];   // A, B, C, D
  std::uint64_t byteCount;  // bytes hashed so far, modulo 2^64
  std::uint8_t buffer[64];  // the input block being filled
};

void Md5Init(Md5Context& context);
void Md5Update(Md5Context& context, const void* input, std::size_t length);
// Pads, appends the length and writes the digest; the context must be
// initialised again before it is reused.
Md5Digest Md5Final(Md5Context& context);

Md5Digest ComputeMd5(const void* input, std::size_t length);
