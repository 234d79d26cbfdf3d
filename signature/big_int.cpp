#include "signature/big_int.h"

#include <cstring>
#include <new>

#include "common/text_rules.h"
#include "signature/md5.h"

namespace {

using Digit = BigInt::Digit;
using Wide = BigInt::Wide;

constexpr int kDigitBits = BigInt::kDigitBits;
constexpr std::int32_t kInitialCapacity = 8;
// Keeps every bit count, and so BitLength, within a signed 32-bit integer.
constexpr std::int32_t kMaxDigits = std::int32_t{1} << 26;

Wide LowDigitMask() { return (Wide{1} << kDigitBits) - 1; }

// 0 to 15 for a hexadecimal digit; every other character stands for 0.
Digit HexPositionValue(char c) {
  const int value = text::HexDigitValue(c);
  return static_cast<Digit>(value < 0 ? 0 : value);
}

int BitWidth(Digit d) {
  int width = 0;
  while (d != 0) {
    ++width;
    d = static_cast<Digit>(d >> 1);
  }
  return width;
}

// The digit loops that addition, subtraction and division share, shaped like
// GMP's mpn functions: each works on n digits and returns its carry or borrow.

// out = a + b over n digits; returns the carry out of the top digit.
Digit AddDigits(Digit* out, const Digit* a, const Digit* b, std::int32_t n) {
  Wide carry = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    const Wide s = Wide{a[i]} + b[i] + carry;
    out[i] = static_cast<Digit>(s);
    carry = s >> kDigitBits;
  }
  return static_cast<Digit>(carry);
}

// out = a + carry over n digits; returns the carry out of the top digit.
Digit AddCarry(Digit* out, const Digit* a, std::int32_t n, Digit carry) {
  for (std::int32_t i = 0; i < n; ++i) {
    const Wide s = Wide{a[i]} + carry;
    out[i] = static_cast<Digit>(s);
    carry = static_cast<Digit>(s >> kDigitBits);
  }
  return carry;
}

// out = a - b over n digits; returns the borrow out of the top digit.
Digit SubtractDigits(Digit* out, const Digit* a, const Digit* b, std::int32_t n) {
  Wide borrow = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    // A negative difference wraps around, which sets bit 16: that is the borrow.
    const Wide d = Wide{a[i]} - b[i] - borrow;
    out[i] = static_cast<Digit>(d);
    borrow = (d >> kDigitBits) & 1;
  }
  return static_cast<Digit>(borrow);
}

// out = a - borrow over n digits; returns the borrow out of the top digit.
Digit SubtractBorrow(Digit* out, const Digit* a, std::int32_t n, Digit borrow) {
  for (std::int32_t i = 0; i < n; ++i) {
    const Wide d = Wide{a[i]} - borrow;
    out[i] = static_cast<Digit>(d);
    borrow = static_cast<Digit>((d >> kDigitBits) & 1);
  }
  return borrow;
}

// r = r + a * m over n digits; returns the carry into the digit above them.
Digit AddProduct(Digit* r, const Digit* a, std::int32_t n, Digit m) {
  Wide carry = 0;
  for (std::int32_t i = 0; i < n; ++i) {
    // At most 0xFFFF * 0xFFFF + 2 * 0xFFFF: this can't overflow.
    const Wide p = Wide{a[i]} * m + r[i] + carry;
    r[i] = static_cast<Digit>(p);
    carry = p >> kDigitBits;
  }
  return static_cast<Digit>(carry);
}

// r = r - a * m over n digits; returns what is still to be subtracted from
// the digit above them.
Wide SubtractProduct(Digit* r, const Digit* a, std::int32_t n, Digit m) {
  Wide carry = 0;  // the product's high part plus the borrow, at most 0xFFFF + 1
  for (std::int32_t i = 0; i < n; ++i) {
    const Wide p = Wide{a[i]} * m + carry;  // can't overflow: 0xFFFF * 0xFFFF + 0x10000
    const Wide d = Wide{r[i]} - static_cast<Digit>(p);
    r[i] = static_cast<Digit>(d);
    carry = (p >> kDigitBits) + ((d >> kDigitBits) & 1);
  }
  return carry;
}

}  // namespace

