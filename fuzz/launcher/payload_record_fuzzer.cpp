// The launcher's reading of its appended data on a file made from the input
// (see wrapped_input.h), held in a memory stream: the header block and record
// parsers never crash, and CopyPayload copies exactly what the layout says or
// refuses, never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/unique_file.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/launcher/wrapped_input.h"
#include "launcher/payload_reader.h"
#include "payload/payload_format.h"

using fuzzcheck::Check;

namespace {

// What CopyPayload must do with `file`, worked out on the whole string.
struct Expected {
  PayloadCopyStatus status;
  std::string copied;
};

Expected Predict(const std::string& file) {
  const std::string marker = payload::PayloadMarker();
  const std::size_t at = file.find(marker);
  if (at == std::string::npos) return {PayloadCopyStatus::MarkerNotFound, {}};
  const std::size_t start = at + payload::kPayloadOffset;
  const std::size_t recordAt = at + payload::kMarkerLength + payload::kRecordOffset;
  const std::string recordBytes =
      recordAt < file.size() ? file.substr(recordAt, payload::kRecordSize) : std::string();
  payload::PayloadRecord record;
  const payload::RecordStatus status = payload::ParsePayloadRecord(recordBytes, record);
  if (status == payload::RecordStatus::Damaged) return {PayloadCopyStatus::RecordDamaged, {}};
  const std::string available = start < file.size() ? file.substr(start) : std::string();
  if (status == payload::RecordStatus::Absent) return {PayloadCopyStatus::Ok, available};
  if (file.size() < start) return {PayloadCopyStatus::ReadFailed, {}};
  if (record.payloadLength > available.size()) return {PayloadCopyStatus::ReadFailed, {}};
  const std::string game = available.substr(0, static_cast<std::size_t>(record.payloadLength));
  return {payload::ChecksumOf(game) == record.payloadChecksum ? PayloadCopyStatus::Ok
                                                              : PayloadCopyStatus::ChecksumMismatch,
          game};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = fuzzinput::MakeLauncherFile(data, size);

  // The parsers on the raw input as well as on the header the file carries.
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  payload::PayloadRecord record;
  const payload::RecordStatus status = payload::ParsePayloadRecord(raw, record);
  Check(status != payload::RecordStatus::Intact || raw.size() >= payload::kRecordSize);
  payload::HeaderFields fields;
  const std::size_t at = file.find(payload::PayloadMarker());
  if (at != std::string::npos) {
    const std::string_view block = std::string_view(file).substr(at + payload::kMarkerLength);
    if (payload::ParseHeader(block, fields)) {
      Check(fields.buildIdField.size() == payload::kBuildIdLength);
      Check(block.size() >= payload::kHeaderSize);
    } else {
      Check(block.size() < payload::kHeaderSize ||
            block.substr(0, payload::kBuildInfoLength) != payload::BuildInfoText());
    }
  }

  if (file.empty()) return 0;  // a memory stream needs at least one byte
  std::string input = file;
  UniqueFile launcher(fmemopen(&input[0], input.size(), "rb"));
  if (!launcher) return 0;
  char* outBuffer = nullptr;
  std::size_t outSize = 0;
  UniqueFile out(open_memstream(&outBuffer, &outSize));
  if (!out) return 0;
  const PayloadCopyStatus copied = CopyPayload(launcher.get(), out.get(), payload::PayloadMarker());
  std::fflush(out.get());
  const std::string written(outBuffer, outSize);
  out.reset();
  std::free(outBuffer);

  const Expected expected = Predict(file);
  Check(copied == expected.status);
  // After a failure the caller discards the output, so only success and a
  // checksum mismatch (a full copy of the recorded length) are checked.
  if (copied == PayloadCopyStatus::Ok || copied == PayloadCopyStatus::ChecksumMismatch) {
    Check(written == expected.copied);
  }
  return 0;
}
