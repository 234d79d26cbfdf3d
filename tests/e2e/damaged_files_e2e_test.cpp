// Damaged wrapped launchers, run as a user runs them: each ends as the launcher
// promises for its kind of damage, and leaves only what that outcome leaves.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "launcher/payload_reader.h"
#include "payload/payload_format.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/test_files.h"

namespace e2e {
namespace {

constexpr char kBuildId[] = "12345678";

// The header block with an intact record claiming `length` bytes of payload.
std::string HeaderClaiming(std::uint64_t length) {
  std::string header = payload::MakeHeader(kBuildId);
  const std::string record = payload::MakePayloadRecord({length, 0});
  header.replace(payload::kRecordOffset, record.size(), record);
  return header;
}

enum class Outcome {
  GameRuns,         // no box, exit 0, the game ran once from its whole file
  CannotStartGame,  // "Failed to execute game", exit 0, nothing left
  NoBuildInfo,      // "FATAL ERROR" box, exit 0, nothing made
  NoGameContent,    // "Unable to locate game content.", exit 5, empty temp file left
  CannotExtract,    // "Unable to extract game executable.", exit 7, nothing left
};

struct DamagedCase {
  const char* name;
  std::string appended;
  Outcome outcome;
};

std::vector<DamagedCase> DamagedCases() {
  const std::string& game = TestGame();
  const std::string marker = payload::PayloadMarker();
  const std::string header = payload::MakeHeader(kBuildId);
  const std::string recorded = payload::MakeHeader(kBuildId, payload::RecordFor(game));
  std::string damagedRecord = recorded;
  char& checksumByte = damagedRecord[payload::kRecordOffset + 20];
  checksumByte = static_cast<char>(checksumByte ^ 0x10);  // a byte of the recorded checksum
  const std::uint64_t twoGiB = std::uint64_t{1} << 31;
  const std::uint64_t fourGiB = std::uint64_t{1} << 32;
  return {
      // Cut inside the header: nothing behind it to copy, an empty game.
      {"HeaderCutShort", marker + header.substr(0, 200), Outcome::CannotStartGame},
      // The marker only in the file's last bytes: the header before it holds
      // the build information, but nothing follows the marker.
      {"MarkerInTheLastBytes", header + game + marker, Outcome::CannotStartGame},
      {"BuildInformationWithoutMarker", header + game, Outcome::NoGameContent},
      {"MarkerWithoutBuildInformation", marker + std::string(payload::kHeaderSize, '\0') + game,
       Outcome::NoBuildInfo},
      // A stub ending in the marker's first 17 bytes makes a whole marker 17
      // bytes early: the copy starts 17 bytes before the game.
      {"StubEndingInPartOfTheMarker", marker.substr(0, 17) + marker + header + game,
       Outcome::CannotStartGame},
      // Intact records claiming more than any file here holds: a download cut
      // short, never run. 4 GiB + the game's size has the game's size in its
      // low 32 bits.
      {"RecordClaimingTwoGiB", marker + HeaderClaiming(twoGiB) + game, Outcome::CannotExtract},
      {"RecordClaimingFourGiBPlusTheGame", marker + HeaderClaiming(fourGiB + game.size()) + game,
       Outcome::CannotExtract},
      // Behind an intact record, a download cut at or before the game's first
      // byte holds none of the game.
      {"RecordedCutAtTheGamesFirstByte", marker + recorded, Outcome::CannotExtract},
      {"RecordedCutInsideTheHeader", marker + recorded.substr(0, 300), Outcome::CannotExtract},
      // Cut before the record's tag is complete: nothing tells such a file
      // from one without a record, and the header is cut, so there is no game.
      {"RecordedCutAtTheRecordsPlace", marker + recorded.substr(0, payload::kRecordOffset),
       Outcome::CannotStartGame},
      {"RecordedCutInsideTheTag", marker + recorded.substr(0, payload::kRecordOffset + 4),
       Outcome::CannotStartGame},
      // The record's tag with a record that fails its own check, or that the
      // end of the file cuts short: only damage makes these.
      {"RecordFailingItsOwnChecksum", marker + damagedRecord + game, Outcome::CannotExtract},
      {"RecordCutShortByTheEnd", marker + recorded.substr(0, payload::kRecordOffset + 20),
       Outcome::CannotExtract},
      // Sound files for comparison: with and without a record.
      {"IntactWithoutRecord", payload::MakeAppendedData(kBuildId, game), Outcome::GameRuns},
      {"IntactWithRecord", payload::MakeRecordedAppendedData(kBuildId, game), Outcome::GameRuns},
  };
}

void PrintTo(const DamagedCase& c, std::ostream* out) { *out << c.name; }

class DamagedLauncher : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedLauncher, EndsAsPromisedAndLeavesOnlyWhatThatLeaves) {
  ASSERT_FALSE(TestGame().empty()) << TestGamePath();
  FreshDirectory root;
  const std::string launcher = root.File("launcher.exe");
  ASSERT_TRUE(WriteWrappedLauncher(launcher, GetParam().appended));
  std::int32_t buildId = 0;
  if (ReadBuildIdentifierFromFile(launcher, payload::BuildInfoText(), buildId) ==
      BuildIdStatus::Ok) {
    ASSERT_TRUE(WriteSignedPartnerProperties(root.path(), kDefaultPartnerDocument, buildId));
  }

  const LauncherRun run = RunLauncher(launcher);

  ASSERT_TRUE(run.started);
  ASSERT_FALSE(run.timedOut);
  const std::vector<GameRun> games = ReadGameRuns(root.path());
  std::vector<std::string> left = EntryNames(run.filesLeft);
  switch (GetParam().outcome) {
    case Outcome::GameRuns:
      EXPECT_EQ(run.exitCode, 0u);
      EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
      ASSERT_EQ(games.size(), 1u);
      EXPECT_EQ(games[0].Size(), TestGame().size());
      return;
    case Outcome::CannotStartGame:
      EXPECT_EQ(run.exitCode, 0u);
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_EQ(run.boxes[0].caption, "Fatal Error");
      EXPECT_EQ(run.boxes[0].text, "Failed to execute game\r\n\r\n");
      EXPECT_EQ(left, (std::vector<std::string>{"launcher.exe", "properties"}));
      break;
    case Outcome::NoBuildInfo:
      EXPECT_EQ(run.exitCode, 0u);
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_EQ(run.boxes[0].caption, "FATAL ERROR");
      EXPECT_EQ(left, std::vector<std::string>{"launcher.exe"});
      break;
    case Outcome::NoGameContent:
      EXPECT_EQ(run.exitCode, 5u);
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_EQ(run.boxes[0].text, "Unable to locate game content.");
      ASSERT_EQ(left.size(), 3u);
      EXPECT_TRUE(IsLauncherTempFileName(left[2])) << left[2];
      EXPECT_EQ(run.filesLeft[2].size, 0u);
      break;
    case Outcome::CannotExtract:
      EXPECT_EQ(run.exitCode, 7u);
      ASSERT_EQ(run.boxes.size(), 1u);
      EXPECT_EQ(run.boxes[0].caption, "Fatal Error");
      EXPECT_EQ(run.boxes[0].text, "Unable to extract game executable.");
      EXPECT_EQ(left, (std::vector<std::string>{"launcher.exe", "properties"}));
      break;
  }
  EXPECT_TRUE(games.empty()) << "no game may run";
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedLauncher, ::testing::ValuesIn(DamagedCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e
