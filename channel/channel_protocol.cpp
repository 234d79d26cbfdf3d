#include "channel/channel_protocol.h"

#include <cstring>
#include <new>
#include <string_view>

namespace channel {

namespace {

// The game may write into the block while the launcher reads it: the length
// word is taken once, through volatile reads, so that the bound checked is the
// bound used.
uint32_t ReadLengthWord(const unsigned char* block) {
  const volatile unsigned char* word = block;
  return static_cast<uint32_t>(word[0]) | static_cast<uint32_t>(word[1]) << 8 |
         static_cast<uint32_t>(word[2]) << 16 | static_cast<uint32_t>(word[3]) << 24;
}

void WriteLengthWord(unsigned char* block, uint32_t length) {
  block[0] = static_cast<unsigned char>(length);
  block[1] = static_cast<unsigned char>(length >> 8);
  block[2] = static_cast<unsigned char>(length >> 16);
  block[3] = static_cast<unsigned char>(length >> 24);
}

// The text as a C string argument would show it: up to its first NUL byte.
std::string_view UpToFirstNul(const std::string& text) { return std::string_view(text.c_str()); }

}  // namespace

std::string BlockNameForWindow(uint64_t windowHandleValue) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const uint32_t low = static_cast<uint32_t>(windowHandleValue);
  std::string name = "HWND";
  for (int shift = 28; shift >= 0; shift -= 4) name += kDigits[(low >> shift) & 0xF];
  return name;
}

bool ReadRequest(const unsigned char* block, std::string& name) {
  const uint32_t length = ReadLengthWord(block);
  if (length > kMaxTextSize) return false;
  name.assign(reinterpret_cast<const char*>(block + kLengthFieldSize), length);
  return true;
}

bool WriteReply(unsigned char* block, const std::string& value) {
  if (value.size() > kMaxTextSize) return false;
  WriteLengthWord(block, static_cast<uint32_t>(value.size()));
  std::memcpy(block + kLengthFieldSize, value.data(), value.size());
  return true;
}

std::string FormatDebugLine(const std::string& name, uint32_t nameLength, const std::string& value,
                            uint32_t valueLength) {
  static constexpr std::string_view kLineEnd = "\r\n";
  const std::size_t maxBody = kDebugLineBufferSize - 1 - kLineEnd.size();
  // Of a name or value longer than the line, only what can show is copied: a
  // 64 KiB name and value would otherwise be copied whole to be cut off again.
  std::string line;
  line.reserve(kDebugLineBufferSize);
  line += "Got string request: ";
  line += UpToFirstNul(name).substr(0, maxBody);
  line += '(';
  line += std::to_string(static_cast<int32_t>(nameLength));
  line += ") -> ";
  line += UpToFirstNul(value).substr(0, maxBody);
  line += '(';
  line += std::to_string(static_cast<int32_t>(valueLength));
  line += ')';
  if (line.size() > maxBody) line.resize(maxBody);
  line += kLineEnd;
  return line;
}

int32_t AnswerStringQuery(unsigned char* block, const StringLookup& lookup,
                          const std::function<void(const std::string&)>& debugLine) {
  if (block == nullptr) return kQueryFailed;
  try {
    std::string name;
    if (!ReadRequest(block, name)) return kQueryFailed;
    const std::string value = lookup(name);
    debugLine(FormatDebugLine(name, static_cast<uint32_t>(name.size()), value,
                              static_cast<uint32_t>(value.size())));
    return WriteReply(block, value) ? kQueryAnswered : kQueryFailed;
  } catch (const std::bad_alloc&) {
    return kQueryFailed;
  }
}

}  // namespace channel
