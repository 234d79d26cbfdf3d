// The signed file check, with signature files written by the development key,
// and the key file reader and signature texts of the signing side.
#include "signature/file_signature.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "common/launcher_state.h"
#include "common/text_rules.h"
#include "signature/signing_key.h"
#include "tests/signature/big_int_text.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::ToHex;

constexpr char kDevKeyText[] =
    "modulus=E5A1C3B7092F4D6E8B1A7C25\n"
    "private_exponent=0E538F98D051F3B18605D069\n";

const char kWhiteSpace[] = {'\t', '\n', '\v', '\f', '\r', ' '};

SigningKey DevKey() {
  SigningKey key;
  const ReadResult read = ParseSigningKey(kDevKeyText, key);
  EXPECT_TRUE(read.ok) << read.message;
  return key;
}

// A document with a signature file signed by the development key.
class SignedFile : public testing::Test {
 protected:
  static constexpr std::int32_t kBuildId = 20240517;

  void SetUp() override {
    contents_ = "<properties>\n  <string name=\"prodName\">Game</string>\n</properties>\n";
    path_ = dir_.Write("partner.xml", contents_);
    signature_ = MakeSignatureText(DevKey(), kBuildId, contents_);
    WriteSignature(signature_);
  }

  void WriteSignature(const std::string& text) { dir_.Write("partner.xml.sig", text); }
  bool Verify(const std::string& contents, std::int32_t buildId = kBuildId) {
    return VerifyFileSignature(path_, contents, buildId);
  }

  TempDir dir_;
  std::string path_;
  std::string contents_;
  std::string signature_;
};

