// A small signed arbitrary-precision integer, sign and magnitude, with exactly
// the operations that the signature check needs. The magnitude is kept in
// 16-bit digits, least significant first, and every value is normalised (no
// zero top digit; zero has no digits and is never negative).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

class BigInt {
 public:
  // The one place that fixes the digit width: a digit and a type wide enough
  // for a digit product plus two carries.
  using Digit = std::uint16_t;
  using Wide = std::uint32_t;
  static constexpr int kDigitBits = 16;

  // Zero, with no storage.
  BigInt() = default;
  // The value of `value`, with room for 8 digits.
  explicit BigInt(std::int32_t value);
  // Hexadecimal text, most significant digit first. Every character takes one
  // digit position; characters that are not hexadecimal digits count as 0. No
  // sign or prefix is recognised; the empty text is zero.
  explicit BigInt(std::string_view hexText);

  BigInt(const BigInt& other);
  BigInt(BigInt&& other) noexcept;
  BigInt& operator=(const BigInt& other);
  BigInt& operator=(BigInt&& other) noexcept;
  ~BigInt() = default;

  // The digest number: the MD5 digest of the bytes read as a big-endian number,
  // extended by filler hex digits 0, 1, 2 ... when `bitCount` asks for more
  // than 128 bits, then cut to its `bitCount` most significant bits counted
  // from its highest set bit. A value that has fewer significant bits than
  // `bitCount` is kept whole (it is never padded with invented low bits).
  static BigInt FromDigest(const void* bytes, std::size_t length, int bitCount);

  bool IsNegative() const { return negative_; }
  std::int32_t DigitCount() const { return count_; }
  // Allocated digits: 0 until the first digit is stored, then 8, 16, 32 ...
  std::int32_t Capacity() const { return capacity_; }
  // The digit at `index`; 0 beyond the digits in use (and for negative indexes).
  Digit GetDigit(std::int32_t index) const;
  Digit TopDigit() const { return count_ == 0 ? 0 : digits_[count_ - 1]; }
  bool IsOdd() const { return count_ != 0 && (digits_[0] & 1) != 0; }
  bool IsZero() const { return count_ == 0; }
  std::int32_t BitLength() const;

  // Low-level mutators of the magnitude, used by the arithmetic. SetDigit
  // stores the low 16 bits of `digit` at `index`, first appending zero digits
  // up to it; the caller normalises afterwards. Negative indexes are ignored.
  void SetDigit(std::int32_t index, Wide digit);
  // Zero, keeping the allocated array.
  void Clear();
  // Drops zero top digits; a value that becomes zero loses its negative flag.
  void Normalize();

  BigInt operator+(const BigInt& other) const;
  BigInt& operator+=(const BigInt& other);
  BigInt operator-(const BigInt& other) const;
  BigInt operator*(const BigInt& other) const;
  BigInt& operator*=(const BigInt& other);
  // The remainder of DivMod: it takes the dividend's sign.
  BigInt operator%(const BigInt& divisor) const;
  // Shifts of the magnitude; the sign is kept, so a right shift truncates
  // toward zero. A negative count shifts the other way.
  BigInt operator<<(int bits) const;
  BigInt& operator<<=(int bits);
  BigInt operator>>(int bits) const;
  BigInt& operator>>=(int bits);
  // Or of the magnitudes; the result is non-negative.
  BigInt operator|(const BigInt& other) const;
  BigInt& operator|=(const BigInt& other);
  BigInt operator-() const;

  // Comparisons of the signed values.
  bool operator==(const BigInt& other) const;
  bool operator!=(const BigInt& other) const { return !(*this == other); }
  bool operator<(const BigInt& other) const;
  bool operator>(const BigInt& other) const { return other < *this; }
  bool operator<=(const BigInt& other) const { return !(other < *this); }
  bool operator>=(const BigInt& other) const { return !(*this < other); }

  // Truncating division of this value: the quotient rounds toward zero and
  // the remainder takes the dividend's sign, so that
  // this == quotient * divisor + remainder and |remainder| < |divisor|.
  // The outputs may be the same objects as this value or the divisor.
  // A zero divisor has no result: false, with quotient and remainder zero.
  bool DivMod(const BigInt& divisor, BigInt& quotient, BigInt& remainder) const;

  // This value raised to `exponent` modulo `modulus`, in [0, |modulus|). An
  // exponent of zero gives 1 whatever the modulus. A zero modulus or a
  // negative exponent has no result and gives zero.
  BigInt PowMod(const BigInt& exponent, const BigInt& modulus) const;

 private:
  // Makes room for at least `digits` digits, doubling the capacity from 8.
  void Reserve(std::int32_t digits);
  // Doubles the capacity (8 when there was none), keeping the digits in use.
  void Grow();
  void ShiftLeftInPlace(std::int64_t bits);
  void ShiftRightInPlace(std::int64_t bits);

  static int CompareMagnitudes(const BigInt& a, const BigInt& b);
  static BigInt AddMagnitudes(const BigInt& a, const BigInt& b);
  // |a| - |b| for |a| >= |b|.
  static BigInt SubtractMagnitudes(const BigInt& a, const BigInt& b);
  static BigInt WithSign(BigInt value, bool negative);
  // Magnitude divisions for |dividend| >= |divisor|; the caller sets the
  // signs. A null quotient is not computed.
  static void DivideByDigit(const BigInt& dividend, Digit divisor, BigInt* quotient,
                            BigInt& remainder);
  static void DivideLong(const BigInt& dividend, const BigInt& divisor, BigInt* quotient,
                         BigInt& remainder);

  bool negative_ = false;
  std::unique_ptr<Digit[]> digits_;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
};
