// Extraction path throughput, natively:
//   - FindMarker over a 256 MiB file with the marker near its end, against a
//     reference that reads 64 KiB blocks and runs memmem over each (straddling
//     matches handled); target: at least 0.5 of the reference's throughput;
//   - the payload copy against a plain read/write copy with a 1 MiB buffer;
//     target: at least 0.8 of its throughput; cp of the same file beside both;
//   - the copy of a payload under a payload record, which checksums every
//     byte on the way, against the same plain copy; target: at least 0.9;
//   - peak memory of a whole extraction for 64 MiB and 512 MiB payloads, which
//     must not grow with the payload.
// Each copy and its reference are timed in turns, after the page cache's dirty
// pages have gone to disk, so that neither pays for the other's write-back.
// Usage: bench_extraction [work directory]   (default: the system's temp directory)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "common/unique_file.h"
#include "launcher/payload_reader.h"
#include "payload/payload_format.h"

namespace {

constexpr std::size_t kMiB = 1 << 20;
const std::string kMarker = payload::PayloadMarker();

// Writes `stubSize` random bytes, the marker and header, and `payloadSize`
// random bytes. Random bytes contain the marker's first character now and then,
// as real executables do. With `recorded`, the header carries the payload's
// record, as gamewrap pack writes it.
void MakeWrapped(const std::string& path, std::size_t stubSize, std::size_t payloadSize,
                 bool recorded = false) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::mt19937_64 random(4711);
  std::vector<std::uint64_t> block(kMiB / 8);
  payload::PayloadChecksum checksum;
  auto writeRandom = [&](std::size_t size, payload::PayloadChecksum* sum) {
    while (size > 0) {
      for (auto& word : block) word = random();
      const std::size_t n = std::min(size, kMiB);
      std::fwrite(block.data(), 1, n, file);
      if (sum != nullptr) sum->Update(block.data(), n);
      size -= n;
    }
  };
  writeRandom(stubSize, nullptr);
  std::fwrite(kMarker.data(), 1, kMarker.size(), file);
  std::string header(payload::kHeaderSize, '\0');
  std::fwrite(header.data(), 1, header.size(), file);
  writeRandom(payloadSize, &checksum);
  if (recorded) {
    const std::string record = payload::MakePayloadRecord({payloadSize, checksum.Value()});
    std::fseek(file, static_cast<long>(stubSize + kMarker.size() + payload::kRecordOffset),
               SEEK_SET);
    std::fwrite(record.data(), 1, record.size(), file);
  }
  std::fclose(file);
}

// Reads the whole file once so that every measurement starts from the page cache.
void Warm(const std::string& path) {
  std::vector<char> buffer(kMiB);
  const int fd = open(path.c_str(), O_RDONLY);
  while (read(fd, buffer.data(), buffer.size()) > 0) {
  }
  close(fd);
}

std::int64_t ReferenceSearch(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  const std::size_t carry = kMarker.size() - 1;
  std::vector<char> buffer(carry + 64 * 1024);
  std::size_t filled = 0;
  std::int64_t offset = 0;  // file offset of buffer[0]
  std::int64_t found = -1;
  for (;;) {
    const ssize_t got = read(fd, buffer.data() + filled, 64 * 1024);
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
    const void* hit = memmem(buffer.data(), filled, kMarker.data(), kMarker.size());
    if (hit != nullptr) {
      found = offset + (static_cast<const char*>(hit) - buffer.data());
      break;
    }
    const std::size_t keep = std::min(filled, carry);
    std::memmove(buffer.data(), buffer.data() + filled - keep, keep);
    offset += static_cast<std::int64_t>(filled - keep);
    filled = keep;
  }
  close(fd);
  return found;
}

void PlainCopy(const std::string& from, std::int64_t start, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY);
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  lseek(in, start, SEEK_SET);
  std::vector<char> buffer(kMiB);
  ssize_t got;
  while ((got = read(in, buffer.data(), buffer.size())) > 0) {
    if (write(out, buffer.data(), static_cast<std::size_t>(got)) != got) std::exit(1);
  }
  close(in);
  close(out);
}

// The extraction as the launcher does it: marker search, then the copy,
// through streams with the launcher's buffers.
bool Extract(const std::string& from, const std::string& to) {
  std::vector<char> inBuffer(kExtractionStreamBufferSize), outBuffer(kExtractionStreamBufferSize);
  UniqueFile in(std::fopen(from.c_str(), "rb"));
  UniqueFile out(std::fopen(to.c_str(), "wb"));
  if (!in || !out) return false;
  std::setvbuf(in.get(), inBuffer.data(), _IOFBF, inBuffer.size());
  std::setvbuf(out.get(), outBuffer.data(), _IOFBF, outBuffer.size());
  const PayloadCopyStatus status = CopyPayload(in.get(), out.get(), kMarker);
  return status == PayloadCopyStatus::Ok && CloseChecked(out);
}

