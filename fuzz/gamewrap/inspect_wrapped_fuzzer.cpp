// gamewrap inspect's reading of a wrapped file, on a temporary file made from
// the input (see wrapped_input.h): never a crash, and what it reports agrees
// with the layout worked out on the whole contents.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/unique_file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/launcher/wrapped_input.h"
#include "payload/payload_format.h"
#include "tools/gamewrap/wrap.h"

using fuzzcheck::Check;

namespace {

// One file per process, rewritten for every input and removed at exit.
const std::string& ScratchPath() {
  static const std::string path = [] {
    // In the system's temporary folder (TMPDIR where set), under a unique name.
    std::string name = (std::filesystem::temp_directory_path() / "inspect-fuzz-XXXXXX").string();
    const int fd = mkstemp(&name[0]);
    if (fd < 0) std::abort();
    close(fd);
    return name;
  }();
  static const struct Remover {
    ~Remover() { std::remove(path.c_str()); }
  } remover;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = fuzzinput::MakeLauncherFile(data, size);
  const std::string& path = ScratchPath();
  {
    UniqueFile out(std::fopen(path.c_str(), "wb"));
    if (!out) std::abort();
    const bool written = std::fwrite(file.data(), 1, file.size(), out.get()) == file.size();
    if (!CloseChecked(out) || !written) std::abort();
  }

  gamewrap::Inspection inspection;
  std::string error;
  const bool inspected = gamewrap::InspectWrapped(path, inspection, error);

  const std::size_t at = file.find(payload::PayloadMarker());
  payload::HeaderFields fields;
  const bool wrapped =
      at != std::string::npos && file.size() >= at + payload::kPayloadOffset &&
      payload::ParseHeader(std::string_view(file).substr(at + payload::kMarkerLength), fields);
  Check(inspected == wrapped);
  if (!inspected) {
    Check(!error.empty());
    return 0;
  }
  Check(inspection.markerOffset == static_cast<std::int64_t>(at));
  Check(inspection.buildId == fields.buildIdField);
  const std::size_t payloadSize = file.size() - at - payload::kPayloadOffset;
  Check(inspection.payloadSize == static_cast<std::int64_t>(payloadSize));
  Check(inspection.recordStatus == fields.recordStatus);
  if (fields.recordStatus == payload::RecordStatus::Intact) {
    Check(inspection.record == fields.record);
    Check(inspection.recordPastEnd == (fields.record.payloadLength > payloadSize));
    if (inspection.recordPastEnd) {
      Check(inspection.payloadMatch == gamewrap::PayloadMatch::NotChecked);
    } else {
      const std::string game = file.substr(at + payload::kPayloadOffset,
                                           static_cast<std::size_t>(fields.record.payloadLength));
      const bool matches = payload::ChecksumOf(game) == fields.record.payloadChecksum;
      Check(inspection.payloadMatch ==
            (matches ? gamewrap::PayloadMatch::Matches : gamewrap::PayloadMatch::Differs));
    }
  } else {
    Check(!inspection.recordPastEnd);
    Check(inspection.payloadMatch == gamewrap::PayloadMatch::NotChecked);
  }
  if (inspection.hasCertificateTable) {
    const std::uint64_t end =
        std::uint64_t{inspection.certificateTable.offset} + inspection.certificateTable.size;
    Check(inspection.certificateTable.size > 0 && end <= file.size());
  }
  return 0;
}
