#include "scene/memory_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

namespace kw {

namespace {

// The one error code our stand-in raises: a getter was asked for an index
// the object does not have.
constexpr int kIndexOutOfRange = 1;

template <typename... Args>
void RaiseIndexError(SceneErrors* errors, const char* format, Args... args) {
  if (errors) errors->Raise(kIndexOutOfRange, format, args...);
}

int CountOf(std::size_t size) {
  return size > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(size);
}

bool InRange(int i, std::size_t size) { return i >= 0 && static_cast<std::size_t>(i) < size; }

template <typename T>
void SortByTick(std::vector<AnimationKey<T>>& keys) {
  std::stable_sort(
      keys.begin(), keys.end(),
      [](const AnimationKey<T>& a, const AnimationKey<T>& b) { return a.tick < b.tick; });
}

// Finds the keys around tick: *before is the last key at or before it, and
// the fraction runs from it to the next one. Outside the keys the end key holds.
template <typename T>
void FindSegment(const std::vector<AnimationKey<T>>& keys, int tick, std::size_t* before,
                 float* fraction) {
  const auto after =
      std::upper_bound(keys.begin(), keys.end(), tick,
                       [](int t, const AnimationKey<T>& key) { return t < key.tick; });
  if (after == keys.begin()) {
    *before = 0;
    *fraction = 0.0f;
    return;
  }
  *before = static_cast<std::size_t>(after - keys.begin()) - 1;
  if (after == keys.end()) {
    *fraction = 0.0f;
    return;
  }
  const AnimationKey<T>& a = keys[*before];
  // Ticks as doubles: the span of two int32 ticks does not fit an int.
  const double span = static_cast<double>(after->tick) - static_cast<double>(a.tick);
  *fraction = static_cast<float>((static_cast<double>(tick) - a.tick) / span);
}

Point3 SamplePoint(const std::vector<AnimationKey<Point3>>& keys, int tick, const Point3& rest) {
  if (keys.empty()) return rest;
  std::size_t i = 0;
  float f = 0.0f;
  FindSegment(keys, tick, &i, &f);
  if (f == 0.0f) return keys[i].value;
  const Point3& a = keys[i].value;
  const Point3& b = keys[i + 1].value;
  return a + (b - a) * f;
}

Quat SampleRotation(const std::vector<AnimationKey<Quat>>& keys, int tick) {
  if (keys.empty()) return Quat();
  std::size_t i = 0;
  float f = 0.0f;
  FindSegment(keys, tick, &i, &f);
  if (f == 0.0f) return keys[i].value;
  return Slerp(keys[i].value, keys[i + 1].value, f);
}

Quat Normalized(const Quat& q) {
  const double length = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                                  static_cast<double>(q.z) * q.z + static_cast<double>(q.w) * q.w);
  if (!(length > 0.0) || !std::isfinite(length)) return Quat();
  const float inv = static_cast<float>(1.0 / length);
  return Quat(q.x * inv, q.y * inv, q.z * inv, q.w * inv);
}

const MeshFace kZeroFace{};

}  // namespace

MemoryTextureMap::MemoryTextureMap(std::string fileName, bool hasFileName)
    : fileName_(std::move(fileName)), hasFileName_(hasFileName) {}

const char* MemoryTextureMap::GetBitmapFileName() const {
  return hasFileName_ ? fileName_.c_str() : nullptr;
}

MemoryMaterial::MemoryMaterial(std::string name, std::string className)
    : name_(std::move(name)), className_(std::move(className)) {}

void MemoryMaterial::AddSubMaterial(int id, MemoryMaterial* material) {
  subMaterials_.push_back(Slot{id, material});
}

bool MemoryMaterial::IsMultiMaterial() const {
  if (multi_ >= 0) return multi_ != 0;
  return className_ == "Multi/Sub-Object";
}

const char* MemoryMaterial::GetName() const { return name_.c_str(); }
const char* MemoryMaterial::GetClassName() const { return className_.c_str(); }
int MemoryMaterial::GetSubMaterialCount() const { return CountOf(subMaterials_.size()); }