TEST_F(SignedFile, SignatureIsTwentyFourUpperCaseHexDigits) {
  ASSERT_EQ(signature_.size(), 24u);
  EXPECT_EQ(signature_.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_TRUE(Verify(contents_));
}

class WhiteSpaceByte : public SignedFile, public testing::WithParamInterface<char> {};

TEST_P(WhiteSpaceByte, AddedRemovedOrMovedKeepsSignatureValid) {
  const char space = GetParam();
  for (std::size_t position = 0; position <= contents_.size(); ++position) {
    std::string changed = contents_;
    changed.insert(position, 1, space);
    ASSERT_TRUE(Verify(changed)) << "inserted at " << position;
  }
  std::string replaced = contents_;
  for (char& c : replaced) {
    if (c == ' ' || c == '\n') c = space;
  }
  EXPECT_TRUE(Verify(replaced));
  std::string stripped;
  for (const char c : contents_) {
    if (!text::IsWhiteSpace(static_cast<unsigned char>(c))) stripped += c;
  }
  EXPECT_TRUE(Verify(stripped + std::string(3, space)));
}

INSTANTIATE_TEST_SUITE_P(SignedFile, WhiteSpaceByte, testing::ValuesIn(kWhiteSpace),
                         [](const testing::TestParamInfo<char>& info) {
                           switch (info.param) {
                             case '\t':
                               return "Tab";
                             case '\n':
                               return "LineFeed";
                             case '\v':
                               return "VerticalTab";
                             case '\f':
                               return "FormFeed";
                             case '\r':
                               return "CarriageReturn";
                             default:
                               return "Space";
                           }
                         });

TEST_F(SignedFile, AnyOtherByteChangeFails) {
  for (std::size_t position = 0; position < contents_.size(); ++position) {
    for (const unsigned char replacement : {0x00, 0x41, 0x80, 0xFF}) {
      std::string changed = contents_;
      const auto original = static_cast<unsigned char>(changed[position]);
      if (original == replacement || (text::IsWhiteSpace(original))) continue;
      changed[position] = static_cast<char>(replacement);
      ASSERT_FALSE(Verify(changed)) << "position " << position << " byte " << int{replacement};
    }
  }
  // Inserting a byte that is not white space, NUL included.
  for (const char extra : {'\0', 'x', '\x7F', '\xA0'}) {
    EXPECT_FALSE(Verify(contents_ + extra));
    EXPECT_FALSE(Verify(extra + contents_));
  }
  // Turning a letter into white space removes it.
  std::string blanked = contents_;
  blanked[1] = ' ';
  EXPECT_FALSE(Verify(blanked));
}

TEST_F(SignedFile, AnotherBuildIdentifierFails) {
  for (const std::int32_t other :
       {0, 1, kBuildId - 1, kBuildId + 1, kBuildId + (1 << 24), -kBuildId}) {
    EXPECT_FALSE(Verify(contents_, other)) << other;
  }
}

TEST_F(SignedFile, LowerCaseSignatureVerifies) {
  std::string lower = signature_;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  WriteSignature(lower);
  EXPECT_TRUE(Verify(contents_));
}

TEST_F(SignedFile, BytesBehindTheTwentyFourthDoNotCount) {
  WriteSignature(signature_ + "\r\n");
  EXPECT_TRUE(Verify(contents_));
  WriteSignature(signature_ + "anything at all, even another signature 0123");
  EXPECT_TRUE(Verify(contents_));
  WriteSignature(signature_ + std::string(1, '\0') + "junk");
  EXPECT_TRUE(Verify(contents_));
}

TEST_F(SignedFile, MalformedSignatureTextsFail) {
  WriteSignature("");
  EXPECT_FALSE(Verify(contents_));
  WriteSignature(signature_.substr(0, 23));  // a digit short
  EXPECT_FALSE(Verify(contents_));
  WriteSignature(std::string(1, '\0') + signature_);
  EXPECT_FALSE(Verify(contents_));
  std::string flipped = signature_;
  flipped[10] = flipped[10] == '0' ? '1' : '0';
  WriteSignature(flipped);
  EXPECT_FALSE(Verify(contents_));
  WriteSignature(std::string(24, 'z'));
  EXPECT_FALSE(Verify(contents_));
}

TEST_F(SignedFile, MissingSignatureFileFails) {
  std::filesystem::remove(path_ + ".sig");
  EXPECT_FALSE(Verify(contents_));
  // The data file itself is not needed: only ".sig" is appended to its path.
  WriteSignature(signature_);
  std::filesystem::remove(path_);
  EXPECT_TRUE(Verify(contents_));
}

TEST_F(SignedFile, UsesTheLaunchersBuildIdentifier) {
  const std::int32_t saved = GetLauncherState().buildIdentifier;
  GetLauncherState().buildIdentifier = kBuildId;
  EXPECT_TRUE(VerifyFileSignature(path_, contents_));
  GetLauncherState().buildIdentifier = kBuildId + 1;
  EXPECT_FALSE(VerifyFileSignature(path_, contents_));
  GetLauncherState().buildIdentifier = saved;
}

TEST(SignatureText, LeadingZeroDigitDroppedNeedsTheEndOfText) {
  // Find a document whose signature starts with a 0 digit.
  const SigningKey key = DevKey();
  std::string contents;
  std::string signature;
  for (int i = 0; i < 1000 && (signature.empty() || signature[0] != '0'); ++i) {
    contents = "document " + std::to_string(i);
    signature = MakeSignatureText(key, 1, contents);
  }
  ASSERT_EQ(signature[0], '0');
  const std::string shortened = signature.substr(1);
  EXPECT_TRUE(SignatureTextVerifies(shortened, 1, contents));
  EXPECT_TRUE(SignatureTextVerifies(shortened + std::string(1, '\0') + "x", 1, contents));
  // A line feed behind 23 digits counts as a last 0 digit.
  EXPECT_FALSE(SignatureTextVerifies(shortened + "\n", 1, contents));

  TempDir dir;
  const std::string path = dir.Write("doc.txt", contents);
  dir.Write("doc.txt.sig", shortened + "\n");
  EXPECT_FALSE(VerifyFileSignature(path, contents, 1));
  dir.Write("doc.txt.sig", signature + "\n");
  EXPECT_TRUE(VerifyFileSignature(path, contents, 1));
}

TEST(SignedMessage, BuildIdentifierLittleEndianThenContentsWithoutWhiteSpace) {
  EXPECT_EQ(BuildSignedMessage(1, "abc"), std::string("\x01\x00\x00\x00"
                                                      "abc",
                                                      7));
  EXPECT_EQ(BuildSignedMessage(1, " a\tb\r\nc\v\f "), std::string("\x01\x00\x00\x00"
                                                                  "abc",
                                                                  7));
  EXPECT_EQ(BuildSignedMessage(0, ""), std::string(4, '\0'));
  EXPECT_EQ(BuildSignedMessage(0x12345678, std::string("\0\x80\xFF", 3)),
            std::string("\x78\x56\x34\x12\0\x80\xFF", 7));
  EXPECT_EQ(BuildSignedMessage(-2, "x"), std::string("\xFE\xFF\xFF\xFFx", 5));
}

TEST(SignedMessage, DigestNumbers) {
  EXPECT_EQ(ToHex(SignatureDigestNumber(1, "abc")), "3C355C9C07A7257E06E6CC3C");
  EXPECT_EQ(ToHex(SignatureDigestNumber(1, "\ta b\nc  ")), "3C355C9C07A7257E06E6CC3C");
  EXPECT_EQ(ToHex(SignatureDigestNumber(0, "")), "3C74FFE110CA5DCCA18B7C87");
}

TEST(SignatureText, IsFirstTwentyFourBytesCutAtNul) {
  EXPECT_EQ(SignatureTextOf("0123456789ABCDEF01234567\r\n"), "0123456789ABCDEF01234567");
  EXPECT_EQ(SignatureTextOf(std::string("12\0"
                                        "34",
                                        5)),
            "12");
  EXPECT_EQ(SignatureTextOf(""), "");
  EXPECT_EQ(SignatureTextOf(std::string(30, 'A')), std::string(24, 'A'));
}

// --- Key files and signature texts ---------------------------------------

struct KeyCase {
  const char* name;
  std::string text;
  const char* error;  // nullptr: the text is a valid key
};

class KeyFile : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyFile, IsReadOrRejectedWithItsLine) {
  const KeyCase& c = GetParam();
  SigningKey key;
  const ReadResult result = ParseSigningKey(c.text, key);
  if (c.error == nullptr) {
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.line, 0);
    EXPECT_EQ(ToHex(key.modulus), "E5A1C3B7092F4D6E8B1A7C25");
    EXPECT_EQ(ToHex(key.privateExponent), "E538F98D051F3B18605D069");
  } else {
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, c.error);
    // The line the message names, as a number; 0 for a field never given.
    const std::string prefix = "line " + std::to_string(result.line) + ": ";
    EXPECT_EQ(result.message.rfind(prefix, 0) == 0, result.line != 0) << result.line;
  }
}

