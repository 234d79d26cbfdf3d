/*
 * Little-endian numbers in byte buffers: the one place that reads and writes
 * them, for every format here (the appended data, the game channel's block,
 * Windows program headers). Plain C99 and C++, no other header of the
 * project: the game's client includes it too, and the publisher's kit ships
 * it beside the client.
 */
#ifndef KOVA_LITTLE_ENDIAN_H
#define KOVA_LITTLE_ENDIAN_H

#include <stdint.h>

static inline uint16_t KovaReadLe16(const unsigned char* bytes) {
  return (uint16_t)(bytes[0] | (unsigned)bytes[1] << 8);
}

static inline uint32_t KovaReadLe32(const unsigned char* bytes) {
  return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
         (uint32_t)bytes[3] << 24;
}

static inline uint64_t KovaReadLe64(const unsigned char* bytes) {
  return (uint64_t)KovaReadLe32(bytes) | (uint64_t)KovaReadLe32(bytes + 4) << 32;
}

static inline void KovaWriteLe32(unsigned char* bytes, uint32_t value) {
  bytes[0] = (unsigned char)value;
  bytes[1] = (unsigned char)(value >> 8);
  bytes[2] = (unsigned char)(value >> 16);
  bytes[3] = (unsigned char)(value >> 24);
}

static inline void KovaWriteLe64(unsigned char* bytes, uint64_t value) {
  KovaWriteLe32(bytes, (uint32_t)value);
  KovaWriteLe32(bytes + 4, (uint32_t)(value >> 32));
}

#endif /* KOVA_LITTLE_ENDIAN_H */
