#include "plugin/test_host/sample_scenes.h"

#include <cstdlib>

namespace kw::test {

namespace {

constexpr int kTicksPerFrame = 160;

Quat AboutZ(float halfSine, float halfCosine) { return Quat(0.0f, 0.0f, halfSine, halfCosine); }
Quat AboutX(float halfSine, float halfCosine) { return Quat(halfSine, 0.0f, 0.0f, halfCosine); }

MeshFace Face(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t group) {
  MeshFace face;
  face.vertex[0] = a;
  face.vertex[1] = b;
  face.vertex[2] = c;
  face.texVertex[0] = a;
  face.texVertex[1] = b;
  face.texVertex[2] = c;
  face.smoothingGroup = group;
  face.materialId = 0;
  return face;
}

}  // namespace

std::unique_ptr<MemoryScene> MakeFigureScene() {
  auto scene = std::make_unique<MemoryScene>();
  // Long enough for a sequence of more poses than one batch holds.
  scene->SetTiming(0, 1500 * kTicksPerFrame, kTicksPerFrame);

  MemoryNode& root = scene->AddNode(1, "root");
  scene->MakeObject(root, kObjectHelper);

  MemoryNode& pelvis = scene->AddNode(2, "pelvis", &root);
  scene->MakeObject(pelvis, kObjectBone);
  pelvis.SetPositionKeys({{0, Point3(0.0f, 0.0f, 40.0f)},
                          {4 * kTicksPerFrame, Point3(2.0f, 0.0f, 41.0f)},
                          {100 * kTicksPerFrame, Point3(10.0f, 5.0f, 40.0f)}});
  // A quarter turn about z over the first four frames.
  pelvis.SetRotationKeys({{0, Quat()}, {4 * kTicksPerFrame, AboutZ(0.70710678f, 0.70710678f)}});

  MemoryNode& spine = scene->AddNode(3, "spine 01", &pelvis);
  scene->MakeObject(spine, kObjectBone);
  spine.SetLocalTransform(TransMatrix(Point3(0.0f, 0.0f, 12.0f)));

  MemoryNode& head = scene->AddNode(4, "head", &spine);
  scene->MakeObject(head, kObjectBone);
  head.SetPositionKeys({{0, Point3(0.0f, 0.0f, 10.0f)}});
  head.SetRotationKeys(
      {{2 * kTicksPerFrame, Quat()}, {5 * kTicksPerFrame, AboutX(0.5f, 0.86602540f)}});

  MemoryNode& body = scene->AddNode(10, "body", &root);
  MemoryMesh& mesh = scene->MakeMesh(body);
  mesh.vertices = {Point3(-4.0f, 0.0f, 40.0f), Point3(4.0f, 0.0f, 40.0f), Point3(4.0f, 0.0f, 52.0f),
                   Point3(-4.0f, 0.0f, 52.0f), Point3(0.0f, -3.0f, 62.0f)};
  mesh.texVertices = {{0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 0.5f}, {0.0f, 0.5f}, {0.5f, 1.0f}};
  mesh.faces = {Face(0, 1, 2, 1), Face(0, 2, 3, 1), Face(3, 2, 4, 2), Face(2, 3, 7, 2)};
  mesh.ComputeNormals();

  MemorySkin& skin = scene->MakeSkin();
  skin.AddLink(0, 2, 1.0f);
  skin.AddLink(1, 2, 1.0f);
  skin.AddLink(2, 2, 0.5f);
  skin.AddLink(2, 3, 0.5f);
  skin.AddLink(3, 3, 0.75f);
  skin.AddLink(3, 2, 0.25f);
  skin.AddLink(4, 4, 1.0f);
  mesh.SetSkin(&skin);

  MemoryMaterial& material = scene->MakeMaterial("Skin", "Standard");
  material.SetTextureMap(&scene->MakeTextureMap("C:\\art\\figure\\skin_diffuse.tga"));
  body.SetMaterial(&material);

  // A floor big enough that its lines are made on the export's second thread.
  MemoryNode& floorNode = scene->AddNode(20, "floor", &root);
  MemoryMesh& tiles = scene->MakeMesh(floorNode);
  constexpr int kSide = 50;
  for (int row = 0; row < kSide; ++row) {
    for (int column = 0; column < kSide; ++column) {
      tiles.vertices.push_back(
          Point3(static_cast<float>(column) - 24.5f, static_cast<float>(row) - 24.5f, 0.0f));
      tiles.texVertices.push_back(
          {static_cast<float>(column) / kSide, static_cast<float>(row) / kSide});
    }
  }
  for (std::uint32_t row = 0; row + 1 < kSide; ++row) {
    for (std::uint32_t column = 0; column + 1 < kSide; ++column) {
      const std::uint32_t corner = row * kSide + column;
      tiles.faces.push_back(Face(corner, corner + 1, corner + kSide + 1, 1));
      tiles.faces.push_back(Face(corner, corner + kSide + 1, corner + kSide, 1));
    }
  }
  tiles.ComputeNormals();
  MemoryMaterial& stone = scene->MakeMaterial("Stone", "Standard");
  stone.SetTextureMap(&scene->MakeTextureMap("C:\\art\\floor\\stone.tga"));
  floorNode.SetMaterial(&stone);

  pelvis.SetSelected(true);
  spine.SetSelected(true);
  body.SetSelected(true);
  return scene;
}

std::vector<FigureExport> FigureExports() {
  FigureExport reference{"figure_reference", ExportOptions(), 0};
  reference.options.startFrame = 0;
  reference.options.endFrame = 100;

  FigureExport sequence{"figure_sequence", ExportOptions(), 0};
  sequence.options.exportSequence = true;
  sequence.options.startFrame = 2;
  sequence.options.endFrame = 5;
  sequence.options.reverseSequence = true;
  sequence.options.logWarnings = true;

  FigureExport selected = reference;
  selected.name = "figure_selected";
  selected.options.logWarnings = true;
  selected.hostOptions = SCENE_EXPORT_SELECTED;

  FigureExport longSequence{"figure_long_sequence", ExportOptions(), 0};
  longSequence.options.exportSequence = true;
  longSequence.options.startFrame = 0;
  longSequence.options.endFrame = 1500;
  return {reference, sequence, selected, longSequence};
}

std::string EncodeWarnings(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) {
    text += std::to_string(message.size());
    text += '\n';
    text += message;
    text += '\n';
  }
  return text;
}

bool DecodeWarnings(const std::string& text, std::vector<std::string>* messages) {
  messages->clear();
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t lineEnd = text.find('\n', at);
    if (lineEnd == std::string::npos) return false;
    char* end = nullptr;
    const unsigned long length = std::strtoul(text.c_str() + at, &end, 10);
    if (end != text.c_str() + lineEnd || lineEnd + 1 + length + 1 > text.size()) return false;
    messages->push_back(text.substr(lineEnd + 1, length));
    at = lineEnd + 1 + length;
    if (text[at] != '\n') return false;
    ++at;
  }
  return true;
}

}  // namespace kw::test
