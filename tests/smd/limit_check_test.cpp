#include "smd/limit_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
      {"150 nodes, 129 in use: the last bound node's ancestors count",
       Reference(150, Triangle("m", "1 128 1")),
       {Limit::kNodes},
       "129 nodes in use (bound to vertices, or their ancestors), more than the 128 the "
       "compiler takes; 21 more are unused, which it leaves out"},
      {"200 nodes, the vertices on the root", Reference(200, Triangle("m")), {}, ""},
      {"a sequence of 129 nodes, whose reference is not known",
       Reference(129, "").substr(0, Reference(129, "").find("triangles")),
       {Limit::kNodes},
       "129 nodes; the compiler takes 128 of those its reference's vertices use"},
      {"four equal links",
       Reference(4, Triangle("m", "4 0 0.25 1 0.25 2 0.25 3 0.25")),
       {Limit::kLinks},
       "1 vertex has more than 3 links of weight 0.05 or more; the compiler keeps the 3 "
       "largest, which loses up to 25.0% of a vertex's weight (line 17); export with "
       "--max-links 3"},
      {"the small link dropped counts in the weight lost",
       Reference(5, Triangle("m", "5 0 0.4 1 0.2 2 0.2 3 0.1 4 0.04")),
       {Limit::kLinks},
       "loses up to 14.9% of a vertex's weight"},
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
      {"bones that are not there",
       "version 1\nnodes\n0 \"root\" -1\n1 \"arm\" 5\nend\ntriangles\n" +
           Triangle("m", "2 0 0.02 7 0.98") + Triangle("m", "1 1 1", 1) + "end\n",
       {Limit::kBogusBone, Limit::kBogusBone},
       "1 vertex names a bone the nodes section does not have, which the compiler refuses "
       "(\"bogus bone index\"); the first, line 8, names bone 7"},
      {"times that go back or skip",
       Reference(1, "") + "skeleton\ntime 1\n0 0 0 0 0 0 0\ntime 3\n0 0 0 0 0 0 0\n"
                          "time 2\n0 0 0 0 0 0 0\nend\n",
       {Limit::kFrameTimes},
       "2 times go back or skip a frame; the first, time 3 after time 1 (line 14)"},
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

// The compiler's treatment the plain way, n^2: links to one bone summed in
// place of the first, a bubble sort that keeps ties in place, the tail below
// the floor cut (never the first), then the 3 largest.
float PlainLost(const std::vector<kw::smd::Link>& in, std::vector<int>* keptBones) {
  std::vector<kw::smd::Link> links;
  for (const auto& link : in) {
    auto same = std::find_if(links.begin(), links.end(),
                             [&](const kw::smd::Link& l) { return l.bone == link.bone; });
    if (same != links.end())
      same->weight += link.weight;
    else
      links.push_back(link);
  }
  for (bool swapped = true; swapped;) {
    swapped = false;
    for (std::size_t i = 0; i + 1 < links.size(); ++i) {
      if (links[i + 1].weight > links[i].weight) std::swap(links[i], links[i + 1]), swapped = true;
    }
  }
  std::size_t count = links.size();
  while (count > 1 && links[count - 1].weight < 0.05f) --count;
  const bool over = count > 3;
  count = std::min<std::size_t>(count, 3);
  double whole = 0, kept = 0;
  for (const auto& link : in) whole += link.weight;
  keptBones->clear();
  for (std::size_t i = 0; i < count; ++i)
    kept += links[i].weight, keptBones->push_back(links[i].bone);
  return over ? static_cast<float>(1 - kept / whole) : -1;
}

TEST(LimitCheck, WeightLostAgreesWithThePlainWayForFewAndManyLinks) {
  std::mt19937 random(7);
  std::vector<kw::smd::Link> kept;
  for (int round = 0; round < 3000; ++round) {
    std::vector<kw::smd::Link> links(1 + random() % 40);
    for (auto& link : links) {
      link.bone = static_cast<int>(random() % 12);
      link.weight = static_cast<float>(random() % 8) / 32;  // ties and links below the floor
    }
    if (links[0].weight == 0) links[0].weight = 0.5f;
    std::vector<int> plainBones;
    const float plain = PlainLost(links, &plainBones);
    const float lost = kw::smd::WeightLost(links.data(), links.size(), &kept);
    std::vector<int> bones;
    for (const auto& link : kept) bones.push_back(link.bone);
    SCOPED_TRACE(round);
    EXPECT_NEAR(lost, plain, 1e-6f);
    EXPECT_EQ(bones, plainBones);
  }
}

TEST(LimitCheck, OneRowPerLimitInOrder) {
  for (std::size_t i = 0; i < kw::smd::kLimitCount; ++i) {
    EXPECT_EQ(static_cast<std::size_t>(kw::smd::kLimits[i].limit), i);
    EXPECT_NE(std::string(kw::smd::kLimits[i].source), "");
  }
  EXPECT_EQ(kw::smd::kLimitCount, static_cast<std::size_t>(Limit::kFrameTimes) + 1);
}

}  // namespace
