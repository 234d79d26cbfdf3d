// The game channel's handling on a plain byte block, independent of the
// system that carries it: the block's name, reading a request, writing a reply
// and answering one string query (request in, reply over it, one debugger
// line). The protocol's names and numbers come from kova_protocol.h, which the
// game's client includes too; the constants below only give them C++ names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "channel/kova_protocol.h"

namespace channel {

inline constexpr char kWindowClassName[] = KOVA_PROTOCOL_WINDOW_CLASS;
inline constexpr char kQueryMessageName[] = KOVA_PROTOCOL_QUERY_MESSAGE;
inline constexpr char kHandshakeMessageName[] = KOVA_PROTOCOL_HANDSHAKE_MESSAGE;
inline constexpr char kHandshakeReplyMessageName[] = KOVA_PROTOCOL_HANDSHAKE_REPLY_MESSAGE;

inline constexpr std::size_t kBlockSize = KOVA_PROTOCOL_BLOCK_SIZE;
inline constexpr std::size_t kLengthFieldSize = KOVA_PROTOCOL_LENGTH_SIZE;
inline constexpr std::size_t kMaxTextSize = KOVA_PROTOCOL_MAX_TEXT_SIZE;

inline constexpr int32_t kQueryAnswered = KOVA_PROTOCOL_QUERY_ANSWERED;
inline constexpr int32_t kQueryFailed = KOVA_PROTOCOL_QUERY_FAILED;

// The debugger line is formatted into a buffer of this size, terminator included.
inline constexpr std::size_t kDebugLineBufferSize = 512;

// The block's name for the message window with this handle value
// (KovaProtocolBlockName).
std::string BlockNameForWindow(uint64_t windowHandleValue);

// The request's name, read from `block` (kBlockSize bytes). The length word is
// read once; false, with nothing taken, when it exceeds kMaxTextSize.
bool ReadRequest(const unsigned char* block, std::string& name);

// Writes `value` as the reply: its length word, then its bytes; the bytes behind
// it stay. False, with the block unwritten, when the value exceeds kMaxTextSize.
bool WriteReply(unsigned char* block, const std::string& value);

// "Got string request: %s(%d) -> %s(%d)\r\n" with the name, the request's length,
// the value and the value's length. Each text ends at its first NUL byte. A line
// longer than kDebugLineBufferSize - 1 characters is cut to that length and
// still ends in "\r\n".
std::string FormatDebugLine(const std::string& name, uint32_t nameLength, const std::string& value,
                            uint32_t valueLength);

// The string value stored under a name, or the empty text when there is none.
using StringLookup = std::function<std::string(const std::string& name)>;

// Answers the string query held in `block` (null when there is no block):
// reads the name, looks it up, hands the debugger line to `debugLine` and
// writes the reply over the request. Returns kQueryAnswered, or kQueryFailed
// with the block unwritten when there is no block, the request or the value
// does not fit, or memory runs out.
int32_t AnswerStringQuery(unsigned char* block, const StringLookup& lookup,
                          const std::function<void(const std::string&)>& debugLine);

}  // namespace channel