BigInt::BigInt(std::int32_t value)
    : digits_(new Digit[kInitialCapacity]), capacity_(kInitialCapacity) {
  // Unsigned negation gives 2^31 for the most negative value.
  const std::uint32_t magnitude =
      value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  digits_[0] = static_cast<Digit>(magnitude & LowDigitMask());
  digits_[1] = static_cast<Digit>(magnitude >> kDigitBits);
  count_ = 2;
  negative_ = value < 0;
  Normalize();
}

BigInt::BigInt(std::string_view hexText) {
  // Each character is one hex position, the last one the least significant;
  // this is the same value as shifting in one character at a time.
  constexpr std::size_t kCharsPerDigit = kDigitBits / 4;
  const std::size_t digitsNeeded = (hexText.size() + kCharsPerDigit - 1) / kCharsPerDigit;
  if (digitsNeeded == 0) return;
  if (digitsNeeded > static_cast<std::size_t>(kMaxDigits)) throw std::bad_alloc();
  Reserve(static_cast<std::int32_t>(digitsNeeded));
  std::memset(digits_.get(), 0, digitsNeeded * sizeof(Digit));
  for (std::size_t position = 0; position < hexText.size(); ++position) {
    const char c = hexText[hexText.size() - 1 - position];
    digits_[position / kCharsPerDigit] |=
        static_cast<Digit>(HexPositionValue(c) << (4 * (position % kCharsPerDigit)));
  }
  count_ = static_cast<std::int32_t>(digitsNeeded);
  Normalize();
}

BigInt::BigInt(const BigInt& other)
    : negative_(other.negative_), count_(other.count_), capacity_(other.capacity_) {
  if (capacity_ != 0) {
    digits_.reset(new Digit[capacity_]);
    std::memcpy(digits_.get(), other.digits_.get(), count_ * sizeof(Digit));
  }
}

BigInt::BigInt(BigInt&& other) noexcept
    : negative_(other.negative_),
      digits_(std::move(other.digits_)),
      count_(other.count_),
      capacity_(other.capacity_) {
  other.negative_ = false;
  other.count_ = 0;
  other.capacity_ = 0;
}

BigInt& BigInt::operator=(const BigInt& other) {
  if (this == &other) return *this;
  // The new array is made before the old one goes, so a failed allocation
  // leaves this value as it was.
  std::unique_ptr<Digit[]> copy;
  if (other.capacity_ != 0) {
    copy.reset(new Digit[other.capacity_]);
    std::memcpy(copy.get(), other.digits_.get(), other.count_ * sizeof(Digit));
  }
  digits_ = std::move(copy);
  negative_ = other.negative_;
  count_ = other.count_;
  capacity_ = other.capacity_;
  return *this;
}

BigInt& BigInt::operator=(BigInt&& other) noexcept {
  if (this == &other) return *this;
  digits_ = std::move(other.digits_);
  negative_ = other.negative_;
  count_ = other.count_;
  capacity_ = other.capacity_;
  other.negative_ = false;
  other.count_ = 0;
  other.capacity_ = 0;
  return *this;
}

