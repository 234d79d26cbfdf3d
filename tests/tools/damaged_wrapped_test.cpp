// gamewrap inspect on damaged wrapped launchers, run as a user runs it: each
// either fails with exit code 1 and a message naming the damage, or reports
// the file's layout exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>

#include "payload/payload_format.h"
#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Gamewrap;
using testsupport::TempDir;

const std::string kStub = "MZ" + std::string(998, 's');  // 1000 bytes
const std::string kGame = "MZgame" + std::string(4090, 'g');

std::string Header() { return payload::MakeHeader("20240607"); }

std::string RecordHeader(std::uint64_t claimedLength) {
  payload::PayloadRecord record = payload::RecordFor(kGame);
  record.payloadLength = claimedLength;
  return payload::MakeHeader("20240607", record);
}

std::string RecordWithItsChecksumSpoiled() {
  std::string header = RecordHeader(kGame.size());
  char& last = header[payload::kRecordOffset + payload::kRecordSize - 1];
  last = static_cast<char>(last ^ 1);
  return header;
}

struct DamageCase {
  const char* name;
  std::string file;
  int exitCode;
  std::string wanted;  // in stderr when failing, in stdout otherwise
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class DamagedWrappedFile : public testing::TestWithParam<DamageCase> {};

TEST_P(DamagedWrappedFile, InspectFailsClearlyOrReportsExactly) {
  const TempDir dir;
  const std::string path = dir.Write("launcher.exe", GetParam().file);
  const testsupport::ToolRun run = Gamewrap("inspect " + path);
  EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
  const std::string& shown = run.exitCode == 0 ? run.out : run.err;
  EXPECT_NE(shown.find(GetParam().wanted), std::string::npos) << shown;
  if (run.exitCode != 0) {
    EXPECT_EQ(run.out, "");
  }
}

const std::string kMarker = payload::PayloadMarker();
constexpr char kCutBeforeTag[] =
    "ends inside its payload header block, before any payload record's tag is complete: the "
    "launcher extracts nothing and shows \"Failed to execute game\" (exit code 0)";
constexpr char kCutBehindTag[] =
    "ends inside its payload header block, behind a payload record's tag: the launcher refuses "
    "to run it (\"Unable to extract game executable.\", exit code 7)";

INSTANTIATE_TEST_SUITE_P(
    Inspect, DamagedWrappedFile,
    testing::Values(
        DamageCase{"TruncatedHeader", kStub + kMarker + Header().substr(0, 120), 1,
                   "ends inside its payload header block"},
        DamageCase{"HeaderOneByteShort", kStub + kMarker + Header().substr(0, 399), 1,
                   "ends inside its payload header block"},
        DamageCase{"MarkerInLastBytes", kStub + kMarker, 1, "ends inside its payload header block"},
        // Where the header is cut says how the launcher ends the file.
        DamageCase{"CutInTheBuildInformation", kStub + kMarker + Header().substr(0, 40), 1,
                   "ends inside its payload header block, within its build-information text: "
                   "the launcher shows that it cannot find it (exit code 0)"},
        DamageCase{"CutBeforeTheBuildIdentifierEnds", kStub + kMarker + Header().substr(0, 164), 1,
                   "ends inside its payload header block, within or before its build identifier: "
                   "the launcher reads another build identifier and refuses the properties "
                   "signature (exit code 0)"},
        DamageCase{"RecordedCutAtTheRecord",
                   kStub + kMarker + RecordHeader(kGame.size()).substr(0, 168), 1, kCutBeforeTag},
        DamageCase{"RecordedCutInsideTheTag",
                   kStub + kMarker + RecordHeader(kGame.size()).substr(0, 172), 1, kCutBeforeTag},
        DamageCase{"WithoutRecordCutBehindItsPlace", kStub + kMarker + Header().substr(0, 300), 1,
                   kCutBeforeTag},
        DamageCase{"RecordedCutBehindTheTag",
                   kStub + kMarker + RecordHeader(kGame.size()).substr(0, 176), 1, kCutBehindTag},
        DamageCase{"RecordedCutBehindTheRecord",
                   kStub + kMarker + RecordHeader(kGame.size()).substr(0, 399), 1, kCutBehindTag},
        DamageCase{"BuildInfoWithoutMarker", kStub + Header() + kGame, 1,
                   "holds no payload marker: it is not a wrapped launcher"},
        DamageCase{"MarkerWithoutBuildInfo", kStub + kMarker + std::string(400, '\0') + kGame, 1,
                   "has no build-information text behind its payload marker"},
        // A stub whose last bytes begin the marker: the search restarts inside
        // them and finds the real marker right behind.
        DamageCase{"StubEndingInPartOfMarker",
                   kStub + kMarker.substr(0, 10) + kMarker + Header() + kGame, 0,
                   "marker offset: 1010\nbuild identifier: 20240607\npayload size: 4096\n"},
        // Seventeen marker bytes and the real marker's "!" make a whole marker
        // 17 bytes early, so the header is looked for in the wrong place.
        DamageCase{"StubEndingInAllButLastMarkerByte",
                   kStub + kMarker.substr(0, 17) + kMarker + Header() + kGame, 1,
                   "has no build-information text behind its payload marker"},
        DamageCase{"RecordFailingItsOwnChecksum",
                   kStub + kMarker + RecordWithItsChecksumSpoiled() + kGame, 0,
                   "payload record: damaged (the launcher will refuse to run it)\n"},
        DamageCase{"ExactHeaderNoPayload", kStub + kMarker + Header(), 0,
                   "marker offset: 1000\nbuild identifier: 20240607\npayload size: 0\n"},
        DamageCase{"RecordClaimsPast2GiB", kStub + kMarker + RecordHeader(0x80000000ULL) + kGame, 0,
                   "payload size: 4096\npayload record: invalid: claims more than the file holds "
                   "(the launcher will refuse to run it)\nrecorded length: 2147483648\n"},
        DamageCase{"RecordClaimsPast4GiB", kStub + kMarker + RecordHeader(0x100000001ULL) + kGame,
                   0,
                   "payload record: invalid: claims more than the file holds "
                   "(the launcher will refuse to run it)\nrecorded length: 4294967297\n"
                   "recorded checksum: "},
        // Only the low 32 bits of 4 GiB + 4096 equal the payload's size: the
        // claim must still count as past the end.
        DamageCase{"RecordClaims4GiBPlusPayload",
                   kStub + kMarker + RecordHeader(0x100000000ULL + 4096) + kGame, 0,
                   "invalid: claims more than the file holds"}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

// --- The same with --json ------------------------------------------------------

class DamagedWrappedFileJson : public testing::TestWithParam<DamageCase> {};

// `wanted` is part of the values as tests/tools/json_fields.py prints them.
TEST_P(DamagedWrappedFileJson, ReportsTheDamageInItsFields) {
  const TempDir dir;
  const std::string path = dir.Write("launcher.exe", GetParam().file);
  const testsupport::ToolRun run = Gamewrap("inspect --json " + path);
  EXPECT_EQ(run.exitCode, GetParam().exitCode) << run.out << run.err;
  const testsupport::ToolRun fields = testsupport::JsonFields(run.out);
  ASSERT_EQ(fields.exitCode, 0) << fields.err;
  EXPECT_NE(fields.out.find(GetParam().wanted), std::string::npos) << fields.out;
}

// The game's checksum as inspect shows it.
std::string GameChecksum() {
  char text[20];
  std::snprintf(text, sizeof text, "%016llx",
                static_cast<unsigned long long>(payload::RecordFor(kGame).payloadChecksum));
  return text;
}

// A build identifier field of bytes no launcher would carry: quote,
// backslash, control characters, a byte that is not UTF-8 and one that is.
const std::string kOddBuildId = "\"\\\x01\x7F\xFF\xC3\xA9z";

// How those bytes are written: valid UTF-8 as it is, the byte 0xFF as \uDCFF.
TEST(DamagedWrappedFileJsonText, EscapesTheBuildIdField) {
  const TempDir dir;
  const std::string path =
      dir.Write("launcher.exe", kStub + kMarker + payload::MakeHeader(kOddBuildId) + kGame);
  const testsupport::ToolRun run = Gamewrap("inspect --json " + path);
  EXPECT_NE(run.out.find("\"buildId\": \"\\\"\\\\\\u0001\\u007F\\uDCFF\xC3\xA9z\""),
            std::string::npos)
      << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Inspect, DamagedWrappedFileJson,
    testing::Values(
        DamageCase{
            "NoRecord", kStub + kMarker + Header() + kGame, 0,
            "error=null\nmarkerOffset=1000\npayloadOffset=1418\npayloadSize=4096\n"
            "buildId=\"20240607\"\nrecord=\"absent\"\nrecordedLength=null\n"
            "recordedChecksum=null\npayloadChecksum=\"notChecked\"\ncertificateTable=null\n"},
        DamageCase{"RecordFailingItsOwnChecksum",
                   kStub + kMarker + RecordWithItsChecksumSpoiled() + kGame, 0,
                   "record=\"damaged\"\nrecordedLength=null\nrecordedChecksum=null\n"
                   "payloadChecksum=\"notChecked\"\n"},
        DamageCase{"RecordClaimsPast4GiB", kStub + kMarker + RecordHeader(0x100000001ULL) + kGame,
                   0,
                   "record=\"pastEnd\"\nrecordedLength=4294967297\nrecordedChecksum=\"" +
                       GameChecksum() + "\"\npayloadChecksum=\"notChecked\"\n"},
        DamageCase{"OddBytesInBuildId", kStub + kMarker + payload::MakeHeader(kOddBuildId) + kGame,
                   0, "\nbuildId=\"" + kOddBuildId + "\"\n"},
        DamageCase{"NotWrapped", kStub + Header() + kGame, 1,
                   "launcher.exe' holds no payload marker: it is not a wrapped launcher\"\n"}),
    [](const testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

}  // namespace
