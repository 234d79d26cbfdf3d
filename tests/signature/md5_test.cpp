// MD5: the RFC 1321 test suite, the padding boundaries, every length up to
// 200 bytes and piecewise updates (the comparison with a reference library on
// large random inputs lives in md5_openssl_test.cpp).
#include "signature/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const Md5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

Md5Digest Md5Of(const std::string& input) { return ComputeMd5(input.data(), input.size()); }

// A different byte pattern for every length.
std::string Pattern(std::size_t length) {
  std::string data(length, '\0');
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>((i * 131 + length) & 0xFF);
  return data;
}

struct DigestCase {
  const char* name;
  std::string input;
  const char* digest;
};

class Md5Digests : public testing::TestWithParam<DigestCase> {};

TEST_P(Md5Digests, MatchesKnownDigest) {
  EXPECT_EQ(Hex(Md5Of(GetParam().input)), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc1321, Md5Digests,
    testing::Values(
        DigestCase{"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        DigestCase{"A", "a", "0cc175b9c0f1b6a831c399e269772661"},
        DigestCase{"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        DigestCase{"MessageDigest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        DigestCase{"Alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        DigestCase{"AlphaNumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                   "d174ab98d277d9f5a5611c2c9f419d9f"},
        DigestCase{"EightyDigits",
                   "1234567890123456789012345678901234567890123456789012345678901234567890"
                   "1234567890",
                   "57edf4a22be3c955ac49da2e2107b67a"}),
    [](const testing::TestParamInfo<DigestCase>& info) { return info.param.name; });

// 55 bytes leave room for the padding bit and the length in the same block,
// 56 do not; 64 fills a block exactly.
INSTANTIATE_TEST_SUITE_P(
    PaddingBoundaries, Md5Digests,
    testing::Values(DigestCase{"A55", std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
                    DigestCase{"A56", std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
                    DigestCase{"A57", std::string(57, 'a'), "652b906d60af96844ebd21b674f35e93"},
                    DigestCase{"A63", std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
                    DigestCase{"A64", std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
                    DigestCase{"A65", std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
                    DigestCase{"A119", std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
                    DigestCase{"A120", std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
                    DigestCase{"A128", std::string(128, 'a'), "e510683b3f5ffe4093d021808bc6ff70"}),
    [](const testing::TestParamInfo<DigestCase>& info) { return info.param.name; });

TEST(Md5, EveryLengthUpTo200) {
  // The digest of the concatenated digests of Pattern(0) ... Pattern(200).
  std::string digests;
  for (std::size_t length = 0; length <= 200; ++length) {
    const Md5Digest digest = Md5Of(Pattern(length));
    digests.append(digest.begin(), digest.end());
  }
  EXPECT_EQ(Hex(Md5Of(digests)), "b8c8aff37f061baaf6d6ff31f178afb4");
}

TEST(Md5, PiecewiseUpdatesMatchOneCall) {
  for (std::size_t length = 0; length <= 200; ++length) {
    const std::string data = Pattern(length);
    const Md5Digest whole = Md5Of(data);
    for (std::size_t split = 0; split <= length; ++split) {
      Md5Context context;
      Md5Init(context);
      Md5Update(context, data.data(), split);
      Md5Update(context, data.data() + split, length - split);
      ASSERT_EQ(Hex(Md5Final(context)), Hex(whole)) << "length " << length << " split " << split;
    }
    // Byte by byte, with empty updates between.
    Md5Context context;
    Md5Init(context);
    for (const char c : data) {
      Md5Update(context, &c, 1);
      Md5Update(context, nullptr, 0);
    }
    ASSERT_EQ(Hex(Md5Final(context)), Hex(whole)) << "length " << length;
  }
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// At 512 MiB the bit count reaches 2^32: the padding must carry its high word.
// About a second natively, ten times that under the address sanitizer, which
// adds nothing here (the same code runs on small inputs above).
TEST(Md5, LengthOfHalfAGibibyteFillsTheHighLengthWord) {
  if (kSanitized) GTEST_SKIP() << "runs in the plain builds only";
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  constexpr int kPieces = 512;
  const std::vector<unsigned char> zeros(kPiece, 0);
  Md5Context context;
  Md5Init(context);
  for (int i = 0; i < kPieces; ++i) Md5Update(context, zeros.data(), zeros.size());
  EXPECT_EQ(Hex(Md5Final(context)), "aa559b4e3523a6c931f08f4df52d58f2");
}

}  // namespace
