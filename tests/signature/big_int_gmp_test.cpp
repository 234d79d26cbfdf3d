// BigInt against GMP on random operands: sums, differences, products,
// divisions, shifts, or, comparisons and modular powers; digest numbers
// against OpenSSL's MD5; the development key against its factors.
//
// The seed is 4711 unless KOVA_TEST_SEED says otherwise; a failure prints it.
#include <gmp.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cctype>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "signature/big_int.h"
#include "signature/file_signature.h"
#include "signature/signing_key.h"
#include "tests/signature/big_int_text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_seed.h"

namespace {

using testsupport::SeedTrace;
using testsupport::TestSeed;

using testsupport::ToHex;

constexpr int kOperandPairs = 100000;
constexpr int kPowModCases = 5000;

// One GMP integer with a single owner.
class Mpz {
 public:
  Mpz() { mpz_init(value_); }
  explicit Mpz(const BigInt& from) {
    mpz_init(value_);
    Set(from);
  }
  Mpz(const Mpz&) = delete;
  Mpz& operator=(const Mpz&) = delete;
  ~Mpz() { mpz_clear(value_); }

  void Set(const BigInt& from) {
    std::vector<BigInt::Digit> digits;
    for (std::int32_t i = 0; i < from.DigitCount(); ++i) digits.push_back(from.GetDigit(i));
    mpz_import(value_, digits.size(), -1, sizeof(BigInt::Digit), 0, 0, digits.data());
    if (from.IsNegative()) mpz_neg(value_, value_);
  }
  std::string Hex() const {
    char* text = mpz_get_str(nullptr, 16, value_);
    std::string result(text);
    void (*freeFunction)(void*, std::size_t);
    mp_get_memory_functions(nullptr, nullptr, &freeFunction);
    freeFunction(text, result.size() + 1);
    for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return result;
  }
  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }

 private:
  mpz_t value_;
};

// Equal value, normalised, never a negative zero, capacity 0 or 8 * 2^k.
testing::AssertionResult Same(const char* what, const BigInt& got, const Mpz& want) {
  const Mpz gotAsMpz(got);
  if (mpz_cmp(gotAsMpz.get(), want.get()) != 0) {
    return testing::AssertionFailure() << what << ": got " << ToHex(got) << ", want " << want.Hex();
  }
  if (got.DigitCount() != 0 && got.TopDigit() == 0) {
    return testing::AssertionFailure() << what << ": not normalised";
  }
  if (got.DigitCount() == 0 && got.IsNegative()) {
    return testing::AssertionFailure() << what << ": negative zero";
  }
  const std::int32_t capacity = got.Capacity();
  if (capacity != 0 && (capacity < 8 || (capacity & (capacity - 1)) != 0)) {
    return testing::AssertionFailure() << what << ": capacity " << capacity;
  }
  return testing::AssertionSuccess();
}

class Operands {
 public:
  explicit Operands(std::uint64_t seed) : random_(seed) {}

  // A value of 0 to maxBits bits. Besides uniform digits it favours the
  // digits where carries and borrows go wrong: 0, 1, 0x8000 and 0xFFFF.
  BigInt Next(int maxBits, bool allowNegative) {
    const int bits = Uniform(0, maxBits);
    BigInt value;
    const int digitCount = (bits + 15) / 16;
    const int style = Uniform(0, 3);
    for (int i = 0; i < digitCount; ++i) {
      BigInt::Wide digit = Uniform(0, 0xFFFF);
      if (style == 1) {
        digit = 0xFFFF;
      } else if (style == 2) {
        static constexpr BigInt::Wide kSpecial[] = {0, 1, 0x8000, 0xFFFF};
        digit = kSpecial[Uniform(0, 3)];
      }
      value.SetDigit(i, digit);
    }
    // Cut to the chosen bit length, its top bit set.
    if (bits % 16 != 0 && digitCount > 0) {
      const BigInt::Wide mask = (1u << (bits % 16)) - 1;
      value.SetDigit(digitCount - 1,
                     (value.GetDigit(digitCount - 1) & mask) | (1u << (bits % 16 - 1)));
    } else if (digitCount > 0) {
      value.SetDigit(digitCount - 1, value.GetDigit(digitCount - 1) | 0x8000);
    }
    value.Normalize();
    if (allowNegative && Uniform(0, 1) == 1) value = -value;
    return value;
  }

