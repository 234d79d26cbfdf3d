// Wrapped launchers whose header carries a publisher key block, run as a user
// runs them: which partner folders they accept, which they refuse and how,
// and that only they load bcrypt.dll.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "payload/key_block.h"
#include "payload/payload_format.h"
#include "properties/partner_properties.h"
#include "signature/p256.h"
#include "signature/publisher_signature.h"
#include "tests/e2e/harness/game_runs.h"
#include "tests/e2e/harness/launcher_run.h"
#include "tests/e2e/harness/partner_files.h"
#include "tests/e2e/harness/publisher_files.h"
#include "tests/e2e/harness/test_files.h"
#include "tests/e2e/test_game/game_files.h"

namespace e2e {
namespace {

constexpr char kBuildIdField[] = "12345678";
constexpr std::int32_t kBuildId = 12345678;
constexpr char kStaleFileName[] = "tmb0001.tmp";
constexpr char kInvalidSignature[] = "Invalid partner properties signature!";
constexpr char kCannotExtract[] = "Unable to extract game executable.";

// What the native fixture made with the Linux tool (OpenSSL): partner folders
// signed with the key files of publisher_keys, and a launcher it packed.
const std::string kNativeDir = KOVA_PUBLISHER_DIR;

using signature::P256PrivateKey;
using signature::PublisherSignatureFile;

// --- The files of one partner folder ----------------------------------------

struct PartnerFiles {
  std::string document = kDefaultPartnerDocument;
  // The document the .sig file is made for; empty: `document`.
  std::string signedBySigFile;
  bool hasPublisherSignature = true;
  std::string publisherSignature;  // the .psig file's bytes
};

PublisherSignatureFile SignedFile(const P256PrivateKey& key,
                                  const std::string& document = kDefaultPartnerDocument,
                                  std::int32_t buildId = kBuildId) {
  std::string text;
  EXPECT_TRUE(MakePublisherSignatureText(key, buildId, document, text));
  const auto parsed = signature::ParsePublisherSignatureFile(text);
  EXPECT_TRUE(parsed.has_value()) << text;
  return parsed.value_or(PublisherSignatureFile{});
}

std::string Text(const PublisherSignatureFile& file) {
  return signature::FormatPublisherSignatureFile(file);
}

PartnerFiles WithPublisherSignature(const std::string& text) {
  PartnerFiles files;
  files.publisherSignature = text;
  return files;
}

// The signature by the current key with byte `at` of r||s changed by `mask`.
PartnerFiles SignatureBitFlipped(std::size_t at, std::uint8_t mask) {
  PublisherSignatureFile file = SignedFile(CurrentPublisherKey());
  file.signature[at] ^= mask;
  return WithPublisherSignature(Text(file));
}

// The signature by the current key with r (part 0) or s (part 1) set to
// `byte` repeated, or to the group's order.
PartnerFiles SignaturePartSet(int part, const std::array<std::uint8_t, 32>& value) {
  PublisherSignatureFile file = SignedFile(CurrentPublisherKey());
  std::copy(value.begin(), value.end(), file.signature.begin() + 32 * part);
  return WithPublisherSignature(Text(file));
}

const std::array<std::uint8_t, 32> kZero{};
const std::array<std::uint8_t, 32> kOrder = {
    0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
    0xbc, 0xe6, 0xfa, 0xad, 0xa7, 0x17, 0x9e, 0x84, 0xf3, 0xb9, 0xca, 0xc2, 0xfc, 0x63, 0x25, 0x51};

std::string Hex(const std::uint8_t* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0f]);
  }
  return text;
}

// The line's text with the signature's hex replaced by `signatureHex`.
std::string LineWithSignatureHex(const PublisherSignatureFile& file,
                                 const std::string& signatureHex) {
  return "kova-psig-1 " + Hex(file.keyId.data(), file.keyId.size()) + " " + signatureHex + "\n";
}

// r and s as a DER SEQUENCE of two INTEGERs, as openssl dgst -sign writes it.
PartnerFiles DerEncodedSignature() {
  const PublisherSignatureFile file = SignedFile(CurrentPublisherKey());
  std::string der;
  for (int part = 0; part < 2; ++part) {
    const std::uint8_t* value = file.signature.data() + 32 * part;
    const bool pad = (value[0] & 0x80) != 0;
    der += "02" + Hex(reinterpret_cast<const std::uint8_t*>(pad ? "\x21" : "\x20"), 1) +
           (pad ? "00" : "") + Hex(value, 32);
  }
  const std::uint8_t length = static_cast<std::uint8_t>(der.size() / 2);
  return WithPublisherSignature(LineWithSignatureHex(file, "30" + Hex(&length, 1) + der));
}

