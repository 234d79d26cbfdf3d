// MD5 against OpenSSL on every length up to 200 bytes and on random inputs of
// random lengths up to 1 MiB, hashed whole and in random pieces.
//
// The seed is 4711 unless KOVA_TEST_SEED says otherwise; a failure prints it.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "signature/md5.h"
#include "tests/support/test_seed.h"

namespace {

using testsupport::SeedTrace;
using testsupport::TestSeed;

Md5Digest ReferenceMd5(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EXPECT_EQ(EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr), 1);
  Md5Digest result{};
  std::memcpy(result.data(), digest, result.size());
  return result;
}

std::string RandomBytes(std::mt19937_64& random, std::size_t length) {
  std::string data(length, '\0');
  for (char& c : data) c = static_cast<char>(random());
  return data;
}

TEST(Md5AgainstOpenSsl, EveryLengthUpTo200) {
  std::mt19937_64 random(TestSeed());
  for (std::size_t length = 0; length <= 200; ++length) {
    const std::string data = RandomBytes(random, length);
    ASSERT_EQ(ComputeMd5(data.data(), data.size()), ReferenceMd5(data)) << "length " << length;
  }
}

TEST(Md5AgainstOpenSsl, RandomInputsUpToOneMebibyte) {
  const std::uint64_t seed = TestSeed();
  SCOPED_TRACE(SeedTrace(seed));
  std::mt19937_64 random(seed);
  for (int i = 0; i < 24; ++i) {
    const std::size_t length = random() % ((1u << 20) + 1);
    const std::string data = RandomBytes(random, length);
    const Md5Digest want = ReferenceMd5(data);
    ASSERT_EQ(ComputeMd5(data.data(), data.size()), want) << "input " << i << ", length " << length;

    Md5Context context;
    Md5Init(context);
    for (std::size_t done = 0; done < length;) {
      const std::size_t piece = std::min<std::size_t>(length - done, random() % 300);
      Md5Update(context, data.data() + done, piece);
      done += piece;
    }
    ASSERT_EQ(Md5Final(context), want) << "input " << i << " in pieces, length " << length;
  }
}

}  // namespace
