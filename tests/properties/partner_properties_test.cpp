// Loading the signed partner document into a store, with documents signed by
// the development key, and the exact-match string lookups.
#include "properties/partner_properties.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/whole_file.h"
#include "properties/properties_parser.h"
#include "signature/signing_key.h"
#include "tests/support/short_stream.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;

constexpr std::int32_t kBuildId = 20240517;

const std::string kFullDocument =
    "<?xml version=\"1.0\"?>\n"
    "<Properties>\n"
    "  <String id=\"ProdName\">Star Harbour</String>\n"
    "  <String id=\"Offering\">Full</String>\n"
    "  <String id=\"DisplayName\">Star Harbour Deluxe</String>\n"
    "  <String id=\"RegistryKey\">Software\\Harbour</String>\n"
    "  <Integer id=\"MaxPlayers\">8</Integer>\n"
    "  <Double id=\"Version\">1.25</Double>\n"
    "</Properties>\n";

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

std::string DevSignature(const std::string& contents, std::int32_t buildId = kBuildId) {
  SigningKey key;
  const ReadResult read = ParseSigningKey(ReadFile(KOVA_DEV_KEY_PATH), key);
  EXPECT_TRUE(read.ok) << read.message;
  return MakeSignatureText(key, buildId, contents);
}

// A launcher directory with a properties subdirectory, and one load of its
// partner document into a store of the test's own.
class PartnerLoad : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir_.path() / "properties");
    directory_ = (dir_.path() / "").string();
    documentPath_ = PartnerDocumentPath(directory_);
  }

  void WriteDocument(const std::string& contents) const { WriteFile(documentPath_, contents); }
  void WriteSignatureFile(const std::string& text) const {
    WriteFile(documentPath_ + ".sig", text);
  }
  void WriteSigned(const std::string& contents) const {
    WriteDocument(contents);
    WriteSignatureFile(DevSignature(contents));
  }

  bool Load(std::int32_t buildId = kBuildId, const PartnerDocumentOpener& open = {},
            const PartnerDocumentCheck& furtherCheck = {}) {
    result_ = LoadPartnerPropertiesInto(
        directory_, buildId, store_, [this](const std::string& text) { messages_.push_back(text); },
        open, furtherCheck);
    product_ = result_.product;
    return result_.loaded;
  }

  TempDir dir_;
  std::string directory_;
  std::string documentPath_;
  PropertiesStore store_;
  PartnerLoadResult result_;
  PartnerProductStrings product_;
  std::vector<std::string> messages_;
};

TEST_F(PartnerLoad, DocumentPathIsPropertiesPartnerXmlBelowDirectory) {
  EXPECT_EQ(documentPath_, directory_ + "properties" +
                               static_cast<char>(std::filesystem::path::preferred_separator) +
                               "partner.xml");
}

TEST_F(PartnerLoad, SignedDocumentFillsStoreAndProductStrings) {
  WriteSigned(kFullDocument);
  ASSERT_TRUE(Load());
  EXPECT_TRUE(messages_.empty()) << messages_[0];
  EXPECT_EQ(product_.prodName, "Star Harbour");
  EXPECT_EQ(product_.offering, "Full");
  EXPECT_EQ(product_.displayName, "Star Harbour Deluxe");
  EXPECT_EQ(product_.registryKey, "Software\\Harbour");
  // The required strings stay in the store beside the other values.
  EXPECT_EQ(store_.Strings(),
            (std::map<std::string, std::string>{{"DisplayName", "Star Harbour Deluxe"},
                                                {"Offering", "Full"},
                                                {"ProdName", "Star Harbour"},
                                                {"RegistryKey", "Software\\Harbour"}}));
  EXPECT_EQ(store_.Integers().at("MaxPlayers"), 8);
  EXPECT_EQ(store_.Doubles().at("Version"), 1.25);
  EXPECT_TRUE(result_.parse.ok) << result_.parse.message;
}

TEST_F(PartnerLoad, WhiteSpaceAddedAfterSigningStillVerifies) {
  WriteSignatureFile(DevSignature(kFullDocument));
  WriteDocument("\r\n\t " + kFullDocument + "\v\f  \r\n");
  ASSERT_TRUE(Load());
  EXPECT_TRUE(messages_.empty()) << messages_[0];
  EXPECT_EQ(product_.prodName, "Star Harbour");
}

TEST_F(PartnerLoad, MissingDocumentShowsOnlyItsMessage) {
  // A signature file alone is not looked at.
  WriteSignatureFile(DevSignature(""));
  EXPECT_FALSE(Load());
  EXPECT_EQ(messages_, std::vector<std::string>{"Unable to open 'properties\\partner.xml'"});
  EXPECT_TRUE(store_.Strings().empty());
}

