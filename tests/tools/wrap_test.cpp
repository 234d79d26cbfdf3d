#include "tools/gamewrap/wrap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "launcher/payload_format.h"
#include "launcher/payload_reader.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

const std::string kStub = std::string("MZ") + std::string(3000, 's');
const std::string kGame = std::string("MZgame") + std::string(5000, 'g');

struct Files {
  TempDir dir;
  std::string stub = dir.Write("launcher.exe", kStub);
  std::string game = dir.Write("game.exe", kGame);
  std::string output = dir.File("wrapped.exe");
};

TEST(PackGame, WritesWhatTheLauncherAndInspectRead) {
  Files files;
  std::string error;
  ASSERT_TRUE(gamewrap::PackGame({files.stub, files.game, files.output, "00001234"}, error))
      << error;

  const std::string wrapped = ReadFile(files.output);
  ASSERT_EQ(wrapped.size(), kStub.size() + 418 + kGame.size());
  EXPECT_EQ(wrapped.compare(0, kStub.size(), kStub), 0);
  EXPECT_EQ(wrapped.compare(kStub.size(), 18, payload::PayloadMarker()), 0);
  EXPECT_EQ(wrapped.compare(kStub.size() + 18, 80, payload::BuildInfoText()), 0);

  std::int32_t buildId = 0;
  ASSERT_EQ(ReadBuildIdentifierFromFile(files.output, payload::BuildInfoText(), buildId),
            BuildIdStatus::Ok);
  EXPECT_EQ(buildId, 1234);

  const std::string copyPath = files.dir.File("copy.tmp");
  std::FILE* in = std::fopen(files.output.c_str(), "rb");
  std::FILE* out = std::fopen(copyPath.c_str(), "wb");
  EXPECT_EQ(CopyPayload(in, out, payload::PayloadMarker()), PayloadCopyStatus::Ok);
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(ReadFile(copyPath), kGame);

  gamewrap::Inspection inspection;
  ASSERT_TRUE(gamewrap::InspectWrapped(files.output, inspection, error)) << error;
  EXPECT_EQ(inspection.markerOffset, static_cast<std::int64_t>(kStub.size()));
  EXPECT_EQ(inspection.buildId, "00001234");
  EXPECT_EQ(inspection.payloadSize, static_cast<std::int64_t>(kGame.size()));
  EXPECT_FALSE(std::filesystem::exists(files.output + ".gamewrap-partial"));
}

enum class Break { BuildId7, BuildId9, BuildIdLetter, BuildIdSigned, MissingStub, MissingGame,
                   EmptyGame, StubWrapped, StubHasBuildInfo, OutputIsStub, OutputIsGame };

struct BadCase {
  const char* name;
  Break what;
};

class PackGameRejects : public ::testing::TestWithParam<BadCase> {};

// Bad input gets a message and destroys nothing: inputs stay as they were and
// an existing output is left untouched.
TEST_P(PackGameRejects, WithMessageAndNothingChanged) {
  Files files;
  gamewrap::PackRequest request{files.stub, files.game, files.output, "00000001"};
  std::filesystem::remove(files.output);
  files.dir.Write("wrapped.exe", "previous output");
  switch (GetParam().what) {
    case Break::BuildId7: request.buildId = "1234567"; break;
    case Break::BuildId9: request.buildId = "123456789"; break;
    case Break::BuildIdLetter: request.buildId = "1234567a"; break;
    case Break::BuildIdSigned: request.buildId = "+1234567"; break;
    case Break::MissingStub: request.stubPath = files.dir.File("absent.exe"); break;
    case Break::MissingGame: request.gamePath = files.dir.File("absent.exe"); break;
    case Break::EmptyGame: files.dir.Write("game.exe", ""); break;
    case Break::StubWrapped: files.dir.Write("launcher.exe", kStub + payload::PayloadMarker()); break;
    case Break::StubHasBuildInfo: files.dir.Write("launcher.exe", payload::BuildInfoText() + kStub); break;
    case Break::OutputIsStub: request.outputPath = files.stub; break;
    case Break::OutputIsGame: request.outputPath = files.dir.path().string() + "/./game.exe"; break;
  }
  const std::string stubBefore = ReadFile(files.stub);
  const std::string gameBefore = ReadFile(files.game);
  std::string error;
  EXPECT_FALSE(gamewrap::PackGame(request, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(files.stub), stubBefore);
  EXPECT_EQ(ReadFile(files.game), gameBefore);
  EXPECT_EQ(ReadFile(files.output), "previous output");
  EXPECT_FALSE(std::filesystem::exists(request.outputPath + ".gamewrap-partial"));
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PackGameRejects,
    ::testing::Values(BadCase{"BuildIdOfSevenDigits", Break::BuildId7},
                      BadCase{"BuildIdOfNineDigits", Break::BuildId9},
                      BadCase{"BuildIdWithLetter", Break::BuildIdLetter},
                      BadCase{"BuildIdWithSign", Break::BuildIdSigned},
                      BadCase{"MissingStub", Break::MissingStub},
                      BadCase{"MissingGame", Break::MissingGame},
                      BadCase{"EmptyGame", Break::EmptyGame},
                      BadCase{"StubAlreadyWrapped", Break::StubWrapped},
                      BadCase{"StubHoldsBuildInfoText", Break::StubHasBuildInfo},
                      BadCase{"OutputIsTheStub", Break::OutputIsStub},
                      BadCase{"OutputIsTheGameByAnotherName", Break::OutputIsGame}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(InspectWrapped, RefusesFilesThatAreNotWrapped) {
  TempDir dir;
  const std::string marker = payload::PayloadMarker();
  for (const std::string& contents :
       {kStub, kStub + marker + std::string(100, '\0'),
        kStub + marker + std::string(400, 'x') + kGame}) {
    gamewrap::Inspection inspection;
    std::string error;
    EXPECT_FALSE(gamewrap::InspectWrapped(dir.Write("f.exe", contents), inspection, error));
    EXPECT_FALSE(error.empty());
  }
  gamewrap::Inspection inspection;
  std::string error;
  EXPECT_FALSE(gamewrap::InspectWrapped(dir.File("absent.exe"), inspection, error));
}

}  // namespace
