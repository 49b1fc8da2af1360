#include "cli/export_summary.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "cli/failure_line.h"

namespace kw {

namespace {

bool IsExported(MemoryNode& node, bool selectedOnly) {
  IGameObject* object = node.GetObject();
  const int type = object ? object->GetObjectType() : 0;
  return (type == kObjectMesh || type == kObjectHelper || type == kObjectBone ||
          type == kObjectIkChain) &&
         (!selectedOnly || node.IsSelected());
}

// Every node, depth first in the order of the tree.
std::vector<MemoryNode*> TreeOrder(const MemoryScene& scene) {
  std::vector<MemoryNode*> order;
  std::vector<MemoryNode*> pending(scene.GetSceneRoots().rbegin(), scene.GetSceneRoots().rend());
  while (!pending.empty()) {
    MemoryNode* node = pending.back();
    pending.pop_back();
    order.push_back(node);
    const auto& children = node->GetSceneChildren();
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return order;
}

std::string TextureName(SceneTextureMap* map) {
  const char* full = map ? map->GetBitmapFileName() : nullptr;
  std::string name = full ? full : "";
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  return name.empty() || name.find_first_of("\r\n") != std::string::npos ? "null.bmp" : name;
}

struct Box {
  double low[3] = {INFINITY, INFINITY, INFINITY};
  double high[3] = {-INFINITY, -INFINITY, -INFINITY};
  bool empty = true;

  void Add(const Point3& p) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return;
    for (int a = 0; a < 3; ++a) {
      low[a] = std::fmin(low[a], p[a]);
      high[a] = std::fmax(high[a], p[a]);
    }
    empty = false;
  }
};

std::string Plural(long count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// Three figures, without an exponent: 1.66, 65.4, 7300.
std::string Figure(double value) {
  char text[48];
  if (value >= 100) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.3g", value);
  }
  return text;
}

std::string UnitWords(const SourceUnit& unit) {
  if (unit.name == "m") return "meters";
  if (unit.name == "cm") return "centimeters";
  if (unit.name == "mm") return "millimeters";
  if (unit.name == "inch") return "inches";
  if (unit.name == "ft") return "feet";
  return "units of " + unit.name;
}

std::string WhoSays(const SourceUnit& unit) {
  if (unit.reason == "--units") return "as --units says";
  if (unit.reason == "format") return "as its format is";
  return "as the file says";
}

std::string Hint(const SceneMeasure& measure, const SourceUnit& unit, bool modelFile) {
  const double longest = measure.Longest();
  const bool small = longest < kSmallestPlausible;
  std::string hint = std::string(small ? "too small" : "too large") +
                     " for the compiler, whose unit is an inch (a person is about 72 units "
                     "tall): ";
  if (!modelFile) return hint + "scale the scene in its file";
  const bool converted = unit.scale != 1.0 || unit.name == "inch";
  if (unit.meters > 0 && !converted) {
    const double factor = unit.meters / kMetersPerInch;
    const double then = longest * factor;
    if (then >= kSmallestPlausible && then <= kLargestPlausible) {
      return hint + "the file is in " + UnitWords(unit) + " (" + WhoSays(unit) +
             "), and --to-source-units makes it " + Figure(measure.Height() * factor) +
             " units tall";
    }
    return hint + "the file is in " + UnitWords(unit) + " (" + WhoSays(unit) +
           "), which --to-source-units does not fix; give --scale";
  }
  if (unit.meters > 0) {
    return hint + "check the source's unit (" + UnitWords(unit) + ", " + WhoSays(unit) +
           "), or give --scale";
  }
  return hint +
         "the file does not say its unit; name it with --units (inch, m, cm, mm or ft) and add "
         "--to-source-units, or give --scale";
}

}  // namespace

double SceneMeasure::Longest() const {
  return std::fmax(extent[0], std::fmax(extent[1], extent[2]));
}

SceneMeasure Measure(MemoryScene& scene, bool selectedOnly) {
  SceneMeasure measure;
  std::set<std::string> textures;
  Box faces, nodes;
  for (MemoryNode* node : TreeOrder(scene)) {
    if (!IsExported(*node, selectedOnly)) continue;
    ++measure.nodes;
    nodes.Add(node->GetNodeTransform(scene.GetStartTicks()).GetTrans());
    IGameObject* object = node->GetObject();
    SceneMesh* mesh = object ? object->AsMesh() : nullptr;
    if (!mesh || !node->GetMaterial()) continue;
    const int vertices = mesh->GetVertexCount();
    for (int f = 0; f < mesh->GetFaceCount(); ++f) {
      const MeshFace& face = mesh->GetFace(f);
      ++measure.triangles;
      for (const std::uint32_t v : face.vertex) {
        if (v < static_cast<std::uint32_t>(vertices)) faces.Add(mesh->GetVertex(int(v), false));
      }
    }
  }
  measure.materials = static_cast<int>(TextureNames(scene).size());
  const Box& box = faces.empty ? nodes : faces;
  for (int a = 0; a < 3 && !box.empty; ++a) measure.extent[a] = box.high[a] - box.low[a];
  return measure;
}

std::vector<std::string> TextureNames(MemoryScene& scene) {
  std::vector<std::string> textures;
  std::set<std::string> seen;
  auto add = [&](SceneMaterial* material) {
    if (!material || material->IsMultiMaterial()) return;
    const std::string name = TextureName(material->GetTextureMap(0));
    if (seen.insert(name).second) textures.push_back(name);
  };
  for (MemoryNode* node : TreeOrder(scene)) {
    IGameObject* object = node->GetObject();
    SceneMaterial* material = node->GetMaterial();
    if (!object || !object->AsMesh() || !material) continue;
    add(material);
    for (int i = 0; material->IsMultiMaterial() && i < material->GetSubMaterialCount(); ++i) {
      add(material->GetSubMaterial(i));
    }
  }
  return textures;
}

std::string SummaryLine(const std::string& written, const SceneMeasure& measure,
                        const SourceUnit& unit, bool modelFile) {
  std::string line = written + ": " + Plural(measure.nodes, "node") + ", ";
  if (measure.sequence) {
    line +=
        "frames " + std::to_string(measure.firstFrame) + " to " + std::to_string(measure.lastFrame);
  } else {
    line += Plural(measure.triangles, "triangle") + ", " + Plural(measure.materials, "material");
  }
  const std::string side = Figure(measure.Longest());
  line += "; " + side + (side == "1" ? " unit" : " units") + " on its longest side, " +
          Figure(measure.Height()) + " tall";
  if (unit.scale != 1.0) line += " (converted from " + UnitWords(unit) + ")";
  const double longest = measure.Longest();
  if (longest < kSmallestPlausible || longest > kLargestPlausible) {
    line += "; " + Hint(measure, unit, modelFile);
  }
  return line;
}

void PrintSummary(const std::string& line, bool toStderr) {
  const std::string text = OneLine(line) + "\n";
  std::FILE* out = toStderr ? stderr : stdout;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0) return;
  PrintFailure(std::string("stdout: cannot write the summary: ") +
               (errno != 0 ? std::strerror(errno) : "write error") + "; the files are in place");
}

}  // namespace kw
