// Exports in a row: the same scene exported again, and an export
// that an exception interrupts.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "support/export_harness.h"
#include "export/export_scene.h"
#include "support/scene_spy.h"
#include "readers/scene_file/scene_file.h"

using kw::ByteSink;
using kw::ExportOptions;
using kw::ExportOutcome;
using kw::LoadSceneFile;
using kw::MemoryMesh;
using kw::MemoryScene;
using kw::OutputFiles;
using kw::OutputKind;
using kw::WarningPresenter;

namespace {

// Sinks that count how many are still open and how many were finished.
class CountedFiles : public OutputFiles {
 public:
  int open = 0;
  int finished = 0;
  std::unique_ptr<ByteSink> Open(const std::string&, OutputKind, std::string*) override {
    return std::make_unique<Sink>(this);
  }

 private:
  class Sink : public ByteSink {
   public:
    explicit Sink(CountedFiles* files) : files_(files) { ++files_->open; }
    ~Sink() override { --files_->open; }
    bool Write(const char*, std::size_t, std::string*) override { return true; }
    bool Finish(std::string*) override {
      ++files_->finished;
      return true;
    }

   private:
    CountedFiles* files_;
  };
};

class ThrowingWarnings : public WarningPresenter {
 public:
  void Show(const kw::Warning& warning) override { throw std::runtime_error(warning.text); }
};

TEST(ExportJob, ASecondExportOfTheSameSceneWritesTheSameFile) {
  std::string error;
  std::unique_ptr<MemoryScene> scene =
      LoadSceneFile(std::string(KW_SOURCE_DIR) + "/samples/figure.json", &error);
  ASSERT_TRUE(scene) << error;
  kw::test::SceneSpy spy(*scene);
  kw::test::MemoryFiles files;
  kw::test::RecordingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;
  EXPECT_EQ(kw::ExportScene(spy, ExportOptions(), "first.smd", files, reports).outcome,
            ExportOutcome::kCompleted);
  EXPECT_EQ(kw::ExportScene(spy, ExportOptions(), "second.smd", files, reports).outcome,
            ExportOutcome::kCompleted);

  EXPECT_TRUE(warnings.messages.empty());
  EXPECT_EQ(files.Text("first.smd"), kw::test::ReadGolden("figure_reference.smd"));
  EXPECT_EQ(files.Text("second.smd"), files.Text("first.smd"));
  EXPECT_EQ(spy.ReleaseCalls(), 2);
}

TEST(ExportJob, AnExceptionStillReleasesTheSceneAndClosesBothFiles) {
  MemoryScene scene;
  MemoryMesh& mesh = scene.MakeMesh(scene.AddNode(7, "bare"));  // no material: a warning
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  kw::test::SceneSpy spy(scene);
  CountedFiles files;
  ThrowingWarnings warnings;
  kw::ExportReports reports;
  reports.warnings = &warnings;

  EXPECT_THROW(kw::ExportScene(spy, ExportOptions(), "out.smd", files, reports),
               std::runtime_error);
  EXPECT_EQ(spy.InitialiseCalls(), 1);
  EXPECT_EQ(spy.ReleaseCalls(), 1);
  EXPECT_EQ(spy.ErrorCallBack(), nullptr);
  EXPECT_EQ(files.open, 0);
  EXPECT_EQ(files.finished, 2);
}

}  // namespace
