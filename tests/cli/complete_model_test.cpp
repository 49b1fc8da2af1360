// export --all writes a model that compiles without hand edits: a collision
// model whose hulls are convex and hold what they stand for, a QC for a prop,
// a character or an animation alone, loops found, and the size said in the
// compiler's units. Checked through the command line on Debian's test models.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "collision/convex_hull.h"
#include "smd/smd_reader.h"
#include "tests/cli/cli_runner.h"

namespace kw::test {
namespace {

const std::string kModels = "/usr/share/assimp/models/";

smd::File Read(const std::string& path) {
  smd::File file;
  std::string error;
  EXPECT_TRUE(smd::ReadSmd(path, &file, &error)) << error;
  return file;
}

struct Plane {
  double n[3];
  double d;  // n . p - d > 0 outside
};

Plane PlaneOf(const smd::Triangle& t) {
  const float* a = t.corners[0].position;
  const float* b = t.corners[1].position;
  const float* c = t.corners[2].position;
  const double u[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
  const double v[3] = {double(c[0]) - a[0], double(c[1]) - a[1], double(c[2]) - a[2]};
  Plane p{{u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]}, 0};
  const double length = std::sqrt(p.n[0] * p.n[0] + p.n[1] * p.n[1] + p.n[2] * p.n[2]);
  for (double& x : p.n) x /= length;
  p.d = p.n[0] * a[0] + p.n[1] * a[1] + p.n[2] * a[2];
  return p;
}

double Above(const Plane& p, const float* x) {
  return p.n[0] * x[0] + p.n[1] * x[1] + p.n[2] * x[2] - p.d;
}

// What convex_hull.h states for its points (a share of their diagonal plus
// four float steps of the largest coordinate), plus the file's six decimals.
double Tolerance(const std::vector<const float*>& points) {
  double low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
  double largest = 0, diagonal = 0;
  for (const float* p : points) {
    for (int a = 0; a < 3; ++a) {
      low[a] = std::fmin(low[a], p[a]);
      high[a] = std::fmax(high[a], p[a]);
      largest = std::fmax(largest, std::fabs(p[a]));
    }
  }
  for (int a = 0; a < 3; ++a) diagonal += (high[a] - low[a]) * (high[a] - low[a]);
  return collision::kContainShare * std::sqrt(diagonal) + 4 * std::ldexp(largest, -23) + 2e-6;
}

// One hull: closed faces, convex (each face plane against every corner),
// holding every point given.
void ExpectHullHolds(const std::vector<const smd::Triangle*>& faces,
                     const std::vector<const float*>& points, const std::string& what) {
  std::vector<const float*> corners;
  for (const smd::Triangle* t : faces)
    for (const smd::Vertex& v : t->corners) corners.push_back(v.position);
  const double slack = Tolerance(points.empty() ? corners : points);
  int convex = 0, held = 0;
  for (const smd::Triangle* t : faces) {
    const Plane plane = PlaneOf(*t);
    for (const float* c : corners) convex += Above(plane, c) > slack;
    for (const float* p : points) held += Above(plane, p) > slack;
  }
  EXPECT_GE(faces.size(), 4u) << what;
  EXPECT_EQ(convex, 0) << what << ": corners outside a face's plane";
  EXPECT_EQ(held, 0) << what << ": points outside the hull";
}

std::vector<const float*> CornersOf(const smd::File& file) {
  std::vector<const float*> points;
  for (const smd::Triangle& t : file.triangles)
    for (const smd::Vertex& v : t.corners) points.push_back(v.position);
  return points;
}

// The hulls of a prop's file: triangles joined where they share a corner.
std::vector<std::vector<const smd::Triangle*>> HullsOf(const smd::File& file) {
  std::map<std::vector<float>, int> owner;
  std::vector<int> parent;
  auto find = [&parent](int i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  for (std::size_t t = 0; t < file.triangles.size(); ++t) {
    parent.push_back(static_cast<int>(t));
    for (const smd::Vertex& v : file.triangles[t].corners) {
      const auto [at, added] =
          owner.emplace(std::vector<float>(v.position, v.position + 3), static_cast<int>(t));
      if (!added) parent[find(static_cast<int>(t))] = find(at->second);
    }
  }
  std::map<int, std::vector<const smd::Triangle*>> groups;
  for (std::size_t t = 0; t < file.triangles.size(); ++t)
    groups[find(static_cast<int>(t))].push_back(&file.triangles[t]);
  std::vector<std::vector<const smd::Triangle*>> hulls;
  for (auto& group : groups) hulls.push_back(group.second);
  return hulls;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CompleteModel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Exists(kModels + "X/Testwuson.X")) GTEST_SKIP() << "assimp-testmodels are not installed";
  }