PartnerFiles SignatureHexResized(int change) {
  const PublisherSignatureFile file = SignedFile(CurrentPublisherKey());
  std::string hex = Hex(file.signature.data(), file.signature.size());
  if (change < 0) hex.pop_back();
  if (change > 0) hex.push_back('0');
  return WithPublisherSignature(LineWithSignatureHex(file, hex));
}

PartnerFiles UpperCaseHex() {
  std::string text = Text(SignedFile(CurrentPublisherKey()));
  std::transform(text.begin() + 12, text.end(), text.begin() + 12, [](char c) {
    return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  return WithPublisherSignature(text);
}

PartnerFiles UnknownKey() {
  P256PrivateKey stranger;
  EXPECT_TRUE(signature::GenerateP256(stranger));
  return WithPublisherSignature(Text(SignedFile(stranger)));
}

// The next key's signature under the current key's id.
PartnerFiles NextKeySignatureUnderCurrentId() {
  std::string text;
  EXPECT_TRUE(MakePublisherSignatureText(NextPublisherKey(),
                                         KeyIdOf(CurrentPublisherKey().publicPoint), kBuildId,
                                         kDefaultPartnerDocument, text));
  return WithPublisherSignature(text);
}

// The document with one bit of a value changed, and its .sig file made anew
// with the kit's development key, as any partner can.
PartnerFiles DocumentBitChangedAndSigFileRemade() {
  PartnerFiles files = WithPublisherSignature(Text(SignedFile(CurrentPublisherKey())));
  const std::size_t at = files.document.find("Trial");
  files.document[at + 3] ^= 0x01;
  return files;
}

// White space the .sig file's check ignores, added after both were signed.
PartnerFiles WhiteSpaceAdded() {
  PartnerFiles files = WithPublisherSignature(Text(SignedFile(CurrentPublisherKey())));
  files.signedBySigFile = files.document;
  files.document += " \r\n";
  return files;
}

// --- Key blocks --------------------------------------------------------------

enum class Keys {
  Current,
  CurrentAndNext,
  // Under the current key's id a point the system refuses to import (all
  // zero: a point merely off the curve is imported, then fails to verify).
  CurrentIdWithUnimportablePoint,
  // Current and next, one byte of the block changed afterwards.
  Damaged,
  // The block names the current key but does not ask for a signature.
  NotRequired,
};

std::string KeyBlockBytes(Keys keys) {
  const signature::P256Point& current = CurrentPublisherKey().publicPoint;
  const signature::P256Point& next = NextPublisherKey().publicPoint;
  payload::KeyBlock block;
  switch (keys) {
    case Keys::Current:
      block = KeyBlockNaming({current});
      break;
    case Keys::CurrentAndNext:
    case Keys::Damaged:
      block = KeyBlockNaming({current, next});
      break;
    case Keys::CurrentIdWithUnimportablePoint: {
      block = KeyBlockNaming({current});
      block.entries[0].publicPoint.fill(0);
      break;
    }
    case Keys::NotRequired:
      block = KeyBlockNaming({current});
      block.requiresPublisherSignature = false;
      break;
  }
  std::string bytes = payload::MakeKeyBlock(block);
  if (keys == Keys::Damaged) bytes[100] ^= 0x01;  // inside the second entry's point
  return bytes;
}

// --- The table ---------------------------------------------------------------

enum class Outcome { GameRuns, InvalidSignature, DamagedLauncher };

struct PublisherCase {
  const char* name;
  Keys keys;
  PartnerFiles (*files)();
  Outcome want;
};

void PrintTo(const PublisherCase& c, std::ostream* out) { *out << c.name; }

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

class PublisherEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(TestGame().empty()) << TestGamePath(); }

  std::string Launcher() const { return root_.File("launcher.exe"); }

  void WriteKeyedLauncher(Keys keys) const {
    ASSERT_TRUE(WriteWrappedLauncher(
        Launcher(), MakeKeyedAppendedData(kBuildIdField, TestGame(), KeyBlockBytes(keys))));
  }

  void WritePartnerFiles(const PartnerFiles& files) const {
    ASSERT_TRUE(WriteSignedPartnerProperties(
        root_.path(), files.signedBySigFile.empty() ? files.document : files.signedBySigFile,
        kBuildId));
    const std::string documentPath = PartnerDocumentPath(root_.path() + "\\");
    ASSERT_TRUE(WriteWholeFile(documentPath, files.document));
    if (files.hasPublisherSignature) {
      ASSERT_TRUE(WriteWholeFile(documentPath + ".psig", files.publisherSignature));
    }
  }

  // Runs the launcher and checks the outcome, boxes and files of `want`.
  LauncherRun RunExpecting(Outcome want) const {
    // A stale temporary file: only an extraction would remove it.
    EXPECT_TRUE(WriteWholeFile(root_.File(kStaleFileName), "left by an earlier run"));
    const std::vector<std::string> before = EntryNames(ListDirectory(root_.path()));
    const std::size_t gamesBefore = ReadGameRuns(root_.path()).size();

    const LauncherRun run = RunLauncher(Launcher());

    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    const std::size_t gamesRun = ReadGameRuns(root_.path()).size() - gamesBefore;
    switch (want) {
      case Outcome::GameRuns: {
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
        EXPECT_EQ(gamesRun, 1u);
        // The stale file went, the game's record came, no temporary file stays.
        std::vector<std::string> expected = before;
        expected.erase(std::find(expected.begin(), expected.end(), kStaleFileName));
        if (!Contains(expected, testgame::kRecordFileName)) {
          expected.push_back(testgame::kRecordFileName);
        }
        std::vector<std::string> left = EntryNames(run.filesLeft);
        std::sort(expected.begin(), expected.end());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, expected);
        break;
      }
      case Outcome::InvalidSignature:
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.boxes.size(), 1u);
        for (const MessageBoxSeen& box : run.boxes) {
          EXPECT_EQ(box.text, kInvalidSignature);
          EXPECT_EQ(box.caption, "FATAL ERROR");
          EXPECT_TRUE(box.showsIcon);
        }
        EXPECT_EQ(gamesRun, 0u);
        EXPECT_EQ(EntryNames(run.filesLeft), before);
        break;
      case Outcome::DamagedLauncher:
        EXPECT_EQ(run.exitCode, 7u);
        EXPECT_EQ(run.boxes.size(), 1u);
        for (const MessageBoxSeen& box : run.boxes) {
          EXPECT_EQ(box.text, kCannotExtract);
          EXPECT_EQ(box.caption, "Fatal Error");
          EXPECT_FALSE(box.showsIcon);
        }
        EXPECT_EQ(gamesRun, 0u);
        EXPECT_EQ(EntryNames(run.filesLeft), before);
        break;
    }
    return run;
  }

  FreshDirectory root_;
};

