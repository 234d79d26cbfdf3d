#include "launcher/payload_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>

#include "common/unique_file.h"
#include "launcher/temp_file_name.h"
#include "payload/payload_format.h"
#include "tests/support/short_stream.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_seed.h"

namespace {

using testsupport::ReadFile;
using testsupport::SeedTrace;
using testsupport::TempDir;
using testsupport::TestSeed;

const std::string kMarker = payload::PayloadMarker();

UniqueFile OpenRead(const std::string& path) { return UniqueFile(std::fopen(path.c_str(), "rb")); }

std::string Filler(std::size_t size, char fill = 'a') { return std::string(size, fill); }

// Cases shared by the block search and the byte-at-a-time searcher: both must
// give the offset of the first occurrence.
struct SearchCase {
  const char* name;
  std::string contents;
  std::int64_t want;
};

std::vector<SearchCase> SearchCases() {
  return {
      {"AtOffsetZero", kMarker + Filler(100), 0},
      {"FileIsJustTheMarker", kMarker, 0},
      // 17 bytes in the first block, the last one in the second: the carry
      // must keep all 17.
      {"OneByteInSecondBlock", Filler(1024 - 17) + kMarker, 1024 - 17},
      {"StraddlesFirstBlock", Filler(1020) + kMarker + Filler(50), 1020},
      {"StraddlesSecondBlock", Filler(2040) + kMarker, 2040},
      {"EndsExactlyAtBlockEnd", Filler(1024 - 18) + kMarker + Filler(10), 1024 - 18},
      {"FirstOfTwoWins", Filler(10) + kMarker + Filler(3000) + kMarker, 10},
      {"AtVeryEnd", Filler(5000) + kMarker, 5000},
      {"PrefixRepeatsBeforeMatch", Filler(7) + "!!tamber!tamberwrapmarke" + kMarker, 31},
      {"ShorterThanMarker", "!tamberwrap", -1},
      {"EmptyFile", "", -1},
      {"NoMarker", Filler(4000) + kMarker.substr(0, 17) + "?", -1},
      {"HighBytesAround", std::string(1500, '\xFF') + kMarker + std::string(3, '\x80'), 1500},
  };
}

class SearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchTest, FindMarkerGivesFirstOccurrence) {
  TempDir dir;
  const auto file = OpenRead(dir.Write("f.bin", GetParam().contents));
  ASSERT_TRUE(file);
  EXPECT_EQ(FindMarker(file.get(), kMarker), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Marker, SearchTest, ::testing::ValuesIn(SearchCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The block search against a plain search over random files full of partial
// matches. The filler never holds the marker's last byte, so the first match
// lies where a marker was placed: around the 1024-byte block boundaries, at
// every alignment, where the carry between blocks decides the outcome.
TEST(FindMarker, AgreesWithPlainSearchAroundBlockBoundaries) {
  const std::string marker = "abcabd";
  const std::uint64_t seed = TestSeed();
  SCOPED_TRACE(SeedTrace(seed));
  std::mt19937_64 random(seed);
  TempDir dir;
  for (int round = 0; round < 300; ++round) {
    std::string contents(1024 * 4 + random() % 1024, 'a');
    for (char& c : contents) c = "abc"[random() % 3];
    const std::size_t boundary = 1024 * (1 + random() % 3);
    const std::size_t place = boundary - marker.size() - 1 + random() % (2 * marker.size() + 2);
    if (random() % 8 != 0) contents.replace(place, marker.size(), marker);  // some have none
    const std::size_t expected = contents.find(marker);
    const auto file = OpenRead(dir.Write("r.bin", contents));
    ASSERT_EQ(FindMarker(file.get(), marker),
              expected == std::string::npos ? -1 : static_cast<std::int64_t>(expected))
        << "round " << round << ", marker placed at " << place;
  }
}

struct BuildIdCase {
  const char* name;
  std::string field;  // the eight bytes at header offset 160
  std::int32_t want;
};

class BuildIdTest : public ::testing::TestWithParam<BuildIdCase> {};

TEST_P(BuildIdTest, ReadsDigitsBeforeFirstNonDigit) {
  TempDir dir;
  std::string header(payload::kHeaderSize, '\0');
  header.replace(0, 80, payload::BuildInfoText());
  header.replace(payload::kBuildIdOffset, GetParam().field.size(), GetParam().field);
  const std::string path = dir.Write("launcher.exe", Filler(3000, 'x') + kMarker + header + "GAME");
  std::int32_t id = -99;
  ASSERT_EQ(ReadBuildIdentifierFromFile(path, payload::BuildInfoText(), id), BuildIdStatus::Ok);
  EXPECT_EQ(id, GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Field, BuildIdTest,
                         ::testing::Values(BuildIdCase{"AllDigits", "12345678", 12345678},
                                           BuildIdCase{"LeadingZeros", "00000042", 42},
                                           BuildIdCase{"DigitsThenLetters", "12ab5678", 12},
                                           BuildIdCase{"NoDigits", "abcdefgh", 0},
                                           BuildIdCase{"LeadingBlanks", "  000042", 42},
                                           BuildIdCase{"Signed", "-0000012", -12},
                                           BuildIdCase{"ZeroBytes", std::string(8, '\0'), 0},
                                           BuildIdCase{"NinthByteNotRead", "123456789", 12345678}),
                         [](const auto& info) { return std::string(info.param.name); });

// The key block is read from the header that the build-information search
// found, so a launcher whose header ends the file still gets its block, and a
// block cut short by the file's end is damage, not absence.
payload::KeyBlock OneKeyBlock() {
  payload::KeyBlock block;
  payload::PublisherKeyEntry entry;
  entry.keyId = {1, 2, 3, 4, 5, 6, 7, 8};
  entry.publicPoint.fill(0x42);
  block.entries.push_back(entry);
  return block;
}

struct KeyBlockCase {
  const char* name;
  // The launcher's file made from the header holding a key block.
  std::string (*file)(const std::string& header);
  payload::KeyBlockStatus want;
};

void PrintTo(const KeyBlockCase& c, std::ostream* out) { *out << c.name; }

std::string HeaderWithKeyBlock() {
  std::string header = payload::MakeHeader("00000042", payload::RecordFor("GAME"));
  header.replace(payload::kKeyBlockOffset, payload::kKeyBlockSize,
                 payload::MakeKeyBlock(OneKeyBlock()));
  return header;
}

class KeyBlockReadTest : public ::testing::TestWithParam<KeyBlockCase> {};

TEST_P(KeyBlockReadTest, ReadsTheBlockOfTheFoundHeader) {
  TempDir dir;
  const std::string path = dir.Write("launcher.exe", GetParam().file(HeaderWithKeyBlock()));
  std::int32_t id = 0;
  HeaderKeyBlock keyBlock;
  keyBlock.status = payload::KeyBlockStatus::Intact;  // must be overwritten
  ASSERT_EQ(ReadBuildIdentifierFromFile(path, payload::BuildInfoText(), id, &keyBlock),
            BuildIdStatus::Ok);
  EXPECT_EQ(id, 42);
  EXPECT_EQ(keyBlock.status, GetParam().want);
  if (GetParam().want == payload::KeyBlockStatus::Intact) {
    ASSERT_EQ(keyBlock.block.entries.size(), 1u);
    EXPECT_EQ(keyBlock.block.entries[0].keyId, OneKeyBlock().entries[0].keyId);
    EXPECT_TRUE(keyBlock.block.requiresPublisherSignature);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, KeyBlockReadTest,
    ::testing::Values(
        KeyBlockCase{
            "Intact",
            [](const std::string& header) { return Filler(3000, 'x') + kMarker + header + "GAME"; },
            payload::KeyBlockStatus::Intact},
        KeyBlockCase{"NoBlock",
                     [](const std::string&) {
                       return Filler(3000, 'x') + kMarker +
                              payload::MakeHeader("00000042", payload::RecordFor("GAME")) + "GAME";
                     },
                     payload::KeyBlockStatus::Absent},
        KeyBlockCase{"OneByteOfTheBlockChanged",
                     [](const std::string& header) {
                       std::string changed = header;
                       changed[payload::kKeyBlockOffset + 40] ^= 0x01;
                       return Filler(3000, 'x') + kMarker + changed + "GAME";
                     },
                     payload::KeyBlockStatus::Damaged},
        KeyBlockCase{"FileEndsInsideTheBlock",
                     [](const std::string& header) {
                       return Filler(3000, 'x') + kMarker +
                              header.substr(0, payload::kKeyBlockOffset + 20);
                     },
                     payload::KeyBlockStatus::Damaged},
        // The block is not behind the payload marker but behind the
        // build-information text: read where the build identifier is.
        KeyBlockCase{"HeaderWithoutMarker",
                     [](const std::string& header) { return Filler(3000, 'x') + header; },
                     payload::KeyBlockStatus::Intact}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadBuildIdentifier, ReportsMissingTextAndMissingFile) {
  TempDir dir;
  std::int32_t id = 7;
  const std::string noText = dir.Write("plain.exe", Filler(5000) + kMarker);
  EXPECT_EQ(ReadBuildIdentifierFromFile(noText, payload::BuildInfoText(), id),
            BuildIdStatus::MarkerNotFound);
  EXPECT_EQ(ReadBuildIdentifierFromFile(dir.File("absent.exe"), payload::BuildInfoText(), id),
            BuildIdStatus::MarkerNotFound);
  EXPECT_EQ(id, 7);
}

// Copies the payload of `contents` into a fresh file and returns its bytes.
PayloadCopyStatus Copy(const std::string& contents, std::string& copied) {
  TempDir dir;
  const auto in = OpenRead(dir.Write("launcher.exe", contents));
  const std::string outPath = dir.File("out.tmp");
  PayloadCopyStatus status;
  {
    UniqueFile out(std::fopen(outPath.c_str(), "wb"));
    status = CopyPayload(in.get(), out.get(), kMarker);
  }
  copied = ReadFile(outPath);
  return status;
}

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

TEST(CopyPayload, CopiesEverythingFrom418BytesBehindTheMarker) {
  for (std::size_t size : {1u, 4095u, 4096u, 4097u, 3u * 4096u, 100000u}) {
    const std::string game = RandomBytes(size, static_cast<unsigned>(size));
    const std::string header(payload::kHeaderSize, 'h');
    std::string copied;
    ASSERT_EQ(Copy(Filler(777, 'x') + kMarker + header + game, copied), PayloadCopyStatus::Ok);
    EXPECT_EQ(copied, game) << "payload of " << size << " bytes";
  }
}

TEST(CopyPayload, NothingBehindTheHeaderGivesAnEmptyFile) {
  for (std::size_t behind : {0u, 17u, 400u}) {
    std::string copied = "untouched";
    ASSERT_EQ(Copy(Filler(50) + kMarker + Filler(behind, 'h'), copied), PayloadCopyStatus::Ok);
    EXPECT_EQ(copied, "") << behind << " bytes behind the marker";
  }
}

TEST(CopyPayload, MissingMarkerCopiesNothing) {
  std::string copied;
  EXPECT_EQ(Copy(Filler(5000), copied), PayloadCopyStatus::MarkerNotFound);
  EXPECT_EQ(copied, "");
}

// --- Copies under a payload record ------------------------------------------

// What a code signature leaves behind the payload: padding to 8 bytes and a
// certificate table. Not part of the game.
const std::string kTrailer = std::string(5, '\0') + "CERTIFICATE" + std::string(600, 'c');
const std::string kGame = RandomBytes(9000, 99);
const std::string kFront = Filler(777, 'x') + kMarker;

std::string HeaderWith(const std::string& record) {
  std::string header = payload::MakeHeader("00000042");
  header.replace(payload::kRecordOffset, record.size(), record);
  return header;
}

std::string RecordOf(std::uint64_t length, std::uint64_t checksum) {
  return payload::MakePayloadRecord({length, checksum});
}

std::string FlipByte(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x40);
  return bytes;
}

struct RecordCopyCase {
  const char* name;
  std::string contents;
  PayloadCopyStatus want;
  std::string copied;  // when Ok
};

void PrintTo(const RecordCopyCase& c, std::ostream* out) { *out << c.name; }

std::vector<RecordCopyCase> RecordCopyCases() {
  const std::uint64_t size = kGame.size();
  const std::uint64_t sum = payload::ChecksumOf(kGame);
  const std::string good = RecordOf(size, sum);
  return {
      {"IntactCopiesExactlyTheGame", kFront + HeaderWith(good) + kGame + kTrailer,
       PayloadCopyStatus::Ok, kGame},
      {"IntactWithNothingBehind", kFront + HeaderWith(good) + kGame, PayloadCopyStatus::Ok, kGame},
      {"EmptyGameUnderIntactRecord",
       kFront + HeaderWith(RecordOf(0, payload::ChecksumOf(""))) + kTrailer, PayloadCopyStatus::Ok,
       ""},
      // Without the whole tag there is no record: the file is copied to its end.
      {"WrongTagCopiesToTheEnd", kFront + HeaderWith(FlipByte(good, 0)) + kGame + kTrailer,
       PayloadCopyStatus::Ok, kGame + kTrailer},
      {"HeaderCutInsideTagCopiesNothing", kFront + HeaderWith(good).substr(0, 168 + 7),
       PayloadCopyStatus::Ok, ""},
      // The tag with a record that fails its own check: a damaged file.
      {"BadRecordChecksumIsRefused", kFront + HeaderWith(FlipByte(good, 9)) + kGame + kTrailer,
       PayloadCopyStatus::RecordDamaged, ""},
      {"HeaderCutJustBehindTagIsRefused", kFront + HeaderWith(good).substr(0, 168 + 8),
       PayloadCopyStatus::RecordDamaged, ""},
      {"HeaderCutInsideRecordIsRefused", kFront + HeaderWith(good).substr(0, 180),
       PayloadCopyStatus::RecordDamaged, ""},
      // A file cut short: the record claims more than is there.
      {"LengthPastEndIsRefused",
       kFront + HeaderWith(RecordOf(size + kTrailer.size() + 1, sum)) + kGame + kTrailer,
       PayloadCopyStatus::ReadFailed, ""},
      {"GameCutAtTheEndIsRefused", kFront + HeaderWith(good) + kGame.substr(0, kGame.size() - 1),
       PayloadCopyStatus::ReadFailed, ""},
      {"LengthExactlyToTheEndIsUsed",
       kFront +
           HeaderWith(RecordOf(size + kTrailer.size(), payload::ChecksumOf(kGame + kTrailer))) +
           kGame + kTrailer,
       PayloadCopyStatus::Ok, kGame + kTrailer},
      // Cut at or before the game's first byte, behind an intact record.
      {"CutAtTheGamesFirstByteIsRefused", kFront + HeaderWith(good), PayloadCopyStatus::ReadFailed,
       ""},
      {"CutJustBehindTheRecordIsRefused", kFront + HeaderWith(good).substr(0, 168 + 32),
       PayloadCopyStatus::ReadFailed, ""},
      // An empty game claims no bytes, so only the header's own length shows
      // that the file was cut.
      {"EmptyGameInAHeaderCutShortIsRefused",
       kFront + HeaderWith(RecordOf(0, payload::ChecksumOf(""))).substr(0, 300),
       PayloadCopyStatus::ReadFailed, ""},
      // Damaged games under an intact record are refused.
      {"FlippedFirstByte", kFront + HeaderWith(good) + FlipByte(kGame, 0) + kTrailer,
       PayloadCopyStatus::ChecksumMismatch, ""},
      {"FlippedLastByte", kFront + HeaderWith(good) + FlipByte(kGame, kGame.size() - 1) + kTrailer,
       PayloadCopyStatus::ChecksumMismatch, ""},
      {"FlippedByteInSecondChunk", kFront + HeaderWith(good) + FlipByte(kGame, 5000) + kTrailer,
       PayloadCopyStatus::ChecksumMismatch, ""},
      // Bytes missing from the game, the file still long enough through what
      // follows it: the copy takes trailer bytes for game bytes.
      {"GameCutShortBeforeTrailer",
       kFront + HeaderWith(good) + kGame.substr(0, kGame.size() - 100) + kTrailer,
       PayloadCopyStatus::ChecksumMismatch, ""},
      {"ChecksumOfAnotherGame", kFront + HeaderWith(RecordOf(size, sum ^ 1)) + kGame,
       PayloadCopyStatus::ChecksumMismatch, ""},
  };
}

class CopyUnderRecord : public ::testing::TestWithParam<RecordCopyCase> {};

TEST_P(CopyUnderRecord, CopiesTheRecordedGameOrRefusesIt) {
  std::string copied;
  ASSERT_EQ(Copy(GetParam().contents, copied), GetParam().want);
  if (GetParam().want == PayloadCopyStatus::Ok) {
    EXPECT_TRUE(copied == GetParam().copied)
        << copied.size() << " bytes copied, " << GetParam().copied.size() << " wanted";
  }
}

INSTANTIATE_TEST_SUITE_P(Record, CopyUnderRecord, ::testing::ValuesIn(RecordCopyCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Whole 4096-byte chunks and a single byte under a record, as gamewrap makes them.
TEST(CopyUnderRecord, MadeAppendedDataCopiesBack) {
  for (std::size_t size : {0u, 1u, 4096u, 3u * 4096u}) {
    const std::string game = RandomBytes(size, static_cast<unsigned>(size) + 1);
    std::string copied = "untouched";
    ASSERT_EQ(
        Copy(Filler(100) + payload::MakeRecordedAppendedData("00000001", game) + kTrailer, copied),
        PayloadCopyStatus::Ok);
    EXPECT_TRUE(copied == game) << "game of " << size << " bytes";
  }
}

#ifdef __GLIBC__
// A launcher file that delivers fewer bytes than its measured size promises:
// the copy must end in ReadFailed rather than retry the empty read for ever.
using testsupport::ShortStream;

struct ShortfallCase {
  const char* name;
  ShortStream::Shortfall shortfall;
};

class CopyPayloadShortfall : public ::testing::TestWithParam<ShortfallCase> {};

// Without the guard against empty reads, EndsEarly loops until the test
// binary's ctest timeout; ReadsFail finishes and fails the expectation.
TEST_P(CopyPayloadShortfall, EndsInReadFailed) {
  const std::string contents = Filler(100, 'x') + kMarker + Filler(400, 'h') + Filler(10000, 'g');
  ShortStream stream(contents, static_cast<std::int64_t>(contents.size()) + 5000,
                     GetParam().shortfall);
  const auto launcher = stream.Open();
  ASSERT_TRUE(launcher);
  TempDir dir;
  UniqueFile out(std::fopen(dir.File("out.tmp").c_str(), "wb"));
  EXPECT_EQ(CopyPayload(launcher.get(), out.get(), kMarker), PayloadCopyStatus::ReadFailed);
}

INSTANTIATE_TEST_SUITE_P(
    Stream, CopyPayloadShortfall,
    ::testing::Values(ShortfallCase{"EndsEarly", ShortStream::Shortfall::EndsEarly},
                      ShortfallCase{"ReadsFail", ShortStream::Shortfall::ReadsFail}),
    [](const auto& info) { return std::string(info.param.name); });

// The file promises the recorded game by its size but delivers less of it.
TEST_P(CopyPayloadShortfall, UnderAnIntactRecordEndsInReadFailed) {
  const std::string game = Filler(10000, 'g');
  const std::string contents =
      Filler(100, 'x') + payload::MakeRecordedAppendedData("00000001", game);
  ShortStream stream(contents.substr(0, contents.size() - 3000),
                     static_cast<std::int64_t>(contents.size()), GetParam().shortfall);
  const auto launcher = stream.Open();
  ASSERT_TRUE(launcher);
  TempDir dir;
  UniqueFile out(std::fopen(dir.File("out.tmp").c_str(), "wb"));
  EXPECT_EQ(CopyPayload(launcher.get(), out.get(), kMarker), PayloadCopyStatus::ReadFailed);
}

// A search that a read error cut short has not shown the marker to be missing.
TEST(CopyPayload, ReadErrorDuringMarkerSearchEndsInReadFailed) {
  const std::string contents = Filler(3000, 'x');
  ShortStream stream(contents, static_cast<std::int64_t>(contents.size()) + 5000,
                     ShortStream::Shortfall::ReadsFail);
  const auto launcher = stream.Open();
  ASSERT_TRUE(launcher);
  TempDir dir;
  UniqueFile out(std::fopen(dir.File("out.tmp").c_str(), "wb"));
  EXPECT_EQ(CopyPayload(launcher.get(), out.get(), kMarker), PayloadCopyStatus::ReadFailed);
}

// A size that cannot be measured must not pass for an empty payload.
TEST(CopyPayload, UnmeasurableSizeEndsInReadFailed) {
  const cookie_io_functions_t noSeek{[](void*, char*, std::size_t) -> ssize_t { return 0; },
                                     nullptr, nullptr, nullptr};
  UniqueFile launcher(fopencookie(nullptr, "rb", noSeek));
  ASSERT_TRUE(launcher);
  TempDir dir;
  UniqueFile out(std::fopen(dir.File("out.tmp").c_str(), "wb"));
  EXPECT_EQ(CopyPayload(launcher.get(), out.get(), kMarker), PayloadCopyStatus::ReadFailed);
}
#endif  // __GLIBC__

struct NameCase {
  const char* name;
  const char* fileName;
  bool stale;
};

class StaleNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(StaleNameTest, RecognisesOwnTemporaryNames) {
  EXPECT_EQ(IsLauncherTempFileName(GetParam().fileName), GetParam().stale);
}

INSTANTIATE_TEST_SUITE_P(Name, StaleNameTest,
                         ::testing::Values(NameCase{"UpperHex", "tmb00FF.tmp", true},
                                           NameCase{"UpperExtension", "tmb00FF.TMP", true},
                                           NameCase{"MixedExtension", "tmbA1B2.TmP", true},
                                           NameCase{"Digits", "tmb0123.tmp", true},
                                           NameCase{"LowerHex", "tmb00ff.tmp", false},
                                           NameCase{"UpperPrefix", "TMB00FF.tmp", false},
                                           NameCase{"NotHex", "tmb00FG.tmp", false},
                                           NameCase{"FirstDigitNotHex", "tmbG0FF.tmp", false},
                                           NameCase{"LongerExtension", "tmb00FF.tmpx", false},
                                           NameCase{"ThreeDigits", "tmb0FF.tmp", false},
                                           NameCase{"OtherExtension", "tmb00FF.txt", false},
                                           NameCase{"NoDot", "tmb00FFxtmp", false},
                                           NameCase{"Empty", "", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