  // export MODEL --all -o NAME plus options; the run must succeed.
  RunResult All(const std::string& model, const std::string& name,
                std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"export", kModels + model, "--all", "-o", name};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const RunResult run = RunCli(folder, arguments);
    EXPECT_EQ(run.status, 0) << model << ": " << Describe(run);
    return run;
  }

  ScratchFolder folder;
};

TEST_F(CompleteModel, PropsGetConvexHullsHoldingTheirMeshAndAStaticPropQc) {
  struct Prop {
    std::string model, name, options;
    std::size_t hulls;
  };
  for (const Prop& prop :
       {Prop{"Collada/duck.dae", "duck", "", 1}, Prop{"OBJ/spider.obj", "spider", "", 1},
        Prop{"glTF/CesiumMilkTruck/CesiumMilkTruck.gltf", "CesiumMilkTruck", "", 1},
        // Parts as the collision library counts them; 51 merge into 20.
        Prop{"OBJ/spider.obj", "spider", "parts", 18},
        Prop{"OBJ/WusonOBJ.obj", "WusonOBJ", "parts", 20}}) {
    const std::string out = prop.name + (prop.options.empty() ? "" : "_parts");
    const std::string what = prop.model + " " + prop.options;
    All(prop.model, out,
        prop.options.empty() ? std::vector<std::string>{}
                             : std::vector<std::string>{"--collision", "parts"});
    const std::string phys = out + "/" + prop.name + "_phys.smd";
    const RunResult check = RunCli(folder, {"check", phys});
    EXPECT_EQ(check.status, 0) << what << ": " << check.out;

    const smd::File hulls = Read(folder / phys);
    const smd::File reference = Read(folder / (out + "/" + prop.name + ".smd"));
    std::set<int> bones;
    for (const smd::Triangle& t : hulls.triangles)
      for (const smd::Vertex& v : t.corners) bones.insert(v.bone);
    EXPECT_EQ(bones.size(), 1u) << what << ": a prop's hulls are on one bone";
    const std::vector<std::vector<const smd::Triangle*>> pieces = HullsOf(hulls);
    EXPECT_EQ(pieces.size(), prop.hulls) << what;
    if (pieces.size() == 1) {
      ExpectHullHolds(pieces[0], CornersOf(reference), what);
    } else {
      for (const auto& piece : pieces) ExpectHullHolds(piece, {}, what);
      // Every vertex lies in some piece.
      const double slack = Tolerance(CornersOf(reference));
      int outside = 0;
      for (const float* p : CornersOf(reference)) {
        bool in = false;
        for (const auto& piece : pieces) {
          bool inPiece = true;
          for (const smd::Triangle* t : piece) inPiece = inPiece && Above(PlaneOf(*t), p) <= slack;
          in = in || inPiece;
        }
        outside += !in;
      }
      EXPECT_EQ(outside, 0) << what;
    }

    const std::string qc = ReadFile(folder / (out + "/" + prop.name + ".qc"));
    for (const std::string& line : std::vector<std::string>{
             "\n$surfaceprop \"default\"\n", "\n$staticprop\n",
             "\n$collisionmodel \"" + prop.name + "_phys.smd\"\n{\n\t$automass\n",
             "\n//   $collisionmodel   the prop's collision model in " + prop.name + "_phys.smd",
             "\n//   $staticprop       ", "\n//   $surfaceprop      "}) {
      EXPECT_TRUE(Has(qc, line)) << what << " lacks " << line << "\n" << qc;
    }
    EXPECT_EQ(Has(qc, "\t$concave\n"), pieces.size() > 1) << what;
  }
}

