// gamewrap keygen, pack --publisher-key, sign --publisher-key, verify
// --publisher-key / --launcher and inspect's key block, run as a publisher
// runs them, with the OpenSSL command line as the other side.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "payload/key_block.h"
#include "payload/payload_format.h"
#include "tests/support/pe_image.h"
#include "tests/support/run_gamewrap.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Gamewrap;
using testsupport::ReadFile;
using testsupport::RunTool;
using testsupport::TempDir;
using testsupport::ToolRun;

std::string Q(const std::string& path) { return "'" + path + "'"; }

const std::string kDevKey = Q(KOVA_DEV_KEY_PATH);
const std::string kDocument = "<Properties><String id=\"Name\">Kova</String></Properties>\n";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The 16 hex digits of the key id keygen printed on its second line.
std::string KeyIdFromKeygen(const std::string& out) {
  const std::string marker = "key id ";
  const std::size_t at = out.find(marker);
  return at == std::string::npos ? std::string() : out.substr(at + marker.size(), 16);
}

class PublisherTool : public testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("launcher.exe", testsupport::LauncherStub(testsupport::kMachineAmd64));
    dir_.Write("game.exe", testsupport::Game(testsupport::kMachineAmd64));
    doc_ = dir_.Write("doc.xml", kDocument);
  }

  std::string File(const std::string& name) const { return dir_.File(name); }

  // keygen --out NAME; the key id it printed.
  std::string Keygen(const std::string& name) {
    const ToolRun run = Gamewrap("keygen --out " + Q(File(name)));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return KeyIdFromKeygen(run.out);
  }

  ToolRun Pack(const std::string& output, const std::string& extra) {
    return Gamewrap("pack --stub " + Q(File("launcher.exe")) + " --game " + Q(File("game.exe")) +
                    " --build-id 00000042 -o " + Q(File(output)) + extra);
  }

  ToolRun Sign(const std::string& publisherKey, const std::string& files = "") {
    return Gamewrap("sign --key " + kDevKey + " --publisher-key " + publisherKey +
                    " --build-id 42 " + (files.empty() ? Q(doc_) : files));
  }

  TempDir dir_;
  std::string doc_;
};