// Writes every dirty page to disk, so that no copy pays for the write-back
// of the one timed before it.
void FlushWrites() { sync(); }

// Peak resident memory (KiB) of a child process that runs one extraction.
long ExtractionPeakKiB(const std::string& from, const std::string& to) {
  const pid_t child = fork();
  if (child == 0) _exit(Extract(from, to) ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::string big = (dir / "bench-extraction-256.bin").string();
  const std::string out = (dir / "bench-extraction-out.bin").string();
  const std::size_t stubSize = 256 * kMiB - 64 * 1024;  // marker near the end
  const std::size_t payloadSize = 64 * 1024 - 418;
  MakeWrapped(big, stubSize, payloadSize);
  Warm(big);
  const double megabytes = 256.0;

  std::int64_t found = -1;
  const double ours = bench::BestSeconds(5, [&] {
    std::vector<char> buffer(kExtractionStreamBufferSize);
    UniqueFile file(std::fopen(big.c_str(), "rb"));
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());
    found = FindMarker(file.get(), kMarker);
  });
  std::int64_t expected = -1;
  const double reference = bench::BestSeconds(5, [&] { expected = ReferenceSearch(big); });
  if (found != expected || found != static_cast<std::int64_t>(stubSize)) {
    std::fprintf(stderr, "marker search disagrees: %lld vs %lld\n", static_cast<long long>(found),
                 static_cast<long long>(expected));
    return 1;
  }
  std::printf("marker search over 256 MiB:\n");
  std::printf("  FindMarker            %8.0f MB/s\n", megabytes / ours);
  std::printf("  memmem, 64 KiB blocks %8.0f MB/s\n", megabytes / reference);
  std::printf("  ratio %.2f (target >= 0.50)\n", reference / ours);

  // The copy of a 256 MiB payload.
  const std::string copySource = (dir / "bench-extraction-copy.bin").string();
  MakeWrapped(copySource, 4096, 256 * kMiB);
  Warm(copySource);
  bool copiedOk = true;
  const auto [copyOurs, copyPlain] = bench::BestSecondsInTurns(
      5, FlushWrites, [&] { copiedOk = copiedOk && Extract(copySource, out); },
      [&] { PlainCopy(copySource, 4096 + 418, out); });
  if (!copiedOk || std::filesystem::file_size(out) != 256 * kMiB) {
    std::fprintf(stderr, "the payload did not extract whole\n");
    return 1;
  }
  const std::string cp = "cp '" + copySource + "' '" + out + "'";
  const double copyCp = bench::BestSeconds(5, FlushWrites, [&] {
    if (std::system(cp.c_str()) != 0) std::exit(1);
  });
  std::printf("payload copy of 256 MiB (page cache to page cache):\n");
  std::printf("  extraction (search + 4 KiB copy) %8.0f MB/s\n", megabytes / copyOurs);
  std::printf("  read/write, 1 MiB buffer         %8.0f MB/s\n", megabytes / copyPlain);
  std::printf("  cp                               %8.0f MB/s\n", megabytes / copyCp);
  std::printf("  ratio %.2f (target >= 0.80)\n", copyPlain / copyOurs);
  std::filesystem::remove(copySource);

  // The same payload under a record: copied and checksummed.
  const std::string recordedSource = (dir / "bench-extraction-recorded.bin").string();
  MakeWrapped(recordedSource, 4096, 256 * kMiB, true);
  Warm(recordedSource);
  bool recordedOk = true;
  const auto [copyRecorded, copyPlainAgain] = bench::BestSecondsInTurns(
      5, FlushWrites, [&] { recordedOk = recordedOk && Extract(recordedSource, out); },
      [&] { PlainCopy(recordedSource, 4096 + 418, out); });
  if (!recordedOk) {
    std::fprintf(stderr, "the recorded payload did not extract\n");
    return 1;
  }
  std::printf("payload copy of 256 MiB under a payload record (checksummed):\n");
  std::printf("  extraction (search + 4 KiB copy + XXH3) %8.0f MB/s\n", megabytes / copyRecorded);
  std::printf("  read/write, 1 MiB buffer                %8.0f MB/s\n", megabytes / copyPlainAgain);
  std::printf("  ratio %.2f (target >= 0.90)\n", copyPlainAgain / copyRecorded);
  std::filesystem::remove(recordedSource);
  std::filesystem::remove(big);

  std::printf("peak memory of one extraction:\n");
  for (std::size_t payloadMiB : {64u, 512u}) {
    const std::string source = (dir / "bench-extraction-peak.bin").string();
    MakeWrapped(source, 1 * kMiB, payloadMiB * kMiB);
    std::printf("  %4zu MiB payload: %ld KiB\n", payloadMiB, ExtractionPeakKiB(source, out));
    std::filesystem::remove(source);
  }
  std::filesystem::remove(out);
  return 0;
}
