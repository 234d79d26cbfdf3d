// Layout of the data appended behind the launcher's own program image:
//
//   M          18 bytes   payload marker
//   M + 18     400 bytes  payload header block
//   M + 418    ...        the game's executable, to the end of the file
//
// Payload header block: the 80-byte build-information text at 0, the build
// identifier as eight decimal digits at 160; the rest is not read.
//
// Both search texts are kept here with a wrong first character, so that the
// launcher's own file never contains them: a search of the file from its first
// byte must find only the copies in the appended data.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The 400-byte header block carrying `buildIdField` (eight bytes) at 160.
std::string MakeHeader(std::string_view buildIdField);

// The bytes appended behind a stub: marker, header block, game.
std::string MakeAppendedData(std::string_view buildIdField, std::string_view game);

struct HeaderFields {
  std::string buildIdField;  // the eight bytes at 160, as stored
};

// Reads a 400-byte header block. False when it is shorter or does not start
// with the build-information text.
bool ParseHeader(std::string_view block, HeaderFields& fields);

}  // namespace payload
