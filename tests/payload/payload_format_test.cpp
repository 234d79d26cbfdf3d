#include "payload/payload_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Spelled out here, not built with the functions under test: a wrong
// character restored at run time would otherwise pass unnoticed, since every
// other test makes its files with the same functions.
TEST(SearchTexts, AreTheLiteralTexts) {
  EXPECT_EQ(payload::PayloadMarker(), "!tamberwrapmarker!");
  EXPECT_EQ(payload::BuildInfoText(),
            "DYN00000BERTAMTAMBERBERTAMTAMBERBUILDINFOMARKERBERTAMTAMBERBERTAMTAMBERXXXXXXXXX");
}

template <typename Param>
std::string CaseName(const ::testing::TestParamInfo<Param>& info) {
  return info.param.name;
}

struct FieldValueCase {
  const char* name;
  std::string field;
  std::int32_t want;
};

class BuildIdFromFieldTest : public ::testing::TestWithParam<FieldValueCase> {};

TEST_P(BuildIdFromFieldTest, ReadsAsTheCLibraryDoes) {
  EXPECT_EQ(payload::BuildIdFromField(GetParam().field), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Field, BuildIdFromFieldTest,
    ::testing::Values(FieldValueCase{"EightDigits", "12345678", 12345678},
                      FieldValueCase{"AllNines", "99999999", 99999999},
                      FieldValueCase{"NinthDigitIgnored", "123456789", 12345678},
                      FieldValueCase{"LeadingSpaces", "   00042", 42},
                      FieldValueCase{"LeadingTabAndNewline", "\t\n123456", 123456},
                      // White space within the first eight bytes only.
                      FieldValueCase{"SpacesUpToNinthByte", "        7", 0},
                      FieldValueCase{"PlusSign", "+0000042", 42},
                      FieldValueCase{"MinusSign", "-1234567", -1234567},
                      FieldValueCase{"SignAlone", "-", 0},
                      FieldValueCase{"SpaceAfterSign", "- 123456", 0},
                      FieldValueCase{"TwoSigns", "+-123456", 0},
                      FieldValueCase{"StopsAtLetter", "12ab5678", 12},
                      FieldValueCase{"StopsAtColon", "12:45678", 12},
                      FieldValueCase{"StopsAtSlash", "12/45678", 12},
                      FieldValueCase{"StopsAtZeroByte",
                                     "12\0"
                                     "45678"s,
                                     12},
                      FieldValueCase{"NoDigits", "abcdefgh", 0}, FieldValueCase{"Empty", "", 0}),
    CaseName<FieldValueCase>);

struct ArgumentCase {
  const char* name;
  const char* text;
  bool ok;
  std::int32_t want;  // when ok
};

class ParseBuildIdArgumentTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ParseBuildIdArgumentTest, TakesOneToEightDigitsOnly) {
  std::int32_t id = -5;
  EXPECT_EQ(payload::ParseBuildIdArgument(GetParam().text, id), GetParam().ok);
  EXPECT_EQ(id, GetParam().ok ? GetParam().want : -5) << "a rejected text leaves the value alone";
}

INSTANTIATE_TEST_SUITE_P(Argument, ParseBuildIdArgumentTest,
                         ::testing::Values(ArgumentCase{"OneDigit", "7", true, 7},
                                           ArgumentCase{"Short", "42", true, 42},
                                           ArgumentCase{"Padded", "00000042", true, 42},
                                           ArgumentCase{"AllNines", "99999999", true, 99999999},
                                           ArgumentCase{"NineDigits", "123456789", false, 0},
                                           ArgumentCase{"PaddedToNine", "000000042", false, 0},
                                           ArgumentCase{"Empty", "", false, 0},
                                           ArgumentCase{"PlusSign", "+42", false, 0},
                                           ArgumentCase{"MinusSign", "-42", false, 0},
                                           ArgumentCase{"LeadingSpace", " 42", false, 0},
                                           ArgumentCase{"TrailingLetter", "42a", false, 0},
                                           ArgumentCase{"Colon", "4:", false, 0}),
                         CaseName<ArgumentCase>);

struct FieldShapeCase {
  const char* name;
  const char* field;
  bool isField;
};

class IsBuildIdFieldTest : public ::testing::TestWithParam<FieldShapeCase> {};

TEST_P(IsBuildIdFieldTest, WantsExactlyEightDigits) {
  EXPECT_EQ(payload::IsBuildIdField(GetParam().field), GetParam().isField);
}

