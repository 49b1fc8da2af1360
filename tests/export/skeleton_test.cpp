#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_scene.h"
#include "export/skeleton_writer.h"
#include "readers/scene_file/scene_file.h"
#include "scene/memory_scene.h"
#include "tests/support/camera_scene.h"
#include "tests/support/export_harness.h"

using kw::AnimationKey;
using kw::CLocale;
using kw::ExportOptions;
using kw::ExportOutcome;
using kw::kSkeletonTwoPi;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::NodeRegistry;
using kw::SectionInput;
using kw::StringSink;
using kw::TextStream;
using kw::WarningReporter;
using kw::WrapSkeletonAngle;
using kw::WriteSkeleton;

namespace {

using kw::test::ExportRequest;
using kw::test::ExportResult;
using kw::test::ReadGolden;
using kw::test::Reference;
using kw::test::RunExport;
using kw::test::Sequence;
using kw::test::ThroughSkeleton;

constexpr int kCamera = 4;
constexpr int kLight = 1;

Matrix3 Translate(float x, float y, float z) {
  return Matrix3(Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(x, y, z));
}
// A quarter turn about z: the x axis goes to y.
Matrix3 QuarterTurnZ(float x, float y, float z) {
  return Matrix3(Point3(0, 1, 0), Point3(-1, 0, 0), Point3(0, 0, 1), Point3(x, y, z));
}
// A quarter turn about x: the y axis goes to z.
Matrix3 QuarterTurnX(float x, float y, float z) {
  return Matrix3(Point3(1, 0, 0), Point3(0, 0, 1), Point3(0, -1, 0), Point3(x, y, z));
}
Matrix3 Scaled(float x, float y, float z) {
  return Matrix3(Point3(x, 0, 0), Point3(0, y, 0), Point3(0, 0, z), Point3(0, 0, 0));
}

MemoryNode& Add(MemoryScene& scene, int id, const std::string& name, int type, MemoryNode* parent,
                const Matrix3& local) {
  MemoryNode& node = scene.AddNode(id, name, parent);
  scene.MakeObject(node, type);
  node.SetLocalTransform(local);
  return node;
}

ExportRequest FirstFrameOnly() { return Sequence(0, 0); }

void ExpectNoWarnings(const ExportResult& result) {
  EXPECT_TRUE(result.warnings.empty()) << result.warnings.front();
  EXPECT_EQ(result.outcome, ExportOutcome::kCompleted) << result.failure;
}

TEST(SkeletonGolden, HelperWithMeshChild) {
  MemoryScene scene;
  MemoryNode& root = Add(scene, 1, "Root", kObjectHelper, nullptr, QuarterTurnZ(1, 2, 3));
  MemoryNode& body = scene.AddNode(2, "Body", &root);
  scene.MakeMesh(body);
  body.SetLocalTransform(Translate(0, 0, 5));

  const std::string golden = ReadGolden("skeleton_helper_with_mesh_child.smd");
  const ExportResult sequence = RunExport(scene, FirstFrameOnly());
  ExpectNoWarnings(sequence);
  EXPECT_EQ(sequence.smd, golden);
  // A reference export writes the same two sections before its triangles.
  EXPECT_EQ(ThroughSkeleton(RunExport(scene, Reference()).smd), golden);
}

// Hips (excluded) > Spine > Head; Head is turned a quarter about x.
std::unique_ptr<MemoryScene> ExcludedParentScene() {
  auto scene = std::make_unique<MemoryScene>();
  MemoryNode& hips = Add(*scene, 10, "Hips", kObjectBone, nullptr, Translate(0, 0, 10));
  MemoryNode& spine = Add(*scene, 11, "Spine", kObjectBone, &hips, Translate(0, 0, 2));
  MemoryNode& head = Add(*scene, 12, "Head", kObjectBone, &spine, QuarterTurnX(0, 1, 0));
  hips.SetExcluded(true);
  for (MemoryNode* node : {&hips, &spine, &head}) node->SetSelected(true);
  return scene;
}

TEST(SkeletonGolden, ExcludedParentMakesItsChildARootInWorldSpace) {
  auto scene = ExcludedParentScene();
  const ExportResult result = RunExport(*scene, FirstFrameOnly());
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_excluded_parent_whole_scene.smd"));
}

TEST(SkeletonGolden, SelectedOnlyKeepsTheExcludedParent) {
  auto scene = ExcludedParentScene();
  ExportRequest request = FirstFrameOnly();
  request.options.selectedOnly = true;
  const ExportResult result = RunExport(*scene, request);
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_excluded_parent_selected_only.smd"));
}

TEST(SkeletonGolden, PrunedSubtreeIsLeftOut) {
  MemoryScene scene;
  MemoryNode& root = Add(scene, 1, "Root", kObjectHelper, nullptr, Translate(0, 0, 1));
  MemoryNode& pruned = Add(scene, 2, "Pruned", kObjectBone, &root, Translate(9, 9, 9));
  Add(scene, 3, "Under", kObjectBone, &pruned, Translate(8, 8, 8));
  Add(scene, 4, "Kept", kObjectBone, &root, Translate(2, 0, 0));
  pruned.SetPruned(true);

  const ExportResult result = RunExport(scene, FirstFrameOnly());
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_pruned_subtree.smd"));
}

// Gun is a root (its camera is not exported), so its pose is its world one:
// (1, 0, 0) turned a quarter about z is (0, 1, 0), plus the camera's (0, 0, 3).
TEST(SkeletonGolden, ChildOfUnexportedParentIsARootPosedInTheWorld) {
  MemoryScene scene;
  MemoryNode& cam = Add(scene, 40, "Cam", kCamera, nullptr, QuarterTurnZ(0, 0, 3));
  Add(scene, 41, "Gun", kObjectBone, &cam, Translate(1, 0, 0));

  const ExportResult result = RunExport(scene, FirstFrameOnly());
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_unexported_parent.smd"));
}

// Read from a scene file: Gun sits 1 along x of a camera that moves 20 along
// x and turns a quarter about z over two frames. Its world pose by hand:
// frame 1, (10, 0, 0) + (cos 45, sin 45, 0) and 45 degrees; frame 2,
// (20, 1, 0) and 90 degrees.
TEST(SkeletonGolden, ChildOfAMovingCameraFollowsItsWorldPoseInASequence) {
  const std::string text = kw::test::kBoneUnderCameraScene;
  std::string error;
  const std::unique_ptr<MemoryScene> scene = kw::ParseSceneText(text, "camera.json", &error);
  ASSERT_TRUE(scene) << error;
  const ExportResult result = RunExport(*scene, Sequence(0, 2));
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_camera_child_sequence.smd"));
}

TEST(SkeletonGolden, MirroredParentNegatesPositionOnly) {
  MemoryScene scene;
  // One negated axis: a mirror.
  MemoryNode& arm = Add(scene, 1, "Arm", kObjectBone, nullptr, Translate(5, 0, 0));
  arm.SetObjectOffset(Scaled(-1, 1, 1));
  Add(scene, 2, "Hand", kObjectBone, &arm, QuarterTurnZ(1, 2, 3));
  // A negated zero is written as zero.
  Add(scene, 7, "Finger", kObjectBone, &arm, Translate(0, 4, 0));
  // Two negated axes: a half turn, no mirror.
  MemoryNode& leg = Add(scene, 3, "Leg", kObjectBone, nullptr, Translate(0, 5, 0));
  leg.SetObjectOffset(Scaled(-1, -1, 1));
  Add(scene, 4, "Foot", kObjectBone, &leg, QuarterTurnZ(1, 2, 3));
  // A mirrored parent that is not linked leaves the position alone.
  MemoryNode& ghost = Add(scene, 5, "Ghost", kObjectHelper, nullptr, Translate(0, 0, 7));
  ghost.SetExcluded(true);
  ghost.SetObjectOffset(Scaled(1, 1, -1));
  Add(scene, 6, "Loose", kObjectBone, &ghost, Translate(1, 2, 3));

  const ExportResult result = RunExport(scene, FirstFrameOnly());
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_mirrored_parent.smd"));
}

TEST(SkeletonGolden, ScaleOfNodeAndParentNeverReachesTheOutput) {
  MemoryScene scene;
  const Matrix3 pelvisLocal(Point3(0, 2, 0), Point3(-2, 0, 0), Point3(0, 0, 2), Point3(0, 0, 4));
  MemoryNode& pelvis = Add(scene, 1, "Pelvis", kObjectBone, nullptr, pelvisLocal);
  const Matrix3 thighLocal(Point3(3, 0, 0), Point3(0, 1, 0), Point3(0, 0, 0.5f), Point3(1, 0, 0));
  Add(scene, 2, "Thigh", kObjectBone, &pelvis, thighLocal);

  const ExportResult result = RunExport(scene, FirstFrameOnly());
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, ReadGolden("skeleton_scaled_node_and_parent.smd"));
}