  int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

 private:
  std::mt19937_64 random_;
};

BigInt Magnitude(const BigInt& value) { return value.IsNegative() ? -value : value; }

TEST(BigIntAgainstGmp, RandomOperandPairs) {
  const std::uint64_t seed = TestSeed();
  SCOPED_TRACE(SeedTrace(seed));
  Operands operands(seed);
  Mpz x, y, want, wantRemainder;
  for (int pair = 0; pair < kOperandPairs; ++pair) {
    const BigInt a = operands.Next(200, true);
    BigInt b = operands.Next(200, true);
    // Equal and opposite values now and then, for the comparisons.
    const int twin = operands.Uniform(0, 15);
    if (twin == 0) b = a;
    if (twin == 1) b = -a;
    SCOPED_TRACE("pair " + std::to_string(pair) + ": a = " + ToHex(a) + ", b = " + ToHex(b));
    x.Set(a);
    y.Set(b);

    mpz_add(want.get(), x.get(), y.get());
    ASSERT_TRUE(Same("a + b", a + b, want));
    mpz_sub(want.get(), x.get(), y.get());
    ASSERT_TRUE(Same("a - b", a - b, want));
    mpz_mul(want.get(), x.get(), y.get());
    ASSERT_TRUE(Same("a * b", a * b, want));

    const int cmp = mpz_cmp(x.get(), y.get());
    ASSERT_EQ(a == b, cmp == 0);
    ASSERT_EQ(a != b, cmp != 0);
    ASSERT_EQ(a < b, cmp < 0);
    ASSERT_EQ(a > b, cmp > 0);
    ASSERT_EQ(a >= b, cmp >= 0);
    ASSERT_EQ(a <= b, cmp <= 0);

    const int count = operands.Uniform(0, 256);
    mpz_mul_2exp(want.get(), x.get(), count);
    ASSERT_TRUE(Same("a << n", a << count, want)) << "n = " << count;
    mpz_tdiv_q_2exp(want.get(), x.get(), count);
    ASSERT_TRUE(Same("a >> n", a >> count, want)) << "n = " << count;

    // Or and division of non-negative operands; the signed forms are the
    // magnitudes' or and truncating division.
    const BigInt absA = Magnitude(a), absB = Magnitude(b);
    Mpz absX(absA), absY(absB);
    mpz_ior(want.get(), absX.get(), absY.get());
    ASSERT_TRUE(Same("|a| | |b|", absA | absB, want));
    ASSERT_TRUE(Same("a | b", a | b, want));

    if (b.DigitCount() != 0) {
      BigInt quotient, remainder;
      ASSERT_TRUE(absA.DivMod(absB, quotient, remainder));
      mpz_tdiv_qr(want.get(), wantRemainder.get(), absX.get(), absY.get());
      ASSERT_TRUE(Same("|a| / |b|", quotient, want));
      ASSERT_TRUE(Same("|a| % |b|", remainder, wantRemainder));

      ASSERT_TRUE(a.DivMod(b, quotient, remainder));
      mpz_tdiv_qr(want.get(), wantRemainder.get(), x.get(), y.get());
      ASSERT_TRUE(Same("a / b", quotient, want));
      ASSERT_TRUE(Same("a % b", remainder, wantRemainder));
    }
  }
}

