// The game channel's protocol, independent of the system that carries it: the
// registered message and window class names, the shared block's size and
// layout, the block's name, and the handling of one string query on a plain
// byte block (request in, reply over it, one debugger line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace channel {

// The launcher's message window class, which a game looks for.
inline constexpr char kWindowClassName[] = "Korvelin_IPC";
// Registered message names; the game registers the same names to get the same ids.
inline constexpr char kQueryMessageName[] = "TamberLink_QueryData";
inline constexpr char kHandshakeMessageName[] = "TamberLink_IPC";
inline constexpr char kHandshakeReplyMessageName[] = "TamberLink_IPC_Response";

// The shared block: a 32-bit little-endian length at offset 0, then that many
// text bytes with no terminator. Requests and replies share the place.
inline constexpr std::size_t kBlockSize = 65536;
inline constexpr std::size_t kLengthFieldSize = 4;
inline constexpr std::size_t kMaxTextSize = kBlockSize - kLengthFieldSize;  // 65,532

// What the query message returns: the reply is in the block, or the query failed
// (all 32 bits set) and the block was left unwritten.
inline constexpr int32_t kQueryAnswered = 0;
inline constexpr int32_t kQueryFailed = -1;

// The debugger line is formatted into a buffer of this size, terminator included.
inline constexpr std::size_t kDebugLineBufferSize = 512;

// "HWND" and eight upper-case, zero-padded hexadecimal digits of the low 32 bits
// of the message window's handle value.
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
