#include "smd/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "smd/c_locale.h"

using kw::CLocale;
using kw::FormatFixed6;
using kw::FormatInt;
using kw::kMaxFixedLength;

namespace {

std::string Fixed(double value) {
  char out[kMaxFixedLength];
  return std::string(out, FormatFixed6(value, out));
}

std::string Int(int value) {
  char out[16];
  return std::string(out, FormatInt(value, out));
}

float FloatFromBits(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double DoubleFromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// Compares FormatFixed6 with the C runtime's "%f" under a "C" locale, counting
// mismatches and keeping the first few for the failure message.
class PrintfComparison {
 public:
  void Check(double value) {
    char expected[kMaxFixedLength + 1];
    const int expectedLength = CLocale::Shared().Format(expected, sizeof expected, "%f", value);
    // Past the returned length the formatter may leave scratch bytes; poison
    // them so an off-by-one length shows.
    char actual[kMaxFixedLength];
    std::memset(actual, '#', sizeof actual);
    const std::size_t actualLength = FormatFixed6(value, actual);
    ++checked_;
    if (expectedLength >= 0 && static_cast<std::size_t>(expectedLength) == actualLength &&
        std::memcmp(expected, actual, actualLength) == 0) {
      return;
    }
    if (++mismatches_ <= 10) {
      char bits[40];
      std::uint64_t raw;
      std::memcpy(&raw, &value, sizeof raw);
      std::snprintf(bits, sizeof bits, "%016llx", static_cast<unsigned long long>(raw));
      examples_ += std::string("\n  bits ") + bits + ": printf \"" + expected + "\", ours \"" +
                   std::string(actual, std::min<std::size_t>(actualLength, sizeof actual)) + "\"";
    }
  }

  void CheckFloatBits(std::uint32_t bits) { Check(static_cast<double>(FloatFromBits(bits))); }

  // Every float bit pattern in [first, last], both signs when asked.
  void CheckFloatRange(std::uint32_t first, std::uint32_t last, bool bothSigns) {
    for (std::uint64_t bits = first; bits <= last; ++bits) {
      CheckFloatBits(static_cast<std::uint32_t>(bits));
      if (bothSigns) CheckFloatBits(static_cast<std::uint32_t>(bits) ^ 0x80000000u);
    }
  }

  // count patterns on each side of the float with the given bits (same sign).
  void CheckFloatsAround(float center, std::uint32_t count) {
    std::uint32_t bits;
    std::memcpy(&bits, &center, sizeof bits);
    const std::uint32_t sign = bits & 0x80000000u;
    const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
    const std::uint32_t first = magnitude > count ? magnitude - count : 0;
    const std::uint32_t last = magnitude + count < 0x7F800000u ? magnitude + count : 0x7F7FFFFFu;
    for (std::uint32_t m = first; m <= last; ++m) CheckFloatBits(sign | m);
  }

  ::testing::AssertionResult Result() const {
    if (mismatches_ == 0) return ::testing::AssertionSuccess() << checked_ << " values";
    return ::testing::AssertionFailure()
           << mismatches_ << " of " << checked_ << " values differ from printf:" << examples_;
  }

  std::size_t Checked() const { return checked_; }

 private:
  std::size_t checked_ = 0;
  std::size_t mismatches_ = 0;
  std::string examples_;
};

TEST(FormatFixed6, WritesSixDecimalsOfSmallValues) {
  EXPECT_EQ(Fixed(1.0f), "1.000000");
  EXPECT_EQ(Fixed(-2.5f), "-2.500000");
  EXPECT_EQ(Fixed(0.1f), "0.100000");  // 0.100000001490116...
  EXPECT_EQ(Fixed(0.1), "0.100000");
  EXPECT_EQ(Fixed(1234.5678901234), "1234.567890");
  EXPECT_EQ(Fixed(-0.75f), "-0.750000");
}

TEST(FormatFixed6, KeepsTheSignOfZero) {
  EXPECT_EQ(Fixed(0.0), "0.000000");
  EXPECT_EQ(Fixed(-0.0), "-0.000000");
  // Negative values that round to zero keep their sign, as printf does.
  EXPECT_EQ(Fixed(-1e-9), "-0.000000");
  EXPECT_EQ(Fixed(-static_cast<double>(FLT_TRUE_MIN)), "-0.000000");
  EXPECT_EQ(Fixed(static_cast<double>(FLT_TRUE_MIN)), "0.000000");
  EXPECT_EQ(Fixed(-DBL_TRUE_MIN), "-0.000000");
  EXPECT_EQ(Fixed(DBL_MIN), "0.000000");
}

TEST(FormatFixed6, RoundsExactHalvesToEven) {
  // k/128 with k odd is the only kind of binary value halfway between two
  // millionths: 1/128 = 0.0078125.
  EXPECT_EQ(Fixed(1.0 / 128), "0.007812");
  EXPECT_EQ(Fixed(-1.0 / 128), "-0.007812");
  EXPECT_EQ(Fixed(3.0 / 128), "0.023438");    // 0.0234375
  EXPECT_EQ(Fixed(255.0 / 128), "1.992188");  // 1.9921875
  EXPECT_EQ(Fixed(129.0 / 128), "1.007812");  // 1.0078125
  EXPECT_EQ(Fixed(70368744177665.0 / 128), "549755813888.007812");
}

TEST(FormatFixed6, RoundsOnTheExactBinaryValue) {
  // Neither 5e-7 nor 0.9999995 is representable; what decides is the side
  // the stored value lies on.
  EXPECT_EQ(Fixed(5e-7), "0.000000");  // 4.99999999999999977e-07
  EXPECT_EQ(Fixed(5.000000000000001e-7), "0.000001");
  EXPECT_EQ(Fixed(std::ldexp(1.0, -21)), "0.000000");  // 4.76837158203125e-07
  EXPECT_EQ(Fixed(std::ldexp(1.0, -20)), "0.000001");  // 9.5367431640625e-07
  // 1 - 2^-21 = 0.999999523...: rounds up and carries into the integer.
  EXPECT_EQ(Fixed(1.0f - std::ldexp(1.0f, -21)), "1.000000");
  EXPECT_EQ(Fixed(-(1.0f - std::ldexp(1.0f, -21))), "-1.000000");
  // 1 - 9 * 2^-24 = 0.999999463...: rounds down.
  EXPECT_EQ(Fixed(1.0f - 9 * std::ldexp(1.0f, -24)), "0.999999");
  // 10 - 2^-22 = 9.99999976158...: the carry adds an integer digit.
  EXPECT_EQ(Fixed(10.0 - std::ldexp(1.0, -22)), "10.000000");
}

TEST(FormatFixed6, WritesEveryIntegerDigitOfLargeValues) {
  EXPECT_EQ(Fixed(1e7f), "10000000.000000");
  EXPECT_EQ(Fixed(16777216.0f), "16777216.000000");
  EXPECT_EQ(Fixed(1e8f), "100000000.000000");
  EXPECT_EQ(Fixed(123456789.0f), "123456792.000000");
  EXPECT_EQ(Fixed(1e15f), "999999986991104.000000");
  EXPECT_EQ(Fixed(std::ldexp(1.0, 63)), "9223372036854775808.000000");
  EXPECT_EQ(Fixed(std::ldexp(1.0, 64)), "18446744073709551616.000000");
  EXPECT_EQ(Fixed(-std::ldexp(1.0, 64)), "-18446744073709551616.000000");
  EXPECT_EQ(Fixed(FLT_MAX), "340282346638528859811704183484516925440.000000");
  EXPECT_EQ(Fixed(-FLT_MAX), "-340282346638528859811704183484516925440.000000");
  const std::string largest = Fixed(DBL_MAX);
  EXPECT_EQ(largest.size(), 309u + 7u);
  EXPECT_EQ(largest.substr(0, 17), "17976931348623157");
  EXPECT_EQ(largest.substr(largest.size() - 10), "368.000000");
}

TEST(FormatFixed6, WritesNonFiniteValuesAsTheRuntimeDoes) {
  PrintfComparison comparison;
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (double value : {infinity, -infinity, nan, -nan}) comparison.Check(value);
  EXPECT_TRUE(comparison.Result());
#if defined(__GLIBC__)
  EXPECT_EQ(Fixed(infinity), "inf");
  EXPECT_EQ(Fixed(-infinity), "-inf");
  EXPECT_EQ(Fixed(nan), "nan");
  EXPECT_EQ(Fixed(-nan), "-nan");
#endif
}

TEST(FormatFixed6, NeverExceedsTheAnnouncedLength) {
  EXPECT_LE(Fixed(-DBL_MAX).size(), kMaxFixedLength);
  EXPECT_LE(Fixed(-std::numeric_limits<double>::quiet_NaN()).size(), kMaxFixedLength);
}

TEST(FormatFixed6, MatchesPrintfOnEveryFloatExponent) {
  PrintfComparison comparison;
  std::mt19937 random(7);
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (std::uint32_t sign : {0u, 1u}) {
      const std::uint32_t base = sign << 31 | exponent << 23;
      for (std::uint32_t mantissa : {0u, 1u, 2u, 0x400000u, 0x7FFFFEu, 0x7FFFFFu}) {
        comparison.CheckFloatBits(base | mantissa);
      }
      for (int i = 0; i < 100; ++i) comparison.CheckFloatBits(base | (random() & 0x7FFFFFu));
    }
  }
  EXPECT_TRUE(comparison.Result());
}

TEST(FormatFixed6, MatchesPrintfNearHalfwayValues) {
  PrintfComparison comparison;
  std::mt19937 random(11);
  for (int i = 0; i < 20000; ++i) {
    // An odd multiple of 2^-7 that a float holds exactly, and its neighbours.
    const float tie = static_cast<float>((random() & 0xFFFFFFu) | 1u) / 128.0f;
    comparison.CheckFloatsAround(tie, 2);
    comparison.CheckFloatsAround(-tie, 2);
  }
  EXPECT_TRUE(comparison.Result());
}

TEST(FormatFixed6, MatchesPrintfWhereTheFastPathHandsOver) {
  PrintfComparison comparison;
  for (float center : {5e-7f, 1e-6f, 0.5f, 1.0f, 1e7f, 1e8f, 1e15f, 9.2233720e18f, 1.8446744e19f}) {
    comparison.CheckFloatsAround(center, 300);
    comparison.CheckFloatsAround(-center, 30);
  }
  comparison.CheckFloatRange(0x7F7FF000u, 0x7F7FFFFFu, true);  // up to FLT_MAX
  comparison.CheckFloatRange(0x007FFF00u, 0x00800100u, true);  // denormal to normal
  EXPECT_TRUE(comparison.Result());
}

TEST(FormatFixed6, MatchesPrintfOnArbitraryDoubles) {
  PrintfComparison comparison;
  std::mt19937_64 random(13);
  for (int i = 0; i < 20000; ++i) {
    // Any bit pattern; then magnitudes where the fraction has many bits.
    comparison.Check(DoubleFromBits(random()));
    const std::uint64_t exponent = 1023 - 64 + random() % 128;
    comparison.Check(DoubleFromBits((random() & 0x800FFFFFFFFFFFFFu) | exponent << 52));
  }
  for (int shift = 0; shift < 60; ++shift) {
    // Halfway values with long mantissas, just off and exactly on the tie.
    const double tie = static_cast<double>((std::uint64_t{1} << shift) | 1u) / 128;
    comparison.Check(tie);
    comparison.Check(std::nextafter(tie, 0.0));
    comparison.Check(std::nextafter(tie, 1e300));
  }
  for (int exponent = -1074; exponent <= 1023; ++exponent) {
    comparison.Check(std::ldexp(1.0, exponent));
    comparison.Check(-std::ldexp(1.0, exponent) * 1.75);
  }
  comparison.Check(DBL_MAX);
  comparison.Check(-DBL_MAX);
  EXPECT_TRUE(comparison.Result());
}

// Sweeps whole regions of float bit patterns: tens of millions of printf
// calls, so it runs only in CI (KW_CI) or when KW_LONG_TESTS is set.
TEST(FormatFixed6Sweep, MatchesPrintfOnWholeRegionsOfFloats) {
  if (!std::getenv("KW_LONG_TESTS") && !std::getenv("KW_CI")) {
    GTEST_SKIP() << "set KW_LONG_TESTS=1 to run";
  }
  PrintfComparison comparison;
  // Every odd multiple of 2^-7 a float holds: all the halfway values.
  for (std::uint32_t k = 1; k < (1u << 24); k += 2) {
    comparison.Check(static_cast<double>(static_cast<float>(k) / 128.0f));
  }
  // Every float in [2^-21, 2^-20): the region of 0.0000005.
  comparison.CheckFloatRange(0x35000000u, 0x357FFFFFu, false);
  // Floats just below each integer up to 64, where rounding carries.
  for (int integer = 1; integer <= 64; ++integer) {
    comparison.CheckFloatsAround(static_cast<float>(integer), 10000);
  }
  for (float center : {1e7f, 1e8f, 1e15f, 9.2233720e18f, 1.8446744e19f, 1e30f}) {
    comparison.CheckFloatsAround(center, 100000);
    comparison.CheckFloatsAround(-center, 100000);
  }
  comparison.CheckFloatRange(0x7F7C0000u, 0x7F7FFFFFu, false);  // the top, up to FLT_MAX
  comparison.CheckFloatRange(0x00000000u, 0x000FFFFFu, true);   // smallest denormals
  comparison.CheckFloatRange(0x00700000u, 0x008FFFFFu, false);  // denormal to normal
  // A stratified sample of every exponent and sign.
  std::mt19937 random(17);
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (std::uint32_t sign : {0u, 1u}) {
      const std::uint32_t base = sign << 31 | exponent << 23;
      for (int i = 0; i < 4000; ++i) comparison.CheckFloatBits(base | (random() & 0x7FFFFFu));
    }
  }
  std::mt19937_64 random64(19);
  for (int i = 0; i < 300000; ++i) {
    const std::uint64_t exponent = 1023 - 70 + random64() % 140;
    comparison.Check(DoubleFromBits((random64() & 0x800FFFFFFFFFFFFFu) | exponent << 52));
  }
  for (int i = 0; i < 20000; ++i) comparison.Check(DoubleFromBits(random64()));
  EXPECT_TRUE(comparison.Result());
}

TEST(FormatInt, WritesEveryIntRangeEdge) {
  EXPECT_EQ(Int(0), "0");
  EXPECT_EQ(Int(7), "7");
  EXPECT_EQ(Int(-1), "-1");
  EXPECT_EQ(Int(10), "10");
  EXPECT_EQ(Int(-99), "-99");
  EXPECT_EQ(Int(100), "100");
  EXPECT_EQ(Int(123456789), "123456789");
  EXPECT_EQ(Int(INT_MAX), "2147483647");
  EXPECT_EQ(Int(INT_MIN), "-2147483648");
  for (int value = -1000; value <= 1000; ++value) {
    EXPECT_EQ(Int(value), std::to_string(value));
  }
}

TEST(FormatInt, MatchesPrintf) {
  std::mt19937 random(23);
  for (int i = 0; i < 100000; ++i) {
    const int value = static_cast<int>(random()) >> (random() % 32);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%d", value);
    ASSERT_EQ(Int(value), expected);
  }
}

}  // namespace