// Root moves along x: 7 at tick 0, then 10, 11, 12 at frames 10, 11, 12
// (160 ticks per frame); Tip sits one unit above it on y.
std::unique_ptr<MemoryScene> MovingRootScene() {
  auto scene = std::make_unique<MemoryScene>();
  scene->SetTiming(1600, 3200, 160);
  MemoryNode& root = scene->AddNode(1, "Root");
  scene->MakeObject(root, kObjectHelper);
  root.SetPositionKeys({{0, Point3(7, 0, 0)}, {1600, Point3(10, 0, 0)}, {1920, Point3(12, 0, 0)}});
  Add(*scene, 2, "Tip", kObjectBone, &root, Translate(0, 1, 0));
  return scene;
}

TEST(SkeletonGolden, SequenceCountsPosesFromZero) {
  auto scene = MovingRootScene();
  const ExportResult forward = RunExport(*scene, Sequence(10, 12));
  ExpectNoWarnings(forward);
  EXPECT_EQ(forward.smd, ReadGolden("skeleton_sequence_10_to_12.smd"));

  const ExportResult reversed = RunExport(*scene, Sequence(10, 12, true));
  ExpectNoWarnings(reversed);
  EXPECT_EQ(reversed.smd, ReadGolden("skeleton_sequence_10_to_12_reversed.smd"));
}

