// Wrapped launchers with a payload record: signed with a code signature (which
// appends padding and a certificate table behind the game), and damaged.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"
#include "tools/gamewrap/wrap.h"

namespace e2e {
namespace {

// What the ctest fixtures made: the launcher packed by this build's gamewrap,
// and the same file signed with a throw-away certificate.
const std::string kUnsignedLauncher = KOVA_CODESIGN_DIR "/unsigned.exe";
const std::string kSignedLauncher = KOVA_CODESIGN_DIR "/signed.exe";
constexpr std::int32_t kFixtureBuildId = 12345678;
constexpr char kBuildId[] = "12345678";
constexpr char kCannotExtract[] = "Unable to extract game executable.";

// The first of the launcher's temporary files in `directory`, or "".
std::string TempFileIn(const std::string& directory) {
  for (const FileEntry& entry : ListDirectory(directory)) {
    if (IsLauncherTempFileName(entry.name)) return directory + "\\" + entry.name;
  }
  return "";
}

TEST(SignedLauncher, FixtureFileIsSignedAndKeepsItsRecordedGame) {
  std::string unsignedBytes, signedBytes;
  ASSERT_EQ(ReadWholeFile(kUnsignedLauncher, unsignedBytes), WholeFileStatus::Ok)
      << kUnsignedLauncher;
  ASSERT_EQ(ReadWholeFile(kSignedLauncher, signedBytes), WholeFileStatus::Ok) << kSignedLauncher;
  ASSERT_GT(signedBytes.size(), unsignedBytes.size());

  gamewrap::Inspection inspection;
  std::string error;
  ASSERT_TRUE(gamewrap::InspectWrapped(kSignedLauncher, inspection, error)) << error;
  EXPECT_TRUE(inspection.hasCertificateTable);
  // The certificate table lies behind the game, at the file's end.
  EXPECT_EQ(static_cast<std::size_t>(inspection.certificateTable.offset) +
                inspection.certificateTable.size,
            signedBytes.size());
  EXPECT_EQ(inspection.recordStatus, payload::RecordStatus::Intact);
  EXPECT_EQ(inspection.record.payloadLength, TestGame().size());
  EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Matches);
  EXPECT_GT(inspection.payloadSize, static_cast<std::int64_t>(TestGame().size()));
}

// The signed launcher runs its game, and the game's file is the packed game
// byte for byte: read while the game runs, from the launcher's temporary file.
TEST(SignedLauncher, RunsTheGameItWasPackedWithByteForByte) {
  FreshDirectory root;
  std::string signedBytes;
  ASSERT_EQ(ReadWholeFile(kSignedLauncher, signedBytes), WholeFileStatus::Ok) << kSignedLauncher;
  const std::string launcher = root.File("launcher.exe");
  ASSERT_TRUE(WriteWholeFile(launcher, signedBytes));
  ASSERT_TRUE(WriteSignedPartnerProperties(root.path(), kDefaultPartnerDocument, kFixtureBuildId));
  ASSERT_TRUE(WriteGameScript(root.path(), {"sleep 4000"}));

  LauncherRun run;
  std::thread watcher([&] { run = RunLauncher(launcher); });
  // The game makes its record once it runs, after the copy is complete.
  std::string extracted;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (extracted.empty() && std::chrono::steady_clock::now() < deadline) {
    if (!ReadGameRuns(root.path()).empty()) {
      const std::string temp = TempFileIn(root.path());
      if (!temp.empty() && ReadWholeFile(temp, extracted) != WholeFileStatus::Ok) extracted.clear();
    }
    if (extracted.empty()) Sleep(50);
  }
  watcher.join();

  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
  EXPECT_TRUE(extracted == TestGame())
      << extracted.size() << " bytes extracted, " << TestGame().size() << " packed";
  const std::vector<GameRun> runs = ReadGameRuns(root.path());
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Size(), TestGame().size());
  EXPECT_EQ(runs[0].Get("exit"), "0");
  EXPECT_EQ(TempFileIn(root.path()), "") << "the temporary file is deleted at the end";
}

// --- Records under the launcher ----------------------------------------------

// What a signature puts behind the game: padding and a certificate table.
const std::string kTrailer = std::string(4, '\0') + std::string(700, 'c');

std::string WithRecord(const std::string& record, const std::string& game) {
  std::string header = payload::MakeHeader(kBuildId);
  header.replace(payload::kRecordOffset, record.size(), record);
  return payload::PayloadMarker() + header + game;
}

std::string FlipByte(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
  return bytes;
}

struct RecordRunCase {
  const char* name;
  std::string appended;
  DWORD exitCode;
  std::size_t gameSize;  // of the game's file when it ran; unused when refused
};

std::vector<RecordRunCase> RecordRunCases() {
  const std::string& game = TestGame();
  const std::string record = payload::MakePayloadRecord(payload::RecordFor(game));
  const std::string pastEnd = payload::MakePayloadRecord({game.size() + kTrailer.size() + 1, 0});
  return {
      {"RecordedGameWithTrailer", WithRecord(record, game + kTrailer), 0, game.size()},
      {"NoRecordCopiesTheTrailerToo", payload::MakeAppendedData(kBuildId, game + kTrailer), 0,
       game.size() + kTrailer.size()},
      {"DamagedRecordIsRefused", WithRecord(FlipByte(record, 12), game + kTrailer), 7, 0},
      {"LengthPastEndIsRefused", WithRecord(pastEnd, game + kTrailer), 7, 0},
      {"DownloadCutAtTheEndIsRefused", WithRecord(record, game.substr(0, game.size() - 1)), 7, 0},
      {"FlippedByteIsRefused", WithRecord(record, FlipByte(game, game.size() / 2) + kTrailer), 7,
       0},
      {"CutShortIsRefused", WithRecord(record, game.substr(0, game.size() - 200) + kTrailer), 7, 0},
  };
}

class RecordedLauncher : public ::testing::TestWithParam<RecordRunCase> {};

TEST_P(RecordedLauncher, RunsTheRecordedGameOrRefusesADamagedOne) {
  ASSERT_FALSE(TestGame().empty()) << TestGamePath();
  FreshDirectory root;
  const std::string launcher = root.File("launcher.exe");
  ASSERT_TRUE(WriteWrappedLauncher(launcher, GetParam().appended));
  ASSERT_TRUE(WriteSignedPartnerProperties(root.path(), kDefaultPartnerDocument, kFixtureBuildId));

  const LauncherRun run = RunLauncher(launcher);

  ASSERT_TRUE(run.started);
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitCode, GetParam().exitCode);
  const std::vector<GameRun> runs = ReadGameRuns(root.path());
  if (GetParam().exitCode == 0) {
    EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Size(), GetParam().gameSize);
  } else {
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, "Fatal Error");
    EXPECT_EQ(run.boxes[0].text, kCannotExtract);
    EXPECT_TRUE(runs.empty()) << "a damaged game never runs";
    EXPECT_EQ(EntryNames(run.filesLeft), (std::vector<std::string>{"launcher.exe", "properties"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Record, RecordedLauncher, ::testing::ValuesIn(RecordRunCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
