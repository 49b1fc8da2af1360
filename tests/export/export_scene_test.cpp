#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "support/export_harness.h"
#include "export/export_scene.h"
#include "support/scene_spy.h"
#include "scene/memory_scene.h"

using kw::ByteSink;
using kw::ExportOutcome;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::OutputFiles;
using kw::OutputKind;

namespace {

using kw::test::RunExport;

// A scene whose only node sits at a fractional position, so every pose line
// carries decimals.
void AddOneHelper(MemoryScene& scene) {
  MemoryNode& helper = scene.AddNode(1, "root");
  scene.MakeObject(helper, kObjectHelper);
  helper.SetLocalTransform(TransMatrix(Point3(1.5f, -2.25f, 0.125f)));
}

// A clock field of a log entry: " 0" to " 9", then "10" up to last.
bool ClockField(const std::string& text, std::size_t at, int last) {
  if (at + 2 > text.size() || text[at + 1] < '0' || text[at + 1] > '9') return false;
  if (text[at] == ' ') return true;
  return text[at] >= '1' && text[at] <= '9' && (text[at] - '0') * 10 + (text[at + 1] - '0') <= last;
}

// A mesh without a material: one warning, nothing else.
void AddMeshWithoutMaterial(MemoryScene& scene, const std::string& name) {
  MemoryNode& node = scene.AddNode(7, name);
  MemoryMesh& mesh = scene.MakeMesh(node);
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
}

struct DebugLines : kw::DebugOutput {
  std::vector<std::string> lines;
  void Print(const std::string& line) override { lines.push_back(line); }
};

TEST(ExportScene, RunsTheStepsOnTheSceneInOrderAndReleasesIt) {
  MemoryScene scene;
  scene.SetTiming(0, 3200, 160);
  AddOneHelper(scene);
  kw::test::SceneSpy spy(scene);
  const kw::test::ExportResult result = RunExport(spy, kw::test::Reference());

  EXPECT_EQ(result.outcome, ExportOutcome::kCompleted);
  EXPECT_EQ(spy.CoordSystem(), 0);
  EXPECT_EQ(spy.InitialiseCalls(), 1);
  EXPECT_FALSE(spy.InitialisedSelectedOnly());
  EXPECT_EQ(spy.StaticFrame(), 0);
  EXPECT_EQ(spy.ReleaseCalls(), 1);
  // The export's error callback is gone with the export.
  EXPECT_EQ(spy.ErrorCallBack(), nullptr);
  EXPECT_EQ(result.smd.rfind("version 1\nnodes\n", 0), 0u) << result.smd;
}

TEST(ExportScene, SelectedOnlyInitialisesTheSelection) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::SceneSpy spy(scene);
  kw::test::ExportRequest request;
  request.options.selectedOnly = true;
  RunExport(spy, request);
  EXPECT_TRUE(spy.InitialisedSelectedOnly());
}

TEST(ExportScene, LogHoldsOnlyItsHeaderWhenLoggingIsOff) {
  MemoryScene scene;
  AddMeshWithoutMaterial(scene, "box");
  kw::test::ExportRequest request;
  request.path = "C:\\models\\box.smd";
  const kw::test::ExportResult result = RunExport(scene, request);

  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.log,
            "Kestrelworks Log File\n=====================\n\nExporting file: "
            "\"C:\\models\\box.smd\"\n\n");
}

TEST(ExportScene, LoggingAppendsEachWarningWithItsTimeAndAnEmptyLine) {
  MemoryScene scene;
  AddMeshWithoutMaterial(scene, "box");
  kw::test::ExportRequest request;
  request.options.logWarnings = true;
  const kw::test::ExportResult result = RunExport(scene, request);

  ASSERT_EQ(result.warnings.size(), 1u);
  const std::string header =
      "Kestrelworks Log File\n=====================\n\nExporting file: \"out.smd\"\n\n";
  ASSERT_EQ(result.log.compare(0, header.size(), header), 0) << result.log;
  const std::string entry = result.log.substr(header.size());
  // Hours, minutes and seconds are padded with spaces, not zeros.
  ASSERT_GE(entry.size(), 13u) << entry;
  EXPECT_TRUE(ClockField(entry, 0, 23) && entry[2] == ':' && ClockField(entry, 3, 59) &&
              entry[5] == ':' && ClockField(entry, 6, 59))
      << entry;
  EXPECT_EQ(entry.substr(8, 3), " - ") << entry;
  EXPECT_EQ(entry.substr(entry.size() - 2), "\n\n") << entry;
  EXPECT_EQ(entry.substr(11, entry.size() - 13), result.warnings[0]);
}