SceneMaterial* MemoryMaterial::GetSubMaterial(int i) const {
  if (!InRange(i, subMaterials_.size())) {
    RaiseIndexError(errors_, "GetSubMaterial(%d): material \"%s\" has %d sub-materials", i,
                    name_.c_str(), GetSubMaterialCount());
    return nullptr;
  }
  return subMaterials_[static_cast<std::size_t>(i)].material;
}

// An absent id is -1, which no sub-material slot of a well-formed material uses.
int MemoryMaterial::GetSubMaterialId(int i) const {
  if (!InRange(i, subMaterials_.size())) {
    RaiseIndexError(errors_, "GetSubMaterialId(%d): material \"%s\" has %d sub-materials", i,
                    name_.c_str(), GetSubMaterialCount());
    return -1;
  }
  return subMaterials_[static_cast<std::size_t>(i)].id;
}

// Our materials carry one map, in slot 0.
SceneTextureMap* MemoryMaterial::GetTextureMap(int i) const {
  if (i != 0) {
    RaiseIndexError(errors_, "GetTextureMap(%d): material \"%s\" has texture map slot 0 only", i,
                    name_.c_str());
    return nullptr;
  }
  return map_;
}

void MemorySkin::AddLink(int vertex, int boneNodeId, float weight) {
  if (vertex < 0) {
    RaiseIndexError(errors_, "AddLink: negative vertex index %d", vertex);
    return;
  }
  const auto v = static_cast<std::size_t>(vertex);
  if (v >= links_.size()) links_.resize(v + 1);
  VertexLinks& links = links_[v];
  const Link link{boneNodeId, weight};
  if (links.spilled != 0) {
    spills_[links.spilled - 1].push_back(link);
  } else if (links.count < kInPlace) {
    links.inPlace[links.count] = link;
  } else {
    spills_.emplace_back(links.inPlace, links.inPlace + kInPlace);
    spills_.back().push_back(link);
    links.spilled = static_cast<std::uint32_t>(spills_.size());
  }
  ++links.count;
}

void MemorySkin::ReserveVertices(int count) {
  if (count > 0 && static_cast<std::size_t>(count) > links_.size()) {
    links_.resize(static_cast<std::size_t>(count));
  }
}

const MemorySkin::Link* MemorySkin::LinksOf(std::size_t vertex) const {
  const VertexLinks& links = links_[vertex];
  return links.spilled != 0 ? spills_[links.spilled - 1].data() : links.inPlace;
}

// A vertex past the last one given links simply has none.
int MemorySkin::GetBoneCount(int vertex) const {
  if (vertex < 0) {
    RaiseIndexError(errors_, "GetBoneCount(%d): negative vertex index", vertex);
    return 0;
  }
  const auto v = static_cast<std::size_t>(vertex);
  return v < links_.size() ? CountOf(links_[v].count) : 0;
}

int MemorySkin::GetBoneNodeId(int vertex, int k) const {
  const bool known = vertex >= 0 && static_cast<std::size_t>(vertex) < links_.size();
  if (!known || !InRange(k, links_[static_cast<std::size_t>(vertex)].count)) {
    RaiseIndexError(errors_, "GetBoneNodeId(%d, %d): vertex %d has %d bone links", vertex, k,
                    vertex, known ? CountOf(links_[static_cast<std::size_t>(vertex)].count) : 0);
    return -1;
  }
  return LinksOf(static_cast<std::size_t>(vertex))[k].boneNodeId;
}

float MemorySkin::GetWeight(int vertex, int k) const {
  const bool known = vertex >= 0 && static_cast<std::size_t>(vertex) < links_.size();
  if (!known || !InRange(k, links_[static_cast<std::size_t>(vertex)].count)) {
    RaiseIndexError(errors_, "GetWeight(%d, %d): vertex %d has %d bone links", vertex, k, vertex,
                    known ? CountOf(links_[static_cast<std::size_t>(vertex)].count) : 0);
    return 0.0f;
  }
  return LinksOf(static_cast<std::size_t>(vertex))[k].weight;
}

