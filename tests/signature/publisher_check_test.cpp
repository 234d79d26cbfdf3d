// The publisher signature with OpenSSL's libcrypto underneath, against the
// OpenSSL command line as the oracle: keys it makes, signatures it makes and
// checks. The refusal table runs through VerifyPublisherSignature, the one
// check the launcher and the tool share.
#include "signature/publisher_check.h"

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ecdsa.h>

#include <functional>
#include <string>

#include "signature/p256.h"
#include "signature/publisher_key_files.h"
#include "signature/publisher_signature.h"
#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"

namespace {

using signature::PublisherCheck;
using testsupport::ReadFile;
using testsupport::RunTool;
using testsupport::TempDir;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The group order n of P-256, big-endian, written out here.
constexpr char kOrderHex[] = "ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551";

std::array<std::uint8_t, 32> FromHex32(const char* hex) {
  std::array<std::uint8_t, 32> bytes{};
  for (std::size_t i = 0; i < 32; ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  }
  return bytes;
}

// DER ECDSA-Sig-Value <-> r||s, by libcrypto.
bool DerToRaw(const std::string& der, signature::P256Signature& raw) {
  const auto* cursor = reinterpret_cast<const unsigned char*>(der.data());
  ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der.size()));
  if (sig == nullptr) return false;
  const bool ok = BN_bn2binpad(ECDSA_SIG_get0_r(sig), raw.data(), 32) == 32 &&
                  BN_bn2binpad(ECDSA_SIG_get0_s(sig), raw.data() + 32, 32) == 32;
  ECDSA_SIG_free(sig);
  return ok;
}

std::string RawToDer(const signature::P256Signature& raw) {
  ECDSA_SIG* sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_bin2bn(raw.data(), 32, nullptr), BN_bin2bn(raw.data() + 32, 32, nullptr));
  unsigned char* der = nullptr;
  const int size = i2d_ECDSA_SIG(sig, &der);
  std::string out(reinterpret_cast<const char*>(der), static_cast<std::size_t>(size));
  OPENSSL_free(der);
  ECDSA_SIG_free(sig);
  return out;
}

// A key pair made by the OpenSSL command line in `dir`: BASE.key and BASE.pub.
struct OpenSslKey {
  std::string keyPath;
  std::string pubPath;
  signature::P256PrivateKey key;
};

OpenSslKey MakeOpenSslKey(const TempDir& dir, const std::string& base) {
  OpenSslKey made{dir.File(base + ".key"), dir.File(base + ".pub"), {}};
  EXPECT_EQ(RunTool("openssl", "genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " +
                                   Quoted(made.keyPath))
                .exitCode,
            0);
  EXPECT_EQ(RunTool("openssl",
                    "pkey -in " + Quoted(made.keyPath) + " -pubout -out " + Quoted(made.pubPath))
                .exitCode,
            0);
  const ReadResult read = signature::ParsePublisherPrivateKey(ReadFile(made.keyPath), made.key);
  EXPECT_TRUE(read.ok) << read.message;
  return made;
}

