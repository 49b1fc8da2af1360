#include "export/flex_export.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "export/background_worker.h"
#include "export/batch_pipeline.h"
#include "export/export_job.h"
#include "export/finite_values.h"
#include "export/flex_names.h"
#include "export/mesh_faces.h"
#include "export/nodes_writer.h"
#include "export/skeleton_writer.h"
#include "scene/morph_targets.h"
#include "smd/number_format.h"
#include "smd/spaced_floats_cache.h"
#include "smd/text_output.h"

namespace kw {

namespace {

// Which shape each target of an exported mesh belongs to, and the shapes'
// names in the order they were first met.
struct ShapeTable {
  struct MeshTargets {
    const NodeRecord* record;
    std::vector<int> shapeOf;  // per target
  };
  std::vector<std::string> names;
  std::vector<MeshTargets> meshes;  // the meshes with targets
};

SceneMesh* MeshOf(const NodeRecord& record) {
  IGameObject* object = record.node ? record.node->GetObject() : nullptr;
  return object ? object->AsMesh() : nullptr;
}

ShapeTable CollectShapes(const NodeRegistry& nodes, WarningReporter& warnings) {
  ShapeTable table;
  std::unordered_map<std::string, int> byName;
  std::vector<std::size_t> takenBy;  // per shape: 1 + the mesh that last took it
  // Of one mesh: a name that is already its own gets "_2", "_3", ...
  std::unordered_map<std::string, int> nextSuffix;
  auto shapeOf = [&](const std::string& name) {
    const auto [at, added] = byName.emplace(name, static_cast<int>(table.names.size()));
    if (added) {
      table.names.push_back(name);
      takenBy.push_back(0);
    }
    return at->second;
  };
  for (const std::unique_ptr<NodeRecord>& record : nodes.Nodes()) {
    if (record->objectType != kObjectMesh) continue;
    const SceneMesh* mesh = MeshOf(*record);
    const int count = mesh ? mesh->GetMorphTargetCount() : 0;
    if (count <= 0) continue;
    const std::size_t mine = table.meshes.size() + 1;
    nextSuffix.clear();
    ShapeTable::MeshTargets targets{record.get(), std::vector<int>(count, -1)};
    for (int t = 0; t < count; ++t) {
      const std::string name = MorphTargetName(*mesh, record->name, t);
      int shape = shapeOf(name);
      if (takenBy[static_cast<std::size_t>(shape)] == mine) {
        int& n = nextSuffix.emplace(name, 2).first->second;
        std::string renamed;
        do {
          renamed = name + "_" + std::to_string(n++);
          shape = shapeOf(renamed);
        } while (takenBy[static_cast<std::size_t>(shape)] == mine);
        warnings.Report(WarningKind::kMorphTargetRenamed,
                        "Mesh \"%s\" has more than one morph target named \"%s\"; morph "
                        "target %d is written as \"%s\".",
                        record->name ? record->name : "", name.c_str(), t, renamed.c_str());
      }
      takenBy[static_cast<std::size_t>(shape)] = mine;
      targets.shapeOf[static_cast<std::size_t>(t)] = shape;
    }
    table.meshes.push_back(std::move(targets));
  }
  return table;
}

void ListShapes(const ShapeTable& table, FlexList* list) {
  const std::vector<ControllerName> controllers = MakeControllerNames(table.names);
  list->shapes.clear();
  list->baseVertices = 0;
  for (std::size_t k = 0; k < table.names.size(); ++k) {
    FlexShape shape;
    shape.name = table.names[k];
    shape.controller = controllers[k].name;
    shape.renamed = controllers[k].changed;
    shape.frame = static_cast<int>(k) + 1;
    list->shapes.push_back(std::move(shape));
  }
}

// One line of the vertexanimation section as the values it prints, or the
// "time" line that starts a frame.
struct VertexLine {
  std::uint64_t number;
  float position[3];
  float normal[3];
  std::uint32_t place;  // where the texts of position and normal are kept
  bool time;
};

VertexLine LineOf(std::uint64_t number, const Point3& position, const Point3& normal,
                  std::uint32_t place) {
  return VertexLine{
      number, {position.x, position.y, position.z}, {normal.x, normal.y, normal.z}, place, false};
}

class VertexLinesWriter;

// A run of lines for BatchPipeline, made into text in one part.
class VertexLineBatch {
 public:
  static constexpr std::size_t kLines = 6144;