TEST_F(CompleteModel, CharactersGetAHullPerBoneALinkedRagdollAndLoops) {
  struct Character {
    std::string model, name, root;
    std::vector<std::string> loops, still;
  };
  for (const Character& c : {Character{"X/Testwuson.X",
                                       "Testwuson",
                                       "Spine_Back01",
                                       {"Wuson_Run", "Wuson_Walk"},
                                       {"Wuson_Bind"}},
                             Character{"FBX/animation_with_skeleton.fbx",
                                       "animation_with_skeleton",
                                       "Bone",
                                       {},
                                       {"Armature_ArmatureAction"}}}) {
    All(c.model, c.name, {"--mass", "80"});
    const smd::File hulls = Read(folder / (c.name + "/" + c.name + "_phys.smd"));
    const smd::File reference = Read(folder / (c.name + "/" + c.name + ".smd"));
    const std::string qc = ReadFile(folder / (c.name + "/" + c.name + ".qc"));
    std::map<int, std::string> names;
    for (const smd::Node& node : reference.nodes) names[node.index] = node.name;

    // Each corner on its bone alone.
    std::map<int, std::vector<const smd::Triangle*>> byBone;
    for (const smd::Triangle& t : hulls.triangles) {
      byBone[t.corners[0].bone].push_back(&t);
      for (const smd::Vertex& v : t.corners) {
        ASSERT_EQ(v.linkCount, 1u) << c.model;
        const smd::Link& link = hulls.links[v.firstLink];
        EXPECT_EQ(link.bone, v.bone) << c.model;
        EXPECT_EQ(link.weight, 1.0f) << c.model;
        EXPECT_EQ(v.bone, t.corners[0].bone) << c.model << ": a triangle across bones";
      }
    }
    // The vertices each bone carries most, the lower bone on a tie.
    std::map<int, std::vector<const float*>> carried;
    for (const smd::Triangle& t : reference.triangles) {
      for (const smd::Vertex& v : t.corners) {
        const smd::Link* best = nullptr;
        for (std::uint32_t k = 0; k < v.linkCount; ++k) {
          const smd::Link& link = reference.links[v.firstLink + k];
          if (!best || link.weight > best->weight ||
              (link.weight == best->weight && link.bone < best->bone))
            best = &link;
        }
        if (best) carried[best->bone].push_back(v.position);
      }
    }
    EXPECT_GT(byBone.size(), 5u) << c.model;
    for (const auto& [bone, points] : carried) {
      const std::string name = names[bone];
      if (byBone.count(bone) == 0) {
        EXPECT_TRUE(Has(qc, "\n//   \"" + name + "\": ")) << c.model << ": " << name << " unlisted";
        continue;
      }
      ExpectHullHolds(byBone[bone], points, c.model + " bone " + name);
      const std::string constraint = "\t$jointconstrain \"" + name + "\" ";
      EXPECT_EQ(Has(qc, constraint + "x limit -180 180 0\n" + constraint + "y limit -180 180 0\n" +
                            constraint + "z limit -180 180 0\n"),
                name != c.root)
          << c.model << ": " << name;
    }
    for (const auto& entry : byBone)
      EXPECT_EQ(carried.count(entry.first), 1u)
          << c.model << ": a hull on a bone that carries none";
    EXPECT_TRUE(Has(qc, "\n$collisionjoints \"" + c.name +
                            "_phys.smd\"\n{\n\t$mass 80\n\t$rootbone \"" + c.root + "\"\n"))
        << qc;
    EXPECT_FALSE(Has(qc, "$staticprop")) << c.model;
    for (const std::string& loop : c.loops)
      EXPECT_TRUE(Has(qc, "\n$sequence \"" + loop + "\" \"" + loop + ".smd\" fps 30 loop\n")) << qc;
    for (const std::string& still : c.still)
      EXPECT_TRUE(Has(qc, "\n$sequence \"" + still + "\" \"" + still + ".smd\" fps 30\n")) << qc;
  }
  // A skinned figure without animations is a ragdoll still, never a static prop.
  ASSERT_EQ(
      RunCli(folder, {"export", KW_SOURCE_DIR "/samples/figure.json", "--all", "-o", "fig"}).status,
      0);
  const std::string figure = ReadFile(folder / "fig/figure.qc");
  EXPECT_TRUE(Has(figure, "\n$collisionjoints \"figure_phys.smd\"\n")) << figure;
  EXPECT_FALSE(Has(figure, "$staticprop")) << figure;
  // A scene file's node ids need not start at 0.
  EXPECT_TRUE(Has(figure, "\n//   figure_body.tga\n//   figure_head.tga\n")) << figure;
}

