// Layout of the data appended behind the launcher's own program image:
//
//   M          18 bytes   payload marker
//   M + 18     400 bytes  payload header block
//   M + 418    ...        the game's executable, to the end of the file
//
// Both search texts are kept here with a wrong first character, so that the
// launcher's own file never contains them: a search of the file from its first
// byte must find only the copies in the appended data.
#pragma once

#include <cstddef>
#include <string>

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

}  // namespace payload
