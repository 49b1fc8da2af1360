#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "support/export_harness.h"
#include "plugin/shell/kestrelworks.h"
#include "scene/memory_scene.h"

using kw::ByteSink;
using kw::ExportOutcome;
using kw::ExportSeams;
using kw::Kestrelworks;
using kw::MemoryMesh;
using kw::MemoryNode;
using kw::MemoryScene;
using kw::OptionsChoice;
using kw::OptionsStep;
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

struct DebugLines {
  std::vector<std::string> lines;
  static void Collect(const char* line, void* context) {
    static_cast<DebugLines*>(context)->lines.push_back(line);
  }
};

TEST(ExportSession, RunsTheStepsOnTheSceneInOrderAndReleasesIt) {
  MemoryScene scene;
  scene.SetTiming(0, 3200, 160);
  AddOneHelper(scene);
  DebugLines debug;
  SetDebugSink(DebugLines::Collect, &debug);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  SetDebugSink(nullptr, nullptr);

  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(result.outcome, ExportOutcome::kCompleted);
  EXPECT_EQ(scene.CoordSystem(), 0);
  EXPECT_EQ(scene.InitialiseCalls(), 1);
  EXPECT_FALSE(scene.InitialisedSelectedOnly());
  EXPECT_EQ(scene.StaticFrame(), 0);
  EXPECT_EQ(scene.ReleaseCalls(), 1);
  EXPECT_EQ(scene.RedrawCalls(), 1);
  ASSERT_EQ(debug.lines.size(), 1u);
  EXPECT_EQ(debug.lines[0], "3ds max compatible version 9.00\n");
  EXPECT_EQ(result.smd.rfind("version 1\nnodes\n", 0), 0u) << result.smd;
}

TEST(ExportSession, SelectedOnlyComesFromBitZeroOfTheHostOptions) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::ExportRequest request;
  request.selectedOnly = true;
  RunExport(scene, request);
  EXPECT_TRUE(scene.InitialisedSelectedOnly());
}

TEST(ExportSession, CancelWritesNothingAndLeavesTheSceneAlone) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::ExportRequest request;
  request.cancel = true;
  const kw::test::ExportResult result = RunExport(scene, request);

  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(result.outcome, ExportOutcome::kCancelled);
  EXPECT_FALSE(result.smdOpened);
  EXPECT_FALSE(result.logOpened);
  EXPECT_EQ(scene.InitialiseCalls(), 0);
  EXPECT_EQ(scene.ReleaseCalls(), 0);
}

