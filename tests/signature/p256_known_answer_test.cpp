// The P-256 primitives against answers made outside this code: a key pair,
// message and signature made with the openssl command line tool (the DER
// signature converted to r||s), and SHA-256's published digests. The same
// tests run against every implementation of p256.h.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

#include "signature/p256.h"

namespace signature {
namespace {

template <std::size_t Size>
std::array<std::uint8_t, Size> FromHex(const char* hex) {
  std::array<std::uint8_t, Size> bytes{};
  const std::string text(hex);
  EXPECT_EQ(text.size(), 2 * Size) << hex;
  for (std::size_t i = 0; i < Size && 2 * i + 1 < text.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

// openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256, twice.
const P256Point kPublic = FromHex<64>(
    "c9b639cee8525e80179df72a756b2fad8c1f8a2293cba59ba316052de9af50a8"
    "f634972cf443cf9e1ccdd64ca34de0e22ac7fcc15005ffc853bf6de853a4aed6");
const std::array<std::uint8_t, 32> kScalar =
    FromHex<32>("e220c73d8bdcc6a2584f15ed37c12f34b215cc9039430591fda1399799d307f0");
const P256Point kOtherPublic = FromHex<64>(
    "f84cb89a6d62f5bc4d1de36356348b07a8340876bc02f8b4fbac8cb493d89860"
    "193fff56a537c0a05820916d625b35b8f9996b9345240bf448d48c65945e5f51");

constexpr char kMessage[] = "The quick brown fox jumps over the lazy dog";
// openssl dgst -sha256 -sign over kMessage by the first key, as r then s.
const P256Signature kSignature = FromHex<64>(
    "e1c2fcfbac47e83e948ade9fef2311ec36b137a7cdaf79217bd6f70a126ed7af"
    "dfb153b8d4c354d15256a1a36a81f3f00c31337e3d7f63fba533154e6a925611");
// The order n of the curve's group.
const std::array<std::uint8_t, 32> kOrder =
    FromHex<32>("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");

P256PrivateKey KnownKey() {
  P256PrivateKey key;
  key.scalar = kScalar;
  key.publicPoint = kPublic;
  return key;
}

struct DigestCase {
  const char* name;
  std::string input;
  const char* digest;
};

void PrintTo(const DigestCase& c, std::ostream* out) { *out << c.name; }

class Sha256KnownAnswer : public ::testing::TestWithParam<DigestCase> {};

TEST_P(Sha256KnownAnswer, GivesThePublishedDigest) {
  Sha256Digest digest{};
  ASSERT_TRUE(Sha256(GetParam().input, digest));
  EXPECT_EQ(digest, FromHex<32>(GetParam().digest));
}

INSTANTIATE_TEST_SUITE_P(
    Digests, Sha256KnownAnswer,
    ::testing::Values(
        DigestCase{"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        DigestCase{"Abc", "abc",
                   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        DigestCase{"Fox", kMessage,
                   "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592"},
        // Zero bytes are hashed like any other: the length is not a C string's.
        DigestCase{"ThreeZeroBytes", std::string(3, '\0'),
                   "709e80c88487a2411e1ee4dfb9f22a861492d20c4765150c0c794abd70f8147c"},
        // Longer than one 64-byte block, so the compression runs twice.
        DigestCase{"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                   "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"}),
    [](const ::testing::TestParamInfo<DigestCase>& info) { return info.param.name; });

TEST(P256Verify, AcceptsTheSignatureMadeByOpenssl) {
  EXPECT_TRUE(VerifyP256(kPublic, kMessage, kSignature));
}

struct RefusalCase {
  const char* name;
  P256Point key;
  std::string message;
  P256Signature signature;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

P256Signature FlipBit(P256Signature signature, std::size_t byte, int bit) {
  signature[byte] ^= static_cast<std::uint8_t>(1u << bit);
  return signature;
}

// kSignature with r (part 0) or s (part 1) replaced by `value`.
P256Signature WithPart(int part, const std::array<std::uint8_t, 32>& value) {
  P256Signature signature = kSignature;
  std::copy(value.begin(), value.end(), signature.begin() + 32 * part);
  return signature;
}

// A value above the group's order.
std::array<std::uint8_t, 32> AllOnes() {
  std::array<std::uint8_t, 32> value{};
  value.fill(0xff);
  return value;
}

P256Point OffTheCurve() {
  P256Point point = kPublic;
  point[63] ^= 1;
  return point;
}

P256Point XAndYSwapped() {
  P256Point point{};
  std::copy(kPublic.begin() + 32, kPublic.end(), point.begin());
  std::copy(kPublic.begin(), kPublic.begin() + 32, point.begin() + 32);
  return point;
}

class P256Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(P256Refusal, DoesNotVerify) {
  const RefusalCase& c = GetParam();
  EXPECT_FALSE(VerifyP256(c.key, c.message, c.signature));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, P256Refusal,
    ::testing::Values(RefusalCase{"BitOfRFlipped", kPublic, kMessage, FlipBit(kSignature, 31, 0)},
                      RefusalCase{"TopBitOfRFlipped", kPublic, kMessage, FlipBit(kSignature, 0, 7)},
                      RefusalCase{"BitOfSFlipped", kPublic, kMessage, FlipBit(kSignature, 63, 0)},
                      RefusalCase{"BitOfMessageFlipped", kPublic,
                                  "The quick brown fox jumps over the lazy dof", kSignature},
                      RefusalCase{"MessageOneByteLonger", kPublic, std::string(kMessage) + "\n",
                                  kSignature},
                      RefusalCase{"OtherKey", kOtherPublic, kMessage, kSignature},
                      RefusalCase{"ZeroSignature", kPublic, kMessage, P256Signature{}},
                      RefusalCase{"RZero", kPublic, kMessage, WithPart(0, {})},
                      RefusalCase{"SZero", kPublic, kMessage, WithPart(1, {})},
                      RefusalCase{"RIsTheOrder", kPublic, kMessage, WithPart(0, kOrder)},
                      RefusalCase{"SIsTheOrder", kPublic, kMessage, WithPart(1, kOrder)},
                      RefusalCase{"RAboveTheOrder", kPublic, kMessage, WithPart(0, AllOnes())},
                      RefusalCase{"SAboveTheOrder", kPublic, kMessage, WithPart(1, AllOnes())},
                      RefusalCase{"KeyOffTheCurve", OffTheCurve(), kMessage, kSignature},
                      RefusalCase{"KeyXAndYSwapped", XAndYSwapped(), kMessage, kSignature},
                      RefusalCase{"ZeroKey", P256Point{}, kMessage, kSignature}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(P256Sign, SignaturesVerifyAreRandomizedAndBindTheKeyAndMessage) {
  P256Signature first{};
  P256Signature second{};
  ASSERT_TRUE(SignP256(KnownKey(), kMessage, first));
  ASSERT_TRUE(SignP256(KnownKey(), kMessage, second));
  EXPECT_TRUE(VerifyP256(kPublic, kMessage, first));
  EXPECT_TRUE(VerifyP256(kPublic, kMessage, second));
  EXPECT_NE(first, second);
  EXPECT_FALSE(VerifyP256(kOtherPublic, kMessage, first));
  EXPECT_FALSE(VerifyP256(kPublic, "another message", first));
}

TEST(P256Sign, ASignatureOverTheEmptyMessageVerifies) {
  P256Signature signature{};
  ASSERT_TRUE(SignP256(KnownKey(), "", signature));
  EXPECT_TRUE(VerifyP256(kPublic, "", signature));
}

TEST(P256Generate, MakesDistinctKeysWhoseSignaturesVerify) {
  P256PrivateKey first;
  P256PrivateKey second;
  ASSERT_TRUE(GenerateP256(first));
  ASSERT_TRUE(GenerateP256(second));
  EXPECT_NE(first.scalar, second.scalar);
  EXPECT_NE(first.publicPoint, second.publicPoint);
  EXPECT_NE(first.scalar, (std::array<std::uint8_t, 32>{}));

  P256Signature signature{};
  ASSERT_TRUE(SignP256(first, kMessage, signature));
  EXPECT_TRUE(VerifyP256(first.publicPoint, kMessage, signature));
  EXPECT_FALSE(VerifyP256(second.publicPoint, kMessage, signature));
}

}  // namespace
}  // namespace signature
