#include "smd/number_format.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "smd/c_locale.h"

namespace kw {

// The fast path lays out digits in machine words, first character in the
// lowest byte.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "FormatFixed6 assumes a little-endian machine"
#endif

// The rare paths stay out of line so the common one needs few registers.
#if defined(__GNUC__)
#define KW_COLD __attribute__((noinline, cold))
#else
#define KW_COLD
#endif

namespace {

constexpr std::uint32_t kScale = 1000000;  // 10^6: six decimals

constexpr char kDigitPairs[] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

constexpr std::uint64_t kPowersOfTen[20] = {1u,
                                            10u,
                                            100u,
                                            1000u,
                                            10000u,
                                            100000u,
                                            1000000u,
                                            10000000u,
                                            100000000u,
                                            1000000000u,
                                            10000000000u,
                                            100000000000u,
                                            1000000000000u,
                                            10000000000000u,
                                            100000000000000u,
                                            1000000000000000u,
                                            10000000000000000u,
                                            100000000000000000u,
                                            1000000000000000000u,
                                            10000000000000000000u};

int TrailingZeros(std::uint64_t value) {
#if defined(__GNUC__)
  return __builtin_ctzll(value);
#else
  int count = 0;
  while ((value & 1u) == 0) {
    value >>= 1;
    ++count;
  }
  return count;
#endif
}

int BitLength(std::uint64_t value) {
#if defined(__GNUC__)
  return value == 0 ? 0 : 64 - __builtin_clzll(value);
#else
  int length = 0;
  while (value != 0) {
    value >>= 1;
    ++length;
  }
  return length;
#endif
}

// The eight decimal digits of value < 10^8 as characters, the first in the
// lowest byte: each step splits every lane in two with a multiply and shift
// (n / 100 = n * 5243 >> 19 for n < 10^4, n / 10 = n * 103 >> 10 for n < 100).
inline std::uint64_t EightDigits(std::uint32_t value) {
  const std::uint32_t high = value / 10000;
  std::uint64_t lanes = high | std::uint64_t{value - high * 10000} << 32;
  const std::uint64_t hundreds = (lanes * 5243 >> 19) & 0x0000007F0000007Fu;
  lanes = hundreds | (lanes - hundreds * 100) << 16;
  const std::uint64_t tens = (lanes * 103 >> 10) & 0x000F000F000F000Fu;
  lanes = tens | (lanes - tens * 10) << 8;
  return lanes + 0x3030303030303030u;
}

// Number of decimal digits of value, 1 for 0.
inline std::size_t DecimalDigits(std::uint32_t value) {
  // floor(log10) from the bit length, corrected by one comparison.
  const int log2 = BitLength(value | 1u) - 1;
  const int guess = (log2 + 1) * 1233 >> 12;
  return static_cast<std::size_t>(guess) + 1u - ((value | 1u) < kPowersOfTen[guess] ? 1u : 0u);
}

inline void PutPair(char* out, std::uint32_t value) {
  std::memcpy(out, kDigitPairs + 2 * value, 2);
}

inline void WriteSixDigits(std::uint32_t value, char* out) {
  const std::uint32_t high = value / 10000;
  const std::uint32_t low = value - high * 10000;
  const std::uint32_t middle = low / 100;
  PutPair(out, high);
  PutPair(out + 2, middle);
  PutPair(out + 4, low - middle * 100);
}

// Decimal digits of value, most significant first, without leading zeros.
inline std::size_t WriteUnsigned(std::uint64_t value, char* out) {
  std::size_t length = 1;
  while (length < 20 && value >= kPowersOfTen[length]) ++length;
  char* end = out + length;
  // 64-bit division is a library call on 32-bit targets: leave it early.
  while (value > 0xFFFFFFFFu) {
    const std::uint64_t quotient = value / 100;
    end -= 2;
    PutPair(end, static_cast<std::uint32_t>(value - quotient * 100));
    value = quotient;
  }
  std::uint32_t small = static_cast<std::uint32_t>(value);
  while (small >= 100) {
    const std::uint32_t quotient = small / 100;
    end -= 2;
    PutPair(end, small - quotient * 100);
    small = quotient;
  }
  if (small >= 10) {
    PutPair(end - 2, small);
  } else {
    end[-1] = static_cast<char>('0' + small);
  }
  return length;
}

// Just enough of an arbitrary-size unsigned integer for the exact path: every
// finite double times 10^6 fits (below 2^1044).
class WideUnsigned {
 public:
  explicit WideUnsigned(std::uint64_t value) {
    limbs_[0] = static_cast<std::uint32_t>(value);
    limbs_[1] = static_cast<std::uint32_t>(value >> 32);
    count_ = 2;
    Trim();
  }

