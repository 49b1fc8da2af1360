// An in-memory scene: our stand-in for the modelling package. It implements
// every scene-access operation from plain data that a scene file, a model
// importer or a test fills in through the builder calls below.
//
// Transforms: each node has a local transform relative to its parent in the
// full scene tree, either one fixed matrix or animation keys per channel
// (position and scale interpolated linearly, rotation by slerp, the first and
// last key held outside them). Node-to-world at tick t is
//   local(t) * parentWorld(t)        (row-vector convention)
// and local(t) = Scale(s) * Rotation(q) * Translation(p). The object
// transform is objectOffset * nodeTransform, so an offset can mirror the
// object without touching the node.
//
// Selection: Initialise(true) shows only the selected nodes, not pruned by
// the view. A selected node's parent becomes its nearest selected ancestor
// (null when it has none, which makes it a top-level node), and its children
// are the selected nodes nearest below it, in tree order. Transforms always
// follow the full tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/scene_access.h"
#include "scene/scene_errors.h"
#include "scene/scene_host.h"

namespace kw {

class MemoryScene;
class MemoryNode;

template <typename T>
struct AnimationKey {
  int tick = 0;
  T value;
};

class MemoryTextureMap : public SceneTextureMap {
 public:
  // hasFileName false: GetBitmapFileName() gives null.
  MemoryTextureMap(std::string fileName, bool hasFileName);
  const char* GetBitmapFileName() const override;

 private:
  std::string fileName_;
  bool hasFileName_;
};

class MemoryMaterial : public SceneMaterial {
 public:
  MemoryMaterial(std::string name, std::string className);

  void SetTextureMap(MemoryTextureMap* map) { map_ = map; }
  // Where out-of-range getters report; null: nowhere.
  void SetErrors(SceneErrors* errors) { errors_ = errors; }
  // Sub-materials keep the order they are added in; material may be null
  // (an empty slot).
  void AddSubMaterial(int id, MemoryMaterial* material);
  // Overrides IsMultiMaterial(); by default it is true for the class name
  // "Multi/Sub-Object" only.
  void SetMultiMaterial(bool multi) { multi_ = multi; }

  bool IsMultiMaterial() const override;
  const char* GetName() const override;
  const char* GetClassName() const override;
  int GetSubMaterialCount() const override;
  SceneMaterial* GetSubMaterial(int i) const override;
  int GetSubMaterialId(int i) const override;
  SceneTextureMap* GetTextureMap(int i) const override;

 private:
  std::string name_;
  std::string className_;
  int multi_ = -1;  // -1: decided by the class name
  MemoryTextureMap* map_ = nullptr;
  SceneErrors* errors_ = nullptr;
  struct Slot {
    int id;
    MemoryMaterial* material;
  };
  std::vector<Slot> subMaterials_;
};

class MemorySkin : public IGameSkin {
 public:
  void AddLink(int vertex, int boneNodeId, float weight);
  // Room for the links of vertices 0 .. count - 1, so that adding them in
  // any order never moves the table.
  void ReserveVertices(int count);
  // Where out-of-range getters report; null: nowhere.
  void SetErrors(SceneErrors* errors) { errors_ = errors; }

  int GetBoneCount(int vertex) const override;
  int GetBoneNodeId(int vertex, int k) const override;
  float GetWeight(int vertex, int k) const override;

 private:
  struct Link {
    int boneNodeId;
    float weight;
  };
  // Most vertices have four links or fewer: those are kept in place, so a
  // skin of a million vertices is not a million small allocations.
  static constexpr std::size_t kInPlace = 4;
  struct VertexLinks {
    std::uint32_t count = 0;
    std::uint32_t spilled = 0;  // with more than kInPlace: index + 1 in spills_
    Link inPlace[kInPlace];
  };
  const Link* LinksOf(std::size_t vertex) const;

  std::vector<VertexLinks> links_;         // per vertex
  std::vector<std::vector<Link>> spills_;  // all links of such a vertex
  SceneErrors* errors_ = nullptr;
};

// A plain object of any type code that is not a mesh (helper, bone, camera...).
class MemoryObject : public IGameObject {
 public:
  explicit MemoryObject(int type) : type_(type) {}
  int GetObjectType() const override { return type_; }
  IGameSkin* GetIGameSkin() const override { return skin_; }
  void SetSkin(MemorySkin* skin) { skin_ = skin; }

