// The check on text as it streams past against the check on a read-back of
// the same bytes: the same findings word for word, or a refusal to judge.
#include "smd/stream_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "smd/text_format.h"
#include "smd/smd_reader.h"

using kw::smd::FormatText;

namespace {

std::vector<std::string> Messages(const std::vector<kw::smd::Finding>& findings) {
  std::vector<std::string> lines;
  for (const auto& finding : findings) {
    lines.push_back(std::string(kw::WarningKindName(kw::smd::LimitOf(finding.limit).kind)) + ": " +
                    finding.message);
  }
  return lines;
}

// Fed in chunks of each size, the stream check must agree with the read-back
// or decline; true when it judged every time. *findings gets the read-back's.
bool AgreesOrDeclines(const std::string& text, const std::string& what,
                      std::string* findings = nullptr) {
  kw::smd::File file;
  std::string error;
  const bool read = kw::smd::ParseSmd(text, "t.smd", &file, &error);
  if (findings) {
    for (const std::string& line : Messages(kw::smd::CheckLimits(file))) *findings += line + "\n";
  }
  bool judged = true;
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, text.size()}) {
    kw::smd::StreamCheck check;
    for (std::size_t at = 0; at < text.size(); at += chunk) {
      check.Feed(text.data() + at, std::min(chunk, text.size() - at));
    }
    kw::smd::Tally tally;
    if (!check.Finish(&tally)) {
      EXPECT_FALSE(check.Declined().empty()) << what;
      judged = false;
      continue;
    }
    EXPECT_TRUE(read) << what << ": judged a text the reader refuses";
    if (!read) continue;
    EXPECT_EQ(Messages(kw::smd::Findings(tally)), Messages(kw::smd::CheckLimits(file)))
        << what << ", chunks of " << chunk;
    const kw::smd::Tally back = kw::smd::TallyOf(file);
    EXPECT_EQ(tally.uniqueVertices, back.uniqueVertices) << what;
    EXPECT_EQ(tally.frames, back.frames) << what;
    EXPECT_EQ(tally.triangles, back.triangles) << what;
  }
  return judged;
}

// Text in our writer's layout. Vertex i of a strip sits at x = i * step;
// every vertex has the links given.
struct Scene {
  int nodes = 3;
  std::string (*name)(int) = [](int i) { return "bone" + std::to_string(i); };
  int frames = 1;
  int timeStep = 1;
  int leftOut = -1;  // a node without poses in odd frames
  std::vector<std::string> materials = {"skin.tga"};
  int triangles = 4;
  float step = 0.25f;
  std::string links = " 1 0 1.000000";
};

std::string Write(const Scene& scene) {
  std::string text = "version 1\nnodes\n";
  for (int i = 0; i < scene.nodes; ++i) {
    text += FormatText("%3d \"%s\" %3d\n", i, scene.name(i).c_str(), i - 1);
  }
  text += "end\nskeleton\n";
  for (int f = 0; f < scene.frames; ++f) {
    text += FormatText("time %d\n", f * scene.timeStep);
    for (int i = 0; i < scene.nodes; ++i) {
      if (i == scene.leftOut && f % 2 == 1) continue;
      text +=
          FormatText("%3d %f %f %f %f %f %f\n", i, 1.5f * i, -0.0f, 40.0f, 0.1f * f, 0.0f, 3.0f);
    }
  }
  text += "end\n";
  if (scene.triangles == 0) return text;
  text += "triangles\n";
  for (int t = 0; t < scene.triangles; ++t) {
    text += scene.materials[t % scene.materials.size()] + "\n";
    for (int k = 0; k < 3; ++k) {
      const int v = t + k;  // neighbours share two vertices
      text += FormatText("%3d %f %f %f %f %f %f %f %f%s\n", scene.nodes - 1, v * scene.step,
                         -v * scene.step, 0.0f, 0.0f, 0.0f, 1.0f, 0.001f * v, 1.0f,
                         scene.links.c_str());
    }
  }
  return text + "end\n";
}

