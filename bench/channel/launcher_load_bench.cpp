// The launcher under load, end to end under Wine (or Windows): a wrapped
// launcher runs the test game, which makes many queries in a row through the
// client library, going round names and values of sizes from 0 to 65,532
// bytes (tests/e2e/test_game/load_table.h). The game tallies every reply
// against the value it must be; this program samples the launcher's memory
// from outside (GetProcessMemoryInfo on the launcher process) before the
// queries, every 100 ms while they run, and after them.
// Usage: launcher_load_bench [queries]   (default: 100000)
#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "launcher/payload_reader.h"
#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_process.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/load_table.h"
#include "tests/e2e/test_game/rendezvous.h"

namespace {

constexpr char kBuildId[] = "12345678";
constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kLoadTimeoutMs = 600000;
constexpr DWORD kSampleIntervalMs = 100;

std::string LoadDocument() {
  std::string document =
      "<?xml version=\"1.0\"?>\r\n<Properties>\r\n"
      "  <String id=\"ProdName\">LoadGame</String>\r\n"
      "  <String id=\"Offering\">Trial</String>\r\n"
      "  <String id=\"DisplayName\">Load Game</String>\r\n"
      "  <String id=\"RegistryKey\">Software\\LoadStudio\\LoadGame</String>\r\n";
  for (std::size_t index = 0; index < testgame::LoadTextSizes().size(); ++index) {
    document += "  <String id=\"" + testgame::LoadName(index) + "\">" + testgame::LoadValue(index) +
                "</String>\r\n";
  }
  return document + "</Properties>\r\n";
}

struct Memory {
  SIZE_T workingSet = 0;
  SIZE_T privateBytes = 0;
};

Memory Sample(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  Memory memory;
  if (GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
    memory.workingSet = counters.WorkingSetSize;
    memory.privateBytes = counters.PagefileUsage;
  }
  return memory;
}

double KiB(SIZE_T bytes) { return static_cast<double>(bytes) / 1024.0; }

}  // namespace

int main(int argc, char** argv) {
  const unsigned long queries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
  std::string game;
  if (ReadWholeFile(e2e::TestGamePath(), game) != WholeFileStatus::Ok) {
    std::fprintf(stderr, "cannot read the test game %s\n", e2e::TestGamePath().c_str());
    return 1;
  }
  e2e::FreshDirectory directory;
  const std::string launcherPath = directory.File("launcher.exe");
  std::int32_t buildId = 0;
  if (!e2e::WriteWrappedLauncher(launcherPath, payload::MakeAppendedData(kBuildId, game)) ||
      ReadBuildIdentifierFromFile(launcherPath, payload::BuildInfoText(), buildId) !=
          BuildIdStatus::Ok ||
      !e2e::WriteSignedPartnerProperties(directory.path(), LoadDocument(), buildId)) {
    std::fprintf(stderr, "cannot write the wrapped launcher and its properties\n");
    return 1;
  }
  const std::string meeting = "kova-load-bench-" + std::to_string(GetCurrentProcessId());
  e2e::WriteGameScript(directory.path(),
                       {"connect", "rendezvous " + meeting + "-before 2",
                        "load " + std::to_string(queries), "rendezvous " + meeting + "-after 2"});

  e2e::LauncherProcess launcher;
  if (!launcher.Start(launcherPath)) {
    std::fprintf(stderr, "cannot start the launcher\n");
    return 1;
  }
  if (testgame::MeetAt(meeting + "-before", 2, kStartTimeoutMs) !=
      testgame::RendezvousResult::Met) {
    std::fprintf(stderr, "the game never got ready (did the launcher show a message?)\n");
    return 1;
  }
  const Memory before = Sample(launcher.process());
  std::atomic<bool> loading{true};
  Memory peak = before;
  std::thread sampler([&] {
    while (loading) {
      const Memory now = Sample(launcher.process());
      if (now.workingSet > peak.workingSet) peak.workingSet = now.workingSet;
      if (now.privateBytes > peak.privateBytes) peak.privateBytes = now.privateBytes;
      Sleep(kSampleIntervalMs);
    }
  });
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const bool finished =
      testgame::MeetAt(meeting + "-after", 2, kLoadTimeoutMs) == testgame::RendezvousResult::Met;
  QueryPerformanceCounter(&end);
  loading = false;
  sampler.join();
  const Memory after = Sample(launcher.process());
  DWORD exitCode = 0;
  const bool ended = launcher.WaitForExit(kStartTimeoutMs, exitCode);

  const std::vector<e2e::GameRun> runs = e2e::ReadGameRuns(directory.path());
  const e2e::GameRun run = runs.empty() ? e2e::GameRun() : runs[0];
  const double seconds =
      static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
  std::printf(
      "queries %s: right %s, failed %s, wrong %s (%zu names and values, 0 to 65,532 bytes)\n",
      run.Get("3.queries").c_str(), run.Get("3.right").c_str(), run.Get("3.failed").c_str(),
      run.Get("3.wrong").c_str(), testgame::LoadTextSizes().size());
  std::printf("time %.1f s, %.0f queries/s\n", seconds, finished ? queries / seconds : 0.0);
  std::printf("launcher working set KiB: before %.0f, peak %.0f, after %.0f\n",
              KiB(before.workingSet), KiB(peak.workingSet), KiB(after.workingSet));
  std::printf("launcher private KiB:     before %.0f, peak %.0f, after %.0f\n",
              KiB(before.privateBytes), KiB(peak.privateBytes), KiB(after.privateBytes));
  std::printf("launcher exit code %lu%s\n", static_cast<unsigned long>(exitCode),
              ended ? "" : " (did not end)");
  const bool allRight = finished && ended && exitCode == 0 &&
                        run.Get("3.right") == std::to_string(queries) && run.Get("3.wrong") == "0";
  return allRight ? 0 : 1;
}
