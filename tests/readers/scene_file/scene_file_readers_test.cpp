// The scene-file reader takes nearly every file straight into the scene's
// arrays and reads the rest again as a whole document. Both must make the
// same scene, seen here through whole exports, and the direct reader must
// leave every file the document reader refuses to it.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/export_harness.h"
#include "readers/scene_file/direct_reader.h"
#include "readers/scene_file/document_reader.h"
#include "readers/scene_file/scene_file.h"

namespace {
using kw::MemoryScene;
using kw::ParseSceneText;
using kw::scene_file::ReadSceneDirect;
using kw::scene_file::ReadSceneDocument;

// The text handed over in pieces of at most piece bytes, read through a
// window of the given size: small ones cut every token somewhere.
std::unique_ptr<MemoryScene> Direct(const std::string& text, std::size_t window = 1 << 20,
                                    std::size_t piece = 1 << 20) {
  std::size_t at = 0;
  return ReadSceneDirect(
      [&](char* into, std::size_t size) {
        const std::size_t n = std::min({size, piece, text.size() - at});
        text.copy(into, n, at);
        at += n;
        return n;
      },
      window);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Members in the order a hand-written file might have them: nodes before the
// materials they name, children before parents, normals before the faces.
const char* const kShuffled = R"({"nodes": [
  {"mesh": {"renderVertices": [[{"smoothingGroup": 1, "normal": [0, 0, 1]}], [],
                               [{"normal": [0, 1, 0], "smoothingGroup": 2},
                                {"normal": [1, 0, 0], "smoothingGroup": 4}]],
            "faceNormals": [[0, -0.0, 2E-1]], "initialiseFails": false,
            "faces": [{"materialId": -2, "texVertex": [0, 1, 2], "vertex": [0, 1, 2]}],
            "texVertices": [[-0, 0], [1e0, 0], [0.5, 1]],
            "vertices": [[-0, 0, 0], [1, 0, 0], [0, 1, 0]]},
   "material": "multi", "type": 2, "parent": 1, "name": "Mesh", "id": 2, "pruned": false,
   "skin": [[{"weight": 0.5, "bone": 1}, {"bone": 2, "weight": 0.5}], [], [{"bone": 1, "weight": 1}]]},
  {"transform": {"scale": [{"value": [1, 2, 1], "tick": 0}],
                 "rotation": [{"euler": [0, 0, 90], "tick": 160}, {"quat": [0, 0, 0, 2], "tick": 0}],
                 "position": [{"tick": 80, "value": [1, 2, 3]}]},
   "objectOffset": [[-1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]],
   "name": "R\u00f6\ud83d\ude00t \"\\/\b\f\n\r\t", "id": 1, "type": 6, "selected": true, "parent": null, "material": null},
  {"id": 3, "name": "Tip", "type": 6, "parent": 1, "excluded": true,
   "transform": {"matrix": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 4, 0]]}}],
 "materials": [{"subMaterials": [{"material": "late", "id": 2}, {"id": 3, "material": null}],
                "class": "Multi/Sub-Object", "key": "multi"},
               {"map": {}, "key": "late", "class": "Standard", "name": "Late", "multi": false},
               {"map": {"bitmap": "C:\\maps\\a\u00e9.tga"}, "key": "unused", "class": "Odd"}],
 "time": {"ticksPerFrame": 80, "end": 160, "start": -80},
 "$schema": "scene.schema.json", "version": 1})";