TEST(BigIntAgainstGmp, PowModOfSystemSizes) {
  const std::uint64_t seed = TestSeed();
  SCOPED_TRACE(SeedTrace(seed));
  Operands operands(seed + 1);
  Mpz base, exponent, modulus, want;
  for (int i = 0; i < kPowModCases; ++i) {
    const BigInt b = operands.Next(96, false);
    // The public exponent often, zero now and then, any size otherwise.
    const int kind = operands.Uniform(0, 7);
    const BigInt e = kind == 0 ? BigInt(17) : kind == 1 ? BigInt() : operands.Next(96, false);
    BigInt m = operands.Next(96, false);
    // Modulus 1 with exponent 0 gives 1 here, GMP says 0; it has its own case.
    if (m < BigInt(2)) m = BigInt(2);
    SCOPED_TRACE("case " + std::to_string(i) + ": " + ToHex(b) + " ^ " + ToHex(e) + " mod " +
                 ToHex(m));
    base.Set(b);
    exponent.Set(e);
    modulus.Set(m);
    mpz_powm(want.get(), base.get(), exponent.get(), modulus.get());
    ASSERT_TRUE(Same("PowMod", b.PowMod(e, m), want));
  }
  // Negative bases give the least non-negative residue, as GMP does.
  for (int i = 0; i < kPowModCases / 5; ++i) {
    const BigInt b = -operands.Next(96, false);
    const BigInt e = operands.Next(20, false);
    BigInt m = operands.Next(96, false);
    if (m < BigInt(2)) m = BigInt(2);
    SCOPED_TRACE("negative base " + ToHex(b) + " ^ " + ToHex(e) + " mod " + ToHex(m));
    base.Set(b);
    exponent.Set(e);
    modulus.Set(m);
    mpz_powm(want.get(), base.get(), exponent.get(), modulus.get());
    ASSERT_TRUE(Same("PowMod", b.PowMod(e, m), want));
  }
}

TEST(BigIntAgainstGmp, DigestNumbersOfRandomMessages) {
  std::mt19937_64 random(TestSeed() + 2);
  Mpz want;
  for (int i = 0; i < 2000; ++i) {
    std::string message(random() % 300, '\0');
    for (char& c : message) c = static_cast<char>(random());
    const int bitCount = i % 4 == 0 ? static_cast<int>(random() % 128) + 1 : kSignatureDigestBits;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    ASSERT_EQ(EVP_Digest(message.data(), message.size(), digest, &digestLength, EVP_md5(), nullptr),
              1);
    mpz_import(want.get(), digestLength, 1, 1, 0, 0, digest);
    const std::size_t bits = mpz_sizeinbase(want.get(), 2);
    if (bits > static_cast<std::size_t>(bitCount))
      mpz_tdiv_q_2exp(want.get(), want.get(), bits - bitCount);
    ASSERT_TRUE(
        Same("FromDigest", BigInt::FromDigest(message.data(), message.size(), bitCount), want))
        << "message " << i << ", bit count " << bitCount;
  }
}

// The shipped development key: the built-in modulus is the product of the
// three primes, and the private exponent inverts 17 modulo
// lcm(p - 1, q - 1, r - 1).
TEST(DevelopmentKey, PrivateExponentInvertsSeventeen) {
  SigningKey key;
  const ReadResult read = ParseSigningKey(testsupport::ReadFile(KOVA_DEV_KEY_PATH), key);
  ASSERT_TRUE(read.ok) << read.message;

  Mpz p, q, r, product, lcm, factor, want;
  mpz_set_ui(p.get(), 11);
  mpz_set_str(q.get(), "26143309", 10);
  mpz_set_str(r.get(), "247126081246765086283", 10);
  for (const Mpz* prime : {&p, &q, &r}) EXPECT_NE(mpz_probab_prime_p(prime->get(), 40), 0);
  mpz_mul(product.get(), p.get(), q.get());
  mpz_mul(product.get(), product.get(), r.get());
  EXPECT_EQ(mpz_cmp(Mpz(BigInt(std::string_view(kSignatureModulusText))).get(), product.get()), 0);
  EXPECT_TRUE(Same("modulus", key.modulus, product));

  mpz_set_ui(lcm.get(), 1);
  for (const Mpz* prime : {&p, &q, &r}) {
    mpz_sub_ui(factor.get(), prime->get(), 1);
    mpz_lcm(lcm.get(), lcm.get(), factor.get());
  }
  mpz_set_ui(factor.get(), 17);
  ASSERT_NE(mpz_invert(want.get(), factor.get(), lcm.get()), 0);
  EXPECT_TRUE(Same("private exponent", key.privateExponent, want));
}

}  // namespace