  explicit VertexLineBatch(VertexLinesWriter* writer) : writer_(writer) { lines_.reserve(kLines); }

  bool Full() const { return lines_.size() >= kLines; }
  bool Empty() const { return lines_.empty(); }
  void Clear() { lines_.clear(); }
  void Add(const VertexLine& line) { lines_.push_back(line); }

  std::size_t Parts() const { return 1; }
  std::size_t PartBound(std::size_t) const { return lines_.size() * kLineBound + kSlack; }
  std::size_t WritePart(std::size_t part, char* out) const;

 private:
  friend class VertexLinesWriter;
  // The number's 20 digits, six floats with their spaces and the line end.
  static constexpr std::size_t kLineBound = 20 + 2 * SpacedFloatsCache<3>::kLongestText + 1;
  static constexpr std::size_t kSlack = SpacedFloatsCache<3>::kRoom + 32;

  VertexLinesWriter* writer_;
  std::vector<VertexLine> lines_;
};

// The text of numbers, and of positions and normals through the very
// caches and formatting of the triangles' vertex lines.
class VertexLinesWriter {
 public:
  std::size_t Write(const VertexLineBatch& batch, char* out) {
    char* p = out;
    for (const VertexLine& line : batch.lines_) {
      if (line.time) {
        std::memcpy(p, "time ", 5);
        p += 5;
        p += WriteNumber(line.number, p);
        *p++ = '\n';
        continue;
      }
      p += WriteNumber(line.number, p);
      p += positions_.Write(line.position, line.place, p);
      p += normals_.Write(line.normal, line.place, p);
      *p++ = '\n';
    }
    return static_cast<std::size_t>(p - out);
  }

 private:
  static std::size_t WriteNumber(std::uint64_t number, char* out) {
    if (number <= 0x7FFFFFFFu) return FormatInt(static_cast<int>(number), out);
    char digits[20];
    std::size_t count = 0;
    for (; number > 0; number /= 10) digits[count++] = static_cast<char>('0' + number % 10);
    for (std::size_t k = 0; k < count; ++k) out[k] = digits[count - 1 - k];
    return count;
  }

  SpacedFloatsCache<3> positions_{14};
  SpacedFloatsCache<3> normals_{14};
};

std::size_t VertexLineBatch::WritePart(std::size_t, char* out) const {
  return writer_->Write(*this, out);
}

// The targets of one mesh that may change each vertex: a vertex whose
// position or normal differs from the mesh's in the target. Its corners
// then decide by the values they print.
class TargetsByVertex {
 public:
  TargetsByVertex(const SceneMesh& mesh, const std::vector<int>& shapeOf, int vertexCount) {
    const HostMesh& host = mesh.GetHostMesh();
    std::vector<std::vector<std::uint32_t>> changed(shapeOf.size());
    std::size_t total = 0;
    for (std::size_t t = 0; t < shapeOf.size(); ++t) {
      const int target = static_cast<int>(t);
      const bool normals = mesh.MorphTargetHasNormals(target);
      for (int v = 0; v < vertexCount; ++v) {
        bool differs = !(mesh.GetMorphTargetVertex(target, v) == mesh.GetVertex(v, false));
        if (!differs && normals) {
          const RenderVertex& render = host.renderVertices[static_cast<std::size_t>(v)];
          differs = render.NormalCount() != 1 ||
                    !(mesh.GetMorphTargetNormal(target, v) == render.singleNormal.normal);
        }
        if (differs) changed[t].push_back(static_cast<std::uint32_t>(v));
      }
      total += changed[t].size();
    }
    if (total == 0) return;
    first_.assign(static_cast<std::size_t>(vertexCount) + 1, 0);
    for (const std::vector<std::uint32_t>& vertices : changed) {
      for (std::uint32_t v : vertices) ++first_[v + 1];
    }
    for (std::size_t v = 0; v < static_cast<std::size_t>(vertexCount); ++v) {
      first_[v + 1] += first_[v];
    }
    targets_.resize(total);
    std::vector<std::uint32_t> next(first_.begin(), first_.end() - 1);
    for (std::size_t t = 0; t < changed.size(); ++t) {
      for (std::uint32_t v : changed[t]) targets_[next[v]++] = static_cast<int>(t);
    }
  }