INSTANTIATE_TEST_SUITE_P(
    SigningKey, KeyFile,
    testing::Values(
        KeyCase{"Plain", kDevKeyText, nullptr},
        KeyCase{"CommentsBlanksAndCrLf",
                "# key\r\n\r\n  modulus = e5a1c3b7092f4d6e8b1a7c25 \r\n"
                "private_exponent=E538F98D051F3B18605D069\r\n",
                nullptr},
        KeyCase{"FieldsInAnyOrderNoFinalLineBreak",
                "private_exponent=E538F98D051F3B18605D069\nmodulus=E5A1C3B7092F4D6E8B1A7C25",
                nullptr},
        KeyCase{"Empty", "", "missing field 'modulus'"},
        KeyCase{"MissingExponent", "modulus=E5A1C3B7092F4D6E8B1A7C25\n",
                "missing field 'private_exponent'"},
        KeyCase{"Duplicate", "modulus=5\nmodulus=7\n", "line 2: 'modulus' is given twice"},
        KeyCase{"UnknownField", "modulus=5\npublic=11\n", "line 2: unknown field 'public'"},
        KeyCase{"NoEquals", "# x\nmodulus E5\n", "line 2: expected name=value"},
        KeyCase{"Prefix", "modulus=0xE5\n",
                "line 1: 'modulus' must be 1 to 512 hexadecimal digits"},
        KeyCase{"EmptyValue", "modulus=\n",
                "line 1: 'modulus' must be 1 to 512 hexadecimal digits"},
        KeyCase{"Zero", "private_exponent=000\n", "line 1: 'private_exponent' must not be zero"},
        KeyCase{"TooLong", "modulus=" + std::string(513, '1') + "\n",
                "line 1: 'modulus' must be 1 to 512 hexadecimal digits"},
        KeyCase{"Binary",
                std::string("\x7F"
                            "ELF\0\x01",
                            6),
                "line 1: expected name=value"}),
    [](const testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST(SigningKey, ShippedDevelopmentKeyIsTheBuiltInOne) {
  SigningKey key;
  const ReadResult read = ParseSigningKey(ReadFile(KOVA_DEV_KEY_PATH), key);
  ASSERT_TRUE(read.ok) << read.message;
  EXPECT_EQ(key.modulus, BigInt(std::string_view(kSignatureModulusText)));
  // Signing then applying the public exponent gives the digest number back.
  EXPECT_EQ(MakeSignatureText(key, 1, "abc"), "B7D1C292BCF4A48AE08B3F8F");
}

TEST(SigningKey, SignatureTextIsZeroPaddedUpperCaseHex) {
  EXPECT_EQ(FormatSignatureText(BigInt()), std::string(24, '0'));
  EXPECT_EQ(FormatSignatureText(BigInt(0xABC)), "000000000000000000000ABC");
  EXPECT_EQ(FormatSignatureText(BigInt(std::string_view("1E5A1C3B7092F4D6E8B1A7C25"))),
            "1E5A1C3B7092F4D6E8B1A7C25");
}

}  // namespace