TEST(SkeletonGolden, ReferenceExportPosesTickZeroWhateverTheSceneStartAndRange) {
  auto scene = MovingRootScene();
  ExportRequest request = Reference();
  request.options.startFrame = 10;
  request.options.endFrame = 12;
  request.options.reverseSequence = true;
  const ExportResult result = RunExport(*scene, request);
  EXPECT_EQ(ThroughSkeleton(result.smd), ReadGolden("skeleton_reference_at_tick_zero.smd"));
}

TEST(SkeletonGolden, EmptyNodeListStillWritesEveryTimeLine) {
  MemoryScene scene;
  scene.MakeObject(scene.AddNode(1, "Camera01"), kCamera);
  scene.MakeObject(scene.AddNode(2, "Omni01"), kLight);

  const ExportResult sequence = RunExport(scene, Sequence(0, 2));
  ExpectNoWarnings(sequence);
  EXPECT_EQ(sequence.smd, ReadGolden("skeleton_empty_node_list.smd"));
  EXPECT_EQ(ThroughSkeleton(RunExport(scene, Reference()).smd),
            "version 1\nnodes\nend\nskeleton\ntime 0\nend\n");
}

// Spaces and printf directives stay as they are; a double quote, which would
// end the name early, is written as '_' and said once.
TEST(SkeletonGolden, NamesAreWrittenWholeAndUnescaped) {
  MemoryScene scene;
  MemoryNode& hand = Add(scene, 1, "Bip01 L Hand", kObjectBone, nullptr, Translate(1, 1, 1));
  Add(scene, 2, "50% \"odd\" %s", kObjectBone, &hand, Translate(0, 0, 1));

  const ExportResult result = RunExport(scene, FirstFrameOnly());
  EXPECT_EQ(result.warnings,
            std::vector<std::string>{"The name of node 1 holds a double quote or a line break, "
                                     "which would break the file; it is written as "
                                     "\"50% _odd_ %s\"."});
  EXPECT_EQ(result.smd, ReadGolden("skeleton_name_with_spaces.smd"));
}

