#include "tools/gamewrap/wrap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

#include "common/unique_file.h"
#include "launcher/payload_format.h"
#include "launcher/payload_reader.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

const std::string kStub = std::string("MZ") + std::string(3000, 's');
const std::string kGame = std::string("MZgame") + std::string(5000, 'g');
// The payload marker, written out: the tests must not take it from the code
// whose output they check.
const std::string kMarker = "!tamberwrapmarker!";

struct Files {
  TempDir dir;
  std::string stub = dir.Write("launcher.exe", kStub);
  std::string game = dir.Write("game.exe", kGame);
  std::string output = dir.File("wrapped.exe");
};

std::set<std::string> FilesIn(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// What the launcher's own reading code makes of a wrapped file.
struct LauncherView {
  std::int32_t buildId = -1;
  std::string game;
};

LauncherView ReadAsLauncher(const TempDir& dir, const std::string& wrapped) {
  LauncherView view;
  EXPECT_EQ(ReadBuildIdentifierFromFile(wrapped, payload::BuildInfoText(), view.buildId),
            BuildIdStatus::Ok);
  const std::string copyPath = dir.File("copy.tmp");
  {
    UniqueFile in(std::fopen(wrapped.c_str(), "rb"));
    UniqueFile out(std::fopen(copyPath.c_str(), "wb"));
    EXPECT_EQ(CopyPayload(in.get(), out.get(), kMarker), PayloadCopyStatus::Ok);
  }
  view.game = ReadFile(copyPath);
  std::filesystem::remove(copyPath);
  return view;
}

// --- Packing what the launcher reads ---------------------------------------

struct GoodCase {
  const char* name;
  const char* stubTail;  // appended to the stub
  const char* buildId;
  std::int32_t launcherReads;
};

void PrintTo(const GoodCase& c, std::ostream* out) { *out << c.name; }

class PackGameWrites : public ::testing::TestWithParam<GoodCase> {};

TEST_P(PackGameWrites, WhatTheLauncherAndInspectRead) {
  const GoodCase& c = GetParam();
  Files files;
  const std::string stub = kStub + c.stubTail;
  files.dir.Write("launcher.exe", stub);
  std::string error;
  ASSERT_TRUE(gamewrap::PackGame({files.stub, files.game, files.output, c.buildId}, error))
      << error;

  const std::string wrapped = ReadFile(files.output);
  ASSERT_EQ(wrapped.size(), stub.size() + 418 + kGame.size());
  EXPECT_EQ(wrapped.compare(0, stub.size(), stub), 0);
  EXPECT_EQ(wrapped.compare(stub.size(), 18, kMarker), 0);
  EXPECT_EQ(wrapped.compare(stub.size() + 18 + 160, 8, c.buildId), 0);
  EXPECT_EQ(wrapped.compare(stub.size() + 418, kGame.size(), kGame), 0);

  const LauncherView launcher = ReadAsLauncher(files.dir, files.output);
  EXPECT_EQ(launcher.buildId, c.launcherReads);
  EXPECT_EQ(launcher.game, kGame);

  gamewrap::Inspection inspection;
  ASSERT_TRUE(gamewrap::InspectWrapped(files.output, inspection, error)) << error;
  EXPECT_EQ(inspection.markerOffset, static_cast<std::int64_t>(stub.size()));
  EXPECT_EQ(inspection.buildId, c.buildId);
  EXPECT_EQ(inspection.payloadSize, static_cast<std::int64_t>(kGame.size()));
  EXPECT_EQ(inspection.recordStatus, payload::RecordStatus::Intact);
  EXPECT_EQ(inspection.record.payloadLength, kGame.size());
  EXPECT_EQ(inspection.record.payloadChecksum, payload::ChecksumOf(kGame));
  EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Matches);
  EXPECT_FALSE(inspection.hasCertificateTable);
  // No temporary file stays behind.
  EXPECT_EQ(FilesIn(files.dir), (std::set<std::string>{"launcher.exe", "game.exe", "wrapped.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Wrapped, PackGameWrites,
    ::testing::Values(GoodCase{"PlainStub", "", "00001234", 1234},
                      GoodCase{"AllNines", "", "99999999", 99999999},
                      GoodCase{"NinesAroundZeros", "", "90000009", 90000009},
                      GoodCase{"AllZeros", "", "00000000", 0},
                      // Only the stub ending in all but the marker's last byte
                      // makes it match early; these endings are harmless.
                      GoodCase{"StubEndsInMarkerStart", "!tamber", "00000001", 1},
                      GoodCase{"StubEndsInMarkerLastByte", "!", "00000001", 1},
                      GoodCase{"StubEndsInBuildInfoStart", "DYN00000BER", "00000001", 1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Bad input --------------------------------------------------------------

enum class Break { BuildId7, BuildId9, BuildIdLetter, BuildIdSigned, BuildIdSpace, MissingStub,
                   MissingGame, EmptyGame, StubWrapped, StubHasBuildInfo, StubEndsInMarkerPrefix,
                   OutputIsStub, OutputIsGame };

struct BadCase {
  const char* name;
  Break what;
  const char* message;
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.name; }

class PackGameRejects : public ::testing::TestWithParam<BadCase> {};

// Bad input gets a message and destroys nothing: inputs stay as they were, an
// existing output is left untouched and no temporary file stays behind.
TEST_P(PackGameRejects, WithMessageAndNothingChanged) {
  Files files;
  gamewrap::PackRequest request{files.stub, files.game, files.output, "00000001"};
  files.dir.Write("wrapped.exe", "previous output");
  switch (GetParam().what) {
    case Break::BuildId7: request.buildId = "1234567"; break;
    case Break::BuildId9: request.buildId = "123456789"; break;
    case Break::BuildIdLetter: request.buildId = "1234567a"; break;
    case Break::BuildIdSigned: request.buildId = "+1234567"; break;
    case Break::BuildIdSpace: request.buildId = " 9999999"; break;
    case Break::MissingStub: request.stubPath = files.dir.File("absent.exe"); break;
    case Break::MissingGame: request.gamePath = files.dir.File("absent.exe"); break;
    case Break::EmptyGame: files.dir.Write("game.exe", ""); break;
    case Break::StubWrapped: files.dir.Write("launcher.exe", kStub + kMarker); break;
    case Break::StubHasBuildInfo:
      files.dir.Write("launcher.exe", payload::BuildInfoText() + kStub);
      break;
    case Break::StubEndsInMarkerPrefix:
      files.dir.Write("launcher.exe", kStub + kMarker.substr(0, kMarker.size() - 1));
      break;
    case Break::OutputIsStub: request.outputPath = files.stub; break;
    case Break::OutputIsGame: request.outputPath = files.dir.path().string() + "/./game.exe"; break;
  }
  const std::set<std::string> namesBefore = FilesIn(files.dir);
  const std::string stubBefore = ReadFile(files.stub);
  const std::string gameBefore = ReadFile(files.game);
  std::string error;
  EXPECT_FALSE(gamewrap::PackGame(request, error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  EXPECT_EQ(ReadFile(files.stub), stubBefore);
  EXPECT_EQ(ReadFile(files.game), gameBefore);
  EXPECT_EQ(ReadFile(files.output), "previous output");
  EXPECT_EQ(FilesIn(files.dir), namesBefore);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, PackGameRejects,
    ::testing::Values(
        BadCase{"BuildIdOfSevenDigits", Break::BuildId7, "not exactly eight decimal digits"},
        BadCase{"BuildIdOfNineDigits", Break::BuildId9, "not exactly eight decimal digits"},
        BadCase{"BuildIdWithLetter", Break::BuildIdLetter, "not exactly eight decimal digits"},
        BadCase{"BuildIdWithSign", Break::BuildIdSigned, "not exactly eight decimal digits"},
        BadCase{"BuildIdWithSpace", Break::BuildIdSpace, "not exactly eight decimal digits"},
        BadCase{"MissingStub", Break::MissingStub, "absent.exe"},
        BadCase{"MissingGame", Break::MissingGame, "absent.exe"},
        BadCase{"EmptyGame", Break::EmptyGame, "is empty"},
        BadCase{"StubAlreadyWrapped", Break::StubWrapped, "already wrapped"},
        BadCase{"StubHoldsBuildInfoText", Break::StubHasBuildInfo, "already wrapped"},
        BadCase{"StubEndsInMarkerPrefix", Break::StubEndsInMarkerPrefix,
                "ends in the first bytes of a payload search text"},
        BadCase{"OutputIsTheStub", Break::OutputIsStub, "is one of the input files"},
        BadCase{"OutputIsTheGameByAnotherName", Break::OutputIsGame, "is one of the input files"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Files that happen to carry a temporary-looking name ----------------------

enum class Bystander { Game, Stub, Unrelated };

struct BystanderCase {
  const char* name;
  Bystander role;
};

void PrintTo(const BystanderCase& c, std::ostream* out) { *out << c.name; }

class PackGameLeaves : public ::testing::TestWithParam<BystanderCase> {};

// A file named like the output plus the tool's temporary suffix is an ordinary
// file: used as an input it is read, not overwritten, and otherwise it is left
// alone.
TEST_P(PackGameLeaves, FileNamedLikeATemporaryOutput) {
  Files files;
  const std::string contents = "MZbystander" + std::string(777, 'b');
  const std::string bystander = files.dir.Write("wrapped.exe.gamewrap-partial", contents);
  gamewrap::PackRequest request{files.stub, files.game, files.output, "00000001"};
  std::string expectedStub = kStub, expectedGame = kGame;
  switch (GetParam().role) {
    case Bystander::Game: request.gamePath = bystander; expectedGame = contents; break;
    case Bystander::Stub: request.stubPath = bystander; expectedStub = contents; break;
    case Bystander::Unrelated: break;
  }
  std::string error;
  ASSERT_TRUE(gamewrap::PackGame(request, error)) << error;
  EXPECT_EQ(ReadFile(bystander), contents);
  EXPECT_EQ(ReadFile(files.output),
            expectedStub + kMarker +
                payload::MakeHeader("00000001", payload::RecordFor(expectedGame)) + expectedGame);
  EXPECT_EQ(FilesIn(files.dir), (std::set<std::string>{"launcher.exe", "game.exe", "wrapped.exe",
                                                       "wrapped.exe.gamewrap-partial"}));
}

INSTANTIATE_TEST_SUITE_P(
    OldTemporaryName, PackGameLeaves,
    ::testing::Values(BystanderCase{"AsTheGame", Bystander::Game},
                      BystanderCase{"AsTheStub", Bystander::Stub},
                      BystanderCase{"Unrelated", Bystander::Unrelated}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Inspecting -------------------------------------------------------------

TEST(InspectWrapped, RefusesFilesThatAreNotWrapped) {
  TempDir dir;
  for (const std::string& contents :
       {kStub, kStub + kMarker + std::string(100, '\0'),
        kStub + kMarker + std::string(400, 'x') + kGame}) {
    gamewrap::Inspection inspection;
    std::string error;
    EXPECT_FALSE(gamewrap::InspectWrapped(dir.Write("f.exe", contents), inspection, error));
    EXPECT_FALSE(error.empty());
  }
  gamewrap::Inspection inspection;
  std::string error;
  EXPECT_FALSE(gamewrap::InspectWrapped(dir.File("absent.exe"), inspection, error));
}

// Sizes beyond 4 GiB must not wrap around in 32-bit arithmetic. The payload is
// a hole in a sparse file, so nothing of that size is written.
TEST(InspectWrapped, PayloadBeyondFourGiB) {
  TempDir dir;
  const std::string path =
      dir.Write("big.exe", kStub + kMarker + payload::MakeHeader("00000042") + "MZ");
  constexpr std::uint64_t kPayloadSize = (std::uint64_t{5} << 30) + 7;
  std::error_code ec;
  std::filesystem::resize_file(path, kStub.size() + 418 + kPayloadSize, ec);
  if (ec) GTEST_SKIP() << "no sparse file of 5 GiB here: " << ec.message();
  gamewrap::Inspection inspection;
  std::string error;
  ASSERT_TRUE(gamewrap::InspectWrapped(path, inspection, error)) << error;
  EXPECT_EQ(inspection.markerOffset, static_cast<std::int64_t>(kStub.size()));
  EXPECT_EQ(inspection.buildId, "00000042");
  EXPECT_EQ(inspection.payloadSize, static_cast<std::int64_t>(kPayloadSize));
}

}  // namespace