TEST(ExportScene, SceneFramesTruncateTowardZero) {
  MemoryScene scene;
  scene.SetTiming(-5, 330, 160);
  kw::FrameRange frames;
  ASSERT_TRUE(kw::SceneFrames(scene, &frames));
  EXPECT_EQ(frames.first, 0);
  EXPECT_EQ(frames.last, 2);
  scene.SetTiming(0, 330, 0);
  EXPECT_FALSE(kw::SceneFrames(scene, &frames));
}

TEST(ExportScene, SequenceEndsAfterTheSkeleton) {
  MemoryScene scene;
  scene.SetTiming(0, 320, 160);
  AddOneHelper(scene);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Sequence(0, 2));
  EXPECT_EQ(result.smd.find("triangles"), std::string::npos);
  EXPECT_EQ(result.smd.substr(result.smd.size() - 4), "end\n");
  EXPECT_EQ(kw::test::ThroughSkeleton(result.smd), result.smd);
}

TEST(ExportScene, NumbersKeepTheirPointUnderACommaLocale) {
  const char* candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_ALL, name)) {
      chosen = name;
      break;
    }
  }
  if (!chosen) {
    if (std::getenv("KW_CI")) FAIL() << "CI must provide a locale with a decimal comma";
    GTEST_SKIP() << "no locale with a decimal comma installed";
  }
  ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");

  MemoryScene scene;
  AddOneHelper(scene);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  std::setlocale(LC_ALL, "C");

  EXPECT_NE(result.smd.find("  0 1.500000 -2.250000 0.125000 0.000000 0.000000 0.000000\n"),
            std::string::npos)
      << result.smd;
  EXPECT_EQ(result.smd.find(','), std::string::npos);
}

struct SessionRun {
  ExportOutcome outcome = ExportOutcome::kFailed;
  std::string failure;
  std::vector<std::string> warnings;
};

// A whole export into the given outputs.
SessionRun ExportTo(kw::SceneHost& scene, OutputFiles& files, const char* path,
                    const kw::ExportOptions& options = kw::ExportOptions()) {
  kw::test::RecordingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  const kw::ExportResult result = kw::ExportScene(scene, options, path, files, reports);
  return SessionRun{result.outcome, result.failureMessage, warnings.messages};
}

TEST(ExportScene, UnopenableLogEndsTheExportWithNothingWritten) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::SceneSpy spy(scene);
  kw::test::MemoryFiles files;
  files.refused.insert(kw::kLogFileName);
  const SessionRun run = ExportTo(spy, files, "out.smd");

  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  EXPECT_FALSE(files.Has("out.smd"));
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].find("kestrelworks_log.txt"), std::string::npos);
  EXPECT_NE(run.warnings[0].find("refused by the caller"), std::string::npos);
  EXPECT_EQ(spy.ReleaseCalls(), 1);
}

TEST(ExportScene, UnopenableOutputIsReportedWithItsPathAndReason) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::MemoryFiles files;
  files.refused.insert("locked.smd");
  const SessionRun run = ExportTo(scene, files, "locked.smd");

  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  EXPECT_NE(run.failure.find("locked.smd"), std::string::npos);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].find("\"locked.smd\""), std::string::npos);
  EXPECT_NE(run.warnings[0].find("refused by the caller"), std::string::npos);
}

// Accepts the first `budget` bytes, then fails every write.
class ShortDisk : public OutputFiles {
 public:
  explicit ShortDisk(std::size_t budget) : budget_(budget) {}
  std::unique_ptr<ByteSink> Open(const std::string&, OutputKind kind, std::string*) override {
    return std::make_unique<Sink>(kind == OutputKind::kSmd ? budget_
                                                           : static_cast<std::size_t>(-1));
  }