int MemoryMesh::GetVertexCount() const { return CountOf(vertices.size()); }
int MemoryMesh::GetTexVertexCount() const { return CountOf(texVertices.size()); }
int MemoryMesh::GetFaceCount() const { return CountOf(faces.size()); }

// We keep world positions only; object space is never asked for by the
// exporter, so both answers are the stored position.
Point3 MemoryMesh::GetVertex(int i, bool /*objectSpace*/) const {
  if (!InRange(i, vertices.size())) {
    RaiseIndexError(errors_, "GetVertex(%d): mesh has %d vertices", i, GetVertexCount());
    return Point3();
  }
  return vertices[static_cast<std::size_t>(i)];
}

Point2 MemoryMesh::GetTexVertex(int i) const {
  if (!InRange(i, texVertices.size())) {
    RaiseIndexError(errors_, "GetTexVertex(%d): mesh has %d texture vertices", i,
                    GetTexVertexCount());
    return Point2();
  }
  return texVertices[static_cast<std::size_t>(i)];
}

const MeshFace& MemoryMesh::GetFace(int i) const {
  if (!InRange(i, faces.size())) {
    RaiseIndexError(errors_, "GetFace(%d): mesh has %d faces", i, GetFaceCount());
    return kZeroFace;
  }
  return faces[static_cast<std::size_t>(i)];
}

int MemoryMesh::GetMorphTargetCount() const { return CountOf(morphTargets.size()); }

const MorphTarget* MemoryMesh::Target(const char* getter, int target) const {
  if (!InRange(target, morphTargets.size())) {
    RaiseIndexError(errors_, "%s(%d): mesh has %d morph targets", getter, target,
                    GetMorphTargetCount());
    return nullptr;
  }
  return &morphTargets[static_cast<std::size_t>(target)];
}

const char* MemoryMesh::GetMorphTargetName(int target) const {
  const MorphTarget* found = Target("GetMorphTargetName", target);
  return found ? found->name.c_str() : nullptr;
}

Point3 MemoryMesh::GetMorphTargetVertex(int target, int i) const {
  const MorphTarget* found = Target("GetMorphTargetVertex", target);
  if (found && !InRange(i, found->vertices.size())) {
    RaiseIndexError(errors_, "GetMorphTargetVertex(%d, %d): morph target has %d vertices", target,
                    i, CountOf(found->vertices.size()));
    found = nullptr;
  }
  return found ? found->vertices[static_cast<std::size_t>(i)] : Point3();
}

bool MemoryMesh::MorphTargetHasNormals(int target) const {
  const MorphTarget* found = Target("MorphTargetHasNormals", target);
  return found && !found->normals.empty();
}

Point3 MemoryMesh::GetMorphTargetNormal(int target, int i) const {
  const MorphTarget* found = Target("GetMorphTargetNormal", target);
  if (found && !InRange(i, found->normals.size())) {
    RaiseIndexError(errors_, "GetMorphTargetNormal(%d, %d): morph target has %d normals", target, i,
                    CountOf(found->normals.size()));
    found = nullptr;
  }
  return found ? found->normals[static_cast<std::size_t>(i)] : Point3();
}

MemoryNode::MemoryNode(MemoryScene* scene, int id, std::string name, MemoryNode* parent)
    : scene_(scene), id_(id), name_(std::move(name)), sceneParent_(parent) {}

void MemoryNode::SetLocalTransform(const Matrix3& local) {
  ++scene_->transformVersion_;
  hasCachedLocal_ = false;
  hasFixedLocal_ = true;
  fixedLocal_ = local;
  positionKeys_.clear();
  rotationKeys_.clear();
  scaleKeys_.clear();
}

void MemoryNode::SetPositionKeys(std::vector<AnimationKey<Point3>> keys) {
  ++scene_->transformVersion_;
  hasCachedLocal_ = false;
  hasFixedLocal_ = false;
  SortByTick(keys);
  positionKeys_ = std::move(keys);
}

