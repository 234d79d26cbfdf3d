#include "tools/gamewrap/wrap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

#include "common/unique_file.h"
#include "launcher/payload_reader.h"
#include "payload/payload_format.h"
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

enum class Break {
  BuildId7,
  BuildId9,
  BuildIdLetter,
  BuildIdSigned,
  BuildIdSpace,
  MissingStub,
  MissingGame,
  EmptyGame,
  StubWrapped,
  StubHasBuildInfo,
  StubEndsInMarkerPrefix,
  OutputIsStub,
  OutputIsGame
};

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
    case Break::BuildId7:
      request.buildId = "1234567";
      break;
    case Break::BuildId9:
      request.buildId = "123456789";
      break;
    case Break::BuildIdLetter:
      request.buildId = "1234567a";
      break;
    case Break::BuildIdSigned:
      request.buildId = "+1234567";
      break;
    case Break::BuildIdSpace:
      request.buildId = " 9999999";
      break;
    case Break::MissingStub:
      request.stubPath = files.dir.File("absent.exe");
      break;
    case Break::MissingGame:
      request.gamePath = files.dir.File("absent.exe");
      break;
    case Break::EmptyGame:
      files.dir.Write("game.exe", "");
      break;
    case Break::StubWrapped:
      files.dir.Write("launcher.exe", kStub + kMarker);
      break;
    case Break::StubHasBuildInfo:
      files.dir.Write("launcher.exe", payload::BuildInfoText() + kStub);
      break;
    case Break::StubEndsInMarkerPrefix:
      files.dir.Write("launcher.exe", kStub + kMarker.substr(0, kMarker.size() - 1));
      break;
    case Break::OutputIsStub:
      request.outputPath = files.stub;
      break;
    case Break::OutputIsGame:
      request.outputPath = files.dir.path().string() + "/./game.exe";
      break;
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

// --- A game that changes while it is packed ----------------------------------

struct ChangeCase {
  const char* name;
  bool restoredAfterTheCopy;  // a later read of the game finds it as it was
};

void PrintTo(const ChangeCase& c, std::ostream* out) { *out << c.name; }

class PackGameChange : public ::testing::TestWithParam<ChangeCase> {};

// The game's last byte is rewritten once its first MiB has been copied, after
// its checksum was taken for the record: the copy no longer matches the record,
// and every launcher made from it would refuse to run. Pack fails instead.
TEST_P(PackGameChange, FailsThePackAndLeavesTheOutputAlone) {
  Files files;
  const std::string game = "MZ" + std::string((1 << 20) + 100, 'g');
  files.dir.Write("game.exe", game);
  files.dir.Write("wrapped.exe", "previous output");
  const auto rewriteLastByte = [&files](char byte) {
    UniqueFile patch(std::fopen(files.game.c_str(), "r+b"));
    ASSERT_TRUE(patch);
    ASSERT_EQ(std::fseek(patch.get(), -1, SEEK_END), 0);
    ASSERT_EQ(std::fputc(byte, patch.get()), byte);
  };
  int rewrites = 0;
  gamewrap::PackRequest request{files.stub, files.game, files.output, "00000001"};
  request.progress = [&](std::int64_t copied, std::int64_t total) {
    if (rewrites == 0 && copied >= (1 << 20) && copied < total) {
      rewriteLastByte('!');
      ++rewrites;
    } else if (rewrites == 1 && copied == total && GetParam().restoredAfterTheCopy) {
      rewriteLastByte('g');
      ++rewrites;
    }
  };
  std::string error;
  EXPECT_FALSE(gamewrap::PackGame(request, error));
  EXPECT_EQ(rewrites, GetParam().restoredAfterTheCopy ? 2 : 1);
  EXPECT_EQ(error, "game '" + files.game + "' changed while it was being read");
  EXPECT_EQ(ReadFile(files.output), "previous output");
  EXPECT_EQ(FilesIn(files.dir), (std::set<std::string>{"launcher.exe", "game.exe", "wrapped.exe"}));
}