  void Multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (int i = 0; i < count_; ++i) {
      const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
      limbs_[i] = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_[count_++] = static_cast<std::uint32_t>(carry);
  }

  void ShiftLeft(int bits) {
    if (count_ == 0) return;
    const int whole = bits / 32;
    const int part = bits % 32;
    limbs_[count_] = 0;
    for (int i = count_; i >= 0; --i) {
      std::uint32_t value = limbs_[i] << part;
      if (part != 0 && i > 0) value |= limbs_[i - 1] >> (32 - part);
      limbs_[i + whole] = value;
    }
    for (int i = 0; i < whole; ++i) limbs_[i] = 0;
    count_ += whole + 1;
    Trim();
  }

  // Divides by 2^bits, ties to the even result, as the C runtime rounds the
  // exact binary value.
  void ShiftRightRoundingToEven(int bits) {
    const bool roundBit = Bit(bits - 1);
    bool sticky = false;
    if (bits > 1) {
      const int below = bits - 1;
      for (int i = 0; i < below / 32 && !sticky; ++i) sticky = LimbAt(i) != 0;
      const std::uint32_t mask = (std::uint32_t{1} << (below % 32)) - 1;
      if ((LimbAt(below / 32) & mask) != 0) sticky = true;
    }
    const int whole = bits / 32;
    const int part = bits % 32;
    int kept = 0;
    for (int i = whole; i < count_; ++i) {
      std::uint32_t value = limbs_[i] >> part;
      if (part != 0)
        value |= static_cast<std::uint32_t>(std::uint64_t{LimbAt(i + 1)} << (32 - part));
      limbs_[kept++] = value;
    }
    count_ = kept;
    Trim();
    if (roundBit && (sticky || Bit(0))) AddOne();
  }

  // Destroys the value. Writes at least one digit.
  std::size_t ToDecimal(char* out) {
    std::uint32_t chunks[kMaxLimbs + 2];  // base 10^9, least significant first
    int chunkCount = 0;
    while (count_ > 0) {
      std::uint64_t remainder = 0;
      for (int i = count_ - 1; i >= 0; --i) {
        const std::uint64_t current = (remainder << 32) | limbs_[i];
        limbs_[i] = static_cast<std::uint32_t>(current / 1000000000u);
        remainder = current % 1000000000u;
      }
      Trim();
      chunks[chunkCount++] = static_cast<std::uint32_t>(remainder);
    }
    if (chunkCount == 0) {
      out[0] = '0';
      return 1;
    }
    std::size_t length = WriteUnsigned(chunks[chunkCount - 1], out);
    for (int i = chunkCount - 2; i >= 0; --i) {
      std::uint32_t chunk = chunks[i];
      for (int digit = 8; digit >= 0; --digit) {
        out[length + static_cast<std::size_t>(digit)] = static_cast<char>('0' + chunk % 10);
        chunk /= 10;
      }
      length += 9;
    }
    return length;
  }

 private:
  static constexpr int kMaxLimbs = 36;

  std::uint32_t LimbAt(int i) const { return i < count_ ? limbs_[i] : 0; }
  bool Bit(int i) const { return i >= 0 && ((LimbAt(i / 32) >> (i % 32)) & 1u) != 0; }

  void AddOne() {
    for (int i = 0; i < count_; ++i) {
      if (++limbs_[i] != 0) return;
    }
    limbs_[count_++] = 1;
  }

  void Trim() {
    while (count_ > 0 && limbs_[count_ - 1] == 0) --count_;
  }

