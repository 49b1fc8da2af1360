// Inputs the fuzzers found, kept as tests of the scene-file reader.

#include <gtest/gtest.h>

#include <string>

#include "readers/scene_file/scene_file.h"

using kw::ParseSceneText;

namespace {

std::string Refusal(const std::string& materials) {
  const std::string text = R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 1},
    "materials": [{"key": "a", "class": "Standard"},
                  {"key": "m", "class": "Multi/Sub-Object", "subMaterials": )" +
                           materials + "}]}";
  std::string error;
  EXPECT_EQ(ParseSceneText(text, "t.json", &error), nullptr);
  return error;
}

// The path of a slot once pointed at a temporary that was gone by the time a
// refusal rendered it: a crash, or a path of garbage.
TEST(SceneFileRegressions, RefusalsInsideSubMaterialSlotsNameTheWholePath) {
  EXPECT_EQ(Refusal(R"([{"id": 0, "material": "a"}, {"id": 2, "mataierl": null}])"),
            "t.json: at /materials/1/subMaterials/1/mataierl: expected one of the members id, "
            "material, found an unknown member \"mataierl\"");
  EXPECT_EQ(Refusal(R"([{"id": "x", "material": "a"}])"),
            "t.json: at /materials/1/subMaterials/0/id: expected an integer from -2147483648 to "
            "2147483647, found the string \"x\"");
  EXPECT_EQ(Refusal(R"([{"id": 0, "material": "nope"}])"),
            "t.json: at /materials/1/subMaterials/0/material: expected the key of a material in "
            "/materials or null, found the undefined key \"nope\"");
  EXPECT_EQ(Refusal(R"({"id": 0})"),
            "t.json: at /materials/1/subMaterials: expected an array, found an object");
}

}  // namespace
