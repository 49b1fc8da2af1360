#include "smd/spaced_floats_cache.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

using kw::SpacedFloatsCache;

namespace {

std::string Printf(const float (&values)[3]) {
  char text[1200];
  std::snprintf(text, sizeof text, " %f %f %f", values[0], values[1], values[2]);
  return text;
}

// Whatever was left in a place before, a text is the printf text of the
// values asked now: places collide, values differ in sign of zero only, and
// some texts are too long for a slot.
TEST(SpacedFloatsCache, WritesThePrintfTextOfTheValuesAskedWhateverThePlaceHeld) {
  const float hard[] = {0.0f,  -0.0f,    1.0f,    -1.0f,       0.0000005f,    -0.0000005f,
                        1e30f, -FLT_MAX, FLT_MIN, 123456.789f, std::nanf(""), INFINITY};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, sizeof hard / sizeof hard[0] - 1);
  std::uniform_int_distribution<std::size_t> place(0, 40);  // 16 slots: places collide

  SpacedFloatsCache<3> cache(4);
  std::string written;
  std::string expected;
  char text[SpacedFloatsCache<3>::kRoom];
  for (int i = 0; i < 20000; ++i) {
    const float values[3] = {hard[pick(random)], hard[pick(random)], hard[pick(random)]};
    written.append(text, cache.Write(values, place(random), text));
    expected += Printf(values);
  }
  ASSERT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

}  // namespace