 private:
  class Sink : public ByteSink {
   public:
    explicit Sink(std::size_t budget) : budget_(budget) {}
    bool Write(const char*, std::size_t size, std::string* error) override {
      if (size > budget_) {
        *error = "No space left on device";
        return false;
      }
      budget_ -= size;
      return true;
    }
    bool Finish(std::string*) override { return true; }

   private:
    std::size_t budget_;
  };
  std::size_t budget_;
};

TEST(ExportScene, AFailedWriteIsAFailedExport) {
  MemoryScene scene;
  AddOneHelper(scene);
  ShortDisk disk(4);
  const SessionRun run = ExportTo(scene, disk, "out.smd");

  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  EXPECT_NE(run.failure.find("No space left on device"), std::string::npos);
  ASSERT_EQ(run.warnings.size(), 1u);
}

// A long sequence to a full disk stops at the refused write: its last frames,
// whose transform is not finite, are never reached and so never reported.
TEST(ExportScene, AFailedWriteEndsALongSequenceThere) {
  constexpr int kTicks = 160;
  constexpr int kLastFrame = 200000;
  MemoryScene scene;
  scene.SetTiming(0, kLastFrame * kTicks, kTicks);
  AddOneHelper(scene);
  const float infinite = std::numeric_limits<float>::infinity();
  MemoryNode& late = scene.AddNode(2, "late");
  scene.MakeObject(late, kObjectHelper);
  late.SetPositionKeys({{0, Point3(0, 0, 0)},
                        {(kLastFrame - 1) * kTicks, Point3(0, 0, 0)},
                        {kLastFrame * kTicks, Point3(infinite, 0, 0)}});
  kw::ExportOptions sequence;
  sequence.exportSequence = true;
  sequence.startFrame = 0;
  sequence.endFrame = kLastFrame;
  ShortDisk disk(1000);
  const SessionRun run = ExportTo(scene, disk, "out.smd", sequence);

  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].find("The file is incomplete."), std::string::npos);
}

TEST(ExportScene, LongWarningsAreNeitherCutNorOverflowed) {
  MemoryScene scene;
  const std::string name(4000, 'n');
  AddMeshWithoutMaterial(scene, name + "%s%n");
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0], "Could not get a material for mesh \"" + name +
                                    "%s%n\". Skipping mesh.\nAssign a Standard or "
                                    "Multi/Sub-Object type material to it.");
}

TEST(ExportScene, NonPositiveTicksPerFrameIsRefusedBeforeAnythingIsWritten) {
  MemoryScene scene;
  scene.SetTiming(0, 100, 0);
  AddOneHelper(scene);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  EXPECT_EQ(result.outcome, ExportOutcome::kFailed);
  EXPECT_FALSE(result.smdOpened);
  EXPECT_FALSE(result.logOpened);
  ASSERT_EQ(result.warnings.size(), 1u);
}

// An error the scene raises during the export is a line of that export's
// debug output; once the export is over, the scene's errors go nowhere.
TEST(ExportScene, SceneErrorsGoToThisExportsDebugOutput) {
  MemoryScene scene;
  AddOneHelper(scene);
  class RaisesOnInitialise : public kw::test::SceneSpy {
   public:
    using SceneSpy::SceneSpy;
    bool Initialise(bool selectedOnly) override {
      Scene().Errors().Raise(12, "no such %s", "node");
      return SceneSpy::Initialise(selectedOnly);
    }
  } spy(scene);
  kw::test::MemoryFiles files;
  DebugLines debug;
  kw::ExportReports reports;
  reports.debug = &debug;
  kw::ExportScene(spy, kw::ExportOptions(), "out.smd", files, reports);
  scene.Errors().Raise(13, "after the export");
  ASSERT_EQ(debug.lines.size(), 1u);
  EXPECT_EQ(debug.lines[0], "ErrorCode = 12 ErrorText = no such node\n");
}

}  // namespace