TEST_F(PartnerLoad, SampleDocumentHoldsEveryRequiredKeyAndParsesWhole) {
  const std::string sample = ReadFile(KOVA_EXAMPLE_PARTNER_PATH);
  ASSERT_FALSE(sample.empty());
  PropertiesStore parsed;
  Kova::PropertiesParser parser(parsed);
  EXPECT_TRUE(parser.ParseText(sample)) << parser.GetErrorText();
  WriteSigned(sample);
  ASSERT_TRUE(Load());
  EXPECT_TRUE(messages_.empty()) << messages_[0];
  EXPECT_EQ(product_.displayName, "Demo Game & Friends");
  EXPECT_FALSE(store_.Integers().empty());
  EXPECT_FALSE(store_.Doubles().empty());
}

// A copy of the full document with the byte at the first `anchor` replaced
// (or, for `insert`, a byte put before it).
std::string EditedDocument(const char* anchor, char byte, bool insert) {
  std::string edited = kFullDocument;
  const std::size_t at = edited.find(anchor);
  if (insert) {
    edited.insert(at, 1, byte);
  } else {
    edited[at] = byte;
  }
  return edited;
}

enum class SignatureFile { None, Text, SignedByDevKey };

// A document on disk and a signature file that does not prove it.
struct SignatureFaultCase {
  const char* name;
  std::string document;
  SignatureFile signatureFile;
  std::string text;  // Text: the file's bytes; SignedByDevKey: the contents signed
  std::int32_t signedBuildId = kBuildId;
};

const SignatureFaultCase kSignatureFaults[] = {
    {"MissingSignatureFile", kFullDocument, SignatureFile::None, ""},
    {"EmptySignatureFile", kFullDocument, SignatureFile::Text, ""},
    {"GarbageSignatureFile", kFullDocument, SignatureFile::Text, "not a signature at all\r\n"},
    {"SignatureOfAnotherDocument", kFullDocument, SignatureFile::SignedByDevKey, "<Properties/>"},
    {"LetterEditedAfterSigning", EditedDocument("Full", 'f', false), SignatureFile::SignedByDevKey,
     kFullDocument},
    {"NulByteInsertedAfterSigning", EditedDocument("Full", '\0', true),
     SignatureFile::SignedByDevKey, kFullDocument},
    {"SignedForAnotherBuildIdentifier", kFullDocument, SignatureFile::SignedByDevKey, kFullDocument,
     kBuildId + 1},
};

class SignatureFault : public PartnerLoad,
                       public testing::WithParamInterface<SignatureFaultCase> {};

TEST_P(SignatureFault, ShowsOnlyInvalidSignatureAndParsesNothing) {
  const SignatureFaultCase& fault = GetParam();
  WriteDocument(fault.document);
  if (fault.signatureFile == SignatureFile::Text) WriteSignatureFile(fault.text);
  if (fault.signatureFile == SignatureFile::SignedByDevKey) {
    WriteSignatureFile(DevSignature(fault.text, fault.signedBuildId));
  }
  EXPECT_FALSE(Load());
  EXPECT_EQ(messages_, std::vector<std::string>{"Invalid partner properties signature!"});
  EXPECT_TRUE(store_.Strings().empty());
  EXPECT_TRUE(product_.prodName.empty());
}

