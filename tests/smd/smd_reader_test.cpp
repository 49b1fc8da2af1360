#include "smd/smd_reader.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using kw::smd::File;
using kw::smd::ParseSmd;
using kw::smd::ReadSmd;

// One reference, as we write it.
const char kReference[] =
    "version 1\n"
    "nodes\n"
    "  0 \"root\" -1\n"
    "  1 \"arm bone\" 0\n"
    "end\n"
    "skeleton\n"
    "time 0\n"
    "  0 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\n"
    "  1 1.000000 2.000000 3.000000 0.100000 0.200000 0.300000\n"
    "end\n"
    "triangles\n"
    "skin.tga\n"
    "  1 1.000000 0.000000 0.000000 0.000000 0.000000 1.000000 0.250000 0.750000 2 0 0.250000 1 "
    "0.750000\n"
    "  1 0.000000 1.000000 0.000000 0.000000 0.000000 1.000000 0.000000 0.000000 1 1 1.000000\n"
    "  0 0.000000 0.000000 1.000000 0.000000 0.000000 1.000000 1.000000 1.000000 1 0 1.000000\n"
    "end\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

void ExpectLikeReference(const File& file) {
  ASSERT_EQ(file.nodes.size(), 2u);
  EXPECT_EQ(file.nodes[1].name, "arm bone");
  EXPECT_EQ(file.nodes[1].parent, 0);
  ASSERT_EQ(file.frames.size(), 1u);
  EXPECT_EQ(file.frames[0].poseCount, 2u);
  EXPECT_FLOAT_EQ(file.poses[1].position[2], 3.0f);
  EXPECT_FLOAT_EQ(file.poses[1].rotation[2], 0.3f);
  ASSERT_EQ(file.triangles.size(), 1u);
  ASSERT_EQ(file.materials.size(), 1u);
  const kw::smd::Vertex& first = file.triangles[0].corners[0];
  EXPECT_EQ(first.bone, 1);
  EXPECT_FLOAT_EQ(first.uv[1], 0.75f);
  ASSERT_EQ(first.linkCount, 2u);
  EXPECT_EQ(file.links[first.firstLink + 1].bone, 1);
  EXPECT_FLOAT_EQ(file.links[first.firstLink + 1].weight, 0.75f);
}

TEST(SmdReader, TakesOtherToolsSpellingsOfTheSameFile) {
  struct Case {
    const char* what;
    std::string text;
  } cases[] = {
      {"as we write it", kReference},
      {"CRLF line ends and a byte-order mark", "\xEF\xBB\xBF" + Replace(kReference, "\n", "\r\n")},
      {"tabs and runs of spaces", Replace(Replace(kReference, "  ", "\t"), " 0.", "   0.")},
      {"comments", Replace(Replace(kReference, "nodes\n", "// made by hand\nnodes  // list\n"),
                           "end\nskeleton", "end\n\n  // poses\nskeleton")},
      {"no line end at the end", std::string(kReference, sizeof(kReference) - 2)},
      {"a flex section", Replace(kReference, "triangles\n",
                                 "vertexanimation\ntime 0\n0 0 0 0 0 0 1\nend\ntriangles\n")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    File file;
    std::string error;
    ASSERT_TRUE(ParseSmd(c.text, "in.smd", &file, &error)) << error;
    EXPECT_TRUE(file.problems.empty()) << file.problems[0].line << ": " << file.problems[0].message;
    ExpectLikeReference(file);
  }
}

// The reader takes short decimals its own way; every number must still come
// out with the bits the standard library's conversion gives.
TEST(SmdReader, NumbersReadToTheSameBitsAsFromChars) {
  std::mt19937 random(7);
  const char* formats[] = {"%f", "%.8f", "%.3f", "%.0f", "%g", "%.9g", "%.17g"};
  std::string text = "version 1\nnodes\n0 \"b\" -1\nend\nskeleton\ntime 0\n";
  std::vector<std::string> numbers;
  for (int i = 0; i < 60000; ++i) {
    const float magnitude = std::ldexp(1.0f, static_cast<int>(random() % 60) - 30);
    const float value = std::uniform_real_distribution<float>(-magnitude, magnitude)(random);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, formats[i % 7], value);
    numbers.push_back(buffer);
  }
  for (std::size_t i = 0; i + 6 <= numbers.size(); i += 6) {
    text += "0";
    for (std::size_t k = i; k < i + 6; ++k) text += " " + numbers[k];
    text += "\n";
  }
  File file;
  std::string error;
  ASSERT_TRUE(ParseSmd(text, "x", &file, &error));
  ASSERT_EQ(file.poses.size(), numbers.size() / 6);
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const kw::smd::Pose& pose = file.poses[i / 6];
    const float read = i % 6 < 3 ? pose.position[i % 6] : pose.rotation[i % 6 - 3];
    float expected = 0;
    std::from_chars(numbers[i].data(), numbers[i].data() + numbers[i].size(), expected);
    ASSERT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << numbers[i];
  }
}

