#include "launcher/payload_format.h"

namespace payload {

namespace {
// Writes the first character through a volatile so that the optimiser cannot
// fold the complete search text into the program's constant data.
std::string WithFirstChar(const char* disguised, char first) {
  std::string text(disguised);
  volatile char restored = first;
  text[0] = restored;
  return text;
}
}  // namespace

std::string PayloadMarker() { return WithFirstChar(kDisguisedMarker, kMarkerFirstChar); }
std::string BuildInfoText() { return WithFirstChar(kDisguisedBuildInfo, kBuildInfoFirstChar); }

}  // namespace payload
