// The launcher's answer to one string query, on a 65,536-byte block whose
// start comes from the input: never a crash or a write outside the block; an
// answered query leaves exactly the value's length and bytes at the block's
// start and the rest untouched, a failed one leaves the block as it was, and
// the debugger line always ends in CR LF within its buffer.
//
// Input: byte 0 chooses the value the lookup gives (the name itself, the name
// reversed, the input's tail, a value of 65,532 or 65,533 bytes, or nothing);
// the rest is the block's first bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "channel/channel_protocol.h"
#include "fuzz/fuzz_check.h"

using fuzzcheck::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t mode = data[0];
  std::vector<unsigned char> block(channel::kBlockSize, 0);
  const std::size_t filled = std::min(size - 1, block.size());
  std::copy(data + 1, data + 1 + filled, block.begin());
  const std::vector<unsigned char> before = block;

  const std::string tail(reinterpret_cast<const char*>(data + 1),
                         std::min<std::size_t>(size - 1, 300));
  std::string lookedUp;
  bool lookupCalled = false;
  const channel::StringLookup lookup = [&](const std::string& name) {
    lookupCalled = true;
    std::string value;
    switch (mode % 6) {
      case 0:
        value = name;
        break;
      case 1:
        value.assign(name.rbegin(), name.rend());
        break;
      case 2:
        value = tail;
        break;
      case 3:
        value.assign(channel::kMaxTextSize, 'v');
        break;
      case 4:
        value.assign(channel::kMaxTextSize + 1, 'w');
        break;
      default:
        break;
    }
    lookedUp = value;
    return value;
  };
  std::string line;
  int lines = 0;
  const auto debugLine = [&](const std::string& text) {
    line = text;
    ++lines;
  };

  const std::int32_t result = channel::AnswerStringQuery(block.data(), lookup, debugLine);
  const std::uint32_t requestLength = std::uint32_t{before[0]} | (std::uint32_t{before[1]} << 8) |
                                      (std::uint32_t{before[2]} << 16) |
                                      (std::uint32_t{before[3]} << 24);
  Check(lookupCalled == (requestLength <= channel::kMaxTextSize));
  if (lookupCalled) {
    Check(lines == 1);
    Check(line.size() >= 2 && line.size() <= channel::kDebugLineBufferSize - 1);
    Check(line.compare(line.size() - 2, 2, "\r\n") == 0);
  } else {
    Check(lines == 0);
  }
  if (result == channel::kQueryAnswered) {
    Check(lookupCalled && lookedUp.size() <= channel::kMaxTextSize);
    const std::uint32_t replyLength = std::uint32_t{block[0]} | (std::uint32_t{block[1]} << 8) |
                                      (std::uint32_t{block[2]} << 16) |
                                      (std::uint32_t{block[3]} << 24);
    Check(replyLength == lookedUp.size());
    Check(std::memcmp(lookedUp.data(), block.data() + channel::kLengthFieldSize, lookedUp.size()) ==
          0);
    const std::size_t end = channel::kLengthFieldSize + lookedUp.size();
    Check(std::equal(block.begin() + end, block.end(), before.begin() + end));
  } else {
    Check(result == channel::kQueryFailed);
    Check(block == before);
  }
  return 0;
}