TEST(SmdReader, LinesThatDoNotParseAreNumberedAndTheReadGoesOn) {
  const std::string text =
      "version 1\n"                      // 1
      "nodes\n"                          // 2
      "0 \"root\" -1\n"                  // 3
      "1 \"open -1\n"                    // 4: quote never closed
      "end\n"                            // 5
      "skeleton\n"                       // 6
      "0 0 0 0 0 0 0\n"                  // 7: before any time line
      "time 0\n"                         // 8
      "0 0 0 0 0 0\n"                    // 9: one number short
      "3 0 0 0 0 0 0\n"                  // 10: no node 3
      "end\n"                            // 11
      "triangles\n"                      // 12
      "a.bmp\n"                          // 13
      "0 0 0 0 0 0 1 0 0\n"              // 14
      "0 0 0 0 0 0 1 0 0 2 0 1\n"        // 15: a link short
      "0 0 0 0 0 0 1 0 0\n"              // 16
      "b.bmp\n"                          // 17
      "0 0 0 0 0 0 1 0 0\n"              // 18
      "c.bmp\n"                          // 19: two vertex lines missing
      "0 0 0 0 0 0 1 0 0\n"              // 20
      "0 0 0 0 0 0 1 0 0 1 0 1\n"        // 21
      "0 0 0 0 0 0 1 0 0 1 0 1 junk\n";  // 22: text after the links; no end
  File file;
  std::string error;
  ASSERT_TRUE(ParseSmd(text, "x", &file, &error)) << error;
  std::vector<int> lines;
  for (const auto& problem : file.problems) lines.push_back(problem.line);
  EXPECT_EQ(lines, (std::vector<int>{4, 7, 9, 10, 15, 19, 22, 22}));
  EXPECT_EQ(file.problemCount, 8u);
  EXPECT_EQ(file.nodes.size(), 1u);
  EXPECT_EQ(file.triangles.size(), 0u);
  EXPECT_TRUE(file.links.empty());
}

TEST(SmdReader, NamesMayHoldQuotesAndALostNodeKeepsItsPlace) {
  File file;
  std::string error;
  ASSERT_TRUE(
      ParseSmd("version 1\nnodes\n0 \"say \"cheese\"\" -1\n1 \"two\nlines\" 0\n"
               "2 bare 1 // comment\nend\n",
               "x", &file, &error));
  ASSERT_EQ(file.nodes.size(), 3u);
  EXPECT_EQ(file.nodes[0].name, "say \"cheese\"");
  EXPECT_EQ(file.nodes[1].line, 0);  // its line is a problem of its own
  EXPECT_EQ(file.nodes[2].name, "bare");
  EXPECT_EQ(file.nodes[2].parent, 1);
  EXPECT_EQ(file.problemCount, 3u);  // "1 \"two", "lines\" 0", and node 2 where 1 comes next
}