  bool Empty() const { return targets_.empty(); }
  // The targets of vertex v, in target order.
  const int* Begin(std::uint32_t v) const { return targets_.data() + first_[v]; }
  const int* End(std::uint32_t v) const { return targets_.data() + first_[v + 1]; }

 private:
  std::vector<std::uint32_t> first_;  // per vertex, into targets_
  std::vector<int> targets_;
};

class VertexAnimationWriter {
 public:
  VertexAnimationWriter(const SectionInput& input, WarningReporter& quiet, const ShapeTable& table)
      : input_(input), quiet_(quiet), table_(table), frames_(table.names.size()) {}

  void Write(FlexList* list) {
    TextStream& out = input_.smd;
    out.Put("vertexanimation\ntime 0\n");
    std::size_t nextTargets = 0;
    for (const std::unique_ptr<NodeRecord>& record : input_.nodes.Nodes()) {
      if (out.Failed()) break;
      if (record->objectType != kObjectMesh) continue;
      const std::vector<int>* shapeOf = nullptr;
      if (nextTargets < table_.meshes.size() && table_.meshes[nextTargets].record == record.get()) {
        shapeOf = &table_.meshes[nextTargets++].shapeOf;
      }
      WriteMesh(*record, shapeOf);
    }
    BatchPipeline<VertexLineBatch> pipeline(out, nullptr, VertexLineBatch(&writer_),
                                            VertexLineBatch(&writer_));
    for (std::size_t k = 0; k < frames_.size() && !out.Failed(); ++k) {
      VertexLine time{};
      time.number = k + 1;
      time.time = true;
      pipeline.Current().Add(time);
      for (const VertexLine& line : frames_[k]) {
        pipeline.Current().Add(line);
        if (pipeline.Current().Full()) pipeline.Ship();
      }
    }
    pipeline.Finish();
    out.Put("end\n");
    if (list) {
      list->baseVertices = number_;
      for (std::size_t k = 0; k < frames_.size() && k < list->shapes.size(); ++k) {
        list->shapes[k].vertices = frames_[k].size();
      }
    }
  }

 private:
  void WriteMesh(const NodeRecord& record, const std::vector<int>* shapeOf) {
    MeshFaces faces(quiet_);
    if (!faces.Open(record)) return;
    const SceneMesh& mesh = faces.Mesh();
    const int faceCount = faces.FaceCount();
    const TargetsByVertex targets = shapeOf && faceCount > 0
                                        ? TargetsByVertex(mesh, *shapeOf, faces.VertexCount())
                                        : TargetsByVertex(mesh, {}, 0);
    std::vector<bool> told(shapeOf ? shapeOf->size() : 0);
    if (!worker_ && static_cast<std::size_t>(faceCount) > VertexLineBatch::kLines / 3) {
      worker_ = BackgroundWorker::StartIfPossible();
    }
    BatchPipeline<VertexLineBatch> pipeline(input_.smd, faceCount > 0 ? worker_.get() : nullptr,
                                            VertexLineBatch(&writer_), VertexLineBatch(&writer_));
    for (int i = 0; i < faceCount; ++i) {
      MeshFace face;
      CornerValues corners[3];
      const TextureLine* texture = nullptr;
      const FaceRead read = faces.Read(i, &face, corners, &texture);
      if (read == FaceRead::kSkip) continue;
      if (read == FaceRead::kEndMesh) break;
      for (int k = 0; k < 3; ++k) {
        const CornerValues& corner = corners[k];
        const std::uint64_t number = number_++;
        pipeline.Current().Add(LineOf(number, corner.position, corner.normal, corner.vertex));
        if (targets.Empty()) continue;
        for (const int* t = targets.Begin(corner.vertex); t != targets.End(corner.vertex); ++t) {
          const Point3 position = mesh.GetMorphTargetVertex(*t, static_cast<int>(corner.vertex));
          const Point3 normal =
              face.smoothingGroup != 0 && mesh.MorphTargetHasNormals(*t)
                  ? VectorTransform(faces.NormalMatrix(),
                                    mesh.GetMorphTargetNormal(*t, static_cast<int>(corner.vertex)))
                  : corner.normal;
          if (position == corner.position && normal == corner.normal) continue;
          const auto target = static_cast<std::size_t>(*t);
          if (!IsFinite(position) || !IsFinite(normal)) {
            if (!told[target]) {
              told[target] = true;
              input_.warnings.Report(
                  WarningKind::kNonFinite,
                  "Morph target \"%s\" of mesh \"%s\" gives vertex %u a position or normal that "
                  "is not a finite number (NaN or infinity).\nIts vertices that have one keep "
                  "the mesh's shape in that flex.",
                  table_.names[static_cast<std::size_t>((*shapeOf)[target])].c_str(),
                  faces.NodeName(), corner.vertex);
            }
            continue;
          }
          frames_[static_cast<std::size_t>((*shapeOf)[target])].push_back(
              LineOf(number, position, normal, corner.vertex));
        }
      }
      if (pipeline.Current().Full()) {
        pipeline.Ship();
        if (input_.smd.Failed()) break;
      }
    }
    pipeline.Finish();
  }