BigInt BigInt::FromDigest(const void* bytes, std::size_t length, int bitCount) {
  const Md5Digest digest = ComputeMd5(bytes, length);

  // The digest read as a big-endian number: its last two bytes form digit 0.
  constexpr std::int32_t kDigestDigits = 16 / 2;
  BigInt value;
  value.Reserve(kDigestDigits);
  for (std::int32_t i = 0; i < kDigestDigits; ++i) {
    value.digits_[i] = static_cast<Digit>(digest[15 - 2 * i] | (digest[14 - 2 * i] << 8));
  }
  value.count_ = kDigestDigits;
  value.Normalize();

  // Asking for more bits than the 32 hex digits hold appends filler hex
  // digits 0, 1 ... 15, 0, 1 ..., the first of them the most significant.
  const std::int64_t fillerDigits = (std::int64_t{bitCount} + 3) / 4 - 32;
  if (fillerDigits > 0) {
    if (fillerDigits > std::int64_t{kMaxDigits} * 4) throw std::bad_alloc();
    const std::int32_t fillerCount = static_cast<std::int32_t>(fillerDigits);
    const std::int32_t fillerWords = (fillerCount + 3) / 4;
    value.ShiftLeftInPlace(std::int64_t{4} * fillerCount);
    // A zero digest has no digits to shift: make room for the filler itself.
    if (value.count_ < fillerWords) value.SetDigit(fillerWords - 1, 0);
    for (std::int32_t i = 0; i < fillerCount; ++i) {
      const std::int32_t position = fillerCount - 1 - i;
      const auto filler = static_cast<unsigned>(i % 16);
      value.digits_[position / 4] |= static_cast<Digit>(filler << (4 * (position % 4)));
    }
    value.Normalize();
  }

  // Keep the bitCount most significant bits. A value with fewer bits than
  // asked for is kept whole: shifting it left would invent low bits.
  const std::int64_t excessBits = std::int64_t{value.BitLength()} - bitCount;
  if (excessBits > 0) value.ShiftRightInPlace(excessBits);
  return value;
}

BigInt::Digit BigInt::GetDigit(std::int32_t index) const {
  if (index < 0 || index >= count_) return 0;
  return digits_[index];
}

std::int32_t BigInt::BitLength() const {
  if (count_ == 0) return 0;
  return (count_ - 1) * kDigitBits + BitWidth(digits_[count_ - 1]);
}

void BigInt::SetDigit(std::int32_t index, Wide digit) {
  if (index < 0) return;
  if (index >= count_) {
    Reserve(index + 1);
    std::memset(digits_.get() + count_, 0, (index - count_) * sizeof(Digit));
    count_ = index + 1;
  }
  digits_[index] = static_cast<Digit>(digit & LowDigitMask());
}

void BigInt::Clear() {
  count_ = 0;
  negative_ = false;
}

void BigInt::Normalize() {
  while (count_ > 0 && digits_[count_ - 1] == 0) --count_;
  if (count_ == 0) negative_ = false;
}

void BigInt::Reserve(std::int32_t digits) {
  if (digits > kMaxDigits) throw std::bad_alloc();
  while (capacity_ < digits) Grow();
}

void BigInt::Grow() {
  const std::int32_t capacity = capacity_ == 0 ? kInitialCapacity : capacity_ * 2;
  std::unique_ptr<Digit[]> grown(new Digit[capacity]);
  if (count_ != 0) std::memcpy(grown.get(), digits_.get(), count_ * sizeof(Digit));
  digits_ = std::move(grown);
  capacity_ = capacity;
}

int BigInt::CompareMagnitudes(const BigInt& a, const BigInt& b) {
  if (a.count_ != b.count_) return a.count_ < b.count_ ? -1 : 1;
  for (std::int32_t i = a.count_ - 1; i >= 0; --i) {
    if (a.digits_[i] != b.digits_[i]) return a.digits_[i] < b.digits_[i] ? -1 : 1;
  }
  return 0;
}

BigInt BigInt::AddMagnitudes(const BigInt& a, const BigInt& b) {
  const BigInt& longer = a.count_ >= b.count_ ? a : b;
  const BigInt& shorter = a.count_ >= b.count_ ? b : a;
  BigInt sum;
  if (longer.count_ == 0) return sum;
  sum.Reserve(longer.count_ + 1);
  Digit* const out = sum.digits_.get();
  Digit carry = AddDigits(out, longer.digits_.get(), shorter.digits_.get(), shorter.count_);
  carry = AddCarry(out + shorter.count_, longer.digits_.get() + shorter.count_,
                   longer.count_ - shorter.count_, carry);
  sum.count_ = longer.count_;
  if (carry != 0) out[sum.count_++] = carry;
  return sum;
}