// Slerp and the rotation matrix want unit quaternions; a zero one means no turn.
void MemoryNode::SetRotationKeys(std::vector<AnimationKey<Quat>> keys) {
  ++scene_->transformVersion_;
  hasCachedLocal_ = false;
  hasFixedLocal_ = false;
  for (AnimationKey<Quat>& key : keys) key.value = Normalized(key.value);
  SortByTick(keys);
  rotationKeys_ = std::move(keys);
}

void MemoryNode::SetScaleKeys(std::vector<AnimationKey<Point3>> keys) {
  ++scene_->transformVersion_;
  hasCachedLocal_ = false;
  hasFixedLocal_ = false;
  SortByTick(keys);
  scaleKeys_ = std::move(keys);
}

Matrix3 MemoryNode::GetLocalTransform(int tick) const {
  if (hasFixedLocal_) return fixedLocal_;
  if (hasCachedLocal_ && cachedTick_ == tick) return cachedLocal_;
  const Point3 p = SamplePoint(positionKeys_, tick, Point3(0.0f, 0.0f, 0.0f));
  const Point3 s = SamplePoint(scaleKeys_, tick, Point3(1.0f, 1.0f, 1.0f));
  const Matrix3 r = QuatToMatrix(SampleRotation(rotationKeys_, tick));
  // Scale(s) * Rotation(q) * Translation(p) without the two products.
  cachedLocal_ = Matrix3(r.GetRow(0) * s.x, r.GetRow(1) * s.y, r.GetRow(2) * s.z, p);
  cachedTick_ = tick;
  hasCachedLocal_ = true;
  return cachedLocal_;
}

// The view is the whole tree until Initialise(true) has built the selection's.
SceneNode* MemoryNode::GetParent() {
  if (scene_->InitialisedSelectedOnly()) return viewParent_;
  return sceneParent_;
}

int MemoryNode::GetChildCount() const {
  if (scene_->InitialisedSelectedOnly()) return CountOf(viewChildren_.size());
  return CountOf(sceneChildren_.size());
}

SceneNode* MemoryNode::GetChild(int i) {
  const std::vector<MemoryNode*>& children =
      scene_->InitialisedSelectedOnly() ? viewChildren_ : sceneChildren_;
  if (!InRange(i, children.size())) {
    RaiseIndexError(&scene_->errors_, "GetChild(%d): node \"%s\" has %d children", i, name_.c_str(),
                    CountOf(children.size()));
    return nullptr;
  }
  return children[static_cast<std::size_t>(i)];
}

bool MemoryNode::WorldKnown(int tick) const {
  return hasCachedWorld_ && worldTick_ == tick && worldVersion_ == scene_->transformVersion_;
}

// local(t) * parentWorld(t), each parent's world made once a tick. The
// ancestors not yet known at this tick are made top down without recursing:
// the chain may be long.
Matrix3 MemoryNode::GetNodeTransform(int tick) const {
  if (WorldKnown(tick)) return cachedWorld_;
  std::vector<const MemoryNode*>& chain = scene_->worldChain_;
  chain.clear();
  for (const MemoryNode* node = this; node && !node->WorldKnown(tick); node = node->sceneParent_) {
    chain.push_back(node);
  }
  for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
    const MemoryNode& n = **node;
    n.cachedWorld_ = n.sceneParent_ ? n.GetLocalTransform(tick) * n.sceneParent_->cachedWorld_
                                    : n.GetLocalTransform(tick);
    n.worldTick_ = tick;
    n.worldVersion_ = scene_->transformVersion_;
    n.hasCachedWorld_ = true;
  }
  return cachedWorld_;
}

GMatrix MemoryNode::GetObjectTransform(int tick) const {
  return GMatrix(objectOffset_ * GetNodeTransform(tick));
}

// The in-memory scene has the one coordinate system its readers fill it in.
class MemoryScene::Conversion : public IGameConversionManager {
 public:
  void SetCoordSystem(int) override {}
};

MemoryScene::MemoryScene() : conversion_(std::make_unique<Conversion>()) {}

MemoryScene::~MemoryScene() = default;