class PublisherFolderTest : public PublisherEndToEnd,
                            public ::testing::WithParamInterface<PublisherCase> {};

TEST_P(PublisherFolderTest, RunsOrRefusesAsTheKeyBlockAsks) {
  const PublisherCase& c = GetParam();
  WriteKeyedLauncher(c.keys);
  WritePartnerFiles(c.files());
  const LauncherRun run = RunExpecting(c.want);
  // The system's CNG library: loaded for every signature that was verified,
  // and never when no check was asked for. (A file refused by its grammar or
  // key id is refused before anything is loaded.)
  const bool noCheck = c.keys == Keys::NotRequired || c.keys == Keys::Damaged;
  if (noCheck) {
    EXPECT_FALSE(Contains(run.dllsLoaded, "bcrypt.dll"));
  } else if (c.want == Outcome::GameRuns) {
    EXPECT_TRUE(Contains(run.dllsLoaded, "bcrypt.dll"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PublisherFolderTest,
    ::testing::Values(
        // Accepted
        PublisherCase{
            "CurrentKey", Keys::CurrentAndNext,
            [] { return WithPublisherSignature(Text(SignedFile(CurrentPublisherKey()))); },
            Outcome::GameRuns},
        PublisherCase{"NextKey", Keys::CurrentAndNext,
                      [] { return WithPublisherSignature(Text(SignedFile(NextPublisherKey()))); },
                      Outcome::GameRuns},
        PublisherCase{
            "CurrentKeyAloneInTheBlock", Keys::Current,
            [] { return WithPublisherSignature(Text(SignedFile(CurrentPublisherKey()))); },
            Outcome::GameRuns},
        PublisherCase{"LineEndingInCrLf", Keys::Current,
                      [] {
                        std::string text = Text(SignedFile(CurrentPublisherKey()));
                        text.insert(text.size() - 1, "\r");
                        return WithPublisherSignature(text);
                      },
                      Outcome::GameRuns},
        PublisherCase{"LineWithoutEnding", Keys::Current,
                      [] {
                        std::string text = Text(SignedFile(CurrentPublisherKey()));
                        text.pop_back();
                        return WithPublisherSignature(text);
                      },
                      Outcome::GameRuns},
        PublisherCase{"BlockNotAskingForASignature", Keys::NotRequired,
                      [] {
                        PartnerFiles files;
                        files.hasPublisherSignature = false;
                        return files;
                      },
                      Outcome::GameRuns},
        // Refused as a failed signature
        PublisherCase{"OnlyTheSigFile", Keys::CurrentAndNext,
                      [] {
                        PartnerFiles files;
                        files.hasPublisherSignature = false;
                        return files;
                      },
                      Outcome::InvalidSignature},
        PublisherCase{"EmptyPsigFile", Keys::Current, [] { return WithPublisherSignature(""); },
                      Outcome::InvalidSignature},
        PublisherCase{"BitOfRChanged", Keys::Current, [] { return SignatureBitFlipped(5, 0x10); },
                      Outcome::InvalidSignature},
        PublisherCase{"BitOfSChanged", Keys::Current, [] { return SignatureBitFlipped(63, 0x01); },
                      Outcome::InvalidSignature},
        PublisherCase{"DocumentBitChangedAndSigFileRemade", Keys::Current,
                      DocumentBitChangedAndSigFileRemade, Outcome::InvalidSignature},
        PublisherCase{"WhiteSpaceAddedToTheDocument", Keys::Current, WhiteSpaceAdded,
                      Outcome::InvalidSignature},
        PublisherCase{"RZero", Keys::Current, [] { return SignaturePartSet(0, kZero); },
                      Outcome::InvalidSignature},
        PublisherCase{"SZero", Keys::Current, [] { return SignaturePartSet(1, kZero); },
                      Outcome::InvalidSignature},
        PublisherCase{"RIsTheGroupOrder", Keys::Current, [] { return SignaturePartSet(0, kOrder); },
                      Outcome::InvalidSignature},
        PublisherCase{"SIsTheGroupOrder", Keys::Current, [] { return SignaturePartSet(1, kOrder); },
                      Outcome::InvalidSignature},
        PublisherCase{"RAboveTheGroupOrder", Keys::Current,
                      [] {
                        std::array<std::uint8_t, 32> ones{};
                        ones.fill(0xff);
                        return SignaturePartSet(0, ones);
                      },
                      Outcome::InvalidSignature},
        PublisherCase{"DerEncodedSignature", Keys::Current, DerEncodedSignature,
                      Outcome::InvalidSignature},
        PublisherCase{"LineOneDigitShort", Keys::Current, [] { return SignatureHexResized(-1); },
                      Outcome::InvalidSignature},
        PublisherCase{"LineOneDigitLong", Keys::Current, [] { return SignatureHexResized(1); },
                      Outcome::InvalidSignature},
        PublisherCase{"UpperCaseHex", Keys::Current, UpperCaseHex, Outcome::InvalidSignature},
        PublisherCase{"SecondLine", Keys::Current,
                      [] {
                        const std::string line = Text(SignedFile(CurrentPublisherKey()));
                        return WithPublisherSignature(line + line);
                      },
                      Outcome::InvalidSignature},
        PublisherCase{"UnknownKeyId", Keys::CurrentAndNext, UnknownKey, Outcome::InvalidSignature},
        PublisherCase{"NextKeyWhenTheBlockNamesOnlyTheCurrent", Keys::Current,
                      [] { return WithPublisherSignature(Text(SignedFile(NextPublisherKey()))); },
                      Outcome::InvalidSignature},
        PublisherCase{"NextKeysSignatureUnderTheCurrentKeyId", Keys::CurrentAndNext,
                      NextKeySignatureUnderCurrentId, Outcome::InvalidSignature},
        PublisherCase{"SignedForAnotherBuild", Keys::Current,
                      [] {
                        return WithPublisherSignature(Text(SignedFile(
                            CurrentPublisherKey(), kDefaultPartnerDocument, kBuildId + 1)));
                      },
                      Outcome::InvalidSignature},
        // The system refuses the block's key: refused, never skipped.
        PublisherCase{
            "KeyTheSystemCannotImport", Keys::CurrentIdWithUnimportablePoint,
            [] { return WithPublisherSignature(Text(SignedFile(CurrentPublisherKey()))); },
            Outcome::InvalidSignature},
        // Refused as a damaged launcher, before the partner folder is read
        PublisherCase{
            "DamagedKeyBlock", Keys::Damaged,
            [] { return WithPublisherSignature(Text(SignedFile(CurrentPublisherKey()))); },
            Outcome::DamagedLauncher}),
    [](const ::testing::TestParamInfo<PublisherCase>& info) { return info.param.name; });

// A launcher packed without a key: the publisher signature is never looked
// at and the system's CNG library never loaded, even beside a bad .psig file.
TEST_F(PublisherEndToEnd, LauncherWithoutKeyBlockIgnoresThePsigFileAndNeverLoadsBcrypt) {
  ASSERT_TRUE(WriteWrappedLauncher(Launcher(),
                                   payload::MakeRecordedAppendedData(kBuildIdField, TestGame())));
  PartnerFiles files = WithPublisherSignature("not a signature");
  WritePartnerFiles(files);
  const LauncherRun run = RunExpecting(Outcome::GameRuns);
  EXPECT_FALSE(run.dllsLoaded.empty());  // the observation works at all
  EXPECT_FALSE(Contains(run.dllsLoaded, "bcrypt.dll"));
}

// --- Across implementations: files signed by the Linux tool ---------------

struct NativeCase {
  const char* name;
  const char* folder;  // below the native fixture's directory
};

void PrintTo(const NativeCase& c, std::ostream* out) { *out << c.name; }

class NativeSignedTest : public PublisherEndToEnd,
                         public ::testing::WithParamInterface<NativeCase> {};

// partner.xml, .sig and .psig as gamewrap sign --publisher-key wrote them with
// OpenSSL, beside a launcher with the current and next keys.
TEST_P(NativeSignedTest, LauncherAcceptsTheLinuxToolsSignature) {
  const std::string from = kNativeDir + "/" + GetParam().folder;
  std::string document, sig, psig;
  if (ReadWholeFile(from + "/partner.xml.psig", psig) != WholeFileStatus::Ok) {
    GTEST_SKIP() << "no native gamewrap made " << from;
  }
  ASSERT_EQ(ReadWholeFile(from + "/partner.xml", document), WholeFileStatus::Ok);
  ASSERT_EQ(ReadWholeFile(from + "/partner.xml.sig", sig), WholeFileStatus::Ok);
  WriteKeyedLauncher(Keys::CurrentAndNext);
  root_.MakeDirectory("properties");
  const std::string documentPath = PartnerDocumentPath(root_.path() + "\\");
  ASSERT_TRUE(WriteWholeFile(documentPath, document));
  ASSERT_TRUE(WriteWholeFile(documentPath + ".sig", sig));
  ASSERT_TRUE(WriteWholeFile(documentPath + ".psig", psig));
  RunExpecting(Outcome::GameRuns);

  // The same signature over the document with one more blank: refused.
  ASSERT_TRUE(WriteWholeFile(documentPath, document + " "));
  RunExpecting(Outcome::InvalidSignature);
}

INSTANTIATE_TEST_SUITE_P(Keys, NativeSignedTest,
                         ::testing::Values(NativeCase{"CurrentKey", "current"},
                                           NativeCase{"NextKey", "next"}),
                         [](const ::testing::TestParamInfo<NativeCase>& info) {
                           return info.param.name;
                         });

// The Linux tool's pack --publisher-key writes a key block this launcher
// reads: a document signed here with the current key starts the game.
TEST_F(PublisherEndToEnd, LauncherPackedByTheLinuxToolChecksItsKeys) {
  std::string packed;
  if (ReadWholeFile(kNativeDir + "/packed.exe", packed) != WholeFileStatus::Ok) {
    GTEST_SKIP() << "no native gamewrap packed " << kNativeDir << "/packed.exe";
  }
  ASSERT_TRUE(WriteWholeFile(Launcher(), packed));
  WritePartnerFiles(WithPublisherSignature(Text(SignedFile(NextPublisherKey()))));
  RunExpecting(Outcome::GameRuns);

  PartnerFiles unsignedFiles;
  unsignedFiles.hasPublisherSignature = false;
  WritePartnerFiles(unsignedFiles);
  DeleteFileA((PartnerDocumentPath(root_.path() + "\\") + ".psig").c_str());
  RunExpecting(Outcome::InvalidSignature);
}

}  // namespace
}  // namespace e2e