 private:
  int type_;
  MemorySkin* skin_ = nullptr;
};

// The mesh's vertices in another shape (a morph target, a shape key).
struct MorphTarget {
  std::string name;              // may be empty
  std::vector<Point3> vertices;  // world space, one per vertex of the mesh
  // Empty (the mesh's normals stay), or one per vertex in the form of the
  // render normals of hostMesh.
  std::vector<Point3> normals;
};

class MemoryMesh : public SceneMesh {
 public:
  std::vector<Point3> vertices;  // world space
  std::vector<Point2> texVertices;
  std::vector<MeshFace> faces;
  HostMesh hostMesh;
  std::vector<MorphTarget> morphTargets;
  bool initialiseFails = false;  // InitialiseData() answers false

  // Fills hostMesh from the faces and their smoothing groups the way a
  // modelling package does: face normals from the winding; at each vertex one
  // normal per group of faces that share smoothing bits (transitively), the
  // normalised sum of their face normals, with the union of their bits as its
  // mask. Faces of smoothing group 0 add no render normal. Faces with a vertex
  // index out of range are skipped.
  void ComputeNormals();
  void SetSkin(MemorySkin* skin) { skin_ = skin; }
  // Where out-of-range getters report; null: nowhere.
  void SetErrors(SceneErrors* errors) { errors_ = errors; }

  int GetObjectType() const override { return kObjectMesh; }
  IGameSkin* GetIGameSkin() const override { return skin_; }
  bool PrepareBinormals() override { return true; }
  bool InitialiseData() override { return !initialiseFails; }
  int GetVertexCount() const override;
  int GetTexVertexCount() const override;
  int GetFaceCount() const override;
  Point3 GetVertex(int i, bool objectSpace) const override;
  Point2 GetTexVertex(int i) const override;
  const MeshFace& GetFace(int i) const override;
  const HostMesh& GetHostMesh() const override { return hostMesh; }
  int GetMorphTargetCount() const override;
  const char* GetMorphTargetName(int target) const override;
  Point3 GetMorphTargetVertex(int target, int i) const override;
  bool MorphTargetHasNormals(int target) const override;
  Point3 GetMorphTargetNormal(int target, int i) const override;

 private:
  const MorphTarget* Target(const char* getter, int target) const;

  MemorySkin* skin_ = nullptr;
  SceneErrors* errors_ = nullptr;
};

class MemoryNode : public SceneNode, public HostNode {
 public:
  MemoryNode(MemoryScene* scene, int id, std::string name, MemoryNode* parent);

  // A fixed local transform (replaces any keys).
  void SetLocalTransform(const Matrix3& local);
  // Animation keys, sorted by tick here. A channel without keys keeps its
  // rest value: position 0, rotation identity, scale 1.
  void SetPositionKeys(std::vector<AnimationKey<Point3>> keys);
  void SetRotationKeys(std::vector<AnimationKey<Quat>> keys);
  void SetScaleKeys(std::vector<AnimationKey<Point3>> keys);
  void SetObjectOffset(const Matrix3& offset) { objectOffset_ = offset; }

  void SetObject(IGameObject* object) { object_ = object; }
  void SetMaterial(MemoryMaterial* material) { material_ = material; }
  void SetPruned(bool pruned) { pruned_ = pruned; }
  void SetExcluded(bool excluded) { excluded_ = excluded; }
  void SetSelected(bool selected) { selected_ = selected; }
  bool IsSelected() const { return selected_; }

  Matrix3 GetLocalTransform(int tick) const;
  MemoryNode* GetSceneParent() const { return sceneParent_; }
  const std::vector<MemoryNode*>& GetSceneChildren() const { return sceneChildren_; }

  // SceneNode
  IGameObject* GetObject() override { return object_; }
  const char* GetName() const override { return name_.c_str(); }
  int GetNodeId() const override { return id_; }
  SceneNode* GetParent() override;
  int GetChildCount() const override;
  SceneNode* GetChild(int i) override;
  GMatrix GetObjectTransform(int tick) const override;
  HostNode* GetHostNode() override { return this; }
  SceneMaterial* GetMaterial() override { return material_; }
  bool IsPruned() const override { return pruned_; }
  bool IsExcluded() const override { return excluded_; }

  // HostNode
  Matrix3 GetNodeTransform(int tick) const override;

 private:
  friend class MemoryScene;