TEST(NodesSection, IndicesWiderThanThreeColumnsAreWrittenWhole) {
  MemoryScene scene;
  MemoryNode& root = Add(scene, 0, "B0", kObjectBone, nullptr, Matrix3());
  for (int i = 1; i <= 1000; ++i) {
    Add(scene, i, "B" + std::to_string(i), kObjectBone, &root, Matrix3());
  }
  const std::string smd = RunExport(scene, FirstFrameOnly()).smd;
  EXPECT_NE(smd.find("\n  0 \"B0\"  -1\n  1 \"B1\"   0\n"), std::string::npos);
  EXPECT_NE(smd.find("\n 99 \"B99\"   0\n100 \"B100\"   0\n"), std::string::npos);
  EXPECT_NE(smd.find("\n1000 \"B1000\"   0\nend\n"), std::string::npos);
  EXPECT_NE(smd.find("\n1000 0.000000 0.000000 0.000000 0.000000 0.000000 0.000000\nend\n"),
            std::string::npos);
}

// One node whose x position is `first` at tick `from` and `last` at tick `to`.
std::unique_ptr<MemoryScene> KeyedScene(int ticksPerFrame, int from, float first, int to,
                                        float last) {
  auto scene = std::make_unique<MemoryScene>();
  scene->SetTiming(0, 100 * ticksPerFrame, ticksPerFrame);
  MemoryNode& node = scene->AddNode(1, "Bone");
  scene->MakeObject(node, kObjectBone);
  node.SetPositionKeys({{from, Point3(first, 0, 0)}, {to, Point3(last, 0, 0)}});
  return scene;
}

std::string PoseFile(const std::vector<float>& xs) {
  std::string text = "version 1\nnodes\n  0 \"Bone\"  -1\nend\nskeleton\n";
  for (std::size_t i = 0; i < xs.size(); ++i) {
    text += "time " + std::to_string(i) + "\n  0 " + std::to_string(xs[i]) +
            " 0.000000 0.000000 0.000000 0.000000 0.000000\n";
  }
  return text + "end\n";
}

TEST(SkeletonTicks, RangeEndingAtTheLargestTickStopsThere) {
  auto scene = KeyedScene(1, INT_MAX - 2, 1, INT_MAX, 3);
  const ExportResult result = RunExport(*scene, Sequence(INT_MAX - 2, INT_MAX));
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, PoseFile({1, 2, 3}));
}

TEST(SkeletonTicks, ReversedRangeStartingAtTheSmallestTickStopsThere) {
  auto scene = KeyedScene(1, INT_MIN, 1, INT_MIN + 2, 3);
  const ExportResult result = RunExport(*scene, Sequence(INT_MIN, INT_MIN + 2, true));
  ExpectNoWarnings(result);
  EXPECT_EQ(result.smd, PoseFile({3, 2, 1}));
}

TEST(SkeletonTicks, FramesPastTheLargestTickAreClampedWithAWarning) {
  // 13421772 * 160 = 2147483520 is the last frame whose tick fits.
  auto scene = KeyedScene(160, 2147483360, 1, 2147483520, 2);
  for (bool reverse : {false, true}) {
    const ExportResult result = RunExport(*scene, Sequence(13421771, INT_MAX, reverse));
    ASSERT_EQ(result.warnings.size(), 1u);
    EXPECT_EQ(result.warnings[0],
              "Frames 13421771 to 2147483647 reach past the time the scene can hold "
              "(160 ticks per frame).\nOnly frames 13421771 to 13421772 were exported.");
    EXPECT_EQ(result.smd, reverse ? PoseFile({2, 1}) : PoseFile({1, 2}));
  }
}