void MemoryScene::SetTiming(int startTicks, int endTicks, int ticksPerFrame) {
  startTicks_ = startTicks;
  endTicks_ = endTicks;
  ticksPerFrame_ = ticksPerFrame;
}

MemoryNode& MemoryScene::AddNode(int id, const std::string& name, MemoryNode* parent) {
  nodes_.push_back(std::make_unique<MemoryNode>(this, id, name, parent));
  MemoryNode* node = nodes_.back().get();
  if (parent) {
    parent->sceneChildren_.push_back(node);
  } else {
    sceneRoots_.push_back(node);
  }
  return *node;
}

MemoryObject& MemoryScene::MakeObject(MemoryNode& node, int type) {
  auto object = std::make_unique<MemoryObject>(type);
  MemoryObject& result = *object;
  objects_.push_back(std::move(object));
  node.SetObject(&result);
  return result;
}

MemoryMesh& MemoryScene::MakeMesh(MemoryNode& node) {
  auto mesh = std::make_unique<MemoryMesh>();
  MemoryMesh& result = *mesh;
  result.SetErrors(&errors_);
  objects_.push_back(std::move(mesh));
  node.SetObject(&result);
  return result;
}

MemorySkin& MemoryScene::MakeSkin() {
  skins_.push_back(std::make_unique<MemorySkin>());
  skins_.back()->SetErrors(&errors_);
  return *skins_.back();
}

MemoryMaterial& MemoryScene::MakeMaterial(const std::string& name, const std::string& className) {
  materials_.push_back(std::make_unique<MemoryMaterial>(name, className));
  materials_.back()->SetErrors(&errors_);
  return *materials_.back();
}

MemoryTextureMap& MemoryScene::MakeTextureMap(const std::string& fileName, bool hasFileName) {
  maps_.push_back(std::make_unique<MemoryTextureMap>(fileName, hasFileName));
  return *maps_.back();
}

MemoryNode* MemoryScene::FindNode(int id) const {
  for (const auto& node : nodes_) {
    if (node->GetNodeId() == id) return node.get();
  }
  return nullptr;
}

// The selection view is rebuilt from the flags as they are now; nodes or
// flags changed later show only after the next Initialise.
bool MemoryScene::Initialise(bool selectedOnly) {
  initialised_ = true;
  selectedOnly_ = selectedOnly;
  viewRoots_.clear();
  for (const auto& node : nodes_) {
    node->viewParent_ = nullptr;
    node->viewChildren_.clear();
  }
  if (!selectedOnly) return true;

  // Pre-order walk with an explicit stack, each entry carrying the nearest
  // selected ancestor, so siblings keep their order and depth costs no stack.
  std::vector<std::pair<MemoryNode*, MemoryNode*>> pending;
  for (auto root = sceneRoots_.rbegin(); root != sceneRoots_.rend(); ++root) {
    pending.emplace_back(*root, nullptr);
  }
  while (!pending.empty()) {
    auto [node, ancestor] = pending.back();
    pending.pop_back();
    if (node->selected_) {
      node->viewParent_ = ancestor;
      if (ancestor) {
        ancestor->viewChildren_.push_back(node);
      } else {
        viewRoots_.push_back(node);
      }
      ancestor = node;
    }
    for (auto child = node->sceneChildren_.rbegin(); child != node->sceneChildren_.rend();
         ++child) {
      pending.emplace_back(*child, ancestor);
    }
  }
  return true;
}

int MemoryScene::GetTopLevelNodeCount() const {
  return CountOf(selectedOnly_ ? viewRoots_.size() : sceneRoots_.size());
}

SceneNode* MemoryScene::GetTopLevelNode(int i) {
  const std::vector<MemoryNode*>& roots = selectedOnly_ ? viewRoots_ : sceneRoots_;
  if (!InRange(i, roots.size())) {
    RaiseIndexError(&errors_, "GetTopLevelNode(%d): scene has %d top-level nodes", i,
                    CountOf(roots.size()));
    return nullptr;
  }
  return roots[static_cast<std::size_t>(i)];
}

IGameConversionManager* MemoryScene::GetConversionManager() { return conversion_.get(); }

}  // namespace kw