  std::uint32_t limbs_[kMaxLimbs + 1];
  int count_;
};

// mantissa * 2^exponent, exactly, for the magnitudes the fast path leaves.
KW_COLD std::size_t FormatExact(std::uint64_t mantissa, int exponent, char* out) {
  WideUnsigned scaled(mantissa);
  scaled.Multiply(kScale);
  if (exponent >= 0) {
    scaled.ShiftLeft(exponent);
  } else {
    scaled.ShiftRightRoundingToEven(-exponent);
  }
  char digits[kMaxFixedLength];
  const std::size_t count = scaled.ToDecimal(digits);
  std::size_t length = 0;
  if (count <= 6) {
    std::memcpy(out, "0.000000", 8);
    std::memcpy(out + 8 - count, digits, count);
    return 8;
  }
  length = count - 6;
  std::memcpy(out, digits, length);
  out[length++] = '.';
  std::memcpy(out + length, digits + count - 6, 6);
  return length + 6;
}

// NaN and infinity: whatever the C runtime writes for them on this platform.
KW_COLD std::size_t FormatNonFinite(double value, char* out) {
  char text[64];
  const int length = CLocale::Shared().Format(text, sizeof text, "%f", value);
  if (length <= 0) return 0;
  const std::size_t size = static_cast<std::size_t>(length) < sizeof text
                               ? static_cast<std::size_t>(length)
                               : sizeof text - 1;
  std::memcpy(out, text, size);
  return size;
}

// Integer part of nine digits or more, then the point and the decimals.
KW_COLD std::size_t FormatLarge(std::uint64_t integer, std::uint32_t millionths, char* out) {
  const std::size_t digits = WriteUnsigned(integer, out);
  out[digits] = '.';
  WriteSixDigits(millionths, out + digits + 1);
  return digits + 7;
}

}  // namespace

std::size_t FormatFixed6(double value, char* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  if (biased == 0x7FF) return FormatNonFinite(value, out);

  // Signs are as random as the data: no branch on them.
  const std::size_t sign = static_cast<std::size_t>(bits >> 63);
  out[0] = '-';
  char* const p = out + sign;
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int exponent = -1074;
  if (biased != 0) {
    mantissa |= std::uint64_t{1} << 52;
    exponent = biased - 1075;
  }

  // The value is mantissa * 2^exponent. Split it into integer and millionths,
  // rounded on the exact value with ties to even.
  std::uint64_t integer = 0;
  std::uint32_t millionths = 0;
  if (mantissa != 0) {
    const int zeros = TrailingZeros(mantissa);
    mantissa >>= zeros;
    exponent += zeros;
    if (exponent >= 0) {
      if (BitLength(mantissa) + exponent > 64) return sign + FormatExact(mantissa, exponent, p);
      integer = mantissa << exponent;
    } else if (exponent > -64) {
      const int shift = -exponent;
      const std::uint64_t below = std::uint64_t{1} << shift;
      const std::uint64_t fraction = mantissa & (below - 1);
      // A float's fraction has at most 24 bits, so this is the common case.
      if ((fraction >> 44) != 0) return sign + FormatExact(mantissa, exponent, p);
      integer = mantissa >> shift;
      const std::uint64_t scaled = fraction * kScale;  // below 2^64
      millionths = static_cast<std::uint32_t>(scaled >> shift);
      // Up when the rest is over half, or exactly half with an odd last digit.
      const std::uint64_t rest = scaled & (below - 1);
      millionths += (rest + (millionths & 1u)) > (below >> 1) ? 1u : 0u;
      const bool carry = millionths == kScale;
      integer += carry ? 1u : 0u;
      millionths = carry ? 0u : millionths;
    } else if ((mantissa >> 43) != 0) {
      // Tiny, but mantissa * 10^6 may reach half of 2^-exponent.
      return sign + FormatExact(mantissa, exponent, p);
    }
    // Otherwise below 2^-64 with mantissa * 10^6 < 2^63: rounds to zero.
  }

  if (integer >= 100000000u) return sign + FormatLarge(integer, millionths, p);

  // The decimals are "00dddddd" without the two zeros. "d.dddddd" fills one
  // word; most numbers of a mesh (normals, texture coordinates, weights) are so.
  const std::uint64_t decimals = EightDigits(millionths) >> 16;
  if (integer < 10) {
    const std::uint64_t text = ('0' + integer) | std::uint64_t{'.'} << 8 | decimals << 16;
    std::memcpy(p, &text, 8);
    return sign + 8;
  }

  // Otherwise eight integer digits, the point and six decimals are laid out
  // in two words; the integer's leading zeros are shifted out.
  const std::uint32_t small = static_cast<std::uint32_t>(integer);
  const std::size_t digits = DecimalDigits(small);
  const std::uint64_t text = EightDigits(small) >> (64 - 8 * digits);
  std::memcpy(p, &text, 8);
  const std::uint64_t point = '.' | decimals << 8;
  std::memcpy(p + digits, &point, 8);
  return sign + digits + 7;
}

std::size_t FormatInt(int value, char* out) {
  // Work in unsigned so that INT_MIN negates without overflow.
  const unsigned int magnitude =
      value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
  const std::size_t sign = value < 0 ? 1u : 0u;
  out[0] = '-';
  if (magnitude < 100) {
    // Bone indices and link counts: "0d" or "dd" from the table, the zero
    // dropped without a branch on the digit count.
    const char* pair = kDigitPairs + 2 * magnitude;
    const std::size_t two = magnitude >= 10 ? 1u : 0u;
    out[sign] = pair[1 - two];
    out[sign + 1] = pair[1];
    return sign + 1 + two;
  }
  return sign + WriteUnsigned(magnitude, out + sign);
}

std::string Int3Text(int value) {
  char digits[11];
  const std::size_t length = FormatInt(value, digits);
  std::string text(length < 3 ? 3 - length : 0, ' ');
  text.append(digits, length);
  return text;
}

}  // namespace kw