INSTANTIATE_TEST_SUITE_P(Game, PackGameChange,
                         ::testing::Values(ChangeCase{"LastByteRewritten", false},
                                           ChangeCase{"RewrittenAndRestored", true}),
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
    case Bystander::Game:
      request.gamePath = bystander;
      expectedGame = contents;
      break;
    case Bystander::Stub:
      request.stubPath = bystander;
      expectedStub = contents;
      break;
    case Bystander::Unrelated:
      break;
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

INSTANTIATE_TEST_SUITE_P(OldTemporaryName, PackGameLeaves,
                         ::testing::Values(BystanderCase{"AsTheGame", Bystander::Game},
                                           BystanderCase{"AsTheStub", Bystander::Stub},
                                           BystanderCase{"Unrelated", Bystander::Unrelated}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Inspecting -------------------------------------------------------------

TEST(InspectWrapped, RefusesFilesThatAreNotWrapped) {
  TempDir dir;
  for (const std::string& contents : {kStub, kStub + kMarker + std::string(100, '\0'),
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

// --- Records and certificate tables ----------------------------------------

void PutLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A minimal PE image head: DOS header pointing at 0x80, PE signature, COFF
// header with the optional header's size, optional header with `magic` and
// `directories` data directories, the security one (index 4) set to
// `offset`/`size`.
std::string PeImage(std::uint32_t magic, std::uint32_t directories, std::uint32_t offset,
                    std::uint32_t size, std::size_t optionalSize = 0) {
  const std::size_t countAt = magic == 0x20B ? 108 : 92;
  if (optionalSize == 0) optionalSize = countAt + 4 + 16 * 8;
  std::string image(0x80 + 24 + optionalSize + 64, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  PutLittleEndian(image, 0x3C, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  PutLittleEndian(image, 0x80 + 4 + 16, static_cast<std::uint32_t>(optionalSize), 2);
  const std::size_t optional = 0x80 + 24;
  PutLittleEndian(image, optional, magic, 2);
  PutLittleEndian(image, optional + countAt, directories, 4);
  const std::size_t entry = countAt + 4 + 4 * 8;
  if (entry + 8 <= optionalSize) {
    PutLittleEndian(image, optional + entry, offset, 4);
    PutLittleEndian(image, optional + entry + 4, size, 4);
  }
  return image;
}

struct CertificateCase {
  const char* name;
  std::string image;
  std::size_t fileSize;  // the image is padded with zeros to this size
  bool found;
};

class FindCertificateTableTest : public ::testing::TestWithParam<CertificateCase> {};

TEST_P(FindCertificateTableTest, ReadsTheSecurityDirectoryWithinBounds) {
  TempDir dir;
  std::string contents = GetParam().image;
  contents.resize(std::max(contents.size(), GetParam().fileSize), '\0');
  UniqueFile file(std::fopen(dir.Write("image.exe", contents).c_str(), "rb"));
  gamewrap::CertificateTable table{1, 1};
  EXPECT_EQ(
      gamewrap::FindCertificateTable(file.get(), static_cast<std::int64_t>(contents.size()), table),
      GetParam().found);
  if (GetParam().found) {
    EXPECT_EQ(table.offset, 4096u);
    EXPECT_EQ(table.size, 904u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pe, FindCertificateTableTest,
    ::testing::Values(
        CertificateCase{"Pe32Plus", PeImage(0x20B, 16, 4096, 904), 5000, true},
        CertificateCase{"Pe32", PeImage(0x10B, 16, 4096, 904), 5000, true},
        CertificateCase{"EndsExactlyAtFileEnd", PeImage(0x20B, 16, 4096, 904), 5000, true},
        CertificateCase{"OneBytePastFileEnd", PeImage(0x20B, 16, 4096, 904), 4999, false},
        CertificateCase{"OffsetBeyondFile", PeImage(0x20B, 16, 0xFFFFFFF0u, 904), 5000, false},
        CertificateCase{"NoEntry", PeImage(0x20B, 16, 0, 0), 5000, false},
        CertificateCase{"OnlyFourDirectories", PeImage(0x20B, 4, 4096, 904), 5000, false},
        // The entry would lie behind the optional header's end.
        CertificateCase{"OptionalHeaderTooSmall", PeImage(0x20B, 16, 4096, 904, 140), 5000, false},
        // The optional header ends with the entry: the first five of the
        // sixteen directories it claims.
        CertificateCase{"OptionalHeaderEndsWithTheEntryPe32Plus",
                        PeImage(0x20B, 16, 4096, 904, 108 + 4 + 5 * 8), 5000, true},
        CertificateCase{"OptionalHeaderEndsWithTheEntryPe32",
                        PeImage(0x10B, 16, 4096, 904, 92 + 4 + 5 * 8), 5000, true},
        CertificateCase{"UnknownMagic", PeImage(0x107, 16, 4096, 904), 5000, false},
        CertificateCase{"NotMz", "XZ" + PeImage(0x20B, 16, 4096, 904).substr(2), 5000, false},
        CertificateCase{"PeOffsetBeyondFile",
                        [] {
                          std::string image = PeImage(0x20B, 16, 4096, 904);
                          PutLittleEndian(image, 0x3C, 0xFFFFFF00u, 4);
                          return image;
                        }(),
                        5000, false},
        CertificateCase{"TooShortForDosHeader", "MZ", 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct InspectRecordCase {
  const char* name;
  std::string appended;  // behind kStub
  payload::RecordStatus status;
  bool pastEnd;
  gamewrap::PayloadMatch match;
};

std::string AppendedWithRecord(const std::string& record, const std::string& game) {
  std::string header = payload::MakeHeader("00000042");
  header.replace(payload::kRecordOffset, record.size(), record);
  return kMarker + header + game;
}

class InspectRecord : public ::testing::TestWithParam<InspectRecordCase> {};

TEST_P(InspectRecord, ReportsRecordAndPayloadCheck) {
  TempDir dir;
  gamewrap::Inspection inspection;
  std::string error;
  ASSERT_TRUE(
      gamewrap::InspectWrapped(dir.Write("w.exe", kStub + GetParam().appended), inspection, error))
      << error;
  EXPECT_EQ(inspection.recordStatus, GetParam().status);
  EXPECT_EQ(inspection.recordPastEnd, GetParam().pastEnd);
  EXPECT_EQ(inspection.payloadMatch, GetParam().match);
}

const std::string kGoodRecord = payload::MakePayloadRecord(payload::RecordFor(kGame));

INSTANTIATE_TEST_SUITE_P(
    Record, InspectRecord,
    ::testing::Values(
        InspectRecordCase{"Absent", payload::MakeAppendedData("00000042", kGame),
                          payload::RecordStatus::Absent, false, gamewrap::PayloadMatch::NotChecked},
        InspectRecordCase{"ValidWithTrailer", AppendedWithRecord(kGoodRecord, kGame + "trailer"),
                          payload::RecordStatus::Intact, false, gamewrap::PayloadMatch::Matches},
        InspectRecordCase{"Damaged", AppendedWithRecord(kGoodRecord.substr(0, 31) + "?", kGame),
                          payload::RecordStatus::Damaged, false,
                          gamewrap::PayloadMatch::NotChecked},
        InspectRecordCase{"PastEnd", AppendedWithRecord(kGoodRecord, kGame.substr(1)),
                          payload::RecordStatus::Intact, true, gamewrap::PayloadMatch::NotChecked},
        InspectRecordCase{"GameDiffers", AppendedWithRecord(kGoodRecord, "X" + kGame.substr(1)),
                          payload::RecordStatus::Intact, false, gamewrap::PayloadMatch::Differs}),
    [](const auto& info) { return std::string(info.param.name); });

// A signed launcher: the wrapped file is a PE image whose certificate table
// was appended behind the game.
TEST(InspectWrapped, FindsTheCertificateTableBehindTheGame) {
  TempDir dir;
  std::string stub = PeImage(0x20B, 16, 0, 0);
  stub.resize(3000, 's');
  const std::string appended = payload::MakeRecordedAppendedData("00000042", kGame);
  const std::uint32_t tableAt = static_cast<std::uint32_t>(stub.size() + appended.size() + 3);
  const std::size_t entry = 0x80 + 24 + 108 + 4 + 4 * 8;
  PutLittleEndian(stub, entry, tableAt, 4);
  PutLittleEndian(stub, entry + 4, 600, 4);
  gamewrap::Inspection inspection;
  std::string error;
  ASSERT_TRUE(gamewrap::InspectWrapped(
      dir.Write("signed.exe", stub + appended + std::string(3, '\0') + std::string(600, 'c')),
      inspection, error))
      << error;
  EXPECT_TRUE(inspection.hasCertificateTable);
  EXPECT_EQ(inspection.certificateTable.offset, tableAt);
  EXPECT_EQ(inspection.certificateTable.size, 600u);
  EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Matches);
}

// Pack, then inspect and copy as the launcher does, at the sizes where chunked
// reads go wrong. An empty game is refused by pack, so its record is checked
// through the format's own functions.
TEST(PackedRecord, RoundTripsAtChunkBoundaries) {
  for (std::size_t size : {0u, 1u, 4096u, 2u * 4096u, 4097u}) {
    SCOPED_TRACE("game of " + std::to_string(size) + " bytes");
    Files files;
    const std::string game(size, 'z');
    if (size == 0) {
      files.dir.Write("wrapped.exe", kStub + payload::MakeRecordedAppendedData("00000001", game));
    } else {
      files.dir.Write("game.exe", game);
      std::string error;
      ASSERT_TRUE(gamewrap::PackGame({files.stub, files.game, files.output, "00000001"}, error))
          << error;
    }
    gamewrap::Inspection inspection;
    std::string error;
    ASSERT_TRUE(gamewrap::InspectWrapped(files.output, inspection, error)) << error;
    EXPECT_EQ(inspection.recordStatus, payload::RecordStatus::Intact);
    EXPECT_EQ(inspection.record.payloadLength, size);
    EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Matches);
    EXPECT_TRUE(ReadAsLauncher(files.dir, files.output).game == game);
  }
}

// A game of several hundred MiB, mostly a hole in a sparse file: the record's
// length needs more than 28 bits and the checksum covers every chunk.
TEST(PackedRecord, RoundTripsForALargeGame) {
  constexpr std::uint64_t kSize = (std::uint64_t{300} << 20) + 5;
  Files files;
  std::error_code ec;
  std::filesystem::resize_file(files.game, kSize, ec);
  if (ec) GTEST_SKIP() << "no sparse file here: " << ec.message();
  std::string error;
  ASSERT_TRUE(gamewrap::PackGame({files.stub, files.game, files.output, "00000001"}, error))
      << error;
  gamewrap::Inspection inspection;
  ASSERT_TRUE(gamewrap::InspectWrapped(files.output, inspection, error)) << error;
  EXPECT_EQ(inspection.recordStatus, payload::RecordStatus::Intact);
  EXPECT_EQ(inspection.record.payloadLength, kSize);
  EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Matches);

  // One byte changed in the middle is caught.
  {
    UniqueFile patch(std::fopen(files.output.c_str(), "r+b"));
    ASSERT_TRUE(patch);
    ASSERT_EQ(
        std::fseek(patch.get(), static_cast<long>(kStub.size() + 418 + (150 << 20)), SEEK_SET), 0);
    ASSERT_EQ(std::fputc('!', patch.get()), '!');
  }
  ASSERT_TRUE(gamewrap::InspectWrapped(files.output, inspection, error)) << error;
  EXPECT_EQ(inspection.payloadMatch, gamewrap::PayloadMatch::Differs);
}

}  // namespace