  const SectionInput& input_;
  WarningReporter& quiet_;
  const ShapeTable& table_;
  VertexLinesWriter writer_;
  std::unique_ptr<BackgroundWorker> worker_;  // started by the first big mesh
  std::vector<std::vector<VertexLine>> frames_;
  std::uint64_t number_ = 0;
};

// The reference's skeleton section with its one pose repeated for every
// shape's frame.
void WriteFlexSkeleton(const SectionInput& input, WarningReporter& quiet, std::size_t shapes) {
  std::string reference;
  {
    TextStream text(std::make_unique<StringSink>(&reference), TextStream::kMinBufferSize);
    WriteSkeleton(SectionInput{text, input.nodes, quiet, input.options, input.ticksPerFrame});
    text.Close();
  }
  constexpr std::string_view kHead = "skeleton\ntime 0\n";
  constexpr std::string_view kEnd = "end\n";
  std::string_view pose = reference;
  if (pose.substr(0, kHead.size()) == kHead && pose.size() >= kHead.size() + kEnd.size()) {
    pose = pose.substr(kHead.size(), pose.size() - kHead.size() - kEnd.size());
  } else {
    pose = std::string_view();
  }
  TextStream& out = input.smd;
  out.Put(kHead);
  out.Put(pose);
  for (std::size_t k = 1; k <= shapes && !out.Failed(); ++k) {
    out.Put("time ");
    out.PutInt(static_cast<int>(k));
    out.Put('\n');
    out.Put(pose);
  }
  out.Put(kEnd);
}

}  // namespace

ExportResult ExportFlexes(SceneHost& host, const ExportOptions& options, const std::string& vtaPath,
                          OutputFiles& files, const ExportReports& reports, FlexList* shapesOut) {
  ExportOptions reference = options;
  reference.exportSequence = false;
  FlexList list;
  const ExportResult result =
      RunExportJob(host, reference, vtaPath, files, reports, [&list](const SectionInput& input) {
        // What the reference's export says of its nodes and faces is not said twice.
        WarningReporter quiet(nullptr, CLocale::Shared());
        const SectionInput quietInput{input.smd, input.nodes, quiet, input.options,
                                      input.ticksPerFrame};
        const ShapeTable table = CollectShapes(input.nodes, input.warnings);
        ListShapes(table, &list);
        WriteNodes(quietInput);
        WriteFlexSkeleton(input, quiet, table.names.size());
        VertexAnimationWriter(input, quiet, table).Write(&list);
      });
  if (shapesOut) *shapesOut = std::move(list);
  return result;
}

bool FindFlexes(SceneHost& host, const ExportOptions& options, FlexList* shapes) {
  shapes->shapes.clear();
  shapes->baseVertices = 0;
  IGameScene* scene = host.GetScene();
  if (!scene) return false;
  scene->Initialise(options.selectedOnly);
  NodeRegistry nodes;
  nodes.CollectNodes(*scene, options.selectedOnly);
  WarningReporter quiet(nullptr, CLocale::Shared());
  ListShapes(CollectShapes(nodes, quiet), shapes);
  nodes.ClearNodes();
  scene->Release();
  return true;
}

}  // namespace kw
