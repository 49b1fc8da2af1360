#include <gtest/gtest.h>

#include <string>

#include "support/export_harness.h"
#include "readers/scene_file/scene_file.h"

using kw::LoadSceneFile;
using kw::MemoryScene;

namespace {

// The bundled sample exports to the files checked in beside the other
// expected outputs; poses there were checked against the keys by hand
// (frame 7: pelvis at 10 - 0.5 * 7/15, spine 12 * 7/15 degrees about x).
std::unique_ptr<MemoryScene> LoadSample() {
  std::string error;
  std::unique_ptr<MemoryScene> scene =
      LoadSceneFile(std::string(KW_SOURCE_DIR) + "/samples/figure.json", &error);
  EXPECT_TRUE(scene) << error;
  return scene;
}

TEST(SampleScene, ReferenceExportMatchesTheExpectedFile) {
  std::unique_ptr<MemoryScene> scene = LoadSample();
  ASSERT_TRUE(scene);
  const kw::test::ExportResult result = kw::test::RunExport(*scene, kw::test::Reference());
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_EQ(result.smd, kw::test::ReadGolden("figure_reference.smd"));
}

TEST(SampleScene, SequenceExportMatchesTheExpectedFile) {
  std::unique_ptr<MemoryScene> scene = LoadSample();
  ASSERT_TRUE(scene);
  const kw::test::ExportResult result = kw::test::RunExport(*scene, kw::test::Sequence(0, 30));
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_EQ(result.smd, kw::test::ReadGolden("figure_walk.smd"));
}

TEST(SampleScene, ReversedPartialSequenceMatchesTheExpectedFile) {
  std::unique_ptr<MemoryScene> scene = LoadSample();
  ASSERT_TRUE(scene);
  const kw::test::ExportResult result =
      kw::test::RunExport(*scene, kw::test::Sequence(5, 20, true));
  EXPECT_EQ(result.smd, kw::test::ReadGolden("figure_walk_20_to_5_reversed.smd"));
}

}  // namespace
