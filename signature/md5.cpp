// MD5, laid out as RFC 1321 lays it out: constants, padding, the four round
// functions, init/update/final, the block transform with its 64 numbered
// steps, and the little-endian encode/decode of words.
#include "signature/md5.h"

#include <cstring>

#include "common/kova_little_endian.h"

namespace {

// Per-round shift amounts.
constexpr int S11 = 7, S12 = 12, S13 = 17, S14 = 22;
constexpr int S21 = 5, S22 = 9, S23 = 14, S24 = 20;
constexpr int S31 = 4, S32 = 11, S33 = 16, S34 = 23;
constexpr int S41 = 6, S42 = 10, S43 = 15, S44 = 21;

// A single 1 bit, then zeros; the final block also gets the bit length.
constexpr std::uint8_t kPadding[64] = {0x80};

inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & y) | (~x & z);
}
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
  return (x & z) | (y & ~z);
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return x ^ y ^ z; }
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z) { return y ^ (x | ~z); }

inline std::uint32_t RotateLeft(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline void FF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t ac) {
  a = RotateLeft(a + F(b, c, d) + x + ac, s) + b;
}
inline void GG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t ac) {
  a = RotateLeft(a + G(b, c, d) + x + ac, s) + b;
}
inline void HH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t ac) {
  a = RotateLeft(a + H(b, c, d) + x + ac, s) + b;
}
inline void II(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x,
               int s, std::uint32_t ac) {
  a = RotateLeft(a + I(b, c, d) + x + ac, s) + b;
}

// Little-endian words from bytes and back, independent of the host's order.
void Decode(std::uint32_t* output, const std::uint8_t* input, std::size_t wordCount) {
  for (std::size_t i = 0; i < wordCount; ++i, input += 4) output[i] = KovaReadLe32(input);
}

void Encode(std::uint8_t* output, const std::uint32_t* input, std::size_t wordCount) {
  for (std::size_t i = 0; i < wordCount; ++i, output += 4) KovaWriteLe32(output, input[i]);
}

void Transform(std::uint32_t state[4], const std::uint8_t block[64]) {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t x[16];
  Decode(x, block, 16);

  // Round 1
  FF(a, b, c, d, x[0], S11, 0xd76aa478);   // 1
  FF(d, a, b, c, x[1], S12, 0xe8c7b756);   // 2
  FF(c, d, a, b, x[2], S13, 0x242070db);   // 3
  FF(b, c, d, a, x[3], S14, 0xc1bdceee);   // 4
  FF(a, b, c, d, x[4], S11, 0xf57c0faf);   // 5
  FF(d, a, b, c, x[5], S12, 0x4787c62a);   // 6
  FF(c, d, a, b, x[6], S13, 0xa8304613);   // 7
  FF(b, c, d, a, x[7], S14, 0xfd469501);   // 8
  FF(a, b, c, d, x[8], S11, 0x698098d8);   // 9
  FF(d, a, b, c, x[9], S12, 0x8b44f7af);   // 10
  FF(c, d, a, b, x[10], S13, 0xffff5bb1);  // 11
  FF(b, c, d, a, x[11], S14, 0x895cd7be);  // 12
  FF(a, b, c, d, x[12], S11, 0x6b901122);  // 13
  FF(d, a, b, c, x[13], S12, 0xfd987193);  // 14
  FF(c, d, a, b, x[14], S13, 0xa679438e);  // 15
  FF(b, c, d, a, x[15], S14, 0x49b40821);  // 16

  // Round 2
  GG(a, b, c, d, x[1], S21, 0xf61e2562);   // 17
  GG(d, a, b, c, x[6], S22, 0xc040b340);   // 18
  GG(c, d, a, b, x[11], S23, 0x265e5a51);  // 19
  GG(b, c, d, a, x[0], S24, 0xe9b6c7aa);   // 20
  GG(a, b, c, d, x[5], S21, 0xd62f105d);   // 21
  GG(d, a, b, c, x[10], S22, 0x02441453);  // 22
  GG(c, d, a, b, x[15], S23, 0xd8a1e681);  // 23
  GG(b, c, d, a, x[4], S24, 0xe7d3fbc8);   // 24
  GG(a, b, c, d, x[9], S21, 0x21e1cde6);   // 25
  GG(d, a, b, c, x[14], S22, 0xc33707d6);  // 26
  GG(c, d, a, b, x[3], S23, 0xf4d50d87);   // 27
  GG(b, c, d, a, x[8], S24, 0x455a14ed);   // 28
  GG(a, b, c, d, x[13], S21, 0xa9e3e905);  // 29
  GG(d, a, b, c, x[2], S22, 0xfcefa3f8);   // 30
  GG(c, d, a, b, x[7], S23, 0x676f02d9);   // 31
  GG(b, c, d, a, x[12], S24, 0x8d2a4c8a);  // 32

  // Round 3
  HH(a, b, c, d, x[5], S31, 0xfffa3942);   // 33
  HH(d, a, b, c, x[8], S32, 0x8771f681);   // 34
  HH(c, d, a, b, x[11], S33, 0x6d9d6122);  // 35
  HH(b, c, d, a, x[14], S34, 0xfde5380c);  // 36
  HH(a, b, c, d, x[1], S31, 0xa4beea44);   // 37
  HH(d, a, b, c, x[4], S32, 0x4bdecfa9);   // 38
  HH(c, d, a, b, x[7], S33, 0xf6bb4b60);   // 39
  HH(b, c, d, a, x[10], S34, 0xbebfbc70);  // 40
  HH(a, b, c, d, x[13], S31, 0x289b7ec6);  // 41
  HH(d, a, b, c, x[0], S32, 0xeaa127fa);   // 42
  HH(c, d, a, b, x[3], S33, 0xd4ef3085);   // 43
  HH(b, c, d, a, x[6], S34, 0x04881d05);   // 44
  HH(a, b, c, d, x[9], S31, 0xd9d4d039);   // 45
  HH(d, a, b, c, x[12], S32, 0xe6db99e5);  // 46
  HH(c, d, a, b, x[15], S33, 0x1fa27cf8);  // 47
  HH(b, c, d, a, x[2], S34, 0xc4ac5665);   // 48

  // Round 4
  II(a, b, c, d, x[0], S41, 0xf4292244);   // 49
  II(d, a, b, c, x[7], S42, 0x432aff97);   // 50
  II(c, d, a, b, x[14], S43, 0xab9423a7);  // 51
  II(b, c, d, a, x[5], S44, 0xfc93a039);   // 52
  II(a, b, c, d, x[12], S41, 0x655b59c3);  // 53
  II(d, a, b, c, x[3], S42, 0x8f0ccc92);   // 54
  II(c, d, a, b, x[10], S43, 0xffeff47d);  // 55
  II(b, c, d, a, x[1], S44, 0x85845dd1);   // 56
  II(a, b, c, d, x[8], S41, 0x6fa87e4f);   // 57
  II(d, a, b, c, x[15], S42, 0xfe2ce6e0);  // 58
  II(c, d, a, b, x[6], S43, 0xa3014314);   // 59
  II(b, c, d, a, x[13], S44, 0x4e0811a1);  // 60
  II(a, b, c, d, x[4], S41, 0xf7537e82);   // 61
  II(d, a, b, c, x[11], S42, 0xbd3af235);  // 62
  II(c, d, a, b, x[2], S43, 0x2ad7d2bb);   // 63
  II(b, c, d, a, x[9], S44, 0xeb86d391);   // 64

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context& context) {
  context.byteCount = 0;
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
}