TEST_F(PublisherTool, KeygenWritesOwnerOnlyKeyAndTheOpenSslPublicKey) {
  const std::string keyId = Keygen("publisher");
  EXPECT_EQ(keyId.size(), 16u);
  struct stat info {};
  ASSERT_EQ(stat(File("publisher.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const ToolRun pub = RunTool("openssl", "pkey -in " + Q(File("publisher.key")) + " -pubout");
  ASSERT_EQ(pub.exitCode, 0) << pub.err;
  EXPECT_EQ(pub.out, ReadFile(File("publisher.pub")));
  EXPECT_EQ(RunTool("openssl", "pkey -in " + Q(File("publisher.key")) + " -check -noout").exitCode,
            0);
}

TEST_F(PublisherTool, KeygenNeverOverwritesWithoutForce) {
  Keygen("publisher");
  const std::string key = ReadFile(File("publisher.key"));
  const std::string pub = ReadFile(File("publisher.pub"));
  const ToolRun again = Gamewrap("keygen --out " + Q(File("publisher")));
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_TRUE(Contains(again.err, "exists; nothing written")) << again.err;
  EXPECT_EQ(ReadFile(File("publisher.key")), key);
  EXPECT_EQ(ReadFile(File("publisher.pub")), pub);

  // Only BASE.pub there: BASE.key is not written either.
  dir_.Write("other.pub", "mine");
  EXPECT_EQ(Gamewrap("keygen --out " + Q(File("other"))).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(File("other.key")));
  EXPECT_EQ(ReadFile(File("other.pub")), "mine");

  const ToolRun forced = Gamewrap("keygen --force --out " + Q(File("publisher")));
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_NE(ReadFile(File("publisher.key")), key);
  EXPECT_NE(ReadFile(File("publisher.pub")), pub);
}

// Without --publisher-key the file is as before: the key block's bytes stay
// zero; with it, only they differ.
TEST_F(PublisherTool, PackWritesTheKeyBlockAndNothingElseChanges) {
  const std::string keyId = Keygen("current");
  const std::string nextId = Keygen("next");
  const ToolRun plain = Pack("plain.exe", "");
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  const ToolRun keyed = Pack("keyed.exe", " --publisher-key " + Q(File("current.pub")) +
                                              " --publisher-key " + Q(File("next.pub")));
  ASSERT_EQ(keyed.exitCode, 0) << keyed.err;
  EXPECT_EQ(keyed.out, plain.out + "publisher key block: key " + keyId + ", next key " + nextId +
                           ", publisher signature required\n");
  const std::string a = ReadFile(File("plain.exe"));
  const std::string b = ReadFile(File("keyed.exe"));
  ASSERT_EQ(a.size(), b.size());
  const std::size_t block = testsupport::LauncherStub(testsupport::kMachineAmd64).size() +
                            payload::kMarkerLength + payload::kKeyBlockOffset;
  EXPECT_EQ(a.substr(block, payload::kKeyBlockSize), std::string(payload::kKeyBlockSize, '\0'));
  EXPECT_EQ(a.substr(0, block), b.substr(0, block));
  EXPECT_EQ(a.substr(block + payload::kKeyBlockSize), b.substr(block + payload::kKeyBlockSize));
  payload::KeyBlock read;
  ASSERT_EQ(payload::ParseKeyBlock(b.substr(block), read), payload::KeyBlockStatus::Intact);
  EXPECT_TRUE(read.requiresPublisherSignature);
  ASSERT_EQ(read.entries.size(), 2u);

  const ToolRun inspect = Gamewrap("inspect " + Q(File("keyed.exe")));
  EXPECT_TRUE(Contains(inspect.out,
                       "certificate table: none\npublisher key block: valid, "
                       "publisher signature required\npublisher key (current): " +
                           keyId + "\npublisher key (next): " + nextId + "\n"))
      << inspect.out;
  const ToolRun json = Gamewrap("inspect --json " + Q(File("keyed.exe")));
  EXPECT_TRUE(Contains(json.out,
                       ", \"keyBlock\": {\"status\": \"valid\", "
                       "\"publisherSignatureRequired\": true, \"keyIds\": [\"" +
                           keyId + "\", \"" + nextId + "\"]}}\n"))
      << json.out;
  EXPECT_FALSE(Contains(Gamewrap("inspect --json " + Q(File("plain.exe"))).out, "keyBlock"));
  EXPECT_FALSE(Contains(Gamewrap("inspect " + Q(File("plain.exe"))).out, "publisher"));
}

TEST_F(PublisherTool, PackRefusesThreeKeysTheSameKeyTwiceAndAPrivateKey) {
  Keygen("k");
  const std::string pub = " --publisher-key " + Q(File("k.pub"));
  const ToolRun three = Pack("out.exe", pub + pub + pub);
  EXPECT_EQ(three.exitCode, 2);
  EXPECT_TRUE(Contains(three.err, "once or twice")) << three.err;
  const ToolRun same = Pack("out.exe", pub + pub);
  EXPECT_EQ(same.exitCode, 2);
  EXPECT_TRUE(Contains(same.err, "the same key")) << same.err;
  const ToolRun priv = Pack("out.exe", " --publisher-key " + Q(File("k.key")));
  EXPECT_EQ(priv.exitCode, 1);
  EXPECT_TRUE(Contains(priv.err, "a PEM \"PRIVATE KEY\" file, not \"PUBLIC KEY\"")) << priv.err;
  EXPECT_FALSE(std::filesystem::exists(File("out.exe")));
}

// The .sig beside a .psig is the one sign writes without a publisher key.
TEST_F(PublisherTool, SignWritesBothSignaturesForEachDocument) {
  const std::string keyId = Keygen("publisher");
  const std::string second = dir_.Write("second.xml", "<Properties/>\n");
  const ToolRun run = Sign(Q(File("publisher.key")), Q(doc_) + " " + Q(second));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            doc_ + ".sig: signed for build identifier 42\n" + doc_ +
                ".psig: publisher-signed with key " + keyId + " for build identifier 42\n" +
                second + ".sig: signed for build identifier 42\n" + second +
                ".psig: publisher-signed with key " + keyId + " for build identifier 42\n");
  const std::string withPublisher = ReadFile(doc_ + ".sig");
  ASSERT_EQ(Gamewrap("sign --key " + kDevKey + " --build-id 42 " + Q(doc_)).exitCode, 0);
  EXPECT_EQ(ReadFile(doc_ + ".sig"), withPublisher);
  EXPECT_EQ(ReadFile(doc_ + ".psig").substr(0, 29), "kova-psig-1 " + keyId + " ");
  for (const std::string& path : {doc_, second}) {
    const ToolRun verify = Gamewrap("verify --build-id 42 --publisher-key " +
                                    Q(File("publisher.pub")) + " " + Q(path));
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    EXPECT_EQ(verify.out, path + ": signature valid for build identifier 42\n" + path +
                              ".psig: publisher signature valid (key " + keyId + ")\n");
  }
}

// Keys for CI secrets: standard input and environment variables, for both
// key options.
TEST_F(PublisherTool, KeysFromStandardInputAndEnvironment) {
  Keygen("publisher");
  const std::string pub = " --publisher-key " + Q(File("publisher.pub"));
  const ToolRun fromStdin =
      RunTool("cat " + Q(File("publisher.key")) + " | " + GAMEWRAP_PATH,
              "sign --key " + kDevKey + " --publisher-key - --build-id 42 " + Q(doc_));
  ASSERT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
  EXPECT_EQ(Gamewrap("verify --build-id 42" + pub + " " + Q(doc_)).exitCode, 0);

  std::filesystem::remove(doc_ + ".psig");
  std::filesystem::remove(doc_ + ".sig");
  const std::string env = "KOVA_TEST_PUBLISHER_KEY=\"$(cat " + Q(File("publisher.key")) +
                          ")\" KOVA_TEST_DEV_KEY=\"$(cat " + kDevKey + ")\" ";
  const ToolRun fromEnv = RunTool(env + GAMEWRAP_PATH,
                                  "sign --key env:KOVA_TEST_DEV_KEY --publisher-key "
                                  "env:KOVA_TEST_PUBLISHER_KEY --build-id 42 " +
                                      Q(doc_));
  ASSERT_EQ(fromEnv.exitCode, 0) << fromEnv.err;
  EXPECT_EQ(Gamewrap("verify --build-id 42" + pub + " " + Q(doc_)).exitCode, 0);

  const ToolRun devKeyFromStdin =
      RunTool("cat " + kDevKey + " | " + GAMEWRAP_PATH, "sign --key - --build-id 7 " + Q(doc_));
  EXPECT_EQ(devKeyFromStdin.exitCode, 0) << devKeyFromStdin.err;
  EXPECT_EQ(Gamewrap("verify --build-id 7 " + Q(doc_)).exitCode, 0);

  const ToolRun unset =
      Gamewrap("sign --key " + kDevKey +
               " --publisher-key env:KOVA_TEST_UNSET_VARIABLE --build-id 42 " + Q(doc_));
  EXPECT_EQ(unset.exitCode, 1);
  EXPECT_TRUE(Contains(unset.err, "the environment variable 'KOVA_TEST_UNSET_VARIABLE' is not set"))
      << unset.err;
  const ToolRun bothStdin =
      Gamewrap("sign --key - --publisher-key - --build-id 42 " + Q(doc_) + " </dev/null");
  EXPECT_EQ(bothStdin.exitCode, 2);
}

TEST_F(PublisherTool, SignWritesNothingWhenAnyDocumentOrKeyFails) {
  Keygen("publisher");
  const ToolRun missing = Sign(Q(File("publisher.key")), Q(doc_) + " " + Q(File("missing.xml")));
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(doc_ + ".sig"));
  EXPECT_FALSE(std::filesystem::exists(doc_ + ".psig"));
  const ToolRun publicKey = Sign(Q(File("publisher.pub")));
  EXPECT_EQ(publicKey.exitCode, 1);
  EXPECT_TRUE(Contains(publicKey.err, "cannot read the publisher key")) << publicKey.err;
  EXPECT_FALSE(std::filesystem::exists(doc_ + ".sig"));
  // A private key whose public point is another key's.
  const std::string other = ReadFile(File("publisher.key"));
  Keygen("second");
  const std::string mixed = dir_.Write(
      "mixed.key", other.substr(0, other.find("\n") + 1 + 64 + 1) +
                       ReadFile(File("second.key")).substr(other.find("\n") + 1 + 64 + 1));
  const ToolRun mismatch = Sign(Q(mixed));
  EXPECT_EQ(mismatch.exitCode, 1) << mismatch.out;
  EXPECT_FALSE(std::filesystem::exists(doc_ + ".sig"));
}

TEST_F(PublisherTool, KeyMadeByOpenSslSigns) {
  ASSERT_EQ(RunTool("openssl", "genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out " +
                                   Q(File("openssl.key")))
                .exitCode,
            0);
  ASSERT_EQ(RunTool("openssl", "pkey -in " + Q(File("openssl.key")) + " -pubout -out " +
                                   Q(File("openssl.pub")))
                .exitCode,
            0);
  ASSERT_EQ(Sign(Q(File("openssl.key"))).exitCode, 0);
  const ToolRun verify =
      Gamewrap("verify --build-id 42 --publisher-key " + Q(File("openssl.pub")) + " " + Q(doc_));
  EXPECT_EQ(verify.exitCode, 0) << verify.err;

  // The signed message, as the format fixes it, verifies with openssl dgst
  // after r||s is turned into DER by openssl asn1parse -genstr.
  const std::string psig = ReadFile(doc_ + ".psig");
  const std::string r = psig.substr(29, 64), s = psig.substr(93, 64);
  const std::string conf = dir_.Write(
      "sig.conf", "asn1=SEQUENCE:sig\n[sig]\nr=INTEGER:0x" + r + "\ns=INTEGER:0x" + s + "\n");
  ASSERT_EQ(RunTool("openssl",
                    "asn1parse -genconf " + Q(conf) + " -out " + Q(File("sig.der")) + " -noout")
                .exitCode,
            0);
  std::string message("kova-partner-v1\0", 16);
  for (std::size_t i = 0; i < 8; ++i) {
    message += static_cast<char>(std::stoi(psig.substr(12 + 2 * i, 2), nullptr, 16));
  }
  message += std::string("\x2A\0\0\0", 4);
  const std::uint64_t length = kDocument.size();
  for (int i = 0; i < 8; ++i) message += static_cast<char>((length >> (8 * i)) & 0xFF);
  message += kDocument;
  const std::string messagePath = dir_.Write("message", message);
  const ToolRun dgst =
      RunTool("openssl", "dgst -sha256 -verify " + Q(File("openssl.pub")) + " -signature " +
                             Q(File("sig.der")) + " " + Q(messagePath));
  EXPECT_EQ(dgst.out, "Verified OK\n") << dgst.err;
}

// verify --launcher takes the build identifier and the keys from the wrapped
// launcher, and fails as the launcher does.
TEST_F(PublisherTool, VerifyAgainstTheLauncher) {
  const std::string keyId = Keygen("current");
  const std::string nextId = Keygen("next");
  ASSERT_EQ(Pack("current-only.exe", " --publisher-key " + Q(File("current.pub"))).exitCode, 0);
  ASSERT_EQ(Pack("both.exe", " --publisher-key " + Q(File("current.pub")) + " --publisher-key " +
                                 Q(File("next.pub")))
                .exitCode,
            0);
  ASSERT_EQ(Pack("none.exe", "").exitCode, 0);
  const auto verify = [this](const std::string& launcher, const std::string& extra = "") {
    return Gamewrap("verify --json" + extra + " --launcher " + Q(File(launcher)) + " " + Q(doc_));
  };

  ASSERT_EQ(Sign(Q(File("current.key"))).exitCode, 0);
  ToolRun run = verify("current-only.exe");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "\"buildId\": 42, \"valid\": true, \"result\": \"valid\""));
  EXPECT_TRUE(Contains(run.out, "\"publisherSignatureFile\": \"" + doc_ + ".psig\"" +
                                    ", \"publisherSignature\": \"valid\", \"publisherKeyId\": \"" +
                                    keyId + "\"}"))
      << run.out;
  EXPECT_EQ(verify("current-only.exe", " --build-id 00000042").exitCode, 0);
  EXPECT_EQ(verify("current-only.exe", " --build-id 43").exitCode, 2);

  // A launcher without a key block checks FILE.sig only.
  run = verify("none.exe");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(Contains(run.out, "\"publisherSignature\": \"notRequired\"")) << run.out;
  EXPECT_TRUE(Contains(run.err, "carries no publisher key block")) << run.err;

  // The next key: accepted where the block names it, not where it does not.
  ASSERT_EQ(Sign(Q(File("next.key"))).exitCode, 0);
  EXPECT_EQ(verify("both.exe").exitCode, 0);
  run = verify("current-only.exe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"unknownPublisherKey\"")) << run.out;
  EXPECT_TRUE(Contains(run.err, "signed with key " + nextId + ", which the launcher does not hold"))
      << run.err;

  // White space: the .sig check passes it, the publisher check does not.
  dir_.Write("doc.xml", kDocument + " ");
  run = verify("both.exe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"publisherMismatch\"")) << run.out;
  EXPECT_EQ(Gamewrap("verify --build-id 42 " + Q(doc_)).exitCode, 0);
  EXPECT_EQ(Gamewrap("verify --launcher " + Q(File("none.exe")) + " " + Q(doc_)).exitCode, 0);
  dir_.Write("doc.xml", kDocument);

  std::filesystem::remove(doc_ + ".psig");
  run = verify("both.exe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"noPublisherSignatureFile\", ")) << run.out;
  EXPECT_TRUE(Contains(run.out, "\"publisherSignature\": \"noFile\", \"publisherKeyId\": null}"))
      << run.out;

  dir_.Write("doc.xml.psig", std::string(300, 'a'));
  run = verify("both.exe");
  EXPECT_TRUE(Contains(run.out, "\"result\": \"malformedPublisherSignature\"")) << run.out;

  // A key block whose own checksum fails: the launcher refuses to run.
  std::string damaged = ReadFile(File("both.exe"));
  const std::size_t block = testsupport::LauncherStub(testsupport::kMachineAmd64).size() +
                            payload::kMarkerLength + payload::kKeyBlockOffset;
  damaged[block + 40] ^= 1;
  dir_.Write("damaged.exe", damaged);
  ASSERT_EQ(Sign(Q(File("current.key"))).exitCode, 0);
  run = verify("damaged.exe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"damagedKeyBlock\"")) << run.out;
  const ToolRun inspect = Gamewrap("inspect " + Q(File("damaged.exe")));
  EXPECT_TRUE(
      Contains(inspect.out, "publisher key block: damaged (the launcher will refuse to run it)\n"))
      << inspect.out;
  EXPECT_TRUE(Contains(Gamewrap("inspect --json " + Q(File("damaged.exe"))).out,
                       "\"keyBlock\": {\"status\": \"damaged\", \"publisherSignatureRequired\": "
                       "null, \"keyIds\": []}"));

  run = verify("missing.exe");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"cannotReadLauncher\"")) << run.out;
}

// A failed FILE.sig is reported as before; the publisher check is not run.
TEST_F(PublisherTool, VerifyReportsAFailedSigFirst) {
  Keygen("k");
  ASSERT_EQ(Sign(Q(File("k.key"))).exitCode, 0);
  dir_.Write("doc.xml", "<Properties/>\n");
  const ToolRun run =
      Gamewrap("verify --json --build-id 42 --publisher-key " + Q(File("k.pub")) + " " + Q(doc_));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(Contains(run.out, "\"result\": \"mismatch\"")) << run.out;
  EXPECT_TRUE(Contains(run.out, "\"publisherSignature\": \"notChecked\"")) << run.out;
}

}  // namespace
