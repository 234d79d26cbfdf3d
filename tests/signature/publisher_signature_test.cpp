#include "signature/publisher_signature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

const std::string kKeyIdHex = "0123456789abcdef";
const std::string kSignatureHex = std::string(64, 'a') + std::string(63, '0') + "1";
const std::string kLine = "kova-psig-1 " + kKeyIdHex + " " + kSignatureHex;

// The message's bytes spelled out, not made by the function under test.
TEST(PublisherSignedMessage, IsPrefixKeyIdBuildIdLengthDocument) {
  const signature::PublisherKeyId keyId = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::string message = signature::PublisherSignedMessage(keyId, 0x01020304, "<a/> \r\n");
  EXPECT_EQ(message,
            "kova-partner-v1\0"s
            "\x01\x02\x03\x04\x05\x06\x07\x08"
            "\x04\x03\x02\x01"
            "\x07\0\0\0\0\0\0\0"s
            "<a/> \r\n");
}

TEST(PublisherSignedMessage, TakesANegativeBuildIdentifierAsItsBitsAndAnEmptyDocument) {
  const signature::PublisherKeyId keyId{};
  const std::string message = signature::PublisherSignedMessage(keyId, -2, "");
  ASSERT_EQ(message.size(), 36u);
  EXPECT_EQ(message.substr(24, 4), "\xFE\xFF\xFF\xFF");
  EXPECT_EQ(message.substr(28), std::string(8, '\0'));
}

TEST(PublisherSignatureFile, ReadsTheLineWithEachEnding) {
  for (const std::string ending : {"", "\n", "\r\n"}) {
    const auto file = signature::ParsePublisherSignatureFile(kLine + ending);
    ASSERT_TRUE(file) << "ending of " << ending.size() << " bytes";
    EXPECT_EQ(file->keyId,
              (signature::PublisherKeyId{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}));
    EXPECT_EQ(file->signature[0], 0xaa);
    EXPECT_EQ(file->signature[31], 0xaa);
    EXPECT_EQ(file->signature[32], 0x00);
    EXPECT_EQ(file->signature[63], 0x01);
  }
}

TEST(PublisherSignatureFile, WritesWhatItReadsEndingInLineFeed) {
  const auto file = signature::ParsePublisherSignatureFile(kLine);
  ASSERT_TRUE(file);
  EXPECT_EQ(signature::FormatPublisherSignatureFile(*file), kLine + "\n");
}

struct BadFileCase {
  const char* name;
  std::string bytes;
};

class PublisherSignatureFileRefusalTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(PublisherSignatureFileRefusalTest, IsRefused) {
  EXPECT_FALSE(signature::ParsePublisherSignatureFile(GetParam().bytes));
}

std::string WithByte(std::string text, std::size_t at, char byte) {
  text[at] = byte;
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PublisherSignatureFileRefusalTest,
    ::testing::Values(
        BadFileCase{"Empty", ""}, BadFileCase{"UpperCaseKeyId", WithByte(kLine, 12 + 10, 'A')},
        BadFileCase{"UpperCaseSignature", WithByte(kLine, 29, 'A')},
        BadFileCase{"UpperCaseTag", WithByte(kLine, 0, 'K')},
        BadFileCase{"OtherVersion", WithByte(kLine, 10, '2')},
        BadFileCase{"NonHexDigit", WithByte(kLine, 40, 'g')},
        BadFileCase{"SignatureOneDigitShort", kLine.substr(0, kLine.size() - 1) + "\n"},
        BadFileCase{"SignatureOneDigitLong", kLine + "0\n"},
        BadFileCase{"KeyIdShort", "kova-psig-1 0123456789abcde " + kSignatureHex + "0"},
        BadFileCase{"TabForSpace", WithByte(kLine, 11, '\t')},
        BadFileCase{"TwoSpaces", "kova-psig-1  " + kKeyIdHex + " " + kSignatureHex.substr(1)},
        BadFileCase{"TrailingSpace", kLine + " "}, BadFileCase{"LeadingSpace", " " + kLine},
        BadFileCase{"CarriageReturnOnly", kLine + "\r"},
        BadFileCase{"LineFeedThenCarriageReturn", kLine + "\n\r"},
        BadFileCase{"TwoLineFeeds", kLine + "\n\n"},
        BadFileCase{"SecondLine", kLine + "\n" + kLine + "\n"},
        BadFileCase{"NulBehind", kLine + "\0"s},
        BadFileCase{"ByteOverTheBound", kLine + "\n" + std::string(257 - kLine.size() - 1, ' ')},
        // A DER ECDSA-Sig-Value in hex in place of r||s.
        BadFileCase{"DerSignature", "kova-psig-1 " + kKeyIdHex + " 30440220" +
                                        std::string(64, 'a') + "0220" + std::string(64, '1')}),
    [](const ::testing::TestParamInfo<BadFileCase>& info) { return info.param.name; });

}  // namespace
