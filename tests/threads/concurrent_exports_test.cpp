// Two exports of two scenes at once, each on its own thread with its own
// outputs and sinks: nothing of one may reach the other. Run under ThreadSanitizer by
// scripts/test.sh --threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>

#include "bench/printf_export.h"
#include "bench/workloads.h"
#include "export/export_scene.h"
#include "support/export_harness.h"
#include "support/scene_spy.h"

using kw::ExportOptions;
using kw::ExportOutcome;
using kw::MemoryFiles;
using kw::MemoryScene;
using kw::bench::BuildReferenceScene;
using kw::bench::BuildSequenceScene;
using kw::bench::ExportWithPrintf;

namespace {

std::string Export(MemoryScene& scene, const ExportOptions& options) {
  MemoryFiles files;
  const kw::ExportResult result =
      kw::ExportScene(scene, options, "out.smd", files, kw::ExportReports());
  EXPECT_EQ(result.outcome, ExportOutcome::kCompleted) << result.failureMessage;
  const std::string* smd = files.Find("out.smd");
  return smd ? *smd : std::string();
}

std::string Straightforward(MemoryScene& scene, const ExportOptions& options) {
  std::FILE* file = std::tmpfile();
  if (!file) return std::string();
  EXPECT_TRUE(ExportWithPrintf(scene, options, file));
  std::string text;
  std::rewind(file);
  char chunk[1 << 16];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
  std::fclose(file);
  return text;
}

TEST(ConcurrentExports, TwoScenesOnTwoThreadsEachGetTheirOwnFile) {
  // Both big enough for the writers' own second thread as well.
  auto mesh = BuildReferenceScene({100, 50});
  auto skeleton = BuildSequenceScene({40, 700});
  ExportOptions sequence;
  sequence.exportSequence = true;
  sequence.startFrame = 0;
  sequence.endFrame = 699;
  const std::string meshExpected = Straightforward(*mesh, ExportOptions());
  const std::string skeletonExpected = Straightforward(*skeleton, sequence);

  std::string meshFile;
  std::string skeletonFile;
  std::thread first([&] { meshFile = Export(*mesh, ExportOptions()); });
  std::thread second([&] { skeletonFile = Export(*skeleton, sequence); });
  first.join();
  second.join();
  EXPECT_TRUE(meshFile == meshExpected);
  EXPECT_TRUE(skeletonFile == skeletonExpected);
  EXPECT_NE(meshFile.find("\ntriangles\n"), std::string::npos);
  EXPECT_NE(skeletonFile.find("\ntime 699\n"), std::string::npos);
}

// A scene that raises errors of its own text while it is walked, and has a
// mesh without a material named after it: one warning.
class NoisyScene : public kw::test::SceneSpy {
 public:
  NoisyScene(MemoryScene& scene, std::string text) : SceneSpy(scene), text_(std::move(text)) {}
  SceneNode* GetTopLevelNode(int i) override {
    for (int k = 0; k < 2000; ++k) Scene().Errors().Raise(k, "%s", text_.c_str());
    return SceneSpy::GetTopLevelNode(i);
  }

 private:
  std::string text_;
};

void AddBareMesh(MemoryScene& scene, const std::string& name) {
  kw::MemoryMesh& mesh = scene.MakeMesh(scene.AddNode(1, name));
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
}

// Each export's warnings and debug lines reach that export's own sinks, and
// only them, while another export runs beside it.
TEST(ConcurrentExports, EachExportReportsToItsOwnSinksOnly) {
  MemoryScene firstScene, secondScene;
  AddBareMesh(firstScene, "first");
  AddBareMesh(secondScene, "second");
  NoisyScene first(firstScene, "first scene"), second(secondScene, "second scene");
  kw::test::RecordingWarnings firstWarnings, secondWarnings;
  kw::test::RecordingDebug firstDebug, secondDebug;
  std::atomic<int> ready{0};
  auto run = [&ready](NoisyScene* scene, kw::test::RecordingWarnings* warnings,
                      kw::test::RecordingDebug* debug) {
    MemoryFiles files;
    kw::ExportReports reports;
    reports.warnings = warnings;
    reports.debug = debug;
    for (++ready; ready < 2;) std::this_thread::yield();
    kw::ExportScene(*scene, ExportOptions(), "out.smd", files, reports);
  };
  std::thread a(run, &first, &firstWarnings, &firstDebug);
  std::thread b(run, &second, &secondWarnings, &secondDebug);
  a.join();
  b.join();

  for (auto [debug, text] :
       {std::pair{&firstDebug, "first scene"}, {&secondDebug, "second scene"}}) {
    EXPECT_EQ(debug->lines.size(), 2000u);
    for (const std::string& line : debug->lines) {
      ASSERT_NE(line.find(text), std::string::npos) << line;
    }
  }
  ASSERT_EQ(firstWarnings.messages.size(), 1u);
  ASSERT_EQ(secondWarnings.messages.size(), 1u);
  EXPECT_NE(firstWarnings.messages[0].find("\"first\""), std::string::npos);
  EXPECT_NE(secondWarnings.messages[0].find("\"second\""), std::string::npos);
}

}  // namespace