INSTANTIATE_TEST_SUITE_P(Field, IsBuildIdFieldTest,
                         ::testing::Values(FieldShapeCase{"EightDigits", "12345678", true},
                                           FieldShapeCase{"AllNines", "99999999", true},
                                           FieldShapeCase{"AllZeros", "00000000", true},
                                           FieldShapeCase{"Seven", "1234567", false},
                                           FieldShapeCase{"Nine", "123456789", false},
                                           FieldShapeCase{"LastNotDigit", "1234567a", false},
                                           FieldShapeCase{"FirstNotDigit", "/1234567", false},
                                           FieldShapeCase{"LeadingSpace", " 1234567", false},
                                           FieldShapeCase{"Signed", "-1234567", false},
                                           FieldShapeCase{"Empty", "", false}),
                         CaseName<FieldShapeCase>);

struct FormatCase {
  const char* name;
  std::int32_t id;
  const char* field;
};

class FormatBuildIdFieldTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatBuildIdFieldTest, PadsWithZerosAndReadsBack) {
  const std::string field = payload::FormatBuildIdField(GetParam().id);
  EXPECT_EQ(field, GetParam().field);
  EXPECT_TRUE(payload::IsBuildIdField(field));
  EXPECT_EQ(payload::BuildIdFromField(field), GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(Id, FormatBuildIdFieldTest,
                         ::testing::Values(FormatCase{"Zero", 0, "00000000"},
                                           FormatCase{"One", 1, "00000001"},
                                           FormatCase{"InnerZeros", 10203, "00010203"},
                                           FormatCase{"EightDigits", 10000000, "10000000"},
                                           FormatCase{"Largest", payload::kMaxBuildId, "99999999"}),
                         CaseName<FormatCase>);

TEST(MakeHeader, PutsTextAndFieldInPlaceAndZerosElsewhere) {
  const std::string header = payload::MakeHeader("00000042");
  ASSERT_EQ(header.size(), payload::kHeaderSize);
  EXPECT_EQ(header.substr(0, 80), payload::BuildInfoText());
  EXPECT_EQ(header.substr(80, 80), std::string(80, '\0'));
  EXPECT_EQ(header.substr(160, 8), "00000042");
  EXPECT_EQ(header.substr(168), std::string(400 - 168, '\0'));
  // A longer field is cut to eight bytes; the block keeps its size.
  EXPECT_EQ(payload::MakeHeader("123456789"), payload::MakeHeader("12345678"));
}

struct HeaderCase {
  const char* name;
  std::string block;
  bool ok;
  const char* field;  // when ok
};

std::string Damaged(std::string block, std::size_t at) {
  block[at] = static_cast<char>(block[at] ^ 0x20);
  return block;
}

class ParseHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(ParseHeaderTest, ReadsFieldOfAWholeBlock) {
  payload::HeaderFields fields;
  fields.buildIdField = "untouched";
  EXPECT_EQ(payload::ParseHeader(GetParam().block, fields), GetParam().ok);
  EXPECT_EQ(fields.buildIdField, GetParam().ok ? GetParam().field : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Block, ParseHeaderTest,
    ::testing::Values(
        HeaderCase{"Made", payload::MakeHeader("20261210"), true, "20261210"},
        // The field is returned as stored; judging it is the caller's business.
        HeaderCase{"FieldNotDigits", payload::MakeHeader("12ab 5-7"), true, "12ab 5-7"},
        HeaderCase{"LongerBlock", payload::MakeHeader("00000001") + "game", true, "00000001"},
        HeaderCase{"OneByteShort", payload::MakeHeader("00000001").substr(0, 399), false, ""},
        HeaderCase{"Empty", "", false, ""},
        HeaderCase{"FirstCharWrong", Damaged(payload::MakeHeader("00000001"), 0), false, ""},
        HeaderCase{"LastCharWrong", Damaged(payload::MakeHeader("00000001"), 79), false, ""}),
    CaseName<HeaderCase>);

// --- Payload record ---------------------------------------------------------

// XXH3-64 of no bytes, as xxHash's own test vectors give it: the checksum is
// that function, not merely some stable one.
TEST(PayloadChecksum, IsXxh3Of64Bits) {
  EXPECT_EQ(payload::ChecksumOf(""), 0x2D06800538D394C2u);
  const std::string bytes(10000, 'q');
  payload::PayloadChecksum pieces;
  pieces.Update(bytes.data(), 1);
  pieces.Update(bytes.data() + 1, 4095);
  pieces.Update(bytes.data() + 4096, bytes.size() - 4096);
  EXPECT_EQ(pieces.Value(), payload::ChecksumOf(bytes));
}

// The layout, spelled out: tag, then length and checksum little-endian, then
// the checksum of those 24 bytes.
TEST(MakePayloadRecord, LaysOutTagLengthChecksumAndOwnChecksum) {
  const std::string record = payload::MakePayloadRecord({0x0102030405060708u, 0x1112131415161718u});
  const std::string front =
      "\x89KVPREC\x1A"
      "\x08\x07\x06\x05\x04\x03\x02\x01"
      "\x18\x17\x16\x15\x14\x13\x12\x11"s;
  ASSERT_EQ(record.size(), 32u);
  EXPECT_EQ(record.substr(0, 24), front);
  const std::uint64_t own = payload::ChecksumOf(front);
  std::string ownBytes;
  for (int i = 0; i < 8; ++i) ownBytes += static_cast<char>((own >> (8 * i)) & 0xFF);
  EXPECT_EQ(record.substr(24), ownBytes);
}

TEST(MakeHeader, PutsTheRecordAt168AndNothingElseChanges) {
  const payload::PayloadRecord record{4096, 77};
  const std::string plain = payload::MakeHeader("00000042");
  const std::string recorded = payload::MakeHeader("00000042", record);
  ASSERT_EQ(recorded.size(), 400u);
  EXPECT_EQ(recorded.substr(0, 168), plain.substr(0, 168));
  EXPECT_EQ(recorded.substr(168, 32), payload::MakePayloadRecord(record));
  EXPECT_EQ(recorded.substr(200), plain.substr(200));

  payload::HeaderFields fields;
  ASSERT_TRUE(payload::ParseHeader(recorded, fields));
  EXPECT_EQ(fields.recordStatus, payload::RecordStatus::Intact);
  EXPECT_EQ(fields.record, record);
  ASSERT_TRUE(payload::ParseHeader(plain, fields));
  EXPECT_EQ(fields.recordStatus, payload::RecordStatus::Absent);
}

struct RecordRoundTripCase {
  const char* name;
  payload::PayloadRecord record;
};

class RecordRoundTrip : public ::testing::TestWithParam<RecordRoundTripCase> {};

TEST_P(RecordRoundTrip, ParsesBackWhatWasMade) {
  payload::PayloadRecord parsed{1, 1};
  ASSERT_EQ(payload::ParsePayloadRecord(payload::MakePayloadRecord(GetParam().record), parsed),
            payload::RecordStatus::Intact);
  EXPECT_EQ(parsed, GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(Record, RecordRoundTrip,
                         ::testing::Values(RecordRoundTripCase{"Empty", {0, 0x2D06800538D394C2u}},
                                           RecordRoundTripCase{"OneByte", {1, 0x8000000000000001u}},
                                           RecordRoundTripCase{"WholeChunks", {3 * 4096, 12345}},
                                           // Beyond 32 bits in every byte of the length.
                                           RecordRoundTripCase{"Huge",
                                                               {0xFEDCBA9876543210u, ~0ull}}),
                         CaseName<RecordRoundTripCase>);

std::string Flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  return bytes;
}

struct RecordParseCase {
  const char* name;
  std::string bytes;
  payload::RecordStatus want;
};

class RecordParse : public ::testing::TestWithParam<RecordParseCase> {};

TEST_P(RecordParse, RefusesWhatIsNotAnIntactRecord) {
  payload::PayloadRecord record{5, 6};
  EXPECT_EQ(payload::ParsePayloadRecord(GetParam().bytes, record), GetParam().want);
  EXPECT_EQ(record, (payload::PayloadRecord{5, 6})) << "untouched unless intact";
}

const std::string kGoodRecord = payload::MakePayloadRecord({1000, 2000});

INSTANTIATE_TEST_SUITE_P(
    Record, RecordParse,
    ::testing::Values(
        RecordParseCase{"Zeros", std::string(32, '\0'), payload::RecordStatus::Absent},
        RecordParseCase{"WrongTagFirstByte", Flipped(kGoodRecord, 0),
                        payload::RecordStatus::Absent},
        RecordParseCase{"WrongTagLastByte", Flipped(kGoodRecord, 7), payload::RecordStatus::Absent},
        // Bytes that end inside the tag hold no record; the whole tag with
        // the record cut short is a damaged one.
        RecordParseCase{"EndsInsideTag", kGoodRecord.substr(0, 7), payload::RecordStatus::Absent},
        RecordParseCase{"TagOnly", kGoodRecord.substr(0, 8), payload::RecordStatus::Damaged},
        RecordParseCase{"OneByteShort", kGoodRecord.substr(0, 31), payload::RecordStatus::Damaged},
        RecordParseCase{"LengthChanged", Flipped(kGoodRecord, 8), payload::RecordStatus::Damaged},
        RecordParseCase{"LengthTopByteChanged", Flipped(kGoodRecord, 15),
                        payload::RecordStatus::Damaged},
        RecordParseCase{"ChecksumChanged", Flipped(kGoodRecord, 16),
                        payload::RecordStatus::Damaged},
        RecordParseCase{"OwnChecksumChanged", Flipped(kGoodRecord, 31),
                        payload::RecordStatus::Damaged}),
    CaseName<RecordParseCase>);

}  // namespace