BigInt BigInt::SubtractMagnitudes(const BigInt& a, const BigInt& b) {
  BigInt difference;
  if (a.count_ == 0) return difference;
  difference.Reserve(a.count_);
  Digit* const out = difference.digits_.get();
  // |a| >= |b|: no borrow leaves the top digit.
  const Digit borrow = SubtractDigits(out, a.digits_.get(), b.digits_.get(), b.count_);
  SubtractBorrow(out + b.count_, a.digits_.get() + b.count_, a.count_ - b.count_, borrow);
  difference.count_ = a.count_;
  difference.Normalize();
  return difference;
}

BigInt BigInt::WithSign(BigInt value, bool negative) {
  value.negative_ = negative && value.count_ != 0;
  return value;
}

BigInt BigInt::operator+(const BigInt& other) const {
  if (negative_ == other.negative_) return WithSign(AddMagnitudes(*this, other), negative_);
  // Opposite signs: the larger magnitude gives the sign.
  if (CompareMagnitudes(*this, other) >= 0) {
    return WithSign(SubtractMagnitudes(*this, other), negative_);
  }
  return WithSign(SubtractMagnitudes(other, *this), other.negative_);
}

BigInt& BigInt::operator+=(const BigInt& other) { return *this = *this + other; }

BigInt BigInt::operator-(const BigInt& other) const {
  if (negative_ != other.negative_) return WithSign(AddMagnitudes(*this, other), negative_);
  if (CompareMagnitudes(*this, other) >= 0) {
    return WithSign(SubtractMagnitudes(*this, other), negative_);
  }
  return WithSign(SubtractMagnitudes(other, *this), !negative_);
}

BigInt BigInt::operator*(const BigInt& other) const {
  BigInt product;
  if (count_ == 0 || other.count_ == 0) return product;
  const std::int32_t total = count_ + other.count_;
  product.Reserve(total);
  std::memset(product.digits_.get(), 0, total * sizeof(Digit));
  // One row per multiplier digit, added into the product as it is formed.
  for (std::int32_t j = 0; j < other.count_; ++j) {
    const Digit multiplier = other.digits_[j];
    if (multiplier == 0) continue;
    product.digits_[count_ + j] =
        AddProduct(product.digits_.get() + j, digits_.get(), count_, multiplier);
  }
  product.count_ = total;
  product.Normalize();
  return WithSign(std::move(product), negative_ != other.negative_);
}

BigInt& BigInt::operator*=(const BigInt& other) { return *this = *this * other; }

BigInt BigInt::operator%(const BigInt& divisor) const {
  // DivMod without the quotient, which modular reduction never uses.
  BigInt remainder;
  if (divisor.count_ == 0) return remainder;
  if (CompareMagnitudes(divisor, *this) > 0) return *this;
  if (divisor.count_ == 1) {
    DivideByDigit(*this, divisor.digits_[0], nullptr, remainder);
  } else {
    DivideLong(*this, divisor, nullptr, remainder);
  }
  remainder.negative_ = negative_ && remainder.count_ != 0;
  return remainder;
}

void BigInt::ShiftLeftInPlace(std::int64_t bits) {
  if (bits < 0) return ShiftRightInPlace(-bits);
  if (count_ == 0 || bits == 0) return;
  const std::int64_t wholeDigits = bits / kDigitBits;
  const int bitShift = static_cast<int>(bits % kDigitBits);
  if (wholeDigits + count_ + 1 > kMaxDigits) throw std::bad_alloc();
  const std::int32_t q = static_cast<std::int32_t>(wholeDigits);
  Reserve(count_ + q + 1);
  if (q > 0) {
    std::memmove(digits_.get() + q, digits_.get(), count_ * sizeof(Digit));
    std::memset(digits_.get(), 0, q * sizeof(Digit));
  }
  if (bitShift != 0) {
    Wide carry = 0;
    for (std::int32_t i = q; i < q + count_; ++i) {
      const Wide t = (Wide{digits_[i]} << bitShift) | carry;
      digits_[i] = static_cast<Digit>(t);
      carry = t >> kDigitBits;
    }
    count_ += q;
    if (carry != 0) digits_[count_++] = static_cast<Digit>(carry);
  } else {
    count_ += q;
  }
}