// The summary's figures are the written reference's, in inches when asked.
TEST_F(CompleteModel, TheSummarySaysTheSizeInTheCompilersUnitAndHowToFixIt) {
  const std::string human = kModels + "Collada/human.zae";
  RunResult run = RunCli(folder, {"export", human, "-o", "human.smd", "--to-source-units"});
  ASSERT_EQ(run.status, 0) << Describe(run);
  const smd::File file = Read(folder / "human.smd");
  double low = INFINITY, high = -INFINITY;
  for (const float* p : CornersOf(file)) {
    low = std::fmin(low, p[2]);
    high = std::fmax(high, p[2]);
  }
  EXPECT_NEAR(high - low, 65.3, 0.05);
  EXPECT_EQ(run.out,
            "human.smd: 3 nodes, 28796 triangles, 2 materials; 65.3 units on its longest side, "
            "65.3 tall (converted from meters)\n");

  run = RunCli(folder, {"export", human, "-o", "human.smd"});
  EXPECT_EQ(run.out,
            "human.smd: 3 nodes, 28796 triangles, 2 materials; 1.66 units on its longest side, "
            "1.66 tall; too small for the compiler, whose unit is an inch (a person is about 72 "
            "units tall): the file is in meters (as its format is), and --to-source-units makes "
            "it 65.3 units tall\n");
  run = RunCli(folder, {"export", human, "-o", "human.smd", "--quiet"});
  EXPECT_EQ(run.out, "");
  run = RunCli(folder, {"export", human, "-o", "-", "--to-source-units"});
  EXPECT_EQ(run.out.substr(run.out.size() - 4), "end\n");
  EXPECT_TRUE(Has(run.err, "stdout: 3 nodes, 28796 triangles")) << run.err;

  // A file that says no unit: the hint names --units, which conversion needs.
  const std::string spider = kModels + "OBJ/spider.obj";
  run = RunCli(folder, {"export", spider, "-o", "spider.smd", "--scale", "0.01"});
  EXPECT_TRUE(Has(run.out,
                  "; 1.93 units on its longest side, 0.797 tall; too small for the "
                  "compiler, whose unit is an inch (a person is about 72 units tall): "
                  "the file does not say its unit; name it with --units"))
      << run.out;
  run = RunCli(folder, {"export", spider, "-o", "spider.smd", "--to-source-units"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(IsOneLine(run.err) && Has(run.err, "name it with --units")) << run.err;
  run = RunCli(folder, {"export", spider, "-o", "spider.smd", "--units", "CM", "--to-source-units",
                        "--scale", "2"});
  EXPECT_TRUE(Has(run.out,
                  "; 152 units on its longest side, 62.8 tall (converted from "
                  "centimeters)\n"))
      << run.out;
}

TEST_F(CompleteModel, AnimationAloneDefinesItsBonesAndHasNoBody) {
  All("BVH/01_01.bvh", "walk", {"--quiet"});
  const std::string qc = ReadFile(folder / "walk/01_01.qc");
  const smd::File reference = Read(folder / "walk/01_01.smd");
  EXPECT_TRUE(reference.triangles.empty());
  EXPECT_FALSE(Has(qc, "$body")) << qc;
  EXPECT_FALSE(Has(qc, "$collision")) << qc;
  EXPECT_EQ(ListFolder(folder / "walk"),
            (std::vector<std::string>{"01_01.qc", "01_01.smd", "Motion.smd"}));
  // Hips: turned upright, a quarter turn about X, written as angles about Y, Z, X.
  EXPECT_TRUE(Has(qc,
                  "\n$definebone \"Hips\" \"\" 0.000000 0.000000 0.000000 0.000000 "
                  "0.000000 89.999982 0 0 0 0 0 0\n"))
      << qc;
  std::size_t defined = 0;
  for (const smd::Node& node : reference.nodes) {
    const std::string parent = node.parent >= 0 ? reference.nodes[node.parent].name : "";
    defined += Has(qc, "\n$definebone \"" + node.name + "\" \"" + parent + "\" ");
  }
  EXPECT_EQ(defined, reference.nodes.size());
  EXPECT_TRUE(Has(qc, "\n$sequence \"Motion\" \"Motion.smd\" fps 30\n")) << qc;
}

TEST_F(CompleteModel, SmallThingsUsersTrippedOn) {
  RunResult run = RunCli(folder, {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("kestrelworks ", 0), 0u) << run.out;

  const std::string box = kModels + "OBJ/box.obj";
  ASSERT_EQ(RunCli(folder, {"export", box, "-o", "lower.smd", "--up", "x"}).status, 0);
  ASSERT_EQ(RunCli(folder, {"export", box, "-o", "upper.smd", "--up", "X"}).status, 0);
  ASSERT_EQ(RunCli(folder, {"export", box, "-o", "y.smd", "--up", "Y"}).status, 0);
  EXPECT_EQ(ReadFile(folder / "lower.smd"), ReadFile(folder / "upper.smd"));
  EXPECT_NE(ReadFile(folder / "lower.smd"), ReadFile(folder / "y.smd"));

  run = RunCli(folder, {"export", box, "--all", "-o", "box.smd"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err,
            "kestrelworks: box.smd: --all writes several files into the folder -o names, and this "
            "looks like a file's name; name a folder (-o box)\n");
  EXPECT_FALSE(Exists(folder / "box.smd"));

  for (const char* command : {"info", "check", "preview"}) {
    run = RunCli(folder, {command, "--help"});
    EXPECT_TRUE(Has(run.out, "\nExit status: 0 ")) << command << ": " << run.out;
    EXPECT_TRUE(Has(run.out, " 3 ")) << command;
  }
  run = RunCli(folder, {"info", kModels + "glTF2/glTF-Sample-Models/AnimatedMorphCube-glTF/"
                                          "AnimatedMorphCube.gltf"});
  EXPECT_TRUE(Has(run.out,
                  "\n  0 \"Square\": 4.200 s, frames 0 to 126, 0 channels, 1 morph "
                  "channel (sampled)\n"))
      << run.out;
  WriteFile(folder / "scene.json", SmallScene());
  run = RunCli(folder, {"export", "scene.json", "-o", "s.smd", "--to-source-units"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(IsOneLine(run.err)) << run.err;
}

}  // namespace
}  // namespace kw::test