INSTANTIATE_TEST_SUITE_P(Documents, SignatureFault, testing::ValuesIn(kSignatureFaults),
                         [](const testing::TestParamInfo<SignatureFaultCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(PartnerLoad, MissingRequiredKeysShowOneMessageEachInOrderAndStillLoad) {
  WriteSigned(
      "<Properties>"
      "<String id=\"RegistryKey\">Software\\Harbour</String>"
      "<String id=\"ProdName\">Star Harbour</String>"
      "<String id=\"offering\">wrong case</String>"
      "</Properties>");
  ASSERT_TRUE(Load());
  EXPECT_EQ(messages_,
            (std::vector<std::string>{"Unable to find properties string 'Offering'",
                                      "Unable to find properties string 'DisplayName'"}));
  EXPECT_EQ(product_.prodName, "Star Harbour");
  EXPECT_EQ(product_.offering, "");
  EXPECT_EQ(product_.displayName, "");
  EXPECT_EQ(product_.registryKey, "Software\\Harbour");
}

TEST_F(PartnerLoad, RequiredKeyWithEmptyValueCountsAsPresent) {
  WriteSigned(
      "<Properties><String id=\"ProdName\">P</String><String id=\"Offering\"/>"
      "<String id=\"DisplayName\"></String><String id=\"RegistryKey\">R</String></Properties>");
  ASSERT_TRUE(Load());
  EXPECT_TRUE(messages_.empty()) << messages_[0];
  EXPECT_EQ(product_.offering, "");
  EXPECT_EQ(product_.displayName, "");
  EXPECT_EQ(store_.Strings().count("Offering"), 1u);
}

TEST_F(PartnerLoad, UnparsableDocumentKeepsValuesBeforeTheErrorAndShowsNoParseError) {
  WriteSigned(
      "<Properties>\n"
      "<String id=\"ProdName\">P</String>\n"
      "<Integer id=\"Count\">7</Integer>\n"
      "<String id=\"Offering\">O</Strong>\n"
      "<String id=\"DisplayName\">D</String>\n"
      "</Properties>\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(messages_,
            (std::vector<std::string>{"Unable to find properties string 'Offering'",
                                      "Unable to find properties string 'DisplayName'",
                                      "Unable to find properties string 'RegistryKey'"}));
  EXPECT_EQ(product_.prodName, "P");
  EXPECT_EQ(store_.Integers().at("Count"), 7);
  // The parser's result is kept, though not shown.
  EXPECT_FALSE(result_.parse.ok);
  EXPECT_EQ(result_.parse.line, 4);
  EXPECT_EQ(result_.parse.message, "End 'Strong' Doesn't Match Start 'String' on Line 4");
}

TEST_F(PartnerLoad, EmptySignedDocumentLoadsAndReportsEveryRequiredKey) {
  WriteSigned("");
  ASSERT_TRUE(Load());
  EXPECT_EQ(messages_,
            (std::vector<std::string>{"Unable to find properties string 'ProdName'",
                                      "Unable to find properties string 'Offering'",
                                      "Unable to find properties string 'DisplayName'",
                                      "Unable to find properties string 'RegistryKey'"}));
}

TEST_F(PartnerLoad, ReadsTheDocumentWholeAndInBinary) {
  // Bytes a text-mode read would change or stop at: CR LF, Ctrl-Z, NUL, 0xFF.
  const char raw[] = "<Properties>\r\n\x1A<String id=\"a\">\0\xFF</String></Properties>\r\n";
  const std::string contents(raw, sizeof(raw) - 1);
  WriteSigned(contents);
  std::string bytes;
  ASSERT_EQ(ReadAndVerifyPartnerDocument(documentPath_, kBuildId, bytes),
            PartnerDocumentStatus::Ok);
  EXPECT_EQ(bytes, contents);
}

TEST_F(PartnerLoad, DocumentOfTwoGibibytesIsRefusedBeforeReading) {
  // Sparse: takes no disk space, and nothing of it is allocated or read.
  WriteSignatureFile(DevSignature(""));
  WriteDocument("");
  std::filesystem::resize_file(documentPath_, static_cast<std::uintmax_t>(kWholeFileSizeLimit));
  std::string bytes = "left over";
  EXPECT_EQ(ReadAndVerifyPartnerDocument(documentPath_, kBuildId, bytes),
            PartnerDocumentStatus::CannotRead);
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(Load());
  EXPECT_EQ(messages_, std::vector<std::string>{"Invalid partner properties signature!"});
}

#ifdef __GLIBC__
using testsupport::ShortStream;

struct ShortReadCase {
  const char* name;
  std::size_t delivered;  // of the document's bytes, before the reads come up short
  ShortStream::Shortfall shortfall;
};

class ShortRead : public PartnerLoad, public testing::WithParamInterface<ShortReadCase> {};

// The document is read into a zero-filled buffer of its measured size. A read
// that comes up short leaves zeros behind the bytes it delivered; a signature
// over exactly those bytes must not let them pass for the document.
TEST_P(ShortRead, FailsToLoadEvenUnderASignatureOfWhatTheBufferHolds) {
  const std::size_t delivered = GetParam().delivered;
  const std::string zeroFilled =
      kFullDocument.substr(0, delivered) + std::string(kFullDocument.size() - delivered, '\0');
  WriteDocument(kFullDocument);
  WriteSignatureFile(DevSignature(zeroFilled));
  ShortStream stream(kFullDocument.substr(0, delivered),
                     static_cast<std::int64_t>(kFullDocument.size()), GetParam().shortfall);
  EXPECT_FALSE(Load(kBuildId, [&stream](const std::string&) { return stream.Open(); }));
  EXPECT_EQ(messages_, std::vector<std::string>{"Invalid partner properties signature!"});
  EXPECT_TRUE(store_.Strings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Document, ShortRead,
    testing::Values(
        ShortReadCase{"NothingRead", 0, ShortStream::Shortfall::EndsEarly},
        ShortReadCase{"EndsHalfway", kFullDocument.size() / 2, ShortStream::Shortfall::EndsEarly},
        ShortReadCase{"FailsHalfway", kFullDocument.size() / 2, ShortStream::Shortfall::ReadsFail}),
    [](const testing::TestParamInfo<ShortReadCase>& info) { return std::string(info.param.name); });
#endif  // __GLIBC__

// The further check (the launcher's publisher signature) sees the path and
// the very bytes that are then parsed, and only once the signature file has
// proved them; its refusal ends the load as a failed signature does.
TEST_F(PartnerLoad, FurtherCheckSeesTheBytesReadAndItsRefusalStopsTheLoad) {
  WriteSignatureFile(DevSignature(kFullDocument));
  // White space the signature file's check passes: the further check must be
  // shown these bytes, not a canonical form.
  const std::string onDisk = kFullDocument + " \r\n";
  WriteDocument(onDisk);
  std::vector<std::string> asked;
  const auto refuse = [&asked](const std::string& path, const std::string& bytes) {
    asked.push_back(path);
    asked.push_back(bytes);
    return false;
  };
  EXPECT_FALSE(Load(kBuildId, {}, refuse));
  EXPECT_EQ(asked, (std::vector<std::string>{documentPath_, onDisk}));
  EXPECT_EQ(messages_, std::vector<std::string>{kPartnerInvalidSignatureMessage});
  EXPECT_TRUE(store_.Strings().empty());

  messages_.clear();
  EXPECT_TRUE(Load(kBuildId, {}, [](const std::string&, const std::string&) { return true; }));
  EXPECT_TRUE(messages_.empty()) << messages_[0];
  EXPECT_EQ(product_.prodName, "Star Harbour");
}

TEST_F(PartnerLoad, FurtherCheckIsNotAskedWhenTheSignatureFileFails) {
  WriteDocument(kFullDocument);
  WriteSignatureFile(DevSignature(kFullDocument, kBuildId + 1));
  bool asked = false;
  const auto accept = [&asked](const std::string&, const std::string&) {
    asked = true;
    return true;
  };
  EXPECT_FALSE(Load(kBuildId, {}, accept));
  EXPECT_FALSE(asked);
  EXPECT_EQ(messages_, std::vector<std::string>{kPartnerInvalidSignatureMessage});
}

TEST_F(PartnerLoad, VerificationStatusesTellTheFaultsApart) {
  std::string bytes;
  EXPECT_EQ(ReadAndVerifyPartnerDocument(documentPath_, kBuildId, bytes),
            PartnerDocumentStatus::CannotOpen);
  WriteDocument(kFullDocument);
  EXPECT_EQ(ReadAndVerifyPartnerDocument(documentPath_, kBuildId, bytes),
            PartnerDocumentStatus::SignatureMismatch);
  EXPECT_TRUE(bytes.empty());
}

// The process-wide store, holding a few values of each kind for the lookups.
class PartnerStringLookup : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    PropertiesStore& store = GetPartnerPropertiesStore();
    store.AddString("Lookup.Title", "Star Harbour");
    store.AddString("Lookup.Empty", "");
    store.AddInteger("Lookup.Count", 8);
    store.AddDouble("Lookup.Ratio", 1.5);
    store.AddBoolean("Lookup.Flag", true);
  }
};

struct LookupCase {
  const char* name;
  std::string key;
  std::string want;
};

const LookupCase kLookups[] = {
    {"ExactName", "Lookup.Title", "Star Harbour"},
    {"EmptyValueIsFound", "Lookup.Empty", ""},
    {"OtherCase", "lookup.title", "default"},
    {"TrailingSpace", "Lookup.Title ", "default"},
    {"NulInsideName", std::string("Lookup.Title\0x", 14), "default"},
    {"PrefixOfStoredName", "Lookup.Titl", "default"},
    {"Missing", "Lookup.Nothing", "default"},
    {"IntegerValue", "Lookup.Count", "default"},
    {"DoubleValue", "Lookup.Ratio", "default"},
    {"BooleanValue", "Lookup.Flag", "default"},
};

class PartnerStringCases : public PartnerStringLookup,
                           public testing::WithParamInterface<LookupCase> {};

TEST_P(PartnerStringCases, FindsOnlyStringsOfExactlyThatName) {
  EXPECT_EQ(GetPartnerString(GetParam().key, "default"), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(Names, PartnerStringCases, testing::ValuesIn(kLookups),
                         [](const testing::TestParamInfo<LookupCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(PartnerStringLookup, RequiredStringReportsMissingNameAsAsked) {
  std::vector<std::string> messages;
  const PartnerMessageSink record = [&](const std::string& text) { messages.push_back(text); };
  const PropertiesStore& store = GetPartnerPropertiesStore();
  EXPECT_EQ(FindRequiredString(store, "Lookup.Title", record), "Star Harbour");
  EXPECT_EQ(FindRequiredString(store, "Lookup.Empty", record), "");
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(FindRequiredString(store, "Lookup.Count", record), "");
  EXPECT_EQ(messages, std::vector<std::string>{"Unable to find properties string 'Lookup.Count'"});
}

}  // namespace