void BigInt::ShiftRightInPlace(std::int64_t bits) {
  if (bits < 0) return ShiftLeftInPlace(-bits);
  const std::int64_t wholeDigits = bits / kDigitBits;
  const int bitShift = static_cast<int>(bits % kDigitBits);
  if (wholeDigits >= count_) {
    Clear();
    return;
  }
  const std::int32_t q = static_cast<std::int32_t>(wholeDigits);
  if (q > 0) {
    std::memmove(digits_.get(), digits_.get() + q, (count_ - q) * sizeof(Digit));
    count_ -= q;
  }
  if (bitShift != 0) {
    Digit carry = 0;
    for (std::int32_t i = count_ - 1; i >= 0; --i) {
      const Digit d = digits_[i];
      digits_[i] = static_cast<Digit>((d >> bitShift) | carry);
      carry = static_cast<Digit>(Wide{d} << (kDigitBits - bitShift));
    }
  }
  Normalize();
}

BigInt BigInt::operator<<(int bits) const {
  BigInt shifted(*this);
  shifted.ShiftLeftInPlace(bits);
  return shifted;
}

BigInt& BigInt::operator<<=(int bits) {
  ShiftLeftInPlace(bits);
  return *this;
}

BigInt BigInt::operator>>(int bits) const {
  BigInt shifted(*this);
  shifted.ShiftRightInPlace(bits);
  return shifted;
}

BigInt& BigInt::operator>>=(int bits) {
  ShiftRightInPlace(bits);
  return *this;
}

BigInt BigInt::operator|(const BigInt& other) const {
  const BigInt& longer = count_ >= other.count_ ? *this : other;
  const BigInt& shorter = count_ >= other.count_ ? other : *this;
  BigInt result;
  if (longer.count_ == 0) return result;
  result.Reserve(longer.count_);
  for (std::int32_t i = 0; i < longer.count_; ++i) {
    result.digits_[i] =
        static_cast<Digit>(longer.digits_[i] | (i < shorter.count_ ? shorter.digits_[i] : 0));
  }
  result.count_ = longer.count_;
  result.Normalize();
  return result;
}

BigInt& BigInt::operator|=(const BigInt& other) { return *this = *this | other; }

BigInt BigInt::operator-() const {
  BigInt negated(*this);
  negated.negative_ = !negative_ && count_ != 0;
  return negated;
}

bool BigInt::operator==(const BigInt& other) const {
  return negative_ == other.negative_ && CompareMagnitudes(*this, other) == 0;
}

bool BigInt::operator<(const BigInt& other) const {
  if (negative_ != other.negative_) return negative_;
  const int magnitudeOrder = CompareMagnitudes(*this, other);
  // Among negative values the larger magnitude is the smaller value.
  return negative_ ? magnitudeOrder > 0 : magnitudeOrder < 0;
}

bool BigInt::DivMod(const BigInt& divisor, BigInt& quotientOut, BigInt& remainderOut) const {
  // Built in locals: the outputs may alias this value or the divisor.
  BigInt quotient;
  BigInt remainder;
  if (divisor.count_ == 0) {
    quotientOut = std::move(quotient);
    remainderOut = std::move(remainder);
    return false;
  }
  if (CompareMagnitudes(divisor, *this) > 0) {
    remainder = *this;
  } else if (divisor.count_ == 1) {
    DivideByDigit(*this, divisor.digits_[0], &quotient, remainder);
  } else {
    DivideLong(*this, divisor, &quotient, remainder);
  }
  quotient.negative_ = (negative_ != divisor.negative_) && quotient.count_ != 0;
  remainder.negative_ = negative_ && remainder.count_ != 0;
  quotientOut = std::move(quotient);
  remainderOut = std::move(remainder);
  return true;
}