TEST(SmdReader, ManyBadLinesKeepOnlyTheFirstHundred) {
  std::string text = "version 1\nnodes\n";
  for (int i = 0; i < 1000; ++i) text += "garbage\n";
  text += "end\n";
  File file;
  std::string error;
  ASSERT_TRUE(ParseSmd(text, "x", &file, &error));
  EXPECT_EQ(file.problemCount, 1000u);
  ASSERT_EQ(file.problems.size(), 101u);
  EXPECT_EQ(file.problems.back().message, "and 900 more lines that do not parse");
}

TEST(SmdReader, WhatIsNoSmdAtAll) {
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "in.smd: not an SMD file (there is nothing in it)"},
      {"\n// only a comment\r\n", "in.smd: not an SMD file (there is nothing in it)"},
      {"\x89PNG\r\n\x1a\n", "in.smd: not an SMD file (it does not begin with a \"version\" line)"},
      {"versions 1\nnodes\nend\n",
       "in.smd: not an SMD file (it does not begin with a \"version\" line)"},
      {"version 1\nskeleton\nend\n", "in.smd: not an SMD file (it has no \"nodes\" section)"},
  };
  for (const Case& c : cases) {
    File file;
    std::string error;
    EXPECT_FALSE(ParseSmd(c.text, "in.smd", &file, &error));
    EXPECT_EQ(error, c.error);
  }
}

TEST(SmdReader, ReadsFromDiskAcrossBufferBoundaries) {
  // Enough triangles that lines straddle the reader's buffer.
  std::string text = "version 1\r\nnodes\r\n0 \"b\" -1\r\nend\r\ntriangles\r\n";
  const int count = 40000;
  // Texture names with and without an extension; links on every other corner.
  for (int i = 0; i < count; ++i) {
    text += i % 3 == 1 ? "skin.tga\r\n" : "skin\r\n";
    for (int k = 0; k < 3; ++k) {
      text += "0 " + std::to_string(i) + ".5 0 0 0 0 1 0.5 0.5" +
              ((i + k) % 2 ? "\r\n" : " 1 0 1.000000\r\n");
    }
  }
  text += "end";
  const std::string path = testing::TempDir() + "smd_reader_test.smd";
  std::ofstream(path, std::ios::binary) << text;
  File fromDisk, fromMemory;
  std::string error;
  ASSERT_TRUE(ReadSmd(path, &fromDisk, &error)) << error;
  ASSERT_TRUE(ParseSmd(text, path, &fromMemory, &error));
  std::remove(path.c_str());
  EXPECT_TRUE(fromDisk.problems.empty());
  ASSERT_EQ(fromDisk.triangles.size(), static_cast<std::size_t>(count));
  EXPECT_EQ(fromDisk.materials, (std::vector<std::string>{"skin", "skin.tga"}));
  EXPECT_EQ(fromDisk.triangles[2].material, 0u);
  EXPECT_EQ(fromDisk.links.size(), 3u * count / 2);
  EXPECT_EQ(fromDisk.triangles[1].corners[1].linkCount, 1u);
  EXPECT_EQ(fromDisk.triangles[1].corners[2].linkCount, 0u);
  EXPECT_FLOAT_EQ(fromDisk.triangles[count - 1].corners[2].position[0], count - 0.5f);
  EXPECT_EQ(fromDisk.triangles[count - 1].line, fromMemory.triangles[count - 1].line);
  EXPECT_EQ(fromDisk.triangles[count - 1].line, 5 + 4 * (count - 1) + 1);

  EXPECT_FALSE(ReadSmd(path, &fromDisk, &error));
  EXPECT_EQ(error, path + ": No such file or directory");
  EXPECT_FALSE(ReadSmd(testing::TempDir(), &fromDisk, &error));
  EXPECT_EQ(error, testing::TempDir() + ": Is a directory");
  EXPECT_FALSE(ReadSmd("/dev/zero", &fromDisk, &error));  // one endless line
  EXPECT_EQ(error, "/dev/zero: not an SMD file (it does not begin with a \"version\" line)");
  EXPECT_TRUE(fromDisk.triangles.empty());
}

}  // namespace
