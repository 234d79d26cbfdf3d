#include "tools/gamewrap/wrap.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "launcher/payload_format.h"
#include "launcher/payload_reader.h"
#include "tools/gamewrap/file_io.h"

namespace gamewrap {

namespace {

// The launcher keeps file offsets in signed 32 bits.
constexpr std::int64_t kMaxWrappedSize = 0x7FFFFFFF;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

std::int64_t FileSize(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(file);
  std::fseek(file, 0, SEEK_SET);
  return size;
}

}  // namespace

bool PackGame(const PackRequest& request, std::string& error) {
  if (!payload::IsBuildIdField(request.buildId)) {
    error = "build identifier '" + request.buildId + "' is not exactly eight decimal digits";
    return false;
  }
  if (SameFile(request.outputPath, request.stubPath) ||
      SameFile(request.outputPath, request.gamePath)) {
    error = "output '" + request.outputPath + "' is one of the input files";
    return false;
  }

  std::string stub;
  if (!ReadWholeFile(request.stubPath, stub, error)) return false;
  // The launcher takes the first occurrence of each text as the start of its
  // appended data, so a stub holding either (an already wrapped launcher) would
  // run the wrong game or none.
  for (const std::string& text : {payload::PayloadMarker(), payload::BuildInfoText()}) {
    if (stub.find(text) != std::string::npos) {
      error = "stub '" + request.stubPath +
              "' already contains a payload search text (is it an already wrapped launcher?)";
      return false;
    }
  }

  UniqueFile game(std::fopen(request.gamePath.c_str(), "rb"));
  if (!game) {
    error = "cannot open game '" + request.gamePath + "': " + std::strerror(errno);
    return false;
  }
  const std::int64_t gameSize = FileSize(game.get());
  if (gameSize < 0) {
    error = "cannot read game '" + request.gamePath + "'";
    return false;
  }
  if (gameSize == 0) {
    error = "game '" + request.gamePath + "' is empty";
    return false;
  }
  const std::int64_t total = static_cast<std::int64_t>(stub.size()) +
                             static_cast<std::int64_t>(payload::kPayloadOffset) + gameSize;
  if (total > kMaxWrappedSize) {
    error = "wrapped launcher would be 2 GiB or larger, which the launcher cannot read";
    return false;
  }

  AtomicOutput output(request.outputPath);
  if (!output.Open(error)) return false;
  const std::string front = stub + payload::MakeAppendedData(request.buildId, "");
  if (!output.Write(front.data(), front.size(), error)) return false;
  std::vector<char> buffer(1 << 20);
  std::int64_t copied = 0;
  std::size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), game.get())) > 0) {
    if (!output.Write(buffer.data(), got, error)) return false;
    copied += static_cast<std::int64_t>(got);
  }
  if (std::ferror(game.get()) != 0 || copied != gameSize) {
    error = "cannot read game '" + request.gamePath + "'";
    return false;
  }
  return output.Commit(error);
}

bool InspectWrapped(const std::string& path, Inspection& result, std::string& error) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = "cannot open '" + path + "': " + std::strerror(errno);
    return false;
  }
  const std::int64_t size = FileSize(file.get());
  const std::int32_t marker = FindMarker(file.get(), payload::PayloadMarker());
  if (marker < 0) {
    error = "'" + path + "' holds no payload marker: it is not a wrapped launcher";
    return false;
  }
  const std::int64_t payloadStart = marker + static_cast<std::int64_t>(payload::kPayloadOffset);
  if (size < payloadStart) {
    error = "'" + path + "' ends inside its payload header block";
    return false;
  }
  std::string header(payload::kHeaderSize, '\0');
  std::fseek(file.get(), static_cast<long>(marker + payload::kMarkerLength), SEEK_SET);
  if (std::fread(&header[0], 1, header.size(), file.get()) != header.size()) {
    error = "cannot read the payload header block of '" + path + "'";
    return false;
  }
  if (header.compare(0, payload::kBuildInfoLength, payload::BuildInfoText()) != 0) {
    error = "'" + path + "' has no build-information text behind its payload marker";
    return false;
  }
  result.markerOffset = marker;
  result.buildId = header.substr(payload::kBuildIdOffset, payload::kBuildIdLength);
  result.payloadSize = size - payloadStart;
  return true;
}

}  // namespace gamewrap