void BigInt::DivideByDigit(const BigInt& dividend, Digit divisor, BigInt* quotient,
                           BigInt& remainder) {
  if (quotient != nullptr) quotient->Reserve(dividend.count_);
  Wide rest = 0;  // below the divisor, so rest * 65,536 + digit fits in Wide
  for (std::int32_t i = dividend.count_ - 1; i >= 0; --i) {
    const Wide current = (rest << kDigitBits) | dividend.digits_[i];
    if (quotient != nullptr) quotient->digits_[i] = static_cast<Digit>(current / divisor);
    rest = current % divisor;
  }
  if (quotient != nullptr) {
    quotient->count_ = dividend.count_;
    quotient->Normalize();
  }
  remainder = BigInt(static_cast<std::int32_t>(rest));
}

// Schoolbook long division, one quotient digit per step (Knuth's algorithm D):
// with the divisor shifted until its top bit is set, the estimate from the
// top two remainder digits and the divisor's top two digits is at most one too
// large after the correction below, and the rare excess is added back.
void BigInt::DivideLong(const BigInt& dividend, const BigInt& divisor, BigInt* quotient,
                        BigInt& remainder) {
  const std::int32_t n = divisor.count_;
  const std::int32_t m = dividend.count_ - n;
  const int normalizingShift = kDigitBits - BitWidth(divisor.digits_[n - 1]);

  // A divisor whose top bit is set already, such as the signature modulus,
  // is used as it is.
  BigInt shiftedDivisor;
  if (normalizingShift != 0) {
    shiftedDivisor = divisor;
    shiftedDivisor.ShiftLeftInPlace(normalizingShift);  // still n digits
  }
  const Digit* const vn =
      normalizingShift != 0 ? shiftedDivisor.digits_.get() : divisor.digits_.get();
  BigInt u(dividend);
  u.negative_ = false;
  u.ShiftLeftInPlace(normalizingShift);
  if (u.count_ == m + n) u.SetDigit(m + n, 0);  // one digit above the dividend's

  if (quotient != nullptr) quotient->Reserve(m + 1);
  Digit* const un = u.digits_.get();
  const std::uint64_t base = std::uint64_t{1} << kDigitBits;
  const std::uint64_t vTop = vn[n - 1];
  const std::uint64_t vNext = vn[n - 2];
  for (std::int32_t j = m; j >= 0; --j) {
    const std::uint64_t top = (std::uint64_t{un[j + n]} << kDigitBits) | un[j + n - 1];
    std::uint64_t estimate = top / vTop;
    std::uint64_t rest = top % vTop;
    while (estimate >= base || estimate * vNext > ((rest << kDigitBits) | un[j + n - 2])) {
      --estimate;
      rest += vTop;
      if (rest >= base) break;
    }
    Digit* const window = un + j;
    const Wide owed = SubtractProduct(window, vn, n, static_cast<Digit>(estimate));
    const Wide topDigit = Wide{window[n]} - owed;
    window[n] = static_cast<Digit>(topDigit);
    if ((topDigit >> kDigitBits) != 0) {
      // The estimate was one too large: add the divisor back once.
      --estimate;
      window[n] = static_cast<Digit>(window[n] + AddDigits(window, window, vn, n));
    }
    if (quotient != nullptr) quotient->digits_[j] = static_cast<Digit>(estimate);
  }
  if (quotient != nullptr) {
    quotient->count_ = m + 1;
    quotient->Normalize();
  }

  u.count_ = n;
  u.Normalize();
  u.ShiftRightInPlace(normalizingShift);
  remainder = std::move(u);
}

BigInt BigInt::PowMod(const BigInt& exponent, const BigInt& modulus) const {
  if (modulus.count_ == 0 || exponent.negative_) return BigInt();
  // Right-to-left square and multiply; the base is not reduced first.
  BigInt result(1);
  BigInt base(*this);
  BigInt x(exponent);
  while (x.count_ != 0) {
    if (x.IsOdd()) result = (result * base) % modulus;
    x.ShiftRightInPlace(1);
    base = (base * base) % modulus;
  }
  // Remainders take the dividend's sign, so an odd power of a negative base
  // ends below zero: bring it into [0, |modulus|).
  if (result.negative_) result = result + WithSign(modulus, false);
  return result;
}
