// What each step of a start costs, under Wine: the launcher's own functions,
// run one at a time on a wrapped launcher in the current directory.
//
//   start_steps_bench LAUNCHER GAME RUNS
//
// LAUNCHER is a wrapped launcher whose payload record gamewrap wrote, GAME the
// start-stamp game beside it. Prints one line "step,<name>,<median us>" per
// step, over RUNS runs of each. When LAUNCHER carries a publisher key block,
// the publisher signature check of properties\partner.xml is timed too (the
// first one apart: it loads bcrypt.dll and the system's provider the first
// time).
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "channel/win32/game_channel.h"
#include "common/file_position.h"
#include "common/unique_file.h"
#include "common/whole_file.h"
#include "common/win32/handles.h"
#include "launcher/partner_publisher_check.h"
#include "launcher/payload_reader.h"
#include "launcher/win32/game_process.h"
#include "launcher/win32/payload_extraction.h"
#include "launcher/win32/temp_files.h"
#include "payload/payload_format.h"
#include "payload/stream_reading.h"

namespace {

double MedianMicroseconds(int runs, const std::function<void()>& step) {
  std::vector<double> samples;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    step();
    const std::chrono::duration<double, std::micro> elapsed =
        std::chrono::steady_clock::now() - start;
    samples.push_back(elapsed.count());
  }
  return bench::Median(samples);
}

void Fail(const char* what) {
  std::fprintf(stderr, "start_steps_bench: %s\n", what);
  std::exit(1);
}

std::uint64_t SystemTimeTicks() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// Reads the stamp the game wrote at its first instruction (100 ns ticks).
std::uint64_t ReadStamp() {
  UniqueFile stamp(std::fopen("start-stamp.txt", "r"));
  unsigned long long ticks = 0;
  if (!stamp || std::fscanf(stamp.get(), "%llu", &ticks) != 1) Fail("the game left no stamp");
  return ticks;
}

// Offset of the payload in `path` and its length up to the end of the file.
void LocatePayload(const std::string& path, std::int64_t& start, std::int64_t& length) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file) Fail("cannot open the launcher");
  const std::string marker = payload::PayloadMarker();
  const std::int64_t size = MeasureFileSize(file.get());
  const std::int64_t markerOffset = FindMarker(file.get(), marker);
  if (size < 0 || markerOffset < 0) Fail("the launcher holds no payload");
  start = markerOffset + static_cast<std::int64_t>(payload::kPayloadOffset);
  length = size - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::atoi(argv[3]) <= 0) {
    std::fprintf(stderr, "usage: start_steps_bench LAUNCHER GAME RUNS\n");
    return 2;
  }
  const std::string launcher = argv[1];
  const std::string game = argv[2];
  const int runs = std::atoi(argv[3]);
  const std::string directory = ".\\";

  const double buildId = MedianMicroseconds(runs, [&] {
    std::int32_t identifier = 0;
    if (ReadBuildIdentifierFromFile(launcher, payload::BuildInfoText(), identifier) !=
        BuildIdStatus::Ok) {
      Fail("no build information");
    }
  });
  std::printf("step,build-identifier search,%.0f\n", buildId);

  std::int32_t buildIdentifier = 0;
  HeaderKeyBlock keyBlock;
  ReadBuildIdentifierFromFile(launcher, payload::BuildInfoText(), buildIdentifier, &keyBlock);
  if (keyBlock.status == payload::KeyBlockStatus::Intact) {
    const std::string documentPath = "properties\\partner.xml";
    std::string document;
    if (ReadWholeFile(documentPath, document) != WholeFileStatus::Ok) Fail("no partner document");
    const auto check = [&] {
      if (!CheckPublisherSignature(documentPath, document, buildIdentifier, keyBlock.block)) {
        Fail("the publisher signature does not verify");
      }
    };
    const double first = MedianMicroseconds(1, check);
    std::printf("step,publisher signature check (first: bcrypt.dll load + verify),%.0f\n", first);
    std::printf("step,publisher signature check (later ones),%.0f\n",
                MedianMicroseconds(runs, check));
  }

  const double sweep = MedianMicroseconds(runs, [&] { RemoveStaleTempFilesIn(directory); });
  std::printf("step,stale sweep,%.0f\n", sweep);

  const ExtractionIo io = LauncherExtractionIo();
  const double extraction = MedianMicroseconds(runs, [&] {
    ExtractionResult result = ExtractPayloadFrom(launcher, directory, payload::PayloadMarker(), io);
    if (!result.Succeeded()) Fail("the extraction failed");
    result.tempFileHold.reset();
    DeleteFileA(result.tempFilePath.c_str());
  });
  std::printf("step,extraction (sweep + temporary file + copy + checksum),%.0f\n", extraction);

  std::int64_t payloadStart = 0;
  std::int64_t payloadLength = 0;
  LocatePayload(launcher, payloadStart, payloadLength);
  const double checksum = MedianMicroseconds(runs, [&] {
    UniqueFile file(std::fopen(launcher.c_str(), "rb"));
    std::vector<char> buffer(kExtractionStreamBufferSize);
    std::setvbuf(file.get(), buffer.data(), _IOFBF, buffer.size());
    std::uint64_t value = 0;
    if (!payload::ChecksumFileRange(file.get(), payloadStart, payloadLength, value)) {
      Fail("cannot checksum the payload");
    }
  });
  std::printf("step,checksum alone (read + XXH3 of the payload),%.0f\n", checksum);

  // The channel's worker thread, its window and its shared block, made once,
  // as a launcher does (the game waits for that, not for the take-down): the
  // first window of a process costs what later ones do not, so this is one
  // sample, not a median.
  {
    const auto channelStart = std::chrono::steady_clock::now();
    const GameChannel channel;
    const std::chrono::duration<double, std::micro> channelTime =
        std::chrono::steady_clock::now() - channelStart;
    std::printf("step,game channel set-up (once),%.0f\n", channelTime.count());
  }

  // From the call that creates the game's process to the game's first
  // instruction, as the game's own stamp says.
  std::vector<double> starts;
  for (int run = 0; run < runs; ++run) {
    DeleteFileA("start-stamp.txt");
    const std::uint64_t before = SystemTimeTicks();
    win32::OwnedProcess process;
    if (!StartGameSuspended(game, "", directory, process)) Fail("cannot start the game");
    if (!ResumeGameOrEndIt(process.thread.get(), process.process.get())) Fail("cannot resume");
    WaitForGameToEnd(process.process.get());
    starts.push_back(static_cast<double>(ReadStamp() - before) / 10.0);
  }
  std::printf("step,process creation to the game's first instruction,%.0f\n",
              bench::Median(starts));
  return 0;
}
