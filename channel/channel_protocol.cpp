#include "channel/channel_protocol.h"

#include <cstring>
#include <new>
#include <string_view>

namespace channel {

namespace {

// The text as a C string argument would show it: up to its first NUL byte.
std::string_view UpToFirstNul(const std::string& text) { return std::string_view(text.c_str()); }

}  // namespace

std::string BlockNameForWindow(uint64_t windowHandleValue) {
  char name[KOVA_PROTOCOL_BLOCK_NAME_SIZE];
  KovaProtocolBlockName(static_cast<uint32_t>(windowHandleValue), name);
  return name;
}

bool ReadRequest(const unsigned char* block, std::string& name) {
  const uint32_t length = KovaProtocolReadLengthWord(block);
  if (length > kMaxTextSize) return false;
  name.assign(reinterpret_cast<const char*>(block + KOVA_PROTOCOL_TEXT_OFFSET), length);
  return true;
}

bool WriteReply(unsigned char* block, const std::string& value) {
  if (value.size() > kMaxTextSize) return false;
  KovaProtocolWriteLengthWord(block, static_cast<uint32_t>(value.size()));
  std::memcpy(block + KOVA_PROTOCOL_TEXT_OFFSET, value.data(), value.size());
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
