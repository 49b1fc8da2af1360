// The exporter across exports: one object exporting again, and an export
// that an exception interrupts.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "support/export_harness.h"
#include "plugin/shell/kestrelworks.h"
#include "readers/scene_file/scene_file.h"

using kw::ByteSink;
using kw::ExportJob;
using kw::ExportOptions;
using kw::ExportOutcome;
using kw::ExportSeams;
using kw::GivenOptions;
using kw::Kestrelworks;
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

TEST(ExportJob, ASecondExportOfTheSameExporterWritesTheSameFile) {
  std::string error;
  std::unique_ptr<MemoryScene> scene =
      LoadSceneFile(std::string(KW_SOURCE_DIR) + "/samples/figure.json", &error);
  ASSERT_TRUE(scene) << error;
  kw::test::MemoryFiles files;
  kw::test::RecordingWarnings warnings;
  GivenOptions options{ExportOptions()};
  Kestrelworks exporter(scene.get(), ExportSeams{&options, &warnings, &files});
  exporter.DoExport("first.smd", nullptr, nullptr, 0, 0);
  exporter.DoExport("second.smd", nullptr, nullptr, 0, 0);

  EXPECT_EQ(exporter.Outcome(), ExportOutcome::kCompleted);
  EXPECT_TRUE(warnings.messages.empty());
  EXPECT_EQ(files.Text("first.smd"), kw::test::ReadGolden("figure_reference.smd"));
  EXPECT_EQ(files.Text("second.smd"), files.Text("first.smd"));
  EXPECT_EQ(scene->ReleaseCalls(), 2);
}

TEST(ExportJob, AnExceptionStillReleasesTheSceneAndClosesBothFiles) {
  MemoryScene scene;
  MemoryMesh& mesh = scene.MakeMesh(scene.AddNode(7, "bare"));  // no material: a warning
  mesh.vertices = {Point3(0, 0, 0), Point3(1, 0, 0), Point3(0, 1, 0)};
  CountedFiles files;
  ThrowingWarnings warnings;
  Kestrelworks exporter(&scene, ExportSeams{nullptr, &warnings, &files});

  EXPECT_THROW(exporter.DoExport("out.smd", nullptr, nullptr, 0, 0), std::runtime_error);
  EXPECT_EQ(scene.InitialiseCalls(), 1);
  EXPECT_EQ(scene.ReleaseCalls(), 1);
  EXPECT_EQ(scene.RedrawCalls(), 1);
  EXPECT_EQ(files.open, 0);
  EXPECT_EQ(files.finished, 2);
}

}  // namespace
