// BigInt: reading, arithmetic, signs, division, powers, digest numbers and
// storage, on hand-picked values (the random comparison with a reference
// library lives in big_int_gmp_test.cpp).
#include "signature/big_int.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/signature/big_int_text.h"

namespace {

using testsupport::FromHex;
using testsupport::ToHex;

std::vector<BigInt::Digit> DigitsOf(const BigInt& value) {
  std::vector<BigInt::Digit> digits;
  for (std::int32_t i = 0; i < value.DigitCount(); ++i) digits.push_back(value.GetDigit(i));
  return digits;
}

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

// --- Reading hexadecimal text -------------------------------------------

struct HexCase {
  const char* name;
  std::string text;
  std::vector<BigInt::Digit> digits;  // least significant first
};

class HexReading : public testing::TestWithParam<HexCase> {};

TEST_P(HexReading, GivesDigits) {
  const HexCase& c = GetParam();
  const BigInt value{std::string_view(c.text)};
  EXPECT_EQ(DigitsOf(value), c.digits);
  EXPECT_FALSE(value.IsNegative());
}

INSTANTIATE_TEST_SUITE_P(BigInt, HexReading,
                         testing::Values(HexCase{"Empty", "", {}}, HexCase{"FourZeros", "0000", {}},
                                         HexCase{"LowerFF", "ff", {0xFF}},
                                         HexCase{"UpperFF", "FF", {0xFF}},
                                         HexCase{"UpperD", "D", {13}}, HexCase{"LowerD", "d", {13}},
                                         HexCase{"LetterGThenOne", "G1", {1}},
                                         HexCase{"LineFeedIsAZeroDigit", "123\n", {0x1230}},
                                         HexCase{"NulIsAZeroDigit", std::string("1\0", 2), {0x10}},
                                         HexCase{"LeadingZerosDropped", "00001", {1}},
                                         HexCase{"SignIsAZeroDigit", "-1", {0x01}},
                                         HexCase{"FullModulus",
                                                 "E5A1C3B7092F4D6E8B1A7C25",
                                                 {0x7C25, 0x8B1A, 0x4D6E, 0x092F, 0xC3B7, 0xE5A1}},
                                         HexCase{"DigitBoundary", "10000", {0, 1}}),
                         CaseName<HexCase>);

// --- Construction from a 32-bit integer ----------------------------------

struct Int32Case {
  const char* name;
  std::int32_t value;
  std::vector<BigInt::Digit> digits;
  bool negative;
};

class FromInt32 : public testing::TestWithParam<Int32Case> {};

TEST_P(FromInt32, GivesSignAndDigits) {
  const Int32Case& c = GetParam();
  const BigInt value(c.value);
  EXPECT_EQ(DigitsOf(value), c.digits);
  EXPECT_EQ(value.IsNegative(), c.negative);
  EXPECT_EQ(value.Capacity(), 8);
}

INSTANTIATE_TEST_SUITE_P(BigInt, FromInt32,
                         testing::Values(Int32Case{"Zero", 0, {}, false},
                                         Int32Case{"One", 1, {1}, false},
                                         Int32Case{"MinusOne", -1, {1}, true},
                                         Int32Case{"LargestOneDigit", 0xFFFF, {0xFFFF}, false},
                                         Int32Case{"SmallestTwoDigits", 0x10000, {0, 1}, false},
                                         Int32Case{"Max", INT32_MAX, {0xFFFF, 0x7FFF}, false},
                                         Int32Case{"Min", INT32_MIN, {0, 0x8000}, true}),
                         CaseName<Int32Case>);

TEST(BigIntStorage, DefaultIsZeroWithoutStorage) {
  const BigInt zero;
  EXPECT_EQ(zero.DigitCount(), 0);
  EXPECT_EQ(zero.Capacity(), 0);
  EXPECT_FALSE(zero.IsNegative());
  EXPECT_EQ(zero.TopDigit(), 0);
  EXPECT_FALSE(zero.IsOdd());
  EXPECT_EQ(zero.BitLength(), 0);
}

// --- Arithmetic on signed values -----------------------------------------

enum class Op { kAdd, kSubtract, kMultiply, kOr, kRemainder };

struct ArithmeticCase {
  const char* name;
  Op op;
  const char* a;
  const char* b;
  const char* want;  // signed hexadecimal
};

BigInt Apply(Op op, const BigInt& a, const BigInt& b) {
  switch (op) {
    case Op::kAdd:
      return a + b;
    case Op::kSubtract:
      return a - b;
    case Op::kMultiply:
      return a * b;
    case Op::kOr:
      return a | b;
    case Op::kRemainder:
      return a % b;
  }
  return BigInt();
}

class Arithmetic : public testing::TestWithParam<ArithmeticCase> {};

TEST_P(Arithmetic, GivesNormalisedResult) {
  const ArithmeticCase& c = GetParam();
  const BigInt a = FromHex(c.a), b = FromHex(c.b);
  const BigInt result = Apply(c.op, a, b);
  EXPECT_EQ(ToHex(result), c.want);
  EXPECT_TRUE(result.DigitCount() == 0 || result.TopDigit() != 0);
  // The operands are left as they were.
  EXPECT_EQ(ToHex(a), ToHex(FromHex(c.a)));
  EXPECT_EQ(ToHex(b), ToHex(FromHex(c.b)));
}

INSTANTIATE_TEST_SUITE_P(
    BigInt, Arithmetic,
    testing::Values(
        ArithmeticCase{"CarryMakesNewDigit", Op::kAdd, "FFFF", "1", "10000"},
        ArithmeticCase{"CarryRunsThrough", Op::kAdd, "FFFFFFFFFFFF", "1", "1000000000000"},
        ArithmeticCase{"AddNegativeSmaller", Op::kAdd, "10", "-3", "D"},
        ArithmeticCase{"AddNegativeLarger", Op::kAdd, "3", "-10", "-D"},
        ArithmeticCase{"AddToNegative", Op::kAdd, "-3", "10", "D"},
        ArithmeticCase{"AddTwoNegatives", Op::kAdd, "-FFFF", "-1", "-10000"},
        ArithmeticCase{"AddOppositesIsPlainZero", Op::kAdd, "-1234", "1234", "0"},
        ArithmeticCase{"FiveMinusSeven", Op::kSubtract, "5", "7", "-2"},
        ArithmeticCase{"BorrowRunsThrough", Op::kSubtract, "1000000000000", "1", "FFFFFFFFFFFF"},
        ArithmeticCase{"BorrowDropsTopDigits", Op::kSubtract, "1000000000000", "FFFFFFFFFFFF", "1"},
        ArithmeticCase{"SubtractNegative", Op::kSubtract, "5", "-7", "C"},
        ArithmeticCase{"NegativeMinusPositive", Op::kSubtract, "-5", "7", "-C"},
        ArithmeticCase{"NegativeMinusLargerNegative", Op::kSubtract, "-5", "-7", "2"},
        ArithmeticCase{"NegativeMinusItselfIsPlainZero", Op::kSubtract, "-5", "-5", "0"},
        ArithmeticCase{"MultiplyFullDigits", Op::kMultiply, "FFFFFFFF", "FFFFFFFF",
                       "FFFFFFFE00000001"},
        ArithmeticCase{"MultiplyByZeroDigits", Op::kMultiply, "100000000", "10001",
                       "1000100000000"},
        ArithmeticCase{"MultiplySigns", Op::kMultiply, "-3", "5", "-F"},
        ArithmeticCase{"MultiplyTwoNegatives", Op::kMultiply, "-3", "-5", "F"},
        ArithmeticCase{"NegativeTimesZeroIsPlainZero", Op::kMultiply, "-3", "0", "0"},
        ArithmeticCase{"ZeroTimesNegativeIsPlainZero", Op::kMultiply, "0", "-3", "0"},
        ArithmeticCase{"OrDifferentLengths", Op::kOr, "F0F0F0000", "F0F", "F0F0F0F0F"},
        ArithmeticCase{"OrOfMagnitudesIsNonNegative", Op::kOr, "-F0", "-F", "FF"},
        ArithmeticCase{"OrWithZero", Op::kOr, "0", "1234", "1234"},
        ArithmeticCase{"RemainderSmallDividend", Op::kRemainder, "7", "9", "7"},
        ArithmeticCase{"RemainderOfProduct", Op::kRemainder, "FFFFFFFE00000001", "FFFFFFFF", "0"}),
    CaseName<ArithmeticCase>);

TEST(BigIntArithmetic, CompoundFormsMayUseTheSameValueTwice) {
  BigInt a = FromHex("FFFF");
  a += a;
  EXPECT_EQ(ToHex(a), "1FFFE");
  a *= a;
  EXPECT_EQ(ToHex(a), "3FFF80004");
  a |= BigInt(1);
  EXPECT_EQ(ToHex(a), "3FFF80005");
  a <<= 4;
  EXPECT_EQ(ToHex(a), "3FFF800050");
  a >>= 8;
  EXPECT_EQ(ToHex(a), "3FFF8000");
}

TEST(BigIntArithmetic, NegationOfZeroStaysPlainZero) {
  const BigInt zero;
  EXPECT_FALSE((-zero).IsNegative());
  EXPECT_EQ(-zero, zero);
  EXPECT_EQ(ToHex(-BigInt(5)), "-5");
  EXPECT_EQ(ToHex(-(-BigInt(5))), "5");
}

// --- Shifts --------------------------------------------------------------

struct ShiftCase {
  const char* name;
  const char* value;
  int bits;  // positive: left, negative: right by -bits
  const char* want;
};

class Shift : public testing::TestWithParam<ShiftCase> {};

TEST_P(Shift, MovesTheMagnitude) {
  const ShiftCase& c = GetParam();
  const BigInt value = FromHex(c.value);
  const BigInt shifted = c.bits >= 0 ? value << c.bits : value >> -c.bits;
  EXPECT_EQ(ToHex(shifted), c.want);
  BigInt inPlace = value;
  if (c.bits >= 0) {
    inPlace <<= c.bits;
  } else {
    inPlace >>= -c.bits;
  }
  EXPECT_EQ(ToHex(inPlace), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    BigInt, Shift,
    testing::Values(ShiftCase{"OneLeft17", "1", 17, "20000"},
                    ShiftCase{"LeftWholeDigits", "ABCD", 32, "ABCD00000000"},
                    ShiftCase{"LeftCarryIntoNewDigit", "8000", 1, "10000"},
                    ShiftCase{"LeftByZero", "1234", 0, "1234"},
                    ShiftCase{"ZeroLeftStaysZero", "0", 100, "0"},
                    ShiftCase{"NegativeLeftKeepsSign", "-3", 20, "-300000"},
                    ShiftCase{"Right32OfTwoDigitsIsZero", "10000", -32, "0"},
                    ShiftCase{"NegativeRightToZeroIsPlainZero", "-10000", -32, "0"},
                    ShiftCase{"NegativeRightBitsToZeroIsPlainZero", "-1", -1, "0"},
                    ShiftCase{"RightTruncatesTowardZero", "-5", -1, "-2"},
                    ShiftCase{"RightAcrossDigits", "123456789", -12, "123456"},
                    ShiftCase{"RightByZero", "FFFF0000", 0, "FFFF0000"},
                    ShiftCase{"RightDropsTopDigit", "10000", -1, "8000"}),
    CaseName<ShiftCase>);

TEST(BigIntShift, NegativeCountShiftsTheOtherWay) {
  EXPECT_EQ(ToHex(BigInt(1) << -4), "0");
  EXPECT_EQ(ToHex(BigInt(16) << -4), "1");
  EXPECT_EQ(ToHex(BigInt(1) >> -4), "10");
  EXPECT_EQ(ToHex(BigInt(1) << INT_MIN), "0");  // a count whose negation overflows int
}

// --- Accessors -----------------------------------------------------------

TEST(BigIntAccessors, BitLengthTopDigitAndParity) {
  EXPECT_EQ(BigInt(1).BitLength(), 1);
  EXPECT_EQ(BigInt(0x10000).BitLength(), 17);
  EXPECT_EQ(BigInt(0xFFFF).BitLength(), 16);
  EXPECT_EQ(BigInt(-5).BitLength(), 3);
  EXPECT_EQ(FromHex("E5A1C3B7092F4D6E8B1A7C25").BitLength(), 96);
  EXPECT_EQ(BigInt(0x12345).TopDigit(), 1);
  EXPECT_TRUE(BigInt(-3).IsOdd());
  EXPECT_FALSE(BigInt(0x10000).IsOdd());
  EXPECT_EQ(BigInt(0x12345).GetDigit(2), 0);
  EXPECT_EQ(BigInt(0x12345).GetDigit(-1), 0);
}

TEST(BigIntAccessors, SetDigitAppendsZerosAndKeepsLow16Bits) {
  BigInt value(7);
  value.SetDigit(3, 0x12345);
  EXPECT_EQ(DigitsOf(value), (std::vector<BigInt::Digit>{7, 0, 0, 0x2345}));
  value.SetDigit(0, 0x10001);
  EXPECT_EQ(value.GetDigit(0), 1);
  value.SetDigit(3, 0);
  value.Normalize();
  EXPECT_EQ(DigitsOf(value), (std::vector<BigInt::Digit>{1}));
  value.Clear();
  EXPECT_EQ(value.DigitCount(), 0);
  EXPECT_EQ(value.Capacity(), 8);  // Clear keeps the array
}

// --- Comparison ----------------------------------------------------------

struct CompareCase {
  const char* name;
  const char* a;
  const char* b;
  int order;  // sign of a - b
};

class Comparison : public testing::TestWithParam<CompareCase> {};

TEST_P(Comparison, OrdersSignedValues) {
  const CompareCase& c = GetParam();
  const BigInt a = FromHex(c.a), b = FromHex(c.b);
  EXPECT_EQ(a == b, c.order == 0);
  EXPECT_EQ(a != b, c.order != 0);
  EXPECT_EQ(a < b, c.order < 0);
  EXPECT_EQ(a > b, c.order > 0);
  EXPECT_EQ(a >= b, c.order >= 0);
  EXPECT_EQ(a <= b, c.order <= 0);
  // And the mirror image.
  EXPECT_EQ(b<a, c.order> 0);
  EXPECT_EQ(b > a, c.order < 0);
}

INSTANTIATE_TEST_SUITE_P(BigInt, Comparison,
                         testing::Values(CompareCase{"Equal", "1234", "1234", 0},
                                         CompareCase{"EqualNegatives", "-1234", "-1234", 0},
                                         CompareCase{"OppositeSignsNotEqual", "5", "-5", 1},
                                         CompareCase{"ZeroAndNegative", "0", "-1", 1},
                                         CompareCase{"MoreDigitsIsGreater", "10000", "FFFF", 1},
                                         CompareCase{"TopDigitDecides", "20000", "1FFFF", 1},
                                         CompareCase{"LowDigitDecides", "10001", "10002", -1},
                                         CompareCase{"LargerMagnitudeNegativeIsSmaller", "-10000",
                                                     "-FFFF", -1},
                                         CompareCase{"NegativeBelowPositive", "-FFFFFFFF", "1", -1},
                                         CompareCase{"ZeroFromDifferentRoutes", "0", "0000", 0}),
                         CaseName<CompareCase>);

TEST(BigIntComparison, ZeroResultsCompareEqualToZero) {
  const BigInt zero;
  EXPECT_EQ(BigInt(-3) * zero, zero);
  EXPECT_FALSE(BigInt(-3) * zero < zero);
  EXPECT_EQ(BigInt(-7) - BigInt(-7), zero);
  EXPECT_EQ(BigInt(-1) >> 1, zero);
  BigInt quotient, remainder;
  ASSERT_TRUE(BigInt(-1).DivMod(BigInt(5), quotient, remainder));
  EXPECT_EQ(quotient, zero);
  EXPECT_FALSE(quotient < zero);
}

// --- Division ------------------------------------------------------------

struct DivisionCase {
  const char* name;
  const char* dividend;
  const char* divisor;
  const char* quotient;
  const char* remainder;
};

void PrintTo(const DivisionCase& test, std::ostream* out) { *out << test.name; }

class Division : public testing::TestWithParam<DivisionCase> {};

TEST_P(Division, TruncatesTowardZero) {
  const DivisionCase& c = GetParam();
  BigInt quotient(99), remainder(99);
  ASSERT_TRUE(FromHex(c.dividend).DivMod(FromHex(c.divisor), quotient, remainder));
  EXPECT_EQ(ToHex(quotient), c.quotient);
  EXPECT_EQ(ToHex(remainder), c.remainder);
  EXPECT_EQ(ToHex(FromHex(c.dividend) % FromHex(c.divisor)), c.remainder);
}

INSTANTIATE_TEST_SUITE_P(
    BigInt, Division,
    testing::Values(
        DivisionCase{"DivisorLarger", "7", "9", "0", "7"},
        DivisionCase{"AcrossDigitBoundary", "10000", "FFFF", "1", "1"},
        DivisionCase{"Exact", "FFFFFFFE00000001", "FFFFFFFF", "FFFFFFFF", "0"},
        DivisionCase{"ByOne", "123456789ABCDEF", "1", "123456789ABCDEF", "0"},
        DivisionCase{"ByItself", "E5A1C3B7092F4D6E8B1A7C25", "E5A1C3B7092F4D6E8B1A7C25", "1", "0"},
        DivisionCase{"ZeroDividend", "0", "5", "0", "0"},
        DivisionCase{"LongQuotient", "1000000000000000000000000", "3", "555555555555555555555555",
                     "1"},
        DivisionCase{"RemainderNeedsBorrowAboveDivisor", "1FFFE0000", "FFFF0001", "1", "FFFEFFFF"},
        // Long division one digit per step: estimates that the top two
        // digits correct (once more than adding back could mend), one that is
        // still too large and is added back, and a divisor whose top digit
        // must be shifted up first.
        DivisionCase{"EstimateCorrected", "FFFE7FFF8000FFFE0000FFFF8000", "FFFF800000000001",
                     "FFFEFFFF0000", "7FFD000200008000"},
        DivisionCase{"EstimateTwoTooLargeCorrected", "FFFE0001FFFFFFFE", "8001FFFF7FFF", "1FFF4",
                     "1AFFFBFFF2"},
        DivisionCase{"EstimateAddedBack", "FFFEFFFF000100007FFF00018000", "FFFFFFFFFFFE0001",
                     "FFFEFFFF0002", "FFFD7FFE00067FFE"},
        DivisionCase{"DivisorNormalised", "123456789ABCDEF0123456789", "1000300005",
                     "12341FDC3577F493", "63C5DA0AA"},
        DivisionCase{"NegativeDividend", "-7", "2", "-3", "-1"},
        DivisionCase{"NegativeDivisor", "7", "-2", "-3", "1"},
        DivisionCase{"BothNegative", "-7", "-2", "3", "-1"},
        DivisionCase{"NegativeSmallDividend", "-1", "5", "0", "-1"},
        DivisionCase{"ZeroByNegative", "0", "-5", "0", "0"},
        DivisionCase{"NegativeExact", "-10", "4", "-4", "0"}),
    CaseName<DivisionCase>);

TEST(BigIntDivision, ZeroDivisorHasNoResult) {
  BigInt quotient(5), remainder(5);
  EXPECT_FALSE(BigInt(7).DivMod(BigInt(), quotient, remainder));
  EXPECT_EQ(quotient, BigInt());
  EXPECT_EQ(remainder, BigInt());
  EXPECT_EQ(BigInt(7) % BigInt(), BigInt());
}

TEST(BigIntDivision, OutputsMayAliasTheOperands) {
  BigInt a = FromHex("123456789ABCDEF0");
  BigInt b = FromHex("12345");
  BigInt expectedQuotient, expectedRemainder;
  ASSERT_TRUE(a.DivMod(b, expectedQuotient, expectedRemainder));

  BigInt dividend = a, divisor = b;
  ASSERT_TRUE(dividend.DivMod(divisor, dividend, divisor));
  EXPECT_EQ(dividend, expectedQuotient);
  EXPECT_EQ(divisor, expectedRemainder);

  dividend = a;
  divisor = b;
  ASSERT_TRUE(dividend.DivMod(divisor, divisor, dividend));
  EXPECT_EQ(divisor, expectedQuotient);
  EXPECT_EQ(dividend, expectedRemainder);
}

// --- Modular exponentiation ----------------------------------------------

struct PowModCase {
  const char* name;
  const char* base;
  const char* exponent;
  const char* modulus;
  const char* want;
};

class PowMod : public testing::TestWithParam<PowModCase> {};

TEST_P(PowMod, GivesPower) {
  const PowModCase& c = GetParam();
  EXPECT_EQ(ToHex(FromHex(c.base).PowMod(FromHex(c.exponent), FromHex(c.modulus))), c.want);
}

INSTANTIATE_TEST_SUITE_P(
    BigInt, PowMod,
    testing::Values(PowModCase{"FourPow13Mod497", "4", "D", "1F1", "1BD"},  // 445
                    PowModCase{"ExponentZero", "1234", "0", "1F1", "1"},
                    PowModCase{"ExponentZeroModulusOne", "1234", "0", "1", "1"},
                    PowModCase{"ExponentZeroBaseZero", "0", "0", "7", "1"},
                    PowModCase{"ModulusOne", "1234", "5", "1", "0"},
                    PowModCase{"BaseZero", "0", "11", "E5A1C3B7092F4D6E8B1A7C25", "0"},
                    PowModCase{"BaseAboveModulus", "1F5", "2", "1F1", "10"},  // 501^2 mod 497 = 16
                    PowModCase{"NegativeBaseOddPower", "-2", "3", "5", "2"},
                    PowModCase{"NegativeBaseEvenPower", "-2", "2", "5", "4"},
                    PowModCase{"NegativeModulus", "3", "3", "-5", "2"},
                    PowModCase{"ZeroModulusHasNoResult", "3", "3", "0", "0"},
                    PowModCase{"NegativeExponentHasNoResult", "3", "-1", "7", "0"},
                    // The development key's signature of the digest number for build
                    // identifier 1 and 'abc', checked with the public exponent.
                    PowModCase{"PublicExponent", "B7D1C292BCF4A48AE08B3F8F", "11",
                               "E5A1C3B7092F4D6E8B1A7C25", "3C355C9C07A7257E06E6CC3C"}),
    CaseName<PowModCase>);

// --- Digest numbers ------------------------------------------------------

struct DigestCase {
  const char* name;
  std::string bytes;
  int bitCount;
  const char* want;
};

class FromDigest : public testing::TestWithParam<DigestCase> {};

TEST_P(FromDigest, GivesDigestNumber) {
  const DigestCase& c = GetParam();
  const BigInt value = BigInt::FromDigest(c.bytes.data(), c.bytes.size(), c.bitCount);
  EXPECT_EQ(ToHex(value), c.want);
  EXPECT_FALSE(value.IsNegative());
}

INSTANTIATE_TEST_SUITE_P(
    BigInt, FromDigest,
    testing::Values(
        DigestCase{"Empty94", "", 94, "3507633663C02C813A600266"},
        DigestCase{"Abc94", "abc", 94, "240054260F3493EC35A58FDF"},
        DigestCase{"Abc160Filler", "abc", 160, "900150983CD24FB0D6963F7D28E17F7201234567"},
        DigestCase{"Abc132OneFillerDigit", "abc", 132, "900150983CD24FB0D6963F7D28E17F720"},
        DigestCase{"Empty129CutsFiller", "", 129, "1A83B19B31E016409D3001331D9F084FC"},
        DigestCase{"Abc128WholeDigest", "abc", 128, "900150983CD24FB0D6963F7D28E17F72"},
        DigestCase{"CountedFromHighestSetBit", "a", 94, "3305D6E703C6DAA0C70E6789"},
        DigestCase{"SixteenLeadingZeroBits", "k5076", 94, "238D2A39AAEDDC468E21E78B"},
        // Fewer significant bits than asked for: the value is kept whole.
        DigestCase{"ShortDigestKeptWhole", "a", 128, "CC175B9C0F1B6A831C399E269772661"},
        DigestCase{"ShortValueWithFillerKeptWhole", "a", 200,
                   "CC175B9C0F1B6A831C399E2697726610123456789ABCDEF01"},
        DigestCase{"OneBit", "abc", 1, "1"}, DigestCase{"ZeroBits", "abc", 0, "0"},
        DigestCase{"NegativeBitCount", "abc", -5, "0"}),
    CaseName<DigestCase>);

// --- Copies, moves and growth --------------------------------------------

TEST(BigIntStorage, GrowthDoublesFromEight) {
  BigInt value;
  value.SetDigit(0, 1);
  EXPECT_EQ(value.Capacity(), 8);
  value.SetDigit(8, 1);
  EXPECT_EQ(value.Capacity(), 16);
  value.SetDigit(100, 1);
  EXPECT_EQ(value.Capacity(), 128);
  EXPECT_EQ(value.DigitCount(), 101);
  EXPECT_EQ(value.BitLength(), 1601);
  // Growth keeps the digits in use.
  EXPECT_EQ(value.GetDigit(0), 1);
  EXPECT_EQ(value.GetDigit(8), 1);
  EXPECT_EQ(value.GetDigit(50), 0);

  BigInt shifted(1);
  shifted <<= 16 * 40;
  EXPECT_EQ(shifted.Capacity(), 64);
  EXPECT_EQ(shifted.DigitCount(), 41);
}

// Operations that end with exactly as many digits as the operand had room for,
// or one more: a result must never hold more digits than its array.
struct CapacityCase {
  const char* name;
  const char* value;  // its digit count equals its capacity
  int shiftBits;      // left
  const char* want;
};

void PrintTo(const CapacityCase& test, std::ostream* out) { *out << test.name; }

class ResultWithinCapacity : public testing::TestWithParam<CapacityCase> {};

TEST_P(ResultWithinCapacity, AfterLeftShift) {
  const CapacityCase& c = GetParam();
  BigInt value = FromHex(c.value);
  ASSERT_EQ(value.Capacity(), value.DigitCount());
  value <<= c.shiftBits;
  EXPECT_EQ(ToHex(value), c.want);
  EXPECT_LE(value.DigitCount(), value.Capacity());
  const BigInt shifted = FromHex(c.value) << c.shiftBits;
  EXPECT_LE(shifted.DigitCount(), shifted.Capacity());
}

INSTANTIATE_TEST_SUITE_P(
    BigIntStorage, ResultWithinCapacity,
    testing::Values(
        CapacityCase{"EightDigitsCarryOut", "80000000000000000000000000000000", 1,
                     "100000000000000000000000000000000"},
        CapacityCase{"EightDigitsCarryOutBy15", "FFFF0000000000000000000000000001", 15,
                     "7FFF80000000000000000000000000008000"},
        CapacityCase{"NegativeEightDigitsCarryOut", "-80000000000000000000000000000000", 1,
                     "-100000000000000000000000000000000"},
        CapacityCase{"SixteenDigitsCarryOut",
                     "C000000000000000000000000000000000000000000000000000000000000000", 2,
                     "30000000000000000000000000000000000000000000000000000000000000000"},
        CapacityCase{"EightDigitsWholeDigitAndCarry", "80000000000000000000000000000000", 17,
                     "1000000000000000000000000000000000000"}),
    CaseName<CapacityCase>);

TEST(BigIntStorage, CopiesAreIndependentAndKeepCapacity) {
  BigInt original = FromHex("-123456789ABCDEF");
  original.SetDigit(20, 0);
  original.Normalize();
  const BigInt copy(original);
  EXPECT_EQ(copy, original);
  EXPECT_EQ(copy.Capacity(), original.Capacity());
  EXPECT_TRUE(copy.IsNegative());

  BigInt assigned(5);
  assigned = original;
  EXPECT_EQ(assigned, original);
  EXPECT_EQ(assigned.Capacity(), original.Capacity());

  original.SetDigit(0, 0xAAAA);
  EXPECT_EQ(ToHex(copy), "-123456789ABCDEF");
  EXPECT_EQ(ToHex(assigned), "-123456789ABCDEF");

  // Assigning a value without storage drops the array.
  assigned = BigInt();
  EXPECT_EQ(assigned.Capacity(), 0);
  EXPECT_EQ(assigned, BigInt());
}

TEST(BigIntStorage, SelfAssignmentKeepsTheValue) {
  BigInt value = FromHex("FEDCBA9876543210FEDCBA98");
  BigInt& alias = value;
  value = alias;
  EXPECT_EQ(ToHex(value), "FEDCBA9876543210FEDCBA98");
  value = std::move(alias);
  EXPECT_EQ(ToHex(value), "FEDCBA9876543210FEDCBA98");
}

TEST(BigIntStorage, MoveLeavesZeroBehind) {
  BigInt source = FromHex("-FEDCBA9876543210");
  BigInt moved(std::move(source));
  EXPECT_EQ(ToHex(moved), "-FEDCBA9876543210");
  EXPECT_EQ(source.DigitCount(), 0);  // NOLINT(bugprone-use-after-move)
  EXPECT_FALSE(source.IsNegative());  // NOLINT(bugprone-use-after-move)
  source = std::move(moved);
  EXPECT_EQ(ToHex(source), "-FEDCBA9876543210");
  // A moved-from value is usable again.
  moved = BigInt(3);
  moved += BigInt(4);
  EXPECT_EQ(ToHex(moved), "7");
}

}  // namespace
