// Little-endian fields of the formats held in byte strings: the one codec of
// common/kova_little_endian.h, at an offset into a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/kova_little_endian.h"

namespace payload {

inline const unsigned char* BytesAt(std::string_view bytes, std::size_t at) {
  return reinterpret_cast<const unsigned char*>(bytes.data() + at);
}

inline std::uint16_t Le16At(std::string_view bytes, std::size_t at) {
  return KovaReadLe16(BytesAt(bytes, at));
}

inline std::uint32_t Le32At(std::string_view bytes, std::size_t at) {
  return KovaReadLe32(BytesAt(bytes, at));
}

inline std::uint64_t Le64At(std::string_view bytes, std::size_t at) {
  return KovaReadLe64(BytesAt(bytes, at));
}

inline void PutLe64At(std::string& bytes, std::size_t at, std::uint64_t value) {
  KovaWriteLe64(reinterpret_cast<unsigned char*>(&bytes[at]), value);
}

}  // namespace payload