TEST(P256, Sha256OfKnownTexts) {
  signature::Sha256Digest digest{};
  ASSERT_TRUE(signature::Sha256("abc", digest));
  EXPECT_EQ(digest, FromHex32("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  ASSERT_TRUE(signature::Sha256("", digest));
  EXPECT_EQ(digest, FromHex32("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
}

TEST(P256, GeneratedKeysSignAndVerifyAndDiffer) {
  signature::P256PrivateKey first;
  signature::P256PrivateKey second;
  ASSERT_TRUE(signature::GenerateP256(first));
  ASSERT_TRUE(signature::GenerateP256(second));
  EXPECT_NE(first.scalar, second.scalar);
  signature::P256Signature sig{};
  ASSERT_TRUE(signature::SignP256(first, "message", sig));
  EXPECT_TRUE(signature::VerifyP256(first.publicPoint, "message", sig));
  EXPECT_FALSE(signature::VerifyP256(first.publicPoint, "messagf", sig));
  EXPECT_FALSE(signature::VerifyP256(second.publicPoint, "message", sig));
}

TEST(P256, RefusesAPointOffTheCurveAndAKeyWhosePointIsNotItsOwn) {
  signature::P256PrivateKey key;
  ASSERT_TRUE(signature::GenerateP256(key));
  signature::P256Signature sig{};
  ASSERT_TRUE(signature::SignP256(key, "m", sig));
  signature::P256Point offCurve = key.publicPoint;
  offCurve[63] ^= 1;
  EXPECT_FALSE(signature::VerifyP256(offCurve, "m", sig));
  signature::P256PrivateKey other;
  ASSERT_TRUE(signature::GenerateP256(other));
  signature::P256PrivateKey mixed = key;
  mixed.publicPoint = other.publicPoint;
  EXPECT_FALSE(signature::SignP256(mixed, "m", sig));
}

// Keys made with the OpenSSL command line read in, write out byte for byte,
// and the point read from the private key is the one in the public file.
TEST(PublisherKeyFilesOracle, OpenSslKeysRoundTripByteForByte) {
  TempDir dir;
  for (int i = 0; i < 3; ++i) {
    const OpenSslKey made = MakeOpenSslKey(dir, "key" + std::to_string(i));
    EXPECT_EQ(signature::FormatPublisherPrivateKey(made.key), ReadFile(made.keyPath));
    EXPECT_EQ(signature::FormatPublisherPublicKey(made.key.publicPoint), ReadFile(made.pubPath));
    signature::P256Point point{};
    ASSERT_TRUE(signature::ParsePublisherPublicKey(ReadFile(made.pubPath), point).ok);
    EXPECT_EQ(point, made.key.publicPoint);
  }
}

// A key the writer makes is one the OpenSSL command line reads as the same.
TEST(PublisherKeyFilesOracle, WrittenKeysReadByOpenSsl) {
  TempDir dir;
  signature::P256PrivateKey key;
  ASSERT_TRUE(signature::GenerateP256(key));
  const std::string keyPath = dir.Write("k.key", signature::FormatPublisherPrivateKey(key));
  const std::string pubPath = dir.File("k.pub");
  ASSERT_EQ(RunTool("openssl", "pkey -in " + Quoted(keyPath) + " -pubout -out " + Quoted(pubPath))
                .exitCode,
            0);
  EXPECT_EQ(ReadFile(pubPath), signature::FormatPublisherPublicKey(key.publicPoint));
}

// Signatures cross between this code and openssl dgst both ways.
TEST(PublisherSignatureOracle, CrossesWithOpenSslDgst) {
  TempDir dir;
  const OpenSslKey made = MakeOpenSslKey(dir, "publisher");
  signature::PublisherKeyId keyId{};
  ASSERT_TRUE(signature::PublisherKeyIdOf(made.key.publicPoint, keyId));
  payload::KeyBlock block;
  block.entries.resize(1);
  ASSERT_TRUE(signature::PublisherKeyEntryOf(made.key.publicPoint, block.entries[0]));
  const std::string document = "<properties>\r\n  <a>1</a>\n</properties>";
  const std::string messagePath =
      dir.Write("message", signature::PublisherSignedMessage(keyId, 4242, document));

  // openssl signs; the shared check verifies.
  const std::string derPath = dir.File("sig.der");
  ASSERT_EQ(RunTool("openssl", "dgst -sha256 -sign " + Quoted(made.keyPath) + " -out " +
                                   Quoted(derPath) + " " + Quoted(messagePath))
                .exitCode,
            0);
  signature::PublisherSignatureFile file;
  file.keyId = keyId;
  ASSERT_TRUE(DerToRaw(ReadFile(derPath), file.signature));
  EXPECT_EQ(signature::VerifyPublisherSignature(block, 4242, document,
                                                signature::FormatPublisherSignatureFile(file)),
            PublisherCheck::Verified);

  // This code signs; openssl verifies.
  std::string text;
  ASSERT_TRUE(signature::MakePublisherSignatureFile(made.key, 4242, document, text));
  const auto parsed = signature::ParsePublisherSignatureFile(text);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->keyId, keyId);
  const std::string ourDer = dir.Write("ours.der", RawToDer(parsed->signature));
  const auto verify =
      RunTool("openssl", "dgst -sha256 -verify " + Quoted(made.pubPath) + " -signature " +
                             Quoted(ourDer) + " " + Quoted(messagePath));
  EXPECT_EQ(verify.exitCode, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.out, "Verified OK\n");
}

// The key id is the first 8 bytes of SHA-256 over X then Y: checked with
// openssl dgst over the point's 64 bytes.
TEST(PublisherSignatureOracle, KeyIdIsTheHashOfThePoint) {
  TempDir dir;
  signature::P256PrivateKey key;
  ASSERT_TRUE(signature::GenerateP256(key));
  const std::string pointPath =
      dir.Write("point", std::string(reinterpret_cast<const char*>(key.publicPoint.data()), 64));
  const auto digest = RunTool("openssl", "dgst -sha256 -r " + Quoted(pointPath));
  ASSERT_EQ(digest.exitCode, 0);
  signature::PublisherKeyId keyId{};
  ASSERT_TRUE(signature::PublisherKeyIdOf(key.publicPoint, keyId));
  signature::PublisherSignatureFile file;
  file.keyId = keyId;
  EXPECT_EQ(signature::FormatPublisherSignatureFile(file).substr(12, 16), digest.out.substr(0, 16));
}

// --- The table of documents a launcher with a key block must refuse ---

struct Signed {
  signature::P256PrivateKey current;
  signature::P256PrivateKey next;
  std::string document = "<properties>\n  <value name=\"a\">1</value>\n</properties>\n";
  std::int32_t buildId = 1234;
};

const Signed& Fixture() {
  static const Signed fixture = [] {
    Signed made;
    if (!signature::GenerateP256(made.current) || !signature::GenerateP256(made.next)) std::abort();
    return made;
  }();
  return fixture;
}

payload::KeyBlock BlockOf(std::initializer_list<const signature::P256PrivateKey*> keys) {
  payload::KeyBlock block;
  for (const auto* key : keys) {
    payload::PublisherKeyEntry entry;
    if (!signature::PublisherKeyEntryOf(key->publicPoint, entry)) std::abort();
    block.entries.push_back(entry);
  }
  return block;
}

std::string SignedBy(const signature::P256PrivateKey& key, const std::string& document,
                     std::int32_t buildId) {
  std::string text;
  if (!signature::MakePublisherSignatureFile(key, buildId, document, text)) std::abort();
  return text;
}

// The .psig text with r||s replaced.
std::string WithSignature(const std::string& text,
                          const std::function<void(signature::P256Signature&)>& change) {
  auto file = signature::ParsePublisherSignatureFile(text);
  if (!file) std::abort();
  change(file->signature);
  return signature::FormatPublisherSignatureFile(*file);
}

struct CheckCase {
  const char* name;
  // The block, the document checked and the .psig bytes; from the fixture.
  std::function<payload::KeyBlock()> block;
  std::function<std::string()> document;
  std::function<std::string()> psig;
  PublisherCheck want;
};

class PublisherCheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(PublisherCheckTest, GivesItsResult) {
  EXPECT_EQ(signature::VerifyPublisherSignature(GetParam().block(), Fixture().buildId,
                                                GetParam().document(), GetParam().psig()),
            GetParam().want);
}

payload::KeyBlock CurrentOnly() { return BlockOf({&Fixture().current}); }
payload::KeyBlock CurrentAndNext() { return BlockOf({&Fixture().current, &Fixture().next}); }
std::string Document() { return Fixture().document; }
std::string ByCurrent() {
  return SignedBy(Fixture().current, Fixture().document, Fixture().buildId);
}
std::string ByNext() { return SignedBy(Fixture().next, Fixture().document, Fixture().buildId); }
std::string Line(const std::string& psig) { return psig.substr(0, psig.size() - 1); }

std::string ByCurrentInUpperCase() {
  std::string text = ByCurrent();
  for (std::size_t i = 12; i < text.size(); ++i) {
    if (text[i] >= 'a' && text[i] <= 'f') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  }
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PublisherCheckTest,
    ::testing::Values(
        CheckCase{"CurrentKey", CurrentOnly, Document, ByCurrent, PublisherCheck::Verified},
        CheckCase{"CurrentKeyOfTwo", CurrentAndNext, Document, ByCurrent, PublisherCheck::Verified},
        CheckCase{"NextKey", CurrentAndNext, Document, ByNext, PublisherCheck::Verified},
        CheckCase{"CurrentKeyCrLf", CurrentOnly, Document,
                  [] { return Line(ByCurrent()) + "\r\n"; }, PublisherCheck::Verified},
        CheckCase{"NoSignatureFile", CurrentOnly, Document, [] { return std::string(); },
                  PublisherCheck::BadFile},
        CheckCase{"NextKeyNotInTheBlock", CurrentOnly, Document, ByNext,
                  PublisherCheck::UnknownKey},
        CheckCase{"UnknownKeyId", CurrentAndNext, Document,
                  [] {
                    std::string text = ByCurrent();
                    text[12] = text[12] == '0' ? '1' : '0';
                    return text;
                  },
                  PublisherCheck::UnknownKey},
        CheckCase{"BitOfRChanged", CurrentOnly, Document,
                  [] { return WithSignature(ByCurrent(), [](auto& s) { s[17] ^= 0x04; }); },
                  PublisherCheck::NotVerified},
        CheckCase{"BitOfSChanged", CurrentOnly, Document,
                  [] { return WithSignature(ByCurrent(), [](auto& s) { s[63] ^= 0x01; }); },
                  PublisherCheck::NotVerified},
        CheckCase{"BitOfDocumentChanged", CurrentOnly,
                  [] {
                    std::string document = Fixture().document;
                    document[20] ^= 0x20;
                    return document;
                  },
                  ByCurrent, PublisherCheck::NotVerified},
        // The .sig check leaves white space out of its message; this one
        // signs the exact bytes.
        CheckCase{
            "WhiteSpaceOnlyEdit", CurrentOnly,
            [] { return Fixture().document.substr(0, 12) + " " + Fixture().document.substr(12); },
            ByCurrent, PublisherCheck::NotVerified},
        CheckCase{"LineEndsChanged", CurrentOnly,
                  [] {
                    std::string document;
                    for (const char c : Fixture().document)
                      document += c == '\n' ? std::string("\r\n") : std::string(1, c);
                    return document;
                  },
                  ByCurrent, PublisherCheck::NotVerified},
        CheckCase{
            "OtherBuild", CurrentOnly, Document,
            [] { return SignedBy(Fixture().current, Fixture().document, Fixture().buildId + 1); },
            PublisherCheck::NotVerified},
        CheckCase{"RZero", CurrentOnly, Document,
                  [] {
                    return WithSignature(ByCurrent(),
                                         [](auto& s) { std::fill(s.begin(), s.begin() + 32, 0); });
                  },
                  PublisherCheck::NotVerified},
        CheckCase{"SZero", CurrentOnly, Document,
                  [] {
                    return WithSignature(ByCurrent(),
                                         [](auto& s) { std::fill(s.begin() + 32, s.end(), 0); });
                  },
                  PublisherCheck::NotVerified},
        CheckCase{"RIsTheOrder", CurrentOnly, Document,
                  [] {
                    return WithSignature(ByCurrent(), [](auto& s) {
                      const auto n = FromHex32(kOrderHex);
                      std::copy(n.begin(), n.end(), s.begin());
                    });
                  },
                  PublisherCheck::NotVerified},
        CheckCase{"SIsTheOrder", CurrentOnly, Document,
                  [] {
                    return WithSignature(ByCurrent(), [](auto& s) {
                      const auto n = FromHex32(kOrderHex);
                      std::copy(n.begin(), n.end(), s.begin() + 32);
                    });
                  },
                  PublisherCheck::NotVerified},
        CheckCase{"SAllOnes", CurrentOnly, Document,
                  [] {
                    return WithSignature(ByCurrent(),
                                         [](auto& s) { std::fill(s.begin() + 32, s.end(), 0xFF); });
                  },
                  PublisherCheck::NotVerified},
        CheckCase{"DerSignature", CurrentOnly, Document,
                  [] {
                    const auto file = signature::ParsePublisherSignatureFile(ByCurrent());
                    std::string hex;
                    for (const unsigned char c : RawToDer(file->signature)) {
                      hex += "0123456789abcdef"[c >> 4];
                      hex += "0123456789abcdef"[c & 15];
                    }
                    return ByCurrent().substr(0, 29) + hex + "\n";
                  },
                  PublisherCheck::BadFile},
        CheckCase{"ShortLine", CurrentOnly, Document,
                  [] { return Line(ByCurrent()).substr(0, 156) + "\n"; }, PublisherCheck::BadFile},
        CheckCase{"LongLine", CurrentOnly, Document, [] { return Line(ByCurrent()) + "0\n"; },
                  PublisherCheck::BadFile},
        CheckCase{"UpperCaseHex", CurrentOnly, Document, ByCurrentInUpperCase,
                  PublisherCheck::BadFile}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

}  // namespace