TEST(ExportSession, LogHoldsOnlyItsHeaderWhenLoggingIsOff) {
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

TEST(ExportSession, LoggingAppendsEachWarningWithItsTimeAndAnEmptyLine) {
  MemoryScene scene;
  AddMeshWithoutMaterial(scene, "box");
  kw::test::ExportRequest request;
  request.options.logWarnings = 1;
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

TEST(ExportSession, StartFrameTruncatesTowardZero) {
  MemoryScene scene;
  scene.SetTiming(-5, 330, 160);
  AddOneHelper(scene);
  ExportSeams seams;
  kw::test::MemoryFiles files;
  seams.files = &files;
  struct Spy : OptionsStep {
    int start = 99, end = 99;
    int Run(OptionsChoice& choice, HostWindow) override {
      start = choice.animStartFrame;
      end = choice.animEndFrame;
      return 0;
    }
  } spy;
  seams.options = &spy;
  Kestrelworks session(&scene, seams);
  session.DoExport("out.smd", nullptr, nullptr, 0, 0);
  EXPECT_EQ(spy.start, 0);
  EXPECT_EQ(spy.end, 2);
}

TEST(ExportSession, SequenceEndsAfterTheSkeleton) {
  MemoryScene scene;
  scene.SetTiming(0, 320, 160);
  AddOneHelper(scene);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Sequence(0, 2));
  EXPECT_EQ(result.smd.find("triangles"), std::string::npos);
  EXPECT_EQ(result.smd.substr(result.smd.size() - 4), "end\n");
  EXPECT_EQ(kw::test::ThroughSkeleton(result.smd), result.smd);
}

TEST(ExportSession, NumbersKeepTheirPointUnderACommaLocale) {
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
  int returned = 0;
  ExportOutcome outcome = ExportOutcome::kNotRun;
  std::string failure;
  std::vector<std::string> warnings;
};

// A whole export into the given outputs, with no options step.
SessionRun ExportTo(MemoryScene& scene, OutputFiles& files, const char* path) {
  kw::test::RecordingWarnings warnings;
  ExportSeams seams;
  seams.files = &files;
  seams.warnings = &warnings;
  SessionRun run;
  {
    Kestrelworks session(&scene, seams);
    run.returned = session.DoExport(path, nullptr, nullptr, 0, 0);
    run.outcome = session.Outcome();
    run.failure = session.FailureMessage();
  }
  run.warnings = warnings.messages;
  return run;
}

TEST(ExportSession, UnopenableLogEndsTheExportWithNothingWritten) {
  MemoryScene scene;
  AddOneHelper(scene);
  kw::test::MemoryFiles files;
  files.refused.insert(Kestrelworks::kLogFileName);
  const SessionRun run = ExportTo(scene, files, "out.smd");

  EXPECT_EQ(run.returned, 1);
  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  EXPECT_FALSE(files.Has("out.smd"));
  ASSERT_EQ(run.warnings.size(), 1u);
  EXPECT_NE(run.warnings[0].find("kestrelworks_log.txt"), std::string::npos);
  EXPECT_NE(run.warnings[0].find("refused by the caller"), std::string::npos);
  EXPECT_EQ(scene.ReleaseCalls(), 1);
}

TEST(ExportSession, UnopenableOutputIsReportedWithItsPathAndReason) {
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

TEST(ExportSession, AFailedWriteIsAFailedExport) {
  MemoryScene scene;
  AddOneHelper(scene);
  ShortDisk disk(4);
  const SessionRun run = ExportTo(scene, disk, "out.smd");

  EXPECT_EQ(run.returned, 1);
  EXPECT_EQ(run.outcome, ExportOutcome::kFailed);
  EXPECT_NE(run.failure.find("No space left on device"), std::string::npos);
  ASSERT_EQ(run.warnings.size(), 1u);
}

// A long sequence to a full disk stops at the refused write: its last frames,
// whose transform is not finite, are never reached and so never reported.
TEST(ExportSession, AFailedWriteEndsALongSequenceThere) {
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
  sequence.exportSequence = 1;
  sequence.startFrame = 0;
  sequence.endFrame = kLastFrame;
  kw::GivenOptions options(sequence);
  ShortDisk disk(1000);
  kw::test::RecordingWarnings warnings;
  Kestrelworks session(&scene, ExportSeams{&options, &warnings, &disk});
  session.DoExport("out.smd", nullptr, nullptr, 0, 0);

  EXPECT_EQ(session.Outcome(), ExportOutcome::kFailed);
  ASSERT_EQ(warnings.messages.size(), 1u);
  EXPECT_NE(warnings.messages[0].find("The file is incomplete."), std::string::npos);
}

TEST(ExportSession, LongWarningsAreNeitherCutNorOverflowed) {
  MemoryScene scene;
  const std::string name(4000, 'n');
  AddMeshWithoutMaterial(scene, name + "%s%n");
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0], "Could not get a material for mesh \"" + name +
                                    "%s%n\". Skipping mesh.\nAssign a Standard or "
                                    "Multi/Sub-Object type material to it.");
}

TEST(ExportSession, NonPositiveTicksPerFrameIsRefusedBeforeAnythingIsWritten) {
  MemoryScene scene;
  scene.SetTiming(0, 100, 0);
  AddOneHelper(scene);
  const kw::test::ExportResult result = RunExport(scene, kw::test::Reference());
  EXPECT_EQ(result.returned, 1);
  EXPECT_EQ(result.outcome, ExportOutcome::kFailed);
  EXPECT_FALSE(result.smdOpened);
  EXPECT_FALSE(result.logOpened);
  ASSERT_EQ(result.warnings.size(), 1u);
}

TEST(ExportSession, SceneErrorsGoToTheDebugOutput) {
  MemoryScene scene;
  AddOneHelper(scene);
  DebugLines debug;
  SetDebugSink(DebugLines::Collect, &debug);
  RunExport(scene, kw::test::Reference());
  RaiseIGameError(12, "no such node");
  SetDebugSink(nullptr, nullptr);
  ASSERT_FALSE(debug.lines.empty());
  EXPECT_EQ(debug.lines.back(), "ErrorCode = 12 ErrorText = no such node\n");
}

TEST(ExporterIdentity, AnswersTheHostsQueries) {
  Kestrelworks session;
  EXPECT_EQ(session.ExtCount(), 1);
  EXPECT_STREQ(session.Ext(0), "smd");
  EXPECT_STREQ(session.Ext(7), "smd");
  EXPECT_STREQ(session.LongDesc(), "Source Studio Model Data (SMD) Export");
  EXPECT_STREQ(session.ShortDesc(), "Source SMD");
  ASSERT_NE(session.OtherMessage2(), nullptr);
  EXPECT_STREQ(session.OtherMessage2(), "");
  EXPECT_EQ(session.Version(), 50u);
  EXPECT_EQ(session.SupportsOptions(0, 0xFFFFFFFFu), 1);
}

TEST(ExporterIdentity, ConstructionDefaults) {
  Kestrelworks session;
  EXPECT_EQ(session.options.exportSequence, 0u);
  EXPECT_EQ(session.options.startFrame, 0);
  EXPECT_EQ(session.options.endFrame, 1);
  EXPECT_EQ(session.options.reverseSequence, 0u);
  EXPECT_EQ(session.options.logWarnings, 0u);
  EXPECT_EQ(session.Outcome(), ExportOutcome::kNotRun);
}

}  // namespace