TEST(SceneFileReaders, DirectAndDocumentReadersMakeTheSameScene) {
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"figure.json", FileText(std::string(KW_SOURCE_DIR) + "/samples/figure.json")},
      {"every_feature.json",
       FileText(std::string(KW_SOURCE_DIR) + "/tests/readers/scene_file/data/every_feature.json")},
      {"shuffled.json", kShuffled}};
  const std::vector<kw::test::ExportRequest> requests = {
      kw::test::Reference(), kw::test::Sequence(-1, 2), kw::test::Sequence(0, 2, true)};
  const std::vector<std::pair<std::size_t, std::size_t>> windowsAndPieces = {
      {1 << 20, 1 << 20}, {1, 1}, {2, 3}, {7, 5}, {64, 64}};
  for (const auto& [name, text] : texts) {
    std::string error;
    std::unique_ptr<MemoryScene> document = ReadSceneDocument(text, name, &error);
    ASSERT_NE(document, nullptr) << name << ": " << error;
    for (const auto& [window, piece] : windowsAndPieces) {
      std::unique_ptr<MemoryScene> direct = Direct(text, window, piece);
      ASSERT_NE(direct, nullptr) << name << " through a window of " << window;
      for (bool selectedOnly : {false, true}) {
        for (kw::test::ExportRequest request : requests) {
          request.options.selectedOnly = selectedOnly;
          const kw::test::ExportResult a = kw::test::RunExport(*direct, request);
          const kw::test::ExportResult b = kw::test::RunExport(*document, request);
          EXPECT_EQ(a.smd, b.smd) << name << " through a window of " << window;
          EXPECT_EQ(a.warnings, b.warnings) << name << " through a window of " << window;
        }
      }
    }
  }
}

TEST(SceneFileReaders, DirectReaderLeavesRefusalsToTheDocumentReader) {
  const std::string time = R"("version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 1})";
  const std::string node = R"({"id": 1, "name": "a", "type": 5})";
  const std::vector<std::string> refused = {
      "{" + time + "} []",
      "{" + time + "}{}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"a\tb\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"\\udc00\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"\\ud800x\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1.0, \"name\": \"a\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1e0, \"name\": \"a\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [{\"id\": 01, \"name\": \"a\", \"type\": 5}]}",
      "{" + time + ", \"nodes\": [" + node + ", " + node + "]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"id\": 1}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"mesh\": {}}]}",
      "{" + time +
          ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 2, \"mesh\": "
          "{\"vertices\": [[0, 0, 1e39]]}}]}",
      "{" + time +
          ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 2, \"mesh\": "
          "{\"faces\": [{\"vertex\": [0, 0, 4294967296], \"texVertex\": [0, 0, 0]}]}}]}",
      "{" + time +
          ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 2, \"mesh\": "
          "{\"faces\": [], \"faceNormals\": [[0, 0, 1]]}}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"parent\": 1}]}",
      "{" + time + ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"material\": \"m\"}]}",
      "{" + time +
          ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"transform\": "
          "{\"matrix\": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]], \"scale\": []}}]}",
      "{" + time +
          ", \"nodes\": [{\"id\": 1, \"name\": \"a\", \"type\": 5, \"transform\": "
          "{\"rotation\": [{\"tick\": 0, \"quat\": [0, 0, 0, 1], \"euler\": [0, 0, 0]}]}}]}",
      "{" + time +
          ", \"materials\": [{\"key\": \"m\", \"class\": \"S\"}, {\"key\": \"m\", \"class\": "
          "\"S\"}]}",
      R"({"version": 1, "time": {"start": 0, "end": 0, "ticksPerFrame": 0}})",
      R"({"version": 2, "time": {"start": 0, "end": 0, "ticksPerFrame": 1}})",
      "{" + time + ", \"nodes\": [1e400]}",
      "",
      "[]"};
  for (const std::string& text : refused) {
    std::string error;
    EXPECT_EQ(ReadSceneDocument(text, "bad.json", &error), nullptr) << text;
    EXPECT_EQ(Direct(text), nullptr) << text;
  }
  // A member name written with an escape is the same name: the direct reader
  // leaves it to the document reader, which takes it.
  const std::string escaped =
      R"({"version": 1, "time": {"start": 0, "end": 0, "ticks\u0050erFrame": 1}})";
  EXPECT_EQ(Direct(escaped), nullptr);
  std::string error;
  EXPECT_NE(ParseSceneText(escaped, "ok.json", &error), nullptr) << error;
}

}  // namespace
