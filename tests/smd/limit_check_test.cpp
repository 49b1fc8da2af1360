#include "smd/limit_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "smd/smd_reader.h"

namespace {

using kw::smd::Limit;

// A reference of `nodes` nodes (named by `name`) and the given triangle block.
std::string Reference(
    int nodes, const std::string& triangles,
    std::string (*name)(int) = [](int i) { return "bone" + std::to_string(i); }) {
  std::string text = "version 1\nnodes\n";
  for (int i = 0; i < nodes; ++i) {
    text += std::to_string(i) + " \"" + name(i) + "\" " + std::to_string(i - 1) + "\n";
  }
  text += "end\nskeleton\ntime 0\n";
  for (int i = 0; i < nodes; ++i) text += std::to_string(i) + " 0 0 0 0 0 0\n";
  return text + "end\ntriangles\n" + triangles + "end\n";
}

// One triangle of the given material; its first corner has the given links.
std::string Triangle(const std::string& material, const std::string& links = "1 0 1", float x = 0) {
  const std::string at = std::to_string(x);
  return material + "\n0 " + at + " 0 0 0 0 1 0 0 " + links + "\n0 " + at + " 1 0 0 0 1 0 0\n0 " +
         at + " 0 1 0 0 1 0 0\n";
}

std::string Triangles(int count, int materials) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += Triangle("m" + std::to_string(i % materials), "1 0 1", static_cast<float>(i));
  }
  return text;
}

// Unique vertices: corners at x = 0, 1, 2, ...; the last triangle repeats
// corners when the count is not a multiple of 3.
std::string Vertices(int count) {
  std::string text;
  for (int v = 0; v < count; v += 3) {
    text += "m\n";
    for (int k = 0; k < 3; ++k)
      text += "0 " + std::to_string(std::min(v + k, count - 1)) + " 0 0 0 0 1 0 0\n";
  }
  return text;
}

struct Case {
  const char* what;
  std::string text;
  std::vector<Limit> expected;
  const char* message;  // part of the first finding's text
};

TEST(LimitCheck, EachLimitOnASmallFile) {
  const Case cases[] = {
      {"clean", Reference(3, Triangle("skin.tga", "3 0 0.5 1 0.3 2 0.2")), {}, ""},
      {"128 nodes", Reference(128, Triangle("m")), {}, ""},
      {"129 nodes",
       Reference(129, Triangle("m")),
       {Limit::kNodes},
       "129 nodes, more than the 128 the compiler takes"},
      {"four equal links",
       Reference(4, Triangle("m", "4 0 0.25 1 0.25 2 0.25 3 0.25")),
       {Limit::kLinks},
       "1 vertex has more than 3 links of weight 0.05 or more; keeping the 3 largest loses up "
       "to 25.0% of a vertex's weight (line 17)"},
      {"a small link dropped before the rest is renormalised",
       Reference(5, Triangle("m", "5 0 0.4 1 0.2 2 0.2 3 0.1 4 0.04")),
       {Limit::kLinks},
       "loses up to 11.1% of"},
      {"the fourth link below the floor",
       Reference(4, Triangle("m", "4 0 0.5 1 0.3 2 0.17 3 0.03")),
       {},
       ""},
      {"two links to one bone are one",
       Reference(4, Triangle("m", "4 0 0.25 1 0.25 0 0.25 2 0.25")),
       {},
       ""},
      {"65,536 unique vertices", Reference(1, Vertices(65536)), {}, ""},
      {"65,537 unique vertices",
       Reference(1, Vertices(65537)),
       {Limit::kUniqueVertices},
       "65537 unique vertices, more than the 65536"},
      {"32 materials", Reference(1, Triangles(64, 32)), {}, ""},
      {"33 materials",
       Reference(1, Triangles(33, 33)),
       {Limit::kMaterials},
       "33 materials, more than the 32"},
      {"a material name of 63 bytes",
       Reference(1, Triangle(std::string(59, 'a') + ".tga")),
       {},
       ""},
      {"a material name of 64 bytes and one with a space",
       Reference(1, Triangle(std::string(60, 'a') + ".tga") + Triangle("my skin.tga")),
       {Limit::kMaterialName, Limit::kMaterialName},
       "is 64 bytes long; the compiler takes at most 63"},
      {"a name used twice",
       Reference(3, Triangle("m"), [](int i) { return std::string(i == 0 ? "root" : "arm"); }),
       {Limit::kRepeatedName},
       "node name \"arm\" is used by nodes 1 and 2 (line 5)"},
      {"numbers that are not finite",
       Reference(2, Triangle("m", "1 0 nan") + Triangle("m")) +
           "skeleton\ntime 1\n0 1.#INF00 0 0 0 0 -1.#IND00\n"
           "1 0 0 0 0 0 0\nend\n",
       {Limit::kNonFinite},
       "2 lines with numbers that are infinite or not a number, the first in the pose of node 0 at "
       "time 1 (line 23)"},
      {"a line that does not parse",
       Reference(1,
                 "m\n0 0 0 0 0 0 1 0\n0 0 0 0 0 0 1 0 0\n"
                 "0 0 0 0 0 0 1 0 0\n"),
       {Limit::kUnparsedLine},
       "line 11: a vertex line is not"},
      {"frames that leave out nodes",
       Reference(3, "") + "skeleton\ntime 1\n0 0 0 0 0 0 0\ntime 2\n2 0 0 0 0 0 0\nend\n",
       {Limit::kIncompleteFrame},
       "2 frames leave out nodes; time 1 (line 16) has no pose for node \"bone1\" and 1 more"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    kw::smd::File file;
    std::string error;
    ASSERT_TRUE(kw::smd::ParseSmd(c.text, "x", &file, &error)) << error;
    const std::vector<kw::smd::Finding> findings = kw::smd::CheckLimits(file);
    std::vector<Limit> limits;
    for (const auto& finding : findings) limits.push_back(finding.limit);
    EXPECT_EQ(limits, c.expected) << (findings.empty() ? "" : findings[0].message);
    if (!findings.empty()) {
      EXPECT_NE(findings[0].message.find(c.message), std::string::npos) << findings[0].message;
    }
  }
}

TEST(LimitCheck, OneRowPerLimitInOrder) {
  for (std::size_t i = 0; i < kw::smd::kLimitCount; ++i) {
    EXPECT_EQ(static_cast<std::size_t>(kw::smd::kLimits[i].limit), i);
    EXPECT_NE(std::string(kw::smd::kLimits[i].source), "");
  }
  EXPECT_EQ(kw::smd::kLimitCount, static_cast<std::size_t>(Limit::kIncompleteFrame) + 1);
}

}  // namespace