TEST(SkeletonTicks, FramesBeforeTheSmallestTickAreClampedWithAWarning) {
  // -13421772 * 160 = -2147483520 is the first frame whose tick fits.
  auto scene = KeyedScene(160, -2147483520, 1, -2147483360, 2);
  const ExportResult result = RunExport(*scene, Sequence(INT_MIN, -13421771));
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0],
            "Frames -2147483648 to -13421771 reach past the time the scene can hold "
            "(160 ticks per frame).\nOnly frames -13421772 to -13421771 were exported.");
  EXPECT_EQ(result.smd, PoseFile({1, 2}));
}

// Runs WriteSkeleton alone with ticks per frame that never passed the
// export's check.
std::string SkeletonWithTicksPerFrame(int ticksPerFrame, bool exportSequence,
                                      std::vector<std::string>* warnings) {
  MemoryScene scene;
  Add(scene, 1, "Bone", kObjectBone, nullptr, Translate(1, 2, 3));
  kw::test::RecordingWarnings recorder;
  WarningReporter reporter(&recorder, CLocale::Shared());
  NodeRegistry nodes;
  scene.Initialise(false);
  nodes.CollectNodes(scene, false);
  ExportOptions options;
  options.exportSequence = exportSequence;
  options.startFrame = 0;
  options.endFrame = 2;
  std::string text;
  {
    TextStream smd(std::make_unique<StringSink>(&text));
    WriteSkeleton(SectionInput{smd, nodes, reporter, options, ticksPerFrame});
  }
  *warnings = recorder.messages;
  return text;
}

TEST(SkeletonTicks, TicksPerFrameThatIsNotPositiveWritesNoSequencePoses) {
  for (int ticksPerFrame : {0, -160}) {
    std::vector<std::string> warnings;
    EXPECT_EQ(SkeletonWithTicksPerFrame(ticksPerFrame, true, &warnings), "skeleton\nend\n");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The scene's ticks per frame (" + std::to_string(ticksPerFrame) +
                               ") must be a positive number.\nThe skeleton holds no poses.");

    // The reference pose needs no step.
    EXPECT_EQ(SkeletonWithTicksPerFrame(ticksPerFrame, false, &warnings),
              "skeleton\ntime 0\n  0 1.000000 2.000000 3.000000 0.000000 0.000000 0.000000\nend\n");
    EXPECT_TRUE(warnings.empty());
  }
}

TEST(SkeletonAngle, TwoPiIsTheSinglePrecisionConstant) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &kSkeletonTwoPi, sizeof bits);
  EXPECT_EQ(bits, 0x40C90FDBu);
}

TEST(SkeletonAngle, WholeTurnsAreRemovedOnlyOutsideTwoPi) {
  EXPECT_EQ(WrapSkeletonAngle(7.0f), 7.0f - kSkeletonTwoPi);
  EXPECT_NEAR(WrapSkeletonAngle(7.0f), 0.716815f, 1e-6f);
  EXPECT_EQ(WrapSkeletonAngle(-7.0f), -7.0f + kSkeletonTwoPi);
  EXPECT_EQ(WrapSkeletonAngle(kSkeletonTwoPi), 0.0f);
  EXPECT_EQ(WrapSkeletonAngle(-kSkeletonTwoPi), 0.0f);
  EXPECT_EQ(WrapSkeletonAngle(20.0f), (20.0f - kSkeletonTwoPi - kSkeletonTwoPi) - kSkeletonTwoPi);
  // Inside the open interval nothing changes, not even into -pi..pi.
  EXPECT_EQ(WrapSkeletonAngle(-3.5f), -3.5f);
  EXPECT_EQ(WrapSkeletonAngle(6.28f), 6.28f);
  EXPECT_EQ(WrapSkeletonAngle(0.0f), 0.0f);
}

