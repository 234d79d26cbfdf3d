// Layout of the data appended behind the launcher's own program image:
//
//   M          18 bytes   payload marker
//   M + 18     400 bytes  payload header block
//   M + 418    ...        the game's executable, to the end of the file
//
// Payload header block: the 80-byte build-information text at 0, the build
// identifier as eight decimal digits at 160, and at 168 an optional payload
// record (below); the rest is zero.
//
// Both search texts are kept here with a wrong first character, so that the
// launcher's own file never contains them: a search of the file from its first
// byte must find only the copies in the appended data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace payload {

constexpr char kDisguisedMarker[] = "?tamberwrapmarker!";
constexpr char kMarkerFirstChar = '!';
constexpr char kDisguisedBuildInfo[] =
    "!YN00000BERTAMTAMBERBERTAMTAMBERBUILDINFOMARKERBERTAMTAMBERBERTAMTAMBERXXXXXXXXX";
constexpr char kBuildInfoFirstChar = 'D';

constexpr std::size_t kMarkerLength = sizeof(kDisguisedMarker) - 1;        // 18
constexpr std::size_t kBuildInfoLength = sizeof(kDisguisedBuildInfo) - 1;  // 80
constexpr std::size_t kHeaderSize = 400;
constexpr std::size_t kBuildIdOffset = 160;  // within the header block
constexpr std::size_t kBuildIdLength = 8;
constexpr std::size_t kPayloadOffset = kMarkerLength + kHeaderSize;  // 418, from the marker

static_assert(kMarkerLength == 18, "payload marker is 18 characters");
static_assert(kBuildInfoLength == 80, "build-information text is 80 characters");

// The real search texts, made at run time from the disguised constants.
std::string PayloadMarker();
std::string BuildInfoText();

// The largest value the eight-digit field can hold.
constexpr std::int32_t kMaxBuildId = 99999999;

// True when `field` is what the tool writes: exactly eight decimal digits.
bool IsBuildIdField(std::string_view field);

// The build identifier as the launcher reads the field (at most its first
// eight bytes, as the C library's decimal conversion does): leading white
// space, an optional sign, then digits up to the first non-digit; no digits
// give 0.
std::int32_t BuildIdFromField(std::string_view field);

// A build identifier given on a command line: one to eight decimal digits
// (so 42 and 00000042 are the same). False for anything else.
bool ParseBuildIdArgument(std::string_view text, std::int32_t& buildId);

// The eight-digit field for `buildId` (0 to kMaxBuildId), zero-padded.
std::string FormatBuildIdField(std::int32_t buildId);

// The payload record says how long the payload is and what it hashes to, so
// that the launcher copies exactly the game even when the file has grown
// behind it (a code signature appends padding and a certificate table), and
// refuses a damaged game. 32 bytes at block offset 168:
//
//   0   8  kRecordTag
//   8   8  payload length, unsigned, little-endian
//   16  8  payload checksum (XXH3-64), little-endian
//   24  8  checksum (XXH3-64) of bytes 0 to 23, little-endian
//
// The tag and the record's own checksum together make a record that does not
// occur by chance in bytes other packers leave zero or fill with anything.
constexpr std::size_t kRecordOffset = 168;  // within the header block
constexpr std::size_t kRecordSize = 32;
constexpr char kRecordTag[] = "\x89KVPREC\x1A";
constexpr std::size_t kRecordTagLength = sizeof(kRecordTag) - 1;

static_assert(kRecordTagLength == 8, "record tag is 8 bytes");
static_assert(kRecordOffset >= kBuildIdOffset + kBuildIdLength &&
                  kRecordOffset + kRecordSize <= kHeaderSize,
              "the record lies in bytes the launcher otherwise leaves unread");

struct PayloadRecord {
  std::uint64_t payloadLength = 0;
  std::uint64_t payloadChecksum = 0;

  bool operator==(const PayloadRecord& other) const {
    return payloadLength == other.payloadLength && payloadChecksum == other.payloadChecksum;
  }
};

enum class RecordStatus {
  Absent,   // no tag: a file from another packer, or one packed without a record
  Damaged,  // the tag is there but the record's own checksum fails, or the record is cut short
  Intact,
};

// The 32 bytes of `record`.
std::string MakePayloadRecord(const PayloadRecord& record);

// Reads a record from the first kRecordSize bytes of `bytes`: Absent when
// they do not start with the whole tag, Damaged when they hold the tag but
// end before the record does. `record` is set only when Intact.
RecordStatus ParsePayloadRecord(std::string_view bytes, PayloadRecord& record);

// Running XXH3-64 over the payload, fed in pieces.
class PayloadChecksum {
 public:
  PayloadChecksum();
  PayloadChecksum(const PayloadChecksum&) = delete;
  PayloadChecksum& operator=(const PayloadChecksum&) = delete;
  ~PayloadChecksum();

  void Update(const void* data, std::size_t size);
  std::uint64_t Value() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// XXH3-64 of `bytes` in one piece: what PayloadChecksum gives for them.
std::uint64_t ChecksumOf(std::string_view bytes);

// The record that describes `game`.
PayloadRecord RecordFor(std::string_view game);

// The 400-byte header block carrying `buildIdField` (eight bytes) at 160 and,
// when given, `record` at 168.
std::string MakeHeader(std::string_view buildIdField,
                       const std::optional<PayloadRecord>& record = std::nullopt);

// The bytes appended behind a stub: marker, header block, game. The header
// holds no record, as other packers make it.
std::string MakeAppendedData(std::string_view buildIdField, std::string_view game);

// The same with the record of `game` in the header, as gamewrap pack makes it.
std::string MakeRecordedAppendedData(std::string_view buildIdField, std::string_view game);

struct HeaderFields {
  std::string buildIdField;  // the eight bytes at 160, as stored
  RecordStatus recordStatus = RecordStatus::Absent;
  PayloadRecord record;  // set when recordStatus is Intact
};

// Reads a 400-byte header block. False when it is shorter or does not start
// with the build-information text.
bool ParseHeader(std::string_view block, HeaderFields& fields);

}  // namespace payload