TEST(StreamCheck, JudgesOurLayoutAsTheReadBackDoes) {
  // What each case is about, and the finding it must give.
  std::vector<std::pair<std::string, Scene>> cases;
  cases.push_back({"", Scene{}});
  Scene s;
  s.nodes = 130;
  s.links = " 1 129 1.000000";
  cases.push_back({"too-many-nodes: 130 nodes in use", s});
  s.nodes = 200;
  s.links = " 1 0 1.000000";
  cases.push_back({"", s});  // the compiler leaves out the unused nodes
  s.links = " 2 0 0.500000 200 0.500000";
  cases.push_back({"bogus-bone-index: 6 vertices name a bone", s});
  s.links = " 0";
  cases.push_back({"too-many-nodes: 200 nodes in use", s});  // each on its own bone, the last
  s = Scene{};
  s.frames = 3;
  s.timeStep = 2;
  cases.push_back({"irregular-time: 2 times go back or skip a frame; the first, time 2", s});
  s = Scene{};
  s.name = [](int i) { return i % 2 ? std::string("same") : "n \t\x01" + std::to_string(i); };
  s.nodes = 6;
  cases.push_back({"repeated-node-name: node name \"same\" is used by nodes 1 and 3 (line 6)", s});
  s = Scene{};
  s.links = " 6 0 0.300000 1 0.040000 2 0.200000 3 0.150000 4 0.150000 2 0.160000";
  cases.push_back(
      {"too-many-links: 6 vertices have more than 3 links of weight 0.05 or more; the compiler "
       "keeps the 3 largest, which loses up to 19.0% of a vertex's weight (line 15)",
       s});
  s.links = " 4 0 0.400000 1 0.300000 2 0.200000 1 0.100000";
  cases.push_back({"", s});  // two links to one bone are one
  s = Scene{};
  s.triangles = 65540;
  s.step = 1.0f / 1024;
  cases.push_back({"too-many-vertices: 65542 unique vertices", s});
  s.step = 2.5f;  // far past 8, where "%f" texts are tested to be printf's
  cases.push_back({"too-many-vertices: 65542 unique vertices", s});
  s = Scene{};
  for (int i = 0; i < 34; ++i) s.materials.push_back("m" + std::to_string(i % 33));
  s.materials.push_back(std::string(70, 'x'));
  s.materials.push_back("two words");
  s.materials.push_back("  padded\t // and a comment");
  s.triangles = 80;
  cases.push_back(
      {"too-many-materials: 37 materials, more than the 32 the compiler takes\n"
       "bad-material-name: material "
       "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\" "
       "is 70 bytes long; the compiler takes at most 63\n"
       "bad-material-name: material \"two words\" has whitespace",
       s});
  s = Scene{};
  s.frames = 5;
  s.leftOut = 1;
  s.triangles = 0;
  cases.push_back(
      {"incomplete-frame: 2 frames leave out nodes; time 1 (line 12) has no pose for "
       "node \"bone1\"",
       s});
  for (const auto& [finding, scene] : cases) {
    std::string findings;
    EXPECT_TRUE(AgreesOrDeclines(Write(scene), finding, &findings)) << finding << ": declined";
    if (finding.empty()) {
      EXPECT_EQ(findings, "");
    } else {
      EXPECT_NE(findings.find(finding), std::string::npos) << finding << "\n" << findings;
    }
  }
}

// Anything but our layout: the stream check declines or still agrees.
TEST(StreamCheck, DeclinesWhatItDoesNotJudge) {
  // Every vertex loses links, so that the finding counts unique vertices.
  Scene scene;
  scene.links = " 4 0 0.400000 1 0.300000 2 0.200000 3 0.100000";
  const std::string base = Write(scene);
  const std::string vertex = "  2 0.250000 -0.250000 0.000000 0.000000 0.000000 1.000000";
  const std::string after = " 0.001000 1.000000" + scene.links + "\n";
  struct Change {
    const char* what;
    std::string from, to;
    std::string firstTo = "";  // when not empty, what the first of two becomes
  } changes[] = {
      {"nan", vertex + after, "  2 nan -0.250000 0.000000 0.000000 0.000000 1.000000" + after},
      {"inf in a pose", "40.000000 0.000000", "inf 0.000000"},
      {"another runtime's nan", "40.000000 0.000000", "1.#QNAN0 0.000000"},
      {"an unparsed line", "skeleton\n", "skeleton\nnonsense\n"},
      {"no links, and zero links", vertex + after, vertex + " 0.001000 1.000000\n",
       vertex + " 0.001000 1.000000 0\n"},
      {"a leading zero", vertex + after, "  2 00.250000" + vertex.substr(12) + after},
      {"not printf's text", vertex + after, "  2 32.000001" + vertex.substr(12) + after},
      {"printf's text and another of one float", vertex + after,
       "  2 32.000000" + vertex.substr(12) + after, "  2 32.000001" + vertex.substr(12) + after},
      {"tabs", "  2 0.250000", "\t2\t0.250000"},
      {"another padding of one vertex", vertex + after, " " + vertex + after},
      {"a negative zero", vertex + after, vertex + " 0.001000 1.000000 4 -0" + after.substr(22)},
      {"CRLF", "\n", "\r\n"},
      {"no last line end", "end\n" + std::string(), "end"},
      {"a comment", "triangles\n", "triangles\n// made by hand\n"},
      {"a blank material", "skin.tga\n", "   \n"},
      {"two nodes sections", "end\nskeleton\n", "end\nnodes\nend\nskeleton\n"},
      {"a pose of a node not there", "  1 1.500000", "  7 1.500000"},
      {"a triangle cut short", "end\n" + std::string(), "skin.tga\nend\n"},
      {"a lost node line", "  1 \"bone1\"   0\n", ""},
  };
  for (const Change& change : changes) {
    std::string text = base;
    if (change.what == std::string("no last line end")) {
      text.pop_back();
    } else {
      const std::size_t at = text.rfind(change.from);
      ASSERT_NE(at, std::string::npos) << change.what;
      text.replace(at, change.from.size(), change.to);
      if (!change.firstTo.empty())
        text.replace(text.find(change.from), change.from.size(), change.firstTo);
    }
    AgreesOrDeclines(text, change.what);
  }
}

// The exporter's own files, a reference and a sequence: judged, never declined.
TEST(StreamCheck, JudgesOurExportsOfTheSample) {
  kw::test::ScratchFolder folder;
  const std::string scene = std::string(KW_SOURCE_DIR) + "/samples/figure.json";
  for (const bool sequence : {false, true}) {
    const std::string out = folder / "out.smd";
    std::vector<std::string> arguments = {"export", scene, "-o", out};
    if (sequence) arguments.push_back("--sequence");
    ASSERT_EQ(kw::test::RunCli(folder, arguments).status, 0);
    EXPECT_TRUE(AgreesOrDeclines(kw::test::ReadFile(out), out));
  }
}

}  // namespace