TEST(SkeletonAngle, NonFiniteAndHugeAnglesEndTheWrap) {
  EXPECT_TRUE(std::isnan(WrapSkeletonAngle(std::numeric_limits<float>::quiet_NaN())));
  EXPECT_EQ(WrapSkeletonAngle(std::numeric_limits<float>::infinity()),
            std::numeric_limits<float>::infinity());
  EXPECT_EQ(WrapSkeletonAngle(-std::numeric_limits<float>::infinity()),
            -std::numeric_limits<float>::infinity());
  for (float huge : {1e30f, -1e30f, 3e9f, -3e9f}) {
    const float wrapped = WrapSkeletonAngle(huge);
    EXPECT_LT(wrapped, kSkeletonTwoPi) << huge;
    EXPECT_GT(wrapped, -kSkeletonTwoPi) << huge;
  }
}

// The round trip reads the file back with its own small reader and rebuilds
// every world transform in double precision.

struct Affine {
  double r[3][3];  // rows: the images of the axes
  double t[3];
};

Affine Multiply(const Affine& a, const Affine& b) {  // a applied first
  Affine m{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) m.r[i][j] += a.r[i][k] * b.r[k][j];
    }
  }
  for (int j = 0; j < 3; ++j) {
    m.t[j] = b.t[j];
    for (int k = 0; k < 3; ++k) m.t[j] += a.t[k] * b.r[k][j];
  }
  return m;
}

Affine Rotation(int axis, double angle) {
  const double c = std::cos(angle), s = std::sin(angle);
  const int u = (axis + 1) % 3, v = (axis + 2) % 3;
  Affine m{};
  m.r[axis][axis] = 1;
  m.r[u][u] = c;
  m.r[u][v] = s;
  m.r[v][u] = -s;
  m.r[v][v] = c;
  return m;
}

struct WrittenSmd {
  std::vector<std::string> names;
  std::vector<int> parents;
  std::vector<std::vector<std::array<double, 6>>> poses;  // [pose][index]
};

WrittenSmd ReadSmd(const std::string& text) {
  WrittenSmd smd;
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "version 1");
  std::getline(in, line);
  EXPECT_EQ(line, "nodes");
  while (std::getline(in, line) && line != "end") {
    const std::size_t open = line.find('"');
    const std::size_t close = line.rfind('"');
    std::istringstream fields(line.substr(close + 1));
    int parent = -2;
    fields >> parent;
    EXPECT_EQ(std::stoi(line), static_cast<int>(smd.parents.size()));
    smd.names.push_back(line.substr(open + 1, close - open - 1));
    smd.parents.push_back(parent);
  }
  std::getline(in, line);
  EXPECT_EQ(line, "skeleton");
  while (std::getline(in, line) && line != "end") {
    if (line.compare(0, 5, "time ") == 0) {
      EXPECT_EQ(std::stoi(line.substr(5)), static_cast<int>(smd.poses.size()));
      smd.poses.emplace_back();
      continue;
    }
    std::istringstream fields(line);
    int index = -1;
    std::array<double, 6> pose{};
    fields >> index;
    for (double& value : pose) fields >> value;
    EXPECT_FALSE(fields.fail()) << line;
    EXPECT_EQ(index, static_cast<int>(smd.poses.back().size()));
    smd.poses.back().push_back(pose);
  }
  return smd;
}