  MemoryScene* scene_;
  int id_;
  std::string name_;
  MemoryNode* sceneParent_;
  std::vector<MemoryNode*> sceneChildren_;
  // The view Initialise() builds.
  MemoryNode* viewParent_ = nullptr;
  std::vector<MemoryNode*> viewChildren_;

  bool hasFixedLocal_ = false;
  Matrix3 fixedLocal_;
  std::vector<AnimationKey<Point3>> positionKeys_;
  std::vector<AnimationKey<Quat>> rotationKeys_;
  std::vector<AnimationKey<Point3>> scaleKeys_;
  Matrix3 objectOffset_;
  // The local transform at the tick last asked: every descendant asks for it
  // again at the same tick, and sampling a rotation is the costly part.
  mutable bool hasCachedLocal_ = false;
  mutable int cachedTick_ = 0;
  mutable Matrix3 cachedLocal_;
  // The world transform at the tick last asked, made from the parent's
  // instead of multiplying up through every ancestor: a writer asks every
  // node at one tick. Valid while the scene's transforms stay as they were.
  bool WorldKnown(int tick) const;
  mutable bool hasCachedWorld_ = false;
  mutable int worldTick_ = 0;
  mutable std::uint64_t worldVersion_ = 0;
  mutable Matrix3 cachedWorld_;

  IGameObject* object_ = nullptr;
  MemoryMaterial* material_ = nullptr;
  bool pruned_ = false;
  bool excluded_ = false;
  bool selected_ = false;
};

// The scene and its host, handed to an export as it is.
class MemoryScene : public IGameScene, public SceneHost {
 public:
  MemoryScene();
  ~MemoryScene() override;

  // Builder. Every object made here is owned by the scene.
  void SetTiming(int startTicks, int endTicks, int ticksPerFrame);
  // Node ids should be distinct; the scene does not check.
  MemoryNode& AddNode(int id, const std::string& name, MemoryNode* parent = nullptr);
  MemoryObject& MakeObject(MemoryNode& node, int type);
  MemoryMesh& MakeMesh(MemoryNode& node);
  MemorySkin& MakeSkin();
  MemoryMaterial& MakeMaterial(const std::string& name, const std::string& className);
  MemoryTextureMap& MakeTextureMap(const std::string& fileName, bool hasFileName = true);

  MemoryNode* FindNode(int id) const;
  const std::vector<MemoryNode*>& GetSceneRoots() const { return sceneRoots_; }
  // Whether the last Initialise() showed the selection only.
  bool InitialisedSelectedOnly() const { return selectedOnly_; }
  SceneErrors& Errors() { return errors_; }

  // IGameScene
  bool Initialise(bool selectedOnly) override;
  void SetStaticFrame(int) override {}
  int GetStartTicks() const override { return startTicks_; }
  int GetEndTicks() const override { return endTicks_; }
  int GetTicksPerFrame() const override { return ticksPerFrame_; }
  int GetTopLevelNodeCount() const override;
  SceneNode* GetTopLevelNode(int i) override;
  void Release() override {}

  // SceneHost
  IGameScene* GetScene() override { return this; }
  IGameConversionManager* GetConversionManager() override;
  void SetErrorCallBack(IGameErrorCallBack* callback) override { errors_.SetCallBack(callback); }
  const char* GetLastErrorText() const override { return errors_.LastText(); }

 private:
  class Conversion;

  int startTicks_ = 0;
  int endTicks_ = 0;
  int ticksPerFrame_ = 160;
  std::vector<std::unique_ptr<MemoryNode>> nodes_;
  std::vector<MemoryNode*> sceneRoots_;
  std::vector<MemoryNode*> viewRoots_;
  std::vector<std::unique_ptr<IGameObject>> objects_;
  std::vector<std::unique_ptr<MemorySkin>> skins_;
  std::vector<std::unique_ptr<MemoryMaterial>> materials_;
  std::vector<std::unique_ptr<MemoryTextureMap>> maps_;
  std::unique_ptr<Conversion> conversion_;
  SceneErrors errors_;
  bool initialised_ = false;
  bool selectedOnly_ = false;

  friend class MemoryNode;
  // Grows with every change of a node's transform; world transforms kept
  // from before no longer hold.
  std::uint64_t transformVersion_ = 1;
  mutable std::vector<const MemoryNode*> worldChain_;
};

}  // namespace kw