void Md5Update(Md5Context& context, const void* input, std::size_t length) {
  if (length == 0) return;  // the input may then be a null pointer
  const auto* bytes = static_cast<const std::uint8_t*>(input);
  std::size_t buffered = static_cast<std::size_t>(context.byteCount % 64);
  context.byteCount += length;

  // Complete a partly filled block first, then hash whole blocks straight
  // from the input, and keep the tail for later.
  if (buffered != 0) {
    const std::size_t room = 64 - buffered;
    if (length < room) {
      std::memcpy(context.buffer + buffered, bytes, length);
      return;
    }
    std::memcpy(context.buffer + buffered, bytes, room);
    Transform(context.state, context.buffer);
    bytes += room;
    length -= room;
  }
  for (; length >= 64; bytes += 64, length -= 64) Transform(context.state, bytes);
  if (length != 0) std::memcpy(context.buffer, bytes, length);
}

Md5Digest Md5Final(Md5Context& context) {
  // The length in bits, taken before padding changes the count.
  const std::uint64_t bitCount = context.byteCount << 3;
  std::uint8_t lengthBytes[8];
  const std::uint32_t lengthWords[2] = {static_cast<std::uint32_t>(bitCount),
                                        static_cast<std::uint32_t>(bitCount >> 32)};
  Encode(lengthBytes, lengthWords, 2);

  // Pad to 56 bytes modulo 64, then append the length.
  const std::size_t buffered = static_cast<std::size_t>(context.byteCount % 64);
  const std::size_t paddingLength = buffered < 56 ? 56 - buffered : 120 - buffered;
  Md5Update(context, kPadding, paddingLength);
  Md5Update(context, lengthBytes, 8);

  Md5Digest digest;
  Encode(digest.data(), context.state, 4);
  // Leave no trace of the input in the context.
  std::memset(&context, 0, sizeof context);
  return digest;
}

Md5Digest ComputeMd5(const void* input, std::size_t length) {
  Md5Context context;
  Md5Init(context);
  Md5Update(context, input, length);
  return Md5Final(context);
}