TEST(SkeletonRoundTrip, WrittenLocalPosesRebuildTheSceneTransforms) {
  constexpr int kBones = 50;
  constexpr int kFrames = 100;
  constexpr int kTicksPerFrame = 160;
  std::mt19937 random(20240611u);
  std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
  std::uniform_real_distribution<float> scale(0.8f, 1.25f);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::uniform_int_distribution<int> tick(0, (kFrames - 1) * kTicksPerFrame);
  std::bernoulli_distribution oneIn5(0.2);

  MemoryScene scene;
  scene.SetTiming(0, (kFrames - 1) * kTicksPerFrame, kTicksPerFrame);
  std::vector<MemoryNode*> bones;
  std::vector<int> sceneParent;
  std::vector<bool> mirrors;
  for (int i = 0; i < kBones; ++i) {
    const int parent =
        i == 0 || oneIn5(random) ? -1 : std::uniform_int_distribution<int>(0, i - 1)(random);
    MemoryNode& bone =
        scene.AddNode(1000 + 7 * i, "Bone" + std::to_string(i),
                      parent < 0 ? nullptr : bones[static_cast<std::size_t>(parent)]);
    scene.MakeObject(bone, kObjectBone);
    std::vector<AnimationKey<Point3>> positions, scales;
    std::vector<AnimationKey<Quat>> rotations;
    for (int k = 0; k < 4; ++k) {
      positions.push_back(
          {tick(random), Point3(coordinate(random), coordinate(random), coordinate(random))});
      const float s = scale(random);
      scales.push_back({tick(random), Point3(s, s, s)});
      rotations.push_back(
          {tick(random), Quat(normal(random), normal(random), normal(random), normal(random))});
    }
    bone.SetPositionKeys(positions);
    bone.SetScaleKeys(scales);
    bone.SetRotationKeys(rotations);
    // A mirrored object under an unmirrored node.
    const bool mirrored = oneIn5(random);
    if (mirrored) bone.SetObjectOffset(Scaled(1, -1, 1));
    bones.push_back(&bone);
    sceneParent.push_back(parent);
    mirrors.push_back(mirrored);
  }

  const ExportResult result = RunExport(scene, Sequence(0, kFrames - 1));
  ExpectNoWarnings(result);
  const WrittenSmd smd = ReadSmd(result.smd);
  ASSERT_EQ(smd.parents.size(), static_cast<std::size_t>(kBones));
  ASSERT_EQ(smd.poses.size(), static_cast<std::size_t>(kFrames));
  // SMD index to bone number, through the names; parents precede children.
  std::vector<int> boneOf(kBones, -1);
  for (int i = 0; i < kBones; ++i) {
    boneOf[static_cast<std::size_t>(i)] =
        std::stoi(smd.names[static_cast<std::size_t>(i)].substr(4));
    const int parent = smd.parents[static_cast<std::size_t>(i)];
    ASSERT_LT(parent, i);
    ASSERT_EQ(parent < 0 ? -1 : boneOf[static_cast<std::size_t>(parent)],
              sceneParent[static_cast<std::size_t>(boneOf[static_cast<std::size_t>(i)])]);
  }

  double worst = 0;
  for (int frame = 0; frame < kFrames; ++frame) {
    std::vector<Affine> world(kBones);
    for (int i = 0; i < kBones; ++i) {
      const std::array<double, 6>& pose =
          smd.poses[static_cast<std::size_t>(frame)][static_cast<std::size_t>(i)];
      const int parent = smd.parents[static_cast<std::size_t>(i)];
      const double sign =
          parent >= 0 && mirrors[static_cast<std::size_t>(boneOf[static_cast<std::size_t>(parent)])]
              ? -1.0
              : 1.0;
      Affine local =
          Multiply(Multiply(Rotation(0, pose[3]), Rotation(1, pose[4])), Rotation(2, pose[5]));
      for (int j = 0; j < 3; ++j) local.t[j] = sign * pose[static_cast<std::size_t>(j)];
      world[static_cast<std::size_t>(i)] =
          parent < 0 ? local : Multiply(local, world[static_cast<std::size_t>(parent)]);

      const Matrix3 expected =
          bones[static_cast<std::size_t>(boneOf[static_cast<std::size_t>(i)])]->GetNodeTransform(
              frame * kTicksPerFrame);
      const Affine& rebuilt = world[static_cast<std::size_t>(i)];
      for (int row = 0; row < 3; ++row) {
        const Point3 axis = expected.GetRow(row);
        const double length =
            std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
        for (int j = 0; j < 3; ++j) {
          const double error = std::fabs(rebuilt.r[row][j] - axis[j] / length);
          worst = std::max(worst, error);
          ASSERT_LT(error, 1e-4) << "bone " << i << " frame " << frame << " row " << row;
        }
      }
      for (int j = 0; j < 3; ++j) {
        const double error = std::fabs(rebuilt.t[j] - expected.GetTrans()[j]);
        worst = std::max(worst, error);
        ASSERT_LT(error, 1e-4) << "bone " << i << " frame " << frame << " position";
      }
    }
  }
  RecordProperty("worst", std::to_string(worst));
}

}  // namespace
