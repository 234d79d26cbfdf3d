// The launcher's publisher check as it meets the .psig file on disk: the file
// is read within its bound, and the document checked is the one handed in.
// The grammar and the cryptography have their own tests; here a few files
// show that the reading neither loosens nor skips them.
#include "launcher/partner_publisher_check.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "signature/publisher_check.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::TempDir;

constexpr std::int32_t kBuildId = 12345678;
const std::string kDocument = "<Properties><String id=\"Name\">Kova</String></Properties>\n";

struct Keys {
  signature::P256PrivateKey current;
  payload::KeyBlock block;
};

const Keys& TestKeys() {
  static const Keys keys = [] {
    Keys made;
    EXPECT_TRUE(signature::GenerateP256(made.current));
    payload::PublisherKeyEntry entry;
    EXPECT_TRUE(signature::PublisherKeyEntryOf(made.current.publicPoint, entry));
    made.block.entries.push_back(entry);
    return made;
  }();
  return keys;
}

std::string ValidLine() {
  std::string text;
  EXPECT_TRUE(signature::MakePublisherSignatureFile(TestKeys().current, kBuildId, kDocument, text));
  return text;
}

struct FileCase {
  const char* name;
  bool writeFile;
  std::string (*contents)();
  bool want;
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

class PartnerPublisherCheckTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(PartnerPublisherCheckTest, ChecksTheFileBesideTheDocument) {
  TempDir dir;
  const std::string documentPath = dir.Write("partner.xml", kDocument);
  if (GetParam().writeFile) dir.Write("partner.xml.psig", GetParam().contents());
  EXPECT_EQ(CheckPublisherSignature(documentPath, kDocument, kBuildId, TestKeys().block),
            GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PartnerPublisherCheckTest,
    ::testing::Values(FileCase{"Valid", true, ValidLine, true},
                      FileCase{"Missing", false, ValidLine, false},
                      FileCase{"Empty", true, [] { return std::string(); }, false},
                      // Behind the line, padding up to the bound and past it: what is read
                      // holds more than one line either way.
                      FileCase{"PaddedToTheBound", true,
                               [] {
                                 const std::string line = ValidLine();
                                 return line + std::string(256 - line.size(), ' ');
                               },
                               false},
                      FileCase{"LongerThanTheBound", true,
                               [] { return ValidLine() + std::string(4096, 'x'); }, false}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return info.param.name; });

// The signature covers the bytes handed in, not the file on disk: a caller
// that checked other bytes than those it parses would be caught here.
TEST(PartnerPublisherCheck, ChecksTheBytesHandedInNotTheFileOnDisk) {
  TempDir dir;
  const std::string documentPath = dir.Write("partner.xml", kDocument);
  dir.Write("partner.xml.psig", ValidLine());
  EXPECT_FALSE(CheckPublisherSignature(documentPath, kDocument + " ", kBuildId, TestKeys().block));
  EXPECT_FALSE(CheckPublisherSignature(documentPath, kDocument, kBuildId + 1, TestKeys().block));
  dir.Write("partner.xml", "changed on disk");
  EXPECT_TRUE(CheckPublisherSignature(documentPath, kDocument, kBuildId, TestKeys().block));
}

}  // namespace
